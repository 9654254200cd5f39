// vdtool commands: the interpreter's dispatch and help, the argument scanner, and the VOB
// commands. Each command parses its own options and reports through the message library;
// a usage error prints the command's usage line and fails with 1072. The element and
// metadata commands are in cmdsyn_elem.cc, the listing commands in cmdsyn_list.cc, the view
// commands in cmdsyn_view.cc.
#include "core/cmdsyn/cmdsyn.h"

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/cmd/cmd.h"
#include "core/cmdsyn/cmdsyn_internal.h"
#include "core/imsg/imsg.h"
#include "core/rgy/rgy.h"
#include "core/store/content_pool.h"
#include "core/view/view.h"
#include "core/vob/vob.h"
#include "core/vob/vob_obj.h"

tbs_status_t cmdsyn_usage_error(const char* usage) {
    imsg_error("Usage: %s\n", usage);
    return TBS_ST_BAD_REQUEST;
}

tbs_status_t cmdsyn_failed(const char* what, const char* object, tbs_status_t st) {
    imsg_error("vdtool: Error: Unable to %s \"%s\": %s.\n", what, object, tbs_strerror(st));
    return st;
}

std::string cmdsyn_utc(int64_t at) {
    time_t t = static_cast<time_t>(at);
    struct tm tm;
    char buf[32];
    if (!gmtime_r(&t, &tm) || strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm) == 0)
        return std::to_string(at);
    return buf;
}

// Local files ---------------------------------------------------------------------------

namespace {
bool g_confined = false;
std::string g_file_root;  // resolved; "" confines to nothing
}  // namespace

bool cmdsyn_files_confined() {
    return g_confined;
}

void cmdsyn_confine_files(const char* root) {
    g_confined = root != nullptr;
    g_file_root.clear();
    if (root && *root) {
        char resolved[PATH_MAX];
        if (realpath(root, resolved)) g_file_root = resolved;
    }
}

tbs_status_t cmdsyn_check_local_file(const std::string& path) {
    if (!g_confined) return TBS_ST_OK;
    char resolved[PATH_MAX];
    const bool inside =
        !g_file_root.empty() && realpath(path.c_str(), resolved) &&
        (g_file_root == resolved || std::string(resolved).rfind(g_file_root + "/", 0) == 0);
    if (inside) return TBS_ST_OK;
    imsg_error("vdtool: Error: \"%s\" is not a file of the view this command runs in.\n",
               path.c_str());
    return TBS_ST_PERMISSION;
}

tbs_status_t cmdsyn_check_local_files(const std::vector<std::string>& paths) {
    for (const std::string& p : paths) {
        tbs_status_t st = cmdsyn_check_local_file(p);
        if (st != TBS_ST_OK) return st;
    }
    return TBS_ST_OK;
}

// The argument scanner ----------------------------------------------------------------

bool cmdsyn_scanner::next_option() {
    for (;;) {
        if (started_) ++i_;
        started_ = true;
        end_ = i_;
        if (!missing_.empty() || i_ >= args_.size()) return false;
        const std::string& a = current();
        if (a == "--") {
            end_ = i_ + 1;
            return false;
        }
        if (a.size() < 2 || a[0] != '-') return false;
        // "-vi" is the shortest form: "-v" could also begin "-version".
        if (!(flags_ & CMDSYN_TAKES_VIEW) || !value("-view", 2, &view_tag_)) return true;
        view_given_ = true;
    }
}

bool cmdsyn_scanner::flag(const char* name, int min_len) {
    return i_ < args_.size() && clp_match(current().c_str(), name, min_len);
}

bool cmdsyn_scanner::value(const char* name, int min_len, std::string* value) {
    if (!flag(name, min_len)) return false;
    if (i_ + 1 >= args_.size()) {
        missing_ = current();
        return true;
    }
    *value = args_[++i_];
    return true;
}

bool cmdsyn_scanner::values(const char* name, int min_len, std::vector<std::string>* values) {
    std::string v;
    if (!value(name, min_len, &v)) return false;
    if (missing_.empty()) values->push_back(v);
    return true;
}

