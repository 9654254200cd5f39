// "CleanupInvisCOs{Dynamic,Snapshot,Automatic}Rpc": the checkouts of an activity
// ("activity", a selector) made in a view ("view", a location) that the view no longer sees
// are cancelled. The automatic variant answers "invalid-checkouts" with one "element" per
// cancelled checkout (its VOB pathname).
#include <string>
#include <vector>

#include "core/cmd/cmd_xcm.h"
#include "core/imsg/imsg.h"
#include "core/vob/xcm.h"
#include "facade/vdw_xcm_util.h"
#include "foundation/wcm_status.h"
#include "xmlproto/resource/vd_view_resources.h"
#include "xmlproto/resource/vd_vob_resources.h"
#include "xmlproto/rpc/vd_xml_args.h"
#include "xmlproto/rpc/vd_xml_object_rpcs.h"

// Runs the cleanup for `rpc`; `answer` (may be null) is the response the automatic
// variant writes.
void vd_xml_cleanup_invisible(VdXmlRpc& rpc, WCM_Status& status, VdXmlElem* root,
                              VdXmlStreamDoc* answer) {
    std::string view_loc, act_loc;
    if (!vd_xml_take_text(root, "view", &view_loc) ||
        !vd_xml_take_text(root, "activity", &act_loc) || view_loc.empty() || act_loc.empty()) {
        status.set_status(1072);
        imsg_printf(IMSG_ERROR, "A view and an activity are needed.\n");
        return;
    }
    std::unique_ptr<VdResource> act;
    view_t* view = nullptr;
    int st = vd_xml_view(view_loc, &view);
    if (!st) st = vd_xml_resource(act_loc, act);
    if (st) {
        status.set_status(st);
        return;
    }
    if (act->get_type() != VdResource::ACTIVITY) {
        status.set_status(1072);
        imsg_printf(IMSG_ERROR, "\"%s\" is no view or \"%s\" no activity.\n", view_loc.c_str(),
                    act_loc.c_str());
        return;
    }
    const auto* a = static_cast<const VdVobResource*>(act.get());
    std::vector<cmd_cs_entry_t> cs;
    if ((st = cmd_activity_change_set(a->vob(), a->dbid(), &cs))) {
        status.set_status(st);
        return;
    }
    if (answer) answer->push("invalid-checkouts");
    std::string failed;
    st = vdw_xcm_cleanup_invisible(
        view, cs, {},
        [answer](const std::string& pname) {
            if (answer) {
                VdXmlElem* e = answer->push("element");
                e->add_value(pname);
                answer->pop();
            }
            return true;
        },
        &failed);
    if (answer) answer->pop();
    if (st) {
        imsg_printf(IMSG_ERROR, "Unable to cancel the checkout of \"%s\".\n", failed.c_str());
        status.set_status(st);
    }
    (void)rpc;
}

void VdCleanupInvisCOsDynamicRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc&) {
    if (int rc = validate_rpc_version(request.get_root(), RPC_NAME, RPC_VERSION))
        return void(status().set_status(rc));
    vd_xml_cleanup_invisible(*this, status(), request.get_root(), nullptr);
}
