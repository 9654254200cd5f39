// Log: a small leveled logger that prints through the core's message output.
//
// A Log object marks a scope: it writes "entering f(args)" when built and "leaving f total
// time = ... seconds" (processor time) when it ends, and keeps the nesting depth of such
// scopes. `Log::msg` writes one Info, Warning or Error entry. Output is off until
// `Log::start` and off again after `Log::stop`; while on, each entry is
//     <type word padded to 7>\t<message>\t<file>,<line>\n
// cut to ENTRY_MAX - 1 bytes (the line feed kept) and printed on the core's trace output
// class (8). Whether an entry is wanted follows the core's verbosity and its traced
// subsystem "vdw_lib": entry, exit, start and stop lines need verbosity 1, messages need
// 1 (Error), 2 (Warning) or 3 (Info).
//
// Entry and exit lines have no source position of their own: they carry the function
// name in the file column and the nesting depth in the line column.
#ifndef FOUNDATION_LOG_H
#define FOUNDATION_LOG_H

#include <ctime>

class Log {
public:
    enum Type { INFO = 0, WARNING = 1, ERROR = 2 };
    static constexpr int ENTRY_MAX = 500;
    static constexpr const char* SUBSYSTEM = "vdw_lib";

    // `function` must outlive the object (normally a literal or __func__).
    Log(const char* function, const char* format, ...) __attribute__((format(printf, 3, 4)));
    ~Log();
    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;

    // One entry of `type` (0 Info, 1 Warning, 2 Error; any other value counts as Info).
    static void msg(int type, int line, const char* file, const char* format, ...)
        __attribute__((format(printf, 4, 5)));
    // Switch output on and off; each writes a line with the local time.
    static void start(int line, const char* file);
    static void stop(int line, const char* file);

    static bool enabled() { return s_enabled; }
    // Number of Log scopes currently open.
    static int nesting() { return s_nesting; }

private:
    static bool wanted(int level);
    static void print_entry(int type, int line, const char* file, const char* message);

    const char* function_;
    clock_t start_ = -1;  // processor time at entry; -1 when the entry was not logged

    static bool s_enabled;
    static int s_nesting;
};

#endif
