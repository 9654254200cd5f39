// A version's bytes as a response part, in the form the client takes and the pool allows.
#include "webview/vdw_version_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <istream>
#include <string>

#include "core/imsg/imsg.h"
#include "core/util/fileutl.h"
#include "facade/vdw_vdcore.h"
#include "facade/vdw_vdcore_report.h"
#include "foundation/catalogs/vdw_lib_catalog.h"
#include "foundation/vdw_cancel.h"
#include "foundation/vdw_config.h"
#include "foundation/wcm_status.h"
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
                      const char* what, VDW_Cancel* cancel, WCM_Status& status) {
    VDW_VersionStreamBuf buf(*version.bytes);
    std::istream in(&buf);
    int error = 0;
    VDW_MultipartData part(name, version.content_type, in, version.size, error);
    if (cancel) part.set_cancellable(true, cancel);
    if (response.add_part(part, true)) {  // the client is gone
        status.set_status(TBS_ST_ERR);
        imsg_core_error(21, what, strerror(EPIPE));
        status.set_status(TBS_ST_INTERRUPTED);
        return;
    }
    if (buf.delivered() >= version.size) return;
    if (buf.status() != TBS_ST_OK || error != 0) {
        const tbs_status_t st = buf.status() != TBS_ST_OK ? buf.status() : tbs_errno2status(error);
        status.set_status(st);
        imsg_core_error(20, what, tbs_strerror(st));
    } else if (!(cancel && cancel->is_cancelled())) {
        status.set_status(TBS_ST_ERR);
        status.format(&_vdw_lib_lib_msg_table, VDW_LIB_PREMATURE_EOF, what, version.size);
    }
    status.set_status(TBS_ST_INTERRUPTED);
}

namespace {

// A file read through its descriptor, closed with the stream.
class FileStream : public vob_content_stream {
public:
    FileStream(int fd, uint64_t size) : fd_(fd), size_(size) {}
    ~FileStream() override { ::close(fd_); }
    tbs_status_t read(void* buf, size_t n, size_t* got) override {
        for (;;) {
            ssize_t r = ::read(fd_, buf, n);
            if (r >= 0) {
                *got = static_cast<size_t>(r);
                return TBS_ST_OK;
            }
            if (errno != EINTR) return tbs_errno2status(errno);
        }
    }
    uint64_t size() const override { return size_; }

private:
    int fd_;
    uint64_t size_;
};

// Removes a temporary file however the part ends.
struct TempFile {
    std::string path;
    ~TempFile() {
        if (!path.empty()) fileutl_rm(path.c_str());
    }
};

}  // namespace

void vdw_send_file_part(VDW_RpcResponse& response, const char* path, long long size,
                        bool compress_ok, long long threshold, VDW_Cancel* cancel,
                        WCM_Status& status) {
    TempFile gz;
    struct stat sb;
    bool zipped = false;
    if (compress_ok && size >= threshold) {
        char name[1024];
        int fd = fileutl_create_temp(fileutl_get_tmpdir(), "qlmx_gz_", 0600, name, sizeof name);
        if (fd >= 0) {
            ::close(fd);
            gz.path = name;
            zipped = fileutl_gzip(path, name, 6) == TBS_ST_OK && stat(name, &sb) == 0;
        }
    }
    int fd = ::open(zipped ? gz.path.c_str() : path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        status.set_status(e ? tbs_errno2status(e) : TBS_ST_OBJ_NOT_FOUND);
        imsg_core_error(18, path, tbs_strerror(status.status()));
        return;
    }
    VDW_VersionStream stream;
    stream.content_type =
        zipped ? VDW_MultipartData::MIME_COMPRESSED_CLEARTEXT : VDW_MultipartData::MIME_CLEARTEXT;
    stream.size = zipped ? static_cast<long long>(sb.st_size) : size;
    stream.bytes.reset(new FileStream(fd, static_cast<uint64_t>(stream.size)));
    vdw_send_version(response, VDW_MultipartData::SYNC_VER_DATA, stream, path, cancel, status);
}

VDW_VersionStreamBuf::int_type VDW_VersionStreamBuf::underflow() {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    size_t got = 0;
    st_ = in_.read(buf_, sizeof buf_, &got);
    if (st_ != TBS_ST_OK || got == 0) return traits_type::eof();
    delivered_ += static_cast<long long>(got);
    setg(buf_, buf_, buf_ + got);
    return traits_type::to_int_type(*gptr());
}
