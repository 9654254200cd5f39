// VDW_ApplyAttributeRpc.
#include "ops/repo/vdw_apply_attribute_rpc.h"

#include <string>

#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_request.h"

namespace {

struct Args {
    std::string attype;
    std::string value;
    bool has_value = false;
    std::string version;
    bool has_version = false;
    bool use_default = false, recurse = false, replace = false;
    std::string comment;
    std::string view_uuid;
    bool has_view = false;
    std::string elem;
    bool has_elem = false;
    std::string selector;
};

bool read_args(const char* text, Args* a, WCM_Status& status) {
    VDW_RpcArgs args(text, status);
    return args.text("TypeName", &a->attype) && args.opt_rich("Value", &a->value, &a->has_value) &&
           args.opt_text("VersionString", &a->version, &a->has_version) &&
           args.boolean("Default", &a->use_default) && args.boolean("Recurse", &a->recurse) &&
           args.boolean("Replace", &a->replace) && args.rich("Comment", &a->comment) &&
           args.opt_text("ViewUuid", &a->view_uuid, &a->has_view) &&
           args.opt_pname("Elem", &a->elem, &a->has_elem) && args.text("Selector", &a->selector);
}

}  // namespace

std::string VDW_ApplyAttributeRpc::attribute_object(const std::string* elem,
                                                    const std::string* version,
                                                    const std::string& selector) {
    if (!elem || elem->empty()) return selector;
    return version ? *elem + VDW_Vdcore::get_ver_ext_string() + *version : *elem;
}

void VDW_ApplyAttributeRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, "VDW_ApplyAttributeRpc", "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;
    Args a;
    if (!read_args(request().rpcargs(), &a, status())) return;
    // Attribute types here carry no default value of their own: "Default" gives the empty
    // value. Otherwise the value must be sent.
    if (!a.use_default && !a.has_value) {
        VDW_RpcArgs::missing(status(), "Value");
        return;
    }
    // Attributes go on one object at a time; a subtree is for the client to walk.
    if (a.recurse) {
        VDW_RpcArgs::not_supported(status(), "Recurse", "1");
        return;
    }
    VDW_Vdcore& core = *facade();
    VDW_Vdcore::AttributeRequest attr;
    if (a.has_view && !a.view_uuid.empty())
        core.open_view(a.view_uuid.c_str(), &attr.view, status());
    if (!status().is_ok()) return;
    attr.attype = a.attype;
    attr.value = a.use_default ? std::string() : a.value;
    attr.object = attribute_object(a.has_elem ? &a.elem : nullptr,
                                   a.has_version ? &a.version : nullptr, a.selector);
    attr.replace = a.replace;
    attr.comment = a.comment;
    core.apply_attribute(attr, status());
}
