// vdtool: the administrator's command-line tool of the core.
#include "core/cmdsyn/cmdsyn.h"
#include "core/imsg/imsg.h"

int main(int argc, char** argv) {
    imsg_redirect_proc_t procs[IMSG_NUM_CLASSES];
    for (int i = 0; i < IMSG_NUM_CLASSES; ++i)
        procs[i] = i <= IMSG_NOTE ? imsg_append_proc_stdout : imsg_append_proc_stderr;
    procs[IMSG_TRACE] = procs[IMSG_DEBUG] = procs[IMSG_SUPPRESS] = imsg_append_proc_suppress;
    imsg_set_redirect_procs(procs, nullptr);
    return cmdsyn_execv(argc, argv) == 0 ? 0 : 1;
}
