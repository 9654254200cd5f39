// vdtool commands for change management: components, folders, projects, streams,
// activities and baselines, their listings, and deliver and rebase.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "core/cmd/cmd_xcm.h"
#include "core/cmdsyn/cmdsyn_internal.h"
#include "core/imsg/imsg.h"
#include "core/tide/tide.h"
#include "core/vob/vob_obj.h"
#include "core/vob/xcm.h"

namespace {

typedef std::vector<std::string> names_t;

const char* const kMkcompUsage =
    "mkcomp (-root directory-pname | -nroot) [-c comment | -nc] name@pvob";
const char* const kMkfolderUsage = "mkfolder [-in folder-selector] [-c comment | -nc] name@pvob";
const char* const kMkprojectUsage =
    "mkproject [-in folder-selector] [-modcomp component-selector[,...]] "
    "[-policy deliver_nco_devstr|deliver_nco_selact|rebase_co ...] [-bltemplate tokens] "
    "[-crmdb userdb@dbset] [-c comment | -nc] name@pvob";
const char* const kMkstreamUsage =
    "mkstream -in project-selector [-integration] [-parent stream-selector] "
    "[-baseline baseline-selector[,...]] [-readonly] [-target stream-selector] "
    "[-c comment | -nc] name@pvob";
const char* const kChstreamUsage =
    "chstream [-recommended baseline-selector[,...]] [-target stream-selector | -notarget] "
    "[-readonly | -readwrite] [-c comment] stream-selector";
const char* const kMkactivityUsage =
    "mkactivity -in stream-selector [-headline text] [-view view-tag] [-c comment | -nc] "
    "[name@pvob]";
const char* const kSetactivityUsage = "setactivity -view view-tag (activity-selector | -none)";
const char* const kMkblUsage =
    "mkbl -stream stream-selector [-full | -incremental] [-recommend] "
    "[-component component-selector[,...] | -adepends_on baseline-selector[,...] "
    "[-component component-selector]] [-c comment | -nc] basename";
const char* const kChblUsage =
    "chbl [-level promotion-level] [-adepends_on baseline-selector[,...]] "
    "[-ddepends_on baseline-selector[,...]] [-c comment] baseline-selector";
const char* const kDeliverUsage =
    "deliver -stream stream-selector (-to view-tag [-target stream-selector] "
    "[-activities activity-selector[,...] | -baselines baseline-selector[,...]] [-complete] | "
    "-resume | -complete | -cancel | "
    "-status)";
const char* const kRebaseUsage =
    "rebase -view view-tag ([-baseline baseline-selector[,...]] [-complete] | -resume | "
    "-complete | -cancel | -status)";
const char* const kLsprojectUsage = "lsproject -pvob pvob-tag";
const char* const kLsstreamUsage = "lsstream -in project-selector";
const char* const kLsactivityUsage = "lsactivity -in stream-selector [-cset]";
const char* const kLsblUsage = "lsbl -stream stream-selector";
const char* const kMkcrmdbUsage = "mkcrmdb userdb@dbset";
const char* const kMkcrmuserUsage = "mkcrmuser -pwfile password-file userdb@dbset user";
const char* const kMkcrmrecUsage =
    "mkcrmrec [-type record-type] [-headline text] [-state state] [-owner user] userdb@dbset id";
const char* const kLscrmrecUsage = "lscrmrec [-owner user] userdb@dbset";

// "a,b,c" as its parts (empty parts dropped).
void split_list(const std::string& text, names_t* out) {
    size_t at = 0;
    while (at <= text.size()) {
        size_t comma = text.find(',', at);
        if (comma == std::string::npos) comma = text.size();
        if (comma > at) out->push_back(text.substr(at, comma - at));
        at = comma + 1;
    }
}

// "name@pvob": the name and the project VOB's tag.
tbs_status_t split_name(const cmdsyn_scanner& s, const std::string& op, std::string* name,
                        std::string* pvob) {
    size_t at = op.find('@');
    if (at == std::string::npos || at == 0 || at + 1 == op.size())
        return s.fail("Name the object and its project VOB as name@pvob: \"%s\".", op);
    *name = op.substr(0, at);
    *pvob = op.substr(at + 1);
    if (pvob->rfind("vob:", 0) == 0) *pvob = pvob->substr(4);
    return TBS_ST_OK;
}

tbs_status_t find(const std::string& sel, int mtype, vob_t** pvob, vob_dbid_t* dbid) {
    tbs_status_t st = xcm_resolve(sel.c_str(), mtype, pvob, dbid);
    if (st != TBS_ST_OK) return cmdsyn_failed("find", sel.c_str(), st);
    return TBS_ST_OK;
}

std::string sel_of(vob_t* pvob, vob_dbid_t dbid) {
    xcm_obj_t o;
    if (xcm_get_obj(pvob, dbid, &o) != TBS_ST_OK) return "?";
    return xcm_selector(pvob, o.mtype, o.name);
}

// Objects ----------------------------------------------------------------------------------

tbs_status_t mkcomp(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kMkcompUsage);
    cmd_mkcomp_args_t a;
    int mode = CMD_COMMENT_NONE;
    while (s.next_option()) {
        if (s.value("-root", 2, &a.root) || s.comment(&a.comment, &mode)) continue;
        if (!s.flag("-nroot", 3)) return s.unknown();
        a.rootless = true;
    }
    names_t ops;
    CMDSYN_TRY(s.operands(1, 1, &ops));
    CMDSYN_TRY(split_name(s, ops[0], &a.name, &a.pvob));
    if (a.root.empty() == !a.rootless)
        return s.fail("Give either -root directory-pname or -nroot.");
    tbs_status_t st = cmd_mkcomp(&a);
    if (st != TBS_ST_OK) return cmdsyn_failed("create component", a.name.c_str(), st);
    if (a.rootless)
        imsg_ok("Created rootless component \"%s\" with baseline \"%s_INITIAL\".\n", a.name.c_str(),
                a.name.c_str());
    else
        imsg_ok("Created component \"%s\" rooted at \"%s\" with baseline \"%s_INITIAL\".\n",
                a.name.c_str(), a.root.c_str(), a.name.c_str());
    return TBS_ST_OK;
}

