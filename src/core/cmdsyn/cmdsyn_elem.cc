// vdtool commands that change elements and metadata: element creation and import,
// checkout and checkin, namespace changes, types, labels, attributes, hyperlinks, branches,
// locks and protections. Each parses its options into the argument block of one cmd_
// command and runs it; the command prints what it did, or why it failed, itself. The
// element and namespace commands act in the null view unless given -view.
#include <cstring>
#include <string>
#include <vector>

#include "core/cmd/cmd.h"
#include "core/cmdsyn/cmdsyn_internal.h"
#include "core/imsg/imsg.h"

namespace {

typedef std::vector<std::string> names_t;

const char* const kMkelemUsage =
    "mkelem [-view view-tag] [-eltype type] [-c comment | -nc] [-nco | -ci [-from file]...] "
    "[-mkpath] [-ptime] pname...";
const char* const kMkdirUsage =
    "mkdir [-view view-tag] [-c comment | -nc] [-nco] [-mkpath] pname...";
const char* const kImportUsage = "import [-c comment | -nc] source-dir vob-dir";
const char* const kCheckoutUsage =
    "checkout | co [-view view-tag] [-reserved] [-unreserved] [-branch brtype] [-version] "
    "[-c comment | -nc] pname...";
const char* const kCheckinUsage =
    "checkin | ci [-view view-tag] [-c comment | -nc] [-from file]... [-identical] [-ptime] "
    "[-atomic] pname...";
const char* const kUncheckoutUsage = "uncheckout | unco [-view view-tag] [-rmbranch] pname...";
const char* const kMklabelUsage = "mklabel [-replace] [-recurse] [-c comment | -nc] label pname...";
const char* const kRmlabelUsage = "rmlabel label pname...";
const char* const kMkbrtypeUsage = "mkbrtype [-c comment | -nc] name@vob-tag...";
const char* const kMklbtypeUsage = "mklbtype [-c comment | -nc] name@vob-tag...";
const char* const kMktrtypeUsage =
    "mktrtype -element [-all | -eltype type] -preop|-postop operation[,operation...] "
    "-exec command [-c comment | -nc] name@vob-tag";
const char* const kMkattypeUsage = "mkattype [-c comment | -nc] name@vob-tag...";
const char* const kMkhltypeUsage = "mkhltype [-c comment | -nc] name@vob-tag...";
const char* const kMkeltypeUsage =
    "mkeltype [-supertype type] [-mergetype auto|user|never|copy] [-c comment | -nc] "
    "name@vob-tag";
const char* const kRmtypeUsage = "rmtype [-rmall] selector...";
const char* const kMkattrUsage = "mkattr [-replace] [-c comment | -nc] attype value object...";
const char* const kRmattrUsage = "rmattr attype object...";
const char* const kMkhlinkUsage = "mkhlink [-c comment | -nc] hltype from to";
const char* const kMkbranchUsage = "mkbranch [-nco] [-c comment | -nc] brtype pname...";
const char* const kLockUsage =
    "lock [-nusers user[,user...]] [-obsolete] [-replace] [-c comment | -nc] object...";
const char* const kUnlockUsage = "unlock [-c comment | -nc] object...";
const char* const kProtectUsage =
    "protect [-chown user] [-chgrp group] [-chmod octal-mode]"
    " [-rolemap name [-recurse] [-directory | -file]] [-c comment | -nc] object...";
const char* const kMkpolicyUsage =
    "mkpolicy [-modify] [-ace kind:principal:Read|Change|Full]... [-c comment | -nc]"
    " name@vob-tag";
const char* const kMkrolemapUsage =
    "mkrolemap [-modify] [-policy name] [-role role=principal]... [-c comment | -nc]"
    " name@vob-tag";
const char* const kRmnameUsage = "rmname [-view view-tag] [-force] [-c comment | -nc] pname...";
const char* const kMvUsage = "mv [-view view-tag] [-c comment | -nc] from to";
const char* const kLnUsage = "ln [-view view-tag] [-s] [-c comment | -nc] target link";
const char* const kMergeUsage =
    "merge [-view view-tag] -to pname [-fversion selector] [-base version-pname] [-out file] "
    "[-ndata] [-abort] version-pname|selector";
const char* const kFindmergeUsage =
    "findmerge [-view view-tag] -fversion selector | -flatest brtype | -ftag view-tag "
    "[-directory] [-follow] [-print] [pname...]";

// Elements ------------------------------------------------------------------------------

// mkelem, and mkdir (`dir_only`), which takes only the options that make sense for a
// directory.
tbs_status_t make_elements(const cmdsyn_args_t& args, bool dir_only) {
    cmdsyn_scanner s(args, dir_only ? kMkdirUsage : kMkelemUsage, CMDSYN_TAKES_VIEW);
    cmd_mkelem_args_t a;
    bool checkin = false;
    while (s.next_option()) {
        // "-nco" is also an abbreviation of "-ncomment": the checkout option is matched first.
        if (s.flag("-nco", 3))
            a.no_checkout = true;
        else if (s.comment(&a.comment, &a.comment_mode))
            continue;
        else if (s.flag("-mkpath", 3))
            a.mkpath = true;
        else if (!dir_only && s.value("-eltype", 2, &a.eltype))
            continue;
        else if (!dir_only && s.flag("-ci", 2))
            checkin = true;
        else if (!dir_only && s.values("-from", 2, &a.from))
            continue;
        else if (!dir_only && s.flag("-ptime", 2))
            a.ptime = true;
        else
            return s.unknown();
    }
    CMDSYN_TRY(s.operands(1, CMDSYN_ANY, &a.pnames));
    CMDSYN_TRY(s.check_pnames(a.pnames, false));
    if (a.no_checkout && checkin) return s.fail("Options -nco and -ci exclude each other.");
    if (!a.from.empty() && !checkin) return s.fail("Option -from needs -ci.");
    a.is_dir = dir_only || a.eltype == "directory";
    if (a.is_dir && !a.from.empty()) return s.fail("A directory element takes no -from file.");
    if (!a.from.empty() && a.from.size() != a.pnames.size())
        return s.fail("Give one -from file per pathname (%s given).",
                      std::to_string(a.from.size()));
    a.checkin = checkin;
    CMDSYN_TRY(cmdsyn_check_local_files(a.from));
    CMDSYN_TRY(s.in_view(&a.view, &a.pnames));
    return cmd_utl_mkelem(&a);
}

tbs_status_t mkelem(const cmdsyn_args_t& args) {
    return make_elements(args, false);
}

// Not "mkdir": that name belongs to the C library.
tbs_status_t make_directories(const cmdsyn_args_t& args) {
    return make_elements(args, true);
}

tbs_status_t import(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kImportUsage);
    cmd_import_args_t a;
    int mode = CMD_COMMENT_NONE;
    while (s.next_option())
        if (!s.comment(&a.comment, &mode)) return s.unknown();
    names_t ops;
    CMDSYN_TRY(s.operands(2, 2, &ops));
    CMDSYN_TRY(s.check_pnames({ops[1]}, false));
    a.source = ops[0];
    a.dest = ops[1];
    CMDSYN_TRY(cmdsyn_check_local_file(a.source));
    return cmd_import(&a);
}

