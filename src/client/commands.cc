// The vdweb client's commands.
#include "client/commands.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "client/client_config.h"
#include "client/copy_area.h"
#include "client/crash_hook.h"
#include "client/record_applier.h"
#include "client/rpc_channel.h"

namespace client {

namespace {

namespace fs = std::filesystem;

constexpr int kOk = 0, kFailed = 1, kUsage = 2;
constexpr unsigned kPasswordSeconds = 8 * 3600;  // how long a login's password is kept
const char* const kNullOid = "00000000000000000000000000000000";

int failed(const std::string& why) {
    std::cerr << "vdweb: " << why << "\n";
    return kFailed;
}

int usage(const std::string& why, const char* command) {
    std::cerr << "vdweb: " << why << "\n";
    if (const Command* c = find_command(command)) std::cerr << "usage: " << c->usage << "\n";
    std::cerr << "Type 'vdweb help " << command << "' for more.\n";
    return kUsage;
}

void warn(const std::string& what) {
    std::cerr << "vdweb: " << what << "\n";
}

// ---- options ---------------------------------------------------------------------------

// Splits operands from options. `with_value` names the options that take a value.
struct Options {
    std::map<std::string, std::vector<std::string>> values;
    std::vector<std::string> operands;
    std::string error;

    Options(const Args& args, const std::vector<std::string>& flags,
            const std::vector<std::string>& with_value) {
        bool only_operands = false;
        for (size_t i = 0; i < args.size(); ++i) {
            const std::string& a = args[i];
            if (only_operands || a.size() < 2 || a[0] != '-') {
                operands.push_back(a);
                continue;
            }
            if (a == "--") {
                only_operands = true;
                continue;
            }
            if (std::find(flags.begin(), flags.end(), a) != flags.end()) {
                values[a].push_back("1");
            } else if (std::find(with_value.begin(), with_value.end(), a) != with_value.end()) {
                if (i + 1 >= args.size()) {
                    error = "option " + a + " needs a value";
                    return;
                }
                values[a].push_back(args[++i]);
            } else {
                error = "unknown option " + a;
                return;
            }
        }
    }
    bool has(const std::string& a, const std::string& b = "") const {
        return values.count(a) || (!b.empty() && values.count(b));
    }
    std::string value(const std::string& a, const std::string& b = "",
                      bool* given = nullptr) const {
        auto it = values.find(a);
        if (it == values.end() && !b.empty()) it = values.find(b);
        if (given) *given = it != values.end();
        return it == values.end() ? "" : it->second.back();
    }
};

// ---- questions from the server -------------------------------------------------------

ArgList ask_on_terminal(const ArgList& q) {
    auto get = [&](const char* name) {
        for (const auto& [k, v] : q)
            if (k == name) return v;
        return std::string();
    };
    const std::string protocol = get("MsgProtocol");
    const std::string kind = get("kind");
    std::string def = get("default");
    def = def.substr(0, def.find(' '));
    if (protocol != "Vdprompt") return {};  // logins to other systems are not offered here
    const bool terminal = isatty(STDIN_FILENO) && isatty(STDERR_FILENO);
    if (kind == "text") {
        std::string line;
        if (terminal) {
            std::cerr << get("prompt") << " " << std::flush;
            std::getline(std::cin, line);
        }
        return {{"Response", "proceed"}, {"InputText", line}};
    }
    const std::string mask = get("mask");
    if (!terminal) return {{"Response", def.empty() ? "abort" : def}};
    for (;;) {
        std::cerr << get("prompt") << " [" << mask << "]";
        if (!def.empty()) std::cerr << " (default " << def << ")";
        std::cerr << ": " << std::flush;
        std::string line;
        if (!std::getline(std::cin, line)) return {{"Response", def.empty() ? "abort" : def}};
        if (line.empty() && !def.empty()) return {{"Response", def}};
        size_t at = (" " + mask + " ").find(" " + line);
        if (!line.empty() && at != std::string::npos) {
            size_t end = mask.find(' ', at);
            return {{"Response", mask.substr(at, end == std::string::npos ? end : end - at)}};
        }
    }
}

// ---- the server and the copy area ------------------------------------------------------

struct Session {
    Login login;
    std::unique_ptr<RpcChannel> channel;
    std::unique_ptr<CopyArea> area;
    std::string view_uuid;
    std::string error;

