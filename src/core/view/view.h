// Views: creation and removal, lookups by tag, UUID and path, the config spec, the record
// of what a web view's client holds, and load sessions.
//
// A view is a storage directory holding its database (view.db) and its server-side view
// root (root/), where view-private files live: uploaded checkin contents, files being made
// elements, and the loaded files of a snapshot view. It is registered in the registry
// under its tag; the kind words of its property text ("webview", "snapshot", "automatic",
// "sumview") say what it is. A dynamic view (no kind word) has no copy area: once started,
// its own daemon (vdviewd) serves its namespace as a file system mounted at its root
// "<product>/view/<tag>", and its view-private files (checked-out files being edited, files
// made in checked-out directories) live below its storage's root/ directory.
//
// Pathnames in a view are the view root followed by a VOB pathname
// ("<root>/vobs/proj/src/a.c"); the web-view record keeps them relative to the root, as the
// client's copy area does ("vobs/proj/src" and "a.c").
#ifndef CORE_VIEW_VIEW_H
#define CORE_VIEW_VIEW_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/tbs/tbs.h"
#include "core/view/config_spec.h"
#include "core/view/view_fhandle.h"
#include "core/vob/vob_obj.h"

class store_db;

enum view_kind_t {
    VIEW_KIND_DYNAMIC = 0,
    VIEW_KIND_WEB = 1,
    VIEW_KIND_SNAPSHOT = 2,
    VIEW_KIND_AUTOMATIC = 3,
};

struct view_t {
    std::string tag;
    std::string storage;
    std::string root;          // where the view's files are seen (a dynamic view's mount point)
    std::string private_root;  // server-side root of its view-private files
    tbs_uuid_t uuid{};
    int kind = VIEW_KIND_WEB;
    bool sum_view = false;  // a change-management view
    std::string properties;
    std::shared_ptr<store_db> db;
    std::unique_ptr<view_cspec_t> cspec;  // parsed config spec, kept current
    std::string cspec_text;               // the text it was parsed from
    vob_view_ctx_t ctx;                   // lookups through this view
    ~view_t();
};

struct cmd_mkview_args_t {
    std::string tag;
    std::string storage;           // new storage directory
    std::string kind = "webview";  // "webview", "snapshot", "automatic", "dynamic"
    bool sum_view = false;
    std::string cspec;  // "" for the default config spec
    // A stream selector: the view is attached to the stream (a change-management view) and
    // its config spec is the stream's.
    std::string stream;
    tbs_uuid_t uuid{};  // result
};
tbs_status_t cmd_mkview(cmd_mkview_args_t* args);
// Removes a view: its owner, or a privileged identity (TBS_ST_PERMISSION otherwise); refused
// while checkouts made in it remain.
tbs_status_t cmd_rmview(const char* tag);

// Opens for reading a file of the view's private storage on this server (an uploaded copy,
// what a merge left for its client) named by its VOB pathname ("/vobs/p/a.c.merge.out"):
// the view's owner or a privileged identity only; a regular file below the private root,
// reached without following any symbolic link. `*fd` is the caller's to close.
tbs_status_t view_open_private_file(view_t* view, const std::string& vob_pname, int* fd);
// Whether the acting identity may change the view or its record: its owner or the site's
// administrator. Everyone else may read it only. Prints why not (TBS_ST_PERMISSION).
// Every change to a view checks it: config spec, current activity, load sessions (fetch,
// commit, cancel), properties, start and end, removal, and commands working in the view.
tbs_status_t view_check_owner(const view_t* view);
tbs_status_t view_check_owner_by_tag(const char* tag);

tbs_status_t view_open_by_tag(const char* tag, view_t** view);
tbs_status_t view_open_by_uuid(const tbs_uuid_t& uuid, view_t** view);
// The view whose root holds `path` (the root itself or anything below it).
tbs_status_t view_open_by_root(const char* path, view_t** view);
void view_cache_clear();

