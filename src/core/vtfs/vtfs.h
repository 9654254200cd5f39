// The virtual file system of a dynamic view: a view's namespace as file operations, for
// the daemon (vdviewd) that mounts it. Nothing here knows the kernel interface; every
// operation takes a pathname inside the view ("/vobs/p/src/a.c") and the caller's
// identity, and answers 0 or a negative errno, as file systems do.
//
// What the view shows:
//   - "/" and the directories above VOB tags ("/vobs"), made from the registered tags;
//   - below a VOB tag, every element as the view's config spec selects it: directories
//     from their selected directory versions, files read from the content pool (streamed,
//     decompressed on the way, never copied whole), symbolic links; times, sizes and
//     modes as the versions record them (a file not checked out reads as read-only);
//   - version-extended names: "a.c@@" (the element: a directory of its branches),
//     "a.c@@/main" (a branch: its version numbers, "LATEST" and its sub-branches),
//     "a.c@@/main/3" (that version);
//   - the view's private files: a checked-out file is read from, and written to, its copy
//     in the view's private storage (made from the checked-out version at the first
//     write); a file or directory made in a checked-out directory is view-private until
//     mkelem makes it an element; view-private files may be removed and renamed.
// Everything else is read-only (EROFS). Reads need the element's read permission for the
// caller, by its owner, group and mode; writes to a checked-out file are its checkout
// user's; view-private files are the view owner's.
//
// Caching: what a path names is kept until the VOB's change journal names an element on
// that path (a checkin, a label moved, a name changed), or the view's config spec changes;
// both are looked at before each operation, so a change made elsewhere is seen at the next
// lookup. A journal trimmed past what was seen drops everything cached of that VOB.
// A version's bytes never change, so what the kernel caches of them stays good; a name
// whose version changes shows other bytes, which the daemon gives the kernel as another
// file (vtfs_content), so a handle open on the old version reads all of it (as a file
// replaced by rename keeps its bytes for those who have it open).
//
// Symbolic links never lead out of the view: a target that is absolute, or that climbs
// with ".." above the view's root, is given back relative to the link and clamped at the
// root, so the kernel's walk of it stays inside the mount.
//
// One vtfs_view serves one view; it is not safe for concurrent use (the daemon runs its
// file operations one at a time).
#ifndef CORE_VTFS_VTFS_H
#define CORE_VTFS_VTFS_H

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/tbs/tbs.h"
#include "core/vob/vob_obj.h"

struct view_t;

struct vtfs_caller {
    uid_t uid = 0;
    gid_t gid = 0;
};

// The bytes a name shows when they cannot change: a version's (not a checkout's, not a
// private file's). Two lookups that give the same content may share what the kernel
// cached of it; a name whose content changes is, to the kernel, a new file.
struct vtfs_content {
    vob_t* vob = nullptr;
    int64_t version = 0;
    bool operator==(const vtfs_content&) const = default;
};

struct vtfs_attr {
    mode_t mode = 0;  // type and permission bits
    uid_t uid = 0;
    gid_t gid = 0;
    int64_t size = 0;
    int64_t mtime = 0;
    unsigned nlink = 1;
};

// An open file: a version's bytes streamed from the pool, or a private file.
class vtfs_file {
public:
    ~vtfs_file();

private:
    friend class vtfs_view;
    vtfs_file() = default;
    int fd = -1;  // a private file
    vob_t* vob = nullptr;
    int64_t version = 0;
    std::unique_ptr<vob_content_stream> stream;
    uint64_t pos = 0;  // of the stream
};

class vtfs_view {
public:
    // Serves the dynamic view `tag` (the core's view and VOB caches of this process).
    static tbs_status_t open(const char* tag, std::unique_ptr<vtfs_view>* out);
    ~vtfs_view();

    const std::string& tag() const;

    // `content` (may be null) gets the name's unchanging content, or none.
    int getattr(const vtfs_caller& who, const char* path, vtfs_attr* out,
                vtfs_content* content = nullptr);
    // Calls `fill` with each name of a directory ("." and ".." first).
    int readdir(const vtfs_caller& who, const char* path,
                const std::function<void(const std::string&)>& fill);
    int readlink(const vtfs_caller& who, const char* path, std::string* target);
    // Opens for the access of `flags` (O_RDONLY, O_WRONLY, O_RDWR, O_TRUNC, O_APPEND);
    // `fixed` says the handle reads a version's bytes, which never change. With `want`,
    // the caller holds the name as it showed `want` and opens those bytes for reading even
    // when the name shows others now.
    int open(const vtfs_caller& who, const char* path, int flags, std::unique_ptr<vtfs_file>* out,
             bool* fixed, const vtfs_content* want = nullptr);
    int create(const vtfs_caller& who, const char* path, mode_t mode, int flags,
               std::unique_ptr<vtfs_file>* out);
    // Bytes read or written, or a negative errno.
    int read(vtfs_file* f, char* buf, size_t size, int64_t offset);
    int write(vtfs_file* f, const char* buf, size_t size, int64_t offset);
    int mkdir(const vtfs_caller& who, const char* path, mode_t mode);
    int unlink(const vtfs_caller& who, const char* path);
    int rmdir(const vtfs_caller& who, const char* path);
    // `noreplace` fails with EEXIST when `to` exists.
    int rename(const vtfs_caller& who, const char* from, const char* to, bool noreplace);
    int truncate(const vtfs_caller& who, const char* path, int64_t size);
    int chmod(const vtfs_caller& who, const char* path, mode_t mode);
    // Times in nanoseconds since the epoch; a negative one is left as it is.
    int utimens(const vtfs_caller& who, const char* path, int64_t atime_ns, int64_t mtime_ns);

    struct node;  // what a path names; see vtfs.cc

private:
    vtfs_view() = default;
    int resolve(const char* path, const node** out);
    int lookup(const std::string& path, node* out);
    tbs_status_t lookup_in_parent(const std::string& path, vob_resolved_t* r);
    void refresh();
    void forget(const std::string& path);
    int private_target(const vtfs_caller& who, const std::string& path, std::string* priv);

    view_t* view_ = nullptr;
    std::string owner_;       // the view's owner
    std::string cspec_seen_;  // the config spec the cache was made under
    std::vector<std::string> vob_tags_;
    std::map<std::string, std::unique_ptr<node>> cache_;
    struct seen_t {
        vob_t* vob;
        int64_t gen;
    };
    std::vector<seen_t> seen_;  // journal generation each VOB was read at
    // The database files behind what refresh() reads, as last seen: when none of them has
    // changed, neither has anything the queries would find.
    struct file_sig {
        uint64_t ino = 0;
        int64_t size = -1;
        int64_t mtime_ns = 0;
        bool operator==(const file_sig&) const = default;
    };
    std::vector<file_sig> signatures(bool* settled) const;
    std::vector<file_sig> sigs_;
    bool settled_ = false;  // the signatures are trustworthy (see refresh)
    // The databases are SQLite files whose logs show every commit; a store elsewhere
    // (PostgreSQL) shows nothing in the file system, and every refresh asks the databases.
    bool logs_show_commits_ = true;
    std::map<std::string, std::vector<std::string>> listings_;  // a directory's VOB names
    std::map<std::string, std::map<std::string, vob_dir_entry_t>> entries_;  // and entries
};

// The target to give back for a link at `link_path` whose text is `text`: `text` itself
// when it is relative and stays below the root, else the same place reached relative to
// the link's directory, with ".." clamped at the view's root.
std::string vtfs_contained_link(const std::string& link_path, const std::string& text);

#endif
