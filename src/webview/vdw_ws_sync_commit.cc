// VDW_WsSyncCommit.
#include "webview/vdw_ws_sync_commit.h"

#include <cstring>
#include <ostream>

#include "core/imsg/imsg.h"
#include "core/view/view.h"
#include "core/ws/ws.h"
#include "facade/vdw_vdcore.h"
#include "foundation/catalogs/vdw_lib_catalog.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_req_args.h"
#include "request/vdw_rpc_response.h"
#include "webview/vdw_ws_handle.h"

namespace {

const char* const kClass = "VDW_WsSyncCommit";
// What the core is told of each load the client confirms.
// The kind of load session a commit runs in.
constexpr int kCommitSession = 4;

// Whether a name the client gives for the record stays inside the view: a leaf is one
// component (the top of a scope may have none), a directory a relative path, and neither
// has "." or ".." components. The record names files of server-side copies too.
bool record_name_ok(const std::string& dir, const std::string& leaf) {
    if (leaf == "." || leaf == ".." || leaf.find('/') != std::string::npos) return false;
    if (!dir.empty() && dir[0] == '/') return false;
    size_t start = 0;
    while (start <= dir.size() && !dir.empty()) {
        size_t end = dir.find('/', start);
        if (end == std::string::npos) end = dir.size();
        const std::string part = dir.substr(start, end - start);
        if (part.empty() || part == "." || part == "..") return false;
        start = end + 1;
    }
    return true;
}

}  // namespace

VDW_WsSyncCommit::VDW_WsSyncCommit(VDW_Vdcore& vdcore, const char* request_args,
                                   VDW_RpcResponse& response, WCM_MemPool& pool)
    : vdcore_(vdcore), response_(response), pool_(pool), request_args_(request_args) {
    items_.reserve(32);
}

VDW_WsSyncCommit::~VDW_WsSyncCommit() {
    if (build_session_set_ && wsh_ && wsh_->viewh()) {
        view_t* view = wsh_->viewh();
        view_set_bhandle(view, 0, 0);
        tbs_status_t st = view_bld_session_free(view, build_session_);
        if (st != TBS_ST_OK) imsg_core_error(46, "view_bld_session_free", tbs_strerror(st));
    }
}

bool VDW_WsSyncCommit::parse_item(VDW_ReqArgsParser& p, WCM_Status& status) {
    const char* v = nullptr;
    CommitItem item;
    item.dir = dir_context_;
    if (!p.match_next("Leaf", &v, status)) return false;
    item.leaf = v;
    if (!p.match_next("NextVerOid", &v, status)) return false;
    tbs_status_t st = tbs_uuid_from_str(v, &item.next_oid);
    if (st != TBS_ST_OK) {
        status.set_status(st);
        imsg_core_error(47, "tbs_str_to_oid", VDW_MultipartData::echo_text(v).c_str(),
                        tbs_strerror(st));
        return false;
    }
    if (!tbs_uuid_is_null(item.next_oid)) {
        if (!p.match_next("Dfh", &v, status) ||
            !VDW_ReqArgsParser::decode_fh(v, &item.fh, status) ||
            !p.match_next("NextVerIsSlink", &v, status))
            return false;
        item.is_slink = VDW_ReqArgsParser::decode_bool(v);
        if (item.is_slink) {
            if (!p.match_next("SlinkTgtDfh", &v, status) ||
                !VDW_ReqArgsParser::decode_fh(v, &item.slink_tgt_fh, status) ||
                !p.match_next("SlinkTgtLeaf", &v, status))
                return false;
            item.slink_tgt_leaf = v;
        }
    }
    if (!p.match_next("ItemEnd", &v, status)) return false;
    items_.push_back(std::move(item));
    return true;
}