tbs_status_t mkfolder(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kMkfolderUsage);
    cmd_mkfolder_args_t a;
    int mode = CMD_COMMENT_NONE;
    while (s.next_option())
        if (!s.value("-in", 2, &a.parent) && !s.comment(&a.comment, &mode)) return s.unknown();
    names_t ops;
    CMDSYN_TRY(s.operands(1, 1, &ops));
    CMDSYN_TRY(split_name(s, ops[0], &a.name, &a.pvob));
    tbs_status_t st = cmd_mkfolder(&a);
    if (st != TBS_ST_OK) return cmdsyn_failed("create folder", a.name.c_str(), st);
    imsg_ok("Created folder \"%s\".\n", a.name.c_str());
    return TBS_ST_OK;
}

tbs_status_t mkproject(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kMkprojectUsage);
    cmd_mkproject_args_t a;
    int mode = CMD_COMMENT_NONE;
    std::string comps, crm;
    names_t policies;
    while (s.next_option()) {
        if (s.value("-in", 2, &a.folder) || s.value("-modcomp", 2, &comps) ||
            s.values("-policy", 2, &policies) || s.value("-bltemplate", 2, &a.bl_template) ||
            s.value("-crmdb", 2, &crm) || s.comment(&a.comment, &mode))
            continue;
        return s.unknown();
    }
    names_t ops;
    CMDSYN_TRY(s.operands(1, 1, &ops));
    CMDSYN_TRY(split_name(s, ops[0], &a.name, &a.pvob));
    split_list(comps, &a.components);
    static const struct {
        const char* name;
        int bit;
    } kPolicies[] = {{"deliver_nco_devstr", XCM_POLICY_DELIVER_NCO_DEVSTR},
                     {"deliver_nco_selact", XCM_POLICY_DELIVER_NCO_SELACT},
                     {"rebase_co", XCM_POLICY_REBASE_CO}};
    for (const std::string& p : policies) {
        int bit = 0;
        for (const auto& k : kPolicies)
            if (p == k.name) bit = k.bit;
        if (!bit) return s.fail("Unknown policy \"%s\".", p);
        a.policies |= bit;
    }
    if (!crm.empty()) {
        size_t at = crm.find('@');
        if (at == std::string::npos || at == 0 || at + 1 == crm.size())
            return s.fail("Name the change-request database as userdb@dbset: \"%s\".", crm);
        a.tn_userdb = crm.substr(0, at);
        a.tn_dbset = crm.substr(at + 1);
    }
    tbs_status_t st = cmd_mkproject(&a);
    if (st != TBS_ST_OK) return cmdsyn_failed("create project", a.name.c_str(), st);
    imsg_ok("Created project \"%s\".\n", a.name.c_str());
    return TBS_ST_OK;
}

