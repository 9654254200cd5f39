// Leveled scope logger over the core's trace output class.
#include "foundation/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/imsg/imsg.h"

bool Log::s_enabled = false;
int Log::s_nesting = 0;

namespace {

const char* const kTypeWords[] = {"Info", "Warning", "Error"};
// Verbosity each type needs, by type.
const int kTypeLevels[] = {3, 2, 1};

int normal_type(int type) {
    return type >= Log::INFO && type <= Log::ERROR ? type : Log::INFO;
}

void local_time_text(char* buf, size_t size) {
    time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    if (strftime(buf, size, "%a %b %d %H:%M:%S %Y", &local) == 0) buf[0] = '\0';
}

}  // namespace

bool Log::wanted(int level) {
    return imsg_get_desired_verbosity() >= level && imsg_should_trace(SUBSYSTEM, level);
}

void Log::print_entry(int type, int line, const char* file, const char* message) {
    if (!s_enabled) return;
    char entry[ENTRY_MAX];
    int len = snprintf(entry, sizeof entry, "%-7s\t%s\t%s,%d\n", kTypeWords[normal_type(type)],
                       message, file ? file : "", line);
    if (len < 0) return;
    // A cut entry still ends its line.
    if (static_cast<size_t>(len) >= sizeof entry) entry[sizeof entry - 2] = '\n';
    imsg_print(IMSG_TRACE, entry, -1);
}

Log::Log(const char* function, const char* format, ...) : function_(function) {
    ++s_nesting;
    if (!wanted(1)) return;
    char args[ENTRY_MAX];
    va_list ap;
    va_start(ap, format);
    if (vsnprintf(args, sizeof args, format ? format : "", ap) < 0) args[0] = '\0';
    va_end(ap);
    char message[ENTRY_MAX];
    snprintf(message, sizeof message, "entering %s(%s)", function_ ? function_ : "", args);
    print_entry(INFO, s_nesting, function_, message);
    start_ = clock();
}

Log::~Log() {
    if (start_ != static_cast<clock_t>(-1) && wanted(1)) {
        double seconds = static_cast<double>(clock() - start_) / CLOCKS_PER_SEC;
        char message[ENTRY_MAX];
        snprintf(message, sizeof message, "leaving %s total time = %f seconds",
                 function_ ? function_ : "", seconds);
        print_entry(INFO, s_nesting, function_, message);
    }
    --s_nesting;
}

void Log::msg(int type, int line, const char* file, const char* format, ...) {
    if (!s_enabled || !wanted(kTypeLevels[normal_type(type)])) return;
    char message[ENTRY_MAX];
    va_list ap;
    va_start(ap, format);
    int len = vsnprintf(message, sizeof message, format ? format : "", ap);
    va_end(ap);
    if (len < 0) return;
    print_entry(type, line, file, message);
}

void Log::start(int line, const char* file) {
    s_enabled = true;
    if (!wanted(1)) return;
    char now[64];
    local_time_text(now, sizeof now);
    char message[ENTRY_MAX];
    snprintf(message, sizeof message, "Logging started : %s", now);
    print_entry(INFO, line, file, message);
}

void Log::stop(int line, const char* file) {
    if (s_enabled && wanted(1)) {
        char now[64];
        local_time_text(now, sizeof now);
        char message[ENTRY_MAX];
        snprintf(message, sizeof message, "Logging stopped : %s", now);
        print_entry(INFO, line, file, message);
    }
    s_enabled = false;
}
