// VdXmlUtil, VdUtil, VdStrUtil.
#include "xmlproto/xml/vd_xml_util.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "core/imsg/imsg.h"
#include "core/util/i18n.h"

namespace {

const char* const kComponent = "VD CM Server";

// The converter lives as long as the process (or until a test resets it); the server's
// character set is read when it is made.
struct Converter {
    UConverter* conv = nullptr;
    bool tried = false;
};

std::mutex& conv_lock() {
    static std::mutex m;
    return m;
}

Converter& process_converter() {
    static Converter c;
    return c;
}

// Under conv_lock().
UConverter* converter_locked() {
    Converter& c = process_converter();
    if (c.tried) return c.conv;
    c.tried = true;
    UErrorCode err = U_ZERO_ERROR;
    UConverter* conv = ucnv_open(i18n_charset_name(i18n_native()), &err);
    if (U_SUCCESS(err)) {
        ucnv_setFallback(conv, false);
        ucnv_setFromUCallBack(conv, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
    }
    if (U_FAILURE(err) || !conv) {
        if (conv) ucnv_close(conv);
        imsg_internal_error(kComponent, __FILE__, __LINE__, "ICU converter #3");
        return nullptr;
    }
    c.conv = conv;
    return conv;
}

// One pass of UTF-16 to native; false on any conversion error.
bool convert(UConverter* conv, const char16_t* text, size_t length, std::string& out) {
    std::vector<char> buf((length + 10) * static_cast<size_t>(ucnv_getMaxCharSize(conv)));
    UErrorCode err = U_ZERO_ERROR;
    ucnv_resetFromUnicode(conv);
    int32_t n =
        ucnv_fromUChars(conv, buf.data(), static_cast<int32_t>(buf.size()),
                        reinterpret_cast<const UChar*>(text), static_cast<int32_t>(length), &err);
    if (U_FAILURE(err) || err == U_STRING_NOT_TERMINATED_WARNING) return false;
    out.assign(buf.data(), static_cast<size_t>(n));
    return true;
}

// The characters of XML 1.0 (its production Char).
bool is_xml_char(UChar32 c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

const char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

size_t u16len(const char16_t* s) {
    size_t n = 0;
    while (s[n]) ++n;
    return n;
}

}  // namespace

UConverter* VdXmlUtil::get_converter() {
    std::lock_guard<std::mutex> lock(conv_lock());
    return converter_locked();
}

void VdXmlUtil::reset_converter() {
    std::lock_guard<std::mutex> lock(conv_lock());
    Converter& c = process_converter();
    if (c.conv) ucnv_close(c.conv);
    c = Converter{};
}

bool VdXmlUtil::icu_to_native(const char16_t* text, size_t length, SUM_String& out) {
    std::lock_guard<std::mutex> lock(conv_lock());
    UConverter* conv = converter_locked();
    if (!conv) return false;
    std::string s;
    if (!convert(conv, text, length, s)) return false;
    out = SUM_String(std::move(s));
    return true;
}

SUM_String VdXmlUtil::icu_to_native_with_subs(const char16_t* text, size_t length) {
    std::lock_guard<std::mutex> lock(conv_lock());
    UConverter* conv = converter_locked();
    if (!conv) return SUM_String();
    UErrorCode err = U_ZERO_ERROR;
    ucnv_setSubstChars(conv, "?", 1, &err);
    ucnv_setFromUCallBack(conv, UCNV_FROM_U_CALLBACK_SUBSTITUTE, nullptr, nullptr, nullptr, &err);
    std::string s;
    convert(conv, text, length, s);
    err = U_ZERO_ERROR;
    ucnv_setFromUCallBack(conv, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
    return SUM_String(std::move(s));
}

bool VdXmlUtil::xerces_to_native(const char16_t* text, size_t length, SUM_String& out) {
    if (!text || length == 0) {
        out = SUM_String();
        return true;
    }
    if (icu_to_native(text, length, out)) return true;
    out = icu_to_native_with_subs(text, length);
    return false;
}

bool VdXmlUtil::xerces_to_native(const char16_t* text, SUM_String& out) {
    return xerces_to_native(text, text ? u16len(text) : 0, out);
}

SUM_String VdXmlUtil::xerces_to_native(const char16_t* text) {
    SUM_String out;
    if (!xerces_to_native(text, out))
        imsg_internal_error(kComponent, __FILE__, __LINE__, "XML transcoding error");
    return out;
}

char16_t* VdXmlUtil::native_to_xerces(const char* text) {
    if (!text) text = "";
    std::u16string u;
    long bad = 0;
    if (i18n_to_utf16(i18n_native(), text, strlen(text), u, &bad) != TBS_ST_OK) {
        imsg_internal_error(kComponent, __FILE__, __LINE__,
                            "XML native_to_xerces: transcoding error");
        return nullptr;
    }
    auto* out = new char16_t[u.size() + 1];
    memcpy(out, u.data(), u.size() * sizeof(char16_t));
    out[u.size()] = 0;
    return out;
}

std::string VdXmlUtil::xml_chars(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t at = 0; at < utf8.size();) {
        // One character at a time: no sequence is longer than four bytes, so the decoder
        // never needs more, and the text may be of any length.
        const auto* s = reinterpret_cast<const uint8_t*>(utf8.data() + at);
        const int32_t avail = static_cast<int32_t>(std::min<size_t>(utf8.size() - at, 4));
        int32_t i = 0;
        UChar32 c = 0;
        U8_NEXT(s, i, avail, c);  // c < 0 for an ill-formed sequence, which is skipped whole
        if (is_xml_char(c))
            out.append(utf8, at, static_cast<size_t>(i));
        else
            out += kReplacement;
        at += static_cast<size_t>(i);
    }
    return out;
}

std::string VdXmlUtil::native_to_xml(const std::string& native, bool* converted) {
    std::string utf8;
    const bool ok = i18n_convert(i18n_native(), i18n_utf8(), native.data(), native.size(), utf8,
                                 nullptr) == TBS_ST_OK;
    if (converted) *converted = ok;
    return xml_chars(ok ? utf8 : native);
}

void VdUtil::vd_assert(bool condition, const char* file, int line, const char* message) {
    if (!condition) imsg_internal_error(kComponent, file, line, "%s", message ? message : "");
}

SUM_String VdStrUtil::replace_all(const SUM_String& text, const char* from, const char* to) {
    const size_t n = strlen(from);
    if (n == 0) return text;
    // One pass into a new string: linear in the text however many matches it holds.
    const std::string& s = text.str();
    std::string out;
    out.reserve(s.size());
    size_t start = 0;
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, start)) {
        out.append(s, start, at - start);
        out += to;
        start = at + n;
    }
    out.append(s, start, std::string::npos);
    return SUM_String(std::move(out));
}
