// What the command modules share: the acting context, permission and lock checks, and the
// steps that run inside a command's transaction (checkout, checkin, directory checkout,
// element and first-version creation); and the event attribution of setevent. The
// commands themselves live in cmd_checkin.cc (checkout and checkin), cmd_uncheckout.cc,
// cmd_namespace.cc (mkelem, mv, rmname, ln, mkbranch), cmd_meta.cc and cmd_import.cc.
#include <grp.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "core/cmd/cmd_internal.h"
#include "core/imsg/imsg.h"
#include "core/imsg/imsg_core_catalog.h"
#include "core/store/content_pool.h"
#include "core/util/fileutl.h"
#include "core/util/pfm.h"
#include "core/vob/vob_acl_store.h"
#include "core/vob/vob_store.h"
#include "core/vob/xcm.h"
#include "core/vob/xcm_store.h"
#include "core/ws/ws_copy.h"

namespace {

// The attribution installed by cmd_setevent, for this process.
struct Attribution {
    bool set = false;
    int64_t time = 0;
    std::string login, group, fullname, host;
};
std::mutex g_attr_mu;
Attribution g_attr;

bool is_vob_owner(vob_t* vob, const cmd_ctx& ctx) {
    vob_obj_info_t v;
    return vob_store_get_object(*vob->db, vob_object_dbid(vob), &v) == TBS_ST_OK &&
           v.owner == ctx.who.user;
}

}  // namespace

// Shared pieces --------------------------------------------------------------------------

std::string cmd_idstr(vob_t* vob, int64_t version) {
    std::string s;
    if (vob_ver_get_idstr(vob, version, &s) != TBS_ST_OK) s = "?";
    return s;
}

std::string cmd_comment_of(int mode, const std::string& comment) {
    return mode == CMD_COMMENT_GIVEN ? comment : std::string();
}

// Resolves inside a transaction and checks that the name is an element's version.
tbs_status_t cmd_resolve_version(const std::string& pname, const cmd_ctx& ctx, vob_resolved_t* r) {
    tbs_status_t st = vob_resolve_pname(pname.c_str(), ctx.view, 0, r);
    if (st != TBS_ST_OK) return st;
    if (r->mtype != VOB_MTYPE_VERSION && r->mtype != VOB_MTYPE_DIR_VERSION)
        return r->mtype == VOB_MTYPE_SLINK ? TBS_ST_NOT_ELEMENT : TBS_ST_BAD_SELECTOR;
    return TBS_ST_OK;
}

int64_t cmd_file_mtime(const std::string& path) {
    struct stat sb;
    return stat(path.c_str(), &sb) == 0 ? static_cast<int64_t>(sb.st_mtime) : 0;
}

// Contents are put in the pool before the transaction that refers to them.
tbs_status_t cmd_put_content(vob_t* vob, const std::string& from, std::string* name, int64_t* size,
                             content_batch* batch) {
    uint64_t n = 0;
    tbs_status_t st = vob->pool->put_file(from.c_str(), name, &n, batch);
    struct stat sb;
    if (st == tbs_errno2status(ENOSPC) && stat(from.c_str(), &sb) == 0 &&
        fileutl_check_reserve(vob->pool->dir().c_str(), static_cast<uint64_t>(sb.st_size)) != 0)
        imsg_core_error(IMSG_CORE_NO_RESERVE, vob->pool->dir().c_str(),
                        static_cast<unsigned long long>(sb.st_size),
                        static_cast<unsigned long long>(fileutl_reserve_bytes() >> 20));
    // The failure may be the source's (unreadable) or the pool's (full, failing to flush).
    if (st != TBS_ST_OK) return cmd_fail("Unable to store the contents of", from, st);
    *size = static_cast<int64_t>(n);
    return TBS_ST_OK;
}

