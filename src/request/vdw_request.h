// VDW_Request: the request with the web RPC protocol's vocabulary.
//
// One accessor per protocol parameter, path clean-up for parameters that carry pathnames
// (white space trimmed, backslashes turned into slashes), and the tests that depend on
// HTTP headers.
#ifndef REQUEST_VDW_REQUEST_H
#define REQUEST_VDW_REQUEST_H

#include "request/wcm_request.h"

#define VDW_PARAM_VIEWTAG "viewtag"
#define VDW_PARAM_VIEWROOT "viewroot"
#define VDW_PARAM_COPYAREAROOT "copyarearoot"
#define VDW_PARAM_VOBTAG "vob"
#define VDW_PARAM_DIR "dir"
#define VDW_PARAM_PDIR "pdir"
#define VDW_PARAM_ELEM "elem"
#define VDW_PARAM_CMD "cmd"
#define VDW_PARAM_RPC "rpc"
#define VDW_PARAM_RPCARGS "rpcargs"
#define VDW_PARAM_OPTION "option"
#define VDW_PARAM_CONFIGVIEW "configview"
#define VDW_PARAM_ACTIVITY "activity"
#define VDW_PARAM_COMMENT "comment"
#define VDW_PARAM_TO_VERSION "tover"
#define VDW_PARAM_FROM_VERSION "fromver"
#define VDW_PARAM_BASE_VERSION "basever"
#define VDW_PARAM_AUTOMERGE "automerge"
#define VDW_PARAM_DEFERLOAD "deferload"
#define VDW_PARAM_INT_VIEWTAG "int_viewtag"
#define VDW_PARAM_PVOB "pvob"
#define VDW_PARAM_PROJECT "project"
#define VDW_PARAM_LABELSEL "labelsel"
#define VDW_PARAM_BRANCHSEL "branchsel"
#define VDW_PARAM_VERSIONSEL "versionsel"
#define VDW_PARAM_VIEWSEL "viewsel"
#define VDW_PARAM_AUTOMRGDIR "automrgdir"
#define VDW_PARAM_DIRONLY "dironly"
#define VDW_PARAM_FOLLOW "follow"
#define VDW_PARAM_EXPLICIT_SYNC_KIND "explicitsynckind"
#define VDW_PARAM_PREVIEW "preview"
#define VDW_PARAM_HIJACK_TREATMENT "hijacktreatment"
#define VDW_PARAM_AUTOGEN_LOADRULES "autogenloadrules"
#define VDW_PARAM_FIND_ALL_HIJACKS "findallhijacks"
#define VDW_PARAM_FIND_IDENTICAL_OK "identicalok"
#define VDW_PARAM_SCOPESEL_WAS_DEFAULT "scopeselectionwasdefault"
#define VDW_PARAM_CHECK_STREAM_CONFIG "checkstreamconfig"
#define VDW_PARAM_PATH_INFO "PATH_INFO"
#define VDW_PARAM_SECONDARY_WIN "secondarywin"
#define VDW_PARAM_MODAL "modal"
#define VDW_PARAM_COMPONENT "component"
#define VDW_SESSION_COOKIE_VALUE "SESSION_COOKIE_VALUE"
#define VDW_PARAM_REQUEST_METHOD "REQUEST_METHOD"
#define VDW_PARAM_GET_URL "x-tarvex-cltxt-url"
#define VDW_PARAM_ACCEPT_ENCODING "accept-encoding"
#define VDW_HEADER_RPC_NAME "x-tarvex-rpc-name"

#define VDW_OPTION_ALL "all"
#define VDW_OPTION_AVOBS "avobs"
#define VDW_OPTION_PUBLIC "public"
#define VDW_JAVA_TRUE "true"
#define VDW_JAVA_FALSE "false"

