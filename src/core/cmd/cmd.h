// Commands of the core. Each takes one argument block, acts for the acting identity
// (credutl_get_creds) in the block's view, runs as one database transaction per VOB,
// checks locks and permissions, writes its events, and returns a status. Messages go out
// through the message library; questions through the registered prompt procedures.
//
// Permissions: changing an element (checkout, checkin, branches, labels, attributes) needs
// write permission by its protection (owner, group, mode); changing a directory's names
// needs write permission on the directory element; locks, protections and type removal
// need the object's owner, the VOB's owner or a privileged identity. An object a role map
// protects is checked by its access-control list instead (vob_acl.h): Change for a write,
// Full for the owner's rights; the VOB's owner and privileged identities keep them all.
// A lock refuses every
// change of the locked object (and, for a type or the VOB, of the objects that use it)
// except by the lock's excluded users; an obsolete lock excludes nobody.
#ifndef CORE_CMD_CMD_H
#define CORE_CMD_CMD_H

#include <cstdint>
#include <string>
#include <vector>

#include "core/tbs/tbs.h"
#include "core/view/view.h"
#include "core/vob/vob.h"
#include "core/vob/vob_acl.h"
#include "core/vob/vob_obj.h"

// Comment modes of the argument blocks.
enum { CMD_COMMENT_NONE = 2, CMD_COMMENT_GIVEN = 5 };

// Progress of element creation, reported per pathname.
enum cmd_mkelem_event_t {
    CMD_MKELEM_EV_MKDIR = 1,      // a missing parent directory was made an element (mkpath)
    CMD_MKELEM_EV_CREATED = 2,    // the element was made
    CMD_MKELEM_EV_CHECKEDIN = 3,  // its first version was checked in
};
typedef void (*cmd_mkelem_observer_t)(void* data, int event, const char* pname);

// Decision for a checkout whose selected version is not the latest on its branch.
enum cmd_nonlatest_t {
    CMD_NONLATEST_FAIL = 1,      // refuse (TBS_ST_NOT_LATEST)
    CMD_NONLATEST_SELECTED = 2,  // check out the selected version (a merge is due at checkin)
    CMD_NONLATEST_LATEST = 3,    // check out the latest version instead
};
typedef int (*cmd_checkout_cb_t)(void* data, const char* pname, vob_dbid_t selected,
                                 vob_dbid_t latest);

struct cmd_checkout_args_t {
    std::vector<std::string> pnames;
    const vob_view_ctx_t* view = nullptr;  // null: the null view
    int comment_mode = CMD_COMMENT_NONE;
    std::string comment;
    bool reserved = true;     // try a reserved checkout
    bool unreserved = false;  // take an unreserved one (after a refused reserved one)
    bool nmaster_ok = false;
    bool ptime = false;
    int nonlatest = CMD_NONLATEST_FAIL;  // when no callback decides
    cmd_checkout_cb_t callback = nullptr;
    void* callback_data = nullptr;
    std::string branch_type;   // make this branch at the selected version and check it out
    bool branch_only = false;  // with branch_type: make the branch, check nothing out
    // Results, one per pathname checked out.
    std::vector<vob_dbid_t> checkouts;
    std::vector<bool> got_reserved;
};
tbs_status_t cmd_checkout(cmd_checkout_args_t* args);

struct cmd_checkin_args_t {
    std::vector<std::string> pnames;
    std::vector<std::string> from;  // per pathname: file with the new contents ("" keeps)
    const vob_view_ctx_t* view = nullptr;
    int comment_mode = CMD_COMMENT_NONE;  // NONE keeps the checkout's comment
    std::string comment;
    bool identical = false;            // allow contents identical to the predecessor
    bool ptime = false;                // keep the source file's modification time as the time
    bool atomic = false;               // all pathnames in one transaction: all or none
    std::vector<vob_dbid_t> versions;  // the new versions
};
tbs_status_t cmd_checkin(cmd_checkin_args_t* args);

