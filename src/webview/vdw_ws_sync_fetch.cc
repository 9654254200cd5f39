// VDW_WsSyncFetch: the update of a web view, its records and its single-element downloads.
#include "webview/vdw_ws_sync_fetch.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <ostream>

#include "core/imsg/imsg.h"
#include "core/util/fileutl.h"
#include "core/view/view.h"
#include "core/vob/vob.h"
#include "core/vob/vob_obj.h"
#include "core/ws/ws.h"
#include "facade/vdw_vdcore.h"
#include "foundation/catalogs/vdw_lib_catalog.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_req_args.h"
#include "request/vdw_rpc_response.h"
#include "webview/vdw_version_stream.h"
#include "webview/vdw_ws_handle.h"

namespace {

const char* const kClass = "VDW_WsSyncFetch";

// Load-preference bits of the update (what each means is the core's).
enum : unsigned {
    PREF_HIJACK_RENAME = 0x20,
    PREF_HIJACK_OVERWRITE = 0x60,
    PREF_FORCED_RULE = 0x2,
    PREF_NO_UPDATE_IN_PLACE = 0x400,
    PREF_BASE = 0x80000,
    PREF_BASE_SCOPED = 0x180000,
    PREF_ABORT = 0x1000,
    PREF_PREVIEW_OR_DEFER = 0x200000,
    PREF_SURGICAL = 0x10000000,
    PREF_FROM_VIEW = 0x8 | 0x1000000,
    PREF_FROM_VIEW_LOAD = 0x8 | 0x1800000,
    PREF_FROM_VOB = 0x40000,
    PREF_FROM_VOB_LOAD = 0x440000,
    PREF_REMOVED_SCOPES = 0x1000000,
};

void internal_error(const char* fmt, const char* text) {
    imsg_internal_error("vdw_lib", __FILE__, __LINE__, fmt, text);
}

bool same_id(const tbs_uuid_t& a, const tbs_uuid_t& b) {
    return memcmp(a.bytes, b.bytes, sizeof a.bytes) == 0;
}

std::string join(const std::string& dir, const std::string& leaf) {
    if (dir.empty()) return leaf;
    if (leaf.empty()) return dir;
    return dir + "/" + leaf;
}

// The text a web view's text mode is known by on the wire.
const char* text_mode_to_str(int mode) {
    return mode == 0 ? "unix" : "transparent";
}

bool at_or_below(const std::string& path, const std::string& scope) {
    if (scope.empty() || scope == "/") return true;
    return path == scope ||
           (path.size() > scope.size() && path.compare(0, scope.size(), scope) == 0 &&
            path[scope.size()] == '/');
}

// A scope as a VOB pathname ("/vobs/p/src"), whatever form the client sent it in.
std::string scope_pname(const std::string& scope) {
    std::string s = scope;
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s.empty() || s[0] == '/' ? s : "/" + s;
}

}  // namespace

// ---- construction -----------------------------------------------------------------------

VDW_WsSyncFetch::VDW_WsSyncFetch(VDW_Vdcore& vdcore, const char* request_args, bool compress_ok,
                                 VDW_RpcResponse& response, WCM_MemPool& pool)
    : vdcore_(vdcore), response_(response), pool_(pool), request_args_(request_args) {
    common_init(SYNC_FROM_VOB, compress_ok);
}

VDW_WsSyncFetch::VDW_WsSyncFetch(VDW_Vdcore& vdcore, Mode mode, const char* view_root,
                                 bool compress_ok, VDW_RpcResponse& response, WCM_MemPool& pool,
                                 WCM_Status&)
    : vdcore_(vdcore), response_(response), pool_(pool), view_root_(view_root ? view_root : "") {
    common_init(mode, compress_ok);
}

VDW_WsSyncFetch::VDW_WsSyncFetch(VDW_Vdcore& vdcore, Mode mode, const char* view_root,
                                 bool compress_ok, bool send_cleartext, bool send_failures,
                                 VDW_RpcResponse& response, WCM_MemPool& pool, WCM_Status&)
    : vdcore_(vdcore), response_(response), pool_(pool), view_root_(view_root ? view_root : "") {
    common_init(mode, compress_ok);
    send_cleartext_ = send_cleartext;
    send_failures_ = send_failures;
}

VDW_WsSyncFetch::VDW_WsSyncFetch(VDW_Vdcore& vdcore, VDW_WsHandle& wsh, bool compress_ok,
                                 VDW_RpcResponse& response, WCM_MemPool& pool, WCM_Status&)
    : vdcore_(vdcore), response_(response), pool_(pool) {
    common_init(SYNC_FROM_VOB, compress_ok);
    wsh_ = &wsh;
}

void VDW_WsSyncFetch::common_init(Mode mode, bool compress_ok) {
    compress_ok_ = compress_ok;
    threshold_ = vdw_compression_threshold();
    mode_ = mode;
    if (mode >= CHECKOUT && mode <= MKELEM) {
        mode_ = SYNC_FROM_VIEW;
        single_op_ = true;
        forced_cspec_rule_ = true;
    }
}

VDW_WsSyncFetch::~VDW_WsSyncFetch() {
    // An update a core operation drove (warp_wsh) ends here.
    if (session_established_ && begin_sent_ && !request_args_ && status_) {
        add_end_response(response_, unvisited_done_ && unvisited_failures_ == 0);
    }
    // What an update a core operation drove sent the client is what it now holds.
    if (warped_ && !sent_.empty() && status_) record_sent(*status_);
    if (cltxt_cache_) ws_xfer_free_cache(&cltxt_cache_);
    if (wsh_ && wsh_->wsh()) ws_set_load_observer(wsh_->wsh(), nullptr);
    if (wsh_owned_) delete wsh_;
    wsh_ = nullptr;
    if (!cancel_.is_null()) cancel_.cleanup_cancel();
}

void VDW_WsSyncFetch::set_scope_list(const char* const* scopes, unsigned n) {
    scopes_.clear();
    for (unsigned i = 0; i < n; ++i) scopes_.emplace_back(scopes[i] ? scopes[i] : "");
    removed_scopes_.clear();
}

void VDW_WsSyncFetch::set_scope_list(const char* const* scopes, unsigned n,
                                     const char* const* removed, unsigned m) {
    set_scope_list(scopes, n);
    for (unsigned i = 0; i < m; ++i) removed_scopes_.emplace_back(removed[i] ? removed[i] : "");
}

