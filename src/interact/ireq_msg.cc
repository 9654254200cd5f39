// Interaction messages, their text form and the delimited-list helpers.
#include "interact/ireq_msg.h"

#include <climits>
#include <cstring>
#include <string>

#include "core/imsg/imsg.h"
#include "foundation/catalogs/ireq_lib_catalog.h"

namespace {

// Gives the message room for `by` more elements. The old arrays stay in the area; areas
// free nothing one by one.
bool grow(ireq_msg_t* m, int by) {
    if (by < 1 || m->capacity > INT_MAX - by) return false;
    int cap = m->capacity + by;
    size_t bytes = sizeof(char*) * static_cast<size_t>(cap);
    auto** keys = static_cast<char**>(stg_alloc(m->area, bytes));
    auto** values = static_cast<char**>(stg_alloc(m->area, bytes));
    if (!keys || !values) return false;
    if (m->count) {
        memcpy(keys, m->keys, sizeof(char*) * static_cast<size_t>(m->count));
        memcpy(values, m->values, sizeof(char*) * static_cast<size_t>(m->count));
    }
    m->keys = keys;
    m->values = values;
    m->capacity = cap;
    return true;
}

ireq_msg_t* new_msg(stg_area_t* area, int slots) {
    auto* m = static_cast<ireq_msg_t*>(stg_alloc(area, sizeof(ireq_msg_t)));
    if (!m) return nullptr;
    *m = ireq_msg_t{area, 0, 0, nullptr, nullptr};
    if (slots > 0 && !grow(m, slots)) return nullptr;
    return m;
}

ireq_msg_t* parse_error(const char* text) {
    imsg_print_catalog(IMSG_ERROR, &_ireq_lib_libireq_msg_table, IREQ_LIB_PARSE_ERROR,
                       "ireq_msg_from_string", text);
    return nullptr;
}

}  // namespace

ireq_msg_t* ireq_msg_create(stg_area_t* area, const char* protocol, const char* version,
                            int initial_slots) {
    if (!area || !protocol || !version) return nullptr;
    ireq_msg_t* m = new_msg(area, initial_slots);
    if (!m || !ireq_msg_add_element(m, IREQ_MSG_PROTOCOL, protocol) ||
        !ireq_msg_add_element(m, IREQ_MSG_VERSION, version))
        return nullptr;
    return m;
}

int ireq_msg_add_element(ireq_msg_t* m, const char* name, const char* value) {
    if (!m || !name || !value) return 0;
    if (m->count >= m->capacity && !grow(m, IREQ_MSG_GROWTH)) return 0;
    char* k = stg_area_strdup(m->area, name);
    char* v = stg_area_strdup(m->area, value);
    if (!k || !v) return 0;
    m->keys[m->count] = k;
    m->values[m->count] = v;
    ++m->count;
    return 1;
}

int ireq_msg_get_element(const ireq_msg_t* m, const char* name, const char** value) {
    if (value) *value = nullptr;
    if (!m || !name) return 0;
    for (int i = 0; i < m->count; ++i) {
        if (strcmp(m->keys[i], name) == 0) {
            if (value) *value = m->values[i];
            return 1;
        }
    }
    return 0;
}

const char* ireq_msg_next_key(const ireq_msg_t* m, int* index) {
    if (!m || !index) return nullptr;
    if (*index < m->count) ++*index;  // stays put past the end instead of overflowing
    if (*index < 0 || *index >= m->count) return nullptr;
    return m->keys[*index];
}

int ireq_msg_to_string(const ireq_msg_t* m, stg_area_t* area, char** text) {
    if (text) *text = nullptr;
    if (!m || !area || !text) return 1;
    std::string out;
    for (int i = 0; i < m->count; ++i) {
        out += m->keys[i];
        out += '=';
        for (const char* p = m->values[i]; *p; ++p) {
            if (*p == '\n')
                out += "\\n";
            else
                out += *p;
        }
        out += '\n';
    }
    *text = stg_area_strndup(area, out.data(), out.size());
    return *text ? 0 : 1;
}

ireq_msg_t* ireq_msg_from_string(stg_area_t* area, const char* text) {
    if (!area || !text) return nullptr;
    // One element per line; a last line without its line break counts too.
    size_t lines = 1;
    for (const char* p = text; *p; ++p) lines += *p == '\n';
    if (lines > static_cast<size_t>(INT_MAX)) return parse_error(text);
    ireq_msg_t* m = new_msg(area, static_cast<int>(lines));
    if (!m) return nullptr;
    const char* p = text;
    std::string name, value;
    while (*p) {
        const char* eol = strchr(p, '\n');
        const char* end = eol ? eol : p + strlen(p);
        const char* eq = static_cast<const char*>(memchr(p, '=', static_cast<size_t>(end - p)));
        if (!eq) return parse_error(text);
        name.assign(p, eq);
        value.clear();
        for (const char* q = eq + 1; q < end; ++q) {
            if (q[0] == '\\' && q + 1 < end && q[1] == 'n') {
                value += '\n';
                ++q;
            } else {
                value += *q;
            }
        }
        if (!ireq_msg_add_element(m, name.c_str(), value.c_str())) return nullptr;
        p = eol ? eol + 1 : end;
    }
    return m;
}

int ireq_msg_delimited_list_to_array(stg_area_t* area, const char* text, const char* delimiter,
                                     char*** array, int* count) {
    if (array) *array = nullptr;
    if (count) *count = 0;
    if (!area || !text || !delimiter || !*delimiter || !array || !count) return 1;
    const size_t dlen = strlen(delimiter);
    size_t items = 1;
    for (const char* p = strstr(text, delimiter); p; p = strstr(p + dlen, delimiter)) ++items;
    if (items > static_cast<size_t>(INT_MAX)) return 1;
    auto** out = static_cast<char**>(stg_alloc(area, sizeof(char*) * items));
    if (!out) return 1;
    const char* start = text;
    for (size_t i = 0; i < items; ++i) {
        const char* hit = i + 1 < items ? strstr(start, delimiter) : start + strlen(start);
        out[i] = stg_area_strndup(area, start, static_cast<size_t>(hit - start));
        if (!out[i]) return 1;
        if (i + 1 < items) start = hit + dlen;
    }
    *array = out;
    *count = static_cast<int>(items);
    return 0;
}

int ireq_msg_array_to_delimited_list(stg_area_t* area, char* const* array, int count, char** text,
                                     const char* delimiter) {
    if (text) *text = nullptr;
    if (!area || !text || !delimiter || (count > 0 && !array)) return 1;
    std::string out;
    for (int i = 0; i < count; ++i) {
        if (!array[i]) return 1;
        if (i) out += delimiter;
        out += array[i];
    }
    *text = stg_area_strndup(area, out.data(), out.size());
    return *text ? 0 : 1;
}
