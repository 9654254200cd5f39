// The change-management queries (SQLite and PostgreSQL compatible).
#include "core/vob/xcm_store.h"

#include <algorithm>
#include <cstdlib>
#include <map>

#include "core/store/db.h"
#include "core/store/query.h"

using namespace store_query;

namespace {

std::string join_ids(const std::vector<int64_t>& ids) {
    std::string s;
    for (int64_t id : ids) s += (s.empty() ? "" : ",") + std::to_string(id);
    return s;
}

std::vector<int64_t> split_ids(std::string_view text) {
    std::vector<int64_t> ids;
    size_t at = 0;
    while (at < text.size()) {
        size_t comma = text.find(',', at);
        if (comma == std::string_view::npos) comma = text.size();
        ids.push_back(atoll(std::string(text.substr(at, comma - at)).c_str()));
        at = comma + 1;
    }
    return ids;
}

void read_obj(store_stmt& s, xcm_obj_t* o) {
    o->dbid = s.column_int64(0);
    o->mtype = static_cast<int>(s.column_int64(1));
    o->name = s.column_string(2);
    tbs_uuid_from_str(s.column_string(3).c_str(), &o->oid);
    o->owner = s.column_string(4);
    o->group = s.column_string(5);
    o->created = s.column_int64(6);
}

constexpr const char* kObjCols =
    "SELECT x.dbid, x.mtype, x.name, o.oid, o.owner, o.grp, o.created FROM xcm_objects x"
    " JOIN objects o ON o.dbid = x.dbid";

tbs_status_t ids(store_db& db, const char* sql, std::vector<int64_t>* out, int64_t a) {
    return rows(
        db, sql, out, [](store_stmt& s, int64_t* v) { *v = s.column_int64(0); }, a);
}

}  // namespace

tbs_status_t xcm_store_new_obj(store_db& db, int64_t dbid, int mtype, const std::string& name) {
    db.assert_writer();
    return exec(db, "INSERT INTO xcm_objects (dbid, mtype, name) VALUES (?, ?, ?)", dbid, mtype,
                name);
}

tbs_status_t xcm_store_rename(store_db& db, int64_t dbid, const std::string& name) {
    db.assert_writer();
    return exec(db, "UPDATE xcm_objects SET name = ? WHERE dbid = ?", name, dbid);
}

tbs_status_t xcm_store_find(store_db& db, int mtype, const std::string& name, int64_t* dbid) {
    return one(
        db, "SELECT dbid FROM xcm_objects WHERE mtype = ? AND name = ?",
        [&](store_stmt& s) { *dbid = s.column_int64(0); }, mtype, name);
}

tbs_status_t xcm_store_get_obj(store_db& db, int64_t dbid, xcm_obj_t* out) {
    static const std::string sql = std::string(kObjCols) + " WHERE x.dbid = ?";
    return one(
        db, sql.c_str(), [&](store_stmt& s) { read_obj(s, out); }, dbid);
}

tbs_status_t xcm_store_list(store_db& db, int mtype, std::vector<xcm_obj_t>* out) {
    static const std::string sql = std::string(kObjCols) + " WHERE x.mtype = ? ORDER BY x.name";
    return rows(
        db, sql.c_str(), out, [](store_stmt& s, xcm_obj_t* o) { read_obj(s, o); }, mtype);
}

// Folders and components ------------------------------------------------------------------

tbs_status_t xcm_store_put_folder(store_db& db, const xcm_folder_info_t& f) {
    db.assert_writer();
    return exec(db, "INSERT INTO xcm_folders (dbid, parent) VALUES (?, ?)", f.dbid, f.parent);
}

tbs_status_t xcm_store_get_folder(store_db& db, int64_t dbid, xcm_folder_info_t* out) {
    tbs_status_t st = xcm_store_get_obj(db, dbid, out);
    if (st != TBS_ST_OK) return st;
    return one(
        db, "SELECT parent FROM xcm_folders WHERE dbid = ?",
        [&](store_stmt& s) { out->parent = s.column_int64(0); }, dbid);
}