// ---- names ------------------------------------------------------------------------------

const char* VDW_WsSyncFetch::mode_to_str(int mode) {
    switch (mode) {
        case SYNC_FROM_VOB:
            return "SyncFromVob";
        case SYNC_FROM_VIEW:
            return "SyncFromView";
        case CHECKOUT:
            return "Checkout";
        case UNCHECKOUT:
            return "Uncheckout";
        default:
            return "sync_from_unknown";
    }
}

VDW_WsSyncFetch::Mode VDW_WsSyncFetch::mode_from_str(const char* text, WCM_Status& status) {
    if (text && strcmp(text, "SyncFromVob") == 0) return SYNC_FROM_VOB;
    if (text && strcmp(text, "SyncFromView") == 0) return SYNC_FROM_VIEW;
    status.set_status(TBS_ST_ERR);
    internal_error("sync mode \"%s\".\n", text ? text : "");
    return SYNC_FROM_VOB;
}

VDW_WsSyncFetch::HijackMode VDW_WsSyncFetch::hijack_mode_from_str(const char* text,
                                                                  WCM_Status& status) {
    if (text && strcmp(text, "Keep") == 0) return HIJACK_KEEP;
    if (text && strcmp(text, "Rename") == 0) return HIJACK_RENAME;
    if (text && strcmp(text, "Overwrite") == 0) return HIJACK_OVERWRITE;
    status.set_status(TBS_ST_ERR);
    internal_error("hijack mode \"%s\".\n", text ? text : "");
    return HIJACK_KEEP;
}

const char* VDW_WsSyncFetch::ftype_to_str(int ftype) {
    switch (ftype) {
        case WS_FTYPE_FILE:
            return "File";
        case WS_FTYPE_DIR:
            return "Dir";
        case WS_FTYPE_SLINK:
            return "Slink";
        default:
            return "ftype-unrecognized";
    }
}

// ---- the request ------------------------------------------------------------------------

bool VDW_WsSyncFetch::parse_request(WCM_Status& status) {
    VDW_ReqArgsParser p(request_args_);
    const char* v = nullptr;
    auto flag = [&](const char* name, bool* out) {
        if (!p.match_next(name, &v, status)) return false;
        *out = VDW_ReqArgsParser::decode_bool(v);
        return true;
    };
    if (!p.match_next("SyncReqBegin", &v, status) || !p.match_next("ViewUuid", &v, status))
        return false;
    char root[VDW_Vdcore::PNAME_SIZE] = "";
    vdcore_.uuid_to_viewroot(v, root, status);
    if (!status.is_ok()) return false;
    view_root_ = root;
    if (!p.match_next("Mode", &v, status)) return false;
    mode_ = mode_from_str(v, status);
    if (!status.is_ok()) return false;
    if (!flag("Preview", &preview_) || !flag("AutoLoadRuleGen", &auto_load_rule_gen_) ||
        !flag("DeferLoad", &defer_load_) || !flag("AbortInprogressSync", &abort_inprogress_))
        return false;
    bool found = false;
    if (!p.match_next_opt("CommitLoopback", &v, found, status)) return false;
    if (found) commit_loopback_ = VDW_ReqArgsParser::decode_bool(v);
    if (!p.match_next_opt("SendCleartext", &v, found, status)) return false;
    if (found) send_cleartext_ = VDW_ReqArgsParser::decode_bool(v);
    if (!p.match_next("ScopeCnt", &v, status)) return false;
    const int n = VDW_ReqArgsParser::decode_int(v);
    if (n < 0) {
        status.set_status(TBS_ST_ERR);
        status.format(&_vdw_lib_lib_msg_table, VDW_LIB_ARGS_PARSE_PROBLEM, "ScopeCnt");
        return false;
    }
    char buf[VDW_PNAME_BUF_SIZE];
    for (int i = 0; i < n; ++i) {
        if (!p.match_next("Scope", &v, status)) return false;
        scopes_.emplace_back(VDW_ReqArgsParser::decode_pname(v, buf));
    }
    if (!p.match_next("ScopeVerIdsCnt", &v, status)) return false;
    const int m = VDW_ReqArgsParser::decode_int(v);
    if (m != 0 && m != n) {
        status.set_status(TBS_ST_ERR);
        internal_error("%s", "n_scope_verids != n_scopes.\n");
        return false;
    }
    for (int i = 0; i < m; ++i) {
        if (!p.match_next("ScopeVerId", &v, status)) return false;
        scope_verids_.emplace_back(VDW_ReqArgsParser::decode_pname(v, buf));
    }
    if (!p.match_next("SyncReqEnd", &v, status)) return false;
    send_failures_ = false;
    snapshot_view_ = false;
    use_ptime_ = override_ptime_ = true;
    hijack_mode_ = HIJACK_KEEP;
    if (!p.has_more_args()) return true;
    if (!p.match_next_opt("SendFailures", &v, found, status)) return false;
    if (found) send_failures_ = VDW_ReqArgsParser::decode_bool(v);
    if (!p.has_more_args()) return true;
    if (!p.match_next_opt("SnapshotView", &v, found, status)) return false;
    if (found && VDW_ReqArgsParser::decode_bool(v)) set_snapshot_view();
    if (!snapshot_view_) return true;
    if (!p.match_next_opt("PreserveTime", &v, found, status)) return false;
    if (found) {
        use_ptime_ = VDW_ReqArgsParser::decode_bool(v);
    } else {
        override_ptime_ = false;
        use_ptime_ = true;
    }
    if (!p.match_next("HijackMode", &v, status)) return false;
    hijack_mode_ = hijack_mode_from_str(v, status);
    return status.is_ok();
}

// ---- the update -------------------------------------------------------------------------

