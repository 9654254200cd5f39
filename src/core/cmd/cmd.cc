// Element commands: checkout, checkin, uncheckout, mkelem, mv, rmname, ln, mkbranch, and
// the pieces of them the other command modules share.
#include <grp.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>

#include "core/cmd/cmd_internal.h"
#include "core/imsg/imsg.h"
#include "core/store/content_pool.h"
#include "core/vob/vob_store.h"
#include "core/util/pfm.h"
#include "core/view/config_spec.h"
#include "core/ws/ws.h"

namespace {

// The attribution installed by cmd_setevent, for this process.
struct Attribution {
    bool set = false;
    int64_t time = 0;
    std::string login, group, fullname, host;
};
std::mutex g_attr_mu;
Attribution g_attr;

bool in_named_group(const credutl_creds_t& who, const std::string& group) {
    if (group == who.group) return true;
    struct group gr, *res = nullptr;
    char buf[4096];
    if (getgrnam_r(group.c_str(), &gr, buf, sizeof buf, &res) != 0 || !res) return false;
    return credutl_in_group(who, res->gr_gid);
}

bool is_vob_owner(vob_t* vob, const cmd_ctx& ctx) {
    vob_obj_info_t v;
    return vob_store_get_object(*vob->db, cmd_vob_object(vob), &v) == TBS_ST_OK &&
           v.owner == ctx.who.user;
}

std::string idstr(vob_t* vob, int64_t version) {
    std::string s;
    if (vob_ver_get_idstr(vob, version, &s) != TBS_ST_OK) s = "?";
    return s;
}

std::string comment_of(int mode, const std::string& comment) {
    return mode == CMD_COMMENT_GIVEN ? comment : std::string();
}

// Resolves inside a transaction and checks that the name is an element's version.
tbs_status_t resolve_version(const std::string& pname, const cmd_ctx& ctx, vob_resolved_t* r) {
    tbs_status_t st = vob_resolve_pname(pname.c_str(), ctx.view, 0, r);
    if (st != TBS_ST_OK) return st;
    if (r->mtype != VOB_MTYPE_VERSION && r->mtype != VOB_MTYPE_DIR_VERSION)
        return r->mtype == VOB_MTYPE_SLINK ? TBS_ST_NOT_ELEMENT : TBS_ST_BAD_SELECTOR;
    return TBS_ST_OK;
}

int64_t file_mtime(const std::string& path) {
    struct stat sb;
    return stat(path.c_str(), &sb) == 0 ? static_cast<int64_t>(sb.st_mtime) : 0;
}

// Contents are put in the pool before the transaction that refers to them.
tbs_status_t put_content(vob_t* vob, const std::string& from, std::string* name, int64_t* size,
                         content_batch* batch = nullptr) {
    uint64_t n = 0;
    tbs_status_t st = vob->pool->put_file(from.c_str(), name, &n, batch);
    // The failure may be the source's (unreadable) or the pool's (full, failing to flush).
    if (st != TBS_ST_OK) return cmd_fail("Unable to store the contents of", from, st);
    *size = static_cast<int64_t>(n);
    return TBS_ST_OK;
}

// The view-private file a pathname has in the view's server-side root, when the context
// is a real view and a regular file is there: what checkin and mkelem take when no
// contents file is named.
std::string view_private_file(const cmd_ctx& ctx, const std::string& pname) {
    if (tbs_uuid_is_null(ctx.view->view_uuid)) return std::string();
    view_t* view = nullptr;
    if (view_open_by_uuid(ctx.view->view_uuid, &view) != TBS_ST_OK ||
        view->kind == VIEW_KIND_DYNAMIC)
        return std::string();
    const std::string vob_path = view_pname_to_vob(view, pname.c_str());
    size_t at = vob_path.find("@@");
    if (vob_path.empty() || at != std::string::npos) return std::string();
    const std::string path = view->root + vob_path;
    struct stat sb;
    return lstat(path.c_str(), &sb) == 0 && S_ISREG(sb.st_mode) ? path : std::string();
}

}  // namespace

// Shared pieces --------------------------------------------------------------------------

tbs_status_t cmd_fail(const char* what, const std::string& name, tbs_status_t st) {
    imsg_error("%s \"%s\": %s.\n", what, name.c_str(), tbs_strerror(st));
    return st;
}

tbs_status_t cmd_ctx_init(cmd_ctx* ctx, const vob_view_ctx_t* view) {
    tbs_status_t st = credutl_get_creds(&ctx->who);
    if (st != TBS_ST_OK) return st;
    ctx->view = view ? view : &ctx->null_view;
    ctx->view_text = tbs_uuid_text(ctx->view->view_uuid);
    std::lock_guard<std::mutex> lock(g_attr_mu);
    ctx->user = g_attr.set && !g_attr.login.empty() ? g_attr.login : ctx->who.user;
    ctx->group = g_attr.set && !g_attr.group.empty() ? g_attr.group : ctx->who.group;
    ctx->host = g_attr.set && !g_attr.host.empty() ? g_attr.host : pfm_host_name();
    ctx->now = g_attr.set && g_attr.time ? g_attr.time : static_cast<int64_t>(time(nullptr));
    return TBS_ST_OK;
}

tbs_status_t cmd_check_comment(const std::string& comment) {
    if (comment.size() > VOB_MAX_COMMENT) {
        imsg_error("Comment of %zu bytes is longer than the limit of %d.\n", comment.size(),
                   static_cast<int>(VOB_MAX_COMMENT));
        return TBS_ST_TOO_LONG;
    }
    if (memchr(comment.data(), '\0', comment.size()))
        return cmd_fail("Bad comment", "", TBS_ST_INVALID);
    return TBS_ST_OK;
}

tbs_status_t cmd_check_name(const std::string& name) {
    if (name.size() > VOB_MAX_NAME)
        return cmd_fail("Name too long", name.substr(0, 64) + "...", TBS_ST_TOO_LONG);
    if (!vob_utl_valid_name(name.c_str()) || memchr(name.data(), '\0', name.size()))
        return cmd_fail("Invalid name", name, TBS_ST_BAD_NAME);
    return TBS_ST_OK;
}

tbs_status_t cmd_check_pnames(const std::vector<std::string>& pnames) {
    for (const std::string& p : pnames) {
        if (p.size() > VOB_MAX_PNAME)
            return cmd_fail("Pathname too long", p.substr(0, 64) + "...", TBS_ST_TOO_LONG);
        for (unsigned char c : p)
            if (c < 32 || c == 127) return cmd_fail("Invalid pathname", p.c_str(), TBS_ST_BAD_NAME);
        if (p.empty()) return cmd_fail("Invalid pathname", p, TBS_ST_BAD_NAME);
    }
    return TBS_ST_OK;
}

int64_t cmd_vob_object(vob_t* vob) {
    std::string text;
    if (vob_store_get_info(*vob->db, "vob_dbid", &text) != TBS_ST_OK) return 0;
    return atoll(text.c_str());
}

