// VDW_Vdcore: process set-up, the identity of the request's user.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "core/sum/sum_string.h"
#include "core/util/fileutl.h"
#include "core/util/sysutl.h"
#include "facade/vdw_credutl.h"
#include "facade/vdw_current_user.h"
#include "facade/vdw_login_cache.h"
#include "facade/vdw_vdcore.h"
#include "foundation/catalogs/vdw_lib_catalog.h"
#include "foundation/vdw_trace.h"
#include "foundation/wcm_status.h"

namespace {

const char kClass[] = "VDW_Vdcore";

void set_env(const char* name, const SUM_String& value) {
    if (!value.is_empty()) setenv(name, value.c_str(), 1);
}

}  // namespace

void VDW_Vdcore::impersonate(const char* user, const char* password, const char* domain,
                             bool smart_card, const char* primary_group, const char* groups,
                             WCM_Status& status) {
    VDW_Trace trace(QLMX_COMPONENT, kClass, "impersonate");
    (void)domain;  // users are the system's own: a domain names nothing more here
    status.set_status(TBS_ST_OK);
    // A login checked lately skips PAM and the user database: its identity was kept with it.
    credutl_creds_t known;
    const VDW_LoginCache::AccountState accounts = VDW_LoginCache::account_state();
    const bool warm = !smart_card && VDW_LoginCache::recently_checked(user, password, &known);
    if (!smart_card && !warm) {
        tbs_status_t st = sysutl_check_password(user, password);
        if (st != TBS_ST_OK) {
            if (st != TBS_ST_PERMISSION) trace.writeTrace(1, "password check failed: PAM error");
            status.set_status(TBS_ST_PERMISSION);
            status.format(&_vdw_lib_lib_msg_table, VDW_LIB_LOGIN_INCORRECT);
            return;
        }
    }
    VDW_Credutl creds;
    if (trace.shouldTrace(2) && creds.get_credentials(status))
        creds.print_creds("Process creds before impersonation");
    status.set_status(TBS_ST_OK);
    if (warm)
        creds.set(known);
    else if (!creds.get_default_credentials(user, status))
        return;
    if (!smart_card && !warm) VDW_LoginCache::remember(user, password, creds.creds(), accounts);
    if (primary_group && *primary_group && !creds.set_primary_group(primary_group, status)) return;
    if (groups && *groups && !creds.reorder_unix_grouplist(groups, status)) return;
    if (!creds.set_credentials(status)) {
        status.set_status(TBS_ST_PERMISSION);
        status.format(&_vdw_lib_lib_msg_table, VDW_LIB_SET_USER_IDENTITY_FAILED, user,
                      static_cast<unsigned long>(creds.creds().uid),
                      static_cast<unsigned long>(creds.creds().gid));
        return;
    }
    VDW_CurrentUser::the_instance().set_user(creds.creds().user);
    // Programs the core starts for the user find the product's tools.
    const char* old_path = getenv("PATH");
    std::string path = old_path && *old_path ? std::string(old_path) + ":" : std::string();
    path += tbs_product_tool_dir();
    setenv("PATH", path.c_str(), 1);
    if (trace.shouldTrace(2) && creds.get_credentials(status))
        creds.print_creds("Process creds after impersonation");
    status.set_status(TBS_ST_OK);
}

int VDW_Vdcore::check_tmpdir(WCM_Status& status) {
    VDW_Trace trace(QLMX_COMPONENT, kClass, "check_tmpdir");
    const char* dir = fileutl_get_tmpdir();
    bool usable = dir && access(dir, W_OK) == 0;
    trace.writeTrace(2, "Tmp directory %s %sok.", dir ? dir : "", usable ? "" : "NOT ");
    if (usable) return TBS_ST_OK;
    status.set_status(TBS_ST_ERR);
    status.format(&_vdw_lib_lib_msg_table, VDW_LIB_TEMP_DIR_INACCESSIBLE, dir ? dir : "");
    return TBS_ST_ERR;
}

int VDW_Vdcore::is_dir_writable(const char* dir) {
    if (!dir || !*dir) return 0;
    size_t len = strlen(dir);
    const char* sep = dir[len - 1] == '/' ? "" : "/";
    std::random_device seed;
    std::mt19937 draw(seed());
    std::uniform_int_distribution<int> number(0, 999999999);
    char probe[PNAME_SIZE];
    for (int attempt = 0; attempt < 100; ++attempt) {
        int n = snprintf(probe, sizeof probe, "%s%sVDWEB_TMPFILE_%010d", dir, sep, number(draw));
        if (n < 0 || static_cast<size_t>(n) >= sizeof probe) return 0;
        int fd = ::open(probe, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0777);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return 0;
        }
        ::close(fd);
        ::unlink(probe);
        return 1;
    }
    return 0;
}

void VDW_Vdcore::set_tmpdir_ev(const SUM_String& dir) {
    set_env("TMPDIR", dir);
    set_env("TMP", dir);
}

void VDW_Vdcore::set_groups_ev(const SUM_String& groups) {
    set_env("VERDANE_GROUPS", groups);
}

void VDW_Vdcore::set_primary_group_ev(const SUM_String& group) {
    set_env("VERDANE_PRIMARY_GROUP", group);
}

void VDW_Vdcore::set_region_mapfile_ev(const SUM_String& file) {
    set_env("VDWEB_USER_REGION_MAPFILE", file);
}
