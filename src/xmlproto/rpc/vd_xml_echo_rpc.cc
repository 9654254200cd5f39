// VdXmlEchoRpc.
#include "xmlproto/rpc/vd_xml_echo_rpc.h"

#include "foundation/wcm_status.h"

VdXmlEchoRpc::VdXmlEchoRpc(const VDW_Request& request, VDW_Session& session, WCM_MemPool& pool,
                           WCM_Status& status, std::ostream& out, VDW_Vdcore* facade)
    : VdXmlRpc(NAME, request, session, pool, status, out, facade) {}

int VdXmlEchoRpc::validate_rpc_version(const VdXmlElem* root) {
    return VdXmlRpc::validate_rpc_version(root, NAME, VERSION);
}

void VdXmlEchoRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc& response) {
    const VdXmlElem* root = request.get_root();
    if (int rc = validate_rpc_version(root)) {
        status().set_status(rc);
        return;
    }
    const auto& children = root->get_children();
    if (children.size() > 1) {
        set_bad_request("XmlEcho: more than one element to echo");
        return;
    }
    if (children.size() == 1) copy(*children[0], response);
}

void VdXmlEchoRpc::copy(const VdXmlElem& from, VdXmlStreamDoc& to) {
    VdXmlElem* e = to.push(from.get_tag());
    e->add_value(from.get_value());
    for (const VdXmlAttr* a : from.get_attrs()) e->add_attr(a->get_name(), a->get_value());
    for (const VdXmlElem* c : from.get_children()) copy(*c, to);
    to.pop();
}
