// What the web-view engine's files share: the handle, and the small helpers on UUIDs and
// VOB pathnames relative to a view's root.
#ifndef CORE_WS_WS_INTERNAL_H
#define CORE_WS_WS_INTERNAL_H

#include <string>

#include "core/ws/ws.h"

struct ws_handle_t {
    view_t* view = nullptr;
    unsigned prefs = 0;
    ws_load_observer_t obs;
    ws_load_stats_t stats;  // of the handle's latest session
};

bool ws_same_uuid(const tbs_uuid_t& a, const tbs_uuid_t& b);
// The VOB whose replica is `replica`, and the object `oid` names in it.
tbs_status_t ws_find_oid(const tbs_uuid_t& replica, const tbs_oid_t& oid, vob_t** vob,
                         vob_dbid_t* dbid);
// "/vobs/p/src/a.c" -> "vobs/p/src" and "a.c"; ws_rel_join puts them together again.
void ws_rel_split(const std::string& pname, std::string* dir, std::string* leaf);
std::string ws_rel_join(const std::string& dir, const std::string& leaf);
// Whether `path` is `scope` or lies below it ("/" holds everything).
bool ws_at_or_below(const std::string& path, const std::string& scope);
// A load scope as a VOB pathname of the view.
std::string ws_normalize_scope(const view_t* view, const char* scope);

#endif
