// Fuzz target: resource locations as clients send them.
//
// A location is parsed in both forms, taken apart into segments and put together again,
// and resolved to a resource against an empty site (every lookup fails cleanly). What is
// parsed must write back to the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "xmlproto/resource/vd_location.h"
#include "xmlproto/resource/vd_resource.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static char home[] = "/tmp/fuzz_location_XXXXXX";
    if (mkdtemp(home)) setenv("VERDANE_HOME", home, 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (text.find('\0') != std::string::npos) return 0;  // clients' texts are C strings
    VdLocation loc{SUM_String(text)};
    LocationPrefix prefix;
    SUM_String rest, name, scope;
    loc.parse_native(prefix, rest);
    if (prefix != LP_NONE) {
        if (VdLocation(prefix, rest).to_native().str() != loc.to_native().str()) __builtin_trap();
    } else if (rest.str() != loc.to_native().str()) {
        __builtin_trap();
    }
    loc.parse_native(prefix, name, scope);
    if (!scope.is_empty() && name.str() + "@" + scope.str() != rest.str()) __builtin_trap();
    for (const SUM_String& s : loc.get_segments())
        if (s.is_empty() || s.str().find('/') != std::string::npos) __builtin_trap();
    loc.parent().child(SUM_String("x"));
    std::unique_ptr<VdResource> r;
    VdResource::construct_from_location(loc, r);
    return 0;
}
