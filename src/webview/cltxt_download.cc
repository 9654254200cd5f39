// Plain downloads: the URL's VOB, version and text mode, and the one data part.
#include "webview/cltxt_download.h"

#include <strings.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/tbs/tbs.h"
#include "core/vob/vob.h"
#include "core/vob/vob_obj.h"
#include "facade/vdw_vdcore.h"
#include "foundation/catalogs/vdw_lib_catalog.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_request.h"
#include "request/vdw_rpc_response.h"
#include "webview/vdw_version_stream.h"

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

bool served_text_mode(const std::string& mode) {
    return strcasecmp(mode.c_str(), "unix") == 0 || strcasecmp(mode.c_str(), "transparent") == 0;
}

// Sends the version as the "SyncElemData" part, in the form vdw_open_version_stream picks:
// gzip framed from the pool's compressed form when the client takes it and the version
// reaches the site's threshold, otherwise its bytes as they are; straight from the content
// pool either way.
void send_version(VDW_RpcResponse& response, VDW_Vdcore& facade, vob_t* vob, vob_dbid_t version,
                  bool compress_ok, WCM_Status& status) {
    VDW_VersionStream stream;
    if (vdw_open_version_stream(facade, vob, version, compress_ok, vdw_compression_threshold(),
                                &stream, status))
        vdw_send_version(response, VDW_MultipartData::SYNC_VER_DATA, stream, "version", nullptr,
                         status);
}

}  // namespace

void vdw_get_cltxt_url(const VDW_Request& request, std::ostream& out, WCM_MemPool& pool,
                       VDW_Vdcore& facade, WCM_Status& status) {
    const char* url = request.get_url();
    std::vector<std::string> parts = url && *url ? split(url) : std::vector<std::string>();
    tbs_uuid_t vob_uuid{};
    tbs_oid_t version_oid{};
    vob_t* vob = nullptr;
    vob_dbid_t version = 0;
    status.set_status(TBS_ST_OK);
    if (parts.size() != 4 || parts[0] != "cltxt" ||
        tbs_uuid_from_str(parts[1].c_str(), &vob_uuid) != TBS_ST_OK) {
        trace_line("malformed download URL in GET");
        status.set_status(TBS_ST_BAD_REQUEST);
        status.format(&_vdw_lib_lib_msg_table, VDW_LIB_BAD_DOWNLOAD_URL,
                      VDW_MultipartData::echo_text(url ? url : "").c_str());
    } else if (!served_text_mode(parts[3])) {
        trace_line("invalid text mode in GET");
        status.set_status(TBS_ST_BAD_REQUEST);
        status.format(&_vdw_lib_lib_msg_table, VDW_LIB_URL_INVALID_TEXT_MODE,
                      VDW_MultipartData::echo_text(parts[3].c_str()).c_str());
    } else if (vob_open_by_uuid(vob_uuid, &vob) != TBS_ST_OK) {
        trace_line("unknown VOB in GET");
        status.set_status(TBS_ST_NOT_FOUND);
        status.format(&_vdw_lib_lib_msg_table, VDW_LIB_REPLICA_UUID_NOT_FOUND, parts[1].c_str());
    } else if (tbs_uuid_from_str(parts[2].c_str(), &version_oid) != TBS_ST_OK ||
               vob_obj_oid_to_dbid(vob, version_oid, &version) != TBS_ST_OK) {
        trace_line("unknown version in GET");
        status.set_status(TBS_ST_NOT_FOUND);
        status.format(&_vdw_lib_lib_msg_table, VDW_LIB_VERSION_OID_NOT_FOUND,
                      VDW_MultipartData::echo_text(parts[2].c_str()).c_str());
    }
    VDW_RpcResponse response(pool, status, out, &facade);
    if (status.is_ok())
        send_version(response, facade, vob, version, request.accept_compressed_cleartext(), status);
}
