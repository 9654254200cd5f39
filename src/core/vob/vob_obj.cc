// Object facts, version ids, selectors and pathname resolution.
#include "core/vob/vob_obj.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <set>

#include "core/rgy/rgy.h"
#include "core/store/content_pool.h"
#include "core/store/db.h"
#include "core/util/fsys.h"
#include "core/vob/vob_acl.h"
#include "core/vob/vob_store.h"
#include "core/vob/xcm.h"

namespace {

std::vector<std::string> split_path(const std::string& path) {
    std::vector<std::string> parts;
    size_t i = 0;
    while (i < path.size()) {
        size_t slash = path.find('/', i);
        if (slash == std::string::npos) slash = path.size();
        if (slash > i) parts.push_back(path.substr(i, slash - i));
        i = slash + 1;
    }
    return parts;
}

tbs_status_t branch_path(vob_t* vob, vob_dbid_t branch, std::string* out, int depth = 0) {
    if (depth > 64) return TBS_ST_ERR;
    int64_t element = 0, brtype = 0, parent = 0;
    tbs_status_t st = vob_store_get_branch(*vob->db, branch, &element, &brtype, &parent);
    if (st != TBS_ST_OK) return st == TBS_ST_NOT_FOUND ? TBS_ST_OBJ_NOT_FOUND : st;
    vob_type_info_t type;
    if ((st = vob_store_get_type(*vob->db, brtype, &type)) != TBS_ST_OK) return st;
    std::string prefix;
    if (parent) {
        vob_version_info_t pv;
        if ((st = vob_store_get_version(*vob->db, parent, &pv)) != TBS_ST_OK) return st;
        if ((st = branch_path(vob, pv.branch, &prefix, depth + 1)) != TBS_ST_OK) return st;
    }
    *out = prefix + "/" + type.name;
    return TBS_ST_OK;
}

// Longest registered VOB tag that is a prefix of `pname` at a component boundary.
tbs_status_t find_vob(const std::string& pname, vob_t** vob, std::string* rest) {
    std::vector<rgy_vob_entry_t> tags;
    tbs_status_t st = rgy_list_vob_tags(nullptr, &tags);
    if (st != TBS_ST_OK) return st;
    const rgy_vob_entry_t* best = nullptr;
    for (const rgy_vob_entry_t& e : tags) {
        const std::string& t = e.tag;
        if (pname.compare(0, t.size(), t) != 0) continue;
        if (pname.size() > t.size() && pname[t.size()] != '/' && pname[t.size()] != TBS_VER_EXT[0])
            continue;
        if (!best || t.size() > best->tag.size()) best = &e;
    }
    if (!best) return TBS_ST_NAME_NOT_FOUND;
    *rest = pname.substr(best->tag.size());
    return vob_open_entry(*best, vob);  // the entry is in hand: no second registry query
}

// The part after "@@": "" (element), "/main" (branch), "/main/3", "/main/LATEST",
// "/main/CHECKEDOUT" or "/main/LABEL" (versions).
tbs_status_t resolve_extended(vob_t* vob, vob_dbid_t element, const std::string& ext,
                              const vob_view_ctx_t* view, vob_resolved_t* out) {
    tbs_status_t st;
    if (ext.empty() || ext == "/") {
        bool is_dir = false;
        if ((st = vob_store_get_element(*vob->db, element, nullptr, &is_dir, nullptr)) != TBS_ST_OK)
            return st;
        out->dbid = element;
        out->mtype = is_dir ? VOB_MTYPE_DIR_ELEMENT : VOB_MTYPE_FILE_ELEMENT;
        return TBS_ST_OK;
    }
    if (ext[0] != '/') return TBS_ST_NAME_NOT_FOUND;
    std::vector<std::string> parts = split_path(ext);
    if (parts.empty()) return TBS_ST_NAME_NOT_FOUND;
    std::string last = parts.back();
    bool names_version =
        parts.size() > 1 && (vob_utl_is_number(last) || last == "LATEST" || last == "CHECKEDOUT");
    std::string br;
    size_t nbr = parts.size();
    if (!names_version && parts.size() > 1) {
        // The last part is a branch or a label; a branch type of that name wins.
        vob_type_info_t t;
        std::string path;
        for (size_t i = 0; i < parts.size(); ++i) path += "/" + parts[i];
        vob_dbid_t b = 0;
        if (vob_branch_find(vob, element, path.c_str(), &b) != TBS_ST_OK) {
            if (vob_store_find_type_info(*vob->db, VOB_MTYPE_LBTYPE, last.c_str(), &t) != TBS_ST_OK)
                return TBS_ST_NAME_NOT_FOUND;
            vob_dbid_t v = 0;
            if (vob_store_get_label(*vob->db, t.dbid, element, &v) != TBS_ST_OK)
                return TBS_ST_NAME_NOT_FOUND;
            out->dbid = out->version = v;
            return vob_obj_get_mtypes(vob, v, &out->mtype);
        }
    }
    if (names_version) nbr = parts.size() - 1;
    for (size_t i = 0; i < nbr; ++i) br += "/" + parts[i];
    vob_dbid_t branch = 0;
    if ((st = vob_branch_find(vob, element, br.c_str(), &branch)) != TBS_ST_OK)
        return TBS_ST_NAME_NOT_FOUND;
    if (!names_version) {
        out->dbid = branch;
        out->mtype = VOB_MTYPE_BRANCH;
        return TBS_ST_OK;
    }
    vob_dbid_t version = 0;
    if (last == "CHECKEDOUT") {
        vob_checkout_info_t co;
        tbs_uuid_t vu = view ? view->view_uuid : tbs_uuid_null();
        if (vob_store_find_checkout(*vob->db, element, tbs_uuid_text(vu), &co) != TBS_ST_OK ||
            co.branch != branch)
            return TBS_ST_NAME_NOT_FOUND;
        version = co.dbid;
    } else if (last == "LATEST") {
        if ((st = vob_branch_latest(vob, branch, &version)) != TBS_ST_OK) return st;
    } else if (vob_store_find_version(*vob->db, branch, atoll(last.c_str()), &version) !=
               TBS_ST_OK) {
        return TBS_ST_NAME_NOT_FOUND;
    }
    out->dbid = out->version = version;
    return vob_obj_get_mtypes(vob, version, &out->mtype);
}

bool is_element_mtype(int m) {
    return m == VOB_MTYPE_FILE_ELEMENT || m == VOB_MTYPE_DIR_ELEMENT;
}

}  // namespace

