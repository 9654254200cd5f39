// vdtool commands for views: mkview and rmview, lsview, startview and endview (a dynamic
// view's daemon), catcs and setcs, and update, which brings a snapshot view's copy area up
// to date with its config spec through the web-view engine, printing a line for each
// element it writes, removes or moves.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "core/cmdsyn/cmdsyn_internal.h"
#include "core/imsg/imsg.h"
#include "core/rgy/rgy.h"
#include "core/view/view.h"
#include "core/ws/ws.h"

namespace {

typedef std::vector<std::string> names_t;

const char* const kMkviewUsage =
    "mkview -tag view-tag [-webview | -snapshot | -automatic | -dynamic] [-sumview] "
    "[-cspec file | -stream stream-selector] {-stgloc location-name | storage-path}";
const char* const kRmviewUsage = "rmview view-tag";
const char* const kLsviewUsage = "lsview [-long] [view-tag]";
const char* const kStartviewUsage = "startview view-tag";
const char* const kEndviewUsage = "endview view-tag";
const char* const kCatcsUsage = "catcs -tag view-tag";
const char* const kSetcsUsage = "setcs -tag view-tag (file | -default | -current)";
const char* const kUpdateUsage =
    "update -tag view-tag [-preview] [-abort] [-overwrite | -rename] [scope...]";

// A view tag is a simple name: it becomes part of pathnames ("/view/<tag>").
tbs_status_t check_tag(const cmdsyn_scanner& s, const std::string& tag) {
    if (tag.empty()) return s.fail("Missing -tag view-tag.");
    for (unsigned char c : tag)
        if (c == '/' || c <= ' ' || c == 0x7f)
            return s.fail("A view tag is a simple name without \"/\" or spaces: \"%s\".", tag);
    if (tag[0] == '-' || tag == "." || tag == "..") return s.fail("Bad view tag \"%s\".", tag);
    return TBS_ST_OK;
}

// A config spec file, read whole; larger than a spec may be is refused before reading.
tbs_status_t read_cspec_file(const std::string& path, std::string* text) {
    CMDSYN_TRY(cmdsyn_check_local_file(path));
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return cmdsyn_failed("read config spec", path.c_str(), tbs_errno2status(errno));
    struct stat sb;
    tbs_status_t st = TBS_ST_OK;
    if (fstat(fd, &sb) != 0)
        st = tbs_errno2status(errno);
    else if (!S_ISREG(sb.st_mode))
        st = tbs_errno2status(EINVAL);
    else if (sb.st_size > VIEW_CSPEC_MAX_TEXT)
        st = TBS_ST_TOO_LONG;
    text->clear();
    char buf[8192];
    while (st == TBS_ST_OK) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) st = tbs_errno2status(errno);
        if (n <= 0) break;
        if (text->size() + static_cast<size_t>(n) > VIEW_CSPEC_MAX_TEXT) st = TBS_ST_TOO_LONG;
        text->append(buf, static_cast<size_t>(n));
    }
    close(fd);
    if (st != TBS_ST_OK) return cmdsyn_failed("read config spec", path.c_str(), st);
    return TBS_ST_OK;
}

// A registered view's root and kind words; a dynamic view's words begin with "dynamic"
// (its registry entry has no kind word of its own) and say whether it is served: "running",
// "stopped", "dead" (its daemon is gone: endview cleans up), or "no-vtfs".
void root_and_kind(const rgy_view_entry_t& e, std::string* root, std::string* kind) {
    tbs_status_t st = tbs_view_root(e.tag.c_str(), root);
    int state = VIEW_DYN_STOPPED;
    const bool dynamic = view_dynamic_state(e.tag.c_str(), &state, nullptr) == TBS_ST_OK;
    *kind = !dynamic                    ? ""
            : st == TBS_ST_NO_VTFS      ? "dynamic no-vtfs"
            : state == VIEW_DYN_RUNNING ? "dynamic running"
            : state == VIEW_DYN_DEAD    ? "dynamic dead"
                                        : "dynamic stopped";
    if (!e.properties.empty()) *kind += (kind->empty() ? "" : " ") + e.properties;
}

tbs_status_t open_view(const std::string& tag, view_t** view) {
    tbs_status_t st = view_open_by_tag(tag.c_str(), view);
    return st == TBS_ST_OK ? st : cmdsyn_failed("find view", tag.c_str(), st);
}

// mkview and rmview --------------------------------------------------------------------

