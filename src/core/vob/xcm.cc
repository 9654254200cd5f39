// Reading the change-management model: objects, relations, selectors, the config spec of a
// stream, and change sets gathered from the component VOBs.
#include "core/vob/xcm.h"

#include <algorithm>
#include <map>

#include "core/store/db.h"
#include "core/vob/vob_obj.h"
#include "core/vob/vob_store.h"
#include "core/vob/xcm_store.h"

const char* const XCM_PROMOTION_LEVELS[] = {"REJECTED", "INITIAL", "BUILT", "TESTED", "RELEASED"};
const int XCM_PROMOTION_LEVEL_COUNT = 5;
const int XCM_PROMOTION_DEFAULT = 1;

namespace {

struct Kind {
    int mtype;
    const char* prefix;
};
const Kind kKinds[] = {
    {VOB_MTYPE_FOLDER, "folder"},     {VOB_MTYPE_PROJECT, "project"},
    {VOB_MTYPE_STREAM, "stream"},     {VOB_MTYPE_ACTIVITY, "activity"},
    {VOB_MTYPE_BASELINE, "baseline"}, {VOB_MTYPE_COMPONENT, "component"},
};

// Reads in one snapshot of the project VOB.
template <class F>
tbs_status_t reading(vob_t* pvob, F&& body) {
    return pvob->db->transact(store_txn_kind::read, [&](store_txn&) { return body(*pvob->db); });
}

// Fills the object facts `objects` keeps; the kind's row was read by the caller.
template <class T>
tbs_status_t get_kind(vob_t* pvob, vob_dbid_t dbid, int mtype, T* out,
                      tbs_status_t (*get)(store_db&, int64_t, T*)) {
    tbs_status_t st = reading(pvob, [&](store_db& db) { return get(db, dbid, out); });
    if (st == TBS_ST_OK && out->mtype != mtype) return TBS_ST_BAD_SELECTOR;
    return st == TBS_ST_NOT_FOUND ? TBS_ST_OBJ_NOT_FOUND : st;
}

// A config-spec pattern for everything at or below a pathname, quoted when it must be.
std::string below(const std::string& pname) {
    std::string p = pname == "/" ? "/..." : pname + "/...";
    return p.find_first_of(" \t\"#") == std::string::npos ? p : "\"" + p + "\"";
}

}  // namespace

bool xcm_is_pvob(vob_t* vob) {
    std::string v;
    return vob_store_get_info(*vob->db, "ucmproject", &v) == TBS_ST_OK && v == "1";
}

tbs_status_t xcm_find(vob_t* pvob, int mtype, const std::string& name, vob_dbid_t* dbid) {
    tbs_status_t st = xcm_store_find(*pvob->db, mtype, name, dbid);
    return st == TBS_ST_NOT_FOUND ? TBS_ST_NAME_NOT_FOUND : st;
}

tbs_status_t xcm_get_obj(vob_t* pvob, vob_dbid_t dbid, xcm_obj_t* out) {
    tbs_status_t st = xcm_store_get_obj(*pvob->db, dbid, out);
    return st == TBS_ST_NOT_FOUND ? TBS_ST_OBJ_NOT_FOUND : st;
}
tbs_status_t xcm_get_folder(vob_t* pvob, vob_dbid_t dbid, xcm_folder_info_t* out) {
    return get_kind(pvob, dbid, VOB_MTYPE_FOLDER, out, xcm_store_get_folder);
}
tbs_status_t xcm_get_component(vob_t* pvob, vob_dbid_t dbid, xcm_component_info_t* out) {
    return get_kind(pvob, dbid, VOB_MTYPE_COMPONENT, out, xcm_store_get_component);
}
tbs_status_t xcm_get_project(vob_t* pvob, vob_dbid_t dbid, xcm_project_info_t* out) {
    return get_kind(pvob, dbid, VOB_MTYPE_PROJECT, out, xcm_store_get_project);
}
tbs_status_t xcm_get_stream(vob_t* pvob, vob_dbid_t dbid, xcm_stream_info_t* out) {
    return get_kind(pvob, dbid, VOB_MTYPE_STREAM, out, xcm_store_get_stream);
}
tbs_status_t xcm_get_activity(vob_t* pvob, vob_dbid_t dbid, xcm_activity_info_t* out) {
    return get_kind(pvob, dbid, VOB_MTYPE_ACTIVITY, out, xcm_store_get_activity);
}
tbs_status_t xcm_get_baseline(vob_t* pvob, vob_dbid_t dbid, xcm_baseline_info_t* out) {
    return get_kind(pvob, dbid, VOB_MTYPE_BASELINE, out, xcm_store_get_baseline);
}

