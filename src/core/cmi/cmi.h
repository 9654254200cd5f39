// The credentials-manager interface: where the core asks for a CM provider's credentials
// while an operation runs. The web layer registers its login callback (which asks the
// remote user and caches the answer); without one, no credentials are had.
#ifndef CORE_CMI_CMI_H
#define CORE_CMI_CMI_H

#include <string>

#include "core/tbs/tbs.h"

struct CMI_Credentials {
    std::string provider;
    std::string user_name;
    std::string password;
};

// Fills `creds` and sets `*retry` to 0 when it has credentials to try, 1 when it gives up.
typedef void (*Cmi_login_cb_t)(void* data, const char* provider, const char* context,
                               CMI_Credentials* creds, int retry_count, int* retry);

class Cmi_Callbacks {
public:
    static void set_login_callbacks(Cmi_login_cb_t login, void* data);
    static void clear_login_callbacks();
    // Asks the registered callback for `provider`'s credentials (try `retry_count`, from 0).
    // TBS_ST_CREDENTIALS_REQUIRED when there is no callback or it gives up.
    static tbs_status_t obtain_login(const char* provider, const char* context, int retry_count,
                                     CMI_Credentials* creds);
};

#endif