// Facts ---------------------------------------------------------------------------------

vob_dbid_t vob_object_dbid(vob_t* vob) {
    std::string text;
    if (vob_store_get_info(*vob->db, "vob_dbid", &text) != TBS_ST_OK) return 0;
    return atoll(text.c_str());
}

tbs_status_t vob_obj_get_info(vob_t* vob, vob_dbid_t dbid, vob_obj_info_t* out) {
    tbs_status_t st = vob_store_get_object(*vob->db, dbid, out);
    return st == TBS_ST_NOT_FOUND ? TBS_ST_OBJ_NOT_FOUND : st;
}

tbs_status_t vob_obj_get_mtypes(vob_t* vob, vob_dbid_t dbid, int* mtype) {
    vob_obj_info_t info;
    tbs_status_t st = vob_obj_get_info(vob, dbid, &info);
    if (st == TBS_ST_OK) *mtype = info.mtype;
    return st;
}

tbs_status_t vob_obj_oid_to_dbid(vob_t* vob, const tbs_oid_t& oid, vob_dbid_t* dbid) {
    tbs_status_t st = vob_store_find_oid(*vob->db, tbs_uuid_text(oid), dbid);
    return st == TBS_ST_NOT_FOUND ? TBS_ST_OBJ_NOT_FOUND : st;
}

tbs_status_t vob_elem_get_main_branch(vob_t* vob, vob_dbid_t element, vob_dbid_t* branch) {
    tbs_status_t st = vob_store_get_element(*vob->db, element, nullptr, nullptr, branch);
    return st == TBS_ST_NOT_FOUND ? TBS_ST_NOT_ELEMENT : st;
}

tbs_status_t vob_elem_get_type(vob_t* vob, vob_dbid_t element, vob_type_info_t* eltype) {
    int64_t type = 0;
    tbs_status_t st = vob_store_get_element(*vob->db, element, &type, nullptr, nullptr);
    if (st != TBS_ST_OK) return st == TBS_ST_NOT_FOUND ? TBS_ST_NOT_ELEMENT : st;
    return vob_store_get_type(*vob->db, type, eltype);
}

tbs_status_t vob_ver_get_info(vob_t* vob, vob_dbid_t version, vob_version_info_t* out) {
    tbs_status_t st = vob_store_get_version(*vob->db, version, out);
    if (st == TBS_ST_NOT_FOUND) {
        // A checked-out version: its contents are its predecessor's until checkin.
        vob_checkout_info_t co;
        if ((st = vob_store_get_checkout(*vob->db, version, &co)) != TBS_ST_OK)
            return st == TBS_ST_NOT_FOUND ? TBS_ST_OBJ_NOT_FOUND : st;
        vob_version_info_t pred;
        if ((st = vob_store_get_version(*vob->db, co.pred_version, &pred)) != TBS_ST_OK) return st;
        *out = pred;
        out->dbid = version;
        out->branch = co.branch;
        out->number = -1;
        out->checked_out = true;
        out->comment = co.comment;
        out->created = co.at;
        out->creator = co.user;
        out->predecessor = co.pred_version;
    } else if (st != TBS_ST_OK) {
        return st;
    }
    return branch_path(vob, out->branch, &out->branch_path);
}

tbs_status_t vob_ver_get_idstr(vob_t* vob, vob_dbid_t version, std::string* idstr) {
    vob_version_info_t v;
    tbs_status_t st = vob_ver_get_info(vob, version, &v);
    if (st != TBS_ST_OK) return st;
    *idstr = v.branch_path + "/" +
             (v.checked_out ? std::string("CHECKEDOUT") : std::to_string(v.number));
    return TBS_ST_OK;
}