tbs_status_t mkview(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kMkviewUsage);
    cmd_mkview_args_t a;
    std::string cspec_file, location;
    std::vector<std::string> kinds;
    static const char* const kKinds[] = {"webview", "snapshot", "automatic", "dynamic"};
    while (s.next_option()) {
        if (s.value("-tag", 1, &a.tag) || s.value("-cspec", 2, &cspec_file) ||
            s.value("-stream", 3, &a.stream) || s.value("-stgloc", 3, &location))
            continue;
        if (s.flag("-sumview", 2)) {
            a.sum_view = true;
            continue;
        }
        bool matched = false;
        for (const char* k : kKinds) {
            if (!matched && s.flag(("-" + std::string(k)).c_str(), 2)) {
                kinds.push_back(k);
                matched = true;
            }
        }
        if (!matched) return s.unknown();
    }
    names_t ops;
    CMDSYN_TRY(s.operands(location.empty() ? 1 : 0, location.empty() ? 1 : 0, &ops));
    CMDSYN_TRY(check_tag(s, a.tag));
    if (kinds.size() > 1) return s.fail("Give one view kind, not several.");
    if (!location.empty()) {
        CMDSYN_TRY(cmdsyn_storage_in_location(location, true, a.tag, ".vws", &a.storage));
    } else {
        if (ops[0][0] != '/') return s.fail("Storage path is not absolute: \"%s\".", ops[0]);
        a.storage = ops[0];
    }
    if (!kinds.empty()) a.kind = kinds[0];
    if (!cspec_file.empty() && !a.stream.empty())
        return s.fail("A stream's view takes the stream's config spec: no -cspec.");
    if (!cspec_file.empty()) {
        CMDSYN_TRY(read_cspec_file(cspec_file, &a.cspec));
        if (a.cspec.empty()) a.cspec = "\n";  // an empty file is an empty spec, not the default
    }
    tbs_status_t st = cmd_mkview(&a);
    if (st != TBS_ST_OK) return cmdsyn_failed("create view", a.tag.c_str(), st);
    imsg_ok("Created view \"%s\" (%s%s) at \"%s\".\nView uuid: %s\n", a.tag.c_str(), a.kind.c_str(),
            a.sum_view ? ", sumview" : "", a.storage.c_str(), tbs_uuid_text(a.uuid).c_str());
    return TBS_ST_OK;
}

tbs_status_t rmview(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kRmviewUsage);
    while (s.next_option()) return s.unknown();
    names_t ops;
    CMDSYN_TRY(s.operands(1, 1, &ops));
    CMDSYN_TRY(check_tag(s, ops[0]));
    tbs_status_t st = cmd_rmview(ops[0].c_str());
    if (st != TBS_ST_OK) return cmdsyn_failed("remove view", ops[0].c_str(), st);
    imsg_ok("Removed view \"%s\".\n", ops[0].c_str());
    return TBS_ST_OK;
}

// lsview --------------------------------------------------------------------------------

void print_view_long(const rgy_view_entry_t& e) {
    std::string root, kind;
    root_and_kind(e, &root, &kind);
    imsg_ok(
        "View tag: %s\n  kind: %s\n  storage: %s\n  root: %s\n  uuid: %s\n  owner: %s\n"
        "  host: %s\n",
        e.tag.c_str(), kind.c_str(), e.storage.c_str(), root.c_str(), tbs_uuid_text(e.uuid).c_str(),
        e.owner.c_str(), e.host.c_str());
    view_t* view = nullptr;
    tbs_status_t st = view_open_by_tag(e.tag.c_str(), &view);
    int64_t count = 0;
    view_load_session_t session;
    if (st == TBS_ST_OK) st = view_ws_count(view, &count);
    if (st == TBS_ST_OK) st = view_ws_get_load_session(view, &session);
    if (st != TBS_ST_OK) {
        imsg_warning("  (view database unreadable: %s)\n", tbs_strerror(st));
        return;
    }
    imsg_ok("  loaded objects: %lld\n", static_cast<long long>(count));
    if (session.in_progress)
        imsg_ok("  load session: in progress since %s by %s (process %s)\n",
                cmdsyn_utc(session.started).c_str(), session.user.c_str(), session.pid.c_str());
    else
        imsg_ok("  load session: none\n");
}

