// The core's own message catalog. The web layer refers to these messages by number.
#include <cstdint>

#include "core/imsg/imsg.h"

namespace {

const char* const kTexts[] = {
    /* 1 */ "Error: %s\n",
    /* 2 */ "Warning: %s\n",
    /* 18 */ "Unable to open file \"%s\": %s.\n",
    /* 19 */ "Unable to create file \"%s\": %s.\n",
    /* 20 */ "Error reading \"%s\": %s.\n",
    /* 21 */ "Error writing \"%s\": %s.\n",
    /* 22 */ "Unable to remove \"%s\": %s.\n",
    /* 23 */ "Unable to rename \"%s\" to \"%s\": %s.\n",
    /* 24 */ "Unable to create directory \"%s\": %s.\n",
    /* 25 */ "Unable to access \"%s\": %s.\n",
    /* 26 */ "Unable to copy \"%s\" to \"%s\": %s.\n",
    /* 38 */ "No file handle is recorded for \"%s\".\n",
    /* 46 */ "Operation \"%s\" failed: %s.\n",
    /* 47 */ "Operation \"%s\" failed on \"%s\": %s.\n",
    /* 158 */
    "The client's protocol version %d is older than the oldest version this server "
    "supports (%d).\n",
    /* 159 */
    "The client's protocol version %d is newer than the newest version this server "
    "supports (%d).\n",
};

const uint16_t kNumbers[] = {1, 2, 18, 19, 20, 21, 22, 23, 24, 25, 26, 38, 46, 47, 158, 159};

static_assert(sizeof kTexts / sizeof kTexts[0] == sizeof kNumbers / sizeof kNumbers[0]);

const imsg_catalog_t kCoreCatalog = {
    "core", "core",   1, static_cast<uint16_t>(sizeof kNumbers / sizeof kNumbers[0]),
    kTexts, kNumbers,
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
