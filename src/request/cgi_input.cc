// The CGI input decoder: URL-encoded, multipart and XML bodies, query strings, cookies.
#include "request/cgi_input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <istream>
#include <ostream>
#include <string>

#include "core/util/fileutl.h"
#include "core/util/i18n.h"
#include "foundation/wcm_mempool.h"

namespace {

std::multimap<std::string, std::string> g_headers;
long g_upload_limit = 0;
char g_upload_dir[CGI_PATH_MAX];

// Restores the process umask on scope exit.
class UmaskZero {
public:
    UmaskZero() : saved_(::umask(0)) {}
    ~UmaskZero() { ::umask(saved_); }

private:
    mode_t saved_;
};

// Closes a descriptor and, unless kept, removes the file it was opened for.
class UploadFile {
public:
    explicit UploadFile(const char* path) : path_(path) {}
    ~UploadFile() {
        close_fd();
        if (!keep_ && path_) ::unlink(path_);
    }
    bool open() {
        fd_ = ::open(path_, O_WRONLY | O_TRUNC | O_CLOEXEC);
        return fd_ >= 0;
    }
    bool write_all(const char* p, size_t n) { return fileutl_write_all(fd_, p, n); }
    bool close_fd() {
        if (fd_ < 0) return true;
        int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }
    void keep() { keep_ = true; }

private:
    const char* path_;
    int fd_ = -1;
    bool keep_ = false;
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

// Reads a whole body of `length` bytes; false when the input ends first.
bool read_body(std::istream& in, long length, std::string& out) {
    out.clear();
    // Grow with the data rather than trusting a length the client states.
    constexpr size_t kStep = 1 << 20;
    size_t want = static_cast<size_t>(length);
    while (out.size() < want) {
        size_t chunk = want - out.size() < kStep ? want - out.size() : kStep;
        size_t old = out.size();
        out.resize(old + chunk);
        size_t got = read_fully(in, out.data() + old, chunk);
        out.resize(old + got);
        if (got < chunk) return false;
    }
    return true;
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
    auto* n = static_cast<node*>(pool.alloc(sizeof(node)));
    if (!n) return nullptr;
    n->entry = e;
    entry_setname(&n->entry, e.name, pool);
    entry_setvalue(&n->entry, e.value, pool);
    entry_setnameuconv(&n->entry, e.name_unconv, pool);
    entry_setvalueuconv(&n->entry, e.value_unconv, pool);
    if (!l->head || !after) {
        n->next = l->head;
        l->head = n;
    } else {
        n->next = after->next;
        after->next = n;
    }
    return n;
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
    if (i18n_convert(from, i18n_native(), e->value, strlen(e->value), pool.get_area(), &out,
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
    // Only the site account may see or replace an upload between its arrival and its use:
    // the directory is 0700 and must be the account's own (one left wider by an older
    // release is narrowed).
    if (fileutl_mkdir_p(g_upload_dir, 0700) != 0) return nullptr;
    struct stat st;
    if (::lstat(g_upload_dir, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid())
        return nullptr;
    if ((st.st_mode & 07777) != 0700 && ::chmod(g_upload_dir, 0700) != 0) return nullptr;
    return g_upload_dir;
}

char* get_temp_file(WCM_MemPool& pool) {
    const char* dir = get_unix_temp_file_dir();
    if (!dir) return nullptr;
    char path[CGI_PATH_MAX];
    int fd;
    {
        UmaskZero umask0;
        fd = fileutl_create_temp(dir, "QLMX", 0600, path, sizeof path);
    }
    if (fd < 0) return nullptr;
    ::close(fd);
    return pool.strdup(path);
}

// ---- decoders ---------------------------------------------------------------------

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
        char* received = pool.strdup(name_start);
        if (encodes_nul(received)) return CGI_MALFORMED;
        unescape_url(name_start);
        e.name = name_start;
        if (!to_native(e.name, e.name_errloc, pool)) {
            e.name_status = 0;
            e.name_unconv = received;
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
            char* raw = pool.strdup(value_start);
            if (encodes_nul(raw)) return CGI_MALFORMED;
            unescape_url(value_start);
            e.value = value_start;
            if (!to_native(e.value, e.value_errloc, pool)) {
                e.value_status = 0;
                e.value_unconv = raw;
                result = CGI_NOT_CONVERTED;
            }
            last = cgilist_insafter(entries, last, e, pool);
            if (stop == '\0') break;
            ++p;
            continue;
        }
        e.value = const_cast<char*>("");
        last = cgilist_insafter(entries, last, e, pool);
        if (stop == '&') return CGI_MALFORMED;  // a name without "=" before more pairs
        break;                                  // end of text, or a trailing "="
    }
    return result;
}

char* get_POST(std::istream& body, WCM_MemPool& pool) {
    long length = content_length();
    if (length <= 0) return nullptr;
    std::string text;
    if (!read_body(body, length, text)) {
        fputs("caught by cgihtml: input length < CONTENT_LENGTH\n", stderr);
        exit(1);
    }
    return pool.strndup(text.data(), text.size());
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
    entrytype rpc;
    entry_default(&rpc);
    rpc.name = const_cast<char*>("rpc");
    node* last = cgilist_insafter(entries, nullptr, rpc, pool);
    std::string doc;
    if (!read_body(body, length, doc)) return CGI_MALFORMED;
    entrytype args;
    entry_default(&args);
    args.name = const_cast<char*>("rpcargs");
    args.value = pool.strndup(doc.data(), doc.size());
    if (!args.value) return CGI_MALFORMED;
    cgilist_insafter(entries, last, args, pool);
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

int copy_upload(MultipartReader& r, const char* path, bool gzip, entrytype& e, llist* entries,
                node*& last, WCM_MemPool& pool) {
    UploadFile file(path);
    if (!file.open()) return CGI_UPLOAD_FAILED;
    long size = r.remaining() - static_cast<long>(r.boundary_length() + 8);
    bool copy_error = size < 0;
    // The upload runs up to the closing trailer, so a delimiter line inside it means that
    // another part follows the file: that is refused. `carry` keeps the end of the
    // previous block so that a delimiter split between two blocks is seen too.
    const std::string marker = "\r\n" + r.delimiter();
    static thread_local char block[CGI_COPY_BLOCK];
    std::string tail;  // last marker.size() - 1 bytes copied so far
    bool delimiter_inside = false;
    while (!copy_error && size > 0) {
        size_t want = size < CGI_COPY_BLOCK ? static_cast<size_t>(size) : CGI_COPY_BLOCK;
        size_t got = read_fully(r.stream(), block, want);
        r.consumed(static_cast<long>(got));
        size -= static_cast<long>(got);
        if (got < want || !file.write_all(block, got)) copy_error = true;
        std::string seam = tail;
        seam.append(block, got < marker.size() - 1 ? got : marker.size() - 1);
        if (seam.find(marker) != std::string::npos ||
            memmem(block, got, marker.data(), marker.size()))
            delimiter_inside = true;
        seam = tail;
        seam.append(block + (got > marker.size() ? got - marker.size() : 0),
                    got > marker.size() ? marker.size() : got);
        tail = seam.substr(seam.size() > marker.size() - 1 ? seam.size() - (marker.size() - 1) : 0);
    }
    if (delimiter_inside) copy_error = true;
    if (!file.close_fd()) return CGI_UPLOAD_FAILED;
    if (copy_error) return CGI_UPLOAD_FAILED;

    const char* result = path;
    if (gzip) {
        char* plain = get_temp_file(pool);
        if (!plain) return CGI_UPLOAD_FAILED;
        UploadFile unzipped(plain);
        if (fileutl_gunzip(path, plain) != 0) return CGI_UPLOAD_FAILED;
        unzipped.keep();
        result = plain;  // `file` removes the compressed copy
    } else {
        file.keep();
    }
    e.value = const_cast<char*>(result);
    // The closing trailer must follow exactly: CR LF, then "--" boundary "--" CR LF.
    std::string closing = r.delimiter() + "--\r\n";
    bool trailer_ok = r.line() == 2 && is_crlf_line(r.text()) && r.line() > 0 &&
                      r.is_exact(closing) && r.remaining() == 0 && r.stream().good();
    if (!trailer_ok) {
        ::unlink(result);
        return CGI_UPLOAD_FAILED;
    }
    last = cgilist_insafter(entries, last, e, pool);
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
            e.name = const_cast<char*>("filename");
            char* path = get_temp_file(pool);
            if (!path) return CGI_UPLOAD_FAILED;
            if (!headers_done && !read_part_headers(r, utf8, gzip)) {
                ::unlink(path);
                return CGI_UPLOAD_FAILED;
            }
            int st = copy_upload(r, path, gzip, e, entries, last, pool);
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
        std::string value;
        bool closing = false;
        for (;;) {
            if (r.line() == 0) return CGI_MALFORMED;
            if (r.is_delimiter()) {
                closing = r.is_closing_delimiter();
                break;
            }
            value.append(r.text(), static_cast<size_t>(r.length()));
        }
        if (value.size() >= 2 && value.compare(value.size() - 2, 2, "\r\n") == 0)
            value.resize(value.size() - 2);
        else if (!value.empty() && value.back() == '\n')
            value.pop_back();
        // A NUL would cut the value short without anyone noticing: refused.
        if (value.find('\0') != std::string::npos) return CGI_MALFORMED;
        e.value = pool.strndup(value.data(), value.size());
        // Every text field is UTF-8 whether or not its part says so: a part without a
        // charset gets the same check (and conversion) as one with it.
        if (!convert_buffer_to_local_charset(&e, i18n_utf8(), pool)) result = CGI_NOT_CONVERTED;
        last = cgilist_insafter(entries, last, e, pool);
        if (closing) break;
    }
    return result;
}

int read_cgi_input(std::istream& body, const std::multimap<std::string, std::string>& env,
                   llist* entries, WCM_MemPool& pool) {
    set_header_table(env);
    cgilist_create(entries);
    if (content_length() == kBadLength) return CGI_MALFORMED;
    if (const char* ctype = get_header("CONTENT_TYPE")) {
        if (strstr(ctype, "multipart/form-data")) return parse_form_encoded(body, entries, pool);
        if (strstr(ctype, "text/xml")) return parse_xml_encoded(body, entries, pool);
    }
    const char* method = get_header("REQUEST_METHOD");
    char* text = nullptr;
    if (!method)
        text = get_DEBUG(body, pool);
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
