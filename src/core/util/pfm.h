// Process platform helpers: exit handlers, web prompting mode, the host's name.
#ifndef CORE_UTIL_PFM_H
#define CORE_UTIL_PFM_H

#include <string>

typedef void (*pfm_exit_proc_t)(void* arg);

// Registers `proc` to run with `arg` when the process exits normally; handlers run in
// reverse order of registration. Returns 0, or -1 when the list is full.
int pfm_on_exit(pfm_exit_proc_t proc, void* arg);

// Whether questions to the user go to a remote web client (1) or the terminal (0).
void ks_set_web_vdprompt(int on);
int ks_get_web_vdprompt();

// This machine's host name, or "localhost" when it cannot be read.
std::string pfm_host_name();

#endif
