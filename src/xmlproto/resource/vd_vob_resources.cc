#include "xmlproto/resource/vd_vob_resources.h"

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "core/cmd/cmd.h"
#include "core/cmd/cmd_xcm.h"
#include "core/cred/credutl.h"
#include "core/imsg/imsg.h"
#include "core/rgy/rgy.h"
#include "core/vob/vob_acl.h"
#include "core/vob/vob_obj.h"
#include "core/vob/xcm.h"
#include "xmlproto/props/vd_prop.h"
#include "xmlproto/resource/vd_site_resources.h"
#include "xmlproto/xml/vd_xml_doc.h"

// Readers kept with the resources they answer.
int p_vob_tag(const VdResource& self, VdNestedPropResponse& r);                         // site
int l_stream_views(const VdResource& self, std::vector<VdResourceMaker>& out);          // views
int p_act_bound_activity(const VdResource& self, VdNestedPropResponse& r);              // tn
int p_act_bound_record(const VdResource& self, VdNestedPropResponse& r);                // tn
int p_act_tn_state(const VdResource& self, VdNestedPropResponse& r);                    // tn
int p_project_tn_state(const VdResource& self, VdNestedPropResponse& r);                // tn
int p_project_user_db(const VdResource& self, VdNestedPropResponse& r);                 // tn
int l_project_record_types(const VdResource& self, std::vector<VdResourceMaker>& out);  // tn
int tn_bind_activity(const VdVobResource& activity, const PropVal& value);              // tn

