// The credentials managers: further credentials an operation needs while it runs (a CM
// provider's, a change-request database's), asked of the remote user through interaction
// requests and kept for the life of the process.
//
// Each login asks the client with a message of its own protocol ("CMI" 1.0 or "TnLogin"
// 1.0) and waits up to LOGIN_TIMEOUT seconds; the answer's "status" is "ok" (with
// "userName" and "password", for TnLogin also "userDb" and "dbSet") or "cancel". The out
// flag of a login is 1 until a login succeeds, then 0. vdw_register_login_callbacks hands
// both logins to the core, which asks them whenever a CM provider or a change-request
// database needs credentials.
#ifndef OPS_LOGIN_VDW_CREDS_MANAGERS_H
#define OPS_LOGIN_VDW_CREDS_MANAGERS_H

#include <string>
#include <vector>

// A CM provider's credentials.
struct VDW_CmiCreds {
    std::string provider;
    std::string user;
    std::string password;
    bool operator==(const VDW_CmiCreds& o) const {
        return provider == o.provider && user == o.user && password == o.password;
    }
};

// A change-request database login.
struct VDW_TnCreds {
    std::string user_db;
    std::string db_set;
    std::string web_url;
    std::string user;
    std::string password;
};

constexpr int LOGIN_TIMEOUT = 300;

class VDW_CmiCredsManager {
public:
    // Copies the cached credentials of `provider` into `creds` when there are some; answers
    // 1002 either way (the client is always asked).
    static int get_creds(const std::string& provider, VDW_CmiCreds* creds);
    // Stores or replaces the provider's entry, unless an equal one is cached.
    static void set_creds(const VDW_CmiCreds& creds);
    static void clear_all_creds();
    // One login: asks the client for `provider`'s credentials. `not_logged_in` is 1 until
    // the client answers "ok", then 0 and `creds` holds the answer (also cached).
    static void obtain_login(const std::string& provider, const std::string& context,
                             VDW_CmiCreds* creds, int retry_count, const std::string& last_error,
                             int* not_logged_in);
};

class VDW_TnCredsManager {
public:
    // 0 with the first cached credential of `db_set` (its user database set to `user_db`),
    // else 1002.
    static int get_creds(const std::string& user_db, const std::string& db_set, VDW_TnCreds* creds);
    // Replaces the entry of the same user database and set, or appends one; nothing while
    // caching is off.
    static void set_creds(const VDW_TnCreds& creds);
    // Whether a credential can be tried: a user name and a password.
    static bool creds_are_valid(const VDW_TnCreds& creds);
    static void clear_all_creds();
    static bool get_caching_enabled();
    static void set_caching_enabled(bool enabled);
    // One login: a valid cached credential of the set ends it at once; otherwise the client
    // is asked as for the CM provider.
    static void obtain_login(const std::string& user_db, const std::string& db_set,
                             const std::string& server_url, VDW_TnCreds* creds, int retry_count,
                             const std::string& last_error, int* not_logged_in);
};

// Registers the two managers' logins as the core's login callbacks (Cmi_Callbacks for CM
// providers, CTide_set_login_callback for change-request databases).
void vdw_register_login_callbacks();

#endif
