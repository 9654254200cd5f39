// Checks against the system's user database.
#ifndef CORE_UTIL_SYSUTL_H
#define CORE_UTIL_SYSUTL_H

#include "core/tbs/tbs.h"

// The PAM service that checks passwords; a site points it at its own directory service
// through /etc/pam.d/vdweb.
#define SYSUTL_PAM_SERVICE "vdweb"

// Whether `password` is `user`'s, by PAM authentication and account checks under the
// service SYSUTL_PAM_SERVICE. TBS_ST_OK when it is; TBS_ST_PERMISSION when PAM refuses
// (wrong password, unknown user, expired or locked account, an empty password); TBS_ST_ERR
// when PAM itself fails. The password is handed to PAM only, never kept or logged.
tbs_status_t sysutl_check_password(const char* user, const char* password);

#endif
