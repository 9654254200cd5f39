// "BindActivityRpc": binds the view "view" names to the activity "activity-selector" names.
// A view works in one activity at a time here, so binding is making it the view's current
// activity, as WorkOnRpc does.
#include "foundation/wcm_status.h"
#include "xmlproto/rpc/vd_xml_op_family.h"
#include "xmlproto/rpc/vd_xml_op_rpcs.h"
#include "xmlproto/xml/vd_xml_doc.h"

void VdBindActivityRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc&) {
    if (int rc = validate_rpc_version(request.get_root(), RPC_NAME, RPC_VERSION))
        return void(status().set_status(rc));
    vd_xml_work_on(*this, request.get_root());
}
