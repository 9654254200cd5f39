// Database access for the core: the one place where SQL is prepared and run.
//
// Every database of the system (the registry, each VOB, each view) is opened through
// `store_db`, and every module reaches its tables through statements prepared here. The
// database engine sits behind `store_backend`, a small interface in the manner of an object
// database backend: SQLite by default, and PostgreSQL for a site served by several hosts
// (pg_backend.cc; docs/scaling.md), chosen by the site setting `store` and taking its place
// without any caller changing. For that to hold, the SQL the core writes keeps to what both
// engines accept:
//
//   - Placeholders are plain `?`, numbered by position from 1; a PostgreSQL backend
//     rewrites them to `$1, $2, ...`. No `?NNN`, `:name` or `$name`.
//   - Column types are `BIGINT` for integers (64 bits in both; booleans are 0/1 and are
//     compared as `flag = 1`, never used bare), `TEXT` for text and for ids, digests and
//     other binary values written as hexadecimal, and `BLOB` only where bytes must be kept
//     as they are (a PostgreSQL backend reads that type name as `BYTEA` in migration
//     scripts). Bind values with the column's type: PostgreSQL does not convert text to
//     numbers.
//   - Ids are allocated explicitly with `store_txn::next_id` (a counter row updated in the
//     writer's transaction), never by `AUTOINCREMENT`, `rowid`, `SERIAL` or an
//     `INTEGER PRIMARY KEY` alias; tables declare `id BIGINT PRIMARY KEY`.
//   - Upserts are `INSERT ... ON CONFLICT (cols) DO UPDATE SET c = excluded.c` or
//     `... DO NOTHING`; never `INSERT OR REPLACE`, `INSERT OR IGNORE` or `REPLACE`. (An
//     `INSERT ... SELECT ... ON CONFLICT` needs `WHERE true` after the SELECT in SQLite.)
//   - `RETURNING` may be used on INSERT, UPDATE and DELETE (SQLite 3.35 and later).
//   - String literals in single quotes; identifiers lower case and unquoted. `COALESCE`,
//     not `IFNULL`; no `GLOB`, and no `LIKE` (its case rules differ): compare with `=`,
//     ranges or `substr`. No date functions: times are integer seconds the caller computes.
//   - Text order is byte order: SQLite compares with memcmp, and a PostgreSQL database is
//     created with the "C" collation.
//   - `CREATE TABLE IF NOT EXISTS`, `CREATE INDEX IF NOT EXISTS` and foreign keys with
//     `REFERENCES t (id)` are fine; no `WITHOUT ROWID`, no `STRICT`, no pragmas. Engine
//     settings (journal mode, pragmas, `BEGIN IMMEDIATE`) belong to the backend alone.
//   - SQL text is a constant of the calling code; values are always bound, never spliced
//     into the text (that also keeps the statement cache small).
//
// Connections. A process keeps one connection per database file: `store_db::open` of a
// path that is already open returns the same object, so every module shares one statement
// cache and one transaction. With a connection per module, a module beginning a writer
// transaction while another module of the same thread had one open would wait on its own
// process's lock until the busy timeout; with one connection it is refused at once.
// Processes share a database through SQLite's own locking; threads of one process share
// the connection and are serialized by it: a transaction holds the connection for its life.
// No other code opens a database file: closing any descriptor of it would drop the
// process's POSIX locks on it.
//
// A connection does not cross `fork`. SQLite keeps its record of the process's locks in
// memory, and a child gets a copy of it that no longer matches the locks it really holds
// (none): a connection the child opened on the same file could be refused a lock forever,
// or let another process delete the log under it. So a child can neither use the
// connections it inherited (TBS_ST_INVALID) nor open a database that its parent had open
// when it forked (TBS_ST_ERR); it opens other databases freely. A program that forks
// workers on a database forks them before opening it, or has them exec. The inherited
// copies are abandoned, never closed, so the parent's locks and files are left alone.
//
// Durability. The SQLite backend runs in WAL mode with `synchronous=NORMAL`: the log is
// flushed at checkpoints, not at every commit. A committed transaction survives the crash
// or kill of any process, which is what the core needs; an operating-system crash or power
// loss may undo the last few commits (ones a client was told had succeeded) but never
// corrupts the database or breaks its agreement with the content pool: contents are
// flushed before the transaction that refers to them commits, so a lost commit leaves
// unreferenced contents for garbage collection, never a reference without contents. Not
// losing acknowledged commits to a power cut would take `synchronous=FULL`, a log flush
// per commit.
//
// Errors map to core statuses (`store_status_for`) and the engine's message for the most
// recent failure is kept in `store_db::last_error()`.
#ifndef CORE_STORE_DB_H
#define CORE_STORE_DB_H

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "core/tbs/tbs.h"

