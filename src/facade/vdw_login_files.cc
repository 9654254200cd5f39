// Directories, keys and file names of the login records.
#include "facade/vdw_login_files.h"

#include <fcntl.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <unistd.h>

#include "core/util/fileutl.h"

namespace {

bool read_key(const std::string& path, unsigned char (&key)[VDW_LOGIN_KEY_SIZE]) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    ssize_t n = ::read(fd, key, VDW_LOGIN_KEY_SIZE);
    ::close(fd);
    return n == static_cast<ssize_t>(VDW_LOGIN_KEY_SIZE);
}

}  // namespace

// The library's configuration file, its error texts and its tables of every cipher and
// digest hold nothing a keyed hash needs; setting them up would cost more than the check.
bool vdw_login_crypto_ready() {
    static const bool ready =
        OPENSSL_init_crypto(OPENSSL_INIT_NO_LOAD_CONFIG | OPENSSL_INIT_NO_ATEXIT |
                                OPENSSL_INIT_NO_LOAD_CRYPTO_STRINGS |
                                OPENSSL_INIT_NO_ADD_ALL_CIPHERS | OPENSSL_INIT_NO_ADD_ALL_DIGESTS,
                            nullptr) == 1;
    return ready;
}

std::string vdw_login_private_dir(const std::string& dir) {
    if (dir.empty() || fileutl_private_dir(dir.c_str()) != TBS_ST_OK) return {};
    return dir;
}

bool vdw_login_site_key(const std::string& dir, unsigned char (&key)[VDW_LOGIN_KEY_SIZE]) {
    const std::string path = dir + "/key";
    if (read_key(path, key)) return true;
    char tmp[1024];
    int fd = fileutl_create_temp(dir.c_str(), ".key", 0600, tmp, sizeof tmp);
    if (fd < 0) return false;
    bool ok = RAND_bytes(key, static_cast<int>(VDW_LOGIN_KEY_SIZE)) == 1 &&
              fileutl_write_all(fd, key, VDW_LOGIN_KEY_SIZE);
    ok = ::close(fd) == 0 && ok;
    // Two first uses at once: whichever key stayed is the one.
    ok = ok && ::rename(tmp, path.c_str()) == 0;
    if (!ok) ::unlink(tmp);
    return read_key(path, key);
}

std::string vdw_login_hashed_path(const std::string& dir, const std::string& prefix,
                                  const std::string& text) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    if (!vdw_login_crypto_ready() ||
        !EVP_Digest(text.data(), text.size(), digest, &len, EVP_sha256(), nullptr))
        return {};
    static const char kHex[] = "0123456789abcdef";
    std::string path = dir + "/" + prefix;
    for (unsigned i = 0; i < len; ++i) {
        path += kHex[digest[i] >> 4];
        path += kHex[digest[i] & 15];
    }
    return path;
}