tbs_status_t cmd_new_object(vob_t* vob, store_txn& txn, const cmd_ctx& ctx, int mtype, int mode,
                            int64_t* dbid) {
    vob_store_object_t o;
    o.mtype = mtype;
    o.owner = ctx.who.user;
    o.group = ctx.who.group;
    o.mode = mode;
    o.created = ctx.now;
    o.creator = ctx.user;
    return vob_store_new_object(*vob->db, txn, o, dbid);
}

tbs_status_t cmd_event(vob_t* vob, store_txn& txn, const cmd_ctx& ctx, int64_t obj,
                       const char* kind, const std::string& comment) {
    return vob_store_add_event(*vob->db, txn, obj, kind, ctx.user.c_str(), ctx.host.c_str(),
                               ctx.now, comment.c_str());
}

tbs_status_t cmd_check_write(vob_t* vob, const cmd_ctx& ctx, int64_t obj) {
    if (credutl_is_privileged(ctx.who) || is_vob_owner(vob, ctx)) return TBS_ST_OK;
    vob_obj_info_t o;
    tbs_status_t st = vob_obj_get_info(vob, obj, &o);
    if (st != TBS_ST_OK) return st;
    bool ok = o.owner == ctx.who.user            ? (o.mode & 0200)
              : in_named_group(ctx.who, o.group) ? (o.mode & 0020)
                                                 : (o.mode & 0002);
    return ok ? TBS_ST_OK : TBS_ST_PERMISSION;
}

tbs_status_t cmd_check_owner(vob_t* vob, const cmd_ctx& ctx, int64_t obj) {
    if (credutl_is_privileged(ctx.who) || is_vob_owner(vob, ctx)) return TBS_ST_OK;
    vob_obj_info_t o;
    tbs_status_t st = vob_obj_get_info(vob, obj, &o);
    if (st != TBS_ST_OK) return st;
    return o.owner == ctx.who.user ? TBS_ST_OK : TBS_ST_PERMISSION;
}

tbs_status_t cmd_check_locks(vob_t* vob, const cmd_ctx& ctx, std::initializer_list<int64_t> objs) {
    auto check = [&](int64_t obj) -> tbs_status_t {
        if (!obj) return TBS_ST_OK;
        vob_lock_info_t lock;
        tbs_status_t st = vob_store_get_lock(*vob->db, obj, &lock);
        if (st != TBS_ST_OK || !lock.locked) return st;
        if (!lock.obsolete)
            for (const std::string& u : lock.excluded)
                if (u == ctx.who.user) return TBS_ST_OK;
        char sel[1024];
        if (vob_obj_get_selector(vob, obj, sel, sizeof sel) != TBS_ST_OK)
            snprintf(sel, sizeof sel, "dbid:%lld", static_cast<long long>(obj));
        imsg_error("Lock on %s \"%s\" prevents the operation.\n",
                   lock.obsolete ? "obsolete object" : "object", sel);
        return TBS_ST_LOCKED;
    };
    tbs_status_t st = check(cmd_vob_object(vob));
    for (int64_t obj : objs)
        if (st == TBS_ST_OK) st = check(obj);
    return st;
}

tbs_status_t cmd_check_element_locks(vob_t* vob, const cmd_ctx& ctx, int64_t element,
                                     int64_t branch) {
    int64_t eltype = 0, brtype = 0;
    vob_store_get_element(*vob->db, element, &eltype, nullptr, nullptr);
    if (branch) vob_store_get_branch(*vob->db, branch, nullptr, &brtype, nullptr);
    return cmd_check_locks(vob, ctx, {element, eltype, branch, brtype});
}

tbs_status_t cmd_do_checkout(vob_t* vob, store_txn& txn, const cmd_ctx& ctx, int64_t element,
                             int64_t version, bool reserved, bool unreserved_ok,
                             const std::string& comment, int64_t* checkout, bool* got_reserved) {
    store_db& db = *vob->db;
    vob_version_info_t v;
    tbs_status_t st = vob_store_get_version(db, version, &v);
    if (st != TBS_ST_OK) return st == TBS_ST_NOT_FOUND ? TBS_ST_CHECKED_OUT : st;
    vob_checkout_info_t existing;
    if (vob_store_find_checkout(db, element, ctx.view_text, &existing) == TBS_ST_OK)
        return TBS_ST_CHECKED_OUT;
    if ((st = cmd_check_write(vob, ctx, element)) != TBS_ST_OK) return st;
    if ((st = cmd_check_element_locks(vob, ctx, element, v.branch)) != TBS_ST_OK) return st;
    int64_t co = 0;
    if ((st = cmd_new_object(vob, txn, ctx, v.is_dir ? VOB_MTYPE_DIR_VERSION : VOB_MTYPE_VERSION,
                             v.is_dir ? 0775 : 0664, &co)) != TBS_ST_OK)
        return st;
    vob_checkout_info_t c;
    c.dbid = co;
    c.element = element;
    c.branch = v.branch;
    c.pred_version = version;
    c.view_uuid = ctx.view->view_uuid;
    c.user = ctx.who.user;
    c.at = ctx.now;
    c.comment = comment;
    c.reserved = reserved;
    st = reserved ? vob_store_new_checkout(db, c) : TBS_ST_EXISTS;
    if (st == TBS_ST_EXISTS) {
        // The partial unique index admits one reserved checkout per branch.
        if (!unreserved_ok) return TBS_ST_RESERVED;
        c.reserved = false;
        st = vob_store_new_checkout(db, c);
    }
    if (st != TBS_ST_OK) return st;
    if (v.is_dir && (st = vob_store_dir_copy(db, version, co)) != TBS_ST_OK) return st;
    if ((st = cmd_event(vob, txn, ctx, element, "checkout version", comment)) != TBS_ST_OK)
        return st;
    *checkout = co;
    if (got_reserved) *got_reserved = c.reserved;
    return TBS_ST_OK;
}

