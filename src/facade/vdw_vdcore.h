// VDW_Vdcore: the per-request facade over the core.
//
// While it lives it captures every message the core prints (informational, warning,
// error) into per-kind lists, so that handlers put them into the response instead of
// letting them reach standard output, which carries the response stream. Trace messages
// go to the trace file. The operations themselves are added as the RPCs that use them
// arrive.
#ifndef OPS_VDW_VDCORE_H
#define OPS_VDW_VDCORE_H

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "core/imsg/imsg.h"
#include "core/sum/sum_string.h"
#include "core/vob/vob_obj.h"
#include "request/vdw_captured_messages.h"

class SUM_View;
struct cmd_merge_args_t;
class VDW_FsoDescription;
class VDW_RpcResponse;
class WCM_MemPool;
class WCM_Status;
struct view_t;

class VDW_Vdcore : public VDW_CapturedMessages {
public:
    VDW_Vdcore();
    virtual ~VDW_Vdcore();
    VDW_Vdcore(const VDW_Vdcore&) = delete;
    VDW_Vdcore& operator=(const VDW_Vdcore&) = delete;

    void handle_message(OutputType kind, char* text);
    char* msg_text(OutputType kind, WCM_MemPool& pool) override;
    bool have_msg_text(OutputType kind) const override;
    void clear_msg_text();
    bool capture_msg_text(bool capture);
    // Writes the request status as a complete error response.
    void rpc_dispatch_error(std::ostream& out, WCM_MemPool& pool, WCM_Status& status);

    // Drops the core's cached VOB handles: 0 to 3 are the core's cache actions 1 to 4;
    // any other value is an internal error.
    typedef int cache_action_t;
    void vob_cache_action(cache_action_t action);

    // The text between an element pathname and a version selector ("@@").
    static const char* get_ver_ext_string() { return s_ext_string; }

    // ---- Process set-up: the identity of the request's user.
    // Checks `password` (unless `smart_card`) and makes `user` the acting identity of every
    // following core operation, with `primary_group` and the ":"-separated `groups` first
    // when given. Wrong password: 1063 and VDSRV1084; identity not set: 1063 and VDSRV1086.
    void impersonate(const char* user, const char* password, const char* domain, bool smart_card,
                     const char* primary_group, const char* groups, WCM_Status& status);
    // Whether the core's temporary directory is writable; 1001 and VDSRV1263 when not.
    int check_tmpdir(WCM_Status& status);
    // 1 when a file can be made in `dir`, else 0.
    static int is_dir_writable(const char* dir);
    // Each puts NAME=value into the process environment; nothing for an empty value.
    static void set_tmpdir_ev(const SUM_String& dir);           // TMPDIR and TMP
    static void set_groups_ev(const SUM_String& groups);        // VERDANE_GROUPS
    static void set_primary_group_ev(const SUM_String& group);  // VERDANE_PRIMARY_GROUP
    static void set_region_mapfile_ev(const SUM_String& file);  // VDWEB_USER_REGION_MAPFILE

    // ---- Files and paths. Pathname buffers are PNAME_SIZE bytes unless a size is given;
    // a result that does not fit is a failure, never a cut name.
    static constexpr size_t PNAME_SIZE = 1024;

    // Copies `source` to `directory`/`leaf`, making the missing parent directories (0775).
    void copy_file(const char* source, const char* directory, const char* leaf, WCM_Status& status);
    // `view_root` + "/" + `path` ("/" only when `path` does not begin with one), or `path`
    // alone without a view root, in local separator form. False when it does not fit.
    static bool get_view_pname(const char* view_root, const char* path, char* out,
                               size_t size = PNAME_SIZE);
    // Removes the view-root prefix from `path` in place when `view_root` is the path or
    // a parent of it.
    static void strip_viewroot(const char* view_root, char* path);
    // Local separators to "/", and back.
    static void convert_pname_to_global(char* path);
    static void convert_pname_to_local(char* path);
    // Splits a pathname in `view` into its view part (the view's root, when the path begins
    // with it) and its VOB part ("/vobs/p/a.c"); `is_snapshot` says whether the view keeps a
    // server-side copy (snapshot and automatic views). A path that does not begin with the
    // root has an empty view part and is its own VOB part.
    static void split_view_vob_pname(view_t* view, const char* path, std::string* view_part,
                                     std::string* vob_part, bool* is_snapshot);
    // A name that is free: `directory`/`name`, else with ".1" to ".99" appended. 0 and the
    // name in `out`, else a core status (TBS_ST_EXISTS when every candidate is taken).
    static int generate_available_ws_location(const char* directory, const char* name, char* out);
    // The same in the core's temporary directory.
    static int generate_available_tmp_location(const char* name, char* out);

