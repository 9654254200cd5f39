// VDW_FetchVtreeRpc.
#include "webview/vdw_fetch_vtree_rpc.h"

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/imsg/imsg.h"
#include "core/rgy/rgy.h"
#include "core/view/view.h"
#include "core/vob/vob_obj.h"
#include "facade/vdw_rpc_args.h"
#include "facade/vdw_vdcore.h"
#include "foundation/catalogs/catalogs.h"
#include "foundation/catalogs/vdw_rpcs_catalog.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_req_args.h"
#include "request/vdw_request.h"

namespace {

const char* const kClass = "VDW_FetchVtreeRpc";

// Which nodes a request wants sent. Every filter passes every node: clients ask for
// "interesting" or "not obsolete" trees, and the whole of either is the tree itself.
class NodeFilter {
public:
    virtual ~NodeFilter() = default;
    virtual bool passes(vob_dbid_t) const { return true; }
    static std::unique_ptr<NodeFilter> create_from_string(const std::string& text);
};
class NodeFilterAny : public NodeFilter {};
class NodeFilterInteresting : public NodeFilter {};
class NodeFilterNotObsolete : public NodeFilter {};

std::unique_ptr<NodeFilter> NodeFilter::create_from_string(const std::string& text) {
    if (text == "NodeFilter.INTERESTING") return std::make_unique<NodeFilterInteresting>();
    if (text == "NodeFilter.NOT_OBSOLETE") return std::make_unique<NodeFilterNotObsolete>();
    return std::make_unique<NodeFilterAny>();
}

// The element's tree as its versions describe it: each branch with its versions in order,
// the version each branch sprouts from, and the merge arrows between versions.
struct Tree {
    vob_t* vob = nullptr;
    vob_dbid_t element = 0;
    vob_dbid_t main_branch = 0;
    std::map<vob_dbid_t, vob_version_info_t> versions;
    struct Branch {
        vob_dbid_t sprout = 0;             // the version it grows from; 0 for the main branch
        std::string path;                  // "/main/dev"
        std::vector<vob_dbid_t> versions;  // by number; a checkout last
    };
    std::map<vob_dbid_t, Branch> branches;
    std::map<vob_dbid_t, std::vector<vob_dbid_t>> sub_branches;  // by the version they sprout from
    std::map<vob_dbid_t, std::vector<vob_dbid_t>> merge_children, merge_parents;

    bool is_branch(vob_dbid_t d) const { return branches.count(d) != 0; }
    bool is_version(vob_dbid_t d) const { return versions.count(d) != 0; }
    bool holds(vob_dbid_t d) const { return is_branch(d) || is_version(d); }
    vob_dbid_t parent(vob_dbid_t d) const {
        if (is_version(d)) return versions.at(d).branch;
        if (is_branch(d)) return branches.at(d).sprout;
        return 0;
    }
    std::vector<vob_dbid_t> children(vob_dbid_t d) const {
        if (is_branch(d)) return branches.at(d).versions;
        auto it = sub_branches.find(d);
        return it == sub_branches.end() ? std::vector<vob_dbid_t>{} : it->second;
    }
    const std::vector<vob_dbid_t>& merges(const std::map<vob_dbid_t, std::vector<vob_dbid_t>>& m,
                                          vob_dbid_t d) const {
        static const std::vector<vob_dbid_t> kNone;
        auto it = m.find(d);
        return it == m.end() ? kNone : it->second;
    }
    // A version's immediate descendants: the later versions of its branch (for a checked-in
    // version), its sub-branches, its merge children.
    std::vector<vob_dbid_t> descendants(vob_dbid_t d) const {
        if (is_branch(d)) return branches.at(d).versions;
        std::vector<vob_dbid_t> out;
        const vob_version_info_t& v = versions.at(d);
        if (!v.checked_out) {
            const std::vector<vob_dbid_t>& on = branches.at(v.branch).versions;
            auto at = std::find(on.begin(), on.end(), d);
            if (at != on.end()) out.insert(out.end(), at + 1, on.end());
        }
        for (vob_dbid_t b : children(d)) out.push_back(b);
        for (vob_dbid_t m : merges(merge_children, d)) out.push_back(m);
        return out;
    }