// Pop kinds of an uncheckout: what else goes when the checkout is undone.
enum cmd_pop_kind_t {
    CMD_POP_NONE = 0,          // only the checkout
    CMD_POP_EMPTY_BRANCH = 1,  // also its branch when it holds nothing but version 0
};
struct cmd_uncheckout_args_t {
    std::vector<std::string> pnames;
    const vob_view_ctx_t* view = nullptr;
    int pop_kind = CMD_POP_NONE;
    bool keep = false;  // keep a copy of the checked-out contents (.keep)
};
tbs_status_t cmd_uncheckout_with_pop(cmd_uncheckout_args_t* args);
tbs_status_t cmd_uncheckout(cmd_uncheckout_args_t* args);

struct cmd_mkelem_args_t {
    std::vector<std::string> pnames;
    std::vector<std::string> from;  // per pathname: first contents for a file ("" empty)
    const vob_view_ctx_t* view = nullptr;
    int comment_mode = CMD_COMMENT_NONE;
    std::string comment;
    std::string eltype;  // "" chooses "file" or "directory"
    bool is_dir = false;
    bool no_checkout = false;  // leave the element at version 0, not checked out
    bool checkin = false;      // check in its first version from `from`
    bool ci_parent = false;    // check the parent directory in afterwards
    bool master = false;
    bool mkpath = false;  // make missing parent directories elements too
    bool ptime = false;
    cmd_mkelem_observer_t observer = nullptr;
    void* observer_data = nullptr;
    std::vector<vob_dbid_t> elements;
};
tbs_status_t cmd_utl_mkelem(cmd_mkelem_args_t* args);

struct cmd_mv_args_t {
    std::string from;  // pathname of the name to move
    std::string to;    // new pathname (or an existing directory to move into)
    const vob_view_ctx_t* view = nullptr;
    std::string comment;
};
tbs_status_t cmd_mv(cmd_mv_args_t* args);

struct cmd_rmname_args_t {
    std::vector<std::string> pnames;
    const vob_view_ctx_t* view = nullptr;
    bool force = false;  // also when the element is checked out
    std::string comment;
};
tbs_status_t cmd_rmname(cmd_rmname_args_t* args);

struct cmd_ln_args_t {
    std::string target;  // symbolic: the link text; hard: the element's pathname
    std::string link;    // new name
    bool symbolic = false;
    const vob_view_ctx_t* view = nullptr;
    std::string comment;
};
tbs_status_t cmd_ln(cmd_ln_args_t* args);

struct cmd_mkbranch_args_t {
    std::vector<std::string> pnames;  // versions (the view's or version-extended)
    std::string branch_type;
    const vob_view_ctx_t* view = nullptr;
    bool checkout = true;
    std::string comment;
};
tbs_status_t cmd_mkbranch(cmd_mkbranch_args_t* args);

struct cmd_mktype_args_t {
    int mtype = 0;  // VOB_MTYPE_LBTYPE, _BRTYPE, _ATTYPE, _HLTYPE, _ELTYPE, _TRTYPE
    std::string name;
    std::string vob;        // VOB tag
    std::string supertype;  // element types: the type whose merge type and manager it takes
    int merge_type = -1;    // element types: -1 takes the supertype's
    std::string comment;
    bool replace = false;  // an existing type of that name is kept (no error)
    // Trigger types: before (and able to cancel) or after the operations named, for the
    // elements of `trigger_eltype` (empty: all), running `trigger_exec`: a program and its
    // arguments, run without a shell (see cmd_trigger.h; $VD_NAME in an argument takes the
    // value). Making, changing and removing types takes the VOB's owner or the site's
    // administrator (or the right under a role map). The program sees the operation in its
    // environment: VD_OP_KIND (the operation), VD_PHASE
    // ("pre" or "post"), VD_PNAME, VD_ID (the version, when there is one), VD_USER,
    // VD_COMMENT, VD_ELTYPE, VD_TRTYPE and VD_VOB. A pre-operation trigger that exits other
    // than 0 cancels the operation with its output as the reason.
    bool trigger_pre = true;
    std::vector<std::string> trigger_ops;  // checkout, checkin, uncheckout, mkelem, rmname, mklabel
    std::string trigger_eltype;
    std::string trigger_exec;
};
tbs_status_t cmd_mktype(cmd_mktype_args_t* args);
struct cmd_rmtype_args_t {
    std::string selector;  // "lbtype:REL1@vob:/vobs/p"
    bool force = false;    // also remove its uses (labels, attributes)
};
tbs_status_t cmd_rmtype(cmd_rmtype_args_t* args);

