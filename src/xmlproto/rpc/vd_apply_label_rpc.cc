// "ApplyLabelRpc": attaches the label type "Selector" names to the version of "Element" that
// "View" selects, or to its version "Version".
#include <string>

#include "core/tbs/tbs.h"
#include "core/view/view.h"
#include "facade/vdw_vdcore.h"
#include "foundation/wcm_status.h"
#include "xmlproto/rpc/vd_xml_args.h"
#include "xmlproto/rpc/vd_xml_op_rpcs.h"
#include "xmlproto/rpc/vd_xml_op_util.h"
#include "xmlproto/xml/vd_xml_doc.h"

void VdApplyLabelRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc&) {
    VdXmlElem* root = request.get_root();
    if (int rc = validate_rpc_version(root, RPC_NAME, RPC_VERSION))
        return void(status().set_status(rc));
    std::string element, version, view_loc, selector;
    vd_xml_take_text(root, "Element", &element);
    vd_xml_take_text(root, "Version", &version);
    vd_xml_take_text(root, "View", &view_loc);
    vd_xml_take_text(root, "Selector", &selector);
    const std::string comment = vd_xml_take_comment(root, "Comment");
    VdXmlElem* flags = root->extract_child("ApplyLabel-Flags");
    // "lbtype:REL1@/vobs/p" or the bare name: the element's VOB holds the type.
    std::string label = selector;
    if (label.rfind("lbtype:", 0) == 0) label = label.substr(7);
    label = label.substr(0, label.find('@'));
    if (element.empty() || label.empty())
        return void(
            status().set_status(vd_xml_bad("ApplyLabelRpc: an element and a label "
                                           "type are needed.")));
    VDW_Vdcore::LabelRequest req;
    if (!view_loc.empty()) {
        if (int st = vd_xml_view_of(view_loc, &req.view)) return void(status().set_status(st));
    }
    req.label = label;
    req.pname = version.empty() || element.find(TBS_VER_EXT) != std::string::npos
                    ? element
                    : element + TBS_VER_EXT + version;
    req.replace = vd_xml_flag(flags, "replace");
    req.recurse = vd_xml_flag(flags, "recurse");
    req.follow = vd_xml_flag(flags, "follow-symlinks");
    req.comment = comment;
    facade()->apply_label(req, status());
}