namespace {

// The view a command runs in and the VOB pathname of `pname` in it; null when the context
// is the null view or the name is version-extended or leaves the view.
view_t* private_path_of(const cmd_ctx& ctx, const std::string& pname, std::string* path) {
    if (tbs_uuid_is_null(ctx.view->view_uuid)) return nullptr;
    view_t* view = nullptr;
    if (view_open_by_uuid(ctx.view->view_uuid, &view) != TBS_ST_OK) return nullptr;
    const std::string vob_path = view_pname_to_vob(view, pname.c_str());
    if (vob_path.empty() || vob_path.find(TBS_VER_EXT) != std::string::npos) return nullptr;
    *path = view->private_root + vob_path;
    return view;
}

}  // namespace

// The view-private file a pathname has in the view's server-side root, when the context
// is a real view and a regular file is there: what checkin and mkelem take when no
// contents file is named.
std::string cmd_view_private_file(const cmd_ctx& ctx, const std::string& pname) {
    std::string path;
    if (!private_path_of(ctx, pname, &path)) return std::string();
    struct stat sb;
    return lstat(path.c_str(), &sb) == 0 && S_ISREG(sb.st_mode) ? path : std::string();
}

// A dynamic view sees a version's bytes in the VOB once its checkout ends; the private
// copy that was edited goes with the checkout (a snapshot view's stays: it is the file).
bool cmd_view_private_drop(const cmd_ctx& ctx, const std::string& pname) {
    std::string path;
    view_t* view = private_path_of(ctx, pname, &path);
    if (!view || view->kind != VIEW_KIND_DYNAMIC) return false;
    unlink(path.c_str());
    return true;
}

namespace {

// The snapshot (or automatic) view a command runs in, holding a copy of `pname` at the VOB
// pathname `vob_path` in its root; null otherwise.
view_t* server_copy_view(const cmd_ctx& ctx, const std::string& pname, std::string* vob_path) {
    std::string path;
    view_t* view = private_path_of(ctx, pname, &path);
    if (!view || (view->kind != VIEW_KIND_SNAPSHOT && view->kind != VIEW_KIND_AUTOMATIC))
        return nullptr;
    *vob_path = view_pname_to_vob(view, pname.c_str());
    return view;
}

}  // namespace

bool cmd_stamp_server_copy(const cmd_ctx& ctx, const std::string& pname, view_copy_stamp_t* out) {
    std::string vob_path;
    view_t* view = server_copy_view(ctx, pname, &vob_path);
    return view && ws_copy_stamp(view->root + vob_path, out);
}

void cmd_server_copy_checked_in(const cmd_ctx& ctx, const std::string& pname, vob_t* vob,
                                int64_t version, const view_copy_stamp_t& before) {
    std::string vob_path;
    view_t* view = server_copy_view(ctx, pname, &vob_path);
    if (!view) return;
    tbs_status_t st = ws_copy_checked_in(view, vob_path, vob, version, before);
    if (st != TBS_ST_OK)
        imsg_warning("The view's copy of \"%s\" could not be marked as checked in: %s.\n",
                     pname.c_str(), tbs_strerror(st));
}

tbs_status_t cmd_server_copy_for_checkout(const cmd_ctx& ctx, const std::string& pname, vob_t* vob,
                                          int64_t pred) {
    std::string vob_path;
    view_t* view = server_copy_view(ctx, pname, &vob_path);
    if (!view) {
        const std::string copy = cmd_view_private_file(ctx, pname);
        if (!copy.empty()) chmod(copy.c_str(), 0664);
        return TBS_ST_OK;
    }
    std::string saved;
    tbs_status_t st = ws_copy_for_checkout(view, vob_path, vob, pred, &saved);
    if (!saved.empty())
        imsg_warning(
            "Saved hijacked \"%s\" as \"%s\": it was not made from the version checked out.\n",
            pname.c_str(), saved.c_str());
    if (st != TBS_ST_OK) return cmd_fail("Unable to load the version checked out into", pname, st);
    const std::string copy = view->root + vob_path;
    struct stat sb;
    if (lstat(copy.c_str(), &sb) == 0 && S_ISREG(sb.st_mode) && chmod(copy.c_str(), 0664) != 0)
        return cmd_fail("Unable to make writable", pname, tbs_errno2status(errno));
    return TBS_ST_OK;
}

tbs_status_t cmd_fail(const char* what, const std::string& name, tbs_status_t st) {
    imsg_error("%s \"%s\": %s.\n", what, name.c_str(), tbs_strerror(st));
    return st;
}

