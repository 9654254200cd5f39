// The library's message catalogs, one table per component.
//
// Each catalog's entries are written once, as the X-macro table in its header
// (vdw_rpcs_catalog.h holds VDW_RPCS_CATALOG), one row of name, message number and text per
// entry. The catalog's source expands the table into its texts and its numbers, the header
// into an enumeration that gives each name the entry's index, so index, number and text
// cannot drift apart. `WCM_Status::format` and the core message library take the record and
// the name: st.format(&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_MISSING_ARGS).
//
// Clients and stored files know entries by number and text, and both stay with the index
// they have: a row is never moved or removed, new rows go at the end with a number above the
// last, the numbers ascend (each catalog source checks that when it compiles), and a retired
// message leaves only a gap in them. Names are upper case, begin with the catalog's prefix
// and say what the message is about; failures to do something end in _FAILED, and a view's
// configuration is CS, as in the status names.
#ifndef FOUNDATION_CATALOGS_CATALOGS_H
#define FOUNDATION_CATALOGS_CATALOGS_H

#include "core/imsg/imsg_catalog.h"

extern "C" {
extern const imsg_catalog_t _vdw_lib_lib_msg_table;       // "vdw_lib"    1002-1300
extern const imsg_catalog_t _vdw_prop_props_msg_table;    // "vdw_prop"   2004-2037
extern const imsg_catalog_t _vdw_rpcs_rpcs_msg_table;     // "vdw_rpcs"   3001-3207
extern const imsg_catalog_t _vdweb_lib_msg_table;         // "vdweb"      4001-4126
extern const imsg_catalog_t _wcm_lib_msg_table;           // "wcm_common" 5001-5027
extern const imsg_catalog_t _ireq_lib_libireq_msg_table;  // "ireq_lib"   2-13
}

#endif
