// The property RPCs: read and change the properties of VOBs, views, elements, versions,
// streams, baselines, activities and label types. A get RPC names the object and a mask of
// categories ("WhichCategories") and answers one group of parts per category, in the
// order each kind tests them; the first category that fails ends the answer. A set RPC
// names the object, masks of what changes, and the new values. Shared parts and encodings:
// ops/props/vdw_props.h.
#ifndef OPS_PROPS_VDW_PROPERTY_RPCS_H
#define OPS_PROPS_VDW_PROPERTY_RPCS_H

#include "request/vdw_abstract_rpc.h"

class VDW_GetVobPropertiesRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

class VDW_SetVobPropertiesRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

class VDW_GetViewPropertiesRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

class VDW_GetElementPropertiesRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

class VDW_SetElementPropertiesRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

class VDW_GetVersionPropertiesRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

class VDW_SetVersionPropertiesRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

class VDW_GetStreamPropertiesRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

class VDW_SetStreamPropertiesRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

class VDW_GetBaselinePropertiesRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

class VDW_SetBaselinePropertiesRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

class VDW_GetActivityPropertiesRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

class VDW_SetActivityPropertiesRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

class VDW_GetLabeltypePropertiesRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

class VDW_GetVDPropertiesRpc : public VDW_AbstractRpc {
public:
    using VDW_AbstractRpc::VDW_AbstractRpc;
    void send_response_body() override;
};

#endif
