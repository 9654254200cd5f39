// The web-view engine: handles on web and snapshot views, their load scopes and
// preferences, and load sessions that compare what the view selects with the record of
// what the copy area holds, reporting each element to an observer as it is found.
//
// A session (`ws_load_scopes`) walks the scopes through the view's config spec and calls,
// in this order: begin-session once; for every element examined, one-element (preceded
// by renamed when the element was recorded under another name that no longer holds it);
// then, for every recorded name the walk did not find, unvisited (state 1: unload it;
// state 2: cannot be decided); then end-of-unvisited. The record is not changed by a web
// view's session: the client confirms what it applied with a commit. The session stays in
// progress until then, and refuses a second session unless that one abandons it. A
// snapshot view is updated in place: the engine writes the files into the view root and
// the record itself, and ends its session.
//
// Two walks. A session takes one of them, and `ws_get_load_stats` says which.
//
//   The whole walk visits every name under the scopes (and the directories from each
//   scope's VOB root down to it) in order: scope by scope as the load rules list them (a
//   scope inside another is walked with it), each scope's ancestors first, then its tree
//   depth first, a directory's entries by name. It reports one-element for every element
//   the view selects there, changed or not (the observer tells an unchanged one by its
//   previous and current version being the same), then checks every record and reports
//   unvisited those the walk did not find, in the record's (directory, leaf) order.
//
//   The journal walk visits only what changed since the record's sync point (view.h): the
//   elements the VOBs' change journals name since it, the elements checked out to the view,
//   and the names a changed directory gained or lost. For every element whose report would
//   show a difference (a version other than the one held, a name not held, a rename, a
//   failure of its own), for every element checked out to the view, and for every record the
//   view no longer shows, it makes exactly the reports the whole walk would make (the same
//   records, renames and unvisited states) in the same relative order, then end-of-unvisited.
//   Elements that did not change may be reported (as unchanged) or not; nothing else is.
//
// A session over every load rule takes the journal walk when all of these hold, and the
// whole walk otherwise: the load preferences do not ask for the whole walk
// (WS_PREF_FULL_WALK); the record has a sync point, brought by a completed commit of a fetch
// since which no session was abandoned or ended uncompleted and no record was changed
// outside a session or invalidated; the config spec (load rules included) is the one of the
// sync point; each scope lies in a VOB whose generation the point holds and whose journal
// still reaches back to it (not trimmed past it); each scope still names, by its plain path,
// the element the record holds there; the journals name at most 20000 elements; and no
// element has more than 1024 names within the load rules. A session given scopes (rather
// than every load rule) always takes the whole walk.
//
// A session stores with itself the sync point it read before its walk began (each VOB's
// change generation, read in the same snapshot the walk reads), so a change made between
// the fetch and its commit is still found by the next session. A session that stopped
// early, met failures of elements, kept hijacked files, or reached a VOB outside its scopes'
// gives no sync point, and its commit leaves the next session to walk everything.
//
// Memory does not grow with the number of elements: elements are reported as they are
// found, and the record is read in batches; the journal walk holds what changed.
#ifndef CORE_WS_WS_H
#define CORE_WS_WS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/tbs/tbs.h"
#include "core/view/view.h"

struct ws_handle_t;

// Flag bits of an element's information record.
enum {
    WS_FLAG_HIJACKED = 0x4,
    WS_FLAG_CHECKED_OUT = 0x20,  // checked out to the view
    WS_FLAG_CO_CHANGED = 0x40,   // with 0x20: not what the client holds
    WS_FLAG_SLINK = 0x800,
    WS_FLAG_CLTXT_IN_VIEW = 0x2000,  // the view holds the cleartext (view_cltxt)
};

// Load preference bits the engine acts on.
enum {
    WS_PREF_NO_UPDATE_IN_PLACE = 0x400,  // a snapshot view is not changed (preview)
    WS_PREF_ABORT_INPROGRESS = 0x1000,   // abandon a session left in progress
    WS_PREF_PREVIEW = 0x200000,
    WS_PREF_FULL_WALK = 0x40000000,  // walk everything, even where the journals would do
};

