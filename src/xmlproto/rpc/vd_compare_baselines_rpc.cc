// "CompareBaselines": what a baseline ("target-resource") holds that another
// ("original-resource") does not, and the reverse, for the reports the "flag" children ask
// for: "VERSIONS" (one "version" per version, with "compare-kind" "ADDED" when only the
// target's baselines select it, "DELETED" when only the original's do), "ACTIVITIES" (one
// "activity" per activity of those versions: "ADDED" or "DELETED" when all of its versions
// there were added or deleted, "PARTIALLY_ADDED" or "PARTIALLY_DELETED" when only some of the
// activity's change set is), "BASELINES" (one "baseline" per baseline of a component the two
// sides take different baselines of: "ADDED" the target's, "DELETED" the original's). Each
// side stands for its closure (xcm.h), one baseline per component, so composites compare
// member by member; a stream stands for the closure of its recommended baselines. What a
// baseline selects is the versions it labels together with those of the baselines it builds
// on (an incremental baseline labels only what changed). Answers "CompareBaselinesResponse".
#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/cmd/cmd_xcm.h"
#include "core/imsg/imsg.h"
#include "core/vob/vob_obj.h"
#include "core/vob/xcm.h"
#include "foundation/catalogs/vdw_prop_catalog.h"
#include "foundation/wcm_status.h"
#include "xmlproto/resource/vd_vob_resources.h"
#include "xmlproto/rpc/vd_xml_args.h"
#include "xmlproto/rpc/vd_xml_object_rpcs.h"

namespace {

// element -> version a baseline selects in its component's VOB.
typedef std::map<vob_dbid_t, vob_dbid_t> Selection;

int select_of(vob_t* pvob, vob_dbid_t baseline, vob_t** vob, Selection* out) {
    // The chain from the baseline back to its full base, applied oldest first.
    std::vector<xcm_baseline_info_t> chain;
    for (vob_dbid_t b = baseline; b;) {
        xcm_baseline_info_t info;
        int st = xcm_get_baseline(pvob, b, &info);
        if (st) return st;
        chain.push_back(info);
        if (info.full || chain.size() > 10000) break;
        b = info.base;
    }
    xcm_component_info_t comp;
    int st = xcm_get_component(pvob, chain.front().component, &comp);
    if (!st && !comp.root_element) return 0;  // labels nothing
    if (!st) st = vob_open_by_uuid(comp.vob_uuid, vob);
    if (st) return st;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        std::vector<std::pair<vob_dbid_t, vob_dbid_t>> labelled;
        if ((st = vob_label_versions(*vob, it->name.c_str(), &labelled))) return st;
        for (const auto& [e, v] : labelled) (*out)[e] = v;
    }
    return 0;
}

// The baselines a resource stands for, by component: a baseline's closure, or that of a
// stream's recommended baselines.
int closure_of(const VdResource& r, vob_t** pvob, std::map<vob_dbid_t, vob_dbid_t>* out) {
    auto* v = dynamic_cast<const VdVobResource*>(&r);
    if (!v) return 1072;
    *pvob = v->vob();
    std::vector<vob_dbid_t> roots{v->dbid()}, closure;
    if (r.get_type() == VdResource::STREAM) {
        if (int st = xcm_stream_baselines(v->vob(), v->dbid(), XCM_BL_RECOMMENDED, &roots))
            return st;
    } else if (r.get_type() != VdResource::BASELINE) {
        return 1072;
    }
    if (roots.empty()) return 1072;
    if (int st = xcm_baseline_closure(v->vob(), roots, &closure)) return st;
    for (vob_dbid_t b : closure) {
        xcm_baseline_info_t info;
        if (int st = xcm_get_baseline(v->vob(), b, &info)) return st;
        (*out)[info.component] = b;
    }
    return 0;
}

// One version only one side selects.
struct Change {
    vob_t* vob;
    vob_dbid_t version;
    const char* kind;
};

// The versions of one component only one side selects (a side without a baseline of the
// component selects none of it; a rootless component's baselines label nothing).
int compare_component(vob_t* pvob, vob_dbid_t from_bl, vob_dbid_t to_bl, std::vector<Change>* out) {
    vob_t* vob = nullptr;
    Selection a, b;
    int st = from_bl ? select_of(pvob, from_bl, &vob, &a) : 0;
    if (!st && to_bl) st = select_of(pvob, to_bl, &vob, &b);
    if (st) return st;
    for (const auto& [e, v] : b) {
        auto it = a.find(e);
        if (it == a.end() || it->second != v) out->push_back({vob, v, "ADDED"});
    }
    for (const auto& [e, v] : a) {
        auto it = b.find(e);
        if (it == b.end() || it->second != v) out->push_back({vob, v, "DELETED"});
    }
    return 0;
}

}  // namespace

