// Character-set conversion through ICU, pivoting through UTF-16.
#include "core/util/i18n.h"

#include <strings.h>
#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

struct i18n_charset_t {
    std::string name;
    bool utf8 = false;
    UConverter* conv = nullptr;  // opened on first use
    ~i18n_charset_t() {
        if (conv) ucnv_close(conv);
    }
};

namespace {

std::map<std::string, std::unique_ptr<i18n_charset_t>>& registry() {
    static auto* r = new std::map<std::string, std::unique_ptr<i18n_charset_t>>;
    return *r;
}

const i18n_charset_t* g_native = nullptr;

UConverter* converter(const i18n_charset_t* cs) {
    auto* mut = const_cast<i18n_charset_t*>(cs);
    if (!mut->conv) {
        UErrorCode err = U_ZERO_ERROR;
        mut->conv = ucnv_open(cs->name.c_str(), &err);
        if (U_FAILURE(err)) {
            mut->conv = nullptr;
            return nullptr;
        }
        err = U_ZERO_ERROR;
        ucnv_setToUCallBack(mut->conv, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
        err = U_ZERO_ERROR;
        ucnv_setFromUCallBack(mut->conv, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                              &err);
    }
    ucnv_reset(mut->conv);
    return mut->conv;
}

bool is_utf8_name(const char* name) {
    return strcasecmp(name, "UTF-8") == 0 || strcasecmp(name, "UTF8") == 0;
}

// Source byte offset of the first character that could not be converted.
long to_u_error_offset(UConverter* conv, const char* start, const char* stopped) {
    char bad[32];
    int8_t bad_len = sizeof bad;
    UErrorCode e = U_ZERO_ERROR;
    ucnv_getInvalidChars(conv, bad, &bad_len, &e);
    long off = static_cast<long>(stopped - start) - (U_SUCCESS(e) ? bad_len : 0);
    return off < 0 ? 0 : off;
}

}  // namespace

const i18n_charset_t* i18n_charset(const char* name) {
    if (!name || !*name) return nullptr;
    auto& r = registry();
    auto it = r.find(name);
    if (it != r.end()) return it->second.get();
    auto cs = std::make_unique<i18n_charset_t>();
    cs->name = name;
    cs->utf8 = is_utf8_name(name);
    if (!cs->utf8 && !converter(cs.get())) return nullptr;
    return (r[name] = std::move(cs)).get();
}

const i18n_charset_t* i18n_utf8() {
    static const i18n_charset_t* u = i18n_charset("UTF-8");
    return u;
}

const i18n_charset_t* i18n_native() {
    if (!g_native) {
        const char* env = getenv("VERDANE_CHARSET");
        g_native = env && *env ? i18n_charset(env) : nullptr;
        if (!g_native) g_native = i18n_utf8();
    }
    return g_native;
}

void i18n_reset_native() {
    g_native = nullptr;
}

const char* i18n_charset_name(const i18n_charset_t* cs) {
    return cs ? cs->name.c_str() : "";
}

bool i18n_native_is_utf8() {
    return i18n_native()->utf8;
}

bool i18n_valid_utf8(const char* in, size_t len, long* err_offset) {
    const auto* s = reinterpret_cast<const unsigned char*>(in);
    size_t i = 0;
    while (i < len) {
        unsigned char c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t need;
        uint32_t cp;
        if (c >= 0xc2 && c <= 0xdf) {
            need = 1;
            cp = c & 0x1f;
        } else if (c >= 0xe0 && c <= 0xef) {
            need = 2;
            cp = c & 0x0f;
        } else if (c >= 0xf0 && c <= 0xf4) {
            need = 3;
            cp = c & 0x07;
        } else {
            if (err_offset) *err_offset = static_cast<long>(i);
            return false;
        }
        if (len - i <= need) {
            if (err_offset) *err_offset = static_cast<long>(i);
            return false;
        }
        for (size_t k = 1; k <= need; ++k) {
            if ((s[i + k] & 0xc0) != 0x80) {
                if (err_offset) *err_offset = static_cast<long>(i);
                return false;
            }
            cp = cp << 6 | (s[i + k] & 0x3f);
        }
        bool overlong = (need == 2 && cp < 0x800) || (need == 3 && cp < 0x10000);
        if (overlong || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff)) {
            if (err_offset) *err_offset = static_cast<long>(i);
            return false;
        }
        i += need + 1;
    }
    return true;
}

