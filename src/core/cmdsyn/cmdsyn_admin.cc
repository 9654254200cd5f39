// vdtool commands that administer and inspect existing objects: branch, hyperlink and merge
// arrow removal, type renames and copies, reservations and element types, locks, type
// lists, version trees, comparisons, searches and space; and the commands of a build
// server, which this one is not, answered as such.
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/cmd/cmd.h"
#include "core/cmdsyn/cmdsyn.h"
#include "core/cmdsyn/cmdsyn_internal.h"
#include "core/dcl/dcl.h"
#include "core/imsg/imsg.h"
#include "core/rgy/rgy.h"
#include "core/util/fileutl.h"
#include "core/util/pfm.h"
#include "core/view/view.h"
#include "core/vob/vob.h"
#include "core/vob/vob_obj.h"

namespace {

typedef std::vector<std::string> names_t;

const char* const kMkstglocUsage =
    "mkstgloc -vob|-view [-host host] [-region region] [-comment text] name directory";
const char* const kLsstglocUsage = "lsstgloc [-vob|-view] [-region region]";
const char* const kRmstglocUsage = "rmstgloc [-region region] name";
const char* const kRmbranchUsage = "rmbranch [-c comment | -nc] branch-pname...";
const char* const kRmhlinkUsage = "rmhlink hltype@id@vob-tag...";
const char* const kRmmergeUsage = "rmmerge from-version-pname to-version-pname";
const char* const kRenameUsage = "rename type-selector new-name";
const char* const kCptypeUsage = "cptype type-selector new-name@vob-tag";
const char* const kReserveUsage = "reserve [-view view-tag] pname...";
const char* const kUnreserveUsage = "unreserve [-view view-tag] pname...";
const char* const kChtypeUsage = "chtype [-view view-tag] element-type pname...";
const char* const kLslockUsage = "lslock object...";
const char* const kLstypeUsage =
    "lstype -kind eltype|brtype|lbtype|attype|hltype|trtype|policy|rolemap [-invob vob-tag]";
const char* const kLsvtreeUsage = "lsvtree [-view view-tag] pname...";
const char* const kDiffUsage = "diff [-view view-tag] pname-or-version pname-or-version";
const char* const kFindUsage =
    "find [-view view-tag] pname... [-name pattern] [-version selector] [-print]";
const char* const kSpaceUsage = "space [vob-tag...]";
const char* const kNotHereUsage = "(not available on this server)";

std::string idstr(vob_t* vob, vob_dbid_t v) {
    std::string s;
    return vob_ver_get_idstr(vob, v, &s) == TBS_ST_OK ? s : "?";
}

// Branch and hyperlink removal -----------------------------------------------------------

tbs_status_t rmbranch(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kRmbranchUsage);
    cmd_rmbranch_args_t a;
    int mode = CMD_COMMENT_NONE;
    while (s.next_option())
        if (!s.comment(&a.comment, &mode)) return s.unknown();
    CMDSYN_TRY(s.operands(1, CMDSYN_ANY, &a.pnames));
    CMDSYN_TRY(s.check_pnames(a.pnames, false));
    CMDSYN_TRY(s.in_view(&a.view, &a.pnames));
    return cmd_rmbranch(&a);
}

tbs_status_t rmhlink(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kRmhlinkUsage);
    cmd_rmhlink_args_t a;
    while (s.next_option()) return s.unknown();
    CMDSYN_TRY(s.operands(1, CMDSYN_ANY, &a.hlinks));
    return cmd_rmhlink(&a);
}

tbs_status_t rmmerge(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kRmmergeUsage);
    cmd_rmhlink_args_t a;
    while (s.next_option()) return s.unknown();
    names_t ops;
    CMDSYN_TRY(s.operands(2, 2, &ops));
    CMDSYN_TRY(s.check_pnames(ops, false));
    CMDSYN_TRY(s.in_view(&a.view, &ops));
    a.from = ops[0];
    a.to = ops[1];
    return cmd_rmhlink(&a);
}

// Types ----------------------------------------------------------------------------------

tbs_status_t rename(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kRenameUsage);
    while (s.next_option()) return s.unknown();
    names_t ops;
    CMDSYN_TRY(s.operands(2, 2, &ops));
    cmd_rename_type_args_t a;
    a.selector = ops[0];
    a.name = ops[1];
    return cmd_rename_type(&a);
}

