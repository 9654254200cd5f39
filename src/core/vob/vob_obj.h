// VOB objects: facts about elements, branches, versions and types; version id strings;
// object selectors; pathname resolution through directory versions.
//
// Pathnames name a VOB by its tag followed by the path inside it ("/vobs/proj/src/a.c").
// A version-extended name adds "@@" and a version, branch or nothing to the last component
// ("src/a.c@@/main/3", "src/a.c@@/main/LATEST", "src/a.c@@/main/REL1", "src/a.c@@/main",
// "src/a.c@@" for the element itself). Without "@@", each element on the way is seen in the
// version the lookup's version selection chooses: by default the version checked out in the
// lookup's view, else the latest version of its main branch. Views install their own
// selection (their config spec).
//
// Selectors name objects without a path: "oid:<32 hex>@<vob>", "dbid:<n>@<vob>",
// "lbtype:NAME@<vob>" and likewise "brtype:", "attype:", "hltype:", "eltype:", "trtype:",
// the change-management objects of a project VOB ("stream:NAME@<pvob>", "activity:",
// "baseline:", "project:", "folder:", "component:"; see xcm.h), and a VOB itself as "vob:<tag>",
// "vobuuid:<family uuid>" or "replica_uuid:<replica uuid>"; <vob> is any of those three VOB forms,
// or a bare VOB tag.
#ifndef CORE_VOB_VOB_OBJ_H
#define CORE_VOB_VOB_OBJ_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/tbs/tbs.h"
#include "core/vob/vob.h"

enum {
    VOB_MAX_NAME = 255,  // one pathname component or type name
    VOB_MAX_PNAME = 4096,
    VOB_MAX_COMMENT = 65536,  // comments longer than this are refused
    VOB_MAX_SLINK_DEPTH = 32,
};

// Version selection: chooses the version of `element` a lookup without "@@" sees; 0 in
// `*version` when nothing is selected (the name is then not found in that view).
typedef tbs_status_t (*vob_select_proc_t)(void* ctx, vob_t* vob, vob_dbid_t element,
                                          const char* pname, vob_dbid_t* version);

// The view a lookup and a command act in. The null view (all zeros) is the server's own,
// used by vdtool; its checkouts are seen by lookups in the null view.
struct vob_view_ctx_t {
    tbs_uuid_t view_uuid{};
    vob_select_proc_t select = nullptr;  // null: checked out in this view, else /main/LATEST
    void* select_ctx = nullptr;
};

struct vob_obj_info_t {
    vob_dbid_t dbid = 0;
    int mtype = 0;
    tbs_oid_t oid{};
    std::string owner;
    std::string group;
    int mode = 0;
    int64_t created = 0;
    std::string creator;
};

struct vob_version_info_t {
    vob_dbid_t dbid = 0;
    vob_dbid_t element = 0;
    vob_dbid_t branch = 0;
    int64_t number = 0;  // -1 for a checked-out version
    bool checked_out = false;
    bool is_dir = false;
    std::string branch_path;  // "/main" or "/main/dev"
    std::string content;      // content-pool name ("" for directories)
    int64_t size = 0;
    std::string comment;
    int64_t created = 0;
    std::string creator;
    vob_dbid_t predecessor = 0;  // 0 for /main/0
};

struct vob_checkout_info_t {
    vob_dbid_t dbid = 0;  // the checked-out version
    vob_dbid_t element = 0;
    vob_dbid_t branch = 0;
    vob_dbid_t pred_version = 0;
    tbs_uuid_t view_uuid{};
    bool reserved = false;
    std::string user;
    int64_t at = 0;
    std::string comment;
};

struct vob_type_info_t {
    vob_dbid_t dbid = 0;
    int mtype = 0;
    std::string name;
    int merge_type = 0;
    std::string type_manager;
};

struct vob_dir_entry_t {
    std::string name;
    vob_dbid_t target = 0;
    int mtype = 0;  // of the target: element kinds or VOB_MTYPE_SLINK
};

