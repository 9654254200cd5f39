// VDW_RpcMarshall: marshalling of records shared by several RPCs.
#ifndef REQUEST_VDW_RPC_MARSHALL_H
#define REQUEST_VDW_RPC_MARSHALL_H

class SUM_String;
class VDW_RpcResponse;

class VDW_RpcMarshall {
public:
    // One part named `part_name`, no content, with the baseline's items; not flushed.
    // Returns true once the response stream has failed.
    static bool sendBaselineInfo(VDW_RpcResponse* response, const char* part_name, SUM_String& name,
                                 long dbid, SUM_String& replica_uuid, int composite, int obsolete,
                                 int recommended, SUM_String& promotion_level,
                                 SUM_String& component_name, long component_dbid,
                                 SUM_String& component_replica_uuid, long created_on);
};

#endif
