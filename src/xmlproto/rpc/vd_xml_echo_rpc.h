// VdXmlEchoRpc ("XmlEcho", version "1.0"): the connectivity test of the XML protocol. The
// one child of the request root comes back as the response document, tag, text,
// attributes and children in order; no child, no document; more than one: status 1072.
#ifndef XMLPROTO_RPC_VD_XML_ECHO_RPC_H
#define XMLPROTO_RPC_VD_XML_ECHO_RPC_H

#include "xmlproto/rpc/vd_xml_rpc.h"

class VdXmlEchoRpc : public VdXmlRpc {
public:
    static constexpr const char* NAME = "XmlEcho";
    static constexpr const char* VERSION = "1.0";

    VdXmlEchoRpc(const VDW_Request& request, VDW_Session& session, WCM_MemPool& pool,
                 WCM_Status& status, std::ostream& out, VDW_Vdcore* facade);
    static SUM_String get_name() { return NAME; }

    int validate_rpc_version(const VdXmlElem* root);
    void handle_request(VdXmlDoc& request, VdXmlStreamDoc& response) override;

private:
    static void copy(const VdXmlElem& from, VdXmlStreamDoc& to);
};

#endif