    // ---- Views.
    struct ViewInfo {
        char tag[PNAME_SIZE];
        bool is_web, is_xcm, is_automatic, is_snapshot;
    };
    // The root of the view named by the text form of its UUID.
    void uuid_to_viewroot(const char* uuid_text, char* view_root, WCM_Status& status);
    // Tag and kind of a view found by UUID, by a pathname inside it, or by tag. No such
    // view is status 1002.
    void lookup_view_by_uuid(const tbs_uuid_t& uuid, ViewInfo* info, WCM_Status& status);
    void lookup_view_by_path(const char* path, ViewInfo* info, WCM_Status& status);
    void lookup_view_by_tag(const char* tag, ViewInfo* info, WCM_Status& status);
    // A view's root; a dynamic view's only where the server can start dynamic views.
    int get_view_root(const SUM_View& view, SUM_String* root);
    // The open view named by the text form of its UUID (owned by the core's view cache).
    // A text that is no UUID, or one that names no view: the core's status and VDSRV1012.
    void open_view(const char* uuid_text, view_t** view, WCM_Status& status);
    struct ViewEntry {
        std::string tag;
        SUM_Uuid uuid;
        bool is_web, is_snapshot, is_automatic, is_dynamic, is_xcm;
    };
    // Every registered view, by tag.
    void get_view_list(std::vector<ViewEntry>* views, WCM_Status& status);
    // Makes the view `tag` for the acting user, starting with the config spec `cspec`
    // ("" for the default). Its storage is <view storage>/<tag>.vws (qlmxViewStorage, else
    // the site's views/ directory; ".1" ... appended when that is taken). A client copy-area
    // root, when given, is kept as the view's property "copy_area_root" and makes a web view;
    // without one the view is dynamic (its files are seen through its root on the server).
    // With `stream` (a stream selector) the view is attached to the stream and its config
    // spec is the stream's. `kind` ("snapshot", "automatic", ...) names the kind of view
    // instead. On failure nothing of the view remains.
    void create_view(const char* tag, const char* cspec, const char* copy_area_root, SUM_Uuid* uuid,
                     WCM_Status& status, const char* stream = nullptr, const char* kind = nullptr);
    // Removes the view `tag`: its owner or the site's administrator, and only without
    // checkouts made in it. A started dynamic view is stopped first.
    void remove_view(const char* tag, WCM_Status& status);
    // Stops a dynamic view (its daemon and mount); other views need no stopping.
    void end_view(const SUM_View& view, WCM_Status& status);
    // The config spec text of a view, or of the view with a tag.
    void get_view_cspec(view_t* view, std::string* text, WCM_Status& status);
    void get_view_cspec(const char* tag, std::string* text, WCM_Status& status);
    // The version a web view's client holds at a VOB pathname (0 when none is recorded).
    void get_loaded_version(view_t* view, const char* vob_pname, vob_t* vob, vob_dbid_t* version,
                            WCM_Status& status);

