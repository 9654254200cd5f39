// Trace scopes, trace lines and the per-process trace file.
#include "foundation/vdw_trace.h"

#include <fcntl.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

#include "core/imsg/imsg.h"
#include "core/tbs/tbs.h"
#include "core/util/fileutl.h"

bool VDW_Trace::tracing_on = false;
int VDW_Trace::trace_level = 0;
char VDW_Trace::trace_subsys[BUF_SIZE] = "";
char VDW_Trace::CURR_SERVER_NAME[BUF_SIZE] = "unknown";
int VDW_Trace::trace_fd = -1;
int VDW_Trace::trace_session_id = 0;
int VDW_Trace::trace_pid = 0;
char VDW_Trace::trace_username[BUF_SIZE] = "";
char VDW_Trace::trace_file[BUF_SIZE] = "";

namespace {

const char kEntering[] = "Entering";
const char kExiting[] = "Exiting";

struct FreeDeleter {
    void operator()(char* p) const { free(p); }
};

const char* or_empty(const char* s) {
    return s ? s : "";
}

// Copies `src` into a BUF_SIZE buffer; false (and `dst` untouched) when it does not fit.
bool copy_bounded(char* dst, const char* src) {
    size_t len = strlen(src);
    if (len >= VDW_Trace::BUF_SIZE) return false;
    memcpy(dst, src, len + 1);
    return true;
}

// A name that becomes one path component: never "." or "..", never a "/".
bool is_single_component(const char* name) {
    return strchr(name, '/') == nullptr && strcmp(name, ".") != 0 && strcmp(name, "..") != 0;
}

// Tracing must not disturb the errno its caller is about to report.
class ErrnoKeeper {
public:
    ErrnoKeeper() : saved_(errno) {}
    ~ErrnoKeeper() { errno = saved_; }

private:
    int saved_;
};

}  // namespace

VDW_Trace::VDW_Trace(const char* component, const char* class_name)
    : component_(component), class_name_(class_name), method_(nullptr) {}

VDW_Trace::VDW_Trace(const char* component, const char* class_name, const char* method)
    : component_(component), class_name_(class_name), method_(method) {
    if (method_ && shouldTraceEntryExit()) traceEntry();
}

VDW_Trace::~VDW_Trace() {
    if (method_ && shouldTraceEntryExit()) traceExit();
}

bool VDW_Trace::shouldTrace(int level) const {
    return imsg_get_desired_verbosity() >= level && imsg_should_trace(or_empty(component_), level);
}

void VDW_Trace::writeTrace(const char* format, ...) const {
    va_list ap;
    va_start(ap, format);
    vwrite(method_, format, ap);
    va_end(ap);
}

void VDW_Trace::writeTrace(int level, const char* format, ...) const {
    if (!shouldTrace(level)) return;
    va_list ap;
    va_start(ap, format);
    vwrite(method_, format, ap);
    va_end(ap);
}

void VDW_Trace::writeTrace_m(const char* method, const char* format, ...) const {
    va_list ap;
    va_start(ap, format);
    vwrite(method, format, ap);
    va_end(ap);
}

void VDW_Trace::traceMsg(const char* method, const char* text) const {
    write_line(method, text);
}

void VDW_Trace::sendTrace(const char* method, const char* text) const {
    write_line(method, text);
}

void VDW_Trace::traceEntry() const {
    write_line(method_, kEntering);
}

void VDW_Trace::traceExit() const {
    write_line(method_, kExiting);
}

void VDW_Trace::vwrite(const char* method, const char* format, va_list ap) const {
    // vsnprintf cuts a longer message to MAX_MESSAGE - 1 bytes.
    char message[MAX_MESSAGE];
    if (vsnprintf(message, sizeof message, or_empty(format), ap) < 0) return;
    write_line(method, message);
}

void VDW_Trace::write_line(const char* method, const char* message) const {
    ErrnoKeeper keep_errno;
    struct timeval now;
    gettimeofday(&now, nullptr);
    time_t secs = now.tv_sec;
    struct tm local;
    localtime_r(&secs, &local);
    char date[64];
    if (strftime(date, sizeof date, "%b %d,%Y %H:%M:%S", &local) == 0) return;
    char stamp[80];
    snprintf(stamp, sizeof stamp, "%s.%.3d", date, static_cast<int>(now.tv_usec / 1000));

    static const char kLineFormat[] = "%s::%s::%s::%s::%s::%s\n";
    const char* c = or_empty(component_);
    const char* cls = or_empty(class_name_);
    const char* m = or_empty(method);
    const char* text = or_empty(message);
    // Nearly every line fits the stack buffer; a longer one gets storage sized to fit.
    char small[4096];
    int len = snprintf(small, sizeof small, kLineFormat, stamp, "TRACE", c, cls, m, text);
    if (len < 0) return;
    if (static_cast<size_t>(len) < sizeof small) {
        write_to_trace_file(small);
        return;
    }
    std::unique_ptr<char, FreeDeleter> line(static_cast<char*>(malloc(len + 1)));
    if (!line) return;  // no storage: the line is dropped
    snprintf(line.get(), len + 1, kLineFormat, stamp, "TRACE", c, cls, m, text);
    write_to_trace_file(line.get());
}

