#include "xmlproto/resource/vd_site_resources.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/cred/credutl.h"
#include "core/imsg/imsg.h"
#include "core/rgy/rgy.h"
#include "core/tbs/tbs.h"
#include "core/util/pfm.h"
#include "core/view/view.h"
#include "core/vob/vob.h"
#include "core/vob/vob_acl.h"
#include "core/vob/vob_obj.h"
#include "core/vob/xcm.h"
#include "foundation/vdw_config.h"
#include "xmlproto/props/vd_prop.h"
#include "xmlproto/resource/vd_view_resources.h"
#include "xmlproto/resource/vd_vob_resources.h"

namespace {

const char* const LOAD_STRINGS[] = {
    "Hello, world\n",
    "All your base are belong to us\n",
    "\n",
    "This string intentionally left blank\n",
    "Jackdaws love my big sphinx of quartz\n",
    "All work and no play makes Jack a dull boy\n",
    "'Twas brillig, and the slithy toves\n"
    "Did gyre and gimble in the wabe:\n"
    "All mimsy were the borogoves,\n"
    "And the mome raths outgrabe.\n"
    "\n"
    "Beware the Jabberwock, my son!\n"
    "The jaws that bite, the claws that catch!\n"
    "Beware the Jubjub bird, and shun\n"
    "The frumious Bandersnatch!\n",
};
constexpr int NUM_LOAD_STRINGS = 7;
static_assert(sizeof LOAD_STRINGS / sizeof LOAD_STRINGS[0] == NUM_LOAD_STRINGS);

const VDW_Config& config() {
    return VDW_Config::getInstance();
}

std::vector<std::string> split(const std::string& text, char sep) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i <= text.size() && !text.empty()) {
        size_t j = text.find(sep, i);
        if (j == std::string::npos) j = text.size();
        if (j > i) out.push_back(text.substr(i, j - i));
        i = j + 1;
    }
    return out;
}

int p_true(const VdResource&, VdNestedPropResponse& r) {
    return r.marshal_boolean(true);
}

// The server ----------------------------------------------------------------------------------

std::vector<std::string> groups_env() {
    const char* g = getenv("VERDANE_GROUPS");
    return split(g ? g : "", ':');
}
int p_group_list(const VdResource&, VdNestedPropResponse& r) {
    return r.marshal_strings(groups_env());
}
int p_primary_group(const VdResource&, VdNestedPropResponse& r) {
    std::vector<std::string> g = groups_env();
    return g.empty() ? r.marshal_null_value() : r.marshal_string(g.front());
}
int p_tn_db_map(const VdResource&, VdNestedPropResponse& r) {
    std::vector<std::string> lines;
    const char* file = config().get_string_param(VDW_Config::TARNIS_DATABASE_MAP_FILE_KEY);
    if (file && *file) {
        if (FILE* f = fopen(file, "r")) {
            char line[1024];
            while (fgets(line, sizeof line, f)) {
                std::string l = line;
                while (!l.empty() && (l.back() == '\n' || l.back() == '\r')) l.pop_back();
                if (!l.empty()) lines.push_back(l);
            }
            fclose(f);
        }
    }
    return r.marshal_strings(lines);
}
int p_default_region(const VdResource&, VdNestedPropResponse& r) {
    VdRegistryRegion region(VdRegistryRegion::get_default());
    return r.marshal_resource(region);
}
int p_line_term(const VdResource&, VdNestedPropResponse& r) {
    const char* v = config().get_string_param(VDW_Config::VOB_LINE_TERMINATOR_KEY);
    return r.marshal_string(v ? v : "");
}
int p_ext_symbol(const VdResource&, VdNestedPropResponse& r) {
    return r.marshal_string("@@");
}
int p_separator(const VdResource&, VdNestedPropResponse& r) {
    return r.marshal_string("/");
}
int p_load_list(const VdResource&, VdNestedPropResponse& r) {
    return r.marshal_strings(
        std::vector<std::string>(LOAD_STRINGS, LOAD_STRINGS + NUM_LOAD_STRINGS));
}
int p_locale(const VdResource&, VdNestedPropResponse& r) {
    const char* lang = getenv("LANG");
    return r.marshal_string(lang && *lang ? lang : "EN_US");
}
int p_max_requests(const VdResource&, VdNestedPropResponse& r) {
    return r.marshal_int(config().get_integer_param("qlmxMaxRequestsPerSession"));
}
int p_vtfs_root(const VdResource&, VdNestedPropResponse& r) {
    return r.marshal_file(std::string(tbs_product_dir()) + "/view");
}
int p_product_version(const VdResource&, VdNestedPropResponse& r) {
    std::string text;
    const std::string path = std::string(tbs_product_dir()) + "/install/version";
    if (FILE* f = fopen(path.c_str(), "r")) {
        char line[1024];
        while (fgets(line, sizeof line, f)) text += line;
        fclose(f);
    }
    return r.marshal_string(text);
}
int p_session_caching(const VdResource&, VdNestedPropResponse& r) {
    return r.marshal_boolean(config().get_boolean_param("qlmxSupportsClientSessionCaching"));
}
int p_parallel_load(const VdResource&, VdNestedPropResponse& r) {
    return r.marshal_boolean(config().get_boolean_param(VDW_Config::SUPPORTS_PARALLEL_LOAD_KEY));
}
int p_config_params(const VdResource&, VdNestedPropResponse& r) {
    return r.marshal_strings(config().get_all_params());
}
int p_acl_kinds(const VdResource&, VdNestedPropResponse& r) {
    return r.marshal_strings(vob_acl_proxy_types());
}
int p_interop(const VdResource&, VdNestedPropResponse& r) {
    return r.marshal_string("LF");
}

