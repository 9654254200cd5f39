// Database access for the core: the SQLite backend, the per-process registry of open
// databases, statements, transactions and schema migrations.
#include "core/store/db.h"

#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <cassert>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <thread>

namespace {

// A text used as a statement in use twice at once gets a second statement; more idle
// copies than this are not worth keeping.
constexpr size_t kMaxIdlePerText = 4;

constexpr const char* kCounterTable =
    "CREATE TABLE IF NOT EXISTS store_counter ("
    " name TEXT PRIMARY KEY,"
    " next_id BIGINT NOT NULL)";

constexpr const char* kNextId =
    "INSERT INTO store_counter (name, next_id) VALUES (?, 1)"
    " ON CONFLICT (name) DO UPDATE SET next_id = store_counter.next_id + 1"
    " RETURNING next_id";

thread_local std::string t_open_error;

// ---------------------------------------------------------------------------------------
// SQLite backend

class sqlite_backend;

class sqlite_stmt final : public store_backend_stmt {
public:
    sqlite_stmt(sqlite_backend* be, sqlite3_stmt* st) : be_(be), st_(st) {}
    ~sqlite_stmt() override {
        if (st_) sqlite3_finalize(st_);
    }
    void abandon() override { st_ = nullptr; }

    tbs_status_t bind_int64(int idx, int64_t v) override {
        return check(sqlite3_bind_int64(st_, idx, v));
    }
    tbs_status_t bind_text(int idx, std::string_view v) override {
        // A null pointer would bind NULL instead of the empty text.
        return check(sqlite3_bind_text64(st_, idx, v.data() ? v.data() : "", v.size(),
                                         SQLITE_TRANSIENT, SQLITE_UTF8));
    }
    tbs_status_t bind_blob(int idx, const void* data, size_t len) override {
        return check(sqlite3_bind_blob64(st_, idx, data ? data : "", len, SQLITE_TRANSIENT));
    }
    tbs_status_t bind_null(int idx) override { return check(sqlite3_bind_null(st_, idx)); }
    tbs_status_t step(bool* row) override;
    void reset() override {
        sqlite3_reset(st_);  // repeats the last step's error, already reported
        sqlite3_clear_bindings(st_);
    }
    int column_count() override { return sqlite3_column_count(st_); }
    bool column_is_null(int col) override { return sqlite3_column_type(st_, col) == SQLITE_NULL; }
    int64_t column_int64(int col) override { return sqlite3_column_int64(st_, col); }
    std::string_view column_text(int col) override {
        auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st_, col));
        size_t n = static_cast<size_t>(sqlite3_column_bytes(st_, col));
        return p ? std::string_view(p, n) : std::string_view();
    }
    std::string_view column_blob(int col) override {
        auto* p = static_cast<const char*>(sqlite3_column_blob(st_, col));
        size_t n = static_cast<size_t>(sqlite3_column_bytes(st_, col));
        return p ? std::string_view(p, n) : std::string_view();
    }

private:
    tbs_status_t check(int rc);
    sqlite_backend* be_;
    sqlite3_stmt* st_;
};

class sqlite_backend final : public store_backend {
public:
    explicit sqlite_backend(sqlite3* db) : db_(db) {}
    ~sqlite_backend() override {
        if (db_) sqlite3_close_v2(db_);
    }

    // Records the connection's message for `rc` and returns its status.
    tbs_status_t fail(int rc) {
        int sys = db_ ? sqlite3_system_errno(db_) : 0;
        const char* msg = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
        error_ = msg ? msg : sqlite3_errstr(rc);
        int primary = rc & 0xff;
        if (sys > 0 &&
            (primary == SQLITE_IOERR || primary == SQLITE_CANTOPEN || primary == SQLITE_FULL ||
             primary == SQLITE_READONLY || primary == SQLITE_PERM)) {
            error_ += " (";
            error_ += strerror(sys);
            error_ += ")";
        }
        return store_status_for(rc, sys);
    }

