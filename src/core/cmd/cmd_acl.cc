// Access-control commands: policies, role maps, and applying a role map to objects.
#include "core/cmd/cmd_internal.h"
#include "core/imsg/imsg.h"
#include "core/vob/vob_acl_store.h"
#include "core/vob/vob_store.h"

namespace {

constexpr size_t kMaxEntries = 4096;

// Making or changing a policy or role map: the VOB's owner or a privileged identity, or,
// for one that exists and is protected, Change on it.
tbs_status_t check_may_define(vob_t* vob, const cmd_ctx& ctx, vob_dbid_t existing) {
    if (existing) {
        bool decided = false;
        tbs_status_t st = vob_acl_check(vob, existing, ctx.who, VOB_ACL_CHANGE, &decided);
        if (decided && st == TBS_ST_OK) return TBS_ST_OK;
    }
    // The owner's rights on the VOB itself: its owner, a privileged identity, or Full by
    // the VOB's own list where it enforces one.
    return cmd_check_owner(vob, ctx, vob_object_dbid(vob));
}

// Finds or makes the type object of a policy or role map inside the transaction.
tbs_status_t define_type(vob_t* vob, store_txn& txn, const cmd_ctx& ctx, int mtype,
                         const std::string& name, bool modify, vob_dbid_t* dbid, bool* made) {
    vob_type_info_t t;
    *made = false;
    if (vob_type_find(vob, mtype, name.c_str(), &t) == TBS_ST_OK) {
        if (!modify) return TBS_ST_EXISTS;
        *dbid = t.dbid;
        tbs_status_t st = check_may_define(vob, ctx, t.dbid);
        if (st == TBS_ST_OK) st = cmd_check_locks(vob, ctx, {t.dbid});
        return st;
    }
    if (modify) return TBS_ST_NOT_FOUND;
    tbs_status_t st = check_may_define(vob, ctx, 0);
    if (st == TBS_ST_OK) st = cmd_check_locks(vob, ctx, {});
    if (st == TBS_ST_OK) st = cmd_new_object(vob, txn, ctx, mtype, 0444, dbid);
    if (st == TBS_ST_OK) st = vob_store_new_type(*vob->db, *dbid, mtype, name.c_str(), 0, "");
    *made = st == TBS_ST_OK;
    return st;
}

tbs_status_t check_entries(const std::vector<vob_acl_ace_t>& entries, bool policy) {
    if (entries.size() > kMaxEntries)
        return cmd_fail("Too many entries for", "ACL", TBS_ST_TOO_LONG);
    for (const vob_acl_ace_t& e : entries) {
        const std::string who = vob_acl_principal_str(e);
        tbs_status_t st = vob_acl_check_principal(e, policy);
        if (st != TBS_ST_OK) return cmd_fail("Invalid principal", who, st);
        if (policy) {
            if (!vob_acl_known_proxy(e.proxy))
                return cmd_fail("Access-control lists do not cover", e.proxy, TBS_ST_INVALID);
            if (e.access < VOB_ACL_READ || e.access > VOB_ACL_FULL)
                return cmd_fail("Invalid permissions for", who, TBS_ST_INVALID);
        } else {
            vob_acl_ace_t role;
            role.kind = "Role";
            role.name = e.role;
            if (vob_acl_check_principal(role, true) != TBS_ST_OK)
                return cmd_fail("Invalid role", e.role, TBS_ST_INVALID);
        }
    }
    return TBS_ST_OK;
}

tbs_status_t open_vob(const std::string& tag, vob_t** vob) {
    tbs_status_t st = vob_open_by_tag(tag.c_str(), vob);
    return st == TBS_ST_OK ? st : cmd_fail("Unable to find VOB", tag, st);
}

// The type object a name or selector names in `vob`; a selector naming another VOB's is
// refused (access control never crosses VOBs).
tbs_status_t find_acl_type(vob_t* vob, int mtype, const std::string& text, vob_dbid_t* dbid) {
    const char* what = mtype == VOB_MTYPE_POLICY ? "policy" : "role map";
    const std::string prefix = mtype == VOB_MTYPE_POLICY ? "policy:" : "rolemap:";
    if (text.find('@') != std::string::npos) {
        vob_t* in = nullptr;
        int found = 0;
        tbs_status_t st = text.rfind(prefix, 0) == 0
                              ? vob_resolve_general(text.c_str(), nullptr, &in, dbid, &found)
                              : TBS_ST_BAD_SELECTOR;
        if (st == TBS_ST_OK && (in != vob || found != mtype)) st = TBS_ST_INVALID;
        if (st != TBS_ST_OK) imsg_error("The %s \"%s\" is not in this VOB.\n", what, text.c_str());
        return st == TBS_ST_OK ? st : static_cast<tbs_status_t>(TBS_ST_TYPE_NOT_FOUND);
    }
    const std::string name = text.rfind(prefix, 0) == 0 ? text.substr(prefix.size()) : text;
    vob_type_info_t t;
    if (name.empty() || vob_type_find(vob, mtype, name.c_str(), &t) != TBS_ST_OK) {
        imsg_error("The %s \"%s\" was not found.\n", what, text.c_str());
        return TBS_ST_TYPE_NOT_FOUND;
    }
    *dbid = t.dbid;
    return TBS_ST_OK;
}

}  // namespace

