// The vdtool command interpreter and its command-line matcher.
//
// `cmdsyn_execv` runs one command line ("mkvob -tag /vobs/p /srv/p.vbs"); every line of
// output goes through the message library (informational, warning and error classes), so
// the same code serves the terminal and a caller that captures messages.
#ifndef CORE_CMDSYN_CMDSYN_H
#define CORE_CMDSYN_CMDSYN_H

#include "core/tbs/tbs.h"

tbs_status_t cmdsyn_execv(int argc, const char* const* argv);

// Whether `arg` is the option `name` ("-comment"), written in full or abbreviated to at
// least `min_len` characters after the dash ("-c" with min_len 1).
bool clp_match(const char* arg, const char* name, int min_len);

#endif
