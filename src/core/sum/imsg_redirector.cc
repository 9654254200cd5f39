// Message collection for the duration of one core call.
#include "core/sum/imsg_redirector.h"

SUM_ImsgRedirector::SUM_ImsgRedirector() : saved_(imsg_get_redirect_table()) {
    imsg_redirect_proc_t procs[IMSG_NUM_CLASSES];
    for (auto& p : procs) p = &SUM_ImsgRedirector::collect;
    procs[IMSG_SUPPRESS] = imsg_append_proc_suppress;
    imsg_set_redirect_procs(procs, this);
}

SUM_ImsgRedirector::~SUM_ImsgRedirector() {
    imsg_set_redirect_table(saved_);
}

void SUM_ImsgRedirector::collect(void* ctx, int, char* text) {
    imsg_strip_style_chars(text);
    static_cast<SUM_ImsgRedirector*>(ctx)->text_ += text;
}
