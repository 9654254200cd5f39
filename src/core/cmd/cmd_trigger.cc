// Trigger programs: started with the operation in their environment, their output captured,
// the trigger-action listener served while they run.
#include "core/cmd/cmd_trigger.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "core/cmd/cmd_internal.h"
#include "core/imsg/imsg.h"
#include "core/vob/vob.h"
#include "core/vob/vob_cb.h"
#include "core/vob/vob_obj.h"
#include "core/vob/vob_store.h"

extern char** environ;

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

std::vector<std::string> trigger_environment(const vob_store_trigger_t& t, const cmd_ctx& ctx,
                                             bool pre, const cmd_trigger_event& e) {
    std::vector<std::string> env;
    for (char** p = environ; p && *p; ++p)
        if (strncmp(*p, "VD_", 3) != 0) env.emplace_back(*p);
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

// Tells the listener, when one is registered, what the trigger program is doing.
void tell_listener(const vob_cb_trig_action_listener_t& l, bool have, int action) {
    if (have && l.proc) l.proc(action, l.filename.c_str());
}

// Runs one trigger program to its end: its exit status in `*code` (-1 when a signal ended
// it) and its output in `*output`.
tbs_status_t run_program(const std::string& command, const std::vector<std::string>& env_text,
                         int* code, std::string* output) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return tbs_errno2status(errno);
    std::vector<char*> envp;
    for (const std::string& e : env_text) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
    vob_cb_trig_action_listener_t listener;
    const bool have = vob_cb_trig_action_listener_get(&listener);
    tell_listener(listener, have, VOB_CB_TRIG_ACTION_BEGIN);
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
        execve("/bin/sh", const_cast<char* const*>(argv), envp.data());
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
        if (have && access(listener.filename.c_str(), F_OK) == 0)
            tell_listener(listener, have, VOB_CB_TRIG_ACTION_MESSAGE);
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
    tell_listener(listener, have, VOB_CB_TRIG_ACTION_END);
    *code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return TBS_ST_OK;
}

}  // namespace

bool cmd_trigger_op_known(const std::string& name) {
    for (const char* op : kOps)
        if (name == op) return true;
    return false;
}

namespace {

tbs_status_t fire(vob_t* vob, const cmd_ctx& ctx, bool pre, const cmd_trigger_event& event,
                  const std::vector<vob_store_trigger_t>& triggers) {
    tbs_status_t st = TBS_ST_OK;
    for (const vob_store_trigger_t& t : triggers) {
        if (!fires_on(t, event, pre)) continue;
        int code = 0;
        std::string output;
        st = run_program(t.command, trigger_environment(t, ctx, pre, event), &code, &output);
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
                               const cmd_trigger_event& event) {
    std::vector<vob_store_trigger_t> triggers;
    tbs_status_t st = vob_store_triggers(*vob->db, &triggers);
    return st != TBS_ST_OK ? st : fire(vob, ctx, pre, event, triggers);
}

tbs_status_t cmd_fire_triggers_on(vob_t* vob, const cmd_ctx& ctx, bool pre, const char* op,
                                  const std::string& pname, int64_t element, int64_t version,
                                  const std::string& comment) {
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
    return fire(vob, ctx, pre, e, triggers);
}