    tbs_status_t load(vob_t* v, vob_dbid_t elem) {
        vob = v;
        element = elem;
        tbs_status_t st = vob_elem_get_main_branch(vob, element, &main_branch);
        std::vector<vob_version_info_t> list;
        if (st == TBS_ST_OK) st = vob_ver_list(vob, element, &list);
        // Checkouts (of every view) are versions of the tree too.
        std::vector<vob_checkout_info_t> checkouts;
        if (st == TBS_ST_OK) st = vob_ob_next_ckouts(vob, element, &checkouts);
        for (const vob_checkout_info_t& co : checkouts) {
            if (st != TBS_ST_OK) break;
            bool listed = false;
            for (const vob_version_info_t& ver : list) listed |= ver.dbid == co.dbid;
            vob_version_info_t ver;
            if (!listed && (st = vob_ver_get_info(vob, co.dbid, &ver)) == TBS_ST_OK)
                list.push_back(ver);
        }
        if (st != TBS_ST_OK) return st;
        for (const vob_version_info_t& ver : list) versions[ver.dbid] = ver;
        for (const vob_version_info_t& ver : list) {
            Branch& b = branches[ver.branch];
            b.path = ver.branch_path;
            b.versions.push_back(ver.dbid);
        }
        for (auto& [dbid, b] : branches) {
            std::sort(b.versions.begin(), b.versions.end(), [&](vob_dbid_t x, vob_dbid_t y) {
                const vob_version_info_t &a = versions[x], &c = versions[y];
                if (a.checked_out != c.checked_out) return c.checked_out;
                return a.number < c.number;
            });
            // A branch grows from the predecessor of its first version.
            const vob_version_info_t& first = versions[b.versions.front()];
            if (dbid != main_branch && first.predecessor && versions.count(first.predecessor) &&
                versions[first.predecessor].branch != dbid) {
                b.sprout = first.predecessor;
                sub_branches[b.sprout].push_back(dbid);
            }
        }
        for (const auto& [dbid, ver] : versions) {
            std::vector<vob_hlink_info_t> links;
            if ((st = vob_obj_get_hlinks(vob, dbid, &links)) != TBS_ST_OK) return st;
            for (const vob_hlink_info_t& l : links)
                if (l.type == "Merge" && l.from == dbid && versions.count(l.to)) {
                    merge_children[dbid].push_back(l.to);
                    merge_parents[l.to].push_back(dbid);
                }
        }
        return TBS_ST_OK;
    }
};

// Sends the nodes a subset visits, each once, with their ancestors when asked.
class ResponseStreamGenerator {
public:
    ResponseStreamGenerator(VDW_AbstractRpc& rpc, VDW_Vdcore& facade, view_t* view,
                            const Tree& tree, const NodeFilter& filter,
                            const std::set<vob_dbid_t>& boundary, vob_dbid_t selected)
        : rpc_(rpc),
          facade_(facade),
          view_(view),
          tree_(tree),
          filter_(filter),
          boundary_(boundary),
          selected_(selected) {}

    // False once the response failed or a core call did (the status says which).
    bool visit(vob_dbid_t dbid, bool with_ancestors, WCM_Status& status);
    bool element_desc(WCM_Status& status);

private:
    bool build(vob_dbid_t dbid, WCM_Status& status);
    bool branch_node(vob_dbid_t dbid, WCM_Status& status);
    bool version_node(vob_dbid_t dbid, WCM_Status& status);
    bool core(tbs_status_t st, const char* call, WCM_Status& status) {
        if (st == TBS_ST_OK) return true;
        status.set_status(st);
        imsg_internal_error("vdw_rpcs", __FILE__, __LINE__, "%s: %s\n", call, tbs_strerror(st));
        return false;
    }
    bool send(VDW_MultipartData& part, WCM_Status& status) {
        if (!rpc_.add_part(part, false)) return true;
        if (status.is_ok()) status.set_status(TBS_ST_ERR);
        return false;
    }