    bool connect(const Login& l) {
        login = l;
        Credentials c{l.url, l.user, find_password(l, true)};
        if (!l.user.empty() && c.password.empty()) {
            error =
                "no password for " + l.user + ": set VDWEB_PASSWORD, or run `vdweb login` again";
            return false;
        }
        channel = std::make_unique<RpcChannel>(std::move(c), ask_on_terminal);
        return true;
    }
    // The login of `vdweb login`.
    bool server() {
        Login l;
        if (!load_login(&l, &error)) return false;
        return connect(l);
    }
    // The copy area holding `path`, and its server.
    bool open_area(const std::string& path = ".") {
        area = CopyArea::find(path, &error);
        if (!area) return false;
        Login l{area->get("url"), area->get("user")};
        view_uuid = area->get("view_uuid");
        if (l.url.empty() || view_uuid.empty()) {
            error = area->root() + " is not a complete copy area";
            return false;
        }
        return connect(l);
    }
    // `path` as the view names it; false (with the reason) outside the area.
    bool rel(const std::string& path, std::string* out) {
        if (area->relative(path, out)) return true;
        error = path + " is not inside the copy area " + area->root();
        return false;
    }
};

// ---- progress on a terminal ------------------------------------------------------------

class Progress {
public:
    explicit Progress(const char* what) : what_(what), on_(isatty(STDERR_FILENO) != 0) {}
    ~Progress() { done(); }
    void show(const ApplyStats& s) {
        if (!on_) return;
        time_t now = time(nullptr);
        if (now == last_) return;
        last_ = now;
        fprintf(stderr, "\r%s: %lld elements, %.1f MB", what_, s.elements, s.bytes / 1048576.0);
        shown_ = true;
    }
    void done() {
        if (shown_) fprintf(stderr, "\r\033[K");
        shown_ = false;
    }

private:
    const char* what_;
    bool on_;
    bool shown_ = false;
    time_t last_ = 0;
};

// ---- elements an interrupted command left uncertain --------------------------------------

// The paths noted in "uncertain", one a line.
std::set<std::string> uncertain(const CopyArea& area) {
    std::set<std::string> out;
    std::istringstream in(area.get("uncertain"));
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) out.insert(line);
    return out;
}

bool set_uncertain(CopyArea& area, const std::set<std::string>& paths) {
    std::string text;
    for (const std::string& p : paths) text += p + "\n";
    return area.set("uncertain", text);
}

bool note_uncertain(CopyArea& area, const std::vector<std::string>& paths) {
    std::set<std::string> all = uncertain(area);
    all.insert(paths.begin(), paths.end());
    return set_uncertain(area, all);
}

bool settle_uncertain(CopyArea& area, const std::vector<std::string>& paths) {
    std::set<std::string> all = uncertain(area);
    for (const std::string& p : paths) all.erase(p);
    return set_uncertain(area, all);
}

// ---- update ------------------------------------------------------------------------------

std::atomic<bool> g_interrupted{false};

extern "C" void on_interrupt(int) {
    g_interrupted = true;
}

// Commit arguments naming what the area applied in the session.
std::string commit_args(CopyArea& area, const std::string& uuid, const std::string& ts,
                        const std::string& sid, bool cancel, const char* completed_ok, bool full) {
    ArgList a = {{"CommitReqBegin", ""},
                 {"ViewUuid", uuid},
                 {"SessionTimestamp", ts.empty() ? "0" : ts},
                 {"SessionId", sid}};
    if (cancel) a.emplace_back("SyncCancel", "");
    std::string dir;
    bool first = true;
    area.each_applied([&](const AppliedItem& it) {
        if (first || it.dir != dir) {
            a.insert(a.end(), {{"Dir", ""}, {"Pname", it.dir}, {"DirEnd", ""}});
            dir = it.dir;
            first = false;
        }
        a.insert(a.end(), {{"Item", ""}, {"Leaf", it.leaf}, {"NextVerOid", it.oid}});
        if (it.oid != kNullOid) {
            a.emplace_back("Dfh", it.dfh);
            a.emplace_back("NextVerIsSlink", it.slink ? "1" : "0");
            if (it.slink) {
                a.emplace_back("SlinkTgtDfh", it.tgt_dfh);
                a.emplace_back("SlinkTgtLeaf", it.tgt_leaf);
            }
        }
        a.emplace_back("ItemEnd", "");
    });
    if (completed_ok) {
        a.insert(a.end(), {{"SyncCompletedBegin", ""},
                           {"WasFullSync", full ? "1" : "0"},
                           {"CompletedOK", completed_ok},
                           {"SyncCompletedEnd", ""}});
    }
    a.emplace_back("CommitReqEnd", "");
    return rpc_args(a);
}

// Sends what the area applied in its session and forgets it; with `completed_ok` the
// session ends (completed or not), otherwise it stays in progress on the server.
// `refused`, when given, tells a server that answered and refused from one not reached.
bool commit_applied(Session& s, bool cancel, const char* completed_ok, bool full,
                    bool* refused = nullptr) {
    CopyArea& area = *s.area;
    const std::string args = commit_args(area, s.view_uuid, area.get("session_ts"),
                                         area.get("session_id"), cancel, completed_ok, full);
    CallResult r = s.channel->call("ws_sync_commit_rpc", args);
    if (refused) *refused = r.complete && !r.ok;
    if (!r.ok) {
        s.error = "the commit failed: " + r.message();
        return false;
    }
    crash_point("confirmed");
    return area.clear_applied() || (s.error = area.error(), false);
}

// The update states the area records in "session_state": none once an update has ended;
// "starting" from before its request until the server's session begins; "fetching" while
// the session's records are applied; "abandoned" once a session was cut short or cancelled
// and what it applied committed. Any state but none means the server may hold a session
// in progress for the view.
bool update_unfinished(const std::string& state) {
    return !state.empty();
}

// A file that was arriving when its update stopped is half written: it goes.
void remove_half_written(const CopyArea& area) {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(area.root(), ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (ec) break;
        const std::string name = it->path().filename().string();
        if (name == ".vdweb") {
            it.disable_recursion_pending();
        } else if (name.rfind(kTempPrefix, 0) == 0) {
            fs::remove(it->path(), ec);
        }
    }
}

// An update that did not end, whatever point it stopped at: half-written files go, what it
// applied is committed (the session stays in progress), and the next fetch abandons the
// session.
bool recover(Session& s) {
    CopyArea& area = *s.area;
    const std::string state = area.get("session_state");
    if (!update_unfinished(state) && area.applied_count() == 0) return true;
    if (state != "abandoned") warn("finishing an update that was interrupted");
    remove_half_written(area);
    bool refused = false;
    if (area.applied_count() > 0 && !commit_applied(s, false, nullptr, false, &refused)) {
        if (!refused) return false;  // the server was not reached: the next try commits
        // The session ended before its records were confirmed (killed after the commit
        // that ended it): the server does not count these elements as loaded, and the
        // fetch brings them again.
        warn(s.error + "; the elements it names are fetched again");
        if (!area.clear_applied()) return (s.error = area.error(), false);
    }
    return area.set("session_state", "abandoned") || (s.error = area.error(), false);
}

// A fetch (or a config-spec change, which answers with one) applied to the area and
// committed. Ctrl-C cancels it through a second request and leaves the area consistent.
// `other`, when given, sees every part first (the answer of a command that ends with an
// update carries the command's own output too).
// `refusals_ok`: items of the commit the server refuses (an unload of what its record does
// not hold) are let go; it applies the others all the same.
int run_update(Session& s, const std::string& rpc, const std::string& args, bool full,
               const std::function<void(const Part&)>& other = {}, bool refusals_ok = false) {
    CopyArea& area = *s.area;
    RecordApplier applier(area, *s.channel, RecordApplier::Mode::SESSION, warn);
    Progress progress("Updating");
    applier.on_progress([&](const ApplyStats& st) { progress.show(st); });
    struct sigaction sa {
    }, old_int{}, old_term{};
    sa.sa_handler = on_interrupt;
    sigaction(SIGINT, &sa, &old_int);
    sigaction(SIGTERM, &sa, &old_term);
    g_interrupted = false;
    bool session_noted = false, cancelled = false;
    // Noted before the request: a client stopped before the session's first record still
    // leaves the area saying that a session may be in progress.
    const std::string state_before = area.get("session_state");
    if (state_before.empty() && !area.set("session_state", "starting")) return failed(area.error());
    CallResult r = s.channel->call(
        rpc, args,
        [&](Part& part) {
            if (other) other(part);
            if (!applier.on_part(part)) return false;
            if (applier.stats().elements > 0) crash_point("element");
            if (applier.began() && !session_noted) {
                crash_point("begin");
                session_noted = true;
                if (!area.set("session_id", applier.session_id()) ||
                    !area.set("session_ts", applier.session_ts()) ||
                    !area.set("session_state", "fetching"))
                    return false;
            }
            if (g_interrupted && session_noted && !cancelled) {
                cancelled = true;
                // What is applied so far goes with the cancel; the fetch stops after
                // its current element.
                if (!applier.flush()) return false;
                if (!commit_applied(s, true, nullptr, full)) warn(s.error);
            }
            return true;
        },
        nullptr, [&](const Part& p) { return applier.streams(p); },
        [&](const char* d, size_t n) { return applier.body(d, n); });
    // An answer cut short leaves its last element unwritten; a whole one settles it.
    r.complete ? applier.finish() : applier.flush();
    progress.done();
    sigaction(SIGINT, &old_int, nullptr);
    sigaction(SIGTERM, &old_term, nullptr);
    const ApplyStats& st = applier.stats();
    if (!applier.error().empty()) {
        // The area holds what was applied; the next update commits it and goes on.
        return failed(applier.error());
    }
    if (!r.complete) return failed(r.message());
    if (!session_noted) {
        if (!r.ok) return failed(r.message());
        // No session began (a command with nothing to bring): the state stands as it was.
        if (state_before.empty() && !area.set("session_state", "")) return failed(area.error());
        return kOk;
    }
    const bool completed = r.ok && applier.ended() && applier.completed_ok() && !cancelled;
    crash_point("commit");
    bool refused = false;
    if (!commit_applied(s, false, completed ? "1" : "0", full, &refused)) {
        if (!refused || !refusals_ok) return failed(s.error);
        // The server ended the session and holds what it took; what it refused is
        // fetched again.
        warn(s.error);
        if (!area.clear_applied()) return failed(area.error());
    }
    crash_point("committed");
    area.set("session_state", completed ? "" : "abandoned");
    if (isatty(STDOUT_FILENO) || st.elements > 0)
        printf("%lld element%s updated, %.1f MB received%s\n", st.elements,
               st.elements == 1 ? "" : "s", st.bytes / 1048576.0,
               st.kept ? (", " + std::to_string(st.kept) + " hijacked files kept").c_str() : "");
    if (cancelled) return failed("update cancelled; run `vdweb update` to finish it");
    if (!r.ok) return failed(r.message());
    if (st.failures > 0)
        return failed(std::to_string(st.failures) + " elements could not be loaded");
    return kOk;
}

// The fetch always abandons a session the server holds in progress for the view: the
// update holds the area's lock, and a web view has one copy area, so such a session can
// only be one of this area's that was cut short, whatever the area managed to note of it
// (a client killed before the session's first record notes nothing the server sent).
std::string fetch_args(Session& s, const std::vector<std::string>& scopes) {
    ArgList a = {{"SyncReqBegin", ""},         {"ViewUuid", s.view_uuid},
                 {"Mode", "SyncFromVob"},      {"Preview", "0"},
                 {"AutoLoadRuleGen", "0"},     {"DeferLoad", "0"},
                 {"AbortInprogressSync", "1"}, {"ScopeCnt", std::to_string(scopes.size())}};
    for (const std::string& sc : scopes) a.emplace_back("Scope", sc);
    a.emplace_back("ScopeVerIdsCnt", "0");
    a.emplace_back("SyncReqEnd", "");
    a.emplace_back("SendFailures", "1");
    return rpc_args(a);
}

// Elements a command was stopped on may be held in the area otherwise than the server's
// record says. The server is told the area holds none of them (unloads confirmed in the
// commit of a fetch of their directories), and a second fetch of those directories, which
// walks them against the record, sends each of them whole. Work in the area is safe: the
// applier keeps hijacked files and a checkout's own bytes.
int bring_back_uncertain(Session& s) {
    const std::set<std::string> redo = uncertain(*s.area);
    if (redo.empty()) return kOk;
    warn("bringing back " + std::to_string(redo.size()) +
         " element(s) a command that did not finish left uncertain");
    remove_half_written(*s.area);
    std::set<std::string> dirs;
    for (const std::string& path : redo) {
        AppliedItem item;
        const size_t slash = path.rfind('/');
        item.dir = slash == std::string::npos ? "" : path.substr(0, slash);
        item.leaf = slash == std::string::npos ? path : path.substr(slash + 1);
        item.oid = kNullOid;
        dirs.insert(item.dir.empty() ? path : item.dir);
        if (!s.area->add_applied(item)) return failed(s.area->error());
    }
    const std::vector<std::string> scopes(dirs.begin(), dirs.end());
    for (int pass = 0; pass < 2; ++pass) {
        // The unloads of elements the server's record does not hold (a command stopped
        // before the server acted) are refused, harmlessly.
        const int rc =
            run_update(s, "ws_sync_fetch_rpc", fetch_args(s, scopes), false, {}, pass == 0);
        if (rc != kOk) return rc;
    }
    if (!settle_uncertain(*s.area, std::vector<std::string>(redo.begin(), redo.end())))
        return failed(s.area->error());
    return kOk;
}

int cmd_update(const Args& args) {
    Options o(args, {}, {});
    if (!o.error.empty()) return usage(o.error, "update");
    Session s;
    if (!s.open_area(o.operands.empty() ? "." : o.operands[0])) return failed(s.error);
    std::vector<std::string> scopes;
    for (const std::string& p : o.operands) {
        std::string rel;
        if (!s.rel(p, &rel)) return failed(s.error);
        if (rel.empty()) {
            scopes.clear();
            break;
        }
        scopes.push_back(rel);
    }
    if (!s.area->lock_updates()) return failed(s.area->error());
    if (!recover(s)) return failed(s.error);
    const int rc = bring_back_uncertain(s);
    if (rc != kOk) return rc;
    return run_update(s, "ws_sync_fetch_rpc", fetch_args(s, scopes), scopes.empty());
}

// ---- vdtool on the server -----------------------------------------------------------------

// One output line of the server's command, on standard output or (warnings and errors)
// standard error.
void print_command_line(const Part& p) {
    if (p.name() != "line") return;
    const std::string severity = p.header("Content-Description");
    FILE* to = severity == "OK" ? stdout : stderr;
    fprintf(to, "%s\n", p.content.c_str());
}

int cmd_vdtool(const Args& args) {
    // Everything after "vdtool" is the server's command line, options included.
    if (args.empty() || args[0].empty() || args[0][0] == '-')
        return usage("name the vdtool command to run", "vdtool");
    Session s;
    const bool in_area = s.open_area(".");
    if (!in_area && !s.server()) return failed(s.error);
    ArgList a;
    if (in_area) {
        const std::string tag = s.area->get("view_tag");
        if (!tag.empty()) a.emplace_back("viewtag", tag);
    }
    a.emplace_back("cmd", args[0]);
    // In a copy area the command's changes come back as an update, applied and committed.
    if (in_area) {
        if (!s.area->lock_updates() || !recover(s))
            return failed(s.error.empty() ? s.area->error() : s.error);
        a.emplace_back("supports-sync", "");
    }
    for (size_t i = 1; i < args.size(); ++i) a.emplace_back("arg", args[i]);
    if (in_area) return run_update(s, "VDW_VdtoolRpc", rpc_args(a), true, print_command_line);
    CallResult r = s.channel->call("VDW_VdtoolRpc", rpc_args(a), [&](Part& p) {
        print_command_line(p);
        return true;
    });
    return r.ok ? kOk : failed(r.message());
}

// ---- login and views -------------------------------------------------------------------

int cmd_login(const Args& args) {
    Options o(args, {}, {"--user", "-u"});
    if (!o.error.empty()) return usage(o.error, "login");
    if (o.operands.size() != 1) return usage("login needs the server's URL", "login");
    Login l{o.operands[0], o.value("--user", "-u")};
    while (!l.url.empty() && l.url.back() == '/') l.url.pop_back();
    if (l.url.rfind("http://", 0) != 0 && l.url.rfind("https://", 0) != 0)
        return usage("the URL must begin with http:// or https://", "login");
    std::string password;
    if (!l.user.empty()) {
        if (const char* env = getenv("VDWEB_PASSWORD")) {
            password = env;
        } else if (!prompt_password("Password for " + l.user + ": ", &password)) {
            return failed("no password: type it on a terminal or set VDWEB_PASSWORD");
        }
    }
    RpcChannel channel(Credentials{l.url, l.user, password});
    std::string info;
    CallResult r = channel.call("login_rpc",
                                rpc_args({{"trace_subsys", ""},
                                          {"trace_level", "0"},
                                          {"meter", "0"},
                                          {"min_clnt_proto_ver", "1"},
                                          {"max_clnt_proto_ver", "6"},
                                          {"clienttype", "ClientType.CLI"},
                                          {"client_supports_tnweb_browser", "0"},
                                          {"server_cache_tnlogin", "0"}}),
                                [&](Part& p) {
                                    if (p.name() == "additionalVersionInfo") info = p.content;
                                    return true;
                                });
    if (!r.ok) return failed("login failed: " + r.message());
    std::string error;
    if (!save_login(l, &error)) return failed(error);
    if (!l.user.empty() && !getenv("VDWEB_PASSWORD") &&
        !remember_password(l, password, kPasswordSeconds))
        warn(
            "the password is not kept (no kernel keyring here): set VDWEB_PASSWORD or type it "
            "at each command");
    printf("Logged in to %s%s%s\n", l.url.c_str(), l.user.empty() ? "" : " as ", l.user.c_str());
    return kOk;
}

int cmd_logout(const Args& args) {
    if (!args.empty()) return usage("logout takes no operands", "logout");
    Login l;
    std::string error;
    if (!load_login(&l, &error)) return failed(error);
    forget_password(l);
    if (unlink(config_path().c_str()) != 0) return failed("cannot remove " + config_path());
    return kOk;
}

int cmd_mkview(const Args& args) {
    Options o(args, {}, {"--load"});
    if (!o.error.empty()) return usage(o.error, "mkview");
    if (o.operands.size() != 2) return usage("mkview needs a view tag and a directory", "mkview");
    const std::string& tag = o.operands[0];
    Session s;
    if (!s.server()) return failed(s.error);
    std::error_code ec;
    if (fs::exists(o.operands[1]) && !fs::is_empty(o.operands[1], ec))
        return failed(o.operands[1] + " exists and is not empty");
    std::string uuid;
    CallResult r =
        s.channel->call("mkview_rpc",
                        rpc_args({{"ViewTag", tag},
                                  {"ConfigTag", ""},
                                  {"Stream", ""},
                                  {"TextMode", ""},
                                  {"Stgloc", ""},
                                  {"Colocate", "0"},
                                  {"CopyAreaRoot", fs::absolute(o.operands[1], ec).string()}}),
                        [&](Part& p) {
                            if (p.name() == "RpcResult") uuid = p.header("Uuid");
                            return true;
                        });
    if (!r.ok || uuid.empty()) return failed("cannot make the view " + tag + ": " + r.message());
    s.area = CopyArea::create(o.operands[1], &s.error);
    if (!s.area) return failed(s.error);
    s.view_uuid = uuid;
    if (!s.area->set("url", s.login.url) || !s.area->set("user", s.login.user) ||
        !s.area->set("view_uuid", uuid) || !s.area->set("view_tag", tag))
        return failed(s.area->error());
    printf("Made the web view %s in %s\n", tag.c_str(), s.area->root().c_str());
    auto loads = o.values.find("--load");
    if (loads == o.values.end()) return kOk;
    ArgList a = {{"ViewUuid", uuid},
                 {"Mode", "replace"},
                 {"NumElemLines", "2"},
                 {"E", "element * CHECKEDOUT"},
                 {"E", "element * /main/LATEST"},
                 {"NumScopes", "0"},
                 {"PartialSync", "0"},
                 {"NumLines", std::to_string(loads->second.size())}};
    for (const std::string& l : loads->second) a.emplace_back("L", "load " + l);
    a.emplace_back("HijackMode", "Keep");
    return run_update(s, "setcs_rpc", rpc_args(a), true);
}

int cmd_lsview(const Args& args) {
    Options o(args, {"--all"}, {});
    if (!o.error.empty() || !o.operands.empty()) return usage("lsview takes --all only", "lsview");
    Session s;
    if (!s.server()) return failed(s.error);
    CallResult r = s.channel->call(
        "enumerate_views_rpc", rpc_args({{"ViewType", o.has("--all") ? "all" : "web"}}),
        [&](Part& p) {
            if (p.name() == "ViewFound")
                printf("%-30s %s\n", p.header("View").c_str(), p.header("Uuid").c_str());
            return true;
        });
    return r.ok ? kOk : failed(r.message());
}

int cmd_lsvob(const Args& args) {
    Options o(args, {}, {});
    if (!o.error.empty() || o.operands.size() > 1) return usage("lsvob takes one filter", "lsvob");
    Session s;
    if (!s.server()) return failed(s.error);
    CallResult r = s.channel->call(
        "enumerate_vobs_rpc",
        rpc_args({{"NameFilter", o.operands.empty() ? "*" : o.operands[0]},
                  {"ShowOnlyProjectVobs", "0"},
                  {"ShowOnlyPublicVobs", "0"}}),
        [&](Part& p) {
            if (p.name() == "VobFound")
                printf("%-30s %s\n", p.header("Tag").c_str(), p.header("Kind").c_str());
            return true;
        });
    return r.ok ? kOk : failed(r.message());
}

// ---- element operations ----------------------------------------------------------------

// Runs an operation on `paths` whose answer downloads the elements it changed. The server
// records the download as loaded once it has sent it: a client stopped before applying it
// would hold rows the server no longer agrees with, so the paths stay noted as uncertain
// until the answer has been applied, and the next update brings them again.
int run_single(Session& s, const std::vector<std::string>& paths, const std::string& rpc,
               const std::string& args, const std::string* upload = nullptr,
               const std::vector<std::string>& adopt = {},
               const std::function<bool(Part&)>& other = {}) {
    if (!note_uncertain(*s.area, paths)) return failed(s.area->error());
    RecordApplier applier(*s.area, *s.channel, RecordApplier::Mode::SINGLE, warn);
    for (const std::string& a : adopt) applier.adopt(a);
    CallResult r = s.channel->call(
        rpc, args,
        [&](Part& p) {
            crash_point("answered");
            if (other && !other(p)) return false;
            return applier.on_part(p);
        },
        upload, [&](const Part& p) { return applier.streams(p); },
        [&](const char* d, size_t n) { return applier.body(d, n); });
    r.complete ? applier.finish() : applier.flush();
    if (!applier.error().empty()) return failed(applier.error());
    if (r.complete && !settle_uncertain(*s.area, paths)) return failed(s.area->error());
    if (!r.ok) return failed(r.message());
    return kOk;
}

// The operands as the view names them, each known to the area.
bool known_operands(Session& s, const std::vector<std::string>& operands,
                    std::vector<std::string>* rels, std::vector<Elem>* elems) {
    for (const std::string& p : operands) {
        std::string rel;
        Elem e;
        if (!s.rel(p, &rel)) return false;
        if (!s.area->lookup(rel, &e)) {
            s.error = p + " is not an element loaded in this copy area";
            return false;
        }
        rels->push_back(rel);
        if (elems) elems->push_back(e);
    }
    return true;
}

int cmd_checkout(const Args& args) {
    Options o(args, {"--unreserved"}, {"-c", "--comment"});
    if (!o.error.empty()) return usage(o.error, "checkout");
    if (o.operands.empty()) return usage("checkout needs the elements to check out", "checkout");
    Session s;
    std::vector<std::string> rels;
    std::vector<Elem> elems;
    if (!s.open_area(o.operands[0]) || !known_operands(s, o.operands, &rels, &elems))
        return failed(s.error);
    ArgList a = {{"ViewUuid", s.view_uuid},
                 {"NonlatestOption", "1"},
                 {"UseHijack", "1"},
                 {"Unreserved", o.has("--unreserved") ? "1" : "0"},
                 {"FallbackToUnreserved", "0"},
                 {"NotMasterOk", "0"},
                 {"CheckReplicationOnServer", "0"},
                 {"SeriesId", ""},
                 {"SeriesIsFirst", "1"},
                 {"SeriesIsLast", "1"},
                 {"NumItems", std::to_string(rels.size())}};
    for (size_t i = 0; i < rels.size(); ++i) {
        const bool hijacked = elems[i].kind == 'f' && !elems[i].checked_out &&
                              !file_matches(s.area->abs(rels[i]), elems[i]);
        a.insert(a.end(), {{"BeginItem", ""},
                           {"Scope", rels[i]},
                           {"CurVerId", elems[i].version},
                           {"IsHijacked", hijacked ? "1" : "0"},
                           {"Activity", ""},
                           {"Comment", o.value("-c", "--comment")},
                           {"EndItem", ""}});
    }
    return run_single(s, rels, "checkout_rpc", rpc_args(a));
}

int cmd_checkin(const Args& args) {
    Options o(args, {"--identical"}, {"-c", "--comment"});
    if (!o.error.empty()) return usage(o.error, "checkin");
    if (o.operands.empty()) return usage("checkin needs the elements to check in", "checkin");
    Session s;
    std::vector<std::string> rels;
    std::vector<Elem> elems;
    if (!s.open_area(o.operands[0]) || !known_operands(s, o.operands, &rels, &elems))
        return failed(s.error);
    bool commented = false;
    const std::string comment = o.value("-c", "--comment", &commented);
    std::vector<std::string> files, dirs;
    for (size_t i = 0; i < rels.size(); ++i) {
        if (!elems[i].checked_out) return failed(o.operands[i] + " is not checked out");
        (elems[i].kind == 'd' ? dirs : files).push_back(rels[i]);
    }
    auto single = [&](const std::string& rel, bool dir) {
        ArgList a = {{"ViewUuid", s.view_uuid},
                     {"UseCoComment", commented ? "0" : "1"},
                     {"Comment", comment},
                     {"Activity", ""},
                     {"Identical", o.has("--identical") ? "1" : "0"},
                     {"Scope", rel},
                     {"SeriesId", ""},
                     {"SeriesIsFirst", "1"},
                     {"SeriesIsLast", "1"}};
        if (dir) a.emplace_back("IsDir", "1");
        const std::string abs = s.area->abs(rel);
        return run_single(s, {rel}, "checkin_rpc", rpc_args(a), dir ? nullptr : &abs);
    };
    int rc = kOk;
    if (files.size() == 1) {
        rc = single(files[0], false);
    } else if (files.size() > 1) {
        // All or none: one upload holding each file as "<size>\n<bytes>".
        std::string upload = s.area->tmp_dir() + "/checkin.XXXXXX";
        int fd = mkstemp(upload.data());
        if (fd < 0) return failed("cannot write in " + s.area->tmp_dir());
        bool ok = true;
        for (const std::string& rel : files) {
            int in = open(s.area->abs(rel).c_str(), O_RDONLY | O_CLOEXEC);
            struct stat st;
            if (in < 0 || fstat(in, &st) != 0) {
                ok = false;
                if (in >= 0) close(in);
                break;
            }
            const std::string head = std::to_string(st.st_size) + "\n";
            ok = write(fd, head.data(), head.size()) == static_cast<ssize_t>(head.size());
            char buf[65536];
            ssize_t n;
            long long left = st.st_size;
            while (ok && left > 0 && (n = read(in, buf, sizeof buf)) > 0) {
                ok = write(fd, buf, static_cast<size_t>(n)) == n;
                left -= n;
            }
            ok = ok && left == 0;
            close(in);
            if (!ok) break;
        }
        ok = close(fd) == 0 && ok;
        if (!ok) {
            unlink(upload.c_str());
            return failed("cannot gather the files to check in");
        }
        ArgList a = {{"ViewUuid", s.view_uuid},
                     {"Comment", comment},
                     {"Identical", o.has("--identical") ? "1" : "0"},
                     {"NumItems", std::to_string(files.size())}};
        for (const std::string& rel : files) a.emplace_back("Scope", rel);
        rc = run_single(s, files, "checkin_atomic_rpc", rpc_args(a), &upload, {}, [&](Part& p) {
            if (p.name() == "CheckinMergeInputRecord")
                warn(p.header("CheckinMergeItemScope") + " needs a merge from " +
                     p.header("CheckinMergeFromVersion") + "; nothing was checked in");
            return true;
        });
        unlink(upload.c_str());
    }
    for (const std::string& d : dirs)
        if (rc == kOk) rc = single(d, true);
    return rc;
}

int cmd_uncheckout(const Args& args) {
    Options o(args, {"--rm"}, {});
    if (!o.error.empty()) return usage(o.error, "uncheckout");
    if (o.operands.empty()) return usage("uncheckout needs the elements", "uncheckout");
    Session s;
    std::vector<std::string> rels;
    std::vector<Elem> elems;
    if (!s.open_area(o.operands[0]) || !known_operands(s, o.operands, &rels, &elems))
        return failed(s.error);
    ArgList a = {{"ViewUuid", s.view_uuid},
                 {"SeriesId", ""},
                 {"SeriesIsFirst", "1"},
                 {"SeriesIsLast", "1"},
                 {"NumItems", std::to_string(rels.size())}};
    for (size_t i = 0; i < rels.size(); ++i) {
        if (!elems[i].checked_out) return failed(o.operands[i] + " is not checked out");
        a.insert(a.end(),
                 {{"BeginItem", ""}, {"Scope", rels[i]}, {"CurVerId", ""}, {"EndItem", ""}});
    }
    // Work done in the checkout is kept beside the element unless asked otherwise; the
    // element's own file then comes from the server. Should the server refuse, the work
    // goes back where it was.
    if (!note_uncertain(*s.area, rels)) return failed(s.area->error());
    std::vector<std::pair<std::string, std::string>> moved;
    for (size_t i = 0; i < rels.size(); ++i) {
        const std::string abs = s.area->abs(rels[i]);
        if (elems[i].kind != 'f' || file_matches(abs, elems[i])) continue;
        std::string keep = abs + ".keep";
        for (int n = 1; access(keep.c_str(), F_OK) == 0; ++n)
            keep = abs + ".keep." + std::to_string(n);
        if (rename(abs.c_str(), keep.c_str()) == 0) moved.emplace_back(abs, keep);
        crash_step();
    }
    const int rc = run_single(s, rels, "uncheckout_rpc", rpc_args(a));
    for (const auto& [abs, keep] : moved) {
        struct stat st;
        if (rc != kOk && lstat(abs.c_str(), &st) != 0) {
            rename(keep.c_str(), abs.c_str());
        } else if (o.has("--rm")) {
            unlink(keep.c_str());
        } else {
            printf("Kept the checked-out file as %s\n", keep.c_str());
        }
    }
    return rc;
}

int cmd_mkelem(const Args& args) {
    Options o(args, {"--ci"}, {"-c", "--comment"});
    if (!o.error.empty()) return usage(o.error, "mkelem");
    if (o.operands.empty()) return usage("mkelem needs the new elements", "mkelem");
    Session s;
    if (!s.open_area(o.operands[0])) return failed(s.error);
    for (const std::string& p : o.operands) {
        std::string rel;
        if (!s.rel(p, &rel) || rel.empty())
            return failed(s.error.empty() ? p + " is the area's root" : s.error);
        Elem e;
        if (s.area->lookup(rel, &e)) return failed(p + " is an element already");
        struct stat st;
        const std::string abs = s.area->abs(rel);
        if (lstat(abs.c_str(), &st) != 0) return failed("no file " + p + " to make an element of");
        const bool dir = S_ISDIR(st.st_mode);
        if (!dir && !S_ISREG(st.st_mode)) return failed(p + " is neither a file nor a directory");
        ArgList a = {{"ViewUuid", s.view_uuid},
                     {"Comment", o.value("-c", "--comment")},
                     {"Activity", ""},
                     {"NoCheckout", o.has("--ci") ? "1" : "0"},
                     {"CiParent", "0"},
                     {"FileEltype", ""},
                     {"Scope", rel},
                     {"IsDir", dir ? "1" : "0"}};
        int rc = run_single(s, {rel}, "mkelem_rpc", rpc_args(a), dir ? nullptr : &abs, {rel});
        if (rc != kOk) return rc;
    }
    return kOk;
}

int cmd_mv(const Args& args) {
    Options o(args, {}, {"-c", "--comment"});
    if (!o.error.empty()) return usage(o.error, "mv");
    if (o.operands.size() != 2) return usage("mv needs a source and a target", "mv");
    Session s;
    std::vector<std::string> rels;
    if (!s.open_area(o.operands[0]) || !known_operands(s, {o.operands[0]}, &rels, nullptr))
        return failed(s.error);
    std::string target;
    if (!s.rel(o.operands[1], &target)) return failed(s.error);
    Elem t;
    if (s.area->lookup(target, &t) && t.kind == 'd')
        target += "/" + fs::path(rels[0]).filename().string();
    return run_single(s, {rels[0], target}, "mv_rpc",
                      rpc_args({{"ViewUuid", s.view_uuid},
                                {"Source", rels[0]},
                                {"Target", target},
                                {"Comment", o.value("-c", "--comment")}}));
}

int cmd_rm(const Args& args) {
    Options o(args, {}, {"-c", "--comment"});
    if (!o.error.empty()) return usage(o.error, "rm");
    if (o.operands.empty()) return usage("rm needs the names to remove", "rm");
    Session s;
    std::vector<std::string> rels;
    if (!s.open_area(o.operands[0]) || !known_operands(s, o.operands, &rels, nullptr))
        return failed(s.error);
    for (const std::string& rel : rels) {
        int rc = run_single(s, {rel}, "rmname_rpc",
                            rpc_args({{"ViewUuid", s.view_uuid},
                                      {"Scope", rel},
                                      {"Comment", o.value("-c", "--comment")}}));
        if (rc != kOk) return rc;
    }
    return kOk;
}

int cmd_label(const Args& args) {
    Options o(args, {"--replace"}, {"-c", "--comment", "--version"});
    if (!o.error.empty()) return usage(o.error, "label");
    if (o.operands.size() < 2) return usage("label needs a label and the elements", "label");
    Session s;
    std::vector<std::string> rels;
    const std::vector<std::string> paths(o.operands.begin() + 1, o.operands.end());
    if (!s.open_area(paths[0]) || !known_operands(s, paths, &rels, nullptr)) return failed(s.error);
    std::string list;
    for (const std::string& r : rels) list += (list.empty() ? "" : "\n") + r;
    bool versioned = false;
    const std::string version = o.value("--version", "", &versioned);
    ArgList a = {{"ViewUuid", s.view_uuid}, {"Selector", o.operands[0]}};
    if (versioned) a.emplace_back("VersionString", version);
    a.insert(a.end(), {{"Follow", "0"},
                       {"Recurse", "0"},
                       {"Replace", o.has("--replace") ? "1" : "0"},
                       {"Comment", o.value("-c", "--comment")},
                       {"NumElements", std::to_string(rels.size())},
                       {"PerElementList", list}});
    CallResult r = s.channel->call("apply_label_rpc", rpc_args(a), [&](Part& p) {
        if (p.name() == "RpcResult")
            printf("Labelled %s with %s\n", p.header("Pname").c_str(), o.operands[0].c_str());
        return true;
    });
    return r.ok ? kOk : failed(r.message());
}

// ---- reading -------------------------------------------------------------------------------

int cmd_cat(const Args& args) {
    Options o(args, {}, {});
    if (!o.error.empty() || o.operands.size() != 1)
        return usage("cat needs one version-extended name", "cat");
    Session s;
    ArgList a;
    std::string rel;
    const std::string& name = o.operands[0];
    const size_t at = name.find("@@");
    if (name[0] == '/' && s.server()) {
        a = {{"ResourceSelector", name}};  // a VOB pathname with its version
    } else if (s.open_area(at == std::string::npos ? name : name.substr(0, at)) &&
               s.rel(at == std::string::npos ? name : name.substr(0, at), &rel)) {
        a = {{"ResourceSelector", rel + (at == std::string::npos ? "" : name.substr(at))},
             {"ViewUuid", s.view_uuid}};
    } else {
        return failed(s.error);
    }
    bool first = true, write_failed = false;
    CallResult r = s.channel->call(
        "read_content_rpc", rpc_args(a), [&](Part&) { return true; }, nullptr,
        [&](const Part& p) {
            bool take = first && p.name() != "Status";
            first = false;
            return take;
        },
        [&](const char* d, size_t n) {
            write_failed = fwrite(d, 1, n, stdout) != n;
            return !write_failed;
        });
    fflush(stdout);
    if (write_failed) return failed("cannot write the contents");
    return r.ok ? kOk : failed(r.message());
}

// The VOB pathname of a name given in the area ("src/a.c@@/main/2" from a directory of it),
// or of a VOB pathname as it is.
bool vob_pname(Session& s, const std::string& name, std::string* out) {
    if (!name.empty() && name[0] == '/' && !s.area) {
        *out = name;
        return true;
    }
    const size_t at = name.find("@@");
    std::string rel;
    if (!s.rel(at == std::string::npos ? name : name.substr(0, at), &rel)) return false;
    *out = "/" + rel + (at == std::string::npos ? "" : name.substr(at));
    return true;
}

int cmd_diff(const Args& args) {
    Options o(args, {}, {});
    if (!o.error.empty() || o.operands.empty() || o.operands.size() > 2)
        return usage("diff needs one or two versions", "diff");
    Session s;
    std::string first, second;
    if (!s.open_area(o.operands[0].substr(0, o.operands[0].find("@@"))) ||
        !vob_pname(s, o.operands[0], &first) ||
        (o.operands.size() == 2 && !vob_pname(s, o.operands[1], &second)))
        return failed(s.error);
    // Lines common to both, then each side's runs: "-" the first version's, "+" the second's.
    auto print = [](const std::string& text, const char* mark) {
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            printf("%s%.*s\n", mark, static_cast<int>(end - start), text.data() + start);
            start = end + 1;
        }
    };
    bool differs = false;
    CallResult r = s.channel->call(
        "get_diff_merge_rpc", rpc_args({{"IsDiff", "1"}, {"Version", first}, {"Version", second}}),
        [&](Part& p) {
            const std::string& kind = p.header("Content-Description");
            if (kind == "view_rel_pname") return true;
            // A directory's entries come one a part, their name on the first line.
            const std::string text = p.has("Dir-item-kind")
                                         ? p.content.substr(0, p.content.find('\r')) + "\n"
                                         : p.content;
            if (p.has("Dir-item-kind") && p.content.empty()) return true;
            if (p.name() == "common") {
                print(text, "  ");
            } else if (p.name() == "from_ver" || p.name() == "to_ver") {
                differs = true;
                print(text, p.name() == "from_ver" ? "- " : "+ ");
            }
            return true;
        });
    if (!r.ok) return failed(r.message());
    return differs ? 1 : kOk;
}

