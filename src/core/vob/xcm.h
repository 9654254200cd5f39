// The change-management model as a project VOB stores it: folders, projects, components,
// streams, activities, baselines, and the deliver and rebase operations in progress.
//
// A project VOB (made with `vdtool mkvob -ucmproject`) holds these objects; each is a VOB
// object with a dbid and an oid and one row of its kind. Names are unique per kind in a
// project VOB, so a selector names one: "stream:dev@vob:/vobs/pvob" ("@/vobs/pvob" and the
// other VOB forms of vob_obj.h work too), and likewise "activity:", "baseline:",
// "project:", "folder:", "component:".
//
// What lives elsewhere:
//   - the versions of a change set live in the component VOBs: each version made in an
//     activity carries the activity's oid there (one row per version, indexed by activity),
//     written in the same transaction as the checkout that made it;
//   - a stream's branch type is a branch type of the stream's name in each component VOB;
//   - a baseline's versions carry a label type of the baseline's name in its component's
//     VOB; an incremental baseline labels only what changed since the baseline it builds on,
//     and selects through its own label and then through that baseline's;
//   - a view attached to a stream keeps the stream and its current activity in its own
//     database; its config spec is generated from the stream (xcm_stream_cspec) and made
//     again whenever the stream's configuration generation moves on.
//
// Writers of these rows are the commands (cmd_xcm.h); this header reads.
#ifndef CORE_VOB_XCM_H
#define CORE_VOB_XCM_H

#include <cstdint>
#include <string>
#include <vector>

#include "core/tbs/tbs.h"
#include "core/vob/vob.h"

// Project policies (bits of xcm_project_info_t::policies). Without the bit the operation
// is refused when checkouts are in the way.
enum {
    XCM_POLICY_DELIVER_NCO_DEVSTR = 1,  // deliver while the stream has other checkouts
    XCM_POLICY_DELIVER_NCO_SELACT = 2,  // deliver activities that have checkouts (they stay)
    XCM_POLICY_REBASE_CO = 4,           // rebase a view that has checkouts
};

// Promotion levels, lowest first; new baselines start at the default.
extern const char* const XCM_PROMOTION_LEVELS[];
extern const int XCM_PROMOTION_LEVEL_COUNT;
extern const int XCM_PROMOTION_DEFAULT;

// What every object of the model shares.
struct xcm_obj_t {
    vob_dbid_t dbid = 0;
    int mtype = 0;
    tbs_oid_t oid{};
    std::string name;
    std::string owner;
    std::string group;
    int64_t created = 0;
};

struct xcm_folder_info_t : xcm_obj_t {
    vob_dbid_t parent = 0;  // 0 for the root folder "RootFolder"
};

struct xcm_component_info_t : xcm_obj_t {
    tbs_uuid_t vob_uuid{};  // the VOB (replica) holding the component's elements
    vob_dbid_t root_element = 0;
    std::string root_pname;  // "/vobs/demo"
};

struct xcm_project_info_t : xcm_obj_t {
    vob_dbid_t folder = 0;
    vob_dbid_t int_stream = 0;
    int policies = 0;
    std::string bl_template;  // baseline naming tokens, comma-separated ("basename,date")
    bool obsolete = false;
    std::string tn_userdb;  // change-request database ("" when the project is not enabled)
    std::string tn_dbset;
};

struct xcm_stream_info_t : xcm_obj_t {
    vob_dbid_t project = 0;
    vob_dbid_t parent = 0;  // the stream it was made from (0 for the integration stream)
    bool integration = false;
    bool read_only = false;
    vob_dbid_t target = 0;  // default deliver target (0: the parent)
    int64_t cfg_gen = 0;    // moves on whenever what the stream selects changes
};

struct xcm_activity_info_t : xcm_obj_t {
    vob_dbid_t stream = 0;
    std::string headline;
    bool integration = false;  // made by a deliver or rebase to hold its merges
};

// A change record, by its user database, database set and id (see core/tide/tide.h).
struct xcm_record_ref_t {
    std::string user_db;
    std::string db_set;
    std::string id;
};