tbs_status_t cmd_mkpolicy(cmd_mkpolicy_args_t* a) {
    cmd_ctx ctx;
    tbs_status_t st = cmd_ctx_init(&ctx, nullptr);
    if (st == TBS_ST_OK) st = cmd_check_comment(a->comment);
    if (st == TBS_ST_OK) st = cmd_check_type_name(a->name);
    if (st == TBS_ST_OK) st = check_entries(a->entries, true);
    vob_t* vob = nullptr;
    if (st == TBS_ST_OK) st = open_vob(a->vob, &vob);
    if (st != TBS_ST_OK) return st;
    bool made = false;
    st = vob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
        tbs_status_t s =
            define_type(vob, txn, ctx, VOB_MTYPE_POLICY, a->name, a->modify, &a->policy, &made);
        if (s == TBS_ST_OK) s = vob_acl_store_set_policy_entries(*vob->db, a->policy, a->entries);
        if (s == TBS_ST_OK)
            s = cmd_event(vob, txn, ctx, a->policy, made ? "create policy" : "modify policy",
                          a->comment);
        return s;
    });
    if (st != TBS_ST_OK) return cmd_fail("Unable to make policy", a->name, st);
    imsg_ok(made ? "Created policy \"%s\".\n" : "Modified policy \"%s\".\n", a->name.c_str());
    return TBS_ST_OK;
}

tbs_status_t cmd_mkrolemap(cmd_mkrolemap_args_t* a) {
    cmd_ctx ctx;
    tbs_status_t st = cmd_ctx_init(&ctx, nullptr);
    if (st == TBS_ST_OK) st = cmd_check_comment(a->comment);
    if (st == TBS_ST_OK) st = cmd_check_type_name(a->name);
    if (st == TBS_ST_OK) st = check_entries(a->entries, false);
    vob_t* vob = nullptr;
    if (st == TBS_ST_OK) st = open_vob(a->vob, &vob);
    if (st != TBS_ST_OK) return st;
    if (a->policy.empty() && !a->modify)
        return cmd_fail("A role map names its policy:", a->name, TBS_ST_BAD_REQUEST);
    bool made = false;
    st = vob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
        int64_t policy = 0;
        tbs_status_t s = TBS_ST_OK;
        if (!a->policy.empty() &&
            (s = find_acl_type(vob, VOB_MTYPE_POLICY, a->policy, &policy)) != TBS_ST_OK)
            return s;
        if ((s = define_type(vob, txn, ctx, VOB_MTYPE_ROLEMAP, a->name, a->modify, &a->rolemap,
                             &made)) != TBS_ST_OK)
            return s;
        if (!policy &&
            (s = vob_acl_store_get_rolemap(*vob->db, a->rolemap, &policy, nullptr)) != TBS_ST_OK)
            return s;
        if ((s = vob_acl_store_set_rolemap(*vob->db, a->rolemap, policy, a->entries)) != TBS_ST_OK)
            return s;
        return cmd_event(vob, txn, ctx, a->rolemap, made ? "create role map" : "modify role map",
                         a->comment);
    });
    if (st != TBS_ST_OK) return cmd_fail("Unable to make role map", a->name, st);
    imsg_ok(made ? "Created role map \"%s\".\n" : "Modified role map \"%s\".\n", a->name.c_str());
    return TBS_ST_OK;
}

