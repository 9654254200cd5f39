// SUM_ImsgRedirector: collects every message the core prints while it lives.
//
// Construction saves the current redirect table and installs one that appends the text
// of every class but the suppressed one; destruction restores the saved table. Nested
// redirectors work: the innermost one collects.
#ifndef CORE_SUM_IMSG_REDIRECTOR_H
#define CORE_SUM_IMSG_REDIRECTOR_H

#include <string>

#include "core/imsg/imsg.h"

class SUM_ImsgRedirector {
public:
    SUM_ImsgRedirector();
    ~SUM_ImsgRedirector();
    SUM_ImsgRedirector(const SUM_ImsgRedirector&) = delete;
    SUM_ImsgRedirector& operator=(const SUM_ImsgRedirector&) = delete;

    const std::string& text() const { return text_; }

private:
    static void collect(void* ctx, int msg_class, char* text);

    imsg_redirect_table_t saved_;
    std::string text_;
};

#endif
