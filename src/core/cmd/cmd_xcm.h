// Change-management commands: the objects of a project VOB (folders, components,
// projects, streams, activities, baselines), the current activity of a view, moving a
// version between activities, and the deliver and rebase operations.
//
// Objects are named by selectors ("stream:dev@/vobs/pvob", see xcm.h); a selector of
// another kind than the one a command wants fails with TBS_ST_BAD_SELECTOR. Each command
// runs as the acting identity, writes its events, and reports through the message library.
#ifndef CORE_CMD_CMD_XCM_H
#define CORE_CMD_CMD_XCM_H

#include <cstdint>
#include <string>
#include <vector>

#include "core/cmd/cmd.h"
#include "core/tbs/tbs.h"
#include "core/view/view.h"
#include "core/vob/vob.h"
#include "core/vob/xcm.h"

struct cmd_mkfolder_args_t {
    std::string name;
    std::string pvob;    // project VOB tag
    std::string parent;  // folder selector; "" for the root folder
    std::string comment;
    vob_dbid_t folder = 0;  // result
};
tbs_status_t cmd_mkfolder(cmd_mkfolder_args_t* args);

// A component roots a directory tree of a VOB (the VOB's root or a directory in it). It
// starts with its initial baseline "<name>_INITIAL", a full baseline of the latest
// versions of its main branches. A rootless component has no tree: its baselines label
// nothing and serve as composites (see cmd_chbl_deps).
struct cmd_mkcomp_args_t {
    std::string name;
    std::string pvob;
    std::string root;  // directory element pathname ("/vobs/demo"); "" with `rootless`
    bool rootless = false;
    std::string comment;
    vob_dbid_t component = 0;  // results
    vob_dbid_t initial_baseline = 0;
};
tbs_status_t cmd_mkcomp(cmd_mkcomp_args_t* args);

struct cmd_mkproject_args_t {
    std::string name;
    std::string pvob;
    std::string folder;                    // "" for the root folder
    std::vector<std::string> components;   // component selectors
    int policies = 0;                      // XCM_POLICY_*
    std::string bl_template = "basename";  // tokens: basename project stream component date user
    std::string tn_userdb;                 // change-request database of the project ("" none)
    std::string tn_dbset;
    std::string comment;
    vob_dbid_t project = 0;
};
tbs_status_t cmd_mkproject(cmd_mkproject_args_t* args);

// A stream of a project: its integration stream (one per project), or a development
// stream made from another stream (the project's integration stream when none is named).
// Foundation baselines: those named, else the parent's recommended baselines (the
// components' initial baselines for an integration stream). Makes the stream's branch type
// in every component VOB.
struct cmd_mkstream_args_t {
    std::string name;
    std::string project;  // project selector
    bool integration = false;
    std::string parent;  // stream selector ("" the integration stream)
    std::vector<std::string> baselines;
    bool read_only = false;
    std::string target;  // default deliver target ("" the parent)
    std::string comment;
    vob_dbid_t stream = 0;
};
tbs_status_t cmd_mkstream(cmd_mkstream_args_t* args);

// Changes a stream: its recommended baselines (replacing those of the same components),
// default deliver target, read-only state, name or description.
struct cmd_chstream_args_t {
    std::string stream;
    std::vector<std::string> recommend;  // baseline selectors
    bool set_target = false;
    std::string target;
    int read_only = -1;  // -1 leaves it
    std::string new_name;
    bool set_comment = false;
    std::string comment;
};
tbs_status_t cmd_chstream(cmd_chstream_args_t* args);

struct cmd_mkactivity_args_t {
    std::string name;  // "" makes one ("activity<n>")
    std::string stream;
    std::string headline;  // "" takes the name
    std::string comment;
    std::string view;  // a view tag: the new activity becomes its current one
    bool integration = false;
    vob_dbid_t activity = 0;  // results
    std::string selector;
};
tbs_status_t cmd_mkactivity(cmd_mkactivity_args_t* args);

// Changes an activity's headline or name.
tbs_status_t cmd_chactivity(const char* activity, const char* headline, const char* new_name);

// Binds an activity to tasks (URIs of a task provider's work items) or unbinds it:
// `replace` makes `add` the whole list; otherwise `add` is added and `remove` taken away.
// The activity's owner or a privileged identity; a URI is 1 to 2048 printable characters
// without blanks.
tbs_status_t cmd_chactivity_tasks(const char* activity, const std::vector<std::string>& add,
                                  const std::vector<std::string>& remove, bool replace);

// Binds an activity to a change record of its project's change-request database, or, with
// "", unbinds it. The activity's owner or a privileged identity; the record must exist and
// be bound to no other activity. The record is told its activity first (the activity's
// binding is the authority, so a record left naming an activity that is not bound to it
// names none).
tbs_status_t cmd_chactivity_record(const char* activity, const char* record_id);

