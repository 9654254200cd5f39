// The CGI input decoder: URL-encoded, multipart and XML bodies, query strings, cookies.
#include "request/cgi_input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "core/stg/stg.h"
#include "core/util/fileutl.h"
#include "core/util/i18n.h"
#include "foundation/wcm_mempool.h"

namespace {

std::multimap<std::string, std::string> g_headers;
long g_upload_limit = 0;
long g_form_limit = 0;
char g_upload_dir[CGI_PATH_MAX];

// Restores the process umask on scope exit.
class UmaskZero {
public:
    UmaskZero() : saved_(::umask(0)) {}
    ~UmaskZero() { ::umask(saved_); }

private:
    mode_t saved_;
};

// The upload of the request being decoded. It is process-wide so that a termination signal
// can remove it (the handler reads only `live` and `path`), and its descriptor stays open,
// holding the file's writer lock, until the request ends or hands the file on: a sweep of
// stale temporaries never takes an upload that a live request still uses.
struct TrackedUpload {
    char path[CGI_PATH_MAX];
    int fd = -1;
    volatile sig_atomic_t live = 0;
};
TrackedUpload g_upload;
// Why the last upload failed, for the error the request answers with ("" when unknown).
char g_upload_failure[CGI_PATH_MAX + 160];

void set_upload_failure(const char* text) {
    snprintf(g_upload_failure, sizeof g_upload_failure, "%s", text);
}

// A new file in the upload directory, 0600 and its writer lock held: the descriptor, with
// its pathname in `path`, or -1.
int create_upload_file(char (&path)[CGI_PATH_MAX]) {
    const char* dir = get_unix_temp_file_dir();
    if (!dir) return -1;
    UmaskZero umask0;
    return fileutl_create_temp(dir, "QLMX", 0600, path, sizeof path);
}

// Creates the upload file in the upload directory and makes it the tracked upload;
// false (nothing tracked) when it cannot be made.
bool track_new_upload() {
    cgi_upload_end(nullptr, false);
    char path[CGI_PATH_MAX];
    int fd = create_upload_file(path);
    if (fd < 0) return false;
    memcpy(g_upload.path, path, sizeof path);
    g_upload.fd = fd;
    std::atomic_signal_fence(std::memory_order_seq_cst);  // the path is whole before it is live
    g_upload.live = 1;
    return true;
}

extern "C" void remove_upload_and_terminate(int sig) {
    if (g_upload.live) ::unlink(g_upload.path);
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

// Where an upload's bytes go: straight into the file, or through gzip decompression. The
// limit (0: none) and the free-space reserve apply to the bytes written, so a small
// compressed upload cannot unfold into more than the site accepts.
class UploadSink {
public:
    UploadSink(int fd, bool gzip, long limit) : fd_(fd), gzip_(gzip), limit_(limit) {
        if (gzip_) {
            z_ = z_stream{};
            ok_ = inflateInit2(&z_, 15 + 16) == Z_OK;  // gzip framing only
            if (!ok_) set_upload_failure("Unable to start decompressing the upload.");
        }
    }
    ~UploadSink() {
        if (gzip_) inflateEnd(&z_);
    }
    UploadSink(const UploadSink&) = delete;
    UploadSink& operator=(const UploadSink&) = delete;

    // Takes the next received bytes; false once anything failed.
    bool put(const char* p, size_t n) {
        if (!ok_) return false;
        if (!gzip_) return write(p, n);
        z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(p));
        z_.avail_in = static_cast<uInt>(n);
        for (;;) {
            if (ended_) {
                if (z_.avail_in == 0) break;
                // Another gzip member follows the one that ended (as `cat a.gz b.gz` makes).
                if (inflateReset(&z_) != Z_OK) return fail_data();
                ended_ = false;
            }
            unsigned char out[CGI_COPY_BLOCK];
            z_.next_out = out;
            z_.avail_out = sizeof out;
            int rc = inflate(&z_, Z_NO_FLUSH);
            if (rc == Z_BUF_ERROR && z_.avail_in == 0) break;  // wants more input
            if (rc != Z_OK && rc != Z_STREAM_END) return fail_data();
            if (!write(reinterpret_cast<char*>(out), sizeof out - z_.avail_out)) return false;
            ended_ = rc == Z_STREAM_END;
            if (!ended_ && z_.avail_in == 0 && z_.avail_out != 0) break;  // all taken in
        }
        return ok_;
    }
    // Whether everything received made a whole file.
    bool complete() {
        if (ok_ && gzip_ && !ended_) fail_data();  // empty or cut short
        return ok_;
    }
    bool too_large() const { return too_large_; }

private:
    bool write(const char* p, size_t n) {
        if (n == 0) return true;
        if (limit_ > 0 && written_ + n > static_cast<uint64_t>(limit_)) {
            too_large_ = true;
            return ok_ = false;
        }
        // The reserve is checked once per reserve step, not per block.
        if (written_ / kReserveStep != (written_ + n) / kReserveStep || written_ == 0) {
            const char* dir = get_unix_temp_file_dir();
            if (!dir || fileutl_check_reserve(dir, kReserveStep) != TBS_ST_OK) {
                char text[sizeof g_upload_failure];
                snprintf(text, sizeof text,
                         "Not enough free space on the server to store the upload and keep the "
                         "reserve of %llu MiB free (VERDANE_MIN_FREE_MB).",
                         static_cast<unsigned long long>(fileutl_reserve_bytes() >> 20));
                set_upload_failure(text);
                return ok_ = false;
            }
        }
        if (!fileutl_write_all(fd_, p, n)) {
            set_upload_failure(strerror(errno));
            return ok_ = false;
        }
        written_ += n;
        return true;
    }
    bool fail_data() {
        set_upload_failure("The compressed upload is not valid gzip data.");
        return ok_ = false;
    }

    static constexpr uint64_t kReserveStep = 1 << 20;
    int fd_;
    bool gzip_;
    long limit_;
    z_stream z_{};
    bool ok_ = true;
    bool ended_ = false;
    bool too_large_ = false;
    uint64_t written_ = 0;
};

// A text that grows in the request pool as it is read. A large one has a chunk of its own
// that the allocator resizes in place, so reading a value costs about its own size, and the
// text is never copied into the pool afterwards.
class PoolText {
public:
    explicit PoolText(WCM_MemPool& pool) : area_(pool.get_area()) {}
    // Room for `n` more bytes (and the terminator) at `end()`; false when out of memory.
    bool reserve(size_t n) {
        if (len_ + n < cap_) return true;
        size_t want = cap_ < 4096 ? 4096 : cap_ + cap_ / 2;
        if (want < len_ + n + 1) want = len_ + n + 1;
        auto* grown = static_cast<char*>(stg_resize(area_, buf_, cap_, want));
        if (!grown) return false;
        buf_ = grown;
        cap_ = want;
        return true;
    }
    bool append(const char* p, size_t n) {
        if (!reserve(n)) return false;
        memcpy(buf_ + len_, p, n);
        len_ += n;
        return true;
    }
    char* end() { return buf_ + len_; }
    void added(size_t n) { len_ += n; }
    size_t size() const { return len_; }
    const char* data() const { return buf_; }
    void shorten(size_t n) { len_ = n; }
    // The terminated text, in the pool; null when out of memory.
    char* finish() {
        if (!reserve(0)) return nullptr;
        buf_[len_] = '\0';
        return buf_;
    }

private:
    stg_area_t* area_;
    char* buf_ = nullptr;
    size_t len_ = 0;
    size_t cap_ = 0;
};

bool is_crlf_line(const char* line) {
    return line[0] == '\r' && line[1] == '\n';
}

// Converts `text` from UTF-8 to the server's character set. On failure the text is
// left as it is and `errloc` gets the offset of the first bad character.
bool to_native(char*& text, int& errloc, WCM_MemPool& pool) {
    if (!text) return true;
    long off = 0;
    char* out = nullptr;
    size_t len = strlen(text);
    if (i18n_native_is_utf8()) {
        if (i18n_valid_utf8(text, len, &off)) return true;
        errloc = static_cast<int>(off);
        return false;
    }
    if (i18n_convert(i18n_utf8(), i18n_native(), text, len, pool.get_area(), &out, &off) != 0) {
        errloc = static_cast<int>(off);
        return false;
    }
    text = out;
    return true;
}

// Reads up to `want` bytes, as many as arrive; a slow sender delivers a body in pieces.
size_t read_fully(std::istream& in, char* buf, size_t want) {
    size_t got = 0;
    while (got < want && in.good()) {
        in.read(buf + got, static_cast<std::streamsize>(want - got));
        got += static_cast<size_t>(in.gcount());
    }
    return got;
}

// The declared body length: -1 when none is declared, kBadLength when the declaration is
// not a plain decimal number ("12abc", "-1", " 12", out of range).
constexpr long kBadLength = -2;
long content_length() {
    const char* cl = get_header("CONTENT_LENGTH");
    if (!cl) return -1;
    if (!isdigit(static_cast<unsigned char>(cl[0]))) return kBadLength;
    char* end = nullptr;
    errno = 0;
    long n = strtol(cl, &end, 10);
    if (errno != 0 || *end != '\0') return kBadLength;
    return n;
}

// Whether `length` bytes of form data pass the form limit.
bool over_form_limit(long length) {
    return g_form_limit > 0 && length > g_form_limit;
}

// Whether a percent-encoded text decodes to a NUL somewhere: a C string would silently
// name something shorter, so such a name or value is refused.
bool encodes_nul(const char* raw) {
    for (const char* p = raw; (p = strchr(p, '%')) != nullptr; ++p)
        if (p[1] == '0' && p[2] == '0') return true;
    return false;
}

// The boundary parameter of a multipart content type, without quotes.
std::string boundary_of(const char* content_type) {
    const char* b = strstr(content_type, "boundary=");
    if (!b) return {};
    b += strlen("boundary=");
    std::string out;
    if (*b == '"') {
        ++b;
        while (*b && *b != '"') out += *b++;
    } else {
        while (*b && *b != ';' && *b != ' ' && *b != '\t' && *b != '\r' && *b != '\n') out += *b++;
    }
    return out;
}

// Reads a whole body of `length` bytes into the pool, terminated; null when the input ends
// first. The buffer grows with the data rather than trusting a length the client states.
char* read_body(std::istream& in, long length, WCM_MemPool& pool, size_t* size) {
    PoolText text(pool);
    constexpr size_t kStep = 1 << 20;
    size_t want = static_cast<size_t>(length);
    while (text.size() < want) {
        size_t chunk = want - text.size() < kStep ? want - text.size() : kStep;
        if (!text.reserve(chunk)) return nullptr;
        size_t got = read_fully(in, text.end(), chunk);
        text.added(got);
        if (got < chunk) return nullptr;
    }
    if (size) *size = text.size();
    return text.finish();
}

// Adds an entry whose strings already live in the request pool, without copying them.
node* append_entry(llist* l, node* after, const entrytype& e, WCM_MemPool& pool) {
    auto* n = static_cast<node*>(pool.alloc(sizeof(node)));
    if (!n) return nullptr;
    n->entry = e;
    if (!l->head || !after) {
        n->next = l->head;
        l->head = n;
    } else {
        n->next = after->next;
        after->next = n;
    }
    return n;
}

}  // namespace

