// VDW_LoginCache.
#include "facade/vdw_login_cache.h"

#include <fcntl.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iterator>
#include <string>

#include "core/util/fileutl.h"
#include "core/util/strutl.h"
#include "facade/vdw_login_files.h"

namespace {

constexpr size_t kKeySize = VDW_LOGIN_KEY_SIZE;
constexpr size_t kMacSize = 32;

std::string cache_dir() {
    if (!vdw_login_crypto_ready()) return {};
    return vdw_login_private_dir(std::string(fileutl_get_tmpdir()) + "/logins");
}

bool read_exact(const std::string& path, unsigned char* buf, size_t size, size_t* got) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    ssize_t n = ::read(fd, buf, size);
    ::close(fd);
    if (n < 0) return false;
    *got = static_cast<size_t>(n);
    return true;
}

// Writes `size` bytes to `path` through a temporary file renamed into place, mode 0600.
bool write_whole(const std::string& dir, const std::string& path, const void* data, size_t size) {
    char tmp[1024];
    int fd = fileutl_create_temp(dir.c_str(), ".wr", 0600, tmp, sizeof tmp);
    if (fd < 0) return false;
    bool ok = fileutl_write_all(fd, data, size);
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(tmp, path.c_str()) == 0;
    if (!ok) ::unlink(tmp);
    return ok;
}

// Any edit of the system's account files (a new password, a lock, an expiry, a removed
// user) changes the inode, size, modification or change time (nanoseconds) of one of them.
const char* const kAccountFiles[] = {"/etc/passwd", "/etc/shadow", "/etc/group"};
static_assert(std::size(kAccountFiles) == VDW_LoginCache::ACCOUNT_FILES, "one state per file");

using AccountState = VDW_LoginCache::AccountState;

// Whether the system still has `user` as the account the entry recorded.
bool account_unchanged(const char* user, const credutl_creds_t& identity) {
    struct passwd pw, *res = nullptr;
    char buf[4096];
    return getpwnam_r(user, &pw, buf, sizeof buf, &res) == 0 && res && res->pw_uid == identity.uid;
}

// An entry: the time of the check (8 bytes, little-endian), the state of the account files
// then, the user's identity then, and the MAC over user, password and all of these.
struct Entry {
    unsigned char when[8];
    AccountState accounts;
    credutl_creds_t identity;
    unsigned char mac[kMacSize];
};

// HMAC(key, user NUL password NUL time identity).
bool mac_of(const unsigned char key[kKeySize], const char* user, const char* password,
            const Entry& e, unsigned char out[kMacSize]) {
    std::string text = std::string(user) + '\0' + password + '\0';
    text.append(reinterpret_cast<const char*>(e.when), sizeof e.when);
    text.append(reinterpret_cast<const char*>(&e.accounts), sizeof e.accounts);
    text.append(reinterpret_cast<const char*>(&e.identity), sizeof e.identity);
    unsigned int len = 0;
    bool ok = HMAC(EVP_sha256(), key, static_cast<int>(kKeySize),
                   reinterpret_cast<const unsigned char*>(text.data()), text.size(), out, &len) &&
              len == kMacSize;
    OPENSSL_cleanse(text.data(), text.size());
    return ok;
}

}  // namespace

VDW_LoginCache::AccountState VDW_LoginCache::account_state() {
    AccountState s;
    memset(&s, 0, sizeof s);
    size_t i = 0;
    for (const char* path : kAccountFiles) {
        struct stat st;
        if (::stat(path, &st) == 0) {
            s.v[i] = static_cast<int64_t>(st.st_ino);
            s.v[i + 1] = static_cast<int64_t>(st.st_size);
            s.v[i + 2] = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
            s.v[i + 3] = static_cast<int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
        }
        i += ACCOUNT_FIELDS;
    }
    return s;
}

bool VDW_LoginCache::recently_checked(const char* user, const char* password,
                                      credutl_creds_t* identity) {
    if (!user || !*user || !password) return false;
    std::string dir = cache_dir();
    unsigned char key[kKeySize];
    if (dir.empty() || !vdw_login_site_key(dir, key)) return false;
    std::string path = vdw_login_hashed_path(dir, "u", user);
    Entry e;
    size_t got = 0;
    if (path.empty() || !read_exact(path, reinterpret_cast<unsigned char*>(&e), sizeof e, &got) ||
        got != sizeof e)
        return false;
    int64_t when = 0;
    for (int i = 7; i >= 0; --i) when = when << 8 | e.when[i];
    int64_t now = static_cast<int64_t>(time(nullptr));
    if (now < when || now - when >= LOGIN_CACHE_SECONDS) return false;
    const AccountState current = account_state();
    if (memcmp(&current, &e.accounts, sizeof current) != 0) return false;
    unsigned char mac[kMacSize];
    bool match = mac_of(key, user, password, e, mac) && CRYPTO_memcmp(mac, e.mac, kMacSize) == 0;
    OPENSSL_cleanse(key, sizeof key);
    if (!match || !account_unchanged(user, e.identity)) return false;
    *identity = e.identity;
    return true;
}

void VDW_LoginCache::remember(const char* user, const char* password,
                              const credutl_creds_t& identity, const AccountState& before) {
    if (!user || !*user || !password) return;
    std::string dir = cache_dir();
    unsigned char key[kKeySize];
    if (dir.empty() || !vdw_login_site_key(dir, key)) return;
    std::string path = vdw_login_hashed_path(dir, "u", user);
    Entry e;
    memset(&e, 0, sizeof e);
    int64_t now = static_cast<int64_t>(time(nullptr));
    for (int i = 0; i < 8; ++i) e.when[i] = static_cast<unsigned char>(now >> (8 * i));
    e.accounts = before;
    e.identity = identity;
    if (!path.empty() && mac_of(key, user, password, e, e.mac))
        write_whole(dir, path, &e, sizeof e);
    OPENSSL_cleanse(key, sizeof key);
}
