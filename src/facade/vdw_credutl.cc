// VDW_Credutl.
#include "facade/vdw_credutl.h"

#include <grp.h>

#include <cstring>

#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"

namespace {

const char kClass[] = "VDW_Credutl";

bool failed(tbs_status_t st, WCM_Status& status) {
    if (st == TBS_ST_OK) return false;
    status.set_status(st);
    return true;
}

}  // namespace

void VDW_Credutl::init_credentials() {
    memset(&creds_, 0, sizeof creds_);
}

bool VDW_Credutl::get_default_credentials(const char* user, WCM_Status& status) {
    credutl_creds_t found;
    if (failed(credutl_lookup(user, nullptr, &found), status)) return false;
    creds_ = found;
    return true;
}

bool VDW_Credutl::get_credentials(WCM_Status& status) {
    credutl_creds_t now;
    if (failed(credutl_get_creds(&now), status)) return false;
    creds_ = now;
    return true;
}

bool VDW_Credutl::has_group(const char* group) const {
    struct group* g = group ? getgrnam(group) : nullptr;
    return g && credutl_in_group(creds_, g->gr_gid);
}

bool VDW_Credutl::set_primary_group(const char* group, WCM_Status& status) {
    credutl_creds_t with;
    if (failed(credutl_lookup(creds_.user, group, &with), status)) return false;
    creds_ = with;
    return true;
}

bool VDW_Credutl::reorder_unix_grouplist(const char* groups, WCM_Status& status) {
    if (!groups || !*groups) return true;
    // Walking the list backwards and moving each group to the front leaves them first in
    // the list's own order; the primary group is then the first listed.
    std::string list = groups;
    credutl_creds_t reordered = creds_;
    size_t end = list.size();
    while (end > 0) {
        size_t start = list.rfind(':', end - 1);
        start = start == std::string::npos ? 0 : start + 1;
        std::string name = list.substr(start, end - start);
        end = start > 0 ? start - 1 : 0;
        if (name.empty()) continue;
        struct group* g = getgrnam(name.c_str());
        if (!g) return !failed(TBS_ST_NOT_FOUND, status);
        if (failed(credutl_reorder_groups(&reordered, g->gr_gid), status)) return false;
    }
    creds_ = reordered;
    return true;
}

bool VDW_Credutl::set_credentials(WCM_Status& status) {
    return !failed(credutl_set_creds(creds_), status);
}

std::string VDW_Credutl::to_string_user() const {
    return std::string(creds_.user) + " (uid " + std::to_string(creds_.uid) + ")";
}

std::string VDW_Credutl::to_string_group() const {
    std::string out = std::string(creds_.group) + " (gid " + std::to_string(creds_.gid) + ")";
    out += ", groups ";
    for (int i = 0; i < creds_.ngroups; ++i) {
        if (i > 0) out += ",";
        out += std::to_string(creds_.groups[i]);
    }
    return out;
}

void VDW_Credutl::print_creds(const char* tag) const {
    VDW_Trace trace(QLMX_COMPONENT, kClass, "print_creds");
    trace.writeTrace("%s: user %s, group %s", tag ? tag : "", to_string_user().c_str(),
                     to_string_group().c_str());
}
