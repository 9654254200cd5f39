// Applies the update records of a response to a copy area.
#include "client/record_applier.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <vector>

#include "client/crash_hook.h"
#include "client/rpc_channel.h"
#include "core/util/fsys.h"
#include "request/vdw_req_args.h"

namespace client {

namespace {

namespace fs = std::filesystem;

constexpr int kBatch = 512;  // index rows written together

std::string join(const std::string& dir, const std::string& leaf) {
    if (dir.empty()) return leaf;
    if (leaf.empty()) return dir;
    return dir + "/" + leaf;
}

std::string pname(const std::string& text) {
    char buf[VDW_PNAME_BUF_SIZE];
    std::string s = VDW_ReqArgsParser::decode_pname(text.c_str(), buf);
    while (!s.empty() && s.front() == '/') s.erase(0, 1);
    while (!s.empty() && s.back() == '/') s.pop_back();
    return s;
}

// A name the server sends must stay inside the area: no absolute path, no "." or "..",
// nothing in the area's metadata.
bool safe_rel(const std::string& rel) {
    if (rel.empty()) return true;
    size_t start = 0;
    while (start <= rel.size()) {
        size_t end = rel.find('/', start);
        if (end == std::string::npos) end = rel.size();
        const std::string c = rel.substr(start, end - start);
        if (c.empty() || c == "." || c == "..") return false;
        if (start == 0 && c == ".vdweb") return false;
        start = end + 1;
    }
    return rel.find('\0') == std::string::npos;
}

bool yes(const std::string& v) {
    return v == "1";
}

bool same_bytes(const std::string& a, const std::string& b) {
    int fa = fsys_open(a.c_str(), O_RDONLY | O_CLOEXEC);
    int fb = fsys_open(b.c_str(), O_RDONLY | O_CLOEXEC);
    bool same = fa >= 0 && fb >= 0;
    char ba[65536], bb[65536];
    while (same) {
        ssize_t na = fsys_read(fa, ba, sizeof ba);
        ssize_t nb = na > 0 ? fsys_read(fb, bb, static_cast<size_t>(na)) : fsys_read(fb, bb, 1);
        if (na < 0 || nb < 0 || na != nb) {
            same = false;
        } else if (na == 0) {
            break;
        } else {
            same = memcmp(ba, bb, static_cast<size_t>(na)) == 0;
        }
    }
    if (fa >= 0) fsys_close(fa);
    if (fb >= 0) fsys_close(fb);
    return same;
}

// A free name beside `abs` for a file kept out of the way.
std::string keep_name(const std::string& abs) {
    std::string name = abs + ".keep";
    for (int i = 1; access(name.c_str(), F_OK) == 0 || errno != ENOENT; ++i)
        name = abs + ".keep." + std::to_string(i);
    return name;
}

// Opens a new file of a free name "<dir>/<kTempPrefix>XXXXXX", as mkstemp would (readable
// and writable by the owner only), but through the file-system seam.
int make_temp(const std::string& dir, std::string* path) {
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    static std::mt19937_64 rng{std::random_device{}()};
    for (int tries = 0; tries < 100; ++tries) {
        std::string name = dir + "/" + kTempPrefix;
        for (int i = 0; i < 6; ++i) name += kChars[rng() % (sizeof kChars - 1)];
        int fd = fsys_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) {
            *path = name;
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

}  // namespace

// The file of an element record, until its contents are in place.
struct RecordApplier::Pending {
    Elem elem;
    AppliedItem item;
    long mtime = 0;
    unsigned long fmode = 0644;
    bool omitted = false;
    bool skip = false;  // the contents go nowhere
    // A file that differs from its row: taken as the version only if it holds the version's
    // bytes already (an update stopped between writing it and noting it), else kept as
    // the user's hijacked file.
    bool only_if_same = false;
    std::string replica;
    std::string temp;
    int fd = -1;
    bool gz = false;
    bool gz_done = false;
    z_stream z{};
    bool z_open = false;
    std::unique_ptr<Sha256> sha;  // of the bytes written, as they are written

    ~Pending() {
        discard();
        if (z_open) inflateEnd(&z);
    }
    // Drops the temporary file: contents that cannot be written whole are not left about.
    void discard() {
        if (fd >= 0) fsys_close(fd);
        fd = -1;
        if (!temp.empty()) fsys_unlink(temp.c_str());
        temp.clear();
    }
    bool write_all(const char* data, size_t n) {
        if (sha) sha->update(data, n);
        while (n > 0) {
            ssize_t w = fsys_write(fd, data, n);
            if (w <= 0) return false;
            data += w;
            n -= static_cast<size_t>(w);
        }
        return true;
    }
};

RecordApplier::RecordApplier(CopyArea& area, RpcChannel& channel, Mode mode, Say warn)
    : area_(area), channel_(channel), mode_(mode), warn_(std::move(warn)) {}

RecordApplier::~RecordApplier() {
    flush();
}

bool RecordApplier::fail(const std::string& why) {
    if (error_.empty()) error_ = why;
    return false;
}

bool RecordApplier::finish() {
    if (pending_ && !settle()) return false;
    return flush();
}

bool RecordApplier::flush() {
    batch_ = 0;
    if (!area_.end()) return fail(area_.error());
    return true;
}

bool RecordApplier::record(const Elem& e, const AppliedItem& item) {
    if (batch_ == 0 && !area_.begin()) return fail(area_.error());
    if (!area_.put(e)) return fail(area_.error());
    if (mode_ == Mode::SESSION && !area_.add_applied(item)) return fail(area_.error());
    if (++batch_ >= kBatch && !flush()) return false;
    touched_.insert(e.path);
    ++stats_.elements;
    if (progress_) progress_(stats_);
    return true;
}

bool RecordApplier::streams(const Part& part) {
    if (part.name() != "SyncElemData" || !pending_) return false;
    Pending& p = *pending_;
    if (p.skip) return true;
    // Written beside its place: the rename is then within one directory, and the file
    // system allocates the file where it will stay.
    const std::string dir = fs::path(area_.abs(p.elem.path)).parent_path().string();
    std::string temp;
    p.fd = make_temp(dir, &temp);
    if (p.fd < 0) {
        fail("cannot write in " + dir + ": " + strerror(errno));
        return true;  // body() stops the reader
    }
    p.temp = temp;
    p.sha = std::make_unique<Sha256>();
    p.gz = part.header("Content-Type") == "application/x-gzip";
    if (p.gz) {
        p.z_open = inflateInit2(&p.z, 16 + MAX_WBITS) == Z_OK;
        if (!p.z_open) fail("cannot decompress");
    }
    return true;
}

bool RecordApplier::body(const char* data, size_t n) {
    if (!pending_) return false;
    Pending& p = *pending_;
    stats_.bytes += static_cast<long long>(n);
    if (p.skip) return true;
    if (p.fd < 0) return false;
    if (!p.gz) {
        if (p.write_all(data, n)) return true;
        fail("cannot write " + p.temp + ": " + strerror(errno));
        p.discard();
        return false;
    }
    if (!p.z_open) return false;
    p.z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    p.z.avail_in = static_cast<uInt>(n);
    char out[65536];
    while (p.z.avail_in > 0 && !p.gz_done) {
        p.z.next_out = reinterpret_cast<Bytef*>(out);
        p.z.avail_out = sizeof out;
        int rc = inflate(&p.z, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END) return fail("a compressed part is damaged");
        if (!p.write_all(out, sizeof out - p.z.avail_out)) {
            fail("cannot write " + p.temp + ": " + strerror(errno));
            p.discard();
            return false;
        }
        if (rc == Z_STREAM_END) p.gz_done = true;
    }
    return true;
}

bool RecordApplier::on_part(Part& part) {
    crash_step();
    const std::string& name = part.name();
    if (name == "SyncElemData") {
        if (!pending_) return fail("the server sent contents without their element");
        std::unique_ptr<Pending> p = std::move(pending_);
        if (p->skip) return true;
        if (p->gz && !p->gz_done) return fail("a compressed part ended early");
        return place(*p);
    }
    if (pending_ && !settle()) return false;
    if (name == "SyncFetchBegin") {
        began_ = true;
        session_id_ = part.header("SessionId");
        session_ts_ = part.header("SessionTimestamp");
        if (part.has("TextMode")) text_mode_ = part.header("TextMode");
        return true;
    }
    if (name == "SyncFetchEnd") {
        ended_ = true;
        completed_ok_ = yes(part.header("FetchCompletedOK"));
        return flush();
    }
    if (name == "SyncDirContext") {
        dir_ = pname(decode_header_value(part.header("Pname")));
        if (part.has("TextMode")) text_mode_ = part.header("TextMode");
        if (!safe_rel(dir_)) return fail("the server named a directory outside the area");
        return true;
    }
    if (name == "SyncElemInfo") return element(part);
    if (name == "SyncRenameElem") return rename(part);
    if (name == "SyncProgress") {
        stats_.server_count = atoll(part.header("CurElemCnt").c_str());
        if (progress_) progress_(stats_);
        return true;
    }
    return true;  // other records (for other clients) change nothing here
}

bool RecordApplier::clear_way(const std::string& path, const Elem* known, std::string* moved) {
    const std::string abs = area_.abs(path);
    struct stat st;
    if (fsys_lstat(abs.c_str(), &st) != 0) return true;
    if (known || adopted_.count(path)) {
        if (S_ISDIR(st.st_mode) && !(known && known->kind == 'd')) {
            if (rmdir(abs.c_str()) != 0)
                return fail("cannot replace the directory " + abs + ": it is not empty");
        }
        return true;
    }
    if (S_ISDIR(st.st_mode)) {
        if (rmdir(abs.c_str()) == 0) return true;
        return fail("a directory of files the view does not hold is in the way: " + abs);
    }
    const std::string keep = keep_name(abs);
    if (fsys_rename(abs.c_str(), keep.c_str()) != 0)
        return fail("cannot move " + abs + " out of the way: " + strerror(errno));
    if (moved)
        *moved = keep;
    else
        warn_("kept " + path + " as " + keep.substr(area_.root().size() + 1));
    return true;
}

bool RecordApplier::element(const Part& part) {
    const std::string leaf = decode_header_value(part.header("Leaf"));
    if (leaf.find('/') != std::string::npos || leaf == "." || leaf == "..")
        return fail("the server named an element outside the area");
    const std::string path = join(dir_, leaf);
    if (path.empty() || !safe_rel(path))
        return fail("the server named an element outside the area");
    if (part.has("ShortRec")) {
        const std::string failure = part.header("NextVerElemFailure");
        if (!failure.empty()) {
            ++stats_.failures;
            warn_("cannot load " + path + ": " + decode_header_value(failure));
            return true;
        }
        return unload(path);
    }
    Elem e;
    e.path = path;
    e.oid = part.header("NextVerOid");
    e.dfh = part.header("NextVerDfh");
    e.version = pname(part.header("NextVerId"));
    if (!e.version.empty() && e.version[0] != '/') e.version = "/" + e.version;
    e.rule = decode_header_value(part.header("NextVerCspecRule"));
    e.checked_out = yes(part.header("NextVerCheckedOut"));
    const bool slink = yes(part.header("NextVerIsSlink"));
    AppliedItem item;
    item.dir = dir_;
    item.leaf = leaf;
    item.oid = e.oid;
    item.dfh = e.dfh;
    item.slink = slink;
    Elem known;
    const bool has_known = area_.lookup(path, &known);
    const std::string abs = area_.abs(path);
    if (!make_dirs(dir_)) return false;

    if (slink) {
        e.kind = 'l';
        e.target = decode_header_value(part.header("NextVerSlinkTgtLeaf"));
        e.tgt_dfh = part.header("NextVerSlinkTgtDfh");
        item.tgt_dfh = e.tgt_dfh;
        item.tgt_leaf = e.target;
        if (!clear_way(path, has_known ? &known : nullptr)) return false;
        fsys_unlink(abs.c_str());
        checked_dirs_.clear();  // a directory may have become this link
        if (symlink(e.target.c_str(), abs.c_str()) != 0)
            return fail("cannot make the link " + abs + ": " + strerror(errno));
        return record(e, item);
    }
    if (part.header("NextVerFtype") == "Dir") {
        e.kind = 'd';
        struct stat st;
        if (fsys_lstat(abs.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            // A file moved aside for the directory goes back if the directory cannot be made.
            std::string kept;
            if (!clear_way(path, nullptr, &kept)) return false;
            if (fsys_mkdir(abs.c_str(), 0777) != 0 && errno != EEXIST) {
                const int err = errno;
                if (!kept.empty() && fsys_rename(kept.c_str(), abs.c_str()) != 0)
                    warn_("kept " + path + " as " + kept.substr(area_.root().size() + 1));
                return fail("cannot make the directory " + abs + ": " + strerror(err));
            }
            if (!kept.empty())
                warn_("kept " + path + " as " + kept.substr(area_.root().size() + 1));
        }
        return record(e, item);
    }

    e.kind = 'f';
    auto p = std::make_unique<Pending>();
    p->elem = e;
    p->item = item;
    p->mtime = atol(part.header("ModifiedTime").c_str());
    if (part.has("NextVerFmode"))
        p->fmode = strtoul(part.header("NextVerFmode").c_str(), nullptr, 10);
    p->omitted = yes(part.header("NextVerCltxtOmitted"));
    p->replica = part.header("NextReplicaUuid");
    struct stat st;
    const bool exists = fsys_lstat(abs.c_str(), &st) == 0;
    const bool hijacked = has_known && known.kind == 'f' && !known.checked_out && exists &&
                          !file_matches(abs, known) && !adopted_.count(path);
    if (adopted_.count(path) && exists && S_ISREG(st.st_mode)) {
        // A new element made from this file: the file is its contents.
        p->skip = true;
        pending_ = std::move(p);
        return keep_file(e, item, Holds::VERSION);
    }
    if (has_known && known.kind == 'f' && known.checked_out && e.checked_out && exists &&
        S_ISREG(st.st_mode)) {
        // Still checked out: the file is the user's work, whatever the server sends.
        p->skip = true;
        pending_ = std::move(p);
        e.hash = known.hash;
        return keep_file(e, item, Holds::OTHER);
    }
    if (hijacked) {
        if (!e.checked_out) {
            // The user's changes stay; the server's record is not taken either, so the
            // next update offers the element again.
            p->only_if_same = true;
            pending_ = std::move(p);
            return true;
        }
        // Checked out with the hijacked contents: they become the checkout's, and the
        // index goes on knowing the bytes of the version they were checked out from.
        p->skip = true;
        pending_ = std::move(p);
        e.hash = known.hash;
        return keep_file(e, item, Holds::OTHER);
    }
    if (p->omitted) {
        // What the area holds already: only the record changes.
        if (has_known && known.oid == e.oid && exists && file_matches(abs, known))
            return keep_file(e, item, Holds::VERSION);
        return fetch_by_url(*p);
    }
    pending_ = std::move(p);
    return true;
}

bool RecordApplier::keep_hijacked(const std::string& path) {
    ++stats_.kept;
    warn_("kept hijacked file " + path);
    return true;
}

bool RecordApplier::settle() {
    if (!pending_) return true;
    std::unique_ptr<Pending> p = std::move(pending_);
    if (p->skip) return true;
    if (p->only_if_same) return keep_hijacked(p->elem.path);
    // No contents came with the record: the server holds the area's file to be this version
    // already (an uncheckout that changed nothing, for one). A file that is there stays,
    // with the mode the new state asks for; one that is not is downloaded.
    const std::string abs = area_.abs(p->elem.path);
    struct stat st;
    if (fsys_lstat(abs.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return fetch_by_url(*p);
    // The server takes the file for this version, but the index may know better: a file
    // that left its checkout with bytes not its version's is kept aside and the version
    // fetched.
    Elem known;
    if (!p->elem.checked_out && area_.lookup(p->elem.path, &known) && known.kind == 'f' &&
        known.oid == p->elem.oid && !known.hash.empty() && !file_matches(abs, known)) {
        const std::string keep = keep_name(abs);
        if (fsys_rename(abs.c_str(), keep.c_str()) != 0)
            return fail("cannot move " + abs + " out of the way: " + strerror(errno));
        warn_("kept " + p->elem.path + " as " + keep.substr(area_.root().size() + 1));
        return fetch_by_url(*p);
    }
    return keep_file(p->elem, p->item, Holds::VERSION);
}

bool RecordApplier::keep_file(Elem& e, const AppliedItem& item, Holds holds) {
    const std::string abs = area_.abs(e.path);
    struct stat st;
    if (fsys_lstat(abs.c_str(), &st) != 0) return fail("cannot read " + abs);
    // Writable while checked out, read-only otherwise.
    const mode_t m = st.st_mode & 07777;
    chmod(abs.c_str(), e.checked_out ? (m | 0200) : (m & ~0222));
    if (holds == Holds::OTHER) {
        // Nothing about the file tells whether it holds the version: its contents will.
        e.size = e.mtime_ns = e.ctime_ns = e.ino = e.noted_ns = -1;
        return record(e, item);
    }
    // Status first, then the bytes: a write between the two makes the status noted stale,
    // never the hash wrong for it.
    if (fsys_lstat(abs.c_str(), &st) != 0) return fail("cannot read " + abs + " back");
    if (!file_sha256(abs, &e.hash)) return fail("cannot read " + abs);
    note_file(e, st);
    return record(e, item);
}

bool RecordApplier::fetch_by_url(Pending& p) {
    auto streams = [&](const Part& part) { return this->streams(part); };
    std::unique_ptr<Pending> keep;
    // streams() and body() work on pending_: lend it this element for the download.
    pending_.reset(new Pending());
    pending_->elem = p.elem;
    pending_->item = p.item;
    pending_->mtime = p.mtime;
    pending_->fmode = p.fmode;
    bool placed = false;
    CallResult r = channel_.get(
        "cltxt/" + p.replica + "/" + p.elem.oid + "/" + text_mode_,
        [&](Part& part) {
            if (part.name() != "SyncElemData" || !pending_) return true;
            std::unique_ptr<Pending> got = std::move(pending_);
            placed = place(*got);
            return placed;
        },
        streams, [&](const char* d, size_t n) { return body(d, n); });
    pending_.reset();
    if (!r.ok && error_.empty()) return fail("cannot download " + p.elem.path + ": " + r.message());
    return placed;
}

bool RecordApplier::place(Pending& p) {
    Elem& e = p.elem;
    const std::string abs = area_.abs(e.path);
    if (p.only_if_same) {
        if (!same_bytes(abs, p.temp)) return keep_hijacked(e.path);
        e.hash = p.sha ? p.sha->hex() : "";
        return keep_file(e, p.item, Holds::VERSION);
    }
    Elem known;
    const bool has_known = area_.lookup(e.path, &known);
    struct stat st;
    const bool exists = fsys_lstat(abs.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    mode_t mode = (p.fmode & 0111) ? 0755 : 0644;
    mode_t mask = umask(0);
    umask(mask);
    mode &= ~mask;
    if (!e.checked_out) mode &= ~0222;
    // On disk before it takes the old file's place: a crash after the rename must find the
    // new bytes under the name, never an empty or partial file.
    if (fsys_fsync(p.fd) != 0 || fchmod(p.fd, mode) != 0)
        return fail("cannot write " + p.temp + ": " + strerror(errno));
    const int fd = p.fd;
    p.fd = -1;
    if (fsys_close(fd) != 0) return fail("cannot write " + p.temp + ": " + strerror(errno));
    if (p.mtime > 0) {
        struct timespec times[2] = {{0, UTIME_OMIT}, {p.mtime, 0}};
        utimensat(AT_FDCWD, p.temp.c_str(), times, 0);
    }
    // The new file is whole and on disk before anything in the area moves; a file moved
    // aside for it goes back to its name if the new one cannot take its place, so that a
    // failed update leaves the old bytes under the name the index knows.
    std::string kept;
    if (!has_known && !adopted_.count(e.path) && exists && same_bytes(abs, p.temp)) {
        // A file the area did not know yet holds exactly these bytes: take it over.
    } else if (has_known && known.checked_out && exists && !same_bytes(abs, p.temp)) {
        // A checkout's work is never overwritten: it is kept beside the version.
        kept = keep_name(abs);
        if (fsys_rename(abs.c_str(), kept.c_str()) != 0)
            return fail("cannot move " + abs + " out of the way: " + strerror(errno));
    } else if (!clear_way(e.path, has_known ? &known : nullptr, &kept)) {
        return false;
    }
    crash_step();
    if (fsys_rename(p.temp.c_str(), abs.c_str()) != 0) {
        const int err = errno;
        if (!kept.empty() && fsys_rename(kept.c_str(), abs.c_str()) != 0)
            warn_("kept " + e.path + " as " + kept.substr(area_.root().size() + 1));
        return fail("cannot write " + abs + ": " + strerror(err));
    }
    p.temp.clear();
    if (!kept.empty()) warn_("kept " + e.path + " as " + kept.substr(area_.root().size() + 1));
    crash_step();
    if (fsys_lstat(abs.c_str(), &st) != 0) return fail("cannot read " + abs + " back");
    e.hash = p.sha ? p.sha->hex() : "";
    if (e.hash.empty() && !file_sha256(abs, &e.hash)) return fail("cannot read " + abs);
    note_file(e, st);
    return record(e, p.item);
}

bool RecordApplier::unload(const std::string& path) {
    std::vector<Elem> below;
    if (!area_.each(path, [&](const Elem& e) {
            below.push_back(e);
            return true;
        }))
        return fail(area_.error());
    // Children before their directories.
    for (auto it = below.rbegin(); it != below.rend(); ++it) {
        const std::string abs = area_.abs(it->path);
        if (!inside(fs::path(it->path).parent_path().string())) return false;
        if (it->kind == 'd') {
            if (rmdir(abs.c_str()) != 0 && errno != ENOENT)
                warn_("kept " + it->path + ": it holds files the view does not");
        } else if (it->kind == 'f' && (it->checked_out || !file_matches(abs, *it))) {
            struct stat st;
            if (fsys_lstat(abs.c_str(), &st) == 0)
                warn_("kept " + it->path + (it->checked_out ? " (checked out)" : " (hijacked)"));
        } else {
            fsys_unlink(abs.c_str());
        }
    }
    checked_dirs_.clear();
    if (batch_ == 0 && !area_.begin()) return fail(area_.error());
    if (!area_.forget(path)) return fail(area_.error());
    AppliedItem item;
    size_t slash = path.rfind('/');
    item.dir = slash == std::string::npos ? "" : path.substr(0, slash);
    item.leaf = slash == std::string::npos ? path : path.substr(slash + 1);
    item.oid = std::string(32, '0');
    if (mode_ == Mode::SESSION && !area_.add_applied(item)) return fail(area_.error());
    if (++batch_ >= kBatch && !flush()) return false;
    touched_.insert(path);
    ++stats_.elements;
    return true;
}

bool RecordApplier::inside(const std::string& rel_dir) {
    if (rel_dir.empty() || checked_dirs_.count(rel_dir)) return true;
    // Every directory on the way must be a real directory of the area: a symbolic link
    // the view holds must never lead a write out of it.
    std::string at;
    size_t start = 0;
    while (start <= rel_dir.size()) {
        size_t end = rel_dir.find('/', start);
        if (end == std::string::npos) end = rel_dir.size();
        at = rel_dir.substr(0, end);
        if (!checked_dirs_.count(at)) {
            struct stat st;
            if (fsys_lstat(area_.abs(at).c_str(), &st) != 0) return true;  // nothing there yet
            if (!S_ISDIR(st.st_mode))
                return fail("the server wrote through " + at + ", which is not a directory");
            checked_dirs_.insert(at);
        }
        start = end + 1;
    }
    return true;
}

bool RecordApplier::make_dirs(const std::string& rel_dir) {
    if (rel_dir.empty() || checked_dirs_.count(rel_dir)) return true;
    size_t start = 0;
    while (start <= rel_dir.size()) {
        size_t end = rel_dir.find('/', start);
        if (end == std::string::npos) end = rel_dir.size();
        const std::string at = rel_dir.substr(0, end);
        if (!checked_dirs_.count(at)) {
            struct stat st;
            if (fsys_lstat(area_.abs(at).c_str(), &st) != 0) {
                if (fsys_mkdir(area_.abs(at).c_str(), 0777) != 0 && errno != EEXIST)
                    return fail("cannot make the directory " + area_.abs(at) + ": " +
                                strerror(errno));
                if (fsys_lstat(area_.abs(at).c_str(), &st) != 0) return fail("cannot read " + at);
            }
            if (!S_ISDIR(st.st_mode))
                return fail("the server wrote through " + at + ", which is not a directory");
            checked_dirs_.insert(at);
        }
        start = end + 1;
    }
    return true;
}

bool RecordApplier::rename(const Part& part) {
    const std::string from = join(pname(decode_header_value(part.header("SrcDirPname"))),
                                  decode_header_value(part.header("SrcName")));
    const std::string to = join(pname(decode_header_value(part.header("DstDirPname"))),
                                decode_header_value(part.header("DstName")));
    if (from.empty() || to.empty() || !safe_rel(from) || !safe_rel(to))
        return fail("the server named a rename outside the area");
    const std::string to_dir = fs::path(to).parent_path().string();
    const std::string from_dir = fs::path(from).parent_path().string();
    if (!inside(from_dir) || !make_dirs(to_dir)) return false;
    struct stat st;
    if (fsys_lstat(area_.abs(from).c_str(), &st) == 0) {
        if (!clear_way(to, nullptr)) return false;
        if (fsys_rename(area_.abs(from).c_str(), area_.abs(to).c_str()) != 0)
            return fail("cannot rename " + from + " to " + to + ": " + strerror(errno));
        checked_dirs_.clear();
    }
    if (batch_ == 0 && !area_.begin()) return fail(area_.error());
    if (!area_.move(from, to)) return fail(area_.error());
    if (++batch_ >= kBatch && !flush()) return false;
    return true;
}

}  // namespace client
