// The access-control tables of a VOB: policies' entries, role maps and the role map
// applied to each protected object (see vob_acl.h). Writers assert the transaction.
#ifndef CORE_VOB_VOB_ACL_STORE_H
#define CORE_VOB_VOB_ACL_STORE_H

#include <cstdint>
#include <vector>

#include "core/vob/vob_acl.h"

class store_db;

tbs_status_t vob_acl_store_policy_entries(store_db& db, int64_t policy,
                                          std::vector<vob_acl_ace_t>* out);
// Replaces every entry of a policy.
tbs_status_t vob_acl_store_set_policy_entries(store_db& db, int64_t policy,
                                              const std::vector<vob_acl_ace_t>& entries);
tbs_status_t vob_acl_store_get_rolemap(store_db& db, int64_t rolemap, int64_t* policy,
                                       std::vector<vob_acl_ace_t>* entries);
// Makes or replaces a role map's policy and entries.
tbs_status_t vob_acl_store_set_rolemap(store_db& db, int64_t rolemap, int64_t policy,
                                       const std::vector<vob_acl_ace_t>& entries);
tbs_status_t vob_acl_store_policy_rolemaps(store_db& db, int64_t policy, std::vector<int64_t>* out);
tbs_status_t vob_acl_store_object_rolemap(store_db& db, int64_t obj, int64_t* rolemap);
// Applies a role map to an object (0 removes the one applied).
tbs_status_t vob_acl_store_set_object_rolemap(store_db& db, int64_t obj, int64_t rolemap);
// The role map protecting an object: the one applied to it, else the one applied to the
// VOB (0 when neither), in one statement.
tbs_status_t vob_acl_store_protecting_rolemap(store_db& db, int64_t obj, int64_t* rolemap);
tbs_status_t vob_acl_store_rolemap_uses(store_db& db, int64_t rolemap, int64_t* uses);

#endif
