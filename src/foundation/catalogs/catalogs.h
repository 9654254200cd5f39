// The library's message catalogs, one table per component.
//
// Entries are addressed by index (0-based); `WCM_Status::format` and the core message
// library take the record and the index.
#ifndef FOUNDATION_CATALOGS_CATALOGS_H
#define FOUNDATION_CATALOGS_CATALOGS_H

#include "core/imsg/imsg_catalog.h"

extern "C" {
extern const imsg_catalog_t _vdw_lib_lib_msg_table;       // "vdw_lib"    1002-1289
extern const imsg_catalog_t _vdw_prop_props_msg_table;    // "vdw_prop"   2004-2037
extern const imsg_catalog_t _vdw_rpcs_rpcs_msg_table;     // "vdw_rpcs"   3001-3207
extern const imsg_catalog_t _vdweb_lib_msg_table;         // "vdweb"      4001-4123
extern const imsg_catalog_t _wcm_lib_msg_table;           // "wcm_common" 5001-5027
extern const imsg_catalog_t _ireq_lib_libireq_msg_table;  // "ireq_lib"   2-13
}

#endif