namespace {

const VdVobResource& V(const VdResource& r) {
    return static_cast<const VdVobResource&>(r);
}

// A maker of the resource of one VOB object.
VdResourceMaker maker(vob_t* vob, vob_dbid_t dbid, int mtype) {
    return [vob, dbid, mtype](std::unique_ptr<VdResource>& out) {
        return VdResource::util_vd_object_to_resource(vob, dbid, mtype, out);
    };
}
// The same when only the object is known: its metatype is looked up.
VdResourceMaker maker(vob_t* vob, vob_dbid_t dbid) {
    return [vob, dbid](std::unique_ptr<VdResource>& out) {
        int mtype = 0;
        tbs_status_t st = vob_obj_get_mtypes(vob, dbid, &mtype);
        if (st != TBS_ST_OK) return static_cast<int>(st);
        return VdResource::util_vd_object_to_resource(vob, dbid, mtype, out);
    };
}
int write_object(VdNestedPropResponse& r, vob_t* vob, vob_dbid_t dbid) {
    if (!dbid) return r.marshal_null_value();
    return r.marshal_optional_resource(maker(vob, dbid));
}
int write_object(VdNestedPropResponse& r, vob_t* vob, vob_dbid_t dbid, int mtype) {
    if (!dbid) return r.marshal_null_value();
    return r.marshal_optional_resource(maker(vob, dbid, mtype));
}

// The VOB object of a VOB (its own row).
int vob_object(vob_t* vob, vob_dbid_t* dbid) {
    vob_t* found = nullptr;
    int mtype = 0;
    const std::string sel = vob_selector(vob, VOB_VOBSEL_REPLICA);
    return vob_resolve_general(sel.c_str(), nullptr, &found, dbid, &mtype);
}

int info_of(const VdResource& self, vob_obj_info_t* info) {
    return vob_obj_get_info(V(self).vob(), V(self).dbid(), info);
}

// Shared by every VOB object ---------------------------------------------------------------

int p_comment(const VdResource& self, VdNestedPropResponse& r) {
    std::string text;
    int st = vob_obj_get_description(V(self).vob(), V(self).dbid(), &text);
    return st ? st : r.marshal_string(text);
}
int p_creation_date(const VdResource& self, VdNestedPropResponse& r) {
    vob_obj_info_t i;
    int st = info_of(self, &i);
    return st ? st : r.marshal_date(i.created);
}
int p_creator(const VdResource& self, VdNestedPropResponse& r) {
    vob_obj_info_t i;
    int st = info_of(self, &i);
    return st ? st : r.marshal_string(i.creator.empty() ? i.owner : i.creator);
}
int p_creator_group(const VdResource& self, VdNestedPropResponse& r) {
    vob_obj_info_t i;
    int st = info_of(self, &i);
    return st ? st : r.marshal_string(i.group);
}
int p_attribute_list(const VdResource& self, VdNestedPropResponse& r) {
    std::vector<std::pair<std::string, std::string>> attrs;
    int st = vob_obj_get_attrs(V(self).vob(), V(self).dbid(), &attrs);
    if (st) return st;
    r.start_marshal_xml();
    for (const auto& a : attrs) {
        VdXmlElem* e = r.doc()->push("attribute");
        e->add_attr("name", a.first);
        e->add_value(a.second);
        r.doc()->pop();
    }
    return r.end_marshal_xml();
}
int p_current_replica(const VdResource& self, VdNestedPropResponse& r) {
    vob_dbid_t dbid = 0;
    int st = vob_object(V(self).vob(), &dbid);
    if (st) return st;
    VdReplica replica(V(self).vob(), dbid, VOB_MTYPE_VOB);
    return r.marshal_resource(replica);
}
int p_null(const VdResource&, VdNestedPropResponse& r) {
    return r.marshal_null_value();
}
int p_true(const VdResource&, VdNestedPropResponse& r) {
    return r.marshal_boolean(true);
}
int p_false(const VdResource&, VdNestedPropResponse& r) {
    return r.marshal_boolean(false);
}
int l_hyperlinks(const VdResource& self, std::vector<VdResourceMaker>& out) {
    std::vector<vob_hlink_info_t> links;
    int st = vob_obj_get_hlinks(V(self).vob(), V(self).dbid(), &links);
    if (st) return st;
    for (const auto& l : links) out.push_back(maker(V(self).vob(), l.dbid, VOB_MTYPE_HLINK));
    return 0;
}
int p_lock_info(const VdResource& self, VdNestedPropResponse& r) {
    vob_lock_info_t lock;
    int st = vob_obj_get_lock(V(self).vob(), V(self).dbid(), &lock);
    if (st) return st;
    if (!lock.locked && !lock.obsolete) return r.marshal_null_value();
    r.start_marshal_xml();
    VdXmlElem* e = r.doc()->push("locked-state");
    e->add_value(lock.obsolete ? "obsolete" : "locked");
    r.doc()->pop();
    r.doc()->push("lock-description");
    r.doc()->pop();
    r.doc()->push("excluded-user-list");
    for (const auto& u : lock.excluded) {
        VdXmlElem* ue = r.doc()->push("user");
        ue->add_value(u);
        r.doc()->pop();
    }
    r.doc()->pop();
    return r.end_marshal_xml();
}
std::string mask_text(int bits) {
    std::string s;
    s += bits & 4 ? 'r' : '-';
    s += bits & 2 ? 'w' : '-';
    s += bits & 1 ? 'x' : '-';
    return s;
}
int p_permissions(const VdResource& self, VdNestedPropResponse& r) {
    vob_obj_info_t i;
    int st = info_of(self, &i);
    if (st) return st;
    r.start_marshal_xml();
    VdXmlElem* e = r.doc()->push("permissions");
    e->add_attr("user-mask", mask_text((i.mode >> 6) & 7));
    e->add_attr("group-mask", mask_text((i.mode >> 3) & 7));
    e->add_attr("other-mask", mask_text(i.mode & 7));
    VdXmlElem* o = r.doc()->push("owner-name");
    o->add_value(i.owner);
    r.doc()->pop();
    VdXmlElem* g = r.doc()->push("group-name");
    g->add_value(i.group);
    r.doc()->pop();
    r.doc()->pop();
    return r.end_marshal_xml();
}
// Access control ------------------------------------------------------------------------
//
// Lists are written as "ace-entry" elements with "proxy-type" (where a list covers several
// kinds of object), "principal-kind", "principal-name" (not for "Everyone") and
// "permissions" ("Read", "Change", "Full").

void text_child(VdNestedPropResponse& r, const char* tag, const std::string& text) {
    r.doc()->push(tag)->add_value(text);
    r.doc()->pop();
}
void write_ace(VdNestedPropResponse& r, const vob_acl_ace_t& e, bool with_proxy) {
    r.doc()->push("ace-entry");
    if (with_proxy) text_child(r, "proxy-type", e.proxy);
    text_child(r, "principal-kind", e.kind);
    if (e.kind != "Everyone") text_child(r, "principal-name", e.name);
    text_child(r, "permissions", vob_acl_access_str(e.access));
    r.doc()->pop();
}
int write_aces(VdNestedPropResponse& r, const std::vector<vob_acl_ace_t>& entries,
               bool with_proxy) {
    r.start_marshal_xml();
    for (const vob_acl_ace_t& e : entries) write_ace(r, e, with_proxy);
    return r.end_marshal_xml();
}
int p_effective_acl(const VdResource& self, VdNestedPropResponse& r) {
    vob_acl_effective_t e;
    int st = vob_acl_effective(V(self).vob(), V(self).dbid(), &e);
    if (st) return st;
    return e.rolemap ? write_aces(r, e.entries, false) : r.marshal_null_value();
}
int p_my_effective_acl(const VdResource& self, VdNestedPropResponse& r) {
    vob_acl_effective_t e;
    credutl_creds_t me;
    int st = vob_acl_effective(V(self).vob(), V(self).dbid(), &e);
    if (!st) st = credutl_get_creds(&me);
    if (st) return st;
    if (!e.rolemap) return r.marshal_null_value();
    std::vector<vob_acl_ace_t> mine;
    for (const vob_acl_ace_t& a : e.entries)
        if (vob_acl_names(a, me)) mine.push_back(a);
    return write_aces(r, mine, false);
}
int p_rolemap(const VdResource& self, VdNestedPropResponse& r) {
    vob_acl_effective_t e;
    int st = vob_acl_effective(V(self).vob(), V(self).dbid(), &e);
    return st ? st : write_object(r, V(self).vob(), e.rolemap, VOB_MTYPE_ROLEMAP);
}
int p_acl_enforced(const VdResource& self, VdNestedPropResponse& r) {
    bool on = false;
    int st = vob_acl_enforced(V(self).vob(), &on);
    return st ? st : r.marshal_boolean(on);
}
int p_policy_acl_map(const VdResource& self, VdNestedPropResponse& r) {
    std::vector<vob_acl_ace_t> entries;
    int st = vob_acl_policy_entries(V(self).vob(), V(self).dbid(), &entries);
    return st ? st : write_aces(r, entries, true);
}
int l_policy_rolemaps(const VdResource& self, std::vector<VdResourceMaker>& out) {
    std::vector<vob_dbid_t> maps;
    int st = vob_acl_policy_rolemaps(V(self).vob(), V(self).dbid(), &maps);
    if (st) return st;
    for (vob_dbid_t m : maps) out.push_back(maker(V(self).vob(), m, VOB_MTYPE_ROLEMAP));
    return 0;
}
int p_rolemap_all_eacl(const VdResource& self, VdNestedPropResponse& r) {
    std::vector<vob_acl_ace_t> entries;
    int st = vob_acl_rolemap_eacl(V(self).vob(), V(self).dbid(), "", &entries);
    return st ? st : write_aces(r, entries, true);
}
// Each role's principals, with what the policy grants the role ("felem:Change vob:Read").
int p_rolemap_entries(const VdResource& self, VdNestedPropResponse& r) {
    vob_dbid_t policy = 0;
    std::vector<vob_acl_ace_t> roles, aces;
    int st = vob_acl_rolemap_get(V(self).vob(), V(self).dbid(), &policy, &roles);
    if (!st) st = vob_acl_policy_entries(V(self).vob(), policy, &aces);
    if (st) return st;
    r.start_marshal_xml();
    for (const vob_acl_ace_t& e : roles) {
        std::string grants;
        for (const vob_acl_ace_t& a : aces)
            if (a.kind == "Role" && a.name == e.role)
                grants +=
                    (grants.empty() ? "" : " ") + a.proxy + ":" + vob_acl_access_str(a.access);
        r.doc()->push("role")->add_attr("name", e.role);
        text_child(r, "principal-kind", e.kind);
        if (e.kind != "Everyone") text_child(r, "principal-name", e.name);
        text_child(r, "permissions", grants);
        r.doc()->pop();
    }
    return r.end_marshal_xml();
}
int p_rolemap_in_use(const VdResource& self, VdNestedPropResponse& r) {
    bool used = false;
    int st = vob_acl_rolemap_in_use(V(self).vob(), V(self).dbid(), &used);
    return st ? st : r.marshal_boolean(used);
}
int p_rolemap_policy(const VdResource& self, VdNestedPropResponse& r) {
    vob_dbid_t policy = 0;
    int st = vob_acl_rolemap_get(V(self).vob(), V(self).dbid(), &policy, nullptr);
    return st ? st : write_object(r, V(self).vob(), policy, VOB_MTYPE_POLICY);
}

const VdPropRow kPolicyProps[] = {
    vd_prop_single(VD_PROP_NS "policy-acl-map", p_policy_acl_map),
    vd_prop_resources(VD_PROP_NS "policy-rolemap-list", l_policy_rolemaps),
};
const VdPropRow kRolemapProps[] = {
    vd_prop_single(VD_PROP_NS "rolemap-all-eacl", p_rolemap_all_eacl),
    vd_prop_single(VD_PROP_NS "rolemap-entries", p_rolemap_entries),
    vd_prop_single(VD_PROP_NS "rolemap-in-use", p_rolemap_in_use),
    vd_prop_single(VD_PROP_NS "rolemap-policy", p_rolemap_policy),
};

// The caller's access: by the list of an object a role map protects ("Read", "Change",
// "Full", "None"), else its mode bits.
int p_my_access(const VdResource& self, VdNestedPropResponse& r) {
    credutl_creds_t me;
    int access = VOB_ACL_NONE;
    bool decided = false;
    int st = credutl_get_creds(&me);
    if (!st) st = vob_acl_access(V(self).vob(), V(self).dbid(), me, &access, &decided);
    if (st) return st;
    if (decided) return r.marshal_string(vob_acl_access_str(access));
    vob_obj_info_t i;
    st = info_of(self, &i);
    if (st) return st;
    char buf[16];
    snprintf(buf, sizeof buf, "%04o", i.mode & 07777);
    return r.marshal_string(buf);
}
int p_vob(const VdResource& self, VdNestedPropResponse& r) {
    vob_dbid_t dbid = 0;
    int st = vob_object(V(self).vob(), &dbid);
    if (st) return st;
    VdVob vob(V(self).vob(), dbid, VOB_MTYPE_VOB);
    return r.marshal_resource(vob);
}

const VdPropRow kVobObjectProps[] = {
    vd_prop_single("comment", p_comment),
    vd_prop_single("creation-date", p_creation_date),
    vd_prop_single("creator-display-name", p_creator),
    vd_prop_single(VD_PROP_NS "attribute-list", p_attribute_list),
    vd_prop_single(VD_PROP_NS "creator-group-name", p_creator_group),
    vd_prop_single(VD_PROP_NS "creator-login-name", p_creator),
    vd_prop_single(VD_PROP_NS "current-replica", p_current_replica),
    vd_prop_single(VD_PROP_NS "effective-acl", p_effective_acl),
    vd_prop_single(VD_PROP_NS "has-local-mastership", p_true),
    vd_prop_resources(VD_PROP_NS "hyperlink-list", l_hyperlinks),
    vd_prop_single(VD_PROP_NS "lock-info", p_lock_info),
    vd_prop_single(VD_PROP_NS "vd-master-replica", p_current_replica),
    vd_prop_single(VD_PROP_NS "my-effective-access", p_my_access),
    vd_prop_single(VD_PROP_NS "my-effective-acl", p_my_effective_acl),
    vd_prop_single(VD_PROP_NS "vd-permissions", p_permissions),
    vd_prop_single(VD_PROP_NS "rolemap", p_rolemap),
    vd_prop_single(VD_PROP_NS "vob", p_vob),
};

// VOB ---------------------------------------------------------------------------------------

template <int MTYPE>
int l_types(const VdResource& self, std::vector<VdResourceMaker>& out) {
    std::vector<vob_type_info_t> types;
    int st = vob_type_list(V(self).vob(), MTYPE, &types);
    if (st) return st;
    for (const auto& t : types) out.push_back(maker(V(self).vob(), t.dbid, MTYPE));
    return 0;
}
int l_components(const VdResource& self, std::vector<VdResourceMaker>& out) {
    if (!xcm_is_pvob(V(self).vob())) return 0;
    std::vector<xcm_obj_t> objs;
    int st = xcm_list(V(self).vob(), VOB_MTYPE_COMPONENT, &objs);
    if (st) return st;
    for (const auto& o : objs) out.push_back(maker(V(self).vob(), o.dbid, VOB_MTYPE_COMPONENT));
    return 0;
}
int l_replicas(const VdResource& self, std::vector<VdResourceMaker>& out) {
    vob_t* vob = V(self).vob();
    vob_dbid_t dbid = V(self).dbid();
    out.push_back([vob, dbid](std::unique_ptr<VdResource>& o) {
        o.reset(new VdReplica(vob, dbid, VOB_MTYPE_VOB));
        return 0;
    });
    return 0;
}
int l_none(const VdResource&, std::vector<VdResourceMaker>&) {
    return 0;
}
int p_is_project_vob(const VdResource& self, VdNestedPropResponse& r) {
    return r.marshal_boolean(xcm_is_pvob(V(self).vob()));
}
int p_root_folder(const VdResource& self, VdNestedPropResponse& r) {
    if (!xcm_is_pvob(V(self).vob())) return r.marshal_null_value();
    vob_dbid_t dbid = 0;
    int st = xcm_find(V(self).vob(), VOB_MTYPE_FOLDER, "RootFolder", &dbid);
    if (st) return r.marshal_null_value();
    return write_object(r, V(self).vob(), dbid, VOB_MTYPE_FOLDER);
}
int p_schema_version(const VdResource& self, VdNestedPropResponse& r) {
    int64_t gen = 0;
    int st = vob_ob_get_gen_num(V(self).vob(), &gen);
    return st ? st : r.marshal_long_long(gen);
}
int p_vob_tag_string(const VdResource& self, VdNestedPropResponse& r) {
    return r.marshal_path(V(self).vob()->tag);
}

const VdPropRow kVobProps[] = {
    vd_prop_resources(VD_PROP_NS "attribute-type-list", l_types<VOB_MTYPE_ATTYPE>),
    vd_prop_resources(VD_PROP_NS "branch-type-list", l_types<VOB_MTYPE_BRTYPE>),
    vd_prop_resources(VD_PROP_NS "element-type-list", l_types<VOB_MTYPE_ELTYPE>),
    vd_prop_resources(VD_PROP_NS "hyperlink-type-list", l_types<VOB_MTYPE_HLTYPE>),
    vd_prop_resources(VD_PROP_NS "label-type-list", l_types<VOB_MTYPE_LBTYPE>),
    vd_prop_resources(VD_PROP_NS "trigger-type-list", l_types<VOB_MTYPE_TRTYPE>),
    vd_prop_resources(VD_PROP_NS "component-list", l_components),
    vd_prop_resources(VD_PROP_NS "replica-list", l_replicas),
    vd_prop_resources(VD_PROP_NS "rolemap-list", l_types<VOB_MTYPE_ROLEMAP>),
    vd_prop_resources(VD_PROP_NS "policy-list", l_types<VOB_MTYPE_POLICY>),
    vd_prop_resources(VD_PROP_NS "ordered-admin-vob-list", l_none),
    vd_prop_single(VD_PROP_NS "is-acl-enforced", p_acl_enforced),
    vd_prop_single(VD_PROP_NS "is-atomic-checkin-enabled", p_true),
    vd_prop_single(VD_PROP_NS "is-project-vob", p_is_project_vob),
    vd_prop_single(VD_PROP_NS "is-replicated", p_false),
    vd_prop_single(VD_PROP_NS "root-project-folder", p_root_folder),
    vd_prop_single(VD_PROP_NS "schema-version", p_schema_version),
    vd_prop_single(VD_PROP_NS "vob-tag", p_vob_tag),
    vd_prop_single(VD_PROP_NS "vob-tag-string", p_vob_tag_string),
};

// Elements, branches, versions, hyperlinks, types -------------------------------------------

int p_element_type(const VdResource& self, VdNestedPropResponse& r) {
    vob_type_info_t t;
    int st = vob_elem_get_type(V(self).vob(), V(self).dbid(), &t);
    return st ? st : write_object(r, V(self).vob(), t.dbid, VOB_MTYPE_ELTYPE);
}
int p_element_path(const VdResource& self, VdNestedPropResponse& r) {
    std::string p;
    int st = vob_elem_get_pname(V(self).vob(), V(self).dbid(), &p);
    return st ? st : r.marshal_path(p);
}
int p_element_display(const VdResource& self, VdNestedPropResponse& r) {
    SUM_String s;
    int st = self.get_display_name(s);
    return st ? st : r.marshal_path(s);
}
const VdPropRow kElementProps[] = {
    vd_prop_single("display-name", p_element_display),
    vd_prop_single(VD_PROP_NS "element-element-type", p_element_type),
    vd_prop_single(VD_PROP_NS "element-view-relative-path", p_element_path),
};

int branch_info(const VdResource& self, vob_dbid_t* brtype) {
    // A branch's type is the type its selector names.
    char sel[1024];
    int st = vob_obj_get_selector(V(self).vob(), V(self).dbid(), sel, sizeof sel);
    if (st) return st;
    std::string s = sel;
    size_t at = s.rfind("@@");
    std::string path = at == std::string::npos ? s : s.substr(at + 2);
    size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    vob_type_info_t t;
    st = vob_type_find(V(self).vob(), VOB_MTYPE_BRTYPE, name.c_str(), &t);
    if (st) return st;
    *brtype = t.dbid;
    return 0;
}
int p_branch_type(const VdResource& self, VdNestedPropResponse& r) {
    vob_dbid_t t = 0;
    int st = branch_info(self, &t);
    return st ? st : write_object(r, V(self).vob(), t, VOB_MTYPE_BRTYPE);
}
const VdPropRow kBranchProps[] = {
    vd_prop_single(VD_PROP_NS "branch-type", p_branch_type),
};

int ver_info(const VdResource& self, vob_version_info_t* v) {
    return vob_ver_get_info(V(self).vob(), V(self).dbid(), v);
}
int p_ver_display(const VdResource& self, VdNestedPropResponse& r) {
    SUM_String s;
    int st = self.get_display_name(s);
    return st ? st : r.marshal_string(s);
}
int p_ver_activity(const VdResource& self, VdNestedPropResponse& r) {
    tbs_uuid_t pvob_uuid{};
    tbs_oid_t act{};
    int st = xcm_version_activity(V(self).vob(), V(self).dbid(), &pvob_uuid, &act);
    if (st || tbs_uuid_is_null(act)) return r.marshal_null_value();
    vob_t* pvob = nullptr;
    if (vob_open_by_uuid(pvob_uuid, &pvob) != TBS_ST_OK) return r.marshal_null_value();
    vob_dbid_t dbid = 0;
    if (vob_obj_oid_to_dbid(pvob, act, &dbid) != TBS_ST_OK) return r.marshal_null_value();
    return write_object(r, pvob, dbid, VOB_MTYPE_ACTIVITY);
}
// The activity a version was made in (0 when none), in its project VOB.
int version_activity(const VdResource& self, vob_t** pvob, vob_dbid_t* act) {
    tbs_uuid_t pvob_uuid{};
    tbs_oid_t oid{};
    *act = 0;
    if (xcm_version_activity(V(self).vob(), V(self).dbid(), &pvob_uuid, &oid) != TBS_ST_OK ||
        tbs_uuid_is_null(oid))
        return 0;
    int st = vob_open_by_uuid(pvob_uuid, pvob);
    if (!st) st = vob_obj_oid_to_dbid(*pvob, oid, act);
    return st;
}
int version_tasks(const VdResource& self, std::vector<std::string>* uris) {
    vob_t* pvob = nullptr;
    vob_dbid_t act = 0;
    int st = version_activity(self, &pvob, &act);
    if (st || !act) return st;
    return xcm_activity_tasks(pvob, act, uris);
}
int p_version_task_strings(const VdResource& self, VdNestedPropResponse& r) {
    std::vector<std::string> uris;
    int st = version_tasks(self, &uris);
    return st ? st : r.marshal_strings(uris);
}
int l_version_tasks(const VdResource& self, std::vector<VdResourceMaker>& out) {
    std::vector<std::string> uris;
    int st = version_tasks(self, &uris);
    if (st) return st;
    for (const std::string& u : uris)
        out.push_back([u](std::unique_ptr<VdResource>& o) {
            o.reset(new VdTask(u));
            return 0;
        });
    return 0;
}
int p_labels(const VdResource& self, VdNestedPropResponse& r) {
    std::vector<std::string> labels;
    int st = vob_ver_get_labels(V(self).vob(), V(self).dbid(), &labels);
    return st ? st : r.marshal_strings(labels);
}
int p_version_name(const VdResource& self, VdNestedPropResponse& r) {
    std::string id;
    int st = vob_ver_get_idstr(V(self).vob(), V(self).dbid(), &id);
    return st ? st : r.marshal_path(id);
}
int p_version_history(const VdResource& self, VdNestedPropResponse& r) {
    vob_version_info_t v;
    int st = ver_info(self, &v);
    return st ? st : write_object(r, V(self).vob(), v.element);
}
int p_version_branch(const VdResource& self, VdNestedPropResponse& r) {
    vob_version_info_t v;
    int st = ver_info(self, &v);
    return st ? st : write_object(r, V(self).vob(), v.branch, VOB_MTYPE_BRANCH);
}
int p_predecessor(const VdResource& self, VdNestedPropResponse& r) {
    vob_version_info_t v;
    int st = ver_info(self, &v);
    return st ? st : write_object(r, V(self).vob(), v.predecessor);
}
int l_merge_contributors(const VdResource& self, std::vector<VdResourceMaker>& out) {
    std::vector<vob_hlink_info_t> links;
    int st = vob_obj_get_hlinks(V(self).vob(), V(self).dbid(), &links);
    if (st) return st;
    for (const auto& l : links)
        if (l.type == "Merge" && l.to == V(self).dbid())
            out.push_back(maker(V(self).vob(), l.from));
    return 0;
}
int p_version_path(const VdResource& self, VdNestedPropResponse& r) {
    char sel[VOB_MAX_PNAME];
    int st = vob_obj_get_selector(V(self).vob(), V(self).dbid(), sel, sizeof sel);
    if (st) return st;
    std::string s = sel;
    return r.marshal_path(s[0] == '/' ? s.substr(1) : s);
}
int p_empty_list(const VdResource&, VdNestedPropResponse& r) {
    return r.marshal_strings({});
}
const VdPropRow kVersionProps[] = {
    vd_prop_single("display-name", p_ver_display),
    vd_prop_single("activity", p_ver_activity),
    vd_prop_list("label-name-list", CT_LIST, p_labels),
    vd_prop_single("version-history", p_version_history),
    vd_prop_single("version-name", p_version_name),
    vd_prop_single(VD_PROP_NS "version-branch", p_version_branch),
    vd_prop_list(VD_PROP_NS "task-list", CT_LIST, p_version_task_strings),
    vd_prop_single(VD_PROP_NS "version-element", p_version_history),
    vd_prop_single(VD_PROP_NS "predecessor", p_predecessor),
    vd_prop_resources(VD_PROP_NS "merge-contributor-list", l_merge_contributors),
    vd_prop_resources(VD_PROP_NS "version-task-list", l_version_tasks),
    vd_prop_single(VD_PROP_NS "version-view-relative-path", p_version_path),
};

int hlink_of(const VdResource& self, vob_hlink_info_t* out) {
    std::vector<vob_hlink_info_t> links;
    int st = vob_obj_get_hlinks(V(self).vob(), V(self).dbid(), &links);
    if (st) return st;
    for (const auto& l : links) {
        if (l.dbid == V(self).dbid()) {
            *out = l;
            return 0;
        }
    }
    return TBS_ST_NOT_FOUND;
}
int p_hlink_from(const VdResource& self, VdNestedPropResponse& r) {
    vob_hlink_info_t l;
    int st = hlink_of(self, &l);
    return st ? st : write_object(r, V(self).vob(), l.from);
}
int p_hlink_to(const VdResource& self, VdNestedPropResponse& r) {
    vob_hlink_info_t l;
    int st = hlink_of(self, &l);
    return st ? st : write_object(r, V(self).vob(), l.to);
}
int p_hlink_type(const VdResource& self, VdNestedPropResponse& r) {
    vob_hlink_info_t l;
    int st = hlink_of(self, &l);
    if (st) return st;
    vob_type_info_t t;
    st = vob_type_find(V(self).vob(), VOB_MTYPE_HLTYPE, l.type.c_str(), &t);
    return st ? st : write_object(r, V(self).vob(), t.dbid, VOB_MTYPE_HLTYPE);
}
int p_hlink_text(const VdResource& self, VdNestedPropResponse& r) {
    vob_hlink_info_t l;
    int st = hlink_of(self, &l);
    return st ? st : r.marshal_string(l.text);
}
int p_empty_string(const VdResource&, VdNestedPropResponse& r) {
    return r.marshal_string("");
}
const VdPropRow kHlinkProps[] = {
    vd_prop_single(VD_PROP_NS "hlink-from-resource", p_hlink_from),
    vd_prop_single(VD_PROP_NS "hlink-to-resource", p_hlink_to),
    vd_prop_single(VD_PROP_NS "hlink-type", p_hlink_type),
    vd_prop_single(VD_PROP_NS "hlink-from-text", p_empty_string),
    vd_prop_single(VD_PROP_NS "hlink-to-text", p_hlink_text),
};

int p_type_scope(const VdResource&, VdNestedPropResponse& r) {
    return r.marshal_enum("Scope:LOCAL");
}
int p_type_constraint(const VdResource& self, VdNestedPropResponse& r) {
    switch (V(self).mtype()) {
        case VOB_MTYPE_BRTYPE:
            return r.marshal_enum("InstanceConstraint:ELEMENT");
        case VOB_MTYPE_LBTYPE:
            return r.marshal_enum("InstanceConstraint:ELEMENT");
        default:
            return r.marshal_enum("InstanceConstraint:NONE");
    }
}
const VdPropRow kTypeProps[] = {
    vd_prop_single(VD_PROP_NS "vob-type-scope", p_type_scope),
    vd_prop_single(VD_PROP_NS "vob-type-instance-constraint", p_type_constraint),
    vd_prop_single(VD_PROP_NS "has-shared-mastership", p_false),
};

int p_merge_type(const VdResource& self, VdNestedPropResponse& r) {
    vob_type_info_t t;
    int st = vob_type_get(V(self).vob(), V(self).dbid(), &t);
    if (st) return st;
    static const char* const kinds[] = {"MergeType:AUTO", "MergeType:USER", "MergeType:NEVER",
                                        "MergeType:COPY"};
    int k = t.merge_type >= 0 && t.merge_type < 4 ? t.merge_type : 0;
    return r.marshal_enum(kinds[k]);
}
int p_type_manager(const VdResource& self, VdNestedPropResponse& r) {
    vob_type_info_t t;
    int st = vob_type_get(V(self).vob(), V(self).dbid(), &t);
    return st ? st : r.marshal_string(t.type_manager);
}
const VdPropRow kEltypeProps[] = {
    vd_prop_single(VD_PROP_NS "merge-type", p_merge_type),
    vd_prop_single(VD_PROP_NS "type-manager", p_type_manager),
};

// Change-management objects ------------------------------------------------------------------

template <class Info, tbs_status_t (*GET)(vob_t*, vob_dbid_t, Info*)>
int get(const VdResource& self, Info* out) {
    return GET(V(self).vob(), V(self).dbid(), out);
}
#define FOLDER_INFO(self, i) get<xcm_folder_info_t, xcm_get_folder>(self, i)
#define PROJECT_INFO(self, i) get<xcm_project_info_t, xcm_get_project>(self, i)
#define COMPONENT_INFO(self, i) get<xcm_component_info_t, xcm_get_component>(self, i)
#define STREAM_INFO(self, i) get<xcm_stream_info_t, xcm_get_stream>(self, i)
#define ACTIVITY_INFO(self, i) get<xcm_activity_info_t, xcm_get_activity>(self, i)
#define BASELINE_INFO(self, i) get<xcm_baseline_info_t, xcm_get_baseline>(self, i)

int p_folder_is_root(const VdResource& self, VdNestedPropResponse& r) {
    xcm_folder_info_t f;
    int st = FOLDER_INFO(self, &f);
    return st ? st : r.marshal_boolean(f.parent == 0);
}
int p_folder_parent(const VdResource& self, VdNestedPropResponse& r) {
    xcm_folder_info_t f;
    int st = FOLDER_INFO(self, &f);
    return st ? st : write_object(r, V(self).vob(), f.parent, VOB_MTYPE_FOLDER);
}
template <int MTYPE>
int l_folder_children(const VdResource& self, std::vector<VdResourceMaker>& out) {
    std::vector<xcm_obj_t> kids;
    int st = xcm_folder_children(V(self).vob(), V(self).dbid(), &kids);
    if (st) return st;
    for (const auto& k : kids)
        if (k.mtype == MTYPE) out.push_back(maker(V(self).vob(), k.dbid, MTYPE));
    return 0;
}
const VdPropRow kFolderProps[] = {
    vd_prop_single(VD_PROP_NS "is-root", p_folder_is_root),
    vd_prop_single(VD_PROP_NS "parent-folder", p_folder_parent),
    vd_prop_resources(VD_PROP_NS "project-list", l_folder_children<VOB_MTYPE_PROJECT>, true),
    vd_prop_resources(VD_PROP_NS "subfolder-list", l_folder_children<VOB_MTYPE_FOLDER>),
};

struct PolicyName {
    const char* name;
    int bit;
};
const PolicyName kPolicies[] = {
    {"DELIVER_NCO_DEVSTR", XCM_POLICY_DELIVER_NCO_DEVSTR},
    {"DELIVER_NCO_SELACT", XCM_POLICY_DELIVER_NCO_SELACT},
    {"REBASE_CO", XCM_POLICY_REBASE_CO},
};
int p_bl_template(const VdResource& self, VdNestedPropResponse& r) {
    xcm_project_info_t p;
    int st = PROJECT_INFO(self, &p);
    return st ? st : r.marshal_string(p.bl_template);
}
int policies(const VdResource& self, bool enabled, VdNestedPropResponse& r) {
    xcm_project_info_t p;
    int st = PROJECT_INFO(self, &p);
    if (st) return st;
    std::vector<std::string> names;
    for (const auto& pol : kPolicies)
        if (((p.policies & pol.bit) != 0) == enabled) names.push_back(pol.name);
    return r.marshal_strings(names);
}
int p_enabled_policies(const VdResource& self, VdNestedPropResponse& r) {
    return policies(self, true, r);
}
int p_disabled_policies(const VdResource& self, VdNestedPropResponse& r) {
    return policies(self, false, r);
}
int p_int_stream(const VdResource& self, VdNestedPropResponse& r) {
    xcm_project_info_t p;
    int st = PROJECT_INFO(self, &p);
    return st ? st : write_object(r, V(self).vob(), p.int_stream, VOB_MTYPE_STREAM);
}
int p_single_stream(const VdResource& self, VdNestedPropResponse& r) {
    std::vector<vob_dbid_t> streams;
    int st = xcm_project_streams(V(self).vob(), V(self).dbid(), &streams);
    return st ? st : r.marshal_boolean(streams.size() <= 1);
}
int l_project_components(const VdResource& self, std::vector<VdResourceMaker>& out) {
    std::vector<vob_dbid_t> comps;
    int st = xcm_project_components(V(self).vob(), V(self).dbid(), &comps);
    if (st) return st;
    for (vob_dbid_t c : comps) out.push_back(maker(V(self).vob(), c, VOB_MTYPE_COMPONENT));
    return 0;
}
int l_project_streams(const VdResource& self, std::vector<VdResourceMaker>& out) {
    std::vector<vob_dbid_t> streams;
    int st = xcm_project_streams(V(self).vob(), V(self).dbid(), &streams);
    if (st) return st;
    for (vob_dbid_t s : streams) out.push_back(maker(V(self).vob(), s, VOB_MTYPE_STREAM));
    return 0;
}
int p_project_folder(const VdResource& self, VdNestedPropResponse& r) {
    xcm_project_info_t p;
    int st = PROJECT_INFO(self, &p);
    return st ? st : write_object(r, V(self).vob(), p.folder, VOB_MTYPE_FOLDER);
}
const VdPropRow kProjectProps[] = {
    vd_prop_single(VD_PROP_NS "baseline-naming-template", p_bl_template),
    vd_prop_single(VD_PROP_NS "tarnis-enabled-state", p_project_tn_state),
    vd_prop_single(VD_PROP_NS "tarnis-user-db", p_project_user_db),
    vd_prop_list(VD_PROP_NS "disabled-policy-list", CT_LIST, p_disabled_policies),
    vd_prop_list(VD_PROP_NS "enabled-policy-list", CT_LIST, p_enabled_policies),
    vd_prop_list(VD_PROP_NS "per-stream-policy-list", CT_LIST, p_empty_list),
    vd_prop_single(VD_PROP_NS "integration-stream", p_int_stream),
    vd_prop_single(VD_PROP_NS "is-single-stream", p_single_stream),
    vd_prop_resources(VD_PROP_NS "modifiable-component-list", l_project_components),
    vd_prop_resources(VD_PROP_NS "vdproject-posted-delivery-list", l_none),
    vd_prop_single(VD_PROP_NS "project-folder", p_project_folder),
    vd_prop_single(VD_PROP_NS "rebase-promotion-level", p_null),
    vd_prop_resources(VD_PROP_NS "stream-list", l_project_streams),
    vd_prop_resources(VD_PROP_NS "xcm-enabled-tn-record-type-list", l_project_record_types),
};

int p_component_has_root(const VdResource& self, VdNestedPropResponse& r) {
    xcm_component_info_t c;
    int st = COMPONENT_INFO(self, &c);
    return st ? st : r.marshal_boolean(c.root_element != 0);
}
int p_component_root(const VdResource& self, VdNestedPropResponse& r) {
    xcm_component_info_t c;
    int st = COMPONENT_INFO(self, &c);
    if (st) return st;
    vob_t* vob = nullptr;
    if (!c.root_element || vob_open_by_uuid(c.vob_uuid, &vob) != TBS_ST_OK)
        return r.marshal_null_value();
    return write_object(r, vob, c.root_element, VOB_MTYPE_DIR_ELEMENT);
}
int l_component_baselines(const VdResource& self, std::vector<VdResourceMaker>& out) {
    std::vector<xcm_obj_t> all;
    int st = xcm_list(V(self).vob(), VOB_MTYPE_BASELINE, &all);
    if (st) return st;
    for (const auto& b : all) {
        xcm_baseline_info_t bi;
        if (xcm_get_baseline(V(self).vob(), b.dbid, &bi) == TBS_ST_OK &&
            bi.component == V(self).dbid())
            out.push_back(maker(V(self).vob(), b.dbid, VOB_MTYPE_BASELINE));
    }
    return 0;
}
// The baselines of the component with everything their members stand for.
int l_component_closure(const VdResource& self, std::vector<VdResourceMaker>& out) {
    std::vector<VdResourceMaker> own;
    std::vector<vob_dbid_t> roots, closure;
    std::vector<xcm_obj_t> all;
    int st = xcm_list(V(self).vob(), VOB_MTYPE_BASELINE, &all);
    for (const auto& b : all) {
        xcm_baseline_info_t bi;
        if (!st && xcm_get_baseline(V(self).vob(), b.dbid, &bi) == TBS_ST_OK &&
            bi.component == V(self).dbid())
            roots.push_back(b.dbid);
    }
    // Each baseline's closure on its own: the component's baselines do not hide each
    // other's members.
    std::set<vob_dbid_t> seen;
    for (vob_dbid_t b : roots) {
        if (!st) st = xcm_baseline_closure(V(self).vob(), {b}, &closure);
        for (vob_dbid_t c : closure)
            if (!st && seen.insert(c).second)
                out.push_back(maker(V(self).vob(), c, VOB_MTYPE_BASELINE));
    }
    return st;
}
int p_initial_baseline(const VdResource& self, VdNestedPropResponse& r) {
    std::vector<VdResourceMaker> bls;
    int st = l_component_baselines(self, bls);
    if (st) return st;
    if (bls.empty()) return r.marshal_null_value();
    return r.marshal_optional_resource(bls.front());
}
const VdPropRow kComponentProps[] = {
    vd_prop_single(VD_PROP_NS "has-root-directory-element", p_component_has_root),
    vd_prop_single(VD_PROP_NS "initial-baseline", p_initial_baseline),
    vd_prop_single(VD_PROP_NS "rde-can-have-path", p_true),
    vd_prop_single(VD_PROP_NS "root-directory-element", p_component_root),
    vd_prop_resources(VD_PROP_NS "baseline-list-closure", l_component_closure),
};

int l_stream_activities(const VdResource& self, std::vector<VdResourceMaker>& out) {
    std::vector<vob_dbid_t> acts;
    int st = xcm_stream_activities(V(self).vob(), V(self).dbid(), &acts);
    if (st) return st;
    for (vob_dbid_t a : acts) out.push_back(maker(V(self).vob(), a, VOB_MTYPE_ACTIVITY));
    return 0;
}
template <int KIND>
int l_stream_baselines(const VdResource& self, std::vector<VdResourceMaker>& out) {
    std::vector<vob_dbid_t> bls;
    int st = xcm_stream_baselines(V(self).vob(), V(self).dbid(), KIND, &bls);
    if (st) return st;
    for (vob_dbid_t b : bls) out.push_back(maker(V(self).vob(), b, VOB_MTYPE_BASELINE));
    return 0;
}
int l_stream_recommended_closure(const VdResource& self, std::vector<VdResourceMaker>& out) {
    std::vector<vob_dbid_t> rec, closure;
    int st = xcm_stream_baselines(V(self).vob(), V(self).dbid(), XCM_BL_RECOMMENDED, &rec);
    if (!st) st = xcm_baseline_closure(V(self).vob(), rec, &closure);
    if (st) return st;
    for (vob_dbid_t b : closure) out.push_back(maker(V(self).vob(), b, VOB_MTYPE_BASELINE));
    return 0;
}
int l_stream_made_baselines(const VdResource& self, std::vector<VdResourceMaker>& out) {
    std::vector<xcm_obj_t> all;
    int st = xcm_list(V(self).vob(), VOB_MTYPE_BASELINE, &all);
    if (st) return st;
    for (const auto& b : all) {
        xcm_baseline_info_t bi;
        if (xcm_get_baseline(V(self).vob(), b.dbid, &bi) == TBS_ST_OK &&
            bi.stream == V(self).dbid())
            out.push_back(maker(V(self).vob(), b.dbid, VOB_MTYPE_BASELINE));
    }
    return 0;
}
int l_stream_components(const VdResource& self, std::vector<VdResourceMaker>& out) {
    xcm_stream_info_t s;
    int st = STREAM_INFO(self, &s);
    if (st) return st;
    std::vector<vob_dbid_t> comps;
    st = xcm_project_components(V(self).vob(), s.project, &comps);
    if (st) return st;
    for (vob_dbid_t c : comps) out.push_back(maker(V(self).vob(), c, VOB_MTYPE_COMPONENT));
    return 0;
}
int p_stream_target(const VdResource& self, VdNestedPropResponse& r) {
    xcm_stream_info_t s;
    int st = STREAM_INFO(self, &s);
    return st ? st
              : write_object(r, V(self).vob(), s.target ? s.target : s.parent, VOB_MTYPE_STREAM);
}
int stream_op(const VdResource& self, const char* kind, bool* yes) {
    xcm_op_t op;
    int st = xcm_get_op(V(self).vob(), V(self).dbid(), &op);
    *yes = st == TBS_ST_OK && op.kind == kind;
    return 0;
}
int p_deliver_in_progress(const VdResource& self, VdNestedPropResponse& r) {
    bool yes = false;
    stream_op(self, "deliver", &yes);
    return r.marshal_boolean(yes);
}
int p_rebase_in_progress(const VdResource& self, VdNestedPropResponse& r) {
    bool yes = false;
    stream_op(self, "rebase", &yes);
    return r.marshal_boolean(yes);
}
int p_deliver_operation(const VdResource& self, VdNestedPropResponse& r) {
    xcm_op_t op;
    if (xcm_get_op(V(self).vob(), V(self).dbid(), &op) != TBS_ST_OK || op.kind != "deliver")
        return r.marshal_null_value();
    r.start_marshal_xml();
    VdXmlElem* e = r.doc()->push("deliver-operation");
    e->add_attr("state", op.state);
    e->add_attr("user", op.user);
    e->add_attr("view-uuid", tbs_uuid_text(op.view_uuid));
    r.doc()->pop();
    return r.end_marshal_xml();
}
int stream_policy(const VdResource& self, int bit, VdNestedPropResponse& r) {
    xcm_stream_info_t s;
    int st = STREAM_INFO(self, &s);
    if (st) return st;
    xcm_project_info_t p;
    st = xcm_get_project(V(self).vob(), s.project, &p);
    // The policy allows checkouts; "no checkouts" is its negation.
    return st ? st : r.marshal_boolean((p.policies & bit) == 0);
}
int p_nco_stream(const VdResource& self, VdNestedPropResponse& r) {
    return stream_policy(self, XCM_POLICY_DELIVER_NCO_DEVSTR, r);
}
int p_nco_activities(const VdResource& self, VdNestedPropResponse& r) {
    return stream_policy(self, XCM_POLICY_DELIVER_NCO_SELACT, r);
}
int p_is_integration(const VdResource& self, VdNestedPropResponse& r) {
    xcm_stream_info_t s;
    int st = STREAM_INFO(self, &s);
    return st ? st : r.marshal_boolean(s.integration);
}
int p_stream_read_only(const VdResource& self, VdNestedPropResponse& r) {
    xcm_stream_info_t s;
    int st = STREAM_INFO(self, &s);
    return st ? st : r.marshal_boolean(s.read_only);
}
int l_my_activities(const VdResource& self, std::vector<VdResourceMaker>& out) {
    std::vector<vob_dbid_t> acts;
    int st = xcm_stream_activities(V(self).vob(), V(self).dbid(), &acts);
    if (st) return st;
    credutl_creds_t who;
    if (credutl_get_creds(&who) != TBS_ST_OK) return TBS_ST_ERR;
    const std::string& me = who.user;
    for (vob_dbid_t a : acts) {
        xcm_activity_info_t ai;
        if (xcm_get_activity(V(self).vob(), a, &ai) == TBS_ST_OK && ai.owner == me)
            out.push_back(maker(V(self).vob(), a, VOB_MTYPE_ACTIVITY));
    }
    return 0;
}
int p_parent_project(const VdResource& self, VdNestedPropResponse& r) {
    xcm_stream_info_t s;
    int st = STREAM_INFO(self, &s);
    return st ? st : write_object(r, V(self).vob(), s.project, VOB_MTYPE_PROJECT);
}
int p_parent_stream(const VdResource& self, VdNestedPropResponse& r) {
    xcm_stream_info_t s;
    int st = STREAM_INFO(self, &s);
    return st ? st : write_object(r, V(self).vob(), s.parent, VOB_MTYPE_STREAM);
}
int l_substreams(const VdResource& self, std::vector<VdResourceMaker>& out) {
    xcm_stream_info_t s;
    int st = STREAM_INFO(self, &s);
    if (st) return st;
    std::vector<vob_dbid_t> streams;
    st = xcm_project_streams(V(self).vob(), s.project, &streams);
    if (st) return st;
    for (vob_dbid_t c : streams) {
        xcm_stream_info_t ci;
        if (xcm_get_stream(V(self).vob(), c, &ci) == TBS_ST_OK && ci.parent == V(self).dbid())
            out.push_back(maker(V(self).vob(), c, VOB_MTYPE_STREAM));
    }
    return 0;
}
const VdPropRow kStreamProps[] = {
    vd_prop_single("target", p_stream_target),
    vd_prop_resources(VD_PROP_NS "activity-list", l_stream_activities, true),
    vd_prop_resources(VD_PROP_NS "baseline-list", l_stream_made_baselines),
    vd_prop_resources(VD_PROP_NS "component-list", l_stream_components),
    vd_prop_resources(VD_PROP_NS "explicit-baseline-list", l_stream_baselines<XCM_BL_FOUNDATION>),
    vd_prop_resources(VD_PROP_NS "foundation-baseline-list", l_stream_baselines<XCM_BL_FOUNDATION>),
    vd_prop_resources(VD_PROP_NS "latest-baseline-list", l_stream_made_baselines),
    vd_prop_resources(VD_PROP_NS "recommended-baseline-list",
                      l_stream_baselines<XCM_BL_RECOMMENDED>),
    vd_prop_resources(VD_PROP_NS "recommended-baseline-list-closure", l_stream_recommended_closure),
    vd_prop_resources(VD_PROP_NS "virtual-baseline-list", l_none),
    vd_prop_single(VD_PROP_NS "default-deliver-target", p_stream_target),
    vd_prop_single(VD_PROP_NS "deliver-operation", p_deliver_operation),
    vd_prop_single(VD_PROP_NS "deliver-policy-no-checkouts-stream", p_nco_stream),
    vd_prop_single(VD_PROP_NS "deliver-policy-no-checkouts-activities", p_nco_activities),
    vd_prop_single(VD_PROP_NS "has-delivery-in-progress", p_deliver_in_progress),
    vd_prop_single(VD_PROP_NS "has-posted-delivery-in-progress", p_false),
    vd_prop_single(VD_PROP_NS "has-rebase-in-progress", p_rebase_in_progress),
    vd_prop_single(VD_PROP_NS "is-integration-stream", p_is_integration),
    vd_prop_single(VD_PROP_NS "is-read-only", p_stream_read_only),
    vd_prop_resources(VD_PROP_NS "vdstream-posted-delivery-list", l_none),
    vd_prop_resources(VD_PROP_NS "my-activity-list", l_my_activities),
    vd_prop_single(VD_PROP_NS "parent-project", p_parent_project),
    vd_prop_single(VD_PROP_NS "parent-stream", p_parent_stream),
    vd_prop_resources(VD_PROP_NS "substream-list", l_substreams, true),
    vd_prop_list(VD_PROP_NS "task-provider-configuration-list", CT_LIST, p_empty_list),
    vd_prop_resources(VD_PROP_NS "view-list", l_stream_views),
};

int change_set(const VdResource& self, std::vector<cmd_cs_entry_t>* out) {
    return cmd_activity_change_set(V(self).vob(), V(self).dbid(), out);
}
int l_activity_versions(const VdResource& self, std::vector<VdResourceMaker>& out) {
    std::vector<cmd_cs_entry_t> cs;
    int st = change_set(self, &cs);
    if (st) return st;
    for (const auto& c : cs)
        if (!c.checked_out) out.push_back(maker(c.vob, c.version));
    return 0;
}
int l_activity_checkouts(const VdResource& self, std::vector<VdResourceMaker>& out) {
    std::vector<cmd_cs_entry_t> cs;
    int st = change_set(self, &cs);
    if (st) return st;
    for (const auto& c : cs)
        if (c.checked_out) out.push_back(maker(c.vob, c.version));
    return 0;
}
int l_activity_latest(const VdResource& self, std::vector<VdResourceMaker>& out) {
    std::vector<cmd_cs_entry_t> cs;
    int st = change_set(self, &cs);
    if (st) return st;
    // The latest version of each element comes last among its entries.
    for (size_t i = 0; i < cs.size(); ++i) {
        bool last =
            i + 1 == cs.size() || cs[i + 1].element != cs[i].element || cs[i + 1].vob != cs[i].vob;
        if (last) out.push_back(maker(cs[i].vob, cs[i].version));
    }
    return 0;
}
int p_act_stream(const VdResource& self, VdNestedPropResponse& r) {
    xcm_activity_info_t a;
    int st = ACTIVITY_INFO(self, &a);
    return st ? st : write_object(r, V(self).vob(), a.stream, VOB_MTYPE_STREAM);
}
int p_has_checkouts(const VdResource& self, VdNestedPropResponse& r) {
    std::vector<cmd_cs_entry_t> cs;
    int st = change_set(self, &cs);
    if (st) return st;
    bool any = false;
    for (const auto& c : cs) any = any || c.checked_out;
    return r.marshal_boolean(any);
}
int p_act_integration(const VdResource& self, VdNestedPropResponse& r) {
    xcm_activity_info_t a;
    int st = ACTIVITY_INFO(self, &a);
    return st ? st : r.marshal_boolean(a.integration);
}
int p_headline(const VdResource& self, VdNestedPropResponse& r) {
    xcm_activity_info_t a;
    int st = ACTIVITY_INFO(self, &a);
    return st ? st : r.marshal_string(a.headline);
}
int p_act_id(const VdResource& self, VdNestedPropResponse& r) {
    xcm_activity_info_t a;
    int st = ACTIVITY_INFO(self, &a);
    return st ? st : r.marshal_string(a.name);
}
int p_act_id_selector(const VdResource& self, VdNestedPropResponse& r) {
    xcm_activity_info_t a;
    int st = ACTIVITY_INFO(self, &a);
    return st ? st : r.marshal_string(xcm_selector(V(self).vob(), VOB_MTYPE_ACTIVITY, a.name));
}
int l_activity_tasks(const VdResource& self, std::vector<VdResourceMaker>& out) {
    std::vector<std::string> uris;
    int st = xcm_activity_tasks(V(self).vob(), V(self).dbid(), &uris);
    if (st) return st;
    for (const std::string& u : uris)
        out.push_back([u](std::unique_ptr<VdResource>& o) {
            o.reset(new VdTask(u));
            return 0;
        });
    return 0;
}
const VdPropRow kActivityProps[] = {
    vd_prop_resources("activity-version-list", l_activity_versions),
    vd_prop_resources("activity-checkout-list", l_activity_checkouts),
    vd_prop_resources("task-list", l_activity_tasks),
    vd_prop_single(VD_PROP_NS "act-stream", p_act_stream),
    vd_prop_single(VD_PROP_NS "bound-vd-activity", p_act_bound_activity),
    vd_prop_single(VD_PROP_NS "bound-tn-record", p_act_bound_record),
    vd_prop_single(VD_PROP_NS "tn-xcm-integration-state", p_act_tn_state),
    vd_prop_single(VD_PROP_NS "has-checkouts", p_has_checkouts),
    vd_prop_single(VD_PROP_NS "is-integration-activity", p_act_integration),
    vd_prop_single(VD_PROP_NS "headline", p_headline),
    vd_prop_single(VD_PROP_NS "id", p_act_id),
    vd_prop_single(VD_PROP_NS "id-selector", p_act_id_selector),
    vd_prop_resources(VD_PROP_NS "latest-version-list", l_activity_latest),
    vd_prop_single(VD_PROP_NS "name-resolver-view", p_null),
};

int p_bl_component(const VdResource& self, VdNestedPropResponse& r) {
    xcm_baseline_info_t b;
    int st = BASELINE_INFO(self, &b);
    return st ? st : write_object(r, V(self).vob(), b.component, VOB_MTYPE_COMPONENT);
}
int p_bl_is_initial(const VdResource& self, VdNestedPropResponse& r) {
    xcm_baseline_info_t b;
    int st = BASELINE_INFO(self, &b);
    return st ? st : r.marshal_boolean(b.stream == 0);
}
int p_bl_stream(const VdResource& self, VdNestedPropResponse& r) {
    xcm_baseline_info_t b;
    int st = BASELINE_INFO(self, &b);
    return st ? st : write_object(r, V(self).vob(), b.stream, VOB_MTYPE_STREAM);
}
int p_labeling_status(const VdResource& self, VdNestedPropResponse& r) {
    xcm_baseline_info_t b;
    int st = BASELINE_INFO(self, &b);
    if (st) return st;
    if (b.stream == 0 && b.labelled == 0) return r.marshal_enum("LabelingStatus:IS_INITIAL");
    if (b.labelled == 0) return r.marshal_enum("LabelingStatus:NO_VERSIONS_TO_LABEL");
    return r.marshal_enum(b.full ? "LabelingStatus:FULLY_LABELED"
                                 : "LabelingStatus:INCREMENTALLY_LABELED");
}
int p_promotion(const VdResource& self, VdNestedPropResponse& r) {
    xcm_baseline_info_t b;
    int st = BASELINE_INFO(self, &b);
    if (st) return st;
    if (b.promotion < 0 || b.promotion >= XCM_PROMOTION_LEVEL_COUNT) return r.marshal_null_value();
    return r.marshal_string(XCM_PROMOTION_LEVELS[b.promotion]);
}
int l_bl_members(const VdResource& self, std::vector<VdResourceMaker>& out) {
    std::vector<vob_dbid_t> members;
    int st = xcm_baseline_members(V(self).vob(), V(self).dbid(), &members);
    if (st) return st;
    for (vob_dbid_t m : members) out.push_back(maker(V(self).vob(), m, VOB_MTYPE_BASELINE));
    return 0;
}
int p_bl_is_composite(const VdResource& self, VdNestedPropResponse& r) {
    std::vector<vob_dbid_t> members;
    int st = xcm_baseline_members(V(self).vob(), V(self).dbid(), &members);
    return st ? st : r.marshal_boolean(!members.empty());
}
const VdPropRow kBaselineProps[] = {
    vd_prop_single(VD_PROP_NS "baseline-component", p_bl_component),
    vd_prop_single(VD_PROP_NS "baseline-is-import", p_false),
    vd_prop_single(VD_PROP_NS "baseline-is-initial", p_bl_is_initial),
    vd_prop_single(VD_PROP_NS "baseline-is-composite", p_bl_is_composite),
    vd_prop_single(VD_PROP_NS "baseline-stream", p_bl_stream),
    vd_prop_single(VD_PROP_NS "labeling-status", p_labeling_status),
    vd_prop_single(VD_PROP_NS "promotion-level", p_promotion),
    vd_prop_resources(VD_PROP_NS "subbaseline-list", l_bl_members),
};

// Writing ------------------------------------------------------------------------------------

// "<octal>" or symbolic clauses ("u+w", "go-rwx", "a=r") applied to `mode`.
bool parse_rights(const std::string& text, int mode, int* out) {
    if (text.empty()) return false;
    if (text.find_first_not_of("01234567") == std::string::npos) {
        if (text.size() > 5) return false;
        *out = static_cast<int>(std::stol(text, nullptr, 8)) & 07777;
        return true;
    }
    int m = mode;
    size_t i = 0;
    while (i < text.size()) {
        int who = 0;
        while (i < text.size() && strchr("augo", text[i])) {
            who |= text[i] == 'u' ? 04700 : text[i] == 'g' ? 02070 : text[i] == 'o' ? 01007 : 07777;
            ++i;
        }
        if (!who) who = 07777;
        if (i >= text.size() || !strchr("-+=", text[i])) return false;
        char op = text[i++];
        int bits = 0;
        while (i < text.size() && strchr("strwx", text[i])) {
            bits |= text[i] == 'r'   ? 0444
                    : text[i] == 'w' ? 0222
                    : text[i] == 'x' ? 0111
                    : text[i] == 's' ? 06000
                                     : 01000;
            ++i;
        }
        bits &= who;
        if (op == '+')
            m |= bits;
        else if (op == '-')
            m &= ~bits;
        else
            m = (m & ~(who & 0777)) | bits;
        if (i < text.size()) {
            if (text[i] != ',') return false;
            ++i;
        }
    }
    *out = m & 07777;
    return true;
}

int rights_of(const VdXmlElem* e, const char* attr, int shift, int mode, int* out) {
    if (!e->has_attr(attr)) return 0;
    std::string v = e->get_attr(attr).str();
    int bits = 0;
    for (char c : v) {
        if (c == 'r')
            bits |= 4;
        else if (c == 'w')
            bits |= 2;
        else if (c == 'x')
            bits |= 1;
        else if (c != '-')
            return VD_ST_UNSUPPORTED;
    }
    *out = (*out & ~(7 << shift)) | (bits << shift);
    (void)mode;
    return 0;
}

}  // namespace

