// cmd_findmerge: the elements whose source version is not yet merged into the version a
// view selects (see cmd.h for what counts as merged, the base and a trivial merge).
//
// Two ways to find them. A source that only elements with a given branch or label can
// have (a branch other than main, a label, one element's version, the change sets of
// activities) is searched from those
// elements, read from the VOB's index in one query; each is named upward through the
// directory versions the view selects, and kept when it lies below a search root. Any
// other source (main's versions, another view) can differ anywhere, so the view's names
// below each root are walked. Either way candidates are reported as they are found;
// nothing but the directories named on the way up is kept.
#include <cerrno>
#include <cstring>
#include <deque>
#include <map>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "core/cmd/cmd_internal.h"
#include "core/cmd/cmd_xcm.h"
#include "core/imsg/imsg.h"
#include "core/rgy/rgy.h"
#include "core/vob/vob_store.h"

namespace {

constexpr int kMaxDepth = 256;  // directories deep, up or down

// Where the version to merge from comes from.
struct Source {
    int kind = CMD_FINDMERGE_SELECTOR;
    view_cspec_t spec;  // a selector, as the one rule of a spec
    // A version-extended pathname: that version, for its element only.
    bool fixed = false;
    vob_t* fixed_vob = nullptr;
    int64_t fixed_element = 0;
    int64_t fixed_version = 0;
    view_t* view = nullptr;  // CMD_FINDMERGE_VIEW
    // CMD_FINDMERGE_ACTIVITIES: the newest checked-in version of each element in the
    // activities' change sets.
    std::map<std::pair<vob_t*, int64_t>, int64_t> act_versions;
    // The type whose users are the only elements with a source (0: any element may have one).
    int index_mtype = 0;
    std::string index_type;
};

struct Search {
    cmd_findmerge_args_t* a = nullptr;
    const vob_view_ctx_t* view = nullptr;
    Source src;
    // Directories named on the way up: their pathname in the view ("" when it names none).
    std::map<std::pair<vob_t*, int64_t>, std::string> dir_paths;
    // Directories a walk reached through symbolic links, each walked once.
    std::set<std::pair<vob_t*, int64_t>> followed;
};

bool bad_selector_text(const std::string& sel) {
    for (unsigned char c : sel)
        if (c < 0x20 || c == 0x7f || c == ' ' || c == '"' || c == '#') return true;
    return sel.empty();
}

tbs_status_t make_source(const cmd_findmerge_args_t& a, const cmd_ctx& ctx, Source* s) {
    s->kind = a.kind;
    if (a.kind == CMD_FINDMERGE_ACTIVITIES) {
        std::map<std::pair<vob_t*, int64_t>, int64_t> numbers;
        for (const std::string& sel : a.activities) {
            vob_t* pvob = nullptr;
            vob_dbid_t act = 0;
            std::vector<cmd_cs_entry_t> cs;
            tbs_status_t st = xcm_resolve(sel.c_str(), VOB_MTYPE_ACTIVITY, &pvob, &act);
            if (st != TBS_ST_OK) return cmd_fail("Unable to find activity", sel, st);
            if ((st = cmd_activity_change_set(pvob, act, &cs)) != TBS_ST_OK)
                return cmd_fail("Unable to read the change set of", sel, st);
            for (const cmd_cs_entry_t& e : cs) {
                vob_version_info_t v;
                if (e.checked_out || vob_ver_get_info(e.vob, e.version, &v) != TBS_ST_OK) continue;
                auto key = std::make_pair(e.vob, e.element);
                auto it = numbers.find(key);
                if (it != numbers.end() && it->second >= v.number) continue;
                numbers[key] = v.number;
                s->act_versions[key] = e.version;
            }
        }
        return TBS_ST_OK;
    }
    if (a.kind == CMD_FINDMERGE_VIEW) {
        tbs_status_t st = view_open_by_tag(a.from_view.c_str(), &s->view);
        return st == TBS_ST_OK ? st : cmd_fail("Unable to find view", a.from_view, st);
    }
    if (a.kind != CMD_FINDMERGE_SELECTOR) return cmd_fail("Bad merge source", "", TBS_ST_INVALID);
    const std::string& sel = a.selector;
    if (bad_selector_text(sel) || sel.size() > VOB_MAX_PNAME)
        return cmd_fail("Bad version selector", sel.substr(0, 64), TBS_ST_BAD_SELECTOR);
    if (sel.find(TBS_VER_EXT) != std::string::npos) {
        vob_resolved_t r;
        tbs_status_t st = cmd_resolve_version(sel, ctx, &r);
        if (st != TBS_ST_OK) return cmd_fail("Unable to find version", sel, st);
        s->fixed = true;
        s->fixed_vob = r.vob;
        s->fixed_element = r.element;
        s->fixed_version = r.version;
        return TBS_ST_OK;
    }
    // A selector is what a config-spec rule selects with; the spec's parser checks it.
    std::vector<std::string> errors;
    if (view_cspec_parse(("element * " + sel).c_str(), &s->spec, &errors) != TBS_ST_OK ||
        s->spec.rules.size() != 1)
        return cmd_fail("Bad version selector", sel, TBS_ST_BAD_SELECTOR);
    const view_cspec_selector_t& vs = s->spec.rules[0].sel;
    if (vs.kind == VIEW_SEL_CHECKEDOUT || vs.kind == VIEW_SEL_NONE)
        return cmd_fail("Bad version selector", sel, TBS_ST_BAD_SELECTOR);
    if (vs.kind == VIEW_SEL_LABEL) {
        s->index_mtype = VOB_MTYPE_LBTYPE;
        s->index_type = vs.label;
    } else if (vs.branch_leaf != "main") {
        s->index_mtype = VOB_MTYPE_BRTYPE;
        s->index_type = vs.branch_leaf;
    }
    return TBS_ST_OK;
}

// The version the source names for an element (0: none).
tbs_status_t source_version(const Search& s, vob_t* vob, int64_t element, const std::string& path,
                            int64_t* from) {
    *from = 0;
    const Source& src = s.src;
    if (src.fixed) {
        if (vob == src.fixed_vob && element == src.fixed_element) *from = src.fixed_version;
        return TBS_ST_OK;
    }
    if (src.kind == CMD_FINDMERGE_VIEW)
        return vob_select_version(vob, element, path.c_str(), &src.view->ctx, from);
    if (src.kind == CMD_FINDMERGE_ACTIVITIES) {
        auto it = src.act_versions.find({vob, element});
        if (it != src.act_versions.end()) *from = it->second;
        return TBS_ST_OK;
    }
    view_cspec_choice_t choice;
    tbs_status_t st =
        view_cspec_select(src.spec, vob, element, path.c_str(), tbs_uuid_null(), &choice);
    if (st == TBS_ST_OK) *from = choice.version;
    return st;
}

tbs_status_t report(Search& s, vob_t* vob, int mtype, const std::string& path, int64_t to,
                    int64_t from, int64_t base, int64_t distance) {
    const bool trivial = base == to;
    if (s.a->output == "-")
        imsg_ok("%s: to %s, from %s, base %s%s\n", path.c_str(), cmd_idstr(vob, to).c_str(),
                cmd_idstr(vob, from).c_str(), base ? cmd_idstr(vob, base).c_str() : "none",
                trivial ? ", trivial" : "");
    ++s.a->candidates;
    if (s.a->callback)
        s.a->callback(s.a->callback_data, path.c_str(), vob, to, from, base, mtype, trivial ? 1 : 0,
                      distance);
    return TBS_ST_OK;
}

// Looks at one element named `path` in the view, seen at `to` (0: the version the view
// selects). `is_dir` tells the walk whether to go on below it.
tbs_status_t consider(Search& s, vob_t* vob, int64_t element, const std::string& path, int64_t to,
                      bool* is_dir) {
    int64_t eltype = 0, main_branch = 0;
    bool dir = false;
    tbs_status_t st = vob_store_get_element(*vob->db, element, &eltype, &dir, &main_branch);
    if (is_dir) *is_dir = dir;
    if (st != TBS_ST_OK || (s.a->dir_only && !dir)) return st;
    if (!to && (st = vob_select_version(vob, element, path.c_str(), s.view, &to)) != TBS_ST_OK)
        return st;
    int64_t from = 0;
    if (!to || (st = source_version(s, vob, element, path, &from)) != TBS_ST_OK) return st;
    if (!from || from == to) return TBS_ST_OK;
    bool merged = false;
    int64_t base = 0, distance = 0;
    if ((st = cmd_merge_base(vob, to, from, &merged, &base, &distance)) != TBS_ST_OK || merged)
        return st;
    return report(s, vob, dir ? VOB_MTYPE_DIR_ELEMENT : VOB_MTYPE_FILE_ELEMENT, path, to, from,
                  base, distance);
}

// The pathname the view names an element by, found upward through the directory versions
// that bind it; "" when the view names it nowhere. The directories' names are kept.
tbs_status_t view_path(Search& s, vob_t* vob, int64_t element, int depth, std::string* out);

tbs_status_t dir_path(Search& s, vob_t* vob, int64_t dir, int depth, std::string* out) {
    auto key = std::make_pair(vob, dir);
    auto it = s.dir_paths.find(key);
    if (it != s.dir_paths.end()) {
        *out = it->second;
        return TBS_ST_OK;
    }
    tbs_status_t st = view_path(s, vob, dir, depth, out);
    if (st == TBS_ST_OK) s.dir_paths[key] = *out;
    return st;
}

tbs_status_t view_path(Search& s, vob_t* vob, int64_t element, int depth, std::string* out) {
    out->clear();
    if (element == vob->root_element) {
        *out = vob->tag;
        return TBS_ST_OK;
    }
    if (depth > kMaxDepth) return tbs_errno2status(ELOOP);
    std::vector<vob_binding_t> bindings;
    tbs_status_t st = vob_obj_get_bindings(vob, element, &bindings);
    if (st != TBS_ST_OK) return st;
    // Each parent directory's selected version is asked once, however many of its
    // versions bind the element.
    std::unordered_map<int64_t, std::pair<std::string, int64_t>> parents;
    for (const vob_binding_t& b : bindings) {
        auto it = parents.find(b.dir_element);
        if (it == parents.end()) {
            std::string parent;
            int64_t selected = 0;
            if ((st = dir_path(s, vob, b.dir_element, depth + 1, &parent)) != TBS_ST_OK) return st;
            if (!parent.empty() && (st = vob_select_version(vob, b.dir_element, parent.c_str(),
                                                            s.view, &selected)) != TBS_ST_OK)
                return st;
            it = parents.emplace(b.dir_element, std::make_pair(parent, selected)).first;
        }
        if (it->second.second && it->second.second == b.dir_version) {
            *out = it->second.first + "/" + b.name;
            return TBS_ST_OK;
        }
    }
    return TBS_ST_OK;
}

bool is_below(const std::string& path, const std::string& root) {
    return path.compare(0, root.size(), root) == 0 &&
           (path.size() == root.size() || path[root.size()] == '/');
}

// Below a root, from the elements that can have a source at all.
tbs_status_t search_indexed(Search& s, const vob_resolved_t& root, const std::string& root_path) {
    vob_t* vob = root.vob;
    std::vector<int64_t> elements;
    if (s.src.fixed) {
        if (vob == s.src.fixed_vob) elements.push_back(s.src.fixed_element);
    } else if (s.src.kind == CMD_FINDMERGE_ACTIVITIES) {
        for (const auto& [key, version] : s.src.act_versions)
            if (key.first == vob) elements.push_back(key.second);
    } else {
        vob_type_info_t type;
        tbs_status_t st =
            vob_store_find_type_info(*vob->db, s.src.index_mtype, s.src.index_type.c_str(), &type);
        if (st == TBS_ST_NOT_FOUND) return TBS_ST_OK;  // no element of this VOB uses it
        if (st == TBS_ST_OK)
            st = vob_store_elements_using_type(*vob->db, s.src.index_mtype, type.dbid, &elements);
        if (st != TBS_ST_OK) return st;
    }
    std::string path;
    for (int64_t e : elements) {
        tbs_status_t st = view_path(s, vob, e, 0, &path);
        if (st == TBS_ST_OK && !path.empty() && is_below(path, root_path))
            st = consider(s, vob, e, path, 0, nullptr);
        if (st != TBS_ST_OK) return st;
    }
    return TBS_ST_OK;
}

// The view's names below a root, depth first.
tbs_status_t walk(Search& s, vob_t* vob, int64_t element, int64_t version, const std::string& path,
                  int depth) {
    if (depth > kMaxDepth) return tbs_errno2status(ELOOP);
    bool is_dir = false;
    tbs_status_t st = consider(s, vob, element, path, version, &is_dir);
    if (st != TBS_ST_OK || !is_dir) return st;
    std::vector<vob_dir_entry_t> entries;
    if ((st = vob_dir_list(vob, version, &entries)) != TBS_ST_OK) return st;
    for (const vob_dir_entry_t& e : entries) {
        const std::string child = path + "/" + e.name;
        if (e.mtype == VOB_MTYPE_SLINK) {
            if (!s.a->follow) continue;
            vob_resolved_t r;
            // A link that leads nowhere, or out of the VOBs, has nothing to merge.
            if (vob_resolve_pname(child.c_str(), s.view, 0, &r) != TBS_ST_OK || !r.element ||
                !s.followed.insert({r.vob, r.element}).second)
                continue;
            st = walk(s, r.vob, r.element, r.version, child, depth + 1);
        } else {
            int64_t selected = 0;
            st = vob_select_version(vob, e.target, child.c_str(), s.view, &selected);
            if (st == TBS_ST_OK && selected)
                st = walk(s, vob, e.target, selected, child, depth + 1);
        }
        if (st != TBS_ST_OK) return st;
    }
    return TBS_ST_OK;
}

tbs_status_t search_root(Search& s, const std::string& pname) {
    vob_resolved_t r;
    tbs_status_t st = vob_resolve_pname(pname.c_str(), s.view, 0, &r);
    if (st == TBS_ST_OK && !r.element) st = TBS_ST_NOT_ELEMENT;
    if (st != TBS_ST_OK) return cmd_fail("Unable to search", pname, st);
    const std::string root_path = r.vob->tag + (r.vob_path == "/" ? "" : r.vob_path);
    const bool dir = r.mtype == VOB_MTYPE_DIR_VERSION;
    if (s.src.index_mtype || s.src.fixed || s.src.kind == CMD_FINDMERGE_ACTIVITIES) {
        st = dir ? search_indexed(s, r, root_path)
                 : consider(s, r.vob, r.element, root_path, 0, nullptr);
    } else {
        st = walk(s, r.vob, r.element, r.version, root_path, 0);
    }
    return st == TBS_ST_OK ? st : cmd_fail("Unable to search", pname, st);
}

tbs_status_t run(cmd_findmerge_args_t* a) {
    cmd_ctx ctx;
    tbs_status_t st = cmd_ctx_init(&ctx, a->view);
    if (st == TBS_ST_OK) st = cmd_check_pnames(a->pnames);
    if (st != TBS_ST_OK) return st;
    Search s;
    s.a = a;
    s.view = ctx.view;
    if ((st = make_source(*a, ctx, &s.src)) != TBS_ST_OK) return st;
    std::vector<std::string> roots = a->pnames;
    if (roots.empty() && a->cspec) roots = view_cspec_load_rules(*a->cspec);
    if (roots.empty()) {
        std::vector<rgy_vob_entry_t> vobs;
        if ((st = rgy_list_vob_tags(nullptr, &vobs)) != TBS_ST_OK) return st;
        for (const rgy_vob_entry_t& v : vobs) roots.push_back(v.tag);
    }
    // A root that cannot be searched is reported and the others are still searched.
    tbs_status_t first = TBS_ST_OK;
    for (const std::string& root : roots) {
        st = search_root(s, root);
        if (first == TBS_ST_OK) first = st;
    }
    return first;
}

}  // namespace

tbs_status_t cmd_findmerge(cmd_findmerge_args_t* a) {
    a->candidates = 0;
    tbs_status_t st = run(a);
    if (st == TBS_ST_OK && a->output == "-" && a->candidates == 0)
        imsg_ok("No merge candidates.\n");
    if (a->callback) a->callback(a->callback_data, nullptr, nullptr, 0, 0, 0, 0, 0, 0);
    return st;
}
