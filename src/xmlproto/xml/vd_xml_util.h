// VdXmlUtil: conversion between the parser's UTF-16 and the server's character set, with
// one ICU converter per process. VdUtil::vd_assert: logged internal inconsistencies.
// VdStrUtil::replace_all.
#ifndef XMLPROTO_XML_VD_XML_UTIL_H
#define XMLPROTO_XML_VD_XML_UTIL_H

#include <cstddef>

#include "core/sum/sum_string.h"

struct UConverter;

class VdXmlUtil {
public:
    // Converts; logs the internal error "XML transcoding error" when a character cannot be
    // represented (the result then holds "?" in its place).
    static SUM_String xerces_to_native(const char16_t* text);
    // False when a character cannot be represented; `out` then holds "?" in its place. A
    // null or empty input gives an empty string and true.
    static bool xerces_to_native(const char16_t* text, SUM_String& out);
    static bool xerces_to_native(const char16_t* text, size_t length, SUM_String& out);
    // Newly allocated, zero-terminated; the caller deletes it with delete[]. Null when the
    // text is not valid in the server's character set (an internal error is logged).
    static char16_t* native_to_xerces(const char* text);

    // The conversion core: `length` UTF-16 units to native, stopping at the first
    // character that cannot be represented.
    static bool icu_to_native(const char16_t* text, size_t length, SUM_String& out);
    // The same with "?" for every such character.
    static SUM_String icu_to_native_with_subs(const char16_t* text, size_t length);
    // The process's converter for the server's character set; null (internal error
    // logged) when it cannot be set up.
    static UConverter* get_converter();
    // Forgets the converter, so that the next conversion reads the server's character set
    // again (for tests that change $VERDANE_CHARSET, with i18n_reset_native).
    static void reset_converter();

    // Output: what a response document may carry. Every character written into one goes
    // through these, so that a value the core holds (a comment or a name kept before the
    // core refused control characters, a user's full name, a host's name) can never make
    // the response ill-formed.
    //
    // `native` (already escaped for where it goes) in UTF-8, fit for an XML 1.0 document:
    // converted from the server's character set (false in `converted` when it cannot be,
    // and the bytes are then taken as UTF-8), with every character XML 1.0 cannot carry
    // replaced by U+FFFD (see xml_chars).
    static std::string native_to_xml(const std::string& native, bool* converted = nullptr);
    // `utf8` with U+FFFD in place of every character XML 1.0 cannot carry: a control
    // character other than tab, line feed and carriage return, a surrogate, U+FFFE, U+FFFF,
    // and each byte sequence that is not UTF-8. A document cannot carry those even as
    // character references.
    static std::string xml_chars(const std::string& utf8);
};

class VdUtil {
public:
    // When `condition` is false, logs an internal error (component "VD CM Server") naming
    // the source place and `message`; execution continues.
    static void vd_assert(bool condition, const char* file, int line, const char* message);
};

#define VD_ASSERT(cond, message) VdUtil::vd_assert((cond), __FILE__, __LINE__, (message))

class VdStrUtil {
public:
    // `text` with every occurrence of `from` replaced by `to` (left to right, no rescans).
    static SUM_String replace_all(const SUM_String& text, const char* from, const char* to);
};

#endif
