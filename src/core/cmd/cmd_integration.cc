// Deliver and rebase: resumable operations that merge work between the streams of a
// project through a view (see cmd_xcm.h for the steps).
//
// What an operation costs follows what it merges: a deliver reads the change sets of the
// activities delivered, a rebase the elements on the rebased stream's branch (one indexed
// read per component VOB); neither walks the elements nobody changed.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <map>
#include <set>

#include "core/cmd/cmd_internal.h"
#include "core/cmd/cmd_xcm.h"
#include "core/imsg/imsg.h"
#include "core/util/fileutl.h"
#include "core/vob/vob_store.h"
#include "core/vob/xcm_store.h"

namespace {

const char* const kDeliver = "deliver";
const char* const kRebase = "rebase";

// Callback wrappers: a null callback goes on.
struct Report {
    const cmd_integ_callbacks_t* cb;
    bool progress(int phase, int64_t total, int64_t current, const char* text) const {
        return !cb || !cb->progress || cb->progress(cb->data, phase, total, current, text) == 0;
    }
    bool action(const std::string& text) const {
        return !cb || !cb->action || cb->action(cb->data, text.c_str()) == 0;
    }
    bool verctl(int when, const char* what, const std::string& pname, const char* status) const {
        return !cb || !cb->verctl || cb->verctl(cb->data, when, what, pname.c_str(), status) == 0;
    }
    bool merge(const cmd_integ_merge_t& m) const {
        return !cb || !cb->merge || cb->merge(cb->data, m) == 0;
    }
    bool sorted(const xcm_op_item_t& i, const char* state) const {
        return !cb || !cb->sorted || cb->sorted(cb->data, i, state) == 0;
    }
    bool view_update(const std::string& text) const {
        return !cb || !cb->view_update || cb->view_update(cb->data, text.c_str()) == 0;
    }
    bool view_reload(bool needed) const {
        return !cb || !cb->view_reload || cb->view_reload(cb->data, needed) == 0;
    }
    bool component(const std::string& name) const {
        return !cb || !cb->component || cb->component(cb->data, name.c_str()) == 0;
    }
};

tbs_status_t stopped() {
    imsg_error("The operation was stopped; resume or cancel it.\n");
    return TBS_ST_INTERRUPTED;
}

tbs_status_t resolve(const std::string& sel, int mtype, vob_t** pvob, vob_dbid_t* dbid) {
    tbs_status_t st = xcm_resolve(sel.c_str(), mtype, pvob, dbid);
    if (st != TBS_ST_OK)
        imsg_error("Unable to determine %s from selector \"%s\": %s.\n", xcm_kind_prefix(mtype),
                   sel.c_str(), tbs_strerror(st));
    return st;
}

// What a stream selects, as a lookup context over its generated spec.
struct StreamSpec {
    view_cspec_t spec;
    vob_view_ctx_t ctx;
    tbs_status_t load(vob_t* pvob, vob_dbid_t stream) {
        std::string text;
        std::vector<std::string> errors;
        tbs_status_t st = xcm_stream_cspec(pvob, stream, &text);
        if (st == TBS_ST_OK) st = view_cspec_parse(text.c_str(), &spec, &errors);
        ctx = view_cspec_view_ctx(spec);
        return st;
    }
};

// Items merge parents first: by depth, directories before files, then by name.
void sort_items(std::vector<xcm_op_item_t>* items) {
    auto depth = [](const std::string& p) { return std::count(p.begin(), p.end(), '/'); };
    std::sort(items->begin(), items->end(), [&](const xcm_op_item_t& a, const xcm_op_item_t& b) {
        if (depth(a.pname) != depth(b.pname)) return depth(a.pname) < depth(b.pname);
        if (a.is_dir != b.is_dir) return a.is_dir;
        return a.pname < b.pname;
    });
    for (size_t i = 0; i < items->size(); ++i) (*items)[i].seq = static_cast<int64_t>(i + 1);
}

// Whether `from` still has to be merged into what `spec` selects for its element.
tbs_status_t needs_merge(vob_t* vob, vob_dbid_t element, const std::string& pname, vob_dbid_t from,
                         const vob_view_ctx_t* ctx, bool* needed) {
    vob_dbid_t to = 0;
    tbs_status_t st = vob_select_version(vob, element, pname.c_str(), ctx, &to);
    if (st != TBS_ST_OK) return st;
    if (!to) {  // not seen there yet: its directory's merge brings it
        *needed = true;
        return TBS_ST_OK;
    }
    bool merged = false;
    int64_t base = 0, distance = 0;
    st = cmd_merge_base(vob, to, from, &merged, &base, &distance);
    *needed = !merged;
    return st;
}

// The newest checked-in version of each element of the activities' change sets; whether
// any of them has checkouts.
tbs_status_t latest_changes(vob_t* pvob, const std::vector<vob_dbid_t>& acts,
                            std::vector<xcm_op_item_t>* out, std::set<vob_dbid_t>* with_cos) {
    std::map<std::pair<std::string, vob_dbid_t>, std::pair<xcm_op_item_t, int64_t>> latest;
    for (vob_dbid_t act : acts) {
        std::vector<cmd_cs_entry_t> cs;
        tbs_status_t st = cmd_activity_change_set(pvob, act, &cs);
        if (st != TBS_ST_OK) return st;
        for (const cmd_cs_entry_t& e : cs) {
            if (e.checked_out) {
                with_cos->insert(act);
                continue;
            }
            vob_version_info_t v;
            if ((st = vob_store_get_version(*e.vob->db, e.version, &v)) != TBS_ST_OK) return st;
            auto key = std::make_pair(tbs_uuid_text(e.vob->uuid), e.element);
            auto it = latest.find(key);
            if (it != latest.end() && it->second.second >= v.number) continue;
            xcm_op_item_t item;
            item.vob_uuid = e.vob->uuid;
            item.element = e.element;
            item.pname = e.pname;
            item.from_version = e.version;
            item.is_dir = v.is_dir;
            latest[key] = {item, v.number};
        }
    }
    for (auto& [key, val] : latest) out->push_back(val.first);
    return TBS_ST_OK;
}

// The labelled versions of baselines made in `stream` (named by selectors). A composite
// brings the members of its closure made in the stream too; the others are not its work.
tbs_status_t baseline_items(vob_t* pvob, vob_dbid_t stream, const std::vector<std::string>& sels,
                            std::vector<xcm_op_item_t>* out) {
    std::map<std::pair<std::string, vob_dbid_t>, size_t> seen;
    std::vector<vob_dbid_t> named, closure;
    for (const std::string& sel : sels) {
        vob_t* pv = nullptr;
        vob_dbid_t b = 0;
        xcm_baseline_info_t bl;
        tbs_status_t st = resolve(sel, VOB_MTYPE_BASELINE, &pv, &b);
        if (st != TBS_ST_OK) return st;
        if (pv != pvob || (st = xcm_get_baseline(pvob, b, &bl)) != TBS_ST_OK || bl.stream != stream)
            return cmd_fail("The baseline was not made in the stream delivered", sel,
                            st == TBS_ST_OK ? TBS_ST_INVALID : st);
        named.push_back(b);
    }
    // Every baseline named (two of one component both count), then what composites add.
    tbs_status_t st = xcm_baseline_closure(pvob, named, &closure);
    if (st != TBS_ST_OK) return st;
    for (vob_dbid_t b : closure)
        if (std::find(named.begin(), named.end(), b) == named.end()) named.push_back(b);
    for (vob_dbid_t b : named) {
        xcm_baseline_info_t bl;
        xcm_component_info_t comp;
        vob_t* vob = nullptr;
        if ((st = xcm_get_baseline(pvob, b, &bl)) != TBS_ST_OK ||
            (st = xcm_get_component(pvob, bl.component, &comp)) != TBS_ST_OK)
            return st;
        if (bl.stream != stream || !comp.root_element) continue;
        int64_t lbtype = 0;
        std::vector<int64_t> elements;
        if ((st = vob_open_by_uuid(comp.vob_uuid, &vob)) != TBS_ST_OK ||
            (st = vob_store_find_type(*vob->db, VOB_MTYPE_LBTYPE, bl.name.c_str(), &lbtype)) !=
                TBS_ST_OK ||
            (st = vob_store_elements_using_type(*vob->db, VOB_MTYPE_LBTYPE, lbtype, &elements)) !=
                TBS_ST_OK)
            return st;
        for (int64_t element : elements) {
            xcm_op_item_t item;
            vob_version_info_t v;
            if ((st = vob_store_get_label(*vob->db, lbtype, element, &item.from_version)) !=
                    TBS_ST_OK ||
                (st = vob_store_get_version(*vob->db, item.from_version, &v)) != TBS_ST_OK ||
                (st = vob_elem_get_pname(vob, element, &item.pname)) != TBS_ST_OK)
                return st;
            item.vob_uuid = vob->uuid;
            item.element = element;
            item.is_dir = v.is_dir;
            auto key = std::make_pair(tbs_uuid_text(vob->uuid), element);
            auto it = seen.find(key);
            if (it == seen.end()) {
                seen[key] = out->size();
                out->push_back(item);
            } else if (vob_version_info_t o;
                       vob_store_get_version(*vob->db, (*out)[it->second].from_version, &o) ==
                           TBS_ST_OK &&
                       o.branch == v.branch && o.number < v.number) {
                (*out)[it->second] = item;
            }
        }
    }
    return TBS_ST_OK;
}

// A new integration activity and the operation, in one transaction: the operation's row
// is the claim that makes a second deliver into the same target wait its turn.
tbs_status_t record_op(vob_t* pvob, const cmd_ctx& ctx, xcm_op_t* op,
                       std::vector<xcm_op_item_t>& items, const std::string& prefix,
                       const std::string& stream_name) {
    tbs_status_t st = pvob->db->transact(store_txn_kind::write, [&](store_txn& txn) {
        xcm_op_t other;
        if (xcm_store_get_op(*pvob->db, op->stream, &other) == TBS_ST_OK ||
            (op->kind == kDeliver &&
             xcm_store_find_op_busy(*pvob->db, op->target, &other) == TBS_ST_OK))
            return static_cast<tbs_status_t>(TBS_ST_EXISTS);
        // A locked stream takes no deliver or rebase (unless the lock excludes the user).
        tbs_status_t s = cmd_check_locks(pvob, ctx, {op->stream, op->target});
        if (s != TBS_ST_OK) return s;
        int64_t n = 0, act = 0;
        s = txn.next_id("xcm_integration", &n);
        xcm_activity_info_t a;
        a.name = prefix + "." + stream_name + "." + std::to_string(n);
        a.headline =
            std::string(op->kind == kDeliver ? "Deliver" : "Rebase") + " of stream " + stream_name;
        a.stream = op->kind == kDeliver ? op->target : op->stream;
        a.integration = true;
        if (s == TBS_ST_OK) s = cmd_new_object(pvob, txn, ctx, VOB_MTYPE_ACTIVITY, 0775, &act);
        if (s == TBS_ST_OK) s = xcm_store_new_obj(*pvob->db, act, VOB_MTYPE_ACTIVITY, a.name);
        a.dbid = act;
        if (s == TBS_ST_OK) s = xcm_store_put_activity(*pvob->db, a);
        op->activity = act;
        if (s == TBS_ST_OK) s = xcm_store_new_op(*pvob->db, *op);
        for (const xcm_op_item_t& i : items)
            if (s == TBS_ST_OK) s = xcm_store_put_item(*pvob->db, op->stream, i);
        if (s == TBS_ST_OK)
            s = cmd_event(pvob, txn, ctx, op->stream, (std::string("start ") + op->kind).c_str(),
                          a.name);
        return s == TBS_ST_OK ? txn.commit() : s;
    });
    if (st == TBS_ST_EXISTS) {
        imsg_error("A %s is already in progress for stream \"%s\" or its target.\n",
                   op->kind.c_str(), stream_name.c_str());
        return TBS_ST_OP_IN_PROGRESS;
    }
    return st;
}

tbs_status_t update_op(vob_t* pvob, const xcm_op_t& op) {
    return pvob->db->transact(store_txn_kind::write, [&](store_txn& txn) {
        tbs_status_t s = xcm_store_update_op(*pvob->db, op);
        return s == TBS_ST_OK ? txn.commit() : s;
    });
}

tbs_status_t update_item(vob_t* pvob, vob_dbid_t stream, const xcm_op_item_t& item) {
    return pvob->db->transact(store_txn_kind::write, [&](store_txn& txn) {
        tbs_status_t s = xcm_store_put_item(*pvob->db, stream, item);
        return s == TBS_ST_OK ? txn.commit() : s;
    });
}

// The view an operation works in, with its current activity set to the operation's.
tbs_status_t op_view(const xcm_op_t& op, view_t** view) {
    tbs_status_t st = view_open_by_uuid(op.view_uuid, view);
    if (st != TBS_ST_OK)
        return cmd_fail("Unable to find the view of the operation on stream",
                        std::to_string(op.stream), st);
    view_xcm_t x;
    if ((st = view_get_xcm(*view, &x)) != TBS_ST_OK) return st;
    return x.activity == op.activity ? TBS_ST_OK : view_set_activity(*view, op.activity);
}

// Where a file's merge is written: its copy in the view's server-side root.
std::string merge_output(view_t* view, const std::string& pname) {
    return view->storage + "/root" + pname;
}

tbs_status_t checkout_item(view_t* view, vob_t* vob, xcm_op_item_t* item, const Report& r) {
    if (!r.verctl(CMD_VERCTL_PRE, "CHECKOUT", item->pname, "")) return stopped();
    vob_checkout_info_t co;
    if (vob_store_find_checkout(*vob->db, item->element, tbs_uuid_text(view->uuid), &co) ==
        TBS_ST_OK) {
        item->checkout = co.dbid;  // made by a run that stopped before recording it
    } else {
        cmd_checkout_args_t a;
        a.pnames = {item->pname};
        a.view = &view->ctx;
        a.comment_mode = CMD_COMMENT_GIVEN;
        a.comment = "merge";
        a.nonlatest = CMD_NONLATEST_LATEST;
        tbs_status_t st = cmd_checkout(&a);
        r.verctl(CMD_VERCTL_STATUS, "CHECKOUT", item->pname,
                 st == TBS_ST_OK ? "Checked out" : tbs_strerror(st));
        if (st != TBS_ST_OK) return st;
        item->checkout = a.checkouts[0];
    }
    return r.verctl(CMD_VERCTL_POST, "CHECKOUT", item->pname, "Checked out") ? TBS_ST_OK
                                                                             : stopped();
}

// A file of the view, whole (false when it cannot be read).
bool read_small(const std::string& path, std::string* out) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return false;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out->append(buf, n);
    const bool ok = !ferror(f);
    fclose(f);
    return ok;
}

