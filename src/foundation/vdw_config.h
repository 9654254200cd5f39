// VDW_Config: the server's site settings and the per-request facts about the client.
//
// One instance per process (`getInstance`), built from the built-in defaults and the
// configuration file <config dir>/qlmx/server.conf, read once. The file holds
// "key = value" lines:
//   - each line is trimmed of surrounding white space;
//   - empty lines and lines starting with "#" are skipped;
//   - a line without "=", or starting with "=", is skipped;
//   - the key is the trimmed text before the first "=", the value the trimmed text after
//     it (further "=" belong to the value; the value may be empty);
//   - a later line replaces an earlier value and the file replaces a default.
// Keys are case-sensitive; unknown keys are kept and read like the others.
//
// The instance also carries what the RPC framework learns about the client of the
// current request (automatic and snapshot view awareness), whether extended groups are in
// use, and the credentials the login path stores; all of these are overwritten by each
// request.
#ifndef FOUNDATION_VDW_CONFIG_H
#define FOUNDATION_VDW_CONFIG_H

#include <map>
#include <string>
#include <vector>

#include "core/tbs/tbs.h"

class WCM_Status;

class VDW_Config {
public:
    static constexpr const char* KEEPALIVE_INTERVAL_KEY = "qlmxKeepAliveInterval";
    // The group whose members are the site's administrators (none when absent).
    static constexpr const char* ADMIN_GROUP_KEY = "qlmxAdminGroup";
    static constexpr const char* DOWNLOAD_COMPRESSION_THRESHOLD_KEY =
        "qlmxDownloadCompressionThreshold";
    static constexpr const char* FILTER_OBSOLETE_KEY = "qlmxFilterObsolete";
    static constexpr const char* MAX_REQUESTS_PER_SESSION_KEY = "qlmxMaxRequestsPerSession";
    static constexpr const char* SUPPORTS_PARALLEL_LOAD_KEY = "qlmxSupportsParallelLoad";
    static constexpr const char* SUPPORTS_CLIENT_SESSION_CACHING_KEY =
        "qlmxSupportsClientSessionCaching";
    static constexpr const char* UPLOAD_LIMIT_KEY = "qlmxUploadLimit";
    // The most bytes of form data (everything of a request body but its uploaded file).
    static constexpr const char* FORM_LIMIT_KEY = "qlmxFormLimit";
    // Origins besides the server's own whose pages may send requests (blank-separated).
    static constexpr const char* ALLOWED_ORIGINS_KEY = "qlmxAllowedOrigins";
    static constexpr const char* TARNIS_DATABASE_MAP_FILE_KEY = "qlmxTarnisDatabaseMapFile";
    static constexpr const char* USE_VIEW_HOST_PATH_FOR_GLOBAL_PATH_KEY =
        "qlmxUseViewHostPathForGlobalPath";
    static constexpr const char* PRIMARY_GROUP_KEY = "qlmxPrimaryGroup";
    static constexpr const char* TEMP_DIR_KEY = "qlmxTempDir";
    static constexpr const char* TRACE_LEVEL_KEY = "qlmxTraceLevel";
    static constexpr const char* TRACE_SUBSYSTEM_KEY = "qlmxTraceSubsystem";
    static constexpr const char* TRACE_USER_KEY = "qlmxTraceUser";
    static constexpr const char* USER_REGION_MAP_FILE_KEY = "qlmxUserRegionMapFile";
    static constexpr const char* VIEW_STORAGE_KEY = "qlmxViewStorage";
    static constexpr const char* VOB_LINE_TERMINATOR_KEY = "qlmxVobLineTerminator";

    // Status codes of `load`.
    enum { LOAD_OK = 0, LOAD_FAILED = TBS_ST_ERR };

    // The process's instance, built and loaded on the first call. A file that cannot be
    // read leaves the built-in defaults only.
    static VDW_Config& getInstance();
    // Drops the instance; the next `getInstance` builds a new one from the file of the
    // current product directory (for tests).
    static void reset_for_tests();
    // Pathname of the configuration file.
    static std::string get_config_file();

    // A configuration with the built-in defaults only.
    VDW_Config();
    ~VDW_Config();
    VDW_Config(const VDW_Config&) = delete;
    VDW_Config& operator=(const VDW_Config&) = delete;

