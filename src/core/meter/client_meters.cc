// Client metering records, written as ascii lines to the destination the environment names.
#include "core/meter/client_meters.h"

#include <fcntl.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

const char kOptionsVariable[] = "VDCORE_METERING_OPTIONS";

struct Stamp {
    double wall = 0;  // monotonic seconds
    double cpu = 0;   // process processor seconds
};

struct Region {
    std::string name;
    std::vector<Stamp> open;  // one per entry not yet left
    long count = 0;
};

struct MeterState {
    int fd = -1;
    std::string program;
    long pid = 0;
    Stamp started;
    std::vector<Region> regions;  // handle = index + 1
};

// Never destroyed: the finish record is written from an exit handler, which may run after
// static destructors.
MeterState& state() {
    static MeterState* s = new MeterState;
    return *s;
}

double clock_seconds(clockid_t id) {
    struct timespec ts;
    if (clock_gettime(id, &ts) != 0) return 0;
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

Stamp now_stamp() {
    Stamp s;
    s.wall = clock_seconds(CLOCK_MONOTONIC);
    s.cpu = clock_seconds(CLOCK_PROCESS_CPUTIME_ID);
    return s;
}

// One record is one line: names lose blanks, quotes and control characters.
std::string record_name(const char* name) {
    std::string out(name ? name : "");
    for (char& c : out) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u <= ' ' || u == '"' || u == 0x7f) c = '_';
    }
    return out;
}

void append_format(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void append_format(std::string& out, const char* format, ...) {
    char buf[256];
    va_list ap;
    va_start(ap, format);
    int n = vsnprintf(buf, sizeof buf, format, ap);
    va_end(ap);
    if (n > 0) out.append(buf, static_cast<size_t>(n) < sizeof buf ? n : sizeof buf - 1);
}

void append_time(std::string& out) {
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    append_format(out, " time=%ld.%06ld", static_cast<long>(tv.tv_sec),
                  static_cast<long>(tv.tv_usec));
}

void write_record(const std::string& record) {
    int saved = errno;
    ssize_t n;
    do {
        n = ::write(state().fd, record.data(), record.size());
    } while (n < 0 && errno == EINTR);
    errno = saved;
}

// Splits the options into words; a word in double quotes may hold blanks.
std::vector<std::string> option_words(const char* text) {
    std::vector<std::string> words;
    const char* p = text;
    while (*p) {
        while (*p == ' ' || *p == '\t') ++p;
        if (!*p) break;
        std::string word;
        if (*p == '"') {
            const char* end = strchr(p + 1, '"');
            if (!end) end = p + strlen(p);
            word.assign(p + 1, end);
            p = *end ? end + 1 : end;
        } else {
            const char* end = p;
            while (*end && *end != ' ' && *end != '\t') ++end;
            word.assign(p, end);
            p = end;
        }
        words.push_back(word);
    }
    return words;
}

// The destination named by the options, or "" when metering is off.
std::string destination_from_options(const char* text) {
    std::string destination;
    std::string format = "ascii";
    std::vector<std::string> words = option_words(text);
    for (size_t i = 0; i + 1 < words.size(); ++i) {
        if (words[i] == "-destination") {
            destination = words[++i];
        } else if (words[i] == "-format") {
            format = words[++i];
        }
    }
    return format == "ascii" ? destination : std::string();
}

Region* region_of(client_meter_region_t handle) {
    MeterState& s = state();
    if (handle <= 0 || static_cast<size_t>(handle) > s.regions.size()) return nullptr;
    return &s.regions[handle - 1];
}

}  // namespace

bool client_meters_active() {
    return state().fd >= 0;
}

tbs_status_t client_meters_start_program(const char* program) {
    client_meters_finish_program();
    const char* options = getenv(kOptionsVariable);
    if (!options || !*options) return TBS_ST_OK;
    std::string destination = destination_from_options(options);
    if (destination.empty()) return TBS_ST_OK;

    MeterState& s = state();
    s.fd = ::open(destination.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (s.fd < 0) return tbs_errno2status(errno);
    s.program = record_name(program);
    s.pid = static_cast<long>(getpid());
    s.started = now_stamp();

    std::string record = "program_start program=" + s.program;
    append_format(record, " pid=%ld", s.pid);
    append_time(record);
    record += '\n';
    write_record(record);
    return TBS_ST_OK;
}

client_meter_region_t client_meters_create_region(const char* name) {
    MeterState& s = state();
    if (s.fd < 0 || !name || !*name) return 0;
    std::string clean = record_name(name);
    for (size_t i = 0; i < s.regions.size(); ++i) {
        if (s.regions[i].name == clean) return static_cast<client_meter_region_t>(i + 1);
    }
    s.regions.push_back(Region{clean, {}, 0});
    return static_cast<client_meter_region_t>(s.regions.size());
}

void client_meters_enter_region(client_meter_region_t handle) {
    if (state().fd < 0) return;
    Region* r = region_of(handle);
    if (!r) return;
    ++r->count;
    std::string record = "region_enter region=" + r->name;
    append_format(record, " pid=%ld", state().pid);
    append_time(record);
    append_format(record, " count=%ld\n", r->count);
    write_record(record);
    // Taken last so that writing the entry record is not counted in the region.
    r->open.push_back(now_stamp());
}

void client_meters_exit_region(client_meter_region_t handle) {
    if (state().fd < 0) return;
    Region* r = region_of(handle);
    if (!r || r->open.empty()) return;
    Stamp now = now_stamp();
    Stamp entered = r->open.back();
    r->open.pop_back();
    std::string record = "region_exit region=" + r->name;
    append_format(record, " pid=%ld", state().pid);
    append_time(record);
    append_format(record, " elapsed=%.6f cpu=%.6f count=%ld\n", now.wall - entered.wall,
                  now.cpu - entered.cpu, r->count);
    write_record(record);
}

void client_meters_finish_program() {
    MeterState& s = state();
    if (s.fd < 0) return;
    Stamp now = now_stamp();
    std::string record = "program_finish program=" + s.program;
    append_format(record, " pid=%ld", s.pid);
    append_time(record);
    append_format(record, " elapsed=%.6f cpu=%.6f regions=%zu\n", now.wall - s.started.wall,
                  now.cpu - s.started.cpu, s.regions.size());
    write_record(record);
    ::close(s.fd);
    s.fd = -1;
    // Entries left open belong to the finished program.
    for (Region& r : s.regions) r.open.clear();
}
