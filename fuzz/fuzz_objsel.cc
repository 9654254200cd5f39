// Fuzz target: object selectors and names as clients send them.
//
// A selector that parses is written again from its parts into buffers of every small size
// (which must fail rather than truncate), and names are checked for validity.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "core/vob/vob_obj.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    vob_utl_valid_name(text.c_str());
    vob_objsel_t sel;
    if (vob_utl_parse_objsel(text.c_str(), &sel) != TBS_ST_OK) return 0;
    if (sel.kind == VOB_SEL_NONE) __builtin_trap();
    if (sel.kind == VOB_SEL_PNAME || sel.kind == VOB_SEL_VOB) return 0;
    const char* prefix = sel.kind == VOB_SEL_OID    ? "oid"
                         : sel.kind == VOB_SEL_DBID ? "dbid"
                                                    : "lbtype";
    for (size_t n : {size_t(1), size_t(16), text.size(), text.size() + 16}) {
        std::string buf(n, '\x7f');
        tbs_status_t st =
            vob_utl_create_objsel(prefix, sel.name.c_str(), sel.vob.c_str(), buf.data(), n);
        if (st == TBS_ST_OK && strlen(buf.c_str()) >= n) __builtin_trap();
        if (st != TBS_ST_OK && st != TBS_ST_TOO_LONG) __builtin_trap();
    }
    return 0;
}
