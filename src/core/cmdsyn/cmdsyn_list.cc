// vdtool commands that read: ls, describe, lshistory and lscheckout. They look through the
// null view (the server's own, whose checkouts vdtool makes), or through the view given with
// -view (ls, describe, lscheckout), and print one message per line; times are UTC.
#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "core/cmd/cmd.h"
#include "core/cmdsyn/cmdsyn_internal.h"
#include "core/imsg/imsg.h"
#include "core/rgy/rgy.h"

namespace {

typedef std::vector<std::string> names_t;

const char* const kLsUsage = "ls [-view view-tag] [-long] [pname...]";
const char* const kDescribeUsage = "describe | desc [-view view-tag] [-long] pname-or-selector...";
const char* const kDumpUsage = "dump [-view view-tag] pname-or-selector...";
const char* const kLshistoryUsage = "lshistory | lshis pname-or-selector...";
const char* const kLscheckoutUsage = "lscheckout | lsco [-view view-tag] [-all] [pname...]";

// Texts of facts ------------------------------------------------------------------------

// The readable selector of an object; one that no longer exists reads as its dbid.
std::string selector_of(vob_t* vob, vob_dbid_t dbid) {
    char buf[VOB_MAX_PNAME + 64];
    if (vob_obj_get_selector(vob, dbid, buf, sizeof buf) == TBS_ST_OK) return buf;
    return "dbid:" + std::to_string(dbid) + "@" + vob_selector(vob, VOB_VOBSEL_TAG);
}

std::string version_id(vob_t* vob, vob_dbid_t version) {
    std::string id;
    if (vob_ver_get_idstr(vob, version, &id) != TBS_ST_OK) id = "?";
    return id;
}

// A pathname without its version extension.
std::string element_part(const std::string& pname) {
    size_t at = pname.find(TBS_VER_EXT);
    return at == std::string::npos ? pname : pname.substr(0, at);
}

// The part of a selector after "@@" ("/main/dev"), or "" when it has none.
std::string extension_of(const std::string& selector) {
    size_t at = selector.find(TBS_VER_EXT);
    return at == std::string::npos ? std::string() : selector.substr(at + TBS_VER_EXT_LEN);
}

const char* kind_word(int mtype) {
    switch (mtype) {
        case VOB_MTYPE_VOB:
            return "versioned object base";
        case VOB_MTYPE_VERSION:
        case VOB_MTYPE_DIR_VERSION:
            return "version";
        case VOB_MTYPE_FILE_ELEMENT:
            return "file element";
        case VOB_MTYPE_DIR_ELEMENT:
            return "directory element";
        case VOB_MTYPE_BRANCH:
            return "branch";
        case VOB_MTYPE_SLINK:
            return "symbolic link";
        case VOB_MTYPE_ELTYPE:
            return "element type";
        case VOB_MTYPE_BRTYPE:
            return "branch type";
        case VOB_MTYPE_LBTYPE:
            return "label type";
        case VOB_MTYPE_ATTYPE:
            return "attribute type";
        case VOB_MTYPE_HLTYPE:
            return "hyperlink type";
        case VOB_MTYPE_TRTYPE:
            return "trigger type";
        case VOB_MTYPE_POLICY:
            return "policy";
        case VOB_MTYPE_ROLEMAP:
            return "role map";
        case VOB_MTYPE_HLINK:
            return "hyperlink";
        default:
            return "object";
    }
}

const char* merge_word(int merge_type) {
    static const char* const kWords[] = {"auto", "user", "never", "copy"};
    return merge_type >= VOB_MERGE_AUTO && merge_type <= VOB_MERGE_COPY ? kWords[merge_type] : "?";
}

// An object's name as a pathname or selector, and what it resolved to.
struct Named {
    std::string text;  // the name as printed: a pathname without "@@", or a selector
    vob_t* vob = nullptr;
    vob_dbid_t dbid = 0;
    int mtype = 0;
    vob_dbid_t element = 0;  // for versions, branches and elements
    bool is_pname = false;
};

tbs_status_t resolve_named(const std::string& name, const vob_view_ctx_t* view, Named* out) {
    vob_objsel_t sel;
    tbs_status_t st = vob_utl_parse_objsel(name.c_str(), &sel);
    if (st == TBS_ST_OK && sel.kind == VOB_SEL_PNAME) {
        vob_resolved_t r;
        if ((st = vob_resolve_pname(name.c_str(), view, VOB_RESOLVE_NOFOLLOW, &r)) != TBS_ST_OK)
            return st;
        out->text = element_part(name);
        out->vob = r.vob;
        out->dbid = r.dbid;
        out->mtype = r.mtype;
        out->element = r.mtype == VOB_MTYPE_SLINK ? 0 : r.element;
        out->is_pname = true;
        return TBS_ST_OK;
    }
    if (st != TBS_ST_OK) return st;
    if ((st = vob_resolve_general(name.c_str(), view, &out->vob, &out->dbid, &out->mtype)) !=
        TBS_ST_OK)
        return st;
    out->text = selector_of(out->vob, out->dbid);
    if (out->mtype == VOB_MTYPE_FILE_ELEMENT || out->mtype == VOB_MTYPE_DIR_ELEMENT) {
        out->element = out->dbid;
    } else if (out->mtype == VOB_MTYPE_VERSION || out->mtype == VOB_MTYPE_DIR_VERSION) {
        vob_version_info_t v;
        if (vob_ver_get_info(out->vob, out->dbid, &v) == TBS_ST_OK) out->element = v.element;
    }
    if (out->element) {
        std::string pname;
        if (vob_elem_get_pname(out->vob, out->element, &pname) == TBS_ST_OK) out->text = pname;
    }
    return TBS_ST_OK;
}

// The entries of every registered VOB, for ls and lscheckout given no pathname; a failure
// is reported.
// What the listing commands read: at most the one flag `flag` (`*set` tells whether it
// was given), then at least `min` pathnames (or selectors, with `selectors`) in the view
// the options name.
tbs_status_t flag_and_names(cmdsyn_scanner& s, const char* flag, bool* set, long min,
                            bool selectors, names_t* names, const vob_view_ctx_t** view) {
    *set = false;
    while (s.next_option()) {
        if (!s.flag(flag, 1)) return s.unknown();
        *set = true;
    }
    CMDSYN_TRY(s.operands(min, CMDSYN_ANY, names));
    CMDSYN_TRY(s.check_pnames(*names, selectors));
    return s.in_view(view, names);
}

tbs_status_t every_vob(std::vector<rgy_vob_entry_t>* tags) {
    tbs_status_t st = rgy_list_vob_tags(nullptr, tags);
    return st == TBS_ST_OK ? st : cmdsyn_failed("list", "versioned object bases", st);
}

// ls --------------------------------------------------------------------------------------

// One line for an element as seen in the view, a symbolic link, or a version.
void print_entry(vob_t* vob, const std::string& name, vob_dbid_t element, vob_dbid_t version,
                 bool long_form) {
    std::string type = "element";
    vob_type_info_t t;
    if (vob_elem_get_type(vob, element, &t) == TBS_ST_OK) type = t.name;
    if (!version) {
        if (long_form)
            imsg_ok("%-16s %s [no version selected]\n", type.c_str(), name.c_str());
        else
            imsg_ok("%s [no version selected]\n", name.c_str());
        return;
    }
    const std::string id = version_id(vob, version);
    std::string state;
    vob_checkout_info_t co;
    if (long_form && vob_ckout_get(vob, version, &co) == TBS_ST_OK)
        state = std::string("  (") + (co.reserved ? "reserved" : "unreserved") + ", from " +
                version_id(vob, co.pred_version) + ")";
    if (long_form)
        imsg_ok("%-16s %s@@%s%s\n", type.c_str(), name.c_str(), id.c_str(), state.c_str());
    else
        imsg_ok("%s@@%s\n", name.c_str(), id.c_str());
}

void print_slink(vob_t* vob, const std::string& name, vob_dbid_t slink, bool long_form) {
    std::string text;
    if (vob_slink_get_text(vob, slink, &text) != TBS_ST_OK) text = "?";
    if (long_form)
        imsg_ok("%-16s %s -> %s\n", "symbolic link", name.c_str(), text.c_str());
    else
        imsg_ok("%s -> %s\n", name.c_str(), text.c_str());
}

tbs_status_t list_directory(vob_t* vob, const std::string& dir, vob_dbid_t dir_version,
                            const vob_view_ctx_t* view, bool long_form) {
    std::vector<vob_dir_entry_t> entries;
    tbs_status_t st = vob_dir_list(vob, dir_version, &entries);
    if (st != TBS_ST_OK) return cmdsyn_failed("list", dir.c_str(), st);
    for (const vob_dir_entry_t& e : entries) {
        if (e.mtype == VOB_MTYPE_SLINK) {
            print_slink(vob, e.name, e.target, long_form);
            continue;
        }
        const std::string pname = dir + "/" + e.name;
        vob_dbid_t v = 0;
        if ((st = vob_select_version(vob, e.target, pname.c_str(), view, &v)) != TBS_ST_OK)
            return cmdsyn_failed("list", pname.c_str(), st);
        print_entry(vob, e.name, e.target, v, long_form);
    }
    return TBS_ST_OK;
}

tbs_status_t ls(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kLsUsage, CMDSYN_TAKES_VIEW);
    bool long_form = false;
    names_t names;
    const vob_view_ctx_t* view = nullptr;
    CMDSYN_TRY(flag_and_names(s, "-long", &long_form, 0, false, &names, &view));
    if (names.empty()) {
        // No pathname: the root of every VOB.
        std::vector<rgy_vob_entry_t> tags;
        CMDSYN_TRY(every_vob(&tags));
        for (const rgy_vob_entry_t& e : tags) names.push_back(e.tag);
    }
    tbs_status_t result = TBS_ST_OK;
    for (const std::string& name : names) {
        vob_resolved_t r;
        tbs_status_t st = vob_resolve_pname(name.c_str(), view, VOB_RESOLVE_NOFOLLOW, &r);
        if (st != TBS_ST_OK) {
            if (result == TBS_ST_OK) result = st;
            cmdsyn_failed("access", name.c_str(), st);
            continue;
        }
        const std::string base = element_part(name);
        if (r.mtype == VOB_MTYPE_SLINK) {
            print_slink(r.vob, base, r.dbid, long_form);
        } else if (r.mtype == VOB_MTYPE_DIR_VERSION) {
            if (names.size() > 1) imsg_ok("%s:\n", name.c_str());
            st = list_directory(r.vob, base, r.dbid, view, long_form);
            if (st != TBS_ST_OK && result == TBS_ST_OK) result = st;
        } else if (r.mtype == VOB_MTYPE_VERSION) {
            print_entry(r.vob, base, r.element, r.dbid, long_form);
        } else {
            imsg_ok("%s  (%s)\n", name.c_str(), kind_word(r.mtype));
        }
    }
    return result;
}