// Whether a merged file still holds the marker lines of a conflict.
bool has_markers(const std::string& text) {
    for (const char* m : {"<<<<<<< ", ">>>>>>> "})
        if (text.rfind(m, 0) == 0 || text.find(std::string("\n") + m) != std::string::npos)
            return true;
    return false;
}

tbs_status_t merge_item(view_t* view, vob_t* vob, xcm_op_item_t* item, const Report& r) {
    cmd_merge_args_t m;
    m.to = item->pname;
    m.from = item->pname + TBS_VER_EXT + cmd_idstr(vob, item->from_version);
    m.view = &view->ctx;
    // A directory's conflict changes nothing; a file's leaves its markers in the view's copy
    // for the user, and once they are gone the next run records the merge as resolved.
    m.abort_on_conflict = item->is_dir;
    std::string pred_copy;
    if (!item->is_dir && item->state == XCM_ITEM_CONFLICT) {
        m.output = merge_output(view, item->pname);
        std::string text;
        if (read_small(m.output, &text) && !has_markers(text)) {
            m.ndata = true;
        } else {
            imsg_error("\"%s\" still has conflicts to resolve in \"%s\".\n", item->pname.c_str(),
                       m.output.c_str());
            return TBS_ST_MERGE_CONFLICT;
        }
    } else if (!item->is_dir) {
        // The result goes to the view's copy, which the checkin takes.
        vob_checkout_info_t co;
        tbs_status_t st = vob_store_get_checkout(*vob->db, item->checkout, &co);
        m.output = merge_output(view, item->pname);
        if (st == TBS_ST_OK) {
            std::string dir = m.output.substr(0, m.output.rfind('/'));
            st = fileutl_mkdir_p(dir.c_str(), 0775);
        }
        // The checkout's contents come from a copy of their own: the output is written by
        // the merge alone, so a merge recorded by a process that died before noting it
        // (found already made on the next run) still has its result there.
        pred_copy = m.output + ".pred";
        if (st == TBS_ST_OK) st = vob_ver_get_cleartext(vob, co.pred_version, pred_copy.c_str());
        if (st != TBS_ST_OK) return cmd_fail("Unable to prepare the merge of", item->pname, st);
        m.to_file = pred_copy;
    }
    if (!r.verctl(CMD_VERCTL_PRE, "MERGE", item->pname, "")) return stopped();
    tbs_status_t st = cmd_merge(&m);
    if (!pred_copy.empty()) unlink(pred_copy.c_str());
    cmd_integ_merge_t info;
    info.vob = vob;
    info.element = item->element;
    info.pname = item->pname.c_str();
    info.mtype = item->is_dir ? VOB_MTYPE_DIR_ELEMENT : VOB_MTYPE_FILE_ELEMENT;
    info.from = m.from_version ? m.from_version : item->from_version;
    info.to = m.to_version ? m.to_version : item->checkout;
    info.base = m.base_version;
    info.trivial = m.outcome == CMD_MERGE_TRIVIAL || m.outcome == CMD_MERGE_ALREADY;
    vob_type_info_t eltype;
    if (vob_elem_get_type(vob, item->element, &eltype) == TBS_ST_OK)
        info.merge_type = eltype.merge_type;
    info.status = st;
    item->state = st == TBS_ST_OK               ? XCM_ITEM_MERGED
                  : st == TBS_ST_MERGE_CONFLICT ? XCM_ITEM_CONFLICT
                                                : item->state;
    const bool go_on = r.merge(info);
    if (st != TBS_ST_OK) return st;
    return go_on ? TBS_ST_OK : stopped();
}

