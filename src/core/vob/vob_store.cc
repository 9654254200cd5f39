// The VOB schema and the VOB layer's queries (SQLite and PostgreSQL compatible).
#include "core/vob/vob_store.h"

#include <cstdlib>

#include "core/store/db.h"
#include "core/store/query.h"
#include "core/util/fileutl.h"

namespace {

// The whole object model; later layers fill the tables as their commands arrive.
const char* const kMigrations[] = {
    "CREATE TABLE vob_info (key TEXT PRIMARY KEY, value TEXT NOT NULL);"
    "CREATE TABLE objects (dbid BIGINT PRIMARY KEY, oid TEXT NOT NULL UNIQUE,"
    " mtype BIGINT NOT NULL, created BIGINT NOT NULL, creator TEXT NOT NULL,"
    " owner TEXT NOT NULL, grp TEXT NOT NULL, mode BIGINT NOT NULL);"
    "CREATE TABLE types (dbid BIGINT PRIMARY KEY REFERENCES objects(dbid),"
    " mtype BIGINT NOT NULL, name TEXT NOT NULL, merge_type BIGINT NOT NULL,"
    " type_manager TEXT NOT NULL, UNIQUE (mtype, name));"
    "CREATE TABLE elements (dbid BIGINT PRIMARY KEY REFERENCES objects(dbid),"
    " eltype BIGINT NOT NULL REFERENCES types(dbid), is_dir BIGINT NOT NULL,"
    " main_branch BIGINT);"
    "CREATE TABLE branches (dbid BIGINT PRIMARY KEY REFERENCES objects(dbid),"
    " element BIGINT NOT NULL REFERENCES elements(dbid), brtype BIGINT NOT NULL REFERENCES"
    " types(dbid), parent_version BIGINT, UNIQUE (element, brtype));"
    "CREATE TABLE versions (dbid BIGINT PRIMARY KEY REFERENCES objects(dbid),"
    " element BIGINT NOT NULL REFERENCES elements(dbid), branch BIGINT NOT NULL REFERENCES"
    " branches(dbid), number BIGINT NOT NULL, content TEXT NOT NULL, size BIGINT NOT NULL,"
    " comment TEXT NOT NULL, UNIQUE (branch, number));"
    "CREATE TABLE dir_entries (version BIGINT NOT NULL, name TEXT NOT NULL,"
    " target BIGINT NOT NULL REFERENCES objects(dbid), PRIMARY KEY (version, name));"
    "CREATE TABLE slinks (dbid BIGINT PRIMARY KEY REFERENCES objects(dbid),"
    " target TEXT NOT NULL);"
    "CREATE TABLE labels (lbtype BIGINT NOT NULL REFERENCES types(dbid), element BIGINT NOT"
    " NULL, version BIGINT NOT NULL REFERENCES versions(dbid), PRIMARY KEY (lbtype, element));"
    "CREATE TABLE attributes (obj BIGINT NOT NULL REFERENCES objects(dbid), attype BIGINT NOT"
    " NULL REFERENCES types(dbid), value TEXT NOT NULL, PRIMARY KEY (obj, attype));"
    "CREATE TABLE hyperlinks (dbid BIGINT PRIMARY KEY REFERENCES objects(dbid), hltype"
    " BIGINT NOT NULL REFERENCES types(dbid), from_obj BIGINT NOT NULL, to_obj BIGINT NOT"
    " NULL, text TEXT NOT NULL);"
    "CREATE TABLE locks (obj BIGINT PRIMARY KEY REFERENCES objects(dbid), obsolete BIGINT NOT"
    " NULL, excluded TEXT NOT NULL, locker TEXT NOT NULL, locked_at BIGINT NOT NULL);"
    "CREATE TABLE events (id BIGINT PRIMARY KEY, obj BIGINT NOT NULL, kind TEXT NOT NULL,"
    " usr TEXT NOT NULL, host TEXT NOT NULL, at BIGINT NOT NULL, comment TEXT NOT NULL);"
    "CREATE INDEX events_obj ON events (obj, id);"
    "CREATE TABLE checkouts (dbid BIGINT PRIMARY KEY REFERENCES objects(dbid), element"
    " BIGINT NOT NULL, branch BIGINT NOT NULL, pred_version BIGINT NOT NULL, view_uuid TEXT"
    " NOT NULL, reserved BIGINT NOT NULL, usr TEXT NOT NULL, at BIGINT NOT NULL, comment TEXT"
    " NOT NULL);"
    // Reserved checkouts of one branch exclude each other inside the database itself.
    "CREATE UNIQUE INDEX checkouts_one_reserved ON checkouts (branch) WHERE reserved = 1;"
    "CREATE UNIQUE INDEX checkouts_one_per_view ON checkouts (element, view_uuid);",
    // Lookups the commands make by reference, so none of them scans a table.
    "ALTER TABLE versions ADD COLUMN pred BIGINT NOT NULL DEFAULT 0;"
    "CREATE INDEX versions_element ON versions (element, branch, number);"
    "CREATE INDEX dir_entries_target ON dir_entries (target);"
    "CREATE INDEX labels_version ON labels (version);"
    "CREATE INDEX checkouts_element ON checkouts (element);"
    "CREATE INDEX hyperlinks_from ON hyperlinks (from_obj);"
    "CREATE INDEX hyperlinks_to ON hyperlinks (to_obj);"
    "CREATE INDEX attributes_attype ON attributes (attype);"
    "CREATE INDEX elements_eltype ON elements (eltype);"
    "CREATE INDEX branches_brtype ON branches (brtype);",
    // Trigger types: when they fire (before or after), on which operations (a blank-separated
    // list), for which elements (an element type's name, or empty for all) and what they run.
    "CREATE TABLE trtypes (dbid BIGINT PRIMARY KEY REFERENCES types(dbid), pre BIGINT NOT NULL,"
    " ops TEXT NOT NULL, eltype TEXT NOT NULL, command TEXT NOT NULL);",
    // The change journal: the elements each change generation touched (see vob_store.h),
    // the current generation and the low-water mark below which rows were trimmed; and the
    // checkouts of one view found without a scan.
    "CREATE TABLE change_state (id BIGINT PRIMARY KEY, gen BIGINT NOT NULL, low BIGINT NOT"
    " NULL);"
    "INSERT INTO change_state (id, gen, low) VALUES (1, 0, 0);"
    "CREATE TABLE change_journal (gen BIGINT NOT NULL, element BIGINT NOT NULL,"
    " PRIMARY KEY (gen, element));"
    "CREATE INDEX checkouts_view ON checkouts (view_uuid, element);",
    // Change management (xcm.h). In a project VOB: one row per object of the model beside
    // its row in `objects`, with the relations between them and the operations in
    // progress; `busy` holds a deliver's target so that one deliver into a stream runs at
    // a time. In every VOB: the activity each version was made in.
    "CREATE TABLE xcm_objects (dbid BIGINT PRIMARY KEY REFERENCES objects(dbid), mtype BIGINT"
    " NOT NULL, name TEXT NOT NULL, UNIQUE (mtype, name));"
    "CREATE TABLE xcm_folders (dbid BIGINT PRIMARY KEY REFERENCES xcm_objects(dbid), parent"
    " BIGINT NOT NULL);"
    "CREATE TABLE xcm_components (dbid BIGINT PRIMARY KEY REFERENCES xcm_objects(dbid),"
    " vob_uuid TEXT NOT NULL, root_element BIGINT NOT NULL, root_pname TEXT NOT NULL);"
    "CREATE TABLE xcm_projects (dbid BIGINT PRIMARY KEY REFERENCES xcm_objects(dbid), folder"
    " BIGINT NOT NULL, int_stream BIGINT NOT NULL, policies BIGINT NOT NULL, bl_template TEXT"
    " NOT NULL, obsolete BIGINT NOT NULL, tn_userdb TEXT NOT NULL, tn_dbset TEXT NOT NULL);"
    "CREATE TABLE xcm_project_components (project BIGINT NOT NULL, component BIGINT NOT NULL,"
    " PRIMARY KEY (project, component));"
    "CREATE TABLE xcm_streams (dbid BIGINT PRIMARY KEY REFERENCES xcm_objects(dbid), project"
    " BIGINT NOT NULL, parent BIGINT NOT NULL, integration BIGINT NOT NULL, read_only BIGINT"
    " NOT NULL, target BIGINT NOT NULL, cfg_gen BIGINT NOT NULL);"
    "CREATE INDEX xcm_streams_project ON xcm_streams (project);"
    "CREATE TABLE xcm_stream_baselines (stream BIGINT NOT NULL, baseline BIGINT NOT NULL, kind"
    " BIGINT NOT NULL, PRIMARY KEY (stream, kind, baseline));"
    "CREATE INDEX xcm_stream_baselines_bl ON xcm_stream_baselines (baseline);"
    "CREATE TABLE xcm_activities (dbid BIGINT PRIMARY KEY REFERENCES xcm_objects(dbid), stream"
    " BIGINT NOT NULL, headline TEXT NOT NULL, integration BIGINT NOT NULL);"
    "CREATE INDEX xcm_activities_stream ON xcm_activities (stream);"
    "CREATE TABLE xcm_baselines (dbid BIGINT PRIMARY KEY REFERENCES xcm_objects(dbid),"
    " component BIGINT NOT NULL, stream BIGINT NOT NULL, full_bl BIGINT NOT NULL, base BIGINT"
    " NOT NULL, promotion BIGINT NOT NULL, labelled BIGINT NOT NULL);"
    "CREATE INDEX xcm_baselines_stream ON xcm_baselines (stream, dbid);"
    "CREATE TABLE xcm_ops (stream BIGINT PRIMARY KEY, kind TEXT NOT NULL, state TEXT NOT NULL,"
    " target BIGINT NOT NULL, busy BIGINT NOT NULL UNIQUE, view_uuid TEXT NOT NULL, activity"
    " BIGINT NOT NULL, prior_activity BIGINT NOT NULL, selection TEXT NOT NULL, usr TEXT NOT"
    " NULL, started BIGINT NOT NULL);"
    "CREATE TABLE xcm_op_items (stream BIGINT NOT NULL, seq BIGINT NOT NULL, vob_uuid TEXT NOT"
    " NULL, element BIGINT NOT NULL, pname TEXT NOT NULL, from_version BIGINT NOT NULL,"
    " checkout BIGINT NOT NULL, state BIGINT NOT NULL, is_dir BIGINT NOT NULL,"
    " PRIMARY KEY (stream, seq));"
    "CREATE TABLE xcm_changes (version BIGINT PRIMARY KEY, element BIGINT NOT NULL, pvob TEXT"
    " NOT NULL, activity TEXT NOT NULL);"
    "CREATE INDEX xcm_changes_activity ON xcm_changes (activity, element, version);",
    // The tasks (work items of a task provider, named by URI) an activity is bound to.
    "CREATE TABLE xcm_activity_tasks (activity BIGINT NOT NULL REFERENCES xcm_objects(dbid),"
    " uri TEXT NOT NULL, PRIMARY KEY (activity, uri));",
    // Access control (vob_acl.h): policies' entries by kind of object and principal, role
    // maps with the policy they name and who plays each role, and the role map applied to
    // each protected object.
    "CREATE TABLE acl_policy_entries (policy BIGINT NOT NULL REFERENCES types(dbid), proxy"
    " TEXT NOT NULL, kind TEXT NOT NULL, name TEXT NOT NULL, access BIGINT NOT NULL,"
    " PRIMARY KEY (policy, proxy, kind, name));"
    "CREATE TABLE acl_rolemaps (dbid BIGINT PRIMARY KEY REFERENCES types(dbid), policy BIGINT"
    " NOT NULL REFERENCES types(dbid));"
    "CREATE INDEX acl_rolemaps_policy ON acl_rolemaps (policy);"
    "CREATE TABLE acl_role_entries (rolemap BIGINT NOT NULL REFERENCES acl_rolemaps(dbid),"
    " role TEXT NOT NULL, kind TEXT NOT NULL, name TEXT NOT NULL,"
    " PRIMARY KEY (rolemap, role, kind, name));"
    "CREATE TABLE acl_protected (obj BIGINT PRIMARY KEY REFERENCES objects(dbid), rolemap"
    " BIGINT NOT NULL REFERENCES acl_rolemaps(dbid));"
    "CREATE INDEX acl_protected_rolemap ON acl_protected (rolemap);",
    // Composite baselines: the member baselines each baseline names (xcm.h says what a
    // stream sees through them), and the composites naming a member found without a scan.
    "CREATE TABLE xcm_baseline_deps (baseline BIGINT NOT NULL REFERENCES xcm_objects(dbid),"
    " member BIGINT NOT NULL REFERENCES xcm_objects(dbid), PRIMARY KEY (baseline, member));"
    "CREATE INDEX xcm_baseline_deps_member ON xcm_baseline_deps (member, baseline);",
    // The change record an activity is bound to: at most one per activity, and at most one
    // activity of the project VOB per record.
    "CREATE TABLE xcm_activity_records (activity BIGINT PRIMARY KEY REFERENCES"
    " xcm_objects(dbid), user_db TEXT NOT NULL, db_set TEXT NOT NULL, record_id TEXT NOT NULL,"
    " UNIQUE (user_db, db_set, record_id));",
};

// Generations kept when the journal trims itself (the VOB's "change_keep" setting, else
// this), and how often it looks (every this many generations): a view last brought up to
// date further back than that is walked whole.
constexpr int64_t kKeepGens = 65536;
constexpr int64_t kTrimEvery = 256;

// What the calling thread's latest journalled change was: the transaction (by its serial),
// the generation it got, the element it named last and the directory version it resolved
// last. Only an economy (a new element's branch, versions and name come one after another;
// an import names hundreds in one directory): rows are unique per generation and element
// anyway.
struct JournalCursor {
    uint64_t serial = 0;
    int64_t gen = 0;
    int64_t element = 0;  // the element last journalled
    int64_t version = 0;  // the version (or checkout) last resolved to its element
};
thread_local JournalCursor t_journal;

}  // namespace

