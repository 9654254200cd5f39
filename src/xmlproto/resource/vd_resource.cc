#include "xmlproto/resource/vd_resource.h"

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "core/cmd/cmd.h"
#include "core/cmd/cmd_xcm.h"
#include "core/imsg/imsg.h"
#include "core/view/view.h"
#include "core/vob/vob_obj.h"
#include "core/vob/xcm.h"
#include "facade/vdw_vdcore.h"
#include "foundation/catalogs/vdw_prop_catalog.h"
#include "foundation/vdw_config.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"
#include "xmlproto/props/vd_prop.h"
#include "xmlproto/resource/tn_resources.h"
#include "xmlproto/resource/vd_site_resources.h"
#include "xmlproto/resource/vd_view_resources.h"
#include "xmlproto/resource/vd_vob_resources.h"
#include "xmlproto/rpc/xml_tag_id.h"
#include "xmlproto/xml/vd_xml_doc.h"

namespace {

const char* const kTypeNames[VdResource::TYPE_COUNT] = {
    "activity",
    "attype",
    "automatic-view",
    "automatic-directory",
    "automatic-file",
    "automatic-symlink",
    "baseline",
    "branch",
    "brtype",
    "component",
    "delem",
    "dver",
    "dynamic-view",
    "dynamic-directory",
    "dynamic-file",
    "dynamic-symlink",
    "eltype",
    "felem",
    "fver",
    "hlink",
    "hltype",
    "lbtype",
    "policy",
    "project",
    "folder",
    "record",
    "record-type",
    "registryregion",
    "replica",
    "rolemap",
    "server",
    "snapshot-view",
    "snapshot-directory",
    "snapshot-file",
    "snapshot-symlink",
    "stgloc",
    "stream",
    "task",
    "trtype",
    "userdb",
    "viewtag",
    "vob",
    "vobtag",
    "web-view",
    "web-directory",
    "web-file",
    "web-symlink",
};

int common_display_name(const VdResource& self, VdNestedPropResponse& r) {
    SUM_String s;
    int st = self.get_display_name(s);
    return st ? st : r.marshal_path(s);
}
int common_resource_id(const VdResource& self, VdNestedPropResponse& r) {
    SUM_String s;
    int st = self.get_resource_id(s);
    return st ? st : r.marshal_path(s);
}
int common_efficient(const VdResource& self, VdNestedPropResponse& r) {
    VdLocation l;
    int st = self.get_efficient_location(l);
    return st ? st : r.marshal_location(l.to_native());
}
int common_stable(const VdResource& self, VdNestedPropResponse& r) {
    VdLocation l;
    int st = self.get_stable_location(l);
    return st ? st : r.marshal_location(l.to_native());
}
int common_user_friendly(const VdResource& self, VdNestedPropResponse& r) {
    VdLocation l;
    int st = self.get_user_friendly_location(l);
    return st ? st : r.marshal_location(l.to_native());
}
int common_this(const VdResource&, VdNestedPropResponse& r) {
    return r.marshal_null_value();
}

// Compared in this order.
const VdPropRow kCommonProps[] = {
    vd_prop_single("display-name", common_display_name),
    vd_prop_single(VD_PROP_NS "efficient-location", common_efficient),
    vd_prop_single("resource-id", common_resource_id),
    vd_prop_single(VD_PROP_NS "stable-location", common_stable),
    vd_prop_single(VD_PROP_NS "this-resource", common_this),
    vd_prop_single(VD_PROP_NS "user-friendly-location", common_user_friendly),
};

}  // namespace

int VdResource::unsupported(const std::string& what, const char* file, long line) {
    // The source file as the tree names it, not where it was built.
    const char* src = file ? strstr(file, "src/") : nullptr;
    imsg_print_catalog(IMSG_ERROR, &_vdw_prop_props_msg_table, VDW_PROP_UNSUPPORTED_OPERATION,
                       what.c_str(), src ? src : file, line);
    return VD_ST_UNSUPPORTED;
}

int VdResource::internal_error(const std::string& what) {
    imsg_print_catalog(IMSG_ERROR, &_vdw_prop_props_msg_table, VDW_PROP_BACKEND_INTERNAL_ERROR,
                       what.c_str());
    return VD_ST_UNSUPPORTED;
}

