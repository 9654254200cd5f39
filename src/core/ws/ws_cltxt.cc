// Cleartext transfer: a version's contents written to a file for the client, with a small
// per-session cache of the VOB the last transfer read from.
#include <cstring>

#include "core/rgy/rgy.h"
#include "core/ws/ws.h"
#include "core/ws/ws_internal.h"

// The registry entry of the VOB the last transfer of a session read from: transfers come
// element by element, mostly from one VOB, which is then opened without the registry.
struct ws_xfer_cache_t {
    rgy_vob_entry_t entry;
    bool valid = false;
};

tbs_status_t ws_xfer_recvfile(bool has_oid, const tbs_uuid_t& replica, const tbs_oid_t& oid,
                              const char* tmpname, ws_xfer_cache_t** cache) {
    if (!has_oid || !tmpname) return TBS_ST_BAD_REQUEST;
    if (cache && !*cache) *cache = new ws_xfer_cache_t;
    ws_xfer_cache_t* c = cache ? *cache : nullptr;
    vob_t* vob = nullptr;
    tbs_status_t st;
    if (c && c->valid && memcmp(c->entry.uuid.bytes, replica.bytes, 16) == 0) {
        st = vob_open_entry(c->entry, &vob);
    } else {
        rgy_vob_entry_t entry;
        st = rgy_find_vob_by_uuid(replica, &entry);
        if (st == TBS_ST_OK) st = vob_open_entry(entry, &vob);
        if (st == TBS_ST_OK && c) {
            c->entry = entry;
            c->valid = true;
        }
    }
    vob_dbid_t dbid = 0;
    if (st == TBS_ST_OK) st = vob_obj_oid_to_dbid(vob, oid, &dbid);
    return st == TBS_ST_OK ? vob_ver_get_cleartext(vob, dbid, tmpname) : st;
}

void ws_xfer_free_cache(ws_xfer_cache_t** cache) {
    if (!cache) return;
    delete *cache;
    *cache = nullptr;
}

tbs_status_t ws_xlate_cltxt_pname(const tbs_uuid_t&, const tbs_oid_t&, std::string*) {
    // Contents live compressed in the pool: there is no readable file to offer instead.
    return TBS_ST_NOT_FOUND;
}