// VdVobResource -------------------------------------------------------------------------------

std::string VdVobResource::selector() const {
    return "dbid:" + std::to_string(dbid_) + "@" + vob_selector(vob_, VOB_VOBSEL_REPLICA);
}

VdPropReader* VdVobResource::get_prop_reader(const VdNestedPropResponse& r) const {
    if (VdPropReader* p = vd_find_prop(kVobObjectProps, *this, r.name())) return p;
    return VdResource::get_prop_reader(r);
}

int VdVobResource::get_display_name(SUM_String& out) const {
    if ((mtype_ >= VOB_MTYPE_ELTYPE && mtype_ <= VOB_MTYPE_TRTYPE) || mtype_ == VOB_MTYPE_POLICY ||
        mtype_ == VOB_MTYPE_ROLEMAP) {
        vob_type_info_t t;
        int st = vob_type_get(vob_, dbid_, &t);
        if (st) return st;
        out = SUM_String(t.name);
        return 0;
    }
    if (mtype_ >= VOB_MTYPE_FOLDER && mtype_ <= VOB_MTYPE_COMPONENT) {
        xcm_obj_t o;
        int st = xcm_get_obj(vob_, dbid_, &o);
        if (st) return st;
        out = SUM_String(o.name);
        return 0;
    }
    char buf[VOB_MAX_PNAME];
    int st = vob_obj_get_selector(vob_, dbid_, buf, sizeof buf);
    if (st) return st;
    out = SUM_String(buf);
    return 0;
}

