// The uncheckout command: removes a checkout, optionally keeping the edits beside.
#include <sys/stat.h>

#include "core/cmd/cmd_internal.h"
#include "core/cmd/cmd_trigger.h"
#include "core/imsg/imsg.h"
#include "core/vob/vob_store.h"

// uncheckout -----------------------------------------------------------------------------

tbs_status_t cmd_uncheckout_with_pop(cmd_uncheckout_args_t* a) {
    cmd_ctx ctx;
    tbs_status_t st = cmd_ctx_init(&ctx, a->view);
    if (st == TBS_ST_OK) st = cmd_check_view_owner(ctx);
    if (st == TBS_ST_OK) st = cmd_check_pnames(a->pnames);
    if (st != TBS_ST_OK) return st;
    for (const std::string& pname : a->pnames) {
        vob_resolved_t r;
        if ((st = vob_resolve_pname(pname.c_str(), ctx.view, 0, &r)) != TBS_ST_OK)
            return cmd_fail("Unable to uncheck out", pname, st);
        vob_t* vob = r.vob;
        int64_t back_to = 0;
        if ((st = cmd_fire_triggers_on(vob, ctx, true, "uncheckout", pname, r.element, r.version,
                                       "", cmd_checkout_gate(vob, ctx, r.element))) != TBS_ST_OK)
            return cmd_fail("Unable to uncheck out", pname, st);
        st = vob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
            store_db& db = *vob->db;
            vob_resolved_t cur;
            tbs_status_t s = cmd_resolve_version(pname, ctx, &cur);
            if (s != TBS_ST_OK) return s;
            vob_checkout_info_t co;
            if (vob_store_find_checkout(db, cur.element, ctx.view_text, &co) != TBS_ST_OK)
                return TBS_ST_NOT_CHECKED_OUT;
            if ((s = cmd_check_checkout_change(vob, ctx, co)) != TBS_ST_OK) return s;
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
        const std::string copy = cmd_view_private_file(ctx, pname);
        if (!copy.empty() && back_to) {
            if (a->keep) {
                std::string kept = copy + ".keep";
                for (int n = 1; access(kept.c_str(), F_OK) == 0 && n < 1000; ++n)
                    kept = copy + ".keep." + std::to_string(n);
                if (rename(copy.c_str(), kept.c_str()) != 0)
                    imsg_warning("Unable to keep \"%s\" as \"%s\".\n", copy.c_str(), kept.c_str());
            }
            vob_resolved_t now;
            if (!cmd_view_private_drop(ctx, pname) &&
                vob_resolve_pname(pname.c_str(), ctx.view, 0, &now) == TBS_ST_OK &&
                vob_ver_get_cleartext(now.vob, now.version, copy.c_str()) == TBS_ST_OK)
                chmod(copy.c_str(), 0444);
        }
        imsg_ok("Checkout cancelled for \"%s\"; back at version \"%s\".\n", pname.c_str(),
                cmd_idstr(vob, back_to).c_str());
        cmd_fire_triggers_on(vob, ctx, false, "uncheckout", pname, r.element, back_to, "", {});
    }
    return TBS_ST_OK;
}

tbs_status_t cmd_uncheckout(cmd_uncheckout_args_t* a) {
    return cmd_uncheckout_with_pop(a);
}
