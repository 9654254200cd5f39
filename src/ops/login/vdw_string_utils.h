// VDW_StringUtils: the reversible text encoding the server uses for values it keeps in its
// own files (session ids, the session file's login values). It only keeps text from being
// read at a glance; it protects nothing from someone who can run the decoder.
#ifndef OPS_LOGIN_VDW_STRING_UTILS_H
#define OPS_LOGIN_VDW_STRING_UTILS_H

#include "core/sum/sum_string.h"

class VDW_StringUtils {
public:
    // Largest encoded or decoded text, terminator included.
    static constexpr size_t BUFFER_SIZE = 766;
    // The encoded or decoded text; the empty string when the core's routine fails (a text
    // too long for BUFFER_SIZE, or one that is not an encoding).
    static SUM_String encrypt(const SUM_String& text);
    static SUM_String decrypt(const SUM_String& text);
};

#endif
