// VOBs: creation, opening and the objects every VOB starts with.
//
// A VOB is a storage directory holding its database (vob.db) and its content pool
// (pool/), registered in the registry under a tag. Every object has a dbid (per VOB) and
// an oid (a UUID). A new VOB holds its root directory element with version /main/0, the
// branch type "main", the element types "file", "text_file", "directory" and
// "compressed_file", and the hyperlink type "Merge".
#ifndef CORE_VOB_VOB_H
#define CORE_VOB_VOB_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/tbs/tbs.h"

class store_db;
struct rgy_vob_entry_t;
class content_pool;

typedef int64_t vob_dbid_t;

// Object kinds. A directory version is 3 and a symbolic link 7; the rest are ours.
enum vob_mtype_t {
    VOB_MTYPE_NONE = 0,
    VOB_MTYPE_VOB = 1,
    VOB_MTYPE_VERSION = 2,
    VOB_MTYPE_DIR_VERSION = 3,
    VOB_MTYPE_FILE_ELEMENT = 4,
    VOB_MTYPE_DIR_ELEMENT = 5,
    VOB_MTYPE_BRANCH = 6,
    VOB_MTYPE_SLINK = 7,
    VOB_MTYPE_ELTYPE = 8,
    VOB_MTYPE_BRTYPE = 9,
    VOB_MTYPE_LBTYPE = 10,
    VOB_MTYPE_ATTYPE = 11,
    VOB_MTYPE_HLTYPE = 12,
    VOB_MTYPE_TRTYPE = 13,
    VOB_MTYPE_HLINK = 14,
    VOB_MTYPE_REPLICA = 15,
    // Change-management objects; they live in project VOBs (see xcm.h).
    VOB_MTYPE_FOLDER = 16,
    VOB_MTYPE_PROJECT = 17,
    VOB_MTYPE_STREAM = 18,
    VOB_MTYPE_ACTIVITY = 19,
    VOB_MTYPE_BASELINE = 20,
    VOB_MTYPE_COMPONENT = 21,
    // Access control (vob_acl.h): type objects beside the others.
    VOB_MTYPE_POLICY = 22,
    VOB_MTYPE_ROLEMAP = 23,
};

enum vob_merge_type_t {
    VOB_MERGE_AUTO = 0,
    VOB_MERGE_USER = 1,
    VOB_MERGE_NEVER = 2,
    VOB_MERGE_COPY = 3
};

struct vob_t {
    std::string tag;
    std::string storage;
    tbs_uuid_t uuid{};         // the VOB replica
    tbs_uuid_t family_uuid{};  // the VOB family
    std::shared_ptr<store_db> db;
    std::unique_ptr<content_pool> pool;
    vob_dbid_t root_element = 0;
    ~vob_t();
};

struct vob_create_args_t {
    const char* tag = nullptr;      // registry tag, e.g. "/vobs/proj"
    const char* storage = nullptr;  // new storage directory (must not exist)
    const char* comment = nullptr;
    bool is_public = true;
    bool ucmproject = false;  // a project VOB (xcm.h), made with its root folder
};

// VOB tags are single names under the site's VOB root ("/vobs/proj"), so that no tag lies
// inside another VOB's namespace.
#define VOB_TAG_ROOT "/vobs"
enum { VOB_TAG_LEAF_MAX = 64 };
// Whether `tag` may name a new VOB: the form above (else TBS_ST_BAD_NAME), not taken (else
// TBS_ST_EXISTS) and not overlapping a registered tag (prints why not, but for a taken tag).
tbs_status_t vob_check_new_tag(const char* tag);

// Makes the storage (an absolute path), the database with its first objects, and registers
// the tag. The site's administrator's only (credutl_is_privileged). A failure leaves
// neither storage nor tag behind.
tbs_status_t vob_create(const vob_create_args_t& args, tbs_uuid_t* uuid);
// Unregisters the tag and removes the storage; the site's administrator's only.
tbs_status_t vob_remove(const char* tag);

// Opens (or finds in the process cache) the VOB of a registry entry already read, of a tag
// or of a replica UUID.
tbs_status_t vob_open_entry(const rgy_vob_entry_t& entry, vob_t** vob);
tbs_status_t vob_open_by_tag(const char* tag, vob_t** vob);
tbs_status_t vob_open_by_uuid(const tbs_uuid_t& uuid, vob_t** vob);
// Drops cached handles: 1 and 2 keep nothing beyond the current request, 3 and 4
// also close databases.
void vob_ob_all_cache_action(int action);

// The VOB's generation number: it changes when the VOB is reformatted. (Not the change
// generation below.)
tbs_status_t vob_ob_get_gen_num(vob_t* vob, int64_t* gen);

// The change journal: every change to what a view may select or name (versions made or
// removed, checkouts made or ended, labels moved or removed, branches made or removed, a
// directory's names changed) names the element it touched under a change generation, one
// per writer transaction, increasing. A view brought up to date at generation G need only
// look again at the elements journalled after G, as long as the journal still holds them:
// it keeps the generations above its low-water mark `low`.
//
// The current change generation and the low-water mark, in one read.
tbs_status_t vob_change_state(vob_t* vob, int64_t* change_gen, int64_t* low);
// The elements journalled in generations (after, upto], each once, ascending; at most
// `max` of them (a caller asking for one more than it accepts learns there are more).
tbs_status_t vob_changes_since(vob_t* vob, int64_t after, int64_t upto, int64_t max,
                               std::vector<vob_dbid_t>* elements);
// Trims the journal to its last `keep` generations.
tbs_status_t vob_change_trim(vob_t* vob, int64_t keep);

#endif
