// Message catalog "vdw_rpcs": the record handed to the message library, built from the
// rows of vdw_rpcs_catalog.h.
#include "foundation/catalogs/vdw_rpcs_catalog.h"

#include <cstdint>
#include <iterator>

static const char* const vdw_rpcs_texts[] = {VDW_RPCS_CATALOG(IMSG_CATALOG_TEXT)};
static constexpr uint16_t vdw_rpcs_numbers[] = {VDW_RPCS_CATALOG(IMSG_CATALOG_NUMBER)};

static_assert(std::size(vdw_rpcs_texts) == 194, "rows are appended, never removed");
static_assert(imsg_catalog_numbers_ascend(vdw_rpcs_numbers), "catalog numbers must ascend");

extern "C" const imsg_catalog_t _vdw_rpcs_rpcs_msg_table = {
    "rpcs_lib", "vdw_rpcs", 1, std::size(vdw_rpcs_texts), vdw_rpcs_texts, vdw_rpcs_numbers,
};