tbs_status_t checkout(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kCheckoutUsage, CMDSYN_TAKES_VIEW);
    cmd_checkout_args_t a;
    bool reserved = false, unreserved = false, version = false;
    while (s.next_option()) {
        if (s.comment(&a.comment, &a.comment_mode) || s.value("-branch", 2, &a.branch_type))
            continue;
        if (s.flag("-reserved", 3))
            reserved = true;
        else if (s.flag("-unreserved", 3))
            unreserved = true;
        else if (s.flag("-version", 3))
            version = true;
        else
            return s.unknown();
    }
    CMDSYN_TRY(s.operands(1, CMDSYN_ANY, &a.pnames));
    CMDSYN_TRY(s.check_pnames(a.pnames, false));
    // Both: try a reserved checkout, fall back to an unreserved one.
    a.reserved = reserved || !unreserved;
    a.unreserved = unreserved;
    a.nonlatest = version ? CMD_NONLATEST_SELECTED : CMD_NONLATEST_FAIL;
    CMDSYN_TRY(s.in_view(&a.view, &a.pnames));
    return cmd_checkout(&a);
}

tbs_status_t checkin(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kCheckinUsage, CMDSYN_TAKES_VIEW);
    cmd_checkin_args_t a;
    while (s.next_option()) {
        if (s.comment(&a.comment, &a.comment_mode) || s.values("-from", 2, &a.from)) continue;
        if (s.flag("-identical", 3))
            a.identical = true;
        else if (s.flag("-ptime", 2))
            a.ptime = true;
        else if (s.flag("-atomic", 2))
            a.atomic = true;
        else
            return s.unknown();
    }
    CMDSYN_TRY(s.operands(1, CMDSYN_ANY, &a.pnames));
    CMDSYN_TRY(s.check_pnames(a.pnames, false));
    if (!a.from.empty() && a.from.size() != a.pnames.size())
        return s.fail("Give one -from file per pathname (%s given).",
                      std::to_string(a.from.size()));
    CMDSYN_TRY(cmdsyn_check_local_files(a.from));
    CMDSYN_TRY(s.in_view(&a.view, &a.pnames));
    return cmd_checkin(&a);
}