unsigned VDW_WsSyncFetch::load_prefs_word(WCM_Status& status) const {
    unsigned word = 0;
    if (!(update_view_ && !preview_)) word |= PREF_NO_UPDATE_IN_PLACE;
    if (snapshot_view_ && hijack_mode_ == HIJACK_RENAME) word |= PREF_HIJACK_RENAME;
    if (snapshot_view_ && hijack_mode_ == HIJACK_OVERWRITE) word |= PREF_HIJACK_OVERWRITE;
    if (forced_cspec_rule_) word |= PREF_FORCED_RULE;
    word |=
        !scopes_.empty() && (preview_ || mode_ == SYNC_FROM_VIEW) ? PREF_BASE_SCOPED : PREF_BASE;
    if (abort_inprogress_) word |= PREF_ABORT;
    if (preview_ || defer_load_) word |= PREF_PREVIEW_OR_DEFER;
    if (automatic_view_ && surgical_update_) word |= PREF_SURGICAL;
    const bool load = !preview_ && !defer_load_;
    switch (mode_) {
        case SYNC_FROM_VIEW:
            word |= load ? PREF_FROM_VIEW_LOAD : PREF_FROM_VIEW;
            break;
        case SYNC_FROM_VOB:
            word |= load ? PREF_FROM_VOB_LOAD : PREF_FROM_VOB;
            if (!removed_scopes_.empty()) word |= PREF_REMOVED_SCOPES;
            break;
        default: {
            char text[16];
            snprintf(text, sizeof text, "%d", static_cast<int>(mode_));
            internal_error("sync mode \"%s\".\n", text);
            status.set_status(TBS_ST_ERR);
        }
    }
    return word;
}

void VDW_WsSyncFetch::setup_ws_observer() {
    ws_load_observer_t obs;
    obs.ctx = this;
    obs.begin_session = begin_session_cbk;
    obs.one_element = one_element_cbk;
    obs.unvisited = unvisited_cbk;
    obs.end_unvisited = end_unvisited_cbk;
    if (!snapshot_view_) obs.renamed = renamed_cbk;
    ws_set_load_observer(wsh_->wsh(), &obs);
}

const std::vector<std::string>& VDW_WsSyncFetch::view_scopes() {
    if (!view_scopes_read_ && wsh_) {
        view_scopes_read_ = true;
        ws_get_scopes(wsh_->wsh(), &view_scopes_);
    }
    return view_scopes_;
}

bool VDW_WsSyncFetch::under_scopes(const std::string& item) const {
    for (const std::string& s : scopes_)
        if (at_or_below(item, scope_pname(s))) return true;
    return false;
}

bool VDW_WsSyncFetch::inside_view_scopes(const std::string& item) {
    for (const std::string& s : view_scopes())
        if (at_or_below(item, scope_pname(s))) return true;
    return false;
}

void VDW_WsSyncFetch::augment_load_rules(WCM_Status& status) {
    if (scopes_.empty()) return;
    std::vector<std::string> existing;
    tbs_status_t st = ws_get_scopes(wsh_->wsh(), &existing);
    if (st != TBS_ST_OK) {
        status.set_status(st);
        return;
    }
    auto covered = [](const std::string& path, const std::vector<std::string>& list) {
        for (const std::string& s : list)
            if (at_or_below(scope_pname(path), scope_pname(s))) return true;
        return false;
    };
    std::vector<std::string> added, kept;
    for (const std::string& s : scopes_)
        if (!covered(s, existing)) added.push_back(scope_pname(s));
    if (added.empty()) return;
    for (const std::string& s : existing)
        if (!covered(s, added)) kept.push_back(s);
    std::vector<const char*> list;
    if (kept.size() != existing.size()) {
        for (const std::string& s : kept) list.push_back(s.c_str());
        for (const std::string& s : added) list.push_back(s.c_str());
        st = ws_replace_scopes(wsh_->wsh(), list.data(), static_cast<int>(list.size()), 1);
    } else {
        for (const std::string& s : added) list.push_back(s.c_str());
        st = ws_add_scopes(wsh_->wsh(), list.data(), static_cast<int>(list.size()), 1);
    }
    if (st != TBS_ST_OK) {
        status.set_status(st);
        return;
    }
    view_scopes_read_ = false;
    cspec_mod_before_update_ = true;
}

bool VDW_WsSyncFetch::should_send_cspec_rule() {
    if (scopes_.empty()) return false;
    if (forced_cspec_rule_) return true;
    for (const std::string& s : scopes_) {
        ws_lookup_t lk;
        if (ws_lookup_pn(wsh_->wsh(), s.c_str(), &lk) != TBS_ST_OK) return false;
        if (lk.r.mtype == VOB_MTYPE_DIR_VERSION) return false;
    }
    return true;
}

void VDW_WsSyncFetch::run(WCM_Status& status) {
    VDW_Trace trace(QLMX_COMPONENT, kClass, "run");
    status_ = &status;
    if (request_args_ && !parse_request(status)) return;
    if (!wsh_) {
        wsh_ = new VDW_WsHandle(view_root_.c_str(), status);
        wsh_owned_ = true;
        if (!status.is_ok()) return;
    }
    view_t* view = wsh_->viewh();
    if (!view) {
        status.set_status(TBS_ST_NOT_FOUND);
        status.format(&_vdw_lib_lib_msg_table, VDW_LIB_OPEN_VIEW_FAILED, view_root_.c_str());
        return;
    }
    // A view of this server is always in step with its stream: streams do not generate
    // config specs here, so there is nothing to bring into step before the update.
    send_cspec_rule_ = send_cspec_rule_ || should_send_cspec_rule();
    setup_ws_observer();
    const unsigned word = load_prefs_word(status);
    if (!status.is_ok()) return;
    tbs_status_t st = ws_set_load_preferences(wsh_->wsh(), word, 1);
    if (st != TBS_ST_OK) {
        status.set_status(st);
        return;
    }
    session_established_ = true;
    if (mode_ == SYNC_FROM_VOB && !preview_ && auto_load_rule_gen_) {
        augment_load_rules(status);
        if (!status.is_ok()) return;
    }
    if (scopes_.empty()) loaded_elem_count_ = ws_get_num_loaded(wsh_->wsh());
    if (override_ptime_) {
        st = ws_set_ptime_prop(wsh_->wsh(), use_ptime_);
        if (st != TBS_ST_OK && trace.shouldTrace(1))
            trace.writeTrace("ws_set_ptime_prop: %s", tbs_strerror(st));
    }
    session_timestamp_ = static_cast<long>(time(nullptr));
    last_record_time_ = time(nullptr);
    std::vector<const char*> list;
    for (const std::string& s : scopes_) list.push_back(s.c_str());
    st = ws_load_scopes(wsh_->wsh(), list.data(), static_cast<int>(list.size()));
    if (single_op_) {
        // A single-element session is this request's alone: what it sent is recorded, and
        // one that failed is not left in the way of the next update. (A session that never
        // began because another update holds the view is that update's.)
        if (st == TBS_ST_OK && status.is_ok() && !preview_)
            record_sent(status);
        else if (st != TBS_ST_VIEW_CONFLICT)
            view_ws_abandon_load_session(view);
    }
    // A stop the fetch asked for (cancelled, or the client went away) is not a failure of
    // the core's.
    if (st != TBS_ST_OK && status.is_ok()) status.set_status(st);
    if (begin_sent_) {
        bool ok = add_end_response(response_, unvisited_done_ && unvisited_failures_ == 0);
        if (!ok && status.is_ok()) status.set_status(TBS_ST_INTERRUPTED);
        begin_sent_ = false;  // sent
        session_established_ = false;
    }
}