tbs_status_t mkstream(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kMkstreamUsage);
    cmd_mkstream_args_t a;
    int mode = CMD_COMMENT_NONE;
    std::string baselines;
    while (s.next_option()) {
        if (s.value("-in", 2, &a.project) || s.value("-parent", 2, &a.parent) ||
            s.value("-baseline", 2, &baselines) || s.value("-target", 2, &a.target) ||
            s.comment(&a.comment, &mode))
            continue;
        if (s.flag("-integration", 3)) {
            a.integration = true;
        } else if (s.flag("-readonly", 2)) {
            a.read_only = true;
        } else {
            return s.unknown();
        }
    }
    names_t ops;
    CMDSYN_TRY(s.operands(1, 1, &ops));
    std::string pvob;
    CMDSYN_TRY(split_name(s, ops[0], &a.name, &pvob));
    if (a.project.empty()) return s.fail("Missing -in project-selector.");
    split_list(baselines, &a.baselines);
    tbs_status_t st = cmd_mkstream(&a);
    if (st != TBS_ST_OK) return cmdsyn_failed("create stream", a.name.c_str(), st);
    imsg_ok("Created %s stream \"%s\".\n", a.integration ? "integration" : "development",
            a.name.c_str());
    return TBS_ST_OK;
}

tbs_status_t chstream(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kChstreamUsage);
    cmd_chstream_args_t a;
    std::string rec;
    int mode = CMD_COMMENT_NONE;
    while (s.next_option()) {
        if (s.value("-recommended", 3, &rec)) continue;
        if (s.value("-target", 2, &a.target)) {
            a.set_target = true;
        } else if (s.flag("-notarget", 3)) {
            a.set_target = true;
            a.target.clear();
        } else if (s.flag("-readonly", 6)) {
            a.read_only = 1;
        } else if (s.flag("-readwrite", 6)) {
            a.read_only = 0;
        } else if (s.comment(&a.comment, &mode)) {
            a.set_comment = mode == CMD_COMMENT_GIVEN;
        } else {
            return s.unknown();
        }
    }
    names_t ops;
    CMDSYN_TRY(s.operands(1, 1, &ops));
    a.stream = ops[0];
    split_list(rec, &a.recommend);
    tbs_status_t st = cmd_chstream(&a);
    if (st != TBS_ST_OK) return cmdsyn_failed("change stream", a.stream.c_str(), st);
    imsg_ok("Changed stream \"%s\".\n", a.stream.c_str());
    return TBS_ST_OK;
}

tbs_status_t mkactivity(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kMkactivityUsage);
    cmd_mkactivity_args_t a;
    int mode = CMD_COMMENT_NONE;
    while (s.next_option()) {
        if (s.value("-in", 2, &a.stream) || s.value("-headline", 2, &a.headline) ||
            s.value("-view", 2, &a.view) || s.comment(&a.comment, &mode))
            continue;
        return s.unknown();
    }
    names_t ops;
    CMDSYN_TRY(s.operands(0, 1, &ops));
    if (a.stream.empty()) return s.fail("Missing -in stream-selector.");
    if (!ops.empty()) {
        std::string pvob;
        CMDSYN_TRY(split_name(s, ops[0], &a.name, &pvob));
    }
    tbs_status_t st = cmd_mkactivity(&a);
    if (st != TBS_ST_OK) return cmdsyn_failed("create activity", a.name.c_str(), st);
    imsg_ok("Created activity \"%s\".\n", a.selector.c_str());
    if (!a.view.empty())
        imsg_ok("Set activity \"%s\" in view \"%s\".\n", a.selector.c_str(), a.view.c_str());
    return TBS_ST_OK;
}

tbs_status_t setactivity(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kSetactivityUsage);
    std::string view;
    bool none = false;
    while (s.next_option()) {
        if (s.value("-view", 2, &view)) continue;
        if (!s.flag("-none", 3)) return s.unknown();
        none = true;
    }
    names_t ops;
    CMDSYN_TRY(s.operands(none ? 0 : 1, none ? 0 : 1, &ops));
    if (view.empty()) return s.fail("Missing -view view-tag.");
    const std::string act = none ? "" : ops[0];
    tbs_status_t st = cmd_setactivity(view.c_str(), act.c_str());
    if (st != TBS_ST_OK) return cmdsyn_failed("set activity in view", view.c_str(), st);
    if (none)
        imsg_ok("Cleared the current activity of view \"%s\".\n", view.c_str());
    else
        imsg_ok("Set activity \"%s\" in view \"%s\".\n", act.c_str(), view.c_str());
    return TBS_ST_OK;
}

