// VDW_WsSyncFetch: one update of a web view, streamed to the client as records.
//
// The core's load session compares the web view's record of what the client holds with
// what the view selects now and reports each element to this object's observer callbacks;
// each becomes response parts as it arrives: "SyncFetchBegin", "SyncDirContext" before the
// first record of each directory, "SyncElemInfo" (full, unload or failure),
// "SyncElemData" with the file's bytes after its record, "SyncRenameElem",
// "SyncProgress" after two quiet seconds, and "SyncFetchEnd". Nothing is collected first;
// the record of the web view moves only when the client commits what it applied.
//
// Callers: the fetch RPC (its argument string parsed here), the single-element downloads
// after a checkout, uncheckout, checkin or element creation (no begin or end records, the
// config-spec rule always sent), the config-spec RPC, and the update warper of namespace
// changes made on the server.
#ifndef WEBVIEW_VDW_WS_SYNC_FETCH_H
#define WEBVIEW_VDW_WS_SYNC_FETCH_H

#include <cstdint>
#include <ctime>
#include <iosfwd>
#include <string>
#include <vector>

#include "core/tbs/tbs.h"
#include "foundation/vdw_cancel.h"

class VDW_RpcResponse;
class VDW_Vdcore;
class VDW_WsHandle;
class WCM_MemPool;
class WCM_Status;
struct ws_elem_info_t;
struct ws_handle_t;
struct ws_xfer_cache_t;

class VDW_WsSyncFetch {
public:
    enum Mode {
        SYNC_FROM_VOB = 0,
        SYNC_FROM_VIEW = 1,
        NS_UPDATE_AUTOMATIC = 2,
        CHECKOUT = 3,
        UNCHECKOUT = 4,
        CHECKIN = 5,
        MKELEM = 6,
    };
    enum HijackMode { HIJACK_KEEP = 0, HIJACK_RENAME = 1, HIJACK_OVERWRITE = 2 };

    // The fetch RPC: everything comes from the argument string.
    VDW_WsSyncFetch(VDW_Vdcore& vdcore, const char* request_args, bool compress_ok,
                    VDW_RpcResponse& response, WCM_MemPool& pool);
    // Single-element downloads.
    VDW_WsSyncFetch(VDW_Vdcore& vdcore, Mode mode, const char* view_root, bool compress_ok,
                    VDW_RpcResponse& response, WCM_MemPool& pool, WCM_Status& status);
    // The config-spec RPC.
    VDW_WsSyncFetch(VDW_Vdcore& vdcore, Mode mode, const char* view_root, bool compress_ok,
                    bool send_cleartext, bool send_failures, VDW_RpcResponse& response,
                    WCM_MemPool& pool, WCM_Status& status);
    // Update-warper callbacks: the core operation's handle, borrowed.
    VDW_WsSyncFetch(VDW_Vdcore& vdcore, VDW_WsHandle& wsh, bool compress_ok,
                    VDW_RpcResponse& response, WCM_MemPool& pool, WCM_Status& status);
    ~VDW_WsSyncFetch();
    VDW_WsSyncFetch(const VDW_WsSyncFetch&) = delete;
    VDW_WsSyncFetch& operator=(const VDW_WsSyncFetch&) = delete;

    void set_preview_only() { preview_ = true; }
    void set_auto_load_rule_gen() { auto_load_rule_gen_ = true; }
    void set_defer_load() { defer_load_ = true; }
    void set_abort_inprogress_sync_session() { abort_inprogress_ = true; }
    void set_modified_file_name(const char* path) { modified_file_ = path ? path : ""; }
    void set_send_cspec_rule() { send_cspec_rule_ = true; }
    void set_update_view() { update_view_ = true; }
    void set_automatic_view() { automatic_view_ = true; }
    void set_surgical_update() { surgical_update_ = true; }
    void set_snapshot_view() { snapshot_view_ = update_view_ = true; }
    void set_override_ptime(bool v) { override_ptime_ = v; }
    void set_use_ptime(bool v) { use_ptime_ = v; }
    void set_hijack_mode(HijackMode m) { hijack_mode_ = m; }
    void set_cspec_mod_before_update() { cspec_mod_before_update_ = true; }
    void set_scope_list(const char* const* scopes, unsigned n);
    void set_scope_list(const char* const* scopes, unsigned n, const char* const* removed,
                        unsigned m);

