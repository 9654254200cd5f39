// VDW_LoginThrottle on a clock of the test's own: blocks grow and stop at their caps, a burst
// meets the failures before it, a rightful user from elsewhere is held back only briefly, and
// the records are the site account's private files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ops/login/vdw_login_throttle.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

int64_t g_now = 1700000000;
int64_t test_clock() {
    return g_now;
}

class LoginThrottleTest : public ::testing::Test {
protected:
    std::string dir() const { return tmp_ / "throttle"; }

    // One attempt by `user` from `address`, with a password of its own unless `right`: 0
    // when it was admitted (and then failed or succeeded), else the seconds it was told to
    // wait.
    int attempt(const std::string& user, const std::string& address, bool right = false) {
        VDW_LoginThrottle t(dir(), user, address, test_clock);
        int wait = t.admit(right ? "right" : "guess " + std::to_string(++guesses_));
        if (wait == 0 && right) t.succeeded();
        if (wait == 0 && !right) t.failed();
        return wait;
    }
    // How long `user` from `address` must wait now; nothing counted.
    int wait_of(const std::string& user, const std::string& address) {
        return VDW_LoginThrottle(dir(), user, address, test_clock).admit_known();
    }
    // Fails as soon as allowed, `n` times; the wait told right after each failure.
    std::vector<int> fail_at_once(int n, const std::string& user, const std::string& address) {
        std::vector<int> waits;
        for (int i = 0; i < n; ++i) {
            g_now += wait_of(user, address);
            EXPECT_EQ(attempt(user, address), 0);
            waits.push_back(wait_of(user, address));
        }
        return waits;
    }

    TempDir tmp_;
    int guesses_ = 0;
};

// One guesser: the user's delays double up to their cap of 30 s, then the address's take
// over and go on doubling to 15 minutes.
TEST_F(LoginThrottleTest, BlocksGrowThenStopAtTheirCaps) {
    const std::vector<int> expected = {0,  0,  0,  0,  0,  1,  2,   4,   8,   16,  30,
                                       30, 30, 30, 30, 32, 64, 128, 256, 512, 900, 900};
    EXPECT_EQ(fail_at_once(static_cast<int>(expected.size()), "alice", "192.0.2.7"), expected);
}

// Guesses sent all at once are counted as they are admitted: only the free ones and the one
// that sets the first block reach the password check. A client's parallel requests with one
// password are checked without counting, as many as a client sends at once, and count only
// if they fail; more of them count like guesses.
TEST_F(LoginThrottleTest, BurstsMeetTheAttemptsBeforeThem) {
    const int free = VDW_LoginThrottle::USER_POLICY.free_failures;
    const int repeats = VDW_LoginThrottle::PARALLEL_REPEATS;
    struct Case {
        const char* what;
        bool same_password;
        bool right;
        int admitted;
        bool blocked_after;
    } cases[] = {
        {"guesses", false, false, free + 1, true},
        {"one password, right", true, true, 1 + repeats + free, false},
        {"one password, wrong", true, false, 1 + repeats + free, true},
    };
    for (const Case& c : cases) {
        const std::string user = std::string("user of ") + c.what;
        std::vector<std::unique_ptr<VDW_LoginThrottle>> in_flight;
        int admitted = 0;
        for (int i = 0; i < 20; ++i) {
            in_flight.push_back(
                std::make_unique<VDW_LoginThrottle>(dir(), user, "192.0.2.7", test_clock));
            const std::string password = c.same_password ? "pw" : "pw " + std::to_string(i);
            admitted += in_flight.back()->admit(password) == 0;
        }
        EXPECT_EQ(admitted, c.admitted) << c.what;
        for (auto& t : in_flight) c.right ? t->succeeded() : t->failed();
        EXPECT_EQ(wait_of(user, "198.51.100.1") > 0, c.blocked_after) << c.what;
        g_now += 24 * 3600;  // the address starts afresh for the next case
    }
}

// The rightful user, from an address that never failed: held back by the user's record for
// at most its cap, however long the guessing went on; from an address they logged in from
// before, not at all. The guesser's address stays blocked either way.
TEST_F(LoginThrottleTest, RightfulUserGetsInWhileAnotherGuesses) {
    ASSERT_EQ(attempt("alice", "198.51.100.1", true), 0);  // alice's usual address
    fail_at_once(20, "alice", "192.0.2.7");
    EXPECT_EQ(wait_of("alice", "198.51.100.1"), 0);
    const int wait = wait_of("alice", "203.0.113.9");
    EXPECT_GT(wait, 0);
    EXPECT_LE(wait, VDW_LoginThrottle::USER_POLICY.max_delay_s);
    g_now += wait;
    EXPECT_EQ(attempt("alice", "203.0.113.9", true), 0);
    EXPECT_EQ(wait_of("alice", "203.0.113.9"), 0);  // a success forgets the user's failures
    EXPECT_GT(wait_of("alice", "192.0.2.7"), 0);
    EXPECT_GT(wait_of("bob", "192.0.2.7"), 0);  // the address is blocked for every user
}

