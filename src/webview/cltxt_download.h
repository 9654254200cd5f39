// Plain download of one version's file contents by URL (HTTP GET).
#ifndef WEBVIEW_CLTXT_DOWNLOAD_H
#define WEBVIEW_CLTXT_DOWNLOAD_H

#include <iosfwd>

class VDW_Request;
class VDW_Vdcore;
class WCM_MemPool;
class WCM_Status;

// Answers the GET named by the request's "x-tarvex-cltxt-url" header, of the form
// cltxt/<VOB replica uuid>/<version oid>/<text mode>, with one "SyncElemData" part holding
// the version's bytes, streamed from the content pool: as a gzip member when the client
// accepts it, the version is at least "qlmxDownloadCompressionThreshold" KiB and the pool
// keeps it compressed; as they are otherwise (see vdw_version_stream.h). The text modes
// served are "unix" and "transparent" (the bytes as stored: this server's web views
// keep them so). Failures get a complete error response: a malformed URL or another text
// mode status 1072 (VDSRV1290, VDSRV1284), an unknown VOB or version 1002 (VDSRV1283,
// VDSRV1282), a directory version 1016 (VDSRV1042); the core's own status for a version
// the user may not read.
void vdw_get_cltxt_url(const VDW_Request& request, std::ostream& out, WCM_MemPool& pool,
                       VDW_Vdcore& facade, WCM_Status& status);

#endif
