// Metadata commands: types, labels, attributes, hyperlinks, locks and protections.
#include <grp.h>
#include <pwd.h>

#include <cstring>

#include "core/cmd/cmd_internal.h"
#include "core/cmd/cmd_trigger.h"
#include "core/imsg/imsg.h"
#include "core/vob/vob_acl.h"
#include "core/vob/vob_store.h"

namespace {

const char* type_word(int mtype) {
    switch (mtype) {
        case VOB_MTYPE_LBTYPE:
            return "label type";
        case VOB_MTYPE_BRTYPE:
            return "branch type";
        case VOB_MTYPE_ATTYPE:
            return "attribute type";
        case VOB_MTYPE_HLTYPE:
            return "hyperlink type";
        case VOB_MTYPE_ELTYPE:
            return "element type";
        case VOB_MTYPE_TRTYPE:
            return "trigger type";
        default:
            return "type";
    }
}

// An object named by a pathname or a selector, resolved in a view.
struct Target {
    vob_t* vob = nullptr;
    vob_dbid_t dbid = 0;
    int mtype = 0;
    vob_dbid_t element = 0;
};

tbs_status_t resolve_target(const std::string& text, const cmd_ctx& ctx, Target* t) {
    if (text.find('\0') != std::string::npos) return TBS_ST_BAD_NAME;
    vob_resolved_t r;
    tbs_status_t st = cmd_resolve_obj_long(text.c_str(), ctx.view, 0, &r);
    if (st == TBS_ST_OK) *t = {r.vob, r.dbid, r.mtype, r.element};
    return st;
}

tbs_status_t find_type(vob_t* vob, int mtype, const std::string& name, vob_type_info_t* t) {
    if (vob_type_find(vob, mtype, name.c_str(), t) == TBS_ST_OK) return TBS_ST_OK;
    imsg_error("The %s \"%s\" was not found.\n", type_word(mtype), name.c_str());
    return TBS_ST_TYPE_NOT_FOUND;
}

}  // namespace

// Types ----------------------------------------------------------------------------------