int cmd_history(const Args& args) {
    Options o(args, {}, {});
    if (!o.error.empty() || o.operands.size() != 1)
        return usage("history needs one element", "history");
    Session s;
    std::string rel;
    if (!s.open_area(o.operands[0]) || !s.rel(o.operands[0], &rel)) return failed(s.error);
    CallResult r = s.channel->call(
        "get_history_rpc", rpc_args({{"Scope", rel}, {"ViewUuid", s.view_uuid}}), [&](Part& p) {
            if (p.name() == "History") {
                time_t t = atoll(p.header("Time").c_str());
                char when[32] = "";
                strftime(when, sizeof when, "%Y-%m-%d %H:%M", localtime(&t));
                printf("%s  %-10s %-16s %s\n", when, p.header("CreatedUser").c_str(),
                       p.header("Kind").c_str(), p.header("Object").c_str());
            } else if (p.name() == "HistoryComment" && !p.content.empty()) {
                printf("    \"%s\"\n", p.content.c_str());
            }
            return true;
        });
    return r.ok ? kOk : failed(r.message());
}

int cmd_ls(const Args& args) {
    Options o(args, {}, {});
    if (!o.error.empty()) return usage(o.error, "ls");
    Session s;
    const std::vector<std::string> paths = o.operands.empty() ? Args{"."} : o.operands;
    std::string error;
    auto area = CopyArea::find(paths[0], &error);
    if (!area) return failed(error);
    s.area = std::move(area);
    for (const std::string& p : paths) {
        std::string rel;
        if (!s.rel(p, &rel)) return failed(s.error);
        const size_t depth = rel.empty() ? 0 : std::count(rel.begin(), rel.end(), '/') + 1;
        s.area->each(rel, [&](const Elem& e) {
            const size_t d = std::count(e.path.begin(), e.path.end(), '/') + 1;
            if (d != depth + 1 && !(d == depth && e.kind != 'd')) return true;
            std::string state;
            if (e.checked_out)
                state = "  CHECKEDOUT";
            else if (!file_matches(s.area->abs(e.path), e))
                state = "  [hijacked]";
            printf("%s%s@@%s%s%s%s\n", e.path.c_str(), e.kind == 'd' ? "/" : "", e.version.c_str(),
                   state.c_str(), e.rule.empty() ? "" : "  Rule: ", e.rule.c_str());
            return true;
        });
    }
    return kOk;
}