// ---- entries and lists ------------------------------------------------------------

void entry_default(entrytype* e) {
    e->name = e->value = nullptr;
    e->name_status = e->value_status = 1;
    e->name_errloc = e->value_errloc = 0;
    e->name_unconv = e->value_unconv = nullptr;
}

void entry_clear(entrytype* e) {
    entry_default(e);
}

void entry_setname(entrytype* e, const char* s, WCM_MemPool& pool) {
    e->name = s ? pool.strdup(s) : nullptr;
}
void entry_setvalue(entrytype* e, const char* s, WCM_MemPool& pool) {
    e->value = s ? pool.strdup(s) : nullptr;
}
void entry_setnameuconv(entrytype* e, const char* s, WCM_MemPool& pool) {
    e->name_unconv = s ? pool.strdup(s) : nullptr;
}
void entry_setvalueuconv(entrytype* e, const char* s, WCM_MemPool& pool) {
    e->value_unconv = s ? pool.strdup(s) : nullptr;
}

void cgilist_create(llist* l) {
    l->head = nullptr;
}

node* cgilist_insafter(llist* l, node* after, const entrytype& e, WCM_MemPool& pool) {
    entrytype copy = e;
    entry_setname(&copy, e.name, pool);
    entry_setvalue(&copy, e.value, pool);
    entry_setnameuconv(&copy, e.name_unconv, pool);
    entry_setvalueuconv(&copy, e.value_unconv, pool);
    return append_entry(l, after, copy, pool);
}

