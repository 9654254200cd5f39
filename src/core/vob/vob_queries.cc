// The VOB layer's queries over the object model (SQLite and PostgreSQL compatible).
#include "core/store/db.h"
#include "core/store/query.h"
#include "core/vob/vob_store.h"

using store_query::each;
using store_query::exec;
using store_query::one;
using store_query::rows;

namespace {

void read_version(store_stmt& s, vob_version_info_t* v) {
    v->dbid = s.column_int64(0);
    v->element = s.column_int64(1);
    v->branch = s.column_int64(2);
    v->number = s.column_int64(3);
    v->content = s.column_string(4);
    v->size = s.column_int64(5);
    v->comment = s.column_string(6);
    v->predecessor = s.column_int64(7);
    v->created = s.column_int64(8);
    v->creator = s.column_string(9);
    v->is_dir = s.column_int64(10) == 3;
    v->checked_out = false;
}

constexpr const char* kVersionCols =
    "SELECT v.dbid, v.element, v.branch, v.number, v.content, v.size, v.comment, v.pred,"
    " o.created, o.creator, o.mtype FROM versions v JOIN objects o ON o.dbid = v.dbid";

void read_type(store_stmt& s, vob_type_info_t* t) {
    t->dbid = s.column_int64(0);
    t->mtype = static_cast<int>(s.column_int64(1));
    t->name = s.column_string(2);
    t->merge_type = static_cast<int>(s.column_int64(3));
    t->type_manager = s.column_string(4);
}

void read_checkout(store_stmt& s, vob_checkout_info_t* c) {
    c->dbid = s.column_int64(0);
    c->element = s.column_int64(1);
    c->branch = s.column_int64(2);
    c->pred_version = s.column_int64(3);
    std::string view = s.column_string(4);
    if (tbs_uuid_from_str(view.c_str(), &c->view_uuid) != TBS_ST_OK) c->view_uuid = {};
    c->reserved = s.column_int64(5) == 1;
    c->user = s.column_string(6);
    c->at = s.column_int64(7);
    c->comment = s.column_string(8);
}

constexpr const char* kCheckoutCols =
    "SELECT dbid, element, branch, pred_version, view_uuid, reserved, usr, at, comment"
    " FROM checkouts";

}  // namespace

// Objects -------------------------------------------------------------------------------

tbs_status_t vob_store_get_object(store_db& db, int64_t dbid, vob_obj_info_t* out) {
    return one(
        db, "SELECT mtype, oid, owner, grp, mode, created, creator FROM objects WHERE dbid = ?",
        [&](store_stmt& s) {
            out->dbid = dbid;
            out->mtype = static_cast<int>(s.column_int64(0));
            std::string oid = s.column_string(1);
            tbs_uuid_from_str(oid.c_str(), &out->oid);
            out->owner = s.column_string(2);
            out->group = s.column_string(3);
            out->mode = static_cast<int>(s.column_int64(4));
            out->created = s.column_int64(5);
            out->creator = s.column_string(6);
        },
        dbid);
}

tbs_status_t vob_store_find_oid(store_db& db, const std::string& oid, int64_t* dbid) {
    return one(
        db, "SELECT dbid FROM objects WHERE oid = ?",
        [&](store_stmt& s) { *dbid = s.column_int64(0); }, oid);
}

tbs_status_t vob_store_set_protection(store_db& db, int64_t dbid, const std::string& owner,
                                      const std::string& group, int mode) {
    db.assert_writer();
    return exec(db, "UPDATE objects SET owner = ?, grp = ?, mode = ? WHERE dbid = ?", owner, group,
                mode, dbid);
}

tbs_status_t vob_store_set_object_mtype(store_db& db, int64_t dbid, int mtype) {
    db.assert_writer();
    return exec(db, "UPDATE objects SET mtype = ? WHERE dbid = ?", mtype, dbid);
}

tbs_status_t vob_store_delete_object(store_db& db, int64_t dbid) {
    db.assert_writer();
    tbs_status_t st = exec(db, "DELETE FROM attributes WHERE obj = ?", dbid);
    if (st == TBS_ST_OK) st = exec(db, "DELETE FROM locks WHERE obj = ?", dbid);
    // A checkout undone leaves its activity's change set.
    if (st == TBS_ST_OK) st = exec(db, "DELETE FROM xcm_changes WHERE version = ?", dbid);
    if (st == TBS_ST_OK) st = exec(db, "DELETE FROM objects WHERE dbid = ?", dbid);
    return st;
}

