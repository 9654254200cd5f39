// "BulkCheckoutDynamic" and the checkout both checkout RPCs share. The request's children
// are read by position: "resource" (a location, not empty), "checkout-flags", "path" (not
// empty), then an optional "comment"; anything after the fourth is ignored.
//
// Reservation: with "reserved" a reserved checkout is tried and "fallback-to-unreserved"
// allows an unreserved one when it is refused; without it the checkout is unreserved, and
// "fallback-to-unreserved" tries a reserved one first. A version that is not the latest
// on its branch: "latest-on-branch" and "view-selected-version" (dynamic) check out the
// latest instead; "non-latest" (snapshot) checks out the selected version; otherwise the
// checkout is refused with 100009.
#include <string>
#include <vector>

#include "core/cmd/cmd.h"
#include "core/view/view.h"
#include "facade/vdw_vdcore.h"
#include "facade/vdw_vdcore_report.h"
#include "foundation/catalogs/vdw_prop_catalog.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "ops/checkout/vdw_co_act.h"
#include "ops/checkout/vdw_co_common.h"
#include "xmlproto/rpc/vd_xml_args.h"
#include "xmlproto/rpc/vd_xml_op_family.h"
#include "xmlproto/rpc/vd_xml_op_rpcs.h"
#include "xmlproto/xml/vd_xml_doc.h"

namespace {

const char* const TAG_RESOURCE = "resource";
const char* const TAG_CHECKOUT_FLAGS = "checkout-flags";
const char* const TAG_PATH = "path";
const char* const TAG_COMMENT = "comment";
const char* const ATT_RESERVED = "reserved";
const char* const ATT_LATEST_ON_BRANCH = "latest-on-branch";
const char* const ATT_NON_MASTERED_OK = "non-mastered-ok";
const char* const ATT_FALLBACK_TO_UNRESERVED = "fallback-to-unreserved";
const char* const ATT_PRESERVE_MODIFICATION_TIME = "preserve-modification-time";
const char* const ATT_VIEW_SELECTED_VERSION = "view-selected-version";
const char* const ATT_NON_LATEST = "non-latest";
const char* const VALUE_IS_NULL = "value-is-null";

const VdXmlElem* child_at(const VdXmlElem* root, size_t i, const char* tag) {
    const std::vector<VdXmlElem*>& c = root->get_children();
    return i < c.size() && c[i]->get_tag().str() == tag ? c[i] : nullptr;
}

}  // namespace

void vd_xml_bulk_checkout(VdXmlRpc& rpc, VdXmlElem* root, VdXmlViewKind kind) {
    VDW_Trace trace(QLMX_COMPONENT, "VdCheckoutDynamicRpc", "handle_request");
    WCM_Status& status = rpc.status();
    const VdXmlElem* resource = child_at(root, 0, TAG_RESOURCE);
    const VdXmlElem* flags = child_at(root, 1, TAG_CHECKOUT_FLAGS);
    const VdXmlElem* path = child_at(root, 2, TAG_PATH);
    const VdXmlElem* comment = child_at(root, 3, TAG_COMMENT);
    if (!resource || resource->get_value().is_empty() || !flags || !path ||
        path->get_value().is_empty()) {
        status.set_status(vd_xml_bad(
            "Checkout: the request needs a resource, checkout-flags and a path, in this order."));
        return;
    }
    const std::string location = resource->get_value().str();
    const std::string given = path->get_value().str();
    std::string text;
    if (comment && !vd_xml_flag(comment, VALUE_IS_NULL)) text = comment->get_value().str();
    const bool reserved = vd_xml_flag(flags, ATT_RESERVED);
    const bool fallback = vd_xml_flag(flags, ATT_FALLBACK_TO_UNRESERVED);
    VDW_CheckoutFlags cf;
    cf.reserved = reserved || fallback;
    cf.unreserved = reserved ? fallback : true;
    cf.nmaster_ok = vd_xml_flag(flags, ATT_NON_MASTERED_OK);
    cf.ptime = vd_xml_flag(flags, ATT_PRESERVE_MODIFICATION_TIME);

    view_t* view = nullptr;
    std::string pname;
    int st = vd_xml_view_of(location, &view);
    if (!st) st = vd_xml_op_pname(kind, &view, given, &pname);
    if (st) {
        status.set_status(st);
        return;
    }
    // A copy-area pathname names what the web view's own lookup finds there.
    vob_resolved_t found;
    if (kind == VD_XML_SNAPSHOT &&
        !vdw_core_ok(status, cmd_resolve_ws_obj(view, pname.c_str(), 0, &found),
                     VDW_LIB_RESOLVE_ELEMENT_FAILED, given.c_str()))
        return;
    // The decision hook: the latest version when the client asks for it, else the
    // default handling (refuse, or for a snapshot view's "non-latest" the selected one).
    VDW_ForcedLatestCoAct forced;
    VDW_CoAct plain(kind == VD_XML_SNAPSHOT && vd_xml_flag(flags, ATT_NON_LATEST)
                        ? CMD_NONLATEST_SELECTED
                        : CMD_NONLATEST_FAIL);
    const bool force_latest =
        kind == VD_XML_DYNAMIC &&
        (vd_xml_flag(flags, ATT_VIEW_SELECTED_VERSION) || vd_xml_flag(flags, ATT_LATEST_ON_BRANCH));
    VDW_CoAct& action = force_latest ? static_cast<VDW_CoAct&>(forced) : plain;
    cmd_checkout_args_t co;
    st = vdw_checkout(view, pname, text, cf, action, &co);
    status.set_status(st);
    if (trace.shouldTrace(1)) trace.writeTrace("checkout of \"%s\": %d", pname.c_str(), st);
    if (st == TBS_ST_OK) return;
    status.set_status(action.had_nonlatest_conflict() ? TBS_ST_VERSION_NOT_LATEST : TBS_ST_ERR);
    if (action.had_not_mastered_locally_conflict()) {
        status.set_status(TBS_ST_ELEM_NOT_MASTERED);
        return;
    }
    if (action.branch_type().empty()) return;
    VDW_Vdcore& core = *rpc.facade();
    vob_resolved_t r;
    WCM_Status lookup;
    core.resolve_vob_obj(view, pname.c_str(), 0, &r, lookup);
    if (!lookup.is_ok()) return;
    vob_dbid_t brtype = 0;
    const std::string sel =
        VDW_Vdcore::get_branch_type_selector(r.vob, action.branch_type().c_str(), &brtype);
    if (!VDW_Vdcore::has_local_mastership(r.vob, brtype)) {
        status.set_status(TBS_ST_BRTYPE_NOT_MASTERED);
        status.format(&_vdw_prop_props_msg_table, VDW_PROP_BRANCH_TYPE_NOT_MASTERED, pname.c_str(),
                      ("<" + sel + ">").c_str());
    }
}

void VdCheckoutDynamicRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc&) {
    if (int rc = validate_rpc_version(request.get_root(), RPC_NAME, RPC_VERSION))
        return void(status().set_status(rc));
    vd_xml_bulk_checkout(*this, request.get_root(), VD_XML_DYNAMIC);
}
