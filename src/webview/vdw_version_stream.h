// A version's bytes as a response part: the form they go in (gzip or as they are), the part's
// content type and exact size, and the stream of its bytes, all taken from the content pool
// with no copy on disk and nothing compressed on the way. The plain download sends one
// version this way; a fetch that sends many sends each the same way.
#ifndef WEBVIEW_VDW_VERSION_STREAM_H
#define WEBVIEW_VDW_VERSION_STREAM_H

#include <memory>
#include <streambuf>

#include "core/tbs/tbs.h"
#include "core/vob/vob.h"
#include "core/vob/vob_obj.h"

class VDW_Cancel;
class VDW_RpcResponse;
class VDW_Vdcore;
class WCM_Status;

struct VDW_VersionStream {
    const char* content_type = nullptr;  // of the part
    long long size = 0;                  // bytes `bytes` gives, to the last
    std::unique_ptr<vob_content_stream> bytes;
};

// The site's download compression threshold ("qlmxDownloadCompressionThreshold", KiB), in
// bytes.
long long vdw_compression_threshold();

// Opens `version` for sending. When the client takes compressed parts and the version has
// at least `threshold` bytes, its bytes go as the gzip member the pool frames from the
// compressed form it keeps ("application/x-gzip"). Otherwise, and when the pool keeps them
// as they are (too small, or compressing did not pay: not worth compressing now either),
// they go as they are ("application/octet-stream"). A version that cannot be opened (no
// such version, a directory version, a missing or damaged content): false, with the core's
// status and VDSRV1042 naming the version in `status`.
bool vdw_open_version_stream(VDW_Vdcore& facade, vob_t* vob, vob_dbid_t version, bool compress_ok,
                             long long threshold, VDW_VersionStream* out, WCM_Status& status);

// Sends an opened version as the part `name`; `cancel` (may be null) is polled while the
// bytes are copied. Once a part has begun, a failure cuts it short and the response cannot
// go on: the status is then 1055 after the failure's own message: a read that fails (core
// message 20) or ends before the size announced (VDSRV1239), a write to the client that
// fails (21). `what` names the bytes in those messages.
void vdw_send_version(VDW_RpcResponse& response, const char* name, VDW_VersionStream& version,
                      const char* what, VDW_Cancel* cancel, WCM_Status& status);

// A file of the server as a "SyncElemData" part: gzip-compressed (through a temporary file)
// when the client takes it and the file reaches `threshold`. A file that cannot be opened:
// its errno's status and core message 18; sending fails as above.
void vdw_send_file_part(VDW_RpcResponse& response, const char* path, long long size,
                        bool compress_ok, long long threshold, VDW_Cancel* cancel,
                        WCM_Status& status);

// A version's stream as the input of a part.
class VDW_VersionStreamBuf : public std::streambuf {
public:
    explicit VDW_VersionStreamBuf(vob_content_stream& in) : in_(in) {}
    // TBS_ST_OK, or the failure that ended the stream early.
    tbs_status_t status() const { return st_; }
    // Bytes handed out so far.
    long long delivered() const { return delivered_; }

protected:
    int_type underflow() override;

private:
    vob_content_stream& in_;
    tbs_status_t st_ = TBS_ST_OK;
    long long delivered_ = 0;
    char buf_[65536];
};

#endif
