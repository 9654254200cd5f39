// The access-control queries (SQLite and PostgreSQL compatible).
#include "core/vob/vob_acl_store.h"

#include "core/store/db.h"
#include "core/store/query.h"

using namespace store_query;

tbs_status_t vob_acl_store_policy_entries(store_db& db, int64_t policy,
                                          std::vector<vob_acl_ace_t>* out) {
    return rows(
        db,
        "SELECT proxy, kind, name, access FROM acl_policy_entries WHERE policy = ?"
        " ORDER BY proxy, kind, name",
        out,
        [](store_stmt& s, vob_acl_ace_t* e) {
            e->proxy = s.column_string(0);
            e->kind = s.column_string(1);
            e->name = s.column_string(2);
            e->access = static_cast<int>(s.column_int64(3));
        },
        policy);
}

tbs_status_t vob_acl_store_set_policy_entries(store_db& db, int64_t policy,
                                              const std::vector<vob_acl_ace_t>& entries) {
    db.assert_writer();
    tbs_status_t st = exec(db, "DELETE FROM acl_policy_entries WHERE policy = ?", policy);
    for (const vob_acl_ace_t& e : entries) {
        if (st != TBS_ST_OK) break;
        st = exec(db,
                  "INSERT INTO acl_policy_entries (policy, proxy, kind, name, access)"
                  " VALUES (?, ?, ?, ?, ?) ON CONFLICT (policy, proxy, kind, name) DO UPDATE"
                  " SET access = excluded.access",
                  policy, e.proxy, e.kind, e.name, e.access);
    }
    return st;
}

tbs_status_t vob_acl_store_get_rolemap(store_db& db, int64_t rolemap, int64_t* policy,
                                       std::vector<vob_acl_ace_t>* entries) {
    tbs_status_t st = one(
        db, "SELECT policy FROM acl_rolemaps WHERE dbid = ?",
        [&](store_stmt& s) { *policy = s.column_int64(0); }, rolemap);
    if (st != TBS_ST_OK || !entries) return st;
    return rows(
        db,
        "SELECT role, kind, name FROM acl_role_entries WHERE rolemap = ?"
        " ORDER BY role, kind, name",
        entries,
        [](store_stmt& s, vob_acl_ace_t* e) {
            e->role = s.column_string(0);
            e->kind = s.column_string(1);
            e->name = s.column_string(2);
        },
        rolemap);
}

tbs_status_t vob_acl_store_set_rolemap(store_db& db, int64_t rolemap, int64_t policy,
                                       const std::vector<vob_acl_ace_t>& entries) {
    db.assert_writer();
    tbs_status_t st = exec(db,
                           "INSERT INTO acl_rolemaps (dbid, policy) VALUES (?, ?)"
                           " ON CONFLICT (dbid) DO UPDATE SET policy = excluded.policy",
                           rolemap, policy);
    if (st == TBS_ST_OK) st = exec(db, "DELETE FROM acl_role_entries WHERE rolemap = ?", rolemap);
    for (const vob_acl_ace_t& e : entries) {
        if (st != TBS_ST_OK) break;
        st = exec(db,
                  "INSERT INTO acl_role_entries (rolemap, role, kind, name) VALUES (?, ?, ?, ?)"
                  " ON CONFLICT (rolemap, role, kind, name) DO NOTHING",
                  rolemap, e.role, e.kind, e.name);
    }
    return st;
}

tbs_status_t vob_acl_store_policy_rolemaps(store_db& db, int64_t policy,
                                           std::vector<int64_t>* out) {
    return rows(
        db, "SELECT dbid FROM acl_rolemaps WHERE policy = ? ORDER BY dbid", out,
        [](store_stmt& s, int64_t* v) { *v = s.column_int64(0); }, policy);
}

tbs_status_t vob_acl_store_object_rolemap(store_db& db, int64_t obj, int64_t* rolemap) {
    *rolemap = 0;
    tbs_status_t st = one(
        db, "SELECT rolemap FROM acl_protected WHERE obj = ?",
        [&](store_stmt& s) { *rolemap = s.column_int64(0); }, obj);
    return st == TBS_ST_NOT_FOUND ? TBS_ST_OK : st;
}

tbs_status_t vob_acl_store_set_object_rolemap(store_db& db, int64_t obj, int64_t rolemap) {
    db.assert_writer();
    if (!rolemap) return exec(db, "DELETE FROM acl_protected WHERE obj = ?", obj);
    return exec(db,
                "INSERT INTO acl_protected (obj, rolemap) VALUES (?, ?)"
                " ON CONFLICT (obj) DO UPDATE SET rolemap = excluded.rolemap",
                obj, rolemap);
}

tbs_status_t vob_acl_store_protecting_rolemap(store_db& db, int64_t obj, int64_t* rolemap) {
    *rolemap = 0;
    tbs_status_t st = one(
        db,
        "SELECT rolemap FROM acl_protected WHERE obj = ? OR obj = (SELECT CAST(value AS BIGINT)"
        " FROM vob_info WHERE key = 'vob_dbid') ORDER BY CASE WHEN obj = ? THEN 0 ELSE 1 END"
        " LIMIT 1",
        [&](store_stmt& s) { *rolemap = s.column_int64(0); }, obj, obj);
    return st == TBS_ST_NOT_FOUND ? TBS_ST_OK : st;
}

tbs_status_t vob_acl_store_rolemap_uses(store_db& db, int64_t rolemap, int64_t* uses) {
    *uses = 0;
    return one(
        db, "SELECT COUNT(*) FROM acl_protected WHERE rolemap = ?",
        [&](store_stmt& s) { *uses = s.column_int64(0); }, rolemap);
}