struct cmd_mklabel_args_t {
    std::string label;  // label type name
    std::vector<std::string> pnames;
    const vob_view_ctx_t* view = nullptr;
    bool replace = false;  // move the label from another version of the element
    bool recurse = false;  // label everything below directories too
    bool follow = false;   // follow symbolic links
    std::string comment;
};
tbs_status_t cmd_mklabel(cmd_mklabel_args_t* args);
tbs_status_t cmd_rmlabel(cmd_mklabel_args_t* args);

struct cmd_mkattr_args_t {
    std::string attype;
    std::string value;
    std::vector<std::string> objects;  // pathnames or selectors
    const vob_view_ctx_t* view = nullptr;
    bool replace = false;
    std::string comment;
};
tbs_status_t cmd_mkattr(cmd_mkattr_args_t* args);
tbs_status_t cmd_rmattr(cmd_mkattr_args_t* args);

struct cmd_mkhlink_args_t {
    std::string hltype;
    std::string from;
    std::string to;
    std::string text;
    const vob_view_ctx_t* view = nullptr;
    std::string comment;
    vob_dbid_t hlink = 0;
};
tbs_status_t cmd_mkhlink(cmd_mkhlink_args_t* args);

struct cmd_lock_args_t {
    std::vector<std::string> objects;  // pathnames or selectors; "vob:<tag>" locks the VOB
    const vob_view_ctx_t* view = nullptr;
    std::vector<std::string> nusers;  // users the lock excludes
    bool obsolete = false;
    bool replace = false;  // change an existing lock
    std::string comment;
};
tbs_status_t cmd_lock(cmd_lock_args_t* args);
tbs_status_t cmd_unlock(cmd_lock_args_t* args);

struct cmd_protect_args_t {
    std::vector<std::string> objects;
    const vob_view_ctx_t* view = nullptr;
    std::string owner;  // "" leaves it
    std::string group;
    int mode = -1;  // -1 leaves it; else the permission bits (07777)
};
tbs_status_t cmd_protect(cmd_protect_args_t* args);

// Access-control policies and role maps (vob_acl.h). Making or changing either takes the
// VOB's owner or a privileged identity, or Change on the one changed when it is protected.
// `modify` changes an existing one (its entries are replaced); without it an existing name
// is refused.
struct cmd_mkpolicy_args_t {
    std::string vob;  // the VOB's tag
    std::string name;
    std::vector<vob_acl_ace_t> entries;  // proxy, kind ("Role", "User", "Group", "Everyone"),
                                         // name, access
    bool modify = false;
    std::string comment;
    vob_dbid_t policy = 0;  // out
};
tbs_status_t cmd_mkpolicy(cmd_mkpolicy_args_t* args);
struct cmd_mkrolemap_args_t {
    std::string vob;
    std::string name;
    std::string policy;                  // the policy's name or selector; "" keeps it (modify)
    std::vector<vob_acl_ace_t> entries;  // role, kind ("User", "Group", "Everyone"), name
    bool modify = false;
    std::string comment;
    vob_dbid_t rolemap = 0;  // out
};
tbs_status_t cmd_mkrolemap(cmd_mkrolemap_args_t* args);
// Applies a role map to objects (Full on each, or its owner's rights when none protects it
// yet). A directory with `recurse` gives it to everything below it as the view selects;
// `dirs_only` and `files_only` limit which elements take it. A "vob:" selector applies it
// to the VOB, which then enforces access-control lists.
struct cmd_apply_rolemap_args_t {
    std::vector<std::string> objects;
    const vob_view_ctx_t* view = nullptr;
    std::string rolemap;  // name or selector
    bool recurse = false;
    bool dirs_only = false;
    bool files_only = false;
    std::string comment;
    int64_t count = 0;  // out: objects given the role map
};
tbs_status_t cmd_apply_rolemap(cmd_apply_rolemap_args_t* args);

