// Directory comparison sessions and the listing files they read (see dcl.h).
#include <algorithm>
#include <charconv>
#include <map>
#include <string>
#include <unordered_map>

#include "core/dcl/dcl_build.h"
#include "core/util/strutl.h"

namespace {

constexpr std::string_view LISTING_HEADER = "dcl-listing 1\n";
constexpr const char* KIND_NAMES[] = {"file", "dir", "symlink"};

void put_escaped(std::string* out, std::string_view s) {
    for (char ch : s) {
        switch (ch) {
            case '\\':
                *out += "\\\\";
                break;
            case '\t':
                *out += "\\t";
                break;
            case '\n':
                *out += "\\n";
                break;
            case '\r':
                *out += "\\r";
                break;
            case '\0':
                *out += "\\0";
                break;
            default:
                *out += ch;
        }
    }
}

bool get_escaped(std::string_view field, std::string* out) {
    out->clear();
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            *out += field[i];
            continue;
        }
        if (++i == field.size()) return false;
        switch (field[i]) {
            case '\\':
                *out += '\\';
                break;
            case 't':
                *out += '\t';
                break;
            case 'n':
                *out += '\n';
                break;
            case 'r':
                *out += '\r';
                break;
            case '0':
                *out += '\0';
                break;
            default:
                return false;
        }
    }
    return true;
}

bool parse_line(std::string_view line, DCL_DirItem* item) {
    std::string_view f[7];
    size_t nf = 0;
    for (size_t pos = 0;; ++nf) {
        if (nf == 7) return false;
        size_t tab = line.find('\t', pos);
        f[nf] =
            line.substr(pos, tab == std::string_view::npos ? std::string_view::npos : tab - pos);
        if (tab == std::string_view::npos) break;
        pos = tab + 1;
    }
    if (nf != 6) return false;
    auto kind = std::find(std::begin(KIND_NAMES), std::end(KIND_NAMES), f[0]);
    if (kind == std::end(KIND_NAMES)) return false;
    item->kind = static_cast<int>(kind - std::begin(KIND_NAMES));
    auto [end, ec] = std::from_chars(f[2].data(), f[2].data() + f[2].size(), item->time);
    if (ec != std::errc() || end != f[2].data() + f[2].size() || f[2].empty()) return false;
    return get_escaped(f[1], &item->oid) && get_escaped(f[3], &item->name) &&
           get_escaped(f[4], &item->attr1) && get_escaped(f[5], &item->attr2) &&
           get_escaped(f[6], &item->trailing);
}

tbs_status_t fail(std::string* error_text, tbs_status_t st, const std::string& text) {
    if (error_text) *error_text = text;
    return st;
}

// The entries of one identity across the listings (null where absent).
struct identity {
    const DCL_DirItem* e[DCL_MAX_CONTRIBUTORS] = {};
    const std::string* sort_name = nullptr;
    bool region = false;
    bool conflict = false;
    int choice = DCL_NO_CHOICE;
};

bool same_entry(const DCL_DirItem* x, const DCL_DirItem* y) {
    return x == nullptr ? y == nullptr : y != nullptr && *x == *y;
}

// Default choices that would give two entries one name make those regions conflicts.
void mark_name_clashes(std::vector<identity>* ids) {
    std::unordered_map<std::string_view, std::vector<size_t>> by_name;
    for (size_t i = 0; i < ids->size(); ++i) {
        const identity& id = (*ids)[i];
        if (id.conflict) continue;
        const DCL_DirItem* result = id.region ? id.e[id.choice] : id.e[0];
        if (result) by_name[result->name].push_back(i);
    }
    for (auto& [name, list] : by_name) {
        if (list.size() < 2) continue;
        for (size_t i : list) {
            identity& id = (*ids)[i];
            if (!id.region) continue;
            id.conflict = true;
            id.choice = DCL_NO_CHOICE;
        }
    }
}

}  // namespace

std::string dcl_format_dir_listing(const std::vector<DCL_DirItem>& items) {
    std::string out(LISTING_HEADER);
    for (const DCL_DirItem& it : items) {
        int kind = it.kind >= 0 && it.kind < 3 ? it.kind : DCL_ITEM_FILE;
        out += KIND_NAMES[kind];
        out += '\t';
        put_escaped(&out, it.oid);
        out += '\t';
        out += std::to_string(it.time);
        for (const std::string* s : {&it.name, &it.attr1, &it.attr2, &it.trailing}) {
            out += '\t';
            put_escaped(&out, *s);
        }
        out += '\n';
    }
    return out;
}

