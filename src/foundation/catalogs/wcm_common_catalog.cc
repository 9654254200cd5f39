// Message catalog "wcm_common": the record handed to the message library, built from the
// rows of wcm_common_catalog.h.
#include "foundation/catalogs/wcm_common_catalog.h"

#include <cstdint>
#include <iterator>

static const char* const wcm_common_texts[] = {WCM_COMMON_CATALOG(IMSG_CATALOG_TEXT)};
static constexpr uint16_t wcm_common_numbers[] = {WCM_COMMON_CATALOG(IMSG_CATALOG_NUMBER)};

static_assert(std::size(wcm_common_texts) == 27, "rows are appended, never removed");
static_assert(imsg_catalog_numbers_ascend(wcm_common_numbers), "catalog numbers must ascend");

extern "C" const imsg_catalog_t _wcm_lib_msg_table = {
    "lib_tvx", "wcm_common", 100, std::size(wcm_common_texts), wcm_common_texts, wcm_common_numbers,
};