// A type made again in another VOB (or under another name), with its merge type and, for
// trigger types, its firing rule.
tbs_status_t cptype(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kCptypeUsage);
    while (s.next_option()) return s.unknown();
    names_t ops;
    CMDSYN_TRY(s.operands(2, 2, &ops));
    vob_t* vob = nullptr;
    vob_dbid_t dbid = 0;
    int mtype = 0;
    tbs_status_t st = vob_resolve_general(ops[0].c_str(), nullptr, &vob, &dbid, &mtype);
    if (st != TBS_ST_OK) return cmdsyn_failed("find", ops[0].c_str(), st);
    if (mtype < VOB_MTYPE_ELTYPE || mtype > VOB_MTYPE_HLTYPE)
        return s.fail("Not a type that can be copied: \"%s\".", ops[0]);
    vob_type_info_t t;
    if ((st = vob_type_get(vob, dbid, &t)) != TBS_ST_OK)
        return cmdsyn_failed("find", ops[0].c_str(), st);
    const size_t at = ops[1].find('@');
    if (at == std::string::npos || at == 0 || at + 1 == ops[1].size())
        return s.fail("Name the copy as name@vob-tag: \"%s\".", ops[1]);
    cmd_mktype_args_t m;
    m.mtype = mtype;
    m.name = ops[1].substr(0, at);
    m.vob = ops[1].substr(at + 1);
    m.merge_type = t.merge_type;
    m.comment = "copy of " + ops[0];
    if ((st = cmd_mktype(&m)) != TBS_ST_OK) return st;
    imsg_ok("Copied \"%s\" to \"%s\".\n", ops[0].c_str(), ops[1].c_str());
    return TBS_ST_OK;
}

tbs_status_t lstype(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kLstypeUsage);
    std::string kind, invob;
    while (s.next_option())
        if (!s.value("-kind", 2, &kind) && !s.value("-invob", 2, &invob)) return s.unknown();
    names_t ops;
    CMDSYN_TRY(s.operands(0, 0, &ops));
    static const std::pair<const char*, int> kKinds[] = {
        {"eltype", VOB_MTYPE_ELTYPE}, {"brtype", VOB_MTYPE_BRTYPE},  {"lbtype", VOB_MTYPE_LBTYPE},
        {"attype", VOB_MTYPE_ATTYPE}, {"hltype", VOB_MTYPE_HLTYPE},  {"trtype", VOB_MTYPE_TRTYPE},
        {"policy", VOB_MTYPE_POLICY}, {"rolemap", VOB_MTYPE_ROLEMAP}};
    int mtype = 0;
    for (const auto& [name, m] : kKinds)
        if (kind == name) mtype = m;
    if (!mtype) return s.fail("Give the kind of type with -kind.");
    std::vector<rgy_vob_entry_t> vobs;
    if (!invob.empty()) {
        rgy_vob_entry_t e;
        tbs_status_t st = rgy_find_vob_by_tag(invob.c_str(), nullptr, &e);
        if (st != TBS_ST_OK) return cmdsyn_failed("find", invob.c_str(), st);
        vobs.push_back(e);
    } else {
        tbs_status_t st = rgy_list_vob_tags(nullptr, &vobs);
        if (st != TBS_ST_OK) return cmdsyn_failed("list", "versioned object bases", st);
    }
    for (const rgy_vob_entry_t& e : vobs) {
        vob_t* vob = nullptr;
        std::vector<vob_type_info_t> types;
        tbs_status_t st = vob_open_by_tag(e.tag.c_str(), &vob);
        if (st == TBS_ST_OK) st = vob_type_list(vob, mtype, &types);
        if (st != TBS_ST_OK) return cmdsyn_failed("list the types of", e.tag.c_str(), st);
        for (const vob_type_info_t& t : types)
            imsg_ok("%s:%s@%s\n", kind.c_str(), t.name.c_str(), e.tag.c_str());
    }
    return TBS_ST_OK;
}

// Checkouts and elements ------------------------------------------------------------------

tbs_status_t reserve_command(const cmdsyn_args_t& args, bool reserve) {
    cmdsyn_scanner s(args, reserve ? kReserveUsage : kUnreserveUsage, CMDSYN_TAKES_VIEW);
    cmd_reserve_args_t a;
    a.reserve = reserve;
    while (s.next_option()) return s.unknown();
    CMDSYN_TRY(s.operands(1, CMDSYN_ANY, &a.pnames));
    CMDSYN_TRY(s.check_pnames(a.pnames, false));
    CMDSYN_TRY(s.in_view(&a.view, &a.pnames));
    return cmd_reserve(&a);
}
tbs_status_t reserve(const cmdsyn_args_t& args) {
    return reserve_command(args, true);
}
tbs_status_t unreserve(const cmdsyn_args_t& args) {
    return reserve_command(args, false);
}

