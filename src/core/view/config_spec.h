// Config specs: the rules that choose which version of each element a view sees, and the
// load rules that say which parts of the VOB namespace a copy-area view holds.
//
// The text is one rule a line; "#" starts a comment that runs to the end of the line:
//
//   element [-file|-directory] <pattern> <selector> [-mkbranch <brtype>] [-nocheckout]
//   load <pathname>
//
// A pattern is matched against the element's pathname ("/vobs/p/src/a.c"). "*" alone
// matches every element. Otherwise components are compared one by one: "*" and "?" inside
// a component match as shell globs do (never across "/"), and a component "..." matches
// zero or more whole components ("/vobs/p/src/..." is src and everything below it,
// ".../*.c" any .c file). A pattern without a leading "/" matches the pathname's last
// components. Patterns with spaces are written in double quotes.
//
// Selectors: CHECKEDOUT (the element's checkout in this view), a branch path with LATEST or
// a version number ("/main/LATEST", "/main/dev/3"), a branch path with a label
// ("/main/dev/REL1": the labelled version, if it is on that branch), ".../dev/LATEST" (the
// branch dev wherever it grew on the element), a bare label type name ("REL1"), and -none
// (the element is not visible). The first rule whose pattern matches and whose selector
// names a version of the element selects it; a selector that names nothing for the element
// (no such branch, label or version) lets evaluation go on to the next rule. When no rule
// selects, the element has no version in the view.
//
// A parsed spec is immutable: evaluation keeps no state in it, so one spec may serve
// lookups from several threads at once.
#ifndef CORE_VIEW_CONFIG_SPEC_H
#define CORE_VIEW_CONFIG_SPEC_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/tbs/tbs.h"
#include "core/vob/vob.h"
#include "core/vob/vob_obj.h"

enum {
    VIEW_CSPEC_MAX_TEXT = 1 << 20,  // bytes of a whole spec
    VIEW_CSPEC_MAX_LINE = 4096,     // bytes of one line, comment included
    VIEW_CSPEC_MAX_RULES = 10000,
    VIEW_CSPEC_MAX_ERRORS = 100,  // errors reported before parsing gives up
};

enum view_cspec_rule_kind_t { VIEW_RULE_ELEMENT = 1, VIEW_RULE_LOAD = 2 };

enum view_cspec_sel_kind_t {
    VIEW_SEL_CHECKEDOUT = 1,
    VIEW_SEL_LATEST,  // latest version of a branch
    VIEW_SEL_NUMBER,  // a version number on a branch
    VIEW_SEL_LABEL,   // a labelled version, on a branch when one is given
    VIEW_SEL_NONE,    // -none: no version
};

// Which elements a rule applies to by kind (element -file / -directory).
enum view_cspec_elkind_t { VIEW_ELKIND_ANY = 0, VIEW_ELKIND_FILE = 1, VIEW_ELKIND_DIR = 2 };

// A pattern split into components at parse time. "..." stands for any number of
// components; a relative pattern is kept as one that begins with "...".
struct view_cspec_pattern_t {
    bool all = false;  // "*": every element
    std::vector<std::string> comps;
};

struct view_cspec_selector_t {
    view_cspec_sel_kind_t kind = VIEW_SEL_NONE;
    // The branch path ("/main/dev"), or for a branch found anywhere (".../dev") its tail
    // ("/dev"); empty for a bare label and for CHECKEDOUT.
    std::string branch;
    bool anywhere = false;    // the branch path began with "..."
    std::string branch_leaf;  // last component of `branch` (its branch type)
    bool tail_multi = false;  // `anywhere` with more than one component in `branch`
    int64_t number = 0;       // VIEW_SEL_NUMBER
    std::string label;        // VIEW_SEL_LABEL
};

struct view_cspec_rule_t {
    view_cspec_rule_kind_t kind = VIEW_RULE_ELEMENT;
    int line = 0;      // source line, from 1
    std::string text;  // the rule as written, whitespace normalised, comment dropped
    // Element rules.
    view_cspec_elkind_t elkind = VIEW_ELKIND_ANY;
    std::string pattern;  // as written (unquoted)
    view_cspec_pattern_t pat;
    std::string selector;  // as written
    view_cspec_selector_t sel;
    std::string mkbranch;  // -mkbranch type, empty when none
    bool nocheckout = false;
    // Load rules: the pathname, without a trailing "/".
    std::string load_path;
};