tbs_status_t cmd_do_checkin(vob_t* vob, store_txn& txn, const cmd_ctx& ctx, int64_t co_dbid,
                            const std::string* content, int64_t size, const std::string* comment,
                            bool identical, int64_t created, int64_t* version) {
    store_db& db = *vob->db;
    vob_checkout_info_t co;
    tbs_status_t st = vob_store_get_checkout(db, co_dbid, &co);
    if (st != TBS_ST_OK) return st == TBS_ST_NOT_FOUND ? TBS_ST_NOT_CHECKED_OUT : st;
    if (co.user != ctx.who.user && !credutl_is_privileged(ctx.who) &&
        cmd_check_owner(vob, ctx, co.element) != TBS_ST_OK)
        return TBS_ST_PERMISSION;
    if ((st = cmd_check_element_locks(vob, ctx, co.element, co.branch)) != TBS_ST_OK) return st;
    int64_t latest = 0, number = 0;
    if ((st = vob_store_latest_version(db, co.branch, &latest, &number)) != TBS_ST_OK) return st;
    if (latest != co.pred_version) {
        // Allowed once the latest version has been merged into the checkout.
        vob_type_info_t merge;
        int64_t arrow = 0;
        if (vob_store_find_type_info(db, VOB_MTYPE_HLTYPE, "Merge", &merge) != TBS_ST_OK ||
            vob_store_find_hlink(db, merge.dbid, latest, co_dbid, &arrow) != TBS_ST_OK)
            return TBS_ST_NOT_LATEST;
    }
    if (!co.reserved) {
        std::vector<vob_checkout_info_t> others;
        if ((st = vob_store_list_checkouts(db, co.element, &others)) != TBS_ST_OK) return st;
        for (const vob_checkout_info_t& o : others)
            if (o.reserved && o.branch == co.branch && o.dbid != co_dbid) return TBS_ST_RESERVED;
    }
    vob_version_info_t pred;
    if ((st = vob_store_get_version(db, co.pred_version, &pred)) != TBS_ST_OK) return st;
    std::string new_content = content ? *content : pred.content;
    int64_t new_size = content ? size : pred.size;
    if (!pred.is_dir && !identical && new_content == pred.content) return TBS_ST_IDENTICAL;
    if (pred.is_dir) new_content.clear(), new_size = 0;
    const std::string& text = comment ? *comment : co.comment;
    if ((st = vob_store_new_version(db, co_dbid, co.element, co.branch, number + 1, new_content,
                                    new_size, text, co.pred_version)) != TBS_ST_OK)
        return st;
    if ((st = vob_store_delete_checkout(db, co_dbid)) != TBS_ST_OK) return st;
    if ((st = vob_store_set_object_created(db, co_dbid, created ? created : ctx.now, ctx.user)) !=
        TBS_ST_OK)
        return st;
    if ((st = cmd_event(vob, txn, ctx, co_dbid,
                        pred.is_dir ? "create directory version" : "create version", text)) !=
        TBS_ST_OK)
        return st;
    if (version) *version = co_dbid;
    return TBS_ST_OK;
}

tbs_status_t cmd_dir_checkout(vob_t* vob, store_txn& txn, const cmd_ctx& ctx, int64_t dir_element,
                              int64_t dir_version, int64_t* co, bool* made) {
    *made = false;
    vob_checkout_info_t existing;
    if (vob_store_find_checkout(*vob->db, dir_element, ctx.view_text, &existing) == TBS_ST_OK) {
        *co = existing.dbid;
        return TBS_ST_OK;
    }
    tbs_status_t st =
        cmd_do_checkout(vob, txn, ctx, dir_element, dir_version, true, false, "", co, nullptr);
    if (st == TBS_ST_OK) *made = true;
    return st;
}

tbs_status_t cmd_do_mkelem(vob_t* vob, store_txn& txn, const cmd_ctx& ctx, int64_t dir_co,
                           const std::string& leaf, int64_t eltype, bool is_dir,
                           const std::string& comment, int64_t* element, int64_t* version0) {
    store_db& db = *vob->db;
    int64_t existing = 0;
    if (vob_store_dir_lookup(db, dir_co, leaf, &existing, nullptr) == TBS_ST_OK)
        return TBS_ST_EXISTS;
    int64_t main_type = 0;
    tbs_status_t st = vob_store_find_type(db, VOB_MTYPE_BRTYPE, "main", &main_type);
    if (st != TBS_ST_OK) return st;
    int64_t elem = 0, branch = 0, v0 = 0;
    if ((st = cmd_new_object(vob, txn, ctx, is_dir ? VOB_MTYPE_DIR_ELEMENT : VOB_MTYPE_FILE_ELEMENT,
                             is_dir ? 0775 : 0664, &elem)) != TBS_ST_OK)
        return st;
    if ((st = vob_store_new_element(db, elem, eltype, is_dir)) != TBS_ST_OK) return st;
    if ((st = cmd_new_object(vob, txn, ctx, VOB_MTYPE_BRANCH, 0775, &branch)) != TBS_ST_OK)
        return st;
    if ((st = vob_store_new_branch(db, branch, elem, main_type, 0)) != TBS_ST_OK) return st;
    if ((st = vob_store_set_main_branch(db, elem, branch)) != TBS_ST_OK) return st;
    if ((st = cmd_new_object(vob, txn, ctx, is_dir ? VOB_MTYPE_DIR_VERSION : VOB_MTYPE_VERSION,
                             is_dir ? 0775 : 0664, &v0)) != TBS_ST_OK)
        return st;
    if ((st = vob_store_new_version(db, v0, elem, branch, 0, "", 0, "")) != TBS_ST_OK) return st;
    if ((st = vob_store_dir_add(db, dir_co, leaf, elem)) != TBS_ST_OK) return st;
    if ((st = cmd_event(vob, txn, ctx, elem,
                        is_dir ? "create directory element" : "create file element", comment)) !=
        TBS_ST_OK)
        return st;
    *element = elem;
    if (version0) *version0 = v0;
    return TBS_ST_OK;
}

tbs_status_t cmd_do_first_version(vob_t* vob, store_txn& txn, const cmd_ctx& ctx, int64_t element,
                                  int64_t version0, const std::string& content, int64_t size,
                                  const std::string& comment, int64_t created, int64_t* version) {
    vob_version_info_t v0;
    tbs_status_t st = vob_store_get_version(*vob->db, version0, &v0);
    if (st != TBS_ST_OK) return st;
    int64_t v1 = 0;
    if ((st = cmd_new_object(vob, txn, ctx, VOB_MTYPE_VERSION, 0664, &v1)) != TBS_ST_OK) return st;
    if ((st = vob_store_new_version(*vob->db, v1, element, v0.branch, 1, content, size, comment,
                                    version0)) != TBS_ST_OK)
        return st;
    if (created &&
        (st = vob_store_set_object_created(*vob->db, v1, created, ctx.user)) != TBS_ST_OK)
        return st;
    if ((st = cmd_event(vob, txn, ctx, v1, "create version", comment)) != TBS_ST_OK) return st;
    if (version) *version = v1;
    return TBS_ST_OK;
}

// checkout -------------------------------------------------------------------------------

