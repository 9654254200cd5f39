// The change-management object classes over the model (xcm.h) and its commands.
#include "core/sum/sum_xcm.h"

#include <algorithm>
#include <map>

#include "core/rgy/rgy.h"
#include "core/tide/tide.h"

namespace {

template <class T>
tbs_status_t wrap_all(const SUM_Vob& pvob, const std::vector<vob_dbid_t>& ids,
                      std::vector<T>* out) {
    out->clear();
    for (vob_dbid_t id : ids) {
        T o;
        tbs_status_t st = T::construct_from_dbid(pvob, id, &o);
        if (st != TBS_ST_OK) return st;
        out->push_back(o);
    }
    return TBS_ST_OK;
}

std::string sel_text(const SUM_XcmObject& o) {
    SUM_String s;
    return o.selector(&s) == TBS_ST_OK ? s.str() : std::string();
}

}  // namespace

// SUM_XcmObject ------------------------------------------------------------------------------

tbs_status_t SUM_XcmObject::make(const char* text, int mtype, SUM_XcmObject* out) {
    if (!text || !out) return TBS_ST_BAD_REQUEST;
    vob_t* pvob = nullptr;
    vob_dbid_t dbid = 0;
    tbs_status_t st = xcm_resolve(text, mtype, &pvob, &dbid);
    if (st != TBS_ST_OK) return st;
    SUM_Vob v;
    if ((st = SUM_Vob::construct_from_handle(pvob, &v)) != TBS_ST_OK) return st;
    return make(v, dbid, mtype, out);
}

tbs_status_t SUM_XcmObject::make(const SUM_Vob& pvob, vob_dbid_t dbid, int mtype,
                                 SUM_XcmObject* out) {
    if (!out) return TBS_ST_BAD_REQUEST;
    vob_t* handle = nullptr;
    tbs_status_t st = pvob.handle(&handle);
    xcm_obj_t o;
    if (st == TBS_ST_OK) st = xcm_get_obj(handle, dbid, &o);
    if (st != TBS_ST_OK) return st;
    if (mtype && o.mtype != mtype) return TBS_ST_BAD_SELECTOR;
    out->pvob_ = pvob;
    out->dbid_ = dbid;
    out->mtype_ = o.mtype;
    return TBS_ST_OK;
}

tbs_status_t SUM_XcmObject::construct_from_selector(const char* text, SUM_XcmObject* out) {
    return make(text, 0, out);
}

tbs_status_t SUM_XcmObject::open(vob_t** pvob) const {
    if (is_null()) return TBS_ST_BAD_REQUEST;
    return pvob_.handle(pvob);
}

tbs_status_t SUM_XcmObject::info(xcm_obj_t* out) const {
    vob_t* pvob = nullptr;
    tbs_status_t st = open(&pvob);
    if (st != TBS_ST_OK) return st;
    if ((st = xcm_get_obj(pvob, dbid_, out)) != TBS_ST_OK) return st;
    vob_obj_info_t oi;
    if ((st = vob_obj_get_info(pvob, dbid_, &oi)) != TBS_ST_OK) return st;
    out->oid = oi.oid;
    out->owner = oi.owner;
    out->group = oi.group;
    out->created = oi.created;
    return TBS_ST_OK;
}

tbs_status_t SUM_XcmObject::oid(SUM_Oid* oid) const {
    xcm_obj_t o;
    tbs_status_t st = info(&o);
    if (st == TBS_ST_OK) *oid = SUM_Oid(o.oid);
    return st;
}

tbs_status_t SUM_XcmObject::replica_uuid(SUM_Uuid* uuid) const {
    if (is_null()) return TBS_ST_BAD_REQUEST;
    return pvob_.replica_uuid(uuid);
}

tbs_status_t SUM_XcmObject::name(SUM_String* name) const {
    xcm_obj_t o;
    tbs_status_t st = info(&o);
    if (st == TBS_ST_OK) *name = SUM_String(o.name);
    return st;
}

tbs_status_t SUM_XcmObject::selector(SUM_String* sel) const {
    vob_t* pvob = nullptr;
    xcm_obj_t o;
    tbs_status_t st = open(&pvob);
    if (st == TBS_ST_OK) st = xcm_get_obj(pvob, dbid_, &o);
    if (st == TBS_ST_OK) *sel = SUM_String(xcm_selector(pvob, o.mtype, o.name));
    return st;
}

