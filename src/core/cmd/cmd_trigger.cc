// Trigger programs: started without a shell, with the operation in a clean environment, never
// as root; their output captured, the trigger-action listener served while they run.
#include "core/cmd/cmd_trigger.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "core/cmd/cmd_internal.h"
#include "core/imsg/imsg.h"
#include "core/vob/vob.h"
#include "core/vob/vob_cb.h"
#include "core/vob/vob_obj.h"
#include "core/vob/vob_store.h"

namespace {

const char* const kOps[] = {"checkout", "checkin", "uncheckout", "mkelem", "rmname", "mklabel"};

// Milliseconds between looks for a message from a running trigger program.
constexpr int kLookMs = 20;

// Output beyond this is dropped: a trigger's message is a few lines.
constexpr size_t kOutputMax = 64 * 1024;

bool fires_on(const vob_store_trigger_t& t, const cmd_trigger_event& e, bool pre) {
    if (t.pre != pre) return false;
    if (!t.eltype.empty() && t.eltype != e.eltype) return false;
    std::istringstream ops(t.ops);
    std::string op;
    while (ops >> op)
        if (op == e.op) return true;
    return false;
}

// Variables a trigger program inherits from the server's own environment: where the site
// is, the channel vdprompt answers through, and the locale. Nothing else of the process
// (credentials, configuration, the request's CGI variables) reaches the program.
const char* const kInherited[] = {
    "VERDANE_HOME", "IREQ_REQUEST_FILENAME", "TMPDIR", "LANG", "LC_ALL", "TZ"};

// The search path of trigger programs: the system's directories and the product's tools.
std::string trigger_path() {
    return std::string("/usr/local/bin:/usr/bin:/bin:") + tbs_product_tool_dir();
}

std::vector<std::string> trigger_environment(const vob_store_trigger_t& t, const cmd_ctx& ctx,
                                             bool pre, const cmd_trigger_event& e) {
    std::vector<std::string> env;
    for (const char* name : kInherited)
        if (const char* value = getenv(name)) env.push_back(std::string(name) + "=" + value);
    env.push_back("PATH=" + trigger_path());
    env.push_back(std::string("VD_OP_KIND=") + e.op);
    env.push_back(std::string("VD_PHASE=") + (pre ? "pre" : "post"));
    env.push_back("VD_PNAME=" + e.pname);
    env.push_back("VD_ID=" + e.version);
    env.push_back("VD_USER=" + ctx.user);
    env.push_back("VD_COMMENT=" + e.comment);
    env.push_back("VD_ELTYPE=" + e.eltype);
    env.push_back("VD_TRTYPE=" + t.name);
    env.push_back("VD_VOB=" + e.vob_tag);
    return env;
}

// The value of `name` in an environment list, "" when absent.
std::string env_value(const std::vector<std::string>& env, const std::string& name) {
    for (const std::string& e : env)
        if (e.size() > name.size() && e.compare(0, name.size(), name) == 0 && e[name.size()] == '=')
            return e.substr(name.size() + 1);
    return {};
}

bool var_char(char c) {
    return isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// Replaces $VD_NAME and ${VD_NAME} in one word by the operation's values. Only the VD_
// variables are expanded, and a value stays inside its word: the text never meets a shell.
std::string expand_word(const std::string& word, const std::vector<std::string>& env) {
    std::string out;
    for (size_t i = 0; i < word.size();) {
        const bool braced = word.compare(i, 5, "${VD_") == 0;
        if (!braced && word.compare(i, 4, "$VD_") != 0) {
            out += word[i++];
            continue;
        }
        size_t begin = i + (braced ? 2 : 1), end = begin;
        while (end < word.size() && var_char(word[end])) ++end;
        if (braced && (end >= word.size() || word[end] != '}')) {
            out += word[i++];
            continue;
        }
        out += env_value(env, word.substr(begin, end - begin));
        i = end + (braced ? 1 : 0);
    }
    return out;
}

}  // namespace

tbs_status_t cmd_trigger_split(const std::string& text, std::vector<std::string>* words) {
    words->clear();
    std::string word;
    bool in_word = false;
    char quote = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quote) {
            if (c == quote) {
                quote = 0;
            } else if (c == '\\' && quote == '"' && i + 1 < text.size() &&
                       (text[i + 1] == '"' || text[i + 1] == '\\')) {
                word += text[++i];
            } else {
                word += c;
            }
        } else if (c == '\'' || c == '"') {
            quote = c;
            in_word = true;
        } else if (c == '\\' && i + 1 < text.size()) {
            word += text[++i];
            in_word = true;
        } else if (c == ' ' || c == '\t' || c == '\n') {
            if (in_word) words->push_back(word);
            word.clear();
            in_word = false;
        } else {
            word += c;
            in_word = true;
        }
    }
    if (quote) return TBS_ST_BAD_REQUEST;
    if (in_word) words->push_back(word);
    return words->empty() ? static_cast<tbs_status_t>(TBS_ST_BAD_REQUEST) : TBS_ST_OK;
}

