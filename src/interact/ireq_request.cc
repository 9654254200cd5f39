// The interaction channel's requestor, responder and listener.
#include "interact/ireq_request.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/imsg/imsg.h"
#include "core/util/fileutl.h"
#include "core/util/strutl.h"
#include "core/vob/vob_cb.h"
#include "foundation/catalogs/ireq_lib_catalog.h"
#include "foundation/vdw_trace.h"
#include "interact/ireq_file.h"

namespace {

constexpr const char kTraceClass[] = "ireq";

template <typename... Args>
void print_msg(ireq_lib_msg_t msg, Args... args) {
    imsg_print_catalog(IMSG_ERROR, &_ireq_lib_libireq_msg_table, msg, args...);
}

// Debugging aid: a developer who owns the marker file gets each listener start to write
// its process id and pause, so a debugger can attach. The marker must be a regular file
// of this process's own user, so that nobody else can stall the server through it. Both
// files live in the site's own temporary directory: nothing outside the site is ever
// read or removed.
constexpr const char kDebugMarker[] = "listener_start_debug";
constexpr const char kDebugPidFile[] = "request_enable.out";

// `leaf` in the core's temporary directory; false when the name does not fit.
bool debug_path(const char* leaf, char* out, size_t size) {
    return fileutl_join(out, size, fileutl_get_tmpdir(), leaf);
}
constexpr int kDebugPauseSeconds = 30;
// How often a waiting request looks for its answer file.
constexpr int kAnswerPollMs = 20;

// Process-wide state.
struct Requestor {
    ireq_deliver_proc_t proc = nullptr;
    void* data = nullptr;
};
Requestor g_requestor;
ireq_listener_t g_listener{};
char g_request_file[IREQ_REQUEST_FILENAME_SIZE];
// The IREQ_REQUEST_FILENAME entry handed to putenv, which keeps the pointer.
char g_request_file_env[sizeof IREQ_REQUEST_FILENAME_EV + IREQ_REQUEST_FILENAME_SIZE];
int g_sequence = 0;

// The variable's value when it is a whole decimal number within int range.
bool env_int(const char* name, int* value) {
    const char* s = getenv(name);
    if (!s || !*s) return false;
    errno = 0;
    char* end = nullptr;
    long v = strtol(s, &end, 10);
    while (end != s && isspace(static_cast<unsigned char>(*end))) ++end;
    if (end == s || *end || errno || v < INT_MIN || v > INT_MAX) return false;
    *value = static_cast<int>(v);
    return true;
}

// The request file named in the environment, or null when there is none.
const char* request_file_from_env() {
    const char* name = getenv(IREQ_REQUEST_FILENAME_EV);
    if (!name || !*name || strcmp(name, IREQ_REQUEST_FILENAME_NONE) == 0) return nullptr;
    return name;
}

// Puts IREQ_REQUEST_FILENAME=<value> into the environment. The entry is formatted aside
// and copied into the buffer only when it fits, so a failure leaves the old entry whole.
bool set_request_file_env(const char* value) {
    char entry[sizeof g_request_file_env];
    int n = snprintf(entry, sizeof entry, "%s=%s", IREQ_REQUEST_FILENAME_EV, value);
    if (n < 0 || static_cast<size_t>(n) >= sizeof entry) return false;
    memcpy(g_request_file_env, entry, static_cast<size_t>(n) + 1);
    return putenv(g_request_file_env) == 0;
}

// Hands a message text to the remote user: through the in-process procedure, or else
// through the request file the environment names. 0 when handed on.
int deliver(const char* text) {
    if (g_requestor.proc) {
        g_requestor.proc(text, g_requestor.data);
        return 0;
    }
    const char* name = request_file_from_env();
    if (!name || ireq_write_file(name, text) != 0) {
        const char* shown = getenv(IREQ_REQUEST_FILENAME_EV);
        print_msg(IREQ_LIB_WRITE_FILE_FAILED, shown ? shown : "(NULL)");
        return 1;
    }
    return 0;
}

// Removes a message file that has been dealt with.
void discard(const char* path) {
    if (ireq_delete_file(path) != 0) print_msg(IREQ_LIB_DELETE_FILE_FAILED, path);
}

enum class Poll { NONE, GOT, BAD };

// One look for the response file. A file that is there is always removed; an empty or
// unreadable one does not end the wait, one that does not decode or parse does.
Poll poll_response(const char* path, stg_area_t* area, ireq_msg_t** msg) {
    if (!ireq_file_exists(path)) return Poll::NONE;
    stg_scoped_area scratch;
    if (!scratch.get()) return Poll::NONE;
    char* raw = nullptr;
    if (ireq_read_file(path, scratch.get(), &raw) != 0) print_msg(IREQ_LIB_READ_FILE_FAILED, path);
    if (!raw) {
        discard(path);
        return Poll::NONE;
    }
    const size_t size = STRUTL_EXTRACT_TAIL_SIZE(strlen(raw));
    auto* decoded = static_cast<char*>(stg_alloc(scratch.get(), size));
    ireq_msg_t* parsed = decoded && strutl_extract_tail(raw, decoded, size) == TBS_ST_OK
                             ? ireq_msg_from_string(area, decoded)
                             : nullptr;
    discard(path);
    if (!parsed) {
        print_msg(IREQ_LIB_NOT_PARSED);
        return Poll::BAD;
    }
    *msg = parsed;
    return Poll::GOT;
}

enum class Verdict { ANSWER, FAIL, KEEP_WAITING };

// Judges a response to the request with sequence id `seqid`.
Verdict check_response(const ireq_msg_t* msg, const char* seqid) {
    static const char* const kRequired[] = {IREQ_MSG_SEQID, IREQ_MSG_TYPE, IREQ_MSG_VERSION};
    const char* value[3] = {};
    for (int i = 0; i < 3; ++i) {
        if (!ireq_msg_get_element(msg, kRequired[i], &value[i])) {
            print_msg(IREQ_LIB_MISSING_FIELD, kRequired[i]);
            return Verdict::FAIL;
        }
    }
    const char* got_seqid = value[0];
    const char* type = value[1];
    if (strcmp(got_seqid, seqid) != 0) {
        print_msg(IREQ_LIB_WRONG_SEQID, seqid, got_seqid);
        return Verdict::FAIL;
    }
    if (strcmp(type, IREQ_MSG_TYPE_ERROR) == 0) {
        const char* text = nullptr;
        ireq_msg_get_element(msg, IREQ_MSG_ERROR_MESSAGE, &text);
        print_msg(IREQ_LIB_CLIENT_ERROR, text ? text : "()");
        return Verdict::FAIL;
    }
    if (strcmp(type, IREQ_MSG_TYPE_KEEPALIVE) == 0) return Verdict::KEEP_WAITING;
    return Verdict::ANSWER;  // "Message", or a type left to the asker
}

// What one request adds to its message and how long it waits.
struct Exchange {
    char seqid[32];
    char timeout_text[32];
    long long wait_seconds;
    bool keepalive;
    char response_file[IREQ_REQUEST_FILENAME_SIZE];
};

void plan_exchange(int timeout, Exchange* x) {
    snprintf(x->seqid, sizeof x->seqid, "%d:%d", static_cast<int>(getpid()), ++g_sequence);
    int env = 0;
    if (env_int(IREQ_REQUEST_TIMEOUT_EV, &env) && env > 0) timeout = env;
    int delta = 0;
    if (env_int(IREQ_REQUEST_TIMEOUT_DELTA_EV, &env) && env > 0) delta = env;
    if (delta > 0)
        snprintf(x->timeout_text, sizeof x->timeout_text, "%d,%d", timeout, delta);
    else
        snprintf(x->timeout_text, sizeof x->timeout_text, "%d", timeout);
    x->wait_seconds = std::max(0LL, static_cast<long long>(timeout) + 2LL * delta);
    x->keepalive = !(env_int(IREQ_REQUEST_KEEPALIVE_EV, &env) && env == 0);
}

// Waits for the answer to the exchange, sending `keepalive_text` after each round
// without one. Every pass of the inner loop either returns, leaves the round, or sleeps.
int wait_for_response(const Exchange& x, const char* keepalive_text, stg_area_t* area,
                      ireq_msg_t** response) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::seconds(x.wait_seconds);
    for (;;) {
        const auto round_end =
            std::min(Clock::now() + std::chrono::seconds(IREQ_WAIT_ROUND), deadline);
        for (;;) {
            ireq_msg_t* got = nullptr;
            Poll poll = poll_response(x.response_file, area, &got);
            if (poll == Poll::BAD) return 1;
            if (poll == Poll::GOT) {
                Verdict v = check_response(got, x.seqid);
                if (v == Verdict::FAIL) return 1;
                if (v == Verdict::ANSWER) {
                    *response = got;
                    return 0;
                }
            }
            const auto now = Clock::now();
            if (now >= round_end) break;
            // A look costs one stat; looking often keeps an answered question from waiting.
            std::this_thread::sleep_for(std::min<Clock::duration>(
                std::chrono::milliseconds(kAnswerPollMs), round_end - now));
        }
        if (Clock::now() >= deadline) {
            print_msg(IREQ_LIB_TIMED_OUT,
                      static_cast<int>(std::min<long long>(x.wait_seconds, INT_MAX)));
            return 1;
        }
        // A keep-alive that cannot be delivered has been reported; the answer may still come.
        if (x.keepalive) deliver(keepalive_text);
    }
}