struct xcm_baseline_info_t : xcm_obj_t {
    vob_dbid_t component = 0;
    vob_dbid_t stream = 0;
    bool full = true;
    vob_dbid_t base = 0;   // incremental: the baseline it builds on
    int promotion = 0;     // index in XCM_PROMOTION_LEVELS
    int64_t labelled = 0;  // versions labelled
};

// Composite baselines. Any baseline may name member baselines of other components (a
// rootless component's baselines name nothing else). What a set of baselines stands for,
// its closure, is one baseline per component, found level by level from the set itself:
// a baseline whose component a shallower level chose already is passed over with its own
// members, so a composite decides for everything below it by naming a member of that
// component itself, and a stream's explicitly named foundation baseline of a component
// wins over one its composites bring. Two different baselines of one component met first
// at the same level clash: the commands refuse an edit that makes a composite's closure
// clash, and a reader meeting one (foundations named together) takes the first in order.
// A member is never the baseline itself, of its own component, or a composite that
// reaches it (no cycles).

// Kinds of stream-baseline relation.
enum { XCM_BL_FOUNDATION = 1, XCM_BL_RECOMMENDED = 2 };

// One version of a change set, in its component VOB.
struct xcm_change_t {
    tbs_uuid_t vob_uuid{};
    vob_dbid_t version = 0;
    vob_dbid_t element = 0;
};

// A deliver or rebase in progress, keyed by the stream it works for (the source of a
// deliver, the stream rebased). A deliver also holds its target: one deliver into a stream
// at a time.
struct xcm_op_t {
    vob_dbid_t stream = 0;
    std::string kind;   // "deliver" or "rebase"
    std::string state;  // xcm_op_state_*
    vob_dbid_t target = 0;
    tbs_uuid_t view_uuid{};             // the view the merges are made in
    vob_dbid_t activity = 0;            // the integration activity holding them
    vob_dbid_t prior_activity = 0;      // the view's current activity before the operation
    std::vector<vob_dbid_t> selection;  // activities (deliver) or baselines (rebase)
    std::string user;
    int64_t started = 0;
};

// One element of an operation.
enum xcm_item_state_t {
    XCM_ITEM_PENDING = 0,
    XCM_ITEM_MERGED = 1,
    XCM_ITEM_CONFLICT = 2,
    XCM_ITEM_CHECKEDIN = 3,
};
struct xcm_op_item_t {
    int64_t seq = 0;
    tbs_uuid_t vob_uuid{};
    vob_dbid_t element = 0;
    std::string pname;  // the element's VOB pathname
    vob_dbid_t from_version = 0;
    vob_dbid_t checkout = 0;
    int state = XCM_ITEM_PENDING;
    bool is_dir = false;
};

// Whether a VOB is a project VOB.
bool xcm_is_pvob(vob_t* vob);

// The object of a kind by name.
tbs_status_t xcm_find(vob_t* pvob, int mtype, const std::string& name, vob_dbid_t* dbid);
tbs_status_t xcm_get_obj(vob_t* pvob, vob_dbid_t dbid, xcm_obj_t* out);
tbs_status_t xcm_get_folder(vob_t* pvob, vob_dbid_t dbid, xcm_folder_info_t* out);
tbs_status_t xcm_get_component(vob_t* pvob, vob_dbid_t dbid, xcm_component_info_t* out);
tbs_status_t xcm_get_project(vob_t* pvob, vob_dbid_t dbid, xcm_project_info_t* out);
tbs_status_t xcm_get_stream(vob_t* pvob, vob_dbid_t dbid, xcm_stream_info_t* out);
tbs_status_t xcm_get_activity(vob_t* pvob, vob_dbid_t dbid, xcm_activity_info_t* out);
tbs_status_t xcm_get_baseline(vob_t* pvob, vob_dbid_t dbid, xcm_baseline_info_t* out);

// Lists, by name. A 0 filter takes all.
tbs_status_t xcm_list(vob_t* pvob, int mtype, std::vector<xcm_obj_t>* out);
tbs_status_t xcm_folder_children(vob_t* pvob, vob_dbid_t folder, std::vector<xcm_obj_t>* out);
tbs_status_t xcm_project_streams(vob_t* pvob, vob_dbid_t project, std::vector<vob_dbid_t>* out);
tbs_status_t xcm_project_components(vob_t* pvob, vob_dbid_t project, std::vector<vob_dbid_t>* out);
// The task URIs an activity is bound to, by URI.
tbs_status_t xcm_activity_tasks(vob_t* pvob, vob_dbid_t activity, std::vector<std::string>* out);
tbs_status_t xcm_stream_activities(vob_t* pvob, vob_dbid_t stream, std::vector<vob_dbid_t>* out);

