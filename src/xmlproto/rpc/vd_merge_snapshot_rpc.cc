// "MergeSnapshotRpc": see vd_merge_dynamic_rpc.cc.
#include "foundation/wcm_status.h"
#include "xmlproto/rpc/vd_xml_op_family.h"
#include "xmlproto/rpc/vd_xml_op_rpcs.h"
#include "xmlproto/xml/vd_xml_doc.h"

void VdMergeSnapshotRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc& response) {
    if (int rc = validate_rpc_version(request.get_root(), RPC_NAME, RPC_VERSION))
        return void(status().set_status(rc));
    vd_xml_merge(*this, request.get_root(), VD_XML_SNAPSHOT, &response);
}
