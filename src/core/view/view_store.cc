// The view schema and the view layer's queries (SQLite and PostgreSQL compatible).
#include "core/view/view_store.h"

#include "core/store/db.h"
#include "core/store/query.h"

using store_query::each;
using store_query::exec;
using store_query::one;
using store_query::rows;

namespace {

const char* const kMigrations[] = {
    "CREATE TABLE view_info (key TEXT PRIMARY KEY, value TEXT NOT NULL);"
    "CREATE TABLE vobs (num BIGINT PRIMARY KEY, uuid TEXT NOT NULL UNIQUE);"
    // What the client of a web view holds (or a snapshot view's root), one row per name.
    "CREATE TABLE wso (dir TEXT NOT NULL, leaf TEXT NOT NULL, vob_uuid TEXT NOT NULL,"
    " elem_oid TEXT NOT NULL, ver_oid TEXT NOT NULL, ftype BIGINT NOT NULL, fh TEXT NOT NULL,"
    " target TEXT NOT NULL, PRIMARY KEY (dir, leaf));"
    "CREATE INDEX wso_elem ON wso (elem_oid);"
    "CREATE TABLE load_session (id BIGINT PRIMARY KEY, kind BIGINT NOT NULL, session_id TEXT"
    " NOT NULL, usr TEXT NOT NULL, pid TEXT NOT NULL, started BIGINT NOT NULL);",
    // Renames a fetch reported; the commit that ends its session applies them.
    "CREATE TABLE pending_renames (id BIGINT PRIMARY KEY, src_dir TEXT NOT NULL, src_leaf TEXT"
    " NOT NULL, dst_dir TEXT NOT NULL, dst_leaf TEXT NOT NULL);",
    // Snapshot views: the modification time a copy was written with, to know it again.
    "ALTER TABLE wso ADD COLUMN mtime BIGINT NOT NULL DEFAULT 0;",
    // Sync points (see view.h): what the record was brought to by the last completed update
    // (kind 1) and what the fetch in progress read (kind 2): the config spec's text, and
    // the change generation of each VOB.
    "CREATE TABLE sync_point (kind BIGINT PRIMARY KEY, cspec TEXT NOT NULL, mode BIGINT NOT"
    " NULL);"
    "CREATE TABLE sync_gen (kind BIGINT NOT NULL, vob_uuid TEXT NOT NULL, gen BIGINT NOT NULL,"
    " PRIMARY KEY (kind, vob_uuid));",
    // Snapshot views: the copy's stamp (view.h), to know it again by more than a second.
    "ALTER TABLE wso ADD COLUMN copy_size BIGINT NOT NULL DEFAULT -1;"
    "ALTER TABLE wso ADD COLUMN copy_mtime_ns BIGINT NOT NULL DEFAULT 0;"
    "ALTER TABLE wso ADD COLUMN copy_ctime_ns BIGINT NOT NULL DEFAULT 0;"
    "ALTER TABLE wso ADD COLUMN copy_ino BIGINT NOT NULL DEFAULT 0;"
    "ALTER TABLE wso ADD COLUMN copy_taken_ns BIGINT NOT NULL DEFAULT 0;",
};

void read_wso(store_stmt& s, view_wso_t* w) {
    w->dir = s.column_string(0);
    w->leaf = s.column_string(1);
    tbs_uuid_from_str(s.column_string(2).c_str(), &w->vob_uuid);
    tbs_uuid_from_str(s.column_string(3).c_str(), &w->elem_oid);
    tbs_uuid_from_str(s.column_string(4).c_str(), &w->ver_oid);
    w->ftype = static_cast<int>(s.column_int64(5));
    std::string fh = s.column_string(6);
    char view[33] = "";
    view_fhandle f{};
    if (sscanf(fh.c_str(), "%32[0-9a-f],%lx,%lx,%lx,%lx,%lx", view, &f.vob_dbid, &f.elem_dbid,
               &f.ver_dbid, &f.gen, &f.flags) == 6 &&
        tbs_uuid_from_str(view, &f.view_uuid) == TBS_ST_OK)
        w->fh = f;
    w->target = s.column_string(7);
    w->mtime = s.column_int64(8);
    w->stamp.size = s.column_int64(9);
    w->stamp.mtime_ns = s.column_int64(10);
    w->stamp.ctime_ns = s.column_int64(11);
    w->stamp.ino = s.column_int64(12);
    w->stamp.taken_ns = s.column_int64(13);
}

constexpr const char* kWsoCols =
    "SELECT dir, leaf, vob_uuid, elem_oid, ver_oid, ftype, fh, target, mtime, copy_size,"
    " copy_mtime_ns, copy_ctime_ns, copy_ino, copy_taken_ns FROM wso";

}  // namespace

