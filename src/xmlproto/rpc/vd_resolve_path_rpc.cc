// "ResolvePath": the canonical location of a pathname ("path"): of the object in the view
// whose root holds it, else of the VOB object the name or selector names. Answers
// "location".
#include <cstring>
#include <string>

#include "core/view/view.h"
#include "facade/vdw_vdcore.h"
#include "foundation/wcm_status.h"
#include "xmlproto/resource/vd_view_resources.h"
#include "xmlproto/rpc/vd_xml_args.h"
#include "xmlproto/rpc/vd_xml_object_rpcs.h"

void VdResolvePathRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc& response) {
    VdXmlElem* root = request.get_root();
    if (int rc = validate_rpc_version(root, RPC_NAME, RPC_VERSION)) {
        status().set_status(rc);
        return;
    }
    std::string path;
    if (!vd_xml_take_text(root, "path", &path) || path.empty()) {
        set_bad_request("ResolvePath: no path");
        return;
    }
    std::unique_ptr<VdResource> r;
    view_t* view = nullptr;
    int st;
    if (path[0] == '/' && view_open_by_root(path.c_str(), &view) == TBS_ST_OK) {
        char rel[VDW_Vdcore::PNAME_SIZE];
        if (path.size() >= sizeof rel) {
            set_bad_request("ResolvePath: path too long");
            return;
        }
        memcpy(rel, path.c_str(), path.size() + 1);
        VDW_Vdcore::strip_viewroot(view->root.c_str(), rel);
        st = VdView(view).resolve_view_relative_path(rel, true, r);
    } else {
        st = vd_xml_resource(path, r);
    }
    SUM_String location;
    if (!st) st = r->get_canonical_location(location);
    if (st) {
        status().set_status(st);
        return;
    }
    VdXmlElem* e = response.push("location");
    e->add_value(location);
    response.pop();
}
