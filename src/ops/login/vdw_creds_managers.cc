// The credentials managers.
#include "ops/login/vdw_creds_managers.h"

#include <string>

#include "core/cmi/cmi.h"
#include "core/imsg/imsg.h"
#include "core/stg/stg.h"
#include "core/tide/tide.h"
#include "foundation/catalogs/vdweb_catalog.h"
#include "interact/ireq_msg.h"
#include "interact/ireq_request.h"

namespace {

std::vector<VDW_CmiCreds> g_cmi_creds;
std::vector<VDW_TnCreds> g_all_creds;
bool g_caching_enabled = true;

const char* field(const ireq_msg_t* m, const char* name) {
    const char* v = nullptr;
    return ireq_msg_get_element(m, name, &v) ? v : nullptr;
}

// Asks the client with `protocol` and the `elements`; the answer in `*answer` (in `area`),
// or false when it could not be sent or answered (`send_failed` printed).
bool ask(stg_area_t* area, const char* protocol,
         const std::vector<std::pair<const char*, std::string>>& elements, int send_failed,
         ireq_msg_t** answer) {
    ireq_msg_t* msg = area ? ireq_msg_create(area, protocol, "1.0", 10) : nullptr;
    bool built = msg != nullptr;
    for (const auto& [name, value] : elements)
        built = built && ireq_msg_add_element(msg, name, value.c_str());
    if (!built) {
        imsg_error("Internal error: unable to build the %s login request.\n", protocol);
        return false;
    }
    if (ireq_request_send(protocol, "1.0", area, msg, answer, LOGIN_TIMEOUT) != 0 || !*answer) {
        imsg_print_catalog(IMSG_ERROR, &_vdweb_lib_msg_table, send_failed);
        return false;
    }
    return true;
}

// "ok", "cancel" (printed), or anything else (an internal error, printed).
bool answered_ok(const ireq_msg_t* answer, const char* protocol, int canceled) {
    const char* status = field(answer, "status");
    if (status && std::string(status) == "ok") return true;
    if (status && std::string(status) == "cancel")
        imsg_print_catalog(IMSG_ERROR, &_vdweb_lib_msg_table, canceled);
    else
        imsg_error("Internal error: the %s login answer has status \"%s\".\n", protocol,
                   status ? status : "");
    return false;
}

}  // namespace

// ---- CM provider --------------------------------------------------------------------

int VDW_CmiCredsManager::get_creds(const std::string& provider, VDW_CmiCreds* creds) {
    for (const VDW_CmiCreds& c : g_cmi_creds)
        if (c.provider == provider) {
            *creds = c;
            break;
        }
    return 1002;
}

void VDW_CmiCredsManager::set_creds(const VDW_CmiCreds& creds) {
    for (VDW_CmiCreds& c : g_cmi_creds) {
        if (c.provider != creds.provider) continue;
        if (!(c == creds)) c = creds;
        return;
    }
    g_cmi_creds.push_back(creds);
}

void VDW_CmiCredsManager::clear_all_creds() {
    g_cmi_creds.clear();
}

void VDW_CmiCredsManager::obtain_login(const std::string& provider, const std::string& context,
                                       VDW_CmiCreds* creds, int retry_count,
                                       const std::string& last_error, int* not_logged_in) {
    *not_logged_in = 1;
    if (retry_count == 0 && get_creds(provider, creds) != 1002) return;
    stg_scoped_area area;
    ireq_msg_t* answer = nullptr;
    if (!ask(area.get(), "CMI",
             {{"providerName", provider},
              {"context", context},
              {"lastErrorMsg", retry_count > 0 ? last_error : std::string()},
              {"retryCount", std::to_string(retry_count)}},
             VDWEB_PROVIDER_LOGIN_SEND_FAILED, &answer) ||
        !answered_ok(answer, "CMI", VDWEB_PROVIDER_LOGIN_CANCELED))
        return;
    const char* user = field(answer, "userName");
    const char* password = field(answer, "password");
    creds->provider = provider;
    creds->user = user ? user : "";
    creds->password = password ? password : "";
    set_creds(*creds);
    *not_logged_in = 0;
}

// ---- change-request databases -------------------------------------------------------