tbs_status_t vob_store_open(const std::string& storage, bool create,
                            std::shared_ptr<store_db>* db) {
    store_options opts;
    opts.create = create;
    return store_db::open((storage + "/vob.db").c_str(), opts, kMigrations, db);
}

tbs_status_t vob_store_remove(const std::string& storage) {
    return store_db::remove((storage + "/vob.db").c_str());
}

tbs_status_t vob_store_set_info(store_db& db, const char* key, const std::string& value) {
    db.assert_writer();
    store_stmt s;
    tbs_status_t st = db.prepare(
        "INSERT INTO vob_info (key, value) VALUES (?, ?)"
        " ON CONFLICT (key) DO UPDATE SET value = excluded.value",
        &s);
    if (st != TBS_ST_OK) return st;
    return s.bind_text(1, key).bind_text(2, value).exec();
}

tbs_status_t vob_store_get_info(store_db& db, const char* key, std::string* value) {
    store_stmt s;
    tbs_status_t st = db.prepare("SELECT value FROM vob_info WHERE key = ?", &s);
    if (st != TBS_ST_OK) return st;
    s.bind_text(1, key);
    store_step_t r = s.step();
    if (r == store_step_t::error) return s.status();
    if (r == store_step_t::done) return TBS_ST_NOT_FOUND;
    *value = s.column_string(0);
    return TBS_ST_OK;
}

