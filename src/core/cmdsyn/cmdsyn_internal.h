// What the vdtool command files share: the command table entry, the argument scanner that
// every command parses its options with, and the usage and failure reports.
//
// A command's arguments are options first, then operands; "--" ends the options early, so
// an operand may begin with a dash. Every usage error prints a reason (when there is one
// beyond the usage line) and the command's usage line, and fails with 1072.
//
// Commands that act in a view (CMDSYN_TAKES_VIEW) accept "-view view-tag" anywhere among
// their options; the scanner takes it itself, so a command sees only its own options and
// asks `in_view` for the lookup context its argument block takes.
#ifndef CORE_CMDSYN_CMDSYN_INTERNAL_H
#define CORE_CMDSYN_CMDSYN_INTERNAL_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/cmdsyn/cmdsyn.h"

typedef std::vector<std::string> cmdsyn_args_t;
typedef tbs_status_t (*cmdsyn_run_t)(const cmdsyn_args_t& args);

struct cmdsyn_command_t {
    const char* name;
    const char* alias;  // a short name ("co"), or null
    cmdsyn_run_t run;
    const char* usage;
    // The shortest abbreviation of `name` the interpreter takes ("des" for "describe");
    // 0 takes the whole name only.
    int min_len = 0;
};

struct vob_view_ctx_t;

// The element, metadata, listing and view commands (cmdsyn_elem.cc, cmdsyn_list.cc,
// cmdsyn_view.cc).
extern const cmdsyn_command_t cmdsyn_elem_commands[];
extern const size_t cmdsyn_elem_command_count;
extern const cmdsyn_command_t cmdsyn_list_commands[];
extern const size_t cmdsyn_list_command_count;
extern const cmdsyn_command_t cmdsyn_view_commands[];
extern const size_t cmdsyn_view_command_count;
extern const cmdsyn_command_t cmdsyn_admin_commands[];
extern const size_t cmdsyn_admin_command_count;

// A local file a command is about to read: refused (with its message) when the files are
// confined and it lies outside the root.
tbs_status_t cmdsyn_check_local_file(const std::string& path);
// Whether local files are confined: the command runs for a remote user.
bool cmdsyn_files_confined();
// The same for each of `paths`.
tbs_status_t cmdsyn_check_local_files(const std::vector<std::string>& paths);
// Change management (cmdsyn_xcm.cc).
extern const cmdsyn_command_t cmdsyn_xcm_commands[];
extern const size_t cmdsyn_xcm_command_count;
extern const cmdsyn_command_t cmdsyn_xcm_list_commands[];
extern const size_t cmdsyn_xcm_list_command_count;

// Prints "Usage: <usage>" and returns 1072.
tbs_status_t cmdsyn_usage_error(const char* usage);
// Prints "vdtool: Error: Unable to <what> "<object>": <status text>." and returns `st`.
tbs_status_t cmdsyn_failed(const char* what, const char* object, tbs_status_t st);

// The storage path of a new VOB (`for_views` false) or view tagged `tag` in the storage
// location `name` of the default region: the location's directory, the tag's last name and
// `ext`. Reports and fails when there is no such location or it holds the other kind.
tbs_status_t cmdsyn_storage_in_location(const std::string& name, bool for_views,
                                        const std::string& tag, const char* ext, std::string* out);

// A time as vdtool prints it: UTC, "2024-05-01T12:00:00Z" (the bare number when it cannot
// be converted).
std::string cmdsyn_utc(int64_t at);

// Every command follows one shape: scan the options, take the operands, check the
// pathnames, run. `CMDSYN_TRY` returns the first status that is not ok.
#define CMDSYN_TRY(expr)                          \
    do {                                          \
        tbs_status_t try_st_ = (expr);            \
        if (try_st_ != TBS_ST_OK) return try_st_; \
    } while (0)

// Operand counts for cmdsyn_scanner::operands.
enum { CMDSYN_ANY = -1 };

// Scanner flags.
enum { CMDSYN_TAKES_VIEW = 1 };  // the command accepts "-view view-tag"

class cmdsyn_scanner {
public:
    cmdsyn_scanner(const cmdsyn_args_t& args, const char* usage, int flags = 0)
        : args_(args), usage_(usage), flags_(flags) {}

    // Moves to the next option; false once the options end (or one lacked its value).
    bool next_option();
    // Whether the current option is `name`, abbreviated to no fewer than `min_len`
    // characters after the dash.
    bool flag(const char* name, int min_len);
    // The same for an option taking a value: the next argument goes to `*value`.
    bool value(const char* name, int min_len, std::string* value);
    // The same, appending the value to `*values` (an option that may repeat).
    bool values(const char* name, int min_len, std::vector<std::string>* values);
    // "-c comment" and "-nc": the text and the comment mode of the argument blocks.
    bool comment(std::string* text, int* mode);
    // The current option was not recognised.
    tbs_status_t unknown() const;

    // The operands after the options, between `min` and `max` (CMDSYN_ANY: no limit) of
    // them; a usage error when an option lacked its value or the count is wrong.
    tbs_status_t operands(long min, long max, std::vector<std::string>* out) const;
    // A usage error with its reason ("%s" in `why` takes `what`).
    tbs_status_t fail(const char* why, const std::string& what = std::string()) const;
    // Usage errors for names that are not absolute VOB pathnames; `selectors` also admits
    // object selectors ("lbtype:REL1@/vobs/p", "vob:/vobs/p").
    tbs_status_t check_pnames(const std::vector<std::string>& names, bool selectors) const;

    // The view given with -view: `*ctx` becomes its lookup context (null when no view was
    // given: the null view), and each of `names` (may be null) given as a view pathname
    // ("<view root>/vobs/p/a.c") becomes the VOB pathname it stands for; other names stay
    // as they are. A view that cannot be found or started is reported and its status
    // returned; a view pathname with a ".." component is a usage error.
    tbs_status_t in_view(const vob_view_ctx_t** ctx, std::vector<std::string>* names) const;

private:
    const std::string& current() const { return args_[i_]; }

    const cmdsyn_args_t& args_;
    const char* usage_;
    size_t i_ = 0;    // the option being matched
    size_t end_ = 0;  // where the operands begin
    bool started_ = false;
    std::string missing_;  // an option given without its value
    int flags_ = 0;
    bool view_given_ = false;
    std::string view_tag_;
};

#endif