namespace {

tbs_status_t checkout_one(cmd_checkout_args_t* a, const cmd_ctx& ctx, const std::string& pname,
                          vob_t** vob_out, int64_t* co_out, bool* got_reserved) {
    vob_resolved_t r;
    tbs_status_t st = vob_resolve_pname(pname.c_str(), ctx.view, 0, &r);
    if (st != TBS_ST_OK) return st;
    *vob_out = r.vob;
    vob_t* vob = r.vob;
    const std::string comment = comment_of(a->comment_mode, a->comment);
    return vob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
        vob_resolved_t cur;
        tbs_status_t s = resolve_version(pname, ctx, &cur);
        if (s != TBS_ST_OK) return s;
        vob_version_info_t v;
        if ((s = vob_ver_get_info(vob, cur.version, &v)) != TBS_ST_OK) return s;
        if (v.checked_out) return TBS_ST_CHECKED_OUT;
        int64_t element = cur.element, selected = cur.version, branch = v.branch;
        store_db& db = *vob->db;
        // Through a config spec, the rule that selected the version may say to branch first
        // or to refuse checkouts.
        std::string branch_type = a->branch_type;
        if (branch_type.empty() && !cur.extended && ctx.view->select == view_cspec_select_proc) {
            view_cspec_choice_t ch;
            const auto* spec = static_cast<const view_cspec_t*>(ctx.view->select_ctx);
            if ((s = view_cspec_select(*spec, vob, element, pname.c_str(), ctx.view->view_uuid,
                                       &ch)) != TBS_ST_OK)
                return s;
            if (ch.nocheckout) {
                imsg_error("The config spec rule that selects \"%s\" forbids checkouts.\n",
                           pname.c_str());
                return TBS_ST_NOT_SUPPORTED;
            }
            branch_type = ch.mkbranch;
        }
        if (!branch_type.empty()) {
            vob_type_info_t bt;
            if (vob_store_find_type_info(db, VOB_MTYPE_BRTYPE, branch_type.c_str(), &bt) !=
                TBS_ST_OK)
                return cmd_fail("Branch type not found", branch_type, TBS_ST_TYPE_NOT_FOUND);
            int64_t existing = 0;
            if (vob_store_find_branch(db, element, bt.dbid, &existing) == TBS_ST_OK) {
                branch = existing;
                if ((s = vob_branch_latest(vob, branch, &selected)) != TBS_ST_OK) return s;
            } else {
                if ((s = cmd_check_write(vob, ctx, element)) != TBS_ST_OK) return s;
                if ((s = cmd_check_locks(vob, ctx, {element, bt.dbid})) != TBS_ST_OK) return s;
                int64_t nb = 0, v0 = 0;
                if ((s = cmd_new_object(vob, txn, ctx, VOB_MTYPE_BRANCH, 0775, &nb)) != TBS_ST_OK)
                    return s;
                if ((s = vob_store_new_branch(db, nb, element, bt.dbid, selected)) != TBS_ST_OK)
                    return s;
                if ((s = cmd_new_object(vob, txn, ctx,
                                        v.is_dir ? VOB_MTYPE_DIR_VERSION : VOB_MTYPE_VERSION, 0664,
                                        &v0)) != TBS_ST_OK)
                    return s;
                if ((s = vob_store_new_version(db, v0, element, nb, 0, v.content, v.size, "",
                                               selected)) != TBS_ST_OK)
                    return s;
                if (v.is_dir && (s = vob_store_dir_copy(db, selected, v0)) != TBS_ST_OK) return s;
                if ((s = cmd_event(vob, txn, ctx, nb, "create branch", comment)) != TBS_ST_OK)
                    return s;
                branch = nb;
                selected = v0;
            }
            if (a->branch_only) {
                *co_out = 0;
                return TBS_ST_OK;
            }
        }
        int64_t latest = 0;
        if ((s = vob_branch_latest(vob, branch, &latest)) != TBS_ST_OK) return s;
        if (latest != selected) {
            int decision = a->callback
                               ? a->callback(a->callback_data, pname.c_str(), selected, latest)
                               : a->nonlatest;
            if (decision == CMD_NONLATEST_LATEST)
                selected = latest;
            else if (decision != CMD_NONLATEST_SELECTED)
                return TBS_ST_NOT_LATEST;
        }
        return cmd_do_checkout(vob, txn, ctx, element, selected, a->reserved,
                               a->unreserved || !a->reserved, comment, co_out, got_reserved);
    });
}

}  // namespace

tbs_status_t cmd_checkout(cmd_checkout_args_t* a) {
    cmd_ctx ctx;
    tbs_status_t st = cmd_ctx_init(&ctx, a->view);
    if (st == TBS_ST_OK) st = cmd_check_comment(a->comment);
    if (st == TBS_ST_OK) st = cmd_check_pnames(a->pnames);
    if (st != TBS_ST_OK) return st;
    a->checkouts.clear();
    a->got_reserved.clear();
    for (const std::string& pname : a->pnames) {
        int64_t co = 0;
        bool reserved = false;
        vob_t* vob = nullptr;
        st = checkout_one(a, ctx, pname, &vob, &co, &reserved);
        if (st != TBS_ST_OK) return cmd_fail("Unable to check out", pname, st);
        a->checkouts.push_back(co);
        a->got_reserved.push_back(reserved);
        if (a->branch_only) {
            imsg_ok("Created branch \"%s\" for \"%s\".\n", a->branch_type.c_str(), pname.c_str());
            continue;
        }
        std::string from = "?";
        vob_checkout_info_t c;
        if (vob_ckout_get(vob, co, &c) == TBS_ST_OK) from = idstr(vob, c.pred_version);
        imsg_ok("Checked out \"%s\" from version \"%s\"%s.\n", pname.c_str(), from.c_str(),
                reserved ? "" : " (unreserved)");
        // A copy the view holds on the server becomes writable for the checkout.
        const std::string copy = view_private_file(ctx, pname);
        if (!copy.empty()) chmod(copy.c_str(), 0664);
    }
    return TBS_ST_OK;
}

// checkin --------------------------------------------------------------------------------

tbs_status_t cmd_checkin(cmd_checkin_args_t* a) {
    cmd_ctx ctx;
    tbs_status_t st = cmd_ctx_init(&ctx, a->view);
    if (st == TBS_ST_OK) st = cmd_check_comment(a->comment);
    if (st != TBS_ST_OK) return st;
    if (!a->from.empty() && a->from.size() != a->pnames.size())
        return cmd_fail("Contents files do not match the pathnames for", "checkin",
                        TBS_ST_BAD_REQUEST);
    if ((st = cmd_check_pnames(a->pnames)) != TBS_ST_OK) return st;
    a->versions.clear();
    struct Item {
        std::string pname;
        vob_t* vob = nullptr;
        bool has_content = false;
        std::string content;
        int64_t size = 0;
        int64_t created = 0;
    };
    std::vector<Item> items;
    // An atomic checkin's contents are made durable together, before its transaction.
    std::unique_ptr<content_batch> batch;
    for (size_t i = 0; i < a->pnames.size(); ++i) {
        Item it;
        it.pname = a->pnames[i];
        vob_resolved_t r;
        if ((st = vob_resolve_pname(it.pname.c_str(), ctx.view, 0, &r)) != TBS_ST_OK)
            return cmd_fail("Unable to check in", it.pname, st);
        it.vob = r.vob;
        if (a->atomic && !items.empty() && items[0].vob != it.vob)
            return cmd_fail("Atomic checkin spans more than one VOB", it.pname,
                            TBS_ST_NOT_SUPPORTED);
        std::string from = !a->from.empty() ? a->from[i] : std::string();
        if (from.empty() && r.mtype == VOB_MTYPE_VERSION) from = view_private_file(ctx, it.pname);
        if (!from.empty()) {
            if (r.mtype == VOB_MTYPE_DIR_VERSION)
                return cmd_fail("Unable to check in", it.pname, TBS_ST_IS_DIRECTORY);
            if (a->atomic && !batch) batch = std::make_unique<content_batch>(r.vob->pool->dir());
            if ((st = put_content(r.vob, from, &it.content, &it.size, batch.get())) != TBS_ST_OK)
                return st;
            it.has_content = true;
            if (a->ptime) it.created = file_mtime(from);
        }
        items.push_back(std::move(it));
    }
    if (batch && (st = batch->sync()) != TBS_ST_OK)
        return cmd_fail("Unable to store the contents of", a->pnames.front(), st);
    const std::string* comment = a->comment_mode == CMD_COMMENT_GIVEN ? &a->comment : nullptr;
    auto checkin_item = [&](store_txn& txn, const Item& it, int64_t* version) -> tbs_status_t {
        vob_resolved_t r;
        tbs_status_t s = resolve_version(it.pname, ctx, &r);
        if (s != TBS_ST_OK) return s;
        vob_checkout_info_t co;
        if (vob_store_find_checkout(*it.vob->db, r.element, ctx.view_text, &co) != TBS_ST_OK)
            return TBS_ST_NOT_CHECKED_OUT;
        return cmd_do_checkin(it.vob, txn, ctx, co.dbid, it.has_content ? &it.content : nullptr,
                              it.size, comment, a->identical, it.created, version);
    };
    if (a->atomic && !items.empty()) {
        std::vector<int64_t> versions;
        size_t failed_at = 0;
        st = items[0].vob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
            versions.clear();
            for (size_t i = 0; i < items.size(); ++i) {
                int64_t v = 0;
                tbs_status_t s = checkin_item(txn, items[i], &v);
                if (s != TBS_ST_OK) {
                    failed_at = i;
                    return s;
                }
                versions.push_back(v);
            }
            return TBS_ST_OK;
        });
        if (st != TBS_ST_OK) {
            imsg_error("Atomic checkin failed; nothing was checked in.\n");
            return cmd_fail("Unable to check in", items[failed_at].pname, st);
        }
        a->versions = versions;
        for (size_t i = 0; i < items.size(); ++i)
            imsg_ok("Checked in \"%s\" version \"%s\".\n", items[i].pname.c_str(),
                    idstr(items[i].vob, versions[i]).c_str());
        return TBS_ST_OK;
    }
    for (const Item& it : items) {
        int64_t v = 0;
        st = it.vob->db->transact(store_txn_kind::write,
                                  [&](store_txn& txn) { return checkin_item(txn, it, &v); });
        if (st != TBS_ST_OK) return cmd_fail("Unable to check in", it.pname, st);
        a->versions.push_back(v);
        imsg_ok("Checked in \"%s\" version \"%s\".\n", it.pname.c_str(), idstr(it.vob, v).c_str());
    }
    return TBS_ST_OK;
}