tbs_status_t uncheckout(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kUncheckoutUsage, CMDSYN_TAKES_VIEW);
    cmd_uncheckout_args_t a;
    while (s.next_option()) {
        if (!s.flag("-rmbranch", 3)) return s.unknown();
        a.pop_kind = CMD_POP_EMPTY_BRANCH;
    }
    CMDSYN_TRY(s.operands(1, CMDSYN_ANY, &a.pnames));
    CMDSYN_TRY(s.check_pnames(a.pnames, false));
    CMDSYN_TRY(s.in_view(&a.view, &a.pnames));
    return cmd_uncheckout_with_pop(&a);
}

// Namespace -----------------------------------------------------------------------------

tbs_status_t rmname(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kRmnameUsage, CMDSYN_TAKES_VIEW);
    cmd_rmname_args_t a;
    int mode = CMD_COMMENT_NONE;
    while (s.next_option()) {
        if (s.comment(&a.comment, &mode)) continue;
        if (!s.flag("-force", 1)) return s.unknown();
        a.force = true;
    }
    CMDSYN_TRY(s.operands(1, CMDSYN_ANY, &a.pnames));
    CMDSYN_TRY(s.check_pnames(a.pnames, false));
    CMDSYN_TRY(s.in_view(&a.view, &a.pnames));
    return cmd_rmname(&a);
}

tbs_status_t mv(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kMvUsage, CMDSYN_TAKES_VIEW);
    cmd_mv_args_t a;
    int mode = CMD_COMMENT_NONE;
    while (s.next_option())
        if (!s.comment(&a.comment, &mode)) return s.unknown();
    names_t ops;
    CMDSYN_TRY(s.operands(2, 2, &ops));
    CMDSYN_TRY(s.check_pnames(ops, false));
    CMDSYN_TRY(s.in_view(&a.view, &ops));
    a.from = ops[0];
    a.to = ops[1];
    return cmd_mv(&a);
}

tbs_status_t ln(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kLnUsage, CMDSYN_TAKES_VIEW);
    cmd_ln_args_t a;
    int mode = CMD_COMMENT_NONE;
    while (s.next_option()) {
        if (s.comment(&a.comment, &mode)) continue;
        if (!s.flag("-slink", 1)) return s.unknown();
        a.symbolic = true;
    }
    names_t ops;
    CMDSYN_TRY(s.operands(2, 2, &ops));
    // A symbolic link's text is kept as written, relative or not; a hard link names an
    // element.
    names_t names = a.symbolic ? names_t{ops[1]} : ops;
    CMDSYN_TRY(s.check_pnames(names, false));
    CMDSYN_TRY(s.in_view(&a.view, &names));
    a.target = a.symbolic ? ops[0] : names[0];
    a.link = names.back();
    return cmd_ln(&a);
}

// Types ---------------------------------------------------------------------------------

// "name@vob-tag" (or "name@vob:vob-tag") into its two parts.
tbs_status_t split_type_name(const cmdsyn_scanner& s, const std::string& text, std::string* name,
                             std::string* vob) {
    size_t at = text.find('@');
    if (at == std::string::npos || at == 0 || at + 1 == text.size())
        return s.fail("A type is named name@vob-tag: \"%s\".", text);
    *name = text.substr(0, at);
    *vob = text.substr(at + 1);
    if (vob->rfind("vob:", 0) == 0) vob->erase(0, 4);
    return s.check_pnames({*vob}, false);
}

