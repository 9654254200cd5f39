// Access control by policy and role map: names, levels, and the effective list of an object.
#include "core/vob/vob_acl.h"

#include <strings.h>

#include "core/store/db.h"
#include "core/vob/vob_acl_store.h"
#include "core/vob/vob_obj.h"
#include "core/vob/vob_store.h"

namespace {

struct ProxyKind {
    int mtype;
    const char* name;
};
// Branches, versions and directory versions are checked as their element (below).
const ProxyKind kProxies[] = {
    {VOB_MTYPE_VOB, "vob"},           {VOB_MTYPE_FILE_ELEMENT, "felem"},
    {VOB_MTYPE_DIR_ELEMENT, "delem"}, {VOB_MTYPE_ELTYPE, "eltype"},
    {VOB_MTYPE_BRTYPE, "brtype"},     {VOB_MTYPE_LBTYPE, "lbtype"},
    {VOB_MTYPE_ATTYPE, "attype"},     {VOB_MTYPE_HLTYPE, "hltype"},
    {VOB_MTYPE_TRTYPE, "trtype"},     {VOB_MTYPE_POLICY, "policy"},
    {VOB_MTYPE_ROLEMAP, "rolemap"},
};

const char* const kLevels[] = {"None", "Read", "Change", "Full"};

// The object whose role map protects `obj`: the element of a branch or a version.
tbs_status_t protected_holder(vob_t* vob, const vob_obj_info_t& o, vob_dbid_t* holder,
                              int* holder_mtype) {
    *holder = o.dbid;
    *holder_mtype = o.mtype;
    int64_t element = 0;
    if (o.mtype == VOB_MTYPE_VERSION || o.mtype == VOB_MTYPE_DIR_VERSION) {
        vob_version_info_t v;
        tbs_status_t st = vob_ver_get_info(vob, o.dbid, &v);
        if (st != TBS_ST_OK) return st;
        element = v.element;
    } else if (o.mtype == VOB_MTYPE_BRANCH) {
        int64_t brtype = 0, parent = 0;
        tbs_status_t st = vob_store_get_branch(*vob->db, o.dbid, &element, &brtype, &parent);
        if (st != TBS_ST_OK) return st;
    } else {
        return TBS_ST_OK;
    }
    int64_t eltype = 0, main_branch = 0;
    bool is_dir = false;
    tbs_status_t st = vob_store_get_element(*vob->db, element, &eltype, &is_dir, &main_branch);
    if (st != TBS_ST_OK) return st;
    *holder = element;
    *holder_mtype = is_dir ? VOB_MTYPE_DIR_ELEMENT : VOB_MTYPE_FILE_ELEMENT;
    return TBS_ST_OK;
}

}  // namespace

const std::vector<std::string>& vob_acl_proxy_types() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> v;
        for (const ProxyKind& p : kProxies) v.push_back(p.name);
        return v;
    }();
    return names;
}

const char* vob_utl_policy_acl_type_to_str(int mtype) {
    if (mtype == VOB_MTYPE_VERSION || mtype == VOB_MTYPE_BRANCH) return "felem";
    if (mtype == VOB_MTYPE_DIR_VERSION) return "delem";
    for (const ProxyKind& p : kProxies)
        if (p.mtype == mtype) return p.name;
    return "";
}

bool vob_acl_known_proxy(const std::string& proxy) {
    for (const ProxyKind& p : kProxies)
        if (proxy == p.name) return true;
    return false;
}

bool vob_acl_parse_access(const std::string& text, int* access) {
    for (int i = VOB_ACL_READ; i <= VOB_ACL_FULL; ++i)
        if (strcasecmp(text.c_str(), kLevels[i]) == 0) {
            *access = i;
            return true;
        }
    return false;
}

const char* vob_acl_access_str(int access) {
    return access >= VOB_ACL_NONE && access <= VOB_ACL_FULL ? kLevels[access] : "None";
}