tbs_status_t xcm_store_folder_children(store_db& db, int64_t folder, std::vector<xcm_obj_t>* out) {
    static const std::string sql =
        std::string(kObjCols) +
        " WHERE x.dbid IN (SELECT dbid FROM xcm_folders WHERE parent = ? AND dbid <> 0)"
        " OR x.dbid IN (SELECT dbid FROM xcm_projects WHERE folder = ?) ORDER BY x.mtype, x.name";
    return rows(
        db, sql.c_str(), out, [](store_stmt& s, xcm_obj_t* o) { read_obj(s, o); }, folder, folder);
}

tbs_status_t xcm_store_put_component(store_db& db, const xcm_component_info_t& c) {
    db.assert_writer();
    return exec(db,
                "INSERT INTO xcm_components (dbid, vob_uuid, root_element, root_pname)"
                " VALUES (?, ?, ?, ?)",
                c.dbid, tbs_uuid_text(c.vob_uuid), c.root_element, c.root_pname);
}

tbs_status_t xcm_store_get_component(store_db& db, int64_t dbid, xcm_component_info_t* out) {
    tbs_status_t st = xcm_store_get_obj(db, dbid, out);
    if (st != TBS_ST_OK) return st;
    return one(
        db, "SELECT vob_uuid, root_element, root_pname FROM xcm_components WHERE dbid = ?",
        [&](store_stmt& s) {
            tbs_uuid_from_str(s.column_string(0).c_str(), &out->vob_uuid);
            out->root_element = s.column_int64(1);
            out->root_pname = s.column_string(2);
        },
        dbid);
}

// Projects ---------------------------------------------------------------------------------

tbs_status_t xcm_store_put_project(store_db& db, const xcm_project_info_t& p) {
    db.assert_writer();
    return exec(db,
                "INSERT INTO xcm_projects (dbid, folder, int_stream, policies, bl_template,"
                " obsolete, tn_userdb, tn_dbset) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"
                " ON CONFLICT (dbid) DO UPDATE SET folder = excluded.folder, int_stream ="
                " excluded.int_stream, policies = excluded.policies, bl_template ="
                " excluded.bl_template, obsolete = excluded.obsolete, tn_userdb ="
                " excluded.tn_userdb, tn_dbset = excluded.tn_dbset",
                p.dbid, p.folder, p.int_stream, p.policies, p.bl_template, p.obsolete ? 1 : 0,
                p.tn_userdb, p.tn_dbset);
}

tbs_status_t xcm_store_get_project(store_db& db, int64_t dbid, xcm_project_info_t* out) {
    tbs_status_t st = xcm_store_get_obj(db, dbid, out);
    if (st != TBS_ST_OK) return st;
    return one(
        db,
        "SELECT folder, int_stream, policies, bl_template, obsolete, tn_userdb, tn_dbset FROM"
        " xcm_projects WHERE dbid = ?",
        [&](store_stmt& s) {
            out->folder = s.column_int64(0);
            out->int_stream = s.column_int64(1);
            out->policies = static_cast<int>(s.column_int64(2));
            out->bl_template = s.column_string(3);
            out->obsolete = s.column_int64(4) != 0;
            out->tn_userdb = s.column_string(5);
            out->tn_dbset = s.column_string(6);
        },
        dbid);
}

tbs_status_t xcm_store_add_project_component(store_db& db, int64_t project, int64_t component) {
    db.assert_writer();
    return exec(db,
                "INSERT INTO xcm_project_components (project, component) VALUES (?, ?)"
                " ON CONFLICT (project, component) DO NOTHING",
                project, component);
}

tbs_status_t xcm_store_project_components(store_db& db, int64_t project,
                                          std::vector<int64_t>* out) {
    return ids(db,
               "SELECT component FROM xcm_project_components WHERE project = ? ORDER BY component",
               out, project);
}

tbs_status_t xcm_store_project_streams(store_db& db, int64_t project, std::vector<int64_t>* out) {
    return ids(db, "SELECT dbid FROM xcm_streams WHERE project = ? ORDER BY dbid", out, project);
}

// Streams ----------------------------------------------------------------------------------