void VDW_WsSyncFetch::warp_wsh(WCM_Status& status) {
    status_ = &status;
    if (!wsh_) return;
    setup_ws_observer();
    const unsigned word = load_prefs_word(status);
    if (!status.is_ok()) return;
    tbs_status_t st = ws_set_load_preferences(wsh_->wsh(), word, 1);
    if (st != TBS_ST_OK) {
        status.set_status(st);
        return;
    }
    session_timestamp_ = static_cast<long>(time(nullptr));
    last_record_time_ = time(nullptr);
    session_established_ = true;
    warped_ = true;
}

// ---- callbacks --------------------------------------------------------------------------

tbs_status_t VDW_WsSyncFetch::finish_callback(WCM_Status& status, int* notify, bool begin) {
    check_cancel(status);
    if (notify) *notify = 0;
    if (status.is_ok()) return TBS_ST_OK;
    if (status.status() == TBS_ST_INTERRUPTED) {
        VDW_Trace trace(QLMX_COMPONENT, kClass, "callback");
        if (trace.shouldTrace(1)) trace.writeTrace("SPECIAL STOP CODE seen");
        if (notify) *notify = 1;
        // The fetch's own status says why it stopped.
        if (status_ && status_->is_ok()) status_->set_status(TBS_ST_INTERRUPTED);
        return TBS_ST_OK;
    }
    return begin ? status.status() : TBS_ST_OK;
}

void VDW_WsSyncFetch::check_cancel(WCM_Status& status) {
    if (cancel_.is_null() || !cancel_.is_cancelled()) return;
    status.set_status(TBS_ST_INTERRUPTED);
    cancel_.cleanup_cancel();
}

tbs_status_t VDW_WsSyncFetch::begin_session_cbk(void* ctx, uint64_t session_id, int* notify) {
    auto* self = static_cast<VDW_WsSyncFetch*>(ctx);
    WCM_Status status;
    self->begin_session_callback(session_id, status);
    return self->finish_callback(status, notify, true);
}

tbs_status_t VDW_WsSyncFetch::one_element_cbk(void* ctx, const ws_elem_info_t* info, int* notify) {
    auto* self = static_cast<VDW_WsSyncFetch*>(ctx);
    WCM_Status status;
    self->one_element_callback(*info, status);
    if (!status.is_ok() && status.status() != TBS_ST_INTERRUPTED) {
        ++self->visited_failures_;
        if (self->status_ && self->status_->is_ok()) {
            // The element's failure is reported; the session goes on with the next one.
            VDW_Trace trace(QLMX_COMPONENT, kClass, "one_element_callback");
            if (trace.shouldTrace(1))
                trace.writeTrace("%s/%s: %s", info->dir.c_str(), info->leaf.c_str(),
                                 tbs_strerror(status.status()));
        }
    }
    return self->finish_callback(status, notify, false);
}

tbs_status_t VDW_WsSyncFetch::unvisited_cbk(void* ctx, const ws_elem_info_t* info, int state,
                                            int* notify) {
    auto* self = static_cast<VDW_WsSyncFetch*>(ctx);
    WCM_Status status;
    self->one_unvisited_element_callback(*info, state, status);
    if (!status.is_ok() && status.status() != TBS_ST_INTERRUPTED) ++self->unvisited_failures_;
    return self->finish_callback(status, notify, false);
}

tbs_status_t VDW_WsSyncFetch::end_unvisited_cbk(void* ctx, int* notify) {
    auto* self = static_cast<VDW_WsSyncFetch*>(ctx);
    self->unvisited_done_ = true;
    WCM_Status status;
    return self->finish_callback(status, notify, false);
}

tbs_status_t VDW_WsSyncFetch::renamed_cbk(void* ctx, const char* src_dir, const char* src_name,
                                          const char* dst_dir, const char* dst_name,
                                          int progress_only, int* notify) {
    auto* self = static_cast<VDW_WsSyncFetch*>(ctx);
    WCM_Status status;
    self->renamed_one_callback(src_dir, src_name, dst_dir, dst_name, progress_only != 0, status);
    if (!status.is_ok() && status.status() != TBS_ST_INTERRUPTED) ++self->visited_failures_;
    return self->finish_callback(status, notify, false);
}

void VDW_WsSyncFetch::wrote(bool ok, WCM_Status& status) {
    if (ok) {
        last_record_time_ = time(nullptr);
        return;
    }
    // The client is gone: the session stops, and the record stays as it was.
    status.set_status(TBS_ST_INTERRUPTED);
}

void VDW_WsSyncFetch::begin_session_callback(uint64_t session_id, WCM_Status& status) {
    session_id_ = static_cast<unsigned long>(session_id);
    if (single_op_) return;
    cancel_.set_sessionid(static_cast<long>(session_id));
    bool ok = add_begin_response(response_, session_timestamp_, session_id_, loaded_elem_count_);
    wrote(ok, status);
    begin_sent_ = ok;
}

void VDW_WsSyncFetch::check_progress(time_t now, WCM_Status& status) {
    if (last_record_time_ + 2 < now)
        wrote(add_progress_response(response_, cur_elem_count_), status);
}

bool VDW_WsSyncFetch::under_removed_scope(const ws_elem_info_t& info) {
    if (removed_scopes_.empty()) return false;
    const std::string item = info.leaf.empty() ? "/" + info.dir : "/" + join(info.dir, info.leaf);
    bool removed = false;
    for (const std::string& s : removed_scopes_) removed |= at_or_below(item, scope_pname(s));
    if (!removed || inside_view_scopes(item)) return false;
    // A directory on the way to a scope the view still loads stays: unloading it would
    // take that scope's files with it.
    for (const std::string& s : view_scopes())
        if (at_or_below(scope_pname(s), item)) return false;
    return true;
}