// uncheckout -----------------------------------------------------------------------------

tbs_status_t cmd_uncheckout_with_pop(cmd_uncheckout_args_t* a) {
    cmd_ctx ctx;
    tbs_status_t st = cmd_ctx_init(&ctx, a->view);
    if (st == TBS_ST_OK) st = cmd_check_pnames(a->pnames);
    if (st != TBS_ST_OK) return st;
    for (const std::string& pname : a->pnames) {
        vob_resolved_t r;
        if ((st = vob_resolve_pname(pname.c_str(), ctx.view, 0, &r)) != TBS_ST_OK)
            return cmd_fail("Unable to uncheck out", pname, st);
        vob_t* vob = r.vob;
        int64_t back_to = 0;
        st = vob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
            store_db& db = *vob->db;
            vob_resolved_t cur;
            tbs_status_t s = resolve_version(pname, ctx, &cur);
            if (s != TBS_ST_OK) return s;
            vob_checkout_info_t co;
            if (vob_store_find_checkout(db, cur.element, ctx.view_text, &co) != TBS_ST_OK)
                return TBS_ST_NOT_CHECKED_OUT;
            if (co.user != ctx.who.user && !credutl_is_privileged(ctx.who) &&
                (s = cmd_check_owner(vob, ctx, co.element)) != TBS_ST_OK)
                return s;
            if ((s = cmd_check_element_locks(vob, ctx, co.element, co.branch)) != TBS_ST_OK)
                return s;
            if ((s = vob_store_dir_clear(db, co.dbid)) != TBS_ST_OK) return s;
            if ((s = vob_store_delete_checkout(db, co.dbid)) != TBS_ST_OK) return s;
            if ((s = vob_store_delete_object(db, co.dbid)) != TBS_ST_OK) return s;
            back_to = co.pred_version;
            if (a->pop_kind == CMD_POP_EMPTY_BRANCH) {
                // A branch that holds only its version 0 (made by this checkout) goes too.
                int64_t main = 0, latest = 0, number = 0, children = 0;
                std::vector<vob_checkout_info_t> others;
                vob_elem_get_main_branch(vob, co.element, &main);
                if (co.branch != main &&
                    vob_store_latest_version(db, co.branch, &latest, &number) == TBS_ST_OK &&
                    number == 0 &&
                    vob_store_count_branch_children(db, co.branch, &children) == TBS_ST_OK &&
                    children == 0 &&
                    vob_store_list_checkouts(db, co.element, &others) == TBS_ST_OK) {
                    bool used = false;
                    for (const vob_checkout_info_t& o : others) used |= o.branch == co.branch;
                    int64_t parent = 0;
                    vob_store_get_branch(db, co.branch, nullptr, nullptr, &parent);
                    if (!used) {
                        if ((s = vob_store_delete_version(db, latest)) != TBS_ST_OK) return s;
                        if ((s = vob_store_delete_branch(db, co.branch)) != TBS_ST_OK) return s;
                        back_to = parent;
                    }
                }
            }
            return cmd_event(vob, txn, ctx, co.element, "uncheckout version", "");
        });
        if (st != TBS_ST_OK) return cmd_fail("Unable to uncheck out", pname, st);
        // A copy the view holds on the server goes back to the version now selected; with
        // keep, the edited copy is saved beside first.
        const std::string copy = view_private_file(ctx, pname);
        if (!copy.empty() && back_to) {
            if (a->keep) {
                std::string kept = copy + ".keep";
                for (int n = 1; access(kept.c_str(), F_OK) == 0 && n < 1000; ++n)
                    kept = copy + ".keep." + std::to_string(n);
                if (rename(copy.c_str(), kept.c_str()) != 0)
                    imsg_warning("Unable to keep \"%s\" as \"%s\".\n", copy.c_str(), kept.c_str());
            }
            vob_resolved_t now;
            if (vob_resolve_pname(pname.c_str(), ctx.view, 0, &now) == TBS_ST_OK &&
                vob_ver_get_cleartext(now.vob, now.version, copy.c_str()) == TBS_ST_OK)
                chmod(copy.c_str(), 0444);
        }
        imsg_ok("Checkout cancelled for \"%s\"; back at version \"%s\".\n", pname.c_str(),
                idstr(vob, back_to).c_str());
    }
    return TBS_ST_OK;
}

tbs_status_t cmd_uncheckout(cmd_uncheckout_args_t* a) {
    return cmd_uncheckout_with_pop(a);
}

// mkelem ---------------------------------------------------------------------------------