tbs_status_t chtype(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kChtypeUsage, CMDSYN_TAKES_VIEW);
    cmd_chtype_args_t a;
    while (s.next_option()) return s.unknown();
    names_t ops;
    CMDSYN_TRY(s.operands(2, CMDSYN_ANY, &ops));
    a.eltype = ops[0];
    a.pnames.assign(ops.begin() + 1, ops.end());
    CMDSYN_TRY(s.check_pnames(a.pnames, false));
    CMDSYN_TRY(s.in_view(&a.view, &a.pnames));
    return cmd_chtype(&a);
}

tbs_status_t lslock(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kLslockUsage);
    while (s.next_option()) return s.unknown();
    names_t names;
    CMDSYN_TRY(s.operands(1, CMDSYN_ANY, &names));
    CMDSYN_TRY(s.check_pnames(names, true));
    const vob_view_ctx_t* view = nullptr;
    CMDSYN_TRY(s.in_view(&view, &names));
    for (const std::string& n : names) {
        vob_resolved_t r;
        tbs_status_t st = cmd_resolve_obj_long(n.c_str(), view, 0, &r);
        if (st != TBS_ST_OK) return cmdsyn_failed("find", n.c_str(), st);
        vob_lock_info_t lock;
        const vob_dbid_t obj = r.element && !r.extended ? r.element : r.dbid;
        if ((st = vob_obj_get_lock(r.vob, obj, &lock)) != TBS_ST_OK)
            return cmdsyn_failed("read the lock of", n.c_str(), st);
        if (!lock.locked) continue;
        std::string excluded;
        for (const std::string& u : lock.excluded) excluded += (excluded.empty() ? "" : ",") + u;
        imsg_ok("%s  %s  lock \"%s\"%s%s\n", cmdsyn_utc(lock.at).c_str(), lock.locker.c_str(),
                n.c_str(), lock.obsolete ? " (obsolete)" : "",
                excluded.empty() ? "" : (" except for users " + excluded).c_str());
    }
    return TBS_ST_OK;
}

// One line per branch and version of an element, indented by branch depth, with labels
// and the merge arrows that leave each version.
tbs_status_t lsvtree(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kLsvtreeUsage, CMDSYN_TAKES_VIEW);
    while (s.next_option()) return s.unknown();
    names_t names;
    CMDSYN_TRY(s.operands(1, CMDSYN_ANY, &names));
    CMDSYN_TRY(s.check_pnames(names, false));
    const vob_view_ctx_t* view = nullptr;
    CMDSYN_TRY(s.in_view(&view, &names));
    for (const std::string& n : names) {
        vob_resolved_t r;
        tbs_status_t st = vob_resolve_pname(n.c_str(), view, 0, &r);
        if (st == TBS_ST_OK && !r.element) st = TBS_ST_NOT_ELEMENT;
        std::vector<vob_version_info_t> versions;
        if (st == TBS_ST_OK) st = vob_ver_list(r.vob, r.element, &versions);
        if (st != TBS_ST_OK) return cmdsyn_failed("list the versions of", n.c_str(), st);
        const std::string elem = n.substr(0, n.find(TBS_VER_EXT));
        std::sort(versions.begin(), versions.end(),
                  [](const vob_version_info_t& a, const vob_version_info_t& b) {
                      return a.branch_path != b.branch_path ? a.branch_path < b.branch_path
                                                            : a.number < b.number;
                  });
        std::string branch;
        for (const vob_version_info_t& v : versions) {
            const size_t depth =
                static_cast<size_t>(std::count(v.branch_path.begin(), v.branch_path.end(), '/'));
            const std::string indent(2 * (depth - 1), ' ');
            if (v.branch_path != branch) {
                branch = v.branch_path;
                imsg_ok("%s%s%s%s\n", indent.c_str(), elem.c_str(), TBS_VER_EXT, branch.c_str());
            }
            std::string line = indent + "  " + elem + TBS_VER_EXT + idstr(r.vob, v.dbid);
            std::vector<std::string> labels;
            if (vob_ver_get_labels(r.vob, v.dbid, &labels) == TBS_ST_OK && !labels.empty()) {
                line += " (";
                for (size_t i = 0; i < labels.size(); ++i) line += (i ? ", " : "") + labels[i];
                line += ")";
            }
            std::vector<vob_hlink_info_t> links;
            if (vob_obj_get_hlinks(r.vob, v.dbid, &links) == TBS_ST_OK)
                for (const vob_hlink_info_t& l : links)
                    if (l.type == "Merge" && l.from == v.dbid)
                        line += " -> " + elem + TBS_VER_EXT + idstr(r.vob, l.to);
            imsg_ok("%s\n", line.c_str());
        }
    }
    return TBS_ST_OK;
}