// ---- verify -------------------------------------------------------------------------------

std::string sha256_hex(const std::string& text) {
    unsigned char raw[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    EVP_Digest(text.data(), text.size(), raw, &len, EVP_sha256(), nullptr);
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < len; ++i) {
        hex += kHex[raw[i] >> 4];
        hex += kHex[raw[i] & 15];
    }
    return hex;
}

// What the area holds, in the server's canonical form: for each directory (byte order),
// each object's line "name|type|checked out|version oid" (byte order of names).
std::map<std::string, std::map<std::string, std::string>> canonical_state(CopyArea& area) {
    std::map<std::string, std::map<std::string, std::string>> parents;
    std::map<std::string, Elem> links;
    area.each("", [&](const Elem& e) {
        const size_t slash = e.path.rfind('/');
        const std::string dir = slash == std::string::npos ? "" : e.path.substr(0, slash);
        const std::string name = slash == std::string::npos ? e.path : e.path.substr(slash + 1);
        if (e.kind == 'l') {
            links[e.path] = e;
            return true;
        }
        parents[dir][name] = std::string(e.kind == 'd' ? "FType.DIRECTORY" : "FType.FILE") + "|" +
                             (e.checked_out ? "true" : "false") + "|" + e.oid;
        return true;
    });
    // A link is described by what it leads to, when the area holds that.
    for (const auto& [path, e] : links) {
        const size_t slash = path.rfind('/');
        const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash);
        const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        const std::string target =
            fs::path(dir.empty() ? e.target : dir + "/" + e.target).lexically_normal().string();
        Elem t;
        if (area.lookup(target, &t))
            parents[dir][name] = std::string(t.kind == 'd' ? "FType.DIRECTORY" : "FType.FILE") +
                                 "|" + (t.checked_out ? "true" : "false") + "|" + t.oid;
    }
    return parents;
}