tbs_status_t make_types(const cmdsyn_args_t& args, int mtype, const char* usage) {
    cmdsyn_scanner s(args, usage);
    cmd_mktype_args_t a;
    a.mtype = mtype;
    int mode = CMD_COMMENT_NONE;
    std::string merge;
    const bool eltype = mtype == VOB_MTYPE_ELTYPE;
    while (s.next_option()) {
        if (s.comment(&a.comment, &mode)) continue;
        if (eltype && (s.value("-supertype", 2, &a.supertype) || s.value("-mergetype", 2, &merge)))
            continue;
        return s.unknown();
    }
    names_t names;
    CMDSYN_TRY(s.operands(1, eltype ? 1 : CMDSYN_ANY, &names));
    if (!merge.empty()) {
        static const char* const kMerge[] = {"auto", "user", "never", "copy"};  // by merge type
        for (int i = 0; i < 4; ++i)
            if (merge == kMerge[i]) a.merge_type = VOB_MERGE_AUTO + i;
        if (a.merge_type < 0) return s.fail("Unknown merge type \"%s\".", merge);
    }
    std::vector<std::pair<std::string, std::string>> parts;
    for (const std::string& n : names) {
        std::string name, vob;
        CMDSYN_TRY(split_type_name(s, n, &name, &vob));
        parts.emplace_back(name, vob);
    }
    for (const auto& p : parts) {
        a.name = p.first;
        a.vob = p.second;
        CMDSYN_TRY(cmd_mktype(&a));
    }
    return TBS_ST_OK;
}

tbs_status_t mkbrtype(const cmdsyn_args_t& args) {
    return make_types(args, VOB_MTYPE_BRTYPE, kMkbrtypeUsage);
}
tbs_status_t mklbtype(const cmdsyn_args_t& args) {
    return make_types(args, VOB_MTYPE_LBTYPE, kMklbtypeUsage);
}
tbs_status_t mkattype(const cmdsyn_args_t& args) {
    return make_types(args, VOB_MTYPE_ATTYPE, kMkattypeUsage);
}
tbs_status_t mkhltype(const cmdsyn_args_t& args) {
    return make_types(args, VOB_MTYPE_HLTYPE, kMkhltypeUsage);
}
tbs_status_t mkeltype(const cmdsyn_args_t& args) {
    return make_types(args, VOB_MTYPE_ELTYPE, kMkeltypeUsage);
}

// A trigger type: where it fires (every element, or one element type's), when (before or
// after the operations listed) and the program it runs.
tbs_status_t mktrtype(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kMktrtypeUsage);
    cmd_mktype_args_t a;
    a.mtype = VOB_MTYPE_TRTYPE;
    int mode = CMD_COMMENT_NONE;
    bool element = false, pre = false, post = false;
    std::string ops;
    while (s.next_option()) {
        if (s.comment(&a.comment, &mode)) continue;
        if (s.flag("-element", 3)) {
            element = true;
            continue;
        }
        if (s.flag("-all", 3)) continue;
        if (s.value("-eltype", 3, &a.trigger_eltype) || s.value("-exec", 3, &a.trigger_exec))
            continue;
        if (s.value("-preop", 4, &ops)) {
            pre = true;
            continue;
        }
        if (s.value("-postop", 5, &ops)) {
            post = true;
            continue;
        }
        return s.unknown();
    }
    if (!element) return s.fail("Give -element: trigger types fire on elements.");
    if (pre == post) return s.fail("Give one of -preop and -postop.");
    if (a.trigger_exec.empty()) return s.fail("Give the program to run with -exec.");
    a.trigger_pre = pre;
    size_t start = 0;
    while (start <= ops.size()) {
        size_t comma = ops.find(',', start);
        std::string op =
            ops.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!op.empty()) a.trigger_ops.push_back(op);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    names_t names;
    CMDSYN_TRY(s.operands(1, 1, &names));
    CMDSYN_TRY(split_type_name(s, names[0], &a.name, &a.vob));
    return cmd_mktype(&a);
}

