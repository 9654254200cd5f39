// "MakeMergeArrowRpc": records that "from-version" is merged into "to-version" (a checkout),
// taking pathnames in the view "view-context" names, or in the server's own view.
#include <string>

#include "core/view/view.h"
#include "facade/vdw_vdcore.h"
#include "foundation/wcm_status.h"
#include "xmlproto/rpc/vd_xml_args.h"
#include "xmlproto/rpc/vd_xml_op_rpcs.h"
#include "xmlproto/rpc/vd_xml_op_util.h"
#include "xmlproto/xml/vd_xml_doc.h"

void VdMakeMergeArrowRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc&) {
    VdXmlElem* root = request.get_root();
    if (int rc = validate_rpc_version(root, RPC_NAME, RPC_VERSION))
        return void(status().set_status(rc));
    std::string from, to, context;
    vd_xml_take_text(root, "from-version", &from);
    vd_xml_take_text(root, "to-version", &to);
    vd_xml_take_text(root, "view-context", &context);
    if (from.empty() || to.empty())
        return void(status().set_status(vd_xml_bad("MakeMergeArrowRpc: two versions are needed.")));
    view_t* view = nullptr;
    if (!context.empty()) {
        if (int st = vd_xml_view_of(context, &view)) return void(status().set_status(st));
    }
    facade()->set_merged(view, to.c_str(), from.c_str(), status());
}