int VdResource::remove() {
    SUM_String name;
    get_type_name(name);
    return VD_UNSUPPORTED("'remove' not supported for resource type: " + name.str());
}

VdPropReader* VdResource::get_prop_reader(const VdNestedPropResponse& r) const {
    return vd_find_prop(kCommonProps, *this, r.name());
}

int VdResource::get_resource_id(SUM_String& out) const {
    return get_canonical_location(out);
}

int VdResource::write_prop(const PropVal&) {
    return VD_ST_UNSUPPORTED;
}

int VdResource::type_to_name(int type, SUM_String& out) {
    if (type < 0 || type >= TYPE_COUNT) return VD_ST_UNSUPPORTED;
    out = SUM_String(kTypeNames[type]);
    return 0;
}

int VdResource::name_to_type(const SUM_String& name, Type& out) {
    for (int i = 0; i < TYPE_COUNT; ++i) {
        if (name.str() == kTypeNames[i]) {
            out = static_cast<Type>(i);
            return 0;
        }
    }
    return VD_ST_UNSUPPORTED;
}

int VdResource::get_type_name(SUM_String& out) const {
    if (type_to_name(get_type(), out) != 0) out = SUM_String("<unknown resource type>");
    return 0;
}

int VdResource::get_canonical_location(SUM_String& out) const {
    if (is_null()) {
        internal_error("location of a null resource");
        return VD_ST_BAD_REQUEST;
    }
    VdLocation l;
    int st = get_efficient_location(l);
    if (st) return st;
    out = l.to_canonical();
    return 0;
}

int VdResource::marshal(VdXmlDoc& doc) const {
    return marshal_impl(doc, nullptr);
}
int VdResource::marshal(VdXmlDoc& doc, const SUM_String& index) const {
    return marshal_impl(doc, &index);
}

int VdResource::marshal_impl(VdXmlDoc& doc, const SUM_String* index) const {
    SUM_String location, type;
    int st = get_canonical_location(location);
    if (st) return st;
    get_type_name(type);
    VdXmlElem* e = doc.push(XmlTagId::RESOURCE);
    e->add_attr(XmlTagId::RESOURCE_TYPE, type);
    if (index) e->add_attr(XmlTagId::RESOURCE_INDEX, *index);
    e->add_value(location);
    doc.pop();
    return 0;
}

int VdResource::construct_from_location(const VdLocation& location,
                                        std::unique_ptr<VdResource>& out) {
    VDW_Trace trace(QLMX_COMPONENT, "VdResource", "construct_from_location");
    const VDW_Config& config = VDW_Config::getInstance();
    const bool auto_aware = config.is_client_automatic_view_aware();
    const bool snap_aware = config.is_client_snapshot_view_aware();
    trace.writeTrace(VDW_Trace::TRACE_LEVEL_4, "Client automatic view capable: %d", auto_aware);
    trace.writeTrace(VDW_Trace::TRACE_LEVEL_4, "Client snapshot view capable: %d", snap_aware);

    std::unique_ptr<VdResource> r;
    int st = 0;
    switch (location.get_prefix()) {
        case LP_REGISTRY_REGION:
            st = VdRegistryRegion::construct_from_location(location, r);
            break;
        case LP_REPLICA_UUID:
            st = VdVob::construct_from_replica_uuid_location(location, r);
            break;
        case LP_SERVER:
            st = VdServer::construct_from_location(location, r);
            break;
        case LP_STGLOC:
            st = VdStorageLocation::construct_from_location(location, r);
            break;
        case LP_TASK:
            st = VdTask::construct_from_location(location, r);
            break;
        case LP_VIEWTAG:
            st = VdViewTag::construct_from_location(location, r);
            break;
        case LP_VIEWUUID:
            st = VdView::construct_from_view_uuid_location(location, r);
            break;
        case LP_VOBTAG:
            st = VdVobTag::construct_from_location(location, r);
            break;
        case LP_WORKSPACE:
            st = VdViewResidentResource::construct_from_workspace_location(location, r);
            break;
        default:
            break;
    }
    if (st) return st;
    if (!r) {
        // A name: a change-request object's, or a pathname or object selector.
        st = tn_construct_from_name(location, r);
        vob_t* vob = nullptr;
        vob_dbid_t dbid = 0;
        int mtype = 0;
        if (!st && !r)
            st = vob_resolve_general(location.to_native().c_str(), nullptr, &vob, &dbid, &mtype);
        if (st) {
            imsg_printf(IMSG_ERROR, "Unable to find the resource \"%s\".\n",
                        location.to_native().c_str());
            return st;
        }
        if (!r && (st = util_vd_object_to_resource(vob, dbid, mtype, r))) return st;
    }
    r->client_auto_view_aware = auto_aware;
    r->client_snapshot_view_aware = snap_aware;
    out = std::move(r);
    return 0;
}

