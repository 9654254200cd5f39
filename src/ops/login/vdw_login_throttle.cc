// VDW_LoginThrottle.
#include "ops/login/vdw_login_throttle.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <iterator>

#include "core/util/fileutl.h"
#include "facade/vdw_login_files.h"
#include "foundation/vdw_trace.h"

namespace {

const char kClass[] = "VDW_LoginThrottle";
const char kDirName[] = "login-throttle";
// A known pair's time is written again only when it is older than this.
constexpr int64_t kKnownPairRefreshS = 24 * 3600;

// A record as it lies in its file: the failures counted, when the last one was counted, and
// until when the key is blocked (seconds since the epoch); a user's record also holds the
// keyed hash of the password whose check is under way, when that check began and how many
// attempts repeating it were admitted without counting. A pair's
// record holds only the time of its last login, in `last`.
constexpr size_t kGuessSize = 16;
struct Record {
    int64_t failures = 0;
    int64_t last = 0;
    int64_t until = 0;
    int64_t checking_since = 0;
    int64_t checking_repeats = 0;  // attempts admitted uncounted while that check runs
    unsigned char checking[kGuessSize] = {};
};

int64_t system_now() {
    return static_cast<int64_t>(time(nullptr));
}

// The keyed hash of `user` trying `password`, kGuessSize bytes; empty without a key.
std::string guess_of(const std::string& dir, const std::string& user, const std::string& password) {
    unsigned char key[VDW_LOGIN_KEY_SIZE];
    if (!vdw_login_site_key(dir, key)) return {};
    std::string text = user + '\0' + password;
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    bool ok = HMAC(EVP_sha256(), key, static_cast<int>(VDW_LOGIN_KEY_SIZE),
                   reinterpret_cast<const unsigned char*>(text.data()), text.size(), mac, &len) &&
              len >= kGuessSize;
    OPENSSL_cleanse(text.data(), text.size());
    OPENSSL_cleanse(key, sizeof key);
    return ok ? std::string(reinterpret_cast<char*>(mac), kGuessSize) : std::string();
}

bool is_checking(const Record& r, const std::string& guess, int64_t now) {
    return !guess.empty() && now - r.checking_since < VDW_LoginThrottle::CHECK_UNDER_WAY_S &&
           memcmp(r.checking, guess.data(), kGuessSize) == 0;
}

class LockedRecord {
public:
    LockedRecord(const std::string& path, bool create) {
        if (path.empty()) return;
        // A sweep may remove the file between its open and its lock: then it is opened again.
        for (int attempt = 0; attempt < 3 && fd_ < 0; ++attempt) {
            int flags = (create ? O_RDWR | O_CREAT : O_RDONLY) | O_NOFOLLOW | O_CLOEXEC;
            int fd = ::open(path.c_str(), flags, 0600);
            if (fd < 0) return;
            struct stat st;
            if (::flock(fd, create ? LOCK_EX : LOCK_SH) != 0 || ::fstat(fd, &st) != 0 ||
                !S_ISREG(st.st_mode) || st.st_uid != geteuid()) {
                ::close(fd);
                return;
            }
            if (st.st_nlink == 0) {
                ::close(fd);
                continue;
            }
            fd_ = fd;
            writable_ = create;
            ssize_t n = ::pread(fd_, &record_, sizeof record_, 0);
            if (n != static_cast<ssize_t>(sizeof record_)) record_ = Record{};
        }
    }
    ~LockedRecord() {
        if (fd_ >= 0) ::close(fd_);
    }
    LockedRecord(const LockedRecord&) = delete;
    LockedRecord& operator=(const LockedRecord&) = delete;

