// CoreVdStatus: guards one core call in code that reports failures by exception.
//
// While it lives it collects the core's messages; the caller stores the call's status
// code in it and, on failure, calls `fail_at` (through CORE_VD_FAIL), which reports on
// standard error and throws CoreVdStatusException carrying the collected text.
#ifndef FOUNDATION_CORE_VD_STATUS_H
#define FOUNDATION_CORE_VD_STATUS_H

#include <cstdint>
#include <string>

#include "core/sum/imsg_redirector.h"

class CoreVdStatusException {
public:
    CoreVdStatusException(int code, std::string message, std::string method, std::string file,
                          int line)
        : code_(code),
          message_(std::move(message)),
          method_(std::move(method)),
          file_(std::move(file)),
          line_(line) {}

    int code() const { return code_; }
    const std::string& message() const { return message_; }
    std::string get_description() const;

private:
    int code_;
    std::string message_;
    std::string method_;
    std::string file_;
    int line_;
};

class CoreVdStatus {
public:
    explicit CoreVdStatus(const char* method) : method_(method ? method : "") {}
    virtual ~CoreVdStatus() = default;
    CoreVdStatus(const CoreVdStatus&) = delete;
    CoreVdStatus& operator=(const CoreVdStatus&) = delete;

    CoreVdStatus& operator=(int32_t code) {
        code_ = code;
        return *this;
    }
    int32_t code() const { return code_; }
    bool is_ok() const { return code_ == 0; }
    const std::string& collected() const { return redirector_.text(); }

    [[noreturn]] void fail_at(const char* file, int line);

private:
    int32_t code_ = 0;
    std::string method_;
    SUM_ImsgRedirector redirector_;
};

#define CORE_VD_FAIL(st) (st).fail_at(__FILE__, __LINE__)

#endif
