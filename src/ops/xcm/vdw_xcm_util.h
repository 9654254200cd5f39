// Small readers of change-management objects for the RPCs that describe them: the name,
// selector, project VOB replica and description of an object ("" when it is the null
// object or cannot be read; the caller has already found the object).
#ifndef OPS_XCM_VDW_XCM_UTIL_H
#define OPS_XCM_VDW_XCM_UTIL_H

#include <string>

#include "core/sum/sum_xcm.h"

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