enum class store_txn_kind {
    read,   // deferred: sees one consistent snapshot, never blocks writers in WAL mode
    write,  // takes the database's write lock at once (SQLite: BEGIN IMMEDIATE)
};

enum class store_step_t { row, done, error };

struct store_options {
    // How long a statement or `begin` waits for another process's lock before failing
    // with TBS_ST_BUSY.
    int busy_timeout_ms = 10000;
    // Create the database file when it does not exist.
    bool create = true;
};

// ---------------------------------------------------------------------------------------
// Backend interface. Implemented per engine; used only by store_db and its handles.

class store_backend_stmt {
public:
    virtual ~store_backend_stmt() = default;
    // Parameters are numbered from 1, columns from 0.
    virtual tbs_status_t bind_int64(int idx, int64_t v) = 0;
    virtual tbs_status_t bind_text(int idx, std::string_view v) = 0;
    virtual tbs_status_t bind_blob(int idx, const void* data, size_t len) = 0;
    virtual tbs_status_t bind_null(int idx) = 0;
    // Advances to the next row; `*row` false when the statement has finished.
    virtual tbs_status_t step(bool* row) = 0;
    // Back to the start with every parameter unbound (NULL).
    virtual void reset() = 0;
    virtual int column_count() = 0;
    virtual bool column_is_null(int col) = 0;
    virtual int64_t column_int64(int col) = 0;
    // Valid until the next step or reset.
    virtual std::string_view column_text(int col) = 0;
    virtual std::string_view column_blob(int col) = 0;
    // Forgets the statement without finalizing it: used in a child of `fork`.
    virtual void abandon() = 0;
};

class store_backend {
public:
    virtual ~store_backend() = default;
    // Compiles one statement; text after the first statement is refused.
    virtual tbs_status_t prepare(const char* sql, std::unique_ptr<store_backend_stmt>* out) = 0;
    // Runs a script of statements that return no rows (schema migrations).
    virtual tbs_status_t exec_script(const char* sql) = 0;
    virtual tbs_status_t begin(store_txn_kind kind) = 0;
    virtual tbs_status_t commit() = 0;
    // Harmless when the engine already ended the transaction itself.
    virtual tbs_status_t rollback() = 0;
    // The schema version number migrations advance (SQLite: PRAGMA user_version).
    virtual tbs_status_t schema_version(int64_t* version) = 0;
    virtual tbs_status_t set_schema_version(int64_t version) = 0;
    // Rows changed by the most recent INSERT, UPDATE or DELETE.
    virtual int64_t changes() = 0;
    virtual const std::string& last_error() const = 0;
    // Records a message of the store layer's own (misuse found before reaching the engine).
    virtual void set_error(std::string msg) = 0;
    // Forgets the connection without closing it: used in a child of `fork`.
    virtual void abandon() = 0;
    // Checks the database's own structure and its references between tables, appending
    // one line per fault found to `problems`; TBS_ST_OK when the check could run.
    virtual tbs_status_t check_integrity(std::vector<std::string>* problems) = 0;
    // A connection to a server that the server ended (a restart): `reconnect` makes it
    // again, with every statement prepared on it gone. A file engine is never lost.
    virtual bool lost() { return false; }
    virtual tbs_status_t reconnect() { return TBS_ST_OK; }
};

// Opens (and with `opts.create`, creates) the SQLite database at `path` in WAL mode with
// foreign keys enforced and the busy timeout set.
tbs_status_t store_sqlite_open(const char* path, const store_options& opts,
                               std::unique_ptr<store_backend>* out);

// Opens the database of `path` in the PostgreSQL database `conninfo` (a libpq connection
// URI): a schema of that database named after the path, with a marker file at `path`
// naming it (see pg_backend.cc). The busy timeout bounds every lock wait.
tbs_status_t store_pg_open(const char* conninfo, const char* path, const store_options& opts,
                           std::unique_ptr<store_backend>* out);