tbs_status_t vob_store_new_object(store_db& db, store_txn& txn, const vob_store_object_t& o,
                                  int64_t* dbid) {
    db.assert_writer();
    tbs_status_t st = txn.next_id("objects", dbid);
    if (st != TBS_ST_OK) return st;
    store_stmt s;
    if ((st = db.prepare("INSERT INTO objects (dbid, oid, mtype, created, creator, owner, grp,"
                         " mode) VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
                         &s)) != TBS_ST_OK)
        return st;
    return s.bind_int64(1, *dbid)
        .bind_text(2, tbs_uuid_text(tbs_uuid_create()))
        .bind_int64(3, o.mtype)
        .bind_int64(4, o.created)
        .bind_text(5, o.creator)
        .bind_text(6, o.owner)
        .bind_text(7, o.group)
        .bind_int64(8, o.mode)
        .exec();
}

tbs_status_t vob_store_new_type(store_db& db, int64_t dbid, int mtype, const char* name,
                                int merge_type, const char* type_manager) {
    db.assert_writer();
    store_stmt s;
    tbs_status_t st = db.prepare(
        "INSERT INTO types (dbid, mtype, name, merge_type, type_manager) VALUES (?, ?, ?, ?, ?)",
        &s);
    if (st != TBS_ST_OK) return st;
    return s.bind_int64(1, dbid)
        .bind_int64(2, mtype)
        .bind_text(3, name)
        .bind_int64(4, merge_type)
        .bind_text(5, type_manager ? type_manager : "")
        .exec();
}