    // Reads `path` over the current values. LOAD_OK, or LOAD_FAILED when the file cannot
    // be opened or reading it fails; then no value of the file is applied.
    int load(const char* path);

    // The value of `key`, or null when absent. The pointer stays valid until the
    // configuration is loaded again or destroyed.
    const char* get_string_param(const char* key) const;
    // Absent: false; otherwise whether the value is "true" in any letter case.
    bool get_boolean_param(const char* key) const;
    // Absent: 0; otherwise atoi / atol of the value.
    int get_integer_param(const char* key) const;
    long get_long_param(const char* key) const;

    // "key = value" for every key the server knows, in a fixed order, typed: strings as
    // given (empty when absent), booleans as true/false, integers and the upload limit in
    // decimal.
    std::vector<std::string> get_all_params() const;
    // Writes every entry to the trace at level 4, between start and end lines naming
    // `label`.
    void dump_map(const char* label) const;

    // Per-request facts about the client; each answer is traced.
    bool is_client_automatic_view_aware() const;
    void set_client_automatic_view_aware(int aware);
    bool is_client_snapshot_view_aware() const;
    void set_client_snapshot_view_aware(int aware);
    bool is_using_extended_groups() const;
    void set_using_extended_groups(int used);

    // Credentials of the current request, stored by the login path. Null arguments store
    // the empty string; the old password is wiped before it is replaced.
    const std::string& get_user() const { return user_; }
    void set_user(const char* user) { user_ = user ? user : ""; }
    const std::string& get_domain() const { return domain_; }
    void set_domain(const char* domain) { domain_ = domain ? domain : ""; }
    const std::string& get_password() const { return password_; }
    void set_password(const char* password);
    const std::string& get_primary_group() const { return primary_group_; }
    void set_primary_group(const char* group) { primary_group_ = group ? group : ""; }
    const std::string& get_group_list() const { return group_list_; }
    void set_group_list(const char* groups) { group_list_ = groups ? groups : ""; }
    bool is_smart_card() const { return smart_card_ != 0; }
    void set_smart_card(int smart_card) { smart_card_ = smart_card; }
    // Wipes and empties all credentials, with the client address and the retry time.
    void clear_credentials();
    // Takes a request's credential text: Base64 (standard alphabet, padded) of the user name,
    // ":" and the password, in UTF-8. The user part may name a domain ("DOMAIN\\user").
    // False, with no credentials held, when the text is not Base64, longer than
    // CREDENTIALS_MAX, has no ":", an empty user, a NUL, or is not valid UTF-8 convertible to
    // the server's character set. `groups` (may be null) is a ";"-separated group list, kept
    // with ":" separators.
    static constexpr size_t CREDENTIALS_MAX = 1024;
    bool set_credentials(const char* base64, const char* primary_group, const char* groups);
    // A smart-card login: a user name only.
    void set_smart_card_creds(const char* user, const char* primary_group, const char* groups);
    // "DOMAIN\\user" gives domain and user; anything else is a user without a domain.
    static void separate_user_domain(const std::string& text, std::string* user,
                                     std::string* domain);
    bool has_credentials() const { return !user_.empty(); }
    // The address of the client that sent the request's credentials (REMOTE_ADDR; empty
    // when unknown), for the login path's throttle.
    const std::string& get_client_address() const { return client_address_; }
    void set_client_address(const char* address) { client_address_ = address ? address : ""; }
    // Seconds a client whose login was refused for failing too often must wait before it
    // tries again; 0 when the login was not refused for that. Set by the login validator.
    int get_login_retry_after() const { return login_retry_after_; }
    void set_login_retry_after(int seconds) { login_retry_after_ = seconds; }
    // Checks the request's credentials and makes their user the identity of every core
    // operation of this process, through the validator the login layer registers. Returns
    // the status code (0 when the process may go on); `status` carries the failure.
    typedef int (*login_validator_t)(VDW_Config& config, WCM_Status& status);
    static void set_login_validator(login_validator_t validator);
    int validate_login_and_impersonate(WCM_Status& status);

private:
    std::map<std::string, std::string> params_;
    int client_automatic_view_aware_ = 0;
    int client_snapshot_view_aware_ = 0;
    int using_extended_groups_ = 0;
    std::string user_;
    std::string domain_;
    std::string password_;
    std::string primary_group_;
    std::string group_list_;
    int smart_card_ = 0;
    std::string client_address_;
    int login_retry_after_ = 0;
};

#endif