// Sets the current activity of a view attached to a stream; "" clears it.
tbs_status_t cmd_setactivity(const char* view_tag, const char* activity);

// Moves a version (a version-extended pathname, or a checked-out element's pathname, in the
// view) from its activity to another of the same stream.
tbs_status_t cmd_mvact(const char* version, const vob_view_ctx_t* view, const char* activity);

// Baselines of a stream, one per component that changed (every component with `full`, or
// the components named): the versions the stream selects are labelled, an incremental
// baseline labelling only what changed since the last baseline of its component in the
// stream. With `recommend` they become the stream's recommended baselines.
//
// Component dependencies: with `add_comp_deps` or `remove_comp_deps` (component selectors)
// a composite baseline of `composite` (a rootless component; "" the project's one) is
// made as well, whose members are the stream's newest baseline (made in it, else its
// foundation) of each component its previous baseline in the stream had a member of,
// with those added and without those removed.
struct cmd_mkbl_args_t {
    std::string stream;
    std::string basename;
    bool full = false;
    bool recommend = false;
    std::vector<std::string> components;
    std::vector<std::string> add_comp_deps, remove_comp_deps;
    std::string composite;
    std::string comment;
    std::vector<vob_dbid_t> baselines;  // result (in the stream's project VOB)
};
tbs_status_t cmd_mkbl(cmd_mkbl_args_t* args);

// Changes a baseline's promotion level (a name of XCM_PROMOTION_LEVELS) or description.
struct cmd_chbl_args_t {
    std::string baseline;
    std::string level;  // "" leaves it
    bool set_comment = false;
    std::string comment;
};
tbs_status_t cmd_chbl(cmd_chbl_args_t* args);

// Edits the members of a composite baseline (xcm.h): `baseline`, or a new baseline made in
// `stream` from `basename` (by the project's naming template) of `component`, else of the
// project's one rootless component. `remove` must name members; a member added in place of
// one of the same component replaces it. Refused: a baseline of another project VOB, the
// baseline itself or one of its component, a member that reaches the baseline (a cycle),
// two added of one component, and any edit after which the closure of the baseline or of a
// composite above it clashes. Checks locks as cmd_chbl does, writes the event "modify
// baseline dependencies", and moves on the configuration of the streams founded on the
// baseline or a composite above it. With `validate_only` everything is checked and nothing
// changes (a new baseline is not kept).
struct cmd_bl_deps_args_t {
    std::string baseline;  // selector; "" makes one
    std::string stream;    // for a new baseline
    std::string basename;
    std::string component;                 // selector, for a new baseline ("" see above)
    std::vector<std::string> add, remove;  // baseline selectors
    std::string comment;
    bool validate_only = false;
    bool several = false;   // named as one of several baselines (with its component's name)
    vob_dbid_t result = 0;  // results: the baseline (0 when validated only new)
    std::vector<vob_dbid_t> members;  // its direct members after the edit
};
tbs_status_t cmd_chbl_deps(cmd_bl_deps_args_t* args);

// Versions of an activity's change set with their element pathnames, the latest version of
// each element last (by element, oldest version first).
struct cmd_cs_entry_t {
    vob_t* vob = nullptr;
    vob_dbid_t element = 0;
    vob_dbid_t version = 0;
    bool checked_out = false;
    std::string pname;  // the element's VOB pathname
    std::string idstr;  // "/main/dev/2"
    tbs_uuid_t view{};  // checked out: the view
};
tbs_status_t cmd_activity_change_set(vob_t* pvob, vob_dbid_t activity,
                                     std::vector<cmd_cs_entry_t>* out);

// Deliver and rebase ------------------------------------------------------------------------
//
// Both are resumable operations kept in the project VOB (xcm_op_t) and run in steps:
//   start     checks the request and the project's policies, works out which elements need a
//             merge, and records the operation with its items ("prepared"); nothing is
//             checked out yet. TBS_ST_NO_WORK when there is nothing to merge (nothing is
//             recorded then); TBS_ST_OP_IN_PROGRESS when the stream has an operation, or a
//             deliver into the same target runs.
//   run       merges each pending item in the operation's view: a checkout (in the
//             operation's integration activity), then cmd_merge into it, the result written
//             into the view's server-side copy ("merging", then "merged"). A merge that needs
//             the user stops the run (TBS_ST_MERGE_CONFLICT): a file's conflicts are left
//             between markers in the view's copy, a directory is left as it was. A callback
//             that asks to stop stops it (TBS_ST_INTERRUPTED). Either way a later run goes on
//             from the item it stopped at; a file whose copy no longer holds markers counts
//             as resolved there, and its merge is recorded as it stands.
//   complete  runs what is left, checks every merge in, and ends the operation; a rebase
//             then makes the new baselines the stream's foundation, which its views follow.
//   cancel    undoes every checkout of the operation's activity in its view and ends the
//             operation: streams and views are as before it began. An operation whose
//             checkins began can only be completed.
// A process that dies in any step leaves the operation recorded; every step can be taken
// again by a later process.

