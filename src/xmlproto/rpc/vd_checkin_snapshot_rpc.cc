// "BulkCheckinSnapshot": see vd_checkin_dynamic_rpc.cc.
#include "foundation/wcm_status.h"
#include "xmlproto/rpc/vd_xml_op_family.h"
#include "xmlproto/rpc/vd_xml_op_rpcs.h"
#include "xmlproto/xml/vd_xml_doc.h"

void VdCheckinSnapshotRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc& response) {
    const char* matched = nullptr;
    if (int rc = validate_rpc_version(request.get_root(), RPC_NAME, RPC_VERSION,
                                      RPC_VERSION_NO_FROM, &matched))
        return void(status().set_status(rc));
    vd_xml_checkin(*this, request.get_root(), VD_XML_SNAPSHOT, matched != RPC_VERSION_NO_FROM,
                   false, "BulkCheckinSnapshotResponse", response);
}