    VDW_AbstractRpc& rpc_;
    VDW_Vdcore& facade_;
    view_t* view_;
    const Tree& tree_;
    const NodeFilter& filter_;
    const std::set<vob_dbid_t>& boundary_;
    vob_dbid_t selected_;
    std::set<vob_dbid_t> built_, visited_;
};

bool ResponseStreamGenerator::element_desc(WCM_Status& status) {
    int64_t gen = 0;
    if (!core(vob_ob_get_gen_num(tree_.vob, &gen), "vob_ob_get_gen_num", status)) return false;
    const std::string selector =
        "dbid:" + std::to_string(tree_.element) + "@" + vob_selector(tree_.vob, VOB_VOBSEL_TAG);
    VDW_MultipartData part("ElementDesc", nullptr, nullptr, nullptr, 0);
    part.add_part_item("Selector", selector.c_str());
    part.add_part_item("MainDbid", static_cast<unsigned long>(tree_.main_branch));
    part.add_part_item("VobGenerationNumber", static_cast<unsigned long>(gen));
    return send(part, status);
}

bool ResponseStreamGenerator::visit(vob_dbid_t dbid, bool with_ancestors, WCM_Status& status) {
    if (built_.count(dbid) || visited_.count(dbid)) return true;
    if (!filter_.passes(dbid)) {
        visited_.insert(dbid);
        return true;
    }
    if (!build(dbid, status)) return false;
    if (!with_ancestors) return true;
    // Rootward through what is not sent yet; a branch met on the way brings its versions.
    for (vob_dbid_t up = tree_.parent(dbid); up && !built_.count(up) && !boundary_.count(up);
         up = tree_.parent(up)) {
        if (!build(up, status)) return false;
        if (tree_.is_branch(up))
            for (vob_dbid_t c : tree_.children(up))
                if (!visit(c, false, status)) return false;
    }
    return true;
}

bool ResponseStreamGenerator::build(vob_dbid_t dbid, WCM_Status& status) {
    if (built_.count(dbid)) return true;
    built_.insert(dbid);
    return tree_.is_branch(dbid) ? branch_node(dbid, status) : version_node(dbid, status);
}

bool ResponseStreamGenerator::branch_node(vob_dbid_t dbid, WCM_Status& status) {
    const Tree::Branch& b = tree_.branches.at(dbid);
    vob_obj_info_t info;
    vob_lock_info_t lock;
    if (!core(vob_obj_get_info(tree_.vob, dbid, &info), "vob_obj_get_info", status) ||
        !core(vob_obj_get_lock(tree_.vob, dbid, &lock), "vob_obj_get_lock", status))
        return false;
    const std::string name = b.path.substr(b.path.rfind('/') + 1);
    vob_type_info_t type;
    vob_lock_info_t type_lock;
    if (vob_type_find(tree_.vob, VOB_MTYPE_BRTYPE, name.c_str(), &type) == TBS_ST_OK &&
        !core(vob_obj_get_lock(tree_.vob, type.dbid, &type_lock), "vob_obj_get_lock", status))
        return false;
    std::string body;
    for (const vob_lock_info_t* l : {&type_lock, &lock})
        if (l->locked)
            for (const std::string& user : l->excluded) body += "LockExclusion: " + user + "\n";
    unsigned long latest = 0;
    int count = 0;
    for (vob_dbid_t v : b.versions) {
        const vob_version_info_t& ver = tree_.versions.at(v);
        if (ver.checked_out) continue;
        ++count;
        latest = std::max(latest, static_cast<unsigned long>(ver.number));
    }
    const std::string type_sel = "brtype:" + name + "@" + tree_.vob->tag;
    VDW_MultipartData part("BranchNode", "text/plain", nullptr, body.c_str(), body.size());
    part.add_part_item("Dbid", static_cast<unsigned long>(dbid));
    part.add_part_item("RootwardDbid", static_cast<unsigned long>(b.sprout));
    part.add_part_item("VersionCount", count);
    part.add_part_item("LatestVersionNumber", latest);
    part.add_part_item("Creator", info.creator.c_str());
    part.add_part_item("CreationTime", static_cast<long>(info.created));
    part.add_part_item("BranchTypeSelector", type_sel.c_str());
    part.add_part_item("Name", name.c_str());
    part.add_part_item("IsLocked", type_lock.locked || lock.locked);
    part.add_part_item("IsObsolete", type_lock.obsolete || lock.obsolete);
    part.add_part_item("RemoteMasteringReplica", "");
    return send(part, status);
}

bool ResponseStreamGenerator::version_node(vob_dbid_t dbid, WCM_Status& status) {
    const vob_version_info_t& v = tree_.versions.at(dbid);
    std::vector<std::string> labels;
    std::vector<std::pair<std::string, std::string>> attrs;
    if (!core(vob_ver_get_labels(tree_.vob, dbid, &labels), "vob_ver_get_labels", status) ||
        !core(vob_obj_get_attrs(tree_.vob, dbid, &attrs), "vob_obj_get_attrs", status))
        return false;
    std::string body;
    for (vob_dbid_t p : tree_.merges(tree_.merge_parents, dbid))
        body += "MergeParent: " + std::to_string(p) + "\n";
    for (vob_dbid_t c : tree_.merges(tree_.merge_children, dbid))
        body += "MergeChild: " + std::to_string(c) + "\n";
    for (const std::string& l : labels) body += "Label: " + l + "\n";
    std::istringstream comment(v.comment);
    for (std::string line; std::getline(comment, line);) body += "CommentLine: " + line + "\n";
    std::string attributes;
    for (const auto& [name, value] : attrs) attributes += name + " = " + value + ";";

    if (!v.checked_out) {
        VDW_MultipartData part("CheckedinVersionNode", "text/plain", nullptr, body.c_str(),
                               body.size());
        part.add_part_item("Dbid", static_cast<unsigned long>(dbid));
        part.add_part_item("RootwardDbid", static_cast<unsigned long>(v.branch));
        part.add_part_item("ChildrenCount", static_cast<int>(tree_.children(dbid).size()));
        part.add_part_item("Creator", v.creator.c_str());
        part.add_part_item("CreationTime", static_cast<long>(v.created));
        part.add_part_item("Number", static_cast<unsigned long>(v.number));
        part.add_part_item("IsViewSelected", dbid == selected_);
        part.add_part_item("Attributes", attributes.c_str());
        part.add_part_item("TimeAttributes", "");
        return send(part, status);
    }
    vob_checkout_info_t co;
    if (!core(vob_ckout_get(tree_.vob, dbid, &co), "vob_ckout_get", status)) return false;
    std::string view_name = "uuid:" + tbs_uuid_text(co.view_uuid);
    rgy_view_entry_t entry;
    if (rgy_findbyuuid_entry(co.view_uuid, &entry) == TBS_ST_OK) view_name = entry.tag;
    VDW_MultipartData part("CheckoutNode", "text/plain", nullptr, body.c_str(), body.size());
    part.add_part_item("Dbid", static_cast<unsigned long>(dbid));
    part.add_part_item("RootwardDbid", static_cast<unsigned long>(v.branch));
    part.add_part_item("IsReserved", co.reserved);
    part.add_part_item("Creator", co.user.c_str());
    part.add_part_item("CreationTime", static_cast<long>(co.at));
    part.add_part_item("ViewUuid", tbs_uuid_text(co.view_uuid).c_str());
    part.add_part_item("ViewTag", view_name.c_str());
    part.add_part_item("Attributes", attributes.c_str());
    part.add_part_item("TimeAttributes", "");
    return send(part, status);
}

}  // namespace