tbs_status_t vob_ver_get_cleartext(vob_t* vob, vob_dbid_t version, const char* dest, bool flush) {
    vob_version_info_t v;
    tbs_status_t st = vob_ver_get_info(vob, version, &v);
    if (st != TBS_ST_OK) return st;
    if (v.is_dir) return TBS_ST_BAD_REQUEST;
    if ((st = vob_acl_may_read(vob, v.element)) != TBS_ST_OK) return st;
    if (!v.content.empty()) return vob->pool->get_to_file(v.content.c_str(), dest, flush);
    // Replaced, not truncated: a read-only copy there is still replaced.
    if (fsys_unlink(dest) != 0 && errno != ENOENT) return tbs_errno2status(errno);
    int fd = fsys_open(dest, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return tbs_errno2status(errno);
    fsys_close(fd);
    return TBS_ST_OK;
}

namespace {

// A pool reader (plain or gzip) as a version's stream.
template <class Reader>
class pool_content_stream : public vob_content_stream {
public:
    explicit pool_content_stream(std::unique_ptr<Reader> r) : r_(std::move(r)) {}
    tbs_status_t read(void* buf, size_t n, size_t* got) override {
        if (!r_) {
            *got = 0;
            return TBS_ST_OK;
        }
        return r_->read(buf, n, got);
    }
    uint64_t size() const override { return r_ ? r_->size() : 0; }

private:
    std::unique_ptr<Reader> r_;  // null: a version without content (empty)
};

// The content-pool name of a file version ("" when it has no bytes).
tbs_status_t file_content(vob_t* vob, vob_dbid_t version, std::string* content) {
    vob_version_info_t v;
    tbs_status_t st = vob_ver_get_info(vob, version, &v);
    if (st != TBS_ST_OK) return st;
    if (v.is_dir) return TBS_ST_IS_DIRECTORY;
    if ((st = vob_acl_may_read(vob, v.element)) != TBS_ST_OK) return st;
    *content = std::move(v.content);
    return TBS_ST_OK;
}

}  // namespace

tbs_status_t vob_ver_open_content(vob_t* vob, vob_dbid_t version,
                                  std::unique_ptr<vob_content_stream>* out) {
    std::string content;
    tbs_status_t st = file_content(vob, version, &content);
    if (st != TBS_ST_OK) return st;
    std::unique_ptr<content_reader> r;
    if (!content.empty() && (st = vob->pool->open_reader(content.c_str(), &r)) != TBS_ST_OK)
        return st;
    *out = std::make_unique<pool_content_stream<content_reader>>(std::move(r));
    return TBS_ST_OK;
}

tbs_status_t vob_ver_open_gzip(vob_t* vob, vob_dbid_t version,
                               std::unique_ptr<vob_content_stream>* out) {
    std::string content;
    tbs_status_t st = file_content(vob, version, &content);
    if (st != TBS_ST_OK) return st;
    if (content.empty()) return TBS_ST_NOT_SUPPORTED;
    std::unique_ptr<content_gzip_reader> r;
    if ((st = vob->pool->open_gzip(content.c_str(), &r)) != TBS_ST_OK) return st;
    *out = std::make_unique<pool_content_stream<content_gzip_reader>>(std::move(r));
    return TBS_ST_OK;
}

tbs_status_t vob_branch_find(vob_t* vob, vob_dbid_t element, const char* branch_path_text,
                             vob_dbid_t* branch) {
    std::vector<std::string> parts = split_path(branch_path_text ? branch_path_text : "");
    if (parts.empty()) return TBS_ST_NAME_NOT_FOUND;
    vob_type_info_t type;
    tbs_status_t st =
        vob_store_find_type_info(*vob->db, VOB_MTYPE_BRTYPE, parts.back().c_str(), &type);
    if (st != TBS_ST_OK) return TBS_ST_NAME_NOT_FOUND;
    if ((st = vob_store_find_branch(*vob->db, element, type.dbid, branch)) != TBS_ST_OK)
        return TBS_ST_NAME_NOT_FOUND;
    std::string path;
    if ((st = branch_path(vob, *branch, &path)) != TBS_ST_OK) return st;
    std::string want;
    for (const std::string& p : parts) want += "/" + p;
    return path == want ? TBS_ST_OK : TBS_ST_NAME_NOT_FOUND;
}

tbs_status_t vob_branch_latest(vob_t* vob, vob_dbid_t branch, vob_dbid_t* version) {
    tbs_status_t st = vob_store_latest_version(*vob->db, branch, version, nullptr);
    return st == TBS_ST_NOT_FOUND ? TBS_ST_OBJ_NOT_FOUND : st;
}

tbs_status_t vob_slink_get_text(vob_t* vob, vob_dbid_t slink, std::string* text) {
    tbs_status_t st = vob_store_get_slink(*vob->db, slink, text);
    return st == TBS_ST_NOT_FOUND ? TBS_ST_OBJ_NOT_FOUND : st;
}

tbs_status_t vob_dir_list(vob_t* vob, vob_dbid_t dir_version, std::vector<vob_dir_entry_t>* out) {
    return vob_store_dir_list(*vob->db, dir_version, out);
}

tbs_status_t vob_ver_list(vob_t* vob, vob_dbid_t element, std::vector<vob_version_info_t>* out) {
    tbs_status_t st = vob_store_list_versions(*vob->db, element, out);
    for (size_t i = 0; st == TBS_ST_OK && i < out->size(); ++i) {
        vob_version_info_t& v = (*out)[i];
        if (i > 0 && (*out)[i - 1].branch == v.branch)
            v.branch_path = (*out)[i - 1].branch_path;
        else
            st = branch_path(vob, v.branch, &v.branch_path);
    }
    return st;
}

tbs_status_t vob_ver_get_labels(vob_t* vob, vob_dbid_t version, std::vector<std::string>* out) {
    return vob_store_version_labels(*vob->db, version, out);
}

tbs_status_t vob_label_versions(vob_t* vob, const char* label,
                                std::vector<std::pair<vob_dbid_t, vob_dbid_t>>* out) {
    out->clear();
    vob_type_info_t t;
    tbs_status_t st = vob_type_find(vob, VOB_MTYPE_LBTYPE, label, &t);
    if (st != TBS_ST_OK) return st;
    std::vector<int64_t> elements;
    if ((st = vob_store_elements_using_type(*vob->db, VOB_MTYPE_LBTYPE, t.dbid, &elements)) !=
        TBS_ST_OK)
        return st;
    for (int64_t e : elements) {
        int64_t v = 0;
        if ((st = vob_store_get_label(*vob->db, t.dbid, e, &v)) != TBS_ST_OK) return st;
        if (v) out->emplace_back(e, v);
    }
    return TBS_ST_OK;
}

tbs_status_t vob_obj_get_attrs(vob_t* vob, vob_dbid_t obj,
                               std::vector<std::pair<std::string, std::string>>* out) {
    return vob_store_list_attrs(*vob->db, obj, out);
}

tbs_status_t vob_obj_get_lock(vob_t* vob, vob_dbid_t obj, vob_lock_info_t* out) {
    return vob_store_get_lock(*vob->db, obj, out);
}

tbs_status_t vob_obj_get_events(vob_t* vob, vob_dbid_t obj, std::vector<vob_event_info_t>* out) {
    int mtype = 0;
    tbs_status_t st = vob_obj_get_mtypes(vob, obj, &mtype);
    if (st != TBS_ST_OK) return st;
    if (is_element_mtype(mtype)) return vob_store_list_element_events(*vob->db, obj, out);
    return vob_store_list_events(*vob->db, obj, out);
}

tbs_status_t vob_type_find(vob_t* vob, int mtype, const char* name, vob_type_info_t* out) {
    return vob_store_find_type_info(*vob->db, mtype, name, out);
}

tbs_status_t vob_type_get(vob_t* vob, vob_dbid_t dbid, vob_type_info_t* out) {
    tbs_status_t st = vob_store_get_type(*vob->db, dbid, out);
    return st == TBS_ST_NOT_FOUND ? TBS_ST_OBJ_NOT_FOUND : st;
}

tbs_status_t vob_type_list(vob_t* vob, int mtype, std::vector<vob_type_info_t>* out) {
    out->clear();
    return vob_store_list_types(*vob->db, mtype, out);
}

tbs_status_t vob_ob_next_ckouts(vob_t* vob, vob_dbid_t element,
                                std::vector<vob_checkout_info_t>* out) {
    return vob_store_list_checkouts(*vob->db, element, out);
}

tbs_status_t vob_ob_view_ckouts(vob_t* vob, const tbs_uuid_t& view_uuid,
                                std::vector<vob_checkout_info_t>* out) {
    return vob_store_view_checkouts(*vob->db, tbs_uuid_text(view_uuid), out);
}

tbs_status_t vob_obj_get_bindings(vob_t* vob, vob_dbid_t target, std::vector<vob_binding_t>* out) {
    return vob_store_dir_bindings(*vob->db, target, out);
}

tbs_status_t vob_ckout_get(vob_t* vob, vob_dbid_t checkout, vob_checkout_info_t* out) {
    tbs_status_t st = vob_store_get_checkout(*vob->db, checkout, out);
    return st == TBS_ST_NOT_FOUND ? TBS_ST_NOT_CHECKED_OUT : st;
}

tbs_status_t vob_obj_get_hlinks(vob_t* vob, vob_dbid_t obj, std::vector<vob_hlink_info_t>* out) {
    return vob_store_list_hlinks(*vob->db, obj, out);
}

bool vob_utl_is_number(const std::string& text) {
    if (text.empty() || text.size() > 18) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

bool vob_utl_valid_name(const char* name) {
    if (!name || !*name) return false;
    size_t n = strlen(name);
    if (n > VOB_MAX_NAME) return false;
    if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) return false;
    if (strstr(name, TBS_VER_EXT)) return false;
    for (size_t i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < 32 || c == 127 || c == '/') return false;
    }
    return true;
}

