// The configuration singleton: defaults, file syntax, typed lookups and client flags.
#include "foundation/vdw_config.h"

#include <strings.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "core/tbs/tbs.h"
#include "core/util/fileutl.h"
#include "core/util/i18n.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"

namespace {

const char kClass[] = "VDW_Config";

struct Default {
    const char* key;
    const char* value;
};

const Default kDefaults[] = {
    {VDW_Config::KEEPALIVE_INTERVAL_KEY, "300"},
    // A finite limit unless the site sets one (0 or less there: none), so that an anonymous
    // client cannot fill the disk with one request.
    {VDW_Config::UPLOAD_LIMIT_KEY, "1073741824"},
    // The same for the rest of a body, which is held in memory while the request runs.
    {VDW_Config::FORM_LIMIT_KEY, "268435456"},
    {VDW_Config::DOWNLOAD_COMPRESSION_THRESHOLD_KEY, "15"},
    {VDW_Config::FILTER_OBSOLETE_KEY, "true"},
    {VDW_Config::MAX_REQUESTS_PER_SESSION_KEY, "10"},
    {VDW_Config::SUPPORTS_PARALLEL_LOAD_KEY, "true"},
    {VDW_Config::SUPPORTS_CLIENT_SESSION_CACHING_KEY, "true"},
};

enum class Kind { STRING, BOOLEAN, INTEGER, LONG };

struct Listed {
    const char* key;
    Kind kind;
};

// The keys `get_all_params` reports, in the order clients see them.
const Listed kListed[] = {
    {VDW_Config::TARNIS_DATABASE_MAP_FILE_KEY, Kind::STRING},
    {VDW_Config::DOWNLOAD_COMPRESSION_THRESHOLD_KEY, Kind::INTEGER},
    {VDW_Config::USE_VIEW_HOST_PATH_FOR_GLOBAL_PATH_KEY, Kind::BOOLEAN},
    {VDW_Config::KEEPALIVE_INTERVAL_KEY, Kind::INTEGER},
    {VDW_Config::PRIMARY_GROUP_KEY, Kind::STRING},
    {VDW_Config::TEMP_DIR_KEY, Kind::STRING},
    {VDW_Config::TRACE_LEVEL_KEY, Kind::INTEGER},
    {VDW_Config::TRACE_SUBSYSTEM_KEY, Kind::STRING},
    {VDW_Config::TRACE_USER_KEY, Kind::STRING},
    {VDW_Config::UPLOAD_LIMIT_KEY, Kind::LONG},
    {VDW_Config::USER_REGION_MAP_FILE_KEY, Kind::STRING},
    {VDW_Config::VIEW_STORAGE_KEY, Kind::STRING},
    {VDW_Config::VOB_LINE_TERMINATOR_KEY, Kind::STRING},
    {VDW_Config::FILTER_OBSOLETE_KEY, Kind::BOOLEAN},
    {VDW_Config::SUPPORTS_PARALLEL_LOAD_KEY, Kind::BOOLEAN},
    {VDW_Config::MAX_REQUESTS_PER_SESSION_KEY, Kind::INTEGER},
    {VDW_Config::SUPPORTS_CLIENT_SESSION_CACHING_KEY, Kind::BOOLEAN},
};

// Never destroyed: exit handlers may still read the configuration.
std::unique_ptr<VDW_Config>& instance_slot() {
    static auto* slot = new std::unique_ptr<VDW_Config>;
    return *slot;
}

struct FileCloser {
    void operator()(FILE* f) const { fclose(f); }
};

struct LineFreer {
    void operator()(char* p) const { free(p); }
};

std::string trimmed(const std::string& s) {
    size_t begin = 0;
    size_t end = s.size();
    while (begin < end && isspace(static_cast<unsigned char>(s[begin]))) ++begin;
    while (end > begin && isspace(static_cast<unsigned char>(s[end - 1]))) --end;
    return s.substr(begin, end - begin);
}

// Splits one line into key and value; false for lines the syntax skips.
bool parse_line(const std::string& raw, std::string* key, std::string* value) {
    std::string line = trimmed(raw);
    if (line.empty() || line[0] == '#') return false;
    size_t eq = line.find('=');
    if (eq == std::string::npos || eq == 0) return false;
    *key = trimmed(line.substr(0, eq));
    *value = trimmed(line.substr(eq + 1));
    return true;
}

void wipe(std::string& s) {
    if (!s.empty()) explicit_bzero(s.data(), s.size());
    s.clear();
}

const char* true_false(bool b) {
    return b ? "true" : "false";
}

}  // namespace

