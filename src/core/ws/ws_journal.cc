// The load engine's journal walk: a session that looks only at what changed since the
// view's record was last brought up to date, as the VOBs' change journals name it, and
// reports it exactly as the whole walk would.
//
// Why it is enough. The record was brought to a sync point: every element under the load
// rules was recorded at the version the view selected at the point's generations, under the
// config spec whose text the point keeps. What the view selects for an element, and the
// names a directory binds, change only by the changes the journal records for that element.
// So, with the config spec unchanged, an element the journal does not name since the point
// is still recorded at what the view selects, under the names its directories still bind,
// unless a directory on its way changed: and such a directory is named by the journal. The
// walk therefore looks at
//   - each journalled element (and each element checked out to the view) at every name the
//     view gives it within the load rules, found through the directory versions that bind
//     it and the versions the view selects of those directories;
//   - below a journalled directory, each entry the record does not hold bound to the same
//     element: walked whole, as the whole walk would walk it;
//   - the records a journalled directory no longer binds (and everything recorded below
//     them), and the records of journalled elements at names the view no longer gives them:
//     each is then checked as the whole walk's unvisited pass checks every record.
// Names are visited in the order of the whole walk (scope by scope, each scope's ancestors
// first, then its tree depth first by name), and the unvisited candidates in the record's
// order, so the observer sees the same reports in the same order for everything that
// differs; elements that did not change are not reported at all.
#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <queue>
#include <set>
#include <tuple>

#include "core/store/db.h"
#include "core/ws/ws_walk.h"

using ws_walk::Session;

namespace {

// Elements the journals may name before the whole walk is the cheaper one.
constexpr int64_t kMaxJournalled = 20000;
// Names of one element, and how deep a directory may lie, before the walk gives up.
constexpr size_t kMaxNames = 1024;
constexpr int kMaxDepth = 256;

std::vector<std::string> components(const std::string& pname) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < pname.size()) {
        size_t slash = pname.find('/', i);
        if (slash == std::string::npos) slash = pname.size();
        if (slash > i) out.push_back(pname.substr(i, slash - i));
        i = slash + 1;
    }
    return out;
}

// A name the walk looks at, keyed by its place in the whole walk's order: the scope it is
// walked with, then its components.
typedef std::pair<size_t, std::vector<std::string>> Key;

enum ItemKind {
    ITEM_ANCESTOR = 1,  // a directory on the way to a scope: reported alone
    ITEM_EXAMINE = 2,   // a journalled element: reported, and a directory compared
    ITEM_SUBTREE = 3,   // a name the record does not hold: walked whole
};

struct Item {
    int kind = ITEM_EXAMINE;
    vob_t* vob = nullptr;
    vob_dbid_t target = 0;
    int mtype = 0;
};

std::string join(const Key& k) {
    std::string p;
    for (const std::string& c : k.second) p += "/" + c;
    return p;
}

// "vobs/p/src" and "a.c" of a VOB pathname, as the record keeps them.
std::pair<std::string, std::string> rel(const std::string& pname) {
    std::pair<std::string, std::string> r;
    ws_rel_split(pname, &r.first, &r.second);
    return r;
}

}  // namespace

namespace ws_walk {

// Records the unvisited check looks at: single ones, and whole subtrees read in batches, all
// merged in the record's order.
class Candidates {
public:
    void add(const std::pair<std::string, std::string>& rec) { singles_.insert(rec); }
    void add_subtree(const std::pair<std::string, std::string>& top) { trees_.insert(top); }