tbs_status_t vob_store_find_type(store_db& db, int mtype, const char* name, int64_t* dbid) {
    store_stmt s;
    tbs_status_t st = db.prepare("SELECT dbid FROM types WHERE mtype = ? AND name = ?", &s);
    if (st != TBS_ST_OK) return st;
    s.bind_int64(1, mtype).bind_text(2, name ? name : "");
    store_step_t r = s.step();
    if (r == store_step_t::error) return s.status();
    if (r == store_step_t::done) return TBS_ST_NOT_FOUND;
    *dbid = s.column_int64(0);
    return TBS_ST_OK;
}

tbs_status_t vob_store_new_element(store_db& db, int64_t dbid, int64_t eltype, bool is_dir) {
    db.assert_writer();
    store_stmt s;
    tbs_status_t st =
        db.prepare("INSERT INTO elements (dbid, eltype, is_dir) VALUES (?, ?, ?)", &s);
    if (st != TBS_ST_OK) return st;
    return s.bind_int64(1, dbid).bind_int64(2, eltype).bind_int64(3, is_dir ? 1 : 0).exec();
}

tbs_status_t vob_store_new_branch(store_db& db, int64_t dbid, int64_t element, int64_t brtype,
                                  int64_t parent_version) {
    db.assert_writer();
    store_stmt s;
    tbs_status_t st = db.prepare(
        "INSERT INTO branches (dbid, element, brtype, parent_version) VALUES (?, ?, ?, ?)", &s);
    if (st != TBS_ST_OK) return st;
    s.bind_int64(1, dbid).bind_int64(2, element).bind_int64(3, brtype);
    if (parent_version > 0)
        s.bind_int64(4, parent_version);
    else
        s.bind_null(4);
    st = s.exec();
    return st == TBS_ST_OK ? vob_store_journal(db, element) : st;
}

