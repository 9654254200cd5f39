// VDW_RpcArgs.
#include "facade/vdw_rpc_args.h"

#include <cstring>

#include "core/tbs/tbs.h"
#include "foundation/catalogs/vdw_lib_catalog.h"
#include "foundation/catalogs/vdw_rpcs_catalog.h"
#include "foundation/wcm_status.h"
#include "request/vdw_multipart_data.h"

bool VDW_RpcArgs::read(const char* name, const char** value) {
    return parser_.match_next(name, value, status_);
}

bool VDW_RpcArgs::read_opt(const char* name, const char** value, bool* present) {
    bool found = false;
    if (!parser_.match_next_opt(name, value, found, status_)) return false;
    *present = found;
    return true;
}

bool VDW_RpcArgs::text(const char* name, std::string* out) {
    const char* v = nullptr;
    if (!read(name, &v)) return false;
    *out = v;
    return true;
}

bool VDW_RpcArgs::rich(const char* name, std::string* out) {
    if (!text(name, out)) return false;
    out->resize(strlen(VDW_ReqArgsParser::decode_rich_string(out->data())));
    return true;
}

bool VDW_RpcArgs::pname(const char* name, std::string* out) {
    const char* v = nullptr;
    if (!read(name, &v)) return false;
    char buf[VDW_PNAME_BUF_SIZE];
    *out = VDW_ReqArgsParser::decode_pname(v, buf);
    return true;
}

bool VDW_RpcArgs::boolean(const char* name, bool* out) {
    const char* v = nullptr;
    if (!read(name, &v)) return false;
    *out = VDW_ReqArgsParser::decode_bool(v);
    return true;
}

bool VDW_RpcArgs::integer(const char* name, int* out) {
    const char* v = nullptr;
    if (!read(name, &v)) return false;
    *out = VDW_ReqArgsParser::decode_int(v);
    return true;
}

bool VDW_RpcArgs::opt_text(const char* name, std::string* out, bool* present) {
    const char* v = nullptr;
    if (!read_opt(name, &v, present)) return false;
    if (*present) *out = v;
    return true;
}

bool VDW_RpcArgs::opt_rich(const char* name, std::string* out, bool* present) {
    if (!opt_text(name, out, present)) return false;
    if (*present) out->resize(strlen(VDW_ReqArgsParser::decode_rich_string(out->data())));
    return true;
}

bool VDW_RpcArgs::opt_pname(const char* name, std::string* out, bool* present) {
    const char* v = nullptr;
    if (!read_opt(name, &v, present)) return false;
    if (*present) {
        char buf[VDW_PNAME_BUF_SIZE];
        *out = VDW_ReqArgsParser::decode_pname(v, buf);
    }
    return true;
}

bool VDW_RpcArgs::skip_rest() {
    const char* name = nullptr;
    const char* value = nullptr;
    while (parser_.has_more_args())
        if (!parser_.next(name, value, status_)) return false;
    return true;
}

std::vector<std::string> VDW_RpcArgs::split_lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

bool VDW_RpcArgs::bad_value(WCM_Status& status, const char* name, const std::string& value) {
    status.set_status(TBS_ST_ERR);
    status.format(&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_ARGS_BAD_VALUE,
                  VDW_MultipartData::echo_text(value.c_str()).c_str(), name);
    return false;
}

bool VDW_RpcArgs::bad_count(WCM_Status& status, const char* name, int count) {
    status.set_status(TBS_ST_ERR);
    status.format(&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_ARGS_BAD_COUNT, count, name);
    return false;
}

bool VDW_RpcArgs::not_supported(WCM_Status& status, const char* name, const std::string& value) {
    status.set_status(TBS_ST_NOT_SUPPORTED);
    status.format(&_vdw_lib_lib_msg_table, VDW_LIB_VALUE_NOT_SUPPORTED,
                  VDW_MultipartData::echo_text(value.c_str()).c_str(), name);
    return false;
}

bool VDW_RpcArgs::missing(WCM_Status& status, const char* name) {
    status.set_status(TBS_ST_ERR);
    status.format(&_vdw_lib_lib_msg_table, VDW_LIB_ARGS_PARSE_PROBLEM, name);
    return false;
}