// Selectors -----------------------------------------------------------------------------

namespace {

struct TypePrefix {
    const char* prefix;
    int mtype;
};
const TypePrefix kTypePrefixes[] = {
    {"lbtype", VOB_MTYPE_LBTYPE}, {"brtype", VOB_MTYPE_BRTYPE},   {"attype", VOB_MTYPE_ATTYPE},
    {"hltype", VOB_MTYPE_HLTYPE}, {"eltype", VOB_MTYPE_ELTYPE},   {"trtype", VOB_MTYPE_TRTYPE},
    {"policy", VOB_MTYPE_POLICY}, {"rolemap", VOB_MTYPE_ROLEMAP},
};

tbs_status_t parse_vob_part(const std::string& text, vob_objsel_t* out) {
    if (text.rfind("vob:", 0) == 0) {
        out->vob_kind = VOB_VOBSEL_TAG;
        out->vob = text.substr(4);
    } else if (text.rfind("vobuuid:", 0) == 0) {
        out->vob_kind = VOB_VOBSEL_FAMILY;
        out->vob = text.substr(8);
    } else if (text.rfind("replica_uuid:", 0) == 0) {
        out->vob_kind = VOB_VOBSEL_REPLICA;
        out->vob = text.substr(13);
    } else {
        out->vob_kind = VOB_VOBSEL_TAG;
        out->vob = text;
    }
    if (out->vob.empty()) return TBS_ST_BAD_SELECTOR;
    if (out->vob_kind != VOB_VOBSEL_TAG) {
        tbs_uuid_t u;
        if (tbs_uuid_from_str(out->vob.c_str(), &u) != TBS_ST_OK) return TBS_ST_BAD_SELECTOR;
    }
    return TBS_ST_OK;
}

tbs_status_t open_selected_vob(const vob_objsel_t& sel, vob_t** vob) {
    if (sel.vob.empty()) return TBS_ST_BAD_SELECTOR;
    if (sel.vob_kind == VOB_VOBSEL_TAG) {
        tbs_status_t st = vob_open_by_tag(sel.vob.c_str(), vob);
        return st == TBS_ST_NOT_FOUND ? TBS_ST_NAME_NOT_FOUND : st;
    }
    tbs_uuid_t u;
    if (tbs_uuid_from_str(sel.vob.c_str(), &u) != TBS_ST_OK) return TBS_ST_BAD_SELECTOR;
    if (sel.vob_kind == VOB_VOBSEL_REPLICA) return vob_open_by_uuid(u, vob);
    // A family id: one replica per VOB here, so look through the registered VOBs.
    std::vector<rgy_vob_entry_t> tags;
    tbs_status_t st = rgy_list_vob_tags(nullptr, &tags);
    if (st != TBS_ST_OK) return st;
    for (const rgy_vob_entry_t& e : tags) {
        vob_t* v = nullptr;
        if (vob_open_by_tag(e.tag.c_str(), &v) != TBS_ST_OK) continue;
        if (memcmp(v->family_uuid.bytes, u.bytes, sizeof u.bytes) == 0) {
            *vob = v;
            return TBS_ST_OK;
        }
    }
    return TBS_ST_NOT_FOUND;
}

}  // namespace

