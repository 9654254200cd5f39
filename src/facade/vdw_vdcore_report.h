// How the facade's operations report a failed core call: the core's status goes into the
// request's WCM_Status and one vdw_lib message names the object and the core's error text,
// always as the entry's last argument. Shared by the facade's family files and the RPC
// handlers.
#ifndef OPS_VDW_VDCORE_REPORT_H
#define OPS_VDW_VDCORE_REPORT_H

#include "core/tbs/tbs.h"
#include "foundation/catalogs/vdw_lib_catalog.h"
#include "foundation/wcm_status.h"

// True when `st` is ok; otherwise stores it, adds entry `entry` formatted with `names...`
// and the text of `st`, and returns false.
template <class... Names>
bool vdw_core_ok(WCM_Status& status, tbs_status_t st, vdw_lib_msg_t entry, const Names&... names) {
    if (st == TBS_ST_OK) return true;
    status.set_status(st);
    status.format(&_vdw_lib_lib_msg_table, entry, names..., tbs_strerror(st));
    return false;
}

#endif
