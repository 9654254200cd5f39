// VDW_WsUpdateWarper.
#include "webview/vdw_ws_update_warper.h"

#include <cstdio>

#include "core/imsg/imsg.h"
#include "foundation/wcm_status.h"
#include "webview/vdw_ws_handle.h"
#include "webview/vdw_ws_sync_fetch.h"

namespace {

tbs_status_t unhandled(int op) {
    char text[16];
    snprintf(text, sizeof text, "%d", op);
    imsg_internal_error("vdw_lib", __FILE__, __LINE__, "ws_vob_op %s.\n", text);
    return TBS_ST_ERR;
}

}  // namespace

VDW_WsUpdateWarper::VDW_WsUpdateWarper(VDW_Vdcore& vdcore, bool compress_ok,
                                       VDW_RpcResponse& response, WCM_MemPool& pool,
                                       WCM_Status& status)
    : vdcore_(vdcore),
      compress_ok_(compress_ok),
      response_(response),
      pool_(pool),
      status_(status) {}

VDW_WsUpdateWarper::~VDW_WsUpdateWarper() {
    if (established_) ws_vob_op_set_update_handlers(&previous_, nullptr);
}

void VDW_WsUpdateWarper::establish() {
    ws_update_handlers_t h;
    h.ctx = this;
    h.update_name = vob_op_update_name_cbk;
    h.update_obj = vob_op_update_obj_cbk;
    h.rename_scope = vob_op_rename_scope_cbk;
    h.load_scope_ver = vob_op_load_scope_ver_cbk;
    ws_vob_op_set_update_handlers(&h, &previous_);
    established_ = true;
}

// Runs one namespace update of the core with this request's fetch installed on its handle,
// so that what it changes goes out in the response.
tbs_status_t VDW_WsUpdateWarper::warped(ws_handle_t* handle, NameOp op, const char* a,
                                        const char* b) {
    VDW_WsHandle wsh(handle);
    WCM_Status st;
    {
        VDW_WsSyncFetch fetch(vdcore_, wsh, compress_ok_, response_, pool_, st);
        fetch.warp_wsh(st);
        if (st.is_ok()) {
            tbs_status_t rc = op(handle, a, b);
            if (rc != TBS_ST_OK && st.is_ok()) st.set_status(rc);
        }
    }
    if (!st.is_ok() && status_.is_ok()) status_.set_status(st.status());
    return st.status();
}

tbs_status_t VDW_WsUpdateWarper::vob_op_update_name_cbk(void* ctx, ws_handle_t* handle, int op,
                                                        const char* dir, const char* leaf) {
    if (op < WS_VOB_OP_RENAME || op > WS_VOB_OP_MKELEM) return unhandled(op);
    return static_cast<VDW_WsUpdateWarper*>(ctx)->warped(handle, ws_update_name, dir, leaf);
}

tbs_status_t VDW_WsUpdateWarper::vob_op_rename_scope_cbk(void* ctx, ws_handle_t* handle,
                                                         const char* from, const char* to) {
    return static_cast<VDW_WsUpdateWarper*>(ctx)->warped(handle, ws_rename_scope, from, to);
}

tbs_status_t VDW_WsUpdateWarper::vob_op_update_obj_cbk(void*, ws_handle_t* handle, int op,
                                                       const char* path) {
    if (op == 5) return TBS_ST_OK;
    if (op < 0 || op > 4) return unhandled(op);
    return ws_update_obj(handle, path);
}

tbs_status_t VDW_WsUpdateWarper::vob_op_load_scope_ver_cbk(void*, ws_handle_t* handle, int op,
                                                           const char* path) {
    if (op != 2 && op != 4) return unhandled(op);
    return ws_load_scope_ver(handle, path);
}
