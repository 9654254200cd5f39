// Message output of the core.
//
// Every message the core prints goes through one of eleven output classes, never straight
// to standard output (which carries a response). Each class has a redirect procedure; a
// caller may install its own table (and save and restore the previous one) to capture
// messages. The classes, in order:
//   0-3   informational (ok, info, verbose, note)
//   4-5   warnings
//   6-7   errors (error, fatal)
//   8-9   trace
//   10    suppressed output
#ifndef CORE_IMSG_IMSG_H
#define CORE_IMSG_IMSG_H

#include <cstdarg>
#include <cstddef>

#include "core/imsg/imsg_catalog.h"
#include "core/imsg/imsg_core_catalog.h"

enum imsg_class_t {
    IMSG_OK = 0,
    IMSG_INFO = 1,
    IMSG_VERBOSE = 2,
    IMSG_NOTE = 3,
    IMSG_WARNING = 4,
    IMSG_WARNING_NOTE = 5,
    IMSG_ERROR = 6,
    IMSG_FATAL = 7,
    IMSG_TRACE = 8,
    IMSG_DEBUG = 9,
    IMSG_SUPPRESS = 10,
};
enum { IMSG_NUM_CLASSES = 11 };

// A redirect procedure receives the caller's context, the class and the text (NUL
// terminated; it may strip style characters from it in place).
typedef void (*imsg_redirect_proc_t)(void* ctx, int msg_class, char* text);

struct imsg_redirect_table_t {
    imsg_redirect_proc_t procs[IMSG_NUM_CLASSES];
    void* ctx;
};

// Installs `procs` (IMSG_NUM_CLASSES entries) with `ctx`; null restores the defaults
// (standard error for every class but the suppressed one).
void imsg_set_redirect_procs(const imsg_redirect_proc_t* procs, void* ctx);
imsg_redirect_table_t imsg_get_redirect_table();
void imsg_set_redirect_table(const imsg_redirect_table_t& table);

// Procedures the core offers for redirect tables.
void imsg_append_proc_suppress(void* ctx, int msg_class, char* text);  // drops the text
void imsg_append_proc_stdout(void* ctx, int msg_class, char* text);
void imsg_append_proc_stderr(void* ctx, int msg_class, char* text);

// Prints `text` (length `len`, or up to its NUL when `len` is negative) on `msg_class`.
void imsg_print(int msg_class, const char* text, int len);
void imsg_printf(int msg_class, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void imsg_vprintf(int msg_class, const char* fmt, va_list ap);
void imsg_ok(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void imsg_warning(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void imsg_error(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Formats entry `index` of `catalog` into `buf` (`size` bytes). Returns the length the
// full text needs (as vsnprintf does), or -1 when the entry cannot be loaded.
int imsg_vsprintf(char* buf, size_t size, const imsg_catalog_t* catalog, int index, va_list ap);
int imsg_sprintf(char* buf, size_t size, const imsg_catalog_t* catalog, int index, ...);
// Formats and prints a catalog entry on `msg_class`.
void imsg_print_catalog(int msg_class, const imsg_catalog_t* catalog, int index, ...);

// The core's own catalog, addressed by message number (not index): the IMSG_CORE_ names of
// imsg_core_catalog.h.
const imsg_catalog_t* imsg_core_catalog();
// Index of core message `number`, or -1.
int imsg_core_index(int number);
// Prints core message `number` (an IMSG_CORE_ name) as an error message.
void imsg_core_error(int number, ...);

// Style characters: the core marks emphasis in texts with bytes 0x01..0x03; a caller
// that hands a text on strips them.
enum { IMSG_STYLE_BOLD = 0x01, IMSG_STYLE_QUOTE = 0x02, IMSG_STYLE_END = 0x03 };
void imsg_strip_style_chars(char* text);

// Prompt procedures: how the core asks its user a question. A caller (a terminal tool, or
// the web layer turning a question into an interaction request) installs its own; without
// them nobody is asked and the default answer holds. Results combine these bits; 6 is a
// failure to ask.
enum {
    IMSG_RESP_ABORT = 1,
    IMSG_RESP_PROCEED = 2,
    IMSG_RESP_YES = 4,
    IMSG_RESP_NO = 8,
    IMSG_RESP_FAILED = 6,
};
struct imsg_prompt_procs_t {
    // (prompt, a second text, multi-line flag, out text the caller frees with free())
    int (*text)(const char* prompt, const char* extra, int multiline, char** text);
    int (*file)(const char* prompt, char** path);
    int (*list)(const char* prompt, const char* const* items, int count, int* choice);
    // (type code, prompt, answers offered, default answer)
    int (*proceed)(int type, const char* prompt, int answer_mask, int default_mask);
    int (*yes_no)(int type, const char* prompt, int answer_mask, int default_mask);
    int (*password)(const char* prompt, char** password);
};
// Null members, or a null table, keep or restore the defaults.
void imsg_set_prompt_procs(const imsg_prompt_procs_t* procs);
imsg_prompt_procs_t imsg_get_prompt_procs();
int imsg_prompt_proceed(int type, const char* prompt, int answer_mask, int default_mask);
int imsg_prompt_yes_no(int type, const char* prompt, int answer_mask, int default_mask);
int imsg_prompt_text(const char* prompt, int multiline, char** text);

// Logs an internal error: printed on the error class and appended as one line to
// <product>/log/internal_error_log (0600, in a log directory only the site account may
// enter).
void imsg_internal_error(const char* component, const char* file, int line, const char* fmt, ...)
    __attribute__((format(printf, 4, 5)));

// Trace verbosity and traced subsystems.
void imsg_set_trace_verbosity(int level);
int imsg_get_desired_verbosity();
// Comma-separated subsystem names, or "all"; empty traces nothing.
void imsg_set_trace_subsys(const char* list);
bool imsg_should_trace(const char* subsys, int level);

#endif