// The attribution of the following operations of this process: the time and identity
// their events record instead of the process's own. `reset` returns to the process's.
struct cmd_setevent_args_t {
    int64_t time = 0;
    std::string login;
    std::string group;
    std::string fullname;
    std::string host;
    int reset = 0;
};
tbs_status_t cmd_setevent(const cmd_setevent_args_t* args);

// Imports a directory tree as checked-in elements under an existing VOB directory: files
// become file elements with one version, directories directory elements, symbolic links
// VOB symbolic links. Runs in one transaction per batch of files so memory stays flat.
struct cmd_import_args_t {
    std::string source;  // directory on this machine
    std::string dest;    // VOB directory pathname
    const vob_view_ctx_t* view = nullptr;
    std::string comment;
    int64_t files = 0;  // results
    int64_t dirs = 0;
    int64_t bytes = 0;
};
tbs_status_t cmd_import(cmd_import_args_t* args);

// Changes an object's description (a version's comment, or the comment of the event that
// made any other object). Its owner or creator, the VOB's owner or a privileged identity.
struct cmd_chevent_args_t {
    vob_t* vob = nullptr;
    vob_dbid_t dbid = 0;
    std::string comment;
    const vob_view_ctx_t* view = nullptr;
};
tbs_status_t cmd_chevent(cmd_chevent_args_t* args);

// Merge candidates ------------------------------------------------------------------------
//
// cmd_findmerge finds the elements whose version from a source is not yet merged into the
// version a view selects. The source is what a selector names for each element, or what
// another view selects. A from-version is merged when it is the to-version or one of its
// ancestors; a version's parents are its predecessor and the versions a "Merge" hyperlink
// leads from into it. The base of a merge is the common ancestor nearest the
// from-version; a merge is trivial when the base is the to-version (the to-version has not
// changed since, so the merge is a copy of the from-version).
//
// A selector whose versions hang on a branch type other than main (".../dev/LATEST",
// "/main/dev/3") or that names a label ("REL1", "/main/dev/REL1") is searched from the
// elements that have such a branch or label, one indexed read per VOB, so the cost follows
// what the branch or label holds; every other source walks the view's names below the
// search roots.
enum cmd_findmerge_kind_t {
    // `selector`: a config-spec selector (".../dev/LATEST", "/main/dev/2", "REL1") evaluated
    // per element, or a version-extended pathname ("/vobs/p/a.c@@/main/dev/2") naming one
    // element's source version.
    CMD_FINDMERGE_SELECTOR = 1,
    CMD_FINDMERGE_VIEW = 2,  // `from_view`: what the view of that tag selects
    // `activities` (selectors): the newest checked-in version of each element in their
    // change sets (cmd_xcm.h).
    CMD_FINDMERGE_ACTIVITIES = 3,
};
// One call per candidate: the element's VOB pathname in the view, its VOB, the to-, from-
// and base-version, the element's metatype (VOB_MTYPE_FILE_ELEMENT or _DIR_ELEMENT), whether
// the merge is trivial, and how many steps of the version graph lead from the base to the
// from-version. Every run ends with one call with a null VOB (and null pathname).
typedef void (*cmd_findmerge_cb_t)(void* data, const char* pname, vob_t* vob, vob_dbid_t to,
                                   vob_dbid_t from, vob_dbid_t base, int mtype, int trivial,
                                   int64_t distance);