tbs_status_t xcm_list(vob_t* pvob, int mtype, std::vector<xcm_obj_t>* out) {
    return xcm_store_list(*pvob->db, mtype, out);
}
tbs_status_t xcm_folder_children(vob_t* pvob, vob_dbid_t folder, std::vector<xcm_obj_t>* out) {
    return xcm_store_folder_children(*pvob->db, folder, out);
}
tbs_status_t xcm_project_streams(vob_t* pvob, vob_dbid_t project, std::vector<vob_dbid_t>* out) {
    return xcm_store_project_streams(*pvob->db, project, out);
}
tbs_status_t xcm_project_components(vob_t* pvob, vob_dbid_t project, std::vector<vob_dbid_t>* out) {
    return xcm_store_project_components(*pvob->db, project, out);
}
tbs_status_t xcm_stream_activities(vob_t* pvob, vob_dbid_t stream, std::vector<vob_dbid_t>* out) {
    return xcm_store_stream_activities(*pvob->db, stream, out);
}

tbs_status_t xcm_activity_tasks(vob_t* pvob, vob_dbid_t activity, std::vector<std::string>* out) {
    return xcm_store_activity_tasks(*pvob->db, activity, out);
}
tbs_status_t xcm_activity_record(vob_t* pvob, vob_dbid_t activity, xcm_record_ref_t* out) {
    return xcm_store_activity_record(*pvob->db, activity, out);
}

tbs_status_t xcm_record_activity(const std::string& selector, const xcm_record_ref_t& rec,
                                 vob_t** pvob, vob_dbid_t* activity) {
    vob_t* vob = nullptr;
    vob_dbid_t dbid = 0;
    xcm_record_ref_t bound;
    if (selector.empty() || xcm_resolve(selector.c_str(), VOB_MTYPE_ACTIVITY, &vob, &dbid) ||
        xcm_activity_record(vob, dbid, &bound) != TBS_ST_OK || bound.id != rec.id ||
        bound.user_db != rec.user_db || bound.db_set != rec.db_set)
        return TBS_ST_NOT_FOUND;
    *pvob = vob;
    *activity = dbid;
    return TBS_ST_OK;
}

std::string xcm_stable_selector(vob_t* vob, vob_dbid_t dbid) {
    vob_obj_info_t info;
    if (vob_obj_get_info(vob, dbid, &info) != TBS_ST_OK) return std::string();
    return "oid:" + tbs_uuid_text(info.oid) + "@" + vob_selector(vob, VOB_VOBSEL_FAMILY);
}

tbs_status_t xcm_stream_baselines(vob_t* pvob, vob_dbid_t stream, int kind,
                                  std::vector<vob_dbid_t>* out) {
    if (kind == 0) return xcm_store_stream_made_baselines(*pvob->db, stream, out);
    return xcm_store_stream_baselines(*pvob->db, stream, kind, out);
}
tbs_status_t xcm_baseline_streams(vob_t* pvob, vob_dbid_t baseline, std::vector<vob_dbid_t>* out) {
    return xcm_store_baseline_streams(*pvob->db, baseline, out);
}