tbs_status_t xcm_store_put_stream(store_db& db, const xcm_stream_info_t& s) {
    db.assert_writer();
    return exec(db,
                "INSERT INTO xcm_streams (dbid, project, parent, integration, read_only, target,"
                " cfg_gen) VALUES (?, ?, ?, ?, ?, ?, ?) ON CONFLICT (dbid) DO UPDATE SET"
                " read_only = excluded.read_only, target = excluded.target",
                s.dbid, s.project, s.parent, s.integration ? 1 : 0, s.read_only ? 1 : 0, s.target,
                s.cfg_gen);
}

tbs_status_t xcm_store_get_stream(store_db& db, int64_t dbid, xcm_stream_info_t* out) {
    tbs_status_t st = xcm_store_get_obj(db, dbid, out);
    if (st != TBS_ST_OK) return st;
    return one(
        db,
        "SELECT project, parent, integration, read_only, target, cfg_gen FROM xcm_streams"
        " WHERE dbid = ?",
        [&](store_stmt& s) {
            out->project = s.column_int64(0);
            out->parent = s.column_int64(1);
            out->integration = s.column_int64(2) != 0;
            out->read_only = s.column_int64(3) != 0;
            out->target = s.column_int64(4);
            out->cfg_gen = s.column_int64(5);
        },
        dbid);
}

tbs_status_t xcm_store_bump_stream(store_db& db, int64_t stream) {
    db.assert_writer();
    return exec(db, "UPDATE xcm_streams SET cfg_gen = cfg_gen + 1 WHERE dbid = ?", stream);
}

tbs_status_t xcm_store_set_stream_baselines(store_db& db, int64_t stream, int kind,
                                            const std::vector<int64_t>& baselines) {
    db.assert_writer();
    tbs_status_t st =
        exec(db, "DELETE FROM xcm_stream_baselines WHERE stream = ? AND kind = ?", stream, kind);
    for (int64_t b : baselines)
        if (st == TBS_ST_OK)
            st = exec(db,
                      "INSERT INTO xcm_stream_baselines (stream, baseline, kind) VALUES (?, ?, ?)"
                      " ON CONFLICT (stream, kind, baseline) DO NOTHING",
                      stream, b, kind);
    return st;
}

tbs_status_t xcm_store_stream_baselines(store_db& db, int64_t stream, int kind,
                                        std::vector<int64_t>* out) {
    return rows(
        db,
        "SELECT baseline FROM xcm_stream_baselines WHERE stream = ? AND kind = ? ORDER BY"
        " baseline",
        out, [](store_stmt& s, int64_t* v) { *v = s.column_int64(0); }, stream, kind);
}

tbs_status_t xcm_store_baseline_streams(store_db& db, int64_t baseline, std::vector<int64_t>* out) {
    return ids(db,
               "SELECT DISTINCT stream FROM xcm_stream_baselines WHERE baseline = ? AND kind = 1"
               " ORDER BY stream",
               out, baseline);
}

tbs_status_t xcm_store_stream_made_baselines(store_db& db, int64_t stream,
                                             std::vector<int64_t>* out) {
    return ids(db, "SELECT dbid FROM xcm_baselines WHERE stream = ? ORDER BY dbid", out, stream);
}

// Activities and baselines --------------------------------------------------------------------

tbs_status_t xcm_store_put_activity(store_db& db, const xcm_activity_info_t& a) {
    db.assert_writer();
    return exec(db,
                "INSERT INTO xcm_activities (dbid, stream, headline, integration) VALUES (?, ?,"
                " ?, ?) ON CONFLICT (dbid) DO UPDATE SET headline = excluded.headline",
                a.dbid, a.stream, a.headline, a.integration ? 1 : 0);
}

tbs_status_t xcm_store_get_activity(store_db& db, int64_t dbid, xcm_activity_info_t* out) {
    tbs_status_t st = xcm_store_get_obj(db, dbid, out);
    if (st != TBS_ST_OK) return st;
    return one(
        db, "SELECT stream, headline, integration FROM xcm_activities WHERE dbid = ?",
        [&](store_stmt& s) {
            out->stream = s.column_int64(0);
            out->headline = s.column_string(1);
            out->integration = s.column_int64(2) != 0;
        },
        dbid);
}

