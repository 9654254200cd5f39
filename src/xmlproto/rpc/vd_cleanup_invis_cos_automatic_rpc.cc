// "CleanupInvisCOsAutomaticRpc": see vd_cleanup_invis_cos_rpcs.cc.
#include "foundation/wcm_status.h"
#include "xmlproto/rpc/vd_xml_object_rpcs.h"

void VdCleanupInvisCOsAutomaticRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc& response) {
    if (int rc = validate_rpc_version(request.get_root(), RPC_NAME, RPC_VERSION))
        return void(status().set_status(rc));
    vd_xml_cleanup_invisible(*this, status(), request.get_root(), &response);
}
