// The change-request integration: the built-in provider over databases kept in the site,
// the login callback and sessions.
#include "core/tide/tide.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
#include <filesystem>
#include <mutex>

#include "core/imsg/imsg.h"
#include "core/store/db.h"
#include "core/tide/tide_store.h"
#include "core/util/fileutl.h"

namespace {

constexpr int kIterations = 20000;
constexpr int kSaltBytes = 16;
constexpr int kHashBytes = 32;
constexpr int kLoginTries = 3;

std::string hex(const unsigned char* p, size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) s += digits[p[i] >> 4], s += digits[p[i] & 15];
    return s;
}

std::string hash_of(const std::string& password, const std::string& salt) {
    unsigned char out[kHashBytes];
    if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                          reinterpret_cast<const unsigned char*>(salt.data()),
                          static_cast<int>(salt.size()), kIterations, EVP_sha256(), sizeof out,
                          out) != 1)
        return std::string();
    return hex(out, sizeof out);
}

// A database or set name: letters, digits, "_", "-", "." (not first); one path component.
bool good_name(const std::string& n) {
    if (n.empty() || n.size() > 64 || n[0] == '.') return false;
    for (unsigned char c : n)
        if (!isalnum(c) && c != '_' && c != '-' && c != '.') return false;
    return true;
}

std::string root_dir() {
    return std::string(tbs_product_dir()) + "/tide";
}

tbs_status_t open_db(const std::string& user_db, const std::string& db_set, bool create,
                     std::shared_ptr<store_db>* db) {
    if (!good_name(user_db) || !good_name(db_set)) return TBS_ST_BAD_NAME;
    const std::string dir = root_dir() + "/" + db_set;
    const std::string path = dir + "/" + user_db + ".db";
    if (create) {
        tbs_status_t st = fileutl_mkdir_p(dir.c_str(), 0775);
        if (st != TBS_ST_OK) return st;
    } else if (!fileutl_exists(path.c_str())) {
        return TBS_ST_NOT_FOUND;
    }
    return tide_store_open(path, create, db);
}

class SiteProvider : public CTide_Provider {
public:
    tbs_status_t databases(std::vector<CTide_Database>* out) override {
        out->clear();
        std::error_code ec;
        for (const auto& set : std::filesystem::directory_iterator(root_dir(), ec)) {
            const std::string s = set.path().filename().string();
            if (!good_name(s) || !set.is_directory(ec)) continue;
            for (const auto& f : std::filesystem::directory_iterator(set.path(), ec)) {
                const std::string n = f.path().filename().string();
                if (n.size() > 3 && n.compare(n.size() - 3, 3, ".db") == 0 &&
                    good_name(n.substr(0, n.size() - 3)))
                    out->push_back({n.substr(0, n.size() - 3), s});
            }
        }
        std::sort(out->begin(), out->end(), [](const CTide_Database& a, const CTide_Database& b) {
            return a.db_set != b.db_set ? a.db_set < b.db_set : a.user_db < b.user_db;
        });
        return TBS_ST_OK;
    }
    bool has_database(const std::string& user_db, const std::string& db_set) override {
        return good_name(user_db) && good_name(db_set) &&
               fileutl_exists((root_dir() + "/" + db_set + "/" + user_db + ".db").c_str());
    }
    tbs_status_t validate(const CTide_Credentials& c) override {
        std::shared_ptr<store_db> db;
        tbs_status_t st = open_db(c.user_db, c.db_set, false, &db);
        if (st != TBS_ST_OK) return st;
        std::string salt, hash;
        st = tide_store_get_user(*db, c.user_name, &salt, &hash);
        if (st == TBS_ST_NOT_FOUND) return TBS_ST_PERMISSION;
        if (st != TBS_ST_OK) return st;
        const std::string got = hash_of(c.password, salt);
        const bool same =
            got.size() == hash.size() && CRYPTO_memcmp(got.data(), hash.data(), got.size()) == 0;
        return same ? TBS_ST_OK : TBS_ST_PERMISSION;
    }
    tbs_status_t get_record(const CTide_Credentials& c, const std::string& id,
                            CTide_Record* out) override {
        std::shared_ptr<store_db> db;
        tbs_status_t st = logged_in(c, &db);
        return st == TBS_ST_OK ? tide_store_get_record(*db, id, out) : st;
    }
    tbs_status_t query(const CTide_Credentials& c, const std::string& owner,
                       std::vector<CTide_Record>* out) override {
        std::shared_ptr<store_db> db;
        tbs_status_t st = logged_in(c, &db);
        return st == TBS_ST_OK ? tide_store_records(*db, owner, out) : st;
    }
    tbs_status_t put_record(const CTide_Credentials& c, const CTide_Record& rec) override {
        std::shared_ptr<store_db> db;
        tbs_status_t st = logged_in(c, &db);
        return st == TBS_ST_OK ? CTide_admin_put_record(c.user_db, c.db_set, rec) : st;
    }
    tbs_status_t record_types(const CTide_Credentials& c, std::vector<std::string>* out) override {
        std::shared_ptr<store_db> db;
        tbs_status_t st = logged_in(c, &db);
        return st == TBS_ST_OK ? tide_store_record_types(*db, out) : st;
    }

private:
    tbs_status_t logged_in(const CTide_Credentials& c, std::shared_ptr<store_db>* db) {
        tbs_status_t st = validate(c);
        return st == TBS_ST_OK ? open_db(c.user_db, c.db_set, false, db) : st;
    }
};

std::mutex g_mu;
CTide_Provider* g_provider = nullptr;
CTide_login_cb_t g_login = nullptr;
void* g_login_data = nullptr;

}  // namespace