tbs_status_t rmtype(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kRmtypeUsage);
    cmd_rmtype_args_t a;
    while (s.next_option()) {
        if (!s.flag("-rmall", 3)) return s.unknown();
        a.force = true;
    }
    names_t sels;
    CMDSYN_TRY(s.operands(1, CMDSYN_ANY, &sels));
    CMDSYN_TRY(s.check_pnames(sels, true));
    for (const std::string& sel : sels) {
        a.selector = sel;
        CMDSYN_TRY(cmd_rmtype(&a));
    }
    return TBS_ST_OK;
}

// Labels, attributes, hyperlinks, branches ------------------------------------------------

tbs_status_t label_command(const cmdsyn_args_t& args, bool remove) {
    cmdsyn_scanner s(args, remove ? kRmlabelUsage : kMklabelUsage);
    cmd_mklabel_args_t a;
    int mode = CMD_COMMENT_NONE;
    while (s.next_option()) {
        if (remove) return s.unknown();
        if (s.comment(&a.comment, &mode)) continue;
        if (s.flag("-replace", 3))
            a.replace = true;
        else if (s.flag("-recurse", 3))
            a.recurse = true;
        else
            return s.unknown();
    }
    names_t ops;
    CMDSYN_TRY(s.operands(2, CMDSYN_ANY, &ops));
    a.label = ops[0];
    a.pnames.assign(ops.begin() + 1, ops.end());
    CMDSYN_TRY(s.check_pnames(a.pnames, false));
    CMDSYN_TRY(s.in_view(&a.view, &a.pnames));
    return remove ? cmd_rmlabel(&a) : cmd_mklabel(&a);
}

tbs_status_t mklabel(const cmdsyn_args_t& args) {
    return label_command(args, false);
}
tbs_status_t rmlabel(const cmdsyn_args_t& args) {
    return label_command(args, true);
}

tbs_status_t attr_command(const cmdsyn_args_t& args, bool remove) {
    cmdsyn_scanner s(args, remove ? kRmattrUsage : kMkattrUsage);
    cmd_mkattr_args_t a;
    int mode = CMD_COMMENT_NONE;
    while (s.next_option()) {
        if (remove) return s.unknown();
        if (s.comment(&a.comment, &mode)) continue;
        if (!s.flag("-replace", 3)) return s.unknown();
        a.replace = true;
    }
    names_t ops;
    const long first_object = remove ? 1 : 2;
    CMDSYN_TRY(s.operands(first_object + 1, CMDSYN_ANY, &ops));
    a.attype = ops[0];
    if (!remove) a.value = ops[1];
    a.objects.assign(ops.begin() + first_object, ops.end());
    CMDSYN_TRY(s.check_pnames(a.objects, true));
    CMDSYN_TRY(s.in_view(&a.view, &a.objects));
    return remove ? cmd_rmattr(&a) : cmd_mkattr(&a);
}

tbs_status_t mkattr(const cmdsyn_args_t& args) {
    return attr_command(args, false);
}
tbs_status_t rmattr(const cmdsyn_args_t& args) {
    return attr_command(args, true);
}

tbs_status_t mkhlink(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kMkhlinkUsage);
    cmd_mkhlink_args_t a;
    int mode = CMD_COMMENT_NONE;
    while (s.next_option())
        if (!s.comment(&a.comment, &mode)) return s.unknown();
    names_t ops;
    CMDSYN_TRY(s.operands(3, 3, &ops));
    CMDSYN_TRY(s.check_pnames({ops[1], ops[2]}, true));
    names_t ends{ops[1], ops[2]};
    CMDSYN_TRY(s.in_view(&a.view, &ends));
    a.hltype = ops[0];
    a.from = ends[0];
    a.to = ends[1];
    return cmd_mkhlink(&a);
}

tbs_status_t mkbranch(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kMkbranchUsage);
    cmd_mkbranch_args_t a;
    int mode = CMD_COMMENT_NONE;
    while (s.next_option()) {
        if (s.flag("-nco", 3))
            a.checkout = false;
        else if (!s.comment(&a.comment, &mode))
            return s.unknown();
    }
    names_t ops;
    CMDSYN_TRY(s.operands(2, CMDSYN_ANY, &ops));
    a.branch_type = ops[0];
    a.pnames.assign(ops.begin() + 1, ops.end());
    CMDSYN_TRY(s.check_pnames(a.pnames, false));
    CMDSYN_TRY(s.in_view(&a.view, &a.pnames));
    return cmd_mkbranch(&a);
}