int VDW_TnCredsManager::get_creds(const std::string& user_db, const std::string& db_set,
                                  VDW_TnCreds* creds) {
    for (const VDW_TnCreds& c : g_all_creds) {
        if (c.db_set != db_set) continue;
        *creds = c;
        creds->user_db = user_db;
        return 0;
    }
    return 1002;
}

void VDW_TnCredsManager::set_creds(const VDW_TnCreds& creds) {
    if (!g_caching_enabled) return;
    for (VDW_TnCreds& c : g_all_creds)
        if (c.user_db == creds.user_db && c.db_set == creds.db_set) {
            c = creds;
            return;
        }
    g_all_creds.push_back(creds);
}

bool VDW_TnCredsManager::creds_are_valid(const VDW_TnCreds& creds) {
    return !creds.user.empty() && !creds.password.empty();
}

void VDW_TnCredsManager::clear_all_creds() {
    g_all_creds.clear();
}

bool VDW_TnCredsManager::get_caching_enabled() {
    return g_caching_enabled;
}

void VDW_TnCredsManager::set_caching_enabled(bool enabled) {
    g_caching_enabled = enabled;
}

void VDW_TnCredsManager::obtain_login(const std::string& user_db, const std::string& db_set,
                                      const std::string& server_url, VDW_TnCreds* creds,
                                      int retry_count, const std::string& last_error,
                                      int* not_logged_in) {
    *not_logged_in = 1;
    VDW_TnCreds cached;
    if (retry_count == 0 && get_creds(user_db, db_set, &cached) == 0 && creds_are_valid(cached)) {
        *creds = cached;
        *not_logged_in = 0;
        return;
    }
    stg_scoped_area area;
    ireq_msg_t* answer = nullptr;
    if (!ask(area.get(), "TnLogin",
             {{"userDb", user_db},
              {"dbSet", db_set},
              {"serverUrl", server_url},
              {"lastErrorMsg", retry_count > 0 ? last_error : std::string()},
              {"retryCount", std::to_string(retry_count)}},
             VDWEB_TARNIS_LOGIN_SEND_FAILED, &answer) ||
        !answered_ok(answer, "TnLogin", VDWEB_TARNIS_LOGIN_CANCELED))
        return;
    auto text = [&](const char* name, const std::string& fallback) {
        const char* v = field(answer, name);
        return v && *v ? std::string(v) : fallback;
    };
    creds->user = text("userName", "");
    creds->password = text("password", "");
    creds->user_db = text("userDb", user_db);
    creds->db_set = text("dbSet", db_set);
    creds->web_url = server_url;
    set_creds(*creds);
    *not_logged_in = 0;
}

// ---- the core's login callbacks ------------------------------------------------------------

namespace {

void cmi_login(void*, const char* provider, const char* context, CMI_Credentials* creds,
               int retry_count, int* retry) {
    VDW_CmiCreds got;
    int not_logged_in = 1;
    VDW_CmiCredsManager::obtain_login(provider ? provider : "", context ? context : "", &got,
                                      retry_count, "", &not_logged_in);
    *retry = not_logged_in;
    if (not_logged_in) return;
    creds->provider = got.provider.empty() && provider ? provider : got.provider;
    creds->user_name = got.user;
    creds->password = got.password;
}

void tide_login(void*, const char* user_db, const char* db_set, CTide_Credentials* creds,
                int retry_count, int* retry) {
    VDW_TnCreds got;
    int not_logged_in = 1;
    VDW_TnCredsManager::obtain_login(user_db ? user_db : "", db_set ? db_set : "", "", &got,
                                     retry_count, "", &not_logged_in);
    *retry = not_logged_in;
    if (not_logged_in) return;
    creds->user_db = got.user_db.empty() && user_db ? user_db : got.user_db;
    creds->db_set = got.db_set.empty() && db_set ? db_set : got.db_set;
    creds->web_url = got.web_url;
    creds->user_name = got.user;
    creds->password = got.password;
}

}  // namespace

void vdw_register_login_callbacks() {
    Cmi_Callbacks::set_login_callbacks(cmi_login, nullptr);
    CTide_set_login_callback(tide_login, nullptr);
}