// The files of the area that do not hold what the index says (checked-out files hold the
// user's work and are not compared), each printed; their number.
int report_changed_files(CopyArea& area) {
    int changed = 0;
    area.each("", [&](const Elem& e) {
        if (e.checked_out) return true;
        const std::string abs = area.abs(e.path);
        struct stat st;
        if (lstat(abs.c_str(), &st) != 0) {
            printf("missing      %s\n", e.path.c_str());
            ++changed;
        } else if (!file_matches(abs, e)) {
            printf("hijacked     %s\n", e.path.c_str());
            ++changed;
        }
        return true;
    });
    return changed;
}

int cmd_verify(const Args& args) {
    Options o(args, {}, {});
    if (!o.error.empty() || !o.operands.empty()) return usage("verify takes no operands", "verify");
    Session s;
    if (!s.open_area(".")) return failed(s.error);
    const int changed = report_changed_files(*s.area);
    const auto state = canonical_state(*s.area);
    std::map<std::string, std::string> mine;  // directory -> digest
    std::string text;
    for (const auto& [dir, children] : state) {
        std::string lines;
        for (const auto& [name, desc] : children) lines += name + "|" + desc + "\n";
        mine[dir] = sha256_hex(lines);
        text += dir + " " + mine[dir] + "\n";
    }
    std::string packed;
    std::string bogus, missing;
    CallResult r = s.channel->call(
        "validate_copy_area_state_rpc",
        rpc_args({{"ViewUuid", s.view_uuid}, {"ViewStateDigest", sha256_hex(text)}}), [&](Part& p) {
            if (p.name() == "DetailedViewStateDigest") packed = p.content;
            if (p.name() == "BogusNonFrozenCheckouts") bogus = p.content;
            if (p.name() == "MissingNonFrozenCheckouts") missing = p.content;
            return true;
        });
    if (!r.ok) return failed(r.message());
    if (packed.empty() && bogus.empty() && missing.empty()) {
        if (changed > 0)
            return failed("the files above do not hold the versions the copy area records");
        printf("The copy area agrees with the server.\n");
        return kOk;
    }
    // Where the two disagree: the directories whose digests differ, then their objects.
    std::string theirs_text;
    if (!packed.empty()) {
        z_stream z{};
        inflateInit2(&z, 16 + MAX_WBITS);
        z.next_in = reinterpret_cast<Bytef*>(packed.data());
        z.avail_in = static_cast<uInt>(packed.size());
        char buf[65536];
        int rc = Z_OK;
        while (rc == Z_OK) {
            z.next_out = reinterpret_cast<Bytef*>(buf);
            z.avail_out = sizeof buf;
            rc = inflate(&z, Z_NO_FLUSH);
            theirs_text.append(buf, sizeof buf - z.avail_out);
        }
        inflateEnd(&z);
        if (rc != Z_STREAM_END) return failed("the server's directory digests are damaged");
    }
    std::map<std::string, std::string> theirs;
    std::istringstream lines(theirs_text);
    for (std::string line; std::getline(lines, line);) {
        const size_t sp = line.rfind(' ');
        if (sp != std::string::npos) theirs[line.substr(0, sp)] = line.substr(sp + 1);
    }
    std::set<std::string> dirs;
    for (const auto& [dir, d] : mine)
        if (!theirs.count(dir) || theirs[dir] != d) dirs.insert(dir);
    for (const auto& [dir, d] : theirs)
        if (!mine.count(dir)) dirs.insert(dir);
    for (const std::string& dir : dirs) {
        ArgList a = {{"ViewUuid", s.view_uuid}, {"ViewRelPname", dir}};
        std::string frozen;
        CallResult f = s.channel->call("fetch_frozen_state_rpc", rpc_args(a), [&](Part& p) {
            if (p.name() == "FrozenObjectsStates") frozen = p.content;
            return true;
        });
        if (!f.ok) return failed(f.message());
        std::map<std::string, std::string> server_objs;
        std::istringstream in(frozen);
        for (std::string line; std::getline(in, line);) {
            const size_t sp = line.rfind(' ');
            if (sp == std::string::npos) continue;
            const std::string path = line.substr(0, sp);
            server_objs[path.substr(path.rfind('/') == std::string::npos ? 0
                                                                         : path.rfind('/') + 1)] =
                line.substr(sp + 1);
        }
        auto mine_dir = state.find(dir);
        std::set<std::string> names;
        for (const auto& [n, d] : server_objs) names.insert(n);
        if (mine_dir != state.end())
            for (const auto& [n, d] : mine_dir->second) names.insert(n);
        for (const std::string& n : names) {
            const std::string path = dir.empty() ? n : dir + "/" + n;
            const bool here = mine_dir != state.end() && mine_dir->second.count(n);
            if (!server_objs.count(n))
                printf("only here    %s\n", path.c_str());
            else if (!here)
                printf("only there   %s\n", path.c_str());
            else if (server_objs[n] != mine_dir->second.at(n))
                printf("differs      %s\n", path.c_str());
        }
    }
    std::istringstream b(bogus), m(missing);
    for (std::string line; std::getline(b, line);)
        printf("not checked out on the server  %s\n", line.c_str());
    for (std::string line; std::getline(m, line);)
        printf("checked out, not here          %s\n", line.c_str());
    return failed("the copy area does not agree with the server: run `vdweb update`");
}

