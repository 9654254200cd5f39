// System accounts for the login tests.
#include "e2e/test_users.h"

#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

namespace e2e {

const TestUser kAlice = {"vdweb-alice", "alice's pass: 1"};
const TestUser kMallory = {"vdweb-mallory", "mallory's pass: 2"};
const TestUser kCarol = {"vdweb-carol", "carol's pass: 3"};

namespace {

// Runs an administration command with `input` on its standard input.
bool run(std::vector<std::string> args, const std::string& input, std::string* why) {
    signal(SIGPIPE, SIG_IGN);  // a command that ends early must not end the test
    int in[2];
    if (pipe(in) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_addclose(&actions, in[1]);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    char path_env[] = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";
    char* envp[] = {path_env, nullptr};
    pid_t pid = -1;
    int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    if (rc == 0 && !input.empty()) {
        ssize_t w = write(in[1], input.data(), input.size());
        (void)w;
    }
    close(in[1]);
    int status = 0;
    if (rc != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        *why = args[0] + " failed";
        return false;
    }
    return true;
}

bool ensure(const TestUser& user, std::string* why) {
    if (!getpwnam(user.name)) {
        if (geteuid() != 0) {
            *why = std::string("the test account ") + user.name +
                   " is missing and only root can make it (scripts/test does)";
            return false;
        }
        if (!run({"/usr/sbin/useradd", "--system", "--no-create-home", "--shell",
                  "/usr/sbin/nologin", user.name},
                 "", why))
            return false;
    }
    if (geteuid() != 0) return true;  // made earlier by root, with its password
    return run({"/usr/sbin/chpasswd"}, std::string(user.name) + ":" + user.password + "\n", why);
}

}  // namespace

bool ensure_test_user(const TestUser& user, std::string* why) {
    return ensure(user, why);
}

bool admin_command(std::vector<std::string> args, const std::string& input, std::string* why) {
    return run(std::move(args), input, why);
}

bool ensure_test_users(std::string* why) {
    static bool done = false;
    if (done) return true;
    done = ensure(kAlice, why) && ensure(kMallory, why);
    return done;
}

std::string basic_auth(const TestUser& user, const char* password) {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text = std::string(user.name) + ":" + (password ? password : user.password);
    std::string out = "Basic ";
    for (size_t i = 0; i < text.size(); i += 3) {
        unsigned n = static_cast<unsigned char>(text[i]) << 16;
        if (i + 1 < text.size()) n |= static_cast<unsigned char>(text[i + 1]) << 8;
        if (i + 2 < text.size()) n |= static_cast<unsigned char>(text[i + 2]);
        out += kAlphabet[n >> 18 & 63];
        out += kAlphabet[n >> 12 & 63];
        out += i + 1 < text.size() ? kAlphabet[n >> 6 & 63] : '=';
        out += i + 2 < text.size() ? kAlphabet[n & 63] : '=';
    }
    return out;
}

}  // namespace e2e