// The view (UUID and tag) holding a pathname.
tbs_status_t cmd_utl_get_view_info(const char* path, tbs_uuid_t* uuid, std::string* tag);
tbs_status_t cmd_utl_get_view_tag(const tbs_uuid_t& uuid, std::string* tag);
// Root of a view by tag; for a dynamic view its mount point "<product>/view/<tag>", which
// exists only while the view is started. Without a virtual file system (no /dev/fuse this
// process may open, or no vdviewd program) a dynamic view's root fails with TBS_ST_NO_VTFS,
// and so do starting and stopping it.
tbs_status_t tbs_view_root(const char* tag, std::string* root);
// Whether dynamic views can be served here; `why` (may be null) says why not. The
// environment variable VERDANE_VTFS set to "off" switches them off for the process.
bool view_vtfs_available(std::string* why);
// Starts a dynamic view: its daemon, started as a process of its own (fork and exec, never a
// shell), mounts the view at its root and keeps serving it after this process ends. A view
// already served is left as it is; a dead one (daemon gone, mount left behind) is cleaned
// up first. Other kinds of view need no starting.
tbs_status_t view_start_dynamic(const char* tag);
// Stops a dynamic view: its daemon is asked to end (and killed if it does not), the mount
// removed and the mount point with it. A view not started is not an error.
tbs_status_t view_end_dynamic(const char* tag);
enum view_dyn_state_t {
    VIEW_DYN_STOPPED = 0,  // no daemon, no mount
    VIEW_DYN_RUNNING = 1,  // daemon alive and mount in place
    VIEW_DYN_DEAD = 2,     // a mount or a daemon without the other: endview cleans it up
};
// The state of a dynamic view's daemon; `pid` (may be null) its process id when known.
tbs_status_t view_dynamic_state(const char* tag, int* state, int* pid);

// The VOB pathname of a view pathname ("<root>/vobs/p/a" or "vobs/p/a" gives "/vobs/p/a").
std::string view_pname_to_vob(const view_t* view, const char* path);

// Config spec ---------------------------------------------------------------------------

tbs_status_t view_get_cspec(view_t* view, std::string* text);
// Chooses (by setcs mode), parses and stores a config spec; parse errors (with line
// numbers) are printed and given back, and the view keeps its spec.
tbs_status_t view_set_cspec(view_t* view, view_setcs_mode_t mode, const std::string& text,
                            std::vector<std::string>* errors);
tbs_status_t view_spec_rule_format(view_t* view, int rule, char* buf, size_t size);

// Change-management views ----------------------------------------------------------------
//
// A view attached to a stream keeps the stream and its current activity. Its config spec
// is the stream's (xcm_stream_cspec), made again whenever it is opened and the stream's
// configuration generation has moved on since: a rebase or a changed foundation reaches
// every view of the stream without anyone setting their specs.
struct view_xcm_t {
    tbs_uuid_t pvob{};  // the project VOB (replica)
    vob_dbid_t stream = 0;
    vob_dbid_t activity = 0;  // the current activity; 0 when none
    tbs_oid_t activity_oid{};
};
// TBS_ST_NOT_FOUND when the view is not attached to a stream.
tbs_status_t view_get_xcm(view_t* view, view_xcm_t* out);
// Sets (or with 0 clears) the view's current activity; it must be of the view's stream.
tbs_status_t view_set_activity(view_t* view, vob_dbid_t activity);
// Makes the view's spec the stream's again when the stream has changed since.
tbs_status_t view_xcm_sync(view_t* view);
// Rereads the stored config spec and installs it when another process changed it;
// `changed` (may be null) says whether it did.
tbs_status_t view_reload_cspec(view_t* view, bool* changed);

// Properties kept per view.
tbs_status_t view_get_prop(view_t* view, const char* key, std::string* value);
tbs_status_t view_set_prop(view_t* view, const char* key, const std::string& value);

// Web-view records ------------------------------------------------------------------------

