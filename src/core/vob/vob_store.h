// The VOB database: its schema and the queries of the VOB layer.
#ifndef CORE_VOB_VOB_STORE_H
#define CORE_VOB_VOB_STORE_H

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/tbs/tbs.h"
#include "core/vob/vob_obj.h"

class store_db;
class store_txn;

// Opens (creating when asked) the database of a VOB storage directory.
tbs_status_t vob_store_open(const std::string& storage, bool create, std::shared_ptr<store_db>* db);
// Removes the database of a VOB storage directory that is about to go (store_db::remove).
tbs_status_t vob_store_remove(const std::string& storage);

tbs_status_t vob_store_set_info(store_db& db, const char* key, const std::string& value);
tbs_status_t vob_store_get_info(store_db& db, const char* key, std::string* value);

struct vob_store_object_t {
    int mtype = 0;
    std::string owner;
    std::string group;
    int mode = 0;
    int64_t created = 0;
    std::string creator;
};

// A new object with a fresh oid; its dbid is returned.
tbs_status_t vob_store_new_object(store_db& db, store_txn& txn, const vob_store_object_t& obj,
                                  int64_t* dbid);
tbs_status_t vob_store_new_type(store_db& db, int64_t dbid, int mtype, const char* name,
                                int merge_type, const char* type_manager);
tbs_status_t vob_store_find_type(store_db& db, int mtype, const char* name, int64_t* dbid);
tbs_status_t vob_store_new_element(store_db& db, int64_t dbid, int64_t eltype, bool is_dir);
tbs_status_t vob_store_new_branch(store_db& db, int64_t dbid, int64_t element, int64_t brtype,
                                  int64_t parent_version);
tbs_status_t vob_store_set_main_branch(store_db& db, int64_t element, int64_t branch);
tbs_status_t vob_store_new_version(store_db& db, int64_t dbid, int64_t element, int64_t branch,
                                   int64_t number, const std::string& content, int64_t size,
                                   const std::string& comment, int64_t pred = 0);
tbs_status_t vob_store_add_event(store_db& db, store_txn& txn, int64_t obj, const char* kind,
                                 const char* user, const char* host, int64_t at,
                                 const char* comment);
tbs_status_t vob_store_count_events(store_db& db, int64_t obj, int64_t* count);

// Objects.
tbs_status_t vob_store_get_object(store_db& db, int64_t dbid, vob_obj_info_t* out);
tbs_status_t vob_store_find_oid(store_db& db, const std::string& oid, int64_t* dbid);
tbs_status_t vob_store_set_protection(store_db& db, int64_t dbid, const std::string& owner,
                                      const std::string& group, int mode);
tbs_status_t vob_store_set_object_mtype(store_db& db, int64_t dbid, int mtype);
tbs_status_t vob_store_delete_object(store_db& db, int64_t dbid);
tbs_status_t vob_store_set_object_created(store_db& db, int64_t dbid, int64_t created,
                                          const std::string& creator);

// Types.
tbs_status_t vob_store_get_type(store_db& db, int64_t dbid, vob_type_info_t* out);
tbs_status_t vob_store_find_type_info(store_db& db, int mtype, const char* name,
                                      vob_type_info_t* out);
// The types of one kind, by name.
tbs_status_t vob_store_list_types(store_db& db, int mtype, std::vector<vob_type_info_t>* out);
// How many objects use a type (branches, labels, attributes, hyperlinks, elements).
tbs_status_t vob_store_type_uses(store_db& db, const vob_type_info_t& type, int64_t* uses);
tbs_status_t vob_store_remove_type_uses(store_db& db, const vob_type_info_t& type);
tbs_status_t vob_store_delete_type(store_db& db, int64_t dbid);
// A new name for a type (TBS_ST_EXISTS when its kind has one of that name).
tbs_status_t vob_store_rename_type(store_db& db, int64_t dbid, const std::string& name);

// A trigger type's firing rule (the rest of the type is its row in `types`).
struct vob_store_trigger_t {
    int64_t dbid = 0;
    std::string name;
    bool pre = true;      // before the operation (and able to cancel it), else after it
    std::string ops;      // the operations it fires on, blank-separated
    std::string eltype;   // only elements of this element type; empty: every element
    std::string command;  // run by /bin/sh -c
};
tbs_status_t vob_store_new_trigger(store_db& db, const vob_store_trigger_t& t);
// Every trigger type of the VOB, in order of creation.
tbs_status_t vob_store_triggers(store_db& db, std::vector<vob_store_trigger_t>* out);

