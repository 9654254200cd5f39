// "ApplyAttributeRpc": gives the object "resource" names (or its version "version-id") the
// attribute "name" with "value". Attribute types keep no default value here, so "default"
// without a value is refused; so is "recurse" (attributes go on the objects named).
#include <memory>
#include <string>

#include "core/tbs/tbs.h"
#include "facade/vdw_vdcore.h"
#include "foundation/wcm_status.h"
#include "xmlproto/resource/vd_view_resources.h"
#include "xmlproto/resource/vd_vob_resources.h"
#include "xmlproto/rpc/vd_xml_args.h"
#include "xmlproto/rpc/vd_xml_op_family.h"
#include "xmlproto/rpc/vd_xml_op_rpcs.h"
#include "xmlproto/xml/vd_xml_doc.h"

int vd_xml_attribute_object(VdXmlElem* root, view_t** view, std::string* object) {
    std::string location, version;
    vd_xml_take_text(root, "resource", &location);
    vd_xml_take_text(root, "version-id", &version);
    if (location.empty()) return vd_xml_bad("Attribute: a resource is needed.");
    std::unique_ptr<VdResource> r;
    if (int st = vd_xml_resource(location, r)) return st;
    *view = nullptr;
    if (auto* in = dynamic_cast<VdViewResidentResource*>(r.get())) {
        *view = in->view();
        *object = in->vob_pname();
    } else if (auto* vr = dynamic_cast<VdVobResource*>(r.get())) {
        VdLocation l;
        if (int st = vr->get_user_friendly_location(l)) return st;
        *object = l.to_native().str();
    } else {
        return vd_xml_bad("Attribute: the resource is not a VOB object.");
    }
    if (version.empty()) return 0;
    // A version of the element named: "<pathname>@@<version id>".
    const size_t ext = object->find(TBS_VER_EXT);
    if (ext == std::string::npos && !object->empty() && (*object)[0] == '/')
        *object += TBS_VER_EXT + version;
    else if (ext != std::string::npos && ext + TBS_VER_EXT_LEN == object->size())
        *object += version;
    else
        return vd_xml_bad("Attribute: a version-id needs an element.");
    return 0;
}

void VdApplyAttributeRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc&) {
    VdXmlElem* root = request.get_root();
    if (int rc = validate_rpc_version(root, RPC_NAME, RPC_VERSION))
        return void(status().set_status(rc));
    VDW_Vdcore::AttributeRequest req;
    const bool has_value = vd_xml_take_text(root, "value", &req.value);
    vd_xml_take_text(root, "name", &req.attype);
    req.comment = vd_xml_take_comment(root, "comment");
    VdXmlElem* flags = root->extract_child("flags");
    if (req.attype.empty())
        return void(status().set_status(vd_xml_bad("ApplyAttributeRpc: a name is needed.")));
    if (int st = vd_xml_attribute_object(root, &req.view, &req.object))
        return void(status().set_status(st));
    if (vd_xml_flag(flags, "recurse"))
        return void(status().set_status(VD_UNSUPPORTED("attributes applied recursively")));
    if (!has_value)
        return void(status().set_status(vd_xml_flag(flags, "default")
                                            ? VD_UNSUPPORTED("attribute default values")
                                            : vd_xml_bad("ApplyAttributeRpc: a value is needed.")));
    req.replace = vd_xml_flag(flags, "replace");
    facade()->apply_attribute(req, status());
}
