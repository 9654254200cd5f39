// VDW_Vdcore: contents and history: a version's bytes fetched into a temporary file, and
// the events of an object.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <string>

#include "core/tbs/tbs.h"
#include "core/util/fileutl.h"
#include "core/vob/vob_obj.h"
#include "facade/vdw_vdcore.h"
#include "facade/vdw_vdcore_report.h"
#include "foundation/wcm_status.h"

namespace {

// The temporary files of fetched contents; the site's sweep knows the prefix.
const char kCleartextPrefix[] = "qlmx_cltxt_";

}  // namespace

void VDW_Vdcore::get_cleartext(vob_t* vob, vob_dbid_t version, char* path, WCM_Status& status) {
    path[0] = '\0';
    // A directory version has entries, not contents.
    vob_version_info_t v;
    tbs_status_t st = vob_ver_get_info(vob, version, &v);
    if (st == TBS_ST_OK && v.is_dir) st = TBS_ST_IS_DIRECTORY;
    if (st != TBS_ST_OK) {
        std::string name;
        WCM_Status ignored;
        get_obj_name(vob, version, &name, ignored);
        vdw_core_ok(status, st, VDW_LIB_GET_CLEARTEXT_FAILED, name.c_str());
        return;
    }
    const char* dir = fileutl_get_tmpdir();
    // The name is reserved here; the core writes the contents aside and renames them over it.
    int fd = fileutl_create_temp(dir, kCleartextPrefix, 0600, path, PNAME_SIZE);
    if (fd < 0) {
        vdw_core_ok(status, tbs_errno2status(errno ? errno : EIO), VDW_LIB_CREATE_TEMP_FILE_FAILED,
                    dir);
        path[0] = '\0';
        return;
    }
    close(fd);
    st = vob_ver_get_cleartext(vob, version, path);
    if (st == TBS_ST_OK) return;
    free_cleartext(path);
    path[0] = '\0';
    std::string name;
    WCM_Status ignored;
    get_obj_name(vob, version, &name, ignored);
    vdw_core_ok(status, st, VDW_LIB_GET_CLEARTEXT_FAILED, name.c_str());
}

void VDW_Vdcore::free_cleartext(const char* path) {
    if (path && *path) unlink(path);
}

void VDW_Vdcore::get_history(const vob_resolved_t& obj, std::vector<HistoryEvent>* events,
                             WCM_Status& status) {
    events->clear();
    vob_t* vob = obj.vob;
    // An element's history takes in its branches and versions, and a version's or branch's
    // is its element's.
    const bool in_element = obj.element != 0 && obj.mtype != VOB_MTYPE_SLINK;
    const vob_dbid_t subject = in_element ? obj.element : obj.dbid;
    std::string subject_name;
    get_obj_name(vob, subject, &subject_name, status);
    if (!status.is_ok()) return;
    std::vector<vob_event_info_t> raw;
    if (!vdw_core_ok(status, vob_obj_get_events(vob, subject, &raw), VDW_LIB_GET_HISTORY_FAILED,
                     subject_name.c_str()))
        return;
    std::sort(raw.begin(), raw.end(),
              [](const vob_event_info_t& a, const vob_event_info_t& b) { return a.id > b.id; });
    for (const vob_event_info_t& e : raw) {
        HistoryEvent h{e.at, e.kind, e.user, e.host, std::string(), std::string(), e.comment};
        int mtype = 0;
        vob_version_info_t v;
        const bool is_version = vob_obj_get_mtypes(vob, e.obj, &mtype) == TBS_ST_OK &&
                                (mtype == VOB_MTYPE_VERSION || mtype == VOB_MTYPE_DIR_VERSION) &&
                                vob_ver_get_info(vob, e.obj, &v) == TBS_ST_OK;
        if (is_version && vob_ver_get_idstr(vob, e.obj, &h.version) != TBS_ST_OK) h.version.clear();
        if (is_version && in_element && v.element == subject && !h.version.empty()) {
            // The element's own versions, without looking its pathname up again.
            h.object = subject_name + TBS_VER_EXT + h.version;
        } else {
            // An object since removed (a type, say) is named by its dbid.
            WCM_Status ignored;
            get_obj_name(vob, e.obj, &h.object, ignored);
            if (h.object.empty())
                h.object =
                    "dbid:" + std::to_string(e.obj) + "@" + vob_selector(vob, VOB_VOBSEL_TAG);
        }
        events->push_back(std::move(h));
    }
}
