// Message catalog "vdw_prop": the record handed to the message library, built from the
// rows of vdw_prop_catalog.h.
#include "foundation/catalogs/vdw_prop_catalog.h"

#include <cstdint>
#include <iterator>

static const char* const vdw_prop_texts[] = {VDW_PROP_CATALOG(IMSG_CATALOG_TEXT)};
static constexpr uint16_t vdw_prop_numbers[] = {VDW_PROP_CATALOG(IMSG_CATALOG_NUMBER)};

static_assert(std::size(vdw_prop_texts) == 19, "rows are appended, never removed");
static_assert(imsg_catalog_numbers_ascend(vdw_prop_numbers), "catalog numbers must ascend");

extern "C" const imsg_catalog_t _vdw_prop_props_msg_table = {
    "props_lib", "vdw_prop", 1, std::size(vdw_prop_texts), vdw_prop_texts, vdw_prop_numbers,
};