tbs_status_t dcl_parse_dir_listing(std::string_view text, std::vector<DCL_DirItem>* items) {
    items->clear();
    if (text.substr(0, LISTING_HEADER.size()) != LISTING_HEADER) return TBS_ST_DAMAGED;
    size_t pos = LISTING_HEADER.size();
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string_view::npos) return TBS_ST_DAMAGED;  // every line ends with LF
        DCL_DirItem item;
        if (!parse_line(text.substr(pos, nl - pos), &item)) return TBS_ST_DAMAGED;
        items->push_back(std::move(item));
        pos = nl + 1;
    }
    return TBS_ST_OK;
}

tbs_status_t dcl_write_dir_listing(const char* path, const std::vector<DCL_DirItem>& items) {
    std::string text = dcl_format_dir_listing(items);
    return strutl_write(path, text.data(), false, text.size());
}

tbs_status_t DCL_DirSession::open(const std::vector<std::vector<DCL_DirItem>>& listings,
                                  std::unique_ptr<DCL_DirSession>* out, std::string* error_text) {
    out->reset();
    size_t n = listings.size();
    if (n < 2 || n > DCL_MAX_CONTRIBUTORS)
        return fail(error_text, TBS_ST_INVALID,
                    "a directory comparison takes 2 or 3 listings, not " + std::to_string(n));
    std::vector<identity> ids;
    std::unordered_map<std::string_view, size_t> index;
    for (size_t c = 0; c < n; ++c) {
        for (const DCL_DirItem& it : listings[c]) {
            auto [pos, fresh] = index.emplace(it.oid, ids.size());
            if (fresh) ids.emplace_back();
            identity& id = ids[pos->second];
            if (id.e[c])
                return fail(error_text, TBS_ST_INVALID,
                            "listing " + std::to_string(c) + " holds the identity \"" + it.oid +
                                "\" twice");
            id.e[c] = &it;
            if (!id.sort_name) id.sort_name = &it.name;
        }
    }
    for (identity& id : ids) {
        if (id.e[0]) id.sort_name = &id.e[0]->name;
        for (size_t c = 1; c < n; ++c) id.region |= !same_entry(id.e[c], id.e[0]);
        if (id.region && n == 3)
            dcl_merge_choice(!same_entry(id.e[1], id.e[0]), !same_entry(id.e[2], id.e[0]),
                             same_entry(id.e[1], id.e[2]), &id.conflict, &id.choice);
    }
    if (n == 3) mark_name_clashes(&ids);
    std::sort(ids.begin(), ids.end(), [](const identity& x, const identity& y) {
        if (*x.sort_name != *y.sort_name) return *x.sort_name < *y.sort_name;
        const DCL_DirItem* ex = x.e[0] ? x.e[0] : x.e[1] ? x.e[1] : x.e[2];
        const DCL_DirItem* ey = y.e[0] ? y.e[0] : y.e[1] ? y.e[1] : y.e[2];
        return ex->oid < ey->oid;
    });
    std::unique_ptr<DCL_DirSession> s(new DCL_DirSession(static_cast<int>(n)));
    DCL_Builder b(s.get());
    for (const identity& id : ids) {
        if (!id.region) {
            b.common_item(*id.e[0]);
            continue;
        }
        std::vector<dcl_side> sides(n);
        for (size_t c = 0; c < n; ++c) {
            if (!id.e[c]) continue;
            sides[c].present = true;
            sides[c].same_as_ref = same_entry(id.e[c], id.e[0]);
            sides[c].renamed = id.e[0] && id.e[0]->name != id.e[c]->name;
            sides[c].lines = 1;
            sides[c].items.push_back(*id.e[c]);
        }
        b.region(std::move(sides), id.conflict, id.choice, true);
    }
    b.finish();
    *out = std::move(s);
    return TBS_ST_OK;
}

tbs_status_t DCL_DirSession::open_files(const std::vector<std::string>& paths,
                                        const char* tool_name, std::unique_ptr<DCL_DirSession>* out,
                                        std::string* error_text) {
    out->reset();
    std::string tool = tool_name ? tool_name : "dcl";
    if (paths.size() < 2 || paths.size() > DCL_MAX_CONTRIBUTORS)
        return fail(error_text, TBS_ST_INVALID,
                    tool + ": a directory comparison takes 2 or 3 listings, not " +
                        std::to_string(paths.size()));
    std::vector<std::vector<DCL_DirItem>> listings(paths.size());
    for (size_t i = 0; i < paths.size(); ++i) {
        std::string text;
        tbs_status_t st = dcl_read_file(paths[i], tool, &text, error_text);
        if (st != TBS_ST_OK) return st;
        if (dcl_parse_dir_listing(text, &listings[i]) != TBS_ST_OK)
            return fail(error_text, TBS_ST_DAMAGED,
                        tool + ": \"" + paths[i] + "\" is not a directory listing");
    }
    tbs_status_t st = open(listings, out, error_text);
    if (st != TBS_ST_OK && error_text) *error_text = tool + ": " + *error_text;
    return st;
}