// Comparison: lines both hold indented, the first's own with "< ", the second's with "> ";
// directories by their names.
tbs_status_t diff(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kDiffUsage, CMDSYN_TAKES_VIEW);
    while (s.next_option()) return s.unknown();
    names_t names;
    CMDSYN_TRY(s.operands(2, 2, &names));
    CMDSYN_TRY(s.check_pnames(names, false));
    const vob_view_ctx_t* view = nullptr;
    CMDSYN_TRY(s.in_view(&view, &names));
    vob_resolved_t r[2];
    bool dir[2] = {false, false};
    for (int i = 0; i < 2; ++i) {
        tbs_status_t st = cmd_resolve_obj_long(names[i].c_str(), view, 0, &r[i]);
        vob_version_info_t v;
        if (st == TBS_ST_OK && !r[i].version) st = TBS_ST_NOT_ELEMENT;
        if (st == TBS_ST_OK) st = vob_ver_get_info(r[i].vob, r[i].version, &v);
        if (st != TBS_ST_OK) return cmdsyn_failed("find", names[i].c_str(), st);
        dir[i] = v.is_dir;
    }
    if (dir[0] != dir[1]) return s.fail("Cannot compare a directory with a file.");
    std::unique_ptr<DCL_Session> session;
    std::string error;
    tbs_status_t st = TBS_ST_OK;
    std::string temps[2];
    struct Cleanup {
        std::string* t;
        ~Cleanup() {
            for (int i = 0; i < 2; ++i)
                if (!t[i].empty()) unlink(t[i].c_str());
        }
    } cleanup{temps};
    if (dir[0]) {
        std::vector<std::vector<DCL_DirItem>> listings(2);
        for (int i = 0; i < 2 && st == TBS_ST_OK; ++i) {
            std::vector<vob_dir_entry_t> entries;
            st = vob_dir_list(r[i].vob, r[i].version, &entries);
            for (const vob_dir_entry_t& e : entries) {
                vob_obj_info_t info;
                if (st == TBS_ST_OK) st = vob_obj_get_info(r[i].vob, e.target, &info);
                DCL_DirItem item;
                item.name = e.name;
                item.oid = tbs_uuid_text(info.oid);
                listings[i].push_back(item);
            }
        }
        std::unique_ptr<DCL_DirSession> d;
        if (st == TBS_ST_OK) st = DCL_DirSession::open(listings, &d, &error);
        session = std::move(d);
    } else {
        DCL_TextArgs t;
        t.tool_name = "vdtool";
        const char* tmp = fileutl_get_tmpdir();
        if (!fileutl_exists(tmp)) fileutl_mkdir_p(tmp, 0775);
        for (int i = 0; i < 2 && st == TBS_ST_OK; ++i) {
            char path[4096];
            int fd = fileutl_create_temp(fileutl_get_tmpdir(), "diff.", 0600, path, sizeof path);
            if (fd < 0) {
                st = tbs_errno2status(errno);
                break;
            }
            close(fd);
            temps[i] = path;
            st = vob_ver_get_cleartext(r[i].vob, r[i].version, path);
            t.paths.push_back(path);
        }
        std::unique_ptr<DCL_TextSession> text;
        if (st == TBS_ST_OK) st = DCL_TextSession::open(t, &text, &error);
        session = std::move(text);
    }
    if (st != TBS_ST_OK) {
        if (!error.empty()) imsg_error("%s\n", error.c_str());
        return cmdsyn_failed("compare", names[1].c_str(), st);
    }
    if (session->num_regions() == 0) {
        imsg_ok("Files are identical\n");
        return TBS_ST_OK;
    }
    imsg_ok("<<< %s\n>>> %s\n", names[0].c_str(), names[1].c_str());
    // Lines of a block, each with its mark.
    auto print = [&](const DCL_Block& b, const char* mark) {
        if (dir[0]) {
            for (const DCL_DirItem& item : b.items()) imsg_ok("%s%s\n", mark, item.name.c_str());
            return;
        }
        std::string_view text = b.text();
        while (!text.empty()) {
            const size_t nl = text.find('\n');
            const std::string_view line =
                text.substr(0, nl == std::string_view::npos ? text.size() : nl);
            imsg_ok("%s%.*s\n", mark, static_cast<int>(line.size()), line.data());
            if (nl == std::string_view::npos) break;
            text.remove_prefix(nl + 1);
        }
    };
    DCL_Walk a = session->walk(0), b = session->walk(1);
    for (; !a.at_end(); a.next(), b.next()) {
        const DCL_Block& x = a.block();
        if (x.type() == DCL_COMMON) {
            print(x, "  ");
        } else if (x.type() != DCL_SYNC) {
            print(x, "< ");
            print(b.block(), "> ");
        }
    }
    return TBS_ST_OK;
}

