// VDW_Vdcore: files and pathnames.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/tbs/tbs.h"
#include "core/util/fileutl.h"
#include "core/view/view.h"
#include "facade/vdw_vdcore.h"
#include "foundation/catalogs/vdw_lib_catalog.h"
#include "foundation/wcm_status.h"

namespace {

// This server's pathname separator; clients always see "/".
constexpr char kLocalSeparator = '/';

void translate(char* path, char from, char to) {
    if (!path || from == to) return;
    for (char* p = path; *p; ++p)
        if (*p == from) *p = to;
}

// The first free candidate of `base`, `base`.1 ... `base`.99, by `taken`.
template <typename Taken>
int first_free(const char* base, char* out, Taken taken) {
    char candidate[VDW_Vdcore::PNAME_SIZE];
    for (int n = 0; n < 100; ++n) {
        int len = n == 0 ? snprintf(candidate, sizeof candidate, "%s", base)
                         : snprintf(candidate, sizeof candidate, "%s.%d", base, n);
        if (len < 0 || static_cast<size_t>(len) >= sizeof candidate)
            return tbs_errno2status(ENAMETOOLONG);
        if (!taken(candidate)) {
            memcpy(out, candidate, static_cast<size_t>(len) + 1);
            return TBS_ST_OK;
        }
    }
    return tbs_errno2status(EEXIST);
}

}  // namespace

void VDW_Vdcore::copy_file(const char* source, const char* directory, const char* leaf,
                           WCM_Status& status) {
    char target[PNAME_SIZE];
    if (!source || !directory || !leaf || !fileutl_join(target, sizeof target, directory, leaf)) {
        status.set_status(tbs_errno2status(ENAMETOOLONG));
        status.format(&_vdw_lib_lib_msg_table, VDW_LIB_CREATE_FILE_PATHNAME_FAILED,
                      leaf ? leaf : "", status.strerror());
        return;
    }
    // The parent of the target: `leaf` may hold directories of its own.
    std::string parent(target, strrchr(target, '/') - target);
    tbs_status_t st = parent.empty() ? TBS_ST_OK : fileutl_mkdir_p(parent.c_str(), 0775);
    if (st != TBS_ST_OK) {
        status.set_status(st);
        status.format(&_vdw_lib_lib_msg_table, VDW_LIB_CREATE_FILE_PATHNAME_FAILED, target,
                      tbs_strerror(st));
        return;
    }
    st = fileutl_copy(source, target, 8192);
    status.set_status(st);
    if (st != TBS_ST_OK) imsg_core_error(IMSG_CORE_COPY_FAILED, source, target, tbs_strerror(st));
}

bool VDW_Vdcore::get_view_pname(const char* view_root, const char* path, char* out, size_t size) {
    if (!out || size == 0) return false;
    const char* p = path ? path : "";
    int n;
    if (view_root && *view_root)
        n = snprintf(out, size, "%s%s%s", view_root, p[0] == '/' ? "" : "/", p);
    else
        n = snprintf(out, size, "%s", p);
    if (n < 0 || static_cast<size_t>(n) >= size) {
        out[0] = '\0';
        return false;
    }
    convert_pname_to_local(out);
    return true;
}

void VDW_Vdcore::strip_viewroot(const char* view_root, char* path) {
    if (!view_root || !*view_root || !path) return;
    size_t len = strlen(view_root);
    while (len > 1 && view_root[len - 1] == '/') --len;  // "/root/" names "/root"
    if (strncmp(path, view_root, len) != 0) return;
    if (path[len] != '\0' && path[len] != '/') return;  // "/rootx" is not below "/root"
    memmove(path, path + len, strlen(path + len) + 1);
}

void VDW_Vdcore::split_view_vob_pname(view_t* view, const char* path, std::string* view_part,
                                      std::string* vob_part, bool* is_snapshot) {
    const std::string p = path ? path : "";
    view_part->clear();
    *vob_part = p;
    *is_snapshot = view && (view->kind == VIEW_KIND_SNAPSHOT || view->kind == VIEW_KIND_AUTOMATIC);
    if (!view || view->root.empty()) return;
    std::string root = view->root;
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    if (p.compare(0, root.size(), root) != 0 || (p.size() > root.size() && p[root.size()] != '/'))
        return;
    *view_part = root;
    *vob_part = p.size() > root.size() ? p.substr(root.size()) : "/";
}

void VDW_Vdcore::convert_pname_to_global(char* path) {
    translate(path, kLocalSeparator, '/');
}

void VDW_Vdcore::convert_pname_to_local(char* path) {
    translate(path, '/', kLocalSeparator);
}

int VDW_Vdcore::generate_available_ws_location(const char* directory, const char* name, char* out) {
    char base[PNAME_SIZE];
    if (!directory || !name || !out || !fileutl_join(base, sizeof base, directory, name))
        return tbs_errno2status(ENAMETOOLONG);
    return first_free(base, out, [](const char* p) { return access(p, F_OK) == 0; });
}

int VDW_Vdcore::generate_available_tmp_location(const char* name, char* out) {
    const char* dir = fileutl_get_tmpdir();
    if (!dir || !*dir) return TBS_ST_ERR;
    char base[PNAME_SIZE];
    if (!name || !out || !fileutl_join(base, sizeof base, dir, name))
        return tbs_errno2status(ENAMETOOLONG);
    return first_free(base, out, [](const char* p) { return fileutl_exists(p); });
}