// describe --------------------------------------------------------------------------------

void print_comment(const std::string& comment) {
    if (!comment.empty()) imsg_ok("  \"%s\"\n", comment.c_str());
}

void print_created(vob_t* vob, vob_dbid_t obj) {
    vob_obj_info_t o;
    if (vob_obj_get_info(vob, obj, &o) == TBS_ST_OK)
        imsg_ok("  created %s by %s\n", cmdsyn_utc(o.created).c_str(), o.creator.c_str());
}

void print_attrs_and_hlinks(vob_t* vob, vob_dbid_t obj) {
    std::vector<std::pair<std::string, std::string>> attrs;
    if (vob_obj_get_attrs(vob, obj, &attrs) == TBS_ST_OK && !attrs.empty()) {
        imsg_ok("  attributes:\n");
        for (const auto& a : attrs) imsg_ok("    %s = \"%s\"\n", a.first.c_str(), a.second.c_str());
    }
    std::vector<vob_hlink_info_t> links;
    if (vob_obj_get_hlinks(vob, obj, &links) == TBS_ST_OK && !links.empty()) {
        imsg_ok("  hyperlinks:\n");
        for (const vob_hlink_info_t& h : links)
            imsg_ok("    %s@%lld %s -> %s%s%s\n", h.type.c_str(), static_cast<long long>(h.dbid),
                    selector_of(vob, h.from).c_str(), selector_of(vob, h.to).c_str(),
                    h.text.empty() ? "" : " ", h.text.c_str());
    }
}