    tbs_status_t prepare(const char* sql, std::unique_ptr<store_backend_stmt>* out) override {
        sqlite3_stmt* st = nullptr;
        const char* tail = nullptr;
        int rc = sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &st, &tail);
        if (rc != SQLITE_OK) return fail(rc);
        while (tail && (*tail == ' ' || *tail == '\t' || *tail == '\n' || *tail == ';')) ++tail;
        if (!st || (tail && *tail)) {
            sqlite3_finalize(st);
            error_ = st ? "text after the first statement" : "no statement in the text";
            return TBS_ST_INVALID;
        }
        *out = std::make_unique<sqlite_stmt>(this, st);
        return TBS_ST_OK;
    }

    tbs_status_t exec_script(const char* sql) override {
        int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
        return rc == SQLITE_OK ? TBS_ST_OK : fail(rc);
    }

    tbs_status_t begin(store_txn_kind kind) override {
        return exec_script(kind == store_txn_kind::write ? "BEGIN IMMEDIATE" : "BEGIN");
    }
    tbs_status_t commit() override { return exec_script("COMMIT"); }
    tbs_status_t rollback() override {
        // Some failures (a full disk, an I/O error) end the transaction themselves.
        if (sqlite3_get_autocommit(db_)) return TBS_ST_OK;
        return exec_script("ROLLBACK");
    }

    tbs_status_t schema_version(int64_t* version) override {
        sqlite3_stmt* st = nullptr;
        int rc = sqlite3_prepare_v2(db_, "PRAGMA user_version", -1, &st, nullptr);
        if (rc == SQLITE_OK) rc = sqlite3_step(st);
        if (rc == SQLITE_ROW) {
            *version = sqlite3_column_int64(st, 0);
            rc = SQLITE_OK;
        }
        tbs_status_t status = rc == SQLITE_OK ? TBS_ST_OK : fail(rc);
        sqlite3_finalize(st);
        return status;
    }
    tbs_status_t set_schema_version(int64_t version) override {
        char sql[64];
        snprintf(sql, sizeof sql, "PRAGMA user_version = %lld", static_cast<long long>(version));
        return exec_script(sql);
    }

    int64_t changes() override { return sqlite3_changes64(db_); }
    const std::string& last_error() const override { return error_; }
    void set_error(std::string msg) override { error_ = std::move(msg); }
    void abandon() override { db_ = nullptr; }
    tbs_status_t check_integrity(std::vector<std::string>* problems) override;

private:
    sqlite3* db_;
    std::string error_;
};

tbs_status_t sqlite_stmt::check(int rc) {
    return rc == SQLITE_OK ? TBS_ST_OK : be_->fail(rc);
}

tbs_status_t sqlite_stmt::step(bool* row) {
    int rc = sqlite3_step(st_);
    *row = rc == SQLITE_ROW;
    if (rc == SQLITE_ROW || rc == SQLITE_DONE) return TBS_ST_OK;
    return be_->fail(rc);
}

// Runs one pragma that answers with a text, e.g. "PRAGMA journal_mode=WAL".
tbs_status_t pragma_text(sqlite_backend* be, sqlite3* db, const char* sql, std::string* answer) {
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_step(st);
    if (rc == SQLITE_ROW) {
        auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        *answer = p ? p : "";
        rc = SQLITE_OK;
    }
    tbs_status_t status = rc == SQLITE_OK ? TBS_ST_OK : be->fail(rc);
    sqlite3_finalize(st);
    return status;
}

