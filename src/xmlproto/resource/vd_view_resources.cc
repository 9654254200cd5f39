#include "xmlproto/resource/vd_view_resources.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/cmd/cmd.h"
#include "core/cmd/cmd_xcm.h"
#include "core/imsg/imsg.h"
#include "core/rgy/rgy.h"
#include "core/view/view.h"
#include "core/vob/vob_obj.h"
#include "core/vob/xcm.h"
#include "foundation/catalogs/vdw_prop_catalog.h"
#include "xmlproto/props/vd_prop.h"
#include "xmlproto/resource/vd_site_resources.h"
#include "xmlproto/resource/vd_vob_resources.h"
#include "xmlproto/xml/vd_xml_doc.h"

namespace {

bool same_uuid(const tbs_uuid_t& a, const tbs_uuid_t& b) {
    return memcmp(a.bytes, b.bytes, sizeof a.bytes) == 0;
}

// Whether a path below a view's root stays below it: no "." or ".." segment, no NUL.
bool safe_relative(const std::string& path) {
    if (path.find('\0') != std::string::npos) return false;
    size_t i = 0;
    while (i <= path.size()) {
        size_t j = path.find('/', i);
        if (j == std::string::npos) j = path.size();
        const std::string seg = path.substr(i, j - i);
        if (seg == "." || seg == "..") return false;
        i = j + 1;
    }
    return true;
}

std::string trim_slashes(std::string p) {
    while (!p.empty() && p.front() == '/') p.erase(0, 1);
    while (!p.empty() && p.back() == '/') p.pop_back();
    return p;
}

const VdView& VW(const VdResource& r) {
    return static_cast<const VdView&>(r);
}
const VdFileBase& FB(const VdResource& r) {
    return static_cast<const VdFileBase&>(r);
}
const VdViewResidentResource& VR(const VdResource& r) {
    return static_cast<const VdViewResidentResource&>(r);
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
int p_empty_string(const VdResource&, VdNestedPropResponse& r) {
    return r.marshal_string("");
}
int l_none(const VdResource&, std::vector<VdResourceMaker>&) {
    return 0;
}

int registry_entry(view_t* view, rgy_view_entry_t* e) {
    return rgy_findbyuuid_entry(view->uuid, e);
}

// Views -----------------------------------------------------------------------------------------

int p_view_creator(const VdResource& self, VdNestedPropResponse& r) {
    rgy_view_entry_t e;
    int st = registry_entry(VW(self).view(), &e);
    return st ? st : r.marshal_string(e.owner);
}
int p_view_region(const VdResource& self, VdNestedPropResponse& r) {
    rgy_view_entry_t e;
    int st = registry_entry(VW(self).view(), &e);
    return st ? st : r.marshal_string(e.region);
}
int p_view_current_activity(const VdResource& self, VdNestedPropResponse& r) {
    view_xcm_t x;
    if (view_get_xcm(VW(self).view(), &x) != TBS_ST_OK || !x.activity)
        return r.marshal_null_value();
    vob_t* pvob = nullptr;
    if (vob_open_by_uuid(x.pvob, &pvob) != TBS_ST_OK) return r.marshal_null_value();
    const vob_dbid_t act = x.activity;
    return r.marshal_optional_resource([pvob, act](std::unique_ptr<VdResource>& out) {
        return VdResource::util_vd_object_to_resource(pvob, act, VOB_MTYPE_ACTIVITY, out);
    });
}
int p_view_stream(const VdResource& self, VdNestedPropResponse& r) {
    view_xcm_t x;
    if (view_get_xcm(VW(self).view(), &x) != TBS_ST_OK || !x.stream) return r.marshal_null_value();
    vob_t* pvob = nullptr;
    if (vob_open_by_uuid(x.pvob, &pvob) != TBS_ST_OK) return r.marshal_null_value();
    const vob_dbid_t s = x.stream;
    return r.marshal_optional_resource([pvob, s](std::unique_ptr<VdResource>& out) {
        return VdResource::util_vd_object_to_resource(pvob, s, VOB_MTYPE_STREAM, out);
    });
}
int p_view_self(const VdResource& self, VdNestedPropResponse& r) {
    return r.marshal_resource(self);
}
int p_view_config_spec(const VdResource& self, VdNestedPropResponse& r) {
    std::string text;
    int st = view_get_cspec(VW(self).view(), &text);
    if (st) return st;
    r.start_marshal_xml();
    VdXmlElem* e = r.doc()->push("config-spec");
    e->add_value(text);
    r.doc()->pop();
    return r.end_marshal_xml();
}
int p_view_root(const VdResource& self, VdNestedPropResponse& r) {
    return r.marshal_file(VW(self).view()->root);
}
int p_view_is_xcm(const VdResource& self, VdNestedPropResponse& r) {
    return r.marshal_boolean(VW(self).view()->sum_view);
}
int p_view_tag(const VdResource& self, VdNestedPropResponse& r) {
    rgy_view_entry_t e;
    int st = registry_entry(VW(self).view(), &e);
    if (st) return st;
    VdViewTag tag(e.tag, e.region);
    return r.marshal_resource(tag);
}
int p_view_tag_string(const VdResource& self, VdNestedPropResponse& r) {
    return r.marshal_string(VW(self).view()->tag);
}
int p_view_type(const VdResource& self, VdNestedPropResponse& r) {
    static const char* const names[] = {"ViewType:DYNAMIC", "ViewType:SNAPSHOT", "ViewType:WEB",
                                        "ViewType:AUTOMATIC"};
    return r.marshal_enum(names[VW(self).view_type()]);
}
int p_view_uuid(const VdResource& self, VdNestedPropResponse& r) {
    return r.marshal_string(tbs_uuid_text(VW(self).view()->uuid));
}
int p_view_storage(const VdResource& self, VdNestedPropResponse& r) {
    return r.marshal_string(VW(self).view()->storage);
}
int p_view_relative_root(const VdResource&, VdNestedPropResponse& r) {
    return r.marshal_string("");
}
int p_text_mode(const VdResource&, VdNestedPropResponse& r) {
    return r.marshal_enum("TextMode:TRANSPARENT");
}
int l_view_checkouts(const VdResource& self, std::vector<VdResourceMaker>& out) {
    std::vector<rgy_vob_entry_t> vobs;
    int st = rgy_list_vob_tags(nullptr, &vobs);
    if (st) return st;
    view_t* view = VW(self).view();
    for (const auto& e : vobs) {
        vob_t* vob = nullptr;
        if (vob_open_entry(e, &vob) != TBS_ST_OK) continue;
        std::vector<vob_checkout_info_t> cos;
        if (vob_ob_view_ckouts(vob, view->uuid, &cos) != TBS_ST_OK) continue;
        for (const auto& c : cos) {
            const vob_dbid_t v = c.dbid;
            out.push_back([vob, v](std::unique_ptr<VdResource>& o) {
                int mtype = 0;
                int s = vob_obj_get_mtypes(vob, v, &mtype);
                return s ? s : VdResource::util_vd_object_to_resource(vob, v, mtype, o);
            });
        }
    }
    return 0;
}
int l_view_components(const VdResource& self, std::vector<VdResourceMaker>& out) {
    view_xcm_t x;
    if (view_get_xcm(VW(self).view(), &x) != TBS_ST_OK) return 0;
    vob_t* pvob = nullptr;
    int st = vob_open_by_uuid(x.pvob, &pvob);
    if (st) return st;
    xcm_stream_info_t s;
    if ((st = xcm_get_stream(pvob, x.stream, &s))) return st;
    std::vector<vob_dbid_t> comps;
    if ((st = xcm_project_components(pvob, s.project, &comps))) return st;
    for (vob_dbid_t c : comps) {
        xcm_component_info_t ci;
        vob_t* vob = nullptr;
        if (xcm_get_component(pvob, c, &ci) != TBS_ST_OK || !ci.root_element ||
            vob_open_by_uuid(ci.vob_uuid, &vob) != TBS_ST_OK)
            continue;
        const vob_dbid_t root = ci.root_element;
        out.push_back([vob, root](std::unique_ptr<VdResource>& o) {
            return VdResource::util_vd_object_to_resource(vob, root, VOB_MTYPE_DIR_ELEMENT, o);
        });
    }
    return 0;
}

const VdPropRow kViewProps[] = {
    vd_prop_single("comment", p_empty_string),
    vd_prop_single("creator-display-name", p_view_creator),
    vd_prop_single("current-activity", p_view_current_activity),
    vd_prop_single("is-checked-out", p_false),
    vd_prop_single("is-version-controllable", p_false),
    vd_prop_single("is-version-controlled", p_false),
    vd_prop_single("stream", p_view_stream),
    vd_prop_single("workspace", p_view_self),
    vd_prop_resources(VD_PROP_NS "aggregated-checkout-list", l_view_checkouts),
    vd_prop_single(VD_PROP_NS "are-permissions-valid", p_true),
    vd_prop_single(VD_PROP_NS "client-path", p_view_root),
    vd_prop_single(VD_PROP_NS "colocated-storage", p_false),
    vd_prop_resources(VD_PROP_NS "component-root-directory-list", l_view_components),
    vd_prop_single(VD_PROP_NS "config-spec", p_view_config_spec),
    vd_prop_single(VD_PROP_NS "creator-group-name", p_empty_string),
    vd_prop_single(VD_PROP_NS "creator-login-name", p_view_creator),
    vd_prop_single(VD_PROP_NS "file-area-needs-upgrade", p_false),
    vd_prop_single(VD_PROP_NS "file-area-root-directory", p_view_root),
    vd_prop_single(VD_PROP_NS "has-descendant-checkouts", p_false),
    vd_prop_single(VD_PROP_NS "has-descendant-hijacks", p_false),
    vd_prop_single(VD_PROP_NS "is-db-file", p_false),
    vd_prop_single(VD_PROP_NS "is-express", p_false),
    vd_prop_single(VD_PROP_NS "is-hijacked", p_false),
    vd_prop_single(VD_PROP_NS "is-read-only", p_false),
    vd_prop_single(VD_PROP_NS "is-symlink", p_false),
    vd_prop_single(VD_PROP_NS "is-xcm-view", p_view_is_xcm),
    vd_prop_single(VD_PROP_NS "is-vob-root", p_false),
    vd_prop_single(VD_PROP_NS "vd-parent", p_null),
    vd_prop_single(VD_PROP_NS "preserve-vob-modified-time", p_false),
    vd_prop_single(VD_PROP_NS "view-region", p_view_region),
    vd_prop_single(VD_PROP_NS "shared-dos", p_false),
    vd_prop_single(VD_PROP_NS "text-mode", p_text_mode),
    vd_prop_single(VD_PROP_NS "view-relative-path", p_view_relative_root),
    vd_prop_single(VD_PROP_NS "view-storage-path", p_view_storage),
    vd_prop_single(VD_PROP_NS "view-tag", p_view_tag),
    vd_prop_single(VD_PROP_NS "view-tag-string", p_view_tag_string),
    vd_prop_single(VD_PROP_NS "view-view-type", p_view_type),
    vd_prop_single(VD_PROP_NS "view-uuid-string", p_view_uuid),
    vd_prop_single(VD_PROP_NS "view-storage-local-path", p_view_storage),
};

// Objects in views ---------------------------------------------------------------------------

int p_vr_workspace(const VdResource& self, VdNestedPropResponse& r) {
    VdView view(VR(self).view());
    return r.marshal_resource(view);
}
int p_vr_client_path(const VdResource& self, VdNestedPropResponse& r) {
    return r.marshal_file(VR(self).view()->root + "/" + VR(self).path());
}
int p_vr_is_vob_root(const VdResource& self, VdNestedPropResponse& r) {
    vob_t* vob = nullptr;
    const std::string pname = VR(self).vob_pname();
    bool root = false;
    if (vob_open_by_tag(pname.c_str(), &vob) == TBS_ST_OK) root = true;
    return r.marshal_boolean(root);
}
int p_vr_parent(const VdResource& self, VdNestedPropResponse& r) {
    const std::string& p = VR(self).path();
    size_t slash = p.rfind('/');
    VdView view(VR(self).view());
    std::unique_ptr<VdResource> parent;
    int st = view.resolve_view_relative_path(slash == std::string::npos ? "" : p.substr(0, slash),
                                             true, parent);
    if (st) return r.marshal_null_value();
    return r.marshal_resource(*parent);
}
int p_vr_relative_path(const VdResource& self, VdNestedPropResponse& r) {
    return r.marshal_path(VR(self).path());
}
int p_vr_vob_tag(const VdResource& self, VdNestedPropResponse& r) {
    vob_resolved_t res;
    const std::string pname = VR(self).vob_pname();
    if (vob_resolve_pname(pname.c_str(), &VR(self).view()->ctx, VOB_RESOLVE_PARENT_OK, &res) !=
        TBS_ST_OK)
        return r.marshal_null_value();
    VdVobTag tag(res.vob->tag, RGY_DEFAULT_REGION);
    return r.marshal_resource(tag);
}
const VdPropRow kResidentProps[] = {
    vd_prop_single("is-version-controllable", p_true),
    vd_prop_single("is-version-controlled", p_false),
    vd_prop_resources("parent-list", l_none),
    vd_prop_single("workspace", p_vr_workspace),
    vd_prop_single(VD_PROP_NS "client-path", p_vr_client_path),
    vd_prop_single(VD_PROP_NS "is-db-file", p_false),
    vd_prop_single(VD_PROP_NS "is-hijacked", p_false),
    vd_prop_single(VD_PROP_NS "is-symlink", p_false),
    vd_prop_single(VD_PROP_NS "is-vob-root", p_vr_is_vob_root),
    vd_prop_single(VD_PROP_NS "vd-parent", p_vr_parent),
    vd_prop_single(VD_PROP_NS "symlink-target-path", p_null),
    vd_prop_single(VD_PROP_NS "cr-view-relative-path", p_vr_relative_path),
    vd_prop_single(VD_PROP_NS "file-vob-tag", p_vr_vob_tag),
};

// Whether a web or snapshot view's copy holds the object.
int p_load_state(const VdResource& self, VdNestedPropResponse& r) {
    view_t* view = VR(self).view();
    if (view->kind == VIEW_KIND_DYNAMIC) return r.marshal_enum("LoadState:LOADED");
    const std::string& p = VR(self).path();
    size_t slash = p.rfind('/');
    view_wso_t w;
    const std::string dir = slash == std::string::npos ? "" : p.substr(0, slash);
    const std::string leaf = slash == std::string::npos ? p : p.substr(slash + 1);
    bool loaded = view_ws_find(view, dir.c_str(), leaf.c_str(), &w) == TBS_ST_OK;
    return r.marshal_enum(loaded ? "LoadState:LOADED" : "LoadState:NOT_LOADED");
}

int checkout_of(const VdFileBase& f, vob_checkout_info_t* out) {
    std::vector<vob_checkout_info_t> cos;
    int st = vob_ob_next_ckouts(f.vob(), f.element(), &cos);
    if (st) return st;
    for (const auto& c : cos) {
        if (same_uuid(c.view_uuid, f.view()->uuid)) {
            *out = c;
            return 0;
        }
    }
    return TBS_ST_NOT_FOUND;
}
int p_is_checked_out(const VdResource& self, VdNestedPropResponse& r) {
    vob_checkout_info_t c;
    return r.marshal_boolean(checkout_of(FB(self), &c) == 0);
}
int p_reserved(const VdResource& self, VdNestedPropResponse& r) {
    vob_checkout_info_t c;
    return r.marshal_boolean(checkout_of(FB(self), &c) == 0 && c.reserved);
}
VdResourceMaker version_maker(vob_t* vob, vob_dbid_t v) {
    return [vob, v](std::unique_ptr<VdResource>& o) {
        int mtype = 0;
        int s = vob_obj_get_mtypes(vob, v, &mtype);
        return s ? s : VdResource::util_vd_object_to_resource(vob, v, mtype, o);
    };
}
int p_version(const VdResource& self, VdNestedPropResponse& r) {
    if (!FB(self).version()) return r.marshal_null_value();
    return r.marshal_optional_resource(version_maker(FB(self).vob(), FB(self).version()));
}
int p_checked_out(const VdResource& self, VdNestedPropResponse& r) {
    vob_checkout_info_t c;
    if (checkout_of(FB(self), &c) != 0) return r.marshal_null_value();
    return r.marshal_optional_resource(version_maker(FB(self).vob(), c.dbid));
}
int p_checked_in(const VdResource& self, VdNestedPropResponse& r) {
    vob_checkout_info_t c;
    vob_dbid_t v = FB(self).version();
    if (checkout_of(FB(self), &c) == 0) v = c.pred_version;
    if (!v) return r.marshal_null_value();
    return r.marshal_optional_resource(version_maker(FB(self).vob(), v));
}
int p_element(const VdResource& self, VdNestedPropResponse& r) {
    const VdFileBase& f = FB(self);
    return r.marshal_optional_resource([&f](std::unique_ptr<VdResource>& o) {
        int mtype = 0;
        int s = vob_obj_get_mtypes(f.vob(), f.element(), &mtype);
        return s ? s : VdResource::util_vd_object_to_resource(f.vob(), f.element(), mtype, o);
    });
}
int p_element_type(const VdResource& self, VdNestedPropResponse& r) {
    vob_type_info_t t;
    int st = vob_elem_get_type(FB(self).vob(), FB(self).element(), &t);
    if (st) return st;
    vob_t* vob = FB(self).vob();
    return r.marshal_optional_resource([vob, t](std::unique_ptr<VdResource>& o) {
        return VdResource::util_vd_object_to_resource(vob, t.dbid, VOB_MTYPE_ELTYPE, o);
    });
}
int p_latest_on_branch(const VdResource& self, VdNestedPropResponse& r) {
    vob_version_info_t v;
    int st = vob_ver_get_info(FB(self).vob(), FB(self).version(), &v);
    if (st) return st;
    vob_dbid_t latest = 0;
    if ((st = vob_branch_latest(FB(self).vob(), v.branch, &latest))) return st;
    return r.marshal_optional_resource(version_maker(FB(self).vob(), latest));
}
int p_last_modified(const VdResource& self, VdNestedPropResponse& r) {
    vob_version_info_t v;
    int st = vob_ver_get_info(FB(self).vob(), FB(self).version(), &v);
    return st ? st : r.marshal_date(v.created);
}
int p_content_length(const VdResource& self, VdNestedPropResponse& r) {
    vob_version_info_t v;
    int st = vob_ver_get_info(FB(self).vob(), FB(self).version(), &v);
    return st ? st : r.marshal_long_long(v.size);
}
int p_selection_rule(const VdResource& self, VdNestedPropResponse& r) {
    std::string id;
    int st = vob_ver_get_idstr(FB(self).vob(), FB(self).version(), &id);
    return st ? st : r.marshal_path(id);
}
int p_version_oid(const VdResource& self, VdNestedPropResponse& r) {
    vob_obj_info_t i;
    int st = vob_obj_get_info(FB(self).vob(), FB(self).version(), &i);
    return st ? st : r.marshal_string(tbs_uuid_text(i.oid));
}
int p_file_activity(const VdResource& self, VdNestedPropResponse& r) {
    tbs_uuid_t pvob_uuid{};
    tbs_oid_t act{};
    if (xcm_version_activity(FB(self).vob(), FB(self).version(), &pvob_uuid, &act) != TBS_ST_OK ||
        tbs_uuid_is_null(act))
        return r.marshal_null_value();
    vob_t* pvob = nullptr;
    vob_dbid_t dbid = 0;
    if (vob_open_by_uuid(pvob_uuid, &pvob) != TBS_ST_OK ||
        vob_obj_oid_to_dbid(pvob, act, &dbid) != TBS_ST_OK)
        return r.marshal_null_value();
    return r.marshal_optional_resource([pvob, dbid](std::unique_ptr<VdResource>& o) {
        return VdResource::util_vd_object_to_resource(pvob, dbid, VOB_MTYPE_ACTIVITY, o);
    });
}
const VdPropRow kFileProps[] = {
    vd_prop_single("activity", p_file_activity),
    vd_prop_single("checked-out", p_checked_out),
    vd_prop_single("checked-in", p_checked_in),
    vd_prop_single("content-length", p_content_length),
    vd_prop_single("is-checked-out", p_is_checked_out),
    vd_prop_single("last-modified", p_last_modified),
    vd_prop_single("reserved", p_reserved),
    vd_prop_single("version-history", p_element),
    vd_prop_single(VD_PROP_NS "element", p_element),
    vd_prop_single(VD_PROP_NS "element-type", p_element_type),
    vd_prop_single(VD_PROP_NS "is-hijacked", p_false),
    vd_prop_single(VD_PROP_NS "is-symlink", p_false),
    vd_prop_single(VD_PROP_NS "latest-version-on-branch", p_latest_on_branch),
    vd_prop_single(VD_PROP_NS "load-state", p_load_state),
    vd_prop_single(VD_PROP_NS "selection-rule", p_selection_rule),
    vd_prop_single(VD_PROP_NS "symlink-target-path", p_null),
    vd_prop_single(VD_PROP_NS "version", p_version),
    vd_prop_single(VD_PROP_NS "version-oid", p_version_oid),
};

// The entries of a directory as the view selects it, each with its resource.
int dir_children(const VdResource& self,
                 std::vector<std::pair<std::string, VdResourceMaker>>* out) {
    const VdFileBase& d = FB(self);
    std::vector<vob_dir_entry_t> entries;
    int st = vob_dir_list(d.vob(), d.version(), &entries);
    if (st) return st;
    view_t* view = d.view();
    const std::string base = d.path();
    for (const auto& e : entries) {
        const std::string child = base.empty() ? e.name : base + "/" + e.name;
        out->emplace_back(e.name, [view, child](std::unique_ptr<VdResource>& o) {
            VdView v(view);
            return v.resolve_view_relative_path(child, false, o);
        });
    }
    return 0;
}
int l_child_list(const VdResource& self, std::vector<VdResourceMaker>& out) {
    std::vector<std::pair<std::string, VdResourceMaker>> kids;
    int st = dir_children(self, &kids);
    if (st) return st;
    for (auto& k : kids) out.push_back(std::move(k.second));
    return 0;
}
int p_child_map(const VdResource& self, VdNestedPropResponse& r) {
    std::vector<std::pair<std::string, VdResourceMaker>> kids;
    int st = dir_children(self, &kids);
    if (st) return st;
    for (auto& k : kids) {
        std::unique_ptr<VdResource> res;
        if (k.second(res) != 0 || !res) continue;  // a name the view does not select
        r.marshal_child_map_entry(k.first, *res);
    }
    return 0;
}
const VdPropRow kDirProps[] = {
    vd_prop_resources("child-list", l_child_list),
    vd_prop_list("child-map", CT_CHILD_MAP, p_child_map),
    vd_prop_single(VD_PROP_NS "load-state", p_load_state),
};

int p_private_length(const VdResource& self, VdNestedPropResponse& r) {
    struct stat st;
    if (lstat(static_cast<const VdViewPrivateFile&>(self).local_path().c_str(), &st) != 0)
        return tbs_errno2status(errno);
    return r.marshal_long_long(st.st_size);
}
int p_private_mtime(const VdResource& self, VdNestedPropResponse& r) {
    struct stat st;
    if (lstat(static_cast<const VdViewPrivateFile&>(self).local_path().c_str(), &st) != 0)
        return tbs_errno2status(errno);
    return r.marshal_date(st.st_mtime);
}
int p_private_state(const VdResource&, VdNestedPropResponse& r) {
    return r.marshal_enum("LoadState:LOADED");
}
const VdPropRow kPrivateProps[] = {
    vd_prop_single("content-length", p_private_length),
    vd_prop_single("is-checked-out", p_false),
    vd_prop_single("last-modified", p_private_mtime),
    vd_prop_single(VD_PROP_NS "load-state", p_private_state),
};
const VdPropRow kPrivateDirProps[] = {
    vd_prop_resources("child-list", l_none),
    vd_prop_single(VD_PROP_NS "is-vob-root", p_false),
};

}  // namespace

// The views of a stream, for VdStream's "view-list".
int l_stream_views(const VdResource& self, std::vector<VdResourceMaker>& out) {
    const auto& s = static_cast<const VdVobResource&>(self);
    std::vector<rgy_view_entry_t> views;
    int st = rgy_list_view_tags(nullptr, &views);
    if (st) return st;
    for (const auto& e : views) {
        view_t* v = nullptr;
        view_xcm_t x;
        if (view_open_by_uuid(e.uuid, &v) != TBS_ST_OK || view_get_xcm(v, &x) != TBS_ST_OK)
            continue;
        if (x.stream != s.dbid() || !same_uuid(x.pvob, s.vob()->uuid)) continue;
        out.push_back([v](std::unique_ptr<VdResource>& o) {
            o.reset(new VdView(v));
            return 0;
        });
    }
    return 0;
}

// VdView -----------------------------------------------------------------------------------------

int VdView::view_type() const {
    switch (view_->kind) {
        case VIEW_KIND_DYNAMIC:
            return 0;
        case VIEW_KIND_SNAPSHOT:
            return 1;
        case VIEW_KIND_AUTOMATIC:
            return 3;
        default:
            return 2;
    }
}

VdResource::Type VdView::get_type() const {
    static const Type types[] = {DYNAMIC_VIEW, SNAPSHOT_VIEW, WEB_VIEW, AUTOMATIC_VIEW};
    return types[view_type()];
}

VdPropReader* VdView::get_prop_reader(const VdNestedPropResponse& r) const {
    if (VdPropReader* p = vd_find_prop(kViewProps, *this, r.name())) return p;
    return VdResource::get_prop_reader(r);
}

int VdView::get_display_name(SUM_String& out) const {
    out = SUM_String(view_->tag);
    return 0;
}
int VdView::get_efficient_location(VdLocation& out) const {
    out = VdLocation(LP_WORKSPACE, SUM_String("/" + tbs_uuid_text(view_->uuid)));
    return 0;
}
int VdView::get_stable_location(VdLocation& out) const {
    return get_efficient_location(out);
}
int VdView::get_user_friendly_location(VdLocation& out) const {
    out = VdLocation(LP_VIEWTAG, SUM_String(view_->tag));
    return 0;
}

int VdView::write_prop(const PropVal& value) {
    const std::string& name = value.name().str();
    if (name == VD_PROP_NS "config-spec") {
        std::string text;
        const VdXmlElem* xml = nullptr;
        SUM_String single;
        if (value.get_xml(xml) == 0) {
            const VdXmlElem* cs = xml;
            for (const VdXmlElem* c : xml->get_children())
                if (c->get_tag().str() == "config-spec") cs = c;
            text = cs->get_value().str();
        } else if (value.get_single_value(single) == 0) {
            text = single.str();
        } else {
            return VD_ST_UNSUPPORTED;
        }
        std::vector<std::string> errors;
        return view_set_cspec(view_, VIEW_SETCS_REPLACE, text, &errors);
    }
    if (name == "current-activity") {
        SUM_String act;
        if (!value.is_null() && value.get_single_value(act) != 0) return VD_ST_UNSUPPORTED;
        std::string sel;
        if (!act.is_empty()) {
            std::unique_ptr<VdResource> r;
            int st = construct_from_location(VdLocation(act), r);
            if (st) return st;
            if (r->get_type() != ACTIVITY) return VD_UNSUPPORTED("not an activity: " + act.str());
            VdLocation l;
            if ((st = r->get_user_friendly_location(l))) return st;
            sel = l.to_native().str();
        }
        return cmd_setactivity(view_->tag.c_str(), sel.c_str());
    }
    return VdResource::write_prop(value);
}

int VdView::remove() {
    return cmd_rmview(view_->tag.c_str());
}

int VdView::open(const std::string& text, view_t** view) {
    tbs_uuid_t u;
    if (tbs_uuid_from_str(text.c_str(), &u) == TBS_ST_OK && view_open_by_uuid(u, view) == TBS_ST_OK)
        return 0;
    return view_open_by_tag(text.c_str(), view);
}

int VdView::construct_from_view_uuid_location(const VdLocation& location,
                                              std::unique_ptr<VdResource>& out) {
    LocationPrefix p;
    SUM_String rest;
    location.parse_native(p, rest);
    tbs_uuid_t u;
    view_t* view = nullptr;
    int st = tbs_uuid_from_str(rest.c_str(), &u);
    if (!st) st = view_open_by_uuid(u, &view);
    if (st) return st;
    out.reset(new VdView(view));
    return 0;
}

int VdView::resolve_view_relative_path(const std::string& rel, bool follow,
                                       std::unique_ptr<VdResource>& out) const {
    const std::string path = trim_slashes(rel);
    if (!safe_relative(path)) {
        imsg_print_catalog(IMSG_ERROR, &_vdw_prop_props_msg_table, VDW_PROP_FILE_NOT_IN_VIEW,
                           rel.c_str(), view_->tag.c_str());
        return TBS_ST_NOT_FOUND;
    }
    if (path.empty()) {
        out.reset(new VdView(view_));
        return 0;
    }
    const std::string pname = view_pname_to_vob(view_, path.c_str());
    vob_resolved_t res;
    int st = vob_resolve_pname(pname.c_str(), &view_->ctx, follow ? 0 : VOB_RESOLVE_NOFOLLOW, &res);
    if (st == TBS_ST_OK) {
        switch (res.mtype) {
            case VOB_MTYPE_FILE_ELEMENT:
            case VOB_MTYPE_DIR_ELEMENT:
                out.reset(new VdElement(res.vob, res.dbid, res.mtype));
                return 0;
            case VOB_MTYPE_VERSION:
                if (res.extended)
                    out.reset(new VdVersion(res.vob, res.dbid, res.mtype));
                else
                    out.reset(new VdFile(view_, path, res.vob, res.element, res.dbid));
                return 0;
            case VOB_MTYPE_DIR_VERSION:
                if (res.extended)
                    out.reset(new VdVersion(res.vob, res.dbid, res.mtype));
                else
                    out.reset(new VdDirectory(view_, path, res.vob, res.element, res.dbid));
                return 0;
            case VOB_MTYPE_SLINK:
                out.reset(new VdSymlink(view_, path, res.vob, res.dbid));
                return 0;
            case VOB_MTYPE_BRANCH:
                out.reset(new VdBranch(res.vob, res.dbid, res.mtype));
                return 0;
            default: {
                char text[64];
                snprintf(text, sizeof text, "unsupported file mtype (%d): ", res.mtype);
                return VD_UNSUPPORTED(text + path);
            }
        }
    }
    if (VdViewChildDirectory::is_tag_directory(path)) {
        out.reset(new VdViewChildDirectory(view_, path));
        return 0;
    }
    // Not a VOB object: the view's private storage may hold it.
    if (view_->private_root.empty()) return st;
    const std::string local = view_->private_root + "/" + path;
    struct stat sb;
    if (lstat(local.c_str(), &sb) != 0) {
        imsg_print_catalog(IMSG_ERROR, &_vdw_prop_props_msg_table, VDW_PROP_FILE_NOT_IN_VIEW,
                           path.c_str(), view_->tag.c_str());
        return st;
    }
    if (S_ISDIR(sb.st_mode))
        out.reset(new VdViewPrivateDirectory(view_, path, local));
    else if (S_ISLNK(sb.st_mode))
        out.reset(new VdViewPrivateSymlink(view_, path, local));
    else if (S_ISREG(sb.st_mode))
        out.reset(new VdViewPrivateFile(view_, path, local));
    else
        return VD_UNSUPPORTED("unsupported view private file type: " + path);
    return 0;
}

// VdViewResidentResource --------------------------------------------------------------------

std::string VdViewResidentResource::vob_pname() const {
    return view_pname_to_vob(view_, path_.c_str());
}

VdPropReader* VdViewResidentResource::get_prop_reader(const VdNestedPropResponse& r) const {
    if (VdPropReader* p = vd_find_prop(kResidentProps, *this, r.name())) return p;
    return VdResource::get_prop_reader(r);
}
int VdViewResidentResource::get_display_name(SUM_String& out) const {
    size_t slash = path_.rfind('/');
    out = SUM_String(slash == std::string::npos ? path_ : path_.substr(slash + 1));
    return 0;
}
int VdViewResidentResource::get_efficient_location(VdLocation& out) const {
    VdLocation v;
    VdView(view_).get_efficient_location(v);
    out = v.child(SUM_String(path_));
    return 0;
}
int VdViewResidentResource::get_stable_location(VdLocation& out) const {
    return get_efficient_location(out);
}
int VdViewResidentResource::get_user_friendly_location(VdLocation& out) const {
    out = VdLocation(LP_WORKSPACE, SUM_String("/" + view_->tag + "/" + path_));
    return 0;
}

VdResource::Type VdViewResidentResource::kind_type(Type web, Type dynamic, Type snapshot,
                                                   Type automatic) const {
    switch (view_->kind) {
        case VIEW_KIND_DYNAMIC:
            return dynamic;
        case VIEW_KIND_SNAPSHOT:
            return snapshot;
        case VIEW_KIND_AUTOMATIC:
            return automatic;
        default:
            return web;
    }
}

int VdViewResidentResource::construct_from_workspace_location(const VdLocation& location,
                                                              std::unique_ptr<VdResource>& out) {
    LocationPrefix p;
    SUM_String rest;
    location.parse_native(p, rest);
    if (!VdPath(rest).is_absolute()) {
        internal_error("workspace location is not absolute: " + location.to_native().str());
        return VD_ST_BAD_REQUEST;
    }
    std::vector<SUM_String> segs = VdPath(rest).get_segments();
    if (segs.empty()) {
        internal_error("workspace location names no view: " + location.to_native().str());
        return VD_ST_BAD_REQUEST;
    }
    view_t* view = nullptr;
    int st = VdView::open(segs[0].str(), &view);
    if (st) return st;
    segs.erase(segs.begin());
    return VdView(view).resolve_view_relative_path(VdPath::join(segs).str(), true, out);
}

// Files, directories, links -------------------------------------------------------------------

VdPropReader* VdFileBase::get_prop_reader(const VdNestedPropResponse& r) const {
    return VdViewResidentResource::get_prop_reader(r);
}
int VdFileBase::write_prop(const PropVal& value) {
    if (value.name().str() == "reserved") {
        bool yes = false;
        if (value.is_true(yes) != 0) return VD_ST_UNSUPPORTED;
        cmd_reserve_args_t a;
        a.pnames.push_back(vob_pname());
        a.view = &view_->ctx;
        a.reserve = yes;
        return cmd_reserve(&a);
    }
    return VdResource::write_prop(value);
}

VdResource::Type VdFile::get_type() const {
    return kind_type(WEB_FILE, DYNAMIC_FILE, SNAPSHOT_FILE, AUTOMATIC_FILE);
}
VdPropReader* VdFile::get_prop_reader(const VdNestedPropResponse& r) const {
    if (VdPropReader* p = vd_find_prop(kFileProps, *this, r.name())) return p;
    return VdFileBase::get_prop_reader(r);
}
VdResource::Type VdDirectory::get_type() const {
    return kind_type(WEB_DIRECTORY, DYNAMIC_DIRECTORY, SNAPSHOT_DIRECTORY, AUTOMATIC_DIRECTORY);
}
VdPropReader* VdDirectory::get_prop_reader(const VdNestedPropResponse& r) const {
    if (VdPropReader* p = vd_find_prop(kDirProps, *this, r.name())) return p;
    return VdFileBase::get_prop_reader(r);
}

namespace {
int p_link_text(const VdResource& self, VdNestedPropResponse& r);
}
VdResource::Type VdSymlink::get_type() const {
    return kind_type(WEB_SYMLINK, DYNAMIC_SYMLINK, SNAPSHOT_SYMLINK, AUTOMATIC_SYMLINK);
}
VdPropReader* VdSymlink::get_prop_reader(const VdNestedPropResponse& r) const {
    static const VdPropRow rows[] = {
        vd_prop_single("is-checked-out", p_false),
        vd_prop_single(VD_PROP_NS "is-symlink", p_true),
        vd_prop_single(VD_PROP_NS "load-state", p_load_state),
        vd_prop_single(VD_PROP_NS "symlink-target-path", p_link_text),
    };
    if (VdPropReader* p = vd_find_prop(rows, *this, r.name())) return p;
    return VdViewResidentResource::get_prop_reader(r);
}
int VdSymlink::link_text(std::string* out) const {
    return vob_slink_get_text(vob_, link_, out);
}
namespace {
int p_link_text(const VdResource& self, VdNestedPropResponse& r) {
    std::string text;
    int st = static_cast<const VdSymlink&>(self).link_text(&text);
    return st ? st : r.marshal_string(text);
}
}  // namespace

// VdViewChildDirectory ---------------------------------------------------------------------

namespace {
// The registered VOB tags as paths below a view's root ("vobs/src").
std::vector<std::string> tag_paths() {
    std::vector<rgy_vob_entry_t> vobs;
    std::vector<std::string> out;
    if (rgy_list_vob_tags(nullptr, &vobs) != TBS_ST_OK) return out;
    for (const auto& e : vobs) out.push_back(trim_slashes(e.tag));
    return out;
}
int l_tag_dir_children(const VdResource& self, std::vector<VdResourceMaker>& out) {
    const auto& d = static_cast<const VdViewChildDirectory&>(self);
    view_t* view = d.view();
    for (const auto& [name, is_root] : d.children()) {
        const std::string child = d.path() + "/" + name;
        out.push_back([view, child](std::unique_ptr<VdResource>& o) {
            return VdView(view).resolve_view_relative_path(child, false, o);
        });
    }
    return 0;
}
int p_tag_dir_child_map(const VdResource& self, VdNestedPropResponse& r) {
    const auto& d = static_cast<const VdViewChildDirectory&>(self);
    for (const auto& [name, is_root] : d.children()) {
        std::unique_ptr<VdResource> res;
        if (VdView(d.view()).resolve_view_relative_path(d.path() + "/" + name, false, res) == 0)
            r.marshal_child_map_entry(name, *res);
    }
    return 0;
}
}  // namespace

bool VdViewChildDirectory::is_tag_directory(const std::string& path) {
    if (path.empty()) return false;
    for (const std::string& t : tag_paths())
        if (t.size() > path.size() && t.compare(0, path.size(), path) == 0 && t[path.size()] == '/')
            return true;
    return false;
}

std::vector<std::pair<std::string, bool>> VdViewChildDirectory::children() const {
    std::vector<std::pair<std::string, bool>> out;
    for (const std::string& t : tag_paths()) {
        if (t.size() <= path_.size() || t.compare(0, path_.size(), path_) != 0 ||
            t[path_.size()] != '/')
            continue;
        const std::string rest = t.substr(path_.size() + 1);
        const size_t slash = rest.find('/');
        const std::string name = rest.substr(0, slash);
        bool seen = false;
        for (const auto& c : out) seen = seen || c.first == name;
        if (!seen) out.emplace_back(name, slash == std::string::npos);
    }
    return out;
}

VdResource::Type VdViewChildDirectory::get_type() const {
    return kind_type(WEB_DIRECTORY, DYNAMIC_DIRECTORY, SNAPSHOT_DIRECTORY, AUTOMATIC_DIRECTORY);
}

VdPropReader* VdViewChildDirectory::get_prop_reader(const VdNestedPropResponse& r) const {
    static const VdPropRow rows[] = {
        vd_prop_resources("child-list", l_tag_dir_children),
        vd_prop_list("child-map", CT_CHILD_MAP, p_tag_dir_child_map),
        vd_prop_single(VD_PROP_NS "is-vob-root", p_false),
        vd_prop_single(VD_PROP_NS "load-state", p_private_state),
    };
    if (VdPropReader* p = vd_find_prop(rows, *this, r.name())) return p;
    return VdViewResidentResource::get_prop_reader(r);
}

VdResource::Type VdViewPrivateFile::get_type() const {
    return kind_type(WEB_FILE, DYNAMIC_FILE, SNAPSHOT_FILE, AUTOMATIC_FILE);
}
VdPropReader* VdViewPrivateFile::get_prop_reader(const VdNestedPropResponse& r) const {
    if (VdPropReader* p = vd_find_prop(kPrivateProps, *this, r.name())) return p;
    return VdViewResidentResource::get_prop_reader(r);
}
VdResource::Type VdViewPrivateDirectory::get_type() const {
    return kind_type(WEB_DIRECTORY, DYNAMIC_DIRECTORY, SNAPSHOT_DIRECTORY, AUTOMATIC_DIRECTORY);
}
VdPropReader* VdViewPrivateDirectory::get_prop_reader(const VdNestedPropResponse& r) const {
    if (VdPropReader* p = vd_find_prop(kPrivateDirProps, *this, r.name())) return p;
    return VdViewPrivateFile::get_prop_reader(r);
}
VdResource::Type VdViewPrivateSymlink::get_type() const {
    return kind_type(WEB_SYMLINK, DYNAMIC_SYMLINK, SNAPSHOT_SYMLINK, AUTOMATIC_SYMLINK);
}
