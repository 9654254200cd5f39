// Identities from the system's user database.
#include "core/cred/credutl.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool g_acting_set = false;
credutl_creds_t g_acting;
std::string g_admin_group;

bool copy_name(char (&dst)[CREDUTL_NAME_SIZE], const char* src) {
    int n = snprintf(dst, sizeof dst, "%s", src ? src : "");
    return n >= 0 && static_cast<size_t>(n) < sizeof dst;
}

tbs_status_t group_name(gid_t gid, char (&dst)[CREDUTL_NAME_SIZE]) {
    std::vector<char> buf(16384);
    struct group gr, *res = nullptr;
    if (getgrgid_r(gid, &gr, buf.data(), buf.size(), &res) != 0 || !res) {
        snprintf(dst, sizeof dst, "%lu", static_cast<unsigned long>(gid));
        return TBS_ST_OK;  // a group without a name is still a group
    }
    return copy_name(dst, gr.gr_name) ? TBS_ST_OK : TBS_ST_ERR;
}

tbs_status_t fill_from_passwd(const struct passwd& pw, credutl_creds_t* out) {
    *out = credutl_creds_t{};
    out->uid = pw.pw_uid;
    out->gid = pw.pw_gid;
    if (!copy_name(out->user, pw.pw_name)) return TBS_ST_ERR;
    int n = CREDUTL_MAX_GROUPS;
    gid_t groups[CREDUTL_MAX_GROUPS];
    if (getgrouplist(pw.pw_name, pw.pw_gid, groups, &n) < 0) n = CREDUTL_MAX_GROUPS;  // truncated
    out->ngroups = 0;
    out->groups[out->ngroups++] = pw.pw_gid;
    for (int i = 0; i < n && out->ngroups < CREDUTL_MAX_GROUPS; ++i)
        if (groups[i] != pw.pw_gid) out->groups[out->ngroups++] = groups[i];
    return group_name(out->gid, out->group);
}

}  // namespace

tbs_status_t credutl_get_process_creds(credutl_creds_t* out) {
    std::vector<char> buf(16384);
    struct passwd pw, *res = nullptr;
    uid_t uid = geteuid();
    if (getpwuid_r(uid, &pw, buf.data(), buf.size(), &res) != 0 || !res) {
        // An account without an entry still acts under its numeric ids.
        *out = credutl_creds_t{};
        out->uid = uid;
        out->gid = getegid();
        snprintf(out->user, sizeof out->user, "%lu", static_cast<unsigned long>(uid));
        out->ngroups = 1;
        out->groups[0] = out->gid;
        return group_name(out->gid, out->group);
    }
    return fill_from_passwd(pw, out);
}

tbs_status_t credutl_become_site_owner(const char* site, char* why, size_t why_size) {
    auto fail = [&](const char* text, int err) {
        if (why && why_size)
            snprintf(why, why_size, "%s%s%s", text, err ? ": " : "", err ? strerror(err) : "");
        return err ? tbs_errno2status(err) : TBS_ST_PERMISSION;
    };
    if (why && why_size) why[0] = '\0';
    if (geteuid() != 0 || !site) return TBS_ST_OK;
    struct stat sb;
    if (stat(site, &sb) != 0)
        return errno == ENOENT ? TBS_ST_OK : fail("cannot read the site", errno);
    if (sb.st_uid == 0) return TBS_ST_OK;
    std::vector<char> buf(16384);
    struct passwd pw, *res = nullptr;
    if (getpwuid_r(sb.st_uid, &pw, buf.data(), buf.size(), &res) != 0 || !res)
        return fail("the account that owns the site has no entry in the user database", 0);
    // Root keeps acting: its commands are the administrator's, and events say so.
    credutl_creds_t admin;
    tbs_status_t st = credutl_get_creds(&admin);
    if (st != TBS_ST_OK) return fail("cannot read the administrator's identity", 0);
    if (initgroups(pw.pw_name, pw.pw_gid) != 0) return fail("cannot take the site's groups", errno);
    if (setgid(pw.pw_gid) != 0) return fail("cannot take the site's group", errno);
    if (setuid(pw.pw_uid) != 0) return fail("cannot become the site's account", errno);
    // For good: a process that could return to root has not dropped it.
    if (setuid(0) == 0 || getuid() != pw.pw_uid || geteuid() != pw.pw_uid)
        return fail("root could not be given up", 0);
    return credutl_set_creds(admin);
}