tbs_status_t get_op(vob_t* pvob, vob_dbid_t stream, xcm_op_t* op) {
    tbs_status_t st = xcm_get_op(pvob, stream, op);
    if (st == TBS_ST_NO_OP_IN_PROGRESS) {
        xcm_obj_t o;
        xcm_get_obj(pvob, stream, &o);
        imsg_error("No deliver or rebase is in progress for stream \"%s\".\n", o.name.c_str());
    }
    return st;
}

// The checkouts the operation's activity holds in its view (those a run made before it
// could record them included).
tbs_status_t activity_checkouts(vob_t* pvob, const xcm_op_t& op, std::vector<cmd_cs_entry_t>* out) {
    std::vector<cmd_cs_entry_t> cs;
    tbs_status_t st = cmd_activity_change_set(pvob, op.activity, &cs);
    for (cmd_cs_entry_t& e : cs)
        if (e.checked_out && tbs_uuid_text(e.view) == tbs_uuid_text(op.view_uuid))
            out->push_back(std::move(e));
    return st;
}

tbs_status_t restore_activity(const xcm_op_t& op) {
    view_t* view = nullptr;
    if (view_open_by_uuid(op.view_uuid, &view) != TBS_ST_OK) return TBS_ST_OK;
    view_xcm_t x;
    if (view_get_xcm(view, &x) != TBS_ST_OK || x.activity != op.activity) return TBS_ST_OK;
    return view_set_activity(view, op.prior_activity);
}

}  // namespace