tbs_status_t cmd_mktype(cmd_mktype_args_t* a) {
    cmd_ctx ctx;
    tbs_status_t st = cmd_ctx_init(&ctx, nullptr);
    if (st == TBS_ST_OK) st = cmd_check_comment(a->comment);
    if (st == TBS_ST_OK) st = cmd_check_type_name(a->name);
    if (st != TBS_ST_OK) return st;
    if (a->mtype < VOB_MTYPE_ELTYPE || a->mtype > VOB_MTYPE_TRTYPE)
        return cmd_fail("Unknown type kind for", a->name, TBS_ST_BAD_REQUEST);
    std::string trigger_ops;
    if (a->mtype == VOB_MTYPE_TRTYPE) {
        if (a->trigger_exec.empty() || a->trigger_ops.empty())
            return cmd_fail("A trigger type needs operations and a program:", a->name,
                            TBS_ST_BAD_REQUEST);
        std::vector<std::string> words;
        if (cmd_trigger_split(a->trigger_exec, &words) != TBS_ST_OK)
            return cmd_fail("The trigger's program is not a command line (an unclosed quote?):",
                            a->trigger_exec, TBS_ST_BAD_REQUEST);
        for (const std::string& op : a->trigger_ops) {
            if (!cmd_trigger_op_known(op))
                return cmd_fail("Triggers cannot fire on the operation", op, TBS_ST_INVALID);
            trigger_ops += (trigger_ops.empty() ? "" : " ") + op;
        }
    }
    vob_t* vob = nullptr;
    if ((st = vob_open_by_tag(a->vob.c_str(), &vob)) != TBS_ST_OK)
        return cmd_fail("Unable to find VOB", a->vob, st);
    bool existed = false;
    st = vob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
        existed = false;
        tbs_status_t s = cmd_check_type_change(vob, ctx, a->mtype, 0, VOB_ACL_CHANGE);
        if (s != TBS_ST_OK) return s;
        vob_type_info_t existing;
        if (vob_type_find(vob, a->mtype, a->name.c_str(), &existing) == TBS_ST_OK) {
            existed = true;
            return a->replace ? TBS_ST_OK : static_cast<tbs_status_t>(TBS_ST_EXISTS);
        }
        if ((s = cmd_check_locks(vob, ctx, {})) != TBS_ST_OK) return s;
        int merge = a->merge_type < 0 ? VOB_MERGE_AUTO : a->merge_type;
        std::string manager;
        if (a->mtype == VOB_MTYPE_ELTYPE) {
            vob_type_info_t super;
            std::string sup = a->supertype.empty() ? "file" : a->supertype;
            if ((s = find_type(vob, VOB_MTYPE_ELTYPE, sup, &super)) != TBS_ST_OK) return s;
            if (super.name == "directory") return TBS_ST_INVALID;
            manager = super.type_manager;
            if (a->merge_type < 0) merge = super.merge_type;
        }
        if (merge < VOB_MERGE_AUTO || merge > VOB_MERGE_COPY) return TBS_ST_INVALID;
        int64_t dbid = 0;
        if ((s = cmd_new_object(vob, txn, ctx, a->mtype, 0444, &dbid)) != TBS_ST_OK) return s;
        if ((s = vob_store_new_type(*vob->db, dbid, a->mtype, a->name.c_str(), merge,
                                    manager.c_str())) != TBS_ST_OK)
            return s;
        if (a->mtype == VOB_MTYPE_TRTYPE) {
            vob_type_info_t scope;
            if (!a->trigger_eltype.empty() &&
                (s = find_type(vob, VOB_MTYPE_ELTYPE, a->trigger_eltype, &scope)) != TBS_ST_OK)
                return s;
            vob_store_trigger_t t;
            t.dbid = dbid;
            t.pre = a->trigger_pre;
            t.ops = trigger_ops;
            t.eltype = a->trigger_eltype;
            t.command = a->trigger_exec;
            if ((s = vob_store_new_trigger(*vob->db, t)) != TBS_ST_OK) return s;
        }
        return cmd_event(vob, txn, ctx, dbid, "create type", a->comment);
    });
    if (st != TBS_ST_OK) return cmd_fail("Unable to create type", a->name, st);
    if (!existed) imsg_ok("Created %s \"%s\".\n", type_word(a->mtype), a->name.c_str());
    return TBS_ST_OK;
}

tbs_status_t cmd_rmtype(cmd_rmtype_args_t* a) {
    cmd_ctx ctx;
    tbs_status_t st = cmd_ctx_init(&ctx, nullptr);
    if (st != TBS_ST_OK) return st;
    vob_objsel_t sel;
    if ((st = vob_utl_parse_objsel(a->selector.c_str(), &sel)) != TBS_ST_OK ||
        sel.kind != VOB_SEL_TYPE)
        return cmd_fail("Unable to remove type", a->selector,
                        st != TBS_ST_OK ? st : TBS_ST_BAD_SELECTOR);
    vob_t* vob = nullptr;
    vob_dbid_t dbid = 0;
    int mtype = 0;
    if ((st = vob_resolve_general(a->selector.c_str(), nullptr, &vob, &dbid, &mtype)) != TBS_ST_OK)
        return cmd_fail("Unable to remove type", a->selector, st);
    st = vob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
        vob_type_info_t t;
        tbs_status_t s = vob_type_get(vob, dbid, &t);
        if (s != TBS_ST_OK) return s;
        if (t.mtype == VOB_MTYPE_BRTYPE && t.name == "main") return TBS_ST_IN_USE;
        if (t.mtype == VOB_MTYPE_ELTYPE && (t.name == "file" || t.name == "directory"))
            return TBS_ST_IN_USE;
        if ((s = cmd_check_type_change(vob, ctx, t.mtype, dbid, VOB_ACL_FULL)) != TBS_ST_OK)
            return s;
        if ((s = cmd_check_locks(vob, ctx, {dbid})) != TBS_ST_OK) return s;
        int64_t uses = 0;
        if ((s = vob_store_type_uses(*vob->db, t, &uses)) != TBS_ST_OK) return s;
        if (uses > 0) {
            // Branches and elements of a type cannot lose it; labels, attributes and
            // hyperlinks go with it when forced.
            if (!a->force || t.mtype == VOB_MTYPE_BRTYPE || t.mtype == VOB_MTYPE_ELTYPE)
                return TBS_ST_IN_USE;
            if ((s = vob_store_remove_type_uses(*vob->db, t)) != TBS_ST_OK) return s;
        }
        if ((s = vob_store_delete_type(*vob->db, dbid)) != TBS_ST_OK) return s;
        return cmd_event(vob, txn, ctx, vob_object_dbid(vob), "remove type", t.name);
    });
    if (st != TBS_ST_OK) return cmd_fail("Unable to remove type", a->selector, st);
    imsg_ok("Removed type \"%s\".\n", a->selector.c_str());
    return TBS_ST_OK;
}