tbs_status_t lsview(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kLsviewUsage);
    bool long_form = false;
    while (s.next_option()) {
        if (!s.flag("-long", 1)) return s.unknown();
        long_form = true;
    }
    names_t ops;
    CMDSYN_TRY(s.operands(0, 1, &ops));
    std::vector<rgy_view_entry_t> views;
    tbs_status_t st = rgy_list_view_tags(nullptr, &views);
    if (st != TBS_ST_OK) return cmdsyn_failed("list", "views", st);
    std::sort(views.begin(), views.end(),
              [](const rgy_view_entry_t& a, const rgy_view_entry_t& b) { return a.tag < b.tag; });
    bool found = false;
    for (const rgy_view_entry_t& e : views) {
        if (!ops.empty() && e.tag != ops[0]) continue;
        found = true;
        if (long_form) {
            print_view_long(e);
            continue;
        }
        std::string root, kind;
        root_and_kind(e, &root, &kind);
        imsg_ok("%s  %s  %s  %s\n", e.tag.c_str(), kind.c_str(), e.storage.c_str(), root.c_str());
    }
    if (!ops.empty() && !found) return cmdsyn_failed("find view", ops[0].c_str(), TBS_ST_NOT_FOUND);
    return TBS_ST_OK;
}

// startview and endview -----------------------------------------------------------------

tbs_status_t dynamic_view_operand(const cmdsyn_args_t& args, const char* usage, std::string* tag) {
    cmdsyn_scanner s(args, usage);
    while (s.next_option()) return s.unknown();
    names_t ops;
    CMDSYN_TRY(s.operands(1, 1, &ops));
    CMDSYN_TRY(check_tag(s, ops[0]));
    *tag = ops[0];
    int state = 0;
    tbs_status_t st = view_dynamic_state(tag->c_str(), &state, nullptr);
    if (st == TBS_ST_NOT_SUPPORTED) return s.fail("View \"%s\" is not a dynamic view.", *tag);
    if (st != TBS_ST_OK) return cmdsyn_failed("find view", tag->c_str(), st);
    std::string why;
    if (!view_vtfs_available(&why)) {
        imsg_error("Dynamic views cannot be served here: %s.\n", why.c_str());
        return cmdsyn_failed("serve view", tag->c_str(), TBS_ST_NO_VTFS);
    }
    return TBS_ST_OK;
}

tbs_status_t startview(const cmdsyn_args_t& args) {
    std::string tag;
    CMDSYN_TRY(dynamic_view_operand(args, kStartviewUsage, &tag));
    tbs_status_t st = view_start_dynamic(tag.c_str());
    if (st != TBS_ST_OK) return cmdsyn_failed("start view", tag.c_str(), st);
    std::string root;
    tbs_view_root(tag.c_str(), &root);
    imsg_ok("Started view \"%s\" at \"%s\".\n", tag.c_str(), root.c_str());
    return TBS_ST_OK;
}

tbs_status_t endview(const cmdsyn_args_t& args) {
    std::string tag;
    CMDSYN_TRY(dynamic_view_operand(args, kEndviewUsage, &tag));
    tbs_status_t st = view_end_dynamic(tag.c_str());
    if (st != TBS_ST_OK) return cmdsyn_failed("stop view", tag.c_str(), st);
    imsg_ok("Stopped view \"%s\".\n", tag.c_str());
    return TBS_ST_OK;
}

// catcs and setcs -----------------------------------------------------------------------

tbs_status_t catcs(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kCatcsUsage);
    std::string tag;
    while (s.next_option())
        if (!s.value("-tag", 1, &tag)) return s.unknown();
    names_t ops;
    CMDSYN_TRY(s.operands(0, 0, &ops));
    CMDSYN_TRY(check_tag(s, tag));
    view_t* view = nullptr;
    CMDSYN_TRY(open_view(tag, &view));
    std::string text;
    tbs_status_t st = view_get_cspec(view, &text);
    if (st != TBS_ST_OK) return cmdsyn_failed("read the config spec of view", tag.c_str(), st);
    if (!text.empty() && text.back() != '\n') text += '\n';
    imsg_print(IMSG_OK, text.c_str(), static_cast<int>(text.size()));
    return TBS_ST_OK;
}

// A parse error cut before the first piece of the text it quotes.
std::string without_quotes(const std::string& e) {
    const size_t quote = e.find('\'');
    return quote == std::string::npos ? e : e.substr(0, quote) + "(text not shown)";
}