VDW_Config& VDW_Config::getInstance() {
    std::unique_ptr<VDW_Config>& slot = instance_slot();
    if (!slot) {
        VDW_Trace trace(QLMX_COMPONENT, kClass, "getInstance");
        slot = std::make_unique<VDW_Config>();
        std::string path = get_config_file();
        // A failed load applies nothing, so the instance keeps the defaults only.
        if (fileutl_exists(path.c_str()) && slot->load(path.c_str()) != LOAD_OK) {
            trace.writeTrace(1, "cannot read %s: using the built-in defaults", path.c_str());
        }
    }
    return *slot;
}

void VDW_Config::reset_for_tests() {
    instance_slot().reset();
}

std::string VDW_Config::get_config_file() {
    return std::string(tbs_product_config_dir()) + "/qlmx/server.conf";
}

VDW_Config::VDW_Config() {
    for (const Default& d : kDefaults) params_[d.key] = d.value;
}

VDW_Config::~VDW_Config() {
    wipe(password_);
}

int VDW_Config::load(const char* path) {
    VDW_Trace trace(QLMX_COMPONENT, kClass, "load");
    std::unique_ptr<FILE, FileCloser> file(path ? fopen(path, "re") : nullptr);
    if (!file) {
        trace.writeTrace(1, "cannot open %s", path ? path : "(null)");
        return LOAD_FAILED;
    }
    std::vector<std::pair<std::string, std::string>> entries;
    char* buf = nullptr;
    size_t cap = 0;
    ssize_t len;
    while ((len = getline(&buf, &cap, file.get())) >= 0) {
        std::string key;
        std::string value;
        if (parse_line(std::string(buf, static_cast<size_t>(len)), &key, &value)) {
            entries.emplace_back(std::move(key), std::move(value));
        }
    }
    std::unique_ptr<char, LineFreer> release(buf);
    if (ferror(file.get())) {
        trace.writeTrace(1, "error reading %s", path);
        return LOAD_FAILED;
    }
    for (auto& entry : entries) params_[entry.first] = std::move(entry.second);
    return LOAD_OK;
}

const char* VDW_Config::get_string_param(const char* key) const {
    if (!key) return nullptr;
    auto it = params_.find(key);
    return it == params_.end() ? nullptr : it->second.c_str();
}

bool VDW_Config::get_boolean_param(const char* key) const {
    const char* value = get_string_param(key);
    return value && strcasecmp(value, "true") == 0;
}

int VDW_Config::get_integer_param(const char* key) const {
    const char* value = get_string_param(key);
    return value ? atoi(value) : 0;
}

long VDW_Config::get_long_param(const char* key) const {
    const char* value = get_string_param(key);
    return value ? atol(value) : 0;
}