// Labels ---------------------------------------------------------------------------------

namespace {

tbs_status_t label_tree(vob_t* vob, store_txn& txn, const cmd_ctx& ctx, const vob_type_info_t& lb,
                        int64_t element, int64_t version, const cmd_mklabel_args_t* a, bool remove,
                        int depth, int64_t* count) {
    if (depth > 256) return tbs_errno2status(ELOOP);
    store_db& db = *vob->db;
    tbs_status_t st = cmd_check_write(vob, ctx, element);
    if (st == TBS_ST_OK) st = cmd_check_locks(vob, ctx, {element, lb.dbid});
    if (st != TBS_ST_OK) return st;
    vob_version_info_t v;
    if ((st = vob_ver_get_info(vob, version, &v)) != TBS_ST_OK) return st;
    if (v.checked_out) return TBS_ST_CHECKED_OUT;
    if (remove) {
        int64_t labelled = 0;
        if (vob_store_get_label(db, lb.dbid, element, &labelled) != TBS_ST_OK ||
            labelled != version)
            return TBS_ST_NOT_FOUND;
        if ((st = vob_store_remove_label(db, lb.dbid, element)) != TBS_ST_OK) return st;
        if ((st = cmd_event(vob, txn, ctx, version, "remove label", lb.name)) != TBS_ST_OK)
            return st;
    } else {
        int64_t labelled = 0;
        if (vob_store_get_label(db, lb.dbid, element, &labelled) == TBS_ST_OK) {
            if (labelled != version && !a->replace) return TBS_ST_EXISTS;
        }
        if (labelled != version) {
            if ((st = vob_store_set_label(db, lb.dbid, element, version)) != TBS_ST_OK) return st;
            if ((st = cmd_event(vob, txn, ctx, version, "make label",
                                a->comment.empty() ? lb.name : lb.name + " " + a->comment)) !=
                TBS_ST_OK)
                return st;
        }
    }
    ++*count;
    if (!a->recurse || !v.is_dir) return TBS_ST_OK;
    std::vector<vob_dir_entry_t> entries;
    if ((st = vob_store_dir_list(db, version, &entries)) != TBS_ST_OK) return st;
    for (const vob_dir_entry_t& e : entries) {
        if (e.mtype == VOB_MTYPE_SLINK) continue;
        int64_t sel = 0;
        if ((st = vob_select_version(vob, e.target, "", ctx.view, &sel)) != TBS_ST_OK) return st;
        if (!sel) continue;
        vob_version_info_t cv;
        if (vob_ver_get_info(vob, sel, &cv) == TBS_ST_OK && cv.checked_out) {
            // Checked-out versions carry no labels; their predecessor does.
            sel = cv.predecessor;
        }
        st = label_tree(vob, txn, ctx, lb, e.target, sel, a, remove, depth + 1, count);
        if (st == TBS_ST_NOT_FOUND && remove) continue;
        if (st != TBS_ST_OK) return st;
    }
    return TBS_ST_OK;
}

tbs_status_t label_command(cmd_mklabel_args_t* a, bool remove) {
    cmd_ctx ctx;
    tbs_status_t st = cmd_ctx_init(&ctx, a->view);
    if (st == TBS_ST_OK) st = cmd_check_comment(a->comment);
    if (st == TBS_ST_OK) st = cmd_check_pnames(a->pnames);
    if (st != TBS_ST_OK) return st;
    for (const std::string& pname : a->pnames) {
        vob_resolved_t r;
        if ((st = vob_resolve_pname(pname.c_str(), ctx.view, 0, &r)) != TBS_ST_OK)
            return cmd_fail(remove ? "Unable to remove label from" : "Unable to label", pname, st);
        vob_t* vob = r.vob;
        int64_t count = 0;
        auto may_label = [&]() -> tbs_status_t {
            vob_type_info_t lb;
            tbs_status_t s = find_type(vob, VOB_MTYPE_LBTYPE, a->label, &lb);
            if (s == TBS_ST_OK) s = cmd_check_write(vob, ctx, r.element);
            return s != TBS_ST_OK ? s : cmd_check_locks(vob, ctx, {r.element, lb.dbid});
        };
        if (!remove && (st = cmd_fire_triggers_on(vob, ctx, true, "mklabel", pname, r.element,
                                                  r.version, a->comment, may_label)) != TBS_ST_OK)
            return cmd_fail("Unable to label", pname, st);
        st = vob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
            count = 0;
            vob_resolved_t cur;
            tbs_status_t s = vob_resolve_pname(pname.c_str(), ctx.view, 0, &cur);
            if (s != TBS_ST_OK) return s;
            if (cur.mtype != VOB_MTYPE_VERSION && cur.mtype != VOB_MTYPE_DIR_VERSION)
                return TBS_ST_NOT_ELEMENT;
            vob_type_info_t lb;
            if ((s = find_type(vob, VOB_MTYPE_LBTYPE, a->label, &lb)) != TBS_ST_OK) return s;
            return label_tree(vob, txn, ctx, lb, cur.element, cur.version, a, remove, 0, &count);
        });
        if (st != TBS_ST_OK)
            return cmd_fail(remove ? "Unable to remove label from" : "Unable to label", pname, st);
        imsg_ok(remove ? "Removed label \"%s\" from \"%s\" (%lld versions).\n"
                       : "Created label \"%s\" on \"%s\" (%lld versions).\n",
                a->label.c_str(), pname.c_str(), static_cast<long long>(count));
        if (!remove)
            cmd_fire_triggers_on(vob, ctx, false, "mklabel", pname, r.element, r.version,
                                 a->comment, {});
    }
    return TBS_ST_OK;
}

}  // namespace