namespace {

// Source to UTF-16; `offsets`, when given, receives the source byte offset of every
// UTF-16 unit written.
tbs_status_t to_utf16(const i18n_charset_t* from, const char* in, size_t len, std::u16string& out,
                      std::vector<int32_t>* offsets, long* err_offset) {
    out.clear();
    if (err_offset) *err_offset = 0;
    if (!from) return TBS_ST_ERR;
    if (len > INT32_MAX / 2) return TBS_ST_ERR;
    if (from->utf8 && !i18n_valid_utf8(in, len, err_offset)) return TBS_ST_ERR;
    UConverter* conv = converter(from);
    if (!conv) return TBS_ST_ERR;
    // No character set yields more UTF-16 units than it has bytes, plus a possible
    // surrogate pair for a lone trailing byte sequence.
    out.resize(len + 2);
    if (offsets) offsets->assign(len + 2, 0);
    UChar* start = reinterpret_cast<UChar*>(out.data());
    UChar* target = start;
    const char* src = in;
    UErrorCode err = U_ZERO_ERROR;
    ucnv_toUnicode(conv, &target, start + out.size(), &src, in + len,
                   offsets ? offsets->data() : nullptr, true, &err);
    if (U_FAILURE(err)) {
        if (err_offset) *err_offset = to_u_error_offset(conv, in, src);
        out.clear();
        return TBS_ST_ERR;
    }
    out.resize(static_cast<size_t>(target - start));
    return TBS_ST_OK;
}

// UTF-16 to a character set; on failure `err_index` gets the UTF-16 index of the first
// unconvertible character.
tbs_status_t from_utf16(const i18n_charset_t* to, const char16_t* in, size_t len, std::string& out,
                        long* err_index) {
    out.clear();
    if (err_index) *err_index = 0;
    if (!to) return TBS_ST_ERR;
    if (len > INT32_MAX / 8) return TBS_ST_ERR;
    UConverter* conv = converter(to);
    if (!conv) return TBS_ST_ERR;
    out.resize(UCNV_GET_MAX_BYTES_FOR_STRING(len, ucnv_getMaxCharSize(conv)) + 1);
    char* target = out.data();
    const UChar* src = reinterpret_cast<const UChar*>(in);
    UErrorCode err = U_ZERO_ERROR;
    ucnv_fromUnicode(conv, &target, out.data() + out.size(), &src,
                     reinterpret_cast<const UChar*>(in) + len, nullptr, true, &err);
    if (U_FAILURE(err)) {
        if (err_index) {
            UChar bad[8];
            int8_t bad_len = 8;
            UErrorCode e = U_ZERO_ERROR;
            ucnv_getInvalidUChars(conv, bad, &bad_len, &e);
            long idx = static_cast<long>(src - reinterpret_cast<const UChar*>(in)) -
                       (U_SUCCESS(e) ? bad_len : 0);
            *err_index = idx < 0 ? 0 : idx;
        }
        out.clear();
        return TBS_ST_ERR;
    }
    out.resize(static_cast<size_t>(target - out.data()));
    return TBS_ST_OK;
}

}  // namespace

tbs_status_t i18n_to_utf16(const i18n_charset_t* from, const char* in, size_t len,
                           std::u16string& out, long* err_offset) {
    return to_utf16(from, in, len, out, nullptr, err_offset);
}

tbs_status_t i18n_from_utf16(const i18n_charset_t* to, const char16_t* in, size_t len,
                             std::string& out, long* err_offset) {
    return from_utf16(to, in, len, out, err_offset);
}

tbs_status_t i18n_convert(const i18n_charset_t* from, const i18n_charset_t* to, const char* in,
                          size_t len, std::string& out, long* err_offset) {
    out.clear();
    if (err_offset) *err_offset = 0;
    if (!from || !to) return TBS_ST_ERR;
    if (from->utf8 && to->utf8) {
        if (!i18n_valid_utf8(in, len, err_offset)) return TBS_ST_ERR;
        out.assign(in, len);
        return TBS_ST_OK;
    }
    std::u16string wide;
    std::vector<int32_t> offsets;
    tbs_status_t st = to_utf16(from, in, len, wide, &offsets, err_offset);
    if (st != TBS_ST_OK) return st;
    long bad = 0;
    st = from_utf16(to, wide.data(), wide.size(), out, &bad);
    if (st != TBS_ST_OK && err_offset)
        *err_offset = static_cast<size_t>(bad) < wide.size() ? offsets[static_cast<size_t>(bad)]
                                                             : static_cast<long>(len);
    return st;
}

tbs_status_t i18n_convert(const i18n_charset_t* from, const i18n_charset_t* to, const char* in,
                          size_t len, stg_area_t* area, char** out, long* err_offset) {
    *out = nullptr;
    std::string tmp;
    tbs_status_t st = i18n_convert(from, to, in, len, tmp, err_offset);
    if (st != TBS_ST_OK) return st;
    *out = stg_area_strndup(area, tmp.data(), tmp.size());
    return *out ? TBS_ST_OK : tbs_errno2status(ENOMEM);
}
