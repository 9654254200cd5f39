// Exit-handler list, prompting mode and host name.
#include "core/util/pfm.h"

#include <unistd.h>

#include <cstdlib>

namespace {

constexpr int kMaxHandlers = 32;
struct Handler {
    pfm_exit_proc_t proc;
    void* arg;
};
Handler g_handlers[kMaxHandlers];
int g_count = 0;
bool g_registered = false;
int g_web_prompt = 0;

void run_handlers() {
    while (g_count > 0) {
        Handler h = g_handlers[--g_count];
        h.proc(h.arg);
    }
}

}  // namespace

int pfm_on_exit(pfm_exit_proc_t proc, void* arg) {
    if (!proc || g_count >= kMaxHandlers) return -1;
    if (!g_registered) {
        g_registered = true;
        atexit(run_handlers);
    }
    g_handlers[g_count++] = Handler{proc, arg};
    return 0;
}

void ks_set_web_vdprompt(int on) {
    g_web_prompt = on ? 1 : 0;
}

int ks_get_web_vdprompt() {
    return g_web_prompt;
}

std::string pfm_host_name() {
    char buf[256] = "";
    if (gethostname(buf, sizeof buf - 1) != 0) return "localhost";
    return buf;
}
