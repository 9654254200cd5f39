// VOB creation, removal, opening and the process's handle cache.
#include "core/vob/vob.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "core/cred/credutl.h"
#include "core/imsg/imsg.h"
#include "core/rgy/rgy.h"
#include "core/store/content_pool.h"
#include "core/store/db.h"
#include "core/util/fileutl.h"
#include "core/util/pfm.h"
#include "core/vob/vob_store.h"
#include "core/vob/xcm_store.h"

namespace {

std::map<std::string, std::unique_ptr<vob_t>>& cache() {
    static auto* c = new std::map<std::string, std::unique_ptr<vob_t>>;
    return *c;
}

// The objects every VOB starts with, in one transaction.
tbs_status_t populate(store_db& db, const tbs_uuid_t& uuid, const tbs_uuid_t& family,
                      const char* comment, bool ucmproject) {
    credutl_creds_t who;
    tbs_status_t st = credutl_get_creds(&who);
    if (st != TBS_ST_OK) return st;
    const int64_t now = static_cast<int64_t>(time(nullptr));
    return db.transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
        auto object = [&](int mtype, int mode, int64_t* dbid) {
            vob_store_object_t o;
            o.mtype = mtype;
            o.owner = who.user;
            o.group = who.group;
            o.mode = mode;
            o.created = now;
            o.creator = who.user;
            return vob_store_new_object(db, txn, o, dbid);
        };
        tbs_status_t s;
        if ((s = vob_store_set_info(db, "uuid", tbs_uuid_text(uuid))) != TBS_ST_OK) return s;
        if ((s = vob_store_set_info(db, "family_uuid", tbs_uuid_text(family))) != TBS_ST_OK)
            return s;
        if ((s = vob_store_set_info(db, "gen_num", "1")) != TBS_ST_OK) return s;
        int64_t vob_obj = 0;
        if ((s = object(VOB_MTYPE_VOB, 0775, &vob_obj)) != TBS_ST_OK) return s;
        if ((s = vob_store_set_info(db, "vob_dbid", std::to_string(vob_obj))) != TBS_ST_OK)
            return s;
        struct TypeSeed {
            int mtype;
            const char* name;
            int merge;
            const char* manager;
        } seeds[] = {
            {VOB_MTYPE_ELTYPE, "file", VOB_MERGE_AUTO, "whole_copy"},
            {VOB_MTYPE_ELTYPE, "text_file", VOB_MERGE_AUTO, "text_file_delta"},
            {VOB_MTYPE_ELTYPE, "compressed_file", VOB_MERGE_USER, "z_whole_copy"},
            {VOB_MTYPE_ELTYPE, "directory", VOB_MERGE_AUTO, "directory"},
            {VOB_MTYPE_BRTYPE, "main", VOB_MERGE_AUTO, ""},
            {VOB_MTYPE_HLTYPE, "Merge", VOB_MERGE_AUTO, ""},
        };
        int64_t dir_type = 0, main_type = 0;
        for (const TypeSeed& t : seeds) {
            int64_t dbid = 0;
            if ((s = object(t.mtype, 0444, &dbid)) != TBS_ST_OK) return s;
            if ((s = vob_store_new_type(db, dbid, t.mtype, t.name, t.merge, t.manager)) !=
                TBS_ST_OK)
                return s;
            if (std::string(t.name) == "directory") dir_type = dbid;
            if (std::string(t.name) == "main") main_type = dbid;
        }
        int64_t root = 0, branch = 0, version = 0;
        if ((s = object(VOB_MTYPE_DIR_ELEMENT, 0775, &root)) != TBS_ST_OK) return s;
        if ((s = vob_store_new_element(db, root, dir_type, true)) != TBS_ST_OK) return s;
        if ((s = object(VOB_MTYPE_BRANCH, 0775, &branch)) != TBS_ST_OK) return s;
        if ((s = vob_store_new_branch(db, branch, root, main_type, 0)) != TBS_ST_OK) return s;
        if ((s = vob_store_set_main_branch(db, root, branch)) != TBS_ST_OK) return s;
        if ((s = object(VOB_MTYPE_DIR_VERSION, 0775, &version)) != TBS_ST_OK) return s;
        if ((s = vob_store_new_version(db, version, root, branch, 0, "", 0, "")) != TBS_ST_OK)
            return s;
        if ((s = vob_store_set_info(db, "root_element", std::to_string(root))) != TBS_ST_OK)
            return s;
        if ((s = vob_store_add_event(db, txn, vob_obj, "create versioned object base", who.user,
                                     pfm_host_name().c_str(), now, comment)) != TBS_ST_OK)
            return s;
        if (ucmproject) {
            // A project VOB starts with its root folder.
            int64_t folder = 0;
            xcm_folder_info_t f;
            if ((s = vob_store_set_info(db, "ucmproject", "1")) != TBS_ST_OK ||
                (s = object(VOB_MTYPE_FOLDER, 0775, &folder)) != TBS_ST_OK ||
                (s = xcm_store_new_obj(db, folder, VOB_MTYPE_FOLDER, "RootFolder")) != TBS_ST_OK)
                return s;
            f.dbid = folder;
            if ((s = xcm_store_put_folder(db, f)) != TBS_ST_OK) return s;
        }
        return txn.commit();
    });
}

