// The registry: regions, VOB tags and view tags of a site.
//
// One database under $VERDANE_HOME/registry/ names every VOB and view by tag within a
// region, with its UUID and storage path. A view tag carries a property text whose words
// ("webview", "snapshot", "automatic", "sumview") say what kind of view it is.
#ifndef CORE_RGY_RGY_H
#define CORE_RGY_RGY_H

#include <string>
#include <vector>

#include "core/tbs/tbs.h"

#define RGY_DEFAULT_REGION "default"

struct rgy_vob_entry_t {
    std::string tag;
    tbs_uuid_t uuid{};
    std::string storage;
    bool is_public = false;
    std::string mount_options;
    std::string region = RGY_DEFAULT_REGION;
};

struct rgy_view_entry_t {
    std::string tag;
    tbs_uuid_t uuid{};
    std::string storage;
    std::string host;
    std::string owner;
    std::string properties;
    std::string region = RGY_DEFAULT_REGION;
};

// A storage location: a named directory of a region where the storage of new VOBs or of
// new views is made ("stgloc:<name>@<region>").
struct rgy_stgloc_entry_t {
    std::string name;
    std::string region = RGY_DEFAULT_REGION;
    bool for_views = false;  // view storage; else VOB storage
    std::string host;        // the host whose file system holds it
    std::string path;        // absolute directory
    std::string comment;
};

// Fields of a view entry for `rgy_getstring_from_entry_const`.
enum rgy_view_field_t {
    RGY_FIELD_TAG = 1,
    RGY_FIELD_UUID = 2,
    RGY_FIELD_STORAGE = 3,
    RGY_FIELD_HOST = 4,
    RGY_FIELD_OWNER = 5,
    RGY_FIELD_REGION = 6,
    RGY_FIELD_PROPERTIES = 18,
};

tbs_status_t rgy_add_region(const char* region);
tbs_status_t rgy_list_regions(std::vector<std::string>* out);

// Adding a tag that exists in the region fails with 1004; a tag must be a non-empty
// name without white space or control characters.
tbs_status_t rgy_add_vob_tag(const rgy_vob_entry_t& entry);
tbs_status_t rgy_remove_vob_tag(const char* tag, const char* region);
tbs_status_t rgy_find_vob_by_tag(const char* tag, const char* region, rgy_vob_entry_t* out);
tbs_status_t rgy_find_vob_by_uuid(const tbs_uuid_t& uuid, rgy_vob_entry_t* out);
tbs_status_t rgy_list_vob_tags(const char* region, std::vector<rgy_vob_entry_t>* out);

// Storage locations: added and removed by the site's administrator only (TBS_ST_PERMISSION
// for anyone else); the path must be an absolute directory.
tbs_status_t rgy_add_stgloc(const rgy_stgloc_entry_t& entry);
tbs_status_t rgy_remove_stgloc(const char* name, const char* region);
tbs_status_t rgy_find_stgloc(const char* name, const char* region, rgy_stgloc_entry_t* out);
// `kind`: -1 every location, 0 those of VOB storage, 1 those of view storage; by name.
tbs_status_t rgy_list_stglocs(const char* region, int kind, std::vector<rgy_stgloc_entry_t>* out);

tbs_status_t rgy_add_view_tag(const rgy_view_entry_t& entry);
tbs_status_t rgy_remove_view_tag(const char* tag, const char* region);
tbs_status_t rgy_find_view_by_tag(const char* tag, const char* region, rgy_view_entry_t* out);
tbs_status_t rgy_findbyuuid_entry(const tbs_uuid_t& uuid, rgy_view_entry_t* out);
tbs_status_t rgy_list_view_tags(const char* region, std::vector<rgy_view_entry_t>* out);
// A field of a view entry as text; null for an unknown field.
const char* rgy_getstring_from_entry_const(const rgy_view_entry_t& entry, int field);

// Entry cursors: a snapshot of the view tags of a region, walked one entry at a time.
struct rgy_cursor_t {
    std::vector<rgy_view_entry_t> entries;
    size_t next = 0;
};
tbs_status_t rgy_open_view_cursor(const char* region, rgy_cursor_t* cursor);
// TBS_ST_NOT_FOUND past the last entry.
tbs_status_t rgy_cursor_next(rgy_cursor_t* cursor, rgy_view_entry_t* out);

#endif