int cmd_status(const Args& args) {
    Options o(args, {}, {});
    if (!o.error.empty() || o.operands.size() > 1) return usage("status takes one path", "status");
    std::string error;
    auto area = CopyArea::find(o.operands.empty() ? "." : o.operands[0], &error);
    if (!area) return failed(error);
    std::string rel;
    if (!area->relative(o.operands.empty() ? "." : o.operands[0], &rel))
        return failed("not inside the copy area");
    // The elements the area holds, then whatever else is on disk.
    std::string last_missing;
    area->each(rel, [&](const Elem& e) {
        const std::string abs = area->abs(e.path);
        struct stat st;
        if (lstat(abs.c_str(), &st) != 0) {
            printf("missing     %s\n", e.path.c_str());
        } else if (e.checked_out) {
            printf("checkedout  %s\n", e.path.c_str());
        } else if (!file_matches(abs, e)) {
            printf("hijacked    %s\n", e.path.c_str());
        }
        return true;
    });
    std::error_code ec;
    const fs::path start = area->abs(rel);
    for (auto it = fs::recursive_directory_iterator(
             start, fs::directory_options::skip_permission_denied, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (ec) break;
        const std::string abs = it->path().string();
        std::string r = abs.substr(area->root().size() + 1);
        if (r == ".vdweb") {
            it.disable_recursion_pending();
            continue;
        }
        Elem e;
        if (area->lookup(r, &e)) continue;
        if (it->path().filename().string().rfind(kTempPrefix, 0) == 0) continue;
        // Directories on the way to the VOBs are the area's own, not view-private.
        bool holds = false;
        if (it->is_directory(ec))
            area->each(r, [&](const Elem&) {
                holds = true;
                return false;
            });
        if (holds) continue;
        printf("private     %s\n", r.c_str());
        if (it->is_directory(ec)) it.disable_recursion_pending();
    }
    for (const std::string& path : uncertain(*area))
        printf("A command on %s did not finish: run `vdweb update`.\n", path.c_str());
    if (area->update_running())
        printf("An update is running.\n");
    else if (update_unfinished(area->get("session_state")))
        printf("An update did not finish: run `vdweb update`.\n");
    return kOk;
}

const std::vector<Command> kCommands = {
    {"login", nullptr, cmd_login, "vdweb login URL [--user NAME]", "log in to a server",
     "Checks the credentials with the server at URL (the CGI's address, for example\n"
     "http://127.0.0.1:8080/vdweb) and remembers the server and the user. The password comes\n"
     "from VDWEB_PASSWORD or a prompt; it is kept in the kernel's user keyring for 8 hours,\n"
     "never on disk. Without --user the client works without credentials, where the site\n"
     "allows it.\n"},
    {"logout", nullptr, cmd_logout, "vdweb logout", "forget the server and the password",
     "Forgets the remembered server, user and password.\n"},
    {"mkview", nullptr, cmd_mkview, "vdweb mkview TAG DIR [--load PATH ...]",
     "make a web view and its copy area",
     "Makes the web view TAG and the copy area DIR, sets the view's load rules (one per\n"
     "--load, a VOB pathname such as /vobs/demo) and fetches what they load into DIR.\n"},
    {"update", "up", cmd_update, "vdweb update [PATH ...]", "bring the copy area up to date",
     "Fetches what changed in the view (below PATH when given), writes it into the copy area\n"
     "and tells the server what was written. Hijacked files are kept as they are. Ctrl-C\n"
     "cancels the update and leaves the area consistent; an update that was interrupted is\n"
     "finished by the next one.\n"},
    {"checkout", "co", cmd_checkout, "vdweb checkout [-c COMMENT] [--unreserved] PATH ...",
     "check elements out",
     "Checks the elements out (reserved unless --unreserved); their files become writable.\n"},
    {"checkin", "ci", cmd_checkin, "vdweb checkin [-c COMMENT] [--identical] PATH ...",
     "check elements in",
     "Checks the files in with their contents in the copy area. Several files are checked\n"
     "in atomically: all of them, or none. Directories follow the files. Without -c the\n"
     "checkout's comment is kept.\n"},
    {"uncheckout", "unco", cmd_uncheckout, "vdweb uncheckout [--rm] PATH ...", "cancel checkouts",
     "Cancels the checkouts and restores the versions they were made from. A file changed\n"
     "in the checkout is kept as NAME.keep unless --rm.\n"},
    {"mkelem", nullptr, cmd_mkelem, "vdweb mkelem [-c COMMENT] [--ci] PATH ...",
     "make new elements from files or directories",
     "Makes elements of the files and directories (their directory must be checked out).\n"
     "They stay checked out unless --ci.\n"},
    {"mv", nullptr, cmd_mv, "vdweb mv [-c COMMENT] SOURCE TARGET", "move or rename an element",
     "Moves an element; both directories must be checked out.\n"},
    {"rm", nullptr, cmd_rm, "vdweb rm [-c COMMENT] PATH ...", "remove names from directories",
     "Removes the elements' names from their checked-out directories.\n"},
    {"ls", nullptr, cmd_ls, "vdweb ls [PATH ...]", "list elements and their versions",
     "Lists the elements of the directories (or the elements named) with the version the\n"
     "area holds and the rule that selected it.\n"},
    {"verify", nullptr, cmd_verify, "vdweb verify", "check the copy area against the server",
     "Checks that each file not checked out holds the version the copy area records (its\n"
     "contents are read where its status cannot tell), and compares what the copy area's\n"
     "index holds (each element's version and checkout) with the server's record of the\n"
     "area by one digest; names the files, directories and elements that disagree.\n"},
    {"status", "st", cmd_status, "vdweb status [PATH]", "show what is changed in the area",
     "Lists checked-out, hijacked, missing and view-private files of the copy area.\n"},
    {"cat", nullptr, cmd_cat, "vdweb cat NAME[@@VERSION]", "print a version's contents",
     "Writes the contents of a version to standard output: PATH@@/main/3 for a version of an\n"
     "element of the copy area, PATH for the version the view selects, or a VOB pathname\n"
     "such as /vobs/demo/README@@/main/1.\n"},
    {"diff", nullptr, cmd_diff, "vdweb diff NAME@@VERSION [NAME@@VERSION]", "compare two versions",
     "Compares two versions of an element (a file or a directory), or one version with its\n"
     "predecessor: lines both hold are shown indented, the first version's own with '- '\n"
     "and the second's with '+ '. Exit status 1 when they differ, as diff(1) does.\n"},
    {"history", "log", cmd_history, "vdweb history PATH", "show an element's history",
     "Lists the events of an element, newest first, with their comments.\n"},
    {"label", nullptr, cmd_label,
     "vdweb label [-c COMMENT] [--replace] [--version V] LABEL PATH ...",
     "label the versions of elements",
     "Attaches LABEL (a label type of the elements' VOB) to the version the view selects,\n"
     "or to version V; --replace moves a label already on another version.\n"},
    {"vdtool", nullptr, cmd_vdtool, "vdweb vdtool COMMAND [ARG ...]",
     "run an administration command on the server",
     "Runs one vdtool command on the server (the commands the server admits: listing,\n"
     "describing, types, labels, attributes, locks, change management ...) and prints its\n"
     "output. Inside a copy area it runs in the area's view, and what the command changed\n"
     "there is brought into the area.\n"},
    {"lsvob", nullptr, cmd_lsvob, "vdweb lsvob [FILTER]", "list the server's VOBs",
     "Lists the VOBs whose tag matches FILTER (default: all).\n"},
    {"lsview", nullptr, cmd_lsview, "vdweb lsview [--all]", "list views",
     "Lists the server's web views (all views with --all).\n"},
};

}  // namespace

const std::vector<Command>& commands() {
    return kCommands;
}

const Command* find_command(const std::string& name) {
    for (const Command& c : kCommands)
        if (name == c.name || (c.alias && name == c.alias)) return &c;
    return nullptr;
}

}  // namespace client
