// A version's bytes as a response part, in the form the client takes and the pool allows.
#include "webview/vdw_version_stream.h"

#include <istream>
#include <string>

#include "foundation/catalogs/vdw_lib_catalog.h"
#include "foundation/vdw_config.h"
#include "foundation/wcm_status.h"
#include "ops/vdw_vdcore.h"
#include "ops/vdw_vdcore_report.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_rpc_response.h"

namespace {

bool opened(VDW_Vdcore& facade, vob_t* vob, vob_dbid_t version, tbs_status_t st,
            WCM_Status& status) {
    if (st == TBS_ST_OK) return true;
    std::string name;
    WCM_Status ignored;
    facade.get_obj_name(vob, version, &name, ignored);
    return vdw_core_ok(status, st, VDW_LIB_GET_CLEARTEXT_FAILED, name.c_str());
}

}  // namespace

long long vdw_compression_threshold() {
    return 1024LL * VDW_Config::getInstance().get_integer_param(
                        VDW_Config::DOWNLOAD_COMPRESSION_THRESHOLD_KEY);
}

bool vdw_open_version_stream(VDW_Vdcore& facade, vob_t* vob, vob_dbid_t version, bool compress_ok,
                             long long threshold, VDW_VersionStream* out, WCM_Status& status) {
    // The bytes as they are first: their size decides, and most versions go so.
    std::unique_ptr<vob_content_stream> plain;
    if (!opened(facade, vob, version, vob_ver_open_content(vob, version, &plain), status))
        return false;
    const long long size = static_cast<long long>(plain->size());
    if (compress_ok && size >= threshold) {
        std::unique_ptr<vob_content_stream> gz;
        tbs_status_t st = vob_ver_open_gzip(vob, version, &gz);
        if (st == TBS_ST_OK) {
            out->content_type = VDW_MultipartData::MIME_COMPRESSED_CLEARTEXT;
            out->size = static_cast<long long>(gz->size());
            out->bytes = std::move(gz);
            return true;
        }
        if (st != TBS_ST_NOT_SUPPORTED && !opened(facade, vob, version, st, status)) return false;
    }
    out->content_type = VDW_MultipartData::MIME_CLEARTEXT;
    out->size = size;
    out->bytes = std::move(plain);
    return true;
}

void vdw_send_version(VDW_RpcResponse& response, const char* name, VDW_VersionStream& version,
                      WCM_Status& status) {
    VDW_VersionStreamBuf buf(*version.bytes);
    std::istream in(&buf);
    int error = 0;
    VDW_MultipartData part(name, version.content_type, in, version.size, error);
    response.add_part(part, true);
    if (error) status.set_status(tbs_errno2status(error));
    if (buf.status() != TBS_ST_OK) status.set_status(buf.status());
}

VDW_VersionStreamBuf::int_type VDW_VersionStreamBuf::underflow() {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    size_t got = 0;
    st_ = in_.read(buf_, sizeof buf_, &got);
    if (st_ != TBS_ST_OK || got == 0) return traits_type::eof();
    setg(buf_, buf_, buf_ + got);
    return traits_type::to_int_type(*gptr());
}
