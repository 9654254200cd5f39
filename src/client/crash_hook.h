// Where fault tests stop the client the way `kill -9` or a power cut would, so that every
// state an interrupted command can leave is reached without depending on timing.
//
// VDWEB_CRASH_AT=NAME kills the process at the named point (crash_point): of an update,
// "begin" (the server's session has begun, the area has not noted it), "element" (after an
// element was applied), "commit" (before the commit that ends the session), "confirmed"
// (the server has answered a commit, the area still holds what it named) and "committed";
// of a command on elements, "answered" (the server has acted and begun its answer, and
// nothing of it is applied). VDWEB_CRASH_STEP=N
// kills it at the N-th step: each named point, each write to the copy area's index, each
// part of an answer, each file put in place and each request is a step, in the order the
// command takes them, so a number names one point of one command's run. Without either
// variable these calls only count.
#ifndef CLIENT_CRASH_HOOK_H
#define CLIENT_CRASH_HOOK_H

namespace client {

void crash_point(const char* name);
void crash_step();
// Steps taken so far, and whether a step kill was asked for (the client then reports the
// steps of a run that ended before it, for a test to size its range).
long long crash_steps_taken();
bool crash_steps_planned();

}  // namespace client

#endif  // CLIENT_CRASH_HOOK_H
