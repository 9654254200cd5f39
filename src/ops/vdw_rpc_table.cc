// The factory table of the RPC handler classes: every web and XML RPC name the framework
// serves, compared in this order, exactly. Rows are grouped by family in comments but
// keep the factory's order; each handler class adds its row when it exists.
#include <cstddef>

#include "ops/diag/vdw_compute_primes_rpc.h"
#include "ops/diag/vdw_force_exit_rpc.h"
#include "ops/diag/vdw_sleep_rpc.h"
#include "ops/diag/vdw_timeout_randomly_rpc.h"
#include "ops/interaction/vdw_interaction_response_rpc.h"
#include "ops/login/vdw_login_rpc.h"
#include "ops/repo/vdw_get_version_separator_rpc.h"
#include "request/vdw_abstract_rpc.h"

namespace {

const VDW_RpcFactoryRow kFactory[] = {
    {"VDW_Vdcore::compute_primes_rpc", vdw_rpc_create<VDW_ComputePrimesRpc>},               // diag
    {"VDW_Vdcore::force_exit_rpc", vdw_rpc_create<VDW_ForceExitRpc>},                       // diag
    {"VDW_Vdcore::get_version_separator_rpc", vdw_rpc_create<VDW_GetVersionSeparatorRpc>},  // repo
    {"VDW_Vdcore::interaction_response_rpc",
     vdw_rpc_create<VDW_InteractionResponseRpc>},                                  // interaction
    {"VDW_Vdcore::login_rpc", vdw_rpc_create<VDW_LoginRpc>},                       // login
    {"VDW_Vdcore::sleep_rpc", vdw_rpc_create<VDW_SleepRpc>},                       // diag
    {"VDW_Vdcore::timeout_randomly_rpc", vdw_rpc_create<VDW_TimeoutRandomlyRpc>},  // diag
};

}  // namespace

const VDW_RpcFactoryRow* vdw_rpc_factory_table(size_t& count) {
    count = sizeof kFactory / sizeof kFactory[0];
    return kFactory;
}
