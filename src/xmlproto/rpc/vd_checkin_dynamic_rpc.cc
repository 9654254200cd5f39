// "BulkCheckinDynamic" and the checkin every checkin RPC shares, bulk or atomic, dynamic or
// snapshot. Every item is resolved to its checkout in the view first, merges the client says
// it made are recorded, and when a checkout still needs the latest version of its branch
// merged in nothing is checked in. Then one core checkin takes all items: atomically (all or
// none) for the atomic RPCs and with the "atomic" flag, else item by item.
#include <algorithm>
#include <string>
#include <vector>

#include "core/cmd/cmd.h"
#include "core/cmd/cmd_xcm.h"
#include "core/view/view.h"
#include "facade/vdw_vdcore.h"
#include "facade/vdw_vdcore_report.h"
#include "foundation/catalogs/vdw_rpcs_catalog.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "ops/checkout/vdw_co_common.h"
#include "request/vdw_request.h"
#include "xmlproto/rpc/vd_xml_args.h"
#include "xmlproto/rpc/vd_xml_op_family.h"
#include "xmlproto/rpc/vd_xml_op_rpcs.h"
#include "xmlproto/xml/vd_xml_doc.h"
#include "xmlproto/xml/vd_xml_stream.h"

namespace {

struct Item {
    std::string path, from_path, from_version, base_version;
    std::string pname;
    vob_resolved_t r;
    vob_checkout_info_t co;
    std::string file;  // the contents ("" : the view's own copy)
};

// The items of the request: "path" children, or the atomic RPCs' "checkin-file-set".
bool read_items(VdXmlElem* root, bool with_from, bool atomic, std::vector<Item>* items) {
    if (atomic) {
        VdXmlElem* set = root->extract_child("checkin-file-set");
        if (!set) return false;
        while (VdXmlElem* f = set->extract_child("checkin-file")) {
            Item it;
            if (!vd_xml_take_text(f, "path", &it.path) || it.path.empty()) return false;
            vd_xml_take_text(f, "from-version", &it.from_version);
            vd_xml_take_text(f, "base-version", &it.base_version);
            items->push_back(it);
        }
        return !items->empty();
    }
    for (const std::string& p : vd_xml_take_all(root, "path")) {
        Item it;
        it.path = p;
        items->push_back(it);
    }
    if (items->empty()) return false;
    if (with_from) {
        Item& first = items->front();
        const bool from = vd_xml_take_text(root, "from-path", &first.from_path) |
                          vd_xml_take_text(root, "from-version", &first.from_version) |
                          vd_xml_take_text(root, "base-version", &first.base_version);
        if (from && items->size() > 1) return false;
    }
    return true;
}

}  // namespace

