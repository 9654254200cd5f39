// The CGI input decoder ("cgihtml"): turns a request body, query string and cookies into
// lists of decoded entries.
//
// Bodies may be URL-encoded form data, multipart form data with at most one uploaded file
// (written to a private temporary file in the upload directory; gzip uploads are
// uncompressed as they arrive, and the upload limit counts the uncompressed bytes), or an XML
// document. Everything but the uploaded file (the URL-encoded text, the XML document, the
// fields and part headers of a multipart body) counts against the form limit; a body that
// declares more is refused before any of it is read, and a multipart body as soon as its
// fields pass the limit. Every string lives in the request pool; text is converted to the server's
// character set, and an entry whose conversion failed keeps the received text beside a failed
// status.
#ifndef REQUEST_CGI_INPUT_H
#define REQUEST_CGI_INPUT_H

#include <iosfwd>
#include <map>
#include <string>

class WCM_MemPool;
struct i18n_charset_t;

struct entrytype {
    char* name;
    char* value;
    int name_status;  // 1 converted to the server's character set, 0 conversion failed
    int value_status;
    int name_errloc;  // byte offset where the conversion failed
    int value_errloc;
    char* name_unconv;  // the name as received, when its conversion failed
    char* value_unconv;
};

struct node {
    entrytype entry;
    node* next;
};

struct llist {
    node* head;
};

// Decoder results.
enum {
    CGI_OK = 1,
    CGI_NOTHING = 0,
    CGI_BAD_METHOD = -1,
    CGI_MALFORMED = -2,
    CGI_TOO_LARGE = -3,
    CGI_UPLOAD_FAILED = -4,
    CGI_NOT_CONVERTED = -5,
    CGI_FORM_TOO_LARGE = -6,
};

// Size limit of pathnames and of the lines read from multipart bodies.
constexpr int CGI_PATH_MAX = 1024;
constexpr int CGI_LINE_MAX = 1024;
// Copy block for uploads.
constexpr int CGI_COPY_BLOCK = 16384;

void entry_default(entrytype* e);
void entry_clear(entrytype* e);
void entry_setname(entrytype* e, const char* s, WCM_MemPool& pool);
void entry_setvalue(entrytype* e, const char* s, WCM_MemPool& pool);
void entry_setnameuconv(entrytype* e, const char* s, WCM_MemPool& pool);
void entry_setvalueuconv(entrytype* e, const char* s, WCM_MemPool& pool);

// The list and field helpers below are the decoder's toolkit for hosts and diagnostic
// tools. cgilist_next, cgilist_on_list, cgilist_traverse, cgilist_clear, get_upload_limit,
// newstr, cgi_name_multi, print_cgi_env, accept_image and get_temp_file have no caller in
// this tree yet; their tests are their only users.
void cgilist_create(llist* l);
// Inserts a pool copy of `e` after `after` (or first, when the list is empty or `after`
// is null) and returns the new node.
node* cgilist_insafter(llist* l, node* after, const entrytype& e, WCM_MemPool& pool);
node* cgilist_next(node* n);
bool cgilist_on_list(const llist* l, const node* n);
void cgilist_traverse(llist* l, void (*fn)(entrytype*));
void cgilist_clear(llist* l);

int read_cgi_input(std::istream& body, const std::multimap<std::string, std::string>& env,
                   llist* entries, WCM_MemPool& pool);
int parse_cookies(llist* cookies, WCM_MemPool& pool);
int parse_form_encoded(std::istream& body, llist* entries, WCM_MemPool& pool);
int parse_xml_encoded(std::istream& body, llist* entries, WCM_MemPool& pool);
int parse_CGI_encoded(llist* entries, char* text, WCM_MemPool& pool);

char* get_POST(std::istream& body, WCM_MemPool& pool);
char* get_GET(WCM_MemPool& pool);
char* get_DEBUG(std::istream& in, WCM_MemPool& pool);

char* get_temp_file(WCM_MemPool& pool);
char* get_unix_temp_file_dir();

// An upload lives as long as the request it came with. The decoder keeps the file it wrote
// open, holding its writer lock (so that no sweep of stale temporaries takes it), until
// `cgi_upload_end`: with `remove` at the request's end, without it when an RPC takes the
// file over. `path` names the upload (null: the one the last decoding wrote); an upload
// file that is no longer tracked is still removed when asked.
void cgi_upload_end(const char* path, bool remove);
// The tracked upload's pathname, or null.
const char* cgi_upload_path();
// Why the last decoding's upload failed, for the request's error ("No space left on
// device", the free-space reserve, bad gzip data), or null when no reason is known.
const char* cgi_upload_failure();
// Makes SIGTERM, SIGINT and SIGHUP (what the web server sends when a client goes away)
// remove the upload in progress before the process ends as the signal would have ended it.
void cgi_remove_upload_on_termination();

int convert_buffer_to_local_charset(entrytype* e, const i18n_charset_t* from, WCM_MemPool& pool);

void set_upload_limit(long limit);
long get_upload_limit();
// The most bytes of form data a body may carry (0 or less: no limit; initially none).
void set_form_limit(long limit);
long get_form_limit();
// First value of the request environment stored under exactly `name`, or null.
const char* get_header(const char* name);
// Replaces the process-wide header table (done by read_cgi_input).
void set_header_table(const std::multimap<std::string, std::string>& env);

char x2c(const char* two_hex_digits);
void unescape_url(char* url);
char* url_escape_utf8_string(const char* text, WCM_MemPool& pool);
// Reads one line (up to and including its line feed) of at most max - 1 bytes into
// `buf` and terminates it; a longer line comes in pieces. Returns the bytes read (0 at
// the end of input).
int getline(std::istream& in, char* buf, int max);
char* newstr(const char* s, WCM_MemPool& pool);
char* substr(const char* s, int start, int len, WCM_MemPool& pool);
char* replace_ltgt(const char* s, WCM_MemPool& pool);
char* lower_case(char* s);
// Copy of `s` with a backslash before every character a shell would interpret.
char* escape_input(const char* s, WCM_MemPool& pool);

const char* cgi_val(const llist& l, const char* name);
// Null-terminated pool array of every value (or name) under `name`.
const char** cgi_val_multi(const llist& l, const char* name, WCM_MemPool& pool);
const char* cgi_name(const llist& l, const char* value);
const char** cgi_name_multi(const llist& l, const char* value, WCM_MemPool& pool);
bool is_form_empty(const llist& l);
bool is_field_exists(const llist& l, const char* name);
bool is_field_empty(const llist& l, const char* name);
// Writes `s` with "<", ">", "&" and '"' as HTML entities; null as "&lt;null&gt;".
void html_escape(std::ostream& out, const char* s);
void print_cgi_env(std::ostream& out);
void print_entries(const llist& l, std::ostream& out);
bool accept_image();

#endif