    // Performs the update; the status is the fetch's.
    void run(WCM_Status& status);
    // Prepares a borrowed handle for an update a core namespace operation drives.
    void warp_wsh(WCM_Status& status);

    static const char* mode_to_str(int mode);
    static Mode mode_from_str(const char* text, WCM_Status& status);
    static HijackMode hijack_mode_from_str(const char* text, WCM_Status& status);
    static const char* ftype_to_str(int ftype);

    // Records. Each returns false when the response could not be written.
    static bool add_begin_response(VDW_RpcResponse& r, long timestamp, unsigned long session_id,
                                   int loaded_count);
    static bool add_end_response(VDW_RpcResponse& r, bool completed_ok);
    static bool add_progress_response(VDW_RpcResponse& r, int count);
    static bool add_rename_response(VDW_RpcResponse& r, const char* src_dir, const char* src_name,
                                    const char* dst_dir, const char* dst_name);
    static bool add_dir_context_response(VDW_RpcResponse& r, const char* dir, const char* vob_root);
    static bool add_unload_elem_response(VDW_RpcResponse& r, const char* leaf, bool checked_out);
    static bool add_failed_elem_response(VDW_RpcResponse& r, const char* leaf, const char* error);
    // Sends the file at `path` as a "SyncElemData" part, gzip-compressed when the client
    // takes it and the file is at least the site's threshold.
    static void marshal_file_part(VDW_RpcResponse& r, const char* path, long long size,
                                  bool compress_ok, WCM_Status& status, VDW_Cancel* cancel);

    // Single-element downloads: the element's new state (and contents) after an operation
    // made for the client. On failure VDSRV1228-1231 names the pathname.
    static void download_one_checkout(VDW_Vdcore& vdcore, const char* view_root, const char* pname,
                                      const char* modified_file, bool compress_ok, bool automatic,
                                      bool defer, VDW_RpcResponse& response, WCM_MemPool& pool,
                                      WCM_Status& status);
    static void download_one_uncheckout(VDW_Vdcore& vdcore, const char* view_root,
                                        const char* pname, bool compress_ok, bool defer,
                                        VDW_RpcResponse& response, WCM_MemPool& pool,
                                        WCM_Status& status);
    static void download_one_checkin(VDW_Vdcore& vdcore, const char* view_root, const char* pname,
                                     bool compress_ok, bool defer, VDW_RpcResponse& response,
                                     WCM_MemPool& pool, WCM_Status& status);
    static void download_one_mkelem(VDW_Vdcore& vdcore, const char* view_root, const char* pname,
                                    const char* modified_file, bool compress_ok, bool automatic,
                                    bool defer, VDW_RpcResponse& response, WCM_MemPool& pool,
                                    WCM_Status& status);
    static void download_checkins(VDW_Vdcore& vdcore, const char* view_root,
                                  const std::vector<std::string>& pnames, bool compress_ok,
                                  bool defer, VDW_RpcResponse& response, WCM_MemPool& pool,
                                  WCM_Status& status);

    // What the session did, for its callers and tests.
    unsigned long session_id() const { return session_id_; }
    int visited_failures() const { return visited_failures_; }

    // Core observer callbacks (context: the fetch).
    static tbs_status_t begin_session_cbk(void* ctx, uint64_t session_id, int* notify);
    static tbs_status_t one_element_cbk(void* ctx, const ws_elem_info_t* info, int* notify);
    static tbs_status_t unvisited_cbk(void* ctx, const ws_elem_info_t* info, int state,
                                      int* notify);
    static tbs_status_t end_unvisited_cbk(void* ctx, int* notify);
    static tbs_status_t renamed_cbk(void* ctx, const char* src_dir, const char* src_name,
                                    const char* dst_dir, const char* dst_name, int progress_only,
                                    int* notify);

private:
    void common_init(Mode mode, bool compress_ok);
    bool parse_request(WCM_Status& status);
    unsigned load_prefs_word(WCM_Status& status) const;
    void setup_ws_observer();
    void augment_load_rules(WCM_Status& status);
    bool should_send_cspec_rule();
    const std::vector<std::string>& view_scopes();
    bool under_removed_scope(const ws_elem_info_t& info);
    bool inside_view_scopes(const std::string& item);
    bool under_scopes(const std::string& item) const;