tbs_status_t sqlite_backend::check_integrity(std::vector<std::string>* problems) {
    // integrity_check answers "ok" alone for a sound file; foreign_key_check answers one row
    // (table, rowid, parent table, constraint) per dangling reference.
    struct check {
        const char* sql;
        bool fk;
    };
    static const check kChecks[] = {{"PRAGMA integrity_check(100)", false},
                                    {"PRAGMA foreign_key_check", true}};
    for (const check& c : kChecks) {
        sqlite3_stmt* st = nullptr;
        int rc = sqlite3_prepare_v2(db_, c.sql, -1, &st, nullptr);
        while (rc == SQLITE_OK && (rc = sqlite3_step(st)) == SQLITE_ROW) {
            auto text = [&](int col) {
                auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
                return std::string(p ? p : "");
            };
            if (!c.fk) {
                if (text(0) != "ok") problems->push_back("database: " + text(0));
            } else {
                problems->push_back("database: row " + text(1) + " of " + text(0) +
                                    " refers to a missing row of " + text(2));
            }
        }
        tbs_status_t status = rc == SQLITE_DONE ? TBS_ST_OK : fail(rc);
        sqlite3_finalize(st);
        if (status) return status;
    }
    return TBS_ST_OK;
}

// ---------------------------------------------------------------------------------------
// Registry of the databases this process has open, by canonical path.

struct registry {
    std::mutex mu;
    pid_t pid = 0;
    std::map<std::string, std::weak_ptr<store_db>> open;
    // Databases an ancestor process had open when it forked this one.
    std::set<std::string> inherited;
};

registry& the_registry() {
    static registry* r = new registry;  // never destroyed: databases may close after exit
    return *r;
}

// The path with its directory resolved, so that two spellings of one file meet.
std::string canonical_path(const char* path) {
    if (char* real = realpath(path, nullptr)) {
        std::string s(real);
        free(real);
        return s;
    }
    std::string p(path);
    size_t slash = p.rfind('/');
    std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : p.substr(0, slash);
    std::string leaf = slash == std::string::npos ? p : p.substr(slash + 1);
    if (char* real = realpath(dir.c_str(), nullptr)) {
        std::string s(real);
        free(real);
        return (s == "/" ? s : s + "/") + leaf;
    }
    return p;
}

}  // namespace

// ---------------------------------------------------------------------------------------

tbs_status_t store_status_for(int rc, int sys_errno) {
    switch (rc & 0xff) {
        case SQLITE_OK:
        case SQLITE_ROW:
        case SQLITE_DONE:
            return TBS_ST_OK;
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return TBS_ST_BUSY;
        case SQLITE_CONSTRAINT:
            if (rc == SQLITE_CONSTRAINT_UNIQUE || rc == SQLITE_CONSTRAINT_PRIMARYKEY)
                return TBS_ST_EXISTS;
            return TBS_ST_ERR;
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
            return TBS_ST_DAMAGED;
        case SQLITE_IOERR:
        case SQLITE_CANTOPEN:
        case SQLITE_READONLY:
        case SQLITE_PERM:
            return sys_errno > 0 ? tbs_errno2status(sys_errno) : TBS_ST_ERR;
        case SQLITE_FULL:
            return tbs_errno2status(sys_errno > 0 ? sys_errno : ENOSPC);
        case SQLITE_NOMEM:
            return tbs_errno2status(ENOMEM);
        case SQLITE_INTERRUPT:
            return TBS_ST_INTERRUPTED;
        default:
            return TBS_ST_ERR;
    }
}

std::string store_site_location() {
    const char* env = getenv("VERDANE_STORE");
    if (env && *env) return env;
    return tbs_site_setting("store");
}

tbs_status_t store_sqlite_open(const char* path, const store_options& opts,
                               std::unique_ptr<store_backend>* out) {
    sqlite3* db = nullptr;
    int flags =
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (opts.create ? SQLITE_OPEN_CREATE : 0);
    int rc = sqlite3_open_v2(path, &db, flags, nullptr);
    auto be = std::make_unique<sqlite_backend>(db);
    if (!db) {
        be->set_error("out of memory");
        out->reset(be.release());
        return tbs_errno2status(ENOMEM);
    }
    tbs_status_t st = rc == SQLITE_OK ? TBS_ST_OK : be->fail(rc);
    if (st == TBS_ST_OK) {
        sqlite3_extended_result_codes(db, 1);
        sqlite3_busy_timeout(db, opts.busy_timeout_ms);
        std::string mode;
        // The first read of the file happens here: a file that is not a database fails.
        st = pragma_text(be.get(), db, "PRAGMA journal_mode=WAL", &mode);
        if (st == TBS_ST_OK && mode != "wal") {
            be->set_error("the database cannot use write-ahead logging (journal mode " + mode +
                          ")");
            st = TBS_ST_ERR;
        }
    }
    if (st == TBS_ST_OK) st = be->exec_script("PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON");
    out->reset(be.release());
    return st;
}