bool cmdsyn_scanner::comment(std::string* text, int* mode) {
    if (value("-comment", 1, text)) {
        *mode = CMD_COMMENT_GIVEN;
        return true;
    }
    if (!flag("-ncomment", 2)) return false;
    text->clear();
    *mode = CMD_COMMENT_NONE;
    return true;
}

tbs_status_t cmdsyn_scanner::unknown() const {
    return fail("Unrecognized option \"%s\".", i_ < args_.size() ? current() : std::string());
}

tbs_status_t cmdsyn_scanner::operands(long min, long max, std::vector<std::string>* out) const {
    if (!missing_.empty()) return fail("Option \"%s\" needs a value.", missing_);
    out->assign(args_.begin() + static_cast<long>(std::min(end_, args_.size())), args_.end());
    const long n = static_cast<long>(out->size());
    if (n < min) return fail("Missing arguments.");
    if (max != CMDSYN_ANY && n > max)
        return fail("Too many arguments, from \"%s\".", (*out)[static_cast<size_t>(max)]);
    return TBS_ST_OK;
}

tbs_status_t cmdsyn_scanner::fail(const char* why, const std::string& what) const {
    std::string text = why;
    size_t at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, what);
    imsg_error("vdtool: Error: %s\n", text.c_str());
    return cmdsyn_usage_error(usage_);
}

// The view whose root holds the working directory (a command run in a view), or null.
static view_t* working_view(std::string* cwd) {
    char here[4096];
    if (!getcwd(here, sizeof here)) return nullptr;
    view_t* view = nullptr;
    if (view_open_by_root(here, &view) != TBS_ST_OK) return nullptr;
    *cwd = here;
    return view;
}

tbs_status_t cmdsyn_scanner::check_pnames(const std::vector<std::string>& names,
                                          bool selectors) const {
    std::string cwd;
    bool in_view_root = false, looked = false;
    for (const std::string& n : names) {
        if (n.empty()) return fail("Empty pathname.");
        if (n[0] == '/') continue;
        vob_objsel_t sel;
        if (selectors && vob_utl_parse_objsel(n.c_str(), &sel) == TBS_ST_OK &&
            sel.kind != VOB_SEL_PNAME)
            continue;
        // In a view's root, names are taken relative to the working directory.
        if (!looked) {
            in_view_root = !view_given_ && working_view(&cwd) != nullptr;
            looked = true;
        }
        if (in_view_root) continue;
        return fail(selectors ? "Not an absolute pathname or an object selector: \"%s\"."
                              : "Pathname is not absolute: \"%s\".",
                    n);
    }
    return TBS_ST_OK;
}

tbs_status_t cmdsyn_scanner::in_view(const vob_view_ctx_t** ctx,
                                     std::vector<std::string>* names) const {
    *ctx = nullptr;
    view_t* view = nullptr;
    std::string cwd;
    if (view_given_) {
        tbs_status_t st = view_open_by_tag(view_tag_.c_str(), &view);
        if (st != TBS_ST_OK) return cmdsyn_failed("find view", view_tag_.c_str(), st);
        if (view->kind == VIEW_KIND_DYNAMIC &&
            (st = view_start_dynamic(view_tag_.c_str())) != TBS_ST_OK)
            return cmdsyn_failed("start view", view_tag_.c_str(), st);
    } else if (!(view = working_view(&cwd))) {
        return TBS_ST_OK;  // the null view
    }
    for (size_t i = 0; names && i < names->size(); ++i) {
        std::string& n = (*names)[i];
        // A relative name is one below the working directory, in the view it is in.
        if (!cwd.empty() && !n.empty() && n[0] != '/') {
            vob_objsel_t sel;
            if (vob_utl_parse_objsel(n.c_str(), &sel) == TBS_ST_OK && sel.kind != VOB_SEL_PNAME)
                continue;
            n = cwd + "/" + n;
        }
        if (n != view->root && n.rfind(view->root + "/", 0) != 0) continue;
        // The name part (before any version extension) must stay below the root.
        const std::string name = n.substr(0, n.find(TBS_VER_EXT));
        if (("/" + name + "/").find("/../") != std::string::npos)
            return fail("Pathname leaves the view root: \"%s\".", n);
        n = view_pname_to_vob(view, n.c_str());
    }
    *ctx = &view->ctx;
    return TBS_ST_OK;
}