tbs_status_t vob_utl_parse_objsel(const char* text_in, vob_objsel_t* out) {
    *out = vob_objsel_t{};
    if (!text_in || !*text_in) return TBS_ST_BAD_SELECTOR;
    std::string text = text_in;
    if (text.size() > VOB_MAX_PNAME) return TBS_ST_TOO_LONG;
    for (unsigned char c : text)
        if (c < 32 || c == 127) return TBS_ST_BAD_SELECTOR;
    size_t colon = text.find(':');
    std::string prefix = colon == std::string::npos ? "" : text.substr(0, colon);
    if (prefix == "vob" || prefix == "vobuuid" || prefix == "replica_uuid") {
        out->kind = VOB_SEL_VOB;
        return parse_vob_part(text, out);
    }
    auto name_and_vob = [&](vob_objsel_kind_t kind) -> tbs_status_t {
        out->kind = kind;
        std::string rest = text.substr(colon + 1);
        size_t at = rest.find('@');
        out->name = rest.substr(0, at);
        if (out->name.empty()) return TBS_ST_BAD_SELECTOR;
        if (at == std::string::npos) return TBS_ST_OK;  // the VOB comes from the context
        return parse_vob_part(rest.substr(at + 1), out);
    };
    if (prefix == "oid") {
        tbs_status_t st = name_and_vob(VOB_SEL_OID);
        tbs_uuid_t u;
        if (st == TBS_ST_OK && tbs_uuid_from_str(out->name.c_str(), &u) != TBS_ST_OK)
            return TBS_ST_BAD_SELECTOR;
        return st;
    }
    if (prefix == "dbid") {
        tbs_status_t st = name_and_vob(VOB_SEL_DBID);
        if (st == TBS_ST_OK && !vob_utl_is_number(out->name)) return TBS_ST_BAD_SELECTOR;
        return st;
    }
    for (const TypePrefix& p : kTypePrefixes) {
        if (prefix != p.prefix) continue;
        out->mtype = p.mtype;
        tbs_status_t st = name_and_vob(VOB_SEL_TYPE);
        if (st == TBS_ST_OK && !vob_utl_valid_name(out->name.c_str())) return TBS_ST_BAD_SELECTOR;
        return st;
    }
    for (int mtype = VOB_MTYPE_FOLDER; mtype <= VOB_MTYPE_COMPONENT; ++mtype) {
        if (prefix != xcm_kind_prefix(mtype)) continue;
        out->mtype = mtype;
        tbs_status_t st = name_and_vob(VOB_SEL_XCM);
        if (st == TBS_ST_OK && !vob_utl_valid_name(out->name.c_str())) return TBS_ST_BAD_SELECTOR;
        return st;
    }
    if (!prefix.empty() && text[0] != '/' && text[0] != '.') return TBS_ST_BAD_SELECTOR;
    out->kind = VOB_SEL_PNAME;
    out->name = text;
    return TBS_ST_OK;
}

tbs_status_t vob_utl_create_objsel(const char* prefix, const char* name, const char* vob_part,
                                   char* buf, size_t size) {
    if (!prefix || !name || !buf || size == 0) return TBS_ST_BAD_REQUEST;
    int n = vob_part && *vob_part ? snprintf(buf, size, "%s:%s@%s", prefix, name, vob_part)
                                  : snprintf(buf, size, "%s:%s", prefix, name);
    if (n < 0 || static_cast<size_t>(n) >= size) {
        buf[0] = '\0';
        return TBS_ST_TOO_LONG;
    }
    return TBS_ST_OK;
}

std::string vob_selector(vob_t* vob, vob_vobsel_kind_t kind) {
    switch (kind) {
        case VOB_VOBSEL_FAMILY:
            return "vobuuid:" + tbs_uuid_text(vob->family_uuid);
        case VOB_VOBSEL_REPLICA:
            return "replica_uuid:" + tbs_uuid_text(vob->uuid);
        default:
            return "vob:" + vob->tag;
    }
}

tbs_status_t vob_obj_get_selector(vob_t* vob, vob_dbid_t dbid, char* buf, size_t size) {
    int mtype = 0;
    tbs_status_t st = vob_obj_get_mtypes(vob, dbid, &mtype);
    if (st != TBS_ST_OK) return st;
    std::string text;
    const std::string vsel = vob_selector(vob, VOB_VOBSEL_TAG);
    for (const TypePrefix& p : kTypePrefixes) {
        if (p.mtype != mtype) continue;
        vob_type_info_t t;
        if ((st = vob_type_get(vob, dbid, &t)) != TBS_ST_OK) return st;
        return vob_utl_create_objsel(p.prefix, t.name.c_str(), vsel.c_str(), buf, size);
    }
    if (const char* prefix = xcm_kind_prefix(mtype)) {
        xcm_obj_t o;
        if ((st = xcm_get_obj(vob, dbid, &o)) != TBS_ST_OK) return st;
        return vob_utl_create_objsel(prefix, o.name.c_str(), vsel.c_str(), buf, size);
    }
    if (mtype == VOB_MTYPE_VOB) {
        text = vsel;
    } else if (is_element_mtype(mtype)) {
        if (vob_elem_get_pname(vob, dbid, &text) == TBS_ST_OK) text += TBS_VER_EXT;
    } else if (mtype == VOB_MTYPE_VERSION || mtype == VOB_MTYPE_DIR_VERSION) {
        vob_version_info_t v;
        std::string id;
        if (vob_ver_get_info(vob, dbid, &v) == TBS_ST_OK &&
            vob_elem_get_pname(vob, v.element, &text) == TBS_ST_OK &&
            vob_ver_get_idstr(vob, dbid, &id) == TBS_ST_OK)
            text += TBS_VER_EXT + id;
        else
            text.clear();
    } else if (mtype == VOB_MTYPE_BRANCH) {
        int64_t element = 0;
        std::string path;
        if (vob_store_get_branch(*vob->db, dbid, &element, nullptr, nullptr) == TBS_ST_OK &&
            vob_elem_get_pname(vob, element, &text) == TBS_ST_OK &&
            branch_path(vob, dbid, &path) == TBS_ST_OK)
            text += TBS_VER_EXT + path;
        else
            text.clear();
    }
    if (text.empty()) {
        return vob_utl_create_objsel("dbid", std::to_string(dbid).c_str(), vsel.c_str(), buf, size);
    }
    if (text.size() >= size) return TBS_ST_TOO_LONG;
    memcpy(buf, text.c_str(), text.size() + 1);
    return TBS_ST_OK;
}