// Page commands of the browser interface, passed through.
#define VDW_CMD_SELECTVIEW "selectview"
#define VDW_CMD_NEWVIEW "newview"
#define VDW_CMD_MKVIEW "mkview"
#define VDW_CMD_JOIN "join"
#define VDW_CMD_EPROP "eprop"
#define VDW_CMD_VPROP "vprop"
#define VDW_CMD_COMPARE "compare"
#define VDW_CMD_HISTORY "history"
#define VDW_CMD_VIEW "view"
#define VDW_CMD_LOGOUT "logout"
#define VDW_CMD_ABOUT "about"
#define VDW_CMD_REBASE "rebase"
#define VDW_CMD_BROWSE "browse"
#define VDW_CMD_SYNC "sync"
#define VDW_CMD_MERGE "merge"
#define VDW_CMD_FINDMERGE "findmerge"
#define VDW_CMD_DUMP "dump"
#define VDW_CMD_CREDS "creds"

class VDW_Request : public WCM_Request {
public:
    VDW_Request(int argc, char** argv, std::istream& body,
                const std::multimap<std::string, std::string>& env, WCM_MemPool& pool,
                long upload_limit);

    // Pathname parameters are trimmed and their backslashes turned into slashes.
    char* process_param(const char* name, char* value) const override;

    const char* viewtag() const { return param(VDW_PARAM_VIEWTAG); }
    const char* viewroot() const { return param(VDW_PARAM_VIEWROOT); }
    const char* copyarearoot() const { return param(VDW_PARAM_COPYAREAROOT); }
    const char* vobtag() const { return param(VDW_PARAM_VOBTAG); }
    const char* dir() const { return param(VDW_PARAM_DIR); }
    const char* pdir() const { return param(VDW_PARAM_PDIR); }
    int num_elems() const { return num_values(VDW_PARAM_ELEM); }
    const char* elem(int i) const { return param(VDW_PARAM_ELEM, i); }
    const char* cmd() const { return param(VDW_PARAM_CMD); }
    const char* rpc_name() const { return param(VDW_PARAM_RPC); }
    const char* rpcargs() const { return param(VDW_PARAM_RPCARGS); }
    const char* option() const { return param(VDW_PARAM_OPTION); }
    const char* configview() const { return param(VDW_PARAM_CONFIGVIEW); }
    int num_activities() const { return num_values(VDW_PARAM_ACTIVITY); }
    const char* activity(int i) const { return param(VDW_PARAM_ACTIVITY, i); }
    const char* comment() const { return param(VDW_PARAM_COMMENT); }
    const char* to_version() const { return param(VDW_PARAM_TO_VERSION); }
    const char* from_version() const { return param(VDW_PARAM_FROM_VERSION); }
    const char* base_version() const { return param(VDW_PARAM_BASE_VERSION); }
    const char* automerge() const { return param(VDW_PARAM_AUTOMERGE); }
    const char* deferload() const { return param(VDW_PARAM_DEFERLOAD); }
    const char* int_viewtag() const { return param(VDW_PARAM_INT_VIEWTAG); }
    const char* pvob() const { return param(VDW_PARAM_PVOB); }
    const char* project() const { return param(VDW_PARAM_PROJECT); }
    const char* labelsel() const { return param(VDW_PARAM_LABELSEL); }
    const char* branchsel() const { return param(VDW_PARAM_BRANCHSEL); }
    const char* versionsel() const { return param(VDW_PARAM_VERSIONSEL); }
    const char* viewsel() const { return param(VDW_PARAM_VIEWSEL); }
    const char* automrgdir() const { return param(VDW_PARAM_AUTOMRGDIR); }
    const char* dironly() const { return param(VDW_PARAM_DIRONLY); }
    const char* follow() const { return param(VDW_PARAM_FOLLOW); }
    const char* secondary_win() const { return param(VDW_PARAM_SECONDARY_WIN); }
    const char* modal() const { return param(VDW_PARAM_MODAL); }
    const char* component() const { return param(VDW_PARAM_COMPONENT); }
    const char* session_cookie_value() const { return param(VDW_SESSION_COOKIE_VALUE); }
    const char* request_method() const { return param(VDW_PARAM_REQUEST_METHOD); }
    const char* get_url() const { return param(VDW_PARAM_GET_URL); }
    // The client takes compressed file contents ("deflate" in Accept-Encoding).
    bool accept_compressed_cleartext() const;
};

#endif