// Types ---------------------------------------------------------------------------------

tbs_status_t vob_store_get_type(store_db& db, int64_t dbid, vob_type_info_t* out) {
    return one(
        db, "SELECT dbid, mtype, name, merge_type, type_manager FROM types WHERE dbid = ?",
        [&](store_stmt& s) { read_type(s, out); }, dbid);
}

tbs_status_t vob_store_find_type_info(store_db& db, int mtype, const char* name,
                                      vob_type_info_t* out) {
    return one(
        db,
        "SELECT dbid, mtype, name, merge_type, type_manager FROM types"
        " WHERE mtype = ? AND name = ?",
        [&](store_stmt& s) { read_type(s, out); }, mtype, name);
}

tbs_status_t vob_store_list_types(store_db& db, int mtype, std::vector<vob_type_info_t>* out) {
    return rows(db,
                "SELECT dbid, mtype, name, merge_type, type_manager FROM types"
                " WHERE mtype = ? ORDER BY name",
                out, read_type, mtype);
}

tbs_status_t vob_store_type_uses(store_db& db, const vob_type_info_t& type, int64_t* uses) {
    const char* sql = nullptr;
    switch (type.mtype) {
        case VOB_MTYPE_ELTYPE:
            sql = "SELECT COUNT(*) FROM elements WHERE eltype = ?";
            break;
        case VOB_MTYPE_BRTYPE:
            sql = "SELECT COUNT(*) FROM branches WHERE brtype = ?";
            break;
        case VOB_MTYPE_LBTYPE:
            sql = "SELECT COUNT(*) FROM labels WHERE lbtype = ?";
            break;
        case VOB_MTYPE_ATTYPE:
            sql = "SELECT COUNT(*) FROM attributes WHERE attype = ?";
            break;
        case VOB_MTYPE_HLTYPE:
            sql = "SELECT COUNT(*) FROM hyperlinks WHERE hltype = ?";
            break;
        // A policy is used by the role maps that name it, a role map by what it protects.
        case VOB_MTYPE_POLICY:
            sql = "SELECT COUNT(*) FROM acl_rolemaps WHERE policy = ?";
            break;
        case VOB_MTYPE_ROLEMAP:
            sql = "SELECT COUNT(*) FROM acl_protected WHERE rolemap = ?";
            break;
        default:
            *uses = 0;
            return TBS_ST_OK;
    }
    return one(
        db, sql, [&](store_stmt& s) { *uses = s.column_int64(0); }, type.dbid);
}

tbs_status_t vob_store_remove_type_uses(store_db& db, const vob_type_info_t& type) {
    db.assert_writer();
    switch (type.mtype) {
        case VOB_MTYPE_LBTYPE: {
            // Every element that loses the label may now be seen at another version.
            tbs_status_t st = vob_store_journal_label_type(db, type.dbid);
            return st == TBS_ST_OK ? exec(db, "DELETE FROM labels WHERE lbtype = ?", type.dbid)
                                   : st;
        }
        case VOB_MTYPE_ATTYPE:
            return exec(db, "DELETE FROM attributes WHERE attype = ?", type.dbid);
        case VOB_MTYPE_HLTYPE: {
            std::vector<int64_t> links;
            tbs_status_t st = each(
                db, "SELECT dbid FROM hyperlinks WHERE hltype = ?",
                [&](store_stmt& s) { links.push_back(s.column_int64(0)); }, type.dbid);
            for (int64_t l : links) {
                if (st == TBS_ST_OK) st = exec(db, "DELETE FROM hyperlinks WHERE dbid = ?", l);
                if (st == TBS_ST_OK) st = vob_store_delete_object(db, l);
            }
            return st;
        }
        default:
            return TBS_ST_OK;
    }
}

tbs_status_t vob_store_delete_type(store_db& db, int64_t dbid) {
    db.assert_writer();
    tbs_status_t st = exec(db, "DELETE FROM trtypes WHERE dbid = ?", dbid);
    if (st == TBS_ST_OK) st = exec(db, "DELETE FROM acl_policy_entries WHERE policy = ?", dbid);
    if (st == TBS_ST_OK) st = exec(db, "DELETE FROM acl_role_entries WHERE rolemap = ?", dbid);
    if (st == TBS_ST_OK) st = exec(db, "DELETE FROM acl_rolemaps WHERE dbid = ?", dbid);
    if (st == TBS_ST_OK) st = exec(db, "DELETE FROM types WHERE dbid = ?", dbid);
    return st == TBS_ST_OK ? vob_store_delete_object(db, dbid) : st;
}

