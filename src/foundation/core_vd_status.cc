// CoreVdStatus failure reporting.
#include "foundation/core_vd_status.h"

#include <cstdio>

#include "core/tbs/tbs.h"

void CoreVdStatus::fail_at(const char* file, int line) {
    std::string text = redirector_.text();
    fprintf(stderr,
            "Core Verdane error in method %s with status %d(file=%s, line=%d)\nimsg text:\n%s\n",
            method_.c_str(), static_cast<int>(code_), file, line, text.c_str());
    fputc('\n', stderr);
    throw CoreVdStatusException(code_, text, method_, file ? file : "", line);
}

std::string CoreVdStatusException::get_description() const {
    std::string d = "Unexpected core VD error in method " + method_ + "\n";
    d += "  File: " + file_ + "\n";
    d += "  Line: " + std::to_string(line_) + "\n";
    d += "  Status: " + std::to_string(code_) + " (" + tbs_strerror(code_) + ")\n";
    d += " IMSG text: \n";
    d += message_;
    return d;
}
