// The core's own message catalog, built from the rows of imsg_core_catalog.h. The web layer
// refers to these messages by number.
#include <cstdint>
#include <iterator>

#include "core/imsg/imsg.h"

namespace {

const char* const kTexts[] = {IMSG_CORE_CATALOG(IMSG_CATALOG_TEXT)};
constexpr uint16_t kNumbers[] = {IMSG_CORE_CATALOG(IMSG_CATALOG_NUMBER)};

static_assert(imsg_catalog_numbers_ascend(kNumbers), "core message numbers must ascend");

const imsg_catalog_t kCoreCatalog = {
    "core", "core", 1, static_cast<uint16_t>(std::size(kNumbers)), kTexts, kNumbers,
};

}  // namespace

const imsg_catalog_t* imsg_core_catalog() {
    return &kCoreCatalog;
}

int imsg_core_index(int number) {
    for (int i = 0; i < kCoreCatalog.count; ++i)
        if (kNumbers[i] == number) return i;
    return -1;
}