// Resolution ----------------------------------------------------------------------------

tbs_status_t vob_select_version(vob_t* vob, vob_dbid_t element, const char* pname,
                                const vob_view_ctx_t* view, vob_dbid_t* version) {
    if (view && view->select) return view->select(view->select_ctx, vob, element, pname, version);
    vob_checkout_info_t co;
    tbs_uuid_t vu = view ? view->view_uuid : tbs_uuid_null();
    tbs_status_t st = vob_store_find_checkout(*vob->db, element, tbs_uuid_text(vu), &co);
    if (st == TBS_ST_OK) {
        *version = co.dbid;
        return TBS_ST_OK;
    }
    if (st != TBS_ST_NOT_FOUND) return st;
    vob_dbid_t main = 0;
    if ((st = vob_elem_get_main_branch(vob, element, &main)) != TBS_ST_OK) return st;
    return vob_branch_latest(vob, main, version);
}

namespace {

// A version-extended pathname taken apart: its VOB, the element path inside the VOB, and
// the part after the extended-name symbol (slashes included) when there is one.
struct ParsedPname {
    vob_t* vob = nullptr;
    std::string rest;
    std::string ext;
    bool has_ext = false;
};

tbs_status_t parse_extended_name(const char* pname_in, ParsedPname* p) {
    if (!pname_in || pname_in[0] != '/') return TBS_ST_NAME_NOT_FOUND;
    std::string pname = pname_in;
    if (pname.size() > VOB_MAX_PNAME) return TBS_ST_TOO_LONG;
    for (unsigned char c : pname)
        if (c < 32 || c == 127) return TBS_ST_BAD_NAME;
    tbs_status_t st = find_vob(pname, &p->vob, &p->rest);
    if (st != TBS_ST_OK) return st;
    size_t at_at = p->rest.find(TBS_VER_EXT);
    if (at_at != std::string::npos) {
        p->ext = p->rest.substr(at_at + TBS_VER_EXT_LEN);
        p->rest.resize(at_at);
        p->has_ext = true;
        if (!p->rest.empty() && p->rest.back() == '/') return TBS_ST_NAME_NOT_FOUND;
    }
    return TBS_ST_OK;
}

// One walk of a pathname: the directories entered so far, and the components still to
// take, reversed, so that a symbolic link's target can be spliced in at the back.
struct Walk {
    struct Level {
        vob_dbid_t element;
        vob_dbid_t version;
        std::string name;
        std::string path;  // the directory's pathname as walked ("/vobs/p/src")
    };
    vob_t* vob;
    const vob_view_ctx_t* view;
    int flags;
    std::vector<Level> stack;
    std::vector<std::string> todo;
    int links = 0;
};

// A symbolic link met on the way: a relative target's components are taken next; an
// absolute target gives, in `restart`, the pathname to resolve instead (the target and the
// components still to take).
tbs_status_t follow_link(Walk& w, vob_dbid_t link, std::string* restart) {
    if (++w.links > VOB_MAX_SLINK_DEPTH) return tbs_errno2status(ELOOP);
    std::string text;
    tbs_status_t st = vob_slink_get_text(w.vob, link, &text);
    if (st != TBS_ST_OK) return st;
    if (!text.empty() && text[0] == '/') {
        *restart = text;
        for (auto it = w.todo.rbegin(); it != w.todo.rend(); ++it) *restart += "/" + *it;
        return TBS_ST_OK;
    }
    std::vector<std::string> parts = split_path(text);
    for (auto it = parts.rbegin(); it != parts.rend(); ++it) w.todo.push_back(*it);
    return TBS_ST_OK;
}

// The name's own last component, found in the directory on top of the walk as `target`
// of kind `mtype`: what it names goes into `out`.
tbs_status_t resolve_leaf(Walk& w, const ParsedPname& p, const std::string& comp,
                          const std::string& walked, vob_dbid_t target, int mtype,
                          vob_resolved_t* out) {
    const Walk::Level& dir = w.stack.back();
    out->parent_element = dir.element;
    out->parent_version = dir.version;
    out->leaf = comp;
    if (mtype == VOB_MTYPE_SLINK) {
        out->dbid = target;
        out->mtype = VOB_MTYPE_SLINK;
        return TBS_ST_OK;
    }
    out->element = target;
    if (p.has_ext) {
        out->extended = true;
        return resolve_extended(w.vob, target, p.ext, w.view, out);
    }
    vob_dbid_t v = 0;
    tbs_status_t st = vob_select_version(w.vob, target, walked.c_str(), w.view, &v);
    if (st != TBS_ST_OK) return st;
    if (v == 0) return TBS_ST_NAME_NOT_FOUND;
    out->dbid = out->version = v;
    out->mtype = mtype == VOB_MTYPE_DIR_ELEMENT ? VOB_MTYPE_DIR_VERSION : VOB_MTYPE_VERSION;
    w.stack.push_back({target, v, comp, walked});
    return TBS_ST_OK;
}

// Takes the components of the walk until the name's own; `restart` is set when an
// absolute link leads elsewhere.
tbs_status_t walk_components(Walk& w, const ParsedPname& p, vob_resolved_t* out,
                             std::string* restart) {
    while (!w.todo.empty()) {
        std::string comp = w.todo.back();
        w.todo.pop_back();
        // The last component popped is always the name's own: components a link splices
        // in are taken first.
        const bool last = w.todo.empty();
        if (comp == ".") continue;
        if (comp == "..") {
            if (w.stack.size() > 1) w.stack.pop_back();
            continue;
        }
        const bool extended = last && p.has_ext;
        if (comp.size() > VOB_MAX_NAME) return TBS_ST_TOO_LONG;
        const Walk::Level& dir = w.stack.back();
        if (dir.version == 0) return TBS_ST_NAME_NOT_FOUND;
        // The pathname of this component as walked so far: selection rules match the
        // directories on the way by their own names.
        const std::string walked = dir.path + "/" + comp;
        vob_dbid_t target = 0;
        int mtype = 0;
        tbs_status_t st = vob_store_dir_lookup(*w.vob->db, dir.version, comp, &target, &mtype);
        if (st == TBS_ST_NOT_FOUND && last && !extended && (w.flags & VOB_RESOLVE_PARENT_OK)) {
            out->exists = false;
            out->parent_element = dir.element;
            out->parent_version = dir.version;
            out->leaf = comp;
            return TBS_ST_OK;
        }
        if (st == TBS_ST_NOT_FOUND) return TBS_ST_NAME_NOT_FOUND;
        if (st != TBS_ST_OK) return st;
        if (mtype == VOB_MTYPE_SLINK && (!last || !(w.flags & VOB_RESOLVE_NOFOLLOW)) && !extended) {
            if ((st = follow_link(w, target, restart)) != TBS_ST_OK || !restart->empty()) return st;
            continue;
        }
        if (last) return resolve_leaf(w, p, comp, walked, target, mtype, out);
        if (mtype != VOB_MTYPE_DIR_ELEMENT) return TBS_ST_NOT_DIRECTORY;
        vob_dbid_t v = 0;
        if ((st = vob_select_version(w.vob, target, walked.c_str(), w.view, &v)) != TBS_ST_OK)
            return st;
        w.stack.push_back({target, v, comp, walked});
    }
    return TBS_ST_OK;
}

// Completes `out` after a walk: the directory a path ending on "." or ".." names, and the
// element path inside the VOB.
tbs_status_t fill_result(const Walk& w, vob_resolved_t* out) {
    const auto& stack = w.stack;
    if (out->dbid == 0 && out->exists) {
        const Walk::Level& top = stack.back();
        out->element = top.element;
        out->dbid = out->version = top.version;
        out->mtype = VOB_MTYPE_DIR_VERSION;
        if (stack.size() > 1) {
            out->parent_element = stack[stack.size() - 2].element;
            out->parent_version = stack[stack.size() - 2].version;
            out->leaf = top.name;
        }
        if (top.version == 0) return TBS_ST_NAME_NOT_FOUND;
    }
    std::string path;
    for (size_t i = 1; i < stack.size(); ++i) path += "/" + stack[i].name;
    if (!out->leaf.empty() && (stack.size() < 2 || stack.back().element != out->element ||
                               out->mtype == VOB_MTYPE_SLINK || !out->exists))
        path += "/" + out->leaf;
    out->vob_path = path.empty() ? "/" : path;
    return TBS_ST_OK;
}

}  // namespace

