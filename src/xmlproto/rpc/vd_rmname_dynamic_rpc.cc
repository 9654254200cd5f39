// "RemoveDynamic" and the name removal both remove RPCs share: each "pname" in turn,
// stopping at the first that fails. "force" removes names of checked-out elements too.
#include <string>
#include <vector>

#include "core/view/view.h"
#include "facade/vdw_vdcore.h"
#include "foundation/wcm_status.h"
#include "xmlproto/rpc/vd_xml_args.h"
#include "xmlproto/rpc/vd_xml_op_family.h"
#include "xmlproto/rpc/vd_xml_op_rpcs.h"
#include "xmlproto/xml/vd_xml_doc.h"

void vd_xml_rmname(VdXmlRpc& rpc, VdXmlElem* root, VdXmlViewKind kind) {
    WCM_Status& status = rpc.status();
    std::string view_loc;
    const std::vector<std::string> paths = vd_xml_take_all(root, "pname");
    const bool force = vd_xml_take_bool(root, "force");
    vd_xml_take_text(root, "view", &view_loc);
    const std::string comment = vd_xml_take_comment(root, "comment");
    if (paths.empty()) {
        status.set_status(vd_xml_bad("Remove: a pname is needed."));
        return;
    }
    view_t* view = nullptr;
    if (!view_loc.empty()) {
        if (int st = vd_xml_view_of(view_loc, &view)) return void(status.set_status(st));
    }
    for (const std::string& path : paths) {
        std::string pname;
        if (int st = vd_xml_op_pname(kind, &view, path, &pname)) return void(status.set_status(st));
        rpc.facade()->remove_name(view, pname, force, comment, status);
        if (!status.is_ok()) return;
    }
}

void VdRmnameDynamicRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc&) {
    if (int rc = validate_rpc_version(request.get_root(), RPC_NAME, RPC_VERSION))
        return void(status().set_status(rc));
    vd_xml_rmname(*this, request.get_root(), VD_XML_DYNAMIC);
}
