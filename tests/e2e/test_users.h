// System accounts for the login tests: logins check passwords through PAM against the
// system's user database, so the tests need real users with known passwords. They are
// made on first use (which needs root, as scripts/test runs in CI) and kept for later runs.
#ifndef VDWEB_TESTS_E2E_TEST_USERS_H
#define VDWEB_TESTS_E2E_TEST_USERS_H

#include <string>
#include <vector>

namespace e2e {

struct TestUser {
    const char* name;
    const char* password;
};

// A user allowed to work in the tests' VOBs, and one who is not (not in their group).
extern const TestUser kAlice;
extern const TestUser kMallory;

// A user whose account the revocation tests change (password, lock, expiry): no other test
// logs in as this user.
extern const TestUser kCarol;

// Makes sure both accounts exist with their passwords; false with the reason in `why`.
bool ensure_test_users(std::string* why);
// The same for one account (root only, as scripts/test runs).
bool ensure_test_user(const TestUser& user, std::string* why);
// Runs a system administration program (absolute path) with `input` on its standard input;
// false with the reason in `why` unless it exits 0.
bool admin_command(std::vector<std::string> args, const std::string& input, std::string* why);

// The value of an "Authorization" header for `user`, or with `password` instead of theirs.
std::string basic_auth(const TestUser& user, const char* password = nullptr);

}  // namespace e2e

#endif
