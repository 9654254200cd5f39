// Registry entry fields and cursors (the queries are in the store layer).
#include "core/rgy/rgy.h"

const char* rgy_getstring_from_entry_const(const rgy_view_entry_t& e, int field) {
    static thread_local char uuid[TBS_UUID_STR_SIZE];
    switch (field) {
        case RGY_FIELD_TAG:
            return e.tag.c_str();
        case RGY_FIELD_UUID:
            tbs_uuid_to_str(e.uuid, uuid);
            return uuid;
        case RGY_FIELD_STORAGE:
            return e.storage.c_str();
        case RGY_FIELD_HOST:
            return e.host.c_str();
        case RGY_FIELD_OWNER:
            return e.owner.c_str();
        case RGY_FIELD_REGION:
            return e.region.c_str();
        case RGY_FIELD_PROPERTIES:
            return e.properties.c_str();
        default:
            return nullptr;
    }
}

tbs_status_t rgy_open_view_cursor(const char* region, rgy_cursor_t* cursor) {
    cursor->next = 0;
    return rgy_list_view_tags(region, &cursor->entries);
}

tbs_status_t rgy_cursor_next(rgy_cursor_t* cursor, rgy_view_entry_t* out) {
    if (cursor->next >= cursor->entries.size()) return TBS_ST_NOT_FOUND;
    *out = cursor->entries[cursor->next++];
    return TBS_ST_OK;
}