// Deliver ----------------------------------------------------------------------------------------

tbs_status_t cmd_deliver_start(cmd_deliver_args_t* a) {
    Report r{a->cb};
    cmd_ctx ctx;
    vob_t* pvob = nullptr;
    xcm_op_t op;
    xcm_stream_info_t src, dst;
    xcm_project_info_t proj;
    tbs_status_t st = cmd_ctx_init(&ctx, nullptr);
    if (st == TBS_ST_OK) st = resolve(a->stream, VOB_MTYPE_STREAM, &pvob, &op.stream);
    if (st == TBS_ST_OK) st = xcm_get_stream(pvob, op.stream, &src);
    if (st == TBS_ST_OK) st = xcm_get_project(pvob, src.project, &proj);
    if (st != TBS_ST_OK) return st;
    op.kind = kDeliver;
    if (!a->target.empty()) {
        vob_t* pv = nullptr;
        if ((st = resolve(a->target, VOB_MTYPE_STREAM, &pv, &op.target)) != TBS_ST_OK) return st;
        if (pv != pvob)
            return cmd_fail("The target is in another project VOB", a->target, TBS_ST_BAD_STREAM);
    } else {
        op.target = src.target ? src.target : src.parent;
    }
    if (!op.target || op.target == op.stream)
        return cmd_fail("The stream has no stream to deliver to", src.name, TBS_ST_BAD_STREAM);
    if ((st = xcm_get_stream(pvob, op.target, &dst)) != TBS_ST_OK) return st;
    if (dst.read_only)
        return cmd_fail("The target stream is read-only", dst.name, TBS_ST_BAD_STREAM);
    view_t* view = nullptr;
    view_xcm_t vx;
    if ((st = view_open_by_tag(a->view.c_str(), &view)) != TBS_ST_OK)
        return cmd_fail("Unable to find the integration view", a->view, st);
    if (view_get_xcm(view, &vx) != TBS_ST_OK || vx.stream != op.target)
        return cmd_fail("The view is not attached to the target stream", a->view,
                        TBS_ST_BAD_STREAM);
    op.view_uuid = view->uuid;
    op.prior_activity = vx.activity;
    op.user = ctx.user;
    op.started = ctx.now;
    op.state = "prepared";
    // Quick answer for a second deliver; the claim itself is made with the record.
    xcm_op_t busy;
    if (xcm_get_op(pvob, op.stream, &busy) == TBS_ST_OK ||
        xcm_find_op_into(pvob, op.target, &busy) == TBS_ST_OK) {
        imsg_error("A %s is already in progress for stream \"%s\" or its target.\n",
                   busy.kind.c_str(), src.name.c_str());
        return TBS_ST_OP_IN_PROGRESS;
    }

    if (!r.progress(CMD_INTEG_PH_COMPONENTS, 1, 1, "Preparing components") ||
        !r.progress(CMD_INTEG_PH_BASELINES, 1, 1, "Preparing baselines"))
        return stopped();
    // The activities: those named (each of the stream), else every one of the stream.
    std::vector<vob_dbid_t> acts;
    for (const std::string& sel : a->activities) {
        vob_t* pv = nullptr;
        vob_dbid_t act = 0;
        xcm_activity_info_t ai;
        if ((st = resolve(sel, VOB_MTYPE_ACTIVITY, &pv, &act)) != TBS_ST_OK) return st;
        if (pv != pvob || xcm_get_activity(pvob, act, &ai) != TBS_ST_OK || ai.stream != op.stream)
            return cmd_fail("The activity is not of the stream delivered", sel,
                            TBS_ST_BAD_ACTIVITY);
        acts.push_back(act);
    }
    std::vector<vob_dbid_t> all;
    if ((st = xcm_stream_activities(pvob, op.stream, &all)) != TBS_ST_OK) return st;
    if (a->activities.empty()) {
        for (vob_dbid_t act : all) {
            xcm_activity_info_t ai;
            if (xcm_get_activity(pvob, act, &ai) == TBS_ST_OK && !ai.integration)
                acts.push_back(act);
        }
    }
    if (!r.progress(CMD_INTEG_PH_CHANGESETS, static_cast<int64_t>(acts.size()), 0,
                    "Preparing change sets"))
        return stopped();
    std::vector<xcm_op_item_t> items;
    std::set<vob_dbid_t> with_cos;
    if (!a->baselines.empty()) {
        // Baselines of the stream: the versions they label, what the stream had when each
        // was made (an incremental one labels only what changed since the one before).
        acts.clear();
        if ((st = baseline_items(pvob, op.stream, a->baselines, &items)) != TBS_ST_OK) return st;
    } else if ((st = latest_changes(pvob, acts, &items, &with_cos)) != TBS_ST_OK) {
        return st;
    }
    // Checkouts in the way, as the project's policies say.
    if (!with_cos.empty() && !(proj.policies & XCM_POLICY_DELIVER_NCO_SELACT)) {
        for (vob_dbid_t act : with_cos) {
            xcm_obj_t o;
            xcm_get_obj(pvob, act, &o);
            imsg_error("Activity \"%s\" has checkouts; check them in or cancel them first.\n",
                       o.name.c_str());
        }
        return TBS_ST_HAS_CHKOUTS;
    }
    if (!(proj.policies & XCM_POLICY_DELIVER_NCO_DEVSTR)) {
        std::set<vob_dbid_t> others;
        std::vector<xcm_op_item_t> ignored;
        std::vector<vob_dbid_t> rest;
        for (vob_dbid_t act : all)
            if (std::find(acts.begin(), acts.end(), act) == acts.end()) rest.push_back(act);
        if ((st = latest_changes(pvob, rest, &ignored, &others)) != TBS_ST_OK) return st;
        if (!others.empty()) {
            imsg_error("Stream \"%s\" has checkouts in activities not delivered.\n",
                       src.name.c_str());
            return TBS_ST_HAS_CHKOUTS;
        }
    }
    if (!r.progress(CMD_INTEG_PH_EVAL_BASELINES, 1, 1, "Evaluating baselines")) return stopped();
    // What the target has merged already drops out.
    StreamSpec target;
    if ((st = target.load(pvob, op.target)) != TBS_ST_OK) return st;
    std::vector<xcm_op_item_t> todo;
    int64_t n = 0;
    for (xcm_op_item_t& item : items) {
        if (!r.progress(CMD_INTEG_PH_COMPARING, static_cast<int64_t>(items.size()), ++n,
                        item.pname.c_str()))
            return stopped();
        vob_t* vob = nullptr;
        bool needed = false;
        if ((st = vob_open_by_uuid(item.vob_uuid, &vob)) != TBS_ST_OK ||
            (st = needs_merge(vob, item.element, item.pname, item.from_version, &target.ctx,
                              &needed)) != TBS_ST_OK)
            return st;
        if (needed) todo.push_back(item);
    }
    if (!r.progress(CMD_INTEG_PH_SEARCHING, static_cast<int64_t>(acts.size()),
                    static_cast<int64_t>(acts.size()), "Searching activities") ||
        !r.progress(CMD_INTEG_PH_TN_CHECK, 0, 0, "Checking change requests"))
        return stopped();
    a->items = static_cast<int64_t>(todo.size());
    if (todo.empty()) {
        imsg_ok("Nothing to deliver from stream \"%s\".\n", src.name.c_str());
        return TBS_ST_NO_WORK;
    }
    sort_items(&todo);
    for (const xcm_op_item_t& i : todo)
        if (!r.sorted(i, "NEEDS_MERGE")) return stopped();
    op.selection = acts;
    return record_op(pvob, ctx, &op, todo, "deliver", src.name);
}

