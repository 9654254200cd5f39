// The marshalled RPC argument string: VDW_ReqArgsGenerator writes it, VDW_ReqArgsParser
// reads it.
//
// The string is a sequence of lines, each ended by a line feed: "name=value" for an
// argument with a value, or "name" alone. A handler reads the arguments in the order its
// RPC defines. Values are text (line feeds written as "%0A"), booleans ("1"/"0"), decimal
// integers, pathnames (separators turned into "/") and view file handles
// ("%32s,%lx,%lx,%lx,%lx,%lx").
//
// The parser is fed by the client, so every buffer it keeps is bounded and every overrun
// is reported as a malformed argument string; nothing is ever written past a buffer.
#ifndef REQUEST_VDW_REQ_ARGS_H
#define REQUEST_VDW_REQ_ARGS_H

#include <cstddef>
#include <memory>
#include <ostream>
#include <sstream>

#include "core/view/view_fhandle.h"
#include "foundation/wcm_status.h"

// Longest argument name and value the parser accepts, in characters.
constexpr size_t VDW_REQ_ARG_NAME_MAX = 255;
constexpr size_t VDW_REQ_ARG_VALUE_MAX = 16368;

// Longest pathname the pathname coders produce, in bytes (without the NUL); a longer one
// is replaced by VDW_PNAME_TOO_LONG.
constexpr size_t VDW_PNAME_MAX = 1024;
constexpr size_t VDW_PNAME_BUF_SIZE = VDW_PNAME_MAX + 1;
constexpr const char VDW_PNAME_TOO_LONG[] = "buffer-too-small";

// Room for the text form of a view file handle: 32 UUID digits and five words of at most
// 16 hexadecimal digits, each after a comma, and the NUL.
constexpr size_t VDW_FH_BUF_SIZE = 128;

// Writes an argument string to a stream the caller owns.
class VDW_ReqArgsGenerator {
public:
    explicit VDW_ReqArgsGenerator(std::ostream& out) : out_(out) {}

    void add_arg(const char* name);
    // Line feeds in the value are written as "%0A"; a null value is written empty.
    void add_arg(const char* name, const char* value);
    void add_arg(const char* name, bool value);
    void add_arg(const char* name, long value);
    void add_arg(const char* name, unsigned long value);
    void add_arg(const char* name, const view_fhandle& fh);
    void add_pname_arg(const char* name, const char* path);

    // "1" or "0".
    static const char* encode_bool(bool value);
    // Copies `path` into `buf` with every backslash turned into a slash; a result longer
    // than VDW_PNAME_MAX is replaced by VDW_PNAME_TOO_LONG. Returns `buf`.
    static const char* encode_pname(const char* path, char (&buf)[VDW_PNAME_BUF_SIZE]);
    // Writes the text form of `fh` into `buf`. Returns `buf`.
    static const char* encode_fh(const view_fhandle& fh, char (&buf)[VDW_FH_BUF_SIZE]);

private:
    void write_text(const char* text);

    std::ostream& out_;
};

// Reads an argument string line by line.
//
// Protocol: `next` hands out the next line and marks it consumed. `match_next` and
// `match_next_opt` put a line whose name is not the expected one back (unconsumed), so the
// following call sees it again without reading. The name and value handed out point into
// the parser and stay valid until the next line is read.
//
// Failures set code 1001 in the status and print a vdw_lib message as a core error
// message (the facade's message capture carries it to the client); they add no status
// text. After a failure the parser holds an empty, consumed line and reading can go on
// from the line after the faulty one.
class VDW_ReqArgsParser {
public:
    // Copies `args` (null reads as empty).
    explicit VDW_ReqArgsParser(const char* args);
    VDW_ReqArgsParser(const VDW_ReqArgsParser&) = delete;
    VDW_ReqArgsParser& operator=(const VDW_ReqArgsParser&) = delete;

    // True when a line is waiting unconsumed, or when input remains.
    bool has_more_args();
    // The next line split at its first "=" (no "=": the whole line is the name and the
    // value is empty). Fails on input that ends before a line feed and on a line whose
    // name or value exceeds its limit; the rest of a too-long line is skipped.
    bool next(const char*& name, const char*& value, WCM_Status& status);
    // Reads the next argument, which must be named `expected`. On success `*value` is its
    // value; on failure `*value` is null, the line stays unconsumed when it was read.
    bool match_next(const char* expected, const char** value, WCM_Status& status);
    // Like match_next for an optional argument: another name, or the clean end of the
    // input, sets `found` false and returns true without error, leaving the line for the
    // next call. Returns false only when reading fails.
    bool match_next_opt(const char* expected, const char** value, bool& found, WCM_Status& status);

    // True only for exactly "1".
    static bool decode_bool(const char* text);
    // Decimal, as atoi and atol read it (leading blanks, sign, digits up to the first
    // other character); out-of-range values saturate; null reads as 0.
    static int decode_int(const char* text);
    static long decode_long(const char* text);
    // Turns every backslash into a slash in place; a text longer than VDW_PNAME_MAX is
    // replaced by VDW_PNAME_TOO_LONG. Returns `text`.
    static char* decode_pname(char* text);
    // Same into `buf`. Returns `buf`.
    static char* decode_pname(const char* text, char (&buf)[VDW_PNAME_BUF_SIZE]);
    // Turns every "%0A" into a line feed, in place. Returns `text`.
    static char* decode_rich_string(char* text);
    // Parses the text form of a view file handle into `*fh` (left unchanged on failure).
    // Anything but a UUID field and five hexadecimal words that fit an unsigned long is
    // malformed: status 1001 and core message 46. A UUID field that is not a UUID: the
    // core's status and core message 47.
    static bool decode_fh(const char* text, view_fhandle* fh, WCM_Status& status);

private:
    int take();
    bool read_line(WCM_Status& status);
    void fail_too_long(const char* line_start, WCM_Status& status);

    std::unique_ptr<std::istringstream> in_;
    bool consumed_ = true;
    bool peeked_ = false;
    int peeked_char_ = -1;
    char name_[VDW_REQ_ARG_NAME_MAX + 1];
    char value_[VDW_REQ_ARG_VALUE_MAX + 1];
};

#endif
