// Message catalog "vdw_lib": the record handed to the message library, built from the
// rows of vdw_lib_catalog.h.
#include "foundation/catalogs/vdw_lib_catalog.h"

#include <cstdint>
#include <iterator>

static const char* const vdw_lib_texts[] = {VDW_LIB_CATALOG(IMSG_CATALOG_TEXT)};
static constexpr uint16_t vdw_lib_numbers[] = {VDW_LIB_CATALOG(IMSG_CATALOG_NUMBER)};

static_assert(std::size(vdw_lib_texts) == 279, "rows are appended, never removed");
static_assert(imsg_catalog_numbers_ascend(vdw_lib_numbers), "catalog numbers must ascend");

extern "C" const imsg_catalog_t _vdw_lib_lib_msg_table = {
    "lib_tvx", "vdw_lib", 1, std::size(vdw_lib_texts), vdw_lib_texts, vdw_lib_numbers,
};