struct vob_lock_info_t {
    bool locked = false;
    bool obsolete = false;
    std::vector<std::string> excluded;  // users the lock does not apply to
    std::string locker;
    int64_t at = 0;
};

struct vob_event_info_t {
    int64_t id = 0;
    vob_dbid_t obj = 0;
    std::string kind;
    std::string user;
    std::string host;
    int64_t at = 0;
    std::string comment;
};

// Object facts.
tbs_status_t vob_obj_get_info(vob_t* vob, vob_dbid_t dbid, vob_obj_info_t* out);
// The VOB's own object (its events, lock, protection and role map); 0 when unreadable.
vob_dbid_t vob_object_dbid(vob_t* vob);
tbs_status_t vob_obj_get_mtypes(vob_t* vob, vob_dbid_t dbid, int* mtype);
tbs_status_t vob_obj_oid_to_dbid(vob_t* vob, const tbs_oid_t& oid, vob_dbid_t* dbid);
tbs_status_t vob_elem_get_main_branch(vob_t* vob, vob_dbid_t element, vob_dbid_t* branch);
tbs_status_t vob_elem_get_type(vob_t* vob, vob_dbid_t element, vob_type_info_t* eltype);
tbs_status_t vob_ver_get_info(vob_t* vob, vob_dbid_t version, vob_version_info_t* out);
// "/main/3"; a checked-out version reads "/main/CHECKEDOUT".
tbs_status_t vob_ver_get_idstr(vob_t* vob, vob_dbid_t version, std::string* idstr);
// The version's bytes, written to `dest` (replaced whole, mode 0644); flushed to disk before
// they take its place when `flush` asks for it.
tbs_status_t vob_ver_get_cleartext(vob_t* vob, vob_dbid_t version, const char* dest,
                                   bool flush = false);
// The version's bytes as a stream, straight from the content pool: no copy is written.
// `read` gives up to `n` bytes in `*got`; 0 bytes with TBS_ST_OK is the end, reached only
// when the whole content matched its name (a damaged content fails its last read).
class vob_content_stream {
public:
    virtual ~vob_content_stream() = default;
    virtual tbs_status_t read(void* buf, size_t n, size_t* got) = 0;
    virtual uint64_t size() const = 0;
};
tbs_status_t vob_ver_open_content(vob_t* vob, vob_dbid_t version,
                                  std::unique_ptr<vob_content_stream>* out);
// The version's bytes as one gzip member, framed from the compressed form the content pool
// keeps (nothing is compressed again); `size()` is the member's size. TBS_ST_NOT_SUPPORTED
// when the pool keeps the bytes uncompressed (small, or not worth compressing) or the
// version has none: the caller then sends the bytes as they are. The member's deflate
// data is not inflated on the way; the file's length and framing are checked, and the
// client's gunzip checks the data against the CRC and size in the trailer, which is
// withheld when a check fails.
tbs_status_t vob_ver_open_gzip(vob_t* vob, vob_dbid_t version,
                               std::unique_ptr<vob_content_stream>* out);
tbs_status_t vob_branch_find(vob_t* vob, vob_dbid_t element, const char* branch_path,
                             vob_dbid_t* branch);
tbs_status_t vob_branch_latest(vob_t* vob, vob_dbid_t branch, vob_dbid_t* version);
tbs_status_t vob_slink_get_text(vob_t* vob, vob_dbid_t slink, std::string* text);
tbs_status_t vob_dir_list(vob_t* vob, vob_dbid_t dir_version, std::vector<vob_dir_entry_t>* out);
tbs_status_t vob_ver_list(vob_t* vob, vob_dbid_t element, std::vector<vob_version_info_t>* out);
tbs_status_t vob_ver_get_labels(vob_t* vob, vob_dbid_t version, std::vector<std::string>* out);
// The (element, version) pairs a label type `label` labels, by element; its cost follows how
// many elements carry the label, not the size of the VOB.
tbs_status_t vob_label_versions(vob_t* vob, const char* label,
                                std::vector<std::pair<vob_dbid_t, vob_dbid_t>>* out);