// Views of the registry chosen by `want`.
template <bool (*WANT)(const rgy_view_entry_t&, view_t*)>
int l_views(const VdResource&, std::vector<VdResourceMaker>& out) {
    std::vector<rgy_view_entry_t> views;
    int st = rgy_list_view_tags(nullptr, &views);
    if (st) return st;
    for (const auto& e : views) {
        view_t* v = nullptr;
        if (view_open_by_uuid(e.uuid, &v) != TBS_ST_OK || !WANT(e, v)) continue;
        out.push_back([v](std::unique_ptr<VdResource>& o) {
            o.reset(new VdView(v));
            return 0;
        });
    }
    return 0;
}
bool running_dynamic(const rgy_view_entry_t& e, view_t* v) {
    int state = 0;
    return v->kind == VIEW_KIND_DYNAMIC &&
           view_dynamic_state(e.tag.c_str(), &state, nullptr) == 0 && state == VIEW_DYN_RUNNING;
}
bool my_running_dynamic(const rgy_view_entry_t& e, view_t* v) {
    credutl_creds_t who;
    return running_dynamic(e, v) && credutl_get_creds(&who) == TBS_ST_OK && e.owner == who.user;
}
bool snapshot(const rgy_view_entry_t&, view_t* v) {
    return v->kind == VIEW_KIND_SNAPSHOT || v->kind == VIEW_KIND_WEB;
}

const VdPropRow kServerProps[] = {
    vd_prop_list(VD_PROP_NS "verdane-group-list", CT_LIST, p_group_list),
    vd_prop_single(VD_PROP_NS "verdane-primary-group", p_primary_group),
    vd_prop_list(VD_PROP_NS "tn-db-map-contents", CT_LIST, p_tn_db_map),
    vd_prop_single(VD_PROP_NS "default-registry-region", p_default_region),
    vd_prop_single(VD_PROP_NS "default-vob-line-term", p_line_term),
    vd_prop_single(VD_PROP_NS "extended-naming-symbol", p_ext_symbol),
    vd_prop_list(VD_PROP_NS "load-generating-list", CT_LIST, p_load_list),
    vd_prop_single(VD_PROP_NS "locale", p_locale),
    vd_prop_single(VD_PROP_NS "max-requests-per-session", p_max_requests),
    vd_prop_single(VD_PROP_NS "vtfs-root", p_vtfs_root),
    vd_prop_single(VD_PROP_NS "pathname-separator", p_separator),
    vd_prop_single(VD_PROP_NS "product-version-string", p_product_version),
    vd_prop_single(VD_PROP_NS "supports-client-session-caching", p_session_caching),
    vd_prop_single(VD_PROP_NS "supports-parallel-load", p_parallel_load),
    vd_prop_list(VD_PROP_NS "config-params", CT_LIST, p_config_params),
    vd_prop_resources(VD_PROP_NS "current-user-active-dynamic-view-list",
                      l_views<my_running_dynamic>),
    vd_prop_resources(VD_PROP_NS "local-active-dynamic-view-list", l_views<running_dynamic>),
    vd_prop_resources(VD_PROP_NS "local-registered-snapshot-view-list", l_views<snapshot>),
    vd_prop_list(VD_PROP_NS "proxy-types-supporting-acls", CT_LIST, p_acl_kinds),
    vd_prop_single(VD_PROP_NS "view-interop-site-setting", p_interop),
};

