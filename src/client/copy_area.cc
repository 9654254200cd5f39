// A copy area and its index.
#include "client/copy_area.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "client/crash_hook.h"

namespace client {

namespace {

namespace fs = std::filesystem;

const char* const kSchema =
    "CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value TEXT NOT NULL);"
    "CREATE TABLE IF NOT EXISTS elem(path TEXT PRIMARY KEY, kind TEXT NOT NULL, oid TEXT,"
    " dfh TEXT, target TEXT, tgt_dfh TEXT, version TEXT, rule TEXT, checked_out INTEGER,"
    " size INTEGER, mtime_ns INTEGER, hash TEXT, ctime_ns INTEGER, ino INTEGER,"
    " noted_ns INTEGER);"
    "CREATE TABLE IF NOT EXISTS applied(seq INTEGER PRIMARY KEY, dir TEXT, leaf TEXT, oid TEXT,"
    " dfh TEXT, slink INTEGER, tgt_dfh TEXT, tgt_leaf TEXT);";

// One use of a prepared statement: the area keeps each statement prepared for its whole
// life (an update runs the same few for every element), and a use resets it when it goes.
class Stmt {
public:
    explicit Stmt(sqlite3_stmt* s) : s_(s) {}
    ~Stmt() {
        if (s_) {
            sqlite3_reset(s_);
            sqlite3_clear_bindings(s_);
        }
    }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;
    bool ok() const { return s_ != nullptr; }
    Stmt& bind(int i, const std::string& v) {
        sqlite3_bind_text(s_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Stmt& bind(int i, long long v) {
        sqlite3_bind_int64(s_, i, v);
        return *this;
    }
    int step() { return s_ ? sqlite3_step(s_) : SQLITE_ERROR; }
    bool done() { return step() == SQLITE_DONE; }
    std::string text(int i) const {
        const unsigned char* t = sqlite3_column_text(s_, i);
        return t ? reinterpret_cast<const char*>(t) : "";
    }
    long long integer(int i) const { return sqlite3_column_int64(s_, i); }
    bool column_null(int i) const { return sqlite3_column_type(s_, i) == SQLITE_NULL; }

private:
    sqlite3_stmt* s_ = nullptr;
};

Elem read_elem(const Stmt& s) {
    Elem e;
    e.path = s.text(0);
    std::string kind = s.text(1);
    e.kind = kind.empty() ? 'f' : kind[0];
    e.oid = s.text(2);
    e.dfh = s.text(3);
    e.target = s.text(4);
    e.tgt_dfh = s.text(5);
    e.version = s.text(6);
    e.rule = s.text(7);
    e.checked_out = s.integer(8) != 0;
    e.size = s.integer(9);
    e.mtime_ns = s.integer(10);
    e.hash = s.text(11);
    e.ctime_ns = s.column_null(12) ? -1 : s.integer(12);
    e.ino = s.column_null(13) ? -1 : s.integer(13);
    e.noted_ns = s.column_null(14) ? -1 : s.integer(14);
    return e;
}

const char* const kElemColumns =
    "path, kind, oid, dfh, target, tgt_dfh, version, rule, checked_out, size, mtime_ns, hash,"
    " ctime_ns, ino, noted_ns";

// Columns an index made by an older client lacks; adding one that is there fails, harmlessly.
const char* const kAddedColumns[] = {
    "ALTER TABLE elem ADD COLUMN hash TEXT",
    "ALTER TABLE elem ADD COLUMN ctime_ns INTEGER",
    "ALTER TABLE elem ADD COLUMN ino INTEGER",
    "ALTER TABLE elem ADD COLUMN noted_ns INTEGER",
};

// A write to a file in the same tick of the file system's clock as its last change leaves
// its times as they were. A file whose last change lies within this much of the moment it
// was noted is "racily clean": only its contents tell (two seconds covers file systems
// that keep whole or even seconds).
constexpr long long kRacyNs = 2000000000LL;

long long ns_of(const struct timespec& t) {
    return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

long long now_ns() {
    struct timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
    return ns_of(t);
}

// Whether the status alone shows the file unchanged since it was noted.
bool status_unchanged(const struct stat& st, const Elem& e) {
    if (e.size < 0 || e.noted_ns < 0) return false;
    const long long changed = std::max(ns_of(st.st_mtim), ns_of(st.st_ctim));
    return st.st_size == e.size && ns_of(st.st_mtim) == e.mtime_ns &&
           ns_of(st.st_ctim) == e.ctime_ns && static_cast<long long>(st.st_ino) == e.ino &&
           changed < e.noted_ns - kRacyNs;
}

// The upper bound of the paths below `path` in the index's order: "p/" <= x < "p0".
std::string below_end(const std::string& path) {
    return path + "0";  // '0' follows '/'
}

}  // namespace

Sha256::Sha256() : ctx_(EVP_MD_CTX_new()) {
    ok_ = ctx_ && EVP_DigestInit_ex(ctx_, EVP_sha256(), nullptr) == 1;
}

Sha256::~Sha256() {
    EVP_MD_CTX_free(ctx_);
}

bool Sha256::update(const char* data, size_t n) {
    ok_ = ok_ && EVP_DigestUpdate(ctx_, data, n) == 1;
    return ok_;
}

std::string Sha256::hex() {
    unsigned char raw[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    if (!ok_ || EVP_DigestFinal_ex(ctx_, raw, &len) != 1) return "";
    ok_ = false;  // a digest is final once
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < len; ++i) {
        out.push_back(kHex[raw[i] >> 4]);
        out.push_back(kHex[raw[i] & 15]);
    }
    return out;
}

bool file_sha256(const std::string& abs, std::string* hex) {
    const int fd = open(abs.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    Sha256 sha;
    char buf[65536];
    ssize_t n = 0;
    bool ok = true;
    while (ok && (n = read(fd, buf, sizeof buf)) != 0) {
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0 && sha.update(buf, static_cast<size_t>(n));
    }
    close(fd);
    *hex = ok ? sha.hex() : "";
    return !hex->empty();
}

void note_file(Elem& e, const struct stat& st) {
    e.size = st.st_size;
    e.mtime_ns = ns_of(st.st_mtim);
    e.ctime_ns = ns_of(st.st_ctim);
    e.ino = static_cast<long long>(st.st_ino);
    e.noted_ns = now_ns();
}

bool file_matches(const std::string& abs, const Elem& e) {
    struct stat st;
    if (lstat(abs.c_str(), &st) != 0) return false;
    if (e.kind == 'd') return S_ISDIR(st.st_mode);
    if (e.kind == 'l') return S_ISLNK(st.st_mode);
    if (!S_ISREG(st.st_mode)) return false;
    if (status_unchanged(st, e)) return true;
    if (e.hash.empty()) {
        // A row from before hashes were kept: its size and modification time are all
        // there is to go by.
        return e.noted_ns < 0 && e.size == st.st_size && e.mtime_ns == ns_of(st.st_mtim);
    }
    std::string hex;
    return file_sha256(abs, &hex) && hex == e.hash;
}

CopyArea::~CopyArea() {
    if (lock_fd_ >= 0) close(lock_fd_);
    if (in_batch_) end();
    for (auto& [sql, stmt] : statements_) sqlite3_finalize(stmt);
    sqlite3_close(db_);
}

sqlite3_stmt* CopyArea::prepare(const std::string& sql) const {
    auto it = statements_.find(sql);
    if (it != statements_.end()) return it->second;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v3(db_, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) !=
        SQLITE_OK)
        return nullptr;
    statements_.emplace(sql, stmt);
    return stmt;
}

bool CopyArea::fail(const char* what) const {
    error_ = std::string(what) + ": " + (db_ ? sqlite3_errmsg(db_) : "no database");
    return false;
}

bool CopyArea::exec(const char* sql) {
    char* msg = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &msg) == SQLITE_OK) return true;
    error_ = std::string("the copy area's index: ") + (msg ? msg : "error");
    sqlite3_free(msg);
    return false;
}

bool CopyArea::open(bool create) {
    const std::string meta = root_ + "/.vdweb";
    std::error_code ec;
    if (create) {
        fs::create_directories(meta + "/tmp", ec);
        if (ec) {
            error_ = "cannot make " + meta + ": " + ec.message();
            return false;
        }
    }
    int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    if (sqlite3_open_v2((meta + "/area.db").c_str(), &db_, flags, nullptr) != SQLITE_OK)
        return fail("cannot open the copy area's index");
    sqlite3_busy_timeout(db_, 10000);
    if (!exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;") || !exec(kSchema))
        return false;
    for (const char* sql : kAddedColumns) sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    return true;
}

std::unique_ptr<CopyArea> CopyArea::create(const std::string& dir, std::string* error) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    fs::path root = fs::canonical(dir, ec);
    if (ec) {
        *error = "cannot make " + dir + ": " + ec.message();
        return nullptr;
    }
    if (fs::exists(root / ".vdweb")) {
        *error = root.string() + " is a copy area already";
        return nullptr;
    }
    std::unique_ptr<CopyArea> area(new CopyArea(root.string()));
    if (!area->open(true)) {
        *error = area->error_;
        return nullptr;
    }
    return area;
}

std::unique_ptr<CopyArea> CopyArea::find(const std::string& path, std::string* error) {
    std::error_code ec;
    fs::path p = fs::weakly_canonical(fs::absolute(path, ec), ec);
    for (; !p.empty(); p = p.parent_path()) {
        if (fs::is_regular_file(p / ".vdweb" / "area.db", ec)) {
            std::unique_ptr<CopyArea> area(new CopyArea(p.string()));
            if (!area->open(false)) {
                *error = area->error_;
                return nullptr;
            }
            return area;
        }
        if (p == p.root_path()) break;
    }
    *error = "not in a copy area (no .vdweb above " + path + ")";
    return nullptr;
}

bool CopyArea::relative(const std::string& path, std::string* rel) const {
    std::error_code ec;
    fs::path p = fs::weakly_canonical(fs::absolute(path, ec), ec);
    // The leaf itself is not resolved: a symbolic link names itself.
    fs::path given = fs::absolute(path, ec).lexically_normal();
    if (!given.filename().empty() && given.filename() != "." && given.filename() != "..")
        p = fs::weakly_canonical(given.parent_path(), ec) / given.filename();
    const std::string s = p.string();
    if (s == root_) {
        rel->clear();
        return true;
    }
    if (s.compare(0, root_.size() + 1, root_ + "/") != 0) return false;
    *rel = s.substr(root_.size() + 1);
    while (!rel->empty() && rel->back() == '/') rel->pop_back();
    return *rel != ".vdweb" && rel->compare(0, 7, ".vdweb/") != 0;
}

std::string CopyArea::get(const std::string& key) const {
    Stmt s(prepare("SELECT value FROM meta WHERE key = ?1"));
    s.bind(1, key);
    return s.step() == SQLITE_ROW ? s.text(0) : "";
}

bool CopyArea::set(const std::string& key, const std::string& value) {
    crash_step();
    Stmt s(
        prepare("INSERT INTO meta(key, value) VALUES(?1, ?2)"
                " ON CONFLICT(key) DO UPDATE SET value = excluded.value"));
    s.bind(1, key).bind(2, value);
    return s.done() || fail("cannot write the copy area's index");
}

bool CopyArea::lookup(const std::string& path, Elem* out) const {
    Stmt s(prepare((std::string("SELECT ") + kElemColumns + " FROM elem WHERE path = ?1").c_str()));
    s.bind(1, path);
    if (s.step() != SQLITE_ROW) return false;
    *out = read_elem(s);
    return true;
}

bool CopyArea::put(const Elem& e) {
    crash_step();
    Stmt s(prepare((std::string("INSERT OR REPLACE INTO elem(") + kElemColumns +
                    ") VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15)")
                       .c_str()));
    s.bind(1, e.path)
        .bind(2, std::string(1, e.kind))
        .bind(3, e.oid)
        .bind(4, e.dfh)
        .bind(5, e.target)
        .bind(6, e.tgt_dfh)
        .bind(7, e.version)
        .bind(8, e.rule)
        .bind(9, static_cast<long long>(e.checked_out))
        .bind(10, e.size)
        .bind(11, e.mtime_ns)
        .bind(12, e.hash)
        .bind(13, e.ctime_ns)
        .bind(14, e.ino)
        .bind(15, e.noted_ns);
    return s.done() || fail("cannot write the copy area's index");
}

bool CopyArea::forget(const std::string& path) {
    crash_step();
    Stmt s(prepare("DELETE FROM elem WHERE path = ?1 OR (path >= ?2 AND path < ?3)"));
    s.bind(1, path).bind(2, path + "/").bind(3, below_end(path));
    return s.done() || fail("cannot write the copy area's index");
}

bool CopyArea::move(const std::string& from, const std::string& to) {
    crash_step();
    Stmt s(
        prepare("UPDATE OR REPLACE elem SET path = ?2 || substr(path, length(?1) + 1)"
                " WHERE path = ?1 OR (path >= ?3 AND path < ?4)"));
    s.bind(1, from).bind(2, to).bind(3, from + "/").bind(4, below_end(from));
    return s.done() || fail("cannot write the copy area's index");
}

bool CopyArea::each(const std::string& path, const std::function<bool(const Elem&)>& fn) const {
    std::string sql = std::string("SELECT ") + kElemColumns + " FROM elem";
    if (!path.empty()) sql += " WHERE path = ?1 OR (path >= ?2 AND path < ?3)";
    sql += " ORDER BY path";
    Stmt s(prepare(sql.c_str()));
    if (!path.empty()) s.bind(1, path).bind(2, path + "/").bind(3, below_end(path));
    int rc;
    while ((rc = s.step()) == SQLITE_ROW)
        if (!fn(read_elem(s))) return true;
    return rc == SQLITE_DONE || fail("cannot read the copy area's index");
}

bool CopyArea::add_applied(const AppliedItem& i) {
    crash_step();
    Stmt s(
        prepare("INSERT INTO applied(dir, leaf, oid, dfh, slink, tgt_dfh, tgt_leaf)"
                " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)"));
    s.bind(1, i.dir)
        .bind(2, i.leaf)
        .bind(3, i.oid)
        .bind(4, i.dfh)
        .bind(5, static_cast<long long>(i.slink))
        .bind(6, i.tgt_dfh)
        .bind(7, i.tgt_leaf);
    return s.done() || fail("cannot write the copy area's index");
}

bool CopyArea::each_applied(const std::function<void(const AppliedItem&)>& fn) const {
    Stmt s(
        prepare("SELECT dir, leaf, oid, dfh, slink, tgt_dfh, tgt_leaf FROM applied ORDER BY seq"));
    int rc;
    while ((rc = s.step()) == SQLITE_ROW) {
        AppliedItem i;
        i.dir = s.text(0);
        i.leaf = s.text(1);
        i.oid = s.text(2);
        i.dfh = s.text(3);
        i.slink = s.integer(4) != 0;
        i.tgt_dfh = s.text(5);
        i.tgt_leaf = s.text(6);
        fn(i);
    }
    return rc == SQLITE_DONE || fail("cannot read the copy area's index");
}

bool CopyArea::clear_applied() {
    crash_step();
    return exec("DELETE FROM applied");
}

long long CopyArea::applied_count() const {
    Stmt s(prepare("SELECT count(*) FROM applied"));
    return s.step() == SQLITE_ROW ? s.integer(0) : 0;
}

bool CopyArea::lock_updates() {
    if (lock_fd_ >= 0) return true;
    const std::string path = root_ + "/.vdweb/update.lock";
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error_ = "cannot open " + path + ": " + strerror(errno);
        return false;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        error_ = "another update of " + root_ + " is running";
        return false;
    }
    lock_fd_ = fd;
    return true;
}

bool CopyArea::update_running() const {
    if (lock_fd_ >= 0) return false;
    const int fd = ::open((root_ + "/.vdweb/update.lock").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool held = flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(fd);
    return held;
}

bool CopyArea::begin() {
    if (in_batch_) return true;
    in_batch_ = exec("BEGIN IMMEDIATE");
    return in_batch_;
}

bool CopyArea::end() {
    if (!in_batch_) return true;
    in_batch_ = false;
    crash_step();
    const bool ok = exec("COMMIT");
    crash_step();
    return ok;
}

}  // namespace client
