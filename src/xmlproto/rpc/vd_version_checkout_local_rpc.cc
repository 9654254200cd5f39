// "VersionCheckoutLocal": checks out the version "checked-out-file" names in "view", even
// when it is not the latest on its branch, and answers the checkout's resource.
#include <memory>
#include <string>

#include "core/cmd/cmd.h"
#include "core/view/view.h"
#include "facade/vdw_vdcore.h"
#include "facade/vdw_vdcore_report.h"
#include "foundation/catalogs/vdw_lib_catalog.h"
#include "foundation/wcm_status.h"
#include "ops/checkout/vdw_co_act.h"
#include "ops/checkout/vdw_co_common.h"
#include "xmlproto/resource/vd_view_resources.h"
#include "xmlproto/rpc/vd_xml_args.h"
#include "xmlproto/rpc/vd_xml_op_rpcs.h"
#include "xmlproto/rpc/vd_xml_op_util.h"
#include "xmlproto/xml/vd_xml_doc.h"
#include "xmlproto/xml/vd_xml_stream.h"

void VdVersionCheckoutLocalRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc& response) {
    VdXmlElem* root = request.get_root();
    if (int rc = validate_rpc_version(root, RPC_NAME, RPC_VERSION))
        return void(status().set_status(rc));
    std::string view_loc, file;
    vd_xml_take_text(root, "view", &view_loc);
    vd_xml_take_text(root, "checked-out-file", &file);
    const std::string comment = vd_xml_take_comment(root, "comment");
    VdXmlElem* flags = root->extract_child("checkout-flags");
    if (view_loc.empty() || file.empty())
        return void(
            status().set_status(vd_xml_bad("VersionCheckoutLocal: a view and a version "
                                           "are needed.")));
    view_t* view = nullptr;
    if (int st = vd_xml_view_of(view_loc, &view)) return void(status().set_status(st));
    if (!view) return void(status().set_status(vd_xml_bad("VersionCheckoutLocal: no view.")));
    VDW_Vdcore& core = *facade();
    vob_resolved_t r;
    core.resolve_vob_obj(view, file.c_str(), 0, &r, status());
    vob_dbid_t version = 0;
    if (status().is_ok()) core.version_from_selector(r, view, &version, status());
    std::string name, elem;
    if (status().is_ok()) core.get_obj_name(r.vob, version, &name, status());
    if (status().is_ok()) core.get_obj_name(r.vob, r.element, &elem, status());
    if (!status().is_ok()) return;
    const bool reserved = vd_xml_flag(flags, "reserved");
    const bool fallback = vd_xml_flag(flags, "fallback-to-unreserved");
    VDW_CheckoutFlags cf;
    cf.reserved = reserved || fallback;
    cf.unreserved = reserved ? fallback : true;
    cf.nmaster_ok = vd_xml_flag(flags, "non-mastered-ok");
    cf.ptime = vd_xml_flag(flags, "preserve-modification-time");
    VDW_CoAct action(CMD_NONLATEST_SELECTED);
    cmd_checkout_args_t co;
    if (!vdw_core_ok(status(), vdw_checkout(view, name, comment, cf, action, &co),
                     VDW_LIB_CHECKOUT_FAILED, file.c_str()))
        return;
    std::unique_ptr<VdResource> checked_out;
    if (int st = VdView(view).resolve_view_relative_path(elem, false, checked_out))
        return void(status().set_status(st));
    response.push("VersionCheckoutLocalResponse");
    VdXmlElem* e = response.push("checked-out-file");
    e->add_attr("reserved", !co.got_reserved.empty() && co.got_reserved[0] ? "true" : "false");
    const int st = checked_out->marshal(response);
    response.pop();
    response.pop();
    if (st) status().set_status(st);
}