// "mkbl -adepends_on": one composite baseline of the component named (else the project's
// rootless one) whose members are the baselines named.
tbs_status_t mkbl_composite(const cmd_mkbl_args_t& m, const std::string& deps) {
    cmd_bl_deps_args_t a;
    a.stream = m.stream;
    a.basename = m.basename;
    a.comment = m.comment;
    if (m.components.size() > 1) {
        imsg_error("A composite baseline is of one component.\n");
        return TBS_ST_INVALID;
    }
    if (!m.components.empty()) a.component = m.components.front();
    split_list(deps, &a.add);
    tbs_status_t st = cmd_chbl_deps(&a);
    if (st != TBS_ST_OK) return cmdsyn_failed("make baseline", a.basename.c_str(), st);
    vob_t* pvob = nullptr;
    vob_dbid_t stream = 0;
    CMDSYN_TRY(find(m.stream, VOB_MTYPE_STREAM, &pvob, &stream));
    imsg_ok("Created composite baseline \"%s\" with %zu members.\n", sel_of(pvob, a.result).c_str(),
            a.members.size());
    if (!m.recommend) return TBS_ST_OK;
    cmd_chstream_args_t ch;
    ch.stream = m.stream;
    ch.recommend.push_back(sel_of(pvob, a.result));
    st = cmd_chstream(&ch);
    return st == TBS_ST_OK ? st : cmdsyn_failed("recommend", ch.recommend[0].c_str(), st);
}

tbs_status_t mkbl(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kMkblUsage);
    cmd_mkbl_args_t a;
    std::string comps, deps;
    int mode = CMD_COMMENT_NONE;
    while (s.next_option()) {
        if (s.value("-stream", 2, &a.stream) || s.value("-component", 2, &comps) ||
            s.value("-adepends_on", 3, &deps) || s.comment(&a.comment, &mode))
            continue;
        if (s.flag("-full", 2))
            a.full = true;
        else if (s.flag("-incremental", 2))
            a.full = false;
        else if (s.flag("-recommend", 2))
            a.recommend = true;
        else
            return s.unknown();
    }
    names_t ops;
    CMDSYN_TRY(s.operands(1, 1, &ops));
    if (a.stream.empty()) return s.fail("Missing -stream stream-selector.");
    a.basename = ops[0];
    split_list(comps, &a.components);
    if (!deps.empty()) return mkbl_composite(a, deps);
    tbs_status_t st = cmd_mkbl(&a);
    if (st != TBS_ST_OK) return cmdsyn_failed("make baseline", a.basename.c_str(), st);
    return TBS_ST_OK;
}

tbs_status_t chbl(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kChblUsage);
    cmd_chbl_args_t a;
    cmd_bl_deps_args_t d;
    std::string add, remove;
    int mode = CMD_COMMENT_NONE;
    while (s.next_option()) {
        if (s.value("-level", 2, &a.level) || s.value("-adepends_on", 3, &add) ||
            s.value("-ddepends_on", 3, &remove))
            continue;
        if (!s.comment(&a.comment, &mode)) return s.unknown();
        a.set_comment = mode == CMD_COMMENT_GIVEN;
    }
    names_t ops;
    CMDSYN_TRY(s.operands(1, 1, &ops));
    a.baseline = d.baseline = ops[0];
    split_list(add, &d.add);
    split_list(remove, &d.remove);
    tbs_status_t st = TBS_ST_OK;
    if (!d.add.empty() || !d.remove.empty()) {
        d.comment = a.comment;
        st = cmd_chbl_deps(&d);
    }
    const bool more = !a.level.empty() || a.set_comment || (d.add.empty() && d.remove.empty());
    if (st == TBS_ST_OK && more) st = cmd_chbl(&a);
    if (st != TBS_ST_OK) return cmdsyn_failed("change baseline", a.baseline.c_str(), st);
    imsg_ok("Changed baseline \"%s\".\n", a.baseline.c_str());
    return TBS_ST_OK;
}

// Deliver and rebase -------------------------------------------------------------------------

int print_sorted(void*, const xcm_op_item_t& i, const char* state) {
    imsg_ok("Needs merge: \"%s\" (%s).\n", i.pname.c_str(), state);
    return 0;
}

// The checkouts, merges and checkins print their own lines.
cmd_integ_callbacks_t printing() {
    cmd_integ_callbacks_t cb;
    cb.sorted = print_sorted;
    return cb;
}

enum Step { START, RESUME, COMPLETE, CANCEL, STATUS };

