// Where the client keeps what it remembers between commands: the server's URL and the
// user, in $XDG_CONFIG_HOME/vdweb/config (else ~/.config/vdweb/config, mode 0600). The
// password is never written to disk: it comes from VDWEB_PASSWORD, from the kernel's user
// keyring where `vdweb login` left it (for a limited time), or from a prompt on the
// terminal without echo.
#ifndef CLIENT_CLIENT_CONFIG_H
#define CLIENT_CLIENT_CONFIG_H

#include <string>

namespace client {

struct Login {
    std::string url;
    std::string user;  // empty: anonymous
};

std::string config_path();
bool load_login(Login* out, std::string* error);
bool save_login(const Login& login, std::string* error);

// The password of `login`: the environment, then the keyring, then the terminal (when
// `may_prompt` and there is one). Empty when none is found.
std::string find_password(const Login& login, bool may_prompt);
// Asks on the terminal without echo; false without a terminal.
bool prompt_password(const std::string& prompt, std::string* out);
// Keeps the password in the user keyring for `seconds`; false where the kernel refuses.
bool remember_password(const Login& login, const std::string& password, unsigned seconds);
void forget_password(const Login& login);

}  // namespace client

#endif  // CLIENT_CLIENT_CONFIG_H