// ---------------------------------------------------------------------------------------
// store_stmt

store_stmt::store_stmt(store_stmt&& other) noexcept {
    *this = std::move(other);
}

store_stmt& store_stmt::operator=(store_stmt&& other) noexcept {
    if (this != &other) {
        release();
        db_ = other.db_;
        sql_ = other.sql_;
        stmt_ = std::move(other.stmt_);
        hold_ = std::move(other.hold_);
        status_ = other.status_;
        other.db_ = nullptr;
        other.sql_ = nullptr;
    }
    return *this;
}

void store_stmt::release() {
    if (stmt_) db_->give_back(sql_, std::move(stmt_));
    db_ = nullptr;
    sql_ = nullptr;
    status_ = TBS_ST_OK;
    if (hold_.owns_lock()) hold_.unlock();
    hold_ = {};
}

store_stmt& store_stmt::bind_int64(int idx, int64_t v) {
    if (!stmt_) return *this;
    tbs_status_t st = stmt_->bind_int64(idx, v);
    if (st && !status_) status_ = st;
    return *this;
}

store_stmt& store_stmt::bind_text(int idx, std::string_view v) {
    if (!stmt_) return *this;
    tbs_status_t st = stmt_->bind_text(idx, v);
    if (st && !status_) status_ = st;
    return *this;
}

store_stmt& store_stmt::bind_blob(int idx, const void* data, size_t len) {
    if (!stmt_) return *this;
    tbs_status_t st = stmt_->bind_blob(idx, data, len);
    if (st && !status_) status_ = st;
    return *this;
}

store_stmt& store_stmt::bind_null(int idx) {
    if (!stmt_) return *this;
    tbs_status_t st = stmt_->bind_null(idx);
    if (st && !status_) status_ = st;
    return *this;
}

store_step_t store_stmt::step() {
    if (!stmt_) {
        status_ = TBS_ST_INVALID;
        return store_step_t::error;
    }
    if (status_) return store_step_t::error;  // a bind failed: do not run half-bound
    bool row = false;
    status_ = stmt_->step(&row);
    if (status_) return store_step_t::error;
    return row ? store_step_t::row : store_step_t::done;
}

tbs_status_t store_stmt::exec() {
    store_step_t r;
    while ((r = step()) == store_step_t::row) {
    }
    return r == store_step_t::done ? TBS_ST_OK : status_;
}

void store_stmt::reset() {
    if (!stmt_) return;
    stmt_->reset();
    status_ = TBS_ST_OK;
}

int store_stmt::column_count() {
    return stmt_ ? stmt_->column_count() : 0;
}
bool store_stmt::column_is_null(int col) {
    return stmt_ ? stmt_->column_is_null(col) : true;
}
int64_t store_stmt::column_int64(int col) {
    return stmt_ ? stmt_->column_int64(col) : 0;
}
std::string_view store_stmt::column_text(int col) {
    return stmt_ ? stmt_->column_text(col) : std::string_view();
}
std::string_view store_stmt::column_blob(int col) {
    return stmt_ ? stmt_->column_blob(col) : std::string_view();
}

// ---------------------------------------------------------------------------------------
// store_txn

store_txn::store_txn(store_txn&& other) noexcept {
    *this = std::move(other);
}