// Elements and branches.
tbs_status_t vob_store_get_element(store_db& db, int64_t dbid, int64_t* eltype, bool* is_dir,
                                   int64_t* main_branch);
tbs_status_t vob_store_get_branch(store_db& db, int64_t dbid, int64_t* element, int64_t* brtype,
                                  int64_t* parent_version);
tbs_status_t vob_store_find_branch(store_db& db, int64_t element, int64_t brtype, int64_t* branch);
tbs_status_t vob_store_delete_branch(store_db& db, int64_t branch);
tbs_status_t vob_store_set_element_type(store_db& db, int64_t element, int64_t eltype);
// Branches made at versions of `branch`.
tbs_status_t vob_store_count_branch_children(store_db& db, int64_t branch, int64_t* count);

// Versions.
tbs_status_t vob_store_get_version(store_db& db, int64_t dbid, vob_version_info_t* out);
tbs_status_t vob_store_find_version(store_db& db, int64_t branch, int64_t number, int64_t* dbid);
// The highest-numbered version of a branch.
tbs_status_t vob_store_latest_version(store_db& db, int64_t branch, int64_t* dbid, int64_t* number);
tbs_status_t vob_store_list_versions(store_db& db, int64_t element,
                                     std::vector<vob_version_info_t>* out);
tbs_status_t vob_store_delete_version(store_db& db, int64_t dbid);

// Directory versions: names bound to elements and symbolic links.
tbs_status_t vob_store_dir_lookup(store_db& db, int64_t version, const std::string& name,
                                  int64_t* target, int* mtype);
tbs_status_t vob_store_dir_list(store_db& db, int64_t version, std::vector<vob_dir_entry_t>* out);
tbs_status_t vob_store_dir_copy(store_db& db, int64_t from_version, int64_t to_version);
tbs_status_t vob_store_dir_add(store_db& db, int64_t version, const std::string& name,
                               int64_t target);
tbs_status_t vob_store_dir_remove(store_db& db, int64_t version, const std::string& name);
tbs_status_t vob_store_dir_clear(store_db& db, int64_t version);
// The directory versions (and names) that bind an object.
tbs_status_t vob_store_dir_parents(store_db& db, int64_t target,
                                   std::vector<std::pair<int64_t, std::string>>* out);

// The same with each directory version's element (checked-out directories included).
tbs_status_t vob_store_dir_bindings(store_db& db, int64_t target, std::vector<vob_binding_t>* out);

tbs_status_t vob_store_new_slink(store_db& db, int64_t dbid, const std::string& text);
tbs_status_t vob_store_get_slink(store_db& db, int64_t dbid, std::string* text);

// Checkouts. The checked-out version is an object of its own whose dbid the checkout row
// carries; checking in turns it into the new version.
tbs_status_t vob_store_new_checkout(store_db& db, const vob_checkout_info_t& co);
tbs_status_t vob_store_get_checkout(store_db& db, int64_t dbid, vob_checkout_info_t* out);
tbs_status_t vob_store_find_checkout(store_db& db, int64_t element, const std::string& view_uuid,
                                     vob_checkout_info_t* out);
// Every checkout of an element, or of the VOB when `element` is 0.
tbs_status_t vob_store_list_checkouts(store_db& db, int64_t element,
                                      std::vector<vob_checkout_info_t>* out);
// Every checkout made in one view (its UUID as text), by element.
tbs_status_t vob_store_view_checkouts(store_db& db, const std::string& view_uuid,
                                      std::vector<vob_checkout_info_t>* out);
tbs_status_t vob_store_delete_checkout(store_db& db, int64_t dbid);
tbs_status_t vob_store_set_checkout_reserved(store_db& db, int64_t dbid, bool reserved);

// Labels: one version of an element per label type.
tbs_status_t vob_store_get_label(store_db& db, int64_t lbtype, int64_t element, int64_t* version);
tbs_status_t vob_store_set_label(store_db& db, int64_t lbtype, int64_t element, int64_t version);
tbs_status_t vob_store_remove_label(store_db& db, int64_t lbtype, int64_t element);
tbs_status_t vob_store_version_labels(store_db& db, int64_t version, std::vector<std::string>* out);