tbs_status_t cmd_mklabel(cmd_mklabel_args_t* a) {
    return label_command(a, false);
}
tbs_status_t cmd_rmlabel(cmd_mklabel_args_t* a) {
    return label_command(a, true);
}

// Attributes and hyperlinks ---------------------------------------------------------------

namespace {

tbs_status_t attr_command(cmd_mkattr_args_t* a, bool remove) {
    cmd_ctx ctx;
    tbs_status_t st = cmd_ctx_init(&ctx, a->view);
    if (st == TBS_ST_OK) st = cmd_check_comment(a->comment);
    if (st != TBS_ST_OK) return st;
    if (a->value.size() > VOB_MAX_COMMENT)
        return cmd_fail("Attribute value too long for", a->attype, TBS_ST_TOO_LONG);
    if (!remove && !cmd_text_chars_ok(a->value))
        return cmd_fail("Bad attribute value for", a->attype, TBS_ST_INVALID);
    for (const std::string& obj : a->objects) {
        Target t;
        if ((st = resolve_target(obj, ctx, &t)) != TBS_ST_OK)
            return cmd_fail("Unable to find", obj, st);
        st = t.vob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
            vob_type_info_t at;
            tbs_status_t s = find_type(t.vob, VOB_MTYPE_ATTYPE, a->attype, &at);
            if (s != TBS_ST_OK) return s;
            int64_t owner = t.element ? t.element : t.dbid;
            if ((s = cmd_check_write(t.vob, ctx, owner)) != TBS_ST_OK) return s;
            if ((s = cmd_check_locks(t.vob, ctx, {owner, at.dbid})) != TBS_ST_OK) return s;
            std::string existing;
            bool has = vob_store_get_attr(*t.vob->db, t.dbid, at.dbid, &existing) == TBS_ST_OK;
            if (remove) {
                if (!has) return TBS_ST_NOT_FOUND;
                if ((s = vob_store_remove_attr(*t.vob->db, t.dbid, at.dbid)) != TBS_ST_OK) return s;
                return cmd_event(t.vob, txn, ctx, t.dbid, "remove attribute", a->attype);
            }
            if (has && !a->replace) return TBS_ST_EXISTS;
            if ((s = vob_store_set_attr(*t.vob->db, t.dbid, at.dbid, a->value)) != TBS_ST_OK)
                return s;
            return cmd_event(t.vob, txn, ctx, t.dbid, "make attribute", a->attype + "=" + a->value);
        });
        if (st != TBS_ST_OK)
            return cmd_fail(
                remove ? "Unable to remove attribute from" : "Unable to add attribute to", obj, st);
        imsg_ok(remove ? "Removed attribute \"%s\" from \"%s\".\n"
                       : "Added attribute \"%s\" to \"%s\".\n",
                a->attype.c_str(), obj.c_str());
    }
    return TBS_ST_OK;
}

}  // namespace

