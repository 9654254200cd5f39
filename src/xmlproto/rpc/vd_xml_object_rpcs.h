// XML RPCs that find, compare and make objects rather than change files in a view:
//   "GetHandle" 2.0                   the resource an object selector or a path in a view names
//   "ResolvePath" 1.0                 the location of a pathname
//   "IsAncestorOfRpc" 1.0             whether one version is an ancestor of another
//   "CreateResource" 2.0              folders, projects, components, hyperlink types, views
//   "MakeProject" 1.0, "MakeBaselines" 1.0, "CompareBaselines" 1.0,
//   "CreateAutomaticViewRpc" 1.0, "SaveDirectory{,Snapshot,Automatic}Rpc"
//   "CleanupInvisCOs{Dynamic,Snapshot,Automatic}Rpc" 1.0
//   "GetProxyTypePrivilegeMap" 1.0, "RequestMastershipRpc" 1.0
//   "MakePolicyRpc" 1.0, "MakeRolemapRpc" 2.1, "ApplyRolemapRpc" 1.0, "EditBaselineDeps" 1.0
//
// Request shapes: each argument is a child of the request root whose text is its value (a
// location, a name, a comment); lists are a child holding one element per item; flags are
// "flag" children whose "name" attribute names the flag, or attributes whose value is
// "true". Each class's source says what it reads.
#ifndef XMLPROTO_RPC_VD_XML_OBJECT_RPCS_H
#define XMLPROTO_RPC_VD_XML_OBJECT_RPCS_H

#include <string>

#include "xmlproto/rpc/vd_xml_rpc.h"

#define VD_XML_RPC_CLASS(Cls, Name, Version)                                       \
    class Cls : public VdXmlRpc {                                                  \
    public:                                                                        \
        static constexpr const char* RPC_NAME = Name;                              \
        static constexpr const char* RPC_VERSION = Version;                        \
        Cls(const VDW_Request& request, VDW_Session& session, WCM_MemPool& pool,   \
            WCM_Status& status, std::ostream& out, VDW_Vdcore* facade)             \
            : VdXmlRpc(RPC_NAME, request, session, pool, status, out, facade) {}   \
        static SUM_String get_name() { return RPC_NAME; }                          \
        void handle_request(VdXmlDoc& request, VdXmlStreamDoc& response) override; \
    }

VD_XML_RPC_CLASS(VDW_GetHandleRpc, "GetHandle", "2.0");
VD_XML_RPC_CLASS(VdResolvePathRpc, "ResolvePath", "1.0");
VD_XML_RPC_CLASS(VdIsAncestorOfRpc, "IsAncestorOfRpc", "1.0");
VD_XML_RPC_CLASS(VdCreateResourceRpc, "CreateResource", "2.0");
VD_XML_RPC_CLASS(VdMakeProjectRpc, "MakeProject", "1.0");
VD_XML_RPC_CLASS(VdMakeBaselinesRpc, "MakeBaselines", "1.0");
VD_XML_RPC_CLASS(VdCreateAutomaticViewRpc, "CreateAutomaticViewRpc", "1.0");
VD_XML_RPC_CLASS(VdCleanupInvisCOsDynamicRpc, "CleanupInvisCOsDynamicRpc", "1.0");
VD_XML_RPC_CLASS(VdCleanupInvisCOsSnapshotRpc, "CleanupInvisCOsSnapshotRpc", "1.0");
VD_XML_RPC_CLASS(VdCleanupInvisCOsAutomaticRpc, "CleanupInvisCOsAutomaticRpc", "1.0");
VD_XML_RPC_CLASS(VdGetProxyTypePrivilegeMapRpc, "GetProxyTypePrivilegeMap", "1.0");
VD_XML_RPC_CLASS(VdRequestMastershipRpc, "RequestMastershipRpc", "1.0");
VD_XML_RPC_CLASS(VdMakePolicyRpc, "MakePolicyRpc", "1.0");
VD_XML_RPC_CLASS(VdMakeRolemapRpc, "MakeRolemapRpc", "2.1");
VD_XML_RPC_CLASS(VdApplyRolemapRpc, "ApplyRolemapRpc", "1.0");
VD_XML_RPC_CLASS(VdEditBaselineDepsRpc, "EditBaselineDeps", "1.0");
VD_XML_RPC_CLASS(VdCompareBaselinesRpc, "CompareBaselines", "1.0");
VD_XML_RPC_CLASS(VdSaveDirectoryDynamicRpc, "SaveDirectoryRpc", "2.0");
VD_XML_RPC_CLASS(VdSaveDirectorySnapshotRpc, "SaveDirectorySnapshotRpc", "1.0");
VD_XML_RPC_CLASS(VdSaveDirectoryAutomaticRpc, "SaveDirectoryAutomaticRpc", "1.0");

// The cleanup the three CleanupInvisCOs RPCs share; `answer` (may be null) receives the
// automatic variant's "invalid-checkouts".
void vd_xml_cleanup_invisible(VdXmlRpc& rpc, WCM_Status& status, VdXmlElem* root,
                              VdXmlStreamDoc* answer);

// The save the three SaveDirectory RPCs share; `view_kind` is the kind of view they work in
// (0 dynamic, 1 snapshot or web, 3 automatic).
void vd_xml_save_directory(VdXmlRpc& rpc, WCM_Status& status, VdXmlElem* root, int view_kind);

#endif
