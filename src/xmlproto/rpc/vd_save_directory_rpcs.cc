// "SaveDirectoryRpc" (dynamic views): a directory's changes ("ddiff") saved into its
// checkout in a view ("view", a location). The "ddiff" element's "path" attribute names the
// directory below the view's root; its children, applied in order, are:
//   <add name="N">E</add>                a name N for the element E (a pathname or location)
//   <add-symlink name="N">TEXT</add-symlink>  a symbolic link N holding TEXT
//   <remove name="N"/>                   the name N taken out
//   <rename from="A" to="B"/>            the name A renamed B
// and its "comment" attribute is the comment of each change. The directory must be checked
// out in the view (the core says so otherwise). Each change is one core command: a change
// that fails stops the save with its status, the changes before it kept.
// "SaveDirectorySnapshotRpc" and "SaveDirectoryAutomaticRpc" do the same in a snapshot or
// web view and in an automatic view.
#include <string>

#include "core/cmd/cmd.h"
#include "core/imsg/imsg.h"
#include "core/view/view.h"
#include "core/vob/vob_obj.h"
#include "foundation/wcm_status.h"
#include "xmlproto/resource/vd_view_resources.h"
#include "xmlproto/resource/vd_vob_resources.h"
#include "xmlproto/rpc/vd_xml_args.h"
#include "xmlproto/rpc/vd_xml_object_rpcs.h"

namespace {

bool valid_leaf(const std::string& name) {
    return !name.empty() && name.find('/') == std::string::npos && name != "." && name != ".." &&
           vob_utl_valid_name(name.c_str());
}

}  // namespace

void vd_xml_save_directory(VdXmlRpc& rpc, WCM_Status& status, VdXmlElem* root, int view_kind) {
    std::string view_loc;
    VdXmlElem* ddiff = root->extract_child("ddiff");
    if (!vd_xml_take_text(root, "view", &view_loc) || view_loc.empty() || !ddiff) {
        imsg_printf(IMSG_ERROR, "A view and the directory's changes are needed.\n");
        return void(status.set_status(1072));
    }
    view_t* view = nullptr;
    if (int st = vd_xml_view(view_loc, &view)) return void(status.set_status(st));
    const int kind = VdView(view).view_type();
    const bool fits = view_kind == 1 ? (kind == 1 || kind == 2) : kind == view_kind;
    if (!fits) {
        imsg_printf(IMSG_ERROR, "\"%s\" is not a view of the kind this request works in.\n",
                    view_loc.c_str());
        return void(status.set_status(1072));
    }
    const std::string dir = view_pname_to_vob(view, ddiff->get_attr("path").c_str());
    const std::string comment = ddiff->get_attr("comment").str();
    for (const VdXmlElem* c : ddiff->get_children()) {
        const std::string tag = c->get_tag().str();
        int st = 0;
        if (tag == "add" || tag == "add-symlink") {
            const std::string name = c->get_attr("name").str();
            if (!valid_leaf(name)) return void(status.set_status(1072));
            cmd_ln_args_t a;
            a.link = dir + "/" + name;
            a.view = &view->ctx;
            a.comment = comment;
            a.symbolic = tag == "add-symlink";
            if (a.symbolic) {
                a.target = c->get_value().str();
            } else {
                std::unique_ptr<VdResource> e;
                if ((st = vd_xml_resource(c->get_value().str(), e)))
                    return void(status.set_status(st));
                auto* ev = dynamic_cast<VdVobResource*>(e.get());
                auto* fv = dynamic_cast<VdFileBase*>(e.get());
                std::string pname;
                if (ev &&
                    (e->get_type() == VdResource::FELEM || e->get_type() == VdResource::DELEM))
                    st = vob_elem_get_pname(ev->vob(), ev->dbid(), &pname);
                else if (fv)
                    st = vob_elem_get_pname(fv->vob(), fv->element(), &pname);
                else
                    st = 1072;
                if (st) return void(status.set_status(st));
                a.target = pname;
            }
            st = cmd_ln(&a);
        } else if (tag == "remove") {
            const std::string name = c->get_attr("name").str();
            if (!valid_leaf(name)) return void(status.set_status(1072));
            cmd_rmname_args_t a;
            a.pnames = {dir + "/" + name};
            a.view = &view->ctx;
            a.comment = comment;
            st = cmd_rmname(&a);
        } else if (tag == "rename") {
            const std::string from = c->get_attr("from").str(), to = c->get_attr("to").str();
            if (!valid_leaf(from) || !valid_leaf(to)) return void(status.set_status(1072));
            cmd_mv_args_t a;
            a.from = dir + "/" + from;
            a.to = dir + "/" + to;
            a.view = &view->ctx;
            a.comment = comment;
            st = cmd_mv(&a);
        } else {
            imsg_printf(IMSG_ERROR, "Unknown directory change \"%s\".\n", tag.c_str());
            st = 1072;
        }
        if (st) return void(status.set_status(st));
    }
    (void)rpc;
}

void VdSaveDirectoryDynamicRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc&) {
    if (int rc = validate_rpc_version(request.get_root(), RPC_NAME, RPC_VERSION))
        return void(status().set_status(rc));
    vd_xml_save_directory(*this, status(), request.get_root(), 0);
}