tbs_status_t cmd_mkattr(cmd_mkattr_args_t* a) {
    return attr_command(a, false);
}
tbs_status_t cmd_rmattr(cmd_mkattr_args_t* a) {
    return attr_command(a, true);
}

tbs_status_t cmd_mkhlink(cmd_mkhlink_args_t* a) {
    cmd_ctx ctx;
    tbs_status_t st = cmd_ctx_init(&ctx, a->view);
    if (st == TBS_ST_OK) st = cmd_check_comment(a->comment);
    if (st == TBS_ST_OK) st = cmd_check_comment(a->text);
    if (st != TBS_ST_OK) return st;
    Target from, to;
    if ((st = resolve_target(a->from, ctx, &from)) != TBS_ST_OK)
        return cmd_fail("Unable to find", a->from, st);
    if ((st = resolve_target(a->to, ctx, &to)) != TBS_ST_OK)
        return cmd_fail("Unable to find", a->to, st);
    if (from.vob != to.vob) return cmd_fail("Unable to link", a->to, TBS_ST_NOT_SUPPORTED);
    vob_t* vob = from.vob;
    st = vob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
        vob_type_info_t ht;
        tbs_status_t s = find_type(vob, VOB_MTYPE_HLTYPE, a->hltype, &ht);
        if (s != TBS_ST_OK) return s;
        if ((s = cmd_check_write(vob, ctx, from.element ? from.element : from.dbid)) != TBS_ST_OK)
            return s;
        if ((s = cmd_check_locks(vob, ctx, {ht.dbid, from.element, to.element})) != TBS_ST_OK)
            return s;
        int64_t dbid = 0;
        if ((s = cmd_new_object(vob, txn, ctx, VOB_MTYPE_HLINK, 0444, &dbid)) != TBS_ST_OK)
            return s;
        if ((s = vob_store_new_hlink(*vob->db, dbid, ht.dbid, from.dbid, to.dbid, a->text)) !=
            TBS_ST_OK)
            return s;
        a->hlink = dbid;
        return cmd_event(vob, txn, ctx, from.dbid, "make hyperlink", a->hltype);
    });
    if (st != TBS_ST_OK) return cmd_fail("Unable to create hyperlink from", a->from, st);
    imsg_ok("Created hyperlink \"%s@%lld\".\n", a->hltype.c_str(),
            static_cast<long long>(a->hlink));
    return TBS_ST_OK;
}

// Locks and protections -------------------------------------------------------------------