tbs_status_t xcm_store_activity_tasks(store_db& db, int64_t activity,
                                      std::vector<std::string>* out) {
    out->clear();
    return rows(
        db, "SELECT uri FROM xcm_activity_tasks WHERE activity = ? ORDER BY uri", out,
        [](store_stmt& s, std::string* v) { *v = s.column_string(0); }, activity);
}

tbs_status_t xcm_store_add_activity_task(store_db& db, int64_t activity, const std::string& uri) {
    db.assert_writer();
    return exec(db,
                "INSERT INTO xcm_activity_tasks (activity, uri) VALUES (?, ?)"
                " ON CONFLICT (activity, uri) DO NOTHING",
                activity, uri);
}

tbs_status_t xcm_store_remove_activity_task(store_db& db, int64_t activity,
                                            const std::string& uri) {
    db.assert_writer();
    return exec(db, "DELETE FROM xcm_activity_tasks WHERE activity = ? AND uri = ?", activity, uri);
}

tbs_status_t xcm_store_activity_record(store_db& db, int64_t activity, xcm_record_ref_t* out) {
    return one(
        db, "SELECT user_db, db_set, record_id FROM xcm_activity_records WHERE activity = ?",
        [&](store_stmt& s) {
            out->user_db = s.column_string(0);
            out->db_set = s.column_string(1);
            out->id = s.column_string(2);
        },
        activity);
}

tbs_status_t xcm_store_record_activity(store_db& db, const xcm_record_ref_t& rec,
                                       int64_t* activity) {
    return one(
        db,
        "SELECT activity FROM xcm_activity_records WHERE user_db = ? AND db_set = ? AND"
        " record_id = ?",
        [&](store_stmt& s) { *activity = s.column_int64(0); }, rec.user_db, rec.db_set, rec.id);
}

tbs_status_t xcm_store_set_activity_record(store_db& db, int64_t activity,
                                           const xcm_record_ref_t& rec) {
    db.assert_writer();
    tbs_status_t st = exec(db, "DELETE FROM xcm_activity_records WHERE activity = ?", activity);
    if (st != TBS_ST_OK || rec.id.empty()) return st;
    return exec(db,
                "INSERT INTO xcm_activity_records (activity, user_db, db_set, record_id) VALUES"
                " (?, ?, ?, ?)",
                activity, rec.user_db, rec.db_set, rec.id);
}

tbs_status_t xcm_store_stream_activities(store_db& db, int64_t stream, std::vector<int64_t>* out) {
    return ids(db, "SELECT dbid FROM xcm_activities WHERE stream = ? ORDER BY dbid", out, stream);
}

tbs_status_t xcm_store_put_baseline(store_db& db, const xcm_baseline_info_t& b) {
    db.assert_writer();
    return exec(db,
                "INSERT INTO xcm_baselines (dbid, component, stream, full_bl, base, promotion,"
                " labelled) VALUES (?, ?, ?, ?, ?, ?, ?) ON CONFLICT (dbid) DO UPDATE SET"
                " promotion = excluded.promotion, labelled = excluded.labelled",
                b.dbid, b.component, b.stream, b.full ? 1 : 0, b.base, b.promotion, b.labelled);
}

tbs_status_t xcm_store_get_baseline(store_db& db, int64_t dbid, xcm_baseline_info_t* out) {
    tbs_status_t st = xcm_store_get_obj(db, dbid, out);
    if (st != TBS_ST_OK) return st;
    return one(
        db,
        "SELECT component, stream, full_bl, base, promotion, labelled FROM xcm_baselines"
        " WHERE dbid = ?",
        [&](store_stmt& s) {
            out->component = s.column_int64(0);
            out->stream = s.column_int64(1);
            out->full = s.column_int64(2) != 0;
            out->base = s.column_int64(3);
            out->promotion = static_cast<int>(s.column_int64(4));
            out->labelled = s.column_int64(5);
        },
        dbid);
}

// Composite baselines ------------------------------------------------------------------------

tbs_status_t xcm_store_baseline_members(store_db& db, int64_t baseline, std::vector<int64_t>* out) {
    out->clear();
    return ids(db, "SELECT member FROM xcm_baseline_deps WHERE baseline = ? ORDER BY member", out,
               baseline);
}

