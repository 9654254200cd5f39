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
// versions of its main branches.
struct cmd_mkcomp_args_t {
    std::string name;
    std::string pvob;
    std::string root;  // directory element pathname ("/vobs/demo")
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

// Sets the current activity of a view attached to a stream; "" clears it.
tbs_status_t cmd_setactivity(const char* view_tag, const char* activity);

// Moves a version (a version-extended pathname, or a checked-out element's pathname, in the
// view) from its activity to another of the same stream.
tbs_status_t cmd_mvact(const char* version, const vob_view_ctx_t* view, const char* activity);

// Baselines of a stream, one per component that changed (every component with `full`, or
// the components named): the versions the stream selects are labelled, an incremental
// baseline labelling only what changed since the last baseline of its component in the
// stream. With `recommend` they become the stream's recommended baselines.
struct cmd_mkbl_args_t {
    std::string stream;
    std::string basename;
    bool full = false;
    bool recommend = false;
    std::vector<std::string> components;
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

#endif