tbs_status_t setcs(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kSetcsUsage);
    std::string tag;
    std::vector<view_setcs_mode_t> modes;
    while (s.next_option()) {
        if (s.value("-tag", 1, &tag)) continue;
        if (s.flag("-default", 2))
            modes.push_back(VIEW_SETCS_DEFAULT);
        else if (s.flag("-current", 2))
            modes.push_back(VIEW_SETCS_CURRENT);
        else
            return s.unknown();
    }
    names_t ops;
    CMDSYN_TRY(s.operands(0, 1, &ops));
    CMDSYN_TRY(check_tag(s, tag));
    if (!ops.empty()) modes.push_back(VIEW_SETCS_REPLACE);
    if (modes.size() != 1) return s.fail("Give one of a file, -default or -current.");
    std::string text;
    if (modes[0] == VIEW_SETCS_REPLACE) CMDSYN_TRY(read_cspec_file(ops[0], &text));
    view_t* view = nullptr;
    CMDSYN_TRY(open_view(tag, &view));
    // A remote user's errors name lines, never their text: the file read for them may hold
    // what they may not read.
    if (modes[0] == VIEW_SETCS_REPLACE && cmdsyn_files_confined()) {
        view_cspec_t parsed;
        std::vector<std::string> errs;
        if (view_cspec_parse(text.c_str(), &parsed, &errs) != TBS_ST_OK) {
            for (const std::string& e : errs) imsg_error("%s\n", without_quotes(e).c_str());
            return cmdsyn_failed("set the config spec of view", tag.c_str(), TBS_ST_INVALID);
        }
    }
    // Parse errors are printed by view_set_cspec, each with its line number.
    tbs_status_t st = view_set_cspec(view, modes[0], text, nullptr);
    if (st != TBS_ST_OK) return cmdsyn_failed("set the config spec of view", tag.c_str(), st);
    imsg_ok("Set the config spec of view \"%s\".\n", tag.c_str());
    return TBS_ST_OK;
}

// update --------------------------------------------------------------------------------

// What an update prints, element by element, as the engine reports it.
struct UpdateReport {
    int changes = 0;
    tbs_status_t failed = TBS_ST_OK;  // the first element that could not be loaded

    static std::string path(const char* dir, const char* leaf) {
        std::string d = dir ? dir : "", l = leaf ? leaf : "";
        return d.empty() ? l : l.empty() ? d : d + "/" + l;
    }
    static tbs_status_t one(void* ctx, const ws_elem_info_t* info, int*) {
        UpdateReport* me = static_cast<UpdateReport*>(ctx);
        const std::string p = path(info->dir.c_str(), info->leaf.c_str());
        if (info->status != TBS_ST_OK) {
            if (me->failed == TBS_ST_OK) me->failed = info->status;
            imsg_error("Unable to load \"%s\": %s.\n", p.c_str(), tbs_strerror(info->status));
            return TBS_ST_OK;
        }
        if (memcmp(info->prev_oid.bytes, info->cur_oid.bytes, 16) == 0) return TBS_ST_OK;
        ++me->changes;
        if (info->kept_hijacked) {
            imsg_warning("Kept hijacked \"%s\": not loaded.\n", p.c_str());
            return TBS_ST_OK;
        }
        if (info->ftype == WS_FTYPE_SLINK) {
            imsg_ok("Loaded \"%s\" (symbolic link to \"%s\").\n", p.c_str(),
                    info->target_leaf.c_str());
            return TBS_ST_OK;
        }
        std::string id;
        if (ws_get_idstr(info->cur_replica, info->cur_oid, &id) != TBS_ST_OK) id = "?";
        imsg_ok("Loaded \"%s\" version \"%s\".\n", p.c_str(), id.c_str());
        return TBS_ST_OK;
    }
    static tbs_status_t unvisited(void* ctx, const ws_elem_info_t* info, int state, int*) {
        UpdateReport* me = static_cast<UpdateReport*>(ctx);
        const std::string p = path(info->dir.c_str(), info->leaf.c_str());
        ++me->changes;
        if (state == 1)
            imsg_ok("Unloaded \"%s\".\n", p.c_str());
        else
            imsg_warning("Left \"%s\" as it is: what the view selects there cannot be decided.\n",
                         p.c_str());
        return TBS_ST_OK;
    }
    static tbs_status_t renamed(void* ctx, const char* sd, const char* sn, const char* dd,
                                const char* dn, int, int*) {
        ++static_cast<UpdateReport*>(ctx)->changes;
        imsg_ok("Renamed \"%s\" to \"%s\".\n", path(sd, sn).c_str(), path(dd, dn).c_str());
        return TBS_ST_OK;
    }
};

