// What the command modules share: the acting context of one command, object creation,
// events, permission and lock checks, and the checkout and checkin steps that several
// commands run inside their transactions.
#ifndef CORE_CMD_CMD_INTERNAL_H
#define CORE_CMD_CMD_INTERNAL_H

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "core/cmd/cmd.h"
#include "core/cred/credutl.h"
#include "core/store/db.h"

class content_batch;

struct cmd_ctx {
    credutl_creds_t who{};
    std::string user;  // events' user (the attribution when one is set)
    std::string group;
    std::string host;
    int64_t now = 0;
    const vob_view_ctx_t* view = nullptr;
    vob_view_ctx_t null_view;
    std::string view_text;  // the view's UUID as text
    // A view attached to a stream records what it checks out in its current activity:
    // the project VOB's replica and the activity's oid as text ("" when none is set).
    bool xcm_view = false;
    std::string activity_pvob;
    std::string activity_oid;
    // Its checkouts go on the stream's branch (made where it is missing); "" when the stream
    // is read-only, and so refuses them.
    std::string xcm_brtype;
};

tbs_status_t cmd_ctx_init(cmd_ctx* ctx, const vob_view_ctx_t* view);

// Commands that change what a view holds (its checkouts and names) are for the view's owner
// and the site's administrator (view_check_owner); a context without a view passes.
tbs_status_t cmd_check_view_owner(const cmd_ctx& ctx);

// Whether `text` holds no control character but tab, line feed and carriage return. Text
// the core keeps (comments, headlines, attribute values) is shown to clients in XML
// documents, and XML 1.0 cannot carry the other control characters, not even as character
// references; a name may not hold any control character at all.
bool cmd_text_chars_ok(const std::string& text);
// Checks a comment and a name against their limits and characters; prints why not.
tbs_status_t cmd_check_comment(const std::string& comment);
tbs_status_t cmd_check_name(const std::string& name);
// A type's name: as a name, and made only of letters, digits, "_", "-" and ".".
tbs_status_t cmd_check_type_name(const std::string& name);
// Pathnames handed in as strings: no NUL inside (a C string would silently name something
// shorter), no control characters, within the length limit.
tbs_status_t cmd_check_pnames(const std::vector<std::string>& pnames);

tbs_status_t cmd_new_object(vob_t* vob, store_txn& txn, const cmd_ctx& ctx, int mtype, int mode,
                            int64_t* dbid);
tbs_status_t cmd_event(vob_t* vob, store_txn& txn, const cmd_ctx& ctx, int64_t obj,
                       const char* kind, const std::string& comment);

// Write permission on an object by its protection; the VOB's owner and privileged
// identities always have it.
tbs_status_t cmd_check_write(vob_t* vob, const cmd_ctx& ctx, int64_t obj);
// The object's owner, the VOB's owner, or a privileged identity.
tbs_status_t cmd_check_owner(vob_t* vob, const cmd_ctx& ctx, int64_t obj);
// Making (`type` 0), changing or removing a type of kind `mtype`: the VOB's owner, a
// privileged identity, or an identity that the role map protecting the type (for a new one,
// the VOB's role map, by the list of the type's kind) grants at least `need`. Prints why not.
tbs_status_t cmd_check_type_change(vob_t* vob, const cmd_ctx& ctx, int mtype, int64_t type,
                                   int need);
// Checking in or undoing a checkout: the checkout's own user, the element's owner (by its
// list or protection) or a privileged identity, and no lock on the element or branch.
struct vob_checkout_info_t;
tbs_status_t cmd_check_checkout_change(vob_t* vob, const cmd_ctx& ctx,
                                       const vob_checkout_info_t& co);
// Refuses when any of the objects, or the VOB itself, is locked for the acting user.
tbs_status_t cmd_check_locks(vob_t* vob, const cmd_ctx& ctx, std::initializer_list<int64_t> objs);
// Locks that bear on changing an element: the element, its type, and a branch and its type.
tbs_status_t cmd_check_element_locks(vob_t* vob, const cmd_ctx& ctx, int64_t element,
                                     int64_t branch);

// What every step inside a command's transaction works on: the VOB, the command's open
// writer transaction and its acting context. The steps assert the transaction.
struct cmd_txn {
    vob_t* vob;
    store_txn& txn;
    const cmd_ctx& ctx;
};