    // ---- VOBs.
    struct VobEntry {
        std::string tag;
        SUM_Uuid family;
        SUM_Uuid replica;
        bool is_public;
    };
    // Every registered VOB, by tag. A VOB whose database cannot be opened is left out, with
    // a warning.
    void get_vob_tag_list(std::vector<VobEntry>* vobs, WCM_Status& status);
    // The VOB of a tag, or of the text form of its family or replica UUID. Not found: the
    // core's status and VDSRV1025 or VDSRV1024.
    void find_vob_by_tag(const char* tag, vob_t** vob, WCM_Status& status);
    void find_vob_by_uuid(const char* uuid_text, vob_t** vob, WCM_Status& status);
    // Every VOB has one replica, which masters all of its objects.
    static constexpr const char* LOCAL_REPLICA_NAME = "original";
    static bool has_local_mastership(vob_t*, vob_dbid_t) { return true; }
    // The selector of the branch type `name` of `vob` ("brtype:NAME@<VOB tag>"); the
    // object it names in `dbid` (0 when the VOB has no such type).
    static std::string get_branch_type_selector(vob_t* vob, const char* name, vob_dbid_t* dbid);

    // ---- Objects and names.
    // Parses the text of an object selector; a text with no selector prefix is a pathname.
    static tbs_status_t parse_objsel(const char* text, vob_objsel_t* out);
    // The VOB pathname a client's pathname stands for in `view` (null: the server's own
    // view): one relative to the view's root ("vobs/p/a.c"), a VOB pathname, or one below
    // the view's server-side root. "" when the name climbs out of the root.
    static std::string to_vob_pname(view_t* view, const char* path);
    // Resolves a pathname (taken in `view` as above) or an object selector. Failure: the
    // core's status and VDSRV1037 (pathnames) or VDSRV1121 (selectors).
    void resolve_vob_obj(view_t* view, const char* name, int flags, vob_resolved_t* out,
                         WCM_Status& status);
    // The object id of a VOB object.
    void get_obj_oid(vob_t* vob, vob_dbid_t dbid, SUM_Oid* oid, WCM_Status& status);
    // How clients name an object: a version's or branch's version-extended pathname, an
    // element's pathname, a type's or VOB's selector.
    void get_obj_name(vob_t* vob, vob_dbid_t dbid, std::string* name, WCM_Status& status);
    // The version a resolved element, branch or version stands for: the version itself, the
    // latest on a branch, or the version `view` selects for an element (none: 1003).
    void version_from_selector(const vob_resolved_t& obj, view_t* view, vob_dbid_t* version,
                               WCM_Status& status);
    // The version a copy-area file at `path` in `view` is based on: for an element checked
    // out in the view, the version it was checked out from; for a file the client says it
    // holds (`loaded` or `hijacked`), the version the view's record says was loaded there,
    // when there is one; otherwise the version the view selects. `name` gets its
    // version-extended pathname ("/vobs/p/a.c@@/main/2").
    void get_base_version(view_t* view, const char* path, bool hijacked, bool loaded,
                          std::string* name, WCM_Status& status);

    // ---- Files of a view, as a client lists them.
    // Describes the object at `path` (relative to the view's root, "vobs/p/src/a.c"): the
    // version the view's record holds there (frozen), the one its rules select (unfrozen),
    // the rule, size and time of the version, a link's text, checkout and VOB facts. A name
    // that resolves to nothing is TBS_ST_OBJ_NOT_FOUND.
    void describe_file(view_t* view, const char* path, VDW_FsoDescription* out, WCM_Status& status);
    struct Dirent {
        std::string name;
        std::unique_ptr<VDW_FsoDescription> description;
    };
    // The entries of the directory element at `path`, by name, each described; `*listed`
    // false (and nothing done) when `path` is no directory element.
    void get_dirents(view_t* view, const char* path, bool dirs_only, std::vector<Dirent>* out,
                     bool* listed, WCM_Status& status);
    // The components of the registered VOB tags just below `path` (relative to the view's
    // root: "" gives "vobs" for "/vobs/p"), by name, each a directory.
    void get_tag_component_sub_directories(const char* path, std::vector<Dirent>* out,
                                           WCM_Status& status);