// Change records. An activity is bound to at most one record of its project's
// change-request database, and a record to at most one activity; the activity's row is the
// binding, the record keeps the activity's stable selector to be found from.
// The record an activity is bound to; TBS_ST_NOT_FOUND when none.
tbs_status_t xcm_activity_record(vob_t* pvob, vob_dbid_t activity, xcm_record_ref_t* out);
// The activity a record's kept selector names, when that activity is still bound to the
// record; TBS_ST_NOT_FOUND otherwise.
tbs_status_t xcm_record_activity(const std::string& selector, const xcm_record_ref_t& rec,
                                 vob_t** pvob, vob_dbid_t* activity);
// The stable selector of an object: "oid:<oid>@vobuuid:<family>".
std::string xcm_stable_selector(vob_t* vob, vob_dbid_t dbid);
// Baselines of a stream by relation (XCM_BL_FOUNDATION, XCM_BL_RECOMMENDED), or, with 0,
// the baselines made in the stream, oldest first.
tbs_status_t xcm_stream_baselines(vob_t* pvob, vob_dbid_t stream, int kind,
                                  std::vector<vob_dbid_t>* out);
// The streams that have the baseline as a foundation.
tbs_status_t xcm_baseline_streams(vob_t* pvob, vob_dbid_t baseline, std::vector<vob_dbid_t>* out);

// The direct members of a baseline, and the composites naming a baseline as a member.
tbs_status_t xcm_baseline_members(vob_t* pvob, vob_dbid_t baseline, std::vector<vob_dbid_t>* out);
tbs_status_t xcm_baseline_composites(vob_t* pvob, vob_dbid_t member, std::vector<vob_dbid_t>* out);
// The closure of `roots` (see above): the roots first, then their members level by level.
tbs_status_t xcm_baseline_closure(vob_t* pvob, const std::vector<vob_dbid_t>& roots,
                                  std::vector<vob_dbid_t>* out);

// Selectors: "<kind>:NAME@<vob>" for the model's kinds; the readable form names the
// project VOB by tag.
const char* xcm_kind_prefix(int mtype);
std::string xcm_selector(vob_t* pvob, int mtype, const std::string& name);
// Resolves a selector to an object of kind `want` (0: any of the model's kinds). A
// selector of another kind is TBS_ST_BAD_SELECTOR; a name that is not there
// TBS_ST_NAME_NOT_FOUND.
tbs_status_t xcm_resolve(const char* selector, int want, vob_t** pvob, vob_dbid_t* dbid);

// The config spec of a stream: its checkouts, its own branch, the closure of its foundation
// baselines (each made to branch into the stream's branch), version 0 of elements made
// since, and a load rule per component with a root. A component the closure reaches that
// the project does not list has no branch of the stream: it is seen read-only.
tbs_status_t xcm_stream_cspec(vob_t* pvob, vob_dbid_t stream, std::string* text);

// Change sets. The versions of an activity, from every component VOB of its project, by
// VOB and element (checked-out versions too).
tbs_status_t xcm_activity_changes(vob_t* pvob, vob_dbid_t activity, std::vector<xcm_change_t>* out);
// The activity a version (or checkout) was made in; TBS_ST_NOT_FOUND when none.
tbs_status_t xcm_version_activity(vob_t* vob, vob_dbid_t version, tbs_uuid_t* pvob,
                                  tbs_oid_t* activity);

// Operations in progress.
tbs_status_t xcm_get_op(vob_t* pvob, vob_dbid_t stream, xcm_op_t* out);
// The deliver into `target` in progress, if any.
tbs_status_t xcm_find_op_into(vob_t* pvob, vob_dbid_t target, xcm_op_t* out);
tbs_status_t xcm_op_items(vob_t* pvob, vob_dbid_t stream, std::vector<xcm_op_item_t>* out);

#endif
