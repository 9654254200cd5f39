// Message catalog "ireq_lib": the record handed to the message library, built from the
// rows of ireq_lib_catalog.h.
#include "foundation/catalogs/ireq_lib_catalog.h"

#include <cstdint>
#include <iterator>

static const char* const ireq_lib_texts[] = {IREQ_LIB_CATALOG(IMSG_CATALOG_TEXT)};
static constexpr uint16_t ireq_lib_numbers[] = {IREQ_LIB_CATALOG(IMSG_CATALOG_NUMBER)};

static_assert(std::size(ireq_lib_texts) == 12, "rows are appended, never removed");
static_assert(imsg_catalog_numbers_ascend(ireq_lib_numbers), "catalog numbers must ascend");

extern "C" const imsg_catalog_t _ireq_lib_libireq_msg_table = {
    "libireq_lib", "ireq_lib", 1, std::size(ireq_lib_texts), ireq_lib_texts, ireq_lib_numbers,
};