store_txn& store_txn::operator=(store_txn&& other) noexcept {
    if (this != &other) {
        rollback();
        db_ = other.db_;
        kind_ = other.kind_;
        hold_ = std::move(other.hold_);
        other.db_ = nullptr;
    }
    return *this;
}

tbs_status_t store_txn::commit() {
    if (!db_) return TBS_ST_INVALID;
    tbs_status_t st = db_->end_txn(true);
    db_ = nullptr;
    hold_.unlock();
    return st;
}

tbs_status_t store_txn::rollback() {
    if (!db_) return TBS_ST_OK;
    tbs_status_t st = db_->end_txn(false);
    db_ = nullptr;
    hold_.unlock();
    return st;
}

tbs_status_t store_txn::next_id(std::string_view counter, int64_t* id) {
    if (!db_ || !id || kind_ != store_txn_kind::write) return TBS_ST_INVALID;
    store_stmt s;
    tbs_status_t st = db_->prepare(kNextId, &s);
    if (st) return st;
    s.bind_text(1, counter);
    store_step_t r = s.step();
    if (r == store_step_t::error) return s.status();
    if (r == store_step_t::done) return TBS_ST_ERR;
    *id = s.column_int64(0);
    return s.exec();  // finishes the statement; RETURNING has one row
}

// ---------------------------------------------------------------------------------------
// store_db

store_db::store_db(std::string path, std::unique_ptr<store_backend> backend, int busy_timeout_ms)
    : path_(std::move(path)),
      backend_(std::move(backend)),
      busy_timeout_ms_(busy_timeout_ms),
      owner_pid_(getpid()) {}

store_db::~store_db() {
    if (getpid() == owner_pid_) {
        cache_.clear();  // every statement finalized before the connection closes
        return;
    }
    // Inherited across fork: leave the parent's connection and its locks untouched.
    for (auto& [sql, stmts] : cache_)
        for (auto& s : stmts) s->abandon();
    backend_->abandon();
}

std::string store_db::open_error() {
    return t_open_error;
}

tbs_status_t store_db::open(const char* path, const store_options& opts,
                            std::span<const char* const> migrations,
                            std::shared_ptr<store_db>* out) {
    if (!path || !*path || !out) return TBS_ST_INVALID;
    out->reset();
    t_open_error.clear();
    std::shared_ptr<store_db> db;
    {
        registry& reg = the_registry();
        std::lock_guard<std::mutex> lock(reg.mu);
        if (reg.pid != getpid()) {
            for (auto& [key, db] : reg.open)
                if (!db.expired()) reg.inherited.insert(key);
            reg.open.clear();  // the parent's connections are not ours
            reg.pid = getpid();
        }
        std::string key = canonical_path(path);
        if (reg.inherited.count(key)) {
            t_open_error =
                "the database was open in the parent process when this process was forked;"
                " it can be opened only by a new program";
            return TBS_ST_ERR;
        }
        auto it = reg.open.find(key);
        if (it != reg.open.end()) db = it->second.lock();
        if (!db) {
            std::unique_ptr<store_backend> be;
            std::string location = store_site_location();
            tbs_status_t st;
            if (location.empty() || location == "sqlite") {
                st = store_sqlite_open(path, opts, &be);
            } else if (store_is_postgresql(location)) {
                st = store_pg_open(location.c_str(), key.c_str(), opts, &be);
            } else {
                t_open_error = "the site setting store names no known store: " + location;
                return TBS_ST_ERR;
            }
            if (st) {
                t_open_error = be ? be->last_error() : "cannot open the database";
                return st;
            }
            db.reset(new store_db(key, std::move(be), opts.busy_timeout_ms));
            reg.open[key] = db;
        }
        for (auto i = reg.open.begin(); i != reg.open.end();)
            i = i->second.expired() ? reg.open.erase(i) : std::next(i);
    }
    tbs_status_t st = db->migrate(migrations);
    if (st) {
        t_open_error = db->last_error();
        return st;
    }
    *out = std::move(db);
    return TBS_ST_OK;
}