namespace {

// Tells the listener, when one is registered, what the trigger program is doing.
void tell_listener(const vob_cb_trig_action_listener_t& l, bool have, int action,
                   const std::string& channel) {
    if (have && l.proc) l.proc(action, channel.c_str());
}

// A program a root process starts runs as another account, which cannot use the site's
// temporary directory (nor, often, reach it): its questions go through a directory of its
// own in the system's temporary directory, which the root process reads and answers in
// (and removes afterwards).
struct Channel {
    std::string dir;   // empty: the listener's own file is the channel
    std::string file;  // where the program leaves its messages
    ~Channel() {
        if (dir.empty()) return;
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

bool private_channel(const vob_cb_trig_action_listener_t& l, uid_t uid, gid_t gid, Channel* c) {
    std::string tmpl = VOB_CB_TRIGGER_CHANNEL_DIR "XXXXXX";
    static_assert(VOB_CB_TRIGGER_CHANNEL_DIR_RANDOM == 6, "mkdtemp draws six characters");
    if (!mkdtemp(tmpl.data())) return false;
    c->dir = tmpl;
    if (chown(c->dir.c_str(), uid, gid) != 0) return false;
    const size_t slash = l.filename.find_last_of('/');
    c->file =
        c->dir + "/" + (slash == std::string::npos ? l.filename : l.filename.substr(slash + 1));
    return true;
}

// Points the program's channel variables at its own directory.
void use_channel(const Channel& c, std::vector<std::string>* env) {
    for (std::string& e : *env)
        if (e.compare(0, 22, "IREQ_REQUEST_FILENAME=") == 0) e = "IREQ_REQUEST_FILENAME=" + c.file;
    env->push_back("VERDANE_TMP=" + c.dir);
}

// Who a trigger started by a root process runs as: the acting user, or nobody.
void trigger_account(const cmd_ctx& ctx, uid_t* uid, gid_t* gid) {
    *uid = ctx.who.uid;
    *gid = ctx.who.gid;
    if (*uid != 0) return;
    struct passwd pw, *res = nullptr;
    char buf[4096];
    const bool found = getpwnam_r("nobody", &pw, buf, sizeof buf, &res) == 0 && res;
    *uid = found ? res->pw_uid : 65534;
    *gid = found ? res->pw_gid : 65534;
}

// Runs `file` with `argv` and `envp`, looked up in `path` when it names no directory.
// Returns only when nothing could be run.
void execvpe_in(const char* file, char* const argv[], char* const envp[], const char* path) {
    if (strchr(file, '/')) {
        execve(file, argv, envp);
        return;
    }
    char full[4096];
    for (const char* dir = path; *dir;) {
        const char* end = strchrnul(dir, ':');
        const int n =
            snprintf(full, sizeof full, "%.*s/%s", static_cast<int>(end - dir), dir, file);
        if (n > 0 && static_cast<size_t>(n) < sizeof full && end > dir) execve(full, argv, envp);
        dir = *end ? end + 1 : end;
    }
}

// Runs one trigger program to its end: its exit status in `*code` (-1 when a signal ended
// it) and its output in `*output`.
tbs_status_t run_program(const std::string& command, const std::vector<std::string>& env_text,
                         const cmd_ctx& ctx, int* code, std::string* output) {
    std::vector<std::string> words;
    if (cmd_trigger_split(command, &words) != TBS_ST_OK) {
        *output = "The trigger's program \"" + command + "\" cannot be read as a command.\n";
        *code = 127;
        return TBS_ST_OK;
    }
    for (std::string& w : words) w = expand_word(w, env_text);
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    // Everything the child needs is ready before the fork: after it, only calls that are
    // safe in the child of a process that may have threads.
    const std::string path = trigger_path();
    uid_t run_uid = 0;
    gid_t run_gid = 0;
    const bool drop_root = geteuid() == 0;
    if (drop_root) trigger_account(ctx, &run_uid, &run_gid);
    vob_cb_trig_action_listener_t listener;
    bool have = vob_cb_trig_action_listener_get(&listener);
    Channel own;
    std::vector<std::string> env_final = env_text;
    if (have && drop_root) {
        if (private_channel(listener, run_uid, run_gid, &own))
            use_channel(own, &env_final);
        else
            have = false;  // the program's questions get their defaults
    }
    if (!have)
        for (std::string& e : env_final)
            if (e.compare(0, 22, "IREQ_REQUEST_FILENAME=") == 0) e = "IREQ_REQUEST_FILENAME=";
    const std::string channel = own.dir.empty() ? listener.filename : own.file;
    std::vector<char*> envp;
    for (const std::string& e : env_final) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return tbs_errno2status(errno);
    tell_listener(listener, have, VOB_CB_TRIG_ACTION_BEGIN, channel);
    pid_t pid = fork();
    if (pid < 0) {
        int err = errno;
        close(out[0]);
        close(out[1]);
        return tbs_errno2status(err);
    }
    if (pid == 0) {
        int null = open("/dev/null", O_RDONLY);
        if (null < 0 || dup2(null, 0) < 0 || dup2(out[1], 1) < 0 || dup2(out[1], 2) < 0) _exit(127);
        signal(SIGPIPE, SIG_DFL);
        close_range(3, ~0U, 0);
        // A trigger never runs as root: a root process (vdtool on a site root owns) runs it
        // as the acting user, or as nobody when that is root too.
        if (drop_root && (setgroups(0, nullptr) != 0 || setgid(run_gid) != 0 ||
                          setuid(run_uid) != 0 || setuid(0) == 0))
            _exit(126);
        execvpe_in(argv[0], argv.data(), envp.data(), path.c_str());
        _exit(127);
    }
    close(out[1]);
    // The registration's value is the longest wait between looks for a message; while a
    // trigger program runs the core looks more often, since a question waits on it.
    const int poll_ms =
        have && listener.poll_ms > 0 && listener.poll_ms < kLookMs ? listener.poll_ms : kLookMs;
    char buf[4096];
    bool open_out = true;
    int status = 0;
    for (;;) {
        if (open_out) {
            pollfd p{out[0], POLLIN, 0};
            int ready = poll(&p, 1, poll_ms);
            if (ready > 0) {
                ssize_t n = read(out[0], buf, sizeof buf);
                if (n > 0 && output->size() < kOutputMax)
                    output->append(buf,
                                   std::min(static_cast<size_t>(n), kOutputMax - output->size()));
                if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) open_out = false;
            }
        } else {
            usleep(static_cast<useconds_t>(poll_ms) * 1000);
        }
        // A message the program left for the remote user goes out while it waits.
        if (have && access(channel.c_str(), F_OK) == 0)
            tell_listener(listener, have, VOB_CB_TRIG_ACTION_MESSAGE, channel);
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid && !open_out) break;
        if (done == pid) {
            // Gone, but its output may still be in the pipe (or held by a child it left).
            ssize_t n;
            while ((n = read(out[0], buf, sizeof buf)) > 0)
                if (output->size() < kOutputMax)
                    output->append(buf,
                                   std::min(static_cast<size_t>(n), kOutputMax - output->size()));
            break;
        }
    }
    close(out[0]);
    tell_listener(listener, have, VOB_CB_TRIG_ACTION_END, channel);
    *code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return TBS_ST_OK;
}

}  // namespace

