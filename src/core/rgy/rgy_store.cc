// The registry's tables and queries; the registry module's boundary calls live here with
// their SQL, which stays within what SQLite and PostgreSQL both accept.
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <memory>
#include <mutex>
#include <string>

#include "core/cred/credutl.h"
#include "core/rgy/rgy.h"
#include "core/store/db.h"
#include "core/util/fileutl.h"

namespace {

const char* const kMigrations[] = {
    "CREATE TABLE regions (name TEXT PRIMARY KEY);"
    "CREATE TABLE vob_tags (tag TEXT NOT NULL, region TEXT NOT NULL REFERENCES regions(name),"
    " uuid TEXT NOT NULL, storage TEXT NOT NULL, is_public BIGINT NOT NULL,"
    " mount_options TEXT NOT NULL, PRIMARY KEY (region, tag));"
    "CREATE INDEX vob_tags_uuid ON vob_tags (uuid);"
    "CREATE TABLE view_tags (tag TEXT NOT NULL, region TEXT NOT NULL REFERENCES regions(name),"
    " uuid TEXT NOT NULL, storage TEXT NOT NULL, host TEXT NOT NULL, owner TEXT NOT NULL,"
    " properties TEXT NOT NULL, PRIMARY KEY (region, tag));"
    "CREATE INDEX view_tags_uuid ON view_tags (uuid);",
    "CREATE TABLE stglocs (name TEXT NOT NULL, region TEXT NOT NULL REFERENCES regions(name),"
    " for_views BIGINT NOT NULL, host TEXT NOT NULL, path TEXT NOT NULL, comment TEXT NOT NULL,"
    " PRIMARY KEY (region, name));",
};

// The registry's connection stays open for the process (every pathname lookup reads the
// registry); a new product directory, or a child of fork, opens its own.
tbs_status_t open_registry(std::shared_ptr<store_db>* db) {
    static std::mutex mu;
    static std::shared_ptr<store_db> kept;
    static std::string kept_path;
    static pid_t kept_pid = 0;
    std::string dir = std::string(tbs_product_dir()) + "/registry";
    std::string path = dir + "/registry.db";
    std::lock_guard<std::mutex> lock(mu);
    if (kept && kept_path == path && kept_pid == getpid()) {
        *db = kept;
        return TBS_ST_OK;
    }
    tbs_status_t st = fileutl_mkdir_p(dir.c_str(), 0775);
    if (st != TBS_ST_OK) return st;
    if ((st = store_db::open(path.c_str(), store_options{}, kMigrations, db)) != TBS_ST_OK)
        return st;
    kept = *db;
    kept_path = path;
    kept_pid = getpid();
    // The site is first used in this process: what killed processes left in its
    // temporary directory goes now.
    fileutl_sweep_site_temps();
    return TBS_ST_OK;
}

bool valid_name(const std::string& s) {
    if (s.empty() || s.size() > 255) return false;
    for (unsigned char c : s)
        if (c < 32 || c == 127 || isspace(c)) return false;
    return true;
}

const char* region_or_default(const char* region) {
    return region && *region ? region : RGY_DEFAULT_REGION;
}

tbs_status_t ensure_region(store_db& db, const std::string& region) {
    store_stmt s;
    tbs_status_t st =
        db.prepare("INSERT INTO regions (name) VALUES (?) ON CONFLICT (name) DO NOTHING", &s);
    if (st != TBS_ST_OK) return st;
    return s.bind_text(1, region).exec();
}

void read_vob(store_stmt& s, rgy_vob_entry_t* e) {
    e->tag = s.column_string(0);
    e->region = s.column_string(1);
    tbs_uuid_from_str(s.column_string(2).c_str(), &e->uuid);
    e->storage = s.column_string(3);
    e->is_public = s.column_int64(4) != 0;
    e->mount_options = s.column_string(5);
}

void read_view(store_stmt& s, rgy_view_entry_t* e) {
    e->tag = s.column_string(0);
    e->region = s.column_string(1);
    tbs_uuid_from_str(s.column_string(2).c_str(), &e->uuid);
    e->storage = s.column_string(3);
    e->host = s.column_string(4);
    e->owner = s.column_string(5);
    e->properties = s.column_string(6);
}

void read_stgloc(store_stmt& s, rgy_stgloc_entry_t* e) {
    e->name = s.column_string(0);
    e->region = s.column_string(1);
    e->for_views = s.column_int64(2) != 0;
    e->host = s.column_string(3);
    e->path = s.column_string(4);
    e->comment = s.column_string(5);
}

const char* const kStglocColumns =
    "SELECT name, region, for_views, host, path, comment FROM stglocs ";
const char* const kVobColumns =
    "SELECT tag, region, uuid, storage, is_public, mount_options FROM vob_tags ";
const char* const kViewColumns =
    "SELECT tag, region, uuid, storage, host, owner, properties FROM view_tags ";

// Runs a query of one text parameter per `?` and collects the rows.
template <class Entry, class Reader>
tbs_status_t query(const std::string& sql, std::initializer_list<std::string> args,
                   std::vector<Entry>* out, Reader read) {
    std::shared_ptr<store_db> db;
    tbs_status_t st = open_registry(&db);
    if (st != TBS_ST_OK) return st;
    store_txn txn;
    if ((st = db->begin(store_txn_kind::read, &txn)) != TBS_ST_OK) return st;
    store_stmt s;
    if ((st = db->prepare(sql.c_str(), &s)) != TBS_ST_OK) return st;
    int i = 1;
    for (const std::string& a : args) s.bind_text(i++, a);
    for (;;) {
        store_step_t r = s.step();
        if (r == store_step_t::done) break;
        if (r == store_step_t::error) return s.status();
        Entry e;
        read(s, &e);
        out->push_back(std::move(e));
    }
    s.release();
    return txn.commit();
}

template <class Entry>
tbs_status_t first(std::vector<Entry>& rows, Entry* out) {
    if (rows.empty()) return TBS_ST_NOT_FOUND;
    *out = rows.front();
    return TBS_ST_OK;
}

tbs_status_t write(const std::function<tbs_status_t(store_db&, store_txn&)>& body) {
    std::shared_ptr<store_db> db;
    tbs_status_t st = open_registry(&db);
    if (st != TBS_ST_OK) return st;
    return db->transact(store_txn_kind::write, [&](store_txn& txn) { return body(*db, txn); });
}

}  // namespace

