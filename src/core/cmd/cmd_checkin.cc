// The checkout and checkin commands.
#include <sys/stat.h>

#include "core/cmd/cmd_internal.h"
#include "core/cmd/cmd_trigger.h"
#include "core/imsg/imsg.h"
#include "core/store/content_pool.h"
#include "core/vob/vob_store.h"

// checkout -------------------------------------------------------------------------------

namespace {

tbs_status_t checkout_one(cmd_checkout_args_t* a, const cmd_ctx& ctx, const std::string& pname,
                          vob_t** vob_out, int64_t* co_out, bool* got_reserved) {
    vob_resolved_t r;
    tbs_status_t st = vob_resolve_pname(pname.c_str(), ctx.view, 0, &r);
    if (st != TBS_ST_OK) return st;
    *vob_out = r.vob;
    vob_t* vob = r.vob;
    const std::string comment = cmd_comment_of(a->comment_mode, a->comment);
    auto may_checkout = [&]() -> tbs_status_t {
        vob_version_info_t v;
        tbs_status_t s = vob_ver_get_info(vob, r.version, &v);
        if (s == TBS_ST_OK) s = cmd_check_write(vob, ctx, r.element);
        return s != TBS_ST_OK ? s : cmd_check_element_locks(vob, ctx, r.element, v.branch);
    };
    if (!a->branch_only &&
        (st = cmd_fire_triggers_on(vob, ctx, true, "checkout", pname, r.element, r.version, comment,
                                   may_checkout)) != TBS_ST_OK)
        return st;
    return vob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
        vob_resolved_t cur;
        tbs_status_t s = cmd_resolve_version(pname, ctx, &cur);
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
        return cmd_do_checkout({vob, txn, ctx},
                               {.element = element,
                                .version = selected,
                                .reserved = a->reserved,
                                .unreserved_ok = a->unreserved || !a->reserved,
                                .comment = comment},
                               co_out, got_reserved);
    });
}

}  // namespace

tbs_status_t cmd_checkout(cmd_checkout_args_t* a) {
    cmd_ctx ctx;
    tbs_status_t st = cmd_ctx_init(&ctx, a->view);
    if (st == TBS_ST_OK) st = cmd_check_view_owner(ctx);
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
        if (vob_ckout_get(vob, co, &c) == TBS_ST_OK) from = cmd_idstr(vob, c.pred_version);
        imsg_ok("Checked out \"%s\" from version \"%s\"%s.\n", pname.c_str(), from.c_str(),
                reserved ? "" : " (unreserved)");
        cmd_fire_triggers_on(vob, ctx, false, "checkout", pname, c.element, c.pred_version,
                             a->comment, {});
        // A copy the view holds on the server becomes writable for the checkout; a snapshot
        // view's copy holds the version checked out first, so that its checkin takes only
        // the user's changes.
        if ((st = cmd_server_copy_for_checkout(ctx, pname, vob, c.pred_version)) != TBS_ST_OK)
            return st;
    }
    return TBS_ST_OK;
}

// checkin --------------------------------------------------------------------------------

tbs_status_t cmd_checkin(cmd_checkin_args_t* a) {
    cmd_ctx ctx;
    tbs_status_t st = cmd_ctx_init(&ctx, a->view);
    if (st == TBS_ST_OK) st = cmd_check_view_owner(ctx);
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
        int64_t element = 0;
        bool has_content = false;
        std::string content;
        int64_t size = 0;
        int64_t created = 0;
        bool server_copy = false;  // taken from a snapshot view's copy
        view_copy_stamp_t before;  // that copy, before it was read
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
        it.element = r.element;
        // Before any content is stored: a trigger that refuses leaves nothing behind.
        if ((st = cmd_fire_triggers_on(r.vob, ctx, true, "checkin", it.pname, r.element, r.version,
                                       a->comment, cmd_checkout_gate(r.vob, ctx, r.element))) !=
            TBS_ST_OK)
            return cmd_fail("Unable to check in", it.pname, st);
        if (a->atomic && !items.empty() && items[0].vob != it.vob)
            return cmd_fail("Atomic checkin spans more than one VOB", it.pname,
                            TBS_ST_NOT_SUPPORTED);
        std::string from = !a->from.empty() ? a->from[i] : std::string();
        if (from.empty() && r.mtype == VOB_MTYPE_VERSION) {
            from = cmd_view_private_file(ctx, it.pname);
            it.server_copy = !from.empty() && cmd_stamp_server_copy(ctx, it.pname, &it.before);
        }
        if (!from.empty()) {
            if (r.mtype == VOB_MTYPE_DIR_VERSION)
                return cmd_fail("Unable to check in", it.pname, TBS_ST_IS_DIRECTORY);
            if (a->atomic && !batch) batch = std::make_unique<content_batch>(r.vob->pool->dir());
            if ((st = cmd_put_content(r.vob, from, &it.content, &it.size, batch.get())) !=
                TBS_ST_OK)
                return st;
            it.has_content = true;
            if (a->ptime) it.created = cmd_file_mtime(from);
        }
        items.push_back(std::move(it));
    }
    if (batch && (st = batch->sync()) != TBS_ST_OK)
        return cmd_fail("Unable to store the contents of", a->pnames.front(), st);
    const std::string* comment = a->comment_mode == CMD_COMMENT_GIVEN ? &a->comment : nullptr;
    auto checkin_item = [&](store_txn& txn, const Item& it, int64_t* version) -> tbs_status_t {
        vob_resolved_t r;
        tbs_status_t s = cmd_resolve_version(it.pname, ctx, &r);
        if (s != TBS_ST_OK) return s;
        vob_checkout_info_t co;
        if (vob_store_find_checkout(*it.vob->db, r.element, ctx.view_text, &co) != TBS_ST_OK)
            return TBS_ST_NOT_CHECKED_OUT;
        return cmd_do_checkin({it.vob, txn, ctx},
                              {.checkout = co.dbid,
                               .content = it.has_content ? &it.content : nullptr,
                               .size = it.size,
                               .comment = comment,
                               .identical = a->identical,
                               .created = it.created},
                              version);
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
        for (size_t i = 0; i < items.size(); ++i) {
            imsg_ok("Checked in \"%s\" version \"%s\".\n", items[i].pname.c_str(),
                    cmd_idstr(items[i].vob, versions[i]).c_str());
            cmd_view_private_drop(ctx, items[i].pname);
            if (items[i].server_copy)
                cmd_server_copy_checked_in(ctx, items[i].pname, items[i].vob, versions[i],
                                           items[i].before);
            cmd_fire_triggers_on(items[i].vob, ctx, false, "checkin", items[i].pname,
                                 items[i].element, versions[i], a->comment, {});
        }
        return TBS_ST_OK;
    }
    for (const Item& it : items) {
        int64_t v = 0;
        st = it.vob->db->transact(store_txn_kind::write,
                                  [&](store_txn& txn) { return checkin_item(txn, it, &v); });
        if (st != TBS_ST_OK) return cmd_fail("Unable to check in", it.pname, st);
        a->versions.push_back(v);
        imsg_ok("Checked in \"%s\" version \"%s\".\n", it.pname.c_str(),
                cmd_idstr(it.vob, v).c_str());
        cmd_view_private_drop(ctx, it.pname);
        if (it.server_copy) cmd_server_copy_checked_in(ctx, it.pname, it.vob, v, it.before);
        cmd_fire_triggers_on(it.vob, ctx, false, "checkin", it.pname, it.element, v, a->comment,
                             {});
    }
    return TBS_ST_OK;
}