namespace {

tbs_status_t usage_error(const char* usage) {
    return cmdsyn_usage_error(usage);
}

tbs_status_t failed(const char* what, const char* object, tbs_status_t st) {
    return cmdsyn_failed(what, object, st);
}

}  // namespace

tbs_status_t cmdsyn_storage_in_location(const std::string& name, bool for_views,
                                        const std::string& tag, const char* ext, std::string* out) {
    rgy_stgloc_entry_t loc;
    tbs_status_t st = rgy_find_stgloc(name.c_str(), nullptr, &loc);
    if (st != TBS_ST_OK) return cmdsyn_failed("find storage location", name.c_str(), st);
    if (loc.for_views != for_views) {
        imsg_error("vdtool: Error: Storage location \"%s\" holds %s storage, not %s storage.\n",
                   name.c_str(), loc.for_views ? "view" : "VOB", for_views ? "view" : "VOB");
        return TBS_ST_INVALID;
    }
    // The tag's last name, which a tag's own rules keep free of "/" and of "." and "..".
    const std::string leaf = tag.substr(tag.rfind('/') + 1);
    if (leaf.empty() || leaf[0] == '.')
        return cmdsyn_failed("name storage for", tag.c_str(), TBS_ST_INVALID);
    *out = loc.path + "/" + leaf + ext;
    return TBS_ST_OK;
}

namespace {

const char* const kMkvobUsage =
    "mkvob -tag vob-tag [-c comment | -nc] [-public] [-ucmproject] "
    "[-stgloc location-name | storage-path]";
const char* const kRmvobUsage = "rmvob vob-tag";
const char* const kLsvobUsage = "lsvob [vob-tag]";
const char* const kCheckvobUsage = "checkvob [-repair] vob-tag";

tbs_status_t mkvob(const std::vector<std::string>& args) {
    std::string tag, comment, storage, location;
    bool is_public = false, ucmproject = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const char* a = args[i].c_str();
        if (clp_match(a, "-tag", 1) && i + 1 < args.size()) {
            tag = args[++i];
        } else if (clp_match(a, "-comment", 1) && i + 1 < args.size()) {
            comment = args[++i];
        } else if (clp_match(a, "-nc", 2)) {
            comment.clear();
        } else if (clp_match(a, "-public", 2)) {
            is_public = true;
        } else if (clp_match(a, "-ucmproject", 2)) {
            ucmproject = true;
        } else if (clp_match(a, "-stgloc", 3) && i + 1 < args.size()) {
            location = args[++i];
        } else if (a[0] == '-' || !storage.empty()) {
            return usage_error(kMkvobUsage);
        } else {
            storage = a;
        }
    }
    if (tag.empty() || (!storage.empty() && !location.empty())) return usage_error(kMkvobUsage);
    if (tbs_status_t st = vob_check_new_tag(tag.c_str()))
        return failed("create versioned object base", tag.c_str(), st);
    if (!location.empty()) {
        // A location the administrator named holds the storage of new VOBs.
        CMDSYN_TRY(cmdsyn_storage_in_location(location, false, tag, ".vbs", &storage));
    } else if (storage.empty()) {
        // The site's own place for VOBs.
        storage = std::string(tbs_product_dir()) + "/vobs" + tag.substr(tag.rfind('/')) + ".vbs";
    } else if (g_confined) {
        // Over the network storage goes only where the site keeps it.
        imsg_error(
            "vdtool: Error: Name a storage location with -stgloc, or none for the site's "
            "own: \"%s\" is not one.\n",
            storage.c_str());
        return TBS_ST_PERMISSION;
    }
    vob_create_args_t c;
    c.tag = tag.c_str();
    c.storage = storage.c_str();
    c.comment = comment.c_str();
    c.is_public = is_public;
    c.ucmproject = ucmproject;
    tbs_status_t st = vob_create(c, nullptr);
    if (st != TBS_ST_OK) return failed("create versioned object base", tag.c_str(), st);
    imsg_ok(
        "Created versioned object base.\nVersioned object base \"%s\" is registered at "
        "\"%s\".\n",
        tag.c_str(), storage.c_str());
    return TBS_ST_OK;
}