void VDW_WsSyncFetch::one_element_callback(const ws_elem_info_t& info, WCM_Status& status) {
    ++cur_elem_count_;
    if (info.status != TBS_ST_OK) {
        if (send_failures_ && info.status == TBS_ST_PERMISSION) {
            add_dir_context_response_if_different(info, status);
            if (status.is_ok())
                wrote(add_failed_elem_response(response_, info.leaf.c_str(),
                                               tbs_strerror(info.status)),
                      status);
        }
        if (status.is_ok()) check_progress(time(nullptr), status);
        if (status.is_ok()) status.set_status(info.status);
        return;
    }
    // A single-element download is about its elements alone, not the directories above
    // them that the core walks through to reach them (the client holds those).
    if (single_op_ && !under_scopes("/" + join(info.dir, info.leaf))) {
        check_progress(time(nullptr), status);
        return;
    }
    const bool checked_out = info.flags & WS_FLAG_CHECKED_OUT;
    const bool prev_null = tbs_uuid_is_null(info.prev_oid);
    bool unload = false;
    bool checkout_dir = false;
    if (mode_ == SYNC_FROM_VIEW) {
        unload = prev_null && (!checked_out || info.ftype != WS_FTYPE_DIR);
    } else {
        unload = under_removed_scope(info);
        if (!unload) {
            const std::string item = "/" + join(info.dir, info.leaf);
            checkout_dir =
                checked_out && info.ftype == WS_FTYPE_DIR && prev_null && inside_view_scopes(item);
            const bool server_copy_changed =
                snapshot_view_ && (checked_out || (info.flags & WS_FLAG_HIJACKED));
            const bool unchanged = (checked_out && !(info.flags & WS_FLAG_CO_CHANGED)) ||
                                   (same_id(info.prev_replica, info.cur_replica) &&
                                    same_id(info.prev_oid, info.cur_oid));
            if (!checkout_dir && !server_copy_changed && unchanged) {
                check_progress(time(nullptr), status);
                return;
            }
        }
    }
    add_dir_context_response_if_different(info, status);
    if (!status.is_ok()) return;
    if (unload && !update_view_) {
        wrote(add_unload_elem_response(response_, info.leaf.c_str(), checked_out), status);
        if (status.is_ok()) remember_sent(info, true);
        return;
    }
    bool frozen = false;
    if (checked_out && info.ftype == WS_FTYPE_FILE) {
        tbs_status_t st =
            view_ws_is_frozen_object(wsh_->viewh(), info.dir.c_str(), info.leaf.c_str(), &frozen);
        if (st != TBS_ST_OK) {
            status.set_status(st);
            imsg_core_error(46, "view_ws_is_frozen_object", tbs_strerror(st));
            return;
        }
    }
    // Whether the contents are left for the client to fetch by URL.
    cltxt_omitted_ = false;
    if (info.ftype == WS_FTYPE_FILE && !snapshot_view_ && !preview_ && !defer_load_ &&
        !send_cleartext_ && modified_file_.empty()) {
        if (checked_out && mode_ == SYNC_FROM_VIEW) cltxt_omitted_ = true;
        if (!checked_out && !info.cltxt_name.empty()) cltxt_omitted_ = true;
    }
    add_elem_info_response(info, frozen, status);
    if (!status.is_ok()) return;
    if (!snapshot_view_ && !preview_ && !defer_load_) add_ver_data_response(info, status);
    if (!status.is_ok()) return;
    last_record_time_ = time(nullptr);
    remember_sent(info, false);
}

void VDW_WsSyncFetch::remember_sent(const ws_elem_info_t& info, bool unload) {
    if (!(single_op_ || warped_) || preview_) return;
    sent_.push_back(info);
    if (unload) sent_.back().cur_oid = tbs_uuid_null();
}

void VDW_WsSyncFetch::record_sent(WCM_Status& status) {
    view_t* view = wsh_->viewh();
    bool conflict = false;
    const std::string sid = std::to_string(session_id_);
    tbs_status_t st = view_ws_begin_load_session(view, 4, sid.c_str(), "", 0, &conflict, 0);
    if (st == TBS_ST_OK && conflict) st = TBS_ST_VIEW_CONFLICT;
    for (const ws_elem_info_t& e : sent_) {
        if (st != TBS_ST_OK) break;
        int state = 0, flags = 0;
        if (tbs_uuid_is_null(e.cur_oid)) {
            st = view_ws_unload_one_object_ext(view, 0, 0, join(e.dir, e.leaf).c_str());
            if (st == TBS_ST_NOT_FOUND) st = TBS_ST_OK;
        } else if (e.flags & WS_FLAG_SLINK) {
            st = view_ws_load_one_slink(view, tbs_uuid_null(), e.fh, e.dir.c_str(), e.leaf.c_str(),
                                        e.target_fh, e.target_leaf.c_str(), 2178, 0, 0, e.cur_oid,
                                        &state, &flags);
        } else {
            st = view_ws_load_one_object(view, tbs_uuid_null(), e.fh, e.dir.c_str(), e.leaf.c_str(),
                                         2178, 0, 0, e.cur_oid, &state, &flags);
        }
    }
    tbs_status_t end = view_ws_end_load_session(view, st == TBS_ST_OK);
    if (st == TBS_ST_OK) st = end;
    if (st != TBS_ST_OK) status.set_status(st);
}

void VDW_WsSyncFetch::one_unvisited_element_callback(const ws_elem_info_t& info, int state,
                                                     WCM_Status& status) {
    if (automatic_view_ && mode_ == NS_UPDATE_AUTOMATIC && "/" + info.dir == ns_dir_scope_) {
        VDW_MultipartData part("SyncRemoveLeaf", nullptr, nullptr, nullptr, 0);
        part.add_part_item("Leaf", info.leaf.c_str());
        wrote(!response_.add_part(part, false), status);
        if (!status.is_ok()) return;
    }
    ++cur_elem_count_;
    const std::string path = join(info.dir, info.leaf);
    if (state == 2) {
        imsg_print_catalog(IMSG_WARNING, &_vdw_lib_lib_msg_table, VDW_LIB_UNLOAD_UNDECIDED,
                           path.c_str());
        if (!preview_) {
            tbs_status_t st = view_ws_invalidate_object(wsh_->viewh(), path.c_str(), 1);
            if (st != TBS_ST_OK) {
                status.set_status(st);
                return;
            }
        }
        check_progress(time(nullptr), status);
        return;
    }
    if (state != 1) {
        char text[64];
        snprintf(text, sizeof text, "%d", state);
        internal_error("state %s for an unvisited element.\n", text);
        status.set_status(TBS_ST_ERR);
        return;
    }
    add_dir_context_response_if_different(info, status);
    if (!status.is_ok()) return;
    wrote(add_unload_elem_response(response_, info.leaf.c_str(), info.flags & WS_FLAG_CHECKED_OUT),
          status);
    if (status.is_ok()) remember_sent(info, true);
}

