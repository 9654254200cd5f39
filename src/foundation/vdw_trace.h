// VDW_Trace: trace scopes and trace lines of the web library.
//
// A VDW_Trace object marks one traced scope (component, class or area, and optionally the
// function). Built with a method name it writes "Entering" on construction and "Exiting"
// on destruction when entry/exit tracing (level 3) is wanted. Code in the scope writes
// formatted lines at a chosen level. Whether a line is wanted is decided by the core's
// message-output settings (`imsg_get_desired_verbosity`, `imsg_should_trace`); with tracing
// off a scope costs those two queries and nothing is formatted or allocated.
//
// Lines go to one trace file per process, named by `setup_trace_file` and opened on the
// first line. Each line is
//     <time>::TRACE::<component>::<class>::<method>::<message>\n
// with the local time as "Mon dd,yyyy hh:mm:ss.mmm", and is written with one `write` call
// so that lines appended to one file by several writers never interleave. Tracing never
// fails an operation: when no file can be opened the line is dropped.
//
// The process-wide state below is kept in fixed buffers on purpose: it is plain data that
// survives static destruction, so exit handlers may still trace.
#ifndef FOUNDATION_VDW_TRACE_H
#define FOUNDATION_VDW_TRACE_H

#include <cstdarg>
#include <cstddef>
#include <string>

// Trace component of everything in this library.
inline constexpr const char QLMX_COMPONENT[] = "QLMX";
// Server name this product uses in trace file names (see `VDW_Trace::set_server_name`).
inline constexpr const char QLMX_SERVER_NAME[] = "qlmx";

class VDW_Trace {
public:
    enum {
        TRACE_LEVEL_0 = 0,
        TRACE_LEVEL_1 = 1,  // normal operation notes
        TRACE_LEVEL_2 = 2,  // details, per-element lines
        TRACE_LEVEL_3 = 3,  // function entry and exit
        TRACE_LEVEL_4 = 4,  // protocol detail
    };
    // A formatted message is cut to MAX_MESSAGE - 1 bytes.
    static constexpr size_t MAX_MESSAGE = 2048;
    // Size of each fixed buffer of the process-wide state (subsystems, user, file name,
    // server name). Longer values are refused, never cut.
    static constexpr size_t BUF_SIZE = 1024;

    // A scope that writes no entry or exit line. The strings must outlive the scope
    // (they are normally literals).
    VDW_Trace(const char* component, const char* class_name);
    // A scope that writes "Entering" now and "Exiting" when it ends, at level 3.
    VDW_Trace(const char* component, const char* class_name, const char* method);
    ~VDW_Trace();
    VDW_Trace(const VDW_Trace&) = delete;
    VDW_Trace& operator=(const VDW_Trace&) = delete;

    // True when the core's verbosity is at least `level` and the core traces this
    // scope's component at that level.
    bool shouldTrace(int level) const;
    bool shouldTraceEntryExit() const { return shouldTrace(TRACE_LEVEL_3); }

    // Formats and writes one line with this scope's method. No level test: callers test
    // `shouldTrace` first.
    void writeTrace(const char* format, ...) const __attribute__((format(printf, 2, 3)));
    // The same after its own `shouldTrace(level)` test; nothing is formatted when the
    // level is not wanted.
    void writeTrace(int level, const char* format, ...) const __attribute__((format(printf, 3, 4)));
    // Like `writeTrace(format, ...)` with another method name.
    void writeTrace_m(const char* method, const char* format, ...) const
        __attribute__((format(printf, 3, 4)));
    // Write `text` unformatted as the message of one line (core trace messages).
    void traceMsg(const char* method, const char* text) const;
    void sendTrace(const char* method, const char* text) const;
    void traceEntry() const;
    void traceExit() const;

    // Process-wide settings.

    // True after `set_trace` with a level above 0 and a non-empty subsystem list.
    static bool tracingOn();
    // Stores the level and the subsystem list ("all" or comma-separated names; null or
    // empty clears it) and hands both to the core. A list of BUF_SIZE bytes or more is
    // refused: false, and nothing changes.
    static bool set_trace(const char* subsys, int level);
    // Names the trace file of this process (below <log dir>/trace, in a directory of the
    // user's when `username` is not empty) and closes any open one; the next line opens
    // the new file, 0600. The directory is made the site account's alone, 0700
    // (fileutl_private_dir); when it cannot be, no file is named. A username that is "."
    // or "..", contains a "/", or does not fit BUF_SIZE is refused (false, and nothing
    // changes), so a name can never lead outside the trace directory.
    static bool setup_trace_file(const char* username, int session_id, int pid);
    // Name of another per-process trace file (e.g. of a helper) with `suffix`:
    //     <log dir>/trace/<server>_<user>[_s<session>]_<pid>_<suffix>.log
    // The empty string before `setup_trace_file` gave a non-zero pid, and for a null or
    // empty suffix or one that contains "/".
    static std::string create_trace_filename(const char* suffix);
    // Replaces the server name of trace file names ("unknown" until set). A name of
    // BUF_SIZE bytes or more, or one containing "/", is refused.
    static bool set_server_name(const char* name);
    // Opens the named trace file for appending unless one is open; false when there is
    // no file name or it cannot be opened.
    static bool open_trace_file();
    static void close_trace_file();
    // Appends `text` with one write; dropped when no file can be opened.
    static void write_to_trace_file(const char* text);
    // A hook for attaching a debugger at a named point; it does nothing.
    static void runtime_debug(const char* label);

    // Read-only views of the process-wide state.
    static int get_trace_level() { return trace_level; }
    static const char* get_trace_subsys() { return trace_subsys; }
    static const char* get_trace_file() { return trace_file; }
    static const char* get_trace_username() { return trace_username; }
    static const char* get_server_name() { return CURR_SERVER_NAME; }
    static int get_trace_session_id() { return trace_session_id; }
    static int get_trace_pid() { return trace_pid; }

    // Closes the file and returns every setting to its initial value, the core's trace
    // settings included (for tests).
    static void reset_for_tests();

private:
    void write_line(const char* method, const char* message) const;
    void vwrite(const char* method, const char* format, va_list ap) const
        __attribute__((format(printf, 3, 0)));

    const char* component_;
    const char* class_name_;
    const char* method_;  // null: no entry or exit lines

    static bool tracing_on;
    static int trace_level;
    static char trace_subsys[BUF_SIZE];
    static char CURR_SERVER_NAME[BUF_SIZE];
    static int trace_fd;  // -1 until the first line opens the file
    static int trace_session_id;
    static int trace_pid;
    static char trace_username[BUF_SIZE];
    static char trace_file[BUF_SIZE];  // empty until setup_trace_file
};

#endif