// Registry regions -------------------------------------------------------------------------------

const VdRegistryRegion& RR(const VdResource& r) {
    return static_cast<const VdRegistryRegion&>(r);
}
int l_region_view_tags(const VdResource& self, std::vector<VdResourceMaker>& out) {
    std::vector<rgy_view_entry_t> views;
    int st = rgy_list_view_tags(RR(self).name().c_str(), &views);
    if (st) return st;
    for (const auto& e : views) {
        const std::string tag = e.tag, region = e.region;
        out.push_back([tag, region](std::unique_ptr<VdResource>& o) {
            o.reset(new VdViewTag(tag, region));
            return 0;
        });
    }
    return 0;
}
int l_region_vob_tags(const VdResource& self, std::vector<VdResourceMaker>& out) {
    std::vector<rgy_vob_entry_t> vobs;
    int st = rgy_list_vob_tags(RR(self).name().c_str(), &vobs);
    if (st) return st;
    for (const auto& e : vobs) {
        const std::string tag = e.tag, region = e.region;
        out.push_back([tag, region](std::unique_ptr<VdResource>& o) {
            o.reset(new VdVobTag(tag, region));
            return 0;
        });
    }
    return 0;
}
template <int KIND>
int l_region_stglocs(const VdResource& self, std::vector<VdResourceMaker>& out) {
    std::vector<rgy_stgloc_entry_t> locs;
    int st = rgy_list_stglocs(RR(self).name().c_str(), KIND, &locs);
    if (st) return st;
    for (const auto& e : locs) {
        const std::string name = e.name, region = e.region;
        out.push_back([name, region](std::unique_ptr<VdResource>& o) {
            o.reset(new VdStorageLocation(name, region));
            return 0;
        });
    }
    return 0;
}
const VdPropRow kRegionProps[] = {
    vd_prop_resources(VD_PROP_NS "view-stgloc-list", l_region_stglocs<1>),
    vd_prop_resources(VD_PROP_NS "vob-stgloc-list", l_region_stglocs<0>),
    vd_prop_resources(VD_PROP_NS "view-tag-list", l_region_view_tags),
    vd_prop_resources(VD_PROP_NS "vob-tag-list", l_region_vob_tags),
};

// Storage locations ---------------------------------------------------------------------------

int stgloc_of(const VdResource& self, rgy_stgloc_entry_t* e) {
    const auto& l = static_cast<const VdStorageLocation&>(self);
    return rgy_find_stgloc(l.name().c_str(), l.region().c_str(), e);
}
int p_stgloc_comment(const VdResource& self, VdNestedPropResponse& r) {
    rgy_stgloc_entry_t e;
    int st = stgloc_of(self, &e);
    return st ? st : r.marshal_string(e.comment);
}
int p_stgloc_host(const VdResource& self, VdNestedPropResponse& r) {
    rgy_stgloc_entry_t e;
    int st = stgloc_of(self, &e);
    return st ? st : r.marshal_string(e.host);
}
int p_stgloc_type(const VdResource& self, VdNestedPropResponse& r) {
    rgy_stgloc_entry_t e;
    int st = stgloc_of(self, &e);
    return st ? st : r.marshal_enum(e.for_views ? "StorageType:VIEW" : "StorageType:VOB");
}
const VdPropRow kStglocProps[] = {
    vd_prop_single("comment", p_stgloc_comment),
    vd_prop_single(VD_PROP_NS "stgloc-server-host", p_stgloc_host),
    vd_prop_single(VD_PROP_NS "stgloc-storage-type", p_stgloc_type),
};