tbs_status_t rmvob(const std::vector<std::string>& args) {
    if (args.size() != 1 || args[0][0] == '-') return usage_error(kRmvobUsage);
    tbs_status_t st = vob_remove(args[0].c_str());
    if (st != TBS_ST_OK) return failed("remove versioned object base", args[0].c_str(), st);
    imsg_ok("Removed versioned object base \"%s\".\n", args[0].c_str());
    return TBS_ST_OK;
}

tbs_status_t lsvob(const std::vector<std::string>& args) {
    if (args.size() > 1) return usage_error(kLsvobUsage);
    std::vector<rgy_vob_entry_t> tags;
    tbs_status_t st = rgy_list_vob_tags(nullptr, &tags);
    if (st != TBS_ST_OK) return failed("list", "versioned object bases", st);
    bool found = false;
    for (const rgy_vob_entry_t& e : tags) {
        if (!args.empty() && e.tag != args[0]) continue;
        found = true;
        imsg_ok("%-24s %s%s\n", e.tag.c_str(), e.storage.c_str(), e.is_public ? " (public)" : "");
    }
    if (!args.empty() && !found)
        return failed("find versioned object base", args[0].c_str(), TBS_ST_NOT_FOUND);
    return TBS_ST_OK;
}

// checkvob: damage (vob_check) and leftovers of failed writers, one line each. -repair
// sweeps the stale temporaries; contents no version refers to are reported, not removed:
// a checkin may be about to refer to one it found already stored, and no lock of the pool
// tells a sweep so. Damage is for the administrator (a backup, or the file put back).
tbs_status_t checkvob(const std::vector<std::string>& args) {
    cmdsyn_scanner s(args, kCheckvobUsage);
    bool repair = false;
    while (s.next_option()) {
        if (s.flag("-repair", 1)) {
            repair = true;
            continue;
        }
        return s.unknown();
    }
    std::vector<std::string> ops;
    CMDSYN_TRY(s.operands(1, 1, &ops));
    const char* tag = ops[0].c_str();
    vob_t* vob = nullptr;
    tbs_status_t st = vob_open_by_tag(tag, &vob);
    if (st != TBS_ST_OK) return failed("find versioned object base", tag, st);
    int removed = 0;
    if (repair && (st = vob_sweep_temporaries(vob, &removed)) != TBS_ST_OK)
        return failed("sweep the temporary files of", tag, st);
    std::vector<std::string> damage, leftovers;
    int temps = 0;
    if ((st = vob_check(vob, &damage)) != TBS_ST_OK ||
        (st = vob_check_leftovers(vob, CONTENT_TEMP_STALE_S, &leftovers, &temps)) != TBS_ST_OK)
        return failed("check versioned object base", tag, st);
    if (repair && removed > 0) imsg_ok("Removed %d stale temporary files.\n", removed);
    for (const std::string& p : damage) imsg_error("vdtool: Error: %s: %s\n", tag, p.c_str());
    for (const std::string& p : leftovers)
        imsg_warning("vdtool: Warning: %s: %s\n", tag, p.c_str());
    const size_t remain = damage.size() + leftovers.size();
    if (remain == 0) {
        imsg_ok("Versioned object base \"%s\" is consistent.\n", tag);
        return TBS_ST_OK;
    }
    if (repair)
        imsg_error("vdtool: Error: Problems checkvob cannot repair in \"%s\": %zu.\n", tag, remain);
    else
        imsg_error("vdtool: Error: Problems found in \"%s\": %zu.\n", tag, remain);
    return TBS_ST_ERR;
}

tbs_status_t help(const std::vector<std::string>&);

const char* const kHelpUsage = "help [command]";

const cmdsyn_command_t kVobCommands[] = {
    {"checkvob", nullptr, checkvob, kCheckvobUsage}, {"help", nullptr, help, kHelpUsage},
    {"lsvob", nullptr, lsvob, kLsvobUsage},          {"mkvob", nullptr, mkvob, kMkvobUsage},
    {"rmvob", nullptr, rmvob, kRmvobUsage},
};

