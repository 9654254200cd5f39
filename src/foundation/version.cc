// Library name, version and build date.
#include "foundation/version.h"

#include <cstdio>

#include "core/imsg/imsg.h"

#ifndef VDWEB_VERSION
#define VDWEB_VERSION "0.0.0"
#endif
#ifndef VDWEB_BUILD_DATE
#define VDWEB_BUILD_DATE "unknown"
#endif

extern "C" void libvdweb_sprintf_verid(char* buf) {
    snprintf(buf, 128, "%-*s %s (%s)\n", 33, "libvdweb", VDWEB_VERSION, VDWEB_BUILD_DATE);
}

extern "C" void libvdweb_print_verid() {
    char buf[128];
    libvdweb_sprintf_verid(buf);
    imsg_print(IMSG_OK, buf, -1);
}
