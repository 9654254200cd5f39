// Locations: the strings by which a client names a resource, and the paths they carry.
//
// A location is a plain pathname or object selector ("/vobs/p/a.c", "lbtype:REL1@vob:/vobs/p"),
// or a known prefix followed by its value ("viewtag:dev", "vobtag:/vobs/p@region",
// "workspace:/<view uuid or tag>/vobs/p/a.c"); change-request objects have names of their
// own ("record:BUG1@bugs@main", tn_resources.h). Paths are held in the server's local form
// and answered in the global form.
#ifndef XMLPROTO_RESOURCE_VD_LOCATION_H
#define XMLPROTO_RESOURCE_VD_LOCATION_H

#include <vector>

#include "core/sum/sum_string.h"

class VdPath {
public:
    VdPath() = default;
    explicit VdPath(const SUM_String& text);
    virtual ~VdPath() = default;

    const SUM_String& to_native() const { return text_; }
    SUM_String to_canonical() const;
    std::vector<SUM_String> get_segments() const;
    static SUM_String join(const std::vector<SUM_String>& segments);
    VdPath child(const SUM_String& name) const;
    VdPath parent() const;
    bool is_absolute() const { return !text_.is_empty() && text_.c_str()[0] == '/'; }
    bool is_unc() const { return false; }
    bool is_drive() const { return false; }
    bool is_null() const { return text_.is_empty(); }

protected:
    SUM_String text_;
};

enum LocationPrefix {
    LP_FILE = 0,
    LP_REPO_TN_RECORD = 1,
    LP_TN_RECORD_TYPE = 2,
    LP_RECORD = 3,
    LP_REGISTRY_REGION = 4,
    LP_REPLICA_UUID = 5,
    LP_SERVER = 6,
    LP_STGLOC = 7,
    LP_TASK = 8,
    LP_USERDB = 9,
    LP_VIEWTAG = 10,
    LP_VIEWUUID = 11,
    LP_VOBTAG = 12,
    LP_WORKSPACE = 13,
    LP_NONE = 14,
};

class VdLocation : public VdPath {
public:
    VdLocation() = default;
    explicit VdLocation(const SUM_String& text) : VdPath(text) {}
    explicit VdLocation(const VdPath& path) : VdPath(path) {}
    VdLocation(LocationPrefix prefix, const SUM_String& value);
    VdLocation(LocationPrefix prefix, const SUM_String& name, const SUM_String& scope);

    // The text of a prefix ("viewtag:"), or null for LP_NONE and unknown values.
    static const char* prefix_text(LocationPrefix prefix);

    void parse_native(LocationPrefix& prefix, SUM_String& name, SUM_String& scope) const;
    void parse_native(LocationPrefix& prefix, SUM_String& rest) const;
    LocationPrefix get_prefix() const;

    // A location's parent keeps its prefix: the prefix is part of the first segment.
    VdLocation parent() const { return VdLocation(VdPath::parent()); }
    VdLocation child(const SUM_String& name) const { return VdLocation(VdPath::child(name)); }
};

#endif
