#include <string>
#include <vector>

#include "foundation/wcm_status.h"
#include "xmlproto/props/vd_prop.h"
#include "xmlproto/props/vd_property_rpcs.h"
#include "xmlproto/rpc/xml_tag_id.h"

VdWritePropertiesRpc::VdWritePropertiesRpc(const VDW_Request& request, VDW_Session& session,
                                           WCM_MemPool& pool, WCM_Status& status, std::ostream& out,
                                           VDW_Vdcore* facade)
    : VdXmlRpc(NAME, request, session, pool, status, out, facade) {}

namespace {

// The texts of `elem`'s children, each of which must be tagged `tag` (or one of `tag2`).
bool child_texts(const VdXmlElem* elem, const char* tag, std::vector<std::string>* out,
                 const char* tag2 = nullptr, std::vector<std::string>* out2 = nullptr) {
    for (const VdXmlElem* c : elem->get_children()) {
        const std::string t = c->get_tag().str();
        if (t == tag)
            out->push_back(c->get_value().str());
        else if (tag2 && t == tag2)
            out2->push_back(c->get_value().str());
        else
            return false;
    }
    return true;
}

}  // namespace

void VdWritePropertiesRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc& response) {
    VdXmlElem* root = request.get_root();
    if (int rc = validate_rpc_version(root, NAME, VERSION)) {
        status().set_status(rc);
        return;
    }
    const auto& children = root->get_children();
    if (children.empty() || children[0]->get_tag().str() != XmlTagId::RESOURCE ||
        children[0]->get_value().is_empty()) {
        set_bad_request("WriteProperties: the first element must name the resource");
        return;
    }
    std::unique_ptr<VdResource> resource;
    if (int st = vd_resource_from_elem(children[0], resource, nullptr)) {
        status().set_status(st);
        return;
    }
    response.push("failed-properties-list");
    int last_failure = 0;
    for (size_t i = 1; i < children.size(); ++i) {
        const VdXmlElem* p = children[i];
        if (p->get_tag().str() != XmlTagId::PROPERTY || !p->has_attr(XmlTagId::PROPERTY_NAME) ||
            !p->has_attr(XmlTagId::PROPERTY_TYPE)) {
            set_bad_request("WriteProperties: a property needs prop-name and prop-type");
            return;
        }
        const SUM_String name = p->get_attr(XmlTagId::PROPERTY_NAME);
        const std::string kind = p->get_attr(XmlTagId::PROPERTY_TYPE).str();
        std::unique_ptr<PropVal> value;
        if (kind == "NULL_VALUE") {
            value.reset(new PropVal(name));
        } else if (kind == "SINGLE_VALUE") {
            value.reset(new PropVal(name, p->get_value()));
        } else if (kind == "COLLECTION") {
            std::vector<std::string> items;
            if (!child_texts(p, "collection-item", &items)) {
                set_bad_request(
                    "WriteProperties: a collection holds collection-item elements only");
                return;
            }
            value.reset(new PropVal(name, std::move(items)));
        } else if (kind == "COLLECTION_MODIFIER") {
            std::vector<std::string> add, rm;
            if (!child_texts(p, "collection-add", &add, "collection-rm", &rm)) {
                set_bad_request(
                    "WriteProperties: a modifier holds collection-add and collection-rm");
                return;
            }
            value.reset(new PropVal(name, std::move(add), std::move(rm)));
        } else if (kind == "XML") {
            value.reset(new PropVal(name, p));
        } else {
            set_bad_request("WriteProperties: unknown prop-type");
            return;
        }
        if (int st = resource->write_prop(*value)) {
            last_failure = st;
            VdXmlElem* e = response.push(XmlTagId::PROPERTY_NAME);
            e->add_value(name);
            response.pop();
        }
    }
    response.pop();
    if (last_failure) status().set_status(last_failure);
}
