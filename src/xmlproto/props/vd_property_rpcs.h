// The property RPCs: generic reads and writes of resource properties.
//   "ReadProperties" 2.0      properties of one resource
//   "ReadPropertiesList" 1.0  the same properties of many resources, failures per resource
//   "WriteProperties" 2.0     writes, naming the properties whose write failed
#ifndef XMLPROTO_PROPS_VD_PROPERTY_RPCS_H
#define XMLPROTO_PROPS_VD_PROPERTY_RPCS_H

#include <memory>
#include <vector>

#include "xmlproto/resource/vd_resource.h"
#include "xmlproto/rpc/vd_xml_rpc.h"

class VdReadPropertiesRpc : public VdXmlRpc {
public:
    static constexpr const char* NAME = "ReadProperties";
    static constexpr const char* VERSION = "2.0";
    VdReadPropertiesRpc(const VDW_Request& request, VDW_Session& session, WCM_MemPool& pool,
                        WCM_Status& status, std::ostream& out, VDW_Vdcore* facade);
    static SUM_String get_name() { return NAME; }
    void handle_request(VdXmlDoc& request, VdXmlStreamDoc& response) override;

private:
    std::unique_ptr<VdResource> context_;
};

class VdReadPropertiesListRpc : public VdXmlRpc {
public:
    static constexpr const char* NAME = "ReadPropertiesList";
    static constexpr const char* VERSION = "1.0";
    VdReadPropertiesListRpc(const VDW_Request& request, VDW_Session& session, WCM_MemPool& pool,
                            WCM_Status& status, std::ostream& out, VDW_Vdcore* facade);
    static SUM_String get_name() { return NAME; }
    void handle_request(VdXmlDoc& request, VdXmlStreamDoc& response) override;

private:
    void process_resource(const VdXmlElem* resource);
    void marshal_context_exception(int status, const std::string& messages);

    std::vector<const VdXmlElem*> resources_;
    std::vector<const VdXmlElem*> props_;
    std::unique_ptr<VdResource> context_;
    VdXmlStreamDoc* response_ = nullptr;
};

class VdWritePropertiesRpc : public VdXmlRpc {
public:
    static constexpr const char* NAME = "WriteProperties";
    static constexpr const char* VERSION = "2.0";
    VdWritePropertiesRpc(const VDW_Request& request, VDW_Session& session, WCM_MemPool& pool,
                         WCM_Status& status, std::ostream& out, VDW_Vdcore* facade);
    static SUM_String get_name() { return NAME; }
    void handle_request(VdXmlDoc& request, VdXmlStreamDoc& response) override;
};

// Builds the resource a request element names; a failure's status is returned and the
// core's messages left in `messages` (may be null).
int vd_resource_from_elem(const VdXmlElem* elem, std::unique_ptr<VdResource>& out,
                          std::string* messages);

#endif