tbs_status_t vob_store_set_main_branch(store_db& db, int64_t element, int64_t branch) {
    db.assert_writer();
    store_stmt s;
    tbs_status_t st = db.prepare("UPDATE elements SET main_branch = ? WHERE dbid = ?", &s);
    if (st != TBS_ST_OK) return st;
    return s.bind_int64(1, branch).bind_int64(2, element).exec();
}

tbs_status_t vob_store_new_version(store_db& db, int64_t dbid, int64_t element, int64_t branch,
                                   int64_t number, const std::string& content, int64_t size,
                                   const std::string& comment, int64_t pred) {
    db.assert_writer();
    store_stmt s;
    tbs_status_t st = db.prepare(
        "INSERT INTO versions (dbid, element, branch, number, content, size, comment, pred)"
        " VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
        &s);
    if (st != TBS_ST_OK) return st;
    st = s.bind_int64(1, dbid)
             .bind_int64(2, element)
             .bind_int64(3, branch)
             .bind_int64(4, number)
             .bind_text(5, content)
             .bind_int64(6, size)
             .bind_text(7, comment)
             .bind_int64(8, pred)
             .exec();
    return st == TBS_ST_OK ? vob_store_journal(db, element) : st;
}

tbs_status_t vob_store_add_event(store_db& db, store_txn& txn, int64_t obj, const char* kind,
                                 const char* user, const char* host, int64_t at,
                                 const char* comment) {
    db.assert_writer();
    int64_t id = 0;
    tbs_status_t st = txn.next_id("events", &id);
    if (st != TBS_ST_OK) return st;
    store_stmt s;
    if ((st = db.prepare("INSERT INTO events (id, obj, kind, usr, host, at, comment)"
                         " VALUES (?, ?, ?, ?, ?, ?, ?)",
                         &s)) != TBS_ST_OK)
        return st;
    return s.bind_int64(1, id)
        .bind_int64(2, obj)
        .bind_text(3, kind)
        .bind_text(4, user ? user : "")
        .bind_text(5, host ? host : "")
        .bind_int64(6, at)
        .bind_text(7, comment ? comment : "")
        .exec();
}

tbs_status_t vob_store_count_events(store_db& db, int64_t obj, int64_t* count) {
    store_stmt s;
    tbs_status_t st = db.prepare("SELECT COUNT(*) FROM events WHERE obj = ?", &s);
    if (st != TBS_ST_OK) return st;
    s.bind_int64(1, obj);
    if (s.step() != store_step_t::row) return s.status() ? s.status() : TBS_ST_ERR;
    *count = s.column_int64(0);
    return TBS_ST_OK;
}

// The change journal ----------------------------------------------------------------------