namespace {

tbs_status_t lock_command(cmd_lock_args_t* a, bool unlock) {
    cmd_ctx ctx;
    tbs_status_t st = cmd_ctx_init(&ctx, a->view);
    if (st == TBS_ST_OK) st = cmd_check_comment(a->comment);
    if (st != TBS_ST_OK) return st;
    std::string excluded;
    for (const std::string& u : a->nusers) {
        if (u.empty() || u.find(',') != std::string::npos || !credutl_user_exists(u))
            return cmd_fail("Unknown user", u, TBS_ST_NOT_FOUND);
        excluded += (excluded.empty() ? "" : ",") + u;
    }
    for (const std::string& obj : a->objects) {
        Target t;
        if ((st = resolve_target(obj, ctx, &t)) != TBS_ST_OK)
            return cmd_fail("Unable to find", obj, st);
        // Locks are on elements, branches, types and the VOB, not single versions.
        int64_t target = t.dbid;
        if (t.mtype == VOB_MTYPE_VERSION || t.mtype == VOB_MTYPE_DIR_VERSION) target = t.element;
        st = t.vob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
            tbs_status_t s = cmd_check_owner(t.vob, ctx, target);
            if (s != TBS_ST_OK) return s;
            vob_lock_info_t lock;
            if ((s = vob_store_get_lock(*t.vob->db, target, &lock)) != TBS_ST_OK) return s;
            if (unlock) {
                if (!lock.locked) return TBS_ST_NOT_FOUND;
                if ((s = vob_store_remove_lock(*t.vob->db, target)) != TBS_ST_OK) return s;
                return cmd_event(t.vob, txn, ctx, target, "unlock", a->comment);
            }
            if (lock.locked && !a->replace) return TBS_ST_LOCKED;
            if ((s = vob_store_set_lock(*t.vob->db, target, a->obsolete,
                                        a->obsolete ? "" : excluded, ctx.user, ctx.now)) !=
                TBS_ST_OK)
                return s;
            return cmd_event(t.vob, txn, ctx, target, a->obsolete ? "lock obsolete" : "lock",
                             a->comment);
        });
        if (st != TBS_ST_OK)
            return cmd_fail(unlock ? "Unable to unlock" : "Unable to lock", obj, st);
        imsg_ok(unlock ? "Unlocked \"%s\".\n" : "Locked \"%s\".\n", obj.c_str());
    }
    return TBS_ST_OK;
}

}  // namespace

tbs_status_t cmd_lock(cmd_lock_args_t* a) {
    return lock_command(a, false);
}
tbs_status_t cmd_unlock(cmd_lock_args_t* a) {
    return lock_command(a, true);
}

tbs_status_t cmd_protect(cmd_protect_args_t* a) {
    cmd_ctx ctx;
    tbs_status_t st = cmd_ctx_init(&ctx, a->view);
    if (st != TBS_ST_OK) return st;
    if (!a->owner.empty() && !credutl_user_exists(a->owner))
        return cmd_fail("Unknown user", a->owner, TBS_ST_NOT_FOUND);
    if (!a->group.empty() && !credutl_group_exists(a->group))
        return cmd_fail("Unknown group", a->group, TBS_ST_NOT_FOUND);
    if (a->mode > 07777) return cmd_fail("Bad mode for", "protect", TBS_ST_INVALID);
    for (const std::string& obj : a->objects) {
        Target t;
        if ((st = resolve_target(obj, ctx, &t)) != TBS_ST_OK)
            return cmd_fail("Unable to find", obj, st);
        int64_t target = t.element ? t.element : t.dbid;
        st = t.vob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
            tbs_status_t s = cmd_check_owner(t.vob, ctx, target);
            if (s == TBS_ST_OK) s = cmd_check_locks(t.vob, ctx, {target});
            // Giving an object away takes the privileged identity.
            if (s == TBS_ST_OK && !a->owner.empty() && a->owner != ctx.who.user &&
                !credutl_is_privileged(ctx.who))
                s = TBS_ST_PERMISSION;
            if (s != TBS_ST_OK) return s;
            vob_obj_info_t o;
            if ((s = vob_obj_get_info(t.vob, target, &o)) != TBS_ST_OK) return s;
            if ((s = vob_store_set_protection(
                     *t.vob->db, target, a->owner.empty() ? o.owner : a->owner,
                     a->group.empty() ? o.group : a->group, a->mode < 0 ? o.mode : a->mode)) !=
                TBS_ST_OK)
                return s;
            return cmd_event(t.vob, txn, ctx, target, "protect", "");
        });
        if (st != TBS_ST_OK) return cmd_fail("Unable to change protection of", obj, st);
        imsg_ok("Changed protection on \"%s\".\n", obj.c_str());
    }
    return TBS_ST_OK;
}