    // ---- Types, labels and attributes.
    // The metatype a selector prefix names ("lbtype", "brtype", "attype", "hltype",
    // "eltype", "trtype"); 0 for any other text.
    static int type_mtype_from_name(const char* name);
    struct TypeEntry {
        std::string name;
        SUM_Oid oid;
        vob_dbid_t dbid;
        std::string description;
        int64_t created;
        bool obsolete;
    };
    // The types of one kind in a VOB, by name.
    void get_type_list(vob_t* vob, int mtype, std::vector<TypeEntry>* types, WCM_Status& status);
    bool is_type_visible(vob_t* vob, int mtype, const char* name);
    void create_type(vob_t* vob, int mtype, const char* name, const char* comment,
                     WCM_Status& status);
    // Removes the type a selector names; `all` also removes its labels and attributes.
    void remove_type(const char* selector, bool all, WCM_Status& status);
    // Removes the object a selector names: types only (1018 for any other object).
    void remove_object(const char* selector, WCM_Status& status);
    // Labels and attributes act on a pathname as the client names it in `view` (see
    // to_vob_pname; version-extended or not) or, for attributes, on any object selector.
    struct LabelRequest {
        std::string label;  // label type name
        std::string pname;
        view_t* view = nullptr;
        bool replace = false, recurse = false, follow = false;
        std::string comment;
    };
    void apply_label(const LabelRequest& request, WCM_Status& status);
    struct AttributeRequest {
        std::string attype;
        std::string value;
        std::string object;
        view_t* view = nullptr;
        bool replace = false;
        std::string comment;
    };
    void apply_attribute(const AttributeRequest& request, WCM_Status& status);
    void remove_attribute(const AttributeRequest& request, WCM_Status& status);

    // Whether an element lies in a component of the view's stream. Views have no streams
    // here yet, so none does.
    bool is_in_component(view_t*, vob_t*, vob_dbid_t) const { return false; }

    // ---- Checkouts.
    // The core's pop kind of an uncheckout a client names: "", "0" or "none" only the
    // checkout, "1" or "empty-branch" also its branch when that holds nothing else; -1 for
    // any other text.
    static int pop_to_vobOp(const char* text);

    // ---- Change management.
    // Makes the activity `selector` the current activity of the view `tag` ("" clears it).
    // Failure: the core's status and VDSRV1011 (view), VDSRV1066 (activity) or VDSRV1067.
    void set_current_activity_by_view_tag(const char* tag, const char* selector,
                                          WCM_Status& status);

    // ---- Contents and history.
    // Writes a file version's contents into a new file of the core's temporary directory;
    // `path` (PNAME_SIZE bytes) names it. The caller removes it with free_cleartext.
    void get_cleartext(vob_t* vob, vob_dbid_t version, char* path, WCM_Status& status);
    static void free_cleartext(const char* path);
    struct HistoryEvent {
        int64_t time;
        std::string kind;
        std::string user;
        std::string host;
        std::string object;   // how clients name the object the event is about
        std::string version;  // its version id ("/main/3") when it is a version
        std::string comment;
    };
    // ---- Compare and merge.
    // A diff of `first` and `second` (pathnames in `view`, which may be null, or
    // version-extended pathnames) written as the block stream, after a "view_rel_pname" part
    // when `view_rel` is not empty; `second_file`, when set, is read in place of the second
    // version's contents (the client's copy).
    void diff_versions(VDW_RpcResponse& out, view_t* view, const char* first, const char* second,
                       const char* view_rel, const char* second_file, WCM_MemPool& pool,
                       WCM_Status& status);
    // The same for a merge of `from` into `to` over `base`; `to_file` stands for `to`.
    void merge_versions(VDW_RpcResponse& out, view_t* view, const char* to, const char* from,
                        const char* base, const char* view_rel, const char* to_file,
                        WCM_MemPool& pool, WCM_Status& status);
    // The common ancestor of two versions of an element nearest `from`, through
    // predecessors and merge arrows (0 when `from` is already merged into `to`).
    void find_ancestor(vob_t* vob, vob_dbid_t to, vob_dbid_t from, vob_dbid_t* base,
                       WCM_Status& status);
    // The version before `version` on the version graph (0 for /main/0).
    void find_predecessor(vob_t* vob, vob_dbid_t version, vob_dbid_t* pred, WCM_Status& status);
    // Whether a checkout must take in the latest version of its branch before checkin: it
    // was made from an older one and no merge arrow leads from the latest into it.
    // `latest` gets the branch's latest version.
    bool needs_latest_merge(vob_t* vob, const vob_checkout_info_t& co, vob_dbid_t* latest);
    // The names of a merge block: `to` (the checked-out element) and `base` taken in `view`
    // (see to_vob_pname), `from` likewise when it is a version-extended pathname and as it
    // is when it is a selector. False when a name leaves the view.
    static bool merge_names(view_t* view, const std::string& to, const std::string& from,
                            const std::string& base, cmd_merge_args_t* m);
    // Records that `from` is merged into the checkout of `pname` in `view`.
    void set_merged(view_t* view, const char* pname, const char* from, WCM_Status& status);