tbs_status_t vob_store_rename_type(store_db& db, int64_t dbid, const std::string& name) {
    db.assert_writer();
    vob_type_info_t t, other;
    tbs_status_t st = vob_store_get_type(db, dbid, &t);
    if (st != TBS_ST_OK) return st;
    if (vob_store_find_type_info(db, t.mtype, name.c_str(), &other) == TBS_ST_OK)
        return TBS_ST_EXISTS;
    return exec(db, "UPDATE types SET name = ? WHERE dbid = ?", name, dbid);
}

tbs_status_t vob_store_new_trigger(store_db& db, const vob_store_trigger_t& t) {
    db.assert_writer();
    return exec(db, "INSERT INTO trtypes (dbid, pre, ops, eltype, command) VALUES (?, ?, ?, ?, ?)",
                t.dbid, static_cast<int64_t>(t.pre ? 1 : 0), t.ops, t.eltype, t.command);
}

tbs_status_t vob_store_triggers(store_db& db, std::vector<vob_store_trigger_t>* out) {
    out->clear();
    return each(db,
                "SELECT r.dbid, t.name, r.pre, r.ops, r.eltype, r.command FROM trtypes r"
                " JOIN types t ON t.dbid = r.dbid ORDER BY r.dbid",
                [&](store_stmt& s) {
                    vob_store_trigger_t t;
                    t.dbid = s.column_int64(0);
                    t.name = s.column_text(1);
                    t.pre = s.column_int64(2) != 0;
                    t.ops = s.column_text(3);
                    t.eltype = s.column_text(4);
                    t.command = s.column_text(5);
                    out->push_back(std::move(t));
                });
}

// Elements and branches -----------------------------------------------------------------

tbs_status_t vob_store_get_element(store_db& db, int64_t dbid, int64_t* eltype, bool* is_dir,
                                   int64_t* main_branch) {
    return one(
        db, "SELECT eltype, is_dir, COALESCE(main_branch, 0) FROM elements WHERE dbid = ?",
        [&](store_stmt& s) {
            if (eltype) *eltype = s.column_int64(0);
            if (is_dir) *is_dir = s.column_int64(1) == 1;
            if (main_branch) *main_branch = s.column_int64(2);
        },
        dbid);
}

tbs_status_t vob_store_get_branch(store_db& db, int64_t dbid, int64_t* element, int64_t* brtype,
                                  int64_t* parent_version) {
    return one(
        db, "SELECT element, brtype, COALESCE(parent_version, 0) FROM branches WHERE dbid = ?",
        [&](store_stmt& s) {
            if (element) *element = s.column_int64(0);
            if (brtype) *brtype = s.column_int64(1);
            if (parent_version) *parent_version = s.column_int64(2);
        },
        dbid);
}

tbs_status_t vob_store_find_branch(store_db& db, int64_t element, int64_t brtype, int64_t* branch) {
    return one(
        db, "SELECT dbid FROM branches WHERE element = ? AND brtype = ?",
        [&](store_stmt& s) { *branch = s.column_int64(0); }, element, brtype);
}

tbs_status_t vob_store_delete_branch(store_db& db, int64_t branch) {
    db.assert_writer();
    int64_t element = 0;
    tbs_status_t st = vob_store_get_branch(db, branch, &element, nullptr, nullptr);
    if (st == TBS_ST_OK) st = vob_store_journal(db, element);
    if (st == TBS_ST_OK) st = exec(db, "DELETE FROM branches WHERE dbid = ?", branch);
    return st == TBS_ST_OK ? vob_store_delete_object(db, branch) : st;
}

tbs_status_t vob_store_set_element_type(store_db& db, int64_t element, int64_t eltype) {
    db.assert_writer();
    tbs_status_t st = vob_store_journal(db, element);
    return st == TBS_ST_OK
               ? exec(db, "UPDATE elements SET eltype = ? WHERE dbid = ?", eltype, element)
               : st;
}

// Versions ------------------------------------------------------------------------------

tbs_status_t vob_store_get_version(store_db& db, int64_t dbid, vob_version_info_t* out) {
    static const std::string sql = std::string(kVersionCols) + " WHERE v.dbid = ?";
    return one(
        db, sql.c_str(), [&](store_stmt& s) { read_version(s, out); }, dbid);
}