tbs_status_t xcm_baseline_members(vob_t* pvob, vob_dbid_t baseline, std::vector<vob_dbid_t>* out) {
    return xcm_store_baseline_members(*pvob->db, baseline, out);
}
tbs_status_t xcm_baseline_composites(vob_t* pvob, vob_dbid_t member, std::vector<vob_dbid_t>* out) {
    return xcm_store_baseline_composites(*pvob->db, member, out);
}
tbs_status_t xcm_baseline_closure(vob_t* pvob, const std::vector<vob_dbid_t>& roots,
                                  std::vector<vob_dbid_t>* out) {
    return reading(pvob, [&](store_db& db) { return xcm_store_closure(db, roots, out, nullptr); });
}

// Selectors ----------------------------------------------------------------------------------

const char* xcm_kind_prefix(int mtype) {
    for (const Kind& k : kKinds)
        if (k.mtype == mtype) return k.prefix;
    return nullptr;
}

std::string xcm_selector(vob_t* pvob, int mtype, const std::string& name) {
    const char* prefix = xcm_kind_prefix(mtype);
    return std::string(prefix ? prefix : "dbid") + ":" + name + "@" +
           vob_selector(pvob, VOB_VOBSEL_TAG);
}

tbs_status_t xcm_resolve(const char* selector, int want, vob_t** pvob, vob_dbid_t* dbid) {
    vob_t* vob = nullptr;
    vob_dbid_t found = 0;
    int mtype = 0;
    tbs_status_t st = vob_resolve_general(selector, nullptr, &vob, &found, &mtype);
    if (st != TBS_ST_OK) return st;
    if (!xcm_kind_prefix(mtype) || (want && mtype != want)) return TBS_ST_BAD_SELECTOR;
    *pvob = vob;
    *dbid = found;
    return TBS_ST_OK;
}

// The config spec of a stream ------------------------------------------------------------------

tbs_status_t xcm_stream_cspec(vob_t* pvob, vob_dbid_t stream, std::string* text) {
    return reading(pvob, [&](store_db& db) -> tbs_status_t {
        xcm_stream_info_t s;
        tbs_status_t st = xcm_store_get_stream(db, stream, &s);
        if (st != TBS_ST_OK) return st;
        std::vector<int64_t> comps, foundations, closure;
        if ((st = xcm_store_project_components(db, s.project, &comps)) != TBS_ST_OK ||
            (st = xcm_store_stream_baselines(db, stream, XCM_BL_FOUNDATION, &foundations)) !=
                TBS_ST_OK ||
            (st = xcm_store_closure(db, foundations, &closure, nullptr)) != TBS_ST_OK)
            return st;
        // Each component with the rule suffix it gets: the project's branch into the stream,
        // the others are only seen.
        const std::string mk = s.read_only ? " -nocheckout" : " -mkbranch " + s.name;
        std::map<int64_t, std::pair<xcm_component_info_t, std::string>> comp;
        for (int64_t c : comps) {
            if ((st = xcm_store_get_component(db, c, &comp[c].first)) != TBS_ST_OK) return st;
            comp[c].second = mk;
        }
        std::vector<xcm_baseline_info_t> bls(closure.size());
        for (size_t i = 0; i < closure.size(); ++i) {
            if ((st = xcm_store_get_baseline(db, closure[i], &bls[i])) != TBS_ST_OK) return st;
            if (comp.count(bls[i].component)) continue;
            auto& c = comp[bls[i].component];
            if ((st = xcm_store_get_component(db, bls[i].component, &c.first)) != TBS_ST_OK)
                return st;
            c.second = " -nocheckout";
        }
        std::string out = "# Made from the stream " + s.name + "; changed with the stream.\n";
        out += "element * CHECKEDOUT\n";
        out += "element * .../" + s.name + "/LATEST\n";
        for (const xcm_baseline_info_t& top : bls) {
            const auto& [c, suffix] = comp[top.component];
            if (c.root_pname.empty()) continue;  // a rootless component selects nothing
            // The baseline's own label, then those of the baselines it builds on.
            xcm_baseline_info_t bl = top;
            for (int depth = 0; depth < 1000; ++depth) {
                out += "element " + below(c.root_pname) + " " + bl.name + suffix + "\n";
                if (bl.full || !bl.base) break;
                if ((st = xcm_store_get_baseline(db, bl.base, &bl)) != TBS_ST_OK) return st;
            }
        }
        for (const auto& [id, c] : comp)
            if (!c.first.root_pname.empty())
                out += "element " + below(c.first.root_pname) + " /main/0" + c.second + "\n";
        // Directories above the components (a component below a VOB's root).
        out += "element * /main/LATEST -nocheckout\n";
        for (const auto& [id, c] : comp)
            if (!c.first.root_pname.empty()) out += "load " + c.first.root_pname + "\n";
        *text = out;
        return TBS_ST_OK;
    });
}