// Called by the core for the request file of a trigger action.
int file_callback(int action, const char* filename) {
    VDW_Trace trace(QLMX_COMPONENT, kTraceClass, "file_callback");
    trace.writeTrace(VDW_Trace::TRACE_LEVEL_4,
                     "file_callback: actionFlag= %d Filename = %s (static=%s)", action,
                     filename ? filename : "(NULL)", g_request_file);
    if (!filename || !*filename) return 0;
    switch (action) {
        case VOB_CB_TRIG_ACTION_MESSAGE: {
            if (!ireq_file_exists(filename)) break;
            stg_scoped_area scratch;
            char* text = nullptr;
            if (scratch.get() && ireq_read_file(filename, scratch.get(), &text) != 0)
                print_msg(IREQ_LIB_READ_FILE_FAILED, filename);
            if (text) {
                trace.writeTrace(VDW_Trace::TRACE_LEVEL_4,
                                 "file_callback: Processing message in %s", filename);
                if (g_requestor.proc) g_requestor.proc(text, g_requestor.data);
            }
            discard(filename);
            break;
        }
        case VOB_CB_TRIG_ACTION_BEGIN:
        case VOB_CB_TRIG_ACTION_END:
            if (ireq_file_exists(filename)) discard(filename);
            break;
        default:
            break;
    }
    return 0;
}