tbs_status_t SUM_XcmObject::description(SUM_String* text) const {
    vob_t* pvob = nullptr;
    std::string d;
    tbs_status_t st = open(&pvob);
    if (st == TBS_ST_OK) st = vob_obj_get_description(pvob, dbid_, &d);
    if (st == TBS_ST_OK) *text = SUM_String(d);
    return st;
}

tbs_status_t SUM_XcmObject::set_description(const char* text) const {
    cmd_chevent_args_t a;
    tbs_status_t st = open(&a.vob);
    if (st != TBS_ST_OK) return st;
    a.dbid = dbid_;
    a.comment = text ? text : "";
    return cmd_chevent(&a);
}

tbs_status_t SUM_XcmObject::lock_info(vob_lock_info_t* out) const {
    vob_t* pvob = nullptr;
    tbs_status_t st = open(&pvob);
    return st == TBS_ST_OK ? vob_obj_get_lock(pvob, dbid_, out) : st;
}

// SUM_Folder ---------------------------------------------------------------------------------

tbs_status_t SUM_Folder::root_folder(const SUM_Vob& pvob, SUM_Folder* out) {
    vob_t* handle = nullptr;
    vob_dbid_t dbid = 0;
    tbs_status_t st = pvob.handle(&handle);
    if (st == TBS_ST_OK) st = xcm_find(handle, VOB_MTYPE_FOLDER, "RootFolder", &dbid);
    return st == TBS_ST_OK ? construct_from_dbid(pvob, dbid, out) : st;
}

tbs_status_t SUM_Folder::create(const SUM_Folder& parent, const char* name, const char* comment,
                                SUM_Folder* out) {
    cmd_mkfolder_args_t a;
    SUM_String tag;
    tbs_status_t st = parent.pvob().tag(&tag);
    if (st != TBS_ST_OK) return st;
    a.pvob = tag.str();
    a.parent = sel_text(parent);
    a.name = name ? name : "";
    a.comment = comment ? comment : "";
    if ((st = cmd_mkfolder(&a)) != TBS_ST_OK) return st;
    return construct_from_dbid(parent.pvob(), a.folder, out);
}

tbs_status_t SUM_Folder::parent(SUM_Folder* out) const {
    vob_t* pvob = nullptr;
    xcm_folder_info_t f;
    tbs_status_t st = open(&pvob);
    if (st == TBS_ST_OK) st = xcm_get_folder(pvob, dbid_, &f);
    if (st != TBS_ST_OK) return st;
    if (!f.parent) {
        *out = SUM_Folder();
        return TBS_ST_OK;
    }
    return construct_from_dbid(pvob_, f.parent, out);
}

tbs_status_t SUM_Folder::contents(std::vector<SUM_XcmObject>* out) const {
    vob_t* pvob = nullptr;
    std::vector<xcm_obj_t> kids;
    tbs_status_t st = open(&pvob);
    if (st == TBS_ST_OK) st = xcm_folder_children(pvob, dbid_, &kids);
    out->clear();
    for (const xcm_obj_t& k : kids) {
        SUM_XcmObject o;
        if (st == TBS_ST_OK && (st = make(pvob_, k.dbid, 0, &o)) == TBS_ST_OK) out->push_back(o);
    }
    return st;
}

// SUM_Component ------------------------------------------------------------------------------

tbs_status_t SUM_Component::root_pname(SUM_String* pname) const {
    vob_t* pvob = nullptr;
    xcm_component_info_t c;
    tbs_status_t st = open(&pvob);
    if (st == TBS_ST_OK) st = xcm_get_component(pvob, dbid_, &c);
    if (st == TBS_ST_OK) *pname = SUM_String(c.root_pname);
    return st;
}

tbs_status_t SUM_Component::root_vob(SUM_Vob* vob) const {
    vob_t* pvob = nullptr;
    xcm_component_info_t c;
    tbs_status_t st = open(&pvob);
    if (st == TBS_ST_OK) st = xcm_get_component(pvob, dbid_, &c);
    return st == TBS_ST_OK ? SUM_Vob::construct_from_uuid(c.vob_uuid, vob) : st;
}

