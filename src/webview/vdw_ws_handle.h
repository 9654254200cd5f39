// VDW_WsHandle: one core web-view handle, opened here (and closed with the object) or
// borrowed from a core operation that already holds it.
#ifndef WEBVIEW_VDW_WS_HANDLE_H
#define WEBVIEW_VDW_WS_HANDLE_H

#include "core/tbs/tbs.h"

class WCM_Status;
struct view_t;
struct ws_handle_t;

class VDW_WsHandle {
public:
    // Opens the web view whose root is `view_root`; on failure the status is the core's
    // and VDSRV1227 names the root.
    VDW_WsHandle(const char* view_root, WCM_Status& status);
    // Borrows `handle`: the destructor leaves it open.
    explicit VDW_WsHandle(ws_handle_t* handle) : handle_(handle), owned_(false) {}
    ~VDW_WsHandle();
    VDW_WsHandle(const VDW_WsHandle&) = delete;
    VDW_WsHandle& operator=(const VDW_WsHandle&) = delete;

    ws_handle_t* wsh() const { return handle_; }
    view_t* viewh() const;
    tbs_uuid_t view_uuid() const;

private:
    ws_handle_t* handle_ = nullptr;
    bool owned_ = true;
};

#endif