tbs_status_t cmd_ctx_init(cmd_ctx* ctx, const vob_view_ctx_t* view) {
    tbs_status_t st = credutl_get_creds(&ctx->who);
    if (st != TBS_ST_OK) return st;
    ctx->view = view ? view : &ctx->null_view;
    ctx->view_text = tbs_uuid_text(ctx->view->view_uuid);
    view_t* v = nullptr;
    view_xcm_t x;
    if (!tbs_uuid_is_null(ctx->view->view_uuid) &&
        view_open_by_uuid(ctx->view->view_uuid, &v) == TBS_ST_OK && v->sum_view &&
        view_get_xcm(v, &x) == TBS_ST_OK) {
        ctx->xcm_view = true;
        vob_t* pvob = nullptr;
        xcm_stream_info_t si;
        if (vob_open_by_uuid(x.pvob, &pvob) == TBS_ST_OK &&
            xcm_get_stream(pvob, x.stream, &si) == TBS_ST_OK && !si.read_only)
            ctx->xcm_brtype = si.name;
        if (x.activity) {
            ctx->activity_pvob = tbs_uuid_text(x.pvob);
            ctx->activity_oid = tbs_uuid_text(x.activity_oid);
        }
    }
    std::lock_guard<std::mutex> lock(g_attr_mu);
    ctx->user = g_attr.set && !g_attr.login.empty() ? g_attr.login : ctx->who.user;
    ctx->group = g_attr.set && !g_attr.group.empty() ? g_attr.group : ctx->who.group;
    ctx->host = g_attr.set && !g_attr.host.empty() ? g_attr.host : pfm_host_name();
    ctx->now = g_attr.set && g_attr.time ? g_attr.time : static_cast<int64_t>(time(nullptr));
    return TBS_ST_OK;
}

tbs_status_t cmd_check_view_owner(const cmd_ctx& ctx) {
    if (tbs_uuid_is_null(ctx.view->view_uuid)) return TBS_ST_OK;
    view_t* v = nullptr;
    // A context naming no registered view (a view being made or removed) has no record to keep.
    if (view_open_by_uuid(ctx.view->view_uuid, &v) != TBS_ST_OK) return TBS_ST_OK;
    return view_check_owner(v);
}

tbs_status_t cmd_check_comment(const std::string& comment) {
    if (comment.size() > VOB_MAX_COMMENT) {
        imsg_error("Comment of %zu bytes is longer than the limit of %d.\n", comment.size(),
                   static_cast<int>(VOB_MAX_COMMENT));
        return TBS_ST_TOO_LONG;
    }
    if (!cmd_text_chars_ok(comment)) return cmd_fail("Bad comment", "", TBS_ST_INVALID);
    return TBS_ST_OK;
}

bool cmd_text_chars_ok(const std::string& text) {
    for (unsigned char c : text)
        if (c < 32 && c != '\t' && c != '\n' && c != '\r') return false;
    return true;
}

tbs_status_t cmd_check_name(const std::string& name) {
    if (name.size() > VOB_MAX_NAME)
        return cmd_fail("Name too long", name.substr(0, 64) + "...", TBS_ST_TOO_LONG);
    if (!vob_utl_valid_name(name.c_str()) || memchr(name.data(), '\0', name.size()))
        return cmd_fail("Invalid name", name, TBS_ST_BAD_NAME);
    return TBS_ST_OK;
}

tbs_status_t cmd_check_type_name(const std::string& name) {
    tbs_status_t st = cmd_check_name(name);
    if (st != TBS_ST_OK) return st;
    // Type names stand in selectors ("lbtype:REL1@/vobs/p") and config-spec rules: letters,
    // digits, "_", "-" and ".", not led by "-" or ".".
    const bool ok = !name.empty() && name[0] != '-' && name[0] != '.' &&
                    name.find_first_not_of(
                        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                        "0123456789_-.") == std::string::npos;
    return ok ? TBS_ST_OK : cmd_fail("Invalid type name", name, TBS_ST_BAD_NAME);
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
    bool decided = false;
    tbs_status_t acl = vob_acl_check(vob, obj, ctx.who, VOB_ACL_CHANGE, &decided);
    if (acl != TBS_ST_OK || decided) return acl;
    vob_obj_info_t o;
    tbs_status_t st = vob_obj_get_info(vob, obj, &o);
    if (st != TBS_ST_OK) return st;
    bool ok = o.owner == ctx.who.user                    ? (o.mode & 0200)
              : credutl_in_named_group(ctx.who, o.group) ? (o.mode & 0020)
                                                         : (o.mode & 0002);
    return ok ? TBS_ST_OK : TBS_ST_PERMISSION;
}