// Tags -------------------------------------------------------------------------------------------

const VdTagBase& TB(const VdResource& r) {
    return static_cast<const VdTagBase&>(r);
}
int p_tag_region(const VdResource& self, VdNestedPropResponse& r) {
    VdRegistryRegion region(TB(self).region());
    return r.marshal_resource(region);
}
int view_entry(const VdResource& self, rgy_view_entry_t* e) {
    return rgy_find_view_by_tag(TB(self).tag().c_str(), TB(self).region().c_str(), e);
}
int p_viewtag_view(const VdResource& self, VdNestedPropResponse& r) {
    rgy_view_entry_t e;
    view_t* v = nullptr;
    int st = view_entry(self, &e);
    if (!st) st = view_open_by_uuid(e.uuid, &v);
    if (st) return st;
    VdView view(v);
    return r.marshal_resource(view);
}
int p_viewtag_type(const VdResource& self, VdNestedPropResponse& r) {
    rgy_view_entry_t e;
    view_t* v = nullptr;
    int st = view_entry(self, &e);
    if (!st) st = view_open_by_uuid(e.uuid, &v);
    if (st) return st;
    static const char* const names[] = {"ViewType:DYNAMIC", "ViewType:SNAPSHOT", "ViewType:WEB",
                                        "ViewType:AUTOMATIC"};
    return r.marshal_enum(names[VdView(v).view_type()]);
}
int p_viewtag_active(const VdResource& self, VdNestedPropResponse& r) {
    rgy_view_entry_t e;
    view_t* v = nullptr;
    int st = view_entry(self, &e);
    if (!st) st = view_open_by_uuid(e.uuid, &v);
    if (st) return st;
    if (v->kind != VIEW_KIND_DYNAMIC) return r.marshal_boolean(true);
    int state = 0;
    return r.marshal_boolean(view_dynamic_state(e.tag.c_str(), &state, nullptr) == 0 &&
                             state == VIEW_DYN_RUNNING);
}
int p_viewtag_xcm(const VdResource& self, VdNestedPropResponse& r) {
    rgy_view_entry_t e;
    view_t* v = nullptr;
    int st = view_entry(self, &e);
    if (!st) st = view_open_by_uuid(e.uuid, &v);
    return st ? st : r.marshal_boolean(v->sum_view);
}
const VdPropRow kViewTagProps[] = {
    vd_prop_single(VD_PROP_NS "viewtag-registry-region", p_tag_region),
    vd_prop_single(VD_PROP_NS "view", p_viewtag_view),
    vd_prop_single(VD_PROP_NS "view-tag-view-type", p_viewtag_type),
    vd_prop_single(VD_PROP_NS "is-active", p_viewtag_active),
    vd_prop_single(VD_PROP_NS "is-xcm-view", p_viewtag_xcm),
};