// Every command, by name.
std::vector<const cmdsyn_command_t*> all_commands() {
    std::vector<const cmdsyn_command_t*> all;
    for (const cmdsyn_command_t& c : kVobCommands) all.push_back(&c);
    for (size_t i = 0; i < cmdsyn_elem_command_count; ++i) all.push_back(&cmdsyn_elem_commands[i]);
    for (size_t i = 0; i < cmdsyn_list_command_count; ++i) all.push_back(&cmdsyn_list_commands[i]);
    for (size_t i = 0; i < cmdsyn_view_command_count; ++i) all.push_back(&cmdsyn_view_commands[i]);
    for (size_t i = 0; i < cmdsyn_admin_command_count; ++i)
        all.push_back(&cmdsyn_admin_commands[i]);
    for (size_t i = 0; i < cmdsyn_xcm_command_count; ++i) all.push_back(&cmdsyn_xcm_commands[i]);
    for (size_t i = 0; i < cmdsyn_xcm_list_command_count; ++i)
        all.push_back(&cmdsyn_xcm_list_commands[i]);
    std::sort(all.begin(), all.end(), [](const cmdsyn_command_t* a, const cmdsyn_command_t* b) {
        return strcmp(a->name, b->name) < 0;
    });
    return all;
}

// A command by its name or alias, else by an abbreviation it allows.
const cmdsyn_command_t* find_command(const char* name) {
    const std::vector<const cmdsyn_command_t*> all = all_commands();
    for (const cmdsyn_command_t* c : all)
        if (strcmp(c->name, name) == 0 || (c->alias && strcmp(c->alias, name) == 0)) return c;
    const size_t n = strlen(name);
    for (const cmdsyn_command_t* c : all)
        if (c->min_len > 0 && n >= static_cast<size_t>(c->min_len) && n < strlen(c->name) &&
            strncmp(c->name, name, n) == 0)
            return c;
    return nullptr;
}

tbs_status_t help(const std::vector<std::string>& args) {
    if (args.size() > 1) return usage_error(kHelpUsage);
    if (args.size() == 1) {
        const cmdsyn_command_t* c = find_command(args[0].c_str());
        if (!c) return failed("find command", args[0].c_str(), TBS_ST_NOT_FOUND);
        imsg_ok("Usage: %s\n", c->usage);
        return TBS_ST_OK;
    }
    for (const cmdsyn_command_t* c : all_commands()) imsg_ok("Usage: %s\n", c->usage);
    return TBS_ST_OK;
}

}  // namespace

bool clp_match(const char* arg, const char* name, int min_len) {
    if (!arg || !name || arg[0] != '-' || name[0] != '-') return false;
    size_t n = strlen(arg);
    return n >= static_cast<size_t>(min_len) + 1 && n <= strlen(name) && strncmp(arg, name, n) == 0;
}

bool clp_match(const char* word, const char* pattern) {
    if (!word || !pattern) return false;
    const char* open = strchr(pattern, '[');
    const size_t n = strlen(word);
    if (!open) return strcmp(word, pattern) == 0;
    const char* close = strchr(open, ']');
    if (!close || close[1] != '\0') return false;  // a tail must end the pattern
    const size_t head = static_cast<size_t>(open - pattern);
    const size_t tail = static_cast<size_t>(close - open - 1);
    if (n < head || n > head + tail) return false;
    if (strncmp(word, pattern, head) != 0) return false;
    return strncmp(word + head, open + 1, n - head) == 0;
}

tbs_status_t cmdsyn_execv(int argc, const char* const* argv) {
    if (argc < 2 || !argv[1]) return usage_error("vdtool command [options] [arguments]");
    const cmdsyn_command_t* c = find_command(argv[1]);
    if (c) {
        std::vector<std::string> args;
        for (int i = 2; i < argc; ++i) args.emplace_back(argv[i] ? argv[i] : "");
        return c->run(args);
    }
    imsg_error("vdtool: Error: Unrecognized command: \"%s\"\n", argv[1]);
    return TBS_ST_BAD_REQUEST;
}