void debug_pause_if_asked() {
    char marker[IREQ_REQUEST_FILENAME_SIZE], pid_file[IREQ_REQUEST_FILENAME_SIZE];
    if (!debug_path(kDebugMarker, marker, sizeof marker) ||
        !debug_path(kDebugPidFile, pid_file, sizeof pid_file))
        return;
    struct stat st;
    if (::lstat(marker, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid()) return;
    // Written exclusively after removing what was there, so never through a planted link.
    ::unlink(pid_file);
    int fd = ::open(pid_file, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd >= 0) {
        char line[64];
        int n = snprintf(line, sizeof line, "Process id: %d\n", static_cast<int>(getpid()));
        if (n > 0) fileutl_write_all(fd, line, static_cast<size_t>(n));
        ::close(fd);
    }
    std::this_thread::sleep_for(std::chrono::seconds(kDebugPauseSeconds));
}

}  // namespace

int ireq_request_send(const char* protocol, const char* version, stg_area_t* area,
                      ireq_msg_t* request, ireq_msg_t** response, int timeout) {
    VDW_Trace trace(QLMX_COMPONENT, kTraceClass, "ireq_request_send");
    if (response) *response = nullptr;
    if (!area || !request || !response) return 1;
    trace.writeTrace(VDW_Trace::TRACE_LEVEL_4, "request %s %s", protocol ? protocol : "",
                     version ? version : "");

    Exchange x;
    plan_exchange(timeout, &x);
    if (ireq_temp_filename(x.response_file, sizeof x.response_file) != 0) {
        print_msg(IREQ_LIB_NO_TEMP_NAME);
        return 1;
    }
    // The wait's marker lasts until this function returns, whichever way.
    struct Waiting {
        const char* path;
        int fd;
        ~Waiting() { ireq_wait_end(path, fd); }
    } waiting{x.response_file, ireq_wait_begin(x.response_file)};
    if (waiting.fd < 0) {
        print_msg(IREQ_LIB_NO_TEMP_NAME);
        return 1;
    }
    const char* const added[][2] = {{IREQ_MSG_CONNECTION, x.response_file},
                                    {IREQ_MSG_SEQID, x.seqid},
                                    {IREQ_MSG_TIMEOUT, x.timeout_text}};
    for (const auto& element : added) {
        if (!ireq_msg_add_element(request, element[0], element[1])) {
            print_msg(IREQ_LIB_ADD_ELEMENT_FAILED, element[0]);
            return 1;
        }
    }

    char* text = nullptr;
    if (ireq_msg_to_string(request, area, &text) != 0) {
        print_msg(IREQ_LIB_SERIALIZE_FAILED);
        return 1;
    }
    if (deliver(text) != 0) return 1;

    ireq_msg_t* keepalive =
        ireq_msg_create(area, IREQ_PROTOCOL_KEEPALIVE, IREQ_PROTOCOL_KEEPALIVE_VERSION, 2);
    char* keepalive_text = nullptr;
    if (!keepalive || ireq_msg_to_string(keepalive, area, &keepalive_text) != 0) {
        print_msg(IREQ_LIB_SERIALIZE_FAILED);
        return 1;
    }
    return wait_for_response(x, keepalive_text, area, response);
}