tbs_status_t SUM_Component::initial_baseline(SUM_Baseline* out) const {
    vob_t* pvob = nullptr;
    xcm_obj_t o;
    vob_dbid_t b = 0;
    tbs_status_t st = open(&pvob);
    if (st == TBS_ST_OK) st = xcm_get_obj(pvob, dbid_, &o);
    if (st == TBS_ST_OK) st = xcm_find(pvob, VOB_MTYPE_BASELINE, o.name + "_INITIAL", &b);
    return st == TBS_ST_OK ? SUM_Baseline::construct_from_dbid(pvob_, b, out) : st;
}

// SUM_Project --------------------------------------------------------------------------------

tbs_status_t SUM_Project::create(const SUM_Folder& folder, const char* name,
                                 const std::vector<SUM_Component>& components, const char* comment,
                                 SUM_Project* out) {
    cmd_mkproject_args_t a;
    SUM_String tag;
    tbs_status_t st = folder.pvob().tag(&tag);
    if (st != TBS_ST_OK) return st;
    a.pvob = tag.str();
    a.folder = sel_text(folder);
    a.name = name ? name : "";
    a.comment = comment ? comment : "";
    for (const SUM_Component& c : components) a.components.push_back(sel_text(c));
    if ((st = cmd_mkproject(&a)) != TBS_ST_OK) return st;
    return construct_from_dbid(folder.pvob(), a.project, out);
}

#define SUM_PROJECT_INFO(p)                                     \
    vob_t* pvob = nullptr;                                      \
    xcm_project_info_t p;                                       \
    tbs_status_t st = open(&pvob);                              \
    if (st == TBS_ST_OK) st = xcm_get_project(pvob, dbid_, &p); \
    if (st != TBS_ST_OK) return st

tbs_status_t SUM_Project::folder(SUM_Folder* out) const {
    SUM_PROJECT_INFO(p);
    return SUM_Folder::construct_from_dbid(pvob_, p.folder, out);
}

tbs_status_t SUM_Project::integration_stream(SUM_Stream* out) const {
    SUM_PROJECT_INFO(p);
    if (!p.int_stream) {
        *out = SUM_Stream();
        return TBS_ST_OK;
    }
    return SUM_Stream::construct_from_dbid(pvob_, p.int_stream, out);
}

tbs_status_t SUM_Project::streams(std::vector<SUM_Stream>* out) const {
    vob_t* pvob = nullptr;
    std::vector<vob_dbid_t> ids;
    tbs_status_t st = open(&pvob);
    if (st == TBS_ST_OK) st = xcm_project_streams(pvob, dbid_, &ids);
    return st == TBS_ST_OK ? wrap_all(pvob_, ids, out) : st;
}

tbs_status_t SUM_Project::components(std::vector<SUM_Component>* out) const {
    vob_t* pvob = nullptr;
    std::vector<vob_dbid_t> ids;
    tbs_status_t st = open(&pvob);
    if (st == TBS_ST_OK) st = xcm_project_components(pvob, dbid_, &ids);
    return st == TBS_ST_OK ? wrap_all(pvob_, ids, out) : st;
}

tbs_status_t SUM_Project::policies(int* bits) const {
    SUM_PROJECT_INFO(p);
    *bits = p.policies;
    return TBS_ST_OK;
}

tbs_status_t SUM_Project::is_obsolete(bool* yes) const {
    SUM_PROJECT_INFO(p);
    vob_lock_info_t lock;
    *yes = p.obsolete || (lock_info(&lock) == TBS_ST_OK && lock.locked && lock.obsolete);
    return TBS_ST_OK;
}

tbs_status_t SUM_Project::is_single_stream(bool* yes) const {
    vob_t* pvob = nullptr;
    std::vector<vob_dbid_t> ids;
    tbs_status_t st = open(&pvob);
    if (st == TBS_ST_OK) st = xcm_project_streams(pvob, dbid_, &ids);
    if (st == TBS_ST_OK) *yes = ids.size() <= 1;
    return st;
}