// Checks out `version` of `element` in the context's view. `reserved` tries a reserved
// checkout; `unreserved_ok` takes an unreserved one when that is refused (or at once when
// `reserved` is false).
struct cmd_checkout_item {
    int64_t element = 0;
    int64_t version = 0;
    bool reserved = true;
    bool unreserved_ok = false;
    std::string comment;
};
tbs_status_t cmd_do_checkout(const cmd_txn& t, const cmd_checkout_item& item, int64_t* checkout,
                             bool* got_reserved);

// Turns a checkout into the branch's next version.
struct cmd_checkin_item {
    int64_t checkout = 0;
    const std::string* content = nullptr;  // pool name; null keeps the predecessor's contents
    int64_t size = 0;
    const std::string* comment = nullptr;  // null keeps the checkout's comment
    bool identical = false;                // contents identical to the predecessor are fine
    int64_t created = 0;                   // 0 is now
};
tbs_status_t cmd_do_checkin(const cmd_txn& t, const cmd_checkin_item& item, int64_t* version);

// The checkout of a directory in the context's view to change its names: the one there is,
// or a new one made here (`*made` true) that the caller checks in when it is done.
tbs_status_t cmd_dir_checkout(const cmd_txn& t, int64_t dir_element, int64_t dir_version,
                              int64_t* co, bool* made);

// Makes a new element (version /main/0, empty) named `leaf` in a checked-out directory.
struct cmd_mkelem_item {
    int64_t dir_checkout = 0;
    std::string leaf;
    int64_t eltype = 0;
    bool is_dir = false;
    std::string comment;
};
tbs_status_t cmd_do_mkelem(const cmd_txn& t, const cmd_mkelem_item& item, int64_t* element,
                           int64_t* version0);

// Creates version 1 of a new element directly from a content (import and mkelem -ci).
struct cmd_first_version_item {
    int64_t element = 0;
    int64_t version0 = 0;
    std::string content;  // pool name
    int64_t size = 0;
    std::string comment;
    int64_t created = 0;  // 0 is now
};
tbs_status_t cmd_do_first_version(const cmd_txn& t, const cmd_first_version_item& item,
                                  int64_t* version);

// The version id text of a version ("/main/3"), or "?".
std::string cmd_idstr(vob_t* vob, int64_t version);
// The comment a command records for a comment mode: the given text, or none.
std::string cmd_comment_of(int mode, const std::string& comment);
// Resolves inside a transaction and checks that the name is an element's version.
tbs_status_t cmd_resolve_version(const std::string& pname, const cmd_ctx& ctx, vob_resolved_t* r);
// The file's modification time, 0 when it cannot be read.
int64_t cmd_file_mtime(const std::string& path);
// Puts a file's contents in the VOB's pool: before the transaction that refers to them.
tbs_status_t cmd_put_content(vob_t* vob, const std::string& from, std::string* name, int64_t* size,
                             content_batch* batch = nullptr);
// The view-private file a pathname has in the view's server-side root, when the context
// is a real view and a regular file is there: what checkin and mkelem take when no
// contents file is named.
std::string cmd_view_private_file(const cmd_ctx& ctx, const std::string& pname);
// Removes a dynamic view's private copy of `pname` once its checkout has ended; false when
// the context is not a dynamic view (nothing is removed).
bool cmd_view_private_drop(const cmd_ctx& ctx, const std::string& pname);

// A snapshot view's copy of `pname` (ws_copy.h), when the command runs in such a view: its
// stamp, taken before a checkin reads it (false: no such copy); the copy made read-only and
// recorded as holding the version checked in from it; and, for a checkout of `pred`, the
// copy made to hold `pred` or the user's edits of it, then writable. Elsewhere, the
// checkout makes a view-private copy writable.
bool cmd_stamp_server_copy(const cmd_ctx& ctx, const std::string& pname, view_copy_stamp_t* out);
void cmd_server_copy_checked_in(const cmd_ctx& ctx, const std::string& pname, vob_t* vob,
                                int64_t version, const view_copy_stamp_t& before);
tbs_status_t cmd_server_copy_for_checkout(const cmd_ctx& ctx, const std::string& pname, vob_t* vob,
                                          int64_t pred);

// Prints "<what> "<name>": <status text>." as an error and returns `st`.
tbs_status_t cmd_fail(const char* what, const std::string& name, tbs_status_t st);

#endif