int VdResource::util_vd_object_to_resource(vob_t* vob, int64_t dbid, int mtype,
                                           std::unique_ptr<VdResource>& out) {
    if (!vob || !dbid) {
        internal_error("null VOB object");
        return VD_ST_BAD_REQUEST;
    }
    switch (mtype) {
        case VOB_MTYPE_VOB:
            out.reset(new VdVob(vob, dbid, mtype));
            return 0;
        case VOB_MTYPE_FILE_ELEMENT:
        case VOB_MTYPE_DIR_ELEMENT:
            out.reset(new VdElement(vob, dbid, mtype));
            return 0;
        case VOB_MTYPE_VERSION:
        case VOB_MTYPE_DIR_VERSION:
            out.reset(new VdVersion(vob, dbid, mtype));
            return 0;
        case VOB_MTYPE_HLINK:
            out.reset(new VdHyperlink(vob, dbid, mtype));
            return 0;
        case VOB_MTYPE_BRANCH:
            out.reset(new VdBranch(vob, dbid, mtype));
            return 0;
        case VOB_MTYPE_ELTYPE:
            out.reset(new VdElementType(vob, dbid, mtype));
            return 0;
        case VOB_MTYPE_BRTYPE:
            out.reset(new VdBranchType(vob, dbid, mtype));
            return 0;
        case VOB_MTYPE_ATTYPE:
            out.reset(new VdAttributeType(vob, dbid, mtype));
            return 0;
        case VOB_MTYPE_HLTYPE:
            out.reset(new VdHyperlinkType(vob, dbid, mtype));
            return 0;
        case VOB_MTYPE_TRTYPE:
            out.reset(new VdTriggerType(vob, dbid, mtype));
            return 0;
        case VOB_MTYPE_POLICY:
            out.reset(new VdPolicy(vob, dbid, mtype));
            return 0;
        case VOB_MTYPE_ROLEMAP:
            out.reset(new VdRolemap(vob, dbid, mtype));
            return 0;
        case VOB_MTYPE_LBTYPE:
            out.reset(new VdLabelType(vob, dbid, mtype));
            return 0;
        case VOB_MTYPE_REPLICA:
            out.reset(new VdReplica(vob, dbid, mtype));
            return 0;
        case VOB_MTYPE_BASELINE:
            out.reset(new VdBaseline(vob, dbid, mtype));
            return 0;
        case VOB_MTYPE_COMPONENT:
            out.reset(new VdComponent(vob, dbid, mtype));
            return 0;
        case VOB_MTYPE_FOLDER:
            out.reset(new VdProjectFolder(vob, dbid, mtype));
            return 0;
        case VOB_MTYPE_PROJECT:
            out.reset(new VdProject(vob, dbid, mtype));
            return 0;
        case VOB_MTYPE_ACTIVITY:
            out.reset(new VdActivity(vob, dbid, mtype));
            return 0;
        case VOB_MTYPE_STREAM:
            out.reset(new VdStream(vob, dbid, mtype));
            return 0;
        default:
            return VD_UNSUPPORTED("unsupported mtype: " + std::to_string(mtype));
    }
}

namespace {

std::string prop(const std::map<std::string, std::string>& props, const char* name) {
    auto it = props.find(name);
    return it == props.end() ? std::string() : it->second;
}
std::vector<std::string> prop_list(const std::map<std::string, std::string>& props,
                                   const char* name) {
    std::vector<std::string> out;
    const std::string text = prop(props, name);
    size_t i = 0;
    while (i < text.size()) {
        size_t j = text.find_first_of(",\n", i);
        if (j == std::string::npos) j = text.size();
        if (j > i) out.push_back(text.substr(i, j - i));
        i = j + 1;
    }
    return out;
}

}  // namespace

