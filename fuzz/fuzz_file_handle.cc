// Fuzz target: the decoders of view file handles, pathnames and rich strings.
//
// A handle that decodes must encode to a text that decodes to the same handle; a decoded
// pathname never exceeds its limit and is the same in place and into a buffer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "core/imsg/imsg.h"
#include "request/vdw_req_args.h"

namespace {

bool same_fh(const view_fhandle& a, const view_fhandle& b) {
    return memcmp(&a.view_uuid, &b.view_uuid, sizeof a.view_uuid) == 0 &&
           a.vob_dbid == b.vob_dbid && a.elem_dbid == b.elem_dbid && a.ver_dbid == b.ver_dbid &&
           a.gen == b.gen && a.flags == b.flags;
}

void check_fh(const char* text) {
    view_fhandle fh{};
    WCM_Status st;
    if (!VDW_ReqArgsParser::decode_fh(text, &fh, st)) {
        if (st.is_ok()) __builtin_trap();
        return;
    }
    char buf[VDW_FH_BUF_SIZE];
    VDW_ReqArgsGenerator::encode_fh(fh, buf);
    view_fhandle again{};
    WCM_Status st2;
    if (!VDW_ReqArgsParser::decode_fh(buf, &again, st2) || !same_fh(fh, again)) __builtin_trap();
}

void check_pname(const std::string& text) {
    char buf[VDW_PNAME_BUF_SIZE];
    VDW_ReqArgsParser::decode_pname(text.c_str(), buf);
    std::string in_place = text;
    VDW_ReqArgsParser::decode_pname(in_place.data());
    if (strlen(buf) > VDW_PNAME_MAX || strcmp(buf, in_place.c_str()) != 0) __builtin_trap();
    if (strchr(buf, '\\')) __builtin_trap();
}

void check_rich(const std::string& text) {
    std::string copy = text;
    VDW_ReqArgsParser::decode_rich_string(copy.data());
    if (strlen(copy.c_str()) > text.size()) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    imsg_redirect_proc_t procs[IMSG_NUM_CLASSES];
    for (auto& p : procs) p = imsg_append_proc_suppress;
    imsg_set_redirect_procs(procs, nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    check_fh(text.c_str());
    check_pname(text);
    check_rich(text);
    return 0;
}