void vd_xml_checkin(VdXmlRpc& rpc, VdXmlElem* root, VdXmlViewKind kind, bool with_from, bool atomic,
                    const char* response_root, VdXmlStreamDoc& response) {
    VDW_Trace trace(QLMX_COMPONENT, "VdCheckinDynamicRpc", "handle_request");
    WCM_Status& status = rpc.status();
    std::vector<Item> items;
    std::string view_loc, activity;
    vd_xml_take_text(root, "view", &view_loc);
    vd_xml_take_text(root, "dest-activity", &activity);
    const std::string comment = vd_xml_take_comment(root, "comment");
    VdXmlElem* flags = root->extract_child("checkin-flags");
    if (!read_items(root, with_from, atomic, &items)) {
        status.set_status(
            vd_xml_bad("Checkin: the request names no path (or \"from-\" elements "
                       "with more than one path)."));
        return;
    }
    view_t* view = nullptr;
    if (!view_loc.empty()) {
        if (int st = vd_xml_view_of(view_loc, &view)) return void(status.set_status(st));
    }
    VDW_Vdcore& core = *rpc.facade();
    for (Item& it : items) {
        std::string vob_pname;
        if (int st = vd_xml_op_pname(kind, &view, it.path, &vob_pname))
            return void(status.set_status(st));
        if (!vdw_checked_out_item(core, view, vob_pname, &it.pname, &it.r, &it.co, status)) return;
        // A merge the client made into its contents: recorded before the check below.
        if (!it.from_version.empty()) {
            core.set_merged(view, it.pname.c_str(), it.from_version.c_str(), status);
            if (!status.is_ok()) return;
        }
        if (!it.from_path.empty()) {
            std::string from_pname;
            if (int st = vd_xml_op_pname(kind, &view, it.from_path, &from_pname))
                return void(status.set_status(st));
            it.file = vd_xml_private_file(view, from_pname);
            if (it.file.empty()) {
                status.set_status(vd_xml_bad("Checkin: \"from-path\" names no file of the view."));
                return;
            }
        }
    }
    // A snapshot view's client may send the contents of a single item with the request.
    const char* upload = rpc.request().upload_pname();
    if (kind == VD_XML_SNAPSHOT && upload && *upload && items.size() == 1 && items[0].file.empty())
        items[0].file = upload;

    response.push(response_root);
    const Item* first_merge = nullptr;
    for (const Item& it : items) {
        VDW_MergeInput in;
        if (!vdw_merge_input(core, it.r.vob, it.co, &in)) continue;
        if (!first_merge) first_merge = &it;
        response.push("merge-needed");
        vd_xml_put(response, "path", it.path);
        vd_xml_put(response, "base-version", in.base);
        vd_xml_put(response, "from-version", in.from);
        vd_xml_put(response, "creator", in.creator);
        vd_xml_put(response, "merge-type", in.merge_type);
        response.pop();
    }
    if (first_merge) {
        response.pop();
        status.set_status(TBS_ST_MERGE_FROM_LATEST);
        status.format(&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_CHECKIN_NOT_FROM_LATEST,
                      first_merge->path.c_str());
        return;
    }
    cmd_checkin_args_t ci;
    ci.view = &view->ctx;
    ci.atomic = atomic || vd_xml_flag(flags, "atomic");
    ci.identical = vd_xml_flag(flags, "checkin-identical");
    ci.ptime = vd_xml_flag(flags, "ptime");
    ci.comment_mode = comment.empty() ? CMD_COMMENT_NONE : CMD_COMMENT_GIVEN;
    ci.comment = comment;
    for (const Item& it : items) {
        if (!activity.empty() &&
            !vdw_core_ok(status, cmd_mvact(it.pname.c_str(), &view->ctx, activity.c_str()),
                         VDW_LIB_MOVE_TO_ACTIVITY_FAILED, it.pname.c_str(), activity.c_str())) {
            response.pop();
            return;
        }
        ci.pnames.push_back(it.pname);
        ci.from.push_back(it.file);
    }
    const tbs_status_t st = cmd_checkin(&ci);
    if (trace.shouldTrace(1)) trace.writeTrace("checkin of %zu items: %d", items.size(), st);
    // What went in (all of it, or, item by item, those before a failure).
    for (size_t i = 0; i < ci.versions.size() && i < items.size(); ++i) {
        std::string name;
        WCM_Status ignored;
        core.get_obj_name(items[i].r.vob, ci.versions[i], &name, ignored);
        response.push("checked-in");
        vd_xml_put(response, "path", items[i].path);
        vd_xml_put(response, "version", name);
        response.pop();
    }
    response.pop();
    if (st != TBS_ST_OK) {
        status.set_status(st);
        if (ci.atomic)
            status.format(&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_ATOMIC_CHECKIN_FAILED);
        else
            status.format(&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_CHECKIN_FAILED,
                          items[std::min(ci.versions.size(), items.size() - 1)].path.c_str());
    }
}

void VdCheckinDynamicRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc& response) {
    const char* matched = nullptr;
    if (int rc = validate_rpc_version(request.get_root(), RPC_NAME, RPC_VERSION,
                                      RPC_VERSION_NO_FROM, &matched))
        return void(status().set_status(rc));
    vd_xml_checkin(*this, request.get_root(), VD_XML_DYNAMIC, matched != RPC_VERSION_NO_FROM, false,
                   "BulkCheckinDynamicResponse", response);
}
