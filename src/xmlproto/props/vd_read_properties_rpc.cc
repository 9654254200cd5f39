#include <string>

#include "core/sum/imsg_redirector.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "xmlproto/props/vd_prop.h"
#include "xmlproto/props/vd_property_rpcs.h"
#include "xmlproto/rpc/xml_tag_id.h"

int vd_resource_from_elem(const VdXmlElem* elem, std::unique_ptr<VdResource>& out,
                          std::string* messages) {
    SUM_ImsgRedirector capture;
    int st = VdResource::construct_from_location(VdLocation(elem->get_value()), out);
    if (messages) *messages = capture.text();
    if (st && !messages && !capture.text().empty()) {
        // Nobody takes the messages here: they go to the caller's own channel.
        const std::string text = capture.text();
        imsg_print(IMSG_ERROR, text.c_str(), static_cast<int>(text.size()));
    }
    return st;
}

VdReadPropertiesRpc::VdReadPropertiesRpc(const VDW_Request& request, VDW_Session& session,
                                         WCM_MemPool& pool, WCM_Status& status, std::ostream& out,
                                         VDW_Vdcore* facade)
    : VdXmlRpc(NAME, request, session, pool, status, out, facade) {}

void VdReadPropertiesRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc& response) {
    VDW_Trace trace(QLMX_COMPONENT, "VdReadPropertiesRpc", "handle_request");
    VdXmlElem* root = request.get_root();
    if (int rc = validate_rpc_version(root, NAME, VERSION)) {
        status().set_status(rc);
        return;
    }
    VdXmlElem* res_elem = root->extract_child(XmlTagId::RESOURCE);
    if (!res_elem || res_elem->get_value().is_empty()) {
        set_bad_request("ReadProperties: no resource");
        return;
    }
    std::unique_ptr<VdResource> resource;
    if (int st = vd_resource_from_elem(res_elem, resource, nullptr)) {
        status().set_status(st);
        return;
    }
    if (VdXmlElem* ctx = root->extract_child(XmlTagId::CONTEXT_RESOURCE)) {
        if (int st = vd_resource_from_elem(ctx, context_, nullptr)) {
            status().set_status(st);
            return;
        }
    }
    response.push(NAME);
    if (int st = resource->marshal(response)) {
        status().set_status(st);
        return;
    }
    while (VdXmlElem* p = root->extract_child(XmlTagId::PROPERTY)) {
        VdNestedProp prop;
        if (int st = VdNestedProp::construct_from_xml(p, prop)) {
            status().set_status(st);
            return;
        }
        trace.writeTrace(VDW_Trace::TRACE_LEVEL_2, "property %s", prop.name().c_str());
        VdNestedPropResponse r(resource.get(), prop, context_.get(), &response);
        if (int st = r.read()) {
            status().set_status(st);
            return;
        }
    }
    if (!root->get_children().empty()) {
        set_bad_request("ReadProperties: unexpected request element");
        return;
    }
    response.pop();
}