int vob_entry(const VdResource& self, rgy_vob_entry_t* e) {
    return rgy_find_vob_by_tag(TB(self).tag().c_str(), TB(self).region().c_str(), e);
}
int p_vobtag_comment(const VdResource&, VdNestedPropResponse& r) {
    return r.marshal_string("");
}
int p_vobtag_storage(const VdResource& self, VdNestedPropResponse& r) {
    rgy_vob_entry_t e;
    int st = vob_entry(self, &e);
    return st ? st : r.marshal_string(e.storage);
}
int p_vobtag_host(const VdResource&, VdNestedPropResponse& r) {
    return r.marshal_string(pfm_host_name());
}
int p_vobtag_options(const VdResource& self, VdNestedPropResponse& r) {
    rgy_vob_entry_t e;
    int st = vob_entry(self, &e);
    return st ? st : r.marshal_string(e.mount_options);
}
int p_vobtag_public(const VdResource& self, VdNestedPropResponse& r) {
    rgy_vob_entry_t e;
    int st = vob_entry(self, &e);
    return st ? st : r.marshal_boolean(e.is_public);
}
int vob_of(const VdResource& self, vob_t** vob, vob_dbid_t* dbid) {
    rgy_vob_entry_t e;
    int st = vob_entry(self, &e);
    if (!st) st = vob_open_entry(e, vob);
    if (st) return st;
    int mtype = 0;
    const std::string sel = vob_selector(*vob, VOB_VOBSEL_REPLICA);
    return vob_resolve_general(sel.c_str(), nullptr, vob, dbid, &mtype);
}
int p_vobtag_pvob(const VdResource& self, VdNestedPropResponse& r) {
    vob_t* vob = nullptr;
    vob_dbid_t dbid = 0;
    int st = vob_of(self, &vob, &dbid);
    return st ? st : r.marshal_boolean(xcm_is_pvob(vob));
}
int p_vobtag_vob(const VdResource& self, VdNestedPropResponse& r) {
    vob_t* vob = nullptr;
    vob_dbid_t dbid = 0;
    int st = vob_of(self, &vob, &dbid);
    if (st) return st;
    VdVob v(vob, dbid, VOB_MTYPE_VOB);
    return r.marshal_resource(v);
}
const VdPropRow kVobTagProps[] = {
    vd_prop_single("comment", p_vobtag_comment),
    vd_prop_single(VD_PROP_NS "global-path", p_vobtag_storage),
    vd_prop_single(VD_PROP_NS "host-name", p_vobtag_host),
    vd_prop_single(VD_PROP_NS "host-path", p_vobtag_storage),
    vd_prop_single(VD_PROP_NS "mount-options", p_vobtag_options),
    vd_prop_single(VD_PROP_NS "is-mounted", p_true),
    vd_prop_single(VD_PROP_NS "is-project-vob", p_vobtag_pvob),
    vd_prop_single(VD_PROP_NS "is-public", p_vobtag_public),
    vd_prop_single(VD_PROP_NS "vobtag-registry-region", p_tag_region),
    vd_prop_single(VD_PROP_NS "vob", p_vobtag_vob),
};

}  // namespace

// The tag of a VOB, for VdVob's "vob-tag".
int p_vob_tag(const VdResource& self, VdNestedPropResponse& r) {
    const auto& v = static_cast<const VdVobResource&>(self);
    rgy_vob_entry_t e;
    int st = rgy_find_vob_by_uuid(v.vob()->uuid, &e);
    if (st) return st;
    VdVobTag tag(e.tag, e.region);
    return r.marshal_resource(tag);
}

// VdServer -------------------------------------------------------------------------------------

VdPropReader* VdServer::get_prop_reader(const VdNestedPropResponse& r) const {
    if (VdPropReader* p = vd_find_prop(kServerProps, *this, r.name())) return p;
    return VdResource::get_prop_reader(r);
}
int VdServer::get_display_name(SUM_String& out) const {
    out = SUM_String(host_);
    return 0;
}
int VdServer::get_efficient_location(VdLocation& out) const {
    out = VdLocation(LP_SERVER, SUM_String(host_));
    return 0;
}
int VdServer::get_stable_location(VdLocation& out) const {
    return get_efficient_location(out);
}
int VdServer::get_user_friendly_location(VdLocation& out) const {
    return get_efficient_location(out);
}
int VdServer::construct_from_location(const VdLocation& location,
                                      std::unique_ptr<VdResource>& out) {
    LocationPrefix p;
    SUM_String host;
    location.parse_native(p, host);
    const std::string me = pfm_host_name();
    if (host.str() != me && host.str() != "localhost") {
        imsg_printf(IMSG_ERROR, "Unknown server host \"%s\": this server is \"%s\".\n",
                    host.c_str(), me.c_str());
        return TBS_ST_NOT_FOUND;
    }
    out.reset(new VdServer(me));
    return 0;
}

// VdRegistryRegion -------------------------------------------------------------------------------

