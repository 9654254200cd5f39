// The view database: its schema and the view layer's queries.
#ifndef CORE_VIEW_VIEW_STORE_H
#define CORE_VIEW_VIEW_STORE_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/tbs/tbs.h"
#include "core/view/view.h"

class store_db;
class store_txn;

// Removes the database of a view storage directory that is about to go (store_db::remove).
tbs_status_t view_store_remove(const std::string& storage);
tbs_status_t view_store_open(const std::string& storage, bool create,
                             std::shared_ptr<store_db>* db);

tbs_status_t view_store_set_info(store_db& db, const char* key, const std::string& value);
tbs_status_t view_store_get_info(store_db& db, const char* key, std::string* value);

// The number a VOB has in this view (made on first use).
tbs_status_t view_store_vob_number(store_db& db, store_txn* txn, const std::string& vob_uuid,
                                   int64_t* number);
tbs_status_t view_store_vob_by_number(store_db& db, int64_t number, std::string* vob_uuid);

// Web-view records; ids are hex text of the oids.
tbs_status_t view_store_put_wso(store_db& db, store_txn& txn, const view_wso_t& wso);
tbs_status_t view_store_get_wso(store_db& db, const std::string& dir, const std::string& leaf,
                                view_wso_t* out);
tbs_status_t view_store_delete_wso(store_db& db, const std::string& dir, const std::string& leaf);
// Every record at or below `path` (dir/leaf) as a directory.
tbs_status_t view_store_delete_below(store_db& db, const std::string& path);
tbs_status_t view_store_count_wso(store_db& db, int64_t* count);
tbs_status_t view_store_list_after(store_db& db, const std::string& dir, const std::string& leaf,
                                   bool inclusive_start, int max, std::vector<view_wso_t>* out);
tbs_status_t view_store_find_elem(store_db& db, const std::string& elem_oid,
                                  std::vector<view_wso_t>* out);

// The records of one directory, by leaf.
tbs_status_t view_store_list_dir(store_db& db, const std::string& dir,
                                 std::vector<view_wso_t>* out);
// In batches of up to `max`, the record at dir/leaf and every record below it, by dir and
// leaf, after (after_dir, after_leaf); the empty cursor ("", "") starts at the beginning.
tbs_status_t view_store_list_subtree(store_db& db, const std::string& dir, const std::string& leaf,
                                     const std::string& after_dir, const std::string& after_leaf,
                                     int max, std::vector<view_wso_t>* out);

// Sync points: kind 1 what the record was brought to, kind 2 what the fetch in progress
// read. `present` false when there is none of that kind.
enum { VIEW_SYNC_BASE = 1, VIEW_SYNC_SESSION = 2 };
tbs_status_t view_store_get_sync(store_db& db, int kind, bool* present, view_sync_point_t* out);
tbs_status_t view_store_put_sync(store_db& db, int kind, const view_sync_point_t& point);
tbs_status_t view_store_clear_sync(store_db& db, int kind);

// The load session row.
tbs_status_t view_store_get_session(store_db& db, view_load_session_t* out);
tbs_status_t view_store_set_session(store_db& db, const view_load_session_t& s);
tbs_status_t view_store_clear_session(store_db& db);

// Renames reported by the fetch of the session in progress, applied when its commit ends
// it completed.
tbs_status_t view_store_add_rename(store_db& db, store_txn& txn, const std::string& src_dir,
                                   const std::string& src_leaf, const std::string& dst_dir,
                                   const std::string& dst_leaf);
tbs_status_t view_store_clear_renames(store_db& db);
tbs_status_t view_store_apply_renames(store_db& db);

#endif
