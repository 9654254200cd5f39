// The credentials-manager interface's callback registry.
#include "core/cmi/cmi.h"

#include <mutex>

namespace {

std::mutex g_mu;
Cmi_login_cb_t g_login = nullptr;
void* g_data = nullptr;

}  // namespace

void Cmi_Callbacks::set_login_callbacks(Cmi_login_cb_t login, void* data) {
    std::lock_guard<std::mutex> lock(g_mu);
    g_login = login;
    g_data = data;
}

void Cmi_Callbacks::clear_login_callbacks() {
    set_login_callbacks(nullptr, nullptr);
}

tbs_status_t Cmi_Callbacks::obtain_login(const char* provider, const char* context, int retry_count,
                                         CMI_Credentials* creds) {
    Cmi_login_cb_t cb;
    void* data;
    {
        std::lock_guard<std::mutex> lock(g_mu);
        cb = g_login;
        data = g_data;
    }
    if (!cb || !provider) return TBS_ST_CREDENTIALS_REQUIRED;
    int retry = 1;
    creds->provider = provider;
    cb(data, provider, context ? context : "", creds, retry_count, &retry);
    return retry == 0 ? TBS_ST_OK : TBS_ST_CREDENTIALS_REQUIRED;
}