// Rebase -----------------------------------------------------------------------------------------

tbs_status_t cmd_rebase_start(cmd_rebase_args_t* a) {
    Report r{a->cb};
    cmd_ctx ctx;
    view_t* view = nullptr;
    view_xcm_t vx;
    vob_t* pvob = nullptr;
    xcm_stream_info_t s;
    xcm_project_info_t proj;
    tbs_status_t st = cmd_ctx_init(&ctx, nullptr);
    if (st == TBS_ST_OK && (st = view_open_by_tag(a->view.c_str(), &view)) != TBS_ST_OK)
        cmd_fail("Unable to find view", a->view, st);
    if (st == TBS_ST_OK && view_get_xcm(view, &vx) != TBS_ST_OK)
        st = cmd_fail("The view is not attached to a stream", a->view, TBS_ST_BAD_STREAM);
    if (st == TBS_ST_OK) st = vob_open_by_uuid(vx.pvob, &pvob);
    if (st == TBS_ST_OK) st = xcm_get_stream(pvob, vx.stream, &s);
    if (st == TBS_ST_OK) st = xcm_get_project(pvob, s.project, &proj);
    if (st != TBS_ST_OK) return st;
    if (s.integration || !s.parent)
        return cmd_fail("Only a development stream is rebased", s.name, TBS_ST_BAD_STREAM);
    std::vector<vob_dbid_t> comps, given, foundation;
    if ((st = xcm_project_components(pvob, s.project, &comps)) != TBS_ST_OK ||
        (st = xcm_stream_baselines(pvob, s.dbid, XCM_BL_FOUNDATION, &foundation)) != TBS_ST_OK)
        return st;
    for (const std::string& sel : a->baselines) {
        vob_t* pv = nullptr;
        vob_dbid_t b = 0;
        if ((st = resolve(sel, VOB_MTYPE_BASELINE, &pv, &b)) != TBS_ST_OK) return st;
        xcm_baseline_info_t bl;
        xcm_stream_info_t from;
        bool ours = pv == pvob && xcm_get_baseline(pvob, b, &bl) == TBS_ST_OK &&
                    std::find(comps.begin(), comps.end(), bl.component) != comps.end();
        if (ours && bl.stream)
            ours = xcm_get_stream(pvob, bl.stream, &from) == TBS_ST_OK && from.project == s.project;
        if (!ours)
            return cmd_fail("The baseline is not from the stream's project", sel, TBS_ST_INVALID);
        given.push_back(b);
    }
    if (a->baselines.empty() &&
        (st = xcm_stream_baselines(pvob, s.parent, XCM_BL_RECOMMENDED, &given)) != TBS_ST_OK)
        return st;
    // The new foundation: the old one with the given baselines in their components' places.
    std::map<vob_dbid_t, vob_dbid_t> by_comp;
    for (const auto* list : {&foundation, &given})
        for (vob_dbid_t b : *list) {
            xcm_baseline_info_t bl;
            if ((st = xcm_get_baseline(pvob, b, &bl)) != TBS_ST_OK) return st;
            by_comp[bl.component] = b;
        }
    std::vector<vob_dbid_t> next;
    for (const auto& [c, b] : by_comp) next.push_back(b);
    if (next == foundation) {
        imsg_ok("Stream \"%s\" is based on those baselines already.\n", s.name.c_str());
        return TBS_ST_NO_WORK;
    }
    // Checkouts of the view stand in the way unless the policy allows them.
    std::vector<vob_t*> vobs;
    std::set<std::string> seen;
    for (vob_dbid_t c : comps) {
        xcm_component_info_t ci;
        vob_t* vob = nullptr;
        if ((st = xcm_get_component(pvob, c, &ci)) != TBS_ST_OK ||
            (st = vob_open_by_uuid(ci.vob_uuid, &vob)) != TBS_ST_OK)
            return st;
        if (seen.insert(tbs_uuid_text(vob->uuid)).second) vobs.push_back(vob);
        if (!r.component(ci.name)) return stopped();
    }
    if (!(proj.policies & XCM_POLICY_REBASE_CO)) {
        for (vob_t* vob : vobs) {
            std::vector<vob_checkout_info_t> cos;
            if ((st = vob_ob_view_ckouts(vob, view->uuid, &cos)) != TBS_ST_OK) return st;
            if (!cos.empty()) {
                imsg_error("View \"%s\" has checkouts; check them in or cancel them first.\n",
                           view->tag.c_str());
                return TBS_ST_HAS_CHKOUTS;
            }
        }
    }
    // Elements the stream changed whose new foundation version it has not merged.
    std::string text = "element * CHECKEDOUT\n";
    std::string full;
    {
        // Only the new foundation's label rules select the from-versions.
        std::vector<vob_dbid_t> saved = foundation, closure;
        if ((st = xcm_baseline_closure(pvob, next, &closure)) != TBS_ST_OK) return st;
        for (vob_dbid_t b : closure)
            for (vob_dbid_t at = b, depth = 0; at && depth < 1000; ++depth) {
                xcm_baseline_info_t bl;
                xcm_component_info_t ci;
                if ((st = xcm_get_baseline(pvob, at, &bl)) != TBS_ST_OK ||
                    (st = xcm_get_component(pvob, bl.component, &ci)) != TBS_ST_OK)
                    return st;
                if (ci.root_pname.empty()) break;  // a composite's own component
                full += "element \"" + ci.root_pname + "/...\" " + bl.name + "\n";
                at = bl.full ? 0 : bl.base;
            }
    }
    view_cspec_t fspec;
    std::vector<std::string> errors;
    if ((st = view_cspec_parse(full.c_str(), &fspec, &errors)) != TBS_ST_OK) return st;
    std::vector<xcm_op_item_t> todo;
    for (vob_t* vob : vobs) {
        int64_t brtype = 0;
        std::vector<int64_t> changed;
        if (vob_store_find_type(*vob->db, VOB_MTYPE_BRTYPE, s.name.c_str(), &brtype) != TBS_ST_OK)
            continue;
        if ((st = vob_store_elements_using_type(*vob->db, VOB_MTYPE_BRTYPE, brtype, &changed)) !=
            TBS_ST_OK)
            return st;
        for (int64_t element : changed) {
            xcm_op_item_t item;
            if ((st = vob_elem_get_pname(vob, element, &item.pname)) != TBS_ST_OK) return st;
            view_cspec_choice_t ch;
            if ((st = view_cspec_select(fspec, vob, element, item.pname.c_str(), tbs_uuid_null(),
                                        &ch)) != TBS_ST_OK)
                return st;
            if (!ch.version) continue;
            bool needed = false;
            if ((st = needs_merge(vob, element, item.pname, ch.version, &view->ctx, &needed)) !=
                TBS_ST_OK)
                return st;
            if (!needed) continue;
            vob_version_info_t v;
            if ((st = vob_store_get_version(*vob->db, ch.version, &v)) != TBS_ST_OK) return st;
            item.vob_uuid = vob->uuid;
            item.element = element;
            item.from_version = ch.version;
            item.is_dir = v.is_dir;
            todo.push_back(item);
        }
    }
    sort_items(&todo);
    for (const xcm_op_item_t& i : todo)
        if (!r.sorted(i, "NEEDS_MERGE")) return stopped();
    a->items = static_cast<int64_t>(todo.size());
    xcm_op_t op;
    op.stream = s.dbid;
    op.kind = kRebase;
    op.state = "prepared";
    op.target = s.dbid;
    op.view_uuid = view->uuid;
    op.prior_activity = vx.activity;
    op.selection = next;
    op.user = ctx.user;
    op.started = ctx.now;
    return record_op(pvob, ctx, &op, todo, "rebase", s.name);
}