enum { WS_FTYPE_FILE = 1, WS_FTYPE_DIR = 2, WS_FTYPE_SLINK = 5 };

struct ws_fstat_t {
    uint32_t mode = 0;
    int64_t size = 0;
    int64_t mtime = 0;
};

struct ws_elem_info_t {
    std::string dir;   // relative to the view root: "vobs/p/src"
    std::string leaf;  // "a.c"; empty for the top of a scope given as a directory
    view_fhandle fh{};
    view_fhandle target_fh{};         // symbolic links: what the link names, when it resolves
    std::string target_leaf;          // symbolic links: the link's text
    tbs_status_t status = TBS_ST_OK;  // this element's own failure
    int ftype = WS_FTYPE_FILE;
    tbs_uuid_t prev_replica{};
    tbs_oid_t prev_oid{};  // the version the client holds (null: none)
    tbs_uuid_t cur_replica{};
    tbs_oid_t cur_oid{};  // the version the view selects now
    ws_fstat_t fstat;
    std::string cltxt_name;      // non-empty when the version has cleartext to fetch
    std::string hijack_saved;    // snapshot views
    bool kept_hijacked = false;  // snapshot views: a hijacked copy kept, the version not loaded
    unsigned flags = 0;
    int rule = -1;  // the config-spec rule that selected the version
};

// Observer callbacks. Each may set *notify to 1 to stop the session. A non-zero result
// of begin-session abandons the session with that status; the element callbacks' results
// are the observer's business (the session goes on).
struct ws_load_observer_t {
    void* ctx = nullptr;
    tbs_status_t (*begin_session)(void* ctx, uint64_t session_id, int* notify) = nullptr;
    tbs_status_t (*one_element)(void* ctx, const ws_elem_info_t* info, int* notify) = nullptr;
    tbs_status_t (*unvisited)(void* ctx, const ws_elem_info_t* info, int state,
                              int* notify) = nullptr;
    tbs_status_t (*end_unvisited)(void* ctx, int* notify) = nullptr;
    tbs_status_t (*renamed)(void* ctx, const char* src_dir, const char* src_name,
                            const char* dst_dir, const char* dst_name, int progress_only,
                            int* notify) = nullptr;
    // Snapshot views: an object the engine has just written into the view root.
    tbs_status_t (*object_adding)(void* ctx, const ws_elem_info_t* info, int* notify) = nullptr;
};

// Handles. `view_root` is a view's root (or a path inside it).
tbs_status_t ws_get_handle(const char* view_root, int flags, ws_handle_t** handle);
void ws_free_handle(ws_handle_t* handle);
view_t* ws_get_view_handle(ws_handle_t* handle, int flags);
tbs_uuid_t ws_get_view_uuid(ws_handle_t* handle);
// 0: lines end with LF on the client.
int ws_get_text_mode(ws_handle_t* handle);

// Scopes are the view's load rules, as VOB pathnames ("/vobs/p/src").
tbs_status_t ws_get_scopes(ws_handle_t* handle, std::vector<std::string>* scopes);
tbs_status_t ws_add_scopes(ws_handle_t* handle, const char* const* scopes, int count, int flags);
tbs_status_t ws_replace_scopes(ws_handle_t* handle, const char* const* scopes, int count,
                               int flags);
int ws_get_num_loaded(ws_handle_t* handle);
tbs_status_t ws_set_load_preferences(ws_handle_t* handle, unsigned word, int flags);
tbs_status_t ws_set_ptime_prop(ws_handle_t* handle, bool use_ptime);
void ws_set_load_observer(ws_handle_t* handle, const ws_load_observer_t* observer);

// Session state: 1 when a session is in progress.
tbs_status_t ws_ok_to_load(ws_handle_t* handle, int* state);
tbs_status_t ws_get_load_info(ws_handle_t* handle, int flags, int64_t* start, int flags2, char* who,
                              size_t who_size, char* pid, size_t pid_size);

