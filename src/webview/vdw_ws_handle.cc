// VDW_WsHandle.
#include "webview/vdw_ws_handle.h"

#include "core/ws/ws.h"
#include "foundation/catalogs/vdw_lib_catalog.h"
#include "foundation/wcm_status.h"

VDW_WsHandle::VDW_WsHandle(const char* view_root, WCM_Status& status) {
    tbs_status_t st = ws_get_handle(view_root ? view_root : "", 0, &handle_);
    if (st != TBS_ST_OK) {
        handle_ = nullptr;
        status.set_status(st);
        status.format(&_vdw_lib_lib_msg_table, VDW_LIB_OPEN_VIEW_FAILED,
                      view_root ? view_root : "");
    }
}

VDW_WsHandle::~VDW_WsHandle() {
    if (owned_ && handle_) ws_free_handle(handle_);
}

view_t* VDW_WsHandle::viewh() const {
    return handle_ ? ws_get_view_handle(handle_, 0) : nullptr;
}

tbs_uuid_t VDW_WsHandle::view_uuid() const {
    return handle_ ? ws_get_view_uuid(handle_) : tbs_uuid_null();
}
