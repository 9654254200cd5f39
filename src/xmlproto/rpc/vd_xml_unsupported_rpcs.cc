// RPCs for kinds of object this server does not keep: access-control policies and role
// maps (objects here are protected by owner, group and mode bits). Each reads its request,
// so that a malformed one is still told apart, and answers that the operation is not
// supported; the privilege map is answered empty, since no kind of object carries an
// access-control list.
#include "foundation/catalogs/vdw_prop_catalog.h"
#include "foundation/wcm_status.h"
#include "xmlproto/resource/vd_resource.h"
#include "xmlproto/rpc/vd_xml_object_rpcs.h"

namespace {

void refuse(WCM_Status& status, const char* what) {
    status.set_status(VdResource::unsupported(what, __FILE__, __LINE__));
}

}  // namespace

void VdGetProxyTypePrivilegeMapRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc& response) {
    if (int rc = validate_rpc_version(request.get_root(), RPC_NAME, RPC_VERSION))
        return void(status().set_status(rc));
    response.push("privilege-map");
    response.pop();
}

void VdMakePolicyRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc&) {
    if (int rc = validate_rpc_version(request.get_root(), RPC_NAME, RPC_VERSION))
        return void(status().set_status(rc));
    refuse(status(), "access-control policies are not kept by this server");
}

void VdMakeRolemapRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc&) {
    if (int rc = validate_rpc_version(request.get_root(), RPC_NAME, RPC_VERSION))
        return void(status().set_status(rc));
    refuse(status(), "role maps are not kept by this server");
}

void VdApplyRolemapRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc&) {
    if (int rc = validate_rpc_version(request.get_root(), RPC_NAME, RPC_VERSION))
        return void(status().set_status(rc));
    refuse(status(), "role maps are not kept by this server");
}
