// Message catalog "vdw_prop": the messages of the XML protocol, its resource and property
// model and the XML operation RPCs.
//
// Entry 13 carries the number 2018 but the text of message 3203 (branch type not mastered
// locally), prefix included, so that the XML checkout reports the same text as the web
// checkout RPC; it is the one entry whose prefix does not repeat its own number.
//
// Callers address entries by index, so an entry is never moved or removed; the numbers
// ascend, and a retired message leaves only a gap in them.

#include <cstdint>
#include <iterator>

#include "foundation/catalogs/catalogs.h"

// clang-format off
static const char* const vdw_prop_texts[] = {
    /* 0 */ "VDSRV2004: Could not retrieve root directory element for component: \"%s\".\n",
    /* 1 */ "VDSRV2005: Could not access dynamic view '%s' because VTFS is not configured on the server.\n",
    /* 2 */ "VDSRV2006: Unable to start dynamic view '%s' on server.\n",
    /* 3 */ "VDSRV2007: History-mode path not supported: %s\n",
    /* 4 */ "VDSRV2008: File '%s' not found in view '%s'",
    /* 5 */ "VDSRV2009: Unsupported operation: %s (%s: %ld)\n",
    /* 6 */ "VDSRV2010: Internal error in VD back-end process: %s\n",
    /* 7 */ "VDSRV2011: Could not create XCM project folder: parent folder not specified",
    /* 8 */ "VDSRV2012: Could not create XCM project: folder not specified",
    /* 9 */ "VDSRV2013: Error: One or more characters in the following string is not supported by the server's operating system: \"%s\".\n",
    /* 10 */ "VDSRV2014: This property cannot be resolved without a view context.\n",
    /* 11 */ "VDSRV2015: Must specify two valid resources for baseline comparison.",
    /* 12 */ "VDSRV2016: No valid report kind provided.  Must be at least one of: activites, baselines and versions.",
    /* 13 */ "VDSRV3203: Cannot checkout element \"%s\" - branch type is not mastered locally: %s\n",
    /* 14 */ "VDSRV2033: Property is not yet implemented - \"%s\"\n",
    /* 15 */ "VDSRV2034: Component cannot be created without a view context.\n",
    /* 16 */ "VDSRV2035: Unable to determine real path for '%s' in view '%s': %s.\n",
    /* 17 */ "VDSRV2036: Merge arrow cannot be drawn to hijacked file.\n",
    /* 18 */ "VDSRV2037: Unable to copy merged content to hijacked file \"%s\" : %s\n",
};
// clang-format on

static const uint16_t vdw_prop_numbers[] = {
    2004, 2005, 2006, 2007, 2008, 2009, 2010, 2011, 2012, 2013,  // 0
    2014, 2015, 2016, 2018, 2033, 2034, 2035, 2036, 2037,        // 10
};

static_assert(std::size(vdw_prop_texts) == 19);
static_assert(std::size(vdw_prop_numbers) == std::size(vdw_prop_texts));

extern "C" const imsg_catalog_t _vdw_prop_props_msg_table = {
    "props_lib", "vdw_prop", 1, 19, vdw_prop_texts, vdw_prop_numbers,
};
