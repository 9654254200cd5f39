// Commands that administer existing objects: branch and hyperlink removal, type renames,
// the reservation of checkouts and element types (see cmd.h).
#include <cstdlib>
#include <cstring>

#include "core/cmd/cmd_internal.h"
#include "core/imsg/imsg.h"
#include "core/rgy/rgy.h"
#include "core/vob/vob_acl.h"
#include "core/vob/vob_store.h"

namespace {

tbs_status_t resolve(const std::string& text, const cmd_ctx& ctx, vob_resolved_t* r) {
    if (text.find('\0') != std::string::npos) return TBS_ST_BAD_NAME;
    return cmd_resolve_obj_long(text.c_str(), ctx.view, 0, r);
}

// "<type>@<id>@<vob tag>": the hyperlink's VOB and id.
tbs_status_t parse_hlink(const std::string& text, vob_t** vob, int64_t* dbid) {
    const size_t first = text.find('@');
    const size_t second = first == std::string::npos ? first : text.find('@', first + 1);
    if (first == std::string::npos || second == std::string::npos) return TBS_ST_BAD_SELECTOR;
    const std::string id = text.substr(first + 1, second - first - 1);
    if (id.empty() || id.size() > 18 || id.find_first_not_of("0123456789") != std::string::npos)
        return TBS_ST_BAD_SELECTOR;
    *dbid = strtoll(id.c_str(), nullptr, 10);
    return vob_open_by_tag(text.substr(second + 1).c_str(), vob);
}

// The hyperlink's maker, the VOB's owner or a privileged identity may remove it.
tbs_status_t remove_hlink(vob_t* vob, const cmd_ctx& ctx, int64_t dbid, const char* type) {
    return vob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
        vob_obj_info_t info;
        tbs_status_t st = vob_store_get_object(*vob->db, dbid, &info);
        if (st != TBS_ST_OK) return st;
        if (info.mtype != VOB_MTYPE_HLINK) return TBS_ST_NOT_FOUND;
        if ((st = cmd_check_owner(vob, ctx, dbid)) != TBS_ST_OK) return st;
        if ((st = vob_store_delete_hlink(*vob->db, dbid)) != TBS_ST_OK) return st;
        return cmd_event(vob, txn, ctx, vob_object_dbid(vob), "remove hyperlink", type);
    });
}

}  // namespace

tbs_status_t cmd_rmbranch(cmd_rmbranch_args_t* a) {
    cmd_ctx ctx;
    tbs_status_t st = cmd_ctx_init(&ctx, a->view);
    if (st == TBS_ST_OK) st = cmd_check_comment(a->comment);
    if (st == TBS_ST_OK) st = cmd_check_pnames(a->pnames);
    if (st != TBS_ST_OK) return st;
    for (const std::string& pname : a->pnames) {
        vob_resolved_t r;
        if ((st = resolve(pname, ctx, &r)) != TBS_ST_OK)
            return cmd_fail("Unable to find", pname, st);
        if (r.mtype != VOB_MTYPE_BRANCH) return cmd_fail("Not a branch", pname, TBS_ST_INVALID);
        vob_t* vob = r.vob;
        const int64_t branch = r.dbid;
        int64_t removed = 0;
        st = vob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
            store_db& db = *vob->db;
            int64_t element = 0, eltype = 0, main_branch = 0, children = 0;
            bool is_dir = false;
            tbs_status_t s = vob_store_get_branch(db, branch, &element, nullptr, nullptr);
            if (s == TBS_ST_OK)
                s = vob_store_get_element(db, element, &eltype, &is_dir, &main_branch);
            if (s != TBS_ST_OK) return s;
            if (branch == main_branch) {
                imsg_error("An element's main branch cannot be removed.\n");
                return TBS_ST_NOT_SUPPORTED;
            }
            if ((s = cmd_check_owner(vob, ctx, element)) != TBS_ST_OK) return s;
            if ((s = cmd_check_element_locks(vob, ctx, element, branch)) != TBS_ST_OK) return s;
            if ((s = vob_store_count_branch_children(db, branch, &children)) != TBS_ST_OK) return s;
            if (children) {
                imsg_error("Branches were made from versions of \"%s\"; remove them first.\n",
                           pname.c_str());
                return TBS_ST_IN_USE;
            }
            std::vector<vob_checkout_info_t> cos;
            if ((s = vob_store_list_checkouts(db, element, &cos)) != TBS_ST_OK) return s;
            for (const vob_checkout_info_t& co : cos)
                if (co.branch == branch) return TBS_ST_CHECKED_OUT;
            std::vector<vob_version_info_t> versions;
            if ((s = vob_store_list_versions(db, element, &versions)) != TBS_ST_OK) return s;
            // Last version first: no version goes while a later one names it as predecessor.
            for (auto it = versions.rbegin(); it != versions.rend(); ++it) {
                if (it->branch != branch) continue;
                std::vector<vob_hlink_info_t> links;
                if ((s = vob_store_list_hlinks(db, it->dbid, &links)) != TBS_ST_OK) return s;
                for (const vob_hlink_info_t& l : links)
                    if ((s = vob_store_delete_hlink(db, l.dbid)) != TBS_ST_OK) return s;
                if ((s = vob_store_delete_version(db, it->dbid)) != TBS_ST_OK) return s;
                ++removed;
            }
            if ((s = vob_store_delete_branch(db, branch)) != TBS_ST_OK) return s;
            return cmd_event(vob, txn, ctx, element, "remove branch", a->comment);
        });
        if (st != TBS_ST_OK) return cmd_fail("Unable to remove branch", pname, st);
        imsg_ok("Removed branch \"%s\" with %lld version%s.\n", pname.c_str(),
                static_cast<long long>(removed), removed == 1 ? "" : "s");
    }
    return TBS_ST_OK;
}

