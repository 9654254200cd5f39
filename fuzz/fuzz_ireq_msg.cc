// Fuzz target: answer files of the interaction channel as another process leaves them.
//
// The input is taken both as an encoded answer (decoded into a buffer of exactly the
// stated bound, with guard bytes after it) and as a message text. A text that decodes
// must encode back to an equivalent form; a message that parses must survive its text
// form unchanged.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/imsg/imsg.h"
#include "core/stg/stg.h"
#include "core/util/strutl.h"
#include "interact/ireq_msg.h"

namespace {

void drop(void*, int, char*) {}

bool same(const ireq_msg_t* a, const ireq_msg_t* b) {
    if (a->count != b->count) return false;
    for (int i = 0; i < a->count; ++i)
        if (strcmp(a->keys[i], b->keys[i]) != 0 || strcmp(a->values[i], b->values[i]) != 0)
            return false;
    return true;
}

void check_message(stg_area_t* area, const char* text) {
    ireq_msg_t* m = ireq_msg_from_string(area, text);
    if (!m) return;
    char* again = nullptr;
    if (ireq_msg_to_string(m, area, &again) != 0) __builtin_trap();
    ireq_msg_t* back = ireq_msg_from_string(area, again);
    if (!back || !same(m, back)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool quiet = [] {
        imsg_redirect_proc_t procs[IMSG_NUM_CLASSES];
        for (auto& p : procs) p = &drop;  // parse errors are expected here
        imsg_set_redirect_procs(procs, nullptr);
        return true;
    }();
    (void)quiet;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const size_t n = strlen(text.c_str());
    stg_area_t* area = stg_create_area(4096);

    const size_t bound = STRUTL_EXTRACT_TAIL_SIZE(n);
    std::vector<char> decoded(bound + 8, '\x7f');
    if (strutl_extract_tail(text.c_str(), decoded.data(), bound) == TBS_ST_OK) {
        for (size_t i = bound; i < decoded.size(); ++i)
            if (decoded[i] != '\x7f') __builtin_trap();
        const size_t len = strlen(decoded.data());
        std::vector<char> encoded(STRUTL_EXTRACT_HEAD_SIZE(len));
        if (strutl_extract_head(decoded.data(), encoded.data(), encoded.size()) != TBS_ST_OK ||
            strlen(encoded.data()) != n || strncasecmp(encoded.data(), text.c_str(), n) != 0)
            __builtin_trap();
        check_message(area, decoded.data());
    }
    check_message(area, text.c_str());
    stg_delete_area(area);
    return 0;
}