namespace {

// Finishes the directory checkouts a namespace command made for itself.
tbs_status_t checkin_made(vob_t* vob, store_txn& txn, const cmd_ctx& ctx,
                          const std::vector<int64_t>& made, const std::string& comment) {
    for (auto it = made.rbegin(); it != made.rend(); ++it) {
        tbs_status_t st =
            cmd_do_checkin(vob, txn, ctx, *it, nullptr, 0, &comment, true, 0, nullptr);
        if (st != TBS_ST_OK) return st;
    }
    return TBS_ST_OK;
}

std::string parent_of(const std::string& pname) {
    size_t slash = pname.find_last_of('/');
    return slash == 0 || slash == std::string::npos ? "/" : pname.substr(0, slash);
}

// Makes the element `pname` (and with mkpath its missing parents) in one transaction.
tbs_status_t mkelem_one(cmd_mkelem_args_t* a, const cmd_ctx& ctx, const std::string& pname,
                        const std::string* content, int64_t size, int64_t created,
                        std::vector<std::pair<int, std::string>>* events, int64_t* element_out) {
    vob_resolved_t probe;
    tbs_status_t st = vob_resolve_pname(parent_of(pname).c_str(), ctx.view, 0, &probe);
    vob_t* vob = probe.vob;
    if (st != TBS_ST_OK) {
        // With mkpath, find the VOB through the nearest existing ancestor.
        if (!a->mkpath) return st;
        std::string up = parent_of(pname);
        while (st != TBS_ST_OK && up != "/") {
            up = parent_of(up);
            st = vob_resolve_pname(up.c_str(), ctx.view, 0, &probe);
        }
        if (st != TBS_ST_OK) return st;
        vob = probe.vob;
    }
    const std::string comment = comment_of(a->comment_mode, a->comment);
    return vob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
        events->clear();
        store_db& db = *vob->db;
        std::vector<int64_t> made;  // directory checkouts to check in at the end
        // Missing ancestors, nearest last.
        std::vector<std::string> missing;
        std::string dir = parent_of(pname);
        vob_resolved_t d;
        tbs_status_t s;
        while ((s = vob_resolve_pname(dir.c_str(), ctx.view, 0, &d)) == TBS_ST_NAME_NOT_FOUND &&
               a->mkpath && dir != "/") {
            missing.push_back(dir);
            dir = parent_of(dir);
        }
        if (s != TBS_ST_OK) return s;
        if (d.mtype != VOB_MTYPE_DIR_VERSION) return TBS_ST_NOT_DIRECTORY;
        if (d.vob != vob) return TBS_ST_NOT_SUPPORTED;
        int64_t dir_type = 0;
        if ((s = vob_store_find_type(db, VOB_MTYPE_ELTYPE, "directory", &dir_type)) != TBS_ST_OK)
            return s;
        int64_t dir_element = d.element, dir_version = d.version;
        for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
            std::string leaf = it->substr(it->find_last_of('/') + 1);
            if ((s = cmd_check_name(leaf)) != TBS_ST_OK) return s;
            if ((s = cmd_check_write(vob, ctx, dir_element)) != TBS_ST_OK) return s;
            if ((s = cmd_check_locks(vob, ctx, {dir_element})) != TBS_ST_OK) return s;
            int64_t co = 0, elem = 0, v0 = 0, nco = 0;
            bool did = false;
            if ((s = cmd_dir_checkout(vob, txn, ctx, dir_element, dir_version, &co, &did)) !=
                TBS_ST_OK)
                return s;
            if (did) made.push_back(co);
            if ((s = cmd_do_mkelem(vob, txn, ctx, co, leaf, dir_type, true, comment, &elem, &v0)) !=
                TBS_ST_OK)
                return s;
            // The new directory is checked out to receive the next name, and checked in.
            if ((s = cmd_do_checkout(vob, txn, ctx, elem, v0, true, false, comment, &nco,
                                     nullptr)) != TBS_ST_OK)
                return s;
            made.push_back(nco);
            events->emplace_back(CMD_MKELEM_EV_MKDIR, *it);
            dir_element = elem;
            dir_version = nco;
        }
        std::string leaf = pname.substr(pname.find_last_of('/') + 1);
        if ((s = cmd_check_name(leaf)) != TBS_ST_OK) return s;
        if ((s = cmd_check_write(vob, ctx, dir_element)) != TBS_ST_OK) return s;
        if ((s = cmd_check_locks(vob, ctx, {dir_element})) != TBS_ST_OK) return s;
        int64_t eltype = 0;
        const std::string type_name = !a->eltype.empty() ? a->eltype
                                      : a->is_dir        ? std::string("directory")
                                                         : std::string("file");
        if (vob_store_find_type(db, VOB_MTYPE_ELTYPE, type_name.c_str(), &eltype) != TBS_ST_OK) {
            imsg_error("Element type not found: \"%s\".\n", type_name.c_str());
            return TBS_ST_TYPE_NOT_FOUND;
        }
        if ((s = cmd_check_locks(vob, ctx, {eltype})) != TBS_ST_OK) return s;
        int64_t co = 0;
        bool did = false;
        if ((s = cmd_dir_checkout(vob, txn, ctx, dir_element, dir_version, &co, &did)) != TBS_ST_OK)
            return s;
        const bool parent_made_here = did;
        if (did && std::find(made.begin(), made.end(), co) == made.end()) made.push_back(co);
        int64_t elem = 0, v0 = 0;
        if ((s = cmd_do_mkelem(vob, txn, ctx, co, leaf, eltype, a->is_dir, comment, &elem, &v0)) !=
            TBS_ST_OK)
            return s;
        events->emplace_back(CMD_MKELEM_EV_CREATED, pname);
        if (a->checkin && !a->is_dir) {
            if ((s = cmd_do_first_version(vob, txn, ctx, elem, v0, content ? *content : "", size,
                                          comment, created, nullptr)) != TBS_ST_OK)
                return s;
            events->emplace_back(CMD_MKELEM_EV_CHECKEDIN, pname);
        } else if (a->checkin && a->is_dir) {
            // A new directory checked in at once: its (empty) first version.
            int64_t dco = 0;
            if ((s = cmd_do_checkout(vob, txn, ctx, elem, v0, true, false, comment, &dco,
                                     nullptr)) != TBS_ST_OK)
                return s;
            if ((s = cmd_do_checkin(vob, txn, ctx, dco, nullptr, 0, &comment, true, created,
                                    nullptr)) != TBS_ST_OK)
                return s;
            events->emplace_back(CMD_MKELEM_EV_CHECKEDIN, pname);
        } else if (!a->no_checkout && !a->checkin) {
            int64_t eco = 0;
            if ((s = cmd_do_checkout(vob, txn, ctx, elem, v0, true, false, comment, &eco,
                                     nullptr)) != TBS_ST_OK)
                return s;
        }
        // Directories this command checked out are checked in; a parent the caller had
        // checked out stays so unless asked.
        if (a->ci_parent && !parent_made_here) made.push_back(co);
        if ((s = checkin_made(vob, txn, ctx, made, comment)) != TBS_ST_OK) return s;
        *element_out = elem;
        return TBS_ST_OK;
    });
}

}  // namespace

