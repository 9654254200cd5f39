// RPCs for kinds of object this server does not keep: composite baselines (a baseline here
// covers one component). Each reads its request, so that a malformed one is still told
// apart, and answers that the operation is not supported.
#include "foundation/catalogs/vdw_prop_catalog.h"
#include "foundation/wcm_status.h"
#include "xmlproto/resource/vd_resource.h"
#include "xmlproto/rpc/vd_xml_object_rpcs.h"

namespace {

void refuse(WCM_Status& status, const char* what) {
    status.set_status(VdResource::unsupported(what, __FILE__, __LINE__));
}

}  // namespace

void VdEditBaselineDepsRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc&) {
    if (int rc = validate_rpc_version(request.get_root(), RPC_NAME, RPC_VERSION))
        return void(status().set_status(rc));
    refuse(status(), "composite baselines are not kept by this server");
}