    // Calls `each` for every record, once, in (dir, leaf) order; stops when it returns false.
    tbs_status_t run(store_db& db, const std::function<bool(const view_wso_t&)>& each) {
        struct Stream {
            std::pair<std::string, std::string> top;
            std::vector<view_wso_t> batch;
            size_t pos = 0;
            bool done = false;
        };
        std::vector<Stream> streams;
        for (const auto& t : trees_) streams.push_back({t, {}, 0, false});
        auto fill = [&](Stream& st) -> tbs_status_t {
            if (st.pos < st.batch.size() || st.done) return TBS_ST_OK;
            std::string ad, al;
            if (!st.batch.empty()) ad = st.batch.back().dir, al = st.batch.back().leaf;
            tbs_status_t r =
                view_store_list_subtree(db, st.top.first, st.top.second, ad, al, kBatch, &st.batch);
            st.pos = 0;
            st.done = r != TBS_ST_OK || static_cast<int>(st.batch.size()) < kBatch;
            return r;
        };
        typedef std::pair<std::pair<std::string, std::string>, size_t> Head;  // key, stream
        std::priority_queue<Head, std::vector<Head>, std::greater<Head>> heads;
        for (size_t i = 0; i < streams.size(); ++i) {
            if (tbs_status_t r = fill(streams[i])) return r;
            if (!streams[i].batch.empty())
                heads.push({{streams[i].batch[0].dir, streams[i].batch[0].leaf}, i});
        }
        auto single = singles_.begin();
        std::pair<std::string, std::string> last;
        bool any = false;
        for (;;) {
            const bool from_tree =
                !heads.empty() && (single == singles_.end() || heads.top().first <= *single);
            if (!from_tree && single == singles_.end()) return TBS_ST_OK;
            view_wso_t w;
            std::pair<std::string, std::string> key;
            if (from_tree) {
                Stream& st = streams[heads.top().second];
                heads.pop();
                w = st.batch[st.pos++];
                key = {w.dir, w.leaf};
                if (tbs_status_t r = fill(st)) return r;
                if (st.pos < st.batch.size())
                    heads.push({{st.batch[st.pos].dir, st.batch[st.pos].leaf},
                                static_cast<size_t>(&st - streams.data())});
            } else {
                key = *single++;
                if (any && key == last) continue;
                tbs_status_t r = view_store_get_wso(db, key.first, key.second, &w);
                if (r == TBS_ST_NOT_FOUND) continue;
                if (r != TBS_ST_OK) return r;
            }
            if (any && key == last) continue;  // overlapping subtrees
            any = true;
            last = key;
            if (!each(w)) return TBS_ST_OK;
        }
    }

private:
    static constexpr int kBatch = 512;
    std::set<std::pair<std::string, std::string>> singles_;
    std::set<std::pair<std::string, std::string>> trees_;
};

class JournalWalk {
public:
    JournalWalk(Session& session, const std::vector<std::string>& walk_scopes)
        : s(session), scopes(walk_scopes) {}
    Session& s;
    const std::vector<std::string>& scopes;
    std::map<Key, Item> queue;
    Candidates candidates;
    // Names each element has in the view, and what the view selects of a directory at a
    // name: asked again for every element below.
    std::map<std::pair<const vob_t*, vob_dbid_t>, std::vector<std::string>> names;
    std::map<std::tuple<const vob_t*, vob_dbid_t, std::string>, vob_dbid_t> selected;

    view_load_scope_t scope_of(const std::string& pname) const {
        return view_cspec_in_load_scope(*s.view->cspec, pname.c_str());
    }

    // Where the whole walk meets `pname`: under which scope, and whether as an ancestor of
    // it. False when it does not meet it at all.
    bool place(vob_t* vob, const std::string& pname, Key* key, int* kind) const {
        for (size_t i = 0; i < scopes.size(); ++i) {
            if (ws_at_or_below(pname, scopes[i])) {
                *key = {i, components(pname)};
                *kind = ITEM_EXAMINE;
                return true;
            }
        }
        // The whole walk reports the directories from a scope's VOB root down to it.
        if (pname != vob->tag && pname.rfind(vob->tag + "/", 0) != 0) return false;
        for (size_t i = 0; i < scopes.size(); ++i) {
            if (scopes[i].rfind(pname + "/", 0) == 0) {
                *key = {i, components(pname)};
                *kind = ITEM_ANCESTOR;
                return true;
            }
        }
        return false;
    }

    tbs_status_t select(vob_t* vob, vob_dbid_t element, const std::string& pname,
                        vob_dbid_t* version) {
        auto key = std::make_tuple(static_cast<const vob_t*>(vob), element, pname);
        auto it = selected.find(key);
        if (it != selected.end()) {
            *version = it->second;
            return TBS_ST_OK;
        }
        tbs_status_t st = s.select(vob, element, pname, version);
        if (st == TBS_ST_OK) selected[key] = *version;
        return st;
    }

