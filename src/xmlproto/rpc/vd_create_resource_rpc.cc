// "CreateResource": makes a folder, project, component, hyperlink type or view. The
// "resource" element names the new object by its location, its "resource-type" attribute
// the kind; each following "prop-name" element gives one setting: its "name" attribute the
// property (with or without the property namespace), its text the value ("value-is-null"
// "true": none). Settings read: "comment", "parent-folder", "project-folder",
// "modifiable-component-list" (selectors separated by commas or lines),
// "baseline-naming-template", "root-directory-element", "config-spec". Answers the new
// object's "resource" reference.
#include <map>
#include <string>

#include "foundation/wcm_status.h"
#include "xmlproto/props/vd_prop.h"
#include "xmlproto/resource/vd_resource.h"
#include "xmlproto/rpc/vd_xml_object_rpcs.h"
#include "xmlproto/rpc/xml_tag_id.h"

void VdCreateResourceRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc& response) {
    VdXmlElem* root = request.get_root();
    if (int rc = validate_rpc_version(root, RPC_NAME, RPC_VERSION))
        return void(status().set_status(rc));
    VdXmlElem* res = root->extract_child(XmlTagId::RESOURCE);
    if (!res || res->get_value().is_empty() || !res->has_attr(XmlTagId::RESOURCE_TYPE)) {
        set_bad_request("CreateResource: the resource and its type are needed");
        return;
    }
    VdResource::Type type;
    if (VdResource::name_to_type(res->get_attr(XmlTagId::RESOURCE_TYPE), type) != 0) {
        set_bad_request("CreateResource: unknown resource type");
        return;
    }
    std::map<std::string, std::string> props;
    static const std::string ns = VD_PROP_NS;
    while (VdXmlElem* p = root->extract_child("prop-name")) {
        std::string name = p->get_attr("name").str();
        if (name.compare(0, ns.size(), ns) == 0) name.erase(0, ns.size());
        if (name.empty()) {
            set_bad_request("CreateResource: a setting without a name");
            return;
        }
        props[name] = p->get_attr("value-is-null").str() == "true" ? "" : p->get_value().str();
    }
    if (!root->get_children().empty()) {
        set_bad_request("CreateResource: unexpected request element");
        return;
    }
    std::unique_ptr<VdResource> made;
    int st = VdResource::create(type, VdLocation(res->get_value()), props, facade(), made);
    if (!st) st = made->marshal(response);
    if (st) status().set_status(st);
}