// Change sets ---------------------------------------------------------------------------------

tbs_status_t xcm_activity_changes(vob_t* pvob, vob_dbid_t activity,
                                  std::vector<xcm_change_t>* out) {
    out->clear();
    xcm_activity_info_t a;
    tbs_status_t st = xcm_get_activity(pvob, activity, &a);
    xcm_stream_info_t s;
    if (st == TBS_ST_OK) st = xcm_get_stream(pvob, a.stream, &s);
    std::vector<vob_dbid_t> comps;
    if (st == TBS_ST_OK) st = xcm_project_components(pvob, s.project, &comps);
    if (st != TBS_ST_OK) return st;
    // Each component VOB once.
    std::vector<tbs_uuid_t> vobs;
    for (vob_dbid_t c : comps) {
        xcm_component_info_t ci;
        if ((st = xcm_get_component(pvob, c, &ci)) != TBS_ST_OK) return st;
        if (!ci.root_element) continue;  // a rootless component has no versions
        if (std::none_of(vobs.begin(), vobs.end(), [&](const tbs_uuid_t& u) {
                return tbs_uuid_text(u) == tbs_uuid_text(ci.vob_uuid);
            }))
            vobs.push_back(ci.vob_uuid);
    }
    const std::string key = tbs_uuid_text(a.oid);
    for (const tbs_uuid_t& u : vobs) {
        vob_t* vob = nullptr;
        if ((st = vob_open_by_uuid(u, &vob)) != TBS_ST_OK) return st;
        std::vector<std::pair<int64_t, int64_t>> changes;
        if ((st = xcm_store_activity_changes(*vob->db, key, &changes)) != TBS_ST_OK) return st;
        for (const auto& [element, version] : changes) out->push_back({u, version, element});
    }
    return TBS_ST_OK;
}

tbs_status_t xcm_version_activity(vob_t* vob, vob_dbid_t version, tbs_uuid_t* pvob,
                                  tbs_oid_t* activity) {
    std::string p, a;
    tbs_status_t st = xcm_store_get_change(*vob->db, version, &p, &a);
    if (st != TBS_ST_OK) return st;
    if (tbs_uuid_from_str(p.c_str(), pvob) != TBS_ST_OK ||
        tbs_uuid_from_str(a.c_str(), activity) != TBS_ST_OK)
        return TBS_ST_DAMAGED;
    return TBS_ST_OK;
}

// Operations ------------------------------------------------------------------------------------

tbs_status_t xcm_get_op(vob_t* pvob, vob_dbid_t stream, xcm_op_t* out) {
    tbs_status_t st = xcm_store_get_op(*pvob->db, stream, out);
    return st == TBS_ST_NOT_FOUND ? TBS_ST_NO_OP_IN_PROGRESS : st;
}

tbs_status_t xcm_find_op_into(vob_t* pvob, vob_dbid_t target, xcm_op_t* out) {
    tbs_status_t st = xcm_store_find_op_busy(*pvob->db, target, out);
    return st == TBS_ST_NOT_FOUND ? TBS_ST_NO_OP_IN_PROGRESS : st;
}

tbs_status_t xcm_op_items(vob_t* pvob, vob_dbid_t stream, std::vector<xcm_op_item_t>* out) {
    return xcm_store_items(*pvob->db, stream, out);
}
