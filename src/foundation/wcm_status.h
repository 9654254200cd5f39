// WCM_Status: the outcome of an operation, passed by reference through every call.
//
// A status code (0 ok; 1033 a warning that counts as ok; 1002 and 1052 not found; other
// codes from the core or the protocol, all named in the core's status table, core/tbs/tbs.h)
// and the message text accumulated for the client.
#ifndef FOUNDATION_WCM_STATUS_H
#define FOUNDATION_WCM_STATUS_H

#include <cstdint>

#include "core/tbs/tbs.h"

class WCM_Status {
public:
    WCM_Status() = default;
    WCM_Status(const WCM_Status& other);
    WCM_Status& operator=(const WCM_Status& other);
    ~WCM_Status();

    bool set_status(int code);
    void set_error() { code_ = TBS_ST_ERR; }
    void set_ok() { code_ = TBS_ST_OK; }
    int status() const { return code_; }
    bool is_ok() const { return code_ == TBS_ST_OK || code_ == TBS_ST_WARNING; }
    bool is_warning() const { return code_ == TBS_ST_WARNING; }
    bool is_not_found() const { return code_ == TBS_ST_NOT_FOUND || code_ == TBS_ST_OBJ_NOT_FOUND; }
    // The core's text for the code; "" for 0 and 1033.
    const char* strerror() const;
    void clear();
    void add_text(const char* s);
    // Formats entry `index` of `catalog` (an imsg_catalog_t) and appends it.
    void format(const void* catalog, int index, ...);
    const char* text() const;

private:
    void release_text();

    int32_t code_ = TBS_ST_OK;
    char* text_ = nullptr;  // heap, or the static allocation-failure text
};

#endif