tbs_status_t rgy_add_region(const char* region) {
    if (!region || !valid_name(region)) return TBS_ST_BAD_REQUEST;
    return write([&](store_db& db, store_txn&) { return ensure_region(db, region); });
}

tbs_status_t rgy_list_regions(std::vector<std::string>* out) {
    out->clear();
    return query<std::string>("SELECT name FROM regions ORDER BY name", {}, out,
                              [](store_stmt& s, std::string* e) { *e = s.column_string(0); });
}

tbs_status_t rgy_add_vob_tag(const rgy_vob_entry_t& e) {
    if (!valid_name(e.tag) || !valid_name(e.region) || e.storage.empty()) return TBS_ST_BAD_REQUEST;
    return write([&](store_db& db, store_txn&) {
        tbs_status_t st = ensure_region(db, e.region);
        if (st != TBS_ST_OK) return st;
        store_stmt s;
        if ((st = db.prepare("INSERT INTO vob_tags (tag, region, uuid, storage, is_public,"
                             " mount_options) VALUES (?, ?, ?, ?, ?, ?)",
                             &s)) != TBS_ST_OK)
            return st;
        return s.bind_text(1, e.tag)
            .bind_text(2, e.region)
            .bind_text(3, tbs_uuid_text(e.uuid))
            .bind_text(4, e.storage)
            .bind_int64(5, e.is_public ? 1 : 0)
            .bind_text(6, e.mount_options)
            .exec();
    });
}

static tbs_status_t remove_tag(const char* sql, const char* tag, const char* region) {
    if (!tag) return TBS_ST_NOT_FOUND;
    return write([&](store_db& db, store_txn&) -> tbs_status_t {
        store_stmt s;
        tbs_status_t st = db.prepare(sql, &s);
        if (st != TBS_ST_OK) return st;
        if ((st = s.bind_text(1, tag).bind_text(2, region_or_default(region)).exec()) != TBS_ST_OK)
            return st;
        return db.changes() > 0 ? TBS_ST_OK : TBS_ST_NOT_FOUND;
    });
}

tbs_status_t rgy_remove_vob_tag(const char* tag, const char* region) {
    return remove_tag("DELETE FROM vob_tags WHERE tag = ? AND region = ?", tag, region);
}

tbs_status_t rgy_find_vob_by_tag(const char* tag, const char* region, rgy_vob_entry_t* out) {
    std::vector<rgy_vob_entry_t> rows;
    tbs_status_t st = query(std::string(kVobColumns) + "WHERE tag = ? AND region = ?",
                            {tag ? tag : "", region_or_default(region)}, &rows, read_vob);
    return st != TBS_ST_OK ? st : first(rows, out);
}

tbs_status_t rgy_find_vob_by_uuid(const tbs_uuid_t& uuid, rgy_vob_entry_t* out) {
    std::vector<rgy_vob_entry_t> rows;
    tbs_status_t st = query(std::string(kVobColumns) + "WHERE uuid = ? ORDER BY region, tag",
                            {tbs_uuid_text(uuid)}, &rows, read_vob);
    return st != TBS_ST_OK ? st : first(rows, out);
}

tbs_status_t rgy_list_vob_tags(const char* region, std::vector<rgy_vob_entry_t>* out) {
    out->clear();
    return query(std::string(kVobColumns) + "WHERE region = ? ORDER BY tag",
                 {region_or_default(region)}, out, read_vob);
}

