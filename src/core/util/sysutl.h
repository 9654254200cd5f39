// Checks against the system's user database.
#ifndef CORE_UTIL_SYSUTL_H
#define CORE_UTIL_SYSUTL_H

#include "core/tbs/tbs.h"

// The PAM service that checks passwords; a site points it at its own directory service
// through /etc/pam.d/vdweb.
#define SYSUTL_PAM_SERVICE "vdweb"

// The socket of the system's authentication daemon (saslauthd), unless the environment
// names another in VDWEB_SASLAUTHD_SOCKET.
#define SYSUTL_SASLAUTHD_SOCKET "/var/run/saslauthd/mux"

// Whether `password` is `user`'s, by PAM authentication and account checks under the
// service SYSUTL_PAM_SERVICE, asked of the authentication daemon (or, in a root process
// without the daemon, of PAM directly). TBS_ST_OK when it is; TBS_ST_PERMISSION when it is
// refused (wrong password, unknown user, expired or locked account, an empty password);
// TBS_ST_ERR when the check cannot be made. The password is handed to the daemon or PAM
// only, never kept or logged.
tbs_status_t sysutl_check_password(const char* user, const char* password);

#endif
