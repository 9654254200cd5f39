// VDW_Request: path clean-up and header tests.
#include "request/vdw_request.h"

#include <cctype>
#include <cstring>

namespace {

const char* const kPathParams[] = {
    VDW_PARAM_VIEWROOT,     VDW_PARAM_COPYAREAROOT, VDW_PARAM_VOBTAG,     VDW_PARAM_DIR,
    VDW_PARAM_PDIR,         VDW_PARAM_ELEM,         VDW_PARAM_TO_VERSION, VDW_PARAM_FROM_VERSION,
    VDW_PARAM_BASE_VERSION, VDW_PARAM_PVOB,
};

bool is_path_param(const char* name) {
    for (const char* p : kPathParams)
        if (strcmp(p, name) == 0) return true;
    return false;
}

}  // namespace

VDW_Request::VDW_Request(int argc, char** argv, std::istream& body,
                         const std::multimap<std::string, std::string>& env, WCM_MemPool& pool,
                         long upload_limit)
    : WCM_Request(argc, argv, body, env, pool, upload_limit) {}

char* VDW_Request::process_param(const char* name, char* value) const {
    if (!name || !value || !is_path_param(name)) return value;
    char* start = value;
    while (*start && isspace(static_cast<unsigned char>(*start))) ++start;
    size_t len = strlen(start);
    while (len > 0 && isspace(static_cast<unsigned char>(start[len - 1]))) --len;
    memmove(value, start, len);
    value[len] = '\0';
    for (char* p = value; *p; ++p)
        if (*p == '\\') *p = '/';
    return value;
}

bool VDW_Request::accept_compressed_cleartext() const {
    const char* enc = param(VDW_PARAM_ACCEPT_ENCODING);
    return enc && strstr(enc, "deflate");
}
