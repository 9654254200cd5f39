// "GetHandle": the resource named by an "object-selector", or by a "view-uuid" or
// "view-tag" with a "view-relative-path". Answers the resource's reference, an empty
// "object-not-found" element when nothing has that name, or an "exception" element holding
// the core's messages when the lookup itself failed.
#include <string>

#include "core/sum/imsg_redirector.h"
#include "core/tbs/tbs.h"
#include "foundation/wcm_status.h"
#include "xmlproto/resource/vd_view_resources.h"
#include "xmlproto/rpc/vd_xml_args.h"
#include "xmlproto/rpc/vd_xml_object_rpcs.h"

void VDW_GetHandleRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc& response) {
    VdXmlElem* root = request.get_root();
    if (int rc = validate_rpc_version(root, RPC_NAME, RPC_VERSION)) {
        status().set_status(rc);
        return;
    }
    std::string selector, view_uuid, view_tag, path;
    const bool by_selector = vd_xml_take_text(root, "object-selector", &selector);
    const bool by_uuid = vd_xml_take_text(root, "view-uuid", &view_uuid);
    const bool by_tag = vd_xml_take_text(root, "view-tag", &view_tag);
    vd_xml_take_text(root, "view-relative-path", &path);
    if (by_selector == (by_uuid || by_tag) || (by_selector && selector.empty())) {
        set_bad_request("GetHandle: name an object selector, or a view and a path in it");
        return;
    }
    std::unique_ptr<VdResource> r;
    int st;
    SUM_ImsgRedirector capture;
    if (by_selector) {
        st = vd_xml_resource(selector, r);
    } else {
        view_t* view = nullptr;
        st = VdView::open(by_uuid ? view_uuid : view_tag, &view);
        if (!st) st = VdView(view).resolve_view_relative_path(path, true, r);
    }
    if (!st) {
        if ((st = r->marshal(response))) status().set_status(st);
        return;
    }
    if (st == TBS_ST_NOT_FOUND || st == TBS_ST_NAME_NOT_FOUND || st == TBS_ST_OBJ_NOT_FOUND ||
        st == TBS_ST_TYPE_NOT_FOUND) {
        response.push("object-not-found");
        response.pop();
        return;
    }
    VdXmlElem* e = response.push("exception");
    e->add_value(capture.text());
    response.pop();
}