    // The events of an object, newest first; an element's include its branches' and
    // versions'.
    void get_history(const vob_resolved_t& obj, std::vector<HistoryEvent>* events,
                     WCM_Status& status);

    // ---- Older RPC methods: each reads its argument string and writes its whole response.
    // Arguments "ViewUuid", "ReplicaUuid" (the VOB's replica or family), "Oid"; answers
    // "RpcResult" with "Pathname", how clients name the object.
    // The web view's load scopes, and whether an update of it is in progress.
    // Older RPC "VDW_Vdcore::get_diff_merge_rpc": the block stream of a diff of two versions
    // or a merge of three (webview/vdw_diff_merge.cc). Relative pathnames are taken below
    // `viewroot` (the request's parameter; may be null); `upload`, when set, is the client's
    // own copy of the merge's to-version.
    void get_diff_merge_rpc(const char* viewroot, const char* args, const char* upload,
                            std::ostream& out, WCM_MemPool& pool, WCM_Status& status);
    // Older RPC "VDW_Vdcore::merge_rpc" (ops/vdw_vdcore_merge.cc): merges a version into the
    // checkout of an element of a web or snapshot view on the server. Arguments "ViewUuid",
    // "Pname" (the element in the view), "FromVersion" (a version-extended pathname or a
    // selector), "BaseVersion" ("" : the nearest common ancestor), "Ndata" (record the merge
    // arrow only: the client has merged the file itself), "Abort" (change nothing when the
    // merge needs the user). `upload`, when set, is the client's copy of the checkout. The
    // answer is one part "MergeResult" (items "Outcome": "already", "trivial", "auto",
    // "conflict" or "arrow"; "Conflicts", "FromVersion", "BaseVersion") whose body is the
    // merged file for a file merged into a client's copy (conflicts between marker lines);
    // a merge with conflicts ends with status 1026 and records no arrow.
    void merge_rpc(const char* upload, const char* args, bool cleartext, std::ostream& out,
                   WCM_MemPool& pool, WCM_Status& status);
    // "VDW_Vdcore::new_save_dir_merge_rpc": merges a version of a directory into its
    // checkout (the names the version added, removed or renamed since the base) and records
    // the arrow. Arguments "ViewUuid", "Pname", "FromVersion", "BaseVersion" (may be empty).
    // Answers "MergeResult" as merge_rpc (no body); the client's next update brings the
    // names.
    void new_save_dir_merge_rpc(const char* args, std::ostream& out, WCM_MemPool& pool,
                                WCM_Status& status);
    // Its work, into a response of the caller's.
    void save_dir_merge(VDW_RpcResponse& response, const char* args, WCM_Status& status);
    // Older RPC "VDW_Vdcore::streams_of_project_rpc" (ops/xcm/vdw_stream_rpcs.cc): argument
    // "Project" (a project selector); one part "Stream" per stream of the project (items
    // "Name", "Selector", "ReplicaUuid", "Dbid", "IsIntegration").
    void streams_of_project_rpc(const char* args, std::ostream& out, WCM_MemPool& pool,
                                WCM_Status& status);
    // Older RPCs of deliver and rebase (ops/xcm/vdw_integration_rpcs.cc): each starts,
    // resumes, completes or cancels the operation, streams its progress as typed parts and
    // ends with its state ("DELIVER_SERVER_STATE", "REBASE_SERVER_STATE").
    void deliver_start_rpc(const char* args, std::ostream& out, WCM_MemPool& pool,
                           WCM_Status& status);
    void deliver_resume_rpc(const char* args, std::ostream& out, WCM_MemPool& pool,
                            WCM_Status& status);
    void deliver_complete_rpc(const char* args, std::ostream& out, WCM_MemPool& pool,
                              WCM_Status& status);
    void deliver_cancel_rpc(const char* args, std::ostream& out, WCM_MemPool& pool,
                            WCM_Status& status);
    void rebase_start_rpc(const char* args, std::ostream& out, WCM_MemPool& pool,
                          WCM_Status& status);
    void rebase_resume_rpc(const char* args, std::ostream& out, WCM_MemPool& pool,
                           WCM_Status& status);
    void rebase_complete_rpc(const char* args, std::ostream& out, WCM_MemPool& pool,
                             WCM_Status& status);
    void rebase_cancel_rpc(const char* args, std::ostream& out, WCM_MemPool& pool,
                           WCM_Status& status);
    void ws_get_scopes_rpc(const char* args, std::ostream& out, WCM_MemPool& pool,
                           WCM_Status& status);
    void ws_sync_check_in_progress_rpc(const char* args, std::ostream& out, WCM_MemPool& pool,
                                       WCM_Status& status);
    // Updates a web view: the records of what its client must change, streamed.
    void ws_sync_fetch_rpc(const char* args, bool compress_ok, std::ostream& out, WCM_MemPool& pool,
                           WCM_Status& status);
    // Namespace changes in a web view, each answered with the records of the names it
    // touched: "ViewUuid", "Source" and "Target" (pathnames in the view), "Comment" for a
    // move; "ViewUuid", "Scope", "Comment" for a removed name; "ViewUuid", "Target" (a
    // symbolic link's text, or the element a hard link names), "Link" (the new name),
    // "Symbolic" and "Comment" for a link.
    void mv_rpc(const char* args, bool compress_ok, std::ostream& out, WCM_MemPool& pool,
                WCM_Status& status);
    void rmname_rpc(const char* args, bool compress_ok, std::ostream& out, WCM_MemPool& pool,
                    WCM_Status& status);
    void ln_rpc(const char* args, bool compress_ok, std::ostream& out, WCM_MemPool& pool,
                WCM_Status& status);
    // The namespace commands themselves, shared with the XML RPCs: pathnames taken in `view`
    // (see to_vob_pname). Failure: the core's status and VDSRV1008, VDSRV1007 or VDSRV1113,
    // or VDSRV1037 for a name that leaves the view. `target` of a hard link is a pathname,
    // of a symbolic link the link's text.
    void move_name(view_t* view, const std::string& from, const std::string& to,
                   const std::string& comment, WCM_Status& status);
    void remove_name(view_t* view, const std::string& pname, bool force, const std::string& comment,
                     WCM_Status& status);
    void make_link(view_t* view, const std::string& target, const std::string& link, bool symbolic,
                   const std::string& comment, WCM_Status& status);
    // Moves a web view's record to what its client says it applied.
    void ws_sync_commit_rpc(const char* args, std::ostream& out, WCM_MemPool& pool,
                            WCM_Status& status);
    void oid_to_pname_rpc(const char* args, std::ostream& out, WCM_MemPool& pool,
                          WCM_Status& status);

private:
    char** list_for(OutputType kind, int*& count);

    WCM_MemPool* msg_pool_;
    char** all_ = nullptr;
    int all_count_ = 0;
    char** ok_ = nullptr;
    char** warn_ = nullptr;
    char** err_ = nullptr;
    int ok_count_ = 0, warn_count_ = 0, err_count_ = 0;
    bool capture_ = true;
    imsg_redirect_table_t saved_table_;
    imsg_prompt_procs_t saved_prompts_;

    static const char* s_ext_string;
};

// Redirect procedures registered with the core.
void vdw_handle_ok_message(void* facade, int msg_class, char* text);
void vdw_handle_warn_message(void* facade, int msg_class, char* text);
void vdw_handle_err_message(void* facade, int msg_class, char* text);
void vdw_handle_trace_message(void* facade, int msg_class, char* text);

#endif
