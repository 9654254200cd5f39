// "WorkOnRpc": the activity "activity-selector" names becomes the current activity of the
// view "view" names, so that its next checkouts join the activity's change set.
#include <string>

#include "core/view/view.h"
#include "facade/vdw_vdcore.h"
#include "foundation/wcm_status.h"
#include "xmlproto/rpc/vd_xml_op_family.h"
#include "xmlproto/rpc/vd_xml_op_rpcs.h"
#include "xmlproto/xml/vd_xml_doc.h"

void vd_xml_work_on(VdXmlRpc& rpc, VdXmlElem* root) {
    view_t* view = nullptr;
    std::string activity;
    int st = ConstructFromXmlUtil::construct_view_from_xml(root, "view", &view);
    if (!st)
        st = ConstructFromXmlUtil::construct_commonact_from_xml(root, "activity-selector", view,
                                                                &activity);
    if (st) return void(rpc.status().set_status(st));
    rpc.facade()->set_current_activity_by_view_tag(view->tag.c_str(), activity.c_str(),
                                                   rpc.status());
}

void VdWorkOnRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc&) {
    if (int rc = validate_rpc_version(request.get_root(), RPC_NAME, RPC_VERSION))
        return void(status().set_status(rc));
    vd_xml_work_on(*this, request.get_root());
}