cmd_trigger_gate cmd_checkout_gate(vob_t* vob, const cmd_ctx& ctx, int64_t element) {
    return [vob, &ctx, element]() -> tbs_status_t {
        vob_checkout_info_t co;
        if (vob_store_find_checkout(*vob->db, element, ctx.view_text, &co) != TBS_ST_OK)
            return TBS_ST_NOT_CHECKED_OUT;
        return cmd_check_checkout_change(vob, ctx, co);
    };
}

bool cmd_trigger_op_known(const std::string& name) {
    for (const char* op : kOps)
        if (name == op) return true;
    return false;
}

namespace {

tbs_status_t fire(vob_t* vob, const cmd_ctx& ctx, bool pre, const cmd_trigger_event& event,
                  const std::vector<vob_store_trigger_t>& triggers, const cmd_trigger_gate& gate) {
    tbs_status_t st = TBS_ST_OK;
    bool gated = false;
    for (const vob_store_trigger_t& t : triggers) {
        if (!fires_on(t, event, pre)) continue;
        int code = 0;
        std::string output;
        if (pre && !gated) {
            // The operation's own permission and lock checks come before any program runs.
            if (gate && (st = gate()) != TBS_ST_OK) return st;
            gated = true;
        }
        st = run_program(t.command, trigger_environment(t, ctx, pre, event), ctx, &code, &output);
        if (st == TBS_ST_OK && code == 0) continue;
        if (st == TBS_ST_OK && !output.empty() && output.back() != '\n') output += '\n';
        if (!pre) {
            imsg_warning("Post-operation trigger \"%s\" failed on \"%s\".\n%s", t.name.c_str(),
                         event.pname.c_str(), output.c_str());
            continue;
        }
        imsg_error("Trigger \"%s\" refused %s of \"%s\".\n%s", t.name.c_str(), event.op,
                   event.pname.c_str(), output.c_str());
        return TBS_ST_TRIGGER_FAILED;
    }
    (void)vob;
    return TBS_ST_OK;
}

}  // namespace

