// Output classes, redirect procedures, catalog formatting and trace settings.
#include "core/imsg/imsg.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/util/fileutl.h"

namespace {

imsg_redirect_table_t g_table;
bool g_table_set = false;

int g_trace_verbosity = 0;
std::string g_trace_subsys;

const imsg_redirect_table_t& table() {
    if (!g_table_set) {
        for (int i = 0; i < IMSG_NUM_CLASSES; ++i) g_table.procs[i] = imsg_append_proc_stderr;
        g_table.procs[IMSG_SUPPRESS] = imsg_append_proc_suppress;
        g_table.ctx = nullptr;
        g_table_set = true;
    }
    return g_table;
}

void dispatch(int msg_class, char* text) {
    if (msg_class < 0 || msg_class >= IMSG_NUM_CLASSES) msg_class = IMSG_ERROR;
    const imsg_redirect_table_t& t = table();
    imsg_redirect_proc_t proc = t.procs[msg_class];
    if (proc) proc(t.ctx, msg_class, text);
}

}  // namespace

void imsg_set_redirect_procs(const imsg_redirect_proc_t* procs, void* ctx) {
    g_table_set = false;
    table();
    if (!procs) return;
    for (int i = 0; i < IMSG_NUM_CLASSES; ++i) g_table.procs[i] = procs[i];
    g_table.ctx = ctx;
}

imsg_redirect_table_t imsg_get_redirect_table() {
    return table();
}

void imsg_set_redirect_table(const imsg_redirect_table_t& t) {
    g_table = t;
    g_table_set = true;
}

void imsg_append_proc_suppress(void*, int, char*) {}

void imsg_append_proc_stdout(void*, int, char* text) {
    imsg_strip_style_chars(text);
    fileutl_write_all(STDOUT_FILENO, text, strlen(text));
}

void imsg_append_proc_stderr(void*, int, char* text) {
    imsg_strip_style_chars(text);
    fileutl_write_all(STDERR_FILENO, text, strlen(text));
}

void imsg_print(int msg_class, const char* text, int len) {
    if (!text) return;
    size_t n = len < 0 ? strlen(text) : static_cast<size_t>(len);
    std::string copy(text, strnlen(text, n));
    dispatch(msg_class, copy.data());
}

// Formats with `format` (vsnprintf-like: returns the full length, or -1) and dispatches
// the text; a text too long for the stack buffer is formatted again on the heap. Returns
// false when formatting failed.
template <class Format>
bool dispatch_formatted(int msg_class, va_list ap, Format format) {
    char small[1024];
    va_list ap2;
    va_copy(ap2, ap);
    int n = format(small, sizeof small, ap);
    if (n < 0) {
        va_end(ap2);
        return false;
    }
    if (static_cast<size_t>(n) < sizeof small) {
        va_end(ap2);
        dispatch(msg_class, small);
        return true;
    }
    std::vector<char> big(static_cast<size_t>(n) + 1);
    format(big.data(), big.size(), ap2);
    va_end(ap2);
    dispatch(msg_class, big.data());
    return true;
}

void imsg_vprintf(int msg_class, const char* fmt, va_list ap) {
    dispatch_formatted(msg_class, ap, [fmt](char* buf, size_t size, va_list args) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
        return vsnprintf(buf, size, fmt, args);
#pragma GCC diagnostic pop
    });
}

void imsg_printf(int msg_class, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    imsg_vprintf(msg_class, fmt, ap);
    va_end(ap);
}

#define IMSG_FORWARD(name, cls)       \
    void name(const char* fmt, ...) { \
        va_list ap;                   \
        va_start(ap, fmt);            \
        imsg_vprintf(cls, fmt, ap);   \
        va_end(ap);                   \
    }
IMSG_FORWARD(imsg_ok, IMSG_OK)
IMSG_FORWARD(imsg_warning, IMSG_WARNING)
IMSG_FORWARD(imsg_error, IMSG_ERROR)
#undef IMSG_FORWARD

int imsg_vsprintf(char* buf, size_t size, const imsg_catalog_t* catalog, int index, va_list ap) {
    if (!catalog || !catalog->texts || index < 0 || index >= catalog->count) return -1;
    const char* fmt = catalog->texts[index];
    if (!fmt) return -1;
        // Only built-in texts are served; a localised catalog would be looked up here by
        // catalog name, set number and message number.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    return vsnprintf(buf, size, fmt, ap);
#pragma GCC diagnostic pop
}

int imsg_sprintf(char* buf, size_t size, const imsg_catalog_t* catalog, int index, ...) {
    va_list ap;
    va_start(ap, index);
    int n = imsg_vsprintf(buf, size, catalog, index, ap);
    va_end(ap);
    return n;
}

static void vprint_catalog(int msg_class, const imsg_catalog_t* catalog, int index, va_list ap) {
    bool ok =
        dispatch_formatted(msg_class, ap, [catalog, index](char* buf, size_t size, va_list args) {
            return imsg_vsprintf(buf, size, catalog, index, args);
        });
    if (!ok) imsg_printf(msg_class, "Internal error: could not load message %d\n", index);
}

void imsg_print_catalog(int msg_class, const imsg_catalog_t* catalog, int index, ...) {
    va_list ap;
    va_start(ap, index);
    vprint_catalog(msg_class, catalog, index, ap);
    va_end(ap);
}

void imsg_core_error(int number, ...) {
    int index = imsg_core_index(number);
    va_list ap;
    va_start(ap, number);
    if (index < 0)
        imsg_printf(IMSG_ERROR, "Internal error: could not load message %d\n", number);
    else
        vprint_catalog(IMSG_ERROR, imsg_core_catalog(), index, ap);
    va_end(ap);
}

void imsg_strip_style_chars(char* text) {
    if (!text) return;
    char* out = text;
    for (char* p = text; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c >= IMSG_STYLE_BOLD && c <= IMSG_STYLE_END) continue;
        *out++ = *p;
    }
    *out = '\0';
}

void imsg_set_trace_verbosity(int level) {
    g_trace_verbosity = level;
}

int imsg_get_desired_verbosity() {
    return g_trace_verbosity;
}

void imsg_set_trace_subsys(const char* list) {
    g_trace_subsys = list ? list : "";
}

bool imsg_should_trace(const char* subsys, int level) {
    if (level > g_trace_verbosity || g_trace_subsys.empty()) return false;
    if (g_trace_subsys == "all" || g_trace_subsys == "*") return true;
    if (!subsys) return false;
    size_t len = strlen(subsys);
    size_t pos = 0;
    while (pos <= g_trace_subsys.size()) {
        size_t comma = g_trace_subsys.find(',', pos);
        if (comma == std::string::npos) comma = g_trace_subsys.size();
        if (comma - pos == len && g_trace_subsys.compare(pos, len, subsys) == 0) return true;
        pos = comma + 1;
    }
    return false;
}