// Search -----------------------------------------------------------------------------------

struct Finder {
    const vob_view_ctx_t* view = nullptr;
    std::string name_pattern;
    view_cspec_t spec;  // -version: the selector as the one rule of a spec
    bool by_version = false;
    int64_t found = 0;
};

tbs_status_t find_walk(Finder& f, vob_t* vob, vob_dbid_t element, const std::string& path,
                       int depth) {
    if (depth > 256) return TBS_ST_OK;
    vob_dbid_t version = 0;
    tbs_status_t st = vob_select_version(vob, element, path.c_str(), f.view, &version);
    if (st != TBS_ST_OK || !version) return st;
    const std::string leaf = path.substr(path.rfind('/') + 1);
    if (f.name_pattern.empty() || fnmatch(f.name_pattern.c_str(), leaf.c_str(), 0) == 0) {
        if (!f.by_version) {
            imsg_ok("%s\n", path.c_str());
            ++f.found;
        } else {
            view_cspec_choice_t choice;
            if (view_cspec_select(f.spec, vob, element, path.c_str(), tbs_uuid_null(), &choice) ==
                    TBS_ST_OK &&
                choice.version) {
                imsg_ok("%s%s%s\n", path.c_str(), TBS_VER_EXT, idstr(vob, choice.version).c_str());
                ++f.found;
            }
        }
    }
    vob_version_info_t v;
    if ((st = vob_ver_get_info(vob, version, &v)) != TBS_ST_OK || !v.is_dir) return st;
    std::vector<vob_dir_entry_t> entries;
    if ((st = vob_dir_list(vob, version, &entries)) != TBS_ST_OK) return st;
    for (const vob_dir_entry_t& e : entries) {
        if (e.mtype == VOB_MTYPE_SLINK) continue;
        if ((st = find_walk(f, vob, e.target, path + "/" + e.name, depth + 1)) != TBS_ST_OK)
            return st;
    }
    return TBS_ST_OK;
}

tbs_status_t find(const cmdsyn_args_t& given) {
    // The pathnames come first and the query after them ("find /vobs/p -name '*.c'"): the
    // options are moved ahead for the scanner.
    cmdsyn_args_t args, roots_first;
    for (size_t i = 0; i < given.size(); ++i) {
        const std::string& a = given[i];
        if (a.size() > 1 && a[0] == '-') {
            args.push_back(a);
            const bool takes_value = clp_match(a.c_str(), "-name", 2) ||
                                     clp_match(a.c_str(), "-version", 2) ||
                                     clp_match(a.c_str(), "-view", 2);
            if (takes_value && i + 1 < given.size()) args.push_back(given[++i]);
        } else {
            roots_first.push_back(a);
        }
    }
    args.insert(args.end(), roots_first.begin(), roots_first.end());
    cmdsyn_scanner s(args, kFindUsage, CMDSYN_TAKES_VIEW);
    Finder f;
    std::string version;
    while (s.next_option()) {
        if (s.value("-name", 2, &f.name_pattern) || s.value("-version", 2, &version) ||
            s.flag("-print", 2))
            continue;
        return s.unknown();
    }
    names_t roots;
    CMDSYN_TRY(s.operands(1, CMDSYN_ANY, &roots));
    CMDSYN_TRY(s.check_pnames(roots, false));
    CMDSYN_TRY(s.in_view(&f.view, &roots));
    if (!version.empty()) {
        std::vector<std::string> errors;
        if (version.find_first_of(" \t\"#") != std::string::npos ||
            view_cspec_parse(("element * " + version).c_str(), &f.spec, &errors) != TBS_ST_OK ||
            f.spec.rules.size() != 1)
            return s.fail("Bad version selector \"%s\".", version);
        f.by_version = true;
    }
    for (const std::string& root : roots) {
        vob_resolved_t r;
        tbs_status_t st = vob_resolve_pname(root.c_str(), f.view, 0, &r);
        if (st == TBS_ST_OK && !r.element) st = TBS_ST_NOT_ELEMENT;
        if (st == TBS_ST_OK) st = find_walk(f, r.vob, r.element, root, 0);
        if (st != TBS_ST_OK) return cmdsyn_failed("search", root.c_str(), st);
    }
    return TBS_ST_OK;
}

