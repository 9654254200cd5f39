// Serving a dynamic view through FUSE: what the daemon program (vdviewd) runs. Only that
// program links libfuse; the rest of the core starts and stops it (view.h).
#ifndef CORE_VTFS_VTFS_FUSE_H
#define CORE_VTFS_VTFS_FUSE_H

// Mounts the dynamic view `tag` at its root and serves it until the process is asked to
// end (SIGTERM, SIGINT, SIGHUP) or the mount is taken away. When `ready_fd` is not -1,
// "ok\n" is written to it once the mount is in place, or the reason it failed, and it is
// closed. Started as root for a site owned by another account, it mounts as root (so that
// every user may reach the mount, each with their own permissions) and then becomes that
// account. The process's exit status: 0 after a clean end.
//
// The kernel keeps no names by default, so every lookup is answered afresh; with
// VERDANE_VTFS_CACHE set to a number of seconds (at most 60) in the daemon's environment it
// keeps names and attributes that long, for speed, and a change made elsewhere is seen
// within that time.
int vtfs_serve(const char* tag, int ready_fd);

#endif
