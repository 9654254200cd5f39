// Plain downloads: URL validation and the answer.
//
// Serving the contents needs the text modes and the file-part transfer of the web-view
// update, which this build does not have yet, so every URL is answered with a complete
// error response instead.
#include "webview/cltxt_download.h"

#include <cstring>
#include <string>
#include <vector>

#include "core/tbs/tbs.h"
#include "foundation/catalogs/vdw_lib_catalog.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_request.h"
#include "request/vdw_rpc_response.h"

namespace {

void trace_line(const char* line) {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_WsSyncFetch", "get_cltxt_url");
    if (trace.shouldTrace(1)) trace.writeTrace("%s", line);
}

std::vector<std::string> split(const char* url) {
    std::vector<std::string> parts;
    const char* p = url;
    if (*p == '/') ++p;
    for (;;) {
        const char* slash = strchr(p, '/');
        parts.emplace_back(p, slash ? slash : p + strlen(p));
        if (!slash) break;
        p = slash + 1;
    }
    return parts;
}

}  // namespace

void vdw_get_cltxt_url(const VDW_Request& request, std::ostream& out, WCM_MemPool& pool,
                       WCM_Status& status) {
    const char* url = request.get_url();
    std::vector<std::string> parts = url && *url ? split(url) : std::vector<std::string>();
    tbs_uuid_t vob{};
    if (parts.size() != 4 || parts[0] != "cltxt" ||
        tbs_uuid_from_str(parts[1].c_str(), &vob) != TBS_ST_OK) {
        trace_line("malformed download URL in GET");
        status.set_status(TBS_ST_BAD_REQUEST);
        status.format(&_vdw_lib_lib_msg_table, VDW_LIB_BAD_DOWNLOAD_URL,
                      VDW_MultipartData::echo_text(url ? url : "").c_str());
    } else {
        // Not served yet: see the top of this file.
        trace_line("download by URL not served");
        status.set_status(TBS_ST_NOT_SUPPORTED);
        status.format(&_vdw_lib_lib_msg_table, VDW_LIB_DOWNLOAD_NOT_SERVED);
    }
    VDW_RpcResponse response(pool, status, out, nullptr);
}
