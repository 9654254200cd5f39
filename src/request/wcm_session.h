// WCM_Session: login sessions kept in a per-user session file.
//
// A session is a set of named parameters; the login's own begin with "-" ("-username",
// "-domain", "-unique" for the password, "-session" for the session's number). A client
// names its session by an id that encodes user, domain, number and the time the id was
// made; a session older than the timeout keeps its parameters but loses its password.
//
// The file <root>/<user>/session.dat holds one line per session:
//   -session N -name "value" -name "value" ...
// with '"', '%' and line breaks in values written as %22, %25 and %0A, and the "-unique"
// value passed through the core's reversible encoding. The root is <product>/sessions
// unless one is given. The file is mode 0600 and is replaced whole under its lock.
#ifndef REQUEST_WCM_SESSION_H
#define REQUEST_WCM_SESSION_H

#include <map>
#include <string>
#include <vector>

class WCM_Request;
class WCM_Status;

class WCM_Session {
public:
    // Seconds a session's password lasts when no timeout is given; a given one is at least
    // TIMEOUT_MIN.
    static constexpr int TIMEOUT_DEFAULT = 14400;
    static constexpr int TIMEOUT_MIN = 600;

    explicit WCM_Session(const char* root = nullptr, int timeout = 0);

    // Loads the session an id names. A session whose id is older than the timeout loses its
    // password: status 100002. An id that does not decode, or names no session: 1002.
    void load_session(const char* id, WCM_Status& status);
    // Loads the session the request names ("session"); an expired session is no failure
    // when the request carries a password, so that the password login can go on.
    void load_login_session_for_request(const WCM_Request& request, WCM_Status& status);
    // Writes this session into its user's file (a new session gets the next number).
    void save(WCM_Status& status);

    // Parameter names begin with "-"; a name given without it gets it.
    void add_param(const char* name, const char* value);
    const char* param(const char* name) const;
    void add_login_param(const char* name, const char* value);
    const char* login_param(const char* name) const;
    void add_login_param_bool(const char* name, bool value);
    bool login_param_bool(const char* name) const;

    void set_user(const char* user, const char* domain);
    const char* username() const { return login_param("username"); }
    const char* domain() const { return login_param("domain"); }
    void set_password(const char* password);
    const char* password() const { return login_param("unique"); }
    void invalidate_password();
    int number() const { return number_; }

    // "%s:%s:%d:%s" of user, domain ("." for none), number and the time, encoded.
    std::string encode_session_id() const;
    // The parts of an id; `age` in seconds (0 when the time cannot be read). False when it
    // does not decode.
    static bool decode_session_id(const char* id, std::string* user, std::string* domain,
                                  int* number, long* age);
    // The directory of `user`'s session file.
    std::string session_dir(const std::string& user) const;
    // Sessions in `user`'s file.
    int num_sessions(const std::string& user) const;

private:
    struct Stored {
        int number = 0;
        std::map<std::string, std::string> params;
    };
    std::string file_of(const std::string& user) const;
    bool read_sessions(const std::string& user, std::vector<Stored>* out) const;

    std::string root_;
    int timeout_;
    int number_ = 0;
    std::map<std::string, std::string> params_;
};

#endif