tbs_status_t view_store_open(const std::string& storage, bool create,
                             std::shared_ptr<store_db>* db) {
    store_options opts;
    opts.create = create;
    return store_db::open((storage + "/view.db").c_str(), opts, kMigrations, db);
}

tbs_status_t view_store_remove(const std::string& storage) {
    return store_db::remove((storage + "/view.db").c_str());
}

tbs_status_t view_store_set_info(store_db& db, const char* key, const std::string& value) {
    db.assert_writer();
    return exec(db,
                "INSERT INTO view_info (key, value) VALUES (?, ?)"
                " ON CONFLICT (key) DO UPDATE SET value = excluded.value",
                key, value);
}

tbs_status_t view_store_get_info(store_db& db, const char* key, std::string* value) {
    return one(
        db, "SELECT value FROM view_info WHERE key = ?",
        [&](store_stmt& s) { *value = s.column_string(0); }, key);
}

tbs_status_t view_store_vob_number(store_db& db, store_txn* txn, const std::string& vob_uuid,
                                   int64_t* number) {
    tbs_status_t st = one(
        db, "SELECT num FROM vobs WHERE uuid = ?",
        [&](store_stmt& s) { *number = s.column_int64(0); }, vob_uuid);
    if (st != TBS_ST_NOT_FOUND) return st;
    if (!txn) return st;
    if ((st = txn->next_id("vobs", number)) != TBS_ST_OK) return st;
    return exec(db, "INSERT INTO vobs (num, uuid) VALUES (?, ?)", *number, vob_uuid);
}

tbs_status_t view_store_vob_by_number(store_db& db, int64_t number, std::string* vob_uuid) {
    return one(
        db, "SELECT uuid FROM vobs WHERE num = ?",
        [&](store_stmt& s) { *vob_uuid = s.column_string(0); }, number);
}

tbs_status_t view_store_put_wso(store_db& db, store_txn&, const view_wso_t& w) {
    db.assert_writer();
    char fh[160];
    char view[TBS_UUID_STR_SIZE];
    tbs_uuid_to_str(w.fh.view_uuid, view);
    snprintf(fh, sizeof fh, "%s,%lx,%lx,%lx,%lx,%lx", view, w.fh.vob_dbid, w.fh.elem_dbid,
             w.fh.ver_dbid, w.fh.gen, w.fh.flags);
    return exec(db,
                "INSERT INTO wso (dir, leaf, vob_uuid, elem_oid, ver_oid, ftype, fh, target, mtime,"
                " copy_size, copy_mtime_ns, copy_ctime_ns, copy_ino, copy_taken_ns)"
                " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT (dir, leaf) DO"
                " UPDATE SET vob_uuid = excluded.vob_uuid, elem_oid = excluded.elem_oid,"
                " ver_oid = excluded.ver_oid, ftype = excluded.ftype, fh = excluded.fh,"
                " target = excluded.target, mtime = excluded.mtime,"
                " copy_size = excluded.copy_size, copy_mtime_ns = excluded.copy_mtime_ns,"
                " copy_ctime_ns = excluded.copy_ctime_ns, copy_ino = excluded.copy_ino,"
                " copy_taken_ns = excluded.copy_taken_ns",
                w.dir, w.leaf, tbs_uuid_text(w.vob_uuid), tbs_uuid_text(w.elem_oid),
                tbs_uuid_text(w.ver_oid), w.ftype, std::string(fh), w.target, w.mtime, w.stamp.size,
                w.stamp.mtime_ns, w.stamp.ctime_ns, w.stamp.ino, w.stamp.taken_ns);
}

tbs_status_t view_store_get_wso(store_db& db, const std::string& dir, const std::string& leaf,
                                view_wso_t* out) {
    static const std::string sql = std::string(kWsoCols) + " WHERE dir = ? AND leaf = ?";
    return one(
        db, sql.c_str(), [&](store_stmt& s) { read_wso(s, out); }, dir, leaf);
}

