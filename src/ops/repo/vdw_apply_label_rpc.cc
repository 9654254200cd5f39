// VDW_ApplyLabelRpc.
#include "ops/repo/vdw_apply_label_rpc.h"

#include <string>
#include <vector>

#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_request.h"

namespace {

struct Args {
    std::string view_uuid;
    std::string selector;
    std::string version;
    bool has_version = false;
    bool follow = false, recurse = false, replace = false;
    std::string comment;
    int count = 0;
    std::string elements;
};

bool read_args(const char* text, Args* a, WCM_Status& status) {
    VDW_RpcArgs args(text, status);
    return args.text("ViewUuid", &a->view_uuid) && args.text("Selector", &a->selector) &&
           args.opt_text("VersionString", &a->version, &a->has_version) &&
           args.boolean("Follow", &a->follow) && args.boolean("Recurse", &a->recurse) &&
           args.boolean("Replace", &a->replace) && args.rich("Comment", &a->comment) &&
           args.integer("NumElements", &a->count) && args.rich("PerElementList", &a->elements);
}

// The label type: "lbtype:NAME" (with or without its VOB: each element's own VOB holds the
// type it is labelled with) or the bare name.
bool label_name(const std::string& selector, std::string* name) {
    vob_objsel_t sel;
    if (VDW_Vdcore::parse_objsel(selector.c_str(), &sel) != TBS_ST_OK) return false;
    if (sel.kind == VOB_SEL_TYPE && sel.mtype == VOB_MTYPE_LBTYPE) {
        *name = sel.name;
        return true;
    }
    if (sel.kind != VOB_SEL_PNAME || selector.find('/') != std::string::npos) return false;
    *name = selector;
    return true;
}

}  // namespace

void VDW_ApplyLabelRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_ApplyLabelRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    Args a;
    if (!read_args(request().rpcargs(), &a, status())) return;
    VDW_Vdcore::LabelRequest label;
    if (!label_name(a.selector, &label.label)) {
        VDW_RpcArgs::bad_value(status(), "Selector", a.selector);
        return;
    }
    // "PerElementList" holds the elements' pathnames, one a line, as many as counted.
    const std::vector<std::string> elements = VDW_RpcArgs::split_lines(a.elements);
    if (a.count < 0 || static_cast<size_t>(a.count) != elements.size()) {
        VDW_RpcArgs::bad_count(status(), "NumElements", a.count);
        return;
    }
    if (a.has_version && (a.version.empty() || a.version[0] != '/')) {
        VDW_RpcArgs::bad_value(status(), "VersionString", a.version);
        return;
    }

    VDW_Vdcore& core = *facade();
    core.open_view(a.view_uuid.c_str(), &label.view, status());
    if (!status().is_ok()) return;
    label.replace = a.replace;
    label.recurse = a.recurse;
    label.follow = a.follow;
    label.comment = a.comment;
    // Each element is labelled in a transaction of its own and answered in a part of its
    // own; as with vdtool's mklabel, the first element refused ends the request, leaving
    // that element and those after it unlabelled.
    for (const std::string& element : elements) {
        label.pname =
            a.has_version ? element + VDW_Vdcore::get_ver_ext_string() + a.version : element;
        core.apply_label(label, status());
        VDW_MultipartData part(VDW_MultipartData::RPC_RESULT_PART, nullptr, nullptr, nullptr, 0);
        part.add_part_item("Pname", element.c_str());
        part.add_part_item("Status", status().status());
        if (add_part(part, false) || !status().is_ok()) return;
    }
}