tbs_status_t store_db::remove(const char* path) {
    if (!path || !*path) return TBS_ST_INVALID;
    t_open_error.clear();
    std::string key = canonical_path(path);
    std::string location = store_site_location();
    if (store_is_postgresql(location))
        return store_pg_remove(location.c_str(), key.c_str(), store_options{}, &t_open_error);
    for (const char* suffix : {"-wal", "-shm", ""}) {
        std::string file = key + suffix;
        if (unlink(file.c_str()) != 0 && errno != ENOENT) {
            t_open_error = "cannot remove " + file + ": " + strerror(errno);
            return tbs_errno2status(errno);
        }
    }
    return TBS_ST_OK;
}

tbs_status_t store_db::migrate(std::span<const char* const> migrations) {
    const int64_t target = static_cast<int64_t>(migrations.size());
    for (;;) {
        store_txn txn;
        int64_t version = 0;
        {
            std::lock_guard<std::recursive_timed_mutex> lock(mu_);
            tbs_status_t st = backend_->schema_version(&version);
            if (st) return st;
        }
        if (version == target) return TBS_ST_OK;
        if (version < target) {
            tbs_status_t st = begin(store_txn_kind::write, &txn);
            if (st) return st;
            // Another process may have moved the schema on while this one waited.
            st = backend_->schema_version(&version);
            if (st) return st;
        }
        if (version > target) {
            backend_->set_error("the database's schema version " + std::to_string(version) +
                                " is newer than this program's " + std::to_string(target));
            return TBS_ST_ERR;
        }
        if (version == target) return TBS_ST_OK;
        tbs_status_t st = version == 0 ? backend_->exec_script(kCounterTable) : TBS_ST_OK;
        if (!st) st = backend_->exec_script(migrations[static_cast<size_t>(version)]);
        if (st) {
            backend_->set_error("schema migration " + std::to_string(version + 1) + ": " +
                                backend_->last_error());
            return st;
        }
        st = backend_->set_schema_version(version + 1);
        if (!st) st = txn.commit();
        if (st) return st;
    }
}

tbs_status_t store_db::prepare(const char* sql, store_stmt* out) {
    if (!sql || !out) return TBS_ST_INVALID;
    out->release();
    std::unique_lock<std::recursive_timed_mutex> hold(mu_, std::defer_lock);
    if (!hold.try_lock_for(std::chrono::milliseconds(busy_timeout_ms_))) {
        return TBS_ST_BUSY;
    }
    if (getpid() != owner_pid_) {
        backend_->set_error("the connection belongs to another process");
        return TBS_ST_INVALID;
    }
    if (!in_txn_) {
        tbs_status_t st = reconnect_if_lost();
        if (st) return st;
    }
    auto it = cache_.find(sql);
    bool fresh = it == cache_.end();
    if (fresh) it = cache_.emplace(sql, std::vector<std::unique_ptr<store_backend_stmt>>()).first;
    std::unique_ptr<store_backend_stmt> stmt;
    if (!it->second.empty()) {
        stmt = std::move(it->second.back());
        it->second.pop_back();
        ++stats_.reuses;
    } else {
        tbs_status_t st = backend_->prepare(sql, &stmt);
        if (st) {
            if (fresh) cache_.erase(it);
            return st;
        }
        ++stats_.prepares;
    }
    out->db_ = this;
    out->sql_ = &it->first;
    out->stmt_ = std::move(stmt);
    out->hold_ = std::move(hold);
    out->status_ = TBS_ST_OK;
    return TBS_ST_OK;
}

// A server that ended the connection between transactions (a restart) gets a new one,
// and every statement is prepared again; within a transaction the loss is its failure.
tbs_status_t store_db::reconnect_if_lost() {
    if (!backend_->lost()) return TBS_ST_OK;
    cache_.clear();
    return backend_->reconnect();
}