tbs_status_t view_store_delete_wso(store_db& db, const std::string& dir, const std::string& leaf) {
    db.assert_writer();
    tbs_status_t st = exec(db, "DELETE FROM wso WHERE dir = ? AND leaf = ?", dir, leaf);
    if (st == TBS_ST_OK && db.changes() == 0) return TBS_ST_NOT_FOUND;
    return st;
}

tbs_status_t view_store_delete_below(store_db& db, const std::string& path) {
    db.assert_writer();
    // Directories below `path` are `path` itself and the range path + "/" .. path + "0"
    // ('0' follows '/' in byte order).
    return exec(db, "DELETE FROM wso WHERE dir = ? OR (dir >= ? AND dir < ?)", path, path + "/",
                path + "0");
}

tbs_status_t view_store_count_wso(store_db& db, int64_t* count) {
    return one(db, "SELECT COUNT(*) FROM wso", [&](store_stmt& s) { *count = s.column_int64(0); });
}

tbs_status_t view_store_list_after(store_db& db, const std::string& dir, const std::string& leaf,
                                   bool inclusive_start, int max, std::vector<view_wso_t>* out) {
    static const std::string from_start = std::string(kWsoCols) + " ORDER BY dir, leaf LIMIT ?";
    static const std::string after = std::string(kWsoCols) +
                                     " WHERE dir > ? OR (dir = ? AND leaf > ?)"
                                     " ORDER BY dir, leaf LIMIT ?";
    if (inclusive_start) return rows(db, from_start.c_str(), out, read_wso, max);
    return rows(db, after.c_str(), out, read_wso, dir, dir, leaf, max);
}

tbs_status_t view_store_find_elem(store_db& db, const std::string& elem_oid,
                                  std::vector<view_wso_t>* out) {
    static const std::string sql = std::string(kWsoCols) + " WHERE elem_oid = ? ORDER BY dir, leaf";
    return rows(db, sql.c_str(), out, read_wso, elem_oid);
}

tbs_status_t view_store_get_session(store_db& db, view_load_session_t* out) {
    *out = view_load_session_t{};
    tbs_status_t st =
        one(db, "SELECT kind, session_id, usr, pid, started FROM load_session WHERE id = 1",
            [&](store_stmt& s) {
                out->in_progress = true;
                out->kind = static_cast<int>(s.column_int64(0));
                out->session_id = s.column_string(1);
                out->user = s.column_string(2);
                out->pid = s.column_string(3);
                out->started = s.column_int64(4);
            });
    return st == TBS_ST_NOT_FOUND ? TBS_ST_OK : st;
}

tbs_status_t view_store_set_session(store_db& db, const view_load_session_t& v) {
    db.assert_writer();
    return exec(db,
                "INSERT INTO load_session (id, kind, session_id, usr, pid, started)"
                " VALUES (1, ?, ?, ?, ?, ?) ON CONFLICT (id) DO UPDATE SET kind = excluded.kind,"
                " session_id = excluded.session_id, usr = excluded.usr, pid = excluded.pid,"
                " started = excluded.started",
                v.kind, v.session_id, v.user, v.pid, v.started);
}

tbs_status_t view_store_clear_session(store_db& db) {
    db.assert_writer();
    return exec(db, "DELETE FROM load_session WHERE id = 1");
}

tbs_status_t view_store_add_rename(store_db& db, store_txn& txn, const std::string& src_dir,
                                   const std::string& src_leaf, const std::string& dst_dir,
                                   const std::string& dst_leaf) {
    db.assert_writer();
    int64_t id = 0;
    tbs_status_t st = txn.next_id("pending_renames", &id);
    if (st != TBS_ST_OK) return st;
    return exec(db,
                "INSERT INTO pending_renames (id, src_dir, src_leaf, dst_dir, dst_leaf)"
                " VALUES (?, ?, ?, ?, ?)",
                id, src_dir, src_leaf, dst_dir, dst_leaf);
}

tbs_status_t view_store_clear_renames(store_db& db) {
    db.assert_writer();
    return exec(db, "DELETE FROM pending_renames");
}