void VdCompareBaselinesRpc::handle_request(VdXmlDoc& request, VdXmlStreamDoc& response) {
    VdXmlElem* root = request.get_root();
    if (int rc = validate_rpc_version(root, RPC_NAME, RPC_VERSION))
        return void(status().set_status(rc));
    std::string from_loc, to_loc;
    vd_xml_take_text(root, "original-resource", &from_loc);
    vd_xml_take_text(root, "target-resource", &to_loc);
    const std::vector<std::string> flags = vd_xml_take_flags(root);
    auto flag = [&](const char* f) {
        return std::find(flags.begin(), flags.end(), f) != flags.end();
    };
    const bool versions = flag("VERSIONS"), activities = flag("ACTIVITIES");
    if (!versions && !activities && !flag("BASELINES")) {
        imsg_print_catalog(IMSG_ERROR, &_vdw_prop_props_msg_table, VDW_PROP_NO_REPORT_KIND);
        return void(status().set_status(1072));
    }
    std::unique_ptr<VdResource> from, to;
    vob_t *from_pvob = nullptr, *to_pvob = nullptr;
    std::map<vob_dbid_t, vob_dbid_t> from_bls, to_bls;  // component -> baseline
    if (from_loc.empty() || to_loc.empty() || vd_xml_resource(from_loc, from) ||
        vd_xml_resource(to_loc, to) || closure_of(*from, &from_pvob, &from_bls) ||
        closure_of(*to, &to_pvob, &to_bls) || from_pvob != to_pvob) {
        imsg_print_catalog(IMSG_ERROR, &_vdw_prop_props_msg_table,
                           VDW_PROP_COMPARE_NEEDS_TWO_BASELINES);
        return void(status().set_status(1072));
    }
    vob_t* pvob = to_pvob;
    // Component by component: the baselines that differ and the versions they select.
    std::map<vob_dbid_t, std::pair<vob_dbid_t, vob_dbid_t>> sides;  // component -> (from, to)
    for (const auto& [c, b] : from_bls) sides[c].first = b;
    for (const auto& [c, b] : to_bls) sides[c].second = b;
    std::vector<Change> changed;
    int st = 0;
    for (const auto& [c, pair] : sides)
        if (!st && pair.first != pair.second)
            st = compare_component(pvob, pair.first, pair.second, &changed);
    if (st) return void(status().set_status(st));
    response.push("CompareBaselinesResponse");
    if (flag("BASELINES")) {
        for (const auto& [c, pair] : sides) {
            if (pair.first == pair.second) continue;
            for (const auto& [b, kind] :
                 {std::make_pair(pair.second, "ADDED"), std::make_pair(pair.first, "DELETED")}) {
                if (!b || st) continue;
                VdBaseline bl(pvob, b, VOB_MTYPE_BASELINE);
                VdXmlElem* e = response.push("baseline");
                e->add_attr("compare-kind", kind);
                st = bl.marshal(response);
                response.pop();
            }
        }
    }
    if (versions && !st) {
        for (const Change& c : changed) {
            VdVersion ver(c.vob, c.version, VOB_MTYPE_VERSION);
            VdXmlElem* e = response.push("version");
            e->add_attr("compare-kind", c.kind);
            st = ver.marshal(response);
            response.pop();
            if (st) break;
        }
    }
    if (activities && !st) {
        // Each activity with how many of its versions were added and deleted, against the
        // size of its change set.
        struct Count {
            vob_t* pvob = nullptr;
            int added = 0, deleted = 0;
        };
        std::map<std::pair<vob_t*, vob_dbid_t>, Count> acts;
        for (const Change& ch : changed) {
            tbs_uuid_t pvob_uuid{};
            tbs_oid_t oid{};
            vob_t* apvob = nullptr;
            vob_dbid_t act = 0;
            if (xcm_version_activity(ch.vob, ch.version, &pvob_uuid, &oid) != TBS_ST_OK ||
                tbs_uuid_is_null(oid) || vob_open_by_uuid(pvob_uuid, &apvob) != TBS_ST_OK ||
                vob_obj_oid_to_dbid(apvob, oid, &act) != TBS_ST_OK)
                continue;
            Count& c = acts[{apvob, act}];
            c.pvob = apvob;
            (ch.kind[0] == 'A' ? c.added : c.deleted)++;
        }
        for (const auto& [key, c] : acts) {
            std::vector<cmd_cs_entry_t> cs;
            cmd_activity_change_set(key.first, key.second, &cs);
            int total = 0;
            for (const cmd_cs_entry_t& x : cs) total += x.checked_out ? 0 : 1;
            const bool added = c.added >= c.deleted;
            const bool whole = (added ? c.added : c.deleted) >= total;
            const char* kind = added ? (whole ? "ADDED" : "PARTIALLY_ADDED")
                                     : (whole ? "DELETED" : "PARTIALLY_DELETED");
            VdActivity act(key.first, key.second, VOB_MTYPE_ACTIVITY);
            VdXmlElem* e = response.push("activity");
            e->add_attr("compare-kind", kind);
            st = act.marshal(response);
            response.pop();
            if (st) break;
        }
    }
    response.pop();
    if (st) status().set_status(st);
}
