// "RequestMastershipRpc": asks that this replica master an element's branch ("Element", a
// location; "BranchType", a branch type's name; "AllBranchInstances" "true" for every branch
// of that type in the VOB "VobRoot") or a branch type. Every object here is mastered by the
// one replica of its VOB, so nothing moves, preview ("PreviewOnly") or not; what the request
// names must exist, else the lookup's status.
#include <string>

#include "core/vob/vob_obj.h"
#include "foundation/wcm_status.h"
#include "xmlproto/resource/vd_vob_resources.h"
#include "xmlproto/rpc/vd_xml_args.h"
#include "xmlproto/rpc/vd_xml_object_rpcs.h"

void VdRequestMastershipRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc&) {
    VdXmlElem* root = request.get_root();
    if (int rc = validate_rpc_version(root, RPC_NAME, RPC_VERSION))
        return void(status().set_status(rc));
    std::string element, brtype, vob_root;
    vd_xml_take_text(root, "Element", &element);
    vd_xml_take_text(root, "BranchType", &brtype);
    vd_xml_take_text(root, "VobRoot", &vob_root);
    if (element.empty() && (brtype.empty() || vob_root.empty())) {
        set_bad_request("RequestMastershipRpc: name an element, or a branch type and its VOB");
        return;
    }
    std::unique_ptr<VdResource> r;
    int st = vd_xml_resource(element.empty() ? vob_root : element, r);
    if (!st && !brtype.empty()) {
        auto* obj = dynamic_cast<VdVobResource*>(r.get());
        vob_type_info_t t;
        st = obj ? vob_type_find(obj->vob(), VOB_MTYPE_BRTYPE, brtype.c_str(), &t) : 1072;
    }
    if (st) status().set_status(st);
}
