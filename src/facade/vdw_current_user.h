// VDW_CurrentUser: where the request's user keeps things on the server, set when the login
// makes the user the process's identity.
//
// The user's data directory is <product>/users/<user>; the view storage directory, where
// views made for the user keep their storage, is "qlmxViewStorage"/<user> when the site
// configures that key, else <product>/views/<user>. Both are empty until a login.
#ifndef OPS_LOGIN_VDW_CURRENT_USER_H
#define OPS_LOGIN_VDW_CURRENT_USER_H

#include <string>

class VDW_CurrentUser {
public:
    static VDW_CurrentUser& the_instance();
    // Where views made for users keep their storage: "qlmxViewStorage", else
    // <product>/views. A user's own directory is below it.
    static std::string view_storage_root();

    // Takes `user` (a name the system knows) as the current user.
    void set_user(const char* user);
    const std::string& user() const { return user_; }
    const std::string& user_data_dir() const { return user_data_dir_; }
    const std::string& view_storage_dir() const { return view_storage_dir_; }
    // Whether global pathnames use the view host's path ("qlmxUseViewHostPathForGlobalPath").
    bool gpath_flag() const { return gpath_flag_; }
    const std::string& session_id() const { return session_id_; }
    void set_session_id(const char* id) { session_id_ = id ? id : ""; }

private:
    std::string user_;
    std::string user_data_dir_;
    std::string view_storage_dir_;
    bool gpath_flag_ = false;
    std::string session_id_;
};

#endif
