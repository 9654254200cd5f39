// The PostgreSQL backend of the store (see db.h and docs/scaling.md).
//
// A site keeps all its databases in one PostgreSQL database: each database file of the
// SQLite layout (the registry, each VOB, each view) becomes a schema of its own, named
// from the file's canonical path, and the connection's search path is that schema alone,
// so the core's SQL and its migrations run unchanged. In place of the file, a small marker
// file at the same path names the schema: the storage directory still says whether the
// database exists, and one that is removed and made again starts empty, as a new SQLite
// file would.
//
// Transactions. A writer takes a transaction-scoped advisory lock keyed by its schema,
// which serializes the writers of one database as SQLite's BEGIN IMMEDIATE does; it runs
// in READ COMMITTED, so each statement sees every writer that committed before. A reader
// runs in REPEATABLE READ and sees one snapshot. Waiting for a lock is bounded by
// lock_timeout (the busy timeout); a lock timeout, a serialization failure and a deadlock
// give TBS_ST_BUSY, which store_db::transact retries.
//
// A failed statement ends a PostgreSQL transaction, where SQLite undoes that statement
// alone and goes on. Callers rely on the latter (an insert refused as a duplicate, then
// another statement), so every statement in a transaction other than a plain SELECT runs
// under a savepoint that is rolled back when it fails (sent in one pipeline with it).
#include <dlfcn.h>
#include <fcntl.h>
#include <libpq-fe.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/store/db.h"
#include "core/util/fileutl.h"