bool store_is_postgresql(std::string_view location);
// Drops the schema of the database of `path` and removes its marker file.
tbs_status_t store_pg_remove(const char* conninfo, const char* path, const store_options& opts,
                             std::string* error);

// Where this site keeps its databases: the environment's VERDANE_STORE when set (tests and
// tools that run one site both ways), else the site setting `store` (site.conf): empty or
// "sqlite" for SQLite files, a "postgresql:" URI for PostgreSQL.
std::string store_site_location();

// Core status for an SQLite result code (extended codes accepted) and the operating
// system's errno of the failure (0 when none): BUSY and LOCKED give TBS_ST_BUSY, a
// unique or primary-key violation TBS_ST_EXISTS, other constraints TBS_ST_ERR, CORRUPT
// and NOTADB TBS_ST_DAMAGED, I/O and open failures the errno when known, INTERRUPT
// TBS_ST_INTERRUPTED, anything else TBS_ST_ERR.
tbs_status_t store_status_for(int sqlite_rc, int sys_errno);

// ---------------------------------------------------------------------------------------

class store_db;

// A prepared statement borrowed from the connection's cache. Binding failures are kept
// and reported by the next `step`. On destruction (or `release`) the statement is reset,
// its parameters unbound, and it goes back to the cache. A handle holds the connection:
// use it on the thread that made it, and do not keep it past its transaction.
class store_stmt {
public:
    store_stmt() = default;
    store_stmt(store_stmt&& other) noexcept;
    store_stmt& operator=(store_stmt&& other) noexcept;
    store_stmt(const store_stmt&) = delete;
    store_stmt& operator=(const store_stmt&) = delete;
    ~store_stmt() { release(); }

    bool valid() const { return stmt_ != nullptr; }

    store_stmt& bind_int64(int idx, int64_t v);
    store_stmt& bind_text(int idx, std::string_view v);
    store_stmt& bind_blob(int idx, const void* data, size_t len);
    store_stmt& bind_null(int idx);

    // row: a row is ready for the column getters; done: finished; error: see `status()`.
    store_step_t step();
    // Runs a statement to its end, discarding rows; its status.
    tbs_status_t exec();
    // Status of the last failed bind or step; TBS_ST_OK otherwise.
    tbs_status_t status() const { return status_; }
    // Back to the first row with the current bindings cleared.
    void reset();
    void release();

    int column_count();
    bool column_is_null(int col);
    int64_t column_int64(int col);
    // Valid until the next step or reset.
    std::string_view column_text(int col);
    std::string column_string(int col) { return std::string(column_text(col)); }
    std::string_view column_blob(int col);

private:
    friend class store_db;
    store_db* db_ = nullptr;
    const std::string* sql_ = nullptr;  // the cache key; stable while the db lives
    std::unique_ptr<store_backend_stmt> stmt_;
    std::unique_lock<std::recursive_timed_mutex> hold_;
    tbs_status_t status_ = TBS_ST_OK;
};

// A transaction. Writers take the database's write lock when they begin; readers see one
// snapshot. Commit explicitly: a transaction that is destroyed uncommitted rolls back.
// A transaction holds the connection for its life, so other threads of the process wait,
// and one thread cannot open a second one on the same database.
class store_txn {
public:
    store_txn() = default;
    store_txn(store_txn&& other) noexcept;
    store_txn& operator=(store_txn&& other) noexcept;
    store_txn(const store_txn&) = delete;
    store_txn& operator=(const store_txn&) = delete;
    ~store_txn() { rollback(); }

    bool active() const { return db_ != nullptr; }
    store_db* db() const { return db_; }

    // The transaction has ended whatever the result; a failed commit has rolled back.
    tbs_status_t commit();
    tbs_status_t rollback();

    // Allocates the next id of the named counter (1, 2, ...): writers only. Counters live
    // in the table `store_counter`, made with the schema's first migration.
    tbs_status_t next_id(std::string_view counter, int64_t* id);

private:
    friend class store_db;
    store_db* db_ = nullptr;
    store_txn_kind kind_ = store_txn_kind::read;
    std::unique_lock<std::recursive_timed_mutex> hold_;
};

