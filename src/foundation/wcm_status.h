// WCM_Status: the outcome of an operation, passed by reference through every call.
//
// A status code (0 ok; 1033 a warning that counts as ok; 1002 and 1052 not found; other
// codes from the core or the protocol) and the message text accumulated for the client.
#ifndef FOUNDATION_WCM_STATUS_H
#define FOUNDATION_WCM_STATUS_H

#include <cstdint>

class WCM_Status {
public:
    enum : int32_t {
        OK = 0,
        ERROR = 1001,
        NOT_FOUND = 1002,
        WARNING = 1033,
        OBJ_NOT_FOUND = 1052,
        CANCELLED = 1055,
        BAD_REQUEST = 1072,
        UNRECOGNIZED_RPC = 100008,
        NOT_CONVERTIBLE = 100023,
    };

    WCM_Status() = default;
    WCM_Status(const WCM_Status& other);
    WCM_Status& operator=(const WCM_Status& other);
    ~WCM_Status();

    bool set_status(int code);
    void set_error() { code_ = ERROR; }
    void set_ok() { code_ = OK; }
    int status() const { return code_; }
    bool is_ok() const { return code_ == OK || code_ == WARNING; }
    bool is_warning() const { return code_ == WARNING; }
    bool is_not_found() const { return code_ == NOT_FOUND || code_ == OBJ_NOT_FOUND; }
    // The core's text for the code; "" for 0 and 1033.
    const char* strerror() const;
    void clear();
    void add_text(const char* s);
    // Formats entry `index` of `catalog` (an imsg_catalog_t) and appends it.
    void format(const void* catalog, int index, ...);
    const char* text() const;

private:
    void release_text();

    int32_t code_ = OK;
    char* text_ = nullptr;  // heap, or the static allocation-failure text
};

#endif
