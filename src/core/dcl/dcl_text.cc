// Text comparison sessions: files read whole, lines interned and diffed against the
// reference, and the hunks laid down as common rows and regions (see dcl.h).
//
// A merge diffs base -> from and base -> to, then clusters the hunks of both by their base
// lines: hunks that overlap, and an insertion that touches the other side's hunk (whose
// order against it would be a guess), form one region; hunks that only touch end to end stay
// apart, with a marker between them. Base lines outside every region are common to all
// three files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/dcl/dcl_build.h"
#include "core/dcl/dcl_diff.h"

namespace {

tbs_status_t fail(std::string* error_text, tbs_status_t st, const std::string& text) {
    if (error_text) *error_text = text;
    return st;
}

}  // namespace

tbs_status_t dcl_read_file(const std::string& path, const std::string& tool, std::string* out,
                           std::string* error_text) {
    auto quoted = tool + ": cannot read \"" + path + "\": ";
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return fail(error_text, tbs_errno2status(errno), quoted + strerror(errno));
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        int err = S_ISDIR(st.st_mode) ? EISDIR : (errno ? errno : EINVAL);
        ::close(fd);
        return fail(error_text, tbs_errno2status(err), quoted + strerror(err));
    }
    if (static_cast<uint64_t>(st.st_size) > DCL_MAX_FILE_BYTES) {
        ::close(fd);
        return fail(error_text, TBS_ST_TOO_LONG, quoted + "the file is too large to compare");
    }
    out->clear();
    out->reserve(static_cast<size_t>(st.st_size));
    char buf[1 << 16];
    for (;;) {
        ssize_t got = ::read(fd, buf, sizeof buf);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            int err = errno;
            ::close(fd);
            return fail(error_text, tbs_errno2status(err), quoted + strerror(err));
        }
        if (got == 0) break;
        if (out->size() + static_cast<size_t>(got) > DCL_MAX_FILE_BYTES) {
            ::close(fd);
            return fail(error_text, TBS_ST_TOO_LONG, quoted + "the file is too large to compare");
        }
        out->append(buf, static_cast<size_t>(got));
    }
    ::close(fd);
    return TBS_ST_OK;
}

namespace {

// One file as lines: its offsets and interned numbers.
struct lines {
    std::string_view text;
    std::vector<size_t> starts;
    std::vector<uint32_t> ids;
    size_t count() const { return ids.size(); }
    std::string_view span(size_t l0, size_t l1) const {
        return text.substr(starts[l0], starts[l1] - starts[l0]);
    }
};

// A region: base (reference) lines [b0, b1) and each other file's lines [s0, s1).
struct cluster {
    size_t b0, b1;
    size_t s0[DCL_MAX_CONTRIBUTORS - 1], s1[DCL_MAX_CONTRIBUTORS - 1];
};

std::vector<cluster> make_clusters(const std::vector<std::vector<dcl_hunk>>& sides) {
    size_t k = sides.size();
    std::vector<size_t> next(k, 0);
    std::vector<ptrdiff_t> offset(k, 0);  // other minus base line number outside hunks
    std::vector<cluster> out;
    for (;;) {
        // The cluster starts at the earliest hunk left.
        size_t first = k;
        for (size_t s = 0; s < k; ++s)
            if (next[s] < sides[s].size() &&
                (first == k || sides[s][next[s]].a0 < sides[first][next[first]].a0))
                first = s;
        if (first == k) break;
        cluster c{};
        c.b0 = c.b1 = sides[first][next[first]].a0;
        std::vector<size_t> begin(next);
        bool grew = true;
        while (grew) {
            grew = false;
            for (size_t s = 0; s < k; ++s) {
                while (next[s] < sides[s].size()) {
                    const dcl_hunk& h = sides[s][next[s]];
                    bool joins = h.a0 < c.b1 || (h.a0 == c.b1 && (h.a0 == h.a1 || c.b0 == c.b1));
                    if (!joins) break;
                    c.b1 = std::max(c.b1, h.a1);
                    ++next[s];
                    grew = true;
                }
            }
        }
        for (size_t s = 0; s < k; ++s) {
            if (begin[s] == next[s]) {
                c.s0[s] = static_cast<size_t>(static_cast<ptrdiff_t>(c.b0) + offset[s]);
                c.s1[s] = static_cast<size_t>(static_cast<ptrdiff_t>(c.b1) + offset[s]);
                continue;
            }
            const dcl_hunk& h0 = sides[s][begin[s]];
            const dcl_hunk& h1 = sides[s][next[s] - 1];
            c.s0[s] = h0.b0 - (h0.a0 - c.b0);
            c.s1[s] = h1.b1 + (c.b1 - h1.a1);
            offset[s] = static_cast<ptrdiff_t>(h1.b1) - static_cast<ptrdiff_t>(h1.a1);
        }
        out.push_back(c);
    }
    return out;
}

bool same_ids(const lines& x, size_t x0, size_t x1, const lines& y, size_t y0, size_t y1) {
    return x1 - x0 == y1 - y0 && std::equal(x.ids.begin() + static_cast<ptrdiff_t>(x0),
                                            x.ids.begin() + static_cast<ptrdiff_t>(x1),
                                            y.ids.begin() + static_cast<ptrdiff_t>(y0));
}

}  // namespace

