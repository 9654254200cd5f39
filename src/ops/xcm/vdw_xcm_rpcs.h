// The change-management RPCs: streams (made, their integration stream and deliver target,
// the user's views on them), project VOBs, baselines (made, recommended, listed, naming
// and promotion levels), activities (made, current, finished, moved, their checkouts and
// undelivered work) and the contents of folders, projects and streams. Objects are named
// by their selectors ("stream:dev@vob:/vobs/pvob"); records carry the project VOB's replica
// UUID and the object's database id, which name it as well.
#ifndef OPS_XCM_VDW_XCM_RPCS_H
#define OPS_XCM_VDW_XCM_RPCS_H

#include "request/vdw_abstract_rpc.h"

class VDW_MkstreamRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

class VDW_GetIntStreamRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

class VDW_GetStreamDefaultDeliveryTargetRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

class VDW_OwnedViewsOnStreamRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

class VDW_EnumeratePvobsRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

class VDW_MakeBaselineRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

class VDW_RecommendBaselineRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

class VDW_EnumerateBaselinesRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

class VDW_GetBaselineNamingTemplateRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

class VDW_GetPromotionLevelsRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

class VDW_GetActsWithUndeliveredWorkRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

class VDW_GetActivityCheckoutsRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

class VDW_CleanupInvisibleActivityCOsRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

class VDW_MoveVersionToActivityRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

class VDW_CreateActivityRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

class VDW_FinishActivityRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

class VDW_GetCurrentActivityRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

class VDW_SetCurrentActivityRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

class VDW_GetMyActivitiesRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

class VDW_EnumerateXcmContainerContentsRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

// The change-request databases of a view's project, and logins to them.
class VDW_GetTnUserDatabaseRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

class VDW_SetTnCredentialsRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

#endif
