// VDW_WsUpdateWarper: while it is established, a namespace change the core makes through a
// web view (a rename, a removed name, a new link or element) is reported to the client in
// the same response, as the records of an update of the names it touched, and the web
// view's record follows what was sent.
#ifndef WEBVIEW_VDW_WS_UPDATE_WARPER_H
#define WEBVIEW_VDW_WS_UPDATE_WARPER_H

#include "core/tbs/tbs.h"
#include "core/ws/ws.h"

class VDW_RpcResponse;
class VDW_Vdcore;
class WCM_MemPool;
class WCM_Status;

class VDW_WsUpdateWarper {
public:
    VDW_WsUpdateWarper(VDW_Vdcore& vdcore, bool compress_ok, VDW_RpcResponse& response,
                       WCM_MemPool& pool, WCM_Status& status);
    ~VDW_WsUpdateWarper();
    VDW_WsUpdateWarper(const VDW_WsUpdateWarper&) = delete;
    VDW_WsUpdateWarper& operator=(const VDW_WsUpdateWarper&) = delete;

    // Installs the handlers (keeping the ones they replace).
    void establish();

    static tbs_status_t vob_op_update_name_cbk(void* ctx, ws_handle_t* handle, int op,
                                               const char* dir, const char* leaf);
    static tbs_status_t vob_op_update_obj_cbk(void* ctx, ws_handle_t* handle, int op,
                                              const char* path);
    static tbs_status_t vob_op_rename_scope_cbk(void* ctx, ws_handle_t* handle, const char* from,
                                                const char* to);
    static tbs_status_t vob_op_load_scope_ver_cbk(void* ctx, ws_handle_t* handle, int op,
                                                  const char* path);

private:
    using NameOp = tbs_status_t (*)(ws_handle_t*, const char*, const char*);
    tbs_status_t warped(ws_handle_t* handle, NameOp op, const char* a, const char* b);

    VDW_Vdcore& vdcore_;
    bool compress_ok_;
    VDW_RpcResponse& response_;
    WCM_MemPool& pool_;
    WCM_Status& status_;
    bool established_ = false;
    ws_update_handlers_t previous_;
};

#endif
