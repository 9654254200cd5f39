// "IsAncestorOfRpc": whether "ancestor-version" is reached from "descendant-version" through
// predecessors and merge arrows (a version is its own ancestor). Answers "is-ancestor"
// with "true" or "false"; versions of different elements are never ancestors.
#include <deque>
#include <string>
#include <unordered_set>
#include <vector>

#include "core/cmd/cmd.h"
#include "core/imsg/imsg.h"
#include "foundation/wcm_status.h"
#include "xmlproto/resource/vd_vob_resources.h"
#include "xmlproto/rpc/vd_xml_args.h"
#include "xmlproto/rpc/vd_xml_object_rpcs.h"

namespace {

int version_of(const std::string& location, const VdVobResource** out,
               std::unique_ptr<VdResource>& holder) {
    int st = vd_xml_resource(location, holder);
    if (st) return st;
    const VdResource::Type t = holder->get_type();
    if (t != VdResource::FVER && t != VdResource::DVER) {
        imsg_printf(IMSG_ERROR, "\"%s\" is not a version.\n", location.c_str());
        return 1072;
    }
    *out = static_cast<const VdVobResource*>(holder.get());
    return 0;
}

}  // namespace

void VdIsAncestorOfRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc& response) {
    VdXmlElem* root = request.get_root();
    if (int rc = validate_rpc_version(root, RPC_NAME, RPC_VERSION)) {
        status().set_status(rc);
        return;
    }
    std::string a_loc, d_loc;
    if (!vd_xml_take_text(root, "ancestor-version", &a_loc) ||
        !vd_xml_take_text(root, "descendant-version", &d_loc) || a_loc.empty() || d_loc.empty()) {
        set_bad_request("IsAncestorOfRpc: two versions are needed");
        return;
    }
    std::unique_ptr<VdResource> ah, dh;
    const VdVobResource *a = nullptr, *d = nullptr;
    int st = version_of(a_loc, &a, ah);
    if (!st) st = version_of(d_loc, &d, dh);
    if (st) {
        status().set_status(st);
        return;
    }
    bool found = false;
    if (a->vob() == d->vob()) {
        // Breadth first from the descendant; each version is visited once.
        std::deque<int64_t> todo{d->dbid()};
        std::unordered_set<int64_t> seen{d->dbid()};
        while (!todo.empty() && !found) {
            const int64_t v = todo.front();
            todo.pop_front();
            if (v == a->dbid()) {
                found = true;
                break;
            }
            std::vector<int64_t> parents;
            if ((st = cmd_version_parents(d->vob(), v, &parents))) {
                status().set_status(st);
                return;
            }
            for (int64_t p : parents)
                if (seen.insert(p).second) todo.push_back(p);
        }
    }
    VdXmlElem* e = response.push("is-ancestor");
    e->add_value(found ? "true" : "false");
    response.pop();
}