tbs_status_t cmd_check_owner(vob_t* vob, const cmd_ctx& ctx, int64_t obj) {
    if (credutl_is_privileged(ctx.who) || is_vob_owner(vob, ctx)) return TBS_ST_OK;
    bool decided = false;
    tbs_status_t acl = vob_acl_check(vob, obj, ctx.who, VOB_ACL_FULL, &decided);
    if (acl != TBS_ST_OK || decided) return acl;
    vob_obj_info_t o;
    tbs_status_t st = vob_obj_get_info(vob, obj, &o);
    if (st != TBS_ST_OK) return st;
    return o.owner == ctx.who.user ? TBS_ST_OK : TBS_ST_PERMISSION;
}

tbs_status_t cmd_check_type_change(vob_t* vob, const cmd_ctx& ctx, int mtype, int64_t type,
                                   int need) {
    if (credutl_is_privileged(ctx.who) || is_vob_owner(vob, ctx)) return TBS_ST_OK;
    bool decided = false;
    int access = VOB_ACL_NONE;
    tbs_status_t st = TBS_ST_OK;
    if (type != 0) {
        st = vob_acl_access(vob, type, ctx.who, &access, &decided);
    } else {
        // A type not made yet is protected as its kind by the VOB's role map.
        vob_acl_effective_t eacl;
        st = vob_acl_object_rolemap(vob, vob_object_dbid(vob), &eacl.rolemap);
        if (st == TBS_ST_OK && eacl.rolemap != 0) {
            eacl.proxy = vob_utl_policy_acl_type_to_str(mtype);
            st = vob_acl_rolemap_eacl(vob, eacl.rolemap, eacl.proxy, &eacl.entries);
            access = vob_acl_access_of(eacl, ctx.who);
            decided = true;
        }
    }
    if (st != TBS_ST_OK) return st;
    if (decided && access >= need) return TBS_ST_OK;
    imsg_error(
        "Only the owner of the VOB \"%s\" or the site's administrator may make, change or "
        "remove its types.\n",
        vob->tag.c_str());
    return TBS_ST_PERMISSION;
}