    bool open() const { return fd_ >= 0; }
    Record& record() { return record_; }
    bool save() {
        return writable_ &&
               ::pwrite(fd_, &record_, sizeof record_, 0) == static_cast<ssize_t>(sizeof record_);
    }

private:
    int fd_ = -1;
    bool writable_ = false;
    Record record_;
};

// The record as it stands `now`: failures forgotten after the quiet time.
void age(Record& r, const VDW_LoginThrottle::Policy& p, int64_t now) {
    if (r.failures > 0 && now - r.last >= p.forget_after_s) r = Record{};
}

int64_t seconds_blocked(const Record& r, int64_t now) {
    return r.until > now ? r.until - now : 0;
}

// Counts one failure; past the free ones the key is blocked for the doubled delay.
void count_failure(Record& r, const VDW_LoginThrottle::Policy& p, int64_t now) {
    ++r.failures;
    r.last = now;
    const int64_t over = r.failures - p.free_failures;
    if (over <= 0) return;
    int64_t delay = p.max_delay_s;
    if (over <= 31) delay = std::min<int64_t>(int64_t{p.first_delay_s} << (over - 1), delay);
    r.until = std::max(r.until, now + delay);
}

}  // namespace

VDW_LoginThrottle::VDW_LoginThrottle(const std::string& user, const std::string& remote_addr)
    : VDW_LoginThrottle(std::string(fileutl_get_tmpdir()) + "/" + kDirName, user, remote_addr,
                        system_now) {}

VDW_LoginThrottle::VDW_LoginThrottle(const std::string& dir, const std::string& user,
                                     const std::string& remote_addr, clock_fn now)
    : dir_(dir), user_(user), now_(now ? now : system_now) {
    const std::string address = address_key(remote_addr);
    user_file_ = vdw_login_hashed_path(dir_, "u", user);
    if (!address.empty()) {
        address_file_ = vdw_login_hashed_path(dir_, "a", address);
        pair_file_ = vdw_login_hashed_path(dir_, "p", user + '\0' + address);
    }
}

int VDW_LoginThrottle::admit(const std::string& password) {
    return enter(&password);
}

int VDW_LoginThrottle::admit_known() {
    return enter(nullptr);
}

int VDW_LoginThrottle::enter(const std::string* password) {
    VDW_Trace trace(QLMX_COMPONENT, kClass, "admit");
    admitted_ = counted_ = address_counted_ = false;
    if (user_file_.empty() || vdw_login_private_dir(dir_).empty()) {
        trace.writeTrace(1, "login records cannot be kept in %s: logins are not throttled",
                         dir_.c_str());
        return 0;
    }
    const int64_t now = now_();
    const bool count = password != nullptr;
    // The address first, always in this order, so that no two attempts wait on each other's
    // locks the other way round; a blocked address makes no record of the users it names.
    LockedRecord address(address_file_, count);
    age(address.record(), ADDRESS_POLICY, now);
    const int64_t address_wait = seconds_blocked(address.record(), now);
    LockedRecord user(user_file_, count && address_wait == 0);
    age(user.record(), USER_POLICY, now);
    int64_t user_wait = seconds_blocked(user.record(), now);
    if (user_wait > 0) {
        LockedRecord pair(pair_file_, false);
        if (pair.open() && now - pair.record().last < KNOWN_PAIR_S) user_wait = 0;
    }
    if (address_wait > 0 || user_wait > 0)
        return static_cast<int>(std::max(address_wait, user_wait));
    admitted_ = true;
    if (!count) return 0;
    guess_ = guess_of(dir_, user_, *password);
    Record& u = user.record();
    // The same password while its check is under way: the outcome is the same, so it counts
    // only when it fails; as many at once as a client sends in parallel, further ones count
    // as any attempt does.
    const bool repeat = is_checking(u, guess_, now);
    if (repeat && u.checking_repeats < VDW_LoginThrottle::PARALLEL_REPEATS) {
        ++u.checking_repeats;
        user.save();
        return 0;
    }
    counted_ = true;
    if (address.open()) {
        address_until_before_ = address.record().until;
        count_failure(address.record(), ADDRESS_POLICY, now);
        address_until_set_ = address.record().until;
        address_counted_ = address.save();
    }
    count_failure(u, USER_POLICY, now);
    if (!guess_.empty() && !repeat) {
        memcpy(u.checking, guess_.data(), kGuessSize);
        u.checking_since = now;
        u.checking_repeats = 0;
    }
    user.save();
    if (fileutl_sweep_due((dir_ + "/.sweep-stamp").c_str())) sweep(dir_);
    return 0;
}