std::string VdRegistryRegion::get_default() {
    return RGY_DEFAULT_REGION;
}
VdPropReader* VdRegistryRegion::get_prop_reader(const VdNestedPropResponse& r) const {
    if (VdPropReader* p = vd_find_prop(kRegionProps, *this, r.name())) return p;
    return VdResource::get_prop_reader(r);
}
int VdRegistryRegion::get_display_name(SUM_String& out) const {
    out = SUM_String(name_);
    return 0;
}
int VdRegistryRegion::get_efficient_location(VdLocation& out) const {
    out = VdLocation(LP_REGISTRY_REGION, SUM_String(name_));
    return 0;
}
int VdRegistryRegion::get_stable_location(VdLocation& out) const {
    return get_efficient_location(out);
}
int VdRegistryRegion::get_user_friendly_location(VdLocation& out) const {
    return get_efficient_location(out);
}
int VdRegistryRegion::construct_from_location(const VdLocation& location,
                                              std::unique_ptr<VdResource>& out) {
    LocationPrefix p;
    SUM_String name;
    location.parse_native(p, name);
    std::vector<std::string> regions;
    int st = rgy_list_regions(&regions);
    if (st) return st;
    for (const auto& r : regions) {
        if (r == name.str()) {
            out.reset(new VdRegistryRegion(r));
            return 0;
        }
    }
    imsg_printf(IMSG_ERROR, "No registry region \"%s\".\n", name.c_str());
    return TBS_ST_NOT_FOUND;
}

// VdStorageLocation ------------------------------------------------------------------------------

VdPropReader* VdStorageLocation::get_prop_reader(const VdNestedPropResponse& r) const {
    if (VdPropReader* p = vd_find_prop(kStglocProps, *this, r.name())) return p;
    return VdResource::get_prop_reader(r);
}
int VdStorageLocation::get_display_name(SUM_String& out) const {
    out = SUM_String(name_);
    return 0;
}
int VdStorageLocation::get_efficient_location(VdLocation& out) const {
    out = VdLocation(LP_STGLOC, SUM_String(name_), SUM_String(region_));
    return 0;
}
int VdStorageLocation::get_stable_location(VdLocation& out) const {
    return get_efficient_location(out);
}
int VdStorageLocation::get_user_friendly_location(VdLocation& out) const {
    return get_efficient_location(out);
}
int VdStorageLocation::construct_from_location(const VdLocation& location,
                                               std::unique_ptr<VdResource>& out) {
    LocationPrefix p;
    SUM_String name, scope;
    location.parse_native(p, name, scope);
    const std::string region = scope.is_empty() ? VdRegistryRegion::get_default() : scope.str();
    rgy_stgloc_entry_t e;
    if (rgy_find_stgloc(name.c_str(), region.c_str(), &e) != TBS_ST_OK) {
        imsg_printf(IMSG_ERROR, "No storage location \"%s\" in registry region \"%s\".\n",
                    name.c_str(), region.c_str());
        return TBS_ST_NOT_FOUND;
    }
    out.reset(new VdStorageLocation(e.name, e.region));
    return 0;
}

// VdTask
// -------------------------------------------------------------------------------------------

std::string VdTask::uri_of(const std::string& value) {
    std::string uri = value.compare(0, 5, "task:") == 0 ? value.substr(5) : value;
    if (uri.empty() || uri.size() > 2048) return "";
    for (unsigned char c : uri)
        if (c <= 32 || c == 127) return "";
    return uri;
}
int VdTask::get_display_name(SUM_String& out) const {
    out = SUM_String(uri_);
    return 0;
}
int VdTask::get_efficient_location(VdLocation& out) const {
    out = VdLocation(LP_TASK, SUM_String(uri_));
    return 0;
}
int VdTask::get_stable_location(VdLocation& out) const {
    return get_efficient_location(out);
}
int VdTask::get_user_friendly_location(VdLocation& out) const {
    return get_efficient_location(out);
}
int VdTask::construct_from_location(const VdLocation& location, std::unique_ptr<VdResource>& out) {
    LocationPrefix p;
    SUM_String rest;
    location.parse_native(p, rest);
    const std::string uri = uri_of(rest.str());
    if (uri.empty()) {
        imsg_printf(IMSG_ERROR, "Not a task URI: \"%s\".\n", rest.c_str());
        return 1072;
    }
    out.reset(new VdTask(uri));
    return 0;
}

