// The factory table of the RPC handler classes: every web and XML RPC name the framework
// serves, compared in this order, exactly. Rows are grouped by family in comments but
// keep the factory's order; each handler class adds its row when it exists.
#include <cstddef>

#include "ops/checkout/vdw_checkout_rpcs.h"
#include "ops/command/vdw_vdtool_rpc.h"
#include "ops/compare/vdw_compare_rpc.h"
#include "ops/compare/vdw_merge_rpc.h"
#include "ops/compare/vdw_save_dir_merge_rpc.h"
#include "ops/diag/vdw_compute_primes_rpc.h"
#include "ops/diag/vdw_force_exit_rpc.h"
#include "ops/diag/vdw_sleep_rpc.h"
#include "ops/diag/vdw_timeout_randomly_rpc.h"
#include "ops/interaction/vdw_interaction_response_rpc.h"
#include "ops/login/vdw_login_rpc.h"
#include "ops/props/vdw_property_rpcs.h"
#include "ops/repo/vdw_apply_attribute_rpc.h"
#include "ops/repo/vdw_apply_label_rpc.h"
#include "ops/repo/vdw_enumerate_types_rpc.h"
#include "ops/repo/vdw_enumerate_vobs_rpc.h"
#include "ops/repo/vdw_find_merge_candidates_rpc.h"
#include "ops/repo/vdw_get_base_version_rpc.h"
#include "ops/repo/vdw_get_history_rpc.h"
#include "ops/repo/vdw_get_oid_rpc.h"
#include "ops/repo/vdw_get_vd_proj_root_rpc.h"
#include "ops/repo/vdw_get_version_separator_rpc.h"
#include "ops/repo/vdw_get_vob_family_rpc.h"
#include "ops/repo/vdw_is_type_visible_rpc.h"
#include "ops/repo/vdw_mk_branch_type_rpc.h"
#include "ops/repo/vdw_mk_label_type_rpc.h"
#include "ops/repo/vdw_read_content_rpc.h"
#include "ops/repo/vdw_remove_attribute_rpc.h"
#include "ops/repo/vdw_remove_resource_rpc.h"
#include "ops/repo/vdw_request_for_mastership_rpc.h"
#include "ops/repo/vdw_rm_metadata_type_rpc.h"
#include "ops/view/vdw_describe_files_rpc.h"
#include "ops/view/vdw_directory_listing_rpcs.h"
#include "ops/view/vdw_enumerate_views_rpc.h"
#include "ops/view/vdw_get_config_spec_rpc.h"
#include "ops/view/vdw_mkview_rpc.h"
#include "ops/view/vdw_rmview_rpc.h"
#include "ops/view/vdw_set_config_spec_rpc.h"
#include "ops/view/vdw_view_info_rpc.h"
#include "ops/xcm/vdw_integration_rpcs.h"
#include "ops/xcm/vdw_xcm_rpcs.h"
#include "request/vdw_abstract_rpc.h"
#include "webview/vdw_fetch_frozen_state_rpc.h"
#include "webview/vdw_fetch_vtree_rpc.h"
#include "webview/vdw_validate_copy_area_rpcs.h"
#include "webview/vdw_ws_small_rpcs.h"
#include "xmlproto/props/vd_property_rpcs.h"
#include "xmlproto/rpc/vd_xml_echo_rpc.h"
#include "xmlproto/rpc/vd_xml_object_rpcs.h"
#include "xmlproto/rpc/vd_xml_op_rpcs.h"