tbs_status_t xcm_store_baseline_composites(store_db& db, int64_t member,
                                           std::vector<int64_t>* out) {
    out->clear();
    return ids(db, "SELECT baseline FROM xcm_baseline_deps WHERE member = ? ORDER BY baseline", out,
               member);
}

tbs_status_t xcm_store_add_baseline_member(store_db& db, int64_t baseline, int64_t member) {
    db.assert_writer();
    return exec(db,
                "INSERT INTO xcm_baseline_deps (baseline, member) VALUES (?, ?)"
                " ON CONFLICT (baseline, member) DO NOTHING",
                baseline, member);
}

tbs_status_t xcm_store_remove_baseline_member(store_db& db, int64_t baseline, int64_t member) {
    db.assert_writer();
    return exec(db, "DELETE FROM xcm_baseline_deps WHERE baseline = ? AND member = ?", baseline,
                member);
}

tbs_status_t xcm_store_closure(store_db& db, const std::vector<int64_t>& roots,
                               std::vector<int64_t>* out, std::pair<int64_t, int64_t>* clash) {
    out->clear();
    if (clash) *clash = {0, 0};
    std::map<int64_t, int64_t> chosen;  // component -> baseline, from shallower levels
    std::vector<int64_t> level = roots;
    // Every level chooses a component not chosen before, or ends the walk: a cycle stops.
    while (!level.empty()) {
        std::vector<std::pair<int64_t, int64_t>> here;  // (component, baseline), in order met
        for (int64_t b : level) {
            xcm_baseline_info_t bl;
            tbs_status_t st = xcm_store_get_baseline(db, b, &bl);
            if (st != TBS_ST_OK) return st;
            if (chosen.count(bl.component)) continue;  // a shallower baseline decides
            auto same = std::find_if(here.begin(), here.end(),
                                     [&](const auto& p) { return p.first == bl.component; });
            if (same == here.end())
                here.emplace_back(bl.component, b);
            else if (same->second != b && clash && !clash->first)
                *clash = {same->second, b};
        }
        std::vector<int64_t> next, members;
        for (const auto& [component, b] : here) {
            chosen[component] = b;
            out->push_back(b);
            tbs_status_t st = xcm_store_baseline_members(db, b, &members);
            if (st != TBS_ST_OK) return st;
            next.insert(next.end(), members.begin(), members.end());
        }
        level.swap(next);
    }
    return TBS_ST_OK;
}

// Change sets --------------------------------------------------------------------------------

tbs_status_t xcm_store_add_change(store_db& db, int64_t version, int64_t element,
                                  const std::string& pvob, const std::string& activity) {
    db.assert_writer();
    return exec(db,
                "INSERT INTO xcm_changes (version, element, pvob, activity) VALUES (?, ?, ?, ?)"
                " ON CONFLICT (version) DO UPDATE SET pvob = excluded.pvob, activity ="
                " excluded.activity",
                version, element, pvob, activity);
}

tbs_status_t xcm_store_move_change(store_db& db, int64_t version, const std::string& pvob,
                                   const std::string& activity) {
    db.assert_writer();
    tbs_status_t st = exec(db, "UPDATE xcm_changes SET pvob = ?, activity = ? WHERE version = ?",
                           pvob, activity, version);
    if (st == TBS_ST_OK && db.changes() == 0) return TBS_ST_NOT_FOUND;
    return st;
}

tbs_status_t xcm_store_get_change(store_db& db, int64_t version, std::string* pvob,
                                  std::string* activity) {
    return one(
        db, "SELECT pvob, activity FROM xcm_changes WHERE version = ?",
        [&](store_stmt& s) {
            *pvob = s.column_string(0);
            *activity = s.column_string(1);
        },
        version);
}

tbs_status_t xcm_store_activity_changes(store_db& db, const std::string& activity,
                                        std::vector<std::pair<int64_t, int64_t>>* out) {
    return rows(
        db, "SELECT element, version FROM xcm_changes WHERE activity = ? ORDER BY element, version",
        out,
        [](store_stmt& s, std::pair<int64_t, int64_t>* p) {
            *p = {s.column_int64(0), s.column_int64(1)};
        },
        activity);
}

// Operations ---------------------------------------------------------------------------------