// The later steps -----------------------------------------------------------------------------

tbs_status_t cmd_integ_run(vob_t* pvob, vob_dbid_t stream, const cmd_integ_callbacks_t* cb) {
    Report r{cb};
    xcm_op_t op;
    std::vector<xcm_op_item_t> items;
    view_t* view = nullptr;
    tbs_status_t st = get_op(pvob, stream, &op);
    if (st == TBS_ST_OK) st = xcm_op_items(pvob, stream, &items);
    if (st == TBS_ST_OK) st = op_view(op, &view);
    if (st != TBS_ST_OK) return st;
    if (op.state == "prepared" || op.state == "merged") {
        op.state = "merging";
        if ((st = update_op(pvob, op)) != TBS_ST_OK) return st;
    }
    if (!r.action(op.kind + " merging in view " + view->tag)) return stopped();
    for (xcm_op_item_t& item : items) {
        if (item.state == XCM_ITEM_MERGED || item.state == XCM_ITEM_CHECKEDIN) continue;
        vob_t* vob = nullptr;
        if ((st = vob_open_by_uuid(item.vob_uuid, &vob)) != TBS_ST_OK) return st;
        vob_checkout_info_t co;
        if (!item.checkout || vob_store_get_checkout(*vob->db, item.checkout, &co) != TBS_ST_OK) {
            if ((st = checkout_item(view, vob, &item, r)) != TBS_ST_OK) return st;
            if ((st = update_item(pvob, stream, item)) != TBS_ST_OK) return st;
        }
        tbs_status_t merged = merge_item(view, vob, &item, r);
        if ((st = update_item(pvob, stream, item)) != TBS_ST_OK) return st;
        if (merged != TBS_ST_OK) return merged;
    }
    op.state = "merged";
    return update_op(pvob, op);
}