tbs_status_t SUM_Project::baseline_naming_template(SUM_String* tokens) const {
    SUM_PROJECT_INFO(p);
    *tokens = SUM_String(p.bl_template);
    return TBS_ST_OK;
}

tbs_status_t SUM_Project::tn_database(SUM_String* userdb, SUM_String* dbset) const {
    SUM_PROJECT_INFO(p);
    *userdb = SUM_String(p.tn_userdb);
    *dbset = SUM_String(p.tn_dbset);
    return TBS_ST_OK;
}

tbs_status_t SUM_Project::tn_enabled_status(SUM_String* status) const {
    SUM_PROJECT_INFO(p);
    *status = SUM_String(p.tn_userdb.empty()                                       ? "NOT_ENABLED"
                         : CTide_provider()->has_database(p.tn_userdb, p.tn_dbset) ? "ACTIVE"
                                                                                   : "SUSPENDED");
    return TBS_ST_OK;
}

// SUM_Stream ---------------------------------------------------------------------------------

tbs_status_t SUM_Stream::create(const SUM_Project& project, const char* name, bool integration,
                                const SUM_Stream& parent,
                                const std::vector<SUM_Baseline>& foundation, bool read_only,
                                const char* comment, SUM_Stream* out) {
    cmd_mkstream_args_t a;
    a.name = name ? name : "";
    a.project = sel_text(project);
    a.integration = integration;
    if (!parent.is_null()) a.parent = sel_text(parent);
    for (const SUM_Baseline& b : foundation) a.baselines.push_back(sel_text(b));
    a.read_only = read_only;
    a.comment = comment ? comment : "";
    tbs_status_t st = cmd_mkstream(&a);
    return st == TBS_ST_OK ? construct_from_dbid(project.pvob(), a.stream, out) : st;
}

tbs_status_t SUM_Stream::info(xcm_stream_info_t* out) const {
    vob_t* pvob = nullptr;
    tbs_status_t st = open(&pvob);
    if (st == TBS_ST_OK) st = xcm_get_stream(pvob, dbid_, out);
    xcm_obj_t o;
    if (st == TBS_ST_OK && (st = SUM_XcmObject::info(&o)) == TBS_ST_OK) {
        out->oid = o.oid;
        out->owner = o.owner;
        out->group = o.group;
        out->created = o.created;
    }
    return st;
}

tbs_status_t SUM_Stream::project(SUM_Project* out) const {
    xcm_stream_info_t s;
    tbs_status_t st = info(&s);
    return st == TBS_ST_OK ? SUM_Project::construct_from_dbid(pvob_, s.project, out) : st;
}

tbs_status_t SUM_Stream::is_integration(bool* yes) const {
    xcm_stream_info_t s;
    tbs_status_t st = info(&s);
    if (st == TBS_ST_OK) *yes = s.integration;
    return st;
}

tbs_status_t SUM_Stream::is_read_only(bool* yes) const {
    xcm_stream_info_t s;
    tbs_status_t st = info(&s);
    if (st == TBS_ST_OK) *yes = s.read_only;
    return st;
}

tbs_status_t SUM_Stream::deliver_stream(SUM_Stream* out) const {
    xcm_stream_info_t s;
    tbs_status_t st = info(&s);
    if (st != TBS_ST_OK) return st;
    const vob_dbid_t target = s.target ? s.target : s.parent;
    if (!target) {
        *out = SUM_Stream();
        return TBS_ST_OK;
    }
    return construct_from_dbid(pvob_, target, out);
}

tbs_status_t SUM_Stream::set_deliver_stream(const SUM_Stream& target) const {
    cmd_chstream_args_t a;
    a.stream = sel_text(*this);
    a.set_target = true;
    if (!target.is_null()) a.target = sel_text(target);
    return cmd_chstream(&a);
}

tbs_status_t SUM_Stream::activities(std::vector<SUM_Activity>* out) const {
    vob_t* pvob = nullptr;
    std::vector<vob_dbid_t> ids;
    tbs_status_t st = open(&pvob);
    if (st == TBS_ST_OK) st = xcm_stream_activities(pvob, dbid_, &ids);
    return st == TBS_ST_OK ? wrap_all(pvob_, ids, out) : st;
}