static bool administrator() {
    credutl_creds_t who;
    return credutl_get_creds(&who) == TBS_ST_OK && credutl_is_privileged(who);
}

tbs_status_t rgy_add_stgloc(const rgy_stgloc_entry_t& e) {
    if (!valid_name(e.name) || !valid_name(e.region) || e.path.empty() || e.path[0] != '/' ||
        e.path.find('\n') != std::string::npos || e.comment.size() > 65536)
        return TBS_ST_BAD_REQUEST;
    if (!administrator()) return TBS_ST_PERMISSION;
    return write([&](store_db& db, store_txn&) {
        tbs_status_t st = ensure_region(db, e.region);
        if (st != TBS_ST_OK) return st;
        store_stmt s;
        if ((st = db.prepare("INSERT INTO stglocs (name, region, for_views, host, path, comment)"
                             " VALUES (?, ?, ?, ?, ?, ?)",
                             &s)) != TBS_ST_OK)
            return st;
        return s.bind_text(1, e.name)
            .bind_text(2, e.region)
            .bind_int64(3, e.for_views ? 1 : 0)
            .bind_text(4, e.host)
            .bind_text(5, e.path)
            .bind_text(6, e.comment)
            .exec();
    });
}

tbs_status_t rgy_remove_stgloc(const char* name, const char* region) {
    if (!administrator()) return TBS_ST_PERMISSION;
    return remove_tag("DELETE FROM stglocs WHERE name = ? AND region = ?", name, region);
}

tbs_status_t rgy_find_stgloc(const char* name, const char* region, rgy_stgloc_entry_t* out) {
    std::vector<rgy_stgloc_entry_t> rows;
    tbs_status_t st = query(std::string(kStglocColumns) + "WHERE name = ? AND region = ?",
                            {name ? name : "", region_or_default(region)}, &rows, read_stgloc);
    return st != TBS_ST_OK ? st : first(rows, out);
}

tbs_status_t rgy_list_stglocs(const char* region, int kind, std::vector<rgy_stgloc_entry_t>* out) {
    out->clear();
    if (kind < 0)
        return query(std::string(kStglocColumns) + "WHERE region = ? ORDER BY name",
                     {region_or_default(region)}, out, read_stgloc);
    return query(std::string(kStglocColumns) +
                     "WHERE region = ? AND for_views = " + (kind ? "1" : "0") + " ORDER BY name",
                 {region_or_default(region)}, out, read_stgloc);
}

tbs_status_t rgy_add_view_tag(const rgy_view_entry_t& e) {
    if (!valid_name(e.tag) || !valid_name(e.region) || e.storage.empty()) return TBS_ST_BAD_REQUEST;
    return write([&](store_db& db, store_txn&) {
        tbs_status_t st = ensure_region(db, e.region);
        if (st != TBS_ST_OK) return st;
        store_stmt s;
        if ((st = db.prepare("INSERT INTO view_tags (tag, region, uuid, storage, host, owner,"
                             " properties) VALUES (?, ?, ?, ?, ?, ?, ?)",
                             &s)) != TBS_ST_OK)
            return st;
        return s.bind_text(1, e.tag)
            .bind_text(2, e.region)
            .bind_text(3, tbs_uuid_text(e.uuid))
            .bind_text(4, e.storage)
            .bind_text(5, e.host)
            .bind_text(6, e.owner)
            .bind_text(7, e.properties)
            .exec();
    });
}

tbs_status_t rgy_remove_view_tag(const char* tag, const char* region) {
    return remove_tag("DELETE FROM view_tags WHERE tag = ? AND region = ?", tag, region);
}

tbs_status_t rgy_find_view_by_tag(const char* tag, const char* region, rgy_view_entry_t* out) {
    std::vector<rgy_view_entry_t> rows;
    tbs_status_t st = query(std::string(kViewColumns) + "WHERE tag = ? AND region = ?",
                            {tag ? tag : "", region_or_default(region)}, &rows, read_view);
    return st != TBS_ST_OK ? st : first(rows, out);
}

tbs_status_t rgy_findbyuuid_entry(const tbs_uuid_t& uuid, rgy_view_entry_t* out) {
    std::vector<rgy_view_entry_t> rows;
    tbs_status_t st = query(std::string(kViewColumns) + "WHERE uuid = ? ORDER BY region, tag",
                            {tbs_uuid_text(uuid)}, &rows, read_view);
    return st != TBS_ST_OK ? st : first(rows, out);
}

tbs_status_t rgy_list_view_tags(const char* region, std::vector<rgy_view_entry_t>* out) {
    out->clear();
    return query(std::string(kViewColumns) + "WHERE region = ? ORDER BY tag",
                 {region_or_default(region)}, out, read_view);
}
