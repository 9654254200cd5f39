// Access control by policy and role map.
//
// A policy (a VOB type object, "policy:NAME@vob") holds an access-control list for each
// kind of object it covers: entries granting a principal one of three levels of access,
// Read < Change < Full. A principal is a role ("Role:Developer"), a user ("User:alice"), a
// group ("Group:devs") or everyone ("Everyone"). A role map (a type object too,
// "rolemap:NAME@vob") names one policy and says who plays each role: entries mapping a role
// to users, groups or everyone.
//
// An object is protected by a role map when one is applied to it, or, failing that, to the
// element it belongs to (a branch's and a version's), or to the VOB itself. The effective
// list of such an object is its policy's list for the object's kind with each role replaced
// by the principals the role map gives it (a role the map leaves out grants nothing); a
// user's access is the highest level any entry naming the user, one of the user's groups or
// everyone grants. Objects no role map protects keep the owner, group and mode checks; a
// VOB with a role map applied to it enforces access-control lists on everything in it that
// policies cover. Change is what a write needs (checkouts, checkins, names, labels,
// attributes, hyperlinks), Full what the owner's rights need (protections, locks, removal,
// renaming), Read what reading an element's contents and names needs.
#ifndef CORE_VOB_VOB_ACL_H
#define CORE_VOB_VOB_ACL_H

#include <string>
#include <vector>

#include "core/cred/credutl.h"
#include "core/vob/vob.h"

enum vob_acl_access_t { VOB_ACL_NONE = 0, VOB_ACL_READ = 1, VOB_ACL_CHANGE = 2, VOB_ACL_FULL = 3 };

// One entry of a list: for policies `kind` may be "Role"; for role maps' entries `role`
// names the role and `kind` is "User", "Group" or "Everyone".
struct vob_acl_ace_t {
    std::string proxy;  // the kind of object (policies only): see vob_acl_proxy_types
    std::string role;   // role maps only
    std::string kind;   // "Role", "User", "Group", "Everyone"
    std::string name;   // empty for "Everyone"
    int access = VOB_ACL_NONE;
};

// The names of the object kinds policies cover ("vob", "felem", "delem", "brtype", ...).
const std::vector<std::string>& vob_acl_proxy_types();
// The covered kind an object of metatype `mtype` is checked as ("" when not covered); a
// branch, version or symbolic link is checked as its element.
const char* vob_utl_policy_acl_type_to_str(int mtype);
bool vob_acl_known_proxy(const std::string& proxy);
// "Read", "Change", "Full" (case-insensitive) to a level, and back.
bool vob_acl_parse_access(const std::string& text, int* access);
const char* vob_acl_access_str(int access);
// The privileges each level grants on a kind of object, as (category, privilege) pairs:
// the categories are the levels' names.
std::vector<std::pair<std::string, std::string>> vob_acl_privileges(const std::string& proxy);
// Checks one entry's principal: a known kind, a name that is a known user or group, no
// name for "Everyone"; `allow_role` admits roles (a policy's lists).
tbs_status_t vob_acl_check_principal(const vob_acl_ace_t& e, bool allow_role);
// The text of a principal: "Role:NAME", "User:NAME", "Group:NAME", "Everyone".
std::string vob_acl_principal_str(const vob_acl_ace_t& e);

// A policy's entries, by kind of object and principal.
tbs_status_t vob_acl_policy_entries(vob_t* vob, vob_dbid_t policy, std::vector<vob_acl_ace_t>* out);
// A role map's policy and entries, by role.
tbs_status_t vob_acl_rolemap_get(vob_t* vob, vob_dbid_t rolemap, vob_dbid_t* policy,
                                 std::vector<vob_acl_ace_t>* entries);
// The role maps that name a policy.
tbs_status_t vob_acl_policy_rolemaps(vob_t* vob, vob_dbid_t policy, std::vector<vob_dbid_t>* out);
// The role map applied to the object itself (0 when none).
tbs_status_t vob_acl_object_rolemap(vob_t* vob, vob_dbid_t obj, vob_dbid_t* rolemap);
// Whether any object is protected by the role map.
tbs_status_t vob_acl_rolemap_in_use(vob_t* vob, vob_dbid_t rolemap, bool* in_use);
// Whether the VOB enforces access-control lists (a role map is applied to the VOB).
tbs_status_t vob_acl_enforced(vob_t* vob, bool* enforced);

// The protection of an object: the role map that protects it (0 when none does; then the
// list is empty and the owner, group and mode checks apply) and its effective list, roles
// replaced by their principals.
struct vob_acl_effective_t {
    vob_dbid_t rolemap = 0;
    std::string proxy;
    std::vector<vob_acl_ace_t> entries;
};
tbs_status_t vob_acl_effective(vob_t* vob, vob_dbid_t obj, vob_acl_effective_t* out);
// The list a role map gives objects of kind `proxy` ("" for every kind, each entry naming
// its kind), roles replaced by their principals.
tbs_status_t vob_acl_rolemap_eacl(vob_t* vob, vob_dbid_t rolemap, const std::string& proxy,
                                  std::vector<vob_acl_ace_t>* out);
// Whether an entry names the identity (as the user, one of its groups, or everyone).
bool vob_acl_names(const vob_acl_ace_t& e, const credutl_creds_t& who);
// The access an identity has by an effective list.
int vob_acl_access_of(const vob_acl_effective_t& eacl, const credutl_creds_t& who);
// The access `who` has to `obj` by its list (`*decided` true; Full for the VOB's owner and
// privileged identities), or `*decided` false when no role map protects it.
tbs_status_t vob_acl_access(vob_t* vob, vob_dbid_t obj, const credutl_creds_t& who, int* access,
                            bool* decided);
// Whether `who` has at least `need` on `obj` by its list (`*decided` true), the VOB's
// owner and privileged identities always; `*decided` false when no role map protects it
// (the owner, group and mode checks then apply).
tbs_status_t vob_acl_check(vob_t* vob, vob_dbid_t obj, const credutl_creds_t& who, int need,
                           bool* decided);
// Reading an element's versions (their bytes) as the acting identity: Read by the list of
// an element a role map protects; anything else reads. One indexed lookup when nothing
// protects it.
tbs_status_t vob_acl_may_read(vob_t* vob, vob_dbid_t element);

#endif