int VdVobResource::get_efficient_location(VdLocation& out) const {
    if (is_null()) return internal_error("location of a null VOB object"), VD_ST_BAD_REQUEST;
    out = VdLocation(SUM_String(selector()));
    return 0;
}

int VdVobResource::get_stable_location(VdLocation& out) const {
    vob_obj_info_t info;
    int st = vob_obj_get_info(vob_, dbid_, &info);
    if (st) return st;
    out = VdLocation(
        SUM_String("oid:" + tbs_uuid_text(info.oid) + "@" + vob_selector(vob_, VOB_VOBSEL_FAMILY)));
    return 0;
}

int VdVobResource::get_user_friendly_location(VdLocation& out) const {
    if (mtype_ >= VOB_MTYPE_FOLDER && mtype_ <= VOB_MTYPE_COMPONENT) {
        xcm_obj_t o;
        int st = xcm_get_obj(vob_, dbid_, &o);
        if (st) return st;
        out = VdLocation(SUM_String(xcm_selector(vob_, mtype_, o.name)));
        return 0;
    }
    char buf[VOB_MAX_PNAME];
    int st = vob_obj_get_selector(vob_, dbid_, buf, sizeof buf);
    if (st) return st;
    out = VdLocation(SUM_String(buf));
    return 0;
}