    // Handlers behind the callbacks.
    void begin_session_callback(uint64_t session_id, WCM_Status& status);
    void one_element_callback(const ws_elem_info_t& info, WCM_Status& status);
    void one_unvisited_element_callback(const ws_elem_info_t& info, int state, WCM_Status& status);
    void renamed_one_callback(const char* src_dir, const char* src_name, const char* dst_dir,
                              const char* dst_name, bool progress_only, WCM_Status& status);
    // Turns a handler's status into the callback's answer to the core.
    tbs_status_t finish_callback(WCM_Status& status, int* notify, bool begin);
    void check_cancel(WCM_Status& status);
    void check_progress(time_t now, WCM_Status& status);
    void add_dir_context_response_if_different(const ws_elem_info_t& info, WCM_Status& status);
    void add_elem_info_response(const ws_elem_info_t& info, bool frozen, WCM_Status& status);
    void add_ver_data_response(const ws_elem_info_t& info, WCM_Status& status);
    std::string get_cspec_rule(const ws_elem_info_t& info, WCM_Status& status);
    void wrote(bool ok, WCM_Status& status);
    // Single-element downloads have no commit of their own: the records they sent are
    // written into the web view's record when they end.
    void remember_sent(const ws_elem_info_t& info, bool unload);
    void record_sent(WCM_Status& status);

    VDW_Vdcore& vdcore_;
    VDW_RpcResponse& response_;
    WCM_MemPool& pool_;
    std::string view_root_;
    const char* request_args_ = nullptr;
    bool compress_ok_ = false;
    long long threshold_ = 0;  // bytes from which data parts go compressed
    Mode mode_ = SYNC_FROM_VOB;
    HijackMode hijack_mode_ = HIJACK_KEEP;
    bool single_op_ = false;
    bool forced_cspec_rule_ = false;
    bool preview_ = false;
    bool auto_load_rule_gen_ = false;
    bool defer_load_ = false;
    bool abort_inprogress_ = false;
    std::vector<std::string> scopes_;
    std::vector<std::string> scope_verids_;
    std::vector<std::string> removed_scopes_;
    std::vector<std::string> view_scopes_;
    bool view_scopes_read_ = false;
    long session_timestamp_ = 0;
    unsigned long session_id_ = 0;
    int loaded_elem_count_ = 0;
    int cur_elem_count_ = 0;
    time_t last_record_time_ = 0;
    std::string dir_context_;
    bool dir_context_set_ = false;
    bool begin_sent_ = false;
    bool commit_loopback_ = false;
    VDW_WsHandle* wsh_ = nullptr;
    bool wsh_owned_ = false;
    ws_xfer_cache_t* cltxt_cache_ = nullptr;
    int visited_failures_ = 0;
    int unvisited_failures_ = 0;
    bool unvisited_done_ = false;
    bool session_established_ = false;
    bool send_cspec_rule_ = false;
    std::string modified_file_;
    VDW_Cancel cancel_;
    bool use_ptime_ = true;
    bool update_view_ = false;
    bool send_cleartext_ = true;
    bool cltxt_omitted_ = false;
    bool send_failures_ = false;
    bool automatic_view_ = false;
    bool surgical_update_ = false;
    bool snapshot_view_ = false;
    bool override_ptime_ = true;
    bool cspec_mod_before_update_ = false;
    std::string ns_dir_scope_;
    WCM_Status* status_ = nullptr;  // the status of the running update
    bool warped_ = false;           // driven by a core namespace operation
    std::vector<ws_elem_info_t> sent_;
};

#endif
