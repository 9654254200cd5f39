// Shared record marshalling.
#include "request/vdw_rpc_marshall.h"

#include "core/sum/sum_string.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_rpc_response.h"

bool VDW_RpcMarshall::sendBaselineInfo(VDW_RpcResponse* response, const char* part_name,
                                       SUM_String& name, long dbid, SUM_String& replica_uuid,
                                       int composite, int obsolete, int recommended,
                                       SUM_String& promotion_level, SUM_String& component_name,
                                       long component_dbid, SUM_String& component_replica_uuid,
                                       long created_on) {
    VDW_MultipartData part(part_name, nullptr, nullptr, nullptr, 0);
    part.add_part_item("BaselineName", name)
        .add_part_item("BaselineDbid", dbid)
        .add_part_item("BaselineRepUuid", replica_uuid)
        .add_part_item("IsComposite", composite ? "true" : "false")
        .add_part_item("IsObsolete", obsolete ? "true" : "false")
        .add_part_item("IsRecommended", recommended ? "true" : "false")
        .add_part_item("PromotionLevel", promotion_level)
        .add_part_item("ComponentName", component_name)
        .add_part_item("ComponentDbid", component_dbid)
        .add_part_item("ComponentRepUuid", component_replica_uuid)
        .add_part_item("CreatedOn", created_on);
    return response->add_part(part, false);
}
