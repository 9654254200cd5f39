// The built-in change-request provider's queries (SQLite and PostgreSQL compatible).
#include "core/tide/tide_store.h"

#include "core/store/db.h"
#include "core/store/query.h"

using namespace store_query;

namespace {

const char* const kMigrations[] = {
    "CREATE TABLE tide_users (name TEXT PRIMARY KEY, salt TEXT NOT NULL, hash TEXT NOT NULL);"
    "CREATE TABLE tide_records (id TEXT PRIMARY KEY, headline TEXT NOT NULL, rec_type TEXT NOT"
    " NULL, state TEXT NOT NULL, owner TEXT NOT NULL);"
    "CREATE INDEX tide_records_owner ON tide_records (owner, id);",
    // The activity a record is bound to (its stable selector), as the binding command last
    // wrote it; readers check it against the activity's own binding. Record types are read
    // by an index, not a scan.
    "ALTER TABLE tide_records ADD COLUMN bound_activity TEXT NOT NULL DEFAULT '';"
    "CREATE INDEX tide_records_type ON tide_records (rec_type);",
};

#define RECORD_COLUMNS "id, headline, rec_type, state, owner, bound_activity"

void read_record(store_stmt& s, CTide_Record* r) {
    r->id = s.column_string(0);
    r->headline = s.column_string(1);
    r->rec_type = s.column_string(2);
    r->state = s.column_string(3);
    r->owner = s.column_string(4);
    r->bound_activity = s.column_string(5);
}

}  // namespace

tbs_status_t tide_store_open(const std::string& path, bool create, std::shared_ptr<store_db>* db) {
    store_options opts;
    opts.create = create;
    return store_db::open(path.c_str(), opts, kMigrations, db);
}

tbs_status_t tide_store_set_user(store_db& db, const std::string& user, const std::string& salt,
                                 const std::string& hash) {
    db.assert_writer();
    return exec(db,
                "INSERT INTO tide_users (name, salt, hash) VALUES (?, ?, ?) ON CONFLICT (name) DO"
                " UPDATE SET salt = excluded.salt, hash = excluded.hash",
                user, salt, hash);
}

tbs_status_t tide_store_get_user(store_db& db, const std::string& user, std::string* salt,
                                 std::string* hash) {
    return one(
        db, "SELECT salt, hash FROM tide_users WHERE name = ?",
        [&](store_stmt& s) {
            *salt = s.column_string(0);
            *hash = s.column_string(1);
        },
        user);
}

tbs_status_t tide_store_put_record(store_db& db, const CTide_Record& r) {
    db.assert_writer();
    return exec(db,
                "INSERT INTO tide_records (id, headline, rec_type, state, owner) VALUES (?, ?, ?,"
                " ?, ?) ON CONFLICT (id) DO UPDATE SET headline = excluded.headline, rec_type ="
                " excluded.rec_type, state = excluded.state, owner = excluded.owner",
                r.id, r.headline, r.rec_type, r.state, r.owner);
}

tbs_status_t tide_store_set_bound_activity(store_db& db, const std::string& id,
                                           const std::string& activity) {
    db.assert_writer();
    return exec(db, "UPDATE tide_records SET bound_activity = ? WHERE id = ?", activity, id);
}

tbs_status_t tide_store_get_record(store_db& db, const std::string& id, CTide_Record* out) {
    return one(
        db, "SELECT " RECORD_COLUMNS " FROM tide_records WHERE id = ?",
        [&](store_stmt& s) { read_record(s, out); }, id);
}

tbs_status_t tide_store_records(store_db& db, const std::string& owner,
                                std::vector<CTide_Record>* out) {
    if (owner.empty())
        return rows(db, "SELECT " RECORD_COLUMNS " FROM tide_records ORDER BY id", out,
                    [](store_stmt& s, CTide_Record* r) { read_record(s, r); });
    return rows(
        db, "SELECT " RECORD_COLUMNS " FROM tide_records WHERE owner = ? ORDER BY id", out,
        [](store_stmt& s, CTide_Record* r) { read_record(s, r); }, owner);
}

tbs_status_t tide_store_record_types(store_db& db, std::vector<std::string>* out) {
    out->clear();
    return rows(db, "SELECT DISTINCT rec_type FROM tide_records ORDER BY rec_type", out,
                [](store_stmt& s, std::string* v) { *v = s.column_string(0); });
}
