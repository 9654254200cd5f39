// vdviewd: serves one dynamic view as a file system mounted at its root. Started by the
// core (vdtool startview, or a request that needs the view) as
//   vdviewd [--ready-fd N] [--] view-tag
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/vtfs/vtfs_fuse.h"

int main(int argc, char** argv) {
    int ready_fd = -1;
    const char* tag = nullptr;
    bool ok = true;
    for (int i = 1; ok && i < argc; ++i) {
        if (strcmp(argv[i], "--") == 0 && i + 2 == argc) {
            tag = argv[i + 1];
            break;
        }
        if (strcmp(argv[i], "--ready-fd") == 0 && i + 1 < argc) {
            char* end = nullptr;
            const long fd = strtol(argv[++i], &end, 10);
            ok = *argv[i] && !*end && fd >= 0 && fd < 1024;
            ready_fd = static_cast<int>(fd);
        } else if (argv[i][0] != '-' && i + 1 == argc) {
            tag = argv[i];
        } else {
            ok = false;
        }
    }
    if (!ok || !tag || !*tag) {
        fprintf(stderr, "usage: vdviewd [--ready-fd N] [--] view-tag\n");
        return 2;
    }
    return vtfs_serve(tag, ready_fd);
}