// Lays down the rows of a text session; a friend of the session and its blocks.
struct DCL_TextBuilder {
    static void whole(DCL_TextSession* s) {
        DCL_Builder b(s);
        const auto& c = s->contents_;
        bool all_equal =
            std::all_of(c.begin(), c.end(), [&](const std::string& x) { return x == c[0]; });
        if (all_equal) {
            b.common(c[0], c[0].empty() ? 0 : 1);
        } else {
            std::vector<dcl_side> sides(c.size());
            for (size_t i = 0; i < c.size(); ++i) {
                sides[i].present = !c[i].empty();
                sides[i].same_as_ref = c[i] == c[0];
                sides[i].text = c[i];
                sides[i].lines = c[i].empty() ? 0 : 1;
            }
            bool conflict = false;
            int choice = DCL_NO_CHOICE;
            if (c.size() == 3)
                dcl_merge_choice(c[1] != c[0], c[2] != c[0], c[1] == c[2], &conflict, &choice);
            b.region(std::move(sides), conflict, choice, false);
        }
        b.finish();
    }

    static void by_lines(DCL_TextSession* s) {
        size_t n = s->contents_.size();
        std::vector<lines> f(n);
        dcl_interner interner;
        for (size_t i = 0; i < n; ++i) {
            f[i].text = s->contents_[i];
            dcl_split_lines(f[i].text, &f[i].starts);
            f[i].ids.reserve(f[i].starts.size() - 1);
            for (size_t l = 0; l + 1 < f[i].starts.size(); ++l)
                f[i].ids.push_back(interner.intern(f[i].span(l, l + 1)));
        }
        std::vector<std::vector<dcl_hunk>> hunks;
        for (size_t i = 1; i < n; ++i)
            hunks.push_back(dcl_diff(f[0].ids.data(), f[0].count(), f[i].ids.data(), f[i].count(),
                                     interner.size()));
        DCL_Builder b(s);
        size_t done = 0;  // base lines laid down so far
        for (const cluster& c : make_clusters(hunks)) {
            b.common(f[0].span(done, c.b0), c.b0 - done);
            std::vector<dcl_side> sides(n);
            for (size_t i = 0; i < n; ++i) {
                size_t l0 = i == 0 ? c.b0 : c.s0[i - 1], l1 = i == 0 ? c.b1 : c.s1[i - 1];
                sides[i].present = l1 > l0;
                sides[i].same_as_ref = same_ids(f[i], l0, l1, f[0], c.b0, c.b1);
                sides[i].text = f[i].span(l0, l1);
                sides[i].lines = l1 - l0;
            }
            bool conflict = false;
            int choice = DCL_NO_CHOICE;
            if (n == 3)
                dcl_merge_choice(!sides[1].same_as_ref, !sides[2].same_as_ref,
                                 same_ids(f[1], c.s0[0], c.s1[0], f[2], c.s0[1], c.s1[1]),
                                 &conflict, &choice);
            b.region(std::move(sides), conflict, choice, false);
            done = c.b1;
        }
        b.common(f[0].span(done, f[0].count()), f[0].count() - done);
        b.finish();
    }
};

tbs_status_t DCL_TextSession::open(const DCL_TextArgs& args, std::unique_ptr<DCL_TextSession>* out,
                                   std::string* error_text) {
    out->reset();
    size_t n = args.paths.size();
    if (n < 2 || n > DCL_MAX_CONTRIBUTORS)
        return fail(error_text, TBS_ST_INVALID,
                    args.tool_name + ": a comparison takes 2 or 3 files, not " + std::to_string(n));
    if (args.mode != DCL_TEXT_UNIX && args.mode != DCL_TEXT_TRANSPARENT)
        return fail(error_text, TBS_ST_INVALID, args.tool_name + ": unknown text mode");
    std::unique_ptr<DCL_TextSession> s(new DCL_TextSession(static_cast<int>(n)));
    // Sized once: the blocks point into these strings, which must never move.
    s->contents_.resize(n);
    for (size_t i = 0; i < n; ++i) {
        tbs_status_t st =
            dcl_read_file(args.paths[i], args.tool_name, &s->contents_[i], error_text);
        if (st != TBS_ST_OK) return st;
    }
    s->whole_ = args.mode == DCL_TEXT_TRANSPARENT ||
                std::any_of(s->contents_.begin(), s->contents_.end(), [](const std::string& c) {
                    return memchr(c.data(), '\0', c.size()) != nullptr;
                });
    if (s->whole_) {
        DCL_TextBuilder::whole(s.get());
    } else {
        DCL_TextBuilder::by_lines(s.get());
    }
    *out = std::move(s);
    return TBS_ST_OK;
}
