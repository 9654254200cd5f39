// Test hooks that kill the client at chosen points.
#include "client/crash_hook.h"

#include <csignal>
#include <cstdlib>
#include <cstring>

namespace client {

namespace {

struct Plan {
    const char* at = nullptr;
    long long step = 0;
};

const Plan& plan() {
    static const Plan p = [] {
        Plan made;
        made.at = getenv("VDWEB_CRASH_AT");
        if (const char* s = getenv("VDWEB_CRASH_STEP")) made.step = atoll(s);
        return made;
    }();
    return p;
}

long long g_steps = 0;

}  // namespace

void crash_point(const char* name) {
    const Plan& p = plan();
    if (p.at && strcmp(p.at, name) == 0) raise(SIGKILL);
    crash_step();
}

void crash_step() {
    const Plan& p = plan();
    if (++g_steps == p.step) raise(SIGKILL);
}

long long crash_steps_taken() {
    return g_steps;
}

bool crash_steps_planned() {
    return plan().step > 0;
}

}  // namespace client
