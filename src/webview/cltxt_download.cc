// Plain downloads: URL validation and the answer.
//
// Versions are looked up in the VOB that the URL names. Serving the contents needs the
// text modes and the file-part transfer of the web-view update, which this build does not
// have yet, so every well-formed URL is answered with "VOB replica not found".
#include "webview/cltxt_download.h"

#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/imsg/imsg.h"
#include "core/tbs/tbs.h"
#include "foundation/catalogs/vdw_lib_catalog.h"
#include "foundation/vdw_trace.h"
#include "request/vdw_request.h"

namespace {

[[noreturn]] void fail(const char* trace_line) {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_WsSyncFetch", "get_cltxt_url");
    if (trace.shouldTrace(1)) trace.writeTrace("%s", trace_line);
    _exit(8);
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

void vdw_get_cltxt_url(const VDW_Request& request, std::ostream&) {
    const char* url = request.get_url();
    if (!url || !*url) fail("missing URL in GET");
    std::vector<std::string> parts = split(url);
    if (parts.size() != 4 || parts[0] != "cltxt") fail("missing cltxt tag in GET");
    tbs_uuid_t vob{};
    if (tbs_uuid_from_str(parts[1].c_str(), &vob) != TBS_ST_OK) {
        imsg_print_catalog(IMSG_ERROR, &_vdw_lib_lib_msg_table, VDW_LIB_REPLICA_UUID_NOT_FOUND,
                           parts[1].c_str());
        fail("bad VOB oid in GET");
    }
    // Not served yet: see the top of this file.
    imsg_print_catalog(IMSG_ERROR, &_vdw_lib_lib_msg_table, VDW_LIB_REPLICA_UUID_NOT_FOUND,
                       parts[1].c_str());
    fail("unknown VOB oid in GET");
}
