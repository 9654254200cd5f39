// Character sets: conversion between the server's character set, UTF-8 and UTF-16.
//
// The server's character set is named by $VERDANE_CHARSET (any name ICU knows) and is
// UTF-8 when that is unset: a CGI process's locale says little about the site.
#ifndef CORE_UTIL_I18N_H
#define CORE_UTIL_I18N_H

#include <cstddef>
#include <string>

#include "core/stg/stg.h"
#include "core/tbs/tbs.h"

struct i18n_charset_t;

const i18n_charset_t* i18n_utf8();
const i18n_charset_t* i18n_native();
// A character set by name; null when ICU does not know it.
const i18n_charset_t* i18n_charset(const char* name);
const char* i18n_charset_name(const i18n_charset_t* cs);
bool i18n_native_is_utf8();
// Forgets the cached native character set (for tests that change $VERDANE_CHARSET).
void i18n_reset_native();

// Converts `len` bytes of `in` from `from` to `to`. On success `out` (area-allocated,
// NUL terminated) holds the text. A character that is invalid in `from` or has no
// equivalent in `to` fails with TBS_ST_ERR; `err_offset` then receives the byte offset
// in `in` of the first such character. Nothing is substituted.
tbs_status_t i18n_convert(const i18n_charset_t* from, const i18n_charset_t* to, const char* in,
                          size_t len, stg_area_t* area, char** out, long* err_offset);
tbs_status_t i18n_convert(const i18n_charset_t* from, const i18n_charset_t* to, const char* in,
                          size_t len, std::string& out, long* err_offset);

// UTF-16 (host byte order) to and from a character set.
tbs_status_t i18n_to_utf16(const i18n_charset_t* from, const char* in, size_t len,
                           std::u16string& out, long* err_offset);
tbs_status_t i18n_from_utf16(const i18n_charset_t* to, const char16_t* in, size_t len,
                             std::string& out, long* err_offset);

// True when `len` bytes of `in` are well-formed UTF-8 (no overlongs, surrogates or
// values above U+10FFFF); otherwise `err_offset` gets the first bad byte's offset.
bool i18n_valid_utf8(const char* in, size_t len, long* err_offset);

#endif