// The later steps of an operation on `stream`, and its state.
tbs_status_t integ_step(vob_t* pvob, vob_dbid_t stream, Step step,
                        const cmd_integ_callbacks_t* cb) {
    xcm_op_t op;
    tbs_status_t st = TBS_ST_OK;
    switch (step) {
        case RESUME:
            st = cmd_integ_run(pvob, stream, cb);
            break;
        case COMPLETE:
            st = cmd_integ_complete(pvob, stream, cb);
            if (st == TBS_ST_OK) imsg_ok("Completed.\n");
            return st;
        case CANCEL:
            st = cmd_integ_cancel(pvob, stream, cb);
            if (st == TBS_ST_OK) imsg_ok("Cancelled.\n");
            return st;
        default:
            break;
    }
    if (xcm_get_op(pvob, stream, &op) == TBS_ST_OK) {
        std::vector<xcm_op_item_t> items;
        xcm_op_items(pvob, stream, &items);
        int64_t merged = 0;
        for (const xcm_op_item_t& i : items) merged += i.state == XCM_ITEM_MERGED;
        imsg_ok("%s in progress (%s) by %s into %s: %lld of %zu merged.\n", op.kind.c_str(),
                op.state.c_str(), op.user.c_str(), sel_of(pvob, op.target).c_str(),
                static_cast<long long>(merged), items.size());
    } else if (step == STATUS) {
        imsg_ok("No deliver or rebase in progress.\n");
    }
    return st;
}

bool step_flag(cmdsyn_scanner& s, Step* step) {
    static const struct {
        const char* name;
        Step step;
    } kSteps[] = {
        {"-resume", RESUME}, {"-complete", COMPLETE}, {"-cancel", CANCEL}, {"-status", STATUS}};
    for (const auto& k : kSteps)
        if (s.flag(k.name, 3)) {
            *step = k.step;
            return true;
        }
    return false;
}

tbs_status_t deliver(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kDeliverUsage);
    cmd_deliver_args_t a;
    std::string acts, bls;
    Step step = START;
    while (s.next_option()) {
        if (s.value("-stream", 2, &a.stream) || s.value("-to", 2, &a.view) ||
            s.value("-target", 2, &a.target) || s.value("-activities", 2, &acts) ||
            s.value("-baselines", 2, &bls) || step_flag(s, &step))
            continue;
        return s.unknown();
    }
    names_t ops;
    CMDSYN_TRY(s.operands(0, 0, &ops));
    if (a.stream.empty()) return s.fail("Missing -stream stream-selector.");
    vob_t* pvob = nullptr;
    vob_dbid_t stream = 0;
    CMDSYN_TRY(find(a.stream, VOB_MTYPE_STREAM, &pvob, &stream));
    const cmd_integ_callbacks_t cb = printing();
    xcm_op_t op;
    const bool in_progress = xcm_get_op(pvob, stream, &op) == TBS_ST_OK;
    if (step != START && (step != COMPLETE || in_progress || a.view.empty()))
        return integ_step(pvob, stream, step, &cb);
    if (a.view.empty()) return s.fail("Missing -to view-tag.");
    split_list(acts, &a.activities);
    split_list(bls, &a.baselines);
    if (!a.activities.empty() && !a.baselines.empty())
        return s.fail("Deliver activities or baselines, not both.");
    a.cb = &cb;
    tbs_status_t st = cmd_deliver_start(&a);
    if (st == TBS_ST_NO_WORK) return TBS_ST_OK;
    if (st != TBS_ST_OK) return cmdsyn_failed("deliver stream", a.stream.c_str(), st);
    st = integ_step(pvob, stream, step == COMPLETE ? COMPLETE : RESUME, &cb);
    return st == TBS_ST_OK ? st : cmdsyn_failed("deliver stream", a.stream.c_str(), st);
}

tbs_status_t rebase(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kRebaseUsage);
    cmd_rebase_args_t a;
    std::string bls;
    Step step = START;
    while (s.next_option()) {
        if (s.value("-view", 2, &a.view) || s.value("-baseline", 2, &bls) || step_flag(s, &step))
            continue;
        return s.unknown();
    }
    names_t ops;
    CMDSYN_TRY(s.operands(0, 0, &ops));
    if (a.view.empty()) return s.fail("Missing -view view-tag.");
    view_t* view = nullptr;
    view_xcm_t x;
    vob_t* pvob = nullptr;
    tbs_status_t st = view_open_by_tag(a.view.c_str(), &view);
    if (st == TBS_ST_OK) st = view_get_xcm(view, &x);
    if (st == TBS_ST_OK) st = vob_open_by_uuid(x.pvob, &pvob);
    if (st != TBS_ST_OK) return cmdsyn_failed("find the stream of view", a.view.c_str(), st);
    const cmd_integ_callbacks_t cb = printing();
    xcm_op_t op;
    const bool in_progress = xcm_get_op(pvob, x.stream, &op) == TBS_ST_OK;
    if (step != START && (step != COMPLETE || in_progress))
        return integ_step(pvob, x.stream, step, &cb);
    split_list(bls, &a.baselines);
    a.cb = &cb;
    st = cmd_rebase_start(&a);
    if (st == TBS_ST_NO_WORK) return TBS_ST_OK;
    if (st != TBS_ST_OK) return cmdsyn_failed("rebase view", a.view.c_str(), st);
    st = integ_step(pvob, x.stream, step == COMPLETE ? COMPLETE : RESUME, &cb);
    return st == TBS_ST_OK ? st : cmdsyn_failed("rebase view", a.view.c_str(), st);
}