CTide_Provider* CTide_provider() {
    static SiteProvider site;
    std::lock_guard<std::mutex> lock(g_mu);
    return g_provider ? g_provider : &site;
}

void CTide_set_provider(CTide_Provider* provider) {
    std::lock_guard<std::mutex> lock(g_mu);
    g_provider = provider;
}

tbs_status_t CTide_create_database(const std::string& user_db, const std::string& db_set) {
    std::shared_ptr<store_db> db;
    return open_db(user_db, db_set, true, &db);
}

tbs_status_t CTide_set_user(const std::string& user_db, const std::string& db_set,
                            const std::string& user, const std::string& password) {
    if (user.empty() || user.size() > 255) return TBS_ST_BAD_NAME;
    std::shared_ptr<store_db> db;
    tbs_status_t st = open_db(user_db, db_set, false, &db);
    if (st != TBS_ST_OK) return st;
    unsigned char raw[kSaltBytes];
    if (RAND_bytes(raw, sizeof raw) != 1) return TBS_ST_ERR;
    const std::string salt = hex(raw, sizeof raw);
    const std::string hash = hash_of(password, salt);
    if (hash.empty()) return TBS_ST_ERR;
    return db->transact(store_txn_kind::write, [&](store_txn& txn) {
        tbs_status_t s = tide_store_set_user(*db, user, salt, hash);
        return s == TBS_ST_OK ? txn.commit() : s;
    });
}

tbs_status_t CTide_admin_put_record(const std::string& user_db, const std::string& db_set,
                                    const CTide_Record& rec) {
    if (rec.id.empty() || rec.id.size() > 255) return TBS_ST_BAD_NAME;
    std::shared_ptr<store_db> db;
    tbs_status_t st = open_db(user_db, db_set, false, &db);
    if (st != TBS_ST_OK) return st;
    return db->transact(store_txn_kind::write, [&](store_txn& txn) {
        tbs_status_t s = tide_store_put_record(*db, rec);
        return s == TBS_ST_OK ? txn.commit() : s;
    });
}

tbs_status_t CTide_admin_get_record(const std::string& user_db, const std::string& db_set,
                                    const std::string& id, CTide_Record* out) {
    std::shared_ptr<store_db> db;
    tbs_status_t st = open_db(user_db, db_set, false, &db);
    return st == TBS_ST_OK ? tide_store_get_record(*db, id, out) : st;
}

tbs_status_t CTide_admin_bind_record(const std::string& user_db, const std::string& db_set,
                                     const std::string& id, const std::string& activity) {
    std::shared_ptr<store_db> db;
    tbs_status_t st = open_db(user_db, db_set, false, &db);
    if (st != TBS_ST_OK) return st;
    return db->transact(store_txn_kind::write, [&](store_txn& txn) {
        CTide_Record rec;
        tbs_status_t s = tide_store_get_record(*db, id, &rec);
        if (s == TBS_ST_OK) s = tide_store_set_bound_activity(*db, id, activity);
        return s == TBS_ST_OK ? txn.commit() : s;
    });
}

tbs_status_t tide_admin_records(const std::string& user_db, const std::string& db_set,
                                const std::string& owner, std::vector<CTide_Record>* out) {
    std::shared_ptr<store_db> db;
    tbs_status_t st = open_db(user_db, db_set, false, &db);
    return st == TBS_ST_OK ? tide_store_records(*db, owner, out) : st;
}

void CTide_set_login_callback(CTide_login_cb_t cb, void* data) {
    std::lock_guard<std::mutex> lock(g_mu);
    g_login = cb;
    g_login_data = data;
}

tbs_status_t CTide_Session::open(const CTide_Credentials& given, CTide_Session* out) {
    CTide_Provider* p = CTide_provider();
    if (!p->has_database(given.user_db, given.db_set)) {
        imsg_error("No change-request database \"%s\" in set \"%s\".\n", given.user_db.c_str(),
                   given.db_set.c_str());
        return TBS_ST_NOT_FOUND;
    }
    if (!given.user_name.empty()) {
        tbs_status_t st = p->validate(given);
        if (st != TBS_ST_OK) return st;
        out->creds_ = given;
        return TBS_ST_OK;
    }
    CTide_login_cb_t cb;
    void* data;
    {
        std::lock_guard<std::mutex> lock(g_mu);
        cb = g_login;
        data = g_login_data;
    }
    for (int tries = 0; cb && tries < kLoginTries; ++tries) {
        CTide_Credentials c = given;
        int retry = 1;
        cb(data, given.user_db.c_str(), given.db_set.c_str(), &c, tries, &retry);
        if (retry != 0) break;
        c.user_db = given.user_db;
        c.db_set = given.db_set;
        if (p->validate(c) == TBS_ST_OK) {
            out->creds_ = c;
            return TBS_ST_OK;
        }
        imsg_error(
            "Login to change-request database \"%s\" failed: user name or password is "
            "incorrect.\n",
            given.user_db.c_str());
    }
    return TBS_ST_CREDENTIALS_REQUIRED;
}

tbs_status_t CTide_Session::get_record(const std::string& id, CTide_Record* out) const {
    return CTide_provider()->get_record(creds_, id, out);
}

tbs_status_t CTide_Session::query(const std::string& owner, std::vector<CTide_Record>* out) const {
    return CTide_provider()->query(creds_, owner, out);
}

tbs_status_t CTide_Session::put_record(const CTide_Record& rec) const {
    return CTide_provider()->put_record(creds_, rec);
}

tbs_status_t CTide_Session::record_types(std::vector<std::string>* out) const {
    return CTide_provider()->record_types(creds_, out);
}
