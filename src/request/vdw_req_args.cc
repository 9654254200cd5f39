// The RPC argument string: writing it, reading it line by line, and the value coders.
#include "request/vdw_req_args.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "core/imsg/imsg.h"
#include "core/tbs/tbs.h"
#include "foundation/catalogs/vdw_lib_catalog.h"

namespace {

// A too-long line is quoted in its message by its first characters only.
constexpr size_t LINE_EXCERPT_MAX = 64;
constexpr char LINE_EXCERPT_CUT[] = "...";

constexpr char RICH_LINE_FEED[] = "%0A";
constexpr size_t RICH_LINE_FEED_LEN = sizeof RICH_LINE_FEED - 1;

constexpr size_t UUID_DIGITS = TBS_UUID_STR_SIZE - 1;
constexpr int FH_WORDS = 5;

// Copies `path` into `buf` with backslashes turned into slashes, or VDW_PNAME_TOO_LONG
// when it does not fit. `path` and `buf` may be the same storage.
char* normalise_pname(const char* path, char* buf) {
    if (!path) path = "";
    size_t len = strnlen(path, VDW_PNAME_MAX + 1);
    if (len > VDW_PNAME_MAX) {
        memcpy(buf, VDW_PNAME_TOO_LONG, sizeof VDW_PNAME_TOO_LONG);
        return buf;
    }
    for (size_t i = 0; i < len; ++i) buf[i] = path[i] == '\\' ? '/' : path[i];
    buf[len] = '\0';
    return buf;
}

// Parses one hexadecimal word of a file handle: the whole field [begin, end) must be hex
// digits whose value fits an unsigned long.
bool parse_fh_word(const char* begin, const char* end, unsigned long* out) {
    if (begin == end) return false;
    unsigned long value = 0;
    for (const char* p = begin; p != end; ++p) {
        int digit;
        if (*p >= '0' && *p <= '9')
            digit = *p - '0';
        else if (*p >= 'a' && *p <= 'f')
            digit = *p - 'a' + 10;
        else if (*p >= 'A' && *p <= 'F')
            digit = *p - 'A' + 10;
        else
            return false;
        if (value > (ULONG_MAX >> 4)) return false;
        value = value << 4 | static_cast<unsigned long>(digit);
    }
    *out = value;
    return true;
}

long saturating_strtol(const char* text) {
    if (!text) return 0;
    return strtol(text, nullptr, 10);  // saturates at LONG_MIN / LONG_MAX
}

}  // namespace

// ---- VDW_ReqArgsGenerator ---------------------------------------------------------------

void VDW_ReqArgsGenerator::write_text(const char* text) {
    if (!text) return;
    for (const char* p = text; *p; ++p) {
        if (*p == '\n')
            out_ << RICH_LINE_FEED;
        else
            out_ << *p;
    }
}

void VDW_ReqArgsGenerator::add_arg(const char* name) {
    out_ << name << '\n';
}

void VDW_ReqArgsGenerator::add_arg(const char* name, const char* value) {
    out_ << name << '=';
    write_text(value);
    out_ << '\n';
}

void VDW_ReqArgsGenerator::add_arg(const char* name, bool value) {
    out_ << name << '=' << encode_bool(value) << '\n';
}

void VDW_ReqArgsGenerator::add_arg(const char* name, long value) {
    out_ << name << '=' << value << '\n';
}

void VDW_ReqArgsGenerator::add_arg(const char* name, unsigned long value) {
    out_ << name << '=' << value << '\n';
}

void VDW_ReqArgsGenerator::add_arg(const char* name, const view_fhandle& fh) {
    char buf[VDW_FH_BUF_SIZE];
    add_arg(name, encode_fh(fh, buf));
}

void VDW_ReqArgsGenerator::add_pname_arg(const char* name, const char* path) {
    char buf[VDW_PNAME_BUF_SIZE];
    add_arg(name, encode_pname(path, buf));
}

const char* VDW_ReqArgsGenerator::encode_bool(bool value) {
    return value ? "1" : "0";
}