// Listings -----------------------------------------------------------------------------------

tbs_status_t lsproject(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kLsprojectUsage);
    std::string tag;
    while (s.next_option())
        if (!s.value("-pvob", 2, &tag)) return s.unknown();
    names_t ops;
    CMDSYN_TRY(s.operands(0, 0, &ops));
    if (tag.empty()) return s.fail("Missing -pvob pvob-tag.");
    vob_t* pvob = nullptr;
    tbs_status_t st = vob_open_by_tag(tag.c_str(), &pvob);
    if (st != TBS_ST_OK) return cmdsyn_failed("find project VOB", tag.c_str(), st);
    std::vector<xcm_obj_t> projects;
    if ((st = xcm_list(pvob, VOB_MTYPE_PROJECT, &projects)) != TBS_ST_OK)
        return cmdsyn_failed("list projects of", tag.c_str(), st);
    for (const xcm_obj_t& o : projects) {
        xcm_project_info_t p;
        if (xcm_get_project(pvob, o.dbid, &p) != TBS_ST_OK) continue;
        imsg_ok("%s  %s  project \"%s\"  integration stream: %s\n", cmdsyn_utc(p.created).c_str(),
                p.owner.c_str(), p.name.c_str(),
                p.int_stream ? sel_of(pvob, p.int_stream).c_str() : "(none)");
    }
    return TBS_ST_OK;
}

tbs_status_t lsstream(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kLsstreamUsage);
    std::string project;
    while (s.next_option())
        if (!s.value("-in", 2, &project)) return s.unknown();
    names_t ops;
    CMDSYN_TRY(s.operands(0, 0, &ops));
    if (project.empty()) return s.fail("Missing -in project-selector.");
    vob_t* pvob = nullptr;
    vob_dbid_t proj = 0;
    CMDSYN_TRY(find(project, VOB_MTYPE_PROJECT, &pvob, &proj));
    std::vector<vob_dbid_t> streams;
    tbs_status_t st = xcm_project_streams(pvob, proj, &streams);
    for (vob_dbid_t id : streams) {
        xcm_stream_info_t si;
        std::vector<vob_dbid_t> found, rec;
        if (xcm_get_stream(pvob, id, &si) != TBS_ST_OK) continue;
        xcm_stream_baselines(pvob, id, XCM_BL_FOUNDATION, &found);
        xcm_stream_baselines(pvob, id, XCM_BL_RECOMMENDED, &rec);
        std::string f, r;
        for (vob_dbid_t b : found) f += (f.empty() ? "" : " ") + sel_of(pvob, b);
        for (vob_dbid_t b : rec) r += (r.empty() ? "" : " ") + sel_of(pvob, b);
        imsg_ok("stream \"%s\" (%s%s)\n  foundation: %s\n  recommended: %s\n", si.name.c_str(),
                si.integration ? "integration" : "development", si.read_only ? ", read-only" : "",
                f.c_str(), r.empty() ? "(none)" : r.c_str());
    }
    return st;
}

