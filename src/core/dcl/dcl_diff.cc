// The line diff of the comparison engine (see dcl_diff.h).
//
// dtl's diff is O((M + N) * D) in time and keeps a path cell per step, so handed a whole
// 10 MB file with a thousand scattered changes it would do needless work. The stretches it
// gets are cut down first, the way patience diff does it: equal ends are set aside, and
// lines that occur exactly once on each side and keep their order (the longest increasing
// run of their positions) are taken as matches. What lies between two anchors is diffed the
// same way, to a bounded depth, and only a gap without anchors goes to dtl.
#include "core/dcl/dcl_diff.h"

#include <algorithm>
#include <dtl/dtl.hpp>
#include <functional>

#include "core/dcl/dcl.h"

void dcl_split_lines(std::string_view text, std::vector<size_t>* starts) {
    starts->clear();
    starts->push_back(0);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        pos = nl == std::string_view::npos ? text.size() : nl + 1;
        starts->push_back(pos);
    }
}

dcl_interner::dcl_interner() : slots_(1024, slot{0, UINT32_MAX}) {}

void dcl_interner::grow() {
    std::vector<slot> old(slots_.size() * 2, slot{0, UINT32_MAX});
    old.swap(slots_);
    size_t mask = slots_.size() - 1;
    for (const slot& s : old) {
        if (s.id == UINT32_MAX) continue;
        size_t i = s.hash & mask;
        while (slots_[i].id != UINT32_MAX) i = (i + 1) & mask;
        slots_[i] = s;
    }
}

uint32_t dcl_interner::intern(std::string_view line) {
    // Kept at most half full, so a probe ends soon.
    if ((lines_.size() + 1) * 2 > slots_.size()) grow();
    uint64_t h = std::hash<std::string_view>{}(line);
    size_t mask = slots_.size() - 1;
    for (size_t i = h & mask;; i = (i + 1) & mask) {
        slot& s = slots_[i];
        if (s.id == UINT32_MAX) {
            s.hash = h;
            s.id = static_cast<uint32_t>(lines_.size());
            lines_.push_back(line);
            return s.id;
        }
        if (s.hash == h && lines_[s.id] == line) return s.id;
    }
}

namespace {

// Recursion bound of the anchoring: deeper gaps go to dtl (or become one hunk) as they are.
constexpr int MAX_DEPTH = 12;

class differ {
public:
    differ(const uint32_t* a, const uint32_t* b, size_t num_ids)
        : a_(a), b_(b), count_a_(num_ids, 0), count_b_(num_ids, 0), pos_b_(num_ids, 0) {}

    void run(size_t a0, size_t a1, size_t b0, size_t b1, int depth) {
        while (a0 < a1 && b0 < b1 && a_[a0] == b_[b0]) ++a0, ++b0;
        while (a0 < a1 && b0 < b1 && a_[a1 - 1] == b_[b1 - 1]) --a1, --b1;
        if (a0 == a1 && b0 == b1) return;
        if (a0 == a1 || b0 == b1) return add(a0, a1, b0, b1);
        std::vector<std::pair<size_t, size_t>> anchors;
        if (depth < MAX_DEPTH) find_anchors(a0, a1, b0, b1, &anchors);
        if (anchors.empty()) return leaf(a0, a1, b0, b1);
        for (const auto& [ai, bi] : anchors) {
            run(a0, ai, b0, bi, depth + 1);
            a0 = ai + 1;
            b0 = bi + 1;
        }
        run(a0, a1, b0, b1, depth + 1);
    }

    std::vector<dcl_hunk> hunks;

private:
    // Adds a differing stretch, joined to the last hunk when nothing equal lies between.
    void add(size_t a0, size_t a1, size_t b0, size_t b1) {
        if (a0 == a1 && b0 == b1) return;
        if (!hunks.empty() && hunks.back().a1 == a0 && hunks.back().b1 == b0) {
            hunks.back().a1 = a1;
            hunks.back().b1 = b1;
            return;
        }
        hunks.push_back({a0, a1, b0, b1});
    }

    // Lines once in a[a0, a1) and once in b[b0, b1), as (a, b) position pairs that increase
    // on both sides (the longest such run, by patience sorting).
    void find_anchors(size_t a0, size_t a1, size_t b0, size_t b1,
                      std::vector<std::pair<size_t, size_t>>* out) {
        for (size_t i = a0; i < a1; ++i) ++count_a_[a_[i]];
        for (size_t j = b0; j < b1; ++j) {
            ++count_b_[b_[j]];
            pos_b_[b_[j]] = j;
        }
        std::vector<std::pair<size_t, size_t>> cand;
        for (size_t i = a0; i < a1; ++i) {
            uint32_t v = a_[i];
            if (count_a_[v] == 1 && count_b_[v] == 1) cand.emplace_back(i, pos_b_[v]);
        }
        for (size_t i = a0; i < a1; ++i) count_a_[a_[i]] = 0;
        for (size_t j = b0; j < b1; ++j) count_b_[b_[j]] = 0;
        if (cand.empty()) return;
        // Longest increasing run of b positions: tails[k] ends the best run of length k + 1.
        std::vector<size_t> tails, prev(cand.size(), SIZE_MAX);
        for (size_t k = 0; k < cand.size(); ++k) {
            auto it =
                std::lower_bound(tails.begin(), tails.end(), cand[k].second,
                                 [&](size_t t, size_t bpos) { return cand[t].second < bpos; });
            if (it != tails.begin()) prev[k] = *(it - 1);
            if (it == tails.end()) {
                tails.push_back(k);
            } else {
                *it = k;
            }
        }
        for (size_t k = tails.back(); k != SIZE_MAX; k = prev[k]) out->push_back(cand[k]);
        std::reverse(out->begin(), out->end());
    }

    // A gap without anchors: dtl within the budget, else one hunk.
    void leaf(size_t a0, size_t a1, size_t b0, size_t b1) {
        uint64_t n = a1 - a0, m = b1 - b0;
        if ((n + m) * std::min(n, m) > DCL_GAP_BUDGET) return add(a0, a1, b0, b1);
        std::vector<uint32_t> sa(a_ + a0, a_ + a1), sb(b_ + b0, b_ + b1);
        dtl::Diff<uint32_t> d(sa, sb);
        d.compose();
        size_t i = a0, j = b0, hi = a0, hj = b0;
        bool open = false;
        for (const auto& e : d.getSes().getSequence()) {
            if (e.second.type == dtl::SES_COMMON) {
                if (open) add(hi, i, hj, j);
                open = false;
                ++i, ++j;
                continue;
            }
            if (!open) hi = i, hj = j, open = true;
            if (e.second.type == dtl::SES_DELETE) {
                ++i;
            } else {
                ++j;
            }
        }
        if (open) add(hi, i, hj, j);
    }

    const uint32_t* a_;
    const uint32_t* b_;
    std::vector<uint32_t> count_a_, count_b_;
    std::vector<size_t> pos_b_;
};

}  // namespace

std::vector<dcl_hunk> dcl_diff(const uint32_t* a, size_t n, const uint32_t* b, size_t m,
                               size_t num_ids) {
    differ d(a, b, num_ids);
    d.run(0, n, 0, m, 0);
    return std::move(d.hunks);
}