// Locks and protections -----------------------------------------------------------------

tbs_status_t lock_command(const cmdsyn_args_t& args, bool unlock) {
    cmdsyn_scanner s(args, unlock ? kUnlockUsage : kLockUsage);
    cmd_lock_args_t a;
    int mode = CMD_COMMENT_NONE;
    std::string nusers;
    bool has_nusers = false;
    while (s.next_option()) {
        if (s.comment(&a.comment, &mode)) continue;
        if (unlock) return s.unknown();
        if (s.value("-nusers", 2, &nusers))
            has_nusers = true;
        else if (s.flag("-obsolete", 2))
            a.obsolete = true;
        else if (s.flag("-replace", 3))
            a.replace = true;
        else
            return s.unknown();
    }
    CMDSYN_TRY(s.operands(1, CMDSYN_ANY, &a.objects));
    CMDSYN_TRY(s.check_pnames(a.objects, true));
    if (has_nusers && a.obsolete)
        return s.fail("Options -nusers and -obsolete exclude each other.");
    for (size_t start = 0; has_nusers;) {
        size_t comma = nusers.find(',', start);
        std::string user = nusers.substr(start, comma - start);
        if (user.empty()) return s.fail("Empty user name in -nusers \"%s\".", nusers);
        a.nusers.push_back(user);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    CMDSYN_TRY(s.in_view(&a.view, &a.objects));
    return unlock ? cmd_unlock(&a) : cmd_lock(&a);
}

tbs_status_t lock(const cmdsyn_args_t& args) {
    return lock_command(args, false);
}
tbs_status_t unlock(const cmdsyn_args_t& args) {
    return lock_command(args, true);
}

// "User:alice", "Group:devs", "Role:Developer", "Everyone".
tbs_status_t parse_principal(const cmdsyn_scanner& s, const std::string& text, vob_acl_ace_t* e) {
    if (text == "Everyone") {
        e->kind = text;
        return TBS_ST_OK;
    }
    const size_t colon = text.find(':');
    if (colon == std::string::npos || colon + 1 == text.size())
        return s.fail("A principal is User:name, Group:name, Role:name or Everyone: \"%s\".", text);
    e->kind = text.substr(0, colon);
    e->name = text.substr(colon + 1);
    return TBS_ST_OK;
}

tbs_status_t protect(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kProtectUsage);
    cmd_protect_args_t a;
    cmd_apply_rolemap_args_t r;
    std::string mode;
    int cmode = CMD_COMMENT_NONE;
    while (s.next_option()) {
        if (s.value("-chown", 3, &a.owner) || s.value("-chgrp", 3, &a.group) ||
            s.value("-chmod", 3, &mode) || s.value("-rolemap", 3, &r.rolemap) ||
            s.comment(&r.comment, &cmode))
            continue;
        if (s.flag("-recurse", 2)) {
            r.recurse = true;
            continue;
        }
        if (s.flag("-directory", 2)) {
            r.dirs_only = true;
            continue;
        }
        if (s.flag("-file", 2)) {
            r.files_only = true;
            continue;
        }
        return s.unknown();
    }
    CMDSYN_TRY(s.operands(1, CMDSYN_ANY, &a.objects));
    CMDSYN_TRY(s.check_pnames(a.objects, true));
    const bool bits = !a.owner.empty() || !a.group.empty() || !mode.empty();
    if (!bits && r.rolemap.empty())
        return s.fail("Nothing to change: give -chown, -chgrp, -chmod or -rolemap.");
    if (r.rolemap.empty() && (r.recurse || r.dirs_only || r.files_only))
        return s.fail("-recurse, -directory and -file go with -rolemap.");
    if (!mode.empty()) {
        // Octal permission bits only; the value is bounded by its length.
        if (mode.size() > 5 || mode.find_first_not_of("01234567") != std::string::npos ||
            strtol(mode.c_str(), nullptr, 8) > 07777)
            return s.fail("Bad mode \"%s\": give the permission bits in octal.", mode);
        a.mode = static_cast<int>(strtol(mode.c_str(), nullptr, 8));
    }
    CMDSYN_TRY(s.in_view(&a.view, &a.objects));
    if (bits) CMDSYN_TRY(cmd_protect(&a));
    if (r.rolemap.empty()) return TBS_ST_OK;
    r.objects = a.objects;
    r.view = a.view;
    return cmd_apply_rolemap(&r);
}