struct view_cspec_t {
    std::vector<view_cspec_rule_t> rules;  // in source order, element and load rules mixed
    // The view whose checkouts CHECKEDOUT sees. Parsing leaves it null (the server's own
    // view); the view that installs the spec sets it.
    tbs_uuid_t view_uuid{};
};

// Parses a spec. On success `out` holds its rules and the status is TBS_ST_OK. On failure
// the status is TBS_ST_INVALID, `out` is left as it was, and each problem is one entry of
// `errors` (when given) reading "line N: <what>"; after VIEW_CSPEC_MAX_ERRORS of them one
// last entry says where parsing stopped.
tbs_status_t view_cspec_parse(const char* text, view_cspec_t* out,
                              std::vector<std::string>* errors);

// Whether an element rule's pattern matches a pathname. The part from "@@" on, if any, is
// not part of the element's name and is ignored.
bool view_cspec_pattern_match(const view_cspec_pattern_t& pat, const char* pname);

// The outcome of evaluating a spec for one element.
struct view_cspec_choice_t {
    vob_dbid_t version = 0;  // 0: the element has no version in the view
    int rule = -1;           // index in view_cspec_t::rules of the rule that decided
    // The deciding rule's options, for checkout: branch to make and check out (points into
    // the spec; empty when none) and whether checkouts are refused.
    const char* mkbranch = "";
    bool nocheckout = false;
};

// Evaluates the element rules for `element` named `pname`. CHECKEDOUT sees only checkouts
// made in `view_uuid`; for it the chosen version is the checked-out version. Failures of the
// VOB's database are returned; a selector that names nothing is not a failure.
tbs_status_t view_cspec_select(const view_cspec_t& cspec, vob_t* vob, vob_dbid_t element,
                               const char* pname, const tbs_uuid_t& view_uuid,
                               view_cspec_choice_t* out);

// The version-selection hook for lookups: `ctx` is a const view_cspec_t*, and its
// `view_uuid` is the view whose checkouts CHECKEDOUT sees.
tbs_status_t view_cspec_select_proc(void* ctx, vob_t* vob, vob_dbid_t element, const char* pname,
                                    vob_dbid_t* version);

// The lookup context of a view that selects through `cspec` (which must outlive it).
vob_view_ctx_t view_cspec_view_ctx(const view_cspec_t& cspec);

// Writes the text of rule `rule_index` as the user wrote it (whitespace normalised, comment
// dropped). TBS_ST_INVALID for an index out of range, TBS_ST_TOO_LONG when it does not fit
// in `size` bytes with its terminating NUL (nothing is written then).
tbs_status_t view_spec_rule_format(const view_cspec_t& cspec, int rule_index, char* buf,
                                   size_t size);

// The paths of the load rules, in order.
std::vector<std::string> view_cspec_load_rules(const view_cspec_t& cspec);

enum view_load_scope_t {
    VIEW_LOAD_OUT = 0,       // not loaded
    VIEW_LOAD_IN = 1,        // a load rule names it or one of its ancestors
    VIEW_LOAD_ANCESTOR = 2,  // a directory on the way to a load rule's path
};
// Where a pathname stands with respect to the load rules. IN wins over ANCESTOR.
view_load_scope_t view_cspec_in_load_scope(const view_cspec_t& cspec, const char* pname);

// The spec written back as text, one rule a line in order.
std::string view_cspec_text(const view_cspec_t& cspec);

// The spec a view starts with.
extern const char* const VIEW_CSPEC_DEFAULT;

// How setcs chooses a view's new spec.
enum view_setcs_mode_t {
    VIEW_SETCS_REPLACE = 1,  // the given text
    VIEW_SETCS_DEFAULT = 2,  // VIEW_CSPEC_DEFAULT
    VIEW_SETCS_CURRENT = 3,  // the view's current text again, unchanged
};
// The mode named "replace", "default" or "current"; TBS_ST_INVALID for any other name.
tbs_status_t view_setcs_mode_from_name(const char* name, view_setcs_mode_t* mode);

// Chooses and parses a view's new spec. `current` is the view's spec text now and `given`
// the text a replace names (either may be null when the mode does not use it). On success
// `text` is the text to store and `out` its parse (its view_uuid kept); on failure neither
// changes and `errors` says why.
tbs_status_t view_cspec_setcs(view_setcs_mode_t mode, const char* current, const char* given,
                              std::string* text, view_cspec_t* out,
                              std::vector<std::string>* errors);

#endif