bool VdVobResource::is_obsolete() const {
    vob_lock_info_t lock;
    return vob_obj_get_lock(vob_, dbid_, &lock) == TBS_ST_OK && lock.obsolete;
}

int VdVobResource::write_prop(const PropVal& value) {
    const std::string& name = value.name().str();
    if (name == "comment") {
        SUM_String text;
        if (!value.is_null() && value.get_single_value(text) != 0) return VD_ST_UNSUPPORTED;
        cmd_chevent_args_t a;
        a.vob = vob_;
        a.dbid = dbid_;
        a.comment = text.str();
        return cmd_chevent(&a);
    }
    if (name == VD_PROP_NS "lock-info") {
        cmd_lock_args_t a;
        a.objects.push_back(selector());
        if (value.is_null()) return cmd_unlock(&a);
        const VdXmlElem* xml = nullptr;
        if (value.get_xml(xml) != 0) return VD_ST_UNSUPPORTED;
        std::string state = "locked";
        for (const VdXmlElem* c : xml->get_children()) {
            const std::string tag = c->get_tag().str();
            if (tag == "locked-state")
                state = c->get_value().str();
            else if (tag == "lock-description")
                a.comment = c->get_value().str();
            else if (tag == "excluded-user-list")
                for (const VdXmlElem* u : c->get_children())
                    a.nusers.push_back(u->get_value().str());
        }
        if (state == "unlocked") return cmd_unlock(&a);
        if (state != "locked" && state != "obsolete") return VD_ST_UNSUPPORTED;
        a.obsolete = state == "obsolete";
        a.replace = true;
        return cmd_lock(&a);
    }
    if (name == VD_PROP_NS "vd-permissions") {
        const VdXmlElem* xml = nullptr;
        if (value.get_xml(xml) != 0) return VD_ST_UNSUPPORTED;
        const VdXmlElem* perm = xml->get_tag().str() == "permissions" ? xml : nullptr;
        for (const VdXmlElem* c : xml->get_children())
            if (!perm && c->get_tag().str() == "permissions") perm = c;
        if (!perm) return VD_ST_UNSUPPORTED;
        vob_obj_info_t info;
        int st = vob_obj_get_info(vob_, dbid_, &info);
        if (st) return st;
        int mode = info.mode & 07777;
        if ((st = rights_of(perm, "user-mask", 6, info.mode, &mode)) ||
            (st = rights_of(perm, "group-mask", 3, info.mode, &mode)) ||
            (st = rights_of(perm, "other-mask", 0, info.mode, &mode)))
            return st;
        cmd_protect_args_t a;
        a.objects.push_back(selector());
        a.mode = mode;
        for (const VdXmlElem* c : perm->get_children()) {
            if (c->get_tag().str() == "owner-name") a.owner = c->get_value().str();
            if (c->get_tag().str() == "group-name") a.group = c->get_value().str();
        }
        if (a.owner == info.owner) a.owner.clear();
        if (a.group == info.group) a.group.clear();
        return cmd_protect(&a);
    }
    if (name == VD_PROP_NS "rolemap") {
        // The role map (its location or name) that is to protect the object from now on.
        SUM_String rolemap;
        if (value.is_null() || value.get_single_value(rolemap) != 0) return VD_ST_UNSUPPORTED;
        cmd_apply_rolemap_args_t a;
        a.objects.push_back(selector());
        a.rolemap = rolemap.str();
        return cmd_apply_rolemap(&a);
    }
    if (name == VD_PROP_NS "my-effective-access") {
        SUM_String text;
        if (value.get_single_value(text) != 0) return VD_ST_UNSUPPORTED;
        vob_obj_info_t info;
        int st = vob_obj_get_info(vob_, dbid_, &info);
        if (st) return st;
        int mode = 0;
        if (!parse_rights(text.str(), info.mode & 07777, &mode)) return VD_ST_UNSUPPORTED;
        cmd_protect_args_t a;
        a.objects.push_back(selector());
        a.mode = mode;
        return cmd_protect(&a);
    }
    return VdResource::write_prop(value);
}

