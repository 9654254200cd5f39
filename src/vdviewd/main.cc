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
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        if (options && strcmp(argv[i], "--") == 0) {
            options = false;
        } else if (options && strcmp(argv[i], "--ready-fd") == 0 && i + 1 < argc) {
            char* end = nullptr;
            long fd = strtol(argv[++i], &end, 10);
            if (!*argv[i] || *end || fd < 0 || fd > 1023) tag = nullptr, i = argc;
            ready_fd = static_cast<int>(fd);
        } else if (!tag && (!options || argv[i][0] != '-')) {
            tag = argv[i];
        } else {
            tag = nullptr;
            break;
        }
    }
    if (!tag) {
        fprintf(stderr, "usage: vdviewd [--ready-fd N] [--] view-tag\n");
        return 2;
    }
    return vtfs_serve(tag, ready_fd);
}
