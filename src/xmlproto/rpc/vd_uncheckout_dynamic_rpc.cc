// "UncheckoutDynamic" and the uncheckout both uncheckout RPCs share: each "path" in turn,
// stopping at the first that fails.
#include <string>
#include <vector>

#include "core/cmd/cmd.h"
#include "core/view/view.h"
#include "facade/vdw_vdcore.h"
#include "foundation/catalogs/vdw_rpcs_catalog.h"
#include "foundation/wcm_status.h"
#include "xmlproto/rpc/vd_xml_args.h"
#include "xmlproto/rpc/vd_xml_op_family.h"
#include "xmlproto/rpc/vd_xml_op_rpcs.h"
#include "xmlproto/xml/vd_xml_doc.h"

void vd_xml_uncheckout(VdXmlRpc& rpc, VdXmlElem* root, VdXmlViewKind kind) {
    WCM_Status& status = rpc.status();
    std::string pop_text, view_loc;
    const std::vector<std::string> paths = vd_xml_take_all(root, "path");
    VdXmlElem* flags = root->extract_child("uncheckout-flags");
    vd_xml_take_text(root, "pop_kind", &pop_text);
    vd_xml_take_text(root, "view", &view_loc);
    const int pop = VDW_Vdcore::pop_to_vobOp(pop_text.c_str());
    if (paths.empty() || pop < 0) {
        status.set_status(vd_xml_bad("Uncheckout: a path and a known pop_kind are needed."));
        return;
    }
    view_t* view = nullptr;
    if (!view_loc.empty()) {
        if (int st = vd_xml_view_of(view_loc, &view)) return void(status.set_status(st));
    }
    for (const std::string& path : paths) {
        cmd_uncheckout_args_t un;
        std::string pname;
        if (int st = vd_xml_op_pname(kind, &view, path, &pname)) return void(status.set_status(st));
        un.pnames = {pname};
        un.view = &view->ctx;
        un.pop_kind = pop;
        un.keep = vd_xml_flag(flags, "keep");
        if (tbs_status_t st = cmd_uncheckout_with_pop(&un)) {
            status.set_status(st);
            status.format(&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_UNCHECKOUT_PROBLEMS);
            return;
        }
    }
}

void VdUncheckoutDynamicRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc&) {
    if (int rc = validate_rpc_version(request.get_root(), RPC_NAME, RPC_VERSION))
        return void(status().set_status(rc));
    vd_xml_uncheckout(*this, request.get_root(), VD_XML_DYNAMIC);
}