// VdVob ----------------------------------------------------------------------------------------

VdPropReader* VdVob::get_prop_reader(const VdNestedPropResponse& r) const {
    if (VdPropReader* p = vd_find_prop(kVobProps, *this, r.name())) return p;
    return VdVobResource::get_prop_reader(r);
}
int VdVob::get_display_name(SUM_String& out) const {
    out = SUM_String(vob_->tag);
    return 0;
}
int VdVob::get_efficient_location(VdLocation& out) const {
    out = VdLocation(LP_REPLICA_UUID, SUM_String(tbs_uuid_text(vob_->uuid)));
    return 0;
}
int VdVob::get_stable_location(VdLocation& out) const {
    return get_efficient_location(out);
}
int VdVob::get_user_friendly_location(VdLocation& out) const {
    out = VdLocation(SUM_String(vob_selector(vob_, VOB_VOBSEL_TAG)));
    return 0;
}
int VdVob::construct_from_replica_uuid_location(const VdLocation& location,
                                                std::unique_ptr<VdResource>& out) {
    LocationPrefix p;
    SUM_String rest;
    location.parse_native(p, rest);
    vob_t* vob = nullptr;
    vob_dbid_t dbid = 0;
    int mtype = 0;
    const std::string sel = "replica_uuid:" + rest.str();
    int st = vob_resolve_general(sel.c_str(), nullptr, &vob, &dbid, &mtype);
    if (st) {
        // The family id names the VOB as well.
        const std::string fam = "vobuuid:" + rest.str();
        st = vob_resolve_general(fam.c_str(), nullptr, &vob, &dbid, &mtype);
    }
    if (st) return st;
    out.reset(new VdVob(vob, dbid, VOB_MTYPE_VOB));
    return 0;
}