// A policy's entries: "felem:Role:Developer:Change", "vob:Everyone:Read".
tbs_status_t mkpolicy(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kMkpolicyUsage);
    cmd_mkpolicy_args_t a;
    std::vector<std::string> aces;
    int mode = CMD_COMMENT_NONE;
    while (s.next_option()) {
        if (s.comment(&a.comment, &mode) || s.values("-ace", 2, &aces)) continue;
        if (s.flag("-modify", 2)) {
            a.modify = true;
            continue;
        }
        return s.unknown();
    }
    names_t ops;
    CMDSYN_TRY(s.operands(1, 1, &ops));
    CMDSYN_TRY(split_type_name(s, ops[0], &a.name, &a.vob));
    for (const std::string& text : aces) {
        const size_t first = text.find(':'), last = text.rfind(':');
        if (first == std::string::npos || last == first)
            return s.fail("An entry is kind:principal:Read|Change|Full: \"%s\".", text);
        vob_acl_ace_t e;
        e.proxy = text.substr(0, first);
        CMDSYN_TRY(parse_principal(s, text.substr(first + 1, last - first - 1), &e));
        if (!vob_acl_parse_access(text.substr(last + 1), &e.access))
            return s.fail("Permissions are Read, Change or Full: \"%s\".", text);
        a.entries.push_back(e);
    }
    return cmd_mkpolicy(&a);
}

// A role map's entries: "Developer=Group:devs", "Reader=Everyone".
tbs_status_t mkrolemap(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kMkrolemapUsage);
    cmd_mkrolemap_args_t a;
    std::vector<std::string> roles;
    int mode = CMD_COMMENT_NONE;
    while (s.next_option()) {
        if (s.comment(&a.comment, &mode) || s.values("-role", 2, &roles) ||
            s.value("-policy", 2, &a.policy))
            continue;
        if (s.flag("-modify", 2)) {
            a.modify = true;
            continue;
        }
        return s.unknown();
    }
    names_t ops;
    CMDSYN_TRY(s.operands(1, 1, &ops));
    CMDSYN_TRY(split_type_name(s, ops[0], &a.name, &a.vob));
    for (const std::string& text : roles) {
        const size_t eq = text.find('=');
        if (eq == std::string::npos || eq == 0)
            return s.fail("A role entry is role=principal: \"%s\".", text);
        vob_acl_ace_t e;
        e.role = text.substr(0, eq);
        CMDSYN_TRY(parse_principal(s, text.substr(eq + 1), &e));
        a.entries.push_back(e);
    }
    return cmd_mkrolemap(&a);
}

}  // namespace

// Merge candidates ----------------------------------------------------------------------

// Lists what a merge from the source into the view (the null view without -view) would
// take, one line per element; it merges nothing, so -print is what it always does. Without
// pathnames it searches the view's load rules, or every VOB.
tbs_status_t findmerge(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kFindmergeUsage, CMDSYN_TAKES_VIEW);
    cmd_findmerge_args_t a;
    std::string version, latest, tag;
    int sources = 0;
    while (s.next_option()) {
        if (s.value("-fversion", 2, &version) || s.value("-flatest", 2, &latest) ||
            s.value("-ftag", 2, &tag))
            ++sources;
        else if (s.flag("-directory", 2))
            a.dir_only = true;
        else if (s.flag("-follow", 2))
            a.follow = true;
        else if (!s.flag("-print", 2))
            return s.unknown();
    }
    CMDSYN_TRY(s.operands(0, CMDSYN_ANY, &a.pnames));
    if (sources != 1) return s.fail("Give one of -fversion, -flatest and -ftag.");
    CMDSYN_TRY(s.check_pnames(a.pnames, false));
    CMDSYN_TRY(s.in_view(&a.view, &a.pnames));
    if (!tag.empty()) {
        a.kind = CMD_FINDMERGE_VIEW;
        a.from_view = tag;
    } else {
        a.selector = version;
        if (!latest.empty()) a.selector.assign(".../").append(latest).append("/LATEST");
    }
    view_t* view = nullptr;
    if (a.view && view_open_by_uuid(a.view->view_uuid, &view) == TBS_ST_OK)
        a.cspec = view->cspec.get();
    a.output = "-";
    return cmd_findmerge(&a);
}