std::vector<std::pair<std::string, std::string>> vob_acl_privileges(const std::string& proxy) {
    std::vector<std::pair<std::string, std::string>> out;
    if (!vob_acl_known_proxy(proxy)) return out;
    const bool element = proxy == "felem" || proxy == "delem";
    const bool type = !element && proxy != "vob";
    out.push_back({"Read", "read-info"});
    if (element) out.push_back({"Read", proxy == "delem" ? "read-names" : "read-contents"});
    if (element) {
        for (const char* p :
             {"checkout", "checkin", "mkbranch", "mklabel", "mkattr", "mkhlink", "merge"})
            out.push_back({"Change", p});
        if (proxy == "delem") out.push_back({"Change", "change-names"});
    }
    if (proxy == "policy" || proxy == "rolemap") out.push_back({"Change", "modify"});
    for (const char* p : {"protect", "lock", "unlock", "apply-rolemap"}) out.push_back({"Full", p});
    if (element) {
        out.push_back({"Full", "rmelem"});
        out.push_back({"Full", "chtype"});
        out.push_back({"Full", "uncheckout-other"});
    }
    if (type) {
        out.push_back({"Full", "rename"});
        out.push_back({"Full", "rmtype"});
    }
    return out;
}

tbs_status_t vob_acl_check_principal(const vob_acl_ace_t& e, bool allow_role) {
    if (e.kind == "Everyone") return e.name.empty() ? TBS_ST_OK : TBS_ST_INVALID;
    if (e.name.empty() || e.name.size() > 255) return TBS_ST_INVALID;
    for (unsigned char c : e.name)
        if (c < 32 || c == 127 || c == ':' || c == ',') return TBS_ST_INVALID;
    if (e.kind == "Role") return allow_role ? TBS_ST_OK : TBS_ST_INVALID;
    if (e.kind == "User") return credutl_user_exists(e.name) ? TBS_ST_OK : TBS_ST_NOT_FOUND;
    if (e.kind == "Group") return credutl_group_exists(e.name) ? TBS_ST_OK : TBS_ST_NOT_FOUND;
    return TBS_ST_INVALID;
}

std::string vob_acl_principal_str(const vob_acl_ace_t& e) {
    return e.kind == "Everyone" ? e.kind : e.kind + ":" + e.name;
}

tbs_status_t vob_acl_policy_entries(vob_t* vob, vob_dbid_t policy,
                                    std::vector<vob_acl_ace_t>* out) {
    return vob_acl_store_policy_entries(*vob->db, policy, out);
}

tbs_status_t vob_acl_rolemap_get(vob_t* vob, vob_dbid_t rolemap, vob_dbid_t* policy,
                                 std::vector<vob_acl_ace_t>* entries) {
    int64_t p = 0;
    tbs_status_t st = vob_acl_store_get_rolemap(*vob->db, rolemap, &p, entries);
    if (policy) *policy = p;
    return st;
}

tbs_status_t vob_acl_policy_rolemaps(vob_t* vob, vob_dbid_t policy, std::vector<vob_dbid_t>* out) {
    return vob_acl_store_policy_rolemaps(*vob->db, policy, out);
}

tbs_status_t vob_acl_object_rolemap(vob_t* vob, vob_dbid_t obj, vob_dbid_t* rolemap) {
    return vob_acl_store_object_rolemap(*vob->db, obj, rolemap);
}

tbs_status_t vob_acl_rolemap_in_use(vob_t* vob, vob_dbid_t rolemap, bool* in_use) {
    int64_t uses = 0;
    tbs_status_t st = vob_acl_store_rolemap_uses(*vob->db, rolemap, &uses);
    *in_use = uses > 0;
    return st;
}

tbs_status_t vob_acl_enforced(vob_t* vob, bool* enforced) {
    int64_t rm = 0;
    tbs_status_t st = vob_acl_store_object_rolemap(*vob->db, vob_object_dbid(vob), &rm);
    *enforced = rm != 0;
    return st;
}

