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