void VDW_WsSyncFetch::renamed_one_callback(const char* src_dir, const char* src_name,
                                           const char* dst_dir, const char* dst_name,
                                           bool progress_only, WCM_Status& status) {
    ++cur_elem_count_;
    if (progress_only) {
        check_progress(time(nullptr), status);
        return;
    }
    wrote(add_rename_response(response_, src_dir, src_name, dst_dir, dst_name), status);
}

void VDW_WsSyncFetch::add_dir_context_response_if_different(const ws_elem_info_t& info,
                                                            WCM_Status& status) {
    if (dir_context_set_ && info.dir == dir_context_) return;
    // The VOB the directory belongs to; above a VOB's root (its tag's parents), the VOB of
    // the element itself.
    std::string vob_root;
    ws_lookup_t lk;
    if (ws_lookup_pn(wsh_->wsh(), ("/" + info.dir).c_str(), &lk) == TBS_ST_OK && lk.r.vob &&
        at_or_below("/" + info.dir, lk.r.vob->tag))
        vob_root = lk.r.vob->tag;
    else if (ws_lookup_ext(wsh_->wsh(), ("/" + join(info.dir, info.leaf)).c_str(), 0, 0, false,
                           &lk) == TBS_ST_OK &&
             lk.r.vob)
        vob_root = lk.r.vob->tag;
    dir_context_ = info.dir;
    dir_context_set_ = true;
    wrote(add_dir_context_response(response_, info.dir.c_str(), vob_root.c_str()), status);
}

std::string VDW_WsSyncFetch::get_cspec_rule(const ws_elem_info_t& info, WCM_Status& status) {
    if (!send_cspec_rule_) return "";
    if (info.flags & WS_FLAG_CHECKED_OUT) return "CHECKEDOUT";
    const std::string path = "/" + join(info.dir, info.leaf);
    ws_lookup_t lk;
    tbs_status_t st = ws_lookup_ext(wsh_->wsh(), path.c_str(), 1, 1, mode_ == SYNC_FROM_VOB, &lk);
    if (st != TBS_ST_OK) {
        status.set_status(st);
        status.format(&_vdw_lib_lib_msg_table, VDW_LIB_CS_RULE_LOOKUP_FAILED, path.c_str(),
                      tbs_strerror(st));
        return "";
    }
    char rule[1024] = "";
    if (lk.rule < 0 ||
        view_spec_rule_format(wsh_->viewh(), lk.rule, rule, sizeof rule) != TBS_ST_OK)
        return "";
    VDW_Vdcore::convert_pname_to_global(rule);
    return rule;
}

void VDW_WsSyncFetch::add_elem_info_response(const ws_elem_info_t& info, bool frozen,
                                             WCM_Status& status) {
    std::string prev_id, next_id;
    if (!tbs_uuid_is_null(info.prev_oid)) {
        if (ws_get_idstr(info.prev_replica, info.prev_oid, &prev_id) != TBS_ST_OK ||
            prev_id.empty() || prev_id[0] != '/') {
            char text[256];
            imsg_sprintf(text, sizeof text, &_vdw_lib_lib_msg_table,
                         VDW_LIB_VERSION_NO_LONGER_EXISTS);
            prev_id = text;
        }
    }
    tbs_uuid_t cur_replica = info.cur_replica, cur_oid = info.cur_oid;
    const bool checked_out = info.flags & WS_FLAG_CHECKED_OUT;
    if (checked_out && info.ftype == WS_FTYPE_DIR && tbs_uuid_is_null(info.prev_oid)) {
        cur_replica = tbs_uuid_null();
        cur_oid = tbs_uuid_null();
    }
    if (tbs_uuid_is_null(cur_oid))
        next_id.clear();
    else if (same_id(info.prev_oid, cur_oid))
        next_id = prev_id;
    else if (ws_get_idstr(cur_replica, cur_oid, &next_id) != TBS_ST_OK)
        next_id.clear();
    const std::string rule = get_cspec_rule(info, status);
    if (!status.is_ok()) return;

    char pbuf[VDW_PNAME_BUF_SIZE], nbuf[VDW_PNAME_BUF_SIZE], fh[VDW_FH_BUF_SIZE];
    VDW_MultipartData part(VDW_MultipartData::SYNC_ELEM_INFO, nullptr, nullptr, nullptr, 0);
    part.add_part_item("TextMode", text_mode_to_str(ws_get_text_mode(wsh_->wsh())));
    part.add_part_item("NextReplicaUuid", tbs_uuid_text(cur_replica).c_str());
    part.add_part_item("Leaf", info.leaf.c_str());
    part.add_part_item("PrevVerId", VDW_ReqArgsGenerator::encode_pname(prev_id.c_str(), pbuf));
    part.add_part_item("PrevVerOid", tbs_uuid_text(info.prev_oid).c_str());
    part.add_part_item("NextVerId", VDW_ReqArgsGenerator::encode_pname(next_id.c_str(), nbuf));
    part.add_part_item("NextVerCspecRule", rule.c_str());
    part.add_part_item("NextVerOid", tbs_uuid_text(cur_oid).c_str());
    part.add_part_item("NextVerCheckedOut", VDW_ReqArgsGenerator::encode_bool(checked_out));
    if (checked_out && !frozen)
        part.add_part_item("NextVerIsUnfrozenCheckOut", VDW_ReqArgsGenerator::encode_bool(true));
    part.add_part_item("NextVerFtype", ftype_to_str(info.ftype));
    part.add_part_item("NextVerFmode", static_cast<unsigned long>(info.fstat.mode));
    part.add_part_item("NextVerSize", static_cast<long long>(info.fstat.size));
    part.add_part_item("NextVerDfh", VDW_ReqArgsGenerator::encode_fh(info.fh, fh));
    const bool slink = info.flags & WS_FLAG_SLINK;
    part.add_part_item("NextVerIsSlink", VDW_ReqArgsGenerator::encode_bool(slink));
    if (slink) {
        part.add_part_item("NextVerSlinkTgtDfh",
                           VDW_ReqArgsGenerator::encode_fh(info.target_fh, fh));
        part.add_part_item("NextVerSlinkTgtLeaf", info.target_leaf.c_str());
    }
    part.add_part_item("ModifiedTime", static_cast<long>(info.fstat.mtime));
    part.add_part_item("NextVerCltxtOmitted", VDW_ReqArgsGenerator::encode_bool(cltxt_omitted_));
    if (snapshot_view_) {
        const bool hijacked = info.flags & WS_FLAG_HIJACKED;
        part.add_part_item("IsHijacked", VDW_ReqArgsGenerator::encode_bool(hijacked));
        if (hijacked) part.add_part_item("HijackSaved", info.hijack_saved.c_str());
    }
    wrote(!response_.add_part(part, true), status);
}

