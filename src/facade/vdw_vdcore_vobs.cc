// VDW_Vdcore: VOBs: the registered VOBs and finding one by tag or UUID.
#include <algorithm>
#include <string>

#include "core/imsg/imsg.h"
#include "core/rgy/rgy.h"
#include "core/tbs/tbs.h"
#include "core/vob/vob.h"
#include "core/vob/vob_obj.h"
#include "facade/vdw_vdcore.h"
#include "facade/vdw_vdcore_report.h"
#include "foundation/wcm_status.h"

void VDW_Vdcore::get_vob_tag_list(std::vector<VobEntry>* vobs, WCM_Status& status) {
    vobs->clear();
    std::vector<rgy_vob_entry_t> entries;
    if (!vdw_core_ok(status, rgy_list_vob_tags(nullptr, &entries), VDW_LIB_GET_VOB_TAGS_FAILED,
                     "/"))
        return;
    std::sort(entries.begin(), entries.end(),
              [](const rgy_vob_entry_t& a, const rgy_vob_entry_t& b) { return a.tag < b.tag; });
    for (const rgy_vob_entry_t& e : entries) {
        // The family is the VOB's own record; one that cannot be read is reported, and the
        // others are still listed.
        vob_t* vob = nullptr;
        tbs_status_t st = vob_open_entry(e, &vob);
        if (st != TBS_ST_OK) {
            imsg_warning("Unable to open VOB \"%s\": %s.\n", e.tag.c_str(), tbs_strerror(st));
            continue;
        }
        vobs->push_back({e.tag, SUM_Uuid(vob->family_uuid), SUM_Uuid(vob->uuid), e.is_public});
    }
}

void VDW_Vdcore::find_vob_by_tag(const char* tag, vob_t** vob, WCM_Status& status) {
    *vob = nullptr;
    const char* name = tag ? tag : "";
    tbs_status_t st = *name ? vob_open_by_tag(name, vob) : TBS_ST_NOT_FOUND;
    if (!vdw_core_ok(status, st, VDW_LIB_FIND_VOB_TAG_FAILED, name)) *vob = nullptr;
}

void VDW_Vdcore::find_vob_by_uuid(const char* uuid_text, vob_t** vob, WCM_Status& status) {
    *vob = nullptr;
    const char* text = uuid_text ? uuid_text : "";
    tbs_uuid_t uuid{};
    tbs_status_t st = tbs_uuid_from_str(text, &uuid);
    // A replica UUID first; a family UUID names its one replica here.
    if (st == TBS_ST_OK && vob_open_by_uuid(uuid, vob) != TBS_ST_OK) {
        int mtype = 0;
        vob_dbid_t dbid = 0;
        st = vob_resolve_general(("vobuuid:" + std::string(text)).c_str(), nullptr, vob, &dbid,
                                 &mtype);
    }
    if (!vdw_core_ok(status, st, VDW_LIB_FIND_VOB_BY_UUID_FAILED, text)) *vob = nullptr;
}
