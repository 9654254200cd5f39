// Message catalog "vdweb": the record handed to the message library, built from the
// rows of vdweb_catalog.h.
#include "foundation/catalogs/vdweb_catalog.h"

#include <cstdint>
#include <iterator>

static const char* const vdweb_texts[] = {VDWEB_CATALOG(IMSG_CATALOG_TEXT)};
static constexpr uint16_t vdweb_numbers[] = {VDWEB_CATALOG(IMSG_CATALOG_NUMBER)};

static_assert(std::size(vdweb_texts) == 111, "rows are appended, never removed");
static_assert(imsg_catalog_numbers_ascend(vdweb_numbers), "catalog numbers must ascend");

extern "C" const imsg_catalog_t _vdweb_lib_msg_table = {
    "lib_tvx", "vdweb", 2, std::size(vdweb_texts), vdweb_texts, vdweb_numbers,
};
