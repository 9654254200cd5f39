// VDW_LoginCache: logins that passed the password check lately, so that the requests that
// follow one another during a client's work do not each pay for PAM (tens of milliseconds
// with a slow password hash).
//
// An entry is a keyed hash (HMAC-SHA-256 under a random key of the site) of the user and
// the password, never the password, with the time the check passed; one file per user in
// `<tmp>/logins` (0700, files 0600, owned by the site account, which may read the system's
// password hashes anyway). An entry counts for LOGIN_CACHE_SECONDS after its check, so a
// changed or locked account takes effect within that time. Failed checks are never cached:
// every wrong password goes to PAM.
#ifndef OPS_LOGIN_VDW_LOGIN_CACHE_H
#define OPS_LOGIN_VDW_LOGIN_CACHE_H

class VDW_LoginCache {
public:
    enum { LOGIN_CACHE_SECONDS = 300 };

    // Whether `user` passed the check with exactly `password` within the cache time.
    static bool recently_checked(const char* user, const char* password);
    // Records that `user` just passed the check with `password`.
    static void remember(const char* user, const char* password);
};

#endif
