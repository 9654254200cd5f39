#include <string>

#include "core/sum/imsg_redirector.h"
#include "foundation/wcm_status.h"
#include "xmlproto/props/vd_prop.h"
#include "xmlproto/props/vd_property_rpcs.h"
#include "xmlproto/rpc/xml_tag_id.h"

VdReadPropertiesListRpc::VdReadPropertiesListRpc(const VDW_Request& request, VDW_Session& session,
                                                 WCM_MemPool& pool, WCM_Status& status,
                                                 std::ostream& out, VDW_Vdcore* facade)
    : VdXmlRpc(NAME, request, session, pool, status, out, facade) {}

void VdReadPropertiesListRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc& response) {
    VdXmlElem* root = request.get_root();
    if (int rc = validate_rpc_version(root, NAME, VERSION)) {
        status().set_status(rc);
        return;
    }
    response_ = &response;
    while (const VdXmlElem* r = root->extract_child(XmlTagId::RESOURCE)) resources_.push_back(r);
    if (resources_.empty()) {
        set_bad_request("ReadPropertiesList: no resource");
        return;
    }
    while (const VdXmlElem* p = root->extract_child(XmlTagId::PROPERTY)) props_.push_back(p);
    response.push(NAME);
    if (const VdXmlElem* ctx = root->extract_child(XmlTagId::CONTEXT_RESOURCE)) {
        std::string messages;
        if (int st = vd_resource_from_elem(ctx, context_, &messages)) {
            marshal_context_exception(st, messages);
            response.pop();
            return;
        }
    }
    if (!root->get_children().empty()) {
        set_bad_request("ReadPropertiesList: unexpected request element");
        return;
    }
    for (const VdXmlElem* r : resources_) process_resource(r);
    response.pop();
}

void VdReadPropertiesListRpc::marshal_context_exception(int status, const std::string& messages) {
    for (const VdXmlElem* r : resources_) {
        VdXmlElem* e = response_->push(XmlTagId::RESOURCE);
        e->add_attr(XmlTagId::RESOURCE_EXCEPTION, "true");
        e->add_attr(XmlTagId::RESOURCE_INDEX, r->get_attr(XmlTagId::RESOURCE_INDEX));
        e->add_attr(XmlTagId::RESOURCE_STATUS_CODE, std::to_string(status));
        if (!messages.empty()) e->add_value(messages);
        response_->pop();
    }
}

void VdReadPropertiesListRpc::process_resource(const VdXmlElem* elem) {
    const SUM_String index = elem->get_attr(XmlTagId::RESOURCE_INDEX);
    std::unique_ptr<VdResource> resource;
    std::string messages;
    int st = vd_resource_from_elem(elem, resource, &messages);
    if (!st) st = resource->marshal(*response_, index);
    if (st) {
        VdXmlElem* e = response_->push(XmlTagId::RESOURCE);
        e->add_attr(XmlTagId::RESOURCE_EXCEPTION, "true");
        e->add_attr(XmlTagId::RESOURCE_INDEX, index);
        e->add_attr(XmlTagId::RESOURCE_STATUS_CODE, std::to_string(st));
        if (!messages.empty()) e->add_value(messages);
        response_->pop();
        return;
    }
    for (const VdXmlElem* p : props_) {
        VdNestedProp prop;
        SUM_ImsgRedirector capture;
        if (int pst = VdNestedProp::construct_from_xml(p, prop)) {
            VdXmlElem* e = response_->push(XmlTagId::PROPERTY);
            e->add_attr(XmlTagId::PROPERTY_NAME, p->get_attr(XmlTagId::PROPERTY_NAME));
            e->add_attr(XmlTagId::PROPERTY_EXCEPTION, "true");
            (void)pst;
            if (!capture.text().empty()) e->add_value(capture.text());
            response_->pop();
            continue;
        }
        VdNestedPropResponse r(resource.get(), prop, context_.get(), response_);
        r.read();
    }
}
