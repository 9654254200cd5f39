// Small readers of change-management objects for the RPCs that describe them: the name,
// selector, project VOB replica and description of an object ("" when it is the null
// object or cannot be read; the caller has already found the object).
#ifndef OPS_XCM_VDW_XCM_UTIL_H
#define OPS_XCM_VDW_XCM_UTIL_H

#include <functional>
#include <string>
#include <vector>

#include "core/cmd/cmd_xcm.h"
#include "core/sum/sum_xcm.h"

struct view_t;

// Cancels the checkouts of a change set `cs` made in `view` that the view no longer sees
// (its stream moved past them); only those of the element pathnames `named` when any are
// named. `cleaned` hears of each element whose checkout went and may stop the walk by
// answering false. On a failed cancel, returns its status with the element in `failed`.
tbs_status_t vdw_xcm_cleanup_invisible(view_t* view, const std::vector<cmd_cs_entry_t>& cs,
                                       const std::vector<std::string>& named,
                                       const std::function<bool(const std::string&)>& cleaned,
                                       std::string* failed);

inline std::string vdw_xcm_name(const SUM_XcmObject& o) {
    SUM_String s;
    return !o.is_null() && o.name(&s) == TBS_ST_OK ? s.c_str() : "";
}
inline std::string vdw_xcm_selector(const SUM_XcmObject& o) {
    SUM_String s;
    return !o.is_null() && o.selector(&s) == TBS_ST_OK ? s.c_str() : "";
}
inline std::string vdw_xcm_replica(const SUM_XcmObject& o) {
    SUM_Uuid u;
    return !o.is_null() && o.replica_uuid(&u) == TBS_ST_OK ? tbs_uuid_text(u.uuid()) : "";
}
inline std::string vdw_xcm_description(const SUM_XcmObject& o) {
    SUM_String s;
    return !o.is_null() && o.description(&s) == TBS_ST_OK ? s.c_str() : "";
}

#endif