node* cgilist_next(node* n) {
    return n ? n->next : nullptr;
}

bool cgilist_on_list(const llist* l, const node* n) {
    for (const node* p = l->head; p; p = p->next)
        if (p == n) return true;
    return false;
}

void cgilist_traverse(llist* l, void (*fn)(entrytype*)) {
    for (node* p = l->head; p; p = p->next) fn(&p->entry);
}

void cgilist_clear(llist* l) {
    for (node* p = l->head; p; p = p->next) entry_clear(&p->entry);
}

// ---- process-wide state -----------------------------------------------------------

void set_upload_limit(long limit) {
    g_upload_limit = limit;
}
long get_upload_limit() {
    return g_upload_limit;
}

void set_form_limit(long limit) {
    g_form_limit = limit;
}
long get_form_limit() {
    return g_form_limit;
}

const char* get_header(const char* name) {
    if (!name) return nullptr;
    auto it = g_headers.find(name);
    return it == g_headers.end() ? nullptr : it->second.c_str();
}

void set_header_table(const std::multimap<std::string, std::string>& env) {
    g_headers = env;
}

// ---- utilities --------------------------------------------------------------------

char x2c(const char* what) {
    auto digit = [](char c) { return c >= 'A' ? ((c & 0xdf) - 'A') + 10 : (c - '0'); };
    return static_cast<char>(digit(what[0]) * 16 + digit(what[1]));
}

void unescape_url(char* url) {
    if (!url) return;
    char* out = url;
    for (char* p = url; *p; ++p) {
        // Only a complete escape is decoded; a '%' not followed by two hexadecimal digits
        // stays as it is, and nothing past the terminator is read.
        if (*p == '%' && isxdigit(static_cast<unsigned char>(p[1])) &&
            isxdigit(static_cast<unsigned char>(p[2]))) {
            *out++ = x2c(p + 1);
            p += 2;
        } else {
            *out++ = *p;
        }
    }
    *out = '\0';
}

