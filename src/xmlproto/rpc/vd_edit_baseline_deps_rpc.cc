// "EditBaselineDeps": the members of a composite baseline. The request:
//
//   <EditBaselineDeps rpc-version="1.0">
//     <baseline>LOCATION</baseline>            the baseline edited; when absent, a new one is
//     <stream>LOCATION</stream>                made in the stream, named from the base name by
//     <base-name>NAME</base-name>              the project's template, of the project's rootless
//                                              component
//     <add-baseline-deps><baseline>LOCATION</baseline>...</add-baseline-deps>
//     <remove-baseline-deps><baseline>LOCATION</baseline>...</remove-baseline-deps>
//     <virtual-bls>...</virtual-bls>           read and not used: no virtual baselines here
//     <comment>TEXT</comment>
//     <baseline-deps-flags validate-only="true"/>   or a child <flag name="validate-only"/>
//   </EditBaselineDeps>
//
// The rules (replacement of a member of the same component, no cycles, no clash in a
// closure) are the core's (cmd_chbl_deps). With "validate-only" everything is checked and
// nothing changes. Answers "EditBaselineDepsResponse" with "baseline" (the baseline's
// reference; absent when a new one was only validated) and "subbaseline-list" holding a
// "baseline" reference per direct member after the edit.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "core/cmd/cmd_xcm.h"
#include "core/vob/xcm.h"
#include "foundation/wcm_status.h"
#include "xmlproto/resource/vd_vob_resources.h"
#include "xmlproto/rpc/vd_xml_args.h"
#include "xmlproto/rpc/vd_xml_object_rpcs.h"

namespace {

// The selector of a resource of `type`; 0, or the status to answer.
int selector_of(const std::string& location, VdResource::Type type, vob_t** pvob,
                std::string* out) {
    std::unique_ptr<VdResource> r;
    if (int st = vd_xml_resource(location, r)) return st;
    auto* v = dynamic_cast<VdVobResource*>(r.get());
    if (!v || r->get_type() != type) return 1072;
    *pvob = v->vob();
    *out = v->selector();
    return 0;
}

bool validate_only(VdXmlElem* flags) {
    if (!flags) return false;
    if (vd_xml_flag(flags, "validate-only") || flags->get_value().str() == "validate-only")
        return true;
    const std::vector<std::string> named = vd_xml_take_flags(flags);
    return std::find(named.begin(), named.end(), "validate-only") != named.end();
}

void write_baseline(VdXmlStreamDoc& response, vob_t* pvob, vob_dbid_t b, int* st) {
    if (*st) return;
    VdBaseline bl(pvob, b, VOB_MTYPE_BASELINE);
    response.push("baseline");
    *st = bl.marshal(response);
    response.pop();
}

}  // namespace

void VdEditBaselineDepsRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc& response) {
    VdXmlElem* root = request.get_root();
    if (int rc = validate_rpc_version(root, RPC_NAME, RPC_VERSION))
        return void(status().set_status(rc));
    std::string baseline, stream, ignored;
    cmd_bl_deps_args_t a;
    vd_xml_take_text(root, "baseline", &baseline);
    vd_xml_take_text(root, "stream", &stream);
    vd_xml_take_text(root, "base-name", &a.basename);
    vd_xml_take_text(root, "comment", &a.comment);
    vd_xml_take_text(root, "virtual-bls", &ignored);
    const std::vector<std::string> add = vd_xml_take_list(root, "add-baseline-deps", "baseline");
    const std::vector<std::string> rm = vd_xml_take_list(root, "remove-baseline-deps", "baseline");
    a.validate_only = validate_only(root->extract_child("baseline-deps-flags"));
    if (baseline.empty() && (stream.empty() || a.basename.empty())) {
        set_bad_request("EditBaselineDeps: a baseline, or a stream and a base name, are needed");
        return;
    }
    vob_t* pvob = nullptr;
    int st = baseline.empty() ? selector_of(stream, VdResource::STREAM, &pvob, &a.stream)
                              : selector_of(baseline, VdResource::BASELINE, &pvob, &a.baseline);
    for (const auto& [locs, out] : {std::make_pair(&add, &a.add), std::make_pair(&rm, &a.remove)})
        for (const std::string& l : *locs) {
            vob_t* pv = nullptr;
            std::string sel;
            if (!st) st = selector_of(l, VdResource::BASELINE, &pv, &sel);
            out->push_back(sel);
        }
    if (st == 1072) {
        set_bad_request("EditBaselineDeps: a location names no object of the kind its place wants");
        return;
    }
    if (st || (st = cmd_chbl_deps(&a))) return void(status().set_status(st));
    response.push("EditBaselineDepsResponse");
    if (a.result) write_baseline(response, pvob, a.result, &st);
    response.push("subbaseline-list");
    for (vob_dbid_t m : a.members) write_baseline(response, pvob, m, &st);
    response.pop();
    response.pop();
    if (st) status().set_status(st);
}