// Progress phases of a deliver's start.
enum {
    CMD_INTEG_PH_COMPONENTS = 3,
    CMD_INTEG_PH_BASELINES = 4,
    CMD_INTEG_PH_CHANGESETS = 5,
    CMD_INTEG_PH_EVAL_BASELINES = 6,
    CMD_INTEG_PH_COMPARING = 7,
    CMD_INTEG_PH_SEARCHING = 8,
    CMD_INTEG_PH_TN_CHECK = 9,
};
// Version-control callback moments.
enum { CMD_VERCTL_PRE = 0, CMD_VERCTL_POST = 1, CMD_VERCTL_STATUS = 2 };

struct cmd_integ_merge_t {
    vob_t* vob = nullptr;
    vob_dbid_t element = 0;
    const char* pname = "";
    int mtype = 0;  // VOB_MTYPE_FILE_ELEMENT or _DIR_ELEMENT
    vob_dbid_t from = 0, to = 0, base = 0;
    bool trivial = false;
    int merge_type = VOB_MERGE_AUTO;
    tbs_status_t status = TBS_ST_OK;
};

// What an operation reports while it runs; each returns 0 to go on. Any may be null.
struct cmd_integ_callbacks_t {
    void* data = nullptr;
    int (*progress)(void* data, int phase, int64_t total, int64_t current,
                    const char* text) = nullptr;
    int (*action)(void* data, const char* text) = nullptr;
    // `action`: "CHECKOUT", "UNCHECKOUT", "CHECKIN", "MERGE", "NOOP"; `status` at
    // CMD_VERCTL_STATUS: "Checked out", "Checked in", or the failure's text.
    int (*verctl)(void* data, int when, const char* action, const char* pname,
                  const char* status) = nullptr;
    int (*merge)(void* data, const cmd_integ_merge_t& m) = nullptr;
    // The planned items, in the order they will be merged, with their merge state
    // ("NEEDS_MERGE", "MERGED", ...).
    int (*sorted)(void* data, const xcm_op_item_t& item, const char* state) = nullptr;
    int (*view_update)(void* data, const char* text) = nullptr;
    int (*view_reload)(void* data, bool needed) = nullptr;
    int (*component)(void* data, const char* name) = nullptr;
};

struct cmd_deliver_args_t {
    std::string stream;                   // the stream delivered from
    std::string target;                   // "" the stream's default target, else its parent
    std::vector<std::string> activities;  // none: every activity with undelivered work
    // Instead of activities: baselines made in the stream, whose labelled versions go.
    std::vector<std::string> baselines;
    std::string view;  // tag of a view attached to the target
    const cmd_integ_callbacks_t* cb = nullptr;
    int64_t items = 0;  // result: elements to merge
};
tbs_status_t cmd_deliver_start(cmd_deliver_args_t* args);

struct cmd_rebase_args_t {
    std::string view;                    // tag of a view attached to the stream rebased
    std::vector<std::string> baselines;  // none: the parent's recommended baselines
    const cmd_integ_callbacks_t* cb = nullptr;
    int64_t items = 0;
};
tbs_status_t cmd_rebase_start(cmd_rebase_args_t* args);

// The later steps, by the stream the operation works for.
tbs_status_t cmd_integ_run(vob_t* pvob, vob_dbid_t stream, const cmd_integ_callbacks_t* cb);
tbs_status_t cmd_integ_complete(vob_t* pvob, vob_dbid_t stream, const cmd_integ_callbacks_t* cb);
tbs_status_t cmd_integ_cancel(vob_t* pvob, vob_dbid_t stream, const cmd_integ_callbacks_t* cb);
// Moves an operation to another view attached to the same stream: the checkouts it made in
// its old view are undone (refused with TBS_ST_EXISTS while that view exists, unless
// `force`), and its merges start again in the new one.
tbs_status_t cmd_integ_reset_view(vob_t* pvob, vob_dbid_t stream, view_t* view, bool force);

// Activities of a stream with versions not yet delivered to `target` (each version's merge
// into what the target selects), and whether each has checkouts.
struct cmd_undelivered_t {
    vob_dbid_t activity = 0;
    bool has_checkouts = false;
};
tbs_status_t cmd_undelivered_activities(vob_t* pvob, vob_dbid_t stream, vob_dbid_t target,
                                        std::vector<cmd_undelivered_t>* out);

#endif