// Attributes of an object as (type name, value) pairs.
tbs_status_t vob_obj_get_attrs(vob_t* vob, vob_dbid_t obj,
                               std::vector<std::pair<std::string, std::string>>* out);
tbs_status_t vob_obj_get_lock(vob_t* vob, vob_dbid_t obj, vob_lock_info_t* out);
// Events newest first; an element's include those of its branches and versions.
tbs_status_t vob_obj_get_events(vob_t* vob, vob_dbid_t obj, std::vector<vob_event_info_t>* out);
tbs_status_t vob_type_find(vob_t* vob, int mtype, const char* name, vob_type_info_t* out);
tbs_status_t vob_type_get(vob_t* vob, vob_dbid_t dbid, vob_type_info_t* out);
// The types of one kind (VOB_MTYPE_LBTYPE ...) in the VOB, by name.
tbs_status_t vob_type_list(vob_t* vob, int mtype, std::vector<vob_type_info_t>* out);
// Where an element or symbolic link is named: every directory version that binds it (the
// checked-out ones too), with the directory's element and the name.
struct vob_binding_t {
    vob_dbid_t dir_version = 0;
    vob_dbid_t dir_element = 0;
    std::string name;
};
tbs_status_t vob_obj_get_bindings(vob_t* vob, vob_dbid_t target, std::vector<vob_binding_t>* out);
// Checkouts of an element (every view), or of the VOB when `element` is 0.
tbs_status_t vob_ob_next_ckouts(vob_t* vob, vob_dbid_t element,
                                std::vector<vob_checkout_info_t>* out);
// Checkouts made in one view, by element.
tbs_status_t vob_ob_view_ckouts(vob_t* vob, const tbs_uuid_t& view_uuid,
                                std::vector<vob_checkout_info_t>* out);
tbs_status_t vob_ckout_get(vob_t* vob, vob_dbid_t checkout, vob_checkout_info_t* out);
// Hyperlinks from or to an object: (type name, from, to, text).
struct vob_hlink_info_t {
    vob_dbid_t dbid = 0;
    std::string type;
    vob_dbid_t from = 0;
    vob_dbid_t to = 0;
    std::string text;
};
tbs_status_t vob_obj_get_hlinks(vob_t* vob, vob_dbid_t obj, std::vector<vob_hlink_info_t>* out);

// Whether a name is acceptable as one pathname component.
bool vob_utl_valid_name(const char* name);
// Whether `text` is a version number as pathnames write it: 1 to 18 decimal digits, so
// that it fits an int64.
bool vob_utl_is_number(const std::string& text);

// Selectors ---------------------------------------------------------------------------

enum vob_objsel_kind_t {
    VOB_SEL_NONE = 0,
    VOB_SEL_OID,
    VOB_SEL_DBID,
    VOB_SEL_VOB,    // the VOB itself
    VOB_SEL_TYPE,   // lbtype:, brtype:, ... (`mtype` says which)
    VOB_SEL_PNAME,  // a pathname, possibly version-extended
    VOB_SEL_XCM,    // stream:, activity:, baseline:, project:, folder:, component: (`mtype`)
};

enum vob_vobsel_kind_t { VOB_VOBSEL_TAG = 0, VOB_VOBSEL_FAMILY = 1, VOB_VOBSEL_REPLICA = 2 };

struct vob_objsel_t {
    vob_objsel_kind_t kind = VOB_SEL_NONE;
    int mtype = 0;     // for VOB_SEL_TYPE
    std::string name;  // type name, oid text, dbid text or pathname
    vob_vobsel_kind_t vob_kind = VOB_VOBSEL_TAG;
    std::string vob;  // tag or UUID text; empty when none was given
};

// Parses the text of a selector (syntax only; nothing is looked up). A text with no known
// prefix is a pathname.
tbs_status_t vob_utl_parse_objsel(const char* text, vob_objsel_t* out);
// Writes a selector: `prefix` ("oid", "dbid", "lbtype", ...), the name, and the VOB part
// ("vob:<tag>", "vobuuid:<uuid>" or "replica_uuid:<uuid>") when `vob_part` is given.
// Fails with TBS_ST_TOO_LONG instead of truncating.
tbs_status_t vob_utl_create_objsel(const char* prefix, const char* name, const char* vob_part,
                                   char* buf, size_t size);
