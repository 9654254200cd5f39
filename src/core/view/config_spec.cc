// Config specs: parsing, per-element evaluation, load scopes and setcs.
//
// Evaluation runs for every pathname component of every lookup in a view, so everything
// that can be decided from the text alone (pattern components, selector kind, branch and
// label names) is decided at parse time; selection itself is pattern matching over the
// pathname in place plus one or two indexed queries per rule tried.
#include "core/view/config_spec.h"

#include <cstring>
#include <utility>

#include "core/vob/vob_store.h"

const char* const VIEW_CSPEC_DEFAULT = "element * CHECKEDOUT\nelement * /main/LATEST\n";

namespace {

const char kAnyDepth[] = "...";

bool is_any_depth(const std::string& comp) {
    return comp == kAnyDepth;
}

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::vector<std::string> split_slashes(const std::string& s) {
    std::vector<std::string> parts;
    size_t i = 0;
    while (i <= s.size()) {
        size_t slash = s.find('/', i);
        if (slash == std::string::npos) slash = s.size();
        parts.push_back(s.substr(i, slash - i));
        i = slash + 1;
    }
    return parts;
}

// A user's text echoed in an error, cut short so one error stays one readable line.
std::string quoted(const std::string& s) {
    const size_t kMax = 64;
    return "'" + (s.size() > kMax ? s.substr(0, kMax) + "..." : s) + "'";
}

struct token_t {
    std::string value;  // without quotes
    std::string raw;    // as written
    bool was_quoted = false;
};

// Splits one line into tokens; a "#" outside quotes ends the line. Returns false with
// `why` set on an unterminated quote or a control character.
bool tokenize(const char* p, size_t n, std::vector<token_t>* out, std::string* why) {
    size_t i = 0;
    for (size_t k = 0; k < n; ++k) {
        unsigned char c = static_cast<unsigned char>(p[k]);
        if ((c < 32 && !is_space(p[k])) || c == 127) {
            *why = "control character in the line";
            return false;
        }
    }
    while (i < n) {
        if (is_space(p[i])) {
            ++i;
            continue;
        }
        if (p[i] == '#') break;
        token_t t;
        if (p[i] == '"') {
            size_t close = i + 1;
            while (close < n && p[close] != '"') ++close;
            if (close >= n) {
                *why = "unterminated quote";
                return false;
            }
            t.value.assign(p + i + 1, close - i - 1);
            t.raw.assign(p + i, close - i + 1);
            t.was_quoted = true;
            i = close + 1;
        } else {
            size_t end = i;
            while (end < n && !is_space(p[end]) && p[end] != '#' && p[end] != '"') ++end;
            t.value.assign(p + i, end - i);
            t.raw = t.value;
            i = end;
        }
        out->push_back(std::move(t));
    }
    return true;
}

bool parse_pattern(const std::string& text, view_cspec_pattern_t* out, std::string* why) {
    if (text.empty()) {
        *why = "empty pattern";
        return false;
    }
    if (text == "*") {
        out->all = true;
        return true;
    }
    const bool absolute = text[0] == '/';
    if (!absolute) out->comps.push_back(kAnyDepth);
    for (std::string& c : split_slashes(text)) {
        if (c.empty() || c == ".") continue;
        if (c == "..") {
            *why = "'..' in pattern " + quoted(text);
            return false;
        }
        if (c.size() > VOB_MAX_NAME) {
            *why = "pattern component too long in " + quoted(text);
            return false;
        }
        // Consecutive "..." match what one does; keeping one bounds the matching work.
        if (is_any_depth(c) && !out->comps.empty() && is_any_depth(out->comps.back())) continue;
        out->comps.push_back(std::move(c));
    }
    if (!absolute && out->comps.size() == 1) {
        *why = "empty pattern " + quoted(text);
        return false;
    }
    return true;
}

bool parse_selector(const std::string& text, view_cspec_selector_t* out, std::string* why) {
    *why = "bad selector " + quoted(text);
    if (text.empty()) return false;
    if (text == "CHECKEDOUT") {
        out->kind = VIEW_SEL_CHECKEDOUT;
        return true;
    }
    if (text == "-none") {
        out->kind = VIEW_SEL_NONE;
        return true;
    }
    auto plain_name = [](const std::string& s) {
        return vob_utl_valid_name(s.c_str()) && s != kAnyDepth && s != "LATEST" &&
               s != "CHECKEDOUT";
    };
    if (text[0] != '/' && text.compare(0, 4, ".../") != 0) {
        if (!plain_name(text) || vob_utl_is_number(text) || text[0] == '-') return false;
        out->kind = VIEW_SEL_LABEL;
        out->label = text;
        return true;
    }
    std::vector<std::string> parts = split_slashes(text);
    size_t first = 1;  // "/main/..." splits with an empty first part
    if (parts[0] == kAnyDepth) {
        out->anywhere = true;
    } else if (!parts[0].empty()) {
        return false;
    }
    // At least one branch and the version part.
    if (parts.size() < first + 2) return false;
    for (size_t i = first; i + 1 < parts.size(); ++i) {
        if (!plain_name(parts[i])) return false;
        out->branch += "/" + parts[i];
    }
    out->branch_leaf = parts[parts.size() - 2];
    out->tail_multi = out->anywhere && parts.size() > first + 2;
    const std::string& last = parts.back();
    if (last == "LATEST") {
        out->kind = VIEW_SEL_LATEST;
    } else if (vob_utl_is_number(last)) {
        out->kind = VIEW_SEL_NUMBER;
        out->number = std::stoll(last);
    } else if (plain_name(last)) {
        out->kind = VIEW_SEL_LABEL;
        out->label = last;
    } else {
        return false;
    }
    return true;
}

std::string join_raw(const std::vector<token_t>& tokens) {
    std::string s;
    for (const token_t& t : tokens) {
        if (!s.empty()) s += ' ';
        s += t.raw;
    }
    return s;
}

bool parse_element(const std::vector<token_t>& tk, view_cspec_rule_t* r, std::string* why) {
    size_t i = 1;
    for (; i < tk.size() && !tk[i].was_quoted; ++i) {
        view_cspec_elkind_t k;
        if (tk[i].value == "-file")
            k = VIEW_ELKIND_FILE;
        else if (tk[i].value == "-directory")
            k = VIEW_ELKIND_DIR;
        else
            break;
        if (r->elkind != VIEW_ELKIND_ANY) {
            *why = "element kind given twice";
            return false;
        }
        r->elkind = k;
    }
    if (i < tk.size() && !tk[i].was_quoted && tk[i].value[0] == '-') {
        *why = "unknown option " + quoted(tk[i].value);
        return false;
    }
    if (i + 2 > tk.size()) {
        *why = "element rule needs a pattern and a selector";
        return false;
    }
    r->pattern = tk[i].value;
    if (!parse_pattern(r->pattern, &r->pat, why)) return false;
    r->selector = tk[i + 1].value;
    if (!parse_selector(r->selector, &r->sel, why)) return false;
    for (i += 2; i < tk.size(); ++i) {
        const std::string& v = tk[i].value;
        if (v == "-nocheckout" && !tk[i].was_quoted) {
            if (r->nocheckout) {
                *why = "-nocheckout given twice";
                return false;
            }
            r->nocheckout = true;
        } else if (v == "-mkbranch" && !tk[i].was_quoted) {
            if (!r->mkbranch.empty()) {
                *why = "-mkbranch given twice";
                return false;
            }
            if (i + 1 >= tk.size()) {
                *why = "-mkbranch needs a branch type";
                return false;
            }
            const std::string& type = tk[++i].value;
            if (!vob_utl_valid_name(type.c_str()) || type[0] == '-') {
                *why = "bad branch type name " + quoted(type);
                return false;
            }
            r->mkbranch = type;
        } else if (!v.empty() && v[0] == '-' && !tk[i].was_quoted) {
            *why = "unknown option " + quoted(v);
            return false;
        } else {
            *why = "unexpected " + quoted(v);
            return false;
        }
    }
    return true;
}

// A pathname in the one form load rules are compared in: components joined by single
// slashes, "." dropped, no trailing slash ("/" for the root). False on "..".
bool normal_path(const char* p, size_t n, std::string* out) {
    out->clear();
    size_t i = 0;
    while (i < n) {
        while (i < n && p[i] == '/') ++i;
        size_t end = i;
        while (end < n && p[end] != '/') ++end;
        if (end > i) {
            if (end - i == 1 && p[i] == '.') {
                // dropped
            } else if (end - i == 2 && p[i] == '.' && p[i + 1] == '.') {
                return false;
            } else {
                *out += '/';
                out->append(p + i, end - i);
            }
        }
        i = end;
    }
    if (out->empty()) *out = "/";
    return true;
}

bool parse_load(const std::vector<token_t>& tk, view_cspec_rule_t* r, std::string* why) {
    if (tk.size() != 2) {
        *why = tk.size() < 2 ? "load rule needs a pathname" : "unexpected " + quoted(tk[2].value);
        return false;
    }
    const std::string& p = tk[1].value;
    if (p.empty() || p[0] != '/') {
        *why = "load pathname must begin with '/': " + quoted(p);
        return false;
    }
    if (!normal_path(p.data(), p.size(), &r->load_path)) {
        *why = "'..' in load pathname " + quoted(p);
        return false;
    }
    for (const std::string& c : split_slashes(r->load_path)) {
        if (c.size() > VOB_MAX_NAME) {
            *why = "load pathname component too long";
            return false;
        }
    }
    return true;
}

// Parses one line; false with `why` set when it is wrong. A blank or comment line leaves
// `has_rule` false.
bool parse_line(const char* p, size_t n, int line, view_cspec_rule_t* r, bool* has_rule,
                std::string* why) {
    *has_rule = false;
    std::vector<token_t> tk;
    if (!tokenize(p, n, &tk, why)) return false;
    if (tk.empty()) return true;
    r->line = line;
    r->text = join_raw(tk);
    bool ok;
    if (tk[0].value == "element" && !tk[0].was_quoted) {
        r->kind = VIEW_RULE_ELEMENT;
        ok = parse_element(tk, r, why);
    } else if (tk[0].value == "load" && !tk[0].was_quoted) {
        r->kind = VIEW_RULE_LOAD;
        ok = parse_load(tk, r, why);
    } else {
        *why = "unknown keyword " + quoted(tk[0].value);
        ok = false;
    }
    *has_rule = ok;
    return ok;
}

// Pattern matching ---------------------------------------------------------------------

// Shell-style match of one component: "*" any run of characters, "?" any one.
bool glob_match(const std::string& pat, const char* s, size_t n) {
    size_t pi = 0, si = 0, star = std::string::npos, mark = 0;
    while (si < n) {
        if (pi < pat.size() && (pat[pi] == '?' || pat[pi] == s[si])) {
            ++pi;
            ++si;
        } else if (pi < pat.size() && pat[pi] == '*') {
            star = pi++;
            mark = si;
        } else if (star != std::string::npos) {
            pi = star + 1;
            si = ++mark;
        } else {
            return false;
        }
    }
    while (pi < pat.size() && pat[pi] == '*') ++pi;
    return pi == pat.size();
}

// The next component of `path` at or after `pos` ("." skipped): false at the end.
bool next_comp(const char* path, size_t len, size_t* pos, size_t* start, size_t* n) {
    size_t i = *pos;
    for (;;) {
        while (i < len && path[i] == '/') ++i;
        if (i >= len) return false;
        size_t end = i;
        while (end < len && path[end] != '/') ++end;
        if (end - i == 1 && path[i] == '.') {
            i = end;
            continue;
        }
        *start = i;
        *n = end - i;
        *pos = end;
        return true;
    }
}

// Components matched left to right; on a mismatch the last "..." seen takes one more
// component and matching resumes after it. Each "..." is retried at most once per path
// component, so the work is bounded by pattern components times path components.
bool comps_match(const std::vector<std::string>& pc, const char* path, size_t len) {
    size_t pi = 0, pos = 0;
    size_t star_pi = std::string::npos, star_pos = 0;
    for (;;) {
        if (pi < pc.size() && is_any_depth(pc[pi])) {
            star_pi = pi++;
            star_pos = pos;
            continue;
        }
        size_t cpos = pos, start = 0, n = 0;
        const bool have = next_comp(path, len, &cpos, &start, &n);
        if (have && pi < pc.size() && glob_match(pc[pi], path + start, n)) {
            ++pi;
            pos = cpos;
            continue;
        }
        if (!have && pi == pc.size()) return true;
        if (star_pi == std::string::npos) return false;
        if (!next_comp(path, len, &star_pos, &start, &n)) return false;
        pos = star_pos;
        pi = star_pi + 1;
    }
}

// Selection ----------------------------------------------------------------------------

bool names_nothing(tbs_status_t st) {
    return st == TBS_ST_NOT_FOUND || st == TBS_ST_NAME_NOT_FOUND || st == TBS_ST_OBJ_NOT_FOUND;
}

// The branch a selector names on `element`, 0 when the element has none such.
tbs_status_t find_branch(vob_t* vob, vob_dbid_t element, const view_cspec_selector_t& sel,
                         vob_dbid_t* branch) {
    *branch = 0;
    tbs_status_t st;
    if (!sel.anywhere) {
        if (sel.branch == "/main") {
            st = vob_store_get_element(*vob->db, element, nullptr, nullptr, branch);
        } else {
            st = vob_branch_find(vob, element, sel.branch.c_str(), branch);
        }
        if (names_nothing(st)) *branch = 0;
        return names_nothing(st) ? TBS_ST_OK : st;
    }
    int64_t brtype = 0;
    st = vob_store_find_type(*vob->db, VOB_MTYPE_BRTYPE, sel.branch_leaf.c_str(), &brtype);
    if (st == TBS_ST_OK) st = vob_store_find_branch(*vob->db, element, brtype, branch);
    if (names_nothing(st)) {
        *branch = 0;
        return TBS_ST_OK;
    }
    if (st != TBS_ST_OK || !sel.tail_multi) return st;
    // ".../a/b": the branch's own path must end with the tail.
    vob_dbid_t v = 0;
    vob_version_info_t info;
    if ((st = vob_branch_latest(vob, *branch, &v)) != TBS_ST_OK ||
        (st = vob_ver_get_info(vob, v, &info)) != TBS_ST_OK)
        return st;
    const std::string& path = info.branch_path;
    const std::string& tail = sel.branch;
    if (path.size() < tail.size() || path.compare(path.size() - tail.size(), tail.size(), tail))
        *branch = 0;
    return TBS_ST_OK;
}

tbs_status_t find_label(vob_t* vob, vob_dbid_t element, const std::string& label,
                        vob_dbid_t* version) {
    int64_t lbtype = 0;
    tbs_status_t st = vob_store_find_type(*vob->db, VOB_MTYPE_LBTYPE, label.c_str(), &lbtype);
    if (st == TBS_ST_OK) st = vob_store_get_label(*vob->db, lbtype, element, version);
    if (names_nothing(st)) {
        *version = 0;
        return TBS_ST_OK;
    }
    return st;
}

// The version one rule's selector names for `element`; 0 when it names none.
tbs_status_t select_one(const view_cspec_selector_t& sel, vob_t* vob, vob_dbid_t element,
                        const tbs_uuid_t& view_uuid, vob_dbid_t* version) {
    *version = 0;
    tbs_status_t st;
    switch (sel.kind) {
        case VIEW_SEL_NONE:
            return TBS_ST_OK;
        case VIEW_SEL_CHECKEDOUT: {
            vob_checkout_info_t co;
            st = vob_store_find_checkout(*vob->db, element, tbs_uuid_text(view_uuid), &co);
            if (st == TBS_ST_OK) *version = co.dbid;
            return names_nothing(st) ? TBS_ST_OK : st;
        }
        case VIEW_SEL_LABEL:
            if (sel.branch.empty()) return find_label(vob, element, sel.label, version);
            break;
        default:
            break;
    }
    vob_dbid_t branch = 0;
    if ((st = find_branch(vob, element, sel, &branch)) != TBS_ST_OK || branch == 0) return st;
    if (sel.kind == VIEW_SEL_LATEST) {
        st = vob_branch_latest(vob, branch, version);
    } else if (sel.kind == VIEW_SEL_NUMBER) {
        st = vob_store_find_version(*vob->db, branch, sel.number, version);
    } else {
        // A label on a branch: the labelled version, when it is on that branch.
        if ((st = find_label(vob, element, sel.label, version)) != TBS_ST_OK || *version == 0)
            return st;
        vob_version_info_t info;
        if ((st = vob_ver_get_info(vob, *version, &info)) != TBS_ST_OK) return st;
        if (info.branch != branch) *version = 0;
        return TBS_ST_OK;
    }
    if (names_nothing(st)) {
        *version = 0;
        return TBS_ST_OK;
    }
    return st;
}

size_t element_name_length(const char* pname) {
    const char* ext = strstr(pname, TBS_VER_EXT);
    return ext ? static_cast<size_t>(ext - pname) : strlen(pname);
}

}  // namespace