// What a snapshot view's copy of a file looked like when its record was taken (the copy
// written by an update or checked in), and when that was. It vouches for the copy only while
// every field still matches and the copy's modification time is safely older than the
// record: a write in the same clock tick can leave size and times as they were. A size of -1
// vouches for nothing (a record taken before stamps were kept, or a copy that changed while
// it was read), and the copy's bytes decide.
struct view_copy_stamp_t {
    int64_t size = -1;
    int64_t mtime_ns = 0;
    int64_t ctime_ns = 0;
    int64_t ino = 0;
    int64_t taken_ns = 0;  // the clock when the stamp was taken, after the copy's stat
};

struct view_wso_t {
    std::string dir;  // relative to the view root: "vobs/p/src"
    std::string leaf;
    tbs_uuid_t vob_uuid{};  // replica of the VOB
    tbs_oid_t elem_oid{};   // element, or symbolic link
    tbs_oid_t ver_oid{};    // version loaded (null for a symbolic link)
    int ftype = 0;          // 1 file, 2 directory, 5 symbolic link
    view_fhandle fh{};
    std::string target;       // a symbolic link's text
    int64_t mtime = 0;        // snapshot views: the copy's modification time as written
    view_copy_stamp_t stamp;  // snapshot views: the copy as written
};

enum { VIEW_WSO_STATE_LOADED = 1 };

// Load sessions: kind 1 a fetch, 3 a reader, 4 a commit. A fetch's session stays in
// progress until a commit with its session id ends it completed. A reader never conflicts.
struct view_load_session_t {
    bool in_progress = false;
    int kind = 0;
    std::string session_id;
    std::string user;
    std::string pid;
    int64_t started = 0;
};
tbs_status_t view_ws_begin_load_session(view_t* view, int kind, const char* session_id,
                                        const char* user, int pid, bool* conflict, int flags);
tbs_status_t view_ws_end_load_session(view_t* view, bool completed);
tbs_status_t view_ws_get_load_session(view_t* view, view_load_session_t* out);
// Records a rename the fetch in progress reported; the commit that ends the session
// completed moves the record's name.
tbs_status_t view_ws_note_rename(view_t* view, const std::string& src_dir,
                                 const std::string& src_leaf, const std::string& dst_dir,
                                 const std::string& dst_leaf);
// Abandons a session left in progress.
tbs_status_t view_ws_abandon_load_session(view_t* view);
// Ends a session that changed nothing and reported nothing to a client (a snapshot view's
// preview): neither the record nor its sync point changes.
tbs_status_t view_ws_drop_load_session(view_t* view);

// Sync points: what a view's record was last brought to, so that the next update need look
// only at what changed since (see ws.h). A point is the config spec (load rules included)
// the update ran under, as view_cspec_text writes it, and for each VOB the change
// generation its walk read (vob_change_state). A fetch stores the point it read with its
// session; the commit that ends the session completed then acts by the point's mode:
//   VIEW_SYNC_RECORD  the fetch walked every load rule and reported all it found: its point
//                     becomes the record's;
//   VIEW_SYNC_KEEP    the fetch walked some of the load rules: the record's point stays (still
//                     sound, as what changed since it is still journalled);
// and a session without a point (dropped because its fetch stopped early or met failures,
// or because its commit named no session id) drops the record's point. The record's point
// is dropped as well when a session is abandoned or ends uncompleted, when a record is
// changed while no session is in progress, and when a record is invalidated: the next fetch
// then walks everything.
enum view_sync_mode_t { VIEW_SYNC_RECORD = 1, VIEW_SYNC_KEEP = 2 };
struct view_sync_gen_t {
    tbs_uuid_t vob_uuid{};  // the VOB's replica
    int64_t gen = 0;
};
struct view_sync_point_t {
    std::string cspec;  // view_cspec_text
    int mode = VIEW_SYNC_RECORD;
    std::vector<view_sync_gen_t> gens;  // by VOB
};
// The record's point; `present` false when it has none.
tbs_status_t view_ws_get_sync_base(view_t* view, bool* present, view_sync_point_t* out);
// The point of the session in progress: stored, or with null dropped.
tbs_status_t view_ws_set_session_sync(view_t* view, const view_sync_point_t* point);

