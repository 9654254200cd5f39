// VDW_Credutl: the acting identity of this process's core operations, through the core's
// credential calls. The credentials it holds are a working copy; `set_credentials` makes
// them the identity every following core command acts for.
#ifndef OPS_LOGIN_VDW_CREDUTL_H
#define OPS_LOGIN_VDW_CREDUTL_H

#include <string>

#include "core/cred/credutl.h"

class WCM_Status;

class VDW_Credutl {
public:
    VDW_Credutl() { init_credentials(); }

    // Empties the working copy.
    void init_credentials();
    // The working copy becomes `user`'s default identity (own primary group and groups).
    // Unknown user: the core's status, with nothing changed.
    bool get_default_credentials(const char* user, WCM_Status& status);
    // The working copy becomes the identity commands act for now.
    bool get_credentials(WCM_Status& status);
    bool has_group(const char* group) const;
    // Makes `group`, one of the user's groups, the primary group.
    bool set_primary_group(const char* group, WCM_Status& status);
    // Puts the groups of the ":"-separated list first, in its order; every listed group
    // must be one of the user's.
    bool reorder_unix_grouplist(const char* groups, WCM_Status& status);
    // Makes the working copy the acting identity.
    bool set_credentials(WCM_Status& status);

    std::string to_string_user() const;
    std::string to_string_group() const;
    // Writes "<tag>: user <name> (uid N), group <name> (gid N), groups g1,g2,..." to the trace.
    void print_creds(const char* tag) const;
    const credutl_creds_t& creds() const { return creds_; }
    // The working copy becomes `creds` (an identity looked up earlier).
    void set(const credutl_creds_t& creds) { creds_ = creds; }

private:
    credutl_creds_t creds_;
};

#endif
