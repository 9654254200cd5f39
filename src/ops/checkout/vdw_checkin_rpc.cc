// VDW_CheckinRpc and VDW_CheckinAtomicRpc.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/cmd/cmd.h"
#include "core/util/fileutl.h"
#include "core/view/view.h"
#include "core/vob/vob.h"
#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "foundation/catalogs/vdw_rpcs_catalog.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "ops/checkout/vdw_checkout_rpcs.h"
#include "ops/checkout/vdw_co_common.h"
#include "request/vdw_request.h"
#include "webview/vdw_ws_sync_fetch.h"

namespace {

// Files removed however the request ends.
struct Temporaries {
    std::vector<std::string> paths;
    ~Temporaries() {
        for (const std::string& p : paths) fileutl_rm(p.c_str());
    }
};

}  // namespace

void VDW_CheckinRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_CheckinRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string uuid, comment, activity, scope, mtime_text, is_dir_text;
    bool use_co_comment = false, identical = false, has_is_dir = false, has_mtime = false;
    VDW_Series series;
    if (!a.text("ViewUuid", &uuid) || !a.boolean("UseCoComment", &use_co_comment) ||
        !a.rich("Comment", &comment) || !a.pname("Activity", &activity) ||
        !a.boolean("Identical", &identical) || !a.pname("Scope", &scope) ||
        !vdw_read_series(a, &series) || !a.opt_text("IsDir", &is_dir_text, &has_is_dir) ||
        !a.opt_text("ModifiedTime", &mtime_text, &has_mtime))
        return;
    const bool is_dir = has_is_dir && is_dir_text == "1";
    if (!is_dir && !check_rpc_upload_file_arg(status())) return;
    if (!vdw_check_no_activity(activity, status())) return;
    VDW_Vdcore& core = *facade();
    VDW_WorkView wv;
    if (!vdw_open_work_view(core, uuid, &wv, status())) return;
    std::string pname;
    vob_resolved_t r;
    vob_checkout_info_t co;
    if (!vdw_checked_out_item(core, wv.view, scope, &pname, &r, &co, status())) return;
    if (vdw_send_merge_record(*this, core, r.vob, co, scope, status())) {
        status().set_status(TBS_ST_MERGE_FROM_LATEST);
        status().format(&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_CHECKIN_NOT_FROM_LATEST, scope.c_str());
        return;
    }
    const std::string upload = is_dir ? "" : request().upload_pname();
    vdw_trace_series("VDW_CheckinRpc", series, pname);
    if (has_mtime && !upload.empty() &&
        !vdw_set_mtime(upload, VDW_ReqArgsParser::decode_long(mtime_text.c_str()), scope, status()))
        return;
    cmd_checkin_args_t ci;
    ci.pnames = {pname};
    ci.from = {upload};
    ci.view = &wv.view->ctx;
    ci.identical = identical;
    ci.ptime = has_mtime;
    // With "UseCoComment" the checkout's own comment stays; otherwise the one given.
    if (use_co_comment) {
        ci.comment_mode = co.comment.empty() ? CMD_COMMENT_NONE : CMD_COMMENT_GIVEN;
        ci.comment = co.comment;
    } else {
        ci.comment_mode = CMD_COMMENT_GIVEN;
        ci.comment = comment;
    }
    tbs_status_t st = cmd_checkin(&ci);
    if (st != TBS_ST_OK) {
        status().set_status(st);
        status().format(&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_CHECKIN_FAILED, scope.c_str());
        return;
    }
    VDW_WsSyncFetch::download_one_checkin(core, wv.root.c_str(), pname.c_str(),
                                          request().accept_compressed_cleartext(), false, *this,
                                          pool(), status());
}