tbs_status_t cmd_utl_mkelem(cmd_mkelem_args_t* a) {
    cmd_ctx ctx;
    tbs_status_t st = cmd_ctx_init(&ctx, a->view);
    if (st == TBS_ST_OK) st = cmd_check_comment(a->comment);
    if (st != TBS_ST_OK) return st;
    if (!a->from.empty() && a->from.size() != a->pnames.size())
        return cmd_fail("Contents files do not match the pathnames for", "mkelem",
                        TBS_ST_BAD_REQUEST);
    if ((st = cmd_check_pnames(a->pnames)) != TBS_ST_OK) return st;
    a->elements.clear();
    for (size_t i = 0; i < a->pnames.size(); ++i) {
        const std::string& pname = a->pnames[i];
        std::string content;
        int64_t size = 0, created = 0;
        std::string from = !a->from.empty() ? a->from[i] : std::string();
        if (from.empty() && a->checkin && !a->is_dir) from = view_private_file(ctx, pname);
        if (a->checkin && !a->is_dir && !from.empty()) {
            vob_resolved_t r;
            std::string up = parent_of(pname);
            while ((st = vob_resolve_pname(up.c_str(), ctx.view, 0, &r)) != TBS_ST_OK && up != "/")
                up = parent_of(up);
            if (st != TBS_ST_OK) return cmd_fail("Unable to create element", pname, st);
            if ((st = put_content(r.vob, from, &content, &size)) != TBS_ST_OK) return st;
            if (a->ptime) created = file_mtime(from);
        }
        std::vector<std::pair<int, std::string>> events;
        int64_t elem = 0;
        st = mkelem_one(a, ctx, pname, content.empty() ? nullptr : &content, size, created, &events,
                        &elem);
        if (st != TBS_ST_OK) return cmd_fail("Unable to create element", pname, st);
        a->elements.push_back(elem);
        ws_vob_op_notify(ctx.view->view_uuid, WS_VOB_OP_MKELEM, pname.c_str(), nullptr);
        for (const auto& ev : events) {
            if (a->observer) a->observer(a->observer_data, ev.first, ev.second.c_str());
            if (ev.first == CMD_MKELEM_EV_MKDIR)
                imsg_ok("Created directory element \"%s\".\n", ev.second.c_str());
            else if (ev.first == CMD_MKELEM_EV_CREATED)
                imsg_ok("Created element \"%s\" (type \"%s\").\n", ev.second.c_str(),
                        a->eltype.empty() ? (a->is_dir ? "directory" : "file") : a->eltype.c_str());
            else
                imsg_ok("Checked in \"%s\" version \"/main/1\".\n", ev.second.c_str());
        }
    }
    return TBS_ST_OK;
}

// Namespace commands ---------------------------------------------------------------------

namespace {

// Runs `body` with the checked-out directory of a parent, checking it in afterwards when
// this command checked it out.
template <class F>
tbs_status_t in_dir(vob_t* vob, store_txn& txn, const cmd_ctx& ctx, int64_t dir_element,
                    int64_t dir_version, const std::string& comment, F&& body) {
    tbs_status_t st = cmd_check_write(vob, ctx, dir_element);
    if (st == TBS_ST_OK) st = cmd_check_locks(vob, ctx, {dir_element});
    if (st != TBS_ST_OK) return st;
    int64_t co = 0;
    bool made = false;
    if ((st = cmd_dir_checkout(vob, txn, ctx, dir_element, dir_version, &co, &made)) != TBS_ST_OK)
        return st;
    if ((st = body(co)) != TBS_ST_OK) return st;
    return made ? checkin_made(vob, txn, ctx, {co}, comment) : TBS_ST_OK;
}

}  // namespace

tbs_status_t cmd_mv(cmd_mv_args_t* a) {
    cmd_ctx ctx;
    tbs_status_t st = cmd_ctx_init(&ctx, a->view);
    if (st == TBS_ST_OK) st = cmd_check_comment(a->comment);
    if (st == TBS_ST_OK) st = cmd_check_pnames({a->from, a->to});
    if (st != TBS_ST_OK) return st;
    vob_resolved_t from;
    if ((st = vob_resolve_pname(a->from.c_str(), ctx.view, VOB_RESOLVE_NOFOLLOW, &from)) !=
        TBS_ST_OK)
        return cmd_fail("Unable to move", a->from, st);
    vob_t* vob = from.vob;
    std::string new_leaf;
    st = vob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
        vob_resolved_t f, t;
        tbs_status_t s = vob_resolve_pname(a->from.c_str(), ctx.view, VOB_RESOLVE_NOFOLLOW, &f);
        if (s != TBS_ST_OK) return s;
        if (f.extended || f.leaf.empty() || f.parent_element == 0) return TBS_ST_BAD_NAME;
        s = vob_resolve_pname(a->to.c_str(), ctx.view, VOB_RESOLVE_PARENT_OK | VOB_RESOLVE_NOFOLLOW,
                              &t);
        if (s != TBS_ST_OK) return s;
        if (t.vob != vob) return TBS_ST_NOT_SUPPORTED;
        int64_t to_dir = t.parent_element, to_ver = t.parent_version;
        new_leaf = t.leaf;
        if (t.exists) {
            if (t.mtype != VOB_MTYPE_DIR_VERSION) return TBS_ST_EXISTS;
            to_dir = t.element;
            to_ver = t.version;
            new_leaf = f.leaf;
        }
        if ((s = cmd_check_name(new_leaf)) != TBS_ST_OK) return s;
        // A directory cannot move below itself.
        if (f.mtype == VOB_MTYPE_DIR_VERSION) {
            std::string inner = t.exists ? t.vob_path : t.vob_path.substr(0, t.vob_path.rfind('/'));
            if (inner == f.vob_path || inner.rfind(f.vob_path + "/", 0) == 0) return TBS_ST_INVALID;
        }
        int64_t target = f.mtype == VOB_MTYPE_SLINK ? f.dbid : f.element;
        if ((s = cmd_check_locks(vob, ctx, {target})) != TBS_ST_OK) return s;
        auto add = [&](int64_t co) -> tbs_status_t {
            int64_t existing = 0;
            if (vob_store_dir_lookup(*vob->db, co, new_leaf, &existing, nullptr) == TBS_ST_OK)
                return TBS_ST_EXISTS;
            return vob_store_dir_add(*vob->db, co, new_leaf, target);
        };
        auto remove = [&](int64_t co) { return vob_store_dir_remove(*vob->db, co, f.leaf); };
        if (to_dir == f.parent_element) {
            s = in_dir(vob, txn, ctx, to_dir, to_ver, a->comment, [&](int64_t co) {
                tbs_status_t r = remove(co);
                return r == TBS_ST_OK ? add(co) : r;
            });
        } else {
            s = in_dir(vob, txn, ctx, f.parent_element, f.parent_version, a->comment, remove);
            if (s == TBS_ST_OK) s = in_dir(vob, txn, ctx, to_dir, to_ver, a->comment, add);
        }
        if (s != TBS_ST_OK) return s;
        return cmd_event(vob, txn, ctx, target, "move name", a->comment);
    });
    if (st != TBS_ST_OK) return cmd_fail("Unable to move", a->from, st);
    imsg_ok("Moved \"%s\" to \"%s\".\n", a->from.c_str(), a->to.c_str());
    ws_vob_op_notify(ctx.view->view_uuid, WS_VOB_OP_RENAME, a->from.c_str(), a->to.c_str());
    return TBS_ST_OK;
}