char* url_escape_utf8_string(const char* text, WCM_MemPool& pool) {
    if (!text) return pool.strdup("");
    static const char kSpecial[] = " ;/?:@=&<>\"#%+{}|\\^~[]`";
    size_t len = strlen(text);
    auto* out = static_cast<char*>(pool.alloc(static_cast<unsigned>(len * 3 + 1)));
    if (!out) return nullptr;
    char* o = out;
    for (const char* p = text; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c < 32 || c > 126 || strchr(kSpecial, c)) {
            snprintf(o, 4, "%%%02X", c);
            o += 3;
        } else {
            *o++ = static_cast<char>(c);
        }
    }
    *o = '\0';
    return out;
}

int getline(std::istream& in, char* buf, int max) {
    if (max <= 0) return 0;
    std::streambuf* sb = in.rdbuf();
    int n = 0;
    if (!sb || !in.good()) {
        buf[0] = '\0';
        return 0;
    }
    while (n < max - 1) {
        int c = sb->sbumpc();
        if (c == std::char_traits<char>::eof()) {
            in.setstate(std::ios::eofbit);
            break;
        }
        buf[n++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    buf[n] = '\0';
    return n;
}

char* newstr(const char* s, WCM_MemPool& pool) {
    return pool.strdup(s ? s : "");
}

char* substr(const char* s, int start, int len, WCM_MemPool& pool) {
    if (!s || start < 0 || len < 0) return pool.strdup("");
    size_t slen = strlen(s);
    if (static_cast<size_t>(start) >= slen) return pool.strdup("");
    size_t n = slen - static_cast<size_t>(start);
    if (static_cast<size_t>(len) < n) n = static_cast<size_t>(len);
    return pool.strndup(s + start, n);
}

char* replace_ltgt(const char* s, WCM_MemPool& pool) {
    if (!s) return pool.strdup("");
    std::string out;
    for (const char* p = s; *p; ++p) {
        if (*p == '<')
            out += "&lt;";
        else if (*p == '>')
            out += "&gt;";
        else
            out += *p;
    }
    return pool.strndup(out.data(), out.size());
}

char* lower_case(char* s) {
    if (!s) return s;
    for (char* p = s; *p; ++p) *p = static_cast<char>(tolower(static_cast<unsigned char>(*p)));
    return s;
}

char* escape_input(const char* s, WCM_MemPool& pool) {
    if (!s) return pool.strdup("");
    static const char kShell[] = ";&|`'\"*?~<>^()[]{}$\\\n\r\t !#";
    std::string out;
    for (const char* p = s; *p; ++p) {
        if (strchr(kShell, *p)) out += '\\';
        out += *p;
    }
    return pool.strndup(out.data(), out.size());
}

// ---- list queries -----------------------------------------------------------------

const char* cgi_val(const llist& l, const char* name) {
    for (const node* p = l.head; p; p = p->next)
        if (p->entry.name && name && strcmp(p->entry.name, name) == 0) return p->entry.value;
    return nullptr;
}

static const char** collect(const llist& l, const char* key, bool by_name, WCM_MemPool& pool) {
    int count = 0;
    for (const node* p = l.head; p; p = p->next) {
        const char* k = by_name ? p->entry.name : p->entry.value;
        if (k && key && strcmp(k, key) == 0) ++count;
    }
    if (count == 0) return nullptr;
    auto** out = static_cast<const char**>(pool.alloc(sizeof(char*) * (count + 1)));
    if (!out) return nullptr;
    int i = 0;
    for (const node* p = l.head; p; p = p->next) {
        const char* k = by_name ? p->entry.name : p->entry.value;
        if (k && key && strcmp(k, key) == 0) out[i++] = by_name ? p->entry.value : p->entry.name;
    }
    out[i] = nullptr;
    return out;
}

const char** cgi_val_multi(const llist& l, const char* name, WCM_MemPool& pool) {
    return collect(l, name, true, pool);
}

const char* cgi_name(const llist& l, const char* value) {
    for (const node* p = l.head; p; p = p->next)
        if (p->entry.value && value && strcmp(p->entry.value, value) == 0) return p->entry.name;
    return nullptr;
}

const char** cgi_name_multi(const llist& l, const char* value, WCM_MemPool& pool) {
    return collect(l, value, false, pool);
}

bool is_form_empty(const llist& l) {
    return l.head == nullptr;
}

bool is_field_exists(const llist& l, const char* name) {
    for (const node* p = l.head; p; p = p->next)
        if (p->entry.name && name && strcmp(p->entry.name, name) == 0) return true;
    return false;
}

bool is_field_empty(const llist& l, const char* name) {
    const char* v = cgi_val(l, name);
    return v == nullptr || *v == '\0';
}

void html_escape(std::ostream& out, const char* s) {
    if (!s) {
        out << "&lt;null&gt;";
        return;
    }
    for (const char* p = s; *p; ++p) {
        switch (*p) {
            case '<':
                out << "&lt;";
                break;
            case '>':
                out << "&gt;";
                break;
            case '&':
                out << "&amp;";
                break;
            case '"':
                out << "&quot;";
                break;
            default:
                out << *p;
        }
    }
}

void print_cgi_env(std::ostream& out) {
    static const char* const kVars[] = {
        "SERVER_SOFTWARE", "SERVER_NAME",    "GATEWAY_INTERFACE", "SERVER_PROTOCOL", "SERVER_PORT",
        "REQUEST_METHOD",  "PATH_INFO",      "PATH_TRANSLATED",   "SCRIPT_NAME",     "QUERY_STRING",
        "REMOTE_HOST",     "REMOTE_ADDR",    "AUTH_TYPE",         "REMOTE_USER",     "REMOTE_IDENT",
        "CONTENT_TYPE",    "CONTENT_LENGTH",
    };
    out << "<p>\n";
    for (const char* v : kVars) {
        out << v << " = ";
        html_escape(out, get_header(v));
        out << "<br>\n";
    }
    out << "</p>\n";
}

void print_entries(const llist& l, std::ostream& out) {
    out << "<dl>\n";
    for (const node* p = l.head; p; p = p->next) {
        out << "  <dt> <b>";
        html_escape(out, p->entry.name);
        out << "</b>\n  <dd> ";
        html_escape(out, p->entry.value);
        out << "\n";
    }
    out << "</dl>\n";
}

bool accept_image() {
    const char* accept = getenv("HTTP_ACCEPT");
    return accept && strstr(accept, "image");
}

// ---- character sets and upload files ----------------------------------------------

int convert_buffer_to_local_charset(entrytype* e, const i18n_charset_t* from, WCM_MemPool& pool) {
    if (!from || !e->value) return 1;
    long off = 0;
    char* out = nullptr;
    if (from == i18n_utf8() && i18n_native_is_utf8()) {
        // Nothing to convert: the value is only checked, in place.
        if (i18n_valid_utf8(e->value, strlen(e->value), &off)) return 1;
    } else if (i18n_convert(from, i18n_native(), e->value, strlen(e->value), pool.get_area(), &out,
                            &off) == 0) {
        e->value = out;
        return 1;
    }
    e->value_status = 0;
    e->value_errloc = static_cast<int>(off);
    e->value_unconv = url_escape_utf8_string(e->value, pool);
    return 0;
}

char* get_unix_temp_file_dir() {
    if (!fileutl_join(g_upload_dir, sizeof g_upload_dir, fileutl_get_tmpdir(), "QLMXuploadtmp"))
        return nullptr;
    // Only the site account may see or replace an upload between its arrival and its use.
    return fileutl_private_dir(g_upload_dir) == TBS_ST_OK ? g_upload_dir : nullptr;
}

char* get_temp_file(WCM_MemPool& pool) {
    char path[CGI_PATH_MAX];
    int fd = create_upload_file(path);
    if (fd < 0) return nullptr;
    ::close(fd);
    return pool.strdup(path);
}

void cgi_upload_end(const char* path, bool remove) {
    bool tracked = g_upload.live && (!path || strcmp(path, g_upload.path) == 0);
    if (remove && (path || tracked)) ::unlink(path ? path : g_upload.path);
    if (!tracked) return;
    g_upload.live = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    if (g_upload.fd >= 0) ::close(g_upload.fd);
    g_upload.fd = -1;
}

const char* cgi_upload_path() {
    return g_upload.live ? g_upload.path : nullptr;
}

const char* cgi_upload_failure() {
    return g_upload_failure[0] ? g_upload_failure : nullptr;
}

void cgi_remove_upload_on_termination() {
    struct sigaction sa {};
    sa.sa_handler = remove_upload_and_terminate;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &sa, nullptr);
}

// ---- decoders ---------------------------------------------------------------------

namespace {

// Whether the %-decoded form of `raw` is valid UTF-8; when not, `errloc` gets the offset of
// the first bad byte in the decoded text. It decodes piece by piece on the stack, so a large
// value is checked without a copy.
bool decoded_is_utf8(const char* raw, int& errloc) {
    char buf[4096];
    size_t n = 0, base = 0;  // bytes in buf; decoded offset of buf[0]
    const char* p = raw;
    for (;;) {
        while (*p && n < sizeof buf) {
            if (*p == '%' && isxdigit(static_cast<unsigned char>(p[1])) &&
                isxdigit(static_cast<unsigned char>(p[2]))) {
                buf[n++] = x2c(p + 1);
                p += 3;
            } else {
                buf[n++] = *p++;
            }
        }
        long off = 0;
        if (i18n_valid_utf8(buf, n, &off)) {
            if (!*p) return true;
            base += n;
            n = 0;
            continue;
        }
        // A sequence cut by the end of the piece is carried into the next one; anything
        // else is a bad byte.
        size_t at = static_cast<size_t>(off);
        if (!*p || at + 4 <= n || at == 0) {
            errloc = static_cast<int>(base + at);
            return false;
        }
        memmove(buf, buf + at, n - at);
        base += at;
        n -= at;
    }
}

// Decodes the %-escapes of the received text in place and converts it to the server's
// character set. On failure `unconv` gets the text as received and `errloc` the offset of
// the bad byte. Where the server's character set is UTF-8 the text is only checked, and it
// is copied only when it fails.
bool decode_field(char*& text, int& errloc, char*& unconv, WCM_MemPool& pool) {
    if (i18n_native_is_utf8()) {
        bool ok = decoded_is_utf8(text, errloc);
        if (!ok) unconv = pool.strdup(text);
        unescape_url(text);
        return ok;
    }
    char* received = pool.strdup(text);
    unescape_url(text);
    if (to_native(text, errloc, pool)) return true;
    unconv = received;
    return false;
}

}  // namespace

int parse_CGI_encoded(llist* entries, char* text, WCM_MemPool& pool) {
    if (!text || !*text) return CGI_NOTHING;
    int result = CGI_OK;
    node* last = nullptr;
    for (node* p = entries->head; p; p = p->next) last = p;
    char* p = text;
    for (;;) {
        entrytype e;
        entry_default(&e);
        // Name: up to "=", "&" or the end.
        char* name_start = p;
        while (*p && *p != '=' && *p != '&') {
            if (*p == '+') *p = ' ';
            ++p;
        }
        char stop = *p;
        *p = '\0';
        if (encodes_nul(name_start)) return CGI_MALFORMED;
        e.name = name_start;
        if (!decode_field(e.name, e.name_errloc, e.name_unconv, pool)) {
            e.name_status = 0;
            result = CGI_NOT_CONVERTED;
        }
        if (stop == '=' && p[1] != '\0') {
            char* value_start = ++p;
            while (*p && *p != '&') {
                if (*p == '+') *p = ' ';
                ++p;
            }
            stop = *p;
            *p = '\0';
            if (encodes_nul(value_start)) return CGI_MALFORMED;
            e.value = value_start;
            if (!decode_field(e.value, e.value_errloc, e.value_unconv, pool)) {
                e.value_status = 0;
                result = CGI_NOT_CONVERTED;
            }
            last = append_entry(entries, last, e, pool);
            if (stop == '\0') break;
            ++p;
            continue;
        }
        e.value = pool.strdup("");
        last = append_entry(entries, last, e, pool);
        if (stop == '&') return CGI_MALFORMED;  // a name without "=" before more pairs
        break;                                  // end of text, or a trailing "="
    }
    return result;
}

char* get_POST(std::istream& body, WCM_MemPool& pool) {
    long length = content_length();
    if (length <= 0 || over_form_limit(length)) return nullptr;
    char* text = read_body(body, length, pool, nullptr);
    if (!text) {
        fputs("caught by cgihtml: input length < CONTENT_LENGTH\n", stderr);
        exit(1);
    }
    return text;
}

char* get_GET(WCM_MemPool& pool) {
    const char* q = get_header("QUERY_STRING");
    return q && *q ? pool.strdup(q) : nullptr;
}

char* get_DEBUG(std::istream& in, WCM_MemPool& pool) {
    fputs("\n--- cgihtml Interactive Mode ---\n", stderr);
    fputs("Enter CGI input string.  Remember to encode appropriate ", stderr);
    fputs("characters.\nPress ENTER when done:\n\n", stderr);
    std::string line;
    std::getline(in, line);
    fprintf(stderr, "\n Input string: %s\nString length: %d\n", line.c_str(),
            static_cast<int>(line.size()));
    fputs("--- end cgihtml Interactive Mode ---\n\n", stderr);
    return line.empty() ? nullptr : pool.strndup(line.data(), line.size());
}

int parse_xml_encoded(std::istream& body, llist* entries, WCM_MemPool& pool) {
    long length = content_length();
    if (length < 0) return CGI_NOTHING;
    if (over_form_limit(length)) return CGI_FORM_TOO_LARGE;
    entrytype rpc;
    entry_default(&rpc);
    rpc.name = pool.strdup("rpc");
    node* last = append_entry(entries, nullptr, rpc, pool);
    entrytype args;
    entry_default(&args);
    args.name = pool.strdup("rpcargs");
    args.value = read_body(body, length, pool, nullptr);
    if (!args.value) return CGI_MALFORMED;
    append_entry(entries, last, args, pool);
    return CGI_OK;
}

namespace {

// A multipart body read line by line with the remaining byte count kept.
class MultipartReader {
public:
    MultipartReader(std::istream& in, long length, std::string boundary)
        : in_(in), remaining_(length), delimiter_("--" + std::move(boundary)) {}

    // Next line (or piece of a line longer than CGI_LINE_MAX - 1); 0 at the end.
    int line() {
        at_line_start_ = piece_ended_line_;
        int n = getline(in_, buf_, CGI_LINE_MAX);
        remaining_ -= n;
        piece_ended_line_ = n > 0 && buf_[n - 1] == '\n';
        len_ = n;
        return n;
    }
    const char* text() const { return buf_; }
    int length() const { return len_; }
    long remaining() const { return remaining_; }
    void consumed(long n) { remaining_ -= n; }
    size_t boundary_length() const { return delimiter_.size() - 2; }
    std::istream& stream() { return in_; }

    // The current piece is a whole line that starts with the delimiter.
    bool is_delimiter() const {
        return at_line_start_ && strncmp(buf_, delimiter_.c_str(), delimiter_.size()) == 0;
    }
    bool is_closing_delimiter() const {
        return is_delimiter() && strncmp(buf_ + delimiter_.size(), "--", 2) == 0;
    }
    bool is_exact(const std::string& expected) const {
        return static_cast<size_t>(len_) == expected.size() &&
               memcmp(buf_, expected.data(), expected.size()) == 0;
    }
    const std::string& delimiter() const { return delimiter_; }

private:
    std::istream& in_;
    long remaining_;
    std::string delimiter_;
    char buf_[CGI_LINE_MAX];
    int len_ = 0;
    bool piece_ended_line_ = true;
    bool at_line_start_ = true;
};

// Reads header lines up to the empty line; false when the input ends first. A header
// line longer than a buffer is read in pieces, each tested on its own.
bool read_part_headers(MultipartReader& r, bool& utf8, bool& gzip) {
    for (;;) {
        if (r.line() == 0) return false;
        const char* l = r.text();
        if (is_crlf_line(l) || (l[0] == '\n')) return true;
        if (strstr(l, "charset=UTF-8")) utf8 = true;
        if (strstr(l, "Content-Type: application/x-gzip")) gzip = true;
        if (strstr(l, "Content-Type: application/octet-stream")) gzip = false;
    }
}

// Copies the upload, which runs up to the body's closing trailer, into a new upload file
// (uncompressing a gzip upload on the way) and adds its entry. On failure no file is left.
int copy_upload(MultipartReader& r, bool gzip, llist* entries, node*& last, WCM_MemPool& pool) {
    if (!track_new_upload()) {
        set_upload_failure(strerror(errno));
        return CGI_UPLOAD_FAILED;
    }
    auto fail = [](int result) {
        cgi_upload_end(nullptr, true);
        return result;
    };
    long size = r.remaining() - static_cast<long>(r.boundary_length() + 8);
    if (size < 0) return fail(CGI_UPLOAD_FAILED);
    UploadSink sink(g_upload.fd, gzip, g_upload_limit);
    // A delimiter line inside the upload means that another part follows the file: that is
    // refused. `tail` keeps the last bytes of the previous block, so that a delimiter split
    // between two blocks is seen too.
    const std::string marker = "\r\n" + r.delimiter();
    const size_t keep = marker.size() - 1;
    std::vector<char> buffer(CGI_COPY_BLOCK);  // on the heap when an upload comes
    char* const block = buffer.data();
    std::string tail;
    while (size > 0) {
        size_t want = size < CGI_COPY_BLOCK ? static_cast<size_t>(size) : CGI_COPY_BLOCK;
        size_t got = read_fully(r.stream(), block, want);
        r.consumed(static_cast<long>(got));
        size -= static_cast<long>(got);
        if (got < want) return fail(CGI_UPLOAD_FAILED);
        std::string seam = tail;
        seam.append(block, got < keep ? got : keep);
        if (seam.find(marker) != std::string::npos ||
            memmem(block, got, marker.data(), marker.size()))
            return fail(CGI_UPLOAD_FAILED);
        if (got >= keep) {
            tail.assign(block + got - keep, keep);
        } else {
            tail.append(block, got);
            if (tail.size() > keep) tail.erase(0, tail.size() - keep);
        }
        if (!sink.put(block, got))
            return fail(sink.too_large() ? CGI_TOO_LARGE : CGI_UPLOAD_FAILED);
    }
    if (!sink.complete()) return fail(CGI_UPLOAD_FAILED);
    // The closing trailer must follow exactly: CR LF, then "--" boundary "--" CR LF.
    std::string closing = r.delimiter() + "--\r\n";
    bool trailer_ok = r.line() == 2 && is_crlf_line(r.text()) && r.line() > 0 &&
                      r.is_exact(closing) && r.remaining() == 0 && r.stream().good();
    if (!trailer_ok) return fail(CGI_UPLOAD_FAILED);
    entrytype e;
    entry_default(&e);
    e.name = pool.strdup("filename");
    e.value = pool.strdup(g_upload.path);
    last = append_entry(entries, last, e, pool);
    return CGI_OK;
}

}  // namespace

int parse_form_encoded(std::istream& body, llist* entries, WCM_MemPool& pool) {
    long length = content_length();
    if (length < 0) return CGI_NOTHING;
    const char* ctype = get_header("CONTENT_TYPE");
    std::string boundary = boundary_of(ctype ? ctype : "");
    if (boundary.empty() || boundary.size() > 200) return CGI_MALFORMED;
    MultipartReader r(body, length, boundary);

    if (r.line() == 0) return CGI_NOTHING;
    if (!r.is_delimiter()) return CGI_MALFORMED;
    if (r.remaining() <= 0) return CGI_OK;

    int result = CGI_OK;
    node* last = nullptr;
    while (r.remaining() > 0) {
        if (over_form_limit(length - r.remaining())) return CGI_FORM_TOO_LARGE;
        if (r.line() == 0) return CGI_MALFORMED;
        entrytype e;
        entry_default(&e);
        bool utf8 = false, gzip = false;
        bool headers_done = is_crlf_line(r.text());
        if (strstr(r.text(), "filename=\"")) {
            if (g_upload_limit > 0 && r.remaining() > g_upload_limit) {
                if (!headers_done) read_part_headers(r, utf8, gzip);
                return CGI_TOO_LARGE;
            }
            if (!headers_done && !read_part_headers(r, utf8, gzip)) return CGI_UPLOAD_FAILED;
            int st = copy_upload(r, gzip, entries, last, pool);
            return st == CGI_OK ? result : st;
        }
        if (const char* n = strstr(r.text(), "name=\"")) {
            n += strlen("name=\"");
            const char* end = n;
            while (*end && *end != '"' && *end != '\r' && *end != '\n') ++end;
            e.name = pool.strndup(n, static_cast<size_t>(end - n));
        } else {
            e.name = pool.strdup("");
        }
        if (!headers_done && !read_part_headers(r, utf8, gzip)) return CGI_MALFORMED;

        // Field content: lines up to the next delimiter line; the CR LF before the
        // delimiter belongs to the framing, not to the value.
        PoolText value(pool);
        bool closing = false;
        for (;;) {
            if (r.line() == 0) return CGI_MALFORMED;
            if (over_form_limit(length - r.remaining())) return CGI_FORM_TOO_LARGE;
            if (r.is_delimiter()) {
                closing = r.is_closing_delimiter();
                break;
            }
            if (!value.append(r.text(), static_cast<size_t>(r.length()))) return CGI_MALFORMED;
        }
        size_t len = value.size();
        if (len >= 2 && memcmp(value.data() + len - 2, "\r\n", 2) == 0)
            value.shorten(len - 2);
        else if (len >= 1 && value.data()[len - 1] == '\n')
            value.shorten(len - 1);
        // A NUL would cut the value short without anyone noticing: refused.
        if (memchr(value.data(), '\0', value.size())) return CGI_MALFORMED;
        e.value = value.finish();
        if (!e.value) return CGI_MALFORMED;
        // Every text field is UTF-8 whether or not its part says so: a part without a
        // charset gets the same check (and conversion) as one with it.
        if (!convert_buffer_to_local_charset(&e, i18n_utf8(), pool)) result = CGI_NOT_CONVERTED;
        last = append_entry(entries, last, e, pool);
        if (closing) break;
    }
    return result;
}

int read_cgi_input(std::istream& body, const std::multimap<std::string, std::string>& env,
                   llist* entries, WCM_MemPool& pool) {
    set_header_table(env);
    cgilist_create(entries);
    g_upload_failure[0] = '\0';
    cgi_upload_end(nullptr, false);  // an upload of an earlier decoding is not this one's
    if (content_length() == kBadLength) return CGI_MALFORMED;
    if (const char* ctype = get_header("CONTENT_TYPE")) {
        if (strstr(ctype, "multipart/form-data")) return parse_form_encoded(body, entries, pool);
        if (strstr(ctype, "text/xml")) return parse_xml_encoded(body, entries, pool);
    }
    const char* method = get_header("REQUEST_METHOD");
    char* text = nullptr;
    if (!method)
        text = get_DEBUG(body, pool);
    else if (strcmp(method, "POST") == 0 && over_form_limit(content_length()))
        return CGI_FORM_TOO_LARGE;
    else if (strcmp(method, "POST") == 0)
        text = get_POST(body, pool);
    else if (strcmp(method, "GET") == 0)
        text = get_GET(pool);
    else
        return CGI_BAD_METHOD;
    if (!text) return CGI_NOTHING;
    return parse_CGI_encoded(entries, text, pool);
}

int parse_cookies(llist* cookies, WCM_MemPool& pool) {
    const char* text = getenv("HTTP_COOKIE");
    if (!text || !*text) return 0;
    int count = 0;
    node* last = nullptr;
    for (node* p = cookies->head; p; p = p->next) last = p;
    std::string name, value;
    bool in_value = false;
    auto emit = [&]() {
        entrytype e;
        entry_default(&e);
        e.name = const_cast<char*>(name.c_str());
        e.value = const_cast<char*>(value.c_str());
        last = cgilist_insafter(cookies, last, e, pool);
        ++count;
        name.clear();
        value.clear();
        in_value = false;
    };
    for (const char* p = text; *p; ++p) {
        char c = *p;
        if (!in_value) {
            if (c == '=') {
                in_value = true;
                if (p[1] == '\0') emit();  // "name=" at the end: empty value
            } else if (c == ';' || c == '&') {
                // A cookie without "=" has no value; it is dropped.
                name.clear();
                if (c == ';' && p[1] == ' ') ++p;
            } else {
                name += c;
            }
            continue;
        }
        if (c == ';' || c == '&') {
            emit();
            if (c == ';' && p[1] == ' ') ++p;  // the space of "; "
            continue;
        }
        value += c;
        if (p[1] == '\0') emit();
    }
    return count;
}
