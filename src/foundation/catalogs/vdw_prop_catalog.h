// Message catalog "vdw_prop": the messages of the XML protocol, its resource and property
// model and the XML operation RPCs.
//
// VDW_PROP_BRANCH_TYPE_NOT_MASTERED (entry 13) carries the number 2018 but the text of message
// 3203 (VDW_RPCS_BRANCH_TYPE_NOT_MASTERED), prefix included, so that the XML checkout reports
// the same text as the web checkout RPC; it is the one entry whose prefix does not repeat its
// own number.
#ifndef FOUNDATION_CATALOGS_VDW_PROP_CATALOG_H
#define FOUNDATION_CATALOGS_VDW_PROP_CATALOG_H

#include "foundation/catalogs/catalogs.h"

// One row per entry, in index order: X(name, number, text). See catalogs.h.
// clang-format off
#define VDW_PROP_CATALOG(X) \
    X(VDW_PROP_GET_COMPONENT_ROOT_FAILED, 2004, "VDSRV2004: Could not retrieve root directory element for component: \"%s\".\n") \
    X(VDW_PROP_DYNAMIC_VIEW_NO_VTFS, 2005, "VDSRV2005: Could not access dynamic view '%s' because VTFS is not configured on the server.\n") \
    X(VDW_PROP_START_DYNAMIC_VIEW_FAILED, 2006, "VDSRV2006: Unable to start dynamic view '%s' on server.\n") \
    X(VDW_PROP_HISTORY_PATH_UNSUPPORTED, 2007, "VDSRV2007: History-mode path not supported: %s\n") \
    X(VDW_PROP_FILE_NOT_IN_VIEW, 2008, "VDSRV2008: File '%s' not found in view '%s'") \
    X(VDW_PROP_UNSUPPORTED_OPERATION, 2009, "VDSRV2009: Unsupported operation: %s (%s: %ld)\n") \
    X(VDW_PROP_BACKEND_INTERNAL_ERROR, 2010, "VDSRV2010: Internal error in VD back-end process: %s\n") \
    X(VDW_PROP_FOLDER_PARENT_MISSING, 2011, "VDSRV2011: Could not create XCM project folder: parent folder not specified") \
    X(VDW_PROP_PROJECT_FOLDER_MISSING, 2012, "VDSRV2012: Could not create XCM project: folder not specified") \
    X(VDW_PROP_UNSUPPORTED_CHARACTERS, 2013, "VDSRV2013: Error: One or more characters in the following string is not supported by the server's operating system: \"%s\".\n") \
    X(VDW_PROP_PROPERTY_NEEDS_VIEW, 2014, "VDSRV2014: This property cannot be resolved without a view context.\n") \
    X(VDW_PROP_COMPARE_NEEDS_TWO_BASELINES, 2015, "VDSRV2015: Must specify two valid resources for baseline comparison.") \
    X(VDW_PROP_NO_REPORT_KIND, 2016, "VDSRV2016: No valid report kind provided.  Must be at least one of: activites, baselines and versions.") \
    X(VDW_PROP_BRANCH_TYPE_NOT_MASTERED, 2018, "VDSRV3203: Cannot checkout element \"%s\" - branch type is not mastered locally: %s\n") \
    X(VDW_PROP_PROPERTY_NOT_IMPLEMENTED, 2033, "VDSRV2033: Property is not yet implemented - \"%s\"\n") \
    X(VDW_PROP_COMPONENT_NEEDS_VIEW, 2034, "VDSRV2034: Component cannot be created without a view context.\n") \
    X(VDW_PROP_DETERMINE_REAL_PATH_FAILED, 2035, "VDSRV2035: Unable to determine real path for '%s' in view '%s': %s.\n") \
    X(VDW_PROP_MERGE_ARROW_TO_HIJACKED, 2036, "VDSRV2036: Merge arrow cannot be drawn to hijacked file.\n") \
    X(VDW_PROP_COPY_MERGE_TO_HIJACKED_FAILED, 2037, "VDSRV2037: Unable to copy merged content to hijacked file \"%s\" : %s\n")
// clang-format on

// The index of each entry in _vdw_prop_props_msg_table.
enum vdw_prop_msg_t : int { VDW_PROP_CATALOG(IMSG_CATALOG_INDEX) };

#endif