tbs_status_t view_cspec_parse(const char* text, view_cspec_t* out,
                              std::vector<std::string>* errors) {
    std::vector<std::string> errs;
    auto finish = [&](tbs_status_t st) {
        if (errors) errors->insert(errors->end(), errs.begin(), errs.end());
        return st;
    };
    if (!text || !out) {
        errs.push_back("no config spec given");
        return finish(TBS_ST_INVALID);
    }
    const size_t total = strnlen(text, static_cast<size_t>(VIEW_CSPEC_MAX_TEXT) + 1);
    if (total > static_cast<size_t>(VIEW_CSPEC_MAX_TEXT)) {
        errs.push_back("config spec longer than " + std::to_string(VIEW_CSPEC_MAX_TEXT) + " bytes");
        return finish(TBS_ST_INVALID);
    }
    std::vector<view_cspec_rule_t> rules;
    int line = 0;
    for (size_t pos = 0; pos < total;) {
        const char* nl = static_cast<const char*>(memchr(text + pos, '\n', total - pos));
        const size_t end = nl ? static_cast<size_t>(nl - text) : total;
        ++line;
        std::string why;
        view_cspec_rule_t r;
        bool has_rule = false;
        bool ok = false;
        if (end - pos > VIEW_CSPEC_MAX_LINE) {
            why = "line longer than " + std::to_string(VIEW_CSPEC_MAX_LINE) + " bytes";
        } else if ((ok = parse_line(text + pos, end - pos, line, &r, &has_rule, &why)) &&
                   has_rule) {
            if (rules.size() >= VIEW_CSPEC_MAX_RULES) {
                errs.push_back("line " + std::to_string(line) + ": more than " +
                               std::to_string(VIEW_CSPEC_MAX_RULES) + " rules");
                break;
            }
            rules.push_back(std::move(r));
        }
        if (!ok) {
            if (errs.size() >= VIEW_CSPEC_MAX_ERRORS) {
                errs.push_back("too many errors; parsing stopped at line " + std::to_string(line));
                break;
            }
            errs.push_back("line " + std::to_string(line) + ": " + why);
        }
        pos = end + 1;
    }
    if (!errs.empty()) return finish(TBS_ST_INVALID);
    out->rules = std::move(rules);
    return finish(TBS_ST_OK);
}

