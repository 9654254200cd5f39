// Interaction messages and their text form.
#include "interact/ireq_msg.h"

#include <cstring>
#include <string>

namespace {

constexpr int kGrowth = 10;

bool grow(ireq_msg_t* m) {
    int cap = m->capacity + kGrowth;
    auto** keys = static_cast<char**>(stg_alloc(m->area, sizeof(char*) * static_cast<size_t>(cap)));
    auto** values =
        static_cast<char**>(stg_alloc(m->area, sizeof(char*) * static_cast<size_t>(cap)));
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

}  // namespace

ireq_msg_t* ireq_msg_create(stg_area_t* area, const char* protocol, const char* version,
                            int initial_slots) {
    if (!area || !protocol || !version) return nullptr;
    auto* m = static_cast<ireq_msg_t*>(stg_alloc(area, sizeof(ireq_msg_t)));
    if (!m) return nullptr;
    m->area = area;
    m->count = 0;
    m->capacity = 0;
    m->keys = m->values = nullptr;
    if (initial_slots > 0) {
        m->capacity = initial_slots - kGrowth;  // grow() adds kGrowth
        if (!grow(m)) return nullptr;
    }
    if (!ireq_msg_add_element(m, IREQ_MSG_PROTOCOL, protocol) ||
        !ireq_msg_add_element(m, IREQ_MSG_VERSION, version))
        return nullptr;
    return m;
}

int ireq_msg_add_element(ireq_msg_t* m, const char* name, const char* value) {
    if (!m || !name || !value) return 0;
    if (m->count >= m->capacity && !grow(m)) return 0;
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
    ++*index;
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
    auto* m = static_cast<ireq_msg_t*>(stg_alloc(area, sizeof(ireq_msg_t)));
    if (!m) return nullptr;
    *m = ireq_msg_t{area, 0, 0, nullptr, nullptr};
    const char* p = text;
    while (*p) {
        const char* eol = strchr(p, '\n');
        const char* end = eol ? eol : p + strlen(p);
        const char* eq = static_cast<const char*>(memchr(p, '=', static_cast<size_t>(end - p)));
        if (!eq) return nullptr;  // every element line carries "="
        std::string name(p, eq);
        std::string value;
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
