// Prompt procedures and the internal-error log.
#include <fcntl.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>

#include "core/imsg/imsg.h"
#include "core/tbs/tbs.h"
#include "core/util/fileutl.h"

namespace {

// Without a registered procedure nobody can be asked: the default answer holds, and
// questions that need a text are declined.
int default_text(const char*, const char*, int, char** text) {
    if (text) *text = nullptr;
    return IMSG_RESP_ABORT;
}
int default_file(const char*, char** path) {
    if (path) *path = nullptr;
    return IMSG_RESP_ABORT;
}
int default_list(const char*, const char* const*, int, int* choice) {
    if (choice) *choice = -1;
    return IMSG_RESP_ABORT;
}
int default_proceed(int, const char*, int, int default_mask) {
    return default_mask & IMSG_RESP_PROCEED ? IMSG_RESP_PROCEED : IMSG_RESP_ABORT;
}
int default_yes_no(int, const char*, int, int default_mask) {
    return default_mask & IMSG_RESP_YES ? IMSG_RESP_YES : IMSG_RESP_NO;
}
int default_password(const char*, char** password) {
    if (password) *password = nullptr;
    return IMSG_RESP_ABORT;
}

const imsg_prompt_procs_t kDefaults = {default_text,    default_file,   default_list,
                                       default_proceed, default_yes_no, default_password};
std::mutex g_mu;
imsg_prompt_procs_t g_procs = kDefaults;

}  // namespace

void imsg_set_prompt_procs(const imsg_prompt_procs_t* procs) {
    std::lock_guard<std::mutex> lock(g_mu);
    g_procs = kDefaults;
    if (!procs) return;
    if (procs->text) g_procs.text = procs->text;
    if (procs->file) g_procs.file = procs->file;
    if (procs->list) g_procs.list = procs->list;
    if (procs->proceed) g_procs.proceed = procs->proceed;
    if (procs->yes_no) g_procs.yes_no = procs->yes_no;
    if (procs->password) g_procs.password = procs->password;
}

imsg_prompt_procs_t imsg_get_prompt_procs() {
    std::lock_guard<std::mutex> lock(g_mu);
    return g_procs;
}

int imsg_prompt_proceed(int type, const char* prompt, int answer_mask, int default_mask) {
    return imsg_get_prompt_procs().proceed(type, prompt, answer_mask, default_mask);
}

int imsg_prompt_yes_no(int type, const char* prompt, int answer_mask, int default_mask) {
    return imsg_get_prompt_procs().yes_no(type, prompt, answer_mask, default_mask);
}

int imsg_prompt_text(const char* prompt, int multiline, char** text) {
    return imsg_get_prompt_procs().text(prompt, "", multiline, text);
}

void imsg_internal_error(const char* component, const char* file, int line, const char* fmt, ...) {
    char text[2048];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(text, sizeof text, fmt ? fmt : "", ap);
    va_end(ap);
    const char* base = file ? strrchr(file, '/') : nullptr;
    base = base ? base + 1 : (file ? file : "?");
    imsg_error("Internal error in %s (%s:%d): %s\n", component ? component : "core", base, line,
               text);
    // One line per error in the product's log directory, appended whole; the directory
    // and the file are the site account's alone.
    std::string dir = tbs_product_log_dir();
    if (fileutl_private_dir(dir.c_str()) != TBS_ST_OK) return;
    char stamp[32];
    time_t now = time(nullptr);
    struct tm tm;
    gmtime_r(&now, &tm);
    strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &tm);
    char entry[2600];
    int n = snprintf(entry, sizeof entry, "%s pid %d %s %s:%d: %s\n", stamp,
                     static_cast<int>(getpid()), component ? component : "core", base, line, text);
    if (n <= 0) return;
    size_t len = std::min(static_cast<size_t>(n), sizeof entry - 1);
    for (size_t i = 0; i + 1 < len; ++i)
        if (entry[i] == '\n') entry[i] = ' ';  // one entry, one line
    std::string path = dir + "/internal_error_log";
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return;
    fileutl_write_all(fd, entry, len);
    close(fd);
}
