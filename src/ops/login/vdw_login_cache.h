// VDW_LoginCache: logins that passed the password check lately, so that the requests that
// follow one another during a client's work do not each pay for PAM (tens of milliseconds
// with a slow password hash).
//
// An entry is a keyed hash (HMAC-SHA-256 under a random key of the site) of the user, the
// password (never the password itself), the time the check passed and the user's identity
// as the system gave it then (ids and groups, so that a warm login does not ask the user
// database again), with that time and identity; one file per user in
// `<tmp>/logins` (0700, files 0600, owned by the site account, which may read the system's
// password hashes anyway). An entry counts for LOGIN_CACHE_SECONDS after its check, so a
// changed or locked account takes effect within that time. Failed checks are never cached:
// every wrong password goes to PAM.
#ifndef OPS_LOGIN_VDW_LOGIN_CACHE_H
#define OPS_LOGIN_VDW_LOGIN_CACHE_H

#include "core/cred/credutl.h"

class VDW_LoginCache {
public:
    enum { LOGIN_CACHE_SECONDS = 300 };

    // Whether `user` passed the check with exactly `password` within the cache time; when so,
    // `identity` gets the user's identity recorded with it.
    static bool recently_checked(const char* user, const char* password, credutl_creds_t* identity);
    // Records that `user` just passed the check with `password`, and their `identity`.
    static void remember(const char* user, const char* password, const credutl_creds_t& identity);
};

#endif
