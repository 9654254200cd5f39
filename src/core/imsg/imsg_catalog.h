// Message catalog records of the message library.
//
// A catalog is a constant table of printf formats addressed by its record and a 0-based
// index. The built-in text is the text of record; the catalog name, set number and message
// number identify the entry for a localised replacement.
#ifndef CORE_IMSG_IMSG_CATALOG_H
#define CORE_IMSG_IMSG_CATALOG_H

#include <cstddef>
#include <cstdint>

struct imsg_catalog_t {
    const char* catalog_name;    // external catalog that may hold translations
    const char* component_name;  // name of this catalog
    uint16_t set_number;         // message set within the external catalog
    uint16_t count;              // number of messages
    const char* const* texts;    // built-in texts, indexed 0 .. count - 1
    const uint16_t* numbers;     // message number of each text
};

// A catalog's entries are written once, as an X-macro table of rows X(name, number, text) in
// index order; these expand it into the enumerators (each name's value is its index), the
// numbers array and the texts array.
#define IMSG_CATALOG_INDEX(name, number, text) name,
#define IMSG_CATALOG_NUMBER(name, number, text) number,
#define IMSG_CATALOG_TEXT(name, number, text) text,

// True when `numbers` ascend strictly, as every catalog's numbers do.
template <size_t N>
constexpr bool imsg_catalog_numbers_ascend(const uint16_t (&numbers)[N]) {
    for (size_t i = 1; i < N; ++i)
        if (numbers[i - 1] >= numbers[i]) return false;
    return true;
}

#endif
