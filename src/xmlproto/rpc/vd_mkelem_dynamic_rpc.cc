// "BulkMkelemDynamic" and the element creation both mkelem RPCs share: every "path" in one
// core call. An "element-type-name" of "directory" makes directory elements.
#include <algorithm>
#include <string>
#include <vector>

#include "core/cmd/cmd.h"
#include "core/view/view.h"
#include "facade/vdw_vdcore.h"
#include "foundation/catalogs/vdw_rpcs_catalog.h"
#include "foundation/wcm_status.h"
#include "ops/checkout/vdw_co_common.h"
#include "request/vdw_request.h"
#include "xmlproto/rpc/vd_xml_args.h"
#include "xmlproto/rpc/vd_xml_op_family.h"
#include "xmlproto/rpc/vd_xml_op_rpcs.h"
#include "xmlproto/xml/vd_xml_doc.h"

void vd_xml_mkelem(VdXmlRpc& rpc, VdXmlElem* root, VdXmlViewKind kind) {
    WCM_Status& status = rpc.status();
    std::string eltype, activity, view_loc;
    const std::vector<std::string> paths = vd_xml_take_all(root, "path");
    vd_xml_take_text(root, "element-type-name", &eltype);
    vd_xml_take_text(root, "activity", &activity);
    vd_xml_take_text(root, "view", &view_loc);
    const std::string comment = vd_xml_take_comment(root, "comment");
    VdXmlElem* flags = root->extract_child("mkelem-flags");
    if (paths.empty()) {
        status.set_status(vd_xml_bad("Mkelem: a path is needed."));
        return;
    }
    view_t* view = nullptr;
    if (!view_loc.empty()) {
        if (int st = vd_xml_view_of(view_loc, &view)) return void(status.set_status(st));
    }
    cmd_mkelem_args_t mk;
    for (const std::string& path : paths) {
        std::string pname;
        if (int st = vd_xml_op_pname(kind, &view, path, &pname)) return void(status.set_status(st));
        mk.pnames.push_back(pname);
    }
    if (!activity.empty()) {
        rpc.facade()->set_current_activity_by_view_tag(view->tag.c_str(), activity.c_str(), status);
        if (!status.is_ok()) return;
    }
    mk.is_dir = eltype == "directory";
    // A file's first contents: the client's upload for a single file of a snapshot view,
    // else the view's own file at the path (the core takes it when none is named).
    const char* upload = rpc.request().upload_pname();
    if (kind == VD_XML_SNAPSHOT && !mk.is_dir && upload && *upload && paths.size() == 1)
        mk.from = {upload};
    mk.view = &view->ctx;
    mk.comment_mode = comment.empty() ? CMD_COMMENT_NONE : CMD_COMMENT_GIVEN;
    mk.comment = comment;
    mk.eltype = mk.is_dir ? "" : eltype;
    mk.checkin = vd_xml_flag(flags, "checkin");
    mk.master = vd_xml_flag(flags, "master-locally");
    mk.mkpath = vd_xml_flag(flags, "mkpath");
    mk.no_checkout = vd_xml_flag(flags, "no-checkout");
    mk.ptime = vd_xml_flag(flags, "ptime");
    mk.observer = vdw_mkelem_observer_func;
    if (tbs_status_t st = cmd_utl_mkelem(&mk)) {
        status.set_status(st);
        status.format(&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_CREATE_ELEMENT_FAILED,
                      paths[std::min(mk.elements.size(), paths.size() - 1)].c_str());
    }
}

void VdMkelemDynamicRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc&) {
    if (int rc = validate_rpc_version(request.get_root(), RPC_NAME, RPC_VERSION))
        return void(status().set_status(rc));
    vd_xml_mkelem(*this, request.get_root(), VD_XML_DYNAMIC);
}
