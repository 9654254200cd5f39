// What the view module's dynamic-view code shares with the rest of it: where a dynamic
// view is mounted and a registry lookup that says whether a tag names one.
#ifndef CORE_VIEW_VIEW_DYNAMIC_H
#define CORE_VIEW_VIEW_DYNAMIC_H

#include <string>

#include "core/rgy/rgy.h"
#include "core/tbs/tbs.h"

// "<product>/view/<tag>".
std::string view_dynamic_root(const std::string& tag);
// The registry entry of `tag` and whether it is a dynamic view.
tbs_status_t view_find_dynamic(const char* tag, rgy_view_entry_t* entry, bool* dynamic);

#endif