    // The names the view gives `target` within the load rules and on the way to them: a
    // name of each directory version that binds it and that the view selects there.
    tbs_status_t names_of(vob_t* vob, vob_dbid_t target, int depth,
                          const std::vector<std::string>** out) {
        auto key = std::make_pair(static_cast<const vob_t*>(vob), target);
        auto it = names.find(key);
        if (it != names.end()) {
            *out = &it->second;
            return TBS_ST_OK;
        }
        if (depth > kMaxDepth) return TBS_ST_TOO_LONG;
        std::vector<std::string> found;
        if (target == vob->root_element) {
            if (scope_of(vob->tag) != VIEW_LOAD_OUT) found.push_back(vob->tag);
        } else {
            std::vector<vob_binding_t> bindings;
            tbs_status_t st = vob_obj_get_bindings(vob, target, &bindings);
            if (st != TBS_ST_OK) return st;
            std::set<vob_dbid_t> dirs;
            for (const vob_binding_t& b : bindings) dirs.insert(b.dir_element);
            for (vob_dbid_t dir : dirs) {
                const std::vector<std::string>* dir_names = nullptr;
                if (dir == 0) continue;  // a version being made: it binds nothing yet
                if ((st = names_of(vob, dir, depth + 1, &dir_names)) != TBS_ST_OK) return st;
                for (const std::string& at : *dir_names) {
                    vob_dbid_t version = 0;
                    if ((st = select(vob, dir, at, &version)) != TBS_ST_OK) return st;
                    for (const vob_binding_t& b : bindings) {
                        if (b.dir_element != dir || b.dir_version != version) continue;
                        std::string name = at + "/" + b.name;
                        if (scope_of(name) != VIEW_LOAD_OUT) found.push_back(name);
                    }
                }
            }
            if (found.size() > kMaxNames) return TBS_ST_TOO_LONG;
        }
        *out = &(names[key] = std::move(found));
        return TBS_ST_OK;
    }

    void enqueue(const Key& k, const Item& it) {
        auto [at, fresh] = queue.emplace(k, it);
        if (!fresh && it.kind > at->second.kind) at->second = it;
    }

    // A journalled element: each of its names, and the records it has at other names.
    tbs_status_t add_element(vob_t* vob, vob_dbid_t element) {
        vob_obj_info_t info;
        tbs_status_t st = vob_obj_get_info(vob, element, &info);
        if (st != TBS_ST_OK) return st;
        const int mtype = info.mtype;
        if (mtype != VOB_MTYPE_FILE_ELEMENT && mtype != VOB_MTYPE_DIR_ELEMENT &&
            mtype != VOB_MTYPE_SLINK)
            return TBS_ST_OK;
        const std::vector<std::string>* at = nullptr;
        if ((st = names_of(vob, element, 0, &at)) != TBS_ST_OK) return st;
        for (const std::string& pname : *at) {
            Key k;
            int kind = 0;
            if (place(vob, pname, &k, &kind)) enqueue(k, {kind, vob, element, mtype});
        }
        std::vector<view_wso_t> recs;
        if ((st = view_store_find_elem(*s.view->db, tbs_uuid_text(info.oid), &recs)) != TBS_ST_OK)
            return st;
        for (const view_wso_t& r : recs) {
            if (std::find(at->begin(), at->end(), ws_rel_join(r.dir, r.leaf)) != at->end())
                continue;
            candidates.add({r.dir, r.leaf});
            if (r.ftype == WS_FTYPE_DIR) candidates.add_subtree({r.dir, r.leaf});
        }
        return TBS_ST_OK;
    }

