#include "ops/checkout/vdw_co_act.h"

#include "foundation/vdw_trace.h"

void VDW_CoAct::install(cmd_checkout_args_t* co) {
    co->nonlatest = default_;
    co->callback = &VDW_CoAct::callback;
    co->callback_data = this;
}

int VDW_CoAct::decide(const char*, vob_dbid_t, vob_dbid_t) {
    return default_;
}

int VDW_CoAct::callback(void* data, const char* pname, vob_dbid_t selected, vob_dbid_t latest) {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_CoAct", "callback");
    auto* self = static_cast<VDW_CoAct*>(data);
    const int decision = self->decide(pname, selected, latest);
    if (decision != CMD_NONLATEST_SELECTED && decision != CMD_NONLATEST_LATEST)
        self->nonlatest_conflict_ = true;
    if (trace.shouldTrace(2))
        trace.writeTrace("\"%s\": selected %lld, latest %lld, decision %d", pname ? pname : "",
                         static_cast<long long>(selected), static_cast<long long>(latest),
                         decision);
    return decision;
}