tbs_status_t vob_store_find_version(store_db& db, int64_t branch, int64_t number, int64_t* dbid) {
    return one(
        db, "SELECT dbid FROM versions WHERE branch = ? AND number = ?",
        [&](store_stmt& s) { *dbid = s.column_int64(0); }, branch, number);
}

tbs_status_t vob_store_latest_version(store_db& db, int64_t branch, int64_t* dbid,
                                      int64_t* number) {
    return one(
        db, "SELECT dbid, number FROM versions WHERE branch = ? ORDER BY number DESC LIMIT 1",
        [&](store_stmt& s) {
            *dbid = s.column_int64(0);
            if (number) *number = s.column_int64(1);
        },
        branch);
}

tbs_status_t vob_store_list_versions(store_db& db, int64_t element,
                                     std::vector<vob_version_info_t>* out) {
    static const std::string sql =
        std::string(kVersionCols) + " WHERE v.element = ? ORDER BY v.branch, v.number";
    return rows(db, sql.c_str(), out, read_version, element);
}

tbs_status_t vob_store_delete_version(store_db& db, int64_t dbid) {
    db.assert_writer();
    tbs_status_t st = vob_store_journal_version(db, dbid);
    if (st == TBS_ST_OK) st = exec(db, "DELETE FROM labels WHERE version = ?", dbid);
    if (st == TBS_ST_OK) st = vob_store_dir_clear(db, dbid);
    if (st == TBS_ST_OK) st = exec(db, "DELETE FROM versions WHERE dbid = ?", dbid);
    return st == TBS_ST_OK ? vob_store_delete_object(db, dbid) : st;
}

// Directory versions --------------------------------------------------------------------

tbs_status_t vob_store_dir_lookup(store_db& db, int64_t version, const std::string& name,
                                  int64_t* target, int* mtype) {
    return one(
        db,
        "SELECT d.target, o.mtype FROM dir_entries d JOIN objects o ON o.dbid = d.target"
        " WHERE d.version = ? AND d.name = ?",
        [&](store_stmt& s) {
            *target = s.column_int64(0);
            if (mtype) *mtype = static_cast<int>(s.column_int64(1));
        },
        version, name);
}

tbs_status_t vob_store_dir_list(store_db& db, int64_t version, std::vector<vob_dir_entry_t>* out) {
    out->clear();
    return each(
        db,
        "SELECT d.name, d.target, o.mtype FROM dir_entries d JOIN objects o"
        " ON o.dbid = d.target WHERE d.version = ? ORDER BY d.name",
        [&](store_stmt& s) {
            out->push_back(
                {s.column_string(0), s.column_int64(1), static_cast<int>(s.column_int64(2))});
        },
        version);
}

tbs_status_t vob_store_dir_copy(store_db& db, int64_t from_version, int64_t to_version) {
    tbs_status_t st = vob_store_journal_version(db, to_version);
    if (st != TBS_ST_OK) return st;
    return exec(db,
                "INSERT INTO dir_entries (version, name, target)"
                " SELECT ?, name, target FROM dir_entries WHERE version = ?",
                to_version, from_version);
}

tbs_status_t vob_store_dir_add(store_db& db, int64_t version, const std::string& name,
                               int64_t target) {
    tbs_status_t st = vob_store_journal_version(db, version);
    if (st != TBS_ST_OK) return st;
    return exec(db, "INSERT INTO dir_entries (version, name, target) VALUES (?, ?, ?)", version,
                name, target);
}

tbs_status_t vob_store_dir_remove(store_db& db, int64_t version, const std::string& name) {
    tbs_status_t st = vob_store_journal_version(db, version);
    if (st != TBS_ST_OK) return st;
    return exec(db, "DELETE FROM dir_entries WHERE version = ? AND name = ?", version, name);
}

tbs_status_t vob_store_dir_clear(store_db& db, int64_t version) {
    tbs_status_t st = vob_store_journal_version(db, version);
    if (st != TBS_ST_OK) return st;
    return exec(db, "DELETE FROM dir_entries WHERE version = ?", version);
}

tbs_status_t vob_store_dir_parents(store_db& db, int64_t target,
                                   std::vector<std::pair<int64_t, std::string>>* out) {
    out->clear();
    return each(
        db, "SELECT version, name FROM dir_entries WHERE target = ? ORDER BY version DESC",
        [&](store_stmt& s) { out->emplace_back(s.column_int64(0), s.column_string(1)); }, target);
}