void VDW_LoginThrottle::count_now() {
    const int64_t now = now_();
    if (!address_file_.empty()) {
        LockedRecord address(address_file_, true);
        age(address.record(), ADDRESS_POLICY, now);
        count_failure(address.record(), ADDRESS_POLICY, now);
        address.save();
    }
    LockedRecord user(user_file_, true);
    age(user.record(), USER_POLICY, now);
    count_failure(user.record(), USER_POLICY, now);
    user.save();
}

void VDW_LoginThrottle::failed() {
    if (!admitted_) return;
    admitted_ = false;
    if (!counted_) {
        count_now();
        return;
    }
    // Counted already; the same password tried again from now on counts again.
    LockedRecord user(user_file_, true);
    if (is_checking(user.record(), guess_, now_())) {
        user.record().checking_repeats = 0;
        user.record().checking_since = 0;
        user.save();
    }
}

void VDW_LoginThrottle::succeeded() {
    if (!admitted_) return;
    admitted_ = false;
    const int64_t now = now_();
    if (address_counted_) {
        LockedRecord address(address_file_, true);
        Record& r = address.record();
        if (r.failures > 0) --r.failures;
        // The block this attempt set is lifted; one set by a later failure stays.
        if (r.until == address_until_set_) r.until = address_until_before_;
        address.save();
    }
    // Most logins follow others that succeeded: records already as they should be are left
    // alone, so such a login writes nothing.
    bool user_clean;
    {
        LockedRecord user(user_file_, false);
        user_clean = user.record().failures == 0 && user.record().until == 0 &&
                     user.record().checking_since == 0;
    }
    if (!user_clean) {
        LockedRecord user(user_file_, true);
        user.record() = Record{};
        user.save();
    }
    if (pair_file_.empty()) return;
    {
        LockedRecord pair(pair_file_, false);
        if (pair.open() && now - pair.record().last < kKnownPairRefreshS) return;
    }
    LockedRecord pair(pair_file_, true);
    pair.record() = Record{};
    pair.record().last = now;
    pair.save();
}

std::string VDW_LoginThrottle::address_key(const std::string& remote_addr) {
    unsigned char bytes[16];
    char text[INET6_ADDRSTRLEN + 4];
    if (inet_pton(AF_INET, remote_addr.c_str(), bytes) == 1) {
        inet_ntop(AF_INET, bytes, text, sizeof text);
        return text;
    }
    if (inet_pton(AF_INET6, remote_addr.c_str(), bytes) == 1) {
        static const unsigned char kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
        if (memcmp(bytes, kMapped, sizeof kMapped) == 0) {
            inet_ntop(AF_INET, bytes + 12, text, sizeof text);
            return text;
        }
        memset(bytes + 8, 0, 8);
        inet_ntop(AF_INET6, bytes, text, sizeof text);
        return std::string(text) + "/64";
    }
    return remote_addr.substr(0, 64);
}

void VDW_LoginThrottle::sweep(const std::string& dir) {
    // A user's or an address's record matters for at most its quiet time after its last
    // failure (a block never outlasts that); a pair's for as long as it stays known.
    static const char* const kCounted[] = {"u", "a"};
    static const char* const kPairs[] = {"p"};
    const int64_t counted_age = std::max(USER_POLICY.forget_after_s, ADDRESS_POLICY.forget_after_s);
    fileutl_sweep_temps(dir.c_str(), kCounted, std::size(kCounted), counted_age, nullptr);
    fileutl_sweep_temps(dir.c_str(), kPairs, std::size(kPairs), KNOWN_PAIR_S, nullptr);
}