    // A directory reported at `pname`: what it binds now against what the record holds.
    tbs_status_t compare_directory(const Key& key, vob_t* vob, const std::string& pname,
                                   vob_dbid_t version) {
        std::vector<vob_dir_entry_t> entries;
        tbs_status_t st = vob_dir_list(vob, version, &entries);
        if (st != TBS_ST_OK) return st;
        const auto [dir, leaf] = rel(pname);
        const std::string here = dir.empty() ? leaf : dir + "/" + leaf;
        std::vector<view_wso_t> recs;
        if ((st = view_store_list_dir(*s.view->db, here, &recs)) != TBS_ST_OK) return st;
        std::map<std::string, const view_wso_t*> held;
        for (const view_wso_t& r : recs) held[r.leaf] = &r;
        std::map<std::string, vob_dbid_t> bound;
        for (const vob_dir_entry_t& e : entries) {
            bound[e.name] = e.target;
            auto h = held.find(e.name);
            const bool same = h != held.end() && ws_same_uuid(h->second->vob_uuid, vob->uuid) &&
                              static_cast<vob_dbid_t>(h->second->fh.elem_dbid) == e.target;
            if (same) continue;
            Key child = key;
            child.second.push_back(e.name);
            enqueue(child, {ITEM_SUBTREE, vob, e.target, e.mtype});
        }
        auto gone = [&](const std::string& name, vob_dbid_t was) {
            auto b = bound.find(name);
            if (b != bound.end() && b->second == was) return;
            candidates.add({here, name});
            candidates.add_subtree({here, name});
        };
        for (const view_wso_t& r : recs) gone(r.leaf, static_cast<vob_dbid_t>(r.fh.elem_dbid));
        // The names of the version the record holds, for records lost below them.
        view_wso_t self;
        vob_dbid_t held_version = 0;
        std::vector<vob_dir_entry_t> before;
        if (view_store_get_wso(*s.view->db, dir, leaf, &self) == TBS_ST_OK &&
            !tbs_uuid_is_null(self.ver_oid) &&
            vob_obj_oid_to_dbid(vob, self.ver_oid, &held_version) == TBS_ST_OK &&
            held_version != version && vob_dir_list(vob, held_version, &before) == TBS_ST_OK)
            for (const vob_dir_entry_t& e : before) gone(e.name, e.target);
        return TBS_ST_OK;
    }

    // A journalled element at one of its names: as the whole walk meets it, and a directory
    // compared with the record instead of walked whole.
    tbs_status_t examine(const Key& key, const Item& it) {
        const std::string pname = join(key);
        if (it.mtype == VOB_MTYPE_SLINK)
            return ws_walk::report(s, it.vob, pname, it.target, it.mtype, 0);
        vob_dbid_t version = 0;
        tbs_status_t st = s.select(it.vob, it.target, pname, &version);
        if (st != TBS_ST_OK) return st;
        if (version == 0) {
            const auto [dir, leaf] = rel(pname);
            view_wso_t rec;
            if (view_store_get_wso(*s.view->db, dir, leaf, &rec) == TBS_ST_OK) {
                s.renamed_from.insert(pname);  // reported here, not again below
                ws_walk::report_unvisited(s, pname, ws_walk::held_info(rec));
            }
            if (it.mtype == VOB_MTYPE_DIR_ELEMENT) candidates.add_subtree({dir, leaf});
            return TBS_ST_OK;
        }
        st = ws_walk::report(s, it.vob, pname, it.target, it.mtype, version);
        if (st != TBS_ST_OK || s.stopped || it.mtype != VOB_MTYPE_DIR_ELEMENT) return st;
        return compare_directory(key, it.vob, pname, version);
    }

    tbs_status_t run() {
        while (!queue.empty() && !s.stopped) {
            const Key key = queue.begin()->first;
            const Item it = queue.begin()->second;
            queue.erase(queue.begin());
            tbs_status_t st = TBS_ST_OK;
            switch (it.kind) {
                case ITEM_ANCESTOR:
                    st = ws_walk::report_ancestor(s, it.vob, join(key));
                    break;
                case ITEM_SUBTREE: {
                    // Walked whole: what was queued below it is met on the way.
                    auto below = queue.lower_bound(key);
                    while (below != queue.end() && below->first.first == key.first &&
                           below->first.second.size() > key.second.size() &&
                           std::equal(key.second.begin(), key.second.end(),
                                      below->first.second.begin()))
                        below = queue.erase(below);
                    st = ws_walk::walk(s, it.vob, join(key), it.target, it.mtype, 0);
                    break;
                }
                default:
                    st = examine(key, it);
            }
            if (st != TBS_ST_OK) return st;
        }
        if (s.stopped) return TBS_ST_OK;
        tbs_status_t st = candidates.run(*s.view->db, [&](const view_wso_t& w) {
            return ws_walk::consider_unvisited(s, w, true);
        });
        if (st != TBS_ST_OK || s.stopped) return st;
        if (s.h->obs.end_unvisited) {
            int n = 0;
            s.h->obs.end_unvisited(s.h->obs.ctx, &n);
            s.notify(n);
        }
        return TBS_ST_OK;
    }
};

}  // namespace ws_walk

