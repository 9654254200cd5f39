// The VOB database: its schema and the queries of the VOB layer.
#ifndef CORE_STORE_VOB_STORE_H
#define CORE_STORE_VOB_STORE_H

#include <cstdint>
#include <memory>
#include <string>

#include "core/tbs/tbs.h"

class store_db;
class store_txn;

// Opens (creating when asked) the database of a VOB storage directory.
tbs_status_t vob_store_open(const std::string& storage, bool create, std::shared_ptr<store_db>* db);

tbs_status_t vob_store_set_info(store_db& db, const char* key, const std::string& value);
tbs_status_t vob_store_get_info(store_db& db, const char* key, std::string* value);

struct vob_store_object_t {
    int mtype = 0;
    std::string owner;
    std::string group;
    int mode = 0;
    int64_t created = 0;
    std::string creator;
};

// A new object with a fresh oid; its dbid is returned.
tbs_status_t vob_store_new_object(store_db& db, store_txn& txn, const vob_store_object_t& obj,
                                  int64_t* dbid);
tbs_status_t vob_store_new_type(store_db& db, int64_t dbid, int mtype, const char* name,
                                int merge_type, const char* type_manager);
tbs_status_t vob_store_find_type(store_db& db, int mtype, const char* name, int64_t* dbid);
tbs_status_t vob_store_new_element(store_db& db, int64_t dbid, int64_t eltype, bool is_dir);
tbs_status_t vob_store_new_branch(store_db& db, int64_t dbid, int64_t element, int64_t brtype,
                                  int64_t parent_version);
tbs_status_t vob_store_set_main_branch(store_db& db, int64_t element, int64_t branch);
tbs_status_t vob_store_new_version(store_db& db, int64_t dbid, int64_t element, int64_t branch,
                                   int64_t number, const std::string& content, int64_t size,
                                   const std::string& comment);
tbs_status_t vob_store_add_event(store_db& db, store_txn& txn, int64_t obj, const char* kind,
                                 const char* user, const char* host, int64_t at,
                                 const char* comment);
tbs_status_t vob_store_count_events(store_db& db, int64_t obj, int64_t* count);

#endif