void print_lock(vob_t* vob, vob_dbid_t obj) {
    vob_lock_info_t lock;
    if (vob_obj_get_lock(vob, obj, &lock) != TBS_ST_OK || !lock.locked) return;
    std::string except;
    for (const std::string& u : lock.excluded) except += (except.empty() ? "" : ",") + u;
    imsg_ok("  locked by %s at %s%s%s\n", lock.locker.c_str(), cmdsyn_utc(lock.at).c_str(),
            lock.obsolete ? " (obsolete)" : "",
            except.empty() ? "" : (" except for users " + except).c_str());
}

void print_protection(vob_t* vob, vob_dbid_t obj) {
    vob_obj_info_t o;
    if (vob_obj_get_info(vob, obj, &o) == TBS_ST_OK)
        imsg_ok("  protection: owner %s, group %s, mode %04o\n", o.owner.c_str(), o.group.c_str(),
                static_cast<unsigned>(o.mode));
}

void print_long_facts(vob_t* vob, vob_dbid_t obj) {
    vob_obj_info_t o;
    if (vob_obj_get_info(vob, obj, &o) == TBS_ST_OK)
        imsg_ok("  object id: %s (dbid %lld)\n", tbs_uuid_text(o.oid).c_str(),
                static_cast<long long>(obj));
}