// The elements that have a branch of the branch type (`mtype` VOB_MTYPE_BRTYPE) or carry a
// label of the label type (VOB_MTYPE_LBTYPE), each once, ascending. One indexed read: its
// cost follows how many elements use the type, not how many the VOB holds.
tbs_status_t vob_store_elements_using_type(store_db& db, int mtype, int64_t type,
                                           std::vector<int64_t>* elements);

// Attributes: one value per object and attribute type.
tbs_status_t vob_store_set_attr(store_db& db, int64_t obj, int64_t attype,
                                const std::string& value);
tbs_status_t vob_store_get_attr(store_db& db, int64_t obj, int64_t attype, std::string* value);
tbs_status_t vob_store_remove_attr(store_db& db, int64_t obj, int64_t attype);
tbs_status_t vob_store_list_attrs(store_db& db, int64_t obj,
                                  std::vector<std::pair<std::string, std::string>>* out);

tbs_status_t vob_store_new_hlink(store_db& db, int64_t dbid, int64_t hltype, int64_t from,
                                 int64_t to, const std::string& text);
tbs_status_t vob_store_find_hlink(store_db& db, int64_t hltype, int64_t from, int64_t to,
                                  int64_t* dbid);
tbs_status_t vob_store_list_hlinks(store_db& db, int64_t obj, std::vector<vob_hlink_info_t>* out);
// Removes a hyperlink and its object.
tbs_status_t vob_store_delete_hlink(store_db& db, int64_t dbid);

// Locks; excluded users are kept as one comma-separated text.
tbs_status_t vob_store_set_lock(store_db& db, int64_t obj, bool obsolete,
                                const std::string& excluded, const std::string& locker, int64_t at);
tbs_status_t vob_store_get_lock(store_db& db, int64_t obj, vob_lock_info_t* out);
tbs_status_t vob_store_remove_lock(store_db& db, int64_t obj);

tbs_status_t vob_store_list_events(store_db& db, int64_t obj, std::vector<vob_event_info_t>* out);
// History of an element: its own events and those of its branches and versions, newest first.
tbs_status_t vob_store_list_element_events(store_db& db, int64_t element,
                                           std::vector<vob_event_info_t>* out);

// Descriptions: a version's comment, or the comment of the first event of any other
// object (the one that made it).
tbs_status_t vob_store_set_version_comment(store_db& db, int64_t version,
                                           const std::string& comment);
tbs_status_t vob_store_first_event_comment(store_db& db, int64_t obj, std::string* comment);
tbs_status_t vob_store_set_first_event_comment(store_db& db, int64_t obj,
                                               const std::string& comment);

// The change journal. Each change to what a view may select or name appends a row naming
// the element it touched, under the change generation of its writer transaction: a version
// made or removed, a branch made or removed, a checkout made or ended, a label moved or
// removed (also by the removal of its type), a directory version's names changed (the
// directory element). One generation per transaction, allocated at its first row from
// `change_state`; writers are serialized, so generations commit in order and a reader that
// sees generation G sees every row up to G. Rows at or below the low-water mark are gone
// (trimmed); every 256 generations the journal trims itself to its last 65536 generations
// (the count the VOB's "change_keep" setting gives instead, when it has one).
//
// The store functions above that make such changes journal them themselves, inside the
// caller's writer transaction: no command can change a view's selection unrecorded.
tbs_status_t vob_store_journal(store_db& db, int64_t element);
// The element of a version or checkout (nothing when `version` is neither yet).
tbs_status_t vob_store_journal_version(store_db& db, int64_t version);
// Every element that carries a label of the type.
tbs_status_t vob_store_journal_label_type(store_db& db, int64_t lbtype);
// The current generation and the low-water mark: one read of one row.
tbs_status_t vob_store_change_state(store_db& db, int64_t* gen, int64_t* low);
// The elements journalled in generations (after, upto], each once, ascending, at most `max`.
tbs_status_t vob_store_changes(store_db& db, int64_t after, int64_t upto, int64_t max,
                               std::vector<int64_t>* elements);
// Drops the rows of generations up to `upto` and raises the low-water mark to it.
tbs_status_t vob_store_trim_changes(store_db& db, int64_t upto);

// Content names every version refers to (for consistency checks and pool clean-up).
tbs_status_t vob_store_list_contents(store_db& db, std::vector<std::string>* out);
// Rows the object model requires and does not find (an element without its main branch, a
// branch without its version 0, an object of a kind without the row of that kind, ...):
// one line per fault, naming the object by dbid.
tbs_status_t vob_store_check_rows(store_db& db, std::vector<std::string>* problems);

#endif
