// Small helpers for the store layer's own query code: bind every value by position, run a
// statement, read one row, each row, or all rows into a vector.
#ifndef CORE_STORE_QUERY_H
#define CORE_STORE_QUERY_H

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "core/store/db.h"

namespace store_query {

inline void bind_one(store_stmt& s, int i, std::string_view v) {
    s.bind_text(i, v);
}
inline void bind_one(store_stmt& s, int i, const std::string& v) {
    s.bind_text(i, v);
}
inline void bind_one(store_stmt& s, int i, const char* v) {
    s.bind_text(i, v ? v : "");
}
template <class T>
requires std::is_integral_v<T>
void bind_one(store_stmt& s, int i, T v) {
    s.bind_int64(i, static_cast<int64_t>(v));
}

inline void bind_all(store_stmt&, int) {}
template <class T, class... R>
void bind_all(store_stmt& s, int i, const T& v, const R&... rest) {
    bind_one(s, i, v);
    bind_all(s, i + 1, rest...);
}

// Runs a statement that returns no rows.
template <class... A>
tbs_status_t exec(store_db& db, const char* sql, const A&... args) {
    store_stmt s;
    tbs_status_t st = db.prepare(sql, &s);
    if (st != TBS_ST_OK) return st;
    bind_all(s, 1, args...);
    return s.exec();
}

// Reads the first row with `read(stmt)`; TBS_ST_NOT_FOUND when there is none.
template <class F, class... A>
tbs_status_t one(store_db& db, const char* sql, F&& read, const A&... args) {
    store_stmt s;
    tbs_status_t st = db.prepare(sql, &s);
    if (st != TBS_ST_OK) return st;
    bind_all(s, 1, args...);
    store_step_t r = s.step();
    if (r == store_step_t::error) return s.status();
    if (r == store_step_t::done) return TBS_ST_NOT_FOUND;
    read(s);
    return TBS_ST_OK;
}

// Calls `read(stmt)` for every row.
template <class F, class... A>
tbs_status_t each(store_db& db, const char* sql, F&& read, const A&... args) {
    store_stmt s;
    tbs_status_t st = db.prepare(sql, &s);
    if (st != TBS_ST_OK) return st;
    bind_all(s, 1, args...);
    for (;;) {
        store_step_t r = s.step();
        if (r == store_step_t::error) return s.status();
        if (r == store_step_t::done) return TBS_ST_OK;
        read(s);
    }
}

// Reads all rows into `out` (emptied first), each with `read(stmt, &row)`.
template <class T, class F, class... A>
tbs_status_t rows(store_db& db, const char* sql, std::vector<T>* out, F&& read, const A&... args) {
    out->clear();
    return each(
        db, sql,
        [&](store_stmt& s) {
            out->emplace_back();
            read(s, &out->back());
        },
        args...);
}

}  // namespace store_query

#endif