tbs_status_t vob_resolve_pname(const char* pname_in, const vob_view_ctx_t* view, int flags,
                               vob_resolved_t* out) {
    *out = vob_resolved_t{};
    ParsedPname p;
    tbs_status_t st = parse_extended_name(pname_in, &p);
    if (p.vob) out->vob = p.vob;
    if (st != TBS_ST_OK) return st;
    vob_t* vob = p.vob;
    // One snapshot for the whole walk, unless the caller's transaction already holds the
    // connection (then its own view of the VOB is the one to see).
    store_txn snapshot;
    if (vob->db->begin(store_txn_kind::read, &snapshot) != TBS_ST_OK) snapshot = store_txn();

    Walk w{vob, view, flags, {}, split_path(p.rest)};
    vob_dbid_t root_version = 0;
    if ((st = vob_select_version(vob, vob->root_element, vob->tag.c_str(), view, &root_version)) !=
        TBS_ST_OK)
        return st;
    w.stack.push_back({vob->root_element, root_version, "", vob->tag});
    if (w.todo.empty()) {
        out->element = vob->root_element;
        out->vob_path = "/";
        if (p.has_ext) {
            out->extended = true;
            return resolve_extended(vob, vob->root_element, p.ext, view, out);
        }
        out->dbid = out->version = root_version;
        out->mtype = VOB_MTYPE_DIR_VERSION;
        return root_version ? TBS_ST_OK : TBS_ST_NAME_NOT_FOUND;
    }
    std::reverse(w.todo.begin(), w.todo.end());
    std::string restart;
    if ((st = walk_components(w, p, out, &restart)) != TBS_ST_OK) return st;
    if (!restart.empty()) {
        // An absolute link target restarts from its own VOB, outside this snapshot.
        snapshot = store_txn();
        return vob_resolve_pname(restart.c_str(), view, flags, out);
    }
    return fill_result(w, out);
}

