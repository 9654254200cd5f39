// VDW_RpcArgs: reads an RPC's arguments in their fixed order and keeps copies of the
// values, decoded by kind.
//
// It wraps VDW_ReqArgsParser: a required argument is read with match_next (missing or out
// of order: the parser's status 1001 and message), an optional one with match_next_opt.
// Each reader returns false once reading has failed, so a handler chains them:
//
//   VDW_RpcArgs args(request().rpcargs(), status());
//   if (!args.text("ViewUuid", &view) || !args.pname("Scope", &scope)) return;
#ifndef OPS_VDW_RPC_ARGS_H
#define OPS_VDW_RPC_ARGS_H

#include <string>
#include <vector>

#include "request/vdw_req_args.h"

class WCM_Status;

class VDW_RpcArgs {
public:
    VDW_RpcArgs(const char* text, WCM_Status& status) : parser_(text), status_(status) {}

    // Text as sent.
    bool text(const char* name, std::string* out);
    // Text whose line feeds were sent as "%0A".
    bool rich(const char* name, std::string* out);
    // A pathname with its separators made "/".
    bool pname(const char* name, std::string* out);
    bool boolean(const char* name, bool* out);
    bool integer(const char* name, int* out);
    // Optional arguments: `present` says whether it was sent; when not, `out` is left as
    // it was.
    bool opt_text(const char* name, std::string* out, bool* present);
    bool opt_rich(const char* name, std::string* out, bool* present);
    bool opt_pname(const char* name, std::string* out, bool* present);
    // The rest of the arguments, whatever they are: read and dropped.
    bool skip_rest();

    // A list sent as one rich-text value, one entry a line; a value ending in a line feed
    // has no empty last entry.
    static std::vector<std::string> split_lines(const std::string& text);

    // Refusals of a value that was read: each sets the status, adds its message (the value
    // echoed safely) and returns false.
    // A value the argument does not take: 1001, VDSRV3013.
    static bool bad_value(WCM_Status& status, const char* name, const std::string& value);
    // A count that does not fit the list it counts: 1001, VDSRV3014.
    static bool bad_count(WCM_Status& status, const char* name, int count);
    // A value the argument takes, but this server does not: 1018, VDSRV1300.
    static bool not_supported(WCM_Status& status, const char* name, const std::string& value);
    // A required argument the client sent as optional and left out: 1001, VDSRV1199.
    static bool missing(WCM_Status& status, const char* name);

private:
    bool read(const char* name, const char** value);
    bool read_opt(const char* name, const char** value, bool* present);

    VDW_ReqArgsParser parser_;
    WCM_Status& status_;
};

#endif
