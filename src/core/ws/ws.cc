// The web-view engine: handles and their load scopes, lookups through a view, and
// namespace-change notification. The load sessions live in ws_session.cc, the cleartext
// transfer in ws_cltxt.cc.
#include "core/ws/ws.h"

#include <cstring>
#include <mutex>

#include "core/view/view_store.h"
#include "core/ws/ws_internal.h"

namespace {

std::mutex g_handlers_mu;
ws_update_handlers_t g_handlers;

}  // namespace

bool ws_same_uuid(const tbs_uuid_t& a, const tbs_uuid_t& b) {
    return memcmp(a.bytes, b.bytes, 16) == 0;
}

tbs_status_t ws_find_oid(const tbs_uuid_t& replica, const tbs_oid_t& oid, vob_t** vob,
                         vob_dbid_t* dbid) {
    tbs_status_t st = vob_open_by_uuid(replica, vob);
    return st == TBS_ST_OK ? vob_obj_oid_to_dbid(*vob, oid, dbid) : st;
}

void ws_rel_split(const std::string& pname, std::string* dir, std::string* leaf) {
    size_t slash = pname.find_last_of('/');
    *dir = slash == std::string::npos || slash == 0 ? "" : pname.substr(1, slash - 1);
    *leaf = slash == std::string::npos ? pname : pname.substr(slash + 1);
}

std::string ws_rel_join(const std::string& dir, const std::string& leaf) {
    return "/" + (dir.empty() ? leaf : dir + "/" + leaf);
}

bool ws_at_or_below(const std::string& path, const std::string& scope) {
    return path == scope || scope == "/" || path.rfind(scope + "/", 0) == 0;
}

std::string ws_normalize_scope(const view_t* view, const char* scope) {
    return view_pname_to_vob(view, scope);
}

// Handles ---------------------------------------------------------------------------------

tbs_status_t ws_get_handle(const char* view_root, int, ws_handle_t** handle) {
    view_t* v = nullptr;
    tbs_status_t st = view_open_by_root(view_root, &v);
    if (st != TBS_ST_OK) return st;
    if (v->kind == VIEW_KIND_DYNAMIC) return TBS_ST_NO_VTFS;
    auto* h = new ws_handle_t;
    h->view = v;
    *handle = h;
    return TBS_ST_OK;
}

void ws_free_handle(ws_handle_t* handle) {
    delete handle;
}

view_t* ws_get_view_handle(ws_handle_t* handle, int) {
    return handle ? handle->view : nullptr;
}

tbs_uuid_t ws_get_view_uuid(ws_handle_t* handle) {
    return handle ? handle->view->uuid : tbs_uuid_null();
}

int ws_get_text_mode(ws_handle_t*) {
    return 0;
}

tbs_status_t ws_get_scopes(ws_handle_t* handle, std::vector<std::string>* scopes) {
    *scopes = view_cspec_load_rules(*handle->view->cspec);
    return TBS_ST_OK;
}

namespace {

tbs_status_t set_scopes(ws_handle_t* h, std::vector<std::string> scopes, bool keep_existing) {
    std::string text;
    tbs_status_t st = view_get_cspec(h->view, &text);
    if (st != TBS_ST_OK) return st;
    view_cspec_t spec;
    if ((st = view_cspec_parse(text.c_str(), &spec, nullptr)) != TBS_ST_OK) return st;
    std::string out;
    for (const view_cspec_rule_t& r : spec.rules)
        if (r.kind != VIEW_RULE_LOAD || keep_existing) out += r.text + "\n";
    for (const std::string& sc : scopes) {
        std::string p = ws_normalize_scope(h->view, sc.c_str());
        if (p.find('"') != std::string::npos || p.find('\n') != std::string::npos)
            return TBS_ST_BAD_NAME;
        out += "load \"" + p + "\"\n";
    }
    return view_set_cspec(h->view, VIEW_SETCS_REPLACE, out, nullptr);
}

}  // namespace

tbs_status_t ws_add_scopes(ws_handle_t* handle, const char* const* scopes, int count, int) {
    std::vector<std::string> add(scopes, scopes + count);
    return set_scopes(handle, add, true);
}

tbs_status_t ws_replace_scopes(ws_handle_t* handle, const char* const* scopes, int count, int) {
    std::vector<std::string> all(scopes, scopes + count);
    return set_scopes(handle, all, false);
}

int ws_get_num_loaded(ws_handle_t* handle) {
    int64_t n = 0;
    view_ws_count(handle->view, &n);
    return static_cast<int>(n);
}

tbs_status_t ws_set_load_preferences(ws_handle_t* handle, unsigned word, int) {
    handle->prefs = word;
    return TBS_ST_OK;
}

tbs_status_t ws_set_ptime_prop(ws_handle_t* handle, bool use_ptime) {
    return view_set_prop(handle->view, "ptime", use_ptime ? "1" : "0");
}

void ws_set_load_observer(ws_handle_t* handle, const ws_load_observer_t* observer) {
    handle->obs = observer ? *observer : ws_load_observer_t{};
}

void ws_get_load_stats(ws_handle_t* handle, ws_load_stats_t* out) {
    *out = handle ? handle->stats : ws_load_stats_t{};
}

tbs_status_t ws_ok_to_load(ws_handle_t* handle, int* state) {
    view_load_session_t s;
    tbs_status_t st = view_ws_get_load_session(handle->view, &s);
    if (st == TBS_ST_OK) *state = s.in_progress ? 1 : 0;
    return st;
}