tbs_status_t update(const cmdsyn_args_t& args) {
    cmdsyn_scanner s(args, kUpdateUsage);
    std::string tag;
    bool preview = false, overwrite = false, rename_hijacked = false;
    unsigned prefs = 0;
    while (s.next_option()) {
        if (s.value("-tag", 1, &tag)) continue;
        if (s.flag("-preview", 2)) {
            preview = true;
            prefs |= WS_PREF_PREVIEW;
        } else if (s.flag("-abort", 2)) {
            prefs |= WS_PREF_ABORT_INPROGRESS;  // an update left in progress is abandoned
        } else if (s.flag("-overwrite", 2)) {
            overwrite = true;  // hijacked files are overwritten
        } else if (s.flag("-rename", 3)) {
            rename_hijacked = true;  // hijacked files are saved beside, then loaded
        } else {
            return s.unknown();
        }
    }
    if (overwrite && rename_hijacked)
        return s.fail("Options -overwrite and -rename exclude each other.");
    if (overwrite) prefs |= 0x60;
    if (rename_hijacked) prefs |= 0x20;
    names_t scopes;
    CMDSYN_TRY(s.operands(0, CMDSYN_ANY, &scopes));
    CMDSYN_TRY(check_tag(s, tag));
    CMDSYN_TRY(s.check_pnames(scopes, false));
    for (const std::string& sc : scopes)
        if (("/" + sc + "/").find("/../") != std::string::npos)
            return s.fail("A scope may not hold \"..\": \"%s\".", sc);
    view_t* view = nullptr;
    CMDSYN_TRY(open_view(tag, &view));
    if (view->kind == VIEW_KIND_WEB) {
        imsg_error("View \"%s\" is a web view: its client updates it.\n", tag.c_str());
        return cmdsyn_failed("update view", tag.c_str(), TBS_ST_NOT_SUPPORTED);
    }
    if (view->kind != VIEW_KIND_SNAPSHOT && view->kind != VIEW_KIND_AUTOMATIC) {
        imsg_error(
            "View \"%s\" is not a snapshot view (nor an automatic one): update loads the views "
            "whose copy is on the server.\n",
            tag.c_str());
        return cmdsyn_failed("update view", tag.c_str(), TBS_ST_NOT_SUPPORTED);
    }
    ws_handle_t* handle = nullptr;
    tbs_status_t st = ws_get_handle(view->root.c_str(), 0, &handle);
    if (st != TBS_ST_OK) return cmdsyn_failed("update view", tag.c_str(), st);
    UpdateReport report;
    ws_load_observer_t obs;
    obs.ctx = &report;
    obs.one_element = UpdateReport::one;
    obs.unvisited = UpdateReport::unvisited;
    obs.renamed = UpdateReport::renamed;
    ws_set_load_observer(handle, &obs);
    ws_set_load_preferences(handle, prefs, 0);
    std::vector<const char*> ptrs;
    for (const std::string& sc : scopes) ptrs.push_back(sc.c_str());
    st = ws_load_scopes(handle, ptrs.data(), static_cast<int>(ptrs.size()));
    ws_free_handle(handle);
    if (st == TBS_ST_OK) st = report.failed;
    if (st != TBS_ST_OK) return cmdsyn_failed("update view", tag.c_str(), st);
    if (preview && report.changes > 0) imsg_ok("Preview only: the view was not changed.\n");
    return TBS_ST_OK;
}

}  // namespace

const cmdsyn_command_t cmdsyn_view_commands[] = {
    {"catcs", nullptr, catcs, kCatcsUsage},
    {"lsview", nullptr, lsview, kLsviewUsage},
    {"mkview", nullptr, mkview, kMkviewUsage},
    {"rmview", nullptr, rmview, kRmviewUsage},
    {"setcs", nullptr, setcs, kSetcsUsage},
    {"update", nullptr, update, kUpdateUsage},
    {"startview", nullptr, startview, kStartviewUsage},
    {"endview", nullptr, endview, kEndviewUsage},
};
const size_t cmdsyn_view_command_count =
    sizeof cmdsyn_view_commands / sizeof cmdsyn_view_commands[0];
