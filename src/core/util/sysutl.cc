// Password checks through PAM.
//
// libpam (and the libraries it brings) is loaded when a password is first checked, not
// when a process starts: most requests of a logged-in user are answered from the login
// cache, and a process started per request should not pay for PAM unless it uses it.
#include "core/util/sysutl.h"

#include <dlfcn.h>
#include <security/pam_appl.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

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

}  // namespace

tbs_status_t sysutl_check_password(const char* user, const char* password) {
    if (!user || !*user || !password || !*password) return TBS_ST_PERMISSION;
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