tbs_status_t lsactivity(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kLsactivityUsage);
    std::string stream;
    bool cset = false;
    while (s.next_option()) {
        if (s.value("-in", 2, &stream)) continue;
        if (!s.flag("-cset", 2)) return s.unknown();
        cset = true;
    }
    names_t ops;
    CMDSYN_TRY(s.operands(0, 0, &ops));
    if (stream.empty()) return s.fail("Missing -in stream-selector.");
    vob_t* pvob = nullptr;
    vob_dbid_t id = 0;
    CMDSYN_TRY(find(stream, VOB_MTYPE_STREAM, &pvob, &id));
    std::vector<vob_dbid_t> acts;
    tbs_status_t st = xcm_stream_activities(pvob, id, &acts);
    for (vob_dbid_t act : acts) {
        xcm_activity_info_t a;
        if (xcm_get_activity(pvob, act, &a) != TBS_ST_OK) continue;
        xcm_record_ref_t rec;
        const std::string bound =
            xcm_activity_record(pvob, act, &rec) == TBS_ST_OK
                ? "  record \"" + rec.id + "\"@" + rec.user_db + "@" + rec.db_set
                : std::string();
        imsg_ok("%s  %s  activity \"%s\"  \"%s\"%s%s\n", cmdsyn_utc(a.created).c_str(),
                a.owner.c_str(), a.name.c_str(), a.headline.c_str(),
                a.integration ? " (integration)" : "", bound.c_str());
        if (!cset) continue;
        std::vector<cmd_cs_entry_t> cs;
        if ((st = cmd_activity_change_set(pvob, act, &cs)) != TBS_ST_OK) break;
        for (const cmd_cs_entry_t& e : cs)
            imsg_ok("  %s%s%s\n", e.pname.c_str(), TBS_VER_EXT, e.idstr.c_str());
    }
    return st;
}

tbs_status_t lsbl(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kLsblUsage);
    std::string stream;
    while (s.next_option())
        if (!s.value("-stream", 2, &stream)) return s.unknown();
    names_t ops;
    CMDSYN_TRY(s.operands(0, 0, &ops));
    if (stream.empty()) return s.fail("Missing -stream stream-selector.");
    vob_t* pvob = nullptr;
    vob_dbid_t id = 0;
    CMDSYN_TRY(find(stream, VOB_MTYPE_STREAM, &pvob, &id));
    std::vector<vob_dbid_t> made, rec;
    tbs_status_t st = xcm_stream_baselines(pvob, id, 0, &made);
    if (st == TBS_ST_OK) st = xcm_stream_baselines(pvob, id, XCM_BL_RECOMMENDED, &rec);
    for (vob_dbid_t b : made) {
        xcm_baseline_info_t bl;
        xcm_obj_t comp;
        if (xcm_get_baseline(pvob, b, &bl) != TBS_ST_OK) continue;
        xcm_get_obj(pvob, bl.component, &comp);
        const bool recommended = std::find(rec.begin(), rec.end(), b) != rec.end();
        imsg_ok("%s  %s  baseline \"%s\"  component \"%s\"  %s  %s  %lld versions%s\n",
                cmdsyn_utc(bl.created).c_str(), bl.owner.c_str(), bl.name.c_str(),
                comp.name.c_str(), bl.full ? "full" : "incremental",
                XCM_PROMOTION_LEVELS[bl.promotion], static_cast<long long>(bl.labelled),
                recommended ? "  (recommended)" : "");
        std::vector<vob_dbid_t> members;
        if (xcm_baseline_members(pvob, b, &members) != TBS_ST_OK || members.empty()) continue;
        std::string line = "  depends on:";
        for (vob_dbid_t m : members) line += " " + sel_of(pvob, m);
        imsg_ok("%s\n", line.c_str());
    }
    return st;
}

// Change-request databases -------------------------------------------------------------------

tbs_status_t split_db(const cmdsyn_scanner& s, const std::string& op, std::string* db,
                      std::string* set) {
    size_t at = op.find('@');
    if (at == std::string::npos || at == 0 || at + 1 == op.size())
        return s.fail("Name the change-request database as userdb@dbset: \"%s\".", op);
    *db = op.substr(0, at);
    *set = op.substr(at + 1);
    return TBS_ST_OK;
}

tbs_status_t mkcrmdb(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kMkcrmdbUsage);
    while (s.next_option()) return s.unknown();
    names_t ops;
    std::string db, set;
    CMDSYN_TRY(s.operands(1, 1, &ops));
    CMDSYN_TRY(split_db(s, ops[0], &db, &set));
    tbs_status_t st = CTide_create_database(db, set);
    if (st != TBS_ST_OK) return cmdsyn_failed("create change-request database", ops[0].c_str(), st);
    imsg_ok("Created change-request database \"%s\" in set \"%s\".\n", db.c_str(), set.c_str());
    return TBS_ST_OK;
}

// The first line of a small file (at most 4 KB are read).
tbs_status_t read_first_line(const std::string& path, std::string* line) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return tbs_errno2status(errno);
    char buf[4096];
    ssize_t n;
    do {
        n = read(fd, buf, sizeof buf);
    } while (n < 0 && errno == EINTR);
    const int e = errno;
    close(fd);
    if (n < 0) return tbs_errno2status(e);
    line->assign(buf, static_cast<size_t>(n));
    *line = line->substr(0, line->find_first_of("\r\n"));
    return TBS_ST_OK;
}