bool view_cspec_pattern_match(const view_cspec_pattern_t& pat, const char* pname) {
    if (pat.all) return true;
    if (!pname) return false;
    return comps_match(pat.comps, pname, element_name_length(pname));
}

tbs_status_t view_cspec_select(const view_cspec_t& cspec, vob_t* vob, vob_dbid_t element,
                               const char* pname, const tbs_uuid_t& view_uuid,
                               view_cspec_choice_t* out) {
    if (!vob || !out || !pname) return TBS_ST_INVALID;
    *out = view_cspec_choice_t{};
    int is_dir = -1;  // looked up on the first rule that asks
    const size_t len = element_name_length(pname);
    for (size_t i = 0; i < cspec.rules.size(); ++i) {
        const view_cspec_rule_t& r = cspec.rules[i];
        if (r.kind != VIEW_RULE_ELEMENT) continue;
        if (!r.pat.all && !comps_match(r.pat.comps, pname, len)) continue;
        if (r.elkind != VIEW_ELKIND_ANY) {
            if (is_dir < 0) {
                bool d = false;
                tbs_status_t st = vob_store_get_element(*vob->db, element, nullptr, &d, nullptr);
                if (st != TBS_ST_OK) return names_nothing(st) ? TBS_ST_NOT_ELEMENT : st;
                is_dir = d ? 1 : 0;
            }
            if ((r.elkind == VIEW_ELKIND_DIR) != (is_dir == 1)) continue;
        }
        vob_dbid_t v = 0;
        tbs_status_t st = select_one(r.sel, vob, element, view_uuid, &v);
        if (st != TBS_ST_OK) return st;
        if (v == 0 && r.sel.kind != VIEW_SEL_NONE) continue;
        out->version = v;
        out->rule = static_cast<int>(i);
        out->mkbranch = r.mkbranch.c_str();
        out->nocheckout = r.nocheckout;
        return TBS_ST_OK;
    }
    return TBS_ST_OK;
}