void VDW_WsSyncFetch::add_ver_data_response(const ws_elem_info_t& info, WCM_Status& status) {
    // Data parts are never cut short by a cancel (see below).
    if (!modified_file_.empty()) {
        struct stat sb;
        if (stat(modified_file_.c_str(), &sb) != 0) {
            const int e = errno;
            status.set_status(tbs_errno2status(e));
            imsg_core_error(25, modified_file_.c_str(), strerror(e));
            return;
        }
        marshal_file_part(response_, modified_file_.c_str(), static_cast<long long>(sb.st_size),
                          compress_ok_, status, nullptr);
        return;
    }
    if (info.ftype != WS_FTYPE_FILE) return;
    const bool checked_out = info.flags & WS_FLAG_CHECKED_OUT;
    if (mode_ == SYNC_FROM_VOB) {
        if (checked_out || info.cltxt_name.empty()) return;
    } else if (!checked_out && info.cltxt_name.empty()) {
        return;
    }
    if (!send_cleartext_) {
        if (cltxt_omitted_) return;
        internal_error("%s", "add_ver_data_response: Wrong result from check_need_get_cleartext\n");
        status.set_status(TBS_ST_ERR);
        return;
    }
    // The version's bytes, straight from its VOB's content pool.
    vob_t* vob = nullptr;
    vob_dbid_t version = 0;
    const tbs_uuid_t replica =
        tbs_uuid_is_null(info.cur_replica) ? wsh_->view_uuid() : info.cur_replica;
    tbs_status_t st = view_find_oid(wsh_->viewh(), replica, info.cur_oid, &vob, &version);
    if (st != TBS_ST_OK) {
        status.set_status(st);
        status.format(&_vdw_lib_lib_msg_table, VDW_LIB_DOWNLOAD_CLEARTEXT_FAILED,
                      join(info.dir, info.leaf).c_str(), tbs_strerror(st));
        return;
    }
    // A cancel is seen between elements: a part cut short would leave the client a stream
    // it cannot read to its end record.
    const std::string name = join(info.dir, info.leaf);
    VDW_VersionStream stream;
    if (vdw_open_version_stream(vdcore_, vob, version, compress_ok_, threshold_, &stream, status))
        vdw_send_version(response_, VDW_MultipartData::SYNC_VER_DATA, stream, name.c_str(), nullptr,
                         status);
    if (status.is_ok()) last_record_time_ = time(nullptr);
}

// ---- records ----------------------------------------------------------------------------

bool VDW_WsSyncFetch::add_begin_response(VDW_RpcResponse& r, long timestamp,
                                         unsigned long session_id, int loaded_count) {
    VDW_MultipartData part(VDW_MultipartData::SYNC_SESSION_BEGIN, nullptr, nullptr, nullptr, 0);
    part.add_part_item("SessionTimestamp", timestamp);
    part.add_part_item("SessionId", session_id);
    if (loaded_count > 0) part.add_part_item("LoadedElemCnt", loaded_count);
    return !r.add_part(part, false);
}

bool VDW_WsSyncFetch::add_end_response(VDW_RpcResponse& r, bool completed_ok) {
    VDW_MultipartData part(VDW_MultipartData::SYNC_SESSION_END, nullptr, nullptr, nullptr, 0);
    part.add_part_item("FetchCompletedOK", VDW_ReqArgsGenerator::encode_bool(completed_ok));
    return !r.add_part(part, false);
}

bool VDW_WsSyncFetch::add_progress_response(VDW_RpcResponse& r, int count) {
    VDW_MultipartData part(VDW_MultipartData::SYNC_PROGRESS, nullptr, nullptr, nullptr, 0);
    part.add_part_item("CurElemCnt", count);
    return !r.add_part(part, true);
}

bool VDW_WsSyncFetch::add_rename_response(VDW_RpcResponse& r, const char* src_dir,
                                          const char* src_name, const char* dst_dir,
                                          const char* dst_name) {
    char a[VDW_PNAME_BUF_SIZE], b[VDW_PNAME_BUF_SIZE];
    VDW_MultipartData part(VDW_MultipartData::SYNC_RENAME_ELEM, nullptr, nullptr, nullptr, 0);
    part.add_part_item("SrcDirPname", VDW_ReqArgsGenerator::encode_pname(src_dir, a));
    part.add_part_item("SrcName", src_name);
    part.add_part_item("DstDirPname", VDW_ReqArgsGenerator::encode_pname(dst_dir, b));
    part.add_part_item("DstName", dst_name);
    return !r.add_part(part, false);
}

bool VDW_WsSyncFetch::add_dir_context_response(VDW_RpcResponse& r, const char* dir,
                                               const char* vob_root) {
    char a[VDW_PNAME_BUF_SIZE];
    VDW_MultipartData part(VDW_MultipartData::SYNC_DIR_CONTEXT, nullptr, nullptr, nullptr, 0);
    part.add_part_item("Pname", VDW_ReqArgsGenerator::encode_pname(dir, a));
    part.add_part_item("VobRoot", vob_root);
    return !r.add_part(part, false);
}

