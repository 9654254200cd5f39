// Temporary views of streams.
#include "facade/vdw_temporary_view.h"

#include <cstdio>
#include <random>
#include <string>

#include "facade/vdw_current_user.h"
#include "facade/vdw_vdcore.h"
#include "facade/vdw_xcm_util.h"
#include "foundation/catalogs/vdw_rpcs_catalog.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"

void create_temporary_view(VDW_Vdcore& facade, const SUM_Stream& stream, SUM_View& view,
                           WCM_Status& status) {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_AbstractRpc", "create_temporary_view");
    const std::string& storage = VDW_CurrentUser::the_instance().view_storage_dir();
    if (trace.shouldTrace(4))
        trace.writeTrace("View root storage is %s", storage.empty() ? "null" : storage.c_str());
    if (storage.empty()) {
        status.set_status(TBS_ST_ERR);
        status.format(&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_USER_NAME_REQUIRED);
        return;
    }
    SUM_Project project;
    tbs_status_t st = stream.project(&project);
    if (st != TBS_ST_OK) {
        status.set_status(st);
        return;
    }
    // "<project>.<stream>.<ten digits>": a tag of the user's that no other request takes.
    std::random_device seed;
    std::mt19937 rng(seed());
    char tag[1024];
    snprintf(tag, sizeof tag, "%s.%s.%010u", vdw_xcm_name(project).c_str(),
             vdw_xcm_name(stream).c_str(), static_cast<unsigned>(rng() % 1000000000u));
    SUM_Uuid uuid;
    facade.create_view(tag, "", "", &uuid, status, vdw_xcm_selector(stream).c_str());
    if (!status.is_ok()) {
        status.format(&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_CREATE_TEMP_VIEW_FAILED);
        return;
    }
    st = SUM_View::construct_from_uuid(uuid.uuid(), &view);
    if (st != TBS_ST_OK) status.set_status(st);
}

void get_name_resolver_view(VDW_Vdcore& facade, const SUM_Stream& stream, bool create,
                            bool& created, SUM_View& view, WCM_Status& status) {
    created = false;
    view = SUM_View();
    if (!create) return;
    if (stream.is_null()) {
        status.format(&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_CREATE_TEMP_VIEW_FAILED);
        status.set_status(TBS_ST_BAD_REQUEST);
        return;
    }
    create_temporary_view(facade, stream, view, status);
    created = status.is_ok();
}
