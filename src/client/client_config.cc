// What the client remembers between commands.
#include "client/client_config.h"

#include <fcntl.h>
#include <linux/keyctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace client {

namespace {

std::string config_dir() {
    const char* xdg = getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg) return std::string(xdg) + "/vdweb";
    const char* home = getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.config/vdweb";
}

std::string key_name(const Login& login) {
    return "vdweb:" + login.user + "@" + login.url;
}

long find_key(const Login& login) {
    return syscall(SYS_keyctl, KEYCTL_SEARCH, KEY_SPEC_USER_KEYRING, "user",
                   key_name(login).c_str(), 0);
}

}  // namespace

std::string config_path() {
    return config_dir() + "/config";
}

bool load_login(Login* out, std::string* error) {
    std::ifstream in(config_path());
    if (!in) {
        *error = "not logged in: run `vdweb login URL --user NAME` first";
        return false;
    }
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("url=", 0) == 0) out->url = line.substr(4);
        if (line.rfind("user=", 0) == 0) out->user = line.substr(5);
    }
    if (out->url.empty()) {
        *error = config_path() + " names no server: run `vdweb login URL` again";
        return false;
    }
    return true;
}

bool save_login(const Login& login, std::string* error) {
    std::error_code ec;
    std::filesystem::create_directories(config_dir(), ec);
    const std::string path = config_path();
    const std::string temp = path + ".new";
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        *error = "cannot write " + temp + ": " + strerror(errno);
        return false;
    }
    const std::string text = "url=" + login.url + "\nuser=" + login.user + "\n";
    bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ok = close(fd) == 0 && ok;
    if (!ok || rename(temp.c_str(), path.c_str()) != 0) {
        *error = "cannot write " + path + ": " + strerror(errno);
        unlink(temp.c_str());
        return false;
    }
    return true;
}

bool prompt_password(const std::string& prompt, std::string* out) {
    int fd = open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    if (write(fd, prompt.data(), prompt.size()) < 0) {
        close(fd);
        return false;
    }
    termios old{};
    const bool tty = tcgetattr(fd, &old) == 0;
    if (tty) {
        termios quiet = old;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(fd, TCSAFLUSH, &quiet);
    }
    std::string line;
    char c;
    while (read(fd, &c, 1) == 1 && c != '\n' && line.size() < 4096) line += c;
    if (tty) tcsetattr(fd, TCSAFLUSH, &old);
    if (write(fd, "\n", 1) < 0) {
    }
    close(fd);
    *out = line;
    return true;
}

bool remember_password(const Login& login, const std::string& password, unsigned seconds) {
    long id = syscall(SYS_add_key, "user", key_name(login).c_str(), password.data(),
                      password.size(), KEY_SPEC_USER_KEYRING);
    if (id < 0) return false;
    syscall(SYS_keyctl, KEYCTL_SET_TIMEOUT, id, seconds);
    // Its possessor may do anything with it; the same user may find and read it.
    syscall(SYS_keyctl, KEYCTL_SETPERM, id, 0x3f0b0000);
    return true;
}

void forget_password(const Login& login) {
    long id = find_key(login);
    if (id >= 0) syscall(SYS_keyctl, KEYCTL_INVALIDATE, id);
}

std::string find_password(const Login& login, bool may_prompt) {
    if (login.user.empty()) return "";
    if (const char* env = getenv("VDWEB_PASSWORD")) return env;
    long id = find_key(login);
    if (id >= 0) {
        char buf[4096];
        long n = syscall(SYS_keyctl, KEYCTL_READ, id, buf, sizeof buf);
        if (n >= 0 && static_cast<size_t>(n) <= sizeof buf)
            return std::string(buf, static_cast<size_t>(n));
    }
    std::string typed;
    if (may_prompt && isatty(STDIN_FILENO) &&
        prompt_password("Password for " + login.user + ": ", &typed))
        return typed;
    return "";
}

}  // namespace client