struct store_stats {
    uint64_t prepares = 0;  // statements compiled by the engine
    uint64_t reuses = 0;    // statements handed out again from the cache
};

// One database connection of this process, shared by every module that opens the path.
class store_db {
public:
    // Opens the database at `path` (the connection already open in this process when there
    // is one) and brings its schema up to date: `migrations[i]` is the script that takes
    // the schema from version i to i + 1, and each runs in its own writer transaction that
    // first checks the version again, so processes opening a new database at once apply
    // each script once. A database whose version is beyond the list fails (TBS_ST_ERR): it
    // was made by a newer program. Options of the first open of a path hold while it stays
    // open.
    static tbs_status_t open(const char* path, const store_options& opts,
                             std::span<const char* const> migrations,
                             std::shared_ptr<store_db>* out);
    // Engine's message for the calling thread's last failed `open`.
    static std::string open_error();
    // Removes the database at `path` for good, before its storage directory goes: the
    // SQLite file with its log, or the PostgreSQL schema with its marker. Nothing of this
    // process may have it open. A database that is not there is no failure.
    static tbs_status_t remove(const char* path);

    ~store_db();
    store_db(const store_db&) = delete;
    store_db& operator=(const store_db&) = delete;

    const std::string& path() const { return path_; }

    // Statement for `sql` (one statement), from the cache when possible.
    tbs_status_t prepare(const char* sql, store_stmt* out);
    // Prepares and runs a statement that returns no rows, without parameters.
    tbs_status_t exec(const char* sql);

    // Begins a transaction. A writer waiting longer than the busy timeout for another
    // process fails with TBS_ST_BUSY; so does a thread of this process that waits that
    // long for another thread's transaction.
    tbs_status_t begin(store_txn_kind kind, store_txn* out);

    // Runs `body` in a transaction and commits it when the body returns TBS_ST_OK. When
    // the begin, the body or the commit fails with TBS_ST_BUSY, the whole transaction
    // is rolled back and run again after a short random pause, up to `attempts` times in
    // all. The body must therefore have no effects outside the database.
    tbs_status_t transact(store_txn_kind kind, const std::function<tbs_status_t(store_txn&)>& body,
                          int attempts = 5);

    // The engine's check of the database file and of its foreign keys: one line per fault
    // in `problems` (none for a sound database). Reads only; runs outside any transaction.
    tbs_status_t check_integrity(std::vector<std::string>* problems);

    // Engine's message of the most recent failure on this connection.
    std::string last_error();
    // Rows changed by the most recent INSERT, UPDATE or DELETE.
    int64_t changes();
    int64_t schema_version();
    store_stats stats();

    // Invariant check for code that changes rows: the calling thread has a writer
    // transaction open on this connection. Store functions that write begin with it, the
    // way a B-tree asserts the locks its callers must hold; a violation aborts (assert).
    void assert_writer() const;

    // A number naming the transaction open on this connection, unique in the process and
    // never reused (0 when none is open): code that keeps something per transaction (the
    // VOB's change generation of a command) knows by it whether it is still in the same
    // one. A transaction retried by `transact` gets a new number.
    uint64_t txn_serial() const { return in_txn_ ? txn_serial_ : 0; }

private:
    friend class store_stmt;
    friend class store_txn;
    store_db(std::string path, std::unique_ptr<store_backend> backend, int busy_timeout_ms);
    tbs_status_t migrate(std::span<const char* const> migrations);
    void give_back(const std::string* sql, std::unique_ptr<store_backend_stmt> stmt);
    tbs_status_t reconnect_if_lost();
    tbs_status_t end_txn(bool commit);

    std::string path_;
    std::unique_ptr<store_backend> backend_;
    int busy_timeout_ms_;
    pid_t owner_pid_;
    std::recursive_timed_mutex mu_;
    bool in_txn_ = false;
    store_txn_kind txn_kind_ = store_txn_kind::read;  // of the open transaction
    std::thread::id txn_thread_;                      // that opened it
    uint64_t txn_serial_ = 0;                         // of the open transaction
    // Idle statements by SQL text; a text in use twice at once gets a second statement.
    std::unordered_map<std::string, std::vector<std::unique_ptr<store_backend_stmt>>> cache_;
    store_stats stats_;
};

#endif
