// Namespace commands: mkelem, mv, rmname, ln and mkbranch. Each changes names in a
// checked-out directory and checks in what it checked out for itself.

#include <algorithm>
#include <cstring>

#include "core/cmd/cmd_internal.h"
#include "core/cmd/cmd_trigger.h"
#include "core/imsg/imsg.h"
#include "core/vob/vob_store.h"
#include "core/ws/ws.h"

// mkelem ---------------------------------------------------------------------------------

namespace {

// Finishes the directory checkouts a namespace command made for itself.
tbs_status_t checkin_made(vob_t* vob, store_txn& txn, const cmd_ctx& ctx,
                          const std::vector<int64_t>& made, const std::string& comment) {
    for (auto it = made.rbegin(); it != made.rend(); ++it) {
        tbs_status_t st = cmd_do_checkin({vob, txn, ctx},
                                         {.checkout = *it,
                                          .content = nullptr,
                                          .size = 0,
                                          .comment = &comment,
                                          .identical = true,
                                          .created = 0},
                                         nullptr);
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
    const std::string comment = cmd_comment_of(a->comment_mode, a->comment);
    return vob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
        const cmd_txn t{vob, txn, ctx};
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
            if ((s = cmd_dir_checkout(t, dir_element, dir_version, &co, &did)) != TBS_ST_OK)
                return s;
            if (did) made.push_back(co);
            if ((s = cmd_do_mkelem(t,
                                   {.dir_checkout = co,
                                    .leaf = leaf,
                                    .eltype = dir_type,
                                    .is_dir = true,
                                    .comment = comment},
                                   &elem, &v0)) != TBS_ST_OK)
                return s;
            // The new directory is checked out to receive the next name, and checked in.
            if ((s = cmd_do_checkout(t,
                                     {.element = elem,
                                      .version = v0,
                                      .reserved = true,
                                      .unreserved_ok = false,
                                      .comment = comment},
                                     &nco, nullptr)) != TBS_ST_OK)
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
        if ((s = cmd_dir_checkout(t, dir_element, dir_version, &co, &did)) != TBS_ST_OK) return s;
        const bool parent_made_here = did;
        if (did && std::find(made.begin(), made.end(), co) == made.end()) made.push_back(co);
        int64_t elem = 0, v0 = 0;
        if ((s = cmd_do_mkelem(t,
                               {.dir_checkout = co,
                                .leaf = leaf,
                                .eltype = eltype,
                                .is_dir = a->is_dir,
                                .comment = comment},
                               &elem, &v0)) != TBS_ST_OK)
            return s;
        events->emplace_back(CMD_MKELEM_EV_CREATED, pname);
        // In a stream's view the first version goes on the stream's branch, through a
        // checkout recorded in the view's activity.
        if (a->checkin && !a->is_dir && !ctx.xcm_view) {
            if ((s = cmd_do_first_version(t,
                                          {.element = elem,
                                           .version0 = v0,
                                           .content = content ? *content : "",
                                           .size = size,
                                           .comment = comment,
                                           .created = created},
                                          nullptr)) != TBS_ST_OK)
                return s;
            events->emplace_back(CMD_MKELEM_EV_CHECKEDIN, pname);
        } else if (a->checkin || !a->no_checkout) {
            // The new element is checked out; a directory checked in at once gets its (empty)
            // first version through that checkout.
            int64_t eco = 0;
            if ((s = cmd_do_checkout(t,
                                     {.element = elem,
                                      .version = v0,
                                      .reserved = true,
                                      .unreserved_ok = false,
                                      .comment = comment},
                                     &eco, nullptr)) != TBS_ST_OK)
                return s;
            if (a->checkin) {
                const bool file = !a->is_dir && content;
                if ((s = cmd_do_checkin(t,
                                        {.checkout = eco,
                                         .content = file ? content : nullptr,
                                         .size = file ? size : 0,
                                         .comment = &comment,
                                         .identical = true,
                                         .created = created},
                                        nullptr)) != TBS_ST_OK)
                    return s;
                events->emplace_back(CMD_MKELEM_EV_CHECKEDIN, pname);
            }
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
    if (st == TBS_ST_OK) st = cmd_check_view_owner(ctx);
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
        if (from.empty() && a->checkin && !a->is_dir) from = cmd_view_private_file(ctx, pname);
        // The nearest existing directory names the VOB (missing parents are made on the way).
        vob_resolved_t r;
        std::string up = parent_of(pname);
        while ((st = vob_resolve_pname(up.c_str(), ctx.view, 0, &r)) != TBS_ST_OK && up != "/")
            up = parent_of(up);
        if (st != TBS_ST_OK) return cmd_fail("Unable to create element", pname, st);
        cmd_trigger_event event;
        event.op = "mkelem";
        event.pname = pname;
        event.eltype = !a->eltype.empty() ? a->eltype : a->is_dir ? "directory" : "file";
        event.comment = a->comment;
        event.vob_tag = r.vob->tag;
        auto may_make = [&]() -> tbs_status_t {
            tbs_status_t s = cmd_check_write(r.vob, ctx, r.element);
            return s != TBS_ST_OK ? s : cmd_check_locks(r.vob, ctx, {r.element});
        };
        if ((st = cmd_fire_triggers(r.vob, ctx, true, event, may_make)) != TBS_ST_OK)
            return cmd_fail("Unable to create element", pname, st);
        if (a->checkin && !a->is_dir && !from.empty()) {
            if ((st = cmd_put_content(r.vob, from, &content, &size)) != TBS_ST_OK) return st;
            if (a->ptime) created = cmd_file_mtime(from);
        }
        std::vector<std::pair<int, std::string>> events;
        int64_t elem = 0;
        st = mkelem_one(a, ctx, pname, content.empty() ? nullptr : &content, size, created, &events,
                        &elem);
        if (st != TBS_ST_OK) return cmd_fail("Unable to create element", pname, st);
        a->elements.push_back(elem);
        // A checked-in element's bytes are in the VOB; a checked-out one keeps its file.
        if (a->checkin && !a->is_dir) cmd_view_private_drop(ctx, pname);
        ws_vob_op_notify(ctx.view->view_uuid, WS_VOB_OP_MKELEM, pname.c_str(), nullptr);
        cmd_fire_triggers(r.vob, ctx, false, event, {});
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
    if ((st = cmd_dir_checkout({vob, txn, ctx}, dir_element, dir_version, &co, &made)) != TBS_ST_OK)
        return st;
    if ((st = body(co)) != TBS_ST_OK) return st;
    return made ? checkin_made(vob, txn, ctx, {co}, comment) : TBS_ST_OK;
}

}  // namespace

tbs_status_t cmd_mv(cmd_mv_args_t* a) {
    cmd_ctx ctx;
    tbs_status_t st = cmd_ctx_init(&ctx, a->view);
    if (st == TBS_ST_OK) st = cmd_check_view_owner(ctx);
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
    if (st == TBS_ST_OK) st = cmd_check_view_owner(ctx);
    if (st == TBS_ST_OK) st = cmd_check_comment(a->comment);
    if (st != TBS_ST_OK) return st;
    for (const std::string& pname : a->pnames) {
        vob_resolved_t r;
        if ((st = vob_resolve_pname(pname.c_str(), ctx.view, VOB_RESOLVE_NOFOLLOW, &r)) !=
            TBS_ST_OK)
            return cmd_fail("Unable to remove name", pname, st);
        vob_t* vob = r.vob;
        const int64_t named = r.mtype == VOB_MTYPE_SLINK ? 0 : r.element;
        auto may_remove = [&]() -> tbs_status_t {
            if (r.extended || r.parent_element == 0) return TBS_ST_BAD_NAME;
            tbs_status_t s = cmd_check_write(vob, ctx, r.parent_element);
            return s != TBS_ST_OK
                       ? s
                       : cmd_check_locks(vob, ctx, {r.parent_element, named ? named : r.dbid});
        };
        if ((st = cmd_fire_triggers_on(vob, ctx, true, "rmname", pname, named, 0, a->comment,
                                       may_remove)) != TBS_ST_OK)
            return cmd_fail("Unable to remove name", pname, st);
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
        cmd_fire_triggers_on(vob, ctx, false, "rmname", pname, named, 0, a->comment, {});
    }
    return TBS_ST_OK;
}

tbs_status_t cmd_ln(cmd_ln_args_t* a) {
    cmd_ctx ctx;
    tbs_status_t st = cmd_ctx_init(&ctx, a->view);
    if (st == TBS_ST_OK) st = cmd_check_view_owner(ctx);
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