// Logging in as oneself between guesses takes back only that login's own count: the
// guesses still add up for the address.
TEST_F(LoginThrottleTest, OwnLoginsDoNotWashOutGuesses) {
    const int free = VDW_LoginThrottle::ADDRESS_POLICY.free_failures;
    for (int i = 0; i <= free; ++i) {
        ASSERT_EQ(attempt("mallory", "192.0.2.7", true), 0);
        ASSERT_EQ(attempt("user" + std::to_string(i), "192.0.2.7"), 0) << i;
    }
    EXPECT_GT(wait_of("someone", "192.0.2.7"), 0);
    // A success lifts the block it set itself, never one set by failures.
    g_now += wait_of("someone", "192.0.2.7");
    ASSERT_EQ(attempt("mallory", "192.0.2.7", true), 0);
    EXPECT_EQ(wait_of("someone", "192.0.2.7"), 0);
}

TEST_F(LoginThrottleTest, QuietTimeForgetsFailures) {
    fail_at_once(8, "alice", "192.0.2.7");
    EXPECT_GT(wait_of("alice", "192.0.2.9"), 0);
    g_now += VDW_LoginThrottle::USER_POLICY.forget_after_s;
    // The user's record is forgotten: five free failures again from another address.
    for (int i = 0; i < VDW_LoginThrottle::USER_POLICY.free_failures; ++i)
        EXPECT_EQ(attempt("alice", "192.0.2.9"), 0);
}

// Without an address only the user is throttled.
TEST_F(LoginThrottleTest, UnknownAddressThrottlesTheUserOnly) {
    fail_at_once(6, "alice", "");
    EXPECT_GT(wait_of("alice", ""), 0);
    EXPECT_EQ(wait_of("bob", ""), 0);
}

// Records are private to the site account, and old ones are swept away; the key stays.
TEST_F(LoginThrottleTest, RecordsArePrivateAndSwept) {
    ASSERT_EQ(attempt("alice", "192.0.2.7"), 0);
    ASSERT_EQ(attempt("alice", "198.51.100.1", true), 0);
    struct stat st;
    ASSERT_EQ(stat(dir().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    size_t files = 0;
    for (const auto& e : fs::directory_iterator(dir())) {
        if (e.path().filename().string()[0] == '.') continue;
        ++files;
        ASSERT_EQ(stat(e.path().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u) << e.path();
        EXPECT_EQ(st.st_uid, geteuid());
    }
    EXPECT_EQ(files, 5u);  // alice, two addresses, one known pair, the key of guesses

    // Two days without a change: counted records go, the known pair stays.
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(48);
    for (const auto& e : fs::directory_iterator(dir())) fs::last_write_time(e.path(), old);
    VDW_LoginThrottle::sweep(dir());
    std::vector<char> kinds;
    for (const auto& e : fs::directory_iterator(dir()))
        if (e.path().filename().string()[0] != '.')
            kinds.push_back(e.path().filename().string()[0]);
    std::sort(kinds.begin(), kinds.end());
    EXPECT_EQ(kinds, (std::vector<char>{'k', 'p'}));
}

// Records that cannot be kept never lock a site out of its logins.
TEST_F(LoginThrottleTest, UnusableDirectoryAdmits) {
    TempDir t;
    const std::string blocked = t / "file";
    int fd = open(blocked.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    close(fd);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(
            VDW_LoginThrottle(blocked + "/throttle", "alice", "192.0.2.7", test_clock).admit("x"),
            0);
}

TEST(LoginThrottle, AddressKeys) {
    const struct {
        const char* given;
        const char* key;
    } cases[] = {
        {"192.0.2.7", "192.0.2.7"},
        {"2001:db8:1:2:3:4:5:6", "2001:db8:1:2::/64"},
        {"2001:DB8:1:2:ffff::1", "2001:db8:1:2::/64"},
        {"::ffff:192.0.2.7", "192.0.2.7"},
        {"", ""},
        {"not an address", "not an address"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(VDW_LoginThrottle::address_key(c.given), c.key) << c.given;
}

}  // namespace