// Runs a load session over `scopes` (VOB pathnames or view-relative ones; none: every
// load rule).
tbs_status_t ws_load_scopes(ws_handle_t* handle, const char* const* scopes, int count);

// What the handle's latest session did.
struct ws_load_stats_t {
    bool incremental = false;      // took the journal walk
    std::string full_walk_reason;  // why it walked everything ("" when it did not)
    int64_t journalled = 0;        // elements the journals (and the view's checkouts) named
    int64_t reported = 0;          // one-element reports made
};
void ws_get_load_stats(ws_handle_t* handle, ws_load_stats_t* out);

// Lookups through the view. `path` is a view pathname or a VOB pathname.
struct ws_lookup_t {
    vob_resolved_t r;
    int rule = -1;  // the config-spec rule that selected the version
    bool checked_out = false;
};
tbs_status_t ws_lookup_ext(ws_handle_t* handle, const char* path, int follow, int flags,
                           bool from_vob, ws_lookup_t* out);
tbs_status_t ws_lookup_pn(ws_handle_t* handle, const char* path, ws_lookup_t* out);
// The VOB pathname a view pathname stands for.
tbs_status_t ws_lookup_realpath(ws_handle_t* handle, const char* path, std::string* real);

// The version id ("/main/3") of a version named by replica and oid.
tbs_status_t ws_get_idstr(const tbs_uuid_t& replica, const tbs_oid_t& oid, std::string* idstr);

// Cleartext transfer: the bytes of a version into `tmpname`. The cache keeps opened VOBs
// between calls of one session.
struct ws_xfer_cache_t;
tbs_status_t ws_xfer_recvfile(bool has_oid, const tbs_uuid_t& replica, const tbs_oid_t& oid,
                              const char* tmpname, ws_xfer_cache_t** cache);
void ws_xfer_free_cache(ws_xfer_cache_t** cache);
// A pathname holding the version's cleartext to read instead (the content in the pool).
tbs_status_t ws_xlate_cltxt_pname(const tbs_uuid_t& replica, const tbs_oid_t& oid,
                                  std::string* path);

// Namespace changes made on the server through a web view reach the web layer through
// update handlers, which report them to the client in the same response.
enum ws_vob_op_t {
    WS_VOB_OP_RENAME = 1,
    WS_VOB_OP_RMNAME = 2,
    WS_VOB_OP_LINK = 3,
    WS_VOB_OP_MKELEM = 4,
};
struct ws_update_handlers_t {
    void* ctx = nullptr;
    tbs_status_t (*update_name)(void* ctx, ws_handle_t* handle, int op, const char* dir,
                                const char* leaf) = nullptr;
    tbs_status_t (*update_obj)(void* ctx, ws_handle_t* handle, int op, const char* path) = nullptr;
    tbs_status_t (*rename_scope)(void* ctx, ws_handle_t* handle, const char* from,
                                 const char* to) = nullptr;
    tbs_status_t (*load_scope_ver)(void* ctx, ws_handle_t* handle, int op,
                                   const char* path) = nullptr;
};
void ws_vob_op_set_update_handlers(const ws_update_handlers_t* handlers,
                                   ws_update_handlers_t* previous);
// Called by the commands after a namespace change in `view_uuid` (VOB pathnames).
void ws_vob_op_notify(const tbs_uuid_t& view_uuid, int op, const char* pname, const char* pname2);

// Re-examines one name (ws_update_name), a renamed scope, one object, or one scope's
// version through the observer set on the handle.
tbs_status_t ws_update_name(ws_handle_t* handle, const char* dir, const char* leaf);
tbs_status_t ws_rename_scope(ws_handle_t* handle, const char* from, const char* to);
tbs_status_t ws_update_obj(ws_handle_t* handle, const char* path);
tbs_status_t ws_load_scope_ver(ws_handle_t* handle, const char* path);

#endif
