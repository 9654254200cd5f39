// WCM_Status: code, accumulated text and catalog formatting.
#include "foundation/wcm_status.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/imsg/imsg.h"
#include "core/tbs/tbs.h"

namespace {

char kAllocFailed[] = "Internal error: memory allocation failed";

// One formatting buffer per process; formatting is not reentrant.
constexpr size_t kFormatBufferSize = 153600;
char g_format_buffer[kFormatBufferSize];

char* copy_text(const char* s) {
    if (!s) return nullptr;
    size_t n = strlen(s) + 1;
    auto* p = static_cast<char*>(::malloc(n));
    if (!p) return kAllocFailed;
    memcpy(p, s, n);
    return p;
}

}  // namespace

WCM_Status::WCM_Status(const WCM_Status& other)
    : code_(other.code_), text_(copy_text(other.text_)) {}

WCM_Status& WCM_Status::operator=(const WCM_Status& other) {
    if (this == &other) return *this;
    release_text();
    code_ = other.code_;
    text_ = copy_text(other.text_);
    return *this;
}

WCM_Status::~WCM_Status() {
    release_text();
}

void WCM_Status::release_text() {
    if (text_ != kAllocFailed) ::free(text_);
    text_ = nullptr;
}

bool WCM_Status::set_status(int code) {
    code_ = code;
    return is_ok();
}

const char* WCM_Status::strerror() const {
    if (code_ == TBS_ST_OK || code_ == TBS_ST_WARNING) return "";
    return tbs_strerror(code_);
}

void WCM_Status::clear() {
    code_ = TBS_ST_OK;
    release_text();
}

void WCM_Status::add_text(const char* s) {
    if (!s) return;
    if (!text_ || text_ == kAllocFailed) {
        text_ = copy_text(s);
        return;
    }
    size_t old_len = strlen(text_);
    size_t add_len = strlen(s);
    auto* joined = static_cast<char*>(::malloc(old_len + add_len + 1));
    if (!joined) {
        release_text();
        text_ = kAllocFailed;
        return;
    }
    memcpy(joined, text_, old_len);
    memcpy(joined + old_len, s, add_len + 1);
    ::free(text_);
    text_ = joined;
}

void WCM_Status::format(const void* catalog, int index, ...) {
    va_list ap;
    va_start(ap, index);
    int n = imsg_vsprintf(g_format_buffer, kFormatBufferSize,
                          static_cast<const imsg_catalog_t*>(catalog), index, ap);
    va_end(ap);
    if (n < 0)
        snprintf(g_format_buffer, kFormatBufferSize, "Internal error: could not load message %d",
                 index);
    else if (static_cast<size_t>(n) >= kFormatBufferSize)
        snprintf(g_format_buffer, kFormatBufferSize, "Internal error: message %d is too long",
                 index);
    add_text(g_format_buffer);
}

const char* WCM_Status::text() const {
    return text_ ? text_ : "";
}
