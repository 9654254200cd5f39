// VDW_WsSyncCommit: a client's confirmation of what it applied after a fetch.
//
// The request names the fetch's session and carries, directory by directory, one item per
// element the client now holds (with its version) or no longer holds (a null version), and
// a closing statement whether the fetch completed. The items are written into the web
// view's record inside a commit load session; the session ends completed only when the
// client says the fetch completed and every item was committed, so a partial commit leaves
// the view marked as not fully synchronized. "SyncCancel" first stops the fetch of that
// session if it is still running in another process.
#ifndef WEBVIEW_VDW_WS_SYNC_COMMIT_H
#define WEBVIEW_VDW_WS_SYNC_COMMIT_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/tbs/tbs.h"
#include "core/view/view_fhandle.h"
#include "foundation/vdw_cancel.h"

class VDW_RpcResponse;
class VDW_Vdcore;
class VDW_WsHandle;
class WCM_MemPool;
class WCM_Status;

class VDW_WsSyncCommit {
public:
    struct CommitItem {
        view_fhandle fh{};
        std::string dir;
        std::string leaf;
        tbs_oid_t next_oid{};  // null: an unload
        bool is_slink = false;
        view_fhandle slink_tgt_fh{};
        std::string slink_tgt_leaf;
    };

    VDW_WsSyncCommit(VDW_Vdcore& vdcore, const char* request_args, VDW_RpcResponse& response,
                     WCM_MemPool& pool);
    ~VDW_WsSyncCommit();
    VDW_WsSyncCommit(const VDW_WsSyncCommit&) = delete;
    VDW_WsSyncCommit& operator=(const VDW_WsSyncCommit&) = delete;

    void run(WCM_Status& status);

    const std::vector<CommitItem>& items() const { return items_; }
    int failures() const { return failures_; }

private:
    bool parse_request(WCM_Status& status);
    bool parse_item(class VDW_ReqArgsParser& p, WCM_Status& status);
    void commit_items(WCM_Status& status);
    void commit_one_unload(const CommitItem& item, WCM_Status& status);

    VDW_Vdcore& vdcore_;
    VDW_RpcResponse& response_;
    WCM_MemPool& pool_;
    const char* request_args_;
    std::string view_root_;
    std::unique_ptr<VDW_WsHandle> wsh_;
    int64_t build_session_ = 0;
    bool build_session_set_ = false;
    long session_timestamp_ = 0;
    long session_id_ = 0;
    std::string dir_context_;
    std::vector<CommitItem> items_;
    bool was_full_sync_ = false;
    bool sync_completed_seen_ = false;
    bool completed_ok_ = false;
    bool cancel_requested_ = false;
    int failures_ = 0;
    VDW_Cancel cancel_;
};

#endif
