// Fuzz target: the URL-encoded pair decoder and the helpers it uses.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "foundation/wcm_mempool.h"
#include "request/cgi_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WCM_MemPool pool;
    std::string text(reinterpret_cast<const char*>(data), size);
    text = text.c_str();  // the decoder works on NUL-terminated text
    std::string copy = text;
    llist entries{};
    int r = parse_CGI_encoded(&entries, copy.data(), pool);
    if (r != 1 && r != 0 && r != -2 && r != -5) __builtin_trap();
    for (node* n = entries.head; n; n = n->next) {
        if (!n->entry.name || !n->entry.value) __builtin_trap();
        if (strlen(n->entry.name) > text.size() || strlen(n->entry.value) > text.size())
            __builtin_trap();
        if (n->entry.name_status == 0 && !n->entry.name_unconv) __builtin_trap();
        url_escape_utf8_string(n->entry.value, pool);
    }
    std::string esc = text;
    unescape_url(esc.data());
    return 0;
}