int VdReplica::get_display_name(SUM_String& out) const {
    out = SUM_String("original");
    return 0;
}

// Elements, branches, versions -------------------------------------------------------------

VdResource::Type VdElement::get_type() const {
    return mtype_ == VOB_MTYPE_DIR_ELEMENT ? DELEM : FELEM;
}
VdPropReader* VdElement::get_prop_reader(const VdNestedPropResponse& r) const {
    if (VdPropReader* p = vd_find_prop(kElementProps, *this, r.name())) return p;
    return VdVobResource::get_prop_reader(r);
}
int VdElement::get_display_name(SUM_String& out) const {
    std::string p;
    int st = vob_elem_get_pname(vob_, dbid_, &p);
    if (st) return st;
    out = SUM_String(p);
    return 0;
}

VdPropReader* VdBranch::get_prop_reader(const VdNestedPropResponse& r) const {
    if (VdPropReader* p = vd_find_prop(kBranchProps, *this, r.name())) return p;
    return VdVobResource::get_prop_reader(r);
}
int VdBranch::get_display_name(SUM_String& out) const {
    char buf[VOB_MAX_PNAME];
    int st = vob_obj_get_selector(vob_, dbid_, buf, sizeof buf);
    if (st) return st;
    std::string s = buf;
    size_t at = s.rfind("@@");
    out = SUM_String(at == std::string::npos ? s : s.substr(at + 2));
    return 0;
}

