// A copy area: a directory tree kept in step with a web view, and what the client knows
// of it, in DIR/.vdweb/area.db (SQLite).
//
// The index holds one row per element the server has loaded into the area (its path
// relative to the area's root, as the view names it: "vobs/p/src/a.c"), with the object id
// and file handle the server sent, the version and config-spec rule, whether it is checked
// out, the SHA-256 of the version's bytes, and what the file looked like when the client
// last knew it to hold those bytes (size, modification and change times in nanoseconds,
// inode, and when that was noted). A file that no longer holds the version's bytes while
// not checked out is hijacked. A second table holds the records
// applied during the update in progress and not yet committed to the server, so that an
// update cut short (the client killed, the connection lost) is committed and recovered by
// the next one. Writes are batched in transactions the caller opens; a crash loses at most
// the rows of the open batch, and an update then simply receives those elements again.
#ifndef CLIENT_COPY_AREA_H
#define CLIENT_COPY_AREA_H

#include <sys/stat.h>
#include <sys/types.h>

#include <functional>
#include <map>
#include <memory>
#include <string>

struct sqlite3;
struct evp_md_ctx_st;
struct sqlite3_stmt;

namespace client {

struct Elem {
    std::string path;  // relative to the root, "/"-separated, no leading "/"
    char kind = 'f';   // 'f' file, 'd' directory, 'l' symbolic link
    std::string oid, dfh;
    std::string target;  // a link's target
    std::string tgt_dfh;
    std::string version;  // "/main/3"
    std::string rule;     // the config-spec rule that selected it
    bool checked_out = false;
    // The SHA-256 (hex) of the version's bytes; empty when the client never had them.
    std::string hash;
    // The file as it was when noted to hold `hash`; size -1 when it does not (a checkout
    // that took a hijacked file's bytes), and its contents must then be read to tell.
    long long size = -1;
    long long mtime_ns = -1;
    long long ctime_ns = -1;
    long long ino = -1;
    long long noted_ns = -1;  // the wall clock when the file was noted
};

// A record applied and not yet committed: what the commit of the session names.
struct AppliedItem {
    std::string dir, leaf;
    std::string oid;  // all zeros for an unload
    std::string dfh;
    bool slink = false;
    std::string tgt_dfh, tgt_leaf;
};

class CopyArea {
public:
    ~CopyArea();
    CopyArea(const CopyArea&) = delete;
    CopyArea& operator=(const CopyArea&) = delete;

    // Makes DIR a copy area (DIR may exist but must hold no copy area yet).
    static std::unique_ptr<CopyArea> create(const std::string& dir, std::string* error);
    // The copy area holding `path` (a directory or anything below one).
    static std::unique_ptr<CopyArea> find(const std::string& path, std::string* error);

    const std::string& root() const { return root_; }
    std::string abs(const std::string& rel) const {
        return rel.empty() ? root_ : root_ + "/" + rel;
    }
    // `path` (absolute, or relative to the working directory) as a path of the area; false
    // when it lies outside the area or inside its metadata.
    bool relative(const std::string& path, std::string* rel) const;
    std::string tmp_dir() const { return root_ + "/.vdweb/tmp"; }

    std::string get(const std::string& key) const;
    bool set(const std::string& key, const std::string& value);

    bool lookup(const std::string& path, Elem* out) const;
    bool put(const Elem& e);
    // Removes the rows of `path` and of everything below it.
    bool forget(const std::string& path);
    // Renames `from` (and everything below it) to `to`.
    bool move(const std::string& from, const std::string& to);
    // Every row at or below `path` ("" for all), in path order; stops when `fn` says false.
    bool each(const std::string& path, const std::function<bool(const Elem&)>& fn) const;

    bool add_applied(const AppliedItem& item);
    bool each_applied(const std::function<void(const AppliedItem&)>& fn) const;
    bool clear_applied();
    long long applied_count() const;

    // Holds the area's update lock until the area is closed (or the process ends, however
    // it ends); false when another process holds it. One update at a time per area: an
    // update may then take any session the server has in progress for the view as one of
    // its own that was cut short.
    bool lock_updates();
    // Whether another process holds the update lock now.
    bool update_running() const;

    // Batches: writes between begin() and end() go to disk together.
    bool begin();
    bool end();

    const std::string& error() const { return error_; }

private:
    explicit CopyArea(std::string root) : root_(std::move(root)) {}
    bool open(bool create);
    bool exec(const char* sql);
    bool fail(const char* what) const;
    // The statement for `sql`, prepared once; null when it does not prepare.
    sqlite3_stmt* prepare(const std::string& sql) const;

    std::string root_;
    sqlite3* db_ = nullptr;
    mutable std::map<std::string, sqlite3_stmt*> statements_;
    bool in_batch_ = false;
    int lock_fd_ = -1;
    mutable std::string error_;
};

// Whether the file at `abs` still holds what the index says it holds. Decided from its
// status where that can decide (size, times, inode all as noted, and the file changed
// long enough before it was noted that a later write cannot share its timestamps);
// otherwise from its contents against `e.hash`.
bool file_matches(const std::string& abs, const Elem& e);

// Notes the file's status `st` in `e` as the status of a file holding `e.hash`.
void note_file(Elem& e, const struct stat& st);

// A SHA-256 computed over bytes as they pass.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;
    bool update(const char* data, size_t n);
    // The digest in hex; empty when any step failed.
    std::string hex();

private:
    ::evp_md_ctx_st* ctx_;
    bool ok_;
};

// The SHA-256 (hex) of the file at `abs`; false when it cannot be read.
bool file_sha256(const std::string& abs, std::string* hex);

}  // namespace client

#endif  // CLIENT_COPY_AREA_H
