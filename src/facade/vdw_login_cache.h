// VDW_LoginCache: logins that passed the password check lately, so that the requests that
// follow one another during a client's work do not each pay for PAM (tens of milliseconds
// with a slow password hash).
//
// An entry is a keyed hash (HMAC-SHA-256 under a random key of the site) of the user, the
// password (never the password itself), the time the check passed and the user's identity
// as the system gave it then (ids and groups, so that a warm login does not ask the user
// database again), with that time and identity; one file per user in
// `<tmp>/logins` (0700, files 0600, owned by the site account). Failed checks are never
// cached: every wrong password goes to the password check.
//
// Revocation: an entry counts only while
//   - it is younger than LOGIN_CACHE_SECONDS (60 s: a password changed in a directory
//     service stops the old one within that time);
//   - the account still exists with the same user id (the user database is asked on every
//     request; no password hash is read);
//   - the system's account files (/etc/passwd, /etc/shadow, /etc/group) are as they were
//     when the check passed: any password change, lock, expiry date or removal made on this
//     machine rewrites one of them, and the next request is checked again at once.
#ifndef OPS_LOGIN_VDW_LOGIN_CACHE_H
#define OPS_LOGIN_VDW_LOGIN_CACHE_H

#include <cstdint>

#include "core/cred/credutl.h"

class VDW_LoginCache {
public:
    enum { LOGIN_CACHE_SECONDS = 60 };
    enum { ACCOUNT_FILES = 3, ACCOUNT_FIELDS = 4 };

    // The state of the system's account files, taken before a password check so that a
    // change made while it runs is not remembered as checked.
    struct AccountState {
        int64_t v[ACCOUNT_FILES * ACCOUNT_FIELDS];
    };
    static AccountState account_state();

    // Whether `user` passed the check with exactly `password` within the cache time; when so,
    // `identity` gets the user's identity recorded with it.
    static bool recently_checked(const char* user, const char* password, credutl_creds_t* identity);
    // Records that `user` passed the check with `password`, begun when the account files were
    // `before`, and their `identity`.
    static void remember(const char* user, const char* password, const credutl_creds_t& identity,
                         const AccountState& before);
};

#endif