void print_checkout(vob_t* vob, const vob_checkout_info_t& co) {
    imsg_ok("  checked out %s from %s by %s at %s (%s) in view %s\n",
            version_id(vob, co.dbid).c_str(), version_id(vob, co.pred_version).c_str(),
            co.user.c_str(), cmdsyn_utc(co.at).c_str(), co.reserved ? "reserved" : "unreserved",
            tbs_uuid_text(co.view_uuid).c_str());
}

// What every description but a version's ends with: attributes and hyperlinks, the lock,
// the protection of `protected_by` (a branch's is its element's), and with -long the
// object id.
// The role map protecting an object and its effective access-control list.
void print_acl(vob_t* vob, vob_dbid_t obj) {
    vob_acl_effective_t eacl;
    if (vob_acl_effective(vob, obj, &eacl) != TBS_ST_OK || !eacl.rolemap) return;
    vob_type_info_t rm;
    imsg_ok("  role map: %s\n",
            vob_type_get(vob, eacl.rolemap, &rm) == TBS_ST_OK ? rm.name.c_str() : "?");
    for (const vob_acl_ace_t& e : eacl.entries)
        imsg_ok("    %s: %s\n", vob_acl_principal_str(e).c_str(), vob_acl_access_str(e.access));
}

// A policy's lists and a role map's entries.
void print_acl_definition(vob_t* vob, const Named& n) {
    if (n.mtype == VOB_MTYPE_POLICY) {
        std::vector<vob_acl_ace_t> entries;
        if (vob_acl_policy_entries(vob, n.dbid, &entries) != TBS_ST_OK) return;
        for (const vob_acl_ace_t& e : entries)
            imsg_ok("  %s %s: %s\n", e.proxy.c_str(), vob_acl_principal_str(e).c_str(),
                    vob_acl_access_str(e.access));
        return;
    }
    vob_dbid_t policy = 0;
    std::vector<vob_acl_ace_t> entries;
    if (vob_acl_rolemap_get(vob, n.dbid, &policy, &entries) != TBS_ST_OK) return;
    vob_type_info_t p;
    imsg_ok("  policy: %s\n", vob_type_get(vob, policy, &p) == TBS_ST_OK ? p.name.c_str() : "?");
    for (const vob_acl_ace_t& e : entries)
        imsg_ok("  role %s: %s\n", e.role.c_str(), vob_acl_principal_str(e).c_str());
}