tbs_status_t cmd_fire_triggers(vob_t* vob, const cmd_ctx& ctx, bool pre,
                               const cmd_trigger_event& event, const cmd_trigger_gate& gate) {
    std::vector<vob_store_trigger_t> triggers;
    tbs_status_t st = vob_store_triggers(*vob->db, &triggers);
    return st != TBS_ST_OK ? st : fire(vob, ctx, pre, event, triggers, gate);
}

tbs_status_t cmd_fire_triggers_on(vob_t* vob, const cmd_ctx& ctx, bool pre, const char* op,
                                  const std::string& pname, int64_t element, int64_t version,
                                  const std::string& comment, const cmd_trigger_gate& gate) {
    std::vector<vob_store_trigger_t> triggers;
    tbs_status_t st = vob_store_triggers(*vob->db, &triggers);
    if (st != TBS_ST_OK || triggers.empty()) return st;
    cmd_trigger_event e;
    e.op = op;
    e.pname = pname;
    e.comment = comment;
    e.vob_tag = vob->tag;
    int64_t eltype = 0;
    bool is_dir = false;
    int64_t main_branch = 0;
    vob_type_info_t type;
    if (element != 0 &&
        vob_store_get_element(*vob->db, element, &eltype, &is_dir, &main_branch) == TBS_ST_OK &&
        vob_type_get(vob, eltype, &type) == TBS_ST_OK)
        e.eltype = type.name;
    if (version != 0) e.version = cmd_idstr(vob, version);
    return fire(vob, ctx, pre, e, triggers, gate);
}