int VdResource::create(Type type, const VdLocation& location,
                       const std::map<std::string, std::string>& props, VDW_Vdcore* facade,
                       std::unique_ptr<VdResource>& out) {
    SUM_String type_name;
    type_to_name(type, type_name);
    LocationPrefix prefix;
    SUM_String name, scope;
    location.parse_native(prefix, name, scope);
    // Selectors of the new object: "<kind>:NAME@<vob>".
    std::string kind, obj_name = name.str();
    const size_t colon = obj_name.find(':');
    if (prefix == LP_NONE && colon != std::string::npos) {
        kind = obj_name.substr(0, colon);
        obj_name = obj_name.substr(colon + 1);
    }
    const std::string vob = scope.str();
    const std::string comment = prop(props, "comment");
    int st = 0;
    switch (type) {
        case FOLDER: {
            cmd_mkfolder_args_t a;
            a.name = obj_name;
            a.pvob = vob;
            a.parent = prop(props, "parent-folder");
            a.comment = comment;
            if (kind != "folder" || vob.empty()) break;
            if (a.parent.empty()) {
                imsg_print_catalog(IMSG_ERROR, &_vdw_prop_props_msg_table,
                                   VDW_PROP_FOLDER_PARENT_MISSING);
                return VD_ST_UNSUPPORTED;
            }
            if ((st = cmd_mkfolder(&a))) return st;
            return construct_from_location(location, out);
        }
        case PROJECT: {
            cmd_mkproject_args_t a;
            a.name = obj_name;
            a.pvob = vob;
            a.folder = prop(props, "project-folder");
            a.components = prop_list(props, "modifiable-component-list");
            if (!prop(props, "baseline-naming-template").empty())
                a.bl_template = prop(props, "baseline-naming-template");
            a.comment = comment;
            if (kind != "project" || vob.empty()) break;
            if (a.folder.empty()) {
                imsg_print_catalog(IMSG_ERROR, &_vdw_prop_props_msg_table,
                                   VDW_PROP_PROJECT_FOLDER_MISSING);
                return VD_ST_UNSUPPORTED;
            }
            if ((st = cmd_mkproject(&a))) return st;
            return construct_from_location(location, out);
        }
        case COMPONENT: {
            cmd_mkcomp_args_t a;
            a.name = obj_name;
            a.pvob = vob;
            a.root = prop(props, "root-directory-element");
            a.comment = comment;
            if (kind != "component" || vob.empty()) break;
            if (a.root.empty()) {
                imsg_print_catalog(IMSG_ERROR, &_vdw_prop_props_msg_table,
                                   VDW_PROP_COMPONENT_NEEDS_VIEW);
                return VD_ST_UNSUPPORTED;
            }
            if ((st = cmd_mkcomp(&a))) return st;
            return construct_from_location(location, out);
        }
        case HLTYPE: {
            cmd_mktype_args_t a;
            a.mtype = VOB_MTYPE_HLTYPE;
            a.name = obj_name;
            a.vob = vob;
            a.comment = comment;
            if (kind != "hltype" || vob.empty()) break;
            if ((st = cmd_mktype(&a))) return st;
            return construct_from_location(location, out);
        }
        case DYNAMIC_VIEW:
        case SNAPSHOT_VIEW: {
            if (prefix != LP_VIEWTAG || name.is_empty() || !facade) break;
            WCM_Status status;
            SUM_Uuid uuid;
            facade->create_view(name.c_str(), prop(props, "config-spec").c_str(), nullptr, &uuid,
                                status, nullptr, type == DYNAMIC_VIEW ? "dynamic" : "snapshot");
            if (!status.is_ok()) return status.status();
            view_t* view = nullptr;
            if ((st = view_open_by_uuid(uuid.uuid(), &view))) return st;
            out.reset(new VdView(view));
            return 0;
        }
        default:
            return VD_UNSUPPORTED("create: resource type not supported: " + type_name.str());
    }
    imsg_printf(IMSG_ERROR, "Cannot make a %s named \"%s\".\n", type_name.c_str(),
                location.to_native().c_str());
    return VD_ST_BAD_REQUEST;
}