tbs_status_t view_cspec_select_proc(void* ctx, vob_t* vob, vob_dbid_t element, const char* pname,
                                    vob_dbid_t* version) {
    if (!ctx || !version) return TBS_ST_INVALID;
    const view_cspec_t& cspec = *static_cast<const view_cspec_t*>(ctx);
    view_cspec_choice_t choice;
    tbs_status_t st = view_cspec_select(cspec, vob, element, pname, cspec.view_uuid, &choice);
    *version = st == TBS_ST_OK ? choice.version : 0;
    return st;
}

vob_view_ctx_t view_cspec_view_ctx(const view_cspec_t& cspec) {
    vob_view_ctx_t ctx;
    ctx.view_uuid = cspec.view_uuid;
    ctx.select = view_cspec_select_proc;
    ctx.select_ctx = const_cast<view_cspec_t*>(&cspec);  // read only through the proc
    return ctx;
}

tbs_status_t view_spec_rule_format(const view_cspec_t& cspec, int rule_index, char* buf,
                                   size_t size) {
    if (!buf || rule_index < 0 || static_cast<size_t>(rule_index) >= cspec.rules.size())
        return TBS_ST_INVALID;
    const std::string& text = cspec.rules[rule_index].text;
    if (text.size() >= size) return TBS_ST_TOO_LONG;
    memcpy(buf, text.c_str(), text.size() + 1);
    return TBS_ST_OK;
}