// The password comes from a file (its first line), never from the command line.
tbs_status_t mkcrmuser(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kMkcrmuserUsage);
    std::string pwfile;
    while (s.next_option())
        if (!s.value("-pwfile", 2, &pwfile)) return s.unknown();
    names_t ops;
    std::string db, set;
    CMDSYN_TRY(s.operands(2, 2, &ops));
    CMDSYN_TRY(split_db(s, ops[0], &db, &set));
    if (pwfile.empty()) return s.fail("Missing -pwfile password-file.");
    std::string password;
    tbs_status_t st = read_first_line(pwfile, &password);
    if (st != TBS_ST_OK) return cmdsyn_failed("read the password file", pwfile.c_str(), st);
    if ((st = CTide_set_user(db, set, ops[1], password)) != TBS_ST_OK)
        return cmdsyn_failed("set change-request user", ops[1].c_str(), st);
    imsg_ok("Set user \"%s\" of change-request database \"%s\".\n", ops[1].c_str(), db.c_str());
    return TBS_ST_OK;
}

tbs_status_t mkcrmrec(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kMkcrmrecUsage);
    CTide_Record r;
    r.rec_type = "Defect";
    r.state = "Submitted";
    while (s.next_option()) {
        if (s.value("-type", 2, &r.rec_type) || s.value("-headline", 2, &r.headline) ||
            s.value("-state", 2, &r.state) || s.value("-owner", 2, &r.owner))
            continue;
        return s.unknown();
    }
    names_t ops;
    std::string db, set;
    CMDSYN_TRY(s.operands(2, 2, &ops));
    CMDSYN_TRY(split_db(s, ops[0], &db, &set));
    r.id = ops[1];
    tbs_status_t st = CTide_admin_put_record(db, set, r);
    if (st != TBS_ST_OK) return cmdsyn_failed("store change-request record", r.id.c_str(), st);
    imsg_ok("Stored record \"%s\" in \"%s\".\n", r.id.c_str(), db.c_str());
    return TBS_ST_OK;
}

tbs_status_t lscrmrec(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kLscrmrecUsage);
    std::string owner;
    while (s.next_option())
        if (!s.value("-owner", 2, &owner)) return s.unknown();
    names_t ops;
    std::string db, set;
    CMDSYN_TRY(s.operands(1, 1, &ops));
    CMDSYN_TRY(split_db(s, ops[0], &db, &set));
    std::vector<CTide_Record> recs;
    tbs_status_t st = tide_admin_records(db, set, owner, &recs);
    if (st != TBS_ST_OK) return cmdsyn_failed("list change-request records", ops[0].c_str(), st);
    for (const CTide_Record& r : recs)
        imsg_ok("%s  %s  %s  %s  \"%s\"\n", r.id.c_str(), r.rec_type.c_str(), r.state.c_str(),
                r.owner.c_str(), r.headline.c_str());
    return TBS_ST_OK;
}

}  // namespace

const cmdsyn_command_t cmdsyn_xcm_commands[] = {
    {"chbl", nullptr, chbl, kChblUsage},
    {"chstream", nullptr, chstream, kChstreamUsage},
    {"deliver", nullptr, deliver, kDeliverUsage},
    {"lsactivity", "lsact", lsactivity, kLsactivityUsage, 5},
    {"lsbl", nullptr, lsbl, kLsblUsage},
    {"lscrmrec", nullptr, lscrmrec, kLscrmrecUsage},
    {"lsproject", nullptr, lsproject, kLsprojectUsage, 6},
    {"lsstream", nullptr, lsstream, kLsstreamUsage},
    {"mkactivity", "mkact", mkactivity, kMkactivityUsage, 5},
    {"mkbl", nullptr, mkbl, kMkblUsage},
    {"mkcomp", nullptr, mkcomp, kMkcompUsage},
    {"mkcrmdb", nullptr, mkcrmdb, kMkcrmdbUsage},
    {"mkcrmrec", nullptr, mkcrmrec, kMkcrmrecUsage},
    {"mkcrmuser", nullptr, mkcrmuser, kMkcrmuserUsage},
    {"mkfolder", nullptr, mkfolder, kMkfolderUsage},
    {"mkproject", nullptr, mkproject, kMkprojectUsage, 6},
    {"mkstream", nullptr, mkstream, kMkstreamUsage},
    {"rebase", nullptr, rebase, kRebaseUsage},
    {"setactivity", nullptr, setactivity, kSetactivityUsage, 6},
};
const size_t cmdsyn_xcm_command_count = sizeof cmdsyn_xcm_commands / sizeof cmdsyn_xcm_commands[0];