bool VDW_WsSyncCommit::parse_request(WCM_Status& status) {
    VDW_ReqArgsParser p(request_args_);
    const char* v = nullptr;
    if (!p.match_next("CommitReqBegin", &v, status) || !p.match_next("ViewUuid", &v, status))
        return false;
    char root[VDW_Vdcore::PNAME_SIZE] = "";
    vdcore_.uuid_to_viewroot(v, root, status);
    if (!status.is_ok()) return false;
    view_root_ = root;
    if (!p.match_next("SessionTimestamp", &v, status)) return false;
    session_timestamp_ = VDW_ReqArgsParser::decode_long(v);
    if (!p.match_next("SessionId", &v, status)) return false;
    session_id_ = VDW_ReqArgsParser::decode_long(v);
    cancel_.set_sessionid(session_id_);
    bool found = false;
    if (!p.match_next_opt("SyncCancel", &v, found, status)) return false;
    cancel_requested_ = found;
    char buf[VDW_PNAME_BUF_SIZE];
    for (;;) {
        if (!p.match_next_opt("Dir", &v, found, status)) return false;
        if (found) {
            if (!p.match_next("Pname", &v, status)) return false;
            dir_context_ = VDW_ReqArgsParser::decode_pname(v, buf);
            if (!p.match_next("DirEnd", &v, status)) return false;
            continue;
        }
        if (!p.match_next_opt("Item", &v, found, status)) return false;
        if (found) {
            if (!parse_item(p, status)) return false;
            continue;
        }
        if (!p.match_next_opt("SyncCompletedBegin", &v, found, status)) return false;
        if (found) {
            if (!p.match_next("WasFullSync", &v, status)) return false;
            was_full_sync_ = VDW_ReqArgsParser::decode_bool(v);
            if (!p.match_next("CompletedOK", &v, status)) return false;
            completed_ok_ = VDW_ReqArgsParser::decode_bool(v);
            if (!p.match_next("SyncCompletedEnd", &v, status)) return false;
            sync_completed_seen_ = true;
            continue;
        }
        if (!p.match_next_opt("CommitReqEnd", &v, found, status)) return false;
        if (found) return true;
        const char* name = nullptr;
        if (!p.next(name, v, status)) return false;
        status.set_status(TBS_ST_ERR);
        imsg_print_catalog(IMSG_ERROR, &_vdw_lib_lib_msg_table, VDW_LIB_COMMIT_UNRECOGNIZED_ARG,
                           VDW_MultipartData::echo_text(name).c_str());
        return false;
    }
}

void VDW_WsSyncCommit::run(WCM_Status& status) {
    VDW_Trace trace(QLMX_COMPONENT, kClass, "run");
    if (!parse_request(status)) return;
    wsh_.reset(new VDW_WsHandle(view_root_.c_str(), status));
    if (!status.is_ok()) return;
    view_t* view = wsh_->viewh();
    int flags = 0;
    tbs_status_t st = view_bld_session_flags(view, &flags, 6, &build_session_);
    if (st != TBS_ST_OK) {
        status.set_status(st);
        imsg_core_error(46, "view_bld_session_flags", tbs_strerror(st));
        return;
    }
    build_session_set_ = true;
    view_set_bhandle(view, build_session_, 0);
    commit_items(status);
}