bool VDW_Trace::tracingOn() {
    return tracing_on;
}

bool VDW_Trace::set_trace(const char* subsys, int level) {
    if (!copy_bounded(trace_subsys, or_empty(subsys))) return false;
    trace_level = level;
    tracing_on = level > 0 && trace_subsys[0] != '\0';
    imsg_set_trace_subsys(trace_subsys);
    imsg_set_trace_verbosity(level);
    return true;
}

bool VDW_Trace::setup_trace_file(const char* username, int session_id, int pid) {
    const char* user = or_empty(username);
    if (!is_single_component(user) || strlen(user) >= BUF_SIZE) return false;

    std::string dir = std::string(tbs_product_log_dir()) + "/trace";
    if (*user) dir.append("/").append(user);

    char session_text[32];
    char pid_text[32];
    char time_text[64];
    snprintf(session_text, sizeof session_text, "s%d", session_id);
    snprintf(pid_text, sizeof pid_text, "p%d", pid);
    time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    strftime(time_text, sizeof time_text, "d%y%m%d_t%H%M%S", &local);

    std::string file = dir + "/" + CURR_SERVER_NAME + "_";
    if (*user) file.append(user).append("_");
    file.append(session_text).append("_").append(time_text).append("_").append(pid_text);
    file.append(".log");
    if (file.size() >= BUF_SIZE) return false;

    copy_bounded(trace_username, user);
    trace_session_id = session_id;
    trace_pid = pid;
    copy_bounded(trace_file, file.c_str());
    {
        // Trace lines show what users asked and what the server did for them: the
        // directory is the site account's alone (files 0600 in a 0700 directory). When it
        // cannot be made so, no file is named and lines are dropped; tracing never stops
        // the process.
        ErrnoKeeper keep_errno;
        if (fileutl_private_dir(dir.c_str()) != TBS_ST_OK) trace_file[0] = '\0';
    }
    close_trace_file();
    return true;
}

std::string VDW_Trace::create_trace_filename(const char* suffix) {
    if (trace_pid == 0 || !suffix || !*suffix || strchr(suffix, '/')) return {};
    std::string name =
        std::string(tbs_product_log_dir()) + "/trace/" + CURR_SERVER_NAME + "_" + trace_username;
    if (trace_session_id > 0) name.append("_s").append(std::to_string(trace_session_id));
    name.append("_").append(std::to_string(trace_pid)).append("_").append(suffix).append(".log");
    return name;
}

bool VDW_Trace::set_server_name(const char* name) {
    if (!name || !is_single_component(name)) return false;
    return copy_bounded(CURR_SERVER_NAME, name);
}

bool VDW_Trace::open_trace_file() {
    if (trace_fd >= 0) return true;
    if (trace_file[0] == '\0') return false;
    ErrnoKeeper keep_errno;
    trace_fd = ::open(trace_file, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    return trace_fd >= 0;
}

void VDW_Trace::close_trace_file() {
    if (trace_fd < 0) return;
    ErrnoKeeper keep_errno;
    ::close(trace_fd);
    trace_fd = -1;
}

void VDW_Trace::write_to_trace_file(const char* text) {
    if (!text || !open_trace_file()) return;
    ErrnoKeeper keep_errno;
    size_t len = strlen(text);
    // One write per line: appends of whole lines never interleave.
    ssize_t written;
    do {
        written = ::write(trace_fd, text, len);
    } while (written < 0 && errno == EINTR);
}

void VDW_Trace::runtime_debug(const char*) {}

void VDW_Trace::reset_for_tests() {
    close_trace_file();
    tracing_on = false;
    trace_level = 0;
    trace_subsys[0] = '\0';
    copy_bounded(CURR_SERVER_NAME, "unknown");
    trace_session_id = 0;
    trace_pid = 0;
    trace_username[0] = '\0';
    trace_file[0] = '\0';
    imsg_set_trace_subsys("");
    imsg_set_trace_verbosity(0);
}