tbs_status_t credutl_lookup(const char* user, const char* group, credutl_creds_t* out) {
    if (!user || !*user) return TBS_ST_NOT_FOUND;
    std::vector<char> buf(16384);
    struct passwd pw, *res = nullptr;
    if (getpwnam_r(user, &pw, buf.data(), buf.size(), &res) != 0 || !res) return TBS_ST_NOT_FOUND;
    tbs_status_t st = fill_from_passwd(pw, out);
    if (st != TBS_ST_OK || !group || !*group) return st;
    std::vector<char> gbuf(16384);
    struct group gr, *gres = nullptr;
    if (getgrnam_r(group, &gr, gbuf.data(), gbuf.size(), &gres) != 0 || !gres)
        return TBS_ST_NOT_FOUND;
    return credutl_reorder_groups(out, gr.gr_gid);
}

tbs_status_t credutl_get_creds(credutl_creds_t* out) {
    if (g_acting_set) {
        *out = g_acting;
        return TBS_ST_OK;
    }
    return credutl_get_process_creds(out);
}

tbs_status_t credutl_set_creds(const credutl_creds_t& creds) {
    g_acting = creds;
    g_acting_set = true;
    return TBS_ST_OK;
}

tbs_status_t credutl_set_credentials(const char* user, const char* group) {
    credutl_creds_t c;
    tbs_status_t st = credutl_lookup(user, group, &c);
    if (st != TBS_ST_OK) return st;
    return credutl_set_creds(c);
}

void credutl_reset_creds() {
    g_acting_set = false;
}

namespace {

bool group_gid(const std::string& name, gid_t* gid) {
    struct group gr, *res = nullptr;
    char buf[4096];
    if (getgrnam_r(name.c_str(), &gr, buf, sizeof buf, &res) != 0 || !res) return false;
    *gid = res->gr_gid;
    return true;
}

}  // namespace

bool credutl_in_named_group(const credutl_creds_t& creds, const std::string& group) {
    if (group == creds.group) return true;
    gid_t gid;
    return group_gid(group, &gid) && credutl_in_group(creds, gid);
}

bool credutl_user_exists(const std::string& name) {
    struct passwd pw, *res = nullptr;
    char buf[4096];
    return getpwnam_r(name.c_str(), &pw, buf, sizeof buf, &res) == 0 && res;
}

bool credutl_group_exists(const std::string& name) {
    gid_t gid;
    return group_gid(name, &gid);
}

bool credutl_in_group(const credutl_creds_t& creds, gid_t gid) {
    for (int i = 0; i < creds.ngroups; ++i)
        if (creds.groups[i] == gid) return true;
    return false;
}

bool credutl_is_privileged(const credutl_creds_t& creds) {
    if (creds.uid == 0 || creds.uid == geteuid()) return true;
    return !g_admin_group.empty() && credutl_in_named_group(creds, g_admin_group);
}

void credutl_set_admin_group(const char* group) {
    g_admin_group = group ? group : "";
}

tbs_status_t credutl_reorder_groups(credutl_creds_t* creds, gid_t gid) {
    int at = -1;
    for (int i = 0; i < creds->ngroups; ++i)
        if (creds->groups[i] == gid) at = i;
    if (at < 0) return TBS_ST_PERMISSION;
    for (int i = at; i > 0; --i) creds->groups[i] = creds->groups[i - 1];
    creds->groups[0] = gid;
    creds->gid = gid;
    return group_name(gid, creds->group);
}