bool VDW_WsSyncFetch::add_unload_elem_response(VDW_RpcResponse& r, const char* leaf,
                                               bool checked_out) {
    VDW_MultipartData part(VDW_MultipartData::SYNC_ELEM_INFO, nullptr, nullptr, nullptr, 0);
    part.add_part_item("ShortRec", VDW_ReqArgsGenerator::encode_bool(true));
    part.add_part_item("Leaf", leaf);
    part.add_part_item("NextVerOid", tbs_uuid_text(tbs_uuid_null()).c_str());
    part.add_part_item("NextVerCheckedOut", VDW_ReqArgsGenerator::encode_bool(checked_out));
    return !r.add_part(part, false);
}

bool VDW_WsSyncFetch::add_failed_elem_response(VDW_RpcResponse& r, const char* leaf,
                                               const char* error) {
    VDW_MultipartData part(VDW_MultipartData::SYNC_ELEM_INFO, nullptr, nullptr, nullptr, 0);
    part.add_part_item("ShortRec", VDW_ReqArgsGenerator::encode_bool(true));
    part.add_part_item("Leaf", leaf);
    part.add_part_item("NextVerOid", tbs_uuid_text(tbs_uuid_null()).c_str());
    part.add_part_item("NextVerCheckedOut", VDW_ReqArgsGenerator::encode_bool(false));
    part.add_part_item("NextVerElemFailure", error);
    return !r.add_part(part, false);
}

void VDW_WsSyncFetch::marshal_file_part(VDW_RpcResponse& r, const char* path, long long size,
                                        bool compress_ok, WCM_Status& status, VDW_Cancel* cancel) {
    vdw_send_file_part(r, path, size, compress_ok, vdw_compression_threshold(), cancel, status);
}

// ---- single-element downloads ------------------------------------------------------------

namespace {

void download_one(VDW_Vdcore& vdcore, VDW_WsSyncFetch::Mode mode, const char* view_root,
                  const std::vector<std::string>& pnames, const char* modified_file,
                  bool compress_ok, bool automatic, bool defer, VDW_RpcResponse& response,
                  WCM_MemPool& pool, WCM_Status& status, vdw_lib_msg_t failure) {
    VDW_WsSyncFetch fetch(vdcore, mode, view_root, compress_ok, response, pool, status);
    const bool modified = modified_file && *modified_file;
    if (mode == VDW_WsSyncFetch::CHECKOUT && automatic) {
        fetch.set_automatic_view();
        if (modified) {
            fetch.set_modified_file_name(modified_file);
            fetch.set_surgical_update();
            fetch.set_update_view();
        }
    }
    if (mode == VDW_WsSyncFetch::MKELEM) {
        if (automatic) {
            fetch.set_automatic_view();
            fetch.set_surgical_update();
            if (modified) fetch.set_modified_file_name(modified_file);
        }
        fetch.set_update_view();
    }
    std::vector<const char*> list;
    for (const std::string& p : pnames) list.push_back(p.c_str());
    fetch.set_scope_list(list.data(), static_cast<unsigned>(list.size()));
    if (defer) fetch.set_defer_load();
    fetch.set_send_cspec_rule();
    fetch.run(status);
    if (!status.is_ok()) {
        std::string names;
        for (const std::string& p : pnames) names += (names.empty() ? "" : " ") + p;
        imsg_print_catalog(IMSG_ERROR, &_vdw_lib_lib_msg_table, failure, names.c_str(),
                           tbs_strerror(status.status()));
    }
}

}  // namespace

void VDW_WsSyncFetch::download_one_checkout(VDW_Vdcore& vdcore, const char* view_root,
                                            const char* pname, const char* modified_file,
                                            bool compress_ok, bool automatic, bool defer,
                                            VDW_RpcResponse& response, WCM_MemPool& pool,
                                            WCM_Status& status) {
    download_one(vdcore, CHECKOUT, view_root, {pname}, modified_file, compress_ok, automatic, defer,
                 response, pool, status, VDW_LIB_DOWNLOAD_CHECKOUT_FAILED);
}

void VDW_WsSyncFetch::download_one_uncheckout(VDW_Vdcore& vdcore, const char* view_root,
                                              const char* pname, bool compress_ok, bool defer,
                                              VDW_RpcResponse& response, WCM_MemPool& pool,
                                              WCM_Status& status) {
    download_one(vdcore, UNCHECKOUT, view_root, {pname}, nullptr, compress_ok, false, defer,
                 response, pool, status, VDW_LIB_DOWNLOAD_UNCHECKOUT_FAILED);
}

void VDW_WsSyncFetch::download_one_checkin(VDW_Vdcore& vdcore, const char* view_root,
                                           const char* pname, bool compress_ok, bool defer,
                                           VDW_RpcResponse& response, WCM_MemPool& pool,
                                           WCM_Status& status) {
    download_one(vdcore, CHECKIN, view_root, {pname}, nullptr, compress_ok, false, defer, response,
                 pool, status, VDW_LIB_DOWNLOAD_CHECKIN_FAILED);
}

void VDW_WsSyncFetch::download_one_mkelem(VDW_Vdcore& vdcore, const char* view_root,
                                          const char* pname, const char* modified_file,
                                          bool compress_ok, bool automatic, bool defer,
                                          VDW_RpcResponse& response, WCM_MemPool& pool,
                                          WCM_Status& status) {
    download_one(vdcore, MKELEM, view_root, {pname}, modified_file, compress_ok, automatic, defer,
                 response, pool, status, VDW_LIB_DOWNLOAD_MKELEM_FAILED);
}

void VDW_WsSyncFetch::download_checkins(VDW_Vdcore& vdcore, const char* view_root,
                                        const std::vector<std::string>& pnames, bool compress_ok,
                                        bool defer, VDW_RpcResponse& response, WCM_MemPool& pool,
                                        WCM_Status& status) {
    download_one(vdcore, CHECKIN, view_root, pnames, nullptr, compress_ok, false, defer, response,
                 pool, status, VDW_LIB_DOWNLOAD_CHECKIN_FAILED);
}

// ---- the RPC ----------------------------------------------------------------------------

void VDW_Vdcore::ws_sync_fetch_rpc(const char* args, bool compress_ok, std::ostream& out,
                                   WCM_MemPool& pool, WCM_Status& status) {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_Vdcore", "ws_sync_fetch_rpc");
    VDW_RpcResponse response(pool, status, out, this);
    {
        VDW_WsSyncFetch fetch(*this, args, compress_ok, response, pool);
        fetch.run(status);
    }
    if (!status.is_ok()) status.format(&_vdw_lib_lib_msg_table, VDW_LIB_FETCH_PROBLEMS);
}