void print_closing_facts(vob_t* vob, vob_dbid_t obj, vob_dbid_t protected_by, bool long_form) {
    print_attrs_and_hlinks(vob, obj);
    print_lock(vob, obj);
    print_protection(vob, protected_by);
    print_acl(vob, protected_by);
    if (long_form) print_long_facts(vob, obj);
}

tbs_status_t describe_version(const Named& n, bool long_form) {
    vob_t* vob = n.vob;
    vob_version_info_t v;
    tbs_status_t st = vob_ver_get_info(vob, n.dbid, &v);
    if (st != TBS_ST_OK) return cmdsyn_failed("describe", n.text.c_str(), st);
    const std::string id = version_id(vob, n.dbid);
    imsg_ok("%s \"%s@@%s\"\n", v.is_dir ? "directory version" : "version", n.text.c_str(),
            id.c_str());
    imsg_ok("  created %s by %s\n", cmdsyn_utc(v.created).c_str(), v.creator.c_str());
    print_comment(v.comment);
    vob_type_info_t t;
    if (vob_elem_get_type(vob, v.element, &t) == TBS_ST_OK)
        imsg_ok("  element type: %s\n", t.name.c_str());
    if (v.predecessor)
        imsg_ok("  predecessor version: %s\n", version_id(vob, v.predecessor).c_str());
    std::vector<std::string> labels;
    if (vob_ver_get_labels(vob, n.dbid, &labels) == TBS_ST_OK && !labels.empty()) {
        std::string text;
        for (const std::string& l : labels) text += (text.empty() ? "" : ", ") + l;
        imsg_ok("  labels: %s\n", text.c_str());
    }
    print_attrs_and_hlinks(vob, n.dbid);
    vob_checkout_info_t co;
    if (v.checked_out && vob_ckout_get(vob, n.dbid, &co) == TBS_ST_OK) print_checkout(vob, co);
    // Locks and protections are the element's.
    print_lock(vob, v.element);
    print_protection(vob, v.element);
    print_acl(vob, v.element);
    if (!long_form) return TBS_ST_OK;
    print_long_facts(vob, n.dbid);
    if (!v.is_dir)
        imsg_ok("  size: %lld bytes%s%s\n", static_cast<long long>(v.size),
                v.content.empty() ? "" : ", content ", v.content.c_str());
    return TBS_ST_OK;
}

tbs_status_t describe_element(const Named& n, bool long_form) {
    vob_t* vob = n.vob;
    imsg_ok("%s \"%s@@\"\n", kind_word(n.mtype), n.text.c_str());
    print_created(vob, n.dbid);
    vob_type_info_t t;
    if (vob_elem_get_type(vob, n.dbid, &t) == TBS_ST_OK)
        imsg_ok("  element type: %s (merge type %s)\n", t.name.c_str(), merge_word(t.merge_type));
    std::vector<vob_version_info_t> versions;
    if (vob_ver_list(vob, n.dbid, &versions) == TBS_ST_OK) {
        std::vector<std::string> branches;
        for (const vob_version_info_t& v : versions)
            if (std::find(branches.begin(), branches.end(), v.branch_path) == branches.end())
                branches.push_back(v.branch_path);
        std::string text;
        for (const std::string& b : branches) text += (text.empty() ? "" : ", ") + b;
        imsg_ok("  branches: %s (%zu versions)\n", text.c_str(), versions.size());
    }
    std::vector<vob_checkout_info_t> cos;
    if (vob_ob_next_ckouts(vob, n.dbid, &cos) == TBS_ST_OK)
        for (const vob_checkout_info_t& co : cos) print_checkout(vob, co);
    print_closing_facts(vob, n.dbid, n.dbid, long_form);
    return TBS_ST_OK;
}

