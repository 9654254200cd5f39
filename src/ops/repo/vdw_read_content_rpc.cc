// VDW_ReadContentRpc.
#include "ops/repo/vdw_read_content_rpc.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <istream>
#include <string>

#include "core/view/view.h"
#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "facade/vdw_vdcore_report.h"
#include "foundation/catalogs/vdw_lib_catalog.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_request.h"

namespace {

// Reads an open file descriptor (which it closes) as a stream.
class FdStreambuf : public std::streambuf {
public:
    explicit FdStreambuf(int fd) : fd_(fd) {}
    ~FdStreambuf() override { close(fd_); }
    FdStreambuf(const FdStreambuf&) = delete;
    FdStreambuf& operator=(const FdStreambuf&) = delete;

protected:
    int_type underflow() override {
        ssize_t n;
        do {
            n = read(fd_, buf_, sizeof buf_);
        } while (n < 0 && errno == EINTR);
        if (n <= 0) return traits_type::eof();
        setg(buf_, buf_, buf_ + n);
        return traits_type::to_int_type(buf_[0]);
    }

private:
    int fd_;
    char buf_[65536];
};

}  // namespace

// The view-private file `pname` names, as the version's contents would be sent; false (the
// status left as it was) when there is none the caller may read.
bool VDW_ReadContentRpc::send_private_file(view_t* view, const std::string& pname) {
    int fd = -1;
    if (view_open_private_file(view, pname, &fd) != TBS_ST_OK) return false;
    struct stat sb;
    if (fstat(fd, &sb) != 0) {
        close(fd);
        return false;
    }
    status().clear();
    status().set_status(TBS_ST_OK);
    FdStreambuf buf(fd);
    std::istream in(&buf);
    int read_error = 0;
    VDW_MultipartData part(VDW_MultipartData::RPC_RESULT_PART, VDW_MultipartData::MIME_CLEARTEXT,
                           in, static_cast<long long>(sb.st_size), read_error);
    part.add_part_item("Version", pname.c_str());
    if (add_part(part, true)) return true;
    if (read_error != 0)
        vdw_core_ok(status(), tbs_errno2status(read_error), VDW_LIB_READ_CLEARTEXT_FAILED,
                    pname.c_str());
    return true;
}

void VDW_ReadContentRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_ReadContentRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    // The version: a selector ("oid:...@vob", "/vobs/p/a.c@@/main/2"), or a pathname taken in
    // the view the optional "ViewUuid" names (else in the server's own view).
    std::string selector, view_uuid;
    bool has_view = false;
    VDW_RpcArgs args(request().rpcargs(), status());
    if (!args.pname("ResourceSelector", &selector) ||
        !args.opt_text("ViewUuid", &view_uuid, &has_view))
        return;

    VDW_Vdcore& core = *facade();
    view_t* view = nullptr;
    if (has_view && !view_uuid.empty()) core.open_view(view_uuid.c_str(), &view, status());
    vob_resolved_t obj;
    if (status().is_ok()) core.resolve_vob_obj(view, selector.c_str(), 0, &obj, status());
    // A name no element has may be a file the view keeps on this server for its client.
    if (view && !status().is_ok() && send_private_file(view, selector)) return;
    vob_dbid_t version = 0;
    if (status().is_ok()) core.version_from_selector(obj, view, &version, status());
    std::string name;
    if (status().is_ok()) core.get_obj_name(obj.vob, version, &name, status());
    char path[VDW_Vdcore::PNAME_SIZE];
    if (status().is_ok()) core.get_cleartext(obj.vob, version, path, status());
    if (!status().is_ok()) return;

    // Opened, then unlinked at once: nothing is left behind however the request ends.
    std::ifstream in(path, std::ios::binary);
    const int open_error = errno;
    VDW_Vdcore::free_cleartext(path);
    long long size = -1;
    if (in && in.seekg(0, std::ios::end)) {
        size = static_cast<long long>(in.tellg());
        in.seekg(0, std::ios::beg);
    }
    if (!in || size < 0) {
        vdw_core_ok(status(), tbs_errno2status(open_error ? open_error : EIO),
                    VDW_LIB_READ_CLEARTEXT_FAILED, name.c_str());
        return;
    }
    // The bytes as the version holds them: lines end as they were checked in.
    int read_error = 0;
    VDW_MultipartData part(VDW_MultipartData::RPC_RESULT_PART, VDW_MultipartData::MIME_CLEARTEXT,
                           in, size, read_error);
    part.add_part_item("Version", name.c_str());
    if (add_part(part, true)) return;
    if (read_error != 0)
        vdw_core_ok(status(), tbs_errno2status(read_error), VDW_LIB_READ_CLEARTEXT_FAILED,
                    name.c_str());
}