tbs_status_t cmd_integ_complete(vob_t* pvob, vob_dbid_t stream, const cmd_integ_callbacks_t* cb) {
    Report r{cb};
    xcm_op_t op;
    tbs_status_t st = get_op(pvob, stream, &op);
    if (st != TBS_ST_OK) return st;
    if (op.state != "merged" && op.state != "completing" &&
        (st = cmd_integ_run(pvob, stream, cb)) != TBS_ST_OK)
        return st;
    std::vector<xcm_op_item_t> items;
    view_t* view = nullptr;
    if ((st = get_op(pvob, stream, &op)) != TBS_ST_OK ||
        (st = xcm_op_items(pvob, stream, &items)) != TBS_ST_OK ||
        (st = op_view(op, &view)) != TBS_ST_OK)
        return st;
    op.state = "completing";
    if ((st = update_op(pvob, op)) != TBS_ST_OK) return st;
    for (xcm_op_item_t& item : items) {
        if (item.state == XCM_ITEM_CHECKEDIN) continue;
        vob_t* vob = nullptr;
        if ((st = vob_open_by_uuid(item.vob_uuid, &vob)) != TBS_ST_OK) return st;
        vob_checkout_info_t co;
        if (vob_store_get_checkout(*vob->db, item.checkout, &co) == TBS_ST_OK) {
            if (!r.verctl(CMD_VERCTL_PRE, "CHECKIN", item.pname, "")) return stopped();
            cmd_checkin_args_t ci;
            ci.pnames = {item.pname};
            const std::string copy = item.is_dir ? "" : merge_output(view, item.pname);
            ci.from = {copy};
            ci.view = &view->ctx;
            ci.identical = true;
            ci.comment_mode = CMD_COMMENT_GIVEN;
            ci.comment = op.kind + " from " + cmd_idstr(vob, item.from_version);
            st = cmd_checkin(&ci);
            r.verctl(CMD_VERCTL_STATUS, "CHECKIN", item.pname,
                     st == TBS_ST_OK ? "Checked in" : tbs_strerror(st));
            if (st != TBS_ST_OK) return st;
            if (!copy.empty()) unlink(copy.c_str());
            if (!r.verctl(CMD_VERCTL_POST, "CHECKIN", item.pname, "Checked in")) {
                item.state = XCM_ITEM_CHECKEDIN;
                update_item(pvob, stream, item);
                return stopped();
            }
        }
        item.state = XCM_ITEM_CHECKEDIN;
        if ((st = update_item(pvob, stream, item)) != TBS_ST_OK) return st;
    }
    // The end, in one transaction: a rebase's new foundation, and the operation gone.
    st = pvob->db->transact(store_txn_kind::write, [&](store_txn& txn) {
        tbs_status_t s = TBS_ST_OK;
        if (op.kind == kRebase) {
            s = xcm_store_set_stream_baselines(*pvob->db, stream, XCM_BL_FOUNDATION, op.selection);
            if (s == TBS_ST_OK) s = xcm_store_bump_stream(*pvob->db, stream);
        }
        if (s == TBS_ST_OK) s = xcm_store_delete_op(*pvob->db, stream);
        return s == TBS_ST_OK ? txn.commit() : s;
    });
    if (st != TBS_ST_OK) return st;
    restore_activity(op);
    if (op.kind == kRebase) {
        view_xcm_sync(view);
        r.view_update("The config spec of view " + view->tag + " is made from the new foundation");
        r.view_reload(true);
    }
    r.action(op.kind + " completed");
    return TBS_ST_OK;
}