// Tags -------------------------------------------------------------------------------------------

int VdTagBase::get_display_name(SUM_String& out) const {
    out = SUM_String(tag_);
    return 0;
}
int VdTagBase::get_efficient_location(VdLocation& out) const {
    out = VdLocation(prefix(), SUM_String(tag_), SUM_String(region_));
    return 0;
}
int VdTagBase::get_stable_location(VdLocation& out) const {
    return get_efficient_location(out);
}
int VdTagBase::get_user_friendly_location(VdLocation& out) const {
    return get_efficient_location(out);
}

namespace {
// "<tag>" or "<tag>@<region>"; the default region when none is named.
void tag_and_region(const VdLocation& location, std::string* tag, std::string* region) {
    LocationPrefix p;
    SUM_String name, scope;
    location.parse_native(p, name, scope);
    *tag = name.str();
    *region = scope.is_empty() ? VdRegistryRegion::get_default() : scope.str();
}
}  // namespace

bool VdViewTag::is_valid() const {
    rgy_view_entry_t e;
    return rgy_find_view_by_tag(tag_.c_str(), region_.c_str(), &e) == TBS_ST_OK;
}
VdPropReader* VdViewTag::get_prop_reader(const VdNestedPropResponse& r) const {
    if (VdPropReader* p = vd_find_prop(kViewTagProps, *this, r.name())) return p;
    return VdResource::get_prop_reader(r);
}
int VdViewTag::write_prop(const PropVal& value) {
    if (value.name().str() == VD_PROP_NS "is-active") {
        bool yes = false;
        if (value.is_true(yes) != 0) return VD_ST_UNSUPPORTED;
        return yes ? view_start_dynamic(tag_.c_str()) : view_end_dynamic(tag_.c_str());
    }
    return VdResource::write_prop(value);
}
int VdViewTag::construct_from_location(const VdLocation& location,
                                       std::unique_ptr<VdResource>& out) {
    std::string tag, region;
    tag_and_region(location, &tag, &region);
    std::unique_ptr<VdViewTag> t(new VdViewTag(tag, region));
    if (!t->is_valid()) {
        imsg_printf(IMSG_ERROR, "No view tag \"%s\" in registry region \"%s\".\n", tag.c_str(),
                    region.c_str());
        return TBS_ST_NOT_FOUND;
    }
    out = std::move(t);
    return 0;
}

bool VdVobTag::is_valid() const {
    rgy_vob_entry_t e;
    return rgy_find_vob_by_tag(tag_.c_str(), region_.c_str(), &e) == TBS_ST_OK;
}
VdPropReader* VdVobTag::get_prop_reader(const VdNestedPropResponse& r) const {
    if (VdPropReader* p = vd_find_prop(kVobTagProps, *this, r.name())) return p;
    return VdResource::get_prop_reader(r);
}
int VdVobTag::write_prop(const PropVal& value) {
    if (value.name().str() == VD_PROP_NS "is-mounted") {
        bool yes = false;
        if (value.is_true(yes) != 0) return VD_ST_UNSUPPORTED;
        // Every registered VOB is always available on this server: there is nothing to
        // mount, and it cannot be unmounted.
        if (yes) return 0;
        return VD_UNSUPPORTED("VOBs of this server cannot be unmounted");
    }
    return VdResource::write_prop(value);
}
int VdVobTag::construct_from_location(const VdLocation& location,
                                      std::unique_ptr<VdResource>& out) {
    std::string tag, region;
    tag_and_region(location, &tag, &region);
    std::unique_ptr<VdVobTag> t(new VdVobTag(tag, region));
    if (!t->is_valid()) {
        imsg_printf(IMSG_ERROR, "No VOB tag \"%s\" in registry region \"%s\".\n", tag.c_str(),
                    region.c_str());
        return TBS_ST_NOT_FOUND;
    }
    out = std::move(t);
    return 0;
}