tbs_status_t SUM_Stream::undelivered_activities(const SUM_Stream& target,
                                                std::vector<SUM_Activity>* out,
                                                std::vector<bool>* has_checkouts) const {
    vob_t* pvob = nullptr;
    std::vector<cmd_undelivered_t> found;
    tbs_status_t st = open(&pvob);
    if (st == TBS_ST_OK && target.is_null()) st = TBS_ST_BAD_STREAM;
    if (st == TBS_ST_OK) st = cmd_undelivered_activities(pvob, dbid_, target.dbid(), &found);
    out->clear();
    if (has_checkouts) has_checkouts->clear();
    for (const cmd_undelivered_t& u : found) {
        SUM_Activity a;
        if (st == TBS_ST_OK &&
            (st = SUM_Activity::construct_from_dbid(pvob_, u.activity, &a)) == TBS_ST_OK) {
            out->push_back(a);
            if (has_checkouts) has_checkouts->push_back(u.has_checkouts);
        }
    }
    return st;
}

tbs_status_t SUM_Stream::foundation_baselines(std::vector<SUM_Baseline>* out) const {
    vob_t* pvob = nullptr;
    std::vector<vob_dbid_t> ids;
    tbs_status_t st = open(&pvob);
    if (st == TBS_ST_OK) st = xcm_stream_baselines(pvob, dbid_, XCM_BL_FOUNDATION, &ids);
    return st == TBS_ST_OK ? wrap_all(pvob_, ids, out) : st;
}

tbs_status_t SUM_Stream::recommended_baselines(std::vector<SUM_Baseline>* out) const {
    vob_t* pvob = nullptr;
    std::vector<vob_dbid_t> ids;
    tbs_status_t st = open(&pvob);
    if (st == TBS_ST_OK) st = xcm_stream_baselines(pvob, dbid_, XCM_BL_RECOMMENDED, &ids);
    return st == TBS_ST_OK ? wrap_all(pvob_, ids, out) : st;
}

tbs_status_t SUM_Stream::set_recommended_baselines(const std::vector<SUM_Baseline>& bls) const {
    cmd_chstream_args_t a;
    a.stream = sel_text(*this);
    for (const SUM_Baseline& b : bls) a.recommend.push_back(sel_text(b));
    return cmd_chstream(&a);
}

tbs_status_t SUM_Stream::baselines(std::vector<SUM_Baseline>* out) const {
    vob_t* pvob = nullptr;
    std::vector<vob_dbid_t> ids;
    tbs_status_t st = open(&pvob);
    if (st == TBS_ST_OK) st = xcm_stream_baselines(pvob, dbid_, 0, &ids);
    return st == TBS_ST_OK ? wrap_all(pvob_, ids, out) : st;
}

tbs_status_t SUM_Stream::latest_baselines(std::vector<SUM_Baseline>* out) const {
    std::vector<SUM_Baseline> all;
    tbs_status_t st = baselines(&all);
    std::map<vob_dbid_t, SUM_Baseline> by_comp;  // oldest first: the last one stays
    for (const SUM_Baseline& b : all) {
        xcm_baseline_info_t bi;
        if (st == TBS_ST_OK && (st = b.info(&bi)) == TBS_ST_OK) by_comp[bi.component] = b;
    }
    out->clear();
    for (const auto& [c, b] : by_comp) out->push_back(b);
    return st;
}

tbs_status_t SUM_Stream::views(std::vector<SUM_View>* out, const char* owner) const {
    if (is_null()) return TBS_ST_BAD_REQUEST;
    std::vector<rgy_view_entry_t> entries;
    tbs_status_t st = rgy_list_view_tags(nullptr, &entries);
    out->clear();
    SUM_Uuid mine;
    pvob_.replica_uuid(&mine);
    for (const rgy_view_entry_t& e : entries) {
        if (st != TBS_ST_OK) break;
        if (e.properties.find("sumview") == std::string::npos) continue;
        if (owner && e.owner != owner) continue;
        view_t* v = nullptr;
        view_xcm_t x;
        if (view_open_by_uuid(e.uuid, &v) != TBS_ST_OK || view_get_xcm(v, &x) != TBS_ST_OK)
            continue;
        if (x.stream != dbid_ || tbs_uuid_text(x.pvob) != mine.string().str()) continue;
        SUM_View view;
        if ((st = SUM_View::construct_from_uuid(e.uuid, &view)) == TBS_ST_OK) out->push_back(view);
    }
    return st;
}