std::vector<std::string> view_cspec_load_rules(const view_cspec_t& cspec) {
    std::vector<std::string> out;
    for (const view_cspec_rule_t& r : cspec.rules)
        if (r.kind == VIEW_RULE_LOAD) out.push_back(r.load_path);
    return out;
}

view_load_scope_t view_cspec_in_load_scope(const view_cspec_t& cspec, const char* pname) {
    std::string p;
    if (!pname || pname[0] != '/' || !normal_path(pname, element_name_length(pname), &p))
        return VIEW_LOAD_OUT;
    // True when `a` is `b` or an ancestor of it, by whole components.
    auto covers = [](const std::string& a, const std::string& b) {
        if (a == "/") return true;
        return b.compare(0, a.size(), a) == 0 && (b.size() == a.size() || b[a.size()] == '/');
    };
    view_load_scope_t scope = VIEW_LOAD_OUT;
    for (const view_cspec_rule_t& r : cspec.rules) {
        if (r.kind != VIEW_RULE_LOAD) continue;
        if (covers(r.load_path, p)) return VIEW_LOAD_IN;
        if (covers(p, r.load_path)) scope = VIEW_LOAD_ANCESTOR;
    }
    return scope;
}

std::string view_cspec_text(const view_cspec_t& cspec) {
    std::string s;
    for (const view_cspec_rule_t& r : cspec.rules) s += r.text + "\n";
    return s;
}