namespace {

// Whether the scope still names what the record holds there, as a name walked plainly.
bool scope_unchanged(Session& s, const std::string& scope) {
    vob_resolved_t r;
    if (vob_resolve_pname(scope.c_str(), s.ctx, VOB_RESOLVE_NOFOLLOW, &r) != TBS_ST_OK)
        return false;
    if ((r.vob_path == "/" ? r.vob->tag : r.vob->tag + r.vob_path) != scope) return false;
    const vob_dbid_t id = r.mtype == VOB_MTYPE_SLINK ? r.dbid : r.element;
    const auto [dir, leaf] = rel(scope);
    view_wso_t rec;
    return view_store_get_wso(*s.view->db, dir, leaf, &rec) == TBS_ST_OK &&
           ws_same_uuid(rec.vob_uuid, r.vob->uuid) &&
           static_cast<vob_dbid_t>(rec.fh.elem_dbid) == id;
}

}  // namespace

ws_walk::JournalPlan::JournalPlan() = default;
ws_walk::JournalPlan::~JournalPlan() = default;

tbs_status_t ws_walk::plan_journal_walk(Session& s, const std::vector<std::string>& scopes,
                                        const std::vector<SyncVob>& vobs, JournalPlan* plan,
                                        std::string* why) {
    std::vector<std::pair<vob_t*, std::vector<vob_dbid_t>>> changes;
    plan->walk.reset();
    plan->elements = 0;
    bool present = false;
    view_sync_point_t base;
    tbs_status_t st = view_ws_get_sync_base(s.view, &present, &base);
    if (st != TBS_ST_OK) return st;
    if (!present) {
        *why = "the record has no sync point";
        return TBS_ST_NOT_FOUND;
    }
    if (base.cspec != view_cspec_text(*s.view->cspec)) {
        *why = "the config spec changed";
        return TBS_ST_NOT_FOUND;
    }
    for (const SyncVob& v : vobs) {
        const view_sync_gen_t* at = nullptr;
        for (const view_sync_gen_t& g : base.gens)
            if (ws_same_uuid(g.vob_uuid, v.vob->uuid)) at = &g;
        if (!at) {
            *why = "VOB " + v.vob->tag + " is not in the sync point";
            return TBS_ST_NOT_FOUND;
        }
        if (at->gen < v.low || at->gen > v.gen) {
            *why = "the journal of " + v.vob->tag + " no longer reaches the sync point";
            return TBS_ST_NOT_FOUND;
        }
        std::vector<vob_dbid_t> changed;
        if ((st = vob_changes_since(v.vob, at->gen, v.gen, kMaxJournalled + 1, &changed)) !=
            TBS_ST_OK)
            return st;
        // The elements checked out to the view are reported whether or not they changed.
        std::vector<vob_checkout_info_t> cos;
        if ((st = vob_ob_view_ckouts(v.vob, s.view->uuid, &cos)) != TBS_ST_OK) return st;
        for (const vob_checkout_info_t& c : cos) changed.push_back(c.element);
        std::sort(changed.begin(), changed.end());
        changed.erase(std::unique(changed.begin(), changed.end()), changed.end());
        plan->elements += static_cast<int64_t>(changed.size());
        if (plan->elements > kMaxJournalled) {
            *why = "more changed than the journal walk takes";
            return TBS_ST_NOT_FOUND;
        }
        changes.emplace_back(v.vob, std::move(changed));
    }
    for (const std::string& scope : scopes) {
        bool known = false;
        for (const SyncVob& v : vobs)
            known |= scope == v.vob->tag || scope.rfind(v.vob->tag + "/", 0) == 0;
        if (!known || !scope_unchanged(s, scope)) {
            *why = "the load rule " + scope + " names something else now";
            return TBS_ST_NOT_FOUND;
        }
    }
    auto walk = std::make_unique<JournalWalk>(s, scopes);
    for (const auto& [vob, elements] : changes) {
        for (vob_dbid_t e : elements) {
            st = walk->add_element(vob, e);
            if (st == TBS_ST_TOO_LONG) {
                *why = "an element has too many names in the view";
                return TBS_ST_NOT_FOUND;
            }
            if (st != TBS_ST_OK) return st;
        }
    }
    plan->walk = std::move(walk);
    return TBS_ST_OK;
}

tbs_status_t ws_walk::journal_walk(JournalPlan& plan) {
    return plan.walk ? plan.walk->run() : TBS_ST_INVALID;
}
