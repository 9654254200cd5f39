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

struct cmd_ctx {
    credutl_creds_t who{};
    std::string user;  // events' user (the attribution when one is set)
    std::string group;
    std::string host;
    int64_t now = 0;
    const vob_view_ctx_t* view = nullptr;
    vob_view_ctx_t null_view;
    std::string view_text;  // the view's UUID as text
};

tbs_status_t cmd_ctx_init(cmd_ctx* ctx, const vob_view_ctx_t* view);

// Checks a comment and a name against their limits; prints why not.
tbs_status_t cmd_check_comment(const std::string& comment);
tbs_status_t cmd_check_name(const std::string& name);
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
// Refuses when any of the objects, or the VOB itself, is locked for the acting user.
tbs_status_t cmd_check_locks(vob_t* vob, const cmd_ctx& ctx, std::initializer_list<int64_t> objs);
// Locks that bear on changing an element: the element, its type, and a branch and its type.
tbs_status_t cmd_check_element_locks(vob_t* vob, const cmd_ctx& ctx, int64_t element,
                                     int64_t branch);
int64_t cmd_vob_object(vob_t* vob);

// Checks out `version` of `element` in the context's view. `reserved` tries a reserved
// checkout; `unreserved_ok` takes an unreserved one when that is refused (or at once when
// `reserved` is false).
tbs_status_t cmd_do_checkout(vob_t* vob, store_txn& txn, const cmd_ctx& ctx, int64_t element,
                             int64_t version, bool reserved, bool unreserved_ok,
                             const std::string& comment, int64_t* checkout, bool* got_reserved);
// Turns checkout `co` into the branch's next version. `content` null keeps the
// predecessor's contents. `comment` null keeps the checkout's comment. `created` 0 is now.
tbs_status_t cmd_do_checkin(vob_t* vob, store_txn& txn, const cmd_ctx& ctx, int64_t co,
                            const std::string* content, int64_t size, const std::string* comment,
                            bool identical, int64_t created, int64_t* version);
// The checkout of a directory in the context's view to change its names: the one there is,
// or a new one made here (`*made` true) that the caller checks in when it is done.
tbs_status_t cmd_dir_checkout(vob_t* vob, store_txn& txn, const cmd_ctx& ctx, int64_t dir_element,
                              int64_t dir_version, int64_t* co, bool* made);
// Makes a new element (version /main/0, empty) named `leaf` in checked-out directory `dir_co`.
tbs_status_t cmd_do_mkelem(vob_t* vob, store_txn& txn, const cmd_ctx& ctx, int64_t dir_co,
                           const std::string& leaf, int64_t eltype, bool is_dir,
                           const std::string& comment, int64_t* element, int64_t* version0);
// Creates version 1 of a new element directly from a content (import and mkelem -ci).
tbs_status_t cmd_do_first_version(vob_t* vob, store_txn& txn, const cmd_ctx& ctx, int64_t element,
                                  int64_t version0, const std::string& content, int64_t size,
                                  const std::string& comment, int64_t created, int64_t* version);

// Prints "<what> "<name>": <status text>." as an error and returns `st`.
tbs_status_t cmd_fail(const char* what, const std::string& name, tbs_status_t st);

#endif
