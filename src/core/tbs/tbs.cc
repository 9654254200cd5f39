// Status texts, UUID text forms and product directories.
#include "core/tbs/tbs.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct StatusText {
    tbs_status_t code;
    const char* text;
};

#define TBS_STATUS_TEXT_ROW(name, number, text) {name, text},
constexpr StatusText kStatusTexts[] = {TBS_STATUS_TABLE(TBS_STATUS_TEXT_ROW)};

constexpr bool sorted_by_code() {
    for (size_t i = 1; i < sizeof kStatusTexts / sizeof kStatusTexts[0]; ++i)
        if (kStatusTexts[i - 1].code >= kStatusTexts[i].code) return false;
    return true;
}
static_assert(sorted_by_code(), "the status table must stay sorted by number");

std::string g_product_dir;
std::string g_config_dir;
std::string g_log_dir;
std::string g_tool_dir;

}  // namespace

const char* tbs_strerror(tbs_status_t status) {
    if (status == TBS_ST_OK) return "Success";
    if (status > 0 && status < 1000) return ::strerror(status);
    size_t lo = 0, hi = sizeof kStatusTexts / sizeof kStatusTexts[0];
    while (lo < hi) {
        size_t mid = (lo + hi) / 2;
        if (kStatusTexts[mid].code == status) return kStatusTexts[mid].text;
        if (kStatusTexts[mid].code < status)
            lo = mid + 1;
        else
            hi = mid;
    }
    static thread_local char unknown[48];
    snprintf(unknown, sizeof unknown, "Unknown status %d", static_cast<int>(status));
    return unknown;
}

tbs_status_t tbs_errno2status(int err) {
    return err < 0 ? TBS_ST_ERR : err;
}

bool tbs_uuid_is_null(const tbs_uuid_t& u) {
    for (uint8_t b : u.bytes)
        if (b != 0) return false;
    return true;
}

tbs_uuid_t tbs_uuid_null() {
    return tbs_uuid_t{};
}

tbs_uuid_t tbs_uuid_create() {
    tbs_uuid_t u{};
    size_t got = 0;
    while (got < sizeof u.bytes) {
        ssize_t n = getrandom(u.bytes + got, sizeof u.bytes - got, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            abort();  // no entropy source: nothing sound can be made
        }
        got += static_cast<size_t>(n);
    }
    u.bytes[6] = static_cast<uint8_t>((u.bytes[6] & 0x0f) | 0x40);
    u.bytes[8] = static_cast<uint8_t>((u.bytes[8] & 0x3f) | 0x80);
    return u;
}

void tbs_uuid_to_str(const tbs_uuid_t& u, char* buf) {
    static const char kHex[] = "0123456789abcdef";
    for (int i = 0; i < 16; ++i) {
        buf[2 * i] = kHex[u.bytes[i] >> 4];
        buf[2 * i + 1] = kHex[u.bytes[i] & 0xf];
    }
    buf[32] = '\0';
}

std::string tbs_uuid_text(const tbs_uuid_t& u) {
    char buf[TBS_UUID_STR_SIZE];
    tbs_uuid_to_str(u, buf);
    return buf;
}

static int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

tbs_status_t tbs_uuid_from_str(const char* text, tbs_uuid_t* out) {
    tbs_uuid_t u{};
    if (out) *out = u;
    if (!text) return TBS_ST_ERR;
    for (int i = 0; i < 16; ++i) {
        int hi = hex_value(text[2 * i]);
        if (hi < 0) return TBS_ST_ERR;
        int lo = hex_value(text[2 * i + 1]);
        if (lo < 0) return TBS_ST_ERR;
        u.bytes[i] = static_cast<uint8_t>(hi << 4 | lo);
    }
    if (text[32] != '\0') return TBS_ST_ERR;
    if (out) *out = u;
    return TBS_ST_OK;
}

const char* tbs_product_dir() {
    if (g_product_dir.empty()) {
        const char* home = getenv("VERDANE_HOME");
        g_product_dir = (home && *home) ? home : "/opt/verdane";
        while (g_product_dir.size() > 1 && g_product_dir.back() == '/') g_product_dir.pop_back();
        g_config_dir = g_product_dir + "/config";
        g_log_dir = g_product_dir + "/log";
        g_tool_dir = g_product_dir + "/bin";
    }
    return g_product_dir.c_str();
}

const char* tbs_product_config_dir() {
    tbs_product_dir();
    return g_config_dir.c_str();
}

const char* tbs_product_log_dir() {
    tbs_product_dir();
    return g_log_dir.c_str();
}

const char* tbs_product_tool_dir() {
    tbs_product_dir();
    return g_tool_dir.c_str();
}

void tbs_reset_product_dir() {
    g_product_dir.clear();
}

std::string tbs_site_setting(const char* name) {
    std::string path = std::string(tbs_product_config_dir()) + "/site.conf";
    FILE* f = fopen(path.c_str(), "re");
    if (!f) return "";
    std::string want(name ? name : "");
    std::string value;
    char line[4096];
    auto trim = [](std::string s) {
        size_t b = s.find_first_not_of(" \t\r\n");
        size_t e = s.find_last_not_of(" \t\r\n");
        return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
    };
    while (fgets(line, sizeof line, f)) {
        std::string l = trim(line);
        if (l.empty() || l[0] == '#') continue;
        size_t eq = l.find('=');
        if (eq == std::string::npos || trim(l.substr(0, eq)) != want) continue;
        value = trim(l.substr(eq + 1));  // the last line naming it wins
    }
    fclose(f);
    return value;
}