tbs_status_t describe_branch(const Named& n, bool long_form) {
    vob_t* vob = n.vob;
    const std::string path = extension_of(selector_of(vob, n.dbid));
    imsg_ok("branch \"%s@@%s\"\n", n.text.c_str(), path.c_str());
    print_created(vob, n.dbid);
    imsg_ok("  branch type: %s\n", path.substr(path.find_last_of('/') + 1).c_str());
    vob_dbid_t latest = 0;
    if (vob_branch_latest(vob, n.dbid, &latest) == TBS_ST_OK)
        imsg_ok("  latest version: %s\n", version_id(vob, latest).c_str());
    std::vector<vob_checkout_info_t> cos;
    if (vob_ob_next_ckouts(vob, n.element, &cos) == TBS_ST_OK)
        for (const vob_checkout_info_t& co : cos)
            if (co.branch == n.dbid) print_checkout(vob, co);
    print_closing_facts(vob, n.dbid, n.element, long_form);
    return TBS_ST_OK;
}

tbs_status_t describe_type(const Named& n, bool long_form) {
    vob_t* vob = n.vob;
    vob_type_info_t t;
    tbs_status_t st = vob_type_get(vob, n.dbid, &t);
    if (st != TBS_ST_OK) return cmdsyn_failed("describe", n.text.c_str(), st);
    imsg_ok("%s \"%s\" (%s)\n", kind_word(n.mtype), t.name.c_str(), n.text.c_str());
    print_created(vob, n.dbid);
    // The comment a type was made with is its creation event's.
    std::vector<vob_event_info_t> events;
    if (vob_obj_get_events(vob, n.dbid, &events) == TBS_ST_OK)
        for (const vob_event_info_t& e : events)
            if (e.kind == "create type") print_comment(e.comment);
    if (n.mtype == VOB_MTYPE_ELTYPE)
        imsg_ok("  merge type: %s%s%s\n", merge_word(t.merge_type),
                t.type_manager.empty() ? "" : ", type manager ", t.type_manager.c_str());
    print_acl_definition(vob, n);
    print_closing_facts(vob, n.dbid, n.dbid, long_form);
    return TBS_ST_OK;
}

tbs_status_t describe_vob(const Named& n, bool long_form) {
    vob_t* vob = n.vob;
    imsg_ok("versioned object base \"%s\"\n", vob->tag.c_str());
    print_created(vob, n.dbid);
    imsg_ok("  storage: %s\n", vob->storage.c_str());
    imsg_ok("  family uuid: %s\n", tbs_uuid_text(vob->family_uuid).c_str());
    imsg_ok("  replica uuid: %s\n", tbs_uuid_text(vob->uuid).c_str());
    print_closing_facts(vob, n.dbid, n.dbid, long_form);
    return TBS_ST_OK;
}

tbs_status_t describe_other(const Named& n, bool long_form) {
    vob_t* vob = n.vob;
    imsg_ok("%s \"%s\"\n", kind_word(n.mtype), n.text.c_str());
    if (n.mtype == VOB_MTYPE_SLINK) {
        std::string text;
        if (vob_slink_get_text(vob, n.dbid, &text) == TBS_ST_OK)
            imsg_ok("  link text: %s\n", text.c_str());
    }
    print_created(vob, n.dbid);
    print_closing_facts(vob, n.dbid, n.dbid, long_form);
    return TBS_ST_OK;
}