void store_db::give_back(const std::string* sql, std::unique_ptr<store_backend_stmt> stmt) {
    if (getpid() != owner_pid_) {
        stmt->abandon();
        return;
    }
    stmt->reset();
    auto& idle = cache_[*sql];
    if (idle.size() < kMaxIdlePerText) idle.push_back(std::move(stmt));
}

tbs_status_t store_db::exec(const char* sql) {
    store_stmt s;
    tbs_status_t st = prepare(sql, &s);
    return st ? st : s.exec();
}

tbs_status_t store_db::begin(store_txn_kind kind, store_txn* out) {
    if (!out) return TBS_ST_INVALID;
    out->rollback();
    std::unique_lock<std::recursive_timed_mutex> hold(mu_, std::defer_lock);
    if (!hold.try_lock_for(std::chrono::milliseconds(busy_timeout_ms_))) {
        return TBS_ST_BUSY;
    }
    if (getpid() != owner_pid_) {
        backend_->set_error("the connection belongs to another process");
        return TBS_ST_INVALID;
    }
    if (in_txn_) {
        backend_->set_error("a transaction is already open on this connection");
        return TBS_ST_INVALID;
    }
    tbs_status_t st = reconnect_if_lost();
    if (!st) st = backend_->begin(kind);
    if (st) return st;
    static std::atomic<uint64_t> serials{0};
    in_txn_ = true;
    txn_kind_ = kind;
    txn_thread_ = std::this_thread::get_id();
    txn_serial_ = ++serials;
    out->db_ = this;
    out->kind_ = kind;
    out->hold_ = std::move(hold);
    return TBS_ST_OK;
}

tbs_status_t store_db::end_txn(bool commit) {
    tbs_status_t st = commit ? backend_->commit() : backend_->rollback();
    if (commit && st) {
        std::string why = backend_->last_error();
        backend_->rollback();
        backend_->set_error(why);
    }
    in_txn_ = false;
    txn_thread_ = std::thread::id();
    return st;
}

void store_db::assert_writer() const {
    assert(in_txn_ && txn_kind_ == store_txn_kind::write &&
           txn_thread_ == std::this_thread::get_id());
}

tbs_status_t store_db::transact(store_txn_kind kind,
                                const std::function<tbs_status_t(store_txn&)>& body, int attempts) {
    thread_local std::minstd_rand rng(
        static_cast<unsigned>(getpid()) ^
        static_cast<unsigned>(std::hash<std::thread::id>()(std::this_thread::get_id())));
    tbs_status_t st = TBS_ST_OK;
    for (int attempt = 1;; ++attempt) {
        store_txn txn;
        st = begin(kind, &txn);
        if (!st) st = body(txn);
        if (!st && txn.active()) st = txn.commit();
        txn.rollback();
        if (st != TBS_ST_BUSY || attempt >= attempts) return st;
        // Apart at random, so that the waiters do not all come back at once.
        std::this_thread::sleep_for(std::chrono::milliseconds(5 + rng() % 45));
    }
}

tbs_status_t store_db::check_integrity(std::vector<std::string>* problems) {
    if (!problems) return TBS_ST_INVALID;
    std::lock_guard<std::recursive_timed_mutex> lock(mu_);
    if (getpid() != owner_pid_) return TBS_ST_INVALID;
    return backend_->check_integrity(problems);
}

std::string store_db::last_error() {
    std::lock_guard<std::recursive_timed_mutex> lock(mu_);
    return backend_->last_error();
}

int64_t store_db::changes() {
    std::lock_guard<std::recursive_timed_mutex> lock(mu_);
    return backend_->changes();
}

int64_t store_db::schema_version() {
    std::lock_guard<std::recursive_timed_mutex> lock(mu_);
    int64_t v = -1;
    return backend_->schema_version(&v) ? -1 : v;
}

store_stats store_db::stats() {
    std::lock_guard<std::recursive_timed_mutex> lock(mu_);
    return stats_;
}