tbs_status_t vob_store_dir_bindings(store_db& db, int64_t target, std::vector<vob_binding_t>* out) {
    out->clear();
    return each(
        db,
        "SELECT d.version, COALESCE(v.element, c.element, 0), d.name FROM dir_entries d"
        " LEFT JOIN versions v ON v.dbid = d.version LEFT JOIN checkouts c ON c.dbid = d.version"
        " WHERE d.target = ? ORDER BY d.version, d.name",
        [&](store_stmt& s) {
            out->push_back({s.column_int64(0), s.column_int64(1), s.column_string(2)});
        },
        target);
}

tbs_status_t vob_store_new_slink(store_db& db, int64_t dbid, const std::string& text) {
    db.assert_writer();
    return exec(db, "INSERT INTO slinks (dbid, target) VALUES (?, ?)", dbid, text);
}

tbs_status_t vob_store_get_slink(store_db& db, int64_t dbid, std::string* text) {
    return one(
        db, "SELECT target FROM slinks WHERE dbid = ?",
        [&](store_stmt& s) { *text = s.column_string(0); }, dbid);
}

// Checkouts -----------------------------------------------------------------------------

tbs_status_t vob_store_new_checkout(store_db& db, const vob_checkout_info_t& c) {
    db.assert_writer();
    char view[TBS_UUID_STR_SIZE];
    tbs_uuid_to_str(c.view_uuid, view);
    tbs_status_t st = exec(db,
                           "INSERT INTO checkouts (dbid, element, branch, pred_version, view_uuid,"
                           " reserved, usr, at, comment) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)",
                           c.dbid, c.element, c.branch, c.pred_version, view, c.reserved ? 1 : 0,
                           c.user, c.at, c.comment);
    return st == TBS_ST_OK ? vob_store_journal(db, c.element) : st;
}

tbs_status_t vob_store_get_checkout(store_db& db, int64_t dbid, vob_checkout_info_t* out) {
    static const std::string sql = std::string(kCheckoutCols) + " WHERE dbid = ?";
    return one(
        db, sql.c_str(), [&](store_stmt& s) { read_checkout(s, out); }, dbid);
}

tbs_status_t vob_store_find_checkout(store_db& db, int64_t element, const std::string& view_uuid,
                                     vob_checkout_info_t* out) {
    static const std::string sql =
        std::string(kCheckoutCols) + " WHERE element = ? AND view_uuid = ?";
    return one(
        db, sql.c_str(), [&](store_stmt& s) { read_checkout(s, out); }, element, view_uuid);
}

tbs_status_t vob_store_list_checkouts(store_db& db, int64_t element,
                                      std::vector<vob_checkout_info_t>* out) {
    static const std::string by_element =
        std::string(kCheckoutCols) + " WHERE element = ? ORDER BY dbid";
    static const std::string all = std::string(kCheckoutCols) + " ORDER BY dbid";
    return element ? rows(db, by_element.c_str(), out, read_checkout, element)
                   : rows(db, all.c_str(), out, read_checkout);
}

tbs_status_t vob_store_view_checkouts(store_db& db, const std::string& view_uuid,
                                      std::vector<vob_checkout_info_t>* out) {
    static const std::string sql =
        std::string(kCheckoutCols) + " WHERE view_uuid = ? ORDER BY element";
    return rows(db, sql.c_str(), out, read_checkout, view_uuid);
}

tbs_status_t vob_store_delete_checkout(store_db& db, int64_t dbid) {
    db.assert_writer();
    tbs_status_t st = vob_store_journal_version(db, dbid);
    return st == TBS_ST_OK ? exec(db, "DELETE FROM checkouts WHERE dbid = ?", dbid) : st;
}

tbs_status_t vob_store_set_checkout_reserved(store_db& db, int64_t dbid, bool reserved) {
    db.assert_writer();
    return exec(db, "UPDATE checkouts SET reserved = ? WHERE dbid = ?", reserved ? 1 : 0, dbid);
}

// Elements by the types they use ----------------------------------------------------------

// Both reads walk an index on the type (branches_brtype, the labels' primary key).
tbs_status_t vob_store_elements_using_type(store_db& db, int mtype, int64_t type,
                                           std::vector<int64_t>* elements) {
    const char* sql = nullptr;
    if (mtype == VOB_MTYPE_BRTYPE)
        sql = "SELECT element FROM branches WHERE brtype = ? ORDER BY element";
    else if (mtype == VOB_MTYPE_LBTYPE)
        sql = "SELECT element FROM labels WHERE lbtype = ? ORDER BY element";
    else
        return TBS_ST_INVALID;
    return rows(
        db, sql, elements, [](store_stmt& s, int64_t* e) { *e = s.column_int64(0); }, type);
}

