// Who may run the diagnostic RPCs: they hold a server process for as long as asked, end it
// on request or stream as much as asked, so only the site's administrator runs them.
#ifndef OPS_DIAG_VDW_DIAG_ACCESS_H
#define OPS_DIAG_VDW_DIAG_ACCESS_H

class VDW_Request;
class WCM_Status;

// True when the acting identity has the privileges of the site's administrator. Otherwise
// the status is "permission denied" with a message naming the RPC, and false: the handler
// answers with that status and does nothing else.
bool vdw_diag_allowed(const VDW_Request& request, WCM_Status& status);

#endif