tbs_status_t describe(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kDescribeUsage, CMDSYN_TAKES_VIEW);
    bool long_form = false;
    names_t names;
    const vob_view_ctx_t* view = nullptr;
    CMDSYN_TRY(flag_and_names(s, "-long", &long_form, 1, true, &names, &view));
    tbs_status_t result = TBS_ST_OK;
    for (const std::string& name : names) {
        Named n;
        tbs_status_t st = resolve_named(name, view, &n);
        if (st != TBS_ST_OK) {
            if (result == TBS_ST_OK) result = st;
            cmdsyn_failed("describe", name.c_str(), st);
            continue;
        }
        switch (n.mtype) {
            case VOB_MTYPE_VERSION:
            case VOB_MTYPE_DIR_VERSION:
                st = describe_version(n, long_form);
                break;
            case VOB_MTYPE_FILE_ELEMENT:
            case VOB_MTYPE_DIR_ELEMENT:
                st = describe_element(n, long_form);
                break;
            case VOB_MTYPE_BRANCH:
                st = describe_branch(n, long_form);
                break;
            case VOB_MTYPE_VOB:
                st = describe_vob(n, long_form);
                break;
            case VOB_MTYPE_ELTYPE:
            case VOB_MTYPE_BRTYPE:
            case VOB_MTYPE_LBTYPE:
            case VOB_MTYPE_ATTYPE:
            case VOB_MTYPE_HLTYPE:
            case VOB_MTYPE_TRTYPE:
            case VOB_MTYPE_POLICY:
            case VOB_MTYPE_ROLEMAP:
                st = describe_type(n, long_form);
                break;
            default:
                st = describe_other(n, long_form);
                break;
        }
        if (st != TBS_ST_OK && result == TBS_ST_OK) result = st;
    }
    return result;
}

// Everything the VOB records of the objects: their long description.
tbs_status_t dump(const cmdsyn_args_t& args) {
    for (const std::string& a : args)
        if (clp_match(a.c_str(), "-long", 1)) return cmdsyn_usage_error(kDumpUsage);
    cmdsyn_args_t with_long{"-long"};
    with_long.insert(with_long.end(), args.begin(), args.end());
    return describe(with_long);
}

// lshistory -------------------------------------------------------------------------------

// How an event names its object: a version by its version id, a branch by its path, the
// element itself with a bare "@@".
std::string event_object(const Named& n, vob_dbid_t obj) {
    int mtype = 0;
    if (vob_obj_get_mtypes(n.vob, obj, &mtype) != TBS_ST_OK) return selector_of(n.vob, obj);
    if (!n.element) return selector_of(n.vob, obj);
    switch (mtype) {
        case VOB_MTYPE_VERSION:
        case VOB_MTYPE_DIR_VERSION:
            return n.text + TBS_VER_EXT + version_id(n.vob, obj);
        case VOB_MTYPE_BRANCH:
            return n.text + TBS_VER_EXT + extension_of(selector_of(n.vob, obj));
        case VOB_MTYPE_FILE_ELEMENT:
        case VOB_MTYPE_DIR_ELEMENT:
            return n.text + TBS_VER_EXT;
        default:
            return selector_of(n.vob, obj);
    }
}

tbs_status_t lshistory(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kLshistoryUsage);
    while (s.next_option()) return s.unknown();
    names_t names;
    CMDSYN_TRY(s.operands(1, CMDSYN_ANY, &names));
    CMDSYN_TRY(s.check_pnames(names, true));
    const vob_view_ctx_t* view = nullptr;
    CMDSYN_TRY(s.in_view(&view, &names));
    for (const std::string& name : names) {
        Named n;
        tbs_status_t st = resolve_named(name, view, &n);
        if (st != TBS_ST_OK) return cmdsyn_failed("list the history of", name.c_str(), st);
        std::vector<vob_event_info_t> events;
        if ((st = vob_obj_get_events(n.vob, n.element ? n.element : n.dbid, &events)) != TBS_ST_OK)
            return cmdsyn_failed("list the history of", name.c_str(), st);
        std::sort(events.begin(), events.end(),
                  [](const vob_event_info_t& a, const vob_event_info_t& b) { return a.id > b.id; });
        for (const vob_event_info_t& e : events) {
            imsg_ok("%s  %s  %s \"%s\"\n", cmdsyn_utc(e.at).c_str(), e.user.c_str(), e.kind.c_str(),
                    event_object(n, e.obj).c_str());
            print_comment(e.comment);
        }
    }
    return TBS_ST_OK;
}