tbs_status_t view_store_apply_renames(store_db& db) {
    struct R {
        std::string sd, sl, dd, dl;
    };
    std::vector<R> renames;
    tbs_status_t st =
        each(db, "SELECT src_dir, src_leaf, dst_dir, dst_leaf FROM pending_renames ORDER BY id",
             [&](store_stmt& s) {
                 renames.push_back({s.column_string(0), s.column_string(1), s.column_string(2),
                                    s.column_string(3)});
             });
    for (size_t i = 0; st == TBS_ST_OK && i < renames.size(); ++i) {
        const R& r = renames[i];
        // The client may have committed the new name already; then the old one just goes.
        view_wso_t existing;
        if (view_store_get_wso(db, r.dd, r.dl, &existing) == TBS_ST_OK)
            st = exec(db, "DELETE FROM wso WHERE dir = ? AND leaf = ?", r.sd, r.sl);
        else
            st = exec(db, "UPDATE wso SET dir = ?, leaf = ? WHERE dir = ? AND leaf = ?", r.dd, r.dl,
                      r.sd, r.sl);
    }
    return st == TBS_ST_OK ? view_store_clear_renames(db) : st;
}

tbs_status_t view_store_list_dir(store_db& db, const std::string& dir,
                                 std::vector<view_wso_t>* out) {
    static const std::string sql = std::string(kWsoCols) + " WHERE dir = ? ORDER BY leaf";
    return rows(db, sql.c_str(), out, read_wso, dir);
}

tbs_status_t view_store_list_subtree(store_db& db, const std::string& dir, const std::string& leaf,
                                     const std::string& after_dir, const std::string& after_leaf,
                                     int max, std::vector<view_wso_t>* out) {
    // The record itself, `path` as a directory, and the range below it (as in
    // view_store_delete_below), after the cursor.
    static const std::string sql =
        std::string(kWsoCols) +
        " WHERE ((dir = ? AND leaf = ?) OR dir = ? OR"
        " (dir >= ? AND dir < ?)) AND (dir > ? OR (dir = ? AND leaf > ?))"
        " ORDER BY dir, leaf LIMIT ?";
    const std::string path = dir.empty() ? leaf : dir + "/" + leaf;
    return rows(db, sql.c_str(), out, read_wso, dir, leaf, path, path + "/", path + "0", after_dir,
                after_dir, after_leaf, max);
}

tbs_status_t view_store_get_sync(store_db& db, int kind, bool* present, view_sync_point_t* out) {
    *out = view_sync_point_t{};
    *present = false;
    tbs_status_t st = one(
        db, "SELECT cspec, mode FROM sync_point WHERE kind = ?",
        [&](store_stmt& s) {
            out->cspec = s.column_string(0);
            out->mode = static_cast<int>(s.column_int64(1));
        },
        kind);
    if (st == TBS_ST_NOT_FOUND) return TBS_ST_OK;
    if (st != TBS_ST_OK) return st;
    *present = true;
    return each(
        db, "SELECT vob_uuid, gen FROM sync_gen WHERE kind = ? ORDER BY vob_uuid",
        [&](store_stmt& s) {
            view_sync_gen_t g;
            tbs_uuid_from_str(s.column_string(0).c_str(), &g.vob_uuid);
            g.gen = s.column_int64(1);
            out->gens.push_back(g);
        },
        kind);
}

tbs_status_t view_store_clear_sync(store_db& db, int kind) {
    db.assert_writer();
    tbs_status_t st = exec(db, "DELETE FROM sync_gen WHERE kind = ?", kind);
    return st == TBS_ST_OK ? exec(db, "DELETE FROM sync_point WHERE kind = ?", kind) : st;
}

tbs_status_t view_store_put_sync(store_db& db, int kind, const view_sync_point_t& p) {
    db.assert_writer();
    tbs_status_t st = view_store_clear_sync(db, kind);
    if (st == TBS_ST_OK)
        st = exec(db, "INSERT INTO sync_point (kind, cspec, mode) VALUES (?, ?, ?)", kind, p.cspec,
                  p.mode);
    for (size_t i = 0; st == TBS_ST_OK && i < p.gens.size(); ++i)
        st = exec(db, "INSERT INTO sync_gen (kind, vob_uuid, gen) VALUES (?, ?, ?)", kind,
                  tbs_uuid_text(p.gens[i].vob_uuid), p.gens[i].gen);
    return st;
}