tbs_status_t open_storage(const std::string& tag, const std::string& storage, vob_t** out) {
    auto it = cache().find(storage);
    if (it != cache().end()) {
        *out = it->second.get();
        return TBS_ST_OK;
    }
    auto vob = std::make_unique<vob_t>();
    vob->tag = tag;
    vob->storage = storage;
    tbs_status_t st = vob_store_open(storage, false, &vob->db);
    if (st != TBS_ST_OK) return st;
    if ((st = content_pool::open((storage + "/pool").c_str(), &vob->pool)) != TBS_ST_OK) return st;
    // What killed writers left behind goes when the VOB is opened and a sweep is due: one
    // listing of the pool directory. A failed sweep costs only room and is tried again later.
    int swept = 0;
    if (fileutl_sweep_due((storage + "/pool/.sweep-stamp").c_str()))
        vob->pool->sweep_temporaries(CONTENT_TEMP_STALE_S, &swept);
    std::string text;
    if ((st = vob_store_get_info(*vob->db, "uuid", &text)) != TBS_ST_OK) return st;
    if (tbs_uuid_from_str(text.c_str(), &vob->uuid) != TBS_ST_OK) return TBS_ST_ERR;
    if ((st = vob_store_get_info(*vob->db, "family_uuid", &text)) != TBS_ST_OK) return st;
    tbs_uuid_from_str(text.c_str(), &vob->family_uuid);
    if ((st = vob_store_get_info(*vob->db, "root_element", &text)) != TBS_ST_OK) return st;
    vob->root_element = std::stoll(text);
    *out = vob.get();
    cache()[storage] = std::move(vob);
    return TBS_ST_OK;
}

// Making and removing VOBs is the site's administrator's.
tbs_status_t check_site_admin(const char* what) {
    credutl_creds_t who;
    if (credutl_get_creds(&who) == TBS_ST_OK && credutl_is_privileged(who)) return TBS_ST_OK;
    imsg_error("Only the site's administrator may %s VOBs.\n", what);
    return TBS_ST_PERMISSION;
}

bool tag_char(char c) {
    return isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.';
}

// A storage directory named whole: absolute, without "." or ".." names or empty names.
bool plain_absolute(const std::string& path) {
    if (path.size() < 2 || path[0] != '/') return false;
    for (size_t at = 1; at <= path.size();) {
        size_t end = path.find('/', at);
        if (end == std::string::npos) end = path.size();
        const std::string name = path.substr(at, end - at);
        if (name.empty() || name == "." || name == "..") return false;
        at = end + 1;
    }
    return true;
}

}  // namespace

tbs_status_t vob_check_new_tag(const char* tag) {
    const std::string t = tag ? tag : "";
    const std::string root = std::string(VOB_TAG_ROOT) + "/";
    std::string leaf = t.compare(0, root.size(), root) == 0 ? t.substr(root.size()) : "";
    bool ok = !leaf.empty() && leaf.size() <= VOB_TAG_LEAF_MAX && leaf[0] != '.';
    for (char c : leaf) ok = ok && tag_char(c);
    if (!ok) {
        imsg_error(
            "A VOB tag is one name directly under \"%s\" (letters, digits, \"_\", \"-\" and "
            "\".\", not starting with \".\"): \"%s\".\n",
            VOB_TAG_ROOT, t.c_str());
        return TBS_ST_BAD_NAME;
    }
    // Tags never nest: a tag inside another would shadow the other's names.
    std::vector<rgy_vob_entry_t> tags;
    tbs_status_t st = rgy_list_vob_tags(nullptr, &tags);
    if (st != TBS_ST_OK) return st;
    for (const rgy_vob_entry_t& e : tags) {
        const std::string& o = e.tag;
        const bool nested =
            o == t ||
            (o.size() < t.size() && t.compare(0, o.size(), o) == 0 &&
             (t[o.size()] == '/' || o == "/")) ||
            (t.size() < o.size() && o.compare(0, t.size(), t) == 0 && o[t.size()] == '/');
        if (!nested) continue;
        if (o == t) return TBS_ST_EXISTS;  // taken: the caller says so as it always has
        imsg_error("The VOB tag \"%s\" overlaps \"%s\".\n", t.c_str(), o.c_str());
        return TBS_ST_EXISTS;
    }
    return TBS_ST_OK;
}

vob_t::~vob_t() = default;

