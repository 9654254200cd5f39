// The vdtool command interpreter and its command-line matcher.
//
// `cmdsyn_execv` runs one command line as a program receives it: the program's name, the
// subcommand (whole, its alias, or abbreviated as far as it allows: "des" for "describe"),
// then its arguments ("vdtool mkvob -tag /vobs/p /srv/p.vbs"). Every line of output goes
// through the message library (informational, warning and error classes), so the same code
// serves the terminal and a caller that captures messages.
#ifndef CORE_CMDSYN_CMDSYN_H
#define CORE_CMDSYN_CMDSYN_H

#include "core/tbs/tbs.h"

tbs_status_t cmdsyn_execv(int argc, const char* const* argv);

// Confines the local files that commands read (a config-spec file, contents to check in, a
// directory to import) to those below `root`, with every link resolved; a file elsewhere
// is refused. Null lifts the confinement. The command RPC confines a client's commands to
// the root of the view they run in, and to nothing when they run in none ("").
void cmdsyn_confine_files(const char* root);

// Whether `arg` is the option `name` ("-comment"), written in full or abbreviated to at
// least `min_len` characters after the dash ("-c" with min_len 1).
bool clp_match(const char* arg, const char* name, int min_len);
// Whether `word` matches `pattern`, where a bracketed tail marks the part that may be left
// off from its end: "chact[ivity]" matches "chact", "chacti" ... "chactivity". A pattern
// without brackets matches only itself.
bool clp_match(const char* word, const char* pattern);

#endif
