// "MakeProject": a project in a project VOB. Reads "proj-name" (a selector
// "NAME@<project VOB>", or a name when "proj-folder" names the folder's VOB), "proj-folder"
// (a folder selector; the root folder when absent), "mod-components" (its "component"
// children: component selectors), "baseline-naming-template", the policy lists
// "enabled-policy-list" and "disabled-policy-list" (their "policy" children), "comment".
// "is-single-stream", "rebase-level" and "perstream-policy-list" are read and kept by no
// one: streams are made by the client, and rebase and per-stream policies are not kept.
// Answers "MakeProjectResponse" holding "project" with the project's reference.
#include <string>
#include <vector>

#include "core/cmd/cmd_xcm.h"
#include "core/vob/xcm.h"
#include "foundation/wcm_status.h"
#include "xmlproto/resource/vd_vob_resources.h"
#include "xmlproto/rpc/vd_xml_args.h"
#include "xmlproto/rpc/vd_xml_object_rpcs.h"

namespace {

void policy_bits(const std::vector<std::string>& names, int* bits, std::string* unknown) {
    for (const std::string& n : names) {
        if (n == "DELIVER_NCO_DEVSTR")
            *bits |= XCM_POLICY_DELIVER_NCO_DEVSTR;
        else if (n == "DELIVER_NCO_SELACT")
            *bits |= XCM_POLICY_DELIVER_NCO_SELACT;
        else if (n == "REBASE_CO")
            *bits |= XCM_POLICY_REBASE_CO;
        else
            *unknown = n;
    }
}

}  // namespace

void VdMakeProjectRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc& response) {
    VdXmlElem* root = request.get_root();
    if (int rc = validate_rpc_version(root, RPC_NAME, RPC_VERSION))
        return void(status().set_status(rc));
    std::string name, folder, tmpl, comment, ignored;
    if (!vd_xml_take_text(root, "proj-name", &name) || name.empty()) {
        set_bad_request("MakeProject: no project name");
        return;
    }
    vd_xml_take_text(root, "proj-folder", &folder);
    vd_xml_take_text(root, "baseline-naming-template", &tmpl);
    vd_xml_take_text(root, "comment", &comment);
    vd_xml_take_text(root, "is-single-stream", &ignored);
    vd_xml_take_text(root, "rebase-level", &ignored);
    cmd_mkproject_args_t a;
    a.components = vd_xml_take_list(root, "mod-components", "component");
    int enabled = 0, disabled = 0;
    std::string unknown, off;
    policy_bits(vd_xml_take_list(root, "enabled-policy-list", "policy"), &enabled, &unknown);
    // Policies this server does not have are off: disabling them is no change.
    policy_bits(vd_xml_take_list(root, "disabled-policy-list", "policy"), &disabled, &off);
    if (!unknown.empty()) {
        status().set_status(VdResource::unsupported("policy not kept by this server: " + unknown,
                                                    __FILE__, __LINE__));
        return;
    }
    vd_xml_take_list(root, "perstream-policy-list", "policy");
    if (enabled & disabled) {
        set_bad_request("MakeProject: a policy both enabled and disabled");
        return;
    }
    // The project VOB: the name's scope, else the folder's VOB.
    const size_t at = name.find('@');
    if (at != std::string::npos) {
        a.name = name.substr(0, at);
        a.pvob = name.substr(at + 1);
    } else {
        std::unique_ptr<VdResource> f;
        if (folder.empty()) {
            set_bad_request("MakeProject: no project VOB");
            return;
        }
        if (int st = vd_xml_resource(folder, f)) return void(status().set_status(st));
        auto* fv = dynamic_cast<VdVobResource*>(f.get());
        if (!fv || f->get_type() != VdResource::FOLDER) {
            set_bad_request("MakeProject: proj-folder names no folder");
            return;
        }
        a.name = name;
        a.pvob = fv->vob()->tag;
    }
    a.folder = folder;
    a.policies = enabled;
    if (!tmpl.empty()) a.bl_template = tmpl;
    a.comment = comment;
    if (int st = cmd_mkproject(&a)) return void(status().set_status(st));
    vob_t* pvob = nullptr;
    if (int st = vob_open_by_tag(a.pvob.c_str(), &pvob)) return void(status().set_status(st));
    VdProject project(pvob, a.project, VOB_MTYPE_PROJECT);
    response.push("MakeProjectResponse");
    response.push("project");
    if (int st = project.marshal(response)) status().set_status(st);
    response.pop();
    response.pop();
}
