// "MoveDynamic" and the move both move RPCs share: "old-name" in "source-dir" becomes
// "new-name" in "dest-dir". Names are single pathname components.
#include <string>

#include "core/view/view.h"
#include "facade/vdw_vdcore.h"
#include "foundation/wcm_status.h"
#include "xmlproto/rpc/vd_xml_args.h"
#include "xmlproto/rpc/vd_xml_op_family.h"
#include "xmlproto/rpc/vd_xml_op_rpcs.h"
#include "xmlproto/xml/vd_xml_doc.h"

namespace {

bool leaf_name(const std::string& n) {
    return !n.empty() && n != "." && n != ".." && n.find('/') == std::string::npos;
}

}  // namespace

void vd_xml_move(VdXmlRpc& rpc, VdXmlElem* root, VdXmlViewKind kind) {
    WCM_Status& status = rpc.status();
    std::string src_dir, old_name, dst_dir, new_name, view_loc;
    vd_xml_take_text(root, "source-dir", &src_dir);
    vd_xml_take_text(root, "old-name", &old_name);
    vd_xml_take_text(root, "dest-dir", &dst_dir);
    vd_xml_take_text(root, "new-name", &new_name);
    vd_xml_take_text(root, "view", &view_loc);
    const std::string comment = vd_xml_take_comment(root, "comment");
    if (src_dir.empty() || dst_dir.empty() || !leaf_name(old_name) || !leaf_name(new_name)) {
        status.set_status(vd_xml_bad("Move: two directories and two names are needed."));
        return;
    }
    view_t* view = nullptr;
    if (!view_loc.empty()) {
        if (int st = vd_xml_view_of(view_loc, &view)) return void(status.set_status(st));
    }
    std::string from, to;
    int st = vd_xml_op_pname(kind, &view, src_dir, &from);
    if (!st) st = vd_xml_op_pname(kind, &view, dst_dir, &to);
    if (st) return void(status.set_status(st));
    rpc.facade()->move_name(view, from + "/" + old_name, to + "/" + new_name, comment, status);
}

void VdMoveDynamicRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc&) {
    if (int rc = validate_rpc_version(request.get_root(), RPC_NAME, RPC_VERSION))
        return void(status().set_status(rc));
    vd_xml_move(*this, request.get_root(), VD_XML_DYNAMIC);
}