namespace {

// The generation of the open writer transaction: allocated at its first journalled change.
tbs_status_t txn_gen(store_db& db, int64_t* gen) {
    const uint64_t serial = db.txn_serial();
    if (t_journal.serial == serial && serial != 0) {
        *gen = t_journal.gen;
        return TBS_ST_OK;
    }
    store_stmt s;
    tbs_status_t st =
        db.prepare("UPDATE change_state SET gen = gen + 1 WHERE id = 1 RETURNING gen", &s);
    if (st != TBS_ST_OK) return st;
    store_step_t r = s.step();
    if (r == store_step_t::error) return s.status();
    if (r == store_step_t::done) return TBS_ST_ERR;  // the state row is made with the table
    *gen = s.column_int64(0);
    if ((st = s.exec()) != TBS_ST_OK) return st;  // finishes the statement
    s.release();
    t_journal = JournalCursor{serial, *gen, 0, 0};
    // Now and then the journal drops what no view should still need.
    if (*gen % kTrimEvery != 0) return TBS_ST_OK;
    int64_t keep = kKeepGens;
    std::string text;
    if (vob_store_get_info(db, "change_keep", &text) == TBS_ST_OK) keep = atoll(text.c_str());
    return keep >= 0 && *gen > keep ? vob_store_trim_changes(db, *gen - keep) : TBS_ST_OK;
}

}  // namespace

tbs_status_t vob_store_journal(store_db& db, int64_t element) {
    db.assert_writer();
    if (t_journal.serial == db.txn_serial() && t_journal.element == element) return TBS_ST_OK;
    int64_t gen = 0;
    tbs_status_t st = txn_gen(db, &gen);
    if (st != TBS_ST_OK) return st;
    st = store_query::exec(db,
                           "INSERT INTO change_journal (gen, element) VALUES (?, ?)"
                           " ON CONFLICT (gen, element) DO NOTHING",
                           gen, element);
    if (st == TBS_ST_OK) t_journal.element = element;
    return st;
}

tbs_status_t vob_store_journal_version(store_db& db, int64_t version) {
    db.assert_writer();
    // A directory's names change one at a time (an import adds hundreds to one checkout):
    // the element is looked up and journalled once per transaction and directory version.
    if (t_journal.serial == db.txn_serial() && t_journal.version == version) return TBS_ST_OK;
    int64_t element = 0;
    tbs_status_t st = store_query::one(
        db,
        "SELECT element FROM versions WHERE dbid = ?"
        " UNION ALL SELECT element FROM checkouts WHERE dbid = ?",
        [&](store_stmt& s) { element = s.column_int64(0); }, version, version);
    if (st == TBS_ST_NOT_FOUND) return TBS_ST_OK;  // not a version yet: its maker journals it
    if (st == TBS_ST_OK) st = vob_store_journal(db, element);
    if (st == TBS_ST_OK) t_journal.version = version;
    return st;
}

tbs_status_t vob_store_journal_label_type(store_db& db, int64_t lbtype) {
    db.assert_writer();
    int64_t gen = 0;
    tbs_status_t st = txn_gen(db, &gen);
    if (st != TBS_ST_OK) return st;
    return store_query::exec(
        db,
        "INSERT INTO change_journal (gen, element) SELECT DISTINCT CAST(? AS BIGINT),"
        " element FROM labels WHERE lbtype = ?"
        " ON CONFLICT (gen, element) DO NOTHING",
        gen, lbtype);
}

tbs_status_t vob_store_change_state(store_db& db, int64_t* gen, int64_t* low) {
    return store_query::one(db, "SELECT gen, low FROM change_state WHERE id = 1",
                            [&](store_stmt& s) {
                                *gen = s.column_int64(0);
                                *low = s.column_int64(1);
                            });
}

tbs_status_t vob_store_changes(store_db& db, int64_t after, int64_t upto, int64_t max,
                               std::vector<int64_t>* elements) {
    elements->clear();
    return store_query::each(
        db,
        "SELECT DISTINCT element FROM change_journal WHERE gen > ? AND gen <= ?"
        " ORDER BY element LIMIT ?",
        [&](store_stmt& s) { elements->push_back(s.column_int64(0)); }, after, upto, max);
}

tbs_status_t vob_store_trim_changes(store_db& db, int64_t upto) {
    db.assert_writer();
    tbs_status_t st = store_query::exec(db, "DELETE FROM change_journal WHERE gen <= ?", upto);
    if (st != TBS_ST_OK) return st;
    return store_query::exec(db, "UPDATE change_state SET low = ? WHERE id = 1 AND low < ?", upto,
                             upto);
}
