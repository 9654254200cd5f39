// The data part of one file.
#include "webview/vdw_version_part.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <istream>
#include <memory>
#include <streambuf>
#include <string>

#include "core/imsg/imsg.h"
#include "core/util/fileutl.h"
#include "foundation/catalogs/vdw_lib_catalog.h"
#include "foundation/vdw_cancel.h"
#include "foundation/vdw_config.h"
#include "foundation/wcm_status.h"
#include "ops/vdw_vdcore_report.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_rpc_response.h"

namespace {

long long compression_threshold() {
    return 1024LL * VDW_Config::getInstance().get_integer_param(
                        VDW_Config::DOWNLOAD_COMPRESSION_THRESHOLD_KEY);
}

// Bytes from a reader as the input of a part, counted, with the reader's failure kept.
class CountingBuf : public std::streambuf {
public:
    using reader_t = std::function<tbs_status_t(void*, size_t, size_t*)>;
    explicit CountingBuf(reader_t read) : read_(std::move(read)) {}
    tbs_status_t status() const { return st_; }
    long long delivered() const { return delivered_; }

protected:
    int_type underflow() override {
        if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
        size_t got = 0;
        if (st_ == TBS_ST_OK) st_ = read_(buf_, sizeof buf_, &got);
        if (st_ != TBS_ST_OK || got == 0) return traits_type::eof();
        delivered_ += static_cast<long long>(got);
        setg(buf_, buf_, buf_ + got);
        return traits_type::to_int_type(*gptr());
    }

private:
    reader_t read_;
    tbs_status_t st_ = TBS_ST_OK;
    long long delivered_ = 0;
    char buf_[65536];
};

// A descriptor closed with its owner.
struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

tbs_status_t read_fd(int fd, void* buf, size_t n, size_t* got) {
    for (;;) {
        ssize_t r = ::read(fd, buf, n);
        if (r >= 0) {
            *got = static_cast<size_t>(r);
            return TBS_ST_OK;
        }
        if (errno != EINTR) return tbs_errno2status(errno);
    }
}

// Writes the part; `what` names the bytes in messages.
void send(VDW_RpcResponse& response, CountingBuf& buf, const char* type, long long size,
          const char* what, VDW_Cancel* cancel, WCM_Status& status) {
    std::istream in(&buf);
    int error = 0;
    VDW_MultipartData part(VDW_MultipartData::SYNC_VER_DATA, type, in, size, error);
    if (cancel) part.set_cancellable(true, cancel);
    if (response.add_part(part, true)) {  // the client is gone
        status.set_status(TBS_ST_ERR);
        imsg_core_error(21, what, strerror(EPIPE));
        status.set_status(TBS_ST_INTERRUPTED);
        return;
    }
    if (buf.delivered() >= size) return;
    if (buf.status() != TBS_ST_OK || error != 0) {
        const tbs_status_t st = buf.status() != TBS_ST_OK ? buf.status() : tbs_errno2status(error);
        imsg_core_error(20, what, tbs_strerror(st));
    } else if (!(cancel && cancel->is_cancelled())) {
        status.set_status(TBS_ST_ERR);
        status.format(&_vdw_lib_lib_msg_table, VDW_LIB_PREMATURE_EOF, what, size);
    }
    status.set_status(TBS_ST_INTERRUPTED);
}

// Compresses the file at `path` into a temporary file; true with its name and size.
bool gzip_to_temp(const char* path, std::string* gz, long long* size) {
    char name[1024];
    int fd = fileutl_create_temp(fileutl_get_tmpdir(), "qlmx_gz_", 0600, name, sizeof name);
    if (fd < 0) return false;
    ::close(fd);
    *gz = name;
    struct stat sb;
    if (fileutl_gzip(path, name, 6) != TBS_ST_OK || stat(name, &sb) != 0) return false;
    *size = static_cast<long long>(sb.st_size);
    return true;
}

// Removes a temporary file however the part ends.
struct TempFile {
    std::string path;
    ~TempFile() {
        if (!path.empty()) fileutl_rm(path.c_str());
    }
};

void send_file(VDW_RpcResponse& response, const char* path, long long size, const char* what,
               bool compress_ok, VDW_Cancel* cancel, WCM_Status& status) {
    TempFile gz;
    long long gz_size = 0;
    const bool zipped =
        compress_ok && size >= compression_threshold() && gzip_to_temp(path, &gz.path, &gz_size);
    Fd f;
    f.fd = ::open(zipped ? gz.path.c_str() : path, O_RDONLY | O_CLOEXEC);
    if (f.fd < 0) {
        const int e = errno;
        status.set_status(e ? tbs_errno2status(e) : TBS_ST_OBJ_NOT_FOUND);
        imsg_core_error(18, what, tbs_strerror(status.status()));
        return;
    }
    const int fd = f.fd;
    CountingBuf buf([fd](void* b, size_t n, size_t* got) { return read_fd(fd, b, n, got); });
    send(response, buf,
         zipped ? VDW_MultipartData::MIME_COMPRESSED_CLEARTEXT : VDW_MultipartData::MIME_CLEARTEXT,
         zipped ? gz_size : size, what, cancel, status);
}

}  // namespace

void vdw_send_file_part(VDW_RpcResponse& response, const char* path, long long size,
                        bool compress_ok, VDW_Cancel* cancel, WCM_Status& status) {
    send_file(response, path, size, path, compress_ok, cancel, status);
}

void vdw_send_version_part(VDW_RpcResponse& response, vob_t* vob, vob_dbid_t version,
                           const char* name, bool compress_ok, VDW_Cancel* cancel,
                           WCM_Status& status) {
    const std::string what = name ? name : "";
    std::unique_ptr<vob_content_stream> content;
    tbs_status_t st = vob_ver_open_content(vob, version, &content);
    if (!vdw_core_ok(status, st, VDW_LIB_GET_CLEARTEXT_FAILED, what.c_str())) return;
    const long long size = static_cast<long long>(content->size());
    if (!compress_ok || size < compression_threshold()) {
        vob_content_stream* in = content.get();
        CountingBuf buf([in](void* b, size_t n, size_t* got) { return in->read(b, n, got); });
        send(response, buf, VDW_MultipartData::MIME_CLEARTEXT, size, what.c_str(), cancel, status);
        return;
    }
    content.reset();
    TempFile cleartext;
    char tmp[1024];
    int fd = fileutl_create_temp(fileutl_get_tmpdir(), "qlmx_cltxt_", 0600, tmp, sizeof tmp);
    if (fd < 0) {
        status.set_status(tbs_errno2status(errno ? errno : EIO));
        imsg_core_error(19, fileutl_get_tmpdir(), tbs_strerror(status.status()));
        return;
    }
    ::close(fd);
    cleartext.path = tmp;
    st = vob_ver_get_cleartext(vob, version, tmp);
    if (!vdw_core_ok(status, st, VDW_LIB_GET_CLEARTEXT_FAILED, what.c_str())) return;
    send_file(response, tmp, size, what.c_str(), true, cancel, status);
}
