// Fuzz target: the cookie parser over arbitrary HTTP_COOKIE values.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/wcm_mempool.h"
#include "request/cgi_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    text = text.c_str();
    // putenv with one reused buffer: setenv would keep every old value alive.
    static std::string assignment;
    assignment = "HTTP_COOKIE=" + text;
    putenv(assignment.data());
    WCM_MemPool pool;
    llist cookies{};
    int count = parse_cookies(&cookies, pool);
    int seen = 0;
    for (node* n = cookies.head; n; n = n->next) {
        ++seen;
        if (strlen(n->entry.name) + strlen(n->entry.value) > text.size()) __builtin_trap();
    }
    if (seen != count) __builtin_trap();
    return 0;
}
