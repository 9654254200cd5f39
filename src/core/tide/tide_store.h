// The built-in change-request provider's database: users with their password hashes, and
// records.
#ifndef CORE_TIDE_TIDE_STORE_H
#define CORE_TIDE_TIDE_STORE_H

#include <memory>
#include <string>
#include <vector>

#include "core/tide/tide.h"

class store_db;

tbs_status_t tide_store_open(const std::string& path, bool create, std::shared_ptr<store_db>* db);
tbs_status_t tide_store_set_user(store_db& db, const std::string& user, const std::string& salt,
                                 const std::string& hash);
tbs_status_t tide_store_get_user(store_db& db, const std::string& user, std::string* salt,
                                 std::string* hash);
tbs_status_t tide_store_put_record(store_db& db, const CTide_Record& rec);
// Sets the activity (its stable selector) a record is bound to.
tbs_status_t tide_store_set_bound_activity(store_db& db, const std::string& id,
                                           const std::string& activity);
tbs_status_t tide_store_get_record(store_db& db, const std::string& id, CTide_Record* out);
tbs_status_t tide_store_records(store_db& db, const std::string& owner,
                                std::vector<CTide_Record>* out);

// The record types the records use, by name.
tbs_status_t tide_store_record_types(store_db& db, std::vector<std::string>* out);

#endif
