// "SaveDirectorySnapshotRpc": see vd_save_directory_rpcs.cc.
#include "foundation/wcm_status.h"
#include "xmlproto/rpc/vd_xml_object_rpcs.h"

void VdSaveDirectorySnapshotRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc&) {
    if (int rc = validate_rpc_version(request.get_root(), RPC_NAME, RPC_VERSION))
        return void(status().set_status(rc));
    vd_xml_save_directory(*this, status(), request.get_root(), 1);
}