namespace {

// libpq is loaded when a store is first opened in PostgreSQL, not when a process starts:
// most sites keep SQLite, and a process started for each request should not map libpq and
// the libraries it brings (Kerberos, LDAP, TLS) unless it uses them.
#define PG_BACKEND_PQ_CALLS(X) \
    X(PQclear)                 \
    X(PQcmdStatus)             \
    X(PQcmdTuples)             \
    X(PQconnectdb)             \
    X(PQdescribePrepared)      \
    X(PQenterPipelineMode)     \
    X(PQerrorMessage)          \
    X(PQexec)                  \
    X(PQexecPrepared)          \
    X(PQexitPipelineMode)      \
    X(PQfinish)                \
    X(PQftype)                 \
    X(PQgetResult)             \
    X(PQgetisnull)             \
    X(PQgetlength)             \
    X(PQgetvalue)              \
    X(PQnfields)               \
    X(PQnparams)               \
    X(PQntuples)               \
    X(PQpipelineSync)          \
    X(PQprepare)               \
    X(PQreset)                 \
    X(PQresultErrorField)      \
    X(PQresultErrorMessage)    \
    X(PQresultStatus)          \
    X(PQsendQueryParams)       \
    X(PQsendQueryPrepared)     \
    X(PQsetNoticeProcessor)    \
    X(PQstatus)                \
    X(PQtransactionStatus)

struct pq_calls {
#define PG_BACKEND_PQ_FIELD(name) decltype(&::name) name = nullptr;
    PG_BACKEND_PQ_CALLS(PG_BACKEND_PQ_FIELD)
#undef PG_BACKEND_PQ_FIELD
};

// The calls, or null when the library (or one of its calls) cannot be loaded.
const pq_calls* pq_load() {
    static pq_calls calls;
    static bool loaded = false;
    static std::once_flag once;
    std::call_once(once, [] {
        void* lib = dlopen("libpq.so.5", RTLD_NOW | RTLD_LOCAL);
        if (!lib) return;
        bool all = true;
#define PG_BACKEND_PQ_LOAD(name) \
    all = all && (calls.name = reinterpret_cast<decltype(&::name)>(dlsym(lib, #name)));
        PG_BACKEND_PQ_CALLS(PG_BACKEND_PQ_LOAD)
#undef PG_BACKEND_PQ_LOAD
        loaded = all;
    });
    return loaded ? &calls : nullptr;
}

// The calls of a process that has opened a connection (so pq_load succeeded).
const pq_calls& pq() {
    return *pq_load();
}

constexpr const char* kNoLibpq = "the PostgreSQL client library (libpq.so.5) cannot be loaded";

}  // namespace

namespace {

constexpr const char* kMarkerPrefix = "vdweb store: postgresql schema ";
constexpr Oid kByteaOid = 17;
constexpr Oid kBoolOid = 16;

// 64-bit FNV-1a: names a schema after a path, and keys its writer lock.
uint64_t fnv1a(std::string_view s) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : s) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

// Core status for a PostgreSQL SQLSTATE (five characters; null when unknown).
tbs_status_t status_for_sqlstate(const char* state) {
    if (!state || strlen(state) != 5) return TBS_ST_ERR;
    std::string s(state);
    if (s == "23505") return TBS_ST_EXISTS;                                // unique
    if (s == "40001" || s == "40P01" || s == "55P03") return TBS_ST_BUSY;  // retry
    if (s == "57014") return TBS_ST_INTERRUPTED;                           // cancelled
    if (s == "53100") return tbs_errno2status(ENOSPC);
    if (s == "53200") return tbs_errno2status(ENOMEM);
    if (s == "XX001" || s == "XX002") return TBS_ST_DAMAGED;
    return TBS_ST_ERR;
}

// The statement with `?` placeholders numbered `$1, $2, ...`, outside quoted text.
std::string number_placeholders(const char* sql) {
    std::string out;
    int n = 0;
    char quote = 0;
    for (const char* p = sql; *p; ++p) {
        if (quote) {
            if (*p == quote) quote = 0;
        } else if (*p == '\'' || *p == '"') {
            quote = *p;
        } else if (*p == '?') {
            out += '$';
            out += std::to_string(++n);
            continue;
        }
        out += *p;
    }
    return out;
}

bool is_word_char(char c) {
    return isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// A migration script with the type name BLOB read as BYTEA, outside quoted text.
std::string translate_script(const char* sql) {
    std::string out;
    char quote = 0;
    size_t n = strlen(sql);
    for (size_t i = 0; i < n; ++i) {
        char c = sql[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (strncasecmp(sql + i, "BLOB", 4) == 0 && (i == 0 || !is_word_char(sql[i - 1])) &&
                   !is_word_char(sql[i + 4])) {
            out += "BYTEA";
            i += 3;
            continue;
        }
        out += c;
    }
    return out;
}

// First keyword of a statement is SELECT: it changes nothing, so it needs no savepoint.
bool plain_select(const char* sql) {
    while (*sql == ' ' || *sql == '\t' || *sql == '\n' || *sql == '(') ++sql;
    return strncasecmp(sql, "SELECT", 6) == 0 && !is_word_char(sql[6]);
}

void ignore_notice(void*, const char*) {}

class pg_backend;

class pg_stmt final : public store_backend_stmt {
public:
    pg_stmt(pg_backend* be, std::string name, int nparams, bool guarded)
        : be_(be), name_(std::move(name)), guarded_(guarded) {
        values_.resize(static_cast<size_t>(nparams));
        null_.assign(static_cast<size_t>(nparams), true);
        binary_.assign(static_cast<size_t>(nparams), 0);
    }
    ~pg_stmt() override;
    void abandon() override { be_ = nullptr; }

    tbs_status_t bind_int64(int idx, int64_t v) override {
        return set(idx, std::to_string(v), false);
    }
    tbs_status_t bind_text(int idx, std::string_view v) override {
        return set(idx, std::string(v), false);
    }
    tbs_status_t bind_blob(int idx, const void* data, size_t len) override {
        return set(idx, std::string(static_cast<const char*>(data ? data : ""), len), true);
    }
    tbs_status_t bind_null(int idx) override {
        if (idx < 1 || static_cast<size_t>(idx) > values_.size()) return range_error();
        null_[idx - 1] = true;
        return TBS_ST_OK;
    }
    tbs_status_t step(bool* row) override;
    void reset() override {
        clear_result();
        null_.assign(null_.size(), true);
        binary_.assign(binary_.size(), 0);
    }
    int column_count() override { return res_ ? pq().PQnfields(res_) : 0; }
    bool column_is_null(int col) override {
        return !on_row() || col < 0 || col >= pq().PQnfields(res_) ||
               pq().PQgetisnull(res_, row_, col);
    }
    int64_t column_int64(int col) override {
        if (column_is_null(col)) return 0;
        const char* v = pq().PQgetvalue(res_, row_, col);
        if (pq().PQftype(res_, col) == kBoolOid) return v[0] == 't' ? 1 : 0;
        return strtoll(v, nullptr, 10);
    }
    std::string_view column_text(int col) override {
        if (column_is_null(col)) return {};
        return {pq().PQgetvalue(res_, row_, col),
                static_cast<size_t>(pq().PQgetlength(res_, row_, col))};
    }
    std::string_view column_blob(int col) override;

private:
    tbs_status_t set(int idx, std::string v, bool binary) {
        if (idx < 1 || static_cast<size_t>(idx) > values_.size()) return range_error();
        values_[idx - 1] = std::move(v);
        null_[idx - 1] = false;
        binary_[idx - 1] = binary ? 1 : 0;
        return TBS_ST_OK;
    }
    tbs_status_t range_error();
    bool on_row() const { return res_ && row_ >= 0 && row_ < pq().PQntuples(res_); }
    void clear_result() {
        if (res_) pq().PQclear(res_);
        res_ = nullptr;
        row_ = -1;
        blob_.clear();
    }

    pg_backend* be_;
    std::string name_;
    bool guarded_;
    std::vector<std::string> values_;
    std::vector<bool> null_;
    std::vector<int> binary_;
    PGresult* res_ = nullptr;  // of the run in progress; rows handed out one per step
    int row_ = -1;
    std::string blob_;  // the last column_blob decoded
};

class pg_backend final : public store_backend {
public:
    pg_backend(PGconn* conn, uint64_t lock_key) : conn_(conn), lock_key_(lock_key) {}
    ~pg_backend() override {
        if (conn_) pq().PQfinish(conn_);
    }

    PGconn* conn() { return conn_; }

    // Records the failure of `res` (or of the connection when null) and returns its status.
    tbs_status_t fail(const PGresult* res) {
        const char* msg = res ? pq().PQresultErrorMessage(res) : pq().PQerrorMessage(conn_);
        error_ = msg && *msg ? msg : "the database server failed";
        while (!error_.empty() && (error_.back() == '\n' || error_.back() == ' '))
            error_.pop_back();
        if (!res) return TBS_ST_ERR;
        tbs_status_t st = status_for_sqlstate(pq().PQresultErrorField(res, PG_DIAG_SQLSTATE));
        if (st == TBS_ST_BUSY) error_ = "the database is locked by another writer: " + error_;
        return st;
    }

    // Runs `sql` (no parameters); the status of its last result.
    tbs_status_t run(const char* sql) {
        PGresult* res = pq().PQexec(conn_, sql);
        ExecStatusType t = res ? pq().PQresultStatus(res) : PGRES_FATAL_ERROR;
        tbs_status_t st = t == PGRES_COMMAND_OK || t == PGRES_TUPLES_OK ? TBS_ST_OK : fail(res);
        pq().PQclear(res);
        return st;
    }

    bool in_txn() { return pq().PQtransactionStatus(conn_) != PQTRANS_IDLE; }

    // Runs `body` so that its failure inside a transaction undoes its own work alone.
    template <class F>
    tbs_status_t guarded(bool guard, F&& body) {
        if (!guard || !in_txn()) return body();
        tbs_status_t st = run("SAVEPOINT store_stmt");
        if (st) return st;
        st = body();
        if (st == TBS_ST_OK) return run("RELEASE SAVEPOINT store_stmt");
        std::string why = error_;
        run("ROLLBACK TO SAVEPOINT store_stmt");
        run("RELEASE SAVEPOINT store_stmt");
        error_ = std::move(why);
        return st;
    }

    // Runs the prepared statement `name` inside a transaction under a savepoint, sent with
    // it in one pipeline (one round trip); on failure the savepoint is rolled back so that
    // the transaction goes on. `*out` is the statement's result when it succeeded.
    tbs_status_t exec_under_savepoint(const char* name, int n, const char* const* values,
                                      const int* lengths, const int* formats, PGresult** out) {
        *out = nullptr;
        if (!pq().PQenterPipelineMode(conn_)) return fail(nullptr);
        bool sent = pq().PQsendQueryParams(conn_, "SAVEPOINT store_stmt", 0, nullptr, nullptr,
                                           nullptr, nullptr, 0) &&
                    pq().PQsendQueryPrepared(conn_, name, n, values, lengths, formats, 0) &&
                    pq().PQsendQueryParams(conn_, "RELEASE SAVEPOINT store_stmt", 0, nullptr,
                                           nullptr, nullptr, nullptr, 0) &&
                    pq().PQpipelineSync(conn_);
        // Each command's result, then the sync's; the first failure is the answer.
        PGresult* results[3] = {nullptr, nullptr, nullptr};
        bool synced = false;
        for (int q = 0; sent && q < 4 && !synced; ++q) {
            PGresult* r;
            while ((r = pq().PQgetResult(conn_)) != nullptr) {
                if (pq().PQresultStatus(r) == PGRES_PIPELINE_SYNC) {
                    synced = true;
                    pq().PQclear(r);
                    break;
                }
                if (q < 3 && !results[q])
                    results[q] = r;
                else
                    pq().PQclear(r);
            }
        }
        pq().PQexitPipelineMode(conn_);
        tbs_status_t st = TBS_ST_OK;
        if (!sent || !synced) {
            st = fail(nullptr);
        } else {
            for (PGresult* r : results) {
                ExecStatusType t = r ? pq().PQresultStatus(r) : PGRES_FATAL_ERROR;
                if (t == PGRES_COMMAND_OK || t == PGRES_TUPLES_OK) continue;
                st = fail(r);
                break;
            }
        }
        if (st == TBS_ST_OK) {
            *out = results[1];
            results[1] = nullptr;
        } else if (results[0] && pq().PQresultStatus(results[0]) == PGRES_COMMAND_OK) {
            std::string why = error_;
            run("ROLLBACK TO SAVEPOINT store_stmt");
            run("RELEASE SAVEPOINT store_stmt");
            error_ = std::move(why);
        }
        for (PGresult* r : results) pq().PQclear(r);
        return st;
    }

    tbs_status_t prepare(const char* sql, std::unique_ptr<store_backend_stmt>* out) override {
        std::string text = number_placeholders(sql);
        if (text.find_first_not_of(" \t\n;") == std::string::npos) {
            error_ = "no statement in the text";
            return TBS_ST_INVALID;
        }
        std::string name = "s" + std::to_string(++stmt_serial_);
        tbs_status_t st = guarded(true, [&]() -> tbs_status_t {
            PGresult* res = pq().PQprepare(conn_, name.c_str(), text.c_str(), 0, nullptr);
            tbs_status_t r = pq().PQresultStatus(res) == PGRES_COMMAND_OK ? TBS_ST_OK : fail(res);
            pq().PQclear(res);
            return r;
        });
        if (st) {
            // SQLite refuses text after the first statement the same way.
            if (error_.find("multiple commands") != std::string::npos) return TBS_ST_INVALID;
            return st;
        }
        PGresult* desc = pq().PQdescribePrepared(conn_, name.c_str());
        int nparams =
            desc && pq().PQresultStatus(desc) == PGRES_COMMAND_OK ? pq().PQnparams(desc) : -1;
        if (nparams < 0) st = fail(desc);
        pq().PQclear(desc);
        if (st) return st;
        *out = std::make_unique<pg_stmt>(this, std::move(name), nparams, !plain_select(sql));
        return TBS_ST_OK;
    }

    tbs_status_t exec_script(const char* sql) override {
        return run(translate_script(sql).c_str());
    }

    tbs_status_t begin(store_txn_kind kind) override {
        if (kind == store_txn_kind::read) return run("BEGIN ISOLATION LEVEL REPEATABLE READ");
        tbs_status_t st = run("BEGIN ISOLATION LEVEL READ COMMITTED");
        if (st) return st;
        // The writers of one database take turns, as under SQLite's write lock.
        std::string lock =
            "SELECT pg_advisory_xact_lock(" + std::to_string(static_cast<int64_t>(lock_key_)) + ")";
        st = run(lock.c_str());
        if (st) {
            std::string why = error_;
            run("ROLLBACK");
            error_ = std::move(why);
        }
        return st;
    }

    tbs_status_t commit() override {
        bool aborted = pq().PQtransactionStatus(conn_) == PQTRANS_INERROR;
        PGresult* res = pq().PQexec(conn_, "COMMIT");
        tbs_status_t st = pq().PQresultStatus(res) == PGRES_COMMAND_OK ? TBS_ST_OK : fail(res);
        // COMMIT of a transaction an error ended answers ROLLBACK, not a failure.
        if (!st && (aborted || strcmp(pq().PQcmdStatus(res), "ROLLBACK") == 0)) {
            error_ = "the transaction was ended by an earlier failure";
            st = TBS_ST_ERR;
        }
        pq().PQclear(res);
        return st;
    }

    tbs_status_t rollback() override { return in_txn() ? run("ROLLBACK") : TBS_ST_OK; }

    tbs_status_t schema_version(int64_t* version) override {
        PGresult* res = pq().PQexec(conn_, "SELECT version FROM store_version");
        tbs_status_t st = pq().PQresultStatus(res) == PGRES_TUPLES_OK ? TBS_ST_OK : fail(res);
        if (!st)
            *version = pq().PQntuples(res) ? strtoll(pq().PQgetvalue(res, 0, 0), nullptr, 10) : 0;
        pq().PQclear(res);
        return st;
    }
    tbs_status_t set_schema_version(int64_t version) override {
        std::string sql = "UPDATE store_version SET version = " + std::to_string(version);
        return run(sql.c_str());
    }

    bool lost() override { return conn_ && pq().PQstatus(conn_) == CONNECTION_BAD; }
    tbs_status_t reconnect() override {
        pq().PQreset(conn_);
        if (pq().PQstatus(conn_) != CONNECTION_OK) return fail(nullptr);
        pq().PQsetNoticeProcessor(conn_, ignore_notice, nullptr);
        return run(setup_.c_str());
    }
    // The session's settings, made again on a new connection.
    void set_setup(std::string sql) { setup_ = std::move(sql); }

    int64_t changes() override { return changes_; }
    void note_changes(const PGresult* res) {
        const char* tag = pq().PQcmdStatus(const_cast<PGresult*>(res));
        if (strncmp(tag, "INSERT", 6) == 0 || strncmp(tag, "UPDATE", 6) == 0 ||
            strncmp(tag, "DELETE", 6) == 0)
            changes_ = strtoll(pq().PQcmdTuples(const_cast<PGresult*>(res)), nullptr, 10);
    }
    const std::string& last_error() const override { return error_; }
    void set_error(std::string msg) override { error_ = std::move(msg); }
    void abandon() override { conn_ = nullptr; }  // the parent's session: never terminated
    tbs_status_t check_integrity(std::vector<std::string>* problems) override;

private:
    PGconn* conn_;
    uint64_t lock_key_;
    uint64_t stmt_serial_ = 0;
    int64_t changes_ = 0;
    std::string setup_;
    std::string error_;
};

pg_stmt::~pg_stmt() {
    clear_result();
    if (!be_ || !be_->conn() || be_->in_txn()) return;  // a transaction keeps it till close
    std::string sql = "DEALLOCATE " + name_;
    pq().PQclear(pq().PQexec(be_->conn(), sql.c_str()));
}

tbs_status_t pg_stmt::range_error() {
    be_->set_error("parameter number out of range");
    return TBS_ST_ERR;
}

tbs_status_t pg_stmt::step(bool* row) {
    *row = false;
    if (res_) {  // rows of the run in progress
        if (++row_ < pq().PQntuples(res_)) *row = true;
        return TBS_ST_OK;
    }
    std::vector<const char*> values(values_.size());
    std::vector<int> lengths(values_.size());
    for (size_t i = 0; i < values_.size(); ++i) {
        values[i] = null_[i] ? nullptr : values_[i].c_str();
        lengths[i] = static_cast<int>(values_[i].size());
    }
    PGresult* res = nullptr;
    // A change outside any transaction is a writer transaction of its own, which takes
    // its turn among the writers as it would under SQLite's write lock.
    bool own_txn = guarded_ && !be_->in_txn();
    if (own_txn) {
        tbs_status_t st = be_->begin(store_txn_kind::write);
        if (st) return st;
    }
    tbs_status_t st;
    if (guarded_ && !own_txn) {
        st = be_->exec_under_savepoint(name_.c_str(), static_cast<int>(values.size()),
                                       values.data(), lengths.data(), binary_.data(), &res);
    } else {
        st = TBS_ST_OK;
        res = pq().PQexecPrepared(be_->conn(), name_.c_str(), static_cast<int>(values.size()),
                                  values.data(), lengths.data(), binary_.data(), 0);
        ExecStatusType t = pq().PQresultStatus(res);
        if (t != PGRES_COMMAND_OK && t != PGRES_TUPLES_OK) {
            st = be_->fail(res);
            pq().PQclear(res);
            res = nullptr;
        }
    }
    if (own_txn) {
        if (!st) st = be_->commit();
        if (st) {
            std::string why = be_->last_error();
            be_->rollback();
            be_->set_error(why);
        }
    }
    if (st) {
        if (res) pq().PQclear(res);
        return st;
    }
    be_->note_changes(res);
    res_ = res;
    row_ = 0;
    *row = pq().PQntuples(res_) > 0;
    return TBS_ST_OK;
}

std::string_view pg_stmt::column_blob(int col) {
    if (column_is_null(col)) return {};
    if (pq().PQftype(res_, col) != kByteaOid) return column_text(col);
    // Text results show bytea as "\x" and two hexadecimal digits a byte.
    const char* v = pq().PQgetvalue(res_, row_, col);
    size_t n = static_cast<size_t>(pq().PQgetlength(res_, row_, col));
    blob_.clear();
    if (n < 2 || v[0] != '\\' || v[1] != 'x') return column_text(col);
    auto hex = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    blob_.reserve((n - 2) / 2);
    for (size_t i = 2; i + 1 < n; i += 2)
        blob_ += static_cast<char>(hex(v[i]) << 4 | hex(v[i + 1]));
    return blob_;
}

tbs_status_t pg_backend::check_integrity(std::vector<std::string>* problems) {
    // PostgreSQL enforces references on every write; what can rot is storage. With the
    // amcheck extension installed in the database, every B-tree index of the schema is
    // checked against its table; without it, every table of the schema is read through.
    PGresult* res =
        pq().PQexec(conn_,
                    "SELECT quote_ident(n.nspname) FROM pg_extension e JOIN pg_namespace n"
                    " ON n.oid = e.extnamespace WHERE e.extname = 'amcheck'");
    if (pq().PQresultStatus(res) != PGRES_TUPLES_OK) {
        tbs_status_t st = fail(res);
        pq().PQclear(res);
        return st;
    }
    bool amcheck = pq().PQntuples(res) > 0;
    std::string where = amcheck ? pq().PQgetvalue(res, 0, 0) : "";  // the extension's schema
    pq().PQclear(res);
    const char* list =
        amcheck ? "SELECT c.oid::regclass::text FROM pg_class c JOIN pg_am a ON a.oid = c.relam"
                  " WHERE c.relkind = 'i' AND a.amname = 'btree'"
                  " AND c.relnamespace = current_schema()::regnamespace ORDER BY 1"
                : "SELECT c.oid::regclass::text FROM pg_class c WHERE c.relkind = 'r'"
                  " AND c.relnamespace = current_schema()::regnamespace ORDER BY 1";
    res = pq().PQexec(conn_, list);
    if (pq().PQresultStatus(res) != PGRES_TUPLES_OK) {
        tbs_status_t st = fail(res);
        pq().PQclear(res);
        return st;
    }
    std::vector<std::string> names;
    for (int i = 0; i < pq().PQntuples(res); ++i) names.emplace_back(pq().PQgetvalue(res, i, 0));
    pq().PQclear(res);
    for (const std::string& n : names) {
        // Names from the catalog, quoted by it where they need it.
        std::string sql = amcheck
                              ? "SELECT " + where + ".bt_index_check('" + n + "'::regclass, true)"
                              : "SELECT count(*) FROM " + n;
        PGresult* r = pq().PQexec(conn_, sql.c_str());
        if (pq().PQresultStatus(r) != PGRES_TUPLES_OK) {
            const char* msg = pq().PQresultErrorMessage(r);
            std::string line = "database: " + n + ": " + (msg && *msg ? msg : "check failed");
            while (!line.empty() && line.back() == '\n') line.pop_back();
            problems->push_back(line);
        }
        pq().PQclear(r);
    }
    return TBS_ST_OK;
}

// Reads the marker file at `path`: TBS_ST_OK with the schema it names, the errno's status
// when it cannot be read, TBS_ST_DAMAGED when it is not a marker.
tbs_status_t read_marker(const char* path, std::string* schema) {
    FILE* f = fopen(path, "re");
    if (!f) return tbs_errno2status(errno);
    char buf[256] = "";
    size_t n = fread(buf, 1, sizeof buf - 1, f);
    fclose(f);
    buf[n] = '\0';
    std::string text(buf);
    size_t plen = strlen(kMarkerPrefix);
    if (text.compare(0, plen, kMarkerPrefix) != 0) return TBS_ST_DAMAGED;
    std::string name = text.substr(plen);
    while (!name.empty() && (name.back() == '\n' || name.back() == ' ')) name.pop_back();
    if (name.empty() || name.size() > 63) return TBS_ST_DAMAGED;
    for (char c : name)
        if (!islower(static_cast<unsigned char>(c)) && !isdigit(static_cast<unsigned char>(c)))
            return TBS_ST_DAMAGED;
    *schema = name;
    return TBS_ST_OK;
}

tbs_status_t write_marker(const char* path, const std::string& schema) {
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return tbs_errno2status(errno);
    std::string text = kMarkerPrefix + schema + "\n";
    bool ok = fileutl_write_all(fd, text.data(), text.size()) && fsync(fd) == 0;
    int err = errno;
    close(fd);
    if (!ok) {
        unlink(path);
        return tbs_errno2status(err ? err : EIO);
    }
    return TBS_ST_OK;
}

}  // namespace

bool store_is_postgresql(std::string_view location) {
    return location.starts_with("postgresql:") || location.starts_with("postgres:");
}

tbs_status_t store_pg_remove(const char* conninfo, const char* path, const store_options& opts,
                             std::string* error) {
    std::string schema;
    tbs_status_t st = read_marker(path, &schema);
    if (st == tbs_errno2status(ENOENT)) return TBS_ST_OK;  // nothing made here
    if (st) {
        *error = std::string(path) + " is not a database marker";
        return st;
    }
    if (!pq_load()) {
        *error = kNoLibpq;
        return TBS_ST_ERR;
    }
    PGconn* conn = pq().PQconnectdb(conninfo);
    pg_backend be(conn, fnv1a(path));
    if (!conn) return tbs_errno2status(ENOMEM);
    if (pq().PQstatus(conn) != CONNECTION_OK) {
        st = be.fail(nullptr);
        *error = be.last_error();
        return st;
    }
    pq().PQsetNoticeProcessor(conn, ignore_notice, nullptr);
    std::string setup = "SET lock_timeout = " + std::to_string(opts.busy_timeout_ms);
    st = be.run(setup.c_str());
    // Under the writer lock, so that no writer of it is half way.
    if (!st) st = be.begin(store_txn_kind::write);
    if (!st) {
        std::string drop = "DROP SCHEMA IF EXISTS " + schema + " CASCADE";
        st = be.run(drop.c_str());
        if (!st && unlink(path) != 0 && errno != ENOENT) {
            be.set_error(std::string("cannot remove ") + path + ": " + strerror(errno));
            st = tbs_errno2status(errno);
        }
        if (!st) st = be.commit();
        if (st) {
            std::string why = be.last_error();
            be.rollback();
            be.set_error(why);
        }
    }
    if (st) *error = be.last_error();
    return st;
}

tbs_status_t store_pg_open(const char* conninfo, const char* path, const store_options& opts,
                           std::unique_ptr<store_backend>* out) {
    // The schema is named after the database's path, and so is its writer lock.
    uint64_t h = fnv1a(path);
    char schema[32];
    snprintf(schema, sizeof schema, "s%016llx", static_cast<unsigned long long>(h));

    if (!pq_load()) {
        auto none = std::make_unique<pg_backend>(nullptr, h);
        none->set_error(kNoLibpq);
        out->reset(none.release());
        return TBS_ST_ERR;
    }
    PGconn* conn = pq().PQconnectdb(conninfo);
    auto be = std::make_unique<pg_backend>(conn, h);
    if (!conn) {
        be->set_error("out of memory");
        out->reset(be.release());
        return tbs_errno2status(ENOMEM);
    }
    if (pq().PQstatus(conn) != CONNECTION_OK) {
        tbs_status_t st = be->fail(nullptr);
        out->reset(be.release());
        return st;
    }
    pq().PQsetNoticeProcessor(conn, ignore_notice, nullptr);
    std::string setup = "SET lock_timeout = " + std::to_string(opts.busy_timeout_ms) +
                        "; SET client_min_messages = warning; SET search_path TO " + schema;
    tbs_status_t st = be->run(setup.c_str());
    be->set_setup(setup);

    std::string named;
    tbs_status_t marker = st ? st : read_marker(path, &named);
    if (!st && marker == TBS_ST_OK && named != schema) {
        be->set_error(std::string(path) + " names the schema " + named + ", not " + schema +
                      ": the storage was moved");
        st = TBS_ST_ERR;
    } else if (!st && marker == TBS_ST_DAMAGED) {
        be->set_error(std::string(path) + " is not a database marker");
        st = TBS_ST_DAMAGED;
    } else if (!st && marker == tbs_errno2status(ENOENT) && opts.create) {
        // A new database: under its writer lock, look again (another process may have
        // made it meanwhile); a schema left by an earlier database of this path goes.
        st = be->begin(store_txn_kind::write);
        if (!st) {
            marker = read_marker(path, &named);
            if (marker == tbs_errno2status(ENOENT)) {
                std::string make = std::string("DROP SCHEMA IF EXISTS ") + schema +
                                   " CASCADE; CREATE SCHEMA " + schema +
                                   "; CREATE TABLE store_version (version BIGINT NOT NULL);"
                                   " INSERT INTO store_version (version) VALUES (0)";
                st = be->run(make.c_str());
                if (!st) st = write_marker(path, schema);
                if (st) {
                    if (be->last_error().empty() || st != TBS_ST_ERR)
                        be->set_error(std::string("cannot write ") + path + ": " +
                                      tbs_strerror(st));
                    std::string why = be->last_error();
                    be->rollback();
                    be->set_error(why);
                } else {
                    st = be->commit();
                    if (st) unlink(path);
                }
            } else {
                be->rollback();
                st = marker;
            }
        }
    } else if (!st && marker != TBS_ST_OK) {
        be->set_error(std::string("cannot open ") + path + ": " + tbs_strerror(marker));
        st = marker;
    }
    if (!st) {
        // The marker is there; so must the schema be.
        int64_t version = 0;
        st = be->schema_version(&version);
        if (st) {
            be->set_error(std::string("the database of ") + path + " (schema " + schema +
                          ") is missing from the site's PostgreSQL database: " + be->last_error());
            st = TBS_ST_DAMAGED;
        }
    }
    out->reset(be.release());
    return st;
}
