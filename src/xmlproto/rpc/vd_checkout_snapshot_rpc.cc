// "BulkCheckoutSnapshot": see vd_checkout_dynamic_rpc.cc. "preserve-hijack-contents" needs
// nothing of the server: the client keeps its hijacked copy as the checkout's contents.
#include "foundation/wcm_status.h"
#include "xmlproto/rpc/vd_xml_op_family.h"
#include "xmlproto/rpc/vd_xml_op_rpcs.h"

void VdCheckoutSnapshotRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc&) {
    if (int rc = validate_rpc_version(request.get_root(), RPC_NAME, RPC_VERSION))
        return void(status().set_status(rc));
    vd_xml_bulk_checkout(*this, request.get_root(), VD_XML_SNAPSHOT);
}