// lscheckout ------------------------------------------------------------------------------

void print_checkout_line(vob_t* vob, const vob_checkout_info_t& co) {
    std::string pname;
    if (vob_elem_get_pname(vob, co.element, &pname) != TBS_ST_OK)
        pname = selector_of(vob, co.element);
    imsg_ok("%s  %s  %s@@%s from %s  (%s)  view %s\n", cmdsyn_utc(co.at).c_str(), co.user.c_str(),
            pname.c_str(), version_id(vob, co.dbid).c_str(),
            version_id(vob, co.pred_version).c_str(), co.reserved ? "reserved" : "unreserved",
            tbs_uuid_text(co.view_uuid).c_str());
    print_comment(co.comment);
}

tbs_status_t list_checkouts(vob_t* vob, vob_dbid_t element, const std::string& name) {
    std::vector<vob_checkout_info_t> cos;
    tbs_status_t st = vob_ob_next_ckouts(vob, element, &cos);
    if (st != TBS_ST_OK) return cmdsyn_failed("list the checkouts of", name.c_str(), st);
    for (const vob_checkout_info_t& co : cos) print_checkout_line(vob, co);
    return TBS_ST_OK;
}

tbs_status_t lscheckout(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kLscheckoutUsage, CMDSYN_TAKES_VIEW);
    bool all = false;
    names_t names;
    const vob_view_ctx_t* view = nullptr;
    CMDSYN_TRY(flag_and_names(s, "-all", &all, 0, false, &names, &view));
    if (names.empty()) {
        // Every checkout of every VOB.
        std::vector<rgy_vob_entry_t> tags;
        CMDSYN_TRY(every_vob(&tags));
        for (const rgy_vob_entry_t& e : tags) {
            vob_t* vob = nullptr;
            tbs_status_t st = vob_open_by_tag(e.tag.c_str(), &vob);
            if (st != TBS_ST_OK) return cmdsyn_failed("open", e.tag.c_str(), st);
            CMDSYN_TRY(list_checkouts(vob, 0, e.tag));
        }
        return TBS_ST_OK;
    }
    std::set<vob_t*> vobs_done;
    for (const std::string& name : names) {
        vob_resolved_t r;
        tbs_status_t st = vob_resolve_pname(name.c_str(), view, VOB_RESOLVE_NOFOLLOW, &r);
        if (st != TBS_ST_OK) return cmdsyn_failed("access", name.c_str(), st);
        if (all) {
            // The whole VOB of the pathname, once.
            if (vobs_done.insert(r.vob).second) CMDSYN_TRY(list_checkouts(r.vob, 0, name));
            continue;
        }
        if (r.mtype == VOB_MTYPE_SLINK) continue;
        CMDSYN_TRY(list_checkouts(r.vob, r.element, name));
        if (r.mtype != VOB_MTYPE_DIR_VERSION) continue;
        // A directory: also the checkouts of the elements it holds.
        std::vector<vob_dir_entry_t> entries;
        if ((st = vob_dir_list(r.vob, r.dbid, &entries)) != TBS_ST_OK)
            return cmdsyn_failed("list", name.c_str(), st);
        for (const vob_dir_entry_t& e : entries)
            if (e.mtype != VOB_MTYPE_SLINK) CMDSYN_TRY(list_checkouts(r.vob, e.target, name));
    }
    return TBS_ST_OK;
}

}  // namespace

const cmdsyn_command_t cmdsyn_list_commands[] = {
    {"describe", "desc", describe, kDescribeUsage, 3},
    {"dump", nullptr, dump, kDumpUsage},
    {"ls", nullptr, ls, kLsUsage},
    {"lscheckout", "lsco", lscheckout, kLscheckoutUsage, 3},
    {"lshistory", "lshis", lshistory, kLshistoryUsage, 3},
};
const size_t cmdsyn_list_command_count =
    sizeof cmdsyn_list_commands / sizeof cmdsyn_list_commands[0];
