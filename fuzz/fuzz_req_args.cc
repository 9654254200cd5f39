// Fuzz target: the RPC argument parser over arbitrary argument strings.
//
// Drives both ways a handler reads arguments (a plain next loop, and a fixed order of
// required and optional names as an RPC reads them) and checks that every line handed out
// stays within its limits.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "core/imsg/imsg.h"
#include "request/vdw_req_args.h"

namespace {

void check_line(const char* name, const char* value) {
    if (strlen(name) > VDW_REQ_ARG_NAME_MAX || strlen(value) > VDW_REQ_ARG_VALUE_MAX)
        __builtin_trap();
}

// The values an RPC would go on to decode.
void decode_value(const char* value) {
    std::string copy = value;
    VDW_ReqArgsParser::decode_rich_string(copy.data());
    char buf[VDW_PNAME_BUF_SIZE];
    VDW_ReqArgsParser::decode_pname(value, buf);
    VDW_ReqArgsParser::decode_int(value);
    VDW_ReqArgsParser::decode_bool(value);
    view_fhandle fh{};
    WCM_Status st;
    VDW_ReqArgsParser::decode_fh(value, &fh, st);
}

void read_all(const char* args) {
    VDW_ReqArgsParser p(args);
    WCM_Status st;
    const char* name;
    const char* value;
    while (p.has_more_args()) {
        if (!p.next(name, value, st)) break;
        check_line(name, value);
        decode_value(value);
    }
}

void read_in_order(const char* args) {
    static const char* const kNames[] = {"ViewUuid", "Scope", "Comment", "Dfh", "E", "End"};
    VDW_ReqArgsParser p(args);
    WCM_Status st;
    const char* value;
    bool found;
    for (int round = 0; round < 64 && st.is_ok(); ++round) {
        const char* expected = kNames[round % 6];
        bool ok = round % 3 == 0 ? p.match_next(expected, &value, st)
                                 : p.match_next_opt(expected, &value, found, st);
        if (ok && value) check_line(expected, value);
        if (!ok) {
            // A failed required match leaves the line for a plain read.
            const char* name;
            WCM_Status again;
            if (p.has_more_args() && p.next(name, value, again)) check_line(name, value);
            break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    imsg_redirect_proc_t procs[IMSG_NUM_CLASSES];
    for (auto& p : procs) p = imsg_append_proc_suppress;
    imsg_set_redirect_procs(procs, nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string args(reinterpret_cast<const char*>(data), size);  // read up to a NUL
    read_all(args.c_str());
    read_in_order(args.c_str());
    return 0;
}
