// vdtool: the administrator's command-line tool of the core.
#include <cstdio>

#include "core/cmdsyn/cmdsyn.h"
#include "core/cred/credutl.h"
#include "core/imsg/imsg.h"
#include "core/tbs/tbs.h"

int main(int argc, char** argv) {
    imsg_redirect_proc_t procs[IMSG_NUM_CLASSES];
    for (int i = 0; i < IMSG_NUM_CLASSES; ++i)
        procs[i] = i <= IMSG_NOTE ? imsg_append_proc_stdout : imsg_append_proc_stderr;
    procs[IMSG_TRACE] = procs[IMSG_DEBUG] = procs[IMSG_SUPPRESS] = imsg_append_proc_suppress;
    imsg_set_redirect_procs(procs, nullptr);
    // Run by root on a site that belongs to its service account, the tool writes as that
    // account (the site must stay writable by the processes that serve it) and acts as root.
    char why[256];
    if (credutl_become_site_owner(tbs_product_dir(), why, sizeof why) != 0) {
        fprintf(stderr, "vdtool: Error: Cannot act on the site \"%s\" as its owner: %s.\n",
                tbs_product_dir(), why);
        return 1;
    }
    return cmdsyn_execv(argc, argv) == 0 ? 0 : 1;
}