const char* VDW_ReqArgsGenerator::encode_pname(const char* path, char (&buf)[VDW_PNAME_BUF_SIZE]) {
    return normalise_pname(path, buf);
}

const char* VDW_ReqArgsGenerator::encode_fh(const view_fhandle& fh, char (&buf)[VDW_FH_BUF_SIZE]) {
    char uuid[TBS_UUID_STR_SIZE];
    tbs_uuid_to_str(fh.view_uuid, uuid);
    snprintf(buf, sizeof buf, "%s,%lx,%lx,%lx,%lx,%lx", uuid, fh.vob_dbid, fh.elem_dbid,
             fh.ver_dbid, fh.gen, fh.flags);
    return buf;
}

// ---- VDW_ReqArgsParser ------------------------------------------------------------------

VDW_ReqArgsParser::VDW_ReqArgsParser(const char* args)
    : in_(std::make_unique<std::istringstream>(args ? args : "")) {
    name_[0] = '\0';
    value_[0] = '\0';
}

int VDW_ReqArgsParser::take() {
    if (peeked_) {
        peeked_ = false;
        int c = peeked_char_;
        peeked_char_ = -1;
        return c;
    }
    return in_->rdbuf()->sbumpc();
}

bool VDW_ReqArgsParser::has_more_args() {
    if (!consumed_) return true;
    if (!peeked_) {
        peeked_char_ = in_->rdbuf()->sbumpc();
        peeked_ = true;
    }
    return peeked_char_ != std::char_traits<char>::eof();
}

void VDW_ReqArgsParser::fail_too_long(const char* line_start, WCM_Status& status) {
    // Skip the rest of the line so its tail is not taken for the next argument.
    in_->ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    char quoted[LINE_EXCERPT_MAX + sizeof LINE_EXCERPT_CUT];
    snprintf(quoted, sizeof quoted, "%s%s", line_start, LINE_EXCERPT_CUT);
    status.set_error();
    imsg_print_catalog(IMSG_ERROR, &_vdw_lib_lib_msg_table, VDW_LIB_ARGS_LINE_TOO_LONG, quoted);
}

// Reads one line into name_ and value_. The line is split at its first "="; each part
// has its own limit. On failure both are left empty.
bool VDW_ReqArgsParser::read_line(WCM_Status& status) {
    char excerpt[LINE_EXCERPT_MAX + 1];
    size_t excerpt_len = 0;
    char* out = name_;
    size_t limit = VDW_REQ_ARG_NAME_MAX;
    size_t len = 0;
    bool ok = true;
    for (;;) {
        int c = take();
        if (c == std::char_traits<char>::eof()) {
            status.set_error();
            imsg_print_catalog(IMSG_ERROR, &_vdw_lib_lib_msg_table, VDW_LIB_ARGS_PREMATURE_END);
            ok = false;
            break;
        }
        if (c == '\n') break;
        if (excerpt_len < LINE_EXCERPT_MAX) excerpt[excerpt_len++] = static_cast<char>(c);
        if (c == '=' && out == name_) {
            name_[len] = '\0';
            out = value_;
            limit = VDW_REQ_ARG_VALUE_MAX;
            len = 0;
            continue;
        }
        if (len == limit) {
            excerpt[excerpt_len] = '\0';
            fail_too_long(excerpt, status);
            ok = false;
            break;
        }
        out[len++] = static_cast<char>(c);
    }
    if (!ok) {
        name_[0] = '\0';
        value_[0] = '\0';
        return false;
    }
    out[len] = '\0';
    if (out == name_) value_[0] = '\0';
    return true;
}

bool VDW_ReqArgsParser::next(const char*& name, const char*& value, WCM_Status& status) {
    name = name_;
    value = value_;
    if (!consumed_) {
        consumed_ = true;
        return true;
    }
    return read_line(status);
}

