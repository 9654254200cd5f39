// "RemoveAttributeRpc": takes the attribute "name" off the object "resource" names (or its
// version "version-id"). "recurse" is refused, as it is for applying.
#include <string>

#include "facade/vdw_vdcore.h"
#include "foundation/wcm_status.h"
#include "xmlproto/resource/vd_resource.h"
#include "xmlproto/rpc/vd_xml_args.h"
#include "xmlproto/rpc/vd_xml_op_family.h"
#include "xmlproto/rpc/vd_xml_op_rpcs.h"
#include "xmlproto/xml/vd_xml_doc.h"

void VdRemoveAttributeRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc&) {
    VdXmlElem* root = request.get_root();
    if (int rc = validate_rpc_version(root, RPC_NAME, RPC_VERSION))
        return void(status().set_status(rc));
    VDW_Vdcore::AttributeRequest req;
    vd_xml_take_text(root, "name", &req.attype);
    req.comment = vd_xml_take_comment(root, "comment");
    VdXmlElem* flags = root->extract_child("flags");
    if (req.attype.empty())
        return void(status().set_status(vd_xml_bad("RemoveAttributeRpc: a name is needed.")));
    if (int st = vd_xml_attribute_object(root, &req.view, &req.object))
        return void(status().set_status(st));
    if (vd_xml_flag(flags, "recurse"))
        return void(status().set_status(VD_UNSUPPORTED("attributes removed recursively")));
    facade()->remove_attribute(req, status());
}