namespace {

struct ApplyWalk {
    vob_t* vob;
    store_txn& txn;
    const cmd_ctx& ctx;
    const cmd_apply_rolemap_args_t& a;
    vob_dbid_t rolemap;
};

tbs_status_t apply_one(const ApplyWalk& w, vob_dbid_t target) {
    tbs_status_t st = cmd_check_owner(w.vob, w.ctx, target);
    if (st == TBS_ST_OK) st = cmd_check_locks(w.vob, w.ctx, {target});
    if (st == TBS_ST_OK) st = vob_acl_store_set_object_rolemap(*w.vob->db, target, w.rolemap);
    if (st == TBS_ST_OK) st = cmd_event(w.vob, w.txn, w.ctx, target, "apply role map", w.a.comment);
    return st;
}

// An element and, for a directory with `recurse`, everything below it as the view selects.
tbs_status_t apply_tree(const ApplyWalk& w, vob_dbid_t element, vob_dbid_t version, bool is_dir,
                        int depth, int64_t* count) {
    if (depth > 256) return tbs_errno2status(ELOOP);
    const bool take = is_dir ? !w.a.files_only : !w.a.dirs_only;
    tbs_status_t st = TBS_ST_OK;
    if (take) {
        if ((st = apply_one(w, element)) != TBS_ST_OK) return st;
        ++*count;
    }
    if (!w.a.recurse || !is_dir || !version) return TBS_ST_OK;
    std::vector<vob_dir_entry_t> entries;
    if ((st = vob_store_dir_list(*w.vob->db, version, &entries)) != TBS_ST_OK) return st;
    for (const vob_dir_entry_t& e : entries) {
        if (e.mtype == VOB_MTYPE_SLINK) continue;
        int64_t sel = 0;
        if ((st = vob_select_version(w.vob, e.target, "", w.ctx.view, &sel)) != TBS_ST_OK)
            return st;
        if (!sel) continue;
        if ((st = apply_tree(w, e.target, sel, e.mtype == VOB_MTYPE_DIR_ELEMENT, depth + 1,
                             count)) != TBS_ST_OK)
            return st;
    }
    return TBS_ST_OK;
}

}  // namespace

tbs_status_t cmd_apply_rolemap(cmd_apply_rolemap_args_t* a) {
    cmd_ctx ctx;
    tbs_status_t st = cmd_ctx_init(&ctx, a->view);
    if (st == TBS_ST_OK) st = cmd_check_comment(a->comment);
    if (st != TBS_ST_OK) return st;
    if (a->dirs_only && a->files_only)
        return cmd_fail("Give directories or files, not both, for", a->rolemap, TBS_ST_BAD_REQUEST);
    a->count = 0;
    for (const std::string& obj : a->objects) {
        vob_resolved_t r;
        if (obj.find('\0') != std::string::npos ||
            (st = cmd_resolve_obj_long(obj.c_str(), ctx.view, 0, &r)) != TBS_ST_OK)
            return cmd_fail("Unable to find", obj, st != TBS_ST_OK ? st : TBS_ST_BAD_NAME);
        vob_t* vob = r.vob;
        int64_t count = 0;
        st = vob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
            count = 0;
            vob_dbid_t rolemap = 0;
            tbs_status_t s = find_acl_type(vob, VOB_MTYPE_ROLEMAP, a->rolemap, &rolemap);
            if (s != TBS_ST_OK) return s;
            ApplyWalk w{vob, txn, ctx, *a, rolemap};
            if (!r.element || r.mtype == VOB_MTYPE_BRANCH) {
                // The VOB, a type, a policy or a role map: the object itself; a branch is
                // protected as its element.
                if ((s = apply_one(w, r.element ? r.element : r.dbid)) == TBS_ST_OK) count = 1;
                return s;
            }
            // An element named by itself (not one of its versions) is walked below the
            // version the view selects.
            bool is_dir = false;
            vob_dbid_t version = r.version;
            if (r.mtype == VOB_MTYPE_DIR_ELEMENT || r.mtype == VOB_MTYPE_FILE_ELEMENT) {
                is_dir = r.mtype == VOB_MTYPE_DIR_ELEMENT;
                if (is_dir && a->recurse &&
                    (s = vob_select_version(vob, r.element, "", ctx.view, &version)) != TBS_ST_OK)
                    return s;
            } else {
                vob_version_info_t v;
                if ((s = vob_ver_get_info(vob, r.version ? r.version : r.dbid, &v)) != TBS_ST_OK)
                    return s;
                is_dir = v.is_dir;
                if (!version) version = v.dbid;
            }
            return apply_tree(w, r.element, version, is_dir, 0, &count);
        });
        if (st != TBS_ST_OK) return cmd_fail("Unable to apply role map to", obj, st);
        a->count += count;
        imsg_ok("Applied role map \"%s\" to \"%s\" (%lld object%s).\n", a->rolemap.c_str(),
                obj.c_str(), static_cast<long long>(count), count == 1 ? "" : "s");
    }
    return TBS_ST_OK;
}