tbs_status_t SUM_Stream::config_spec(SUM_String* text) const {
    vob_t* pvob = nullptr;
    std::string t;
    tbs_status_t st = open(&pvob);
    if (st == TBS_ST_OK) st = xcm_stream_cspec(pvob, dbid_, &t);
    if (st == TBS_ST_OK) *text = SUM_String(t);
    return st;
}

namespace {

tbs_status_t op_query(const SUM_Stream& s, bool into, const char* kind, bool* yes, xcm_op_t* op) {
    vob_t* pvob = nullptr;
    xcm_op_t found;
    tbs_status_t st = s.pvob().handle(&pvob);
    if (st != TBS_ST_OK) return st;
    st = into ? xcm_find_op_into(pvob, s.dbid(), &found) : xcm_get_op(pvob, s.dbid(), &found);
    *yes = st == TBS_ST_OK && (!kind || found.kind == kind);
    if (*yes && op) *op = found;
    return st == TBS_ST_NO_OP_IN_PROGRESS || st == TBS_ST_OK ? TBS_ST_OK : st;
}

}  // namespace

tbs_status_t SUM_Stream::deliver_in_progress(bool* yes, xcm_op_t* op) const {
    return op_query(*this, false, "deliver", yes, op);
}
tbs_status_t SUM_Stream::deliver_into_in_progress(bool* yes, xcm_op_t* op) const {
    return op_query(*this, true, "deliver", yes, op);
}
tbs_status_t SUM_Stream::rebase_in_progress(bool* yes, xcm_op_t* op) const {
    return op_query(*this, false, "rebase", yes, op);
}

// SUM_Activity -------------------------------------------------------------------------------

tbs_status_t SUM_Activity::create(const SUM_Stream& stream, const char* name, const char* headline,
                                  const char* comment, SUM_Activity* out) {
    cmd_mkactivity_args_t a;
    a.stream = sel_text(stream);
    a.name = name ? name : "";
    a.headline = headline ? headline : "";
    a.comment = comment ? comment : "";
    tbs_status_t st = cmd_mkactivity(&a);
    return st == TBS_ST_OK ? construct_from_dbid(stream.pvob(), a.activity, out) : st;
}

tbs_status_t SUM_Activity::info(xcm_activity_info_t* out) const {
    vob_t* pvob = nullptr;
    tbs_status_t st = open(&pvob);
    if (st == TBS_ST_OK) st = xcm_get_activity(pvob, dbid_, out);
    xcm_obj_t o;
    if (st == TBS_ST_OK && (st = SUM_XcmObject::info(&o)) == TBS_ST_OK) {
        out->oid = o.oid;
        out->owner = o.owner;
        out->group = o.group;
        out->created = o.created;
    }
    return st;
}

tbs_status_t SUM_Activity::headline(SUM_String* text) const {
    xcm_activity_info_t a;
    tbs_status_t st = info(&a);
    if (st == TBS_ST_OK) *text = SUM_String(a.headline);
    return st;
}

tbs_status_t SUM_Activity::set_headline(const char* text) const {
    return cmd_chactivity(sel_text(*this).c_str(), text ? text : "", nullptr);
}

tbs_status_t SUM_Activity::rename(const char* name) const {
    return cmd_chactivity(sel_text(*this).c_str(), nullptr, name);
}

tbs_status_t SUM_Activity::stream(SUM_Stream* out) const {
    xcm_activity_info_t a;
    tbs_status_t st = info(&a);
    return st == TBS_ST_OK ? SUM_Stream::construct_from_dbid(pvob_, a.stream, out) : st;
}

tbs_status_t SUM_Activity::is_integration(bool* yes) const {
    xcm_activity_info_t a;
    tbs_status_t st = info(&a);
    if (st == TBS_ST_OK) *yes = a.integration;
    return st;
}

tbs_status_t SUM_Activity::change_set(std::vector<cmd_cs_entry_t>* out) const {
    vob_t* pvob = nullptr;
    tbs_status_t st = open(&pvob);
    return st == TBS_ST_OK ? cmd_activity_change_set(pvob, dbid_, out) : st;
}

