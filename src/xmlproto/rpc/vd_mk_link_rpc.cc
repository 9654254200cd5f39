// "MkLinkRpc": makes "link-name" in "parent-dir" of "view" a symbolic link ("is-symlink":
// its text is "target") or another name of the element "target" names, and answers the new
// link's resource.
#include <memory>
#include <string>

#include "core/view/view.h"
#include "facade/vdw_vdcore.h"
#include "foundation/wcm_status.h"
#include "xmlproto/resource/vd_view_resources.h"
#include "xmlproto/rpc/vd_xml_args.h"
#include "xmlproto/rpc/vd_xml_op_rpcs.h"
#include "xmlproto/rpc/vd_xml_op_util.h"
#include "xmlproto/xml/vd_xml_doc.h"
#include "xmlproto/xml/vd_xml_stream.h"

void VdMkLinkRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc& response) {
    VdXmlElem* root = request.get_root();
    if (int rc = validate_rpc_version(root, RPC_NAME, RPC_VERSION))
        return void(status().set_status(rc));
    std::string view_loc, parent, name, target;
    vd_xml_take_text(root, "view", &view_loc);
    vd_xml_take_text(root, "parent-dir", &parent);
    vd_xml_take_text(root, "link-name", &name);
    vd_xml_take_text(root, "target", &target);
    const bool symbolic = vd_xml_take_bool(root, "is-symlink");
    const std::string comment = vd_xml_take_comment(root, "comment");
    if (view_loc.empty() || parent.empty() || target.empty() || name.empty() || name == "." ||
        name == ".." || name.find('/') != std::string::npos)
        return void(
            status().set_status(vd_xml_bad("MkLinkRpc: a view, a directory, a name and "
                                           "a target are needed.")));
    view_t* view = nullptr;
    if (int st = vd_xml_view_of(view_loc, &view)) return void(status().set_status(st));
    if (!view) return void(status().set_status(vd_xml_bad("MkLinkRpc: no view.")));
    std::string dir;
    const VdXmlViewKind kind = view->kind == VIEW_KIND_DYNAMIC ? VD_XML_DYNAMIC : VD_XML_SNAPSHOT;
    if (int st = vd_xml_op_pname(kind, &view, parent, &dir)) return void(status().set_status(st));
    const std::string link = dir + "/" + name;
    facade()->make_link(view, target, link, symbolic, comment, status());
    if (!status().is_ok()) return;
    std::unique_ptr<VdResource> made;
    if (int st = VdView(view).resolve_view_relative_path(link, false, made))
        return void(status().set_status(st));
    response.push("mklink-response");
    response.push("new-link");
    const int st = made->marshal(response);
    response.pop();
    response.pop();
    if (st) status().set_status(st);
}