tbs_status_t cmd_check_checkout_change(vob_t* vob, const cmd_ctx& ctx,
                                       const vob_checkout_info_t& co) {
    if (co.user != ctx.who.user && !credutl_is_privileged(ctx.who) &&
        cmd_check_owner(vob, ctx, co.element) != TBS_ST_OK)
        return TBS_ST_PERMISSION;
    return cmd_check_element_locks(vob, ctx, co.element, co.branch);
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
    tbs_status_t st = check(vob_object_dbid(vob));
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

namespace {

// In a stream's view every checkout is on the stream's branch: the version to check out is
// the latest on that branch, which is made at `*version` when the element has none yet
// (what the stream's config spec says with -mkbranch, for checkouts of every kind: those
// of directories for new names and of new elements too). A component VOB without the
// stream's branch type is left alone.
tbs_status_t stream_branch(const cmd_txn& t, int64_t element, int64_t* version) {
    const cmd_ctx& ctx = t.ctx;
    if (!ctx.xcm_view) return TBS_ST_OK;
    if (ctx.xcm_brtype.empty()) {
        imsg_error("The stream of the view is read-only: no checkouts.\n");
        return TBS_ST_NOT_SUPPORTED;
    }
    store_db& db = *t.vob->db;
    int64_t want = 0, have = 0, branch = 0;
    vob_version_info_t v;
    if (vob_store_find_type(db, VOB_MTYPE_BRTYPE, ctx.xcm_brtype.c_str(), &want) != TBS_ST_OK ||
        vob_store_get_version(db, *version, &v) != TBS_ST_OK)
        return TBS_ST_OK;
    tbs_status_t st = vob_store_get_branch(db, v.branch, nullptr, &have, nullptr);
    if (st != TBS_ST_OK || have == want) return st;
    if (vob_store_find_branch(db, element, want, &branch) == TBS_ST_OK) {
        int64_t number = 0;
        return vob_store_latest_version(db, branch, version, &number);
    }
    int64_t v0 = 0;
    if ((st = cmd_check_write(t.vob, ctx, element)) != TBS_ST_OK ||
        (st = cmd_check_locks(t.vob, ctx, {element, want})) != TBS_ST_OK ||
        (st = cmd_new_object(t.vob, t.txn, ctx, VOB_MTYPE_BRANCH, 0775, &branch)) != TBS_ST_OK ||
        (st = vob_store_new_branch(db, branch, element, want, *version)) != TBS_ST_OK ||
        (st = cmd_new_object(t.vob, t.txn, ctx,
                             v.is_dir ? VOB_MTYPE_DIR_VERSION : VOB_MTYPE_VERSION, 0664, &v0)) !=
            TBS_ST_OK ||
        (st = vob_store_new_version(db, v0, element, branch, 0, v.content, v.size, "", *version)) !=
            TBS_ST_OK)
        return st;
    if (v.is_dir && (st = vob_store_dir_copy(db, *version, v0)) != TBS_ST_OK) return st;
    if ((st = cmd_event(t.vob, t.txn, ctx, branch, "create branch", "")) != TBS_ST_OK) return st;
    *version = v0;
    return TBS_ST_OK;
}

}  // namespace

tbs_status_t cmd_do_checkout(const cmd_txn& t, const cmd_checkout_item& in, int64_t* checkout,
                             bool* got_reserved) {
    vob_t* vob = t.vob;
    const cmd_ctx& ctx = t.ctx;
    vob->db->assert_writer();
    store_db& db = *vob->db;
    cmd_checkout_item item = in;
    vob_version_info_t v;
    tbs_status_t st = stream_branch(t, item.element, &item.version);
    if (st != TBS_ST_OK) return st;
    st = vob_store_get_version(db, item.version, &v);
    if (st != TBS_ST_OK) return st == TBS_ST_NOT_FOUND ? TBS_ST_CHECKED_OUT : st;
    vob_checkout_info_t existing;
    if (vob_store_find_checkout(db, item.element, ctx.view_text, &existing) == TBS_ST_OK)
        return TBS_ST_CHECKED_OUT;
    if ((st = cmd_check_write(vob, ctx, item.element)) != TBS_ST_OK) return st;
    if ((st = cmd_check_element_locks(vob, ctx, item.element, v.branch)) != TBS_ST_OK) return st;
    if (ctx.xcm_view && ctx.activity_oid.empty()) {
        imsg_error("The view has no current activity: set one before checking out.\n");
        return TBS_ST_NO_ACTIVITY;
    }
    int64_t co = 0;
    if ((st = cmd_new_object(vob, t.txn, ctx, v.is_dir ? VOB_MTYPE_DIR_VERSION : VOB_MTYPE_VERSION,
                             v.is_dir ? 0775 : 0664, &co)) != TBS_ST_OK)
        return st;
    vob_checkout_info_t c;
    c.dbid = co;
    c.element = item.element;
    c.branch = v.branch;
    c.pred_version = item.version;
    c.view_uuid = ctx.view->view_uuid;
    c.user = ctx.who.user;
    c.at = ctx.now;
    c.comment = item.comment;
    c.reserved = item.reserved;
    st = item.reserved ? vob_store_new_checkout(db, c) : TBS_ST_EXISTS;
    if (st == TBS_ST_EXISTS) {
        // The partial unique index admits one item.reserved checkout per branch.
        if (!item.unreserved_ok) return TBS_ST_RESERVED;
        c.reserved = false;
        st = vob_store_new_checkout(db, c);
    }
    if (st != TBS_ST_OK) return st;
    if (v.is_dir && (st = vob_store_dir_copy(db, item.version, co)) != TBS_ST_OK) return st;
    // The change set, in the same transaction as the checkout it records.
    if (ctx.xcm_view && (st = xcm_store_add_change(db, co, item.element, ctx.activity_pvob,
                                                   ctx.activity_oid)) != TBS_ST_OK)
        return st;
    if ((st = cmd_event(vob, t.txn, ctx, item.element, "checkout version", item.comment)) !=
        TBS_ST_OK)
        return st;
    *checkout = co;
    if (got_reserved) *got_reserved = c.reserved;
    return TBS_ST_OK;
}

tbs_status_t cmd_do_checkin(const cmd_txn& t, const cmd_checkin_item& item, int64_t* version) {
    vob_t* vob = t.vob;
    const cmd_ctx& ctx = t.ctx;
    vob->db->assert_writer();
    store_db& db = *vob->db;
    vob_checkout_info_t co;
    tbs_status_t st = vob_store_get_checkout(db, item.checkout, &co);
    if (st != TBS_ST_OK) return st == TBS_ST_NOT_FOUND ? TBS_ST_NOT_CHECKED_OUT : st;
    if ((st = cmd_check_checkout_change(vob, ctx, co)) != TBS_ST_OK) return st;
    int64_t latest = 0, number = 0;
    if ((st = vob_store_latest_version(db, co.branch, &latest, &number)) != TBS_ST_OK) return st;
    if (latest != co.pred_version) {
        // Allowed once the latest version has been merged into the checkout.
        vob_type_info_t merge;
        int64_t arrow = 0;
        if (vob_store_find_type_info(db, VOB_MTYPE_HLTYPE, "Merge", &merge) != TBS_ST_OK ||
            vob_store_find_hlink(db, merge.dbid, latest, item.checkout, &arrow) != TBS_ST_OK)
            return TBS_ST_NOT_LATEST;
    }
    if (!co.reserved) {
        std::vector<vob_checkout_info_t> others;
        if ((st = vob_store_list_checkouts(db, co.element, &others)) != TBS_ST_OK) return st;
        for (const vob_checkout_info_t& o : others)
            if (o.reserved && o.branch == co.branch && o.dbid != item.checkout)
                return TBS_ST_RESERVED;
    }
    vob_version_info_t pred;
    if ((st = vob_store_get_version(db, co.pred_version, &pred)) != TBS_ST_OK) return st;
    std::string new_content = item.content ? *item.content : pred.content;
    int64_t new_size = item.content ? item.size : pred.size;
    if (!pred.is_dir && !item.identical && new_content == pred.content) return TBS_ST_IDENTICAL;
    if (pred.is_dir) new_content.clear(), new_size = 0;
    const std::string& text = item.comment ? *item.comment : co.comment;
    if ((st = vob_store_new_version(db, item.checkout, co.element, co.branch, number + 1,
                                    new_content, new_size, text, co.pred_version)) != TBS_ST_OK)
        return st;
    if ((st = vob_store_delete_checkout(db, item.checkout)) != TBS_ST_OK) return st;
    if ((st = vob_store_set_object_created(db, item.checkout, item.created ? item.created : ctx.now,
                                           ctx.user)) != TBS_ST_OK)
        return st;
    if ((st = cmd_event(vob, t.txn, ctx, item.checkout,
                        pred.is_dir ? "create directory version" : "create version", text)) !=
        TBS_ST_OK)
        return st;
    if (version) *version = item.checkout;
    return TBS_ST_OK;
}

tbs_status_t cmd_dir_checkout(const cmd_txn& t, int64_t dir_element, int64_t dir_version,
                              int64_t* co, bool* made) {
    t.vob->db->assert_writer();
    *made = false;
    vob_checkout_info_t existing;
    if (vob_store_find_checkout(*t.vob->db, dir_element, t.ctx.view_text, &existing) == TBS_ST_OK) {
        *co = existing.dbid;
        return TBS_ST_OK;
    }
    tbs_status_t st = cmd_do_checkout(
        t, {.element = dir_element, .version = dir_version, .comment = {}}, co, nullptr);
    if (st == TBS_ST_OK) *made = true;
    return st;
}

tbs_status_t cmd_do_mkelem(const cmd_txn& t, const cmd_mkelem_item& item, int64_t* element,
                           int64_t* version0) {
    vob_t* vob = t.vob;
    const cmd_ctx& ctx = t.ctx;
    vob->db->assert_writer();
    const bool is_dir = item.is_dir;
    store_db& db = *vob->db;
    int64_t existing = 0;
    if (vob_store_dir_lookup(db, item.dir_checkout, item.leaf, &existing, nullptr) == TBS_ST_OK)
        return TBS_ST_EXISTS;
    int64_t main_type = 0;
    tbs_status_t st = vob_store_find_type(db, VOB_MTYPE_BRTYPE, "main", &main_type);
    if (st != TBS_ST_OK) return st;
    int64_t elem = 0, branch = 0, v0 = 0;
    if ((st = cmd_new_object(vob, t.txn, ctx,
                             is_dir ? VOB_MTYPE_DIR_ELEMENT : VOB_MTYPE_FILE_ELEMENT,
                             is_dir ? 0775 : 0664, &elem)) != TBS_ST_OK)
        return st;
    if ((st = vob_store_new_element(db, elem, item.eltype, is_dir)) != TBS_ST_OK) return st;
    if ((st = cmd_new_object(vob, t.txn, ctx, VOB_MTYPE_BRANCH, 0775, &branch)) != TBS_ST_OK)
        return st;
    if ((st = vob_store_new_branch(db, branch, elem, main_type, 0)) != TBS_ST_OK) return st;
    if ((st = vob_store_set_main_branch(db, elem, branch)) != TBS_ST_OK) return st;
    if ((st = cmd_new_object(vob, t.txn, ctx, is_dir ? VOB_MTYPE_DIR_VERSION : VOB_MTYPE_VERSION,
                             is_dir ? 0775 : 0664, &v0)) != TBS_ST_OK)
        return st;
    if ((st = vob_store_new_version(db, v0, elem, branch, 0, "", 0, "")) != TBS_ST_OK) return st;
    if ((st = vob_store_dir_add(db, item.dir_checkout, item.leaf, elem)) != TBS_ST_OK) return st;
    // A new element is protected as the directory it is made in.
    vob_checkout_info_t dir;
    int64_t rolemap = 0;
    if ((st = vob_store_get_checkout(db, item.dir_checkout, &dir)) != TBS_ST_OK ||
        (st = vob_acl_store_object_rolemap(db, dir.element, &rolemap)) != TBS_ST_OK ||
        (rolemap && (st = vob_acl_store_set_object_rolemap(db, elem, rolemap)) != TBS_ST_OK))
        return st;
    if ((st = cmd_event(vob, t.txn, ctx, elem,
                        is_dir ? "create directory element" : "create file element",
                        item.comment)) != TBS_ST_OK)
        return st;
    *element = elem;
    if (version0) *version0 = v0;
    return TBS_ST_OK;
}

tbs_status_t cmd_do_first_version(const cmd_txn& t, const cmd_first_version_item& item,
                                  int64_t* version) {
    vob_t* vob = t.vob;
    vob->db->assert_writer();
    vob_version_info_t v0;
    tbs_status_t st = vob_store_get_version(*vob->db, item.version0, &v0);
    if (st != TBS_ST_OK) return st;
    int64_t v1 = 0;
    if ((st = cmd_new_object(vob, t.txn, t.ctx, VOB_MTYPE_VERSION, 0664, &v1)) != TBS_ST_OK)
        return st;
    if ((st = vob_store_new_version(*vob->db, v1, item.element, v0.branch, 1, item.content,
                                    item.size, item.comment, item.version0)) != TBS_ST_OK)
        return st;
    if (item.created &&
        (st = vob_store_set_object_created(*vob->db, v1, item.created, t.ctx.user)) != TBS_ST_OK)
        return st;
    if ((st = cmd_event(vob, t.txn, t.ctx, v1, "create version", item.comment)) != TBS_ST_OK)
        return st;
    if (version) *version = v1;
    return TBS_ST_OK;
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