tbs_status_t SUM_Activity::has_checkouts(bool* yes) const {
    std::vector<cmd_cs_entry_t> cs;
    tbs_status_t st = change_set(&cs);
    *yes = std::any_of(cs.begin(), cs.end(), [](const cmd_cs_entry_t& e) { return e.checked_out; });
    return st;
}

// SUM_Baseline -------------------------------------------------------------------------------

tbs_status_t SUM_Baseline::create(const SUM_Stream& stream, const char* basename, bool full,
                                  bool recommend, std::vector<SUM_Baseline>* out) {
    cmd_mkbl_args_t a;
    a.stream = sel_text(stream);
    a.basename = basename ? basename : "";
    a.full = full;
    a.recommend = recommend;
    tbs_status_t st = cmd_mkbl(&a);
    return st == TBS_ST_OK ? wrap_all(stream.pvob(), a.baselines, out) : st;
}

tbs_status_t SUM_Baseline::info(xcm_baseline_info_t* out) const {
    vob_t* pvob = nullptr;
    tbs_status_t st = open(&pvob);
    if (st == TBS_ST_OK) st = xcm_get_baseline(pvob, dbid_, out);
    xcm_obj_t o;
    if (st == TBS_ST_OK && (st = SUM_XcmObject::info(&o)) == TBS_ST_OK) {
        out->oid = o.oid;
        out->owner = o.owner;
        out->group = o.group;
        out->created = o.created;
    }
    return st;
}

tbs_status_t SUM_Baseline::component(SUM_Component* out) const {
    xcm_baseline_info_t b;
    tbs_status_t st = info(&b);
    return st == TBS_ST_OK ? SUM_Component::construct_from_dbid(pvob_, b.component, out) : st;
}

tbs_status_t SUM_Baseline::stream(SUM_Stream* out) const {
    xcm_baseline_info_t b;
    tbs_status_t st = info(&b);
    if (st != TBS_ST_OK) return st;
    if (!b.stream) {
        *out = SUM_Stream();
        return TBS_ST_OK;
    }
    return SUM_Stream::construct_from_dbid(pvob_, b.stream, out);
}

tbs_status_t SUM_Baseline::is_full(bool* yes) const {
    xcm_baseline_info_t b;
    tbs_status_t st = info(&b);
    if (st == TBS_ST_OK) *yes = b.full;
    return st;
}

tbs_status_t SUM_Baseline::promotion_level(SUM_String* level) const {
    xcm_baseline_info_t b;
    tbs_status_t st = info(&b);
    if (st == TBS_ST_OK)
        *level = SUM_String(b.promotion >= 0 && b.promotion < XCM_PROMOTION_LEVEL_COUNT
                                ? XCM_PROMOTION_LEVELS[b.promotion]
                                : "");
    return st;
}

tbs_status_t SUM_Baseline::set_promotion_level(const char* level) const {
    cmd_chbl_args_t a;
    a.baseline = sel_text(*this);
    a.level = level ? level : "";
    return cmd_chbl(&a);
}

tbs_status_t SUM_Baseline::is_recommended(bool* yes) const {
    vob_t* pvob = nullptr;
    xcm_baseline_info_t b;
    tbs_status_t st = open(&pvob);
    if (st == TBS_ST_OK) st = xcm_get_baseline(pvob, dbid_, &b);
    *yes = false;
    std::vector<vob_dbid_t> comps_streams;
    // The streams of every project that has the component.
    std::vector<xcm_obj_t> projects;
    if (st == TBS_ST_OK) st = xcm_list(pvob, VOB_MTYPE_PROJECT, &projects);
    for (const xcm_obj_t& p : projects) {
        std::vector<vob_dbid_t> streams;
        if (st != TBS_ST_OK || (st = xcm_project_streams(pvob, p.dbid, &streams)) != TBS_ST_OK)
            break;
        for (vob_dbid_t s : streams) {
            std::vector<vob_dbid_t> rec;
            if ((st = xcm_stream_baselines(pvob, s, XCM_BL_RECOMMENDED, &rec)) != TBS_ST_OK) break;
            if (std::find(rec.begin(), rec.end(), dbid_) != rec.end()) *yes = true;
        }
    }
    return st;
}