tbs_status_t cmd_rmname(cmd_rmname_args_t* a) {
    cmd_ctx ctx;
    tbs_status_t st = cmd_ctx_init(&ctx, a->view);
    if (st == TBS_ST_OK) st = cmd_check_comment(a->comment);
    if (st != TBS_ST_OK) return st;
    for (const std::string& pname : a->pnames) {
        vob_resolved_t r;
        if ((st = vob_resolve_pname(pname.c_str(), ctx.view, VOB_RESOLVE_NOFOLLOW, &r)) !=
            TBS_ST_OK)
            return cmd_fail("Unable to remove name", pname, st);
        vob_t* vob = r.vob;
        // Removing the name of a checked-out element is asked about first (outside the
        // transaction: the answer may take a while), unless forced.
        bool approved = a->force;
        std::vector<vob_checkout_info_t> probe;
        if (!approved && r.mtype != VOB_MTYPE_SLINK &&
            vob_ob_next_ckouts(vob, r.element, &probe) == TBS_ST_OK && !probe.empty()) {
            std::string q = "Element \"" + pname + "\" is checked out; remove its name anyway?";
            approved = imsg_prompt_proceed(0, q.c_str(), IMSG_RESP_PROCEED | IMSG_RESP_ABORT,
                                           IMSG_RESP_ABORT) == IMSG_RESP_PROCEED;
        }
        st = vob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
            vob_resolved_t f;
            tbs_status_t s = vob_resolve_pname(pname.c_str(), ctx.view, VOB_RESOLVE_NOFOLLOW, &f);
            if (s != TBS_ST_OK) return s;
            if (f.extended || f.parent_element == 0) return TBS_ST_BAD_NAME;
            int64_t target = f.mtype == VOB_MTYPE_SLINK ? f.dbid : f.element;
            if (f.mtype != VOB_MTYPE_SLINK && !approved) {
                std::vector<vob_checkout_info_t> cos;
                if ((s = vob_store_list_checkouts(*vob->db, f.element, &cos)) != TBS_ST_OK)
                    return s;
                if (!cos.empty()) return TBS_ST_CHECKED_OUT;
            }
            if ((s = cmd_check_locks(vob, ctx, {target})) != TBS_ST_OK) return s;
            s = in_dir(vob, txn, ctx, f.parent_element, f.parent_version, a->comment,
                       [&](int64_t co) { return vob_store_dir_remove(*vob->db, co, f.leaf); });
            if (s != TBS_ST_OK) return s;
            return cmd_event(vob, txn, ctx, f.parent_element, "remove name",
                             a->comment.empty() ? f.leaf : f.leaf + ": " + a->comment);
        });
        if (st != TBS_ST_OK) return cmd_fail("Unable to remove name", pname, st);
        imsg_ok("Removed \"%s\".\n", pname.c_str());
        ws_vob_op_notify(ctx.view->view_uuid, WS_VOB_OP_RMNAME, pname.c_str(), nullptr);
    }
    return TBS_ST_OK;
}

tbs_status_t cmd_ln(cmd_ln_args_t* a) {
    cmd_ctx ctx;
    tbs_status_t st = cmd_ctx_init(&ctx, a->view);
    if (st == TBS_ST_OK) st = cmd_check_comment(a->comment);
    if (st != TBS_ST_OK) return st;
    if ((st = cmd_check_pnames({a->link})) != TBS_ST_OK) return st;
    if (a->target.empty() || a->target.size() > VOB_MAX_PNAME ||
        memchr(a->target.data(), '\0', a->target.size()))
        return cmd_fail("Unable to link", a->link, TBS_ST_BAD_NAME);
    vob_resolved_t probe;
    if ((st = vob_resolve_pname(a->link.c_str(), ctx.view, VOB_RESOLVE_PARENT_OK, &probe)) !=
        TBS_ST_OK)
        return cmd_fail("Unable to link", a->link, st);
    vob_t* vob = probe.vob;
    st = vob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
        vob_resolved_t l;
        tbs_status_t s = vob_resolve_pname(a->link.c_str(), ctx.view,
                                           VOB_RESOLVE_PARENT_OK | VOB_RESOLVE_NOFOLLOW, &l);
        if (s != TBS_ST_OK) return s;
        if (l.exists) return TBS_ST_EXISTS;
        if ((s = cmd_check_name(l.leaf)) != TBS_ST_OK) return s;
        int64_t target = 0;
        if (a->symbolic) {
            for (unsigned char c : a->target)
                if (c < 32 || c == 127) return TBS_ST_BAD_NAME;
            if ((s = cmd_new_object(vob, txn, ctx, VOB_MTYPE_SLINK, 0777, &target)) != TBS_ST_OK)
                return s;
            if ((s = vob_store_new_slink(*vob->db, target, a->target)) != TBS_ST_OK) return s;
        } else {
            vob_resolved_t t;
            if ((s = vob_resolve_pname(a->target.c_str(), ctx.view, VOB_RESOLVE_NOFOLLOW, &t)) !=
                TBS_ST_OK)
                return s;
            if (t.vob != vob) return TBS_ST_NOT_SUPPORTED;
            if (t.mtype == VOB_MTYPE_DIR_VERSION) return TBS_ST_IS_DIRECTORY;
            target = t.mtype == VOB_MTYPE_SLINK ? t.dbid : t.element;
        }
        s = in_dir(vob, txn, ctx, l.parent_element, l.parent_version, a->comment,
                   [&](int64_t co) { return vob_store_dir_add(*vob->db, co, l.leaf, target); });
        if (s != TBS_ST_OK) return s;
        return cmd_event(vob, txn, ctx, target,
                         a->symbolic ? "create symbolic link" : "create hard link", a->comment);
    });
    if (st != TBS_ST_OK) return cmd_fail("Unable to link", a->link, st);
    imsg_ok("Link created: \"%s\".\n", a->link.c_str());
    ws_vob_op_notify(ctx.view->view_uuid, WS_VOB_OP_LINK, a->link.c_str(), nullptr);
    return TBS_ST_OK;
}

tbs_status_t cmd_mkbranch(cmd_mkbranch_args_t* a) {
    cmd_checkout_args_t co;
    co.pnames = a->pnames;
    co.view = a->view;
    co.comment = a->comment;
    co.comment_mode = a->comment.empty() ? CMD_COMMENT_NONE : CMD_COMMENT_GIVEN;
    co.branch_type = a->branch_type;
    co.nonlatest = CMD_NONLATEST_SELECTED;
    co.branch_only = !a->checkout;
    return cmd_checkout(&co);
}

// setevent -------------------------------------------------------------------------------

tbs_status_t cmd_setevent(const cmd_setevent_args_t* a) {
    if (!a) return TBS_ST_BAD_REQUEST;
    std::lock_guard<std::mutex> lock(g_attr_mu);
    if (a->reset) {
        g_attr = Attribution{};
        return TBS_ST_OK;
    }
    if (a->login.size() > 255 || a->group.size() > 255 || a->host.size() > 255 ||
        a->fullname.size() > 1024)
        return TBS_ST_TOO_LONG;
    g_attr.set = true;
    g_attr.time = a->time;
    g_attr.login = a->login;
    g_attr.group = a->group;
    g_attr.fullname = a->fullname;
    g_attr.host = a->host;
    return TBS_ST_OK;
}