namespace {

const VDW_RpcFactoryRow kFactory[] = {
    {VdApplyAttributeRpc::RPC_NAME, vdw_rpc_create<VdApplyAttributeRpc>},                // xml
    {VdApplyLabelRpc::RPC_NAME, vdw_rpc_create<VdApplyLabelRpc>},                        // xml
    {VdApplyRolemapRpc::RPC_NAME, vdw_rpc_create<VdApplyRolemapRpc>},                    // xml
    {VdCheckinAtomicDynamicRpc::RPC_NAME, vdw_rpc_create<VdCheckinAtomicDynamicRpc>},    // xml
    {VdCheckinAtomicSnapshotRpc::RPC_NAME, vdw_rpc_create<VdCheckinAtomicSnapshotRpc>},  // xml
    {VdBindActivityRpc::RPC_NAME, vdw_rpc_create<VdBindActivityRpc>},                    // xml
    {VdCheckinDynamicRpc::RPC_NAME, vdw_rpc_create<VdCheckinDynamicRpc>},                // xml
    {VdCheckinSnapshotRpc::RPC_NAME, vdw_rpc_create<VdCheckinSnapshotRpc>},              // xml
    {VdCheckoutDynamicRpc::RPC_NAME, vdw_rpc_create<VdCheckoutDynamicRpc>},              // xml
    {VdCheckoutSnapshotRpc::RPC_NAME, vdw_rpc_create<VdCheckoutSnapshotRpc>},            // xml
    {VdMkelemDynamicRpc::RPC_NAME, vdw_rpc_create<VdMkelemDynamicRpc>},                  // xml
    {VdMkelemSnapshotRpc::RPC_NAME, vdw_rpc_create<VdMkelemSnapshotRpc>},                // xml
    {VdCleanupInvisCOsAutomaticRpc::RPC_NAME,
     vdw_rpc_create<VdCleanupInvisCOsAutomaticRpc>},                                         // xml
    {VdCleanupInvisCOsDynamicRpc::RPC_NAME, vdw_rpc_create<VdCleanupInvisCOsDynamicRpc>},    // xml
    {VdCleanupInvisCOsSnapshotRpc::RPC_NAME, vdw_rpc_create<VdCleanupInvisCOsSnapshotRpc>},  // xml
    {VdCompareBaselinesRpc::RPC_NAME, vdw_rpc_create<VdCompareBaselinesRpc>},                // xml
    {VdCreateAutomaticViewRpc::RPC_NAME, vdw_rpc_create<VdCreateAutomaticViewRpc>},          // xml
    {VdCreateResourceRpc::RPC_NAME, vdw_rpc_create<VdCreateResourceRpc>},                    // xml
    {VdEditBaselineDepsRpc::RPC_NAME, vdw_rpc_create<VdEditBaselineDepsRpc>},                // xml
    {VDW_GetHandleRpc::RPC_NAME, vdw_rpc_create<VDW_GetHandleRpc>},                          // xml
    {VdGetProxyTypePrivilegeMapRpc::RPC_NAME,
     vdw_rpc_create<VdGetProxyTypePrivilegeMapRpc>},                                       // xml
    {VdIsAncestorOfRpc::RPC_NAME, vdw_rpc_create<VdIsAncestorOfRpc>},                      // xml
    {VdMakeBaselinesRpc::RPC_NAME, vdw_rpc_create<VdMakeBaselinesRpc>},                    // xml
    {VdMakeMergeArrowRpc::RPC_NAME, vdw_rpc_create<VdMakeMergeArrowRpc>},                  // xml
    {VdMakePolicyRpc::RPC_NAME, vdw_rpc_create<VdMakePolicyRpc>},                          // xml
    {VdMakeProjectRpc::RPC_NAME, vdw_rpc_create<VdMakeProjectRpc>},                        // xml
    {VdMakeRolemapRpc::RPC_NAME, vdw_rpc_create<VdMakeRolemapRpc>},                        // xml
    {VdMergeDynamicRpc::RPC_NAME, vdw_rpc_create<VdMergeDynamicRpc>},                      // xml
    {VdMergeSnapshotRpc::RPC_NAME, vdw_rpc_create<VdMergeSnapshotRpc>},                    // xml
    {VdMkLinkRpc::RPC_NAME, vdw_rpc_create<VdMkLinkRpc>},                                  // xml
    {VdMoveDynamicRpc::RPC_NAME, vdw_rpc_create<VdMoveDynamicRpc>},                        // xml
    {VdMoveSnapshotRpc::RPC_NAME, vdw_rpc_create<VdMoveSnapshotRpc>},                      // xml
    {VdReadPropertiesRpc::NAME, vdw_rpc_create<VdReadPropertiesRpc>},                      // xml
    {VdReadPropertiesListRpc::NAME, vdw_rpc_create<VdReadPropertiesListRpc>},              // xml
    {VdRemoveAttributeRpc::RPC_NAME, vdw_rpc_create<VdRemoveAttributeRpc>},                // xml
    {VdRmnameDynamicRpc::RPC_NAME, vdw_rpc_create<VdRmnameDynamicRpc>},                    // xml
    {VdRmnameSnapshotRpc::RPC_NAME, vdw_rpc_create<VdRmnameSnapshotRpc>},                  // xml
    {VdRequestMastershipRpc::RPC_NAME, vdw_rpc_create<VdRequestMastershipRpc>},            // xml
    {VdResolvePathRpc::RPC_NAME, vdw_rpc_create<VdResolvePathRpc>},                        // xml
    {VdSaveDirectoryAutomaticRpc::RPC_NAME, vdw_rpc_create<VdSaveDirectoryAutomaticRpc>},  // xml
    {VdSaveDirectoryDynamicRpc::RPC_NAME, vdw_rpc_create<VdSaveDirectoryDynamicRpc>},      // xml
    {VdSaveDirectorySnapshotRpc::RPC_NAME, vdw_rpc_create<VdSaveDirectorySnapshotRpc>},    // xml
    {VdUncheckoutDynamicRpc::RPC_NAME, vdw_rpc_create<VdUncheckoutDynamicRpc>},            // xml
    {VdUncheckoutSnapshotRpc::RPC_NAME, vdw_rpc_create<VdUncheckoutSnapshotRpc>},          // xml
    {"VDW_Vdcore::apply_attribute_rpc", vdw_rpc_create<VDW_ApplyAttributeRpc>},            // repo
    {"VDW_Vdcore::apply_label_rpc", vdw_rpc_create<VDW_ApplyLabelRpc>},                    // repo
    {"VDW_Vdcore::checkin_atomic_rpc", vdw_rpc_create<VDW_CheckinAtomicRpc>},      // checkout
    {"VDW_Vdcore::checkin_rpc", vdw_rpc_create<VDW_CheckinRpc>},                   // checkout
    {"VDW_Vdcore::checkout_rpc", vdw_rpc_create<VDW_CheckoutRpc>},                 // checkout
    {"VDW_Vdcore::checkout_version_rpc", vdw_rpc_create<VDW_CheckoutVersionRpc>},  // checkout
    {"VDW_Vdcore::cleanup_invisible_activity_cos_rpc",
     vdw_rpc_create<VDW_CleanupInvisibleActivityCOsRpc>},                                // xcm
    {"VDW_Vdcore::compare_rpc", vdw_rpc_create<VDW_CompareRpc>},                         // compare
    {"VDW_Vdcore::compute_primes_rpc", vdw_rpc_create<VDW_ComputePrimesRpc>},            // diag
    {"VDW_Vdcore::create_activity_rpc", vdw_rpc_create<VDW_CreateActivityRpc>},          // xcm
    {"VDW_Vdcore::deliver_reset_rpc", vdw_rpc_create<VDW_DeliverResetRpc>},              // xcm
    {"VDW_Vdcore::describe_files_rpc", vdw_rpc_create<VDW_DescribeFilesRpc>},            // view
    {"VDW_Vdcore::enumerate_baselines_rpc", vdw_rpc_create<VDW_EnumerateBaselinesRpc>},  // xcm
    {"VDW_Vdcore::enumerate_directory_contents_rpc",
     vdw_rpc_create<VDW_EnumerateDirectoryContentsRpc>},  // view
    {"VDW_Vdcore::enumerate_sub_directories_rpc",
     vdw_rpc_create<VDW_EnumerateSubDirectoriesRpc>},                            // view
    {"VDW_Vdcore::enumerate_types_rpc", vdw_rpc_create<VDW_EnumerateTypesRpc>},  // repo
    {"VDW_Vdcore::enumerate_view_root_sub_directories_rpc",
     vdw_rpc_create<VDW_EnumerateViewRootSubDirectoriesRpc>},                    // view
    {"VDW_Vdcore::enumerate_views_rpc", vdw_rpc_create<VDW_EnumerateViewsRpc>},  // view
    {"VDW_Vdcore::enumerate_vobs_rpc", vdw_rpc_create<VDW_EnumerateVobsRpc>},    // repo
    {"VDW_Vdcore::enumerate_xcm_container_contents_rpc",
     vdw_rpc_create<VDW_EnumerateXcmContainerContentsRpc>},                           // xcm
    {"VDW_Vdcore::fetch_frozen_state_rpc", vdw_rpc_create<VDW_FetchFrozenStateRpc>},  // webview
    {"VDW_Vdcore::fetch_vobs_at_least_partially_loaded_rpc",
     vdw_rpc_create<VDW_FetchVobsAtLeastPartiallyLoadedRpc>},            // webview
    {"VDW_Vdcore::fetch_vtree_rpc", vdw_rpc_create<VDW_FetchVtreeRpc>},  // webview
    {"VDW_Vdcore::find_merge_candidates_rpc", vdw_rpc_create<VDW_FindMergeCandidatesRpc>},  // repo
    {"VDW_Vdcore::finish_activity_rpc", vdw_rpc_create<VDW_FinishActivityRpc>},             // xcm
    {"VDW_Vdcore::force_exit_rpc", vdw_rpc_create<VDW_ForceExitRpc>},                       // diag
    {"VDW_Vdcore::get_activity_checkouts_rpc", vdw_rpc_create<VDW_GetActivityCheckoutsRpc>},  // xcm
    {"VDW_Vdcore::get_activity_properties_rpc",
     vdw_rpc_create<VDW_GetActivityPropertiesRpc>},  // props
    {"VDW_Vdcore::get_acts_with_undelivered_work_rpc",
     vdw_rpc_create<VDW_GetActsWithUndeliveredWorkRpc>},                          // xcm
    {"VDW_Vdcore::get_base_version_rpc", vdw_rpc_create<VDW_GetBaseVersionRpc>},  // repo
    {"VDW_Vdcore::get_baseline_naming_template_rpc",
     vdw_rpc_create<VDW_GetBaselineNamingTemplateRpc>},  // xcm
    {"VDW_Vdcore::get_baseline_properties_rpc",
     vdw_rpc_create<VDW_GetBaselinePropertiesRpc>},                                       // props
    {"VDW_Vdcore::get_config_spec_rpc", vdw_rpc_create<VDW_GetConfigSpecRpc>},            // view
    {"VDW_Vdcore::get_current_activity_rpc", vdw_rpc_create<VDW_GetCurrentActivityRpc>},  // xcm
    {"VDW_Vdcore::get_element_properties_rpc",
     vdw_rpc_create<VDW_GetElementPropertiesRpc>},                            // props
    {"VDW_Vdcore::get_history_rpc", vdw_rpc_create<VDW_GetHistoryRpc>},       // repo
    {"VDW_Vdcore::get_int_stream_rpc", vdw_rpc_create<VDW_GetIntStreamRpc>},  // xcm
    {"VDW_Vdcore::get_labeltype_properties_rpc",
     vdw_rpc_create<VDW_GetLabeltypePropertiesRpc>},                                      // props
    {"VDW_Vdcore::get_my_activities_rpc", vdw_rpc_create<VDW_GetMyActivitiesRpc>},        // xcm
    {"VDW_Vdcore::get_oid_rpc", vdw_rpc_create<VDW_GetOIDRpc>},                           // repo
    {"VDW_Vdcore::get_promotion_levels_rpc", vdw_rpc_create<VDW_GetPromotionLevelsRpc>},  // xcm
    {"VDW_Vdcore::get_pvobs_rpc", vdw_rpc_create<VDW_EnumeratePvobsRpc>},                 // xcm
    {"VDW_Vdcore::get_stream_default_delivery_target_rpc",
     vdw_rpc_create<VDW_GetStreamDefaultDeliveryTargetRpc>},                                // xcm
    {"VDW_Vdcore::get_stream_properties_rpc", vdw_rpc_create<VDW_GetStreamPropertiesRpc>},  // props
    {"VDW_Vdcore::get_tn_user_database_rpc", vdw_rpc_create<VDW_GetTnUserDatabaseRpc>},     // xcm
    {"VDW_Vdcore::get_vd_proj_root_rpc", vdw_rpc_create<VDW_GetVDProjRootRpc>},             // repo
    {"VDW_Vdcore::get_vd_properties_rpc", vdw_rpc_create<VDW_GetVDPropertiesRpc>},          // props
    {"VDW_Vdcore::get_version_properties_rpc",
     vdw_rpc_create<VDW_GetVersionPropertiesRpc>},                                          // props
    {"VDW_Vdcore::get_version_separator_rpc", vdw_rpc_create<VDW_GetVersionSeparatorRpc>},  // repo
    {"VDW_Vdcore::get_view_properties_rpc", vdw_rpc_create<VDW_GetViewPropertiesRpc>},      // props
    {"VDW_Vdcore::get_vob_family_rpc", vdw_rpc_create<VDW_GetVobFamilyRpc>},                // repo
    {"VDW_Vdcore::get_vob_properties_rpc", vdw_rpc_create<VDW_GetVobPropertiesRpc>},        // props
    {"VDW_Vdcore::interaction_response_rpc",
     vdw_rpc_create<VDW_InteractionResponseRpc>},                               // interaction
    {"VDW_Vdcore::is_type_visible_rpc", vdw_rpc_create<VDW_IsTypeVisibleRpc>},  // repo
    {"VDW_Vdcore::login_rpc", vdw_rpc_create<VDW_LoginRpc>},                    // login
    {"VDW_Vdcore::make_baseline_rpc", vdw_rpc_create<VDW_MakeBaselineRpc>},     // xcm
    {"VDW_Vdcore::make_branch_type_rpc", vdw_rpc_create<VDW_MkBranchTypeRpc>},  // repo
    {"VDW_Vdcore::make_label_type_rpc", vdw_rpc_create<VDW_MkLabelTypeRpc>},    // repo
    {"VDW_Vdcore::mkelem_rpc", vdw_rpc_create<VDW_MkelemRpc>},                  // checkout
    {"VDW_Vdcore::mkelemfast_rpc", vdw_rpc_create<VDW_MkelemFastRpc>},          // checkout
    {"VDW_Vdcore::mkstream_rpc", vdw_rpc_create<VDW_MkstreamRpc>},              // xcm
    {"VDW_Vdcore::mkview_rpc", vdw_rpc_create<VDW_MkviewRpc>},                  // view
    {"VDW_Vdcore::move_version_to_activity_rpc",
     vdw_rpc_create<VDW_MoveVersionToActivityRpc>},                               // xcm
    {"VDW_Vdcore::new_merge_rpc", vdw_rpc_create<VDW_MergeRpc>},                  // compare
    {"VDW_Vdcore::new_save_dir_merge_rpc", vdw_rpc_create<VDW_SaveDirMergeRpc>},  // compare
    {"VDW_Vdcore::owned_views_on_stream_rpc", vdw_rpc_create<VDW_OwnedViewsOnStreamRpc>},  // xcm
    {"VDW_Vdcore::prepare_deliver_rpc", vdw_rpc_create<VDW_PrepareDeliverRpc>},            // xcm
    {"VDW_Vdcore::prepare_rebase_rpc", vdw_rpc_create<VDW_PrepareRebaseRpc>},              // xcm
    {"VDW_Vdcore::read_content_rpc", vdw_rpc_create<VDW_ReadContentRpc>},                  // repo
    {"VDW_Vdcore::recommend_baseline_rpc", vdw_rpc_create<VDW_RecommendBaselineRpc>},      // xcm
    {"VDW_Vdcore::remove_attribute_rpc", vdw_rpc_create<VDW_RemoveAttributeRpc>},          // repo
    {"VDW_Vdcore::remove_metadata_type_rpc", vdw_rpc_create<VDW_RmMetadataTypeRpc>},       // repo
    {"VDW_Vdcore::remove_resource_rpc", vdw_rpc_create<VDW_RemoveResourceRpc>},            // repo
    {"VDW_Vdcore::request_for_mastership_rpc",
     vdw_rpc_create<VDW_RequestForMastershipRpc>},              // repo
    {"VDW_Vdcore::rmview_rpc", vdw_rpc_create<VDW_RmviewRpc>},  // view
    {"VDW_Vdcore::set_activity_properties_rpc",
     vdw_rpc_create<VDW_SetActivityPropertiesRpc>},  // props
    {"VDW_Vdcore::set_baseline_properties_rpc",
     vdw_rpc_create<VDW_SetBaselinePropertiesRpc>},                                       // props
    {"VDW_Vdcore::set_current_activity_rpc", vdw_rpc_create<VDW_SetCurrentActivityRpc>},  // xcm
    {"VDW_Vdcore::set_element_properties_rpc",
     vdw_rpc_create<VDW_SetElementPropertiesRpc>},                                          // props
    {"VDW_Vdcore::set_stream_properties_rpc", vdw_rpc_create<VDW_SetStreamPropertiesRpc>},  // props
    {"VDW_Vdcore::set_tn_credentials_rpc", vdw_rpc_create<VDW_SetTnCredentialsRpc>},        // xcm
    {"VDW_Vdcore::set_version_properties_rpc",
     vdw_rpc_create<VDW_SetVersionPropertiesRpc>},                                    // props
    {"VDW_Vdcore::set_vob_properties_rpc", vdw_rpc_create<VDW_SetVobPropertiesRpc>},  // props
    {"VDW_Vdcore::setcs_rpc", vdw_rpc_create<VDW_SetConfigSpecRpc>},                  // view
    {"VDW_Vdcore::sleep_rpc", vdw_rpc_create<VDW_SleepRpc>},                          // diag
    {"VDW_Vdcore::timeout_randomly_rpc", vdw_rpc_create<VDW_TimeoutRandomlyRpc>},     // diag
    {"VDW_Vdcore::uncheckout_rpc", vdw_rpc_create<VDW_UncheckoutRpc>},                // checkout
    {"VDW_Vdcore::validate_copy_area_state_rpc",
     vdw_rpc_create<VDW_ValidateCopyAreaStateRpc>},                                    // webview
    {"VDW_Vdcore::viewinfo_rpc", vdw_rpc_create<VDW_ViewInfoRpc>},                     // view
    {"VDW_Vdcore::ws_get_scopes_rpc", vdw_rpc_create<VDW_WsGetScopesRpc>},             // webview
    {"VDW_VdtoolRpc", vdw_rpc_create<VDW_VdtoolRpc>},                                  // command
    {VdVersionCheckoutLocalRpc::RPC_NAME, vdw_rpc_create<VdVersionCheckoutLocalRpc>},  // xml
    {VdWorkOnRpc::RPC_NAME, vdw_rpc_create<VdWorkOnRpc>},                              // xml
    {VdWritePropertiesRpc::NAME, vdw_rpc_create<VdWritePropertiesRpc>},                // xml
    {VdXmlEchoRpc::NAME, vdw_rpc_create<VdXmlEchoRpc>},                                // xml
};

}  // namespace

const VDW_RpcFactoryRow* vdw_rpc_factory_table(size_t& count) {
    count = sizeof kFactory / sizeof kFactory[0];
    return kFactory;
}