// Space ----------------------------------------------------------------------------------

tbs_status_t space(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kSpaceUsage);
    while (s.next_option()) return s.unknown();
    names_t tags;
    CMDSYN_TRY(s.operands(0, CMDSYN_ANY, &tags));
    std::vector<rgy_vob_entry_t> vobs;
    if (tags.empty()) {
        tbs_status_t st = rgy_list_vob_tags(nullptr, &vobs);
        if (st != TBS_ST_OK) return cmdsyn_failed("list", "versioned object bases", st);
    }
    for (const std::string& t : tags) {
        rgy_vob_entry_t e;
        tbs_status_t st = rgy_find_vob_by_tag(t.c_str(), nullptr, &e);
        if (st != TBS_ST_OK) return cmdsyn_failed("find", t.c_str(), st);
        vobs.push_back(e);
    }
    for (const rgy_vob_entry_t& e : vobs) {
        namespace fs = std::filesystem;
        uint64_t database = 0, pool = 0;
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(e.storage, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            struct stat sb;
            if (lstat(it->path().c_str(), &sb) != 0 || !S_ISREG(sb.st_mode)) continue;
            const uint64_t bytes = static_cast<uint64_t>(sb.st_blocks) * 512;
            (it->path().string().find("/pool/") != std::string::npos ? pool : database) += bytes;
        }
        imsg_ok("%s: %.1f MiB in all; %.1f MiB of versions' contents, %.1f MiB of database\n",
                e.tag.c_str(), static_cast<double>(database + pool) / 1048576.0,
                static_cast<double>(pool) / 1048576.0, static_cast<double>(database) / 1048576.0);
    }
    return TBS_ST_OK;
}

// What a build server keeps ---------------------------------------------------------------

// Derived objects and their configuration records come from builds run in dynamic views
// with build auditing; this server runs no builds, so it has none to list, compare or
// remove. Per-element trigger attachment is not kept either: triggers fire by element type.
tbs_status_t not_here(const char* what) {
    imsg_error("vdtool: Error: %s\n", what);
    return TBS_ST_NOT_SUPPORTED;
}
tbs_status_t no_derived_objects(const cmdsyn_args_t&) {
    return not_here(
        "This server keeps no derived objects or configuration records: it runs no builds.");
}
tbs_status_t no_element_triggers(const cmdsyn_args_t&) {
    return not_here(
        "Triggers here fire by element type (mktrtype -element -eltype type); they are not "
        "attached to single elements.");
}
tbs_status_t no_clients(const cmdsyn_args_t&) {
    return not_here("This server keeps no list of its clients: every request stands alone.");
}

// Storage locations ------------------------------------------------------------------------

tbs_status_t mkstgloc(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kMkstglocUsage);
    rgy_stgloc_entry_t e;
    bool vob = false, view = false;
    std::string region;
    while (s.next_option()) {
        if (s.flag("-vob", 3))
            vob = true;
        else if (s.flag("-view", 3))
            view = true;
        else if (!s.value("-host", 2, &e.host) && !s.value("-region", 2, &region) &&
                 !s.value("-comment", 2, &e.comment))
            return s.unknown();
    }
    names_t ops;
    CMDSYN_TRY(s.operands(2, 2, &ops));
    if (vob == view) return s.fail("Give one of -vob and -view.");
    struct stat sb;
    if (ops[1].empty() || ops[1][0] != '/' || stat(ops[1].c_str(), &sb) != 0 ||
        !S_ISDIR(sb.st_mode))
        return s.fail("Not an absolute path of a directory: \"%s\".", ops[1]);
    e.name = ops[0];
    e.path = ops[1];
    e.for_views = view;
    if (!region.empty()) e.region = region;
    if (e.host.empty()) e.host = pfm_host_name();
    tbs_status_t st = rgy_add_stgloc(e);
    if (st != TBS_ST_OK) return cmdsyn_failed("make the storage location", ops[0].c_str(), st);
    imsg_ok("Created storage location \"%s\" for %s storage: %s:%s.\n", e.name.c_str(),
            view ? "view" : "VOB", e.host.c_str(), e.path.c_str());
    return TBS_ST_OK;
}