// Labels, attributes, hyperlinks, locks, events -----------------------------------------

tbs_status_t vob_store_get_label(store_db& db, int64_t lbtype, int64_t element, int64_t* version) {
    return one(
        db, "SELECT version FROM labels WHERE lbtype = ? AND element = ?",
        [&](store_stmt& s) { *version = s.column_int64(0); }, lbtype, element);
}

tbs_status_t vob_store_set_label(store_db& db, int64_t lbtype, int64_t element, int64_t version) {
    db.assert_writer();
    tbs_status_t st = vob_store_journal(db, element);
    if (st != TBS_ST_OK) return st;
    return exec(db,
                "INSERT INTO labels (lbtype, element, version) VALUES (?, ?, ?)"
                " ON CONFLICT (lbtype, element) DO UPDATE SET version = excluded.version",
                lbtype, element, version);
}

tbs_status_t vob_store_remove_label(store_db& db, int64_t lbtype, int64_t element) {
    db.assert_writer();
    tbs_status_t st = vob_store_journal(db, element);
    if (st != TBS_ST_OK) return st;
    return exec(db, "DELETE FROM labels WHERE lbtype = ? AND element = ?", lbtype, element);
}

tbs_status_t vob_store_version_labels(store_db& db, int64_t version,
                                      std::vector<std::string>* out) {
    out->clear();
    return each(
        db,
        "SELECT t.name FROM labels l JOIN types t ON t.dbid = l.lbtype WHERE l.version = ?"
        " ORDER BY t.name",
        [&](store_stmt& s) { out->push_back(s.column_string(0)); }, version);
}

tbs_status_t vob_store_set_attr(store_db& db, int64_t obj, int64_t attype,
                                const std::string& value) {
    db.assert_writer();
    return exec(db,
                "INSERT INTO attributes (obj, attype, value) VALUES (?, ?, ?)"
                " ON CONFLICT (obj, attype) DO UPDATE SET value = excluded.value",
                obj, attype, value);
}

tbs_status_t vob_store_get_attr(store_db& db, int64_t obj, int64_t attype, std::string* value) {
    return one(
        db, "SELECT value FROM attributes WHERE obj = ? AND attype = ?",
        [&](store_stmt& s) { *value = s.column_string(0); }, obj, attype);
}

tbs_status_t vob_store_remove_attr(store_db& db, int64_t obj, int64_t attype) {
    db.assert_writer();
    return exec(db, "DELETE FROM attributes WHERE obj = ? AND attype = ?", obj, attype);
}

tbs_status_t vob_store_list_attrs(store_db& db, int64_t obj,
                                  std::vector<std::pair<std::string, std::string>>* out) {
    out->clear();
    return each(
        db,
        "SELECT t.name, a.value FROM attributes a JOIN types t ON t.dbid = a.attype"
        " WHERE a.obj = ? ORDER BY t.name",
        [&](store_stmt& s) { out->emplace_back(s.column_string(0), s.column_string(1)); }, obj);
}

tbs_status_t vob_store_new_hlink(store_db& db, int64_t dbid, int64_t hltype, int64_t from,
                                 int64_t to, const std::string& text) {
    db.assert_writer();
    return exec(db,
                "INSERT INTO hyperlinks (dbid, hltype, from_obj, to_obj, text)"
                " VALUES (?, ?, ?, ?, ?)",
                dbid, hltype, from, to, text);
}

tbs_status_t vob_store_delete_hlink(store_db& db, int64_t dbid) {
    db.assert_writer();
    tbs_status_t st = exec(db, "DELETE FROM hyperlinks WHERE dbid = ?", dbid);
    return st == TBS_ST_OK ? vob_store_delete_object(db, dbid) : st;
}

tbs_status_t vob_store_list_hlinks(store_db& db, int64_t obj, std::vector<vob_hlink_info_t>* out) {
    out->clear();
    return each(
        db,
        "SELECT h.dbid, t.name, h.from_obj, h.to_obj, h.text FROM hyperlinks h JOIN types t"
        " ON t.dbid = h.hltype WHERE h.from_obj = ? OR h.to_obj = ? ORDER BY h.dbid",
        [&](store_stmt& s) {
            out->push_back({s.column_int64(0), s.column_string(1), s.column_int64(2),
                            s.column_int64(3), s.column_string(4)});
        },
        obj, obj);
}

