// Plain downloads: the URL's VOB, version and text mode, and the one data part.
#include "webview/cltxt_download.h"

#include <strings.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <streambuf>
#include <string>
#include <vector>

#include "core/tbs/tbs.h"
#include "core/util/fileutl.h"
#include "core/vob/vob.h"
#include "core/vob/vob_obj.h"
#include "foundation/catalogs/vdw_lib_catalog.h"
#include "foundation/vdw_config.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "ops/vdw_vdcore.h"
#include "ops/vdw_vdcore_report.h"
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

bool served_text_mode(const std::string& mode) {
    return strcasecmp(mode.c_str(), "unix") == 0 || strcasecmp(mode.c_str(), "transparent") == 0;
}

// Removes the temporary files of one download, however it ends.
struct Temporaries {
    std::vector<std::string> paths;
    ~Temporaries() {
        for (const std::string& p : paths) fileutl_rm(p.c_str());
    }
};

// A version's content as the input of a part.
class ContentBuf : public std::streambuf {
public:
    explicit ContentBuf(vob_content_stream& in) : in_(in) {}
    tbs_status_t status() const { return st_; }

protected:
    int_type underflow() override {
        if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
        size_t got = 0;
        st_ = in_.read(buf_, sizeof buf_, &got);
        if (st_ != TBS_ST_OK || got == 0) return traits_type::eof();
        setg(buf_, buf_, buf_ + got);
        return traits_type::to_int_type(*gptr());
    }

private:
    vob_content_stream& in_;
    tbs_status_t st_ = TBS_ST_OK;
    char buf_[65536];
};

void send_part(VDW_RpcResponse& response, std::istream& in, const char* type, long long size,
               WCM_Status& status) {
    int error = 0;
    VDW_MultipartData part("SyncElemData", type, in, size, error);
    response.add_part(part, true);
    if (error) status.set_status(tbs_errno2status(error));
}

// Sends the version as the "SyncElemData" part. Below the site's compression threshold, or
// when the client takes no compressed parts, its bytes go straight from the content pool
// into the part; otherwise they are compressed into a temporary file first.
void send_version(VDW_RpcResponse& response, VDW_Vdcore& facade, vob_t* vob, vob_dbid_t version,
                  bool compress_ok, WCM_Status& status) {
    std::unique_ptr<vob_content_stream> content;
    tbs_status_t st = vob_ver_open_content(vob, version, &content);
    if (st != TBS_ST_OK) {
        std::string name;
        WCM_Status ignored;
        facade.get_obj_name(vob, version, &name, ignored);
        vdw_core_ok(status, st, VDW_LIB_GET_CLEARTEXT_FAILED, name.c_str());
        return;
    }
    const long long size = static_cast<long long>(content->size());
    const long long threshold = 1024LL * VDW_Config::getInstance().get_integer_param(
                                             VDW_Config::DOWNLOAD_COMPRESSION_THRESHOLD_KEY);
    if (!compress_ok || size < threshold) {
        ContentBuf buf(*content);
        std::istream in(&buf);
        send_part(response, in, "application/octet-stream", size, status);
        if (buf.status() != TBS_ST_OK) status.set_status(buf.status());
        return;
    }
    Temporaries temps;
    char cleartext[VDW_Vdcore::PNAME_SIZE];
    facade.get_cleartext(vob, version, cleartext, status);
    if (!status.is_ok()) return;
    temps.paths.push_back(cleartext);
    char gz[VDW_Vdcore::PNAME_SIZE];
    int fd = fileutl_create_temp(fileutl_get_tmpdir(), "qlmx_cltxt_", 0600, gz, sizeof gz);
    struct stat zst;
    bool zipped = fd >= 0;
    if (fd >= 0) {
        ::close(fd);
        temps.paths.push_back(gz);
        zipped = fileutl_gzip(cleartext, gz, 6) == TBS_ST_OK && stat(gz, &zst) == 0;
    }
    std::ifstream in(zipped ? gz : cleartext, std::ios::binary);
    if (!in) {
        status.set_status(tbs_errno2status(errno ? errno : EIO));
        return;
    }
    send_part(response, in, zipped ? "application/x-gzip" : "application/octet-stream",
              zipped ? static_cast<long long>(zst.st_size) : size, status);
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