tbs_status_t lsstgloc(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kLsstglocUsage);
    int kind = -1;
    std::string region;
    while (s.next_option()) {
        if (s.flag("-vob", 3))
            kind = 0;
        else if (s.flag("-view", 3))
            kind = 1;
        else if (!s.value("-region", 2, &region))
            return s.unknown();
    }
    names_t ops;
    CMDSYN_TRY(s.operands(0, 0, &ops));
    std::vector<rgy_stgloc_entry_t> locs;
    tbs_status_t st = rgy_list_stglocs(region.c_str(), kind, &locs);
    if (st != TBS_ST_OK) return cmdsyn_failed("list", "storage locations", st);
    for (const rgy_stgloc_entry_t& e : locs)
        imsg_ok("%-20s %-4s %s:%s%s%s%s\n", e.name.c_str(), e.for_views ? "view" : "vob",
                e.host.c_str(), e.path.c_str(), e.comment.empty() ? "" : "  \"", e.comment.c_str(),
                e.comment.empty() ? "" : "\"");
    return TBS_ST_OK;
}

tbs_status_t rmstgloc(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kRmstglocUsage);
    std::string region;
    while (s.next_option())
        if (!s.value("-region", 2, &region)) return s.unknown();
    names_t ops;
    CMDSYN_TRY(s.operands(1, 1, &ops));
    tbs_status_t st = rgy_remove_stgloc(ops[0].c_str(), region.c_str());
    if (st != TBS_ST_OK) return cmdsyn_failed("remove the storage location", ops[0].c_str(), st);
    imsg_ok("Removed storage location \"%s\".\n", ops[0].c_str());
    return TBS_ST_OK;
}

}  // namespace

const cmdsyn_command_t cmdsyn_admin_commands[] = {
    {"catcr", nullptr, no_derived_objects, kNotHereUsage},
    {"chtype", nullptr, chtype, kChtypeUsage},
    {"cptype", nullptr, cptype, kCptypeUsage},
    {"diff", nullptr, diff, kDiffUsage},
    {"diffcr", nullptr, no_derived_objects, kNotHereUsage},
    {"dospace", nullptr, no_derived_objects, kNotHereUsage},
    {"find", nullptr, find, kFindUsage},
    {"lsclients", nullptr, no_clients, kNotHereUsage, 4},
    {"lsdo", nullptr, no_derived_objects, kNotHereUsage},
    {"lsstgloc", nullptr, lsstgloc, kLsstglocUsage},
    {"lslock", nullptr, lslock, kLslockUsage},
    {"lstype", nullptr, lstype, kLstypeUsage, 3},
    {"lsvtree", nullptr, lsvtree, kLsvtreeUsage, 4},
    {"mkstgloc", nullptr, mkstgloc, kMkstglocUsage},
    {"mktrigger", nullptr, no_element_triggers, kNotHereUsage},
    {"rename", nullptr, rename, kRenameUsage},
    {"reserve", nullptr, reserve, kReserveUsage, 3},
    {"rmbranch", nullptr, rmbranch, kRmbranchUsage},
    {"rmdo", nullptr, no_derived_objects, kNotHereUsage},
    {"rmhlink", nullptr, rmhlink, kRmhlinkUsage},
    {"rmmerge", nullptr, rmmerge, kRmmergeUsage},
    {"rmstgloc", nullptr, rmstgloc, kRmstglocUsage},
    {"rmtrigger", nullptr, no_element_triggers, kNotHereUsage},
    {"space", nullptr, space, kSpaceUsage},
    {"unreserve", nullptr, unreserve, kUnreserveUsage, 5},
};
const size_t cmdsyn_admin_command_count =
    sizeof cmdsyn_admin_commands / sizeof cmdsyn_admin_commands[0];