VdResource::Type VdVersion::get_type() const {
    return mtype_ == VOB_MTYPE_DIR_VERSION ? DVER : FVER;
}
VdPropReader* VdVersion::get_prop_reader(const VdNestedPropResponse& r) const {
    if (VdPropReader* p = vd_find_prop(kVersionProps, *this, r.name())) return p;
    return VdVobResource::get_prop_reader(r);
}
int VdVersion::get_display_name(SUM_String& out) const {
    std::string id;
    int st = vob_ver_get_idstr(vob_, dbid_, &id);
    if (st) return st;
    out = SUM_String(id);
    return 0;
}
int VdVersion::write_prop(const PropVal& value) {
    const std::string& name = value.name().str();
    if (name == "activity") {
        SUM_String act;
        if (value.get_single_value(act) != 0) return VD_ST_UNSUPPORTED;
        return cmd_mvact(selector().c_str(), nullptr, act.c_str());
    }
    if (name == VD_PROP_NS "version-task-list" || name == VD_PROP_NS "task-list") {
        // A version's tasks are those of the activity it was made in.
        vob_t* pvob = nullptr;
        vob_dbid_t act = 0;
        int st = version_activity(*this, &pvob, &act);
        if (st) return st;
        if (!act) return VD_UNSUPPORTED("the version belongs to no activity");
        VdActivity activity(pvob, act, VOB_MTYPE_ACTIVITY);
        return activity.set_task_list(value);
    }
    return VdVobResource::write_prop(value);
}

VdPropReader* VdHyperlink::get_prop_reader(const VdNestedPropResponse& r) const {
    if (VdPropReader* p = vd_find_prop(kHlinkProps, *this, r.name())) return p;
    return VdVobResource::get_prop_reader(r);
}
int VdHyperlink::get_display_name(SUM_String& out) const {
    vob_hlink_info_t l;
    int st = hlink_of(*this, &l);
    if (st) return st;
    out = SUM_String(l.type + "@" + std::to_string(dbid_) + "@" + vob_->tag);
    return 0;
}

VdPropReader* VdTypeBase::get_prop_reader(const VdNestedPropResponse& r) const {
    if (VdPropReader* p = vd_find_prop(kTypeProps, *this, r.name())) return p;
    return VdVobResource::get_prop_reader(r);
}
int VdTypeBase::remove() {
    SUM_String sel;
    VdLocation l;
    int st = get_user_friendly_location(l);
    if (st) return st;
    cmd_rmtype_args_t a;
    a.selector = l.to_native().str();
    return cmd_rmtype(&a);
}
VdPropReader* VdPolicy::get_prop_reader(const VdNestedPropResponse& r) const {
    if (VdPropReader* p = vd_find_prop(kPolicyProps, *this, r.name())) return p;
    return VdTypeBase::get_prop_reader(r);
}
VdPropReader* VdRolemap::get_prop_reader(const VdNestedPropResponse& r) const {
    if (VdPropReader* p = vd_find_prop(kRolemapProps, *this, r.name())) return p;
    return VdTypeBase::get_prop_reader(r);
}
VdPropReader* VdElementType::get_prop_reader(const VdNestedPropResponse& r) const {
    if (VdPropReader* p = vd_find_prop(kEltypeProps, *this, r.name())) return p;
    return VdTypeBase::get_prop_reader(r);
}

// Change-management objects ------------------------------------------------------------------

VdPropReader* VdProjectFolder::get_prop_reader(const VdNestedPropResponse& r) const {
    if (VdPropReader* p = vd_find_prop(kFolderProps, *this, r.name())) return p;
    return VdVobResource::get_prop_reader(r);
}
VdPropReader* VdProject::get_prop_reader(const VdNestedPropResponse& r) const {
    if (VdPropReader* p = vd_find_prop(kProjectProps, *this, r.name())) return p;
    return VdVobResource::get_prop_reader(r);
}
bool VdProject::is_obsolete() const {
    xcm_project_info_t p;
    return xcm_get_project(vob_, dbid_, &p) == TBS_ST_OK && p.obsolete;
}
VdPropReader* VdComponent::get_prop_reader(const VdNestedPropResponse& r) const {
    if (VdPropReader* p = vd_find_prop(kComponentProps, *this, r.name())) return p;
    return VdVobResource::get_prop_reader(r);
}
VdPropReader* VdStream::get_prop_reader(const VdNestedPropResponse& r) const {
    if (VdPropReader* p = vd_find_prop(kStreamProps, *this, r.name())) return p;
    return VdVobResource::get_prop_reader(r);
}
int VdStream::write_prop(const PropVal& value) {
    const std::string& name = value.name().str();
    VdLocation uf;
    int st = get_user_friendly_location(uf);
    if (st) return st;
    if (name == VD_PROP_NS "default-deliver-target") {
        cmd_chstream_args_t a;
        a.stream = uf.to_native().str();
        a.set_target = true;
        SUM_String target;
        if (!value.is_null() && value.get_single_value(target) != 0) return VD_ST_UNSUPPORTED;
        if (!target.is_empty()) {
            std::unique_ptr<VdResource> r;
            if ((st = VdResource::construct_from_location(VdLocation(target), r))) return st;
            VdLocation t;
            if (r->get_type() != STREAM) return VD_ST_UNSUPPORTED;
            if ((st = r->get_user_friendly_location(t))) return st;
            a.target = t.to_native().str();
        }
        return cmd_chstream(&a);
    }
    if (name == VD_PROP_NS "is-read-only") {
        bool yes = false;
        if (value.is_true(yes) != 0) return VD_ST_UNSUPPORTED;
        cmd_chstream_args_t a;
        a.stream = uf.to_native().str();
        a.read_only = yes ? 1 : 0;
        return cmd_chstream(&a);
    }
    return VdVobResource::write_prop(value);
}
VdPropReader* VdActivity::get_prop_reader(const VdNestedPropResponse& r) const {
    if (VdPropReader* p = vd_find_prop(kActivityProps, *this, r.name())) return p;
    return VdVobResource::get_prop_reader(r);
}
int VdActivity::write_prop(const PropVal& value) {
    const std::string& name = value.name().str();
    if (name == VD_PROP_NS "headline") {
        SUM_String text;
        if (value.get_single_value(text) != 0) return VD_ST_UNSUPPORTED;
        VdLocation uf;
        int st = get_user_friendly_location(uf);
        if (st) return st;
        return cmd_chactivity(uf.to_native().c_str(), text.c_str(), nullptr);
    }
    if (name == "task-list") return set_task_list(value);
    if (name == VD_PROP_NS "bound-tn-record") return tn_bind_activity(*this, value);
    return VdVobResource::write_prop(value);
}
int VdActivity::set_task_list(const PropVal& value) {
    std::vector<std::string> add, remove;
    bool replace = true;
    SUM_String single;
    switch (value.kind()) {
        case PropVal::NULL_KIND:
            break;
        case PropVal::SINGLE:
            value.get_single_value(single);
            add.push_back(single.str());
            break;
        case PropVal::COLLECTION:
            value.get_collection_value(add);
            break;
        case PropVal::MODIFIER:
            value.get_additions(add);
            value.get_removals(remove);
            replace = false;
            break;
        default:
            return VD_ST_UNSUPPORTED;
    }
    for (auto* list : {&add, &remove})
        for (std::string& v : *list)
            if ((v = VdTask::uri_of(v)).empty()) return VD_UNSUPPORTED("not a task URI");
    VdLocation uf;
    int st = get_user_friendly_location(uf);
    if (st) return st;
    return cmd_chactivity_tasks(uf.to_native().c_str(), add, remove, replace);
}

VdPropReader* VdBaseline::get_prop_reader(const VdNestedPropResponse& r) const {
    if (VdPropReader* p = vd_find_prop(kBaselineProps, *this, r.name())) return p;
    return VdVobResource::get_prop_reader(r);
}
int VdBaseline::write_prop(const PropVal& value) {
    const std::string& name = value.name().str();
    if (name == VD_PROP_NS "promotion-level") {
        SUM_String level;
        if (value.get_single_value(level) != 0) return VD_ST_UNSUPPORTED;
        VdLocation uf;
        int st = get_user_friendly_location(uf);
        if (st) return st;
        cmd_chbl_args_t a;
        a.baseline = uf.to_native().str();
        a.level = level.str();
        return cmd_chbl(&a);
    }
    return VdVobResource::write_prop(value);
}