tbs_status_t vob_resolve_general(const char* text, const vob_view_ctx_t* view, vob_t** vob,
                                 vob_dbid_t* dbid, int* mtype) {
    vob_objsel_t sel;
    tbs_status_t st = vob_utl_parse_objsel(text, &sel);
    if (st != TBS_ST_OK) return st;
    if (sel.kind == VOB_SEL_PNAME) {
        vob_resolved_t r;
        if ((st = vob_resolve_pname(sel.name.c_str(), view, 0, &r)) != TBS_ST_OK) return st;
        *vob = r.vob;
        *dbid = r.dbid;
        *mtype = r.mtype;
        return TBS_ST_OK;
    }
    if ((st = open_selected_vob(sel, vob)) != TBS_ST_OK) return st;
    switch (sel.kind) {
        case VOB_SEL_VOB: {
            std::string text_dbid;
            if ((st = vob_store_get_info(*(*vob)->db, "vob_dbid", &text_dbid)) != TBS_ST_OK)
                return st;
            *dbid = atoll(text_dbid.c_str());
            *mtype = VOB_MTYPE_VOB;
            return TBS_ST_OK;
        }
        case VOB_SEL_OID: {
            tbs_oid_t oid;
            tbs_uuid_from_str(sel.name.c_str(), &oid);
            if ((st = vob_obj_oid_to_dbid(*vob, oid, dbid)) != TBS_ST_OK) return st;
            return vob_obj_get_mtypes(*vob, *dbid, mtype);
        }
        case VOB_SEL_DBID:
            *dbid = atoll(sel.name.c_str());
            return vob_obj_get_mtypes(*vob, *dbid, mtype);
        case VOB_SEL_TYPE: {
            vob_type_info_t t;
            if ((st = vob_type_find(*vob, sel.mtype, sel.name.c_str(), &t)) != TBS_ST_OK)
                return st == TBS_ST_NOT_FOUND ? TBS_ST_NAME_NOT_FOUND : st;
            *dbid = t.dbid;
            *mtype = t.mtype;
            return TBS_ST_OK;
        }
        case VOB_SEL_XCM:
            if ((st = xcm_find(*vob, sel.mtype, sel.name, dbid)) != TBS_ST_OK) return st;
            *mtype = sel.mtype;
            return TBS_ST_OK;
        default:
            return TBS_ST_BAD_SELECTOR;
    }
}

tbs_status_t vob_elem_get_pname(vob_t* vob, vob_dbid_t element, std::string* pname) {
    std::string path;
    vob_dbid_t cur = element;
    for (int depth = 0; cur != vob->root_element; ++depth) {
        if (depth > 1024) return TBS_ST_ERR;
        std::vector<std::pair<int64_t, std::string>> parents;
        tbs_status_t st = vob_store_dir_parents(*vob->db, cur, &parents);
        if (st != TBS_ST_OK) return st;
        vob_dbid_t next = 0;
        std::string name;
        // Prefer a binding in the latest version of its directory's main branch.
        for (const auto& p : parents) {
            vob_version_info_t v;
            if (vob_store_get_version(*vob->db, p.first, &v) != TBS_ST_OK) continue;
            vob_dbid_t latest = 0, main = 0;
            if (vob_elem_get_main_branch(vob, v.element, &main) != TBS_ST_OK) continue;
            if (v.branch == main && vob_branch_latest(vob, main, &latest) == TBS_ST_OK &&
                latest == p.first) {
                next = v.element;
                name = p.second;
                break;
            }
            if (!next) {
                next = v.element;
                name = p.second;
            }
        }
        if (!next) return TBS_ST_NAME_NOT_FOUND;
        path = "/" + name + path;
        cur = next;
    }
    *pname = vob->tag + path;
    return TBS_ST_OK;
}

tbs_status_t vob_check(vob_t* vob, std::vector<std::string>* problems) {
    problems->clear();
    tbs_status_t st = vob->db->check_integrity(problems);
    if (st == TBS_ST_OK) st = vob_store_check_rows(*vob->db, problems);
    std::vector<std::string> contents;
    if (st == TBS_ST_OK) st = vob_store_list_contents(*vob->db, &contents);
    if (st != TBS_ST_OK) return st;
    for (const std::string& c : contents) {
        if (!vob->pool->exists(c.c_str())) {
            problems->push_back("missing content " + c);
            continue;
        }
        tbs_status_t v = vob->pool->verify(c.c_str());
        if (v != TBS_ST_OK) problems->push_back("damaged content " + c + ": " + tbs_strerror(v));
    }
    return TBS_ST_OK;
}

tbs_status_t vob_check_leftovers(vob_t* vob, int64_t min_age_s, std::vector<std::string>* found,
                                 int* stale_temps) {
    found->clear();
    std::vector<std::string> temps;
    tbs_status_t st = vob->pool->stale_temporaries(min_age_s, &temps);
    if (st != TBS_ST_OK) return st;
    for (const std::string& t : temps) found->push_back("stale temporary " + t);
    if (stale_temps) *stale_temps = static_cast<int>(temps.size());
    std::vector<std::string> listed;
    if ((st = vob_store_list_contents(*vob->db, &listed)) != TBS_ST_OK) return st;
    const std::set<std::string> referenced(listed.begin(), listed.end());
    const int64_t now = static_cast<int64_t>(time(nullptr));
    std::vector<std::string> unreferenced;
    st = vob->pool->each_content([&](const std::string& sha, int64_t mtime) {
        if (now - mtime >= min_age_s && !referenced.count(sha)) unreferenced.push_back(sha);
    });
    std::sort(unreferenced.begin(), unreferenced.end());
    for (const std::string& sha : unreferenced) found->push_back("unreferenced content " + sha);
    return st;
}

tbs_status_t vob_sweep_temporaries(vob_t* vob, int* removed) {
    return vob->pool->sweep_temporaries(CONTENT_TEMP_STALE_S, removed);
}

tbs_status_t vob_obj_get_description(vob_t* vob, vob_dbid_t dbid, std::string* text) {
    vob_version_info_t v;
    tbs_status_t st = vob_store_get_version(*vob->db, dbid, &v);
    if (st == TBS_ST_OK) {
        *text = v.comment;
        return TBS_ST_OK;
    }
    if (st != TBS_ST_NOT_FOUND) return st;
    int mtype = 0;
    if ((st = vob_obj_get_mtypes(vob, dbid, &mtype)) != TBS_ST_OK) return st;
    st = vob_store_first_event_comment(*vob->db, dbid, text);
    if (st == TBS_ST_NOT_FOUND) {
        text->clear();
        return TBS_ST_OK;
    }
    return st;
}