tbs_status_t SUM_Baseline::foundation_of(std::vector<SUM_Stream>* out) const {
    vob_t* pvob = nullptr;
    std::vector<vob_dbid_t> ids;
    tbs_status_t st = open(&pvob);
    if (st == TBS_ST_OK) st = xcm_baseline_streams(pvob, dbid_, &ids);
    return st == TBS_ST_OK ? wrap_all(pvob_, ids, out) : st;
}

tbs_status_t SUM_Baseline::members(std::vector<SUM_Baseline>* out) const {
    vob_t* pvob = nullptr;
    std::vector<vob_dbid_t> ids;
    tbs_status_t st = open(&pvob);
    if (st == TBS_ST_OK) st = xcm_baseline_members(pvob, dbid_, &ids);
    return st == TBS_ST_OK ? wrap_all(pvob_, ids, out) : st;
}

tbs_status_t SUM_Baseline::is_composite(bool* yes) const {
    std::vector<SUM_Baseline> m;
    tbs_status_t st = members(&m);
    *yes = st == TBS_ST_OK && !m.empty();
    return st;
}

// Views and project VOBs ---------------------------------------------------------------------

tbs_status_t SUM_view_stream(const SUM_View& view, SUM_Stream* out) {
    view_t* v = nullptr;
    view_xcm_t x;
    SUM_Vob pvob;
    tbs_status_t st = view.handle(&v);
    if (st == TBS_ST_OK) st = view_get_xcm(v, &x);
    if (st == TBS_ST_OK) st = SUM_Vob::construct_from_uuid(x.pvob, &pvob);
    return st == TBS_ST_OK ? SUM_Stream::construct_from_dbid(pvob, x.stream, out) : st;
}

tbs_status_t SUM_view_current_activity(const SUM_View& view, SUM_Activity* out) {
    view_t* v = nullptr;
    view_xcm_t x;
    SUM_Vob pvob;
    tbs_status_t st = view.handle(&v);
    if (st == TBS_ST_OK) st = view_get_xcm(v, &x);
    if (st != TBS_ST_OK) return st;
    if (!x.activity) {
        *out = SUM_Activity();
        return TBS_ST_OK;
    }
    if ((st = SUM_Vob::construct_from_uuid(x.pvob, &pvob)) != TBS_ST_OK) return st;
    return SUM_Activity::construct_from_dbid(pvob, x.activity, out);
}

tbs_status_t SUM_view_set_current_activity(const SUM_View& view, const SUM_Activity& activity) {
    SUM_String tag;
    tbs_status_t st = view.tag(&tag);
    if (st != TBS_ST_OK) return st;
    return cmd_setactivity(tag.c_str(), activity.is_null() ? "" : sel_text(activity).c_str());
}

tbs_status_t SUM_view_create_for_stream(const SUM_Stream& stream, const char* tag,
                                        const char* storage, const char* kind, SUM_View* out) {
    cmd_mkview_args_t a;
    a.tag = tag ? tag : "";
    a.storage = storage ? storage : "";
    a.kind = kind && *kind ? kind : "webview";
    a.stream = sel_text(stream);
    if (a.stream.empty()) return TBS_ST_BAD_STREAM;
    tbs_status_t st = cmd_mkview(&a);
    return st == TBS_ST_OK ? SUM_View::construct_from_uuid(a.uuid, out) : st;
}

tbs_status_t SUM_project_vobs(std::vector<SUM_Vob>* out) {
    std::vector<rgy_vob_entry_t> tags;
    tbs_status_t st = rgy_list_vob_tags(nullptr, &tags);
    out->clear();
    for (const rgy_vob_entry_t& e : tags) {
        vob_t* vob = nullptr;
        if (st != TBS_ST_OK) break;
        if (vob_open_by_tag(e.tag.c_str(), &vob) != TBS_ST_OK || !xcm_is_pvob(vob)) continue;
        SUM_Vob v;
        if ((st = SUM_Vob::construct_from_handle(vob, &v)) == TBS_ST_OK) out->push_back(v);
    }
    return st;
}
