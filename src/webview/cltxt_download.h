// Plain download of one version's file contents by URL (HTTP GET).
#ifndef WEBVIEW_CLTXT_DOWNLOAD_H
#define WEBVIEW_CLTXT_DOWNLOAD_H

#include <iosfwd>

class VDW_Request;
class WCM_MemPool;
class WCM_Status;

// Answers the GET named by the request's "x-tarvex-cltxt-url" header, of the form
// cltxt/<VOB replica oid>/<version oid>/<text mode>. Until contents are served, every URL
// gets a complete error response: a malformed one status 1072, a well-formed one 1018
// (not supported). The process then ends normally.
void vdw_get_cltxt_url(const VDW_Request& request, std::ostream& out, WCM_MemPool& pool,
                       WCM_Status& status);

#endif
