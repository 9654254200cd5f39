// System accounts for the login tests: logins check passwords through PAM against the
// system's user database, so the tests need real users with known passwords. They are
// made on first use (which needs root, as scripts/test runs in CI) and kept for later runs.
#ifndef VDWEB_TESTS_E2E_TEST_USERS_H
#define VDWEB_TESTS_E2E_TEST_USERS_H

#include <string>

namespace e2e {

struct TestUser {
    const char* name;
    const char* password;
};

// A user allowed to work in the tests' VOBs, and one who is not (not in their group).
extern const TestUser kAlice;
extern const TestUser kMallory;

// Makes sure both accounts exist with their passwords; false with the reason in `why`.
bool ensure_test_users(std::string* why);

// The value of an "Authorization" header for `user`, or with `password` instead of theirs.
std::string basic_auth(const TestUser& user, const char* password = nullptr);

}  // namespace e2e

#endif