tbs_status_t cmd_rmhlink(cmd_rmhlink_args_t* a) {
    cmd_ctx ctx;
    tbs_status_t st = cmd_ctx_init(&ctx, a->view);
    if (st != TBS_ST_OK) return st;
    if (!a->from.empty() || !a->to.empty()) {
        // The merge arrow between two versions of one element.
        vob_resolved_t f, t;
        if ((st = resolve(a->from, ctx, &f)) != TBS_ST_OK)
            return cmd_fail("Unable to find", a->from, st);
        if ((st = resolve(a->to, ctx, &t)) != TBS_ST_OK)
            return cmd_fail("Unable to find", a->to, st);
        if (f.vob != t.vob || !f.version || !t.version || f.element != t.element)
            return cmd_fail("Not two versions of one element", a->to, TBS_ST_INVALID);
        vob_type_info_t merge;
        int64_t link = 0;
        if (vob_store_find_type_info(*f.vob->db, VOB_MTYPE_HLTYPE, "Merge", &merge) != TBS_ST_OK ||
            vob_store_find_hlink(*f.vob->db, merge.dbid, f.version, t.version, &link) != TBS_ST_OK)
            return cmd_fail("No merge arrow leads into", a->to, TBS_ST_NOT_FOUND);
        if ((st = remove_hlink(f.vob, ctx, link, "Merge")) != TBS_ST_OK)
            return cmd_fail("Unable to remove the merge arrow into", a->to, st);
        // Journalled so that version trees fetched before see the change.
        f.vob->db->transact(store_txn_kind::write,
                            [&](store_txn&) { return vob_store_journal(*f.vob->db, f.element); });
        imsg_ok("Removed the merge arrow from \"%s\" to \"%s\".\n", a->from.c_str(), a->to.c_str());
        return TBS_ST_OK;
    }
    for (const std::string& h : a->hlinks) {
        vob_t* vob = nullptr;
        int64_t dbid = 0;
        if ((st = parse_hlink(h, &vob, &dbid)) != TBS_ST_OK)
            return cmd_fail("Not a hyperlink", h, st);
        const std::string type = h.substr(0, h.find('@'));
        if ((st = remove_hlink(vob, ctx, dbid, type.c_str())) != TBS_ST_OK)
            return cmd_fail("Unable to remove hyperlink", h, st);
        imsg_ok("Removed hyperlink \"%s\".\n", h.c_str());
    }
    return TBS_ST_OK;
}

tbs_status_t cmd_rename_type(cmd_rename_type_args_t* a) {
    cmd_ctx ctx;
    tbs_status_t st = cmd_ctx_init(&ctx, nullptr);
    if (st == TBS_ST_OK) st = cmd_check_type_name(a->name);
    if (st != TBS_ST_OK) return st;
    vob_resolved_t r;
    if ((st = resolve(a->selector, ctx, &r)) != TBS_ST_OK)
        return cmd_fail("Unable to find", a->selector, st);
    if (r.mtype < VOB_MTYPE_ELTYPE || r.mtype > VOB_MTYPE_TRTYPE)
        return cmd_fail("Not a type", a->selector, TBS_ST_INVALID);
    vob_t* vob = r.vob;
    st = vob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
        store_db& db = *vob->db;
        vob_type_info_t t;
        tbs_status_t s = vob_store_get_type(db, r.dbid, &t);
        if (s != TBS_ST_OK) return s;
        if (t.mtype == VOB_MTYPE_BRTYPE && t.name == "main") {
            imsg_error("The branch type \"main\" keeps its name.\n");
            return TBS_ST_NOT_SUPPORTED;
        }
        if ((s = cmd_check_type_change(vob, ctx, t.mtype, r.dbid, VOB_ACL_FULL)) != TBS_ST_OK)
            return s;
        if ((s = cmd_check_locks(vob, ctx, {r.dbid})) != TBS_ST_OK) return s;
        // What views select by this name changes: the elements that use it are journalled.
        if (t.mtype == VOB_MTYPE_LBTYPE) {
            if ((s = vob_store_journal_label_type(db, r.dbid)) != TBS_ST_OK) return s;
        } else if (t.mtype == VOB_MTYPE_BRTYPE) {
            std::vector<int64_t> elements;
            if ((s = vob_store_elements_using_type(db, VOB_MTYPE_BRTYPE, r.dbid, &elements)) !=
                TBS_ST_OK)
                return s;
            for (int64_t e : elements)
                if ((s = vob_store_journal(db, e)) != TBS_ST_OK) return s;
        }
        if ((s = vob_store_rename_type(db, r.dbid, a->name)) != TBS_ST_OK) return s;
        return cmd_event(vob, txn, ctx, r.dbid, "rename type", t.name + " -> " + a->name);
    });
    if (st != TBS_ST_OK) return cmd_fail("Unable to rename", a->selector, st);
    imsg_ok("Renamed \"%s\" to \"%s\".\n", a->selector.c_str(), a->name.c_str());
    return TBS_ST_OK;
}

