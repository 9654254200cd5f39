// "MakeBaselines": baselines of a stream ("stream", a location), one per component that
// changed, or of the components named ("components" with "component" children). Reads
// "bl-root-name" (the baselines' name), "label-kind" ("FULLY_LABELED" or
// "INCREMENTALLY_LABELED"; every baseline here labels its versions, so "NOT_LABELED" is
// refused), "comment", and "flag" children "IDENTICAL" (a baseline of every component, even
// unchanged: a full one) and "RECOMMEND". "workspace", "activities" and the component
// dependency lists are read; baselines here are made from what the stream selects, and
// composite baselines are not kept. Answers "MakeBaselinesResponse" with one "baseline"
// holding each new baseline's reference.
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
    if (kind == "NOT_LABELED" || !add.empty() || !rm.empty()) {
        status().set_status(VdResource::unsupported(
            kind == "NOT_LABELED" ? "baselines without labels" : "composite baselines", __FILE__,
            __LINE__));
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
    for (const std::string& c : components) {
        std::unique_ptr<VdResource> comp;
        if (int st = vd_xml_resource(c, comp)) return void(status().set_status(st));
        VdLocation l;
        comp->get_user_friendly_location(l);
        a.components.push_back(l.to_native().str());
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