tbs_status_t cmd_integ_cancel(vob_t* pvob, vob_dbid_t stream, const cmd_integ_callbacks_t* cb) {
    Report r{cb};
    xcm_op_t op;
    std::vector<xcm_op_item_t> items;
    tbs_status_t st = get_op(pvob, stream, &op);
    if (st == TBS_ST_OK) st = xcm_op_items(pvob, stream, &items);
    if (st != TBS_ST_OK) return st;
    for (const xcm_op_item_t& i : items)
        if (i.state == XCM_ITEM_CHECKEDIN) {
            imsg_error("The %s's checkins have begun; complete it.\n", op.kind.c_str());
            return TBS_ST_INVALID;
        }
    view_t* view = nullptr;
    if ((st = view_open_by_uuid(op.view_uuid, &view)) != TBS_ST_OK) return st;
    std::vector<cmd_cs_entry_t> cos;
    if ((st = activity_checkouts(pvob, op, &cos)) != TBS_ST_OK) return st;
    for (const cmd_cs_entry_t& e : cos) {
        if (!r.verctl(CMD_VERCTL_PRE, "UNCHECKOUT", e.pname, "")) return stopped();
        cmd_uncheckout_args_t u;
        u.pnames = {e.pname};
        u.view = &view->ctx;
        u.pop_kind = CMD_POP_EMPTY_BRANCH;
        if ((st = cmd_uncheckout(&u)) != TBS_ST_OK && st != TBS_ST_NOT_CHECKED_OUT) return st;
        r.verctl(CMD_VERCTL_POST, "UNCHECKOUT", e.pname, "");
    }
    for (const xcm_op_item_t& i : items)
        if (!i.is_dir) unlink(merge_output(view, i.pname).c_str());
    st = pvob->db->transact(store_txn_kind::write, [&](store_txn& txn) {
        tbs_status_t s = xcm_store_delete_op(*pvob->db, stream);
        return s == TBS_ST_OK ? txn.commit() : s;
    });
    if (st != TBS_ST_OK) return st;
    restore_activity(op);
    r.action(op.kind + " cancelled");
    return TBS_ST_OK;
}

tbs_status_t cmd_integ_reset_view(vob_t* pvob, vob_dbid_t stream, view_t* view, bool force) {
    xcm_op_t op;
    std::vector<xcm_op_item_t> items;
    view_xcm_t nx;
    tbs_status_t st = get_op(pvob, stream, &op);
    if (st == TBS_ST_OK) st = xcm_op_items(pvob, stream, &items);
    if (st != TBS_ST_OK) return st;
    if (view_get_xcm(view, &nx) != TBS_ST_OK || nx.stream != op.target)
        return cmd_fail("The view is not attached to the operation's stream", view->tag,
                        TBS_ST_BAD_STREAM);
    if (tbs_uuid_text(view->uuid) == tbs_uuid_text(op.view_uuid)) return TBS_ST_OK;
    for (const xcm_op_item_t& i : items)
        if (i.state == XCM_ITEM_CHECKEDIN)
            return cmd_fail("The checkins have begun; complete the operation on stream",
                            std::to_string(stream), TBS_ST_INVALID);
    view_t* old = nullptr;
    if (view_open_by_uuid(op.view_uuid, &old) == TBS_ST_OK) {
        if (!force) return TBS_ST_EXISTS;
        std::vector<cmd_cs_entry_t> cos;
        if ((st = activity_checkouts(pvob, op, &cos)) != TBS_ST_OK) return st;
        for (const cmd_cs_entry_t& e : cos) {
            cmd_uncheckout_args_t u;
            u.pnames = {e.pname};
            u.view = &old->ctx;
            u.pop_kind = CMD_POP_EMPTY_BRANCH;
            if ((st = cmd_uncheckout(&u)) != TBS_ST_OK && st != TBS_ST_NOT_CHECKED_OUT) return st;
        }
        restore_activity(op);
    }
    op.view_uuid = view->uuid;
    op.prior_activity = nx.activity;
    op.state = "prepared";
    return pvob->db->transact(store_txn_kind::write, [&](store_txn& txn) {
        tbs_status_t s = xcm_store_update_op(*pvob->db, op);
        for (xcm_op_item_t& i : items) {
            i.state = XCM_ITEM_PENDING;
            i.checkout = 0;
            if (s == TBS_ST_OK) s = xcm_store_put_item(*pvob->db, stream, i);
        }
        return s == TBS_ST_OK ? txn.commit() : s;
    });
}

tbs_status_t cmd_undelivered_activities(vob_t* pvob, vob_dbid_t stream, vob_dbid_t target,
                                        std::vector<cmd_undelivered_t>* out) {
    out->clear();
    std::vector<vob_dbid_t> acts;
    tbs_status_t st = xcm_stream_activities(pvob, stream, &acts);
    StreamSpec spec;
    if (st == TBS_ST_OK) st = spec.load(pvob, target);
    for (vob_dbid_t act : acts) {
        if (st != TBS_ST_OK) break;
        xcm_activity_info_t ai;
        if ((st = xcm_get_activity(pvob, act, &ai)) != TBS_ST_OK) break;
        if (ai.integration) continue;
        std::vector<xcm_op_item_t> items;
        std::set<vob_dbid_t> cos;
        if ((st = latest_changes(pvob, {act}, &items, &cos)) != TBS_ST_OK) break;
        bool undelivered = false;
        for (const xcm_op_item_t& i : items) {
            vob_t* vob = nullptr;
            if (st != TBS_ST_OK || undelivered) break;
            if ((st = vob_open_by_uuid(i.vob_uuid, &vob)) == TBS_ST_OK)
                st = needs_merge(vob, i.element, i.pname, i.from_version, &spec.ctx, &undelivered);
        }
        if (st == TBS_ST_OK && (undelivered || !cos.empty())) out->push_back({act, !cos.empty()});
    }
    return st;
}