void VDW_CheckinAtomicRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_CheckinAtomicRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    VDW_RpcArgs a(request().rpcargs(), status());
    std::string uuid, comment;
    bool identical = false;
    int count = 0;
    if (!a.text("ViewUuid", &uuid) || !a.rich("Comment", &comment) ||
        !a.boolean("Identical", &identical) || !a.integer("NumItems", &count))
        return;
    if (count <= 0 || count > 100000) {
        VDW_RpcArgs::bad_count(status(), "NumItems", count);
        return;
    }
    struct Item {
        std::string scope, pname, mtime;
        bool has_mtime = false;
        vob_resolved_t r;
        vob_checkout_info_t co;
        std::string file;
    };
    std::vector<Item> items(static_cast<size_t>(count));
    for (Item& it : items)
        if (!a.pname("Scope", &it.scope) || !a.opt_text("ModifiedTime", &it.mtime, &it.has_mtime))
            return;
    if (!check_rpc_upload_file_arg(status())) return;
    VDW_Vdcore& core = *facade();
    VDW_WorkView wv;
    if (!vdw_open_work_view(core, uuid, &wv, status())) return;
    // Every item resolved, and every merge that is due reported, before anything changes.
    for (Item& it : items)
        if (!vdw_checked_out_item(core, wv.view, it.scope, &it.pname, &it.r, &it.co, status()))
            return;
    const Item* first_merge = nullptr;
    for (const Item& it : items)
        if (vdw_send_merge_record(*this, core, it.r.vob, it.co, it.scope, status()) && !first_merge)
            first_merge = &it;
    if (first_merge) {
        status().set_status(TBS_ST_MERGE_FROM_LATEST);
        status().format(&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_CHECKIN_NOT_FROM_LATEST,
                        first_merge->scope.c_str());
        return;
    }
    // The upload holds each item's contents as "<size>\n<bytes>", in the items' order.
    Temporaries temps;
    {
        FILE* in = fopen(request().upload_pname(), "rb");
        if (!in) {
            status().set_status(tbs_errno2status(errno));
            status().format(&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_ATOMIC_CHECKIN_FAILED);
            return;
        }
        std::unique_ptr<FILE, int (*)(FILE*)> closer(in, fclose);
        std::vector<char> buf(65536);
        for (Item& it : items) {
            long long size = -1;
            char nl = 0;
            bool ok = fscanf(in, "%lld%c", &size, &nl) == 2 && nl == '\n' && size >= 0;
            char path[1024];
            int fd =
                ok ? fileutl_create_temp(fileutl_get_tmpdir(), "qlmx_ci_", 0600, path, sizeof path)
                   : -1;
            if (fd >= 0) temps.paths.push_back(path);
            for (long long left = size; ok && fd >= 0 && left > 0;) {
                size_t want = static_cast<size_t>(std::min<long long>(left, buf.size()));
                size_t got = fread(buf.data(), 1, want, in);
                ok = got == want && write(fd, buf.data(), got) == static_cast<ssize_t>(got);
                left -= static_cast<long long>(got);
            }
            if (fd >= 0) close(fd);
            if (!ok || fd < 0) {
                status().set_status(TBS_ST_ERR);
                status().add_text("Premature EOF occurred while uploading files.\n");
                return;
            }
            it.file = path;
            if (it.has_mtime &&
                !vdw_set_mtime(it.file, VDW_ReqArgsParser::decode_long(it.mtime.c_str()), it.scope,
                               status()))
                return;
        }
    }
    cmd_checkin_args_t ci;
    ci.view = &wv.view->ctx;
    ci.atomic = true;
    ci.identical = identical;
    ci.comment_mode = CMD_COMMENT_GIVEN;
    ci.comment = comment;
    for (const Item& it : items) {
        ci.pnames.push_back(it.pname);
        ci.from.push_back(it.file);
        ci.ptime |= it.has_mtime;
    }
    tbs_status_t st = cmd_checkin(&ci);
    if (st != TBS_ST_OK) {
        status().set_status(st);
        status().format(&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_ATOMIC_CHECKIN_FAILED);
        return;
    }
    std::vector<std::string> pnames;
    for (const Item& it : items) pnames.push_back(it.pname);
    VDW_WsSyncFetch::download_checkins(core, wv.root.c_str(), pnames,
                                       request().accept_compressed_cleartext(), false, *this,
                                       pool(), status());
}
