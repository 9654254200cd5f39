// Fuzz target: the config-spec parser and what is done with a parsed spec without a VOB.
//
// A spec that parses is written back as text, which must parse again to the same text;
// its patterns are matched against a few pathnames, its rules formatted into buffers of
// every small size, and load scopes asked about.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/view/config_spec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    view_cspec_t spec;
    std::vector<std::string> errors;
    if (view_cspec_parse(text.c_str(), &spec, &errors) != TBS_ST_OK) {
        if (errors.empty() || errors.size() > VIEW_CSPEC_MAX_ERRORS + 1) __builtin_trap();
        return 0;
    }
    const std::string again = view_cspec_text(spec);
    view_cspec_t reparsed;
    if (view_cspec_parse(again.c_str(), &reparsed, nullptr) != TBS_ST_OK) __builtin_trap();
    if (view_cspec_text(reparsed) != again) __builtin_trap();
    static const char* const kPaths[] = {"/vobs/p", "/vobs/p/src/a.c", "/vobs/p/src/a.c@@/main/3",
                                         "/", "/vobs/p/a/b/c/d/e/f/g/h.c"};
    for (size_t i = 0; i < spec.rules.size(); ++i) {
        const view_cspec_rule_t& r = spec.rules[i];
        for (const char* p : kPaths) view_cspec_pattern_match(r.pat, p);
        for (size_t n : {size_t(1), size_t(8), r.text.size(), r.text.size() + 1}) {
            std::string buf(n, '\x7f');
            tbs_status_t st = view_spec_rule_format(spec, static_cast<int>(i), buf.data(), n);
            if (st == TBS_ST_OK && buf.find('\0') == std::string::npos) __builtin_trap();
        }
    }
    for (const char* p : kPaths) view_cspec_in_load_scope(spec, p);
    return 0;
}