// Descriptions ----------------------------------------------------------------------------

tbs_status_t cmd_chevent(cmd_chevent_args_t* a) {
    if (!a || !a->vob) return TBS_ST_BAD_REQUEST;
    cmd_ctx ctx;
    tbs_status_t st = cmd_ctx_init(&ctx, a->view);
    if (st == TBS_ST_OK) st = cmd_check_comment(a->comment);
    if (st != TBS_ST_OK) return st;
    vob_t* vob = a->vob;
    st = vob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
        vob_obj_info_t o;
        tbs_status_t s = vob_obj_get_info(vob, a->dbid, &o);
        if (s != TBS_ST_OK) return s;
        if (o.creator != ctx.user && (s = cmd_check_owner(vob, ctx, a->dbid)) != TBS_ST_OK)
            return s;
        vob_version_info_t v;
        const bool is_version = vob_store_get_version(*vob->db, a->dbid, &v) == TBS_ST_OK;
        if ((s = cmd_check_locks(vob, ctx, {is_version ? v.element : a->dbid})) != TBS_ST_OK)
            return s;
        s = is_version ? vob_store_set_version_comment(*vob->db, a->dbid, a->comment)
                       : vob_store_set_first_event_comment(*vob->db, a->dbid, a->comment);
        if (s != TBS_ST_OK) return s;
        return cmd_event(vob, txn, ctx, a->dbid, "change comment", a->comment);
    });
    if (st != TBS_ST_OK) {
        char sel[1024];
        if (vob_obj_get_selector(vob, a->dbid, sel, sizeof sel) != TBS_ST_OK) sel[0] = '\0';
        return cmd_fail("Unable to change the description of", sel, st);
    }
    return TBS_ST_OK;
}

// Lookups ---------------------------------------------------------------------------------

tbs_status_t cmd_resolve_obj_long(const char* name, const vob_view_ctx_t* view, int flags,
                                  vob_resolved_t* out) {
    vob_objsel_t sel;
    tbs_status_t st = vob_utl_parse_objsel(name, &sel);
    if (st != TBS_ST_OK) return st;
    if (sel.kind == VOB_SEL_PNAME) return vob_resolve_pname(name, view, flags, out);
    *out = vob_resolved_t{};
    if ((st = vob_resolve_general(name, view, &out->vob, &out->dbid, &out->mtype)) != TBS_ST_OK)
        return st;
    if (out->mtype == VOB_MTYPE_VERSION || out->mtype == VOB_MTYPE_DIR_VERSION) {
        vob_version_info_t v;
        if ((st = vob_ver_get_info(out->vob, out->dbid, &v)) != TBS_ST_OK) return st;
        out->element = v.element;
        out->version = out->dbid;
    } else if (out->mtype == VOB_MTYPE_FILE_ELEMENT || out->mtype == VOB_MTYPE_DIR_ELEMENT) {
        out->element = out->dbid;
    }
    out->extended = true;
    return TBS_ST_OK;
}

tbs_status_t cmd_resolve_ws_obj(view_t* view, const char* path, int flags, vob_resolved_t* out) {
    if (!view || !path) return TBS_ST_BAD_REQUEST;
    std::string pname = view_pname_to_vob(view, path);
    if (pname.empty()) return TBS_ST_NAME_NOT_FOUND;
    return vob_resolve_pname(pname.c_str(), &view->ctx, flags, out);
}

tbs_status_t cmd_utl_lookup_slink(const char* pname, const vob_view_ctx_t* view,
                                  std::string* text) {
    vob_resolved_t r;
    tbs_status_t st = vob_resolve_pname(pname, view, VOB_RESOLVE_NOFOLLOW, &r);
    if (st != TBS_ST_OK) return st;
    if (r.mtype != VOB_MTYPE_SLINK) return TBS_ST_BAD_REQUEST;
    return vob_slink_get_text(r.vob, r.dbid, text);
}
