// Access-control RPCs: policies, role maps, applying a role map, and the privileges each
// level of access grants.
//
// "MakePolicyRpc": "policy-location" names the policy ("policy:NAME@VOB-TAG"); its
// "policy-acl-map" holds "ace-entry" elements, each with "proxy-type" (a kind of object:
// see the server's "proxy-types-supporting-acls"), "principal-kind" ("Role", "User",
// "Group", "Everyone"), "principal-name" (none for "Everyone") and "permissions" ("Read",
// "Change", "Full"); "modify" "true" replaces the entries of an existing policy; "comment".
// Answers "MakePolicyResponse" with "policy".
//
// "MakeRolemapRpc": "rolemap-location" ("rolemap:NAME@VOB-TAG"), "policy" (its location or
// name; may be left out with "modify"), "entries" holding one "role" element per principal
// given a role: the "name" attribute names the role, "principal-kind" ("User", "Group",
// "Everyone") and "principal-name" its principal; "modify", "comment". Answers
// "MakeRolemapResponse" with "rolemap".
//
// "ApplyRolemapRpc": "target-resource" (a location, or a VOB pathname when "is-pname" is
// "true"), "selector" (the role map), "comment", and "applyrolemap-flags" with "directory",
// "file" (only elements of that kind take it) and "recurse" (everything below a directory)
// as attributes or "flag" children. Answers "ApplyRolemapResponse" with "count", the number
// of objects given the role map.
//
// "GetProxyTypePrivilegeMap": answers "privilege-map" with one "proxy-type" per kind of
// object ("name" attribute), holding a "category" per level of access ("name" attribute)
// with the "privilege" elements that level grants.
#include <algorithm>
#include <string>
#include <vector>

#include "core/cmd/cmd.h"
#include "core/vob/vob_acl.h"
#include "foundation/wcm_status.h"
#include "xmlproto/resource/vd_resource.h"
#include "xmlproto/resource/vd_vob_resources.h"
#include "xmlproto/rpc/vd_xml_args.h"
#include "xmlproto/rpc/vd_xml_object_rpcs.h"
#include "xmlproto/xml/vd_xml_doc.h"
#include "xmlproto/xml/vd_xml_stream.h"

namespace {

std::string child_text(const VdXmlElem* e, const char* tag) {
    for (const VdXmlElem* c : e->get_children())
        if (c->get_tag().str() == tag) return c->get_value().str();
    return std::string();
}

bool is_true(VdXmlElem* root, const char* tag) {
    std::string text;
    return vd_xml_take_text(root, tag, &text) && text == "true";
}

// "policy:NAME@VOB" or "rolemap:NAME@VOB" to the name and the VOB's tag; false when the
// location is not of that shape.
bool split_location(const std::string& loc, const char* prefix, std::string* name,
                    std::string* vob) {
    const std::string p = prefix;
    if (loc.compare(0, p.size(), p) != 0) return false;
    const size_t at = loc.find('@', p.size());
    if (at == std::string::npos || at == p.size() || at + 1 == loc.size()) return false;
    *name = loc.substr(p.size(), at - p.size());
    *vob = loc.substr(at + 1);
    if (vob->rfind("vob:", 0) == 0) vob->erase(0, 4);
    return true;
}

// Answers `root` holding `tag` with the resource of a type object just made or changed.
int answer_type(VdXmlStreamDoc& response, const char* root, const char* tag,
                const std::string& vob_tag, vob_dbid_t dbid, int mtype) {
    vob_t* vob = nullptr;
    if (int st = vob_open_by_tag(vob_tag.c_str(), &vob)) return st;
    std::unique_ptr<VdResource> r;
    if (int st = VdResource::util_vd_object_to_resource(vob, dbid, mtype, r)) return st;
    response.push(root);
    response.push(tag);
    int st = r->marshal(response);
    response.pop();
    response.pop();
    return st;
}

}  // namespace

void VdGetProxyTypePrivilegeMapRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc& response) {
    if (int rc = validate_rpc_version(request.get_root(), RPC_NAME, RPC_VERSION))
        return void(status().set_status(rc));
    response.push("privilege-map");
    for (const std::string& proxy : vob_acl_proxy_types()) {
        response.push("proxy-type")->add_attr("name", proxy);
        std::string category;
        for (const auto& [cat, privilege] : vob_acl_privileges(proxy)) {
            if (cat != category) {
                if (!category.empty()) response.pop();
                response.push("category")->add_attr("name", cat);
                category = cat;
            }
            response.push("privilege")->add_value(privilege);
            response.pop();
        }
        if (!category.empty()) response.pop();
        response.pop();
    }
    response.pop();
}

void VdMakePolicyRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc& response) {
    VdXmlElem* root = request.get_root();
    if (int rc = validate_rpc_version(root, RPC_NAME, RPC_VERSION))
        return void(status().set_status(rc));
    std::string loc;
    cmd_mkpolicy_args_t a;
    vd_xml_take_text(root, "policy-location", &loc);
    if (!split_location(loc, "policy:", &a.name, &a.vob))
        return set_bad_request("MakePolicyRpc: policy-location is policy:NAME@VOB");
    a.modify = is_true(root, "modify");
    vd_xml_take_text(root, "comment", &a.comment);
    if (VdXmlElem* map = root->extract_child("policy-acl-map")) {
        for (const VdXmlElem* e : map->get_children()) {
            if (e->get_tag().str() != "ace-entry") continue;
            vob_acl_ace_t ace;
            ace.proxy = child_text(e, "proxy-type");
            ace.kind = child_text(e, "principal-kind");
            ace.name = child_text(e, "principal-name");
            if (!vob_acl_parse_access(child_text(e, "permissions"), &ace.access))
                return set_bad_request("MakePolicyRpc: permissions are Read, Change or Full");
            a.entries.push_back(ace);
        }
    }
    if (int st = cmd_mkpolicy(&a)) return void(status().set_status(st));
    if (int st = answer_type(response, "MakePolicyResponse", "policy", a.vob, a.policy,
                             VOB_MTYPE_POLICY))
        status().set_status(st);
}

void VdMakeRolemapRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc& response) {
    VdXmlElem* root = request.get_root();
    if (int rc = validate_rpc_version(root, RPC_NAME, RPC_VERSION))
        return void(status().set_status(rc));
    std::string loc;
    cmd_mkrolemap_args_t a;
    vd_xml_take_text(root, "rolemap-location", &loc);
    if (!split_location(loc, "rolemap:", &a.name, &a.vob))
        return set_bad_request("MakeRolemapRpc: rolemap-location is rolemap:NAME@VOB");
    vd_xml_take_text(root, "policy", &a.policy);
    a.modify = is_true(root, "modify");
    vd_xml_take_text(root, "comment", &a.comment);
    if (VdXmlElem* entries = root->extract_child("entries")) {
        for (const VdXmlElem* e : entries->get_children()) {
            if (e->get_tag().str() != "role") continue;
            vob_acl_ace_t entry;
            entry.role = e->get_attr("name").str();
            entry.kind = child_text(e, "principal-kind");
            entry.name = child_text(e, "principal-name");
            a.entries.push_back(entry);
        }
    }
    if (int st = cmd_mkrolemap(&a)) return void(status().set_status(st));
    if (int st = answer_type(response, "MakeRolemapResponse", "rolemap", a.vob, a.rolemap,
                             VOB_MTYPE_ROLEMAP))
        status().set_status(st);
}

void VdApplyRolemapRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc& response) {
    VdXmlElem* root = request.get_root();
    if (int rc = validate_rpc_version(root, RPC_NAME, RPC_VERSION))
        return void(status().set_status(rc));
    std::string target;
    cmd_apply_rolemap_args_t a;
    vd_xml_take_text(root, "target-resource", &target);
    vd_xml_take_text(root, "selector", &a.rolemap);
    vd_xml_take_text(root, "comment", &a.comment);
    const bool is_pname = is_true(root, "is-pname");
    VdXmlElem* flags = root->extract_child("applyrolemap-flags");
    const std::vector<std::string> named = vd_xml_take_flags(flags);
    auto flag = [&](const char* name) {
        return vd_xml_flag(flags, name) ||
               std::find(named.begin(), named.end(), name) != named.end();
    };
    a.dirs_only = flag("directory");
    a.files_only = flag("file");
    a.recurse = flag("recurse");
    if (target.empty() || a.rolemap.empty())
        return set_bad_request("ApplyRolemapRpc: a target-resource and a selector are needed");
    if (is_pname) {
        if (target[0] != '/') return set_bad_request("ApplyRolemapRpc: not a VOB pathname");
        a.objects.push_back(target);
    } else {
        std::unique_ptr<VdResource> r;
        if (int st = vd_xml_resource(target, r)) return void(status().set_status(st));
        auto* obj = dynamic_cast<VdVobResource*>(r.get());
        if (!obj) return set_bad_request("ApplyRolemapRpc: the target is not a VOB object");
        a.objects.push_back(obj->selector());
    }
    if (int st = cmd_apply_rolemap(&a)) return void(status().set_status(st));
    response.push("ApplyRolemapResponse");
    response.push("count")->add_value(std::to_string(a.count));
    response.pop();
    response.pop();
}