tbs_status_t view_setcs_mode_from_name(const char* name, view_setcs_mode_t* mode) {
    static const struct {
        const char* name;
        view_setcs_mode_t mode;
    } kModes[] = {
        {"replace", VIEW_SETCS_REPLACE},
        {"default", VIEW_SETCS_DEFAULT},
        {"current", VIEW_SETCS_CURRENT},
    };
    for (const auto& m : kModes) {
        if (name && mode && strcmp(name, m.name) == 0) {
            *mode = m.mode;
            return TBS_ST_OK;
        }
    }
    return TBS_ST_INVALID;
}

tbs_status_t view_cspec_setcs(view_setcs_mode_t mode, const char* current, const char* given,
                              std::string* text, view_cspec_t* out,
                              std::vector<std::string>* errors) {
    if (!text || !out) return TBS_ST_INVALID;
    const char* src = nullptr;
    switch (mode) {
        case VIEW_SETCS_REPLACE:
            src = given;
            break;
        case VIEW_SETCS_DEFAULT:
            src = VIEW_CSPEC_DEFAULT;
            break;
        case VIEW_SETCS_CURRENT:
            src = current;
            break;
    }
    view_cspec_t parsed;
    tbs_status_t st = view_cspec_parse(src, &parsed, errors);
    if (st != TBS_ST_OK) return st;
    parsed.view_uuid = out->view_uuid;
    *out = std::move(parsed);
    *text = src;
    return TBS_ST_OK;
}