// Merges a version into the checkout of the element named by -to: a version-extended
// pathname, or a selector evaluated for that element (-fversion takes it too).
tbs_status_t merge(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kMergeUsage, CMDSYN_TAKES_VIEW);
    cmd_merge_args_t a;
    std::string version;
    while (s.next_option()) {
        if (s.value("-to", 2, &a.to) || s.value("-fversion", 2, &version) ||
            s.value("-base", 2, &a.base) || s.value("-out", 2, &a.output))
            continue;
        if (s.flag("-ndata", 2))
            a.ndata = true;
        else if (s.flag("-abort", 2))
            a.abort_on_conflict = true;
        else
            return s.unknown();
    }
    std::vector<std::string> operands;
    CMDSYN_TRY(s.operands(version.empty() ? 1 : 0, version.empty() ? 1 : 0, &operands));
    a.from = version.empty() ? operands[0] : version;
    if (a.to.empty()) return s.fail("Name the checked-out element to merge into with -to.");
    if (!a.output.empty()) {
        // The file is written: its directory must be one the command may use.
        const size_t slash = a.output.rfind('/');
        CMDSYN_TRY(cmdsyn_check_local_file(slash == std::string::npos ? "."
                                           : slash == 0               ? "/"
                                                                      : a.output.substr(0, slash)));
    }
    std::vector<std::string> names{a.to, a.from};
    if (!a.base.empty()) names.push_back(a.base);
    CMDSYN_TRY(s.check_pnames({a.to}, false));
    CMDSYN_TRY(s.in_view(&a.view, &names));
    a.to = names[0];
    a.from = names[1];
    if (!a.base.empty()) a.base = names[2];
    return cmd_merge(&a);
}

const cmdsyn_command_t cmdsyn_elem_commands[] = {
    {"checkin", "ci", checkin, kCheckinUsage},
    {"checkout", "co", checkout, kCheckoutUsage},
    {"findmerge", nullptr, findmerge, kFindmergeUsage},
    {"import", nullptr, import, kImportUsage},
    {"ln", nullptr, ln, kLnUsage},
    {"lock", nullptr, lock, kLockUsage},
    {"merge", nullptr, merge, kMergeUsage},
    {"mkattr", nullptr, mkattr, kMkattrUsage},
    {"mkattype", nullptr, mkattype, kMkattypeUsage},
    {"mkbranch", nullptr, mkbranch, kMkbranchUsage},
    {"mkbrtype", nullptr, mkbrtype, kMkbrtypeUsage},
    {"mkdir", nullptr, make_directories, kMkdirUsage},
    {"mkelem", nullptr, mkelem, kMkelemUsage},
    {"mkeltype", nullptr, mkeltype, kMkeltypeUsage},
    {"mkhlink", nullptr, mkhlink, kMkhlinkUsage},
    {"mkhltype", nullptr, mkhltype, kMkhltypeUsage},
    {"mklabel", nullptr, mklabel, kMklabelUsage},
    {"mklbtype", nullptr, mklbtype, kMklbtypeUsage},
    {"mkpolicy", nullptr, mkpolicy, kMkpolicyUsage},
    {"mkrolemap", nullptr, mkrolemap, kMkrolemapUsage},
    {"mktrtype", nullptr, mktrtype, kMktrtypeUsage},
    {"mv", nullptr, mv, kMvUsage},
    {"protect", nullptr, protect, kProtectUsage},
    {"rmattr", nullptr, rmattr, kRmattrUsage},
    {"rmlabel", nullptr, rmlabel, kRmlabelUsage},
    {"rmname", nullptr, rmname, kRmnameUsage},
    {"rmtype", nullptr, rmtype, kRmtypeUsage},
    {"uncheckout", "unco", uncheckout, kUncheckoutUsage},
    {"unlock", nullptr, unlock, kUnlockUsage},
};
const size_t cmdsyn_elem_command_count =
    sizeof cmdsyn_elem_commands / sizeof cmdsyn_elem_commands[0];
