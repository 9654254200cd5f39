// The acting identity: the user every core command runs as.
//
// The site's processes all run under the account that owns the site's storage; the
// identity a command acts for is set at login and checked by the core itself (ownership,
// checkouts, events, protections and locks are the acting user's). Users and groups come
// from the system's user database.
#ifndef CORE_CRED_CREDUTL_H
#define CORE_CRED_CREDUTL_H

#include <sys/types.h>

#include <cstddef>
#include <string>

#include "core/tbs/tbs.h"

enum { CREDUTL_NAME_SIZE = 256, CREDUTL_MAX_GROUPS = 64 };

struct credutl_creds_t {
    uid_t uid;
    gid_t gid;  // primary group
    char user[CREDUTL_NAME_SIZE];
    char group[CREDUTL_NAME_SIZE];  // primary group's name
    int ngroups;                    // supplementary groups, primary included
    gid_t groups[CREDUTL_MAX_GROUPS];
};

// The identity of the process itself.
tbs_status_t credutl_get_process_creds(credutl_creds_t* out);
// A user of the system by name, with the primary group `group` when given (the user must
// belong to it) else the user's own. Unknown user or group: TBS_ST_NOT_FOUND;
// a group the user is not in: TBS_ST_PERMISSION.
tbs_status_t credutl_lookup(const char* user, const char* group, credutl_creds_t* out);

// The identity commands act for; the process identity until one is set.
tbs_status_t credutl_get_creds(credutl_creds_t* out);
tbs_status_t credutl_set_creds(const credutl_creds_t& creds);
// Sets the acting identity by user name and optional primary group.
tbs_status_t credutl_set_credentials(const char* user, const char* group);
// Back to the process identity.
void credutl_reset_creds();

// For an administrator's process run as root on a site that belongs to another account:
// makes the process that account (its groups, group and user, for good), so that every file
// it writes belongs to the site, while the acting identity stays root's. Nothing changes
// for a process that is not root or a site that root owns (or that does not exist yet).
// When the switch cannot be made (the owner has no account, a call is refused) the
// process is left as it was and `why` says what failed: the caller must not go on.
tbs_status_t credutl_become_site_owner(const char* site, char* why, size_t why_size);

bool credutl_in_group(const credutl_creds_t& creds, gid_t gid);
// Whether the identity's primary group is `group`, or it is a member of the group by that
// name.
bool credutl_in_named_group(const credutl_creds_t& creds, const std::string& group);
// Whether the system knows a user, or a group, by that name.
bool credutl_user_exists(const std::string& name);
bool credutl_group_exists(const std::string& name);
// Whether the identity has the privileges of the site's administrator: root, the account
// that runs the site, or a member of the site's administrators' group.
bool credutl_is_privileged(const credutl_creds_t& creds);
// Names the site's administrators' group (empty or null: none, the default). The programs
// that serve a site set it from the site's configuration when they start.
void credutl_set_admin_group(const char* group);
// Moves `gid` to the front of the group list (it becomes the primary group); the user
// must already be a member.
tbs_status_t credutl_reorder_groups(credutl_creds_t* creds, gid_t gid);

#endif
