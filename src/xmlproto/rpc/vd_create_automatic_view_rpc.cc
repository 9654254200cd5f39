// "CreateAutomaticViewRpc": an automatic view for the acting user. Reads "view-tag",
// "stream" (a stream location: the view is attached to it), "selector" (a config spec's
// text, for a view on no stream), "comment"; "text-mode" and "registry-region" are read
// (views here keep text as it is, in the one region). Answers "CreateAutomaticViewResponse"
// holding "view-uuid".
#include <string>

#include "core/sum/sum_string.h"
#include "facade/vdw_vdcore.h"
#include "foundation/wcm_status.h"
#include "xmlproto/resource/vd_vob_resources.h"
#include "xmlproto/rpc/vd_xml_args.h"
#include "xmlproto/rpc/vd_xml_object_rpcs.h"

void VdCreateAutomaticViewRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc& response) {
    VdXmlElem* root = request.get_root();
    if (int rc = validate_rpc_version(root, RPC_NAME, RPC_VERSION))
        return void(status().set_status(rc));
    std::string tag, stream, cspec, ignored;
    if (!vd_xml_take_text(root, "view-tag", &tag) || tag.empty()) {
        set_bad_request("CreateAutomaticViewRpc: no view tag");
        return;
    }
    vd_xml_take_text(root, "stream", &stream);
    vd_xml_take_text(root, "selector", &cspec);
    vd_xml_take_text(root, "text-mode", &ignored);
    vd_xml_take_text(root, "registry-region", &ignored);
    vd_xml_take_text(root, "comment", &ignored);
    std::string stream_sel;
    if (!stream.empty()) {
        std::unique_ptr<VdResource> s;
        if (int st = vd_xml_resource(stream, s)) return void(status().set_status(st));
        auto* sv = dynamic_cast<VdVobResource*>(s.get());
        if (!sv || s->get_type() != VdResource::STREAM) {
            set_bad_request("CreateAutomaticViewRpc: the stream names no stream");
            return;
        }
        stream_sel = sv->selector();
    }
    SUM_Uuid uuid;
    facade()->create_view(tag.c_str(), cspec.c_str(), nullptr, &uuid, status(),
                          stream_sel.empty() ? nullptr : stream_sel.c_str(), "automatic");
    if (!status().is_ok()) return;
    response.push("CreateAutomaticViewResponse");
    VdXmlElem* e = response.push("view-uuid");
    e->add_value(uuid.string());
    response.pop();
    response.pop();
}