tbs_status_t cmd_reserve(cmd_reserve_args_t* a) {
    cmd_ctx ctx;
    tbs_status_t st = cmd_ctx_init(&ctx, a->view);
    if (st == TBS_ST_OK) st = cmd_check_pnames(a->pnames);
    if (st != TBS_ST_OK) return st;
    for (const std::string& pname : a->pnames) {
        vob_resolved_t r;
        if ((st = vob_resolve_pname(pname.c_str(), ctx.view, 0, &r)) != TBS_ST_OK)
            return cmd_fail("Unable to find", pname, st);
        vob_t* vob = r.vob;
        st = vob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
            store_db& db = *vob->db;
            vob_checkout_info_t co;
            if (vob_store_find_checkout(db, r.element, ctx.view_text, &co) != TBS_ST_OK)
                return TBS_ST_NOT_CHECKED_OUT;
            if (co.user != ctx.who.user && !credutl_is_privileged(ctx.who))
                return TBS_ST_PERMISSION;
            if (co.reserved == a->reserve) return TBS_ST_OK;
            if (a->reserve) {
                std::vector<vob_checkout_info_t> others;
                tbs_status_t s = vob_store_list_checkouts(db, r.element, &others);
                if (s != TBS_ST_OK) return s;
                for (const vob_checkout_info_t& o : others)
                    if (o.reserved && o.branch == co.branch && o.dbid != co.dbid)
                        return TBS_ST_RESERVED;
            }
            tbs_status_t s = vob_store_set_checkout_reserved(db, co.dbid, a->reserve);
            if (s == TBS_ST_OK) s = vob_store_journal(db, r.element);
            if (s != TBS_ST_OK) return s;
            return cmd_event(vob, txn, ctx, co.dbid, a->reserve ? "reserve" : "unreserve", "");
        });
        if (st != TBS_ST_OK)
            return cmd_fail(a->reserve ? "Unable to reserve" : "Unable to unreserve", pname, st);
        imsg_ok("Changed the checkout of \"%s\" to %s.\n", pname.c_str(),
                a->reserve ? "reserved" : "unreserved");
    }
    return TBS_ST_OK;
}

tbs_status_t cmd_chtype(cmd_chtype_args_t* a) {
    cmd_ctx ctx;
    tbs_status_t st = cmd_ctx_init(&ctx, a->view);
    if (st == TBS_ST_OK) st = cmd_check_pnames(a->pnames);
    if (st != TBS_ST_OK) return st;
    for (const std::string& pname : a->pnames) {
        vob_resolved_t r;
        if ((st = resolve(pname, ctx, &r)) != TBS_ST_OK)
            return cmd_fail("Unable to find", pname, st);
        if (!r.element) return cmd_fail("Not an element", pname, TBS_ST_NOT_ELEMENT);
        vob_t* vob = r.vob;
        st = vob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
            store_db& db = *vob->db;
            vob_type_info_t t;
            if (vob_store_find_type_info(db, VOB_MTYPE_ELTYPE, a->eltype.c_str(), &t) != TBS_ST_OK)
                return TBS_ST_TYPE_NOT_FOUND;
            int64_t old_type = 0, main_branch = 0;
            bool is_dir = false;
            tbs_status_t s = vob_store_get_element(db, r.element, &old_type, &is_dir, &main_branch);
            if (s != TBS_ST_OK) return s;
            if (is_dir != (t.name == "directory")) {
                imsg_error("Element type \"%s\" is not for %s elements.\n", t.name.c_str(),
                           is_dir ? "directory" : "file");
                return TBS_ST_INVALID;
            }
            if (old_type == t.dbid) return TBS_ST_OK;
            if ((s = cmd_check_owner(vob, ctx, r.element)) != TBS_ST_OK) return s;
            if ((s = cmd_check_locks(vob, ctx, {r.element, t.dbid, old_type})) != TBS_ST_OK)
                return s;
            if ((s = vob_store_set_element_type(db, r.element, t.dbid)) != TBS_ST_OK) return s;
            return cmd_event(vob, txn, ctx, r.element, "change type", a->eltype);
        });
        if (st != TBS_ST_OK) return cmd_fail("Unable to change the type of", pname, st);
        imsg_ok("Changed the type of \"%s\" to \"%s\".\n", pname.c_str(), a->eltype.c_str());
    }
    return TBS_ST_OK;
}