// Records the load of an element (or link) at dir/leaf; `state` is 1 (loaded) and `flags`
// carry 0x20 when the element is checked out to the view.
tbs_status_t view_ws_load_one_object(view_t* view, const tbs_oid_t& null_oid,
                                     const view_fhandle& fh, const char* dir, const char* leaf,
                                     int load_flags, int a, int b, const tbs_oid_t& next_oid,
                                     int* state, int* flags);
tbs_status_t view_ws_load_one_slink(view_t* view, const tbs_oid_t& null_oid, const view_fhandle& fh,
                                    const char* dir, const char* leaf,
                                    const view_fhandle& target_fh, const char* target_leaf,
                                    int load_flags, int a, int b, const tbs_oid_t& next_oid,
                                    int* state, int* flags);
// Records the loads of many elements and links at once, in one transaction (a commit of a
// whole fetch): each item as view_ws_load_one_object or view_ws_load_one_slink would, its own
// outcome in `results` (an item that cannot be recorded fails alone). A failure of the
// database fails them all and is returned.
struct view_ws_load_item_t {
    view_fhandle fh;
    std::string dir, leaf;
    tbs_oid_t next_oid{};
    bool slink = false;
};
struct view_ws_load_result_t {
    tbs_status_t status = TBS_ST_OK;
    int state = 0;
    int flags = 0;  // 0x20: checked out to the view
};
tbs_status_t view_ws_load_objects(view_t* view, const std::vector<view_ws_load_item_t>& items,
                                  std::vector<view_ws_load_result_t>* results);
// Removes the record of `path` (dir/leaf) and of everything below it; TBS_ST_NOT_FOUND
// when there is none.
tbs_status_t view_ws_unload_one_object_ext(view_t* view, int a, int b, const char* path);
tbs_status_t view_ws_find(view_t* view, const char* dir, const char* leaf, view_wso_t* out);
tbs_status_t view_ws_count(view_t* view, int64_t* count);
// Records in batches of up to `max` after the cursor (dir, leaf order); an empty batch ends.
struct view_wso_cursor_t {
    std::string dir;
    std::string leaf;
    bool started = false;
};
tbs_status_t view_ws_get_unvisited_wsos(view_t* view, view_wso_cursor_t* cursor, int max,
                                        std::vector<view_wso_t>* out);
void view_ws_free_unvisited_wsos(std::vector<view_wso_t>* batch);
// Whether the object at dir/leaf is loaded at a version other than the one the view
// selects now (a checked-out element's loaded predecessor is frozen). A name the record
// does not hold is not frozen.
tbs_status_t view_ws_is_frozen_object(view_t* view, const char* dir, const char* leaf,
                                      bool* frozen);
// Forgets what the record says of `path` so the next update reloads it.
tbs_status_t view_ws_invalidate_object(view_t* view, const char* path, int recurse);

// Build sessions: a number handed out per commit, and the handle that names it.
tbs_status_t view_bld_session_flags(view_t* view, int* flags, int kind, int64_t* session);
tbs_status_t view_set_bhandle(view_t* view, int64_t session, int64_t aux);
tbs_status_t view_bld_session_free(view_t* view, int64_t session);

// The view-private cleartext of a loaded object by its file handle: the file in the view
// root (snapshot views) or the cleartext of its version fetched into the view's cache.
tbs_status_t view_cltxt(view_t* view, const view_fhandle& fh, size_t size, char* path);
// The object an oid names in the view's VOBs, with its file status.
tbs_status_t view_find_oid(view_t* view, const tbs_uuid_t& vob_uuid, const tbs_oid_t& oid,
                           vob_t** vob, vob_dbid_t* dbid);

// File handles: the view, the VOB's number in this view, the element and the version.
tbs_status_t view_make_fhandle(view_t* view, vob_t* vob, vob_dbid_t element, vob_dbid_t version,
                               view_fhandle* fh);

#endif