namespace {

int64_t busy_of(const xcm_op_t& op) {
    return op.kind == "deliver" ? op.target : -op.stream;
}

void read_op(store_stmt& s, xcm_op_t* op) {
    op->stream = s.column_int64(0);
    op->kind = s.column_string(1);
    op->state = s.column_string(2);
    op->target = s.column_int64(3);
    tbs_uuid_from_str(s.column_string(4).c_str(), &op->view_uuid);
    op->activity = s.column_int64(5);
    op->prior_activity = s.column_int64(6);
    op->selection = split_ids(s.column_text(7));
    op->user = s.column_string(8);
    op->started = s.column_int64(9);
}

constexpr const char* kOpCols =
    "SELECT stream, kind, state, target, view_uuid, activity, prior_activity, selection, usr,"
    " started FROM xcm_ops";

}  // namespace

tbs_status_t xcm_store_new_op(store_db& db, const xcm_op_t& op) {
    db.assert_writer();
    return exec(db,
                "INSERT INTO xcm_ops (stream, kind, state, target, busy, view_uuid, activity,"
                " prior_activity, selection, usr, started) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?,"
                " ?)",
                op.stream, op.kind, op.state, op.target, busy_of(op), tbs_uuid_text(op.view_uuid),
                op.activity, op.prior_activity, join_ids(op.selection), op.user, op.started);
}

tbs_status_t xcm_store_update_op(store_db& db, const xcm_op_t& op) {
    db.assert_writer();
    return exec(db,
                "UPDATE xcm_ops SET state = ?, view_uuid = ?, activity = ?, prior_activity = ?,"
                " selection = ? WHERE stream = ?",
                op.state, tbs_uuid_text(op.view_uuid), op.activity, op.prior_activity,
                join_ids(op.selection), op.stream);
}

tbs_status_t xcm_store_get_op(store_db& db, int64_t stream, xcm_op_t* out) {
    static const std::string sql = std::string(kOpCols) + " WHERE stream = ?";
    return one(
        db, sql.c_str(), [&](store_stmt& s) { read_op(s, out); }, stream);
}

tbs_status_t xcm_store_find_op_busy(store_db& db, int64_t busy, xcm_op_t* out) {
    static const std::string sql = std::string(kOpCols) + " WHERE busy = ?";
    return one(
        db, sql.c_str(), [&](store_stmt& s) { read_op(s, out); }, busy);
}

tbs_status_t xcm_store_delete_op(store_db& db, int64_t stream) {
    db.assert_writer();
    tbs_status_t st = exec(db, "DELETE FROM xcm_op_items WHERE stream = ?", stream);
    return st == TBS_ST_OK ? exec(db, "DELETE FROM xcm_ops WHERE stream = ?", stream) : st;
}

tbs_status_t xcm_store_put_item(store_db& db, int64_t stream, const xcm_op_item_t& i) {
    db.assert_writer();
    return exec(db,
                "INSERT INTO xcm_op_items (stream, seq, vob_uuid, element, pname, from_version,"
                " checkout, state, is_dir) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT"
                " (stream, seq) DO UPDATE SET checkout = excluded.checkout, state = excluded.state",
                stream, i.seq, tbs_uuid_text(i.vob_uuid), i.element, i.pname, i.from_version,
                i.checkout, i.state, i.is_dir ? 1 : 0);
}

tbs_status_t xcm_store_items(store_db& db, int64_t stream, std::vector<xcm_op_item_t>* out) {
    return rows(
        db,
        "SELECT seq, vob_uuid, element, pname, from_version, checkout, state, is_dir FROM"
        " xcm_op_items WHERE stream = ? ORDER BY seq",
        out,
        [](store_stmt& s, xcm_op_item_t* i) {
            i->seq = s.column_int64(0);
            tbs_uuid_from_str(s.column_string(1).c_str(), &i->vob_uuid);
            i->element = s.column_int64(2);
            i->pname = s.column_string(3);
            i->from_version = s.column_int64(4);
            i->checkout = s.column_int64(5);
            i->state = static_cast<int>(s.column_int64(6));
            i->is_dir = s.column_int64(7) != 0;
        },
        stream);
}