// The readable selector of an object: a type's "lbtype:NAME@vob:<tag>", an element's or
// version's pathname in the VOB ("/vobs/p/src/a.c@@/main/3"), a VOB's "vob:<tag>", else
// "dbid:<n>@vob:<tag>".
tbs_status_t vob_obj_get_selector(vob_t* vob, vob_dbid_t dbid, char* buf, size_t size);
// The VOB's own selectors: "vob:<tag>", "vobuuid:<family>", "replica_uuid:<replica>".
std::string vob_selector(vob_t* vob, vob_vobsel_kind_t kind);

// Pathname resolution -------------------------------------------------------------------

enum {
    VOB_RESOLVE_NOFOLLOW = 0x1,   // a final symbolic link is the result, not its target
    VOB_RESOLVE_PARENT_OK = 0x2,  // a missing last component resolves its parent
};

struct vob_resolved_t {
    vob_t* vob = nullptr;
    vob_dbid_t dbid = 0;  // the object named: a version, element, branch or link
    int mtype = 0;
    vob_dbid_t element = 0;         // for versions, branches and elements
    vob_dbid_t version = 0;         // the version seen (a version-extended name's version)
    vob_dbid_t parent_element = 0;  // the directory the last component is in
    vob_dbid_t parent_version = 0;  // and its version seen
    std::string leaf;               // the last component
    std::string vob_path;           // the path inside the VOB, "/" for the root
    bool extended = false;          // named with "@@"
    bool exists = true;             // false: VOB_RESOLVE_PARENT_OK found only the parent
};

// Resolves a pathname ("/vobs/p/src/a.c", "/vobs/p/src/a.c@@/main/2") in a view. The
// VOB is the registered tag that is the longest prefix of the name.
tbs_status_t vob_resolve_pname(const char* pname, const vob_view_ctx_t* view, int flags,
                               vob_resolved_t* out);
// Resolves any selector or pathname to its VOB, dbid and metatype.
tbs_status_t vob_resolve_general(const char* text, const vob_view_ctx_t* view, vob_t** vob,
                                 vob_dbid_t* dbid, int* mtype);
// The version `view` selects for `element` (0 when none).
tbs_status_t vob_select_version(vob_t* vob, vob_dbid_t element, const char* pname,
                                const vob_view_ctx_t* view, vob_dbid_t* version);
// The pathname of an element in the VOB through the latest versions of main branches (the
// first name found), e.g. "/vobs/p/src/a.c".
tbs_status_t vob_elem_get_pname(vob_t* vob, vob_dbid_t element, std::string* pname);

// An object's description: a version's comment, or the comment of the event that made
// any other object ("" when it has none).
tbs_status_t vob_obj_get_description(vob_t* vob, vob_dbid_t dbid, std::string* text);

// Checks a VOB for damage: the database file and its references (the engine's own
// check), the rows the object model requires (an element's main branch, a branch's
// version 0, the row of each object's kind), and the pool against the database: every
// content a version refers to is present and reads back matching its name and size. Each
// problem found is one line in `problems`; the status is TBS_ST_OK when the check itself
// could run. Leftovers that damage nothing (see vob_check_leftovers) are not problems here.
tbs_status_t vob_check(vob_t* vob, std::vector<std::string>* problems);

// What failed writers left in the pool: contents no version refers to and temporary files
// a sweep would remove, each older than `min_age_s` (a younger content may belong to a
// checkin about to commit). One line per leftover in `found`; `stale_temps` (may be null)
// gets the count of temporaries among them.
tbs_status_t vob_check_leftovers(vob_t* vob, int64_t min_age_s, std::vector<std::string>* found,
                                 int* stale_temps);
// Removes the pool's stale temporary files (by the rule of content_pool.h); `removed` gets
// how many went.
tbs_status_t vob_sweep_temporaries(vob_t* vob, int* removed);

#endif
