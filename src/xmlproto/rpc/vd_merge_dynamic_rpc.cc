// "MergeRpc" and the merge both merge RPCs share: each contributor in turn is merged into
// the checkout of "to-version" in the view, stopping at the first merge that fails or leaves
// conflicts (status 1026, no arrow recorded for it). "MergeSnapshotRpc" keeps the result in
// "<pname>.merge.out" and the last contributor in "<pname>.contrib" in the view's storage on
// this server, and answers "MergeSnapshotResponse" with their VOB pathnames ("merge-output",
// "contrib-output"), which the view's owner reads with read_content_rpc.
#include <sys/stat.h>

#include <string>
#include <vector>

#include "core/cmd/cmd.h"
#include "core/util/fileutl.h"
#include "core/view/view.h"
#include "facade/vdw_vdcore.h"
#include "facade/vdw_vdcore_report.h"
#include "foundation/catalogs/vdw_lib_catalog.h"
#include "foundation/wcm_status.h"
#include "xmlproto/resource/vd_resource.h"
#include "xmlproto/rpc/vd_xml_args.h"
#include "xmlproto/rpc/vd_xml_op_family.h"
#include "xmlproto/rpc/vd_xml_op_rpcs.h"
#include "xmlproto/rpc/vd_xml_op_util.h"
#include "xmlproto/xml/vd_xml_doc.h"
#include "xmlproto/xml/vd_xml_stream.h"

namespace {

// The view's own copy of `pname` on this server, and what a snapshot view keeps beside it
// for its client ("<copy>.merge.out", "<copy>.contrib").
std::string kept_file(view_t* view, const std::string& pname, const char* suffix) {
    return view->private_root + pname + suffix;
}

}  // namespace

void vd_xml_merge(VdXmlRpc& rpc, VdXmlElem* root, VdXmlViewKind kind, VdXmlStreamDoc* answer) {
    WCM_Status& status = rpc.status();
    std::string view_loc, to, base;
    vd_xml_take_text(root, "view", &view_loc);
    vd_xml_take_text(root, "to-version", &to);
    vd_xml_take_text(root, "base-version", &base);
    const std::vector<std::string> contribs = vd_xml_take_list(root, "contrib-versions", "contrib");
    const bool ndata = vd_xml_take_bool(root, "no-data");
    const bool no_arrows = vd_xml_take_bool(root, "no-arrows");
    vd_xml_take_bool(root, "replace");
    vd_xml_take_bool(root, "is-hijacked");
    if (to.empty() || contribs.empty()) {
        status.set_status(vd_xml_bad("Merge: a to-version and contributors are needed."));
        return;
    }
    if (no_arrows) {
        status.set_status(VD_UNSUPPORTED("merges that record no merge arrow"));
        return;
    }
    view_t* view = nullptr;
    std::string pname;
    int st = view_loc.empty() ? 0 : vd_xml_view_of(view_loc, &view);
    if (!st) st = vd_xml_op_pname(kind, &view, to, &pname);
    if (st) return void(status.set_status(st));
    VDW_Vdcore& core = *rpc.facade();
    for (const std::string& from : contribs) {
        cmd_merge_args_t m;
        if (!VDW_Vdcore::merge_names(view, pname, from, base, &m)) {
            status.set_status(vd_xml_bad("Merge: a version names nothing in the view."));
            return;
        }
        m.ndata = ndata;
        // A dynamic view's checkout is its file in the view: written there, made when the
        // checkout has not been written yet.
        const std::string out = kept_file(view, m.to, kind == VD_XML_SNAPSHOT ? ".merge.out" : "");
        if (!ndata) {
            fileutl_mkdir_p(out.substr(0, out.rfind('/')).c_str(), 0775);
            m.output = out;
        }
        const tbs_status_t merged = cmd_merge(&m);
        if (!vdw_core_ok(status, merged, VDW_LIB_MERGE_FAILED, to.c_str())) return;
        // The contributor kept beside the result, for the client to compare.
        if (kind == VD_XML_SNAPSHOT && !ndata && m.from_version) {
            vob_resolved_t r;
            core.resolve_vob_obj(view, m.to.c_str(), 0, &r, status);
            char text[VDW_Vdcore::PNAME_SIZE];
            if (status.is_ok()) core.get_cleartext(r.vob, m.from_version, text, status);
            if (!status.is_ok()) return;
            const std::string contrib = kept_file(view, m.to, ".contrib");
            const size_t slash = contrib.rfind('/');
            core.copy_file(text, contrib.substr(0, slash).c_str(),
                           contrib.substr(slash + 1).c_str(), status);
            VDW_Vdcore::free_cleartext(text);
            if (!status.is_ok()) return;
        }
    }
    // Where the result and the last contributor are kept, for the client to read back
    // (read_content_rpc with the view's UUID).
    if (answer && !ndata) {
        answer->push("MergeSnapshotResponse");
        vd_xml_put(*answer, "merge-output", pname + ".merge.out");
        vd_xml_put(*answer, "contrib-output", pname + ".contrib");
        answer->pop();
    }
}

void VdMergeDynamicRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc&) {
    if (int rc = validate_rpc_version(request.get_root(), RPC_NAME, RPC_VERSION))
        return void(status().set_status(rc));
    vd_xml_merge(*this, request.get_root(), VD_XML_DYNAMIC);
}