void VDW_FetchVtreeRpc::send_response_body() {
    VDW_Trace trace(QLMX_COMPONENT, kClass, "send_response_body");
    status().set_status(TBS_ST_OK);
    if (!check_std_rpc_info(status(), true)) return;

    std::string op, view_uuid, scope, loaded_oid, filter_text, gen_text;
    std::vector<std::string> selectors;
    std::set<vob_dbid_t> boundary;
    bool full_branch = false;
    VDW_ReqArgsParser args(request().rpcargs());
    const char* name = nullptr;
    const char* value = nullptr;
    char buf[VDW_PNAME_BUF_SIZE];
    while (args.has_more_args()) {
        if (!args.next(name, value, status())) return;
        const std::string n = name;
        if (n == "Op")
            op = value;
        else if (n == "ViewUuid")
            view_uuid = value;
        else if (n == "Scope")
            scope = VDW_ReqArgsParser::decode_pname(value, buf);
        else if (n == "LoadedVersionOid")
            loaded_oid = value;
        else if (n == "ObjectSelector")
            selectors.push_back(value);
        else if (n == "FullBranch")
            full_branch = VDW_ReqArgsParser::decode_bool(value);
        else if (n == "VobGenerationNumber")
            gen_text = value;
        else if (n == "Filter")
            filter_text = value;
        else if (n == "BoundaryDbid")
            boundary.insert(VDW_ReqArgsParser::decode_long(value));
    }
    (void)full_branch;  // a branch's versions always come whole
    view_t* view = nullptr;
    facade()->open_view(view_uuid.c_str(), &view, status());
    if (!status().is_ok()) return;
    vob_resolved_t elem;
    facade()->resolve_vob_obj(view, scope.c_str(), 0, &elem, status());
    if (!status().is_ok()) return;
    Tree tree;
    tbs_status_t st = tree.load(elem.vob, elem.element);
    if (st != TBS_ST_OK) {
        status().set_status(st);
        imsg_internal_error("vdw_rpcs", __FILE__, __LINE__, "vob_ver_list: %s\n", tbs_strerror(st));
        return;
    }
    if (!gen_text.empty()) {
        int64_t gen = 0;
        if (vob_ob_get_gen_num(elem.vob, &gen) == TBS_ST_OK &&
            gen != VDW_ReqArgsParser::decode_long(gen_text.c_str())) {
            status().set_status(TBS_ST_VOB_REFORMATTED);
            status().format(&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_VOB_REFORMATTED,
                            elem.vob->tag.c_str());
            return;
        }
    }
    // The nodes named: those of this element's tree; the rest are reported as not found.
    std::vector<vob_dbid_t> objects;
    std::string missing_selectors, missing_dbids;
    for (const std::string& sel : selectors) {
        vob_resolved_t r;
        WCM_Status quiet;
        facade()->resolve_vob_obj(view, sel.c_str(), 0, &r, quiet);
        if (!quiet.is_ok()) {
            trace.writeTrace("Selector doesn't resolve: %s\n", sel.c_str());
            missing_selectors += "ObjectSelector: " + sel + "\n";
        } else if (r.vob != elem.vob || !tree.holds(r.dbid)) {
            missing_dbids += "Dbid: " + std::to_string(r.dbid) + "\n";
        } else {
            objects.push_back(r.dbid);
        }
    }
    for (const std::string* body : {&missing_dbids, &missing_selectors}) {
        if (body->empty()) continue;
        VDW_MultipartData part("ObjectsNotFound", "text/plain", nullptr, body->c_str(),
                               body->size());
        if (add_part(part, false)) return;
    }
    vob_dbid_t selected = 0;
    {
        WCM_Status quiet;
        facade()->version_from_selector(elem, view, &selected, quiet);
    }
    vob_dbid_t loaded = 0;
    if (!loaded_oid.empty()) {
        tbs_oid_t oid;
        if (tbs_uuid_from_str(loaded_oid.c_str(), &oid) != TBS_ST_OK ||
            vob_obj_oid_to_dbid(elem.vob, oid, &loaded) != TBS_ST_OK)
            loaded = 0;
    }

    std::unique_ptr<NodeFilter> filter = NodeFilter::create_from_string(filter_text);
    ResponseStreamGenerator gen(*this, *facade(), view, tree, *filter, boundary, selected);
    WCM_Status& s = status();
    if (!gen.element_desc(s)) return;
    const vob_dbid_t object = objects.empty() ? 0 : objects.front();
    // Every node below `from`, depth first, each expanded once.
    std::set<vob_dbid_t> expanded;
    std::function<bool(vob_dbid_t)> descend = [&](vob_dbid_t from) {
        if (!expanded.insert(from).second) return true;
        const std::vector<vob_dbid_t> next = tree.descendants(from);
        for (vob_dbid_t d : next)
            if (!gen.visit(d, true, s)) return false;
        for (vob_dbid_t d : next)
            if (!descend(d)) return false;
        return true;
    };
    auto whole = [&]() {
        return gen.visit(tree.main_branch, true, s) && descend(tree.main_branch);
    };

    if (op == "FetchVersion") {
        const vob_dbid_t v = object ? object : loaded ? loaded : selected;
        if (v) gen.visit(v, true, s);
    } else if (op == "FetchDescendants") {
        if (object) {
            descend(object);
        } else if (selectors.empty()) {
            whole();
        }
    } else if (op == "FetchChildren") {
        if (object)
            for (vob_dbid_t c : tree.children(object))
                if (!gen.visit(c, true, s)) break;
    } else if (op == "FetchMergeChildren" || op == "FetchMergeParents") {
        const auto& m = op == "FetchMergeChildren" ? tree.merge_children : tree.merge_parents;
        for (vob_dbid_t o : objects)
            for (vob_dbid_t r : tree.merges(m, o))
                if (!gen.visit(r, true, s)) return;
    } else if (op == "FetchRefreshNodes") {
        for (vob_dbid_t o : objects)
            if (!gen.visit(o, false, s)) return;
    } else if (op == "FetchRefreshTree") {
        whole();
    } else {
        VDW_RpcArgs::bad_value(status(), "Op", op);
    }
}