tbs_status_t ws_get_load_info(ws_handle_t* handle, int, int64_t* start, int, char* who,
                              size_t who_size, char* pid, size_t pid_size) {
    view_load_session_t s;
    tbs_status_t st = view_ws_get_load_session(handle->view, &s);
    if (st != TBS_ST_OK) return st;
    if (!s.in_progress) return TBS_ST_NOT_FOUND;
    if (start) *start = s.started;
    if (who && who_size) snprintf(who, who_size, "%s", s.user.c_str());
    if (pid && pid_size) snprintf(pid, pid_size, "%s", s.pid.c_str());
    return TBS_ST_OK;
}

// Lookups ---------------------------------------------------------------------------------

tbs_status_t ws_lookup_ext(ws_handle_t* handle, const char* path, int follow, int, bool,
                           ws_lookup_t* out) {
    *out = ws_lookup_t{};
    std::string pname = view_pname_to_vob(handle->view, path);
    tbs_status_t st = vob_resolve_pname(pname.c_str(), &handle->view->ctx,
                                        follow ? 0 : VOB_RESOLVE_NOFOLLOW, &out->r);
    if (st != TBS_ST_OK) return st;
    if (out->r.element && out->r.version) {
        vob_version_info_t v;
        if (vob_ver_get_info(out->r.vob, out->r.version, &v) == TBS_ST_OK)
            out->checked_out = v.checked_out;
        view_cspec_choice_t ch;
        if (view_cspec_select(*handle->view->cspec, out->r.vob, out->r.element, pname.c_str(),
                              handle->view->uuid, &ch) == TBS_ST_OK)
            out->rule = ch.rule;
    }
    return TBS_ST_OK;
}

tbs_status_t ws_lookup_pn(ws_handle_t* handle, const char* path, ws_lookup_t* out) {
    return ws_lookup_ext(handle, path, 1, 0, false, out);
}

tbs_status_t ws_lookup_realpath(ws_handle_t* handle, const char* path, std::string* real) {
    ws_lookup_t l;
    tbs_status_t st = ws_lookup_pn(handle, path, &l);
    if (st != TBS_ST_OK) return st;
    *real = l.r.vob->tag + (l.r.vob_path == "/" ? "" : l.r.vob_path);
    return TBS_ST_OK;
}

tbs_status_t ws_get_idstr(const tbs_uuid_t& replica, const tbs_oid_t& oid, std::string* idstr) {
    vob_t* vob = nullptr;
    vob_dbid_t dbid = 0;
    tbs_status_t st = ws_find_oid(replica, oid, &vob, &dbid);
    return st == TBS_ST_OK ? vob_ver_get_idstr(vob, dbid, idstr) : st;
}

// Namespace changes -----------------------------------------------------------------------

void ws_vob_op_set_update_handlers(const ws_update_handlers_t* handlers,
                                   ws_update_handlers_t* previous) {
    std::lock_guard<std::mutex> lock(g_handlers_mu);
    if (previous) *previous = g_handlers;
    g_handlers = handlers ? *handlers : ws_update_handlers_t{};
}

void ws_vob_op_notify(const tbs_uuid_t& view_uuid, int op, const char* pname, const char* pname2) {
    ws_update_handlers_t h;
    {
        std::lock_guard<std::mutex> lock(g_handlers_mu);
        h = g_handlers;
    }
    if (tbs_uuid_is_null(view_uuid) || (!h.update_name && !h.update_obj && !h.rename_scope)) return;
    view_t* view = nullptr;
    if (view_open_by_uuid(view_uuid, &view) != TBS_ST_OK || view->kind == VIEW_KIND_DYNAMIC) return;
    ws_handle_t* handle = nullptr;
    if (ws_get_handle(view->root.c_str(), 0, &handle) != TBS_ST_OK) return;
    auto name_of = [](const char* p, std::string* dir, std::string* leaf) {
        ws_rel_split(p ? p : "", dir, leaf);
    };
    std::string dir, leaf;
    if (op == WS_VOB_OP_RENAME && pname2) {
        bool scope_renamed = false;
        for (const std::string& sc : view_cspec_load_rules(*view->cspec))
            scope_renamed |= sc == pname;
        if (scope_renamed && h.rename_scope) h.rename_scope(h.ctx, handle, pname, pname2);
        if (h.update_name) {
            name_of(pname, &dir, &leaf);
            h.update_name(h.ctx, handle, op, dir.c_str(), leaf.c_str());
            name_of(pname2, &dir, &leaf);
            h.update_name(h.ctx, handle, op, dir.c_str(), leaf.c_str());
        }
    } else if (h.update_name) {
        name_of(pname, &dir, &leaf);
        h.update_name(h.ctx, handle, op, dir.c_str(), leaf.c_str());
    }
    ws_free_handle(handle);
}

tbs_status_t ws_rename_scope(ws_handle_t* handle, const char* from, const char* to) {
    std::vector<std::string> scopes = view_cspec_load_rules(*handle->view->cspec);
    std::string f = view_pname_to_vob(handle->view, from), t = view_pname_to_vob(handle->view, to);
    bool changed = false;
    for (std::string& sc : scopes) {
        if (sc == f) {
            sc = t;
            changed = true;
        } else if (sc.rfind(f + "/", 0) == 0) {
            sc = t + sc.substr(f.size());
            changed = true;
        }
    }
    if (!changed) return TBS_ST_OK;
    std::vector<const char*> ptrs;
    for (const std::string& sc : scopes) ptrs.push_back(sc.c_str());
    return ws_replace_scopes(handle, ptrs.data(), static_cast<int>(ptrs.size()), 1);
}

tbs_status_t ws_update_obj(ws_handle_t* handle, const char* path) {
    std::string p = view_pname_to_vob(handle->view, path), dir, leaf;
    ws_rel_split(p, &dir, &leaf);
    return ws_update_name(handle, dir.c_str(), leaf.c_str());
}

tbs_status_t ws_load_scope_ver(ws_handle_t* handle, const char* path) {
    return ws_update_obj(handle, path);
}