tbs_status_t vob_create(const vob_create_args_t& args, tbs_uuid_t* uuid_out) {
    if (!args.tag || !args.storage || !*args.storage) return TBS_ST_BAD_REQUEST;
    tbs_status_t st = check_site_admin("make");
    if (st != TBS_ST_OK) return st;
    const std::string storage = args.storage;
    rgy_vob_entry_t existing;
    if (rgy_find_vob_by_tag(args.tag, nullptr, &existing) == TBS_ST_OK) return TBS_ST_EXISTS;
    if ((st = vob_check_new_tag(args.tag)) != TBS_ST_OK) return st;
    if (!plain_absolute(storage)) {
        imsg_error(
            "A VOB's storage is named by an absolute path without \".\" or \"..\": \"%s\".\n",
            storage.c_str());
        return TBS_ST_BAD_NAME;
    }
    std::error_code ec;
    if (std::filesystem::exists(storage, ec)) return tbs_errno2status(EEXIST);
    st = fileutl_mkdir_p((storage + "/pool").c_str(), 0775);
    if (st != TBS_ST_OK) return st;

    tbs_uuid_t uuid = tbs_uuid_create(), family = tbs_uuid_create();
    {
        std::shared_ptr<store_db> db;
        st = vob_store_open(storage, true, &db);
        if (st == TBS_ST_OK) st = populate(*db, uuid, family, args.comment, args.ucmproject);
    }
    if (st == TBS_ST_OK) {
        rgy_vob_entry_t entry;
        entry.tag = args.tag;
        entry.uuid = uuid;
        entry.storage = storage;
        entry.is_public = args.is_public;
        st = rgy_add_vob_tag(entry);
    }
    if (st != TBS_ST_OK) {
        std::filesystem::remove_all(storage, ec);
        return st;
    }
    if (uuid_out) *uuid_out = uuid;
    return TBS_ST_OK;
}

tbs_status_t vob_remove(const char* tag) {
    rgy_vob_entry_t entry;
    tbs_status_t st = check_site_admin("remove");
    if (st == TBS_ST_OK) st = rgy_find_vob_by_tag(tag, nullptr, &entry);
    if (st != TBS_ST_OK) return st;
    cache().erase(entry.storage);
    if ((st = rgy_remove_vob_tag(tag, nullptr)) != TBS_ST_OK) return st;
    if ((st = vob_store_remove(entry.storage)) != TBS_ST_OK) return st;
    std::error_code ec;
    std::filesystem::remove_all(entry.storage, ec);
    return ec ? tbs_errno2status(ec.value()) : TBS_ST_OK;
}

tbs_status_t vob_open_entry(const rgy_vob_entry_t& entry, vob_t** vob) {
    return open_storage(entry.tag, entry.storage, vob);
}

tbs_status_t vob_open_by_tag(const char* tag, vob_t** vob) {
    rgy_vob_entry_t entry;
    tbs_status_t st = rgy_find_vob_by_tag(tag, nullptr, &entry);
    if (st != TBS_ST_OK) return st;
    return open_storage(entry.tag, entry.storage, vob);
}

tbs_status_t vob_open_by_uuid(const tbs_uuid_t& uuid, vob_t** vob) {
    // A VOB this process has open already answers without the registry: callers ask for
    // the same few VOBs once per element.
    for (const auto& [storage, open] : cache()) {
        if (memcmp(open->uuid.bytes, uuid.bytes, sizeof uuid.bytes) == 0) {
            *vob = open.get();
            return TBS_ST_OK;
        }
    }
    rgy_vob_entry_t entry;
    tbs_status_t st = rgy_find_vob_by_uuid(uuid, &entry);
    if (st != TBS_ST_OK) return st;
    return open_storage(entry.tag, entry.storage, vob);
}

void vob_ob_all_cache_action(int action) {
    if (action >= 3) cache().clear();
}

tbs_status_t vob_ob_get_gen_num(vob_t* vob, int64_t* gen) {
    std::string text;
    tbs_status_t st = vob_store_get_info(*vob->db, "gen_num", &text);
    if (st != TBS_ST_OK) return st;
    *gen = std::stoll(text);
    return TBS_ST_OK;
}

tbs_status_t vob_change_state(vob_t* vob, int64_t* change_gen, int64_t* low) {
    return vob_store_change_state(*vob->db, change_gen, low);
}

tbs_status_t vob_changes_since(vob_t* vob, int64_t after, int64_t upto, int64_t max,
                               std::vector<vob_dbid_t>* elements) {
    return vob_store_changes(*vob->db, after, upto, max, elements);
}

tbs_status_t vob_change_trim(vob_t* vob, int64_t keep) {
    if (keep < 0) return TBS_ST_INVALID;
    return vob->db->transact(store_txn_kind::write, [&](store_txn&) {
        int64_t gen = 0, low = 0;
        tbs_status_t st = vob_store_change_state(*vob->db, &gen, &low);
        if (st != TBS_ST_OK || gen - keep <= low) return st;
        return vob_store_trim_changes(*vob->db, gen - keep);
    });
}