void VDW_WsSyncCommit::commit_items(WCM_Status& status) {
    view_t* view = wsh_->viewh();
    const std::string sid = std::to_string(session_id_);
    // Only the fetch of this view's session in progress is told to stop.
    view_load_session_t cur;
    if (cancel_requested_ && view_ws_get_load_session(view, &cur) == TBS_ST_OK && cur.in_progress &&
        cur.session_id == sid)
        cancel_.signal_cancel();
    bool conflict = false;
    tbs_status_t st =
        view_ws_begin_load_session(view, kCommitSession, sid.c_str(), "", 0, &conflict, 0);
    if (st != TBS_ST_OK) {
        status.set_status(st);
        return;
    }
    if (conflict) {
        status.set_status(TBS_ST_ERR);
        imsg_print_catalog(IMSG_ERROR, &_vdw_lib_lib_msg_table, VDW_LIB_COMMIT_SESSION_CONFLICT);
        return;
    }
    int last_failure = TBS_ST_OK;
    auto outcome = [&](const CommitItem& item, tbs_status_t st, bool print) {
        if (st == TBS_ST_OK) {
            last_failure = TBS_ST_OK;
            return;
        }
        ++failures_;
        last_failure = st;
        if (print)
            imsg_print_catalog(IMSG_ERROR, &_vdw_lib_lib_msg_table, VDW_LIB_COMMIT_ITEM_FAILED,
                               VDW_MultipartData::echo_text(item.dir.c_str()).c_str(),
                               VDW_MultipartData::echo_text(item.leaf.c_str()).c_str());
    };
    // Loads go to the record together, a run at a time; unloads one by one, in their place.
    std::vector<size_t> run;
    auto load_run = [&]() {
        if (run.empty()) return;
        std::vector<view_ws_load_item_t> loads;
        for (size_t i : run) {
            const CommitItem& item = items_[i];
            view_ws_load_item_t l;
            l.fh = item.fh;
            l.dir = item.dir;
            l.leaf = item.leaf;
            l.next_oid = item.next_oid;
            l.slink = item.is_slink;
            loads.push_back(std::move(l));
        }
        std::vector<view_ws_load_result_t> results;
        tbs_status_t st = view_ws_load_objects(view, loads, &results);
        for (size_t k = 0; k < run.size(); ++k) {
            tbs_status_t one = st != TBS_ST_OK ? st : results[k].status;
            if (one == TBS_ST_OK && results[k].state != VIEW_WSO_STATE_LOADED &&
                !(results[k].flags & 0x20))
                one = TBS_ST_ERR;
            outcome(items_[run[k]], one, true);
        }
        run.clear();
    };
    for (size_t i = 0; i < items_.size(); ++i) {
        const CommitItem& item = items_[i];
        if (!record_name_ok(item.dir, item.leaf)) {
            load_run();
            outcome(item, TBS_ST_ERR, true);
        } else if (tbs_uuid_is_null(item.next_oid)) {
            load_run();
            WCM_Status one;
            commit_one_unload(item, one);
            outcome(item, one.status(), false);
        } else {
            run.push_back(i);
        }
    }
    load_run();
    if (failures_ > 0 && status.is_ok())
        status.set_status(last_failure != TBS_ST_OK ? last_failure : TBS_ST_ERR);
    st = view_ws_end_load_session(view, completed_ok_ && failures_ == 0);
    if (st != TBS_ST_OK && status.is_ok()) status.set_status(st);
    if (sync_completed_seen_) cancel_.cleanup_cancel();
}

void VDW_WsSyncCommit::commit_one_unload(const CommitItem& item, WCM_Status& status) {
    const std::string path =
        !item.dir.empty() && !item.leaf.empty() ? item.dir + "/" + item.leaf : item.leaf;
    tbs_status_t st = view_ws_unload_one_object_ext(wsh_->viewh(), 0, 0, path.c_str());
    if (st == TBS_ST_OK) return;
    if (st == TBS_ST_NOT_FOUND) {
        status.set_status(TBS_ST_ERR);
        imsg_print_catalog(IMSG_ERROR, &_vdw_lib_lib_msg_table, VDW_LIB_COMMIT_UNLOAD_CONFLICT,
                           path.c_str());
        return;
    }
    status.set_status(st);
    imsg_print_catalog(IMSG_ERROR, &_vdw_lib_lib_msg_table, VDW_LIB_COMMIT_UNLOAD_FAILED,
                       path.c_str(), tbs_strerror(st));
}

void VDW_Vdcore::ws_sync_commit_rpc(const char* args, std::ostream& out, WCM_MemPool& pool,
                                    WCM_Status& status) {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_Vdcore", "ws_sync_commit_rpc");
    VDW_RpcResponse response(pool, status, out, this);
    {
        VDW_WsSyncCommit commit(*this, args, response, pool);
        commit.run(status);
    }
    if (!status.is_ok()) status.format(&_vdw_lib_lib_msg_table, VDW_LIB_COMMIT_PROBLEMS);
}