tbs_status_t vob_acl_effective(vob_t* vob, vob_dbid_t obj, vob_acl_effective_t* out) {
    *out = vob_acl_effective_t{};
    vob_obj_info_t o;
    tbs_status_t st = vob_obj_get_info(vob, obj, &o);
    if (st != TBS_ST_OK) return st;
    vob_dbid_t holder = 0;
    int holder_mtype = 0;
    if ((st = protected_holder(vob, o, &holder, &holder_mtype)) != TBS_ST_OK) return st;
    out->proxy = vob_utl_policy_acl_type_to_str(holder_mtype);
    if (out->proxy.empty()) return TBS_ST_OK;
    int64_t rolemap = 0;
    if ((st = vob_acl_store_protecting_rolemap(*vob->db, holder, &rolemap)) != TBS_ST_OK ||
        !rolemap)
        return st;
    out->rolemap = rolemap;
    return vob_acl_rolemap_eacl(vob, rolemap, out->proxy, &out->entries);
}

tbs_status_t vob_acl_rolemap_eacl(vob_t* vob, vob_dbid_t rolemap, const std::string& proxy,
                                  std::vector<vob_acl_ace_t>* out) {
    out->clear();
    store_db& db = *vob->db;
    int64_t policy = 0;
    std::vector<vob_acl_ace_t> roles, aces;
    tbs_status_t st;
    if ((st = vob_acl_store_get_rolemap(db, rolemap, &policy, &roles)) != TBS_ST_OK ||
        (st = vob_acl_store_policy_entries(db, policy, &aces)) != TBS_ST_OK)
        return st;
    for (const vob_acl_ace_t& a : aces) {
        if (!proxy.empty() && a.proxy != proxy) continue;
        if (a.kind != "Role") {
            out->push_back(a);
            continue;
        }
        for (const vob_acl_ace_t& r : roles) {
            if (r.role != a.name) continue;
            vob_acl_ace_t e = a;
            e.role = a.name;
            e.kind = r.kind;
            e.name = r.name;
            out->push_back(e);
        }
    }
    return TBS_ST_OK;
}

bool vob_acl_names(const vob_acl_ace_t& e, const credutl_creds_t& who) {
    if (e.kind == "Everyone") return true;
    if (e.kind == "User") return e.name == who.user;
    return e.kind == "Group" && credutl_in_named_group(who, e.name);
}

int vob_acl_access_of(const vob_acl_effective_t& eacl, const credutl_creds_t& who) {
    int best = VOB_ACL_NONE;
    for (const vob_acl_ace_t& e : eacl.entries)
        if (e.access > best && vob_acl_names(e, who)) best = e.access;
    return best;
}

tbs_status_t vob_acl_access(vob_t* vob, vob_dbid_t obj, const credutl_creds_t& who, int* access,
                            bool* decided) {
    *decided = false;
    *access = VOB_ACL_NONE;
    vob_acl_effective_t eacl;
    tbs_status_t st = vob_acl_effective(vob, obj, &eacl);
    if (st != TBS_ST_OK || !eacl.rolemap) return st;
    *decided = true;
    vob_obj_info_t owner;
    if (credutl_is_privileged(who) ||
        (vob_store_get_object(*vob->db, vob_object_dbid(vob), &owner) == TBS_ST_OK &&
         owner.owner == who.user))
        *access = VOB_ACL_FULL;
    else
        *access = vob_acl_access_of(eacl, who);
    return TBS_ST_OK;
}

tbs_status_t vob_acl_check(vob_t* vob, vob_dbid_t obj, const credutl_creds_t& who, int need,
                           bool* decided) {
    int access = VOB_ACL_NONE;
    tbs_status_t st = vob_acl_access(vob, obj, who, &access, decided);
    if (st != TBS_ST_OK || !*decided) return st;
    return access >= need ? TBS_ST_OK : TBS_ST_PERMISSION;
}

tbs_status_t vob_acl_may_read(vob_t* vob, vob_dbid_t element) {
    // The lookup first: the identity is only worth asking for when a list is to decide.
    int64_t rolemap = 0;
    tbs_status_t st = vob_acl_store_protecting_rolemap(*vob->db, element, &rolemap);
    if (st != TBS_ST_OK || !rolemap) return st;
    credutl_creds_t who;
    if ((st = credutl_get_creds(&who)) != TBS_ST_OK) return st;
    bool decided = false;
    return vob_acl_check(vob, element, who, VOB_ACL_READ, &decided);
}