tbs_status_t vob_store_set_lock(store_db& db, int64_t obj, bool obsolete,
                                const std::string& excluded, const std::string& locker,
                                int64_t at) {
    db.assert_writer();
    return exec(db,
                "INSERT INTO locks (obj, obsolete, excluded, locker, locked_at)"
                " VALUES (?, ?, ?, ?, ?) ON CONFLICT (obj) DO UPDATE SET"
                " obsolete = excluded.obsolete, excluded = excluded.excluded,"
                " locker = excluded.locker, locked_at = excluded.locked_at",
                obj, obsolete ? 1 : 0, excluded, locker, at);
}

tbs_status_t vob_store_get_lock(store_db& db, int64_t obj, vob_lock_info_t* out) {
    *out = vob_lock_info_t{};
    tbs_status_t st = one(
        db, "SELECT obsolete, excluded, locker, locked_at FROM locks WHERE obj = ?",
        [&](store_stmt& s) {
            out->locked = true;
            out->obsolete = s.column_int64(0) == 1;
            std::string users = s.column_string(1);
            size_t start = 0;
            while (start < users.size()) {
                size_t comma = users.find(',', start);
                if (comma == std::string::npos) comma = users.size();
                if (comma > start) out->excluded.push_back(users.substr(start, comma - start));
                start = comma + 1;
            }
            out->locker = s.column_string(2);
            out->at = s.column_int64(3);
        },
        obj);
    return st == TBS_ST_NOT_FOUND ? TBS_ST_OK : st;
}

tbs_status_t vob_store_remove_lock(store_db& db, int64_t obj) {
    db.assert_writer();
    return exec(db, "DELETE FROM locks WHERE obj = ?", obj);
}

tbs_status_t vob_store_list_events(store_db& db, int64_t obj, std::vector<vob_event_info_t>* out) {
    out->clear();
    return each(
        db,
        "SELECT id, obj, kind, usr, host, at, comment FROM events WHERE obj = ? ORDER BY id DESC",
        [&](store_stmt& s) {
            out->push_back({s.column_int64(0), s.column_int64(1), s.column_string(2),
                            s.column_string(3), s.column_string(4), s.column_int64(5),
                            s.column_string(6)});
        },
        obj);
}

tbs_status_t vob_store_list_contents(store_db& db, std::vector<std::string>* out) {
    out->clear();
    return each(db, "SELECT DISTINCT content FROM versions WHERE content <> '' ORDER BY content",
                [&](store_stmt& s) { out->push_back(s.column_string(0)); });
}

tbs_status_t vob_store_check_rows(store_db& db, std::vector<std::string>* problems) {
    // Each query answers the dbids of the objects that lack what `fault` names. The
    // references the schema declares are the engine's own check; these are the ones it
    // cannot declare.
    struct rule {
        const char* fault;
        const char* sql;
    };
    static const rule kRules[] = {
        {"element object without its element row",
         "SELECT o.dbid FROM objects o WHERE o.mtype IN (4, 5)"
         " AND NOT EXISTS (SELECT 1 FROM elements e WHERE e.dbid = o.dbid) ORDER BY o.dbid"},
        {"element without its main branch",
         "SELECT e.dbid FROM elements e WHERE e.main_branch IS NULL OR NOT EXISTS"
         " (SELECT 1 FROM branches b WHERE b.dbid = e.main_branch AND b.element = e.dbid)"
         " ORDER BY e.dbid"},
        {"branch object without its branch row",
         "SELECT o.dbid FROM objects o WHERE o.mtype = 6"
         " AND NOT EXISTS (SELECT 1 FROM branches b WHERE b.dbid = o.dbid) ORDER BY o.dbid"},
        {"branch without its version 0",
         "SELECT b.dbid FROM branches b WHERE NOT EXISTS"
         " (SELECT 1 FROM versions v WHERE v.branch = b.dbid AND v.number = 0) ORDER BY b.dbid"},
        {"version of another element than its branch's",
         "SELECT v.dbid FROM versions v JOIN branches b ON b.dbid = v.branch"
         " WHERE b.element <> v.element ORDER BY v.dbid"},
        {"version object without its version or checkout row",
         "SELECT o.dbid FROM objects o WHERE o.mtype IN (2, 3)"
         " AND NOT EXISTS (SELECT 1 FROM versions v WHERE v.dbid = o.dbid)"
         " AND NOT EXISTS (SELECT 1 FROM checkouts c WHERE c.dbid = o.dbid) ORDER BY o.dbid"},
        {"symbolic link without its target",
         "SELECT o.dbid FROM objects o WHERE o.mtype = 7"
         " AND NOT EXISTS (SELECT 1 FROM slinks l WHERE l.dbid = o.dbid) ORDER BY o.dbid"},
        {"type object without its type row",
         "SELECT o.dbid FROM objects o WHERE o.mtype BETWEEN 8 AND 13"
         " AND NOT EXISTS (SELECT 1 FROM types t WHERE t.dbid = o.dbid) ORDER BY o.dbid"},
        {"hyperlink object without its hyperlink row",
         "SELECT o.dbid FROM objects o WHERE o.mtype = 14"
         " AND NOT EXISTS (SELECT 1 FROM hyperlinks h WHERE h.dbid = o.dbid) ORDER BY o.dbid"},
        {"directory entry of a missing version",
         "SELECT DISTINCT d.version FROM dir_entries d WHERE NOT EXISTS"
         " (SELECT 1 FROM versions v WHERE v.dbid = d.version) ORDER BY d.version"},
        {"checkout of a missing element or branch",
         "SELECT c.dbid FROM checkouts c WHERE NOT EXISTS"
         " (SELECT 1 FROM branches b WHERE b.dbid = c.branch AND b.element = c.element)"
         " ORDER BY c.dbid"},
    };
    for (const rule& r : kRules) {
        tbs_status_t st = each(db, r.sql, [&](store_stmt& s) {
            problems->push_back(std::string(r.fault) + ": dbid " +
                                std::to_string(s.column_int64(0)));
        });
        if (st != TBS_ST_OK) return st;
    }
    return TBS_ST_OK;
}

