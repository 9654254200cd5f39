// The change-request integration: change-request records (an id, a headline, a record type,
// a state, an owner) kept in user databases grouped in database sets, behind an interface
// with one built-in provider.
//
// The built-in provider keeps each user database in the site, as
// $VERDANE_HOME/tide/<dbset>/<userdb>.db, with its users and their passwords (PBKDF2-SHA256
// with a salt of their own; the passwords themselves are never stored or traced). A site
// without such databases has none to offer: a project that names no database, or one the
// site does not have, is not enabled for change requests.
//
// Every access to a database logs in. A session takes the credentials given, or asks the
// registered login callback (the web layer's credentials manager, which asks the remote user
// and caches the answer) until they are valid or the callback gives up.
#ifndef CORE_TIDE_TIDE_H
#define CORE_TIDE_TIDE_H

#include <string>
#include <vector>

#include "core/tbs/tbs.h"

// A login to a user database.
struct CTide_Credentials {
    std::string user_db;
    std::string db_set;
    std::string web_url;  // where the database's web front end is ("" when none)
    std::string user_name;
    std::string password;
};

struct CTide_Record {
    std::string id;
    std::string headline;
    std::string rec_type;  // "Defect", "Enhancement" ...
    std::string state;     // "Submitted", "Opened", "Closed" ...
    std::string owner;
    // The activity bound to the record, by its stable selector ("" none), as the binding
    // command (cmd_chactivity_record) last wrote it. The activity's own binding is the
    // authority: a reader checks that it still names this record.
    std::string bound_activity;
};

// Names of one user database.
struct CTide_Database {
    std::string user_db;
    std::string db_set;
};

// What a change-request system offers.
class CTide_Provider {
public:
    virtual ~CTide_Provider() = default;
    virtual tbs_status_t databases(std::vector<CTide_Database>* out) = 0;
    virtual bool has_database(const std::string& user_db, const std::string& db_set) = 0;
    // TBS_ST_OK for a valid login; TBS_ST_PERMISSION for a wrong user or password;
    // TBS_ST_NOT_FOUND for a database that is not there.
    virtual tbs_status_t validate(const CTide_Credentials& creds) = 0;
    virtual tbs_status_t get_record(const CTide_Credentials& creds, const std::string& id,
                                    CTide_Record* out) = 0;
    // Records by id; with an owner, that owner's only.
    virtual tbs_status_t query(const CTide_Credentials& creds, const std::string& owner,
                               std::vector<CTide_Record>* out) = 0;
    virtual tbs_status_t put_record(const CTide_Credentials& creds, const CTide_Record& rec) = 0;
    // The record types the database's records use, by name.
    virtual tbs_status_t record_types(const CTide_Credentials& creds,
                                      std::vector<std::string>* out) = 0;
};

// The provider in use: the built-in one unless another was installed (null restores it).
CTide_Provider* CTide_provider();
void CTide_set_provider(CTide_Provider* provider);

// The built-in provider's administration (no login: the site's administrator's tools).
tbs_status_t CTide_create_database(const std::string& user_db, const std::string& db_set);
tbs_status_t CTide_set_user(const std::string& user_db, const std::string& db_set,
                            const std::string& user, const std::string& password);
tbs_status_t CTide_admin_put_record(const std::string& user_db, const std::string& db_set,
                                    const CTide_Record& rec);
tbs_status_t CTide_admin_get_record(const std::string& user_db, const std::string& db_set,
                                    const std::string& id, CTide_Record* out);
// Records the activity (its stable selector) a record is bound to.
tbs_status_t CTide_admin_bind_record(const std::string& user_db, const std::string& db_set,
                                     const std::string& id, const std::string& activity);
tbs_status_t tide_admin_records(const std::string& user_db, const std::string& db_set,
                                const std::string& owner, std::vector<CTide_Record>* out);

// The login callback: fills `creds` (the user database and set given) and sets `*retry` to
// 0 when it has credentials to try, 1 when it gives up. `retry_count` counts the failed tries
// before; the last failure's text is the core's last message.
typedef void (*CTide_login_cb_t)(void* data, const char* user_db, const char* db_set,
                                 CTide_Credentials* creds, int retry_count, int* retry);
void CTide_set_login_callback(CTide_login_cb_t cb, void* data);

// A logged-in session on one user database.
class CTide_Session {
public:
    // With credentials given (a user name), those alone; else the login callback's, tried up
    // to three times. TBS_ST_CREDENTIALS_REQUIRED when no valid login was had.
    static tbs_status_t open(const CTide_Credentials& given, CTide_Session* out);
    const CTide_Credentials& credentials() const { return creds_; }
    tbs_status_t get_record(const std::string& id, CTide_Record* out) const;
    tbs_status_t query(const std::string& owner, std::vector<CTide_Record>* out) const;
    tbs_status_t put_record(const CTide_Record& rec) const;
    tbs_status_t record_types(std::vector<std::string>* out) const;

private:
    CTide_Credentials creds_;
};

#endif