bool VDW_ReqArgsParser::match_next(const char* expected, const char** value, WCM_Status& status) {
    const char* name;
    const char* val;
    *value = nullptr;
    if (!next(name, val, status)) {
        imsg_print_catalog(IMSG_ERROR, &_vdw_lib_lib_msg_table, VDW_LIB_ARGS_PARSE_PROBLEM,
                           expected);
        return false;
    }
    if (strcmp(name, expected) != 0) {
        consumed_ = false;
        status.set_error();
        imsg_print_catalog(IMSG_ERROR, &_vdw_lib_lib_msg_table, VDW_LIB_ARGS_UNEXPECTED_ARG,
                           expected, name);
        return false;
    }
    *value = val;
    return true;
}

bool VDW_ReqArgsParser::match_next_opt(const char* expected, const char** value, bool& found,
                                       WCM_Status& status) {
    const char* name;
    const char* val;
    *value = nullptr;
    found = false;
    // An optional argument may be the last one the client leaves out.
    if (!has_more_args()) return true;
    if (!next(name, val, status)) {
        imsg_print_catalog(IMSG_ERROR, &_vdw_lib_lib_msg_table, VDW_LIB_ARGS_PARSE_PROBLEM,
                           expected);
        return false;
    }
    if (strcmp(name, expected) != 0) {
        consumed_ = false;
        return true;
    }
    *value = val;
    found = true;
    return true;
}

bool VDW_ReqArgsParser::decode_bool(const char* text) {
    return text && strcmp(text, "1") == 0;
}

int VDW_ReqArgsParser::decode_int(const char* text) {
    long v = saturating_strtol(text);
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

long VDW_ReqArgsParser::decode_long(const char* text) {
    return saturating_strtol(text);
}

char* VDW_ReqArgsParser::decode_pname(char* text) {
    if (!text) return text;
    return normalise_pname(text, text);
}

char* VDW_ReqArgsParser::decode_pname(const char* text, char (&buf)[VDW_PNAME_BUF_SIZE]) {
    return normalise_pname(text, buf);
}

char* VDW_ReqArgsParser::decode_rich_string(char* text) {
    if (!text) return text;
    char* out = text;
    for (const char* p = text; *p;) {
        if (strncmp(p, RICH_LINE_FEED, RICH_LINE_FEED_LEN) == 0) {
            *out++ = '\n';
            p += RICH_LINE_FEED_LEN;
        } else {
            *out++ = *p++;
        }
    }
    *out = '\0';
    return text;
}

bool VDW_ReqArgsParser::decode_fh(const char* text, view_fhandle* fh, WCM_Status& status) {
    auto malformed = [&status] {
        status.set_error();
        imsg_core_error(IMSG_CORE_OP_FAILED, "decode_fh", tbs_strerror(TBS_ST_ERR));
        return false;
    };
    if (!text) return malformed();

    // UUID field: at most its 32 digits, as "%32s" would take it.
    const char* comma = strchr(text, ',');
    if (!comma || static_cast<size_t>(comma - text) > UUID_DIGITS) return malformed();
    char uuid_text[TBS_UUID_STR_SIZE];
    memcpy(uuid_text, text, static_cast<size_t>(comma - text));
    uuid_text[comma - text] = '\0';

    // Exactly five words follow, the last one ending the text.
    unsigned long words[FH_WORDS];
    const char* p = comma + 1;
    for (int i = 0; i < FH_WORDS; ++i) {
        const char* end = strchr(p, ',');
        bool last = i == FH_WORDS - 1;
        if (last != (end == nullptr)) return malformed();
        if (last) end = p + strlen(p);
        if (!parse_fh_word(p, end, &words[i])) return malformed();
        p = end + (last ? 0 : 1);
    }

    view_fhandle parsed{};
    tbs_status_t st = tbs_uuid_from_str(uuid_text, &parsed.view_uuid);
    if (st != TBS_ST_OK) {
        status.set_status(st);
        imsg_core_error(IMSG_CORE_OP_FAILED_ON, "tbs_uuid_from_str", uuid_text, tbs_strerror(st));
        return false;
    }
    parsed.vob_dbid = words[0];
    parsed.elem_dbid = words[1];
    parsed.ver_dbid = words[2];
    parsed.gen = words[3];
    parsed.flags = words[4];
    *fh = parsed;
    return true;
}