std::vector<std::string> VDW_Config::get_all_params() const {
    std::vector<std::string> lines;
    lines.reserve(std::size(kListed));
    for (const Listed& l : kListed) {
        std::string line = std::string(l.key) + " = ";
        switch (l.kind) {
            case Kind::STRING: {
                const char* value = get_string_param(l.key);
                line += value ? value : "";
                break;
            }
            case Kind::BOOLEAN:
                line += true_false(get_boolean_param(l.key));
                break;
            case Kind::INTEGER:
                line += std::to_string(get_integer_param(l.key));
                break;
            case Kind::LONG:
                line += std::to_string(get_long_param(l.key));
                break;
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

void VDW_Config::dump_map(const char* label) const {
    VDW_Trace trace(QLMX_COMPONENT, kClass, "dump_map");
    if (!trace.shouldTrace(VDW_Trace::TRACE_LEVEL_4)) return;
    const char* name = label ? label : "";
    trace.writeTrace("%s ----------------...start", name);
    for (const auto& [key, value] : params_) {
        trace.writeTrace("[%s] = [%s]", key.c_str(), value.c_str());
    }
    trace.writeTrace("%s -----------------...end", name);
}

bool VDW_Config::is_client_automatic_view_aware() const {
    VDW_Trace trace(QLMX_COMPONENT, kClass, "is_client_automatic_view_aware");
    trace.writeTrace(2, client_automatic_view_aware_ ? "client knows auto views..."
                                                     : "client doesn't know auto views...");
    return client_automatic_view_aware_ != 0;
}

void VDW_Config::set_client_automatic_view_aware(int aware) {
    VDW_Trace trace(QLMX_COMPONENT, kClass, "set_client_automatic_view_aware");
    client_automatic_view_aware_ = aware;
    trace.writeTrace(2, "av-aware set to %s", true_false(aware != 0));
}

bool VDW_Config::is_client_snapshot_view_aware() const {
    VDW_Trace trace(QLMX_COMPONENT, kClass, "is_client_snapshot_view_aware");
    trace.writeTrace(2, client_snapshot_view_aware_ ? "client knows snapshot views..."
                                                    : "client doesn't know snapshot views...");
    return client_snapshot_view_aware_ != 0;
}

void VDW_Config::set_client_snapshot_view_aware(int aware) {
    VDW_Trace trace(QLMX_COMPONENT, kClass, "set_client_snapshot_view_aware");
    client_snapshot_view_aware_ = aware;
    trace.writeTrace(2, "sv-aware set to %s", true_false(aware != 0));
}

bool VDW_Config::is_using_extended_groups() const {
    VDW_Trace trace(QLMX_COMPONENT, kClass, "is_using_extended_groups");
    trace.writeTrace(
        2, using_extended_groups_ ? "using extended groups..." : "not using extended groups...");
    return using_extended_groups_ != 0;
}

void VDW_Config::set_using_extended_groups(int used) {
    VDW_Trace trace(QLMX_COMPONENT, kClass, "set_using_extended_groups");
    using_extended_groups_ = used;
    trace.writeTrace(2, "extended groups set to %s", true_false(used != 0));
}

void VDW_Config::set_password(const char* password) {
    wipe(password_);
    password_ = password ? password : "";
}

namespace {

VDW_Config::login_validator_t g_login_validator = nullptr;

// Strict Base64 of the standard alphabet with padding; false on anything else.
bool base64_decode(const char* in, std::string* out) {
    static const std::string kAlphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    size_t len = strlen(in);
    if (len % 4 != 0) return false;
    out->clear();
    for (size_t i = 0; i < len; i += 4) {
        unsigned value = 0;
        int pad = 0;
        for (size_t j = 0; j < 4; ++j) {
            char c = in[i + j];
            size_t digit = 0;
            if (c == '=' && i + 4 == len && j >= 2) {
                ++pad;
            } else {
                if (pad > 0 || c == '\0') return false;  // data after padding
                digit = kAlphabet.find(c);
                if (digit == std::string::npos) return false;
            }
            value = value << 6 | static_cast<unsigned>(digit);
        }
        out->push_back(static_cast<char>(value >> 16));
        if (pad < 2) out->push_back(static_cast<char>(value >> 8 & 0xff));
        if (pad < 1) out->push_back(static_cast<char>(value & 0xff));
    }
    return true;
}

std::string group_list_of(const char* groups) {
    std::string list = groups ? groups : "";
    for (char& c : list)
        if (c == ';') c = ':';
    return list;
}

}  // namespace

bool VDW_Config::set_credentials(const char* base64, const char* primary_group,
                                 const char* groups) {
    clear_credentials();
    if (!base64 || strlen(base64) > CREDENTIALS_MAX) return false;
    std::string text;
    bool ok = base64_decode(base64, &text) && text.find('\0') == std::string::npos;
    std::string native;
    long bad = 0;
    ok = ok && i18n_convert(i18n_utf8(), i18n_native(), text.data(), text.size(), native, &bad) ==
                   TBS_ST_OK;
    wipe(text);
    size_t colon = ok ? native.find(':') : std::string::npos;
    if (colon == std::string::npos || colon == 0) {
        wipe(native);
        return false;
    }
    separate_user_domain(native.substr(0, colon), &user_, &domain_);
    password_.assign(native, colon + 1, std::string::npos);
    wipe(native);
    if (user_.empty()) {
        clear_credentials();
        return false;
    }
    set_primary_group(primary_group);
    group_list_ = group_list_of(groups);
    using_extended_groups_ = !group_list_.empty();
    return true;
}

void VDW_Config::set_smart_card_creds(const char* user, const char* primary_group,
                                      const char* groups) {
    clear_credentials();
    separate_user_domain(user ? user : "", &user_, &domain_);
    smart_card_ = 1;
    set_primary_group(primary_group);
    group_list_ = group_list_of(groups);
    using_extended_groups_ = !group_list_.empty();
}

void VDW_Config::separate_user_domain(const std::string& text, std::string* user,
                                      std::string* domain) {
    size_t sep = text.find('\\');
    if (sep == std::string::npos) {
        *user = text;
        domain->clear();
        return;
    }
    *domain = text.substr(0, sep);
    *user = text.substr(sep + 1);
}

void VDW_Config::set_login_validator(login_validator_t validator) {
    g_login_validator = validator;
}

int VDW_Config::validate_login_and_impersonate(WCM_Status& status) {
    // Without a validator nobody could check the credentials: refused, never waved through.
    if (!g_login_validator) {
        status.set_status(TBS_ST_LOGIN_REQUIRED);
        return status.status();
    }
    return g_login_validator(*this, status);
}

void VDW_Config::clear_credentials() {
    user_.clear();
    domain_.clear();
    wipe(password_);
    primary_group_.clear();
    group_list_.clear();
    smart_card_ = 0;
    client_address_.clear();
    login_retry_after_ = 0;
}