namespace {

bool all_alnum(const char* begin, const char* end) {
    for (const char* p = begin; p < end; ++p)
        if (!isalnum(static_cast<unsigned char>(*p))) return false;
    return begin < end;
}

// Whether `path` has exactly the shape of a name the channel makes: in the site's temporary
// directory, or in the directory of one trigger program's run.
bool channel_name(const char* path) {
    const char* ext = "." IREQ_TEMP_EXT;
    const size_t path_len = strlen(path), ext_len = strlen(ext);
    if (path_len <= ext_len || strcmp(path + path_len - ext_len, ext) != 0) return false;
    const char* end = path + path_len - ext_len;
    const std::string site = std::string(fileutl_get_tmpdir()) + "/" + IREQ_TEMP_PREFIX;
    if (strncmp(path, site.c_str(), site.size()) == 0)
        return path_len > site.size() + ext_len && all_alnum(path + site.size(), end);
    const size_t dir_len = strlen(VOB_CB_TRIGGER_CHANNEL_DIR);
    const size_t leaf_at = dir_len + VOB_CB_TRIGGER_CHANNEL_DIR_RANDOM + 1;
    const size_t prefix_len = strlen(IREQ_TEMP_PREFIX);
    return path_len > leaf_at + prefix_len + ext_len &&
           strncmp(path, VOB_CB_TRIGGER_CHANNEL_DIR, dir_len) == 0 &&
           all_alnum(path + dir_len, path + leaf_at - 1) && path[leaf_at - 1] == '/' &&
           strncmp(path + leaf_at, IREQ_TEMP_PREFIX, prefix_len) == 0 &&
           all_alnum(path + leaf_at + prefix_len, end);
}

}  // namespace

int ireq_response_send(const char* text, const char* path) {
    if (!text || !*text || !path || !*path) return 1;
    // The path comes from the client: accept exactly the shape of a name the channel made.
    const bool ours = channel_name(path);
    // Only a request of this site that is still waiting gets an answer, and no larger than
    // its reader accepts.
    if (!ours || !ireq_is_awaited(path)) {
        print_msg(IREQ_LIB_WRITE_FILE_FAILED, path);
        return 1;
    }
    std::vector<char> encoded(STRUTL_EXTRACT_HEAD_SIZE(strlen(text)));
    if (strutl_extract_head(text, encoded.data(), encoded.size()) != TBS_ST_OK) {
        print_msg(IREQ_LIB_SERIALIZE_FAILED);
        return 1;
    }
    if (strlen(encoded.data()) > IREQ_READ_MAX) {
        print_msg(IREQ_LIB_WRITE_FILE_FAILED, path);
        return 1;
    }
    if (ireq_write_file(path, encoded.data()) != 0) {
        print_msg(IREQ_LIB_WRITE_FILE_FAILED, path);
        return 1;
    }
    return 0;
}

void ireq_requestor_set_callback(ireq_deliver_proc_t proc, void* data) {
    g_requestor.proc = proc;
    g_requestor.data = proc ? data : nullptr;
}

int ireq_listener_start(ireq_deliver_proc_t proc, void* data) {
    VDW_Trace trace(QLMX_COMPONENT, kTraceClass, "ireq_listener_start");
    debug_pause_if_asked();
    char name[IREQ_REQUEST_FILENAME_SIZE];
    if (ireq_temp_filename(name, sizeof name) != 0) {
        print_msg(IREQ_LIB_NO_TEMP_NAME);
        return 1;
    }
    memcpy(g_request_file, name, sizeof g_request_file);
    ireq_requestor_set_callback(proc, data);
    if (vob_cb_trig_action_listener_set(file_callback, g_request_file, IREQ_LISTENER_POLL_VALUE) !=
            TBS_ST_OK ||
        !set_request_file_env(g_request_file)) {
        ireq_listener_stop();
        return 1;
    }
    g_listener.callback = file_callback;
    memcpy(g_listener.filename, g_request_file, sizeof g_listener.filename);
    g_listener.poll_value = IREQ_LISTENER_POLL_VALUE;
    trace.writeTrace(VDW_Trace::TRACE_LEVEL_2, "Request file EV %s set to %s",
                     IREQ_REQUEST_FILENAME_EV, g_request_file);
    char pid_file[IREQ_REQUEST_FILENAME_SIZE];
    if (debug_path(kDebugPidFile, pid_file, sizeof pid_file)) ::unlink(pid_file);
    return 0;
}

void ireq_listener_stop() {
    vob_cb_trig_action_listener_set(nullptr, nullptr, 0);
    ireq_requestor_set_callback(nullptr, nullptr);
    set_request_file_env(IREQ_REQUEST_FILENAME_NONE);
    if (g_request_file[0]) ireq_delete_file(g_request_file);
    g_request_file[0] = '\0';
    g_listener = ireq_listener_t{};
}

int ireq_listener_get_listener(ireq_listener_t* listener) {
    if (!listener) return 1;
    *listener = g_listener;
    return 0;
}

int ireq_status() {
    return request_file_from_env() ? 1 : 0;
}