tbs_status_t vob_store_list_element_events(store_db& db, int64_t element,
                                           std::vector<vob_event_info_t>* out) {
    out->clear();
    return each(
        db,
        "SELECT id, obj, kind, usr, host, at, comment FROM events WHERE obj = ?"
        " OR obj IN (SELECT dbid FROM versions WHERE element = ?)"
        " OR obj IN (SELECT dbid FROM branches WHERE element = ?) ORDER BY id DESC",
        [&](store_stmt& s) {
            out->push_back({s.column_int64(0), s.column_int64(1), s.column_string(2),
                            s.column_string(3), s.column_string(4), s.column_int64(5),
                            s.column_string(6)});
        },
        element, element, element);
}

tbs_status_t vob_store_set_object_created(store_db& db, int64_t dbid, int64_t created,
                                          const std::string& creator) {
    db.assert_writer();
    return exec(db, "UPDATE objects SET created = ?, creator = ? WHERE dbid = ?", created, creator,
                dbid);
}

tbs_status_t vob_store_count_branch_children(store_db& db, int64_t branch, int64_t* count) {
    return one(
        db,
        "SELECT COUNT(*) FROM branches b JOIN versions v ON v.dbid = b.parent_version"
        " WHERE v.branch = ?",
        [&](store_stmt& s) { *count = s.column_int64(0); }, branch);
}

tbs_status_t vob_store_find_hlink(store_db& db, int64_t hltype, int64_t from, int64_t to,
                                  int64_t* dbid) {
    return one(
        db, "SELECT dbid FROM hyperlinks WHERE hltype = ? AND from_obj = ? AND to_obj = ?",
        [&](store_stmt& s) { *dbid = s.column_int64(0); }, hltype, from, to);
}

tbs_status_t vob_store_set_version_comment(store_db& db, int64_t version,
                                           const std::string& comment) {
    db.assert_writer();
    tbs_status_t st = exec(db, "UPDATE versions SET comment = ? WHERE dbid = ?", comment, version);
    if (st == TBS_ST_OK && db.changes() == 0) return TBS_ST_NOT_FOUND;
    return st;
}

tbs_status_t vob_store_first_event_comment(store_db& db, int64_t obj, std::string* comment) {
    return one(
        db, "SELECT comment FROM events WHERE obj = ? ORDER BY id LIMIT 1",
        [&](store_stmt& s) { *comment = s.column_string(0); }, obj);
}

tbs_status_t vob_store_set_first_event_comment(store_db& db, int64_t obj,
                                               const std::string& comment) {
    db.assert_writer();
    return exec(
        db, "UPDATE events SET comment = ? WHERE id = (SELECT MIN(id) FROM events WHERE obj = ?)",
        comment, obj);
}