struct cmd_findmerge_args_t {
    const vob_view_ctx_t* view = nullptr;  // null: the null view
    // The view's config spec: with no pathnames, its load rules are the search roots. Null,
    // or a spec without load rules: the root of every registered VOB.
    const view_cspec_t* cspec = nullptr;
    int kind = CMD_FINDMERGE_SELECTOR;
    std::string selector;
    std::string from_view;
    std::vector<std::string> activities;
    std::vector<std::string> pnames;  // search roots (VOB pathnames), each with all below it
    bool dir_only = false;            // only directory elements are candidates
    bool follow = false;              // walks go through symbolic links
    cmd_findmerge_cb_t callback = nullptr;
    void* callback_data = nullptr;
    // The command's own report: "-" prints a line per candidate, anything else ("NUL")
    // prints none.
    std::string output;
    int64_t candidates = 0;  // result
};
tbs_status_t cmd_findmerge(cmd_findmerge_args_t* args);

// Administration of objects -----------------------------------------------------------

// Removes branches ("a.c@@/main/dev") with every version on them: their labels,
// attributes and the hyperlinks (merge arrows among them) of those versions go too. A
// branch with checkouts, or with branches made from its versions, is refused, as is an
// element's main branch. The element's owner, the VOB's owner or a privileged identity.
struct cmd_rmbranch_args_t {
    std::vector<std::string> pnames;
    const vob_view_ctx_t* view = nullptr;
    std::string comment;
};
tbs_status_t cmd_rmbranch(cmd_rmbranch_args_t* args);

// Removes hyperlinks named "<type>@<id>@<vob tag>" (as mkhlink reports them), or with
// `from` and `to` set the merge arrow between two versions (rmmerge). The owner of the
// object the link leads from, the VOB's owner or a privileged identity.
struct cmd_rmhlink_args_t {
    std::vector<std::string> hlinks;
    std::string from, to;
    const vob_view_ctx_t* view = nullptr;
};
tbs_status_t cmd_rmhlink(cmd_rmhlink_args_t* args);

// Gives a type ("lbtype:REL1@/vobs/p") a new name; config specs that name the old one no
// longer select by it. The type's owner, the VOB's owner or a privileged identity.
struct cmd_rename_type_args_t {
    std::string selector;
    std::string name;
};
tbs_status_t cmd_rename_type(cmd_rename_type_args_t* args);

// Makes the view's checkouts of the named elements reserved (refused while another view
// holds a reserved checkout of the branch) or unreserved. The checkout's user or a
// privileged identity.
struct cmd_reserve_args_t {
    std::vector<std::string> pnames;
    const vob_view_ctx_t* view = nullptr;
    bool reserve = true;
};
tbs_status_t cmd_reserve(cmd_reserve_args_t* args);

// Changes the element type of elements: file elements take file types, directory elements
// the directory type. The element's owner, the VOB's owner or a privileged identity.
struct cmd_chtype_args_t {
    std::string eltype;
    std::vector<std::string> pnames;
    const vob_view_ctx_t* view = nullptr;
};
tbs_status_t cmd_chtype(cmd_chtype_args_t* args);

