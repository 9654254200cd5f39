// Plain download of one version's file contents by URL (HTTP GET).
#ifndef WEBVIEW_CLTXT_DOWNLOAD_H
#define WEBVIEW_CLTXT_DOWNLOAD_H

#include <iosfwd>

class VDW_Request;

// Serves the GET named by the request's "x-tarvex-cltxt-url" header, of the form
// cltxt/<VOB replica oid>/<version oid>/<text mode>. A request that cannot be served
// ends the process with exit code 8.
void vdw_get_cltxt_url(const VDW_Request& request, std::ostream& out);

#endif
