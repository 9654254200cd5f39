// VDW_StringUtils.
#include "ops/login/vdw_string_utils.h"

#include <cstring>

#include "core/util/strutl.h"

SUM_String VDW_StringUtils::encrypt(const SUM_String& text) {
    char buf[BUFFER_SIZE];
    if (strutl_extract_head(text.c_str(), buf, sizeof buf) != TBS_ST_OK) return SUM_String();
    return SUM_String(buf);
}

SUM_String VDW_StringUtils::decrypt(const SUM_String& text) {
    char buf[BUFFER_SIZE];
    if (strutl_extract_tail(text.c_str(), buf, sizeof buf) != TBS_ST_OK) return SUM_String();
    SUM_String out(buf);
    explicit_bzero(buf, sizeof buf);
    return out;
}
