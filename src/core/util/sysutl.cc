// Password checks: through the system's authentication daemon, or through PAM in a root
// process.
//
// The processes that serve a site cannot read the system's password hashes, and must not:
// they ask saslauthd, a privileged daemon that does nothing but check a user's password
// through PAM, over its Unix socket (whose group the site's account belongs to). Its
// protocol is four counted strings (user, password, service, realm), each a 16-bit length
// in network order and the bytes, answered by one counted string that begins with "OK" or
// "NO". A root process (vdtool run by root) checks through PAM itself when the daemon is not
// there.
//
// libpam (and the libraries it brings) is loaded when a password is first checked that way,
// not when a process starts.
#include "core/util/sysutl.h"

#include <dlfcn.h>
#include <poll.h>
#include <security/pam_appl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace {

// The PAM calls, from the library loaded once.
struct PamCalls {
    decltype(&pam_start) start = nullptr;
    decltype(&pam_authenticate) authenticate = nullptr;
    decltype(&pam_acct_mgmt) acct_mgmt = nullptr;
    decltype(&pam_end) end = nullptr;
};

const PamCalls* pam_calls() {
    static PamCalls calls;
    static std::once_flag once;
    std::call_once(once, [] {
        void* lib = dlopen("libpam.so.0", RTLD_NOW | RTLD_GLOBAL);
        if (!lib) return;
        calls.start = reinterpret_cast<decltype(&pam_start)>(dlsym(lib, "pam_start"));
        calls.authenticate =
            reinterpret_cast<decltype(&pam_authenticate)>(dlsym(lib, "pam_authenticate"));
        calls.acct_mgmt = reinterpret_cast<decltype(&pam_acct_mgmt)>(dlsym(lib, "pam_acct_mgmt"));
        calls.end = reinterpret_cast<decltype(&pam_end)>(dlsym(lib, "pam_end"));
    });
    return calls.start && calls.authenticate && calls.acct_mgmt && calls.end ? &calls : nullptr;
}

// Answers PAM's questions: the password for every hidden prompt, nothing for the others.
// PAM frees the answers it is given.
extern "C" int answer_with_password(int count, const struct pam_message** messages,
                                    struct pam_response** responses, void* data) {
    if (count <= 0 || count > PAM_MAX_NUM_MSG) return PAM_CONV_ERR;
    auto* out =
        static_cast<pam_response*>(calloc(static_cast<size_t>(count), sizeof(pam_response)));
    if (!out) return PAM_BUF_ERR;
    const char* password = static_cast<const char*>(data);
    for (int i = 0; i < count; ++i) {
        if (messages[i]->msg_style != PAM_PROMPT_ECHO_OFF) continue;
        out[i].resp = strdup(password);
        if (!out[i].resp) {
            for (int j = 0; j < i; ++j) {
                if (!out[j].resp) continue;
                explicit_bzero(out[j].resp, strlen(out[j].resp));
                free(out[j].resp);
            }
            free(out);
            return PAM_BUF_ERR;
        }
    }
    *responses = out;
    return PAM_SUCCESS;
}

// The daemon's socket: SYSUTL_SASLAUTHD_SOCKET, or the one named in the environment.
const char* daemon_socket() {
    const char* env = getenv("VDWEB_SASLAUTHD_SOCKET");
    return env && *env ? env : SYSUTL_SASLAUTHD_SOCKET;
}

// A whole exchange gets this long; a daemon that takes longer is taken as failed.
constexpr int kDaemonTimeoutMs = 15000;

bool send_all(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool recv_all(int fd, char* data, size_t size) {
    while (size > 0) {
        pollfd p{fd, POLLIN, 0};
        int ready = poll(&p, 1, kDaemonTimeoutMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        ssize_t n = recv(fd, data, size, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void put_counted(std::string* out, const char* text) {
    const size_t n = strlen(text);
    out->push_back(static_cast<char>((n >> 8) & 0xff));
    out->push_back(static_cast<char>(n & 0xff));
    out->append(text, n);
}

// Asks the daemon. TBS_ST_NOT_FOUND when no daemon answers at the socket.
tbs_status_t ask_daemon(const char* user, const char* password) {
    const char* path = daemon_socket();
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (strlen(path) >= sizeof addr.sun_path) return TBS_ST_ERR;
    strcpy(addr.sun_path, path);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return TBS_ST_ERR;
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        const int err = errno;
        close(fd);
        return err == ENOENT || err == ECONNREFUSED ? TBS_ST_NOT_FOUND : TBS_ST_ERR;
    }
    std::string request;
    put_counted(&request, user);
    put_counted(&request, password);
    put_counted(&request, SYSUTL_PAM_SERVICE);
    put_counted(&request, "");
    bool ok = request.size() < 65536 * 4 && send_all(fd, request.data(), request.size());
    explicit_bzero(request.data(), request.size());
    unsigned char head[2];
    char answer[1024] = "";
    size_t len = 0;
    if (ok && recv_all(fd, reinterpret_cast<char*>(head), 2)) {
        len = static_cast<size_t>(head[0]) << 8 | head[1];
        ok = len >= 2 && len < sizeof answer && recv_all(fd, answer, len);
    } else {
        ok = false;
    }
    close(fd);
    if (!ok) return TBS_ST_ERR;
    return strncmp(answer, "OK", 2) == 0 ? TBS_ST_OK : TBS_ST_PERMISSION;
}

tbs_status_t check_with_pam(const char* user, const char* password) {
    const PamCalls* calls = pam_calls();
    if (!calls) return TBS_ST_ERR;  // no PAM on this machine: nobody can be checked
    pam_conv conv{answer_with_password, const_cast<char*>(password)};
    pam_handle_t* pam = nullptr;
    if (calls->start(SYSUTL_PAM_SERVICE, user, &conv, &pam) != PAM_SUCCESS) return TBS_ST_ERR;
    int rc = calls->authenticate(pam, PAM_SILENT | PAM_DISALLOW_NULL_AUTHTOK);
    if (rc == PAM_SUCCESS) rc = calls->acct_mgmt(pam, PAM_SILENT | PAM_DISALLOW_NULL_AUTHTOK);
    calls->end(pam, rc);
    switch (rc) {
        case PAM_SUCCESS:
            return TBS_ST_OK;
        case PAM_AUTH_ERR:
        case PAM_USER_UNKNOWN:
        case PAM_CRED_INSUFFICIENT:
        case PAM_MAXTRIES:
        case PAM_ACCT_EXPIRED:
        case PAM_NEW_AUTHTOK_REQD:
        case PAM_PERM_DENIED:
            return TBS_ST_PERMISSION;
        default:
            return TBS_ST_ERR;
    }
}

}  // namespace

tbs_status_t sysutl_check_password(const char* user, const char* password) {
    if (!user || !*user || !password || !*password) return TBS_ST_PERMISSION;
    // Counted strings hold at most 65535 bytes; nothing longer is a password.
    if (strlen(user) > 256 || strlen(password) > 4096) return TBS_ST_PERMISSION;
    tbs_status_t st = ask_daemon(user, password);
    if (st != TBS_ST_NOT_FOUND) return st;
    return geteuid() == 0 ? check_with_pam(user, password) : TBS_ST_ERR;
}