// Merging ---------------------------------------------------------------------------------
//
// cmd_merge merges a from-version of an element into the element's checkout in the view
// (the to-version), over their base: the common ancestor nearest the from-version (see
// cmd_findmerge) unless one is given. What the element type's merge type says:
//   auto   three-way merge: regions that only one side changed take that side's lines,
//          regions both changed alike take them once, regions both changed otherwise are
//          conflicts;
//   user   every region the from-version changed is left to the user as a conflict;
//   never  refused (the merge arrow alone may still be recorded with `ndata`);
//   copy   the result is the from-version's contents.
// A merge whose base is the to-version's own ancestor unchanged since (the to-version did
// not change what the base holds) is a copy of the from-version. A merge already made (the
// from-version is an ancestor of the to-version) does nothing.
//
// File elements: the merged contents go to `output`, or over the view's own copy of the
// checkout (a snapshot view's file); a web view keeps its copies on the client, so a caller
// merging there names `to_file` (the client's copy) and `output`. Conflicting regions are
// written between marker lines ("<<<<<<< ", "||||||| ", "=======", ">>>>>>> "), the merge
// arrow is not recorded, and the command answers TBS_ST_MERGE_CONFLICT: nothing is checked
// in, and once the user has resolved the file a merge with `ndata` records the arrow. With
// `abort_on_conflict` a conflicting merge writes nothing at all.
//
// Directory elements: the names the from-version added, removed or renamed since the base
// are made in the checked-out directory, in one transaction with the arrow. Two different
// changes of one name, or two elements that would take one name, are conflicts: then the
// directory is left as it was (TBS_ST_MERGE_CONFLICT).
//
// The arrow is a "Merge" hyperlink from the from-version to the checkout; checkin lets a
// checkout that is not from the latest version of its branch in once the latest version
// has been merged into it.
enum cmd_merge_outcome_t {
    CMD_MERGE_ALREADY = 1,     // the from-version was merged already: nothing done
    CMD_MERGE_TRIVIAL = 2,     // the result is a copy of the from-version
    CMD_MERGE_AUTO = 3,        // merged with no conflict
    CMD_MERGE_CONFLICT = 4,    // conflicts left for the user
    CMD_MERGE_ARROW_ONLY = 5,  // `ndata`: only the arrow was recorded
};
struct cmd_merge_args_t {
    std::string to;    // the element's pathname in the view, checked out there
    std::string from;  // a version-extended pathname, or a selector (".../dev/LATEST", "REL1")
    std::string base;  // "": the nearest common ancestor; else a version of the same element
    const vob_view_ctx_t* view = nullptr;
    std::string to_file;  // contents standing for the to-version ("": the view's copy)
    std::string output;   // where the merged contents go ("": the view's copy)
    bool ndata = false;   // record the merge arrow only
    bool abort_on_conflict = false;
    // Results.
    int outcome = 0;
    int64_t conflicts = 0;
    int64_t regions = 0;  // regions the two sides changed
    vob_dbid_t from_version = 0, base_version = 0, to_version = 0;
};
tbs_status_t cmd_merge(cmd_merge_args_t* args);

// Merge ancestry. A version's parents are its predecessor and the versions a "Merge"
// hyperlink leads from into it (a checkout's as well). `*merged` tells whether `from` is `to`
// or one of its ancestors; if not, `*base` is the common ancestor nearest `from` (0 when the
// two share none) and `*distance` the steps of the version graph from it to `from`.
tbs_status_t cmd_version_parents(vob_t* vob, int64_t version, std::vector<int64_t>* out);
tbs_status_t cmd_merge_base(vob_t* vob, int64_t to, int64_t from, bool* merged, int64_t* base,
                            int64_t* distance);

// Lookups for the web layer ------------------------------------------------------------

// Resolves a pathname or an object selector in a view (null: the null view).
tbs_status_t cmd_resolve_obj_long(const char* name, const vob_view_ctx_t* view, int flags,
                                  vob_resolved_t* out);
// Resolves a copy-area pathname of a web or snapshot view ("vobs/p/a.c", or one under the
// view's root) through that view.
tbs_status_t cmd_resolve_ws_obj(view_t* view, const char* path, int flags, vob_resolved_t* out);
// The text of the symbolic link a pathname names in a view.
tbs_status_t cmd_utl_lookup_slink(const char* pname, const vob_view_ctx_t* view, std::string* text);

#endif
