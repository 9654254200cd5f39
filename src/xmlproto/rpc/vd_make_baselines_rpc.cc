// "MakeBaselines": baselines of a stream ("stream", a location), one per component that
// changed, or of the components named ("components" with "component" children). Reads
// "bl-root-name" (the baselines' name), "label-kind" ("FULLY_LABELED" or
// "INCREMENTALLY_LABELED"; every baseline here labels its versions, so "NOT_LABELED" is
// refused), "comment", and "flag" children "IDENTICAL" (a baseline of every component, even
// unchanged: a full one) and "RECOMMEND". "add-component-deps" and "remove-component-deps"
// (each with "component" children) make a composite baseline as well, of the rootless
// component named among "components" or else of the project's one, whose members are the
// stream's newest baselines of the components it depends on (cmd_mkbl). "workspace" and
// "activities" are read; baselines here are made from what the stream selects. Answers
// "MakeBaselinesResponse" with one "baseline" holding each new baseline's reference.
#include <algorithm>
#include <string>
#include <vector>

#include "core/cmd/cmd_xcm.h"
#include "core/vob/xcm.h"
#include "foundation/wcm_status.h"
#include "xmlproto/resource/vd_vob_resources.h"
#include "xmlproto/rpc/vd_xml_args.h"
#include "xmlproto/rpc/vd_xml_object_rpcs.h"

void VdMakeBaselinesRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc& response) {
    VdXmlElem* root = request.get_root();
    if (int rc = validate_rpc_version(root, RPC_NAME, RPC_VERSION))
        return void(status().set_status(rc));
    std::string stream, name, kind, comment, ignored;
    if (!vd_xml_take_text(root, "stream", &stream) || stream.empty() ||
        !vd_xml_take_text(root, "bl-root-name", &name) || name.empty()) {
        set_bad_request("MakeBaselines: a stream and a baseline name are needed");
        return;
    }
    vd_xml_take_text(root, "label-kind", &kind);
    vd_xml_take_text(root, "comment", &comment);
    vd_xml_take_text(root, "workspace", &ignored);
    const std::vector<std::string> components = vd_xml_take_list(root, "components", "component");
    vd_xml_take_list(root, "activities", "activity");
    const std::vector<std::string> add = vd_xml_take_list(root, "add-component-deps", "component");
    const std::vector<std::string> rm =
        vd_xml_take_list(root, "remove-component-deps", "component");
    const std::vector<std::string> flags = vd_xml_take_flags(root);
    auto flag = [&](const char* f) {
        return std::find(flags.begin(), flags.end(), f) != flags.end();
    };
    if (kind == "NOT_LABELED") {
        status().set_status(
            VdResource::unsupported("baselines without labels", __FILE__, __LINE__));
        return;
    }
    std::unique_ptr<VdResource> s;
    if (int st = vd_xml_resource(stream, s)) return void(status().set_status(st));
    auto* sv = dynamic_cast<VdVobResource*>(s.get());
    if (!sv || s->get_type() != VdResource::STREAM) {
        set_bad_request("MakeBaselines: the stream names no stream");
        return;
    }
    cmd_mkbl_args_t a;
    a.stream = sv->selector();
    a.basename = name;
    a.full = kind == "FULLY_LABELED" || flag("IDENTICAL");
    a.recommend = flag("RECOMMEND");
    a.comment = comment;
    // Components as selectors; a rootless one named is the composite's.
    auto selector = [&](const std::string& location, std::string* out, bool* rootless) {
        std::unique_ptr<VdResource> comp;
        if (int st = vd_xml_resource(location, comp)) return st;
        auto* v = dynamic_cast<VdVobResource*>(comp.get());
        xcm_component_info_t info;
        if (!v || comp->get_type() != VdResource::COMPONENT) return 1072;
        if (int st = xcm_get_component(v->vob(), v->dbid(), &info)) return st;
        *out = v->selector();
        *rootless = info.root_element == 0;
        return 0;
    };
    for (const auto& [locs, out] :
         {std::make_pair(&components, &a.components), std::make_pair(&add, &a.add_comp_deps),
          std::make_pair(&rm, &a.remove_comp_deps)})
        for (const std::string& l : *locs) {
            std::string sel;
            bool rootless = false;
            if (int st = selector(l, &sel, &rootless)) {
                if (st == 1072) return set_bad_request("MakeBaselines: a component names none");
                return void(status().set_status(st));
            }
            if (out == &a.components && rootless) a.composite = sel;
            out->push_back(sel);
        }
    if (int st = cmd_mkbl(&a)) return void(status().set_status(st));
    response.push("MakeBaselinesResponse");
    for (vob_dbid_t b : a.baselines) {
        VdBaseline bl(sv->vob(), b, VOB_MTYPE_BASELINE);
        response.push("baseline");
        int st = bl.marshal(response);
        response.pop();
        if (st) {
            status().set_status(st);
            break;
        }
    }
    response.pop();
}
