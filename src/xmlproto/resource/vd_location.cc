#include "xmlproto/resource/vd_location.h"

#include <cstring>
#include <string>

#include "facade/vdw_vdcore.h"

namespace {

const char* const kPrefixes[] = {
    "file:",        "repo.tn-record:", "tn-record-type:", "record:",    "registryregion:",
    "replicauuid:", "server:",         "stgloc:",         "task:",      "userdb:",
    "viewtag:",     "viewuuid:",       "vobtag:",         "workspace:",
};
constexpr int kPrefixCount = sizeof kPrefixes / sizeof kPrefixes[0];

// The pathname conversions work in place on a bounded buffer; a longer text is kept as it
// is (it is longer than any pathname the core accepts, so it resolves to nothing).
std::string convert(const std::string& text, void (*conv)(char*)) {
    char buf[VDW_Vdcore::PNAME_SIZE];
    if (text.size() >= sizeof buf) return text;
    memcpy(buf, text.c_str(), text.size() + 1);
    conv(buf);
    return buf;
}

}  // namespace

VdPath::VdPath(const SUM_String& text)
    : text_(convert(text.str(), &VDW_Vdcore::convert_pname_to_local)) {}

SUM_String VdPath::to_canonical() const {
    return SUM_String(convert(text_.str(), &VDW_Vdcore::convert_pname_to_global));
}

std::vector<SUM_String> VdPath::get_segments() const {
    std::vector<SUM_String> out;
    const std::string& s = text_.str();
    size_t i = 0;
    while (i <= s.size()) {
        size_t j = s.find('/', i);
        if (j == std::string::npos) j = s.size();
        if (j > i) out.emplace_back(s.substr(i, j - i));
        i = j + 1;
    }
    return out;
}

SUM_String VdPath::join(const std::vector<SUM_String>& segments) {
    std::string out;
    for (size_t i = 0; i < segments.size(); ++i) {
        if (i) out += '/';
        out += segments[i].str();
    }
    return SUM_String(std::move(out));
}

VdPath VdPath::child(const SUM_String& name) const {
    VdPath p;
    p.text_ = SUM_String(text_.str() + "/" + name.str());
    return p;
}

VdPath VdPath::parent() const {
    std::vector<SUM_String> segs = get_segments();
    if (!segs.empty()) segs.pop_back();
    VdPath p;
    p.text_ = join(segs);
    return p;
}

const char* VdLocation::prefix_text(LocationPrefix prefix) {
    return prefix >= 0 && prefix < kPrefixCount ? kPrefixes[prefix] : nullptr;
}

VdLocation::VdLocation(LocationPrefix prefix, const SUM_String& value) {
    const char* p = prefix_text(prefix);
    text_ = SUM_String(std::string(p ? p : "internal error: missing prefix:") + value.str());
}

VdLocation::VdLocation(LocationPrefix prefix, const SUM_String& name, const SUM_String& scope) {
    const char* p = prefix_text(prefix);
    text_ = SUM_String(std::string(p ? p : "internal error: missing prefix:") + name.str() + "@" +
                       scope.str());
}

void VdLocation::parse_native(LocationPrefix& prefix, SUM_String& rest) const {
    const std::string& s = text_.str();
    prefix = LP_NONE;
    rest = text_;
    size_t colon = s.find(':');
    if (colon == std::string::npos || colon < 1) return;
    std::string head = s.substr(0, colon + 1);
    for (int i = 0; i < kPrefixCount; ++i) {
        if (head == kPrefixes[i]) {
            prefix = static_cast<LocationPrefix>(i);
            rest = SUM_String(s.substr(colon + 1));
            return;
        }
    }
}

void VdLocation::parse_native(LocationPrefix& prefix, SUM_String& name, SUM_String& scope) const {
    SUM_String body;
    parse_native(prefix, body);
    const std::string& b = body.str();
    size_t at = b.find('@');
    if (at != std::string::npos && b.find("@@") == std::string::npos) {
        name = SUM_String(b.substr(0, at));
        scope = SUM_String(b.substr(at + 1));
    } else {
        name = body;
        scope = SUM_String();
    }
}

LocationPrefix VdLocation::get_prefix() const {
    LocationPrefix p;
    SUM_String rest;
    parse_native(p, rest);
    return p;
}
