// cmd_merge: a version merged into a checkout (see cmd.h for what each merge type does and
// where the result goes), and the version-graph ancestry that merges and merge candidates
// share.
//
// A text merge reads the three contributors whole (the comparison engine's limit) and
// writes the result beside its destination under a temporary name, renamed over it once
// complete, so an interrupted merge leaves the destination as it was. A directory merge
// changes the checked-out directory's names and records the arrow in one transaction.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <deque>
#include <map>
#include <memory>
#include <unordered_set>

#include "core/cmd/cmd_internal.h"
#include "core/dcl/dcl.h"
#include "core/imsg/imsg.h"
#include "core/util/fileutl.h"
#include "core/vob/vob_store.h"

namespace {

constexpr const char* kMergeType = "Merge";

// Breadth first from `start` through the parents, nearest first. `visit(version, steps)`
// returns true to stop.
template <class F>
tbs_status_t each_ancestor(vob_t* vob, int64_t start, F&& visit) {
    std::unordered_set<int64_t> seen{start};
    std::deque<std::pair<int64_t, int64_t>> todo{{start, 0}};
    std::vector<int64_t> parents;
    while (!todo.empty()) {
        auto [v, steps] = todo.front();
        todo.pop_front();
        if (visit(v, steps)) return TBS_ST_OK;
        tbs_status_t st = cmd_version_parents(vob, v, &parents);
        if (st != TBS_ST_OK) return st;
        for (int64_t p : parents)
            if (seen.insert(p).second) todo.push_back({p, steps + 1});
    }
    return TBS_ST_OK;
}

// A temporary file that goes with its holder unless kept.
struct TempFile {
    std::string path;
    TempFile() = default;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        if (!path.empty()) unlink(path.c_str());
    }
    // A new empty file in `dir` (the core's temporary directory when empty).
    tbs_status_t make(const std::string& dir) {
        const std::string where = dir.empty() ? std::string(fileutl_get_tmpdir()) : dir;
        if (dir.empty() && !fileutl_exists(where.c_str())) fileutl_mkdir_p(where.c_str(), 0775);
        std::string p = where + "/.#merge.XXXXXX";
        int fd = mkstemp(p.data());
        if (fd < 0) return tbs_errno2status(errno);
        close(fd);
        path = p;
        return TBS_ST_OK;
    }
};

struct Merge {
    cmd_merge_args_t* a;
    cmd_ctx ctx;
    vob_t* vob = nullptr;
    int64_t element = 0;
    bool is_dir = false;
    vob_checkout_info_t co;
    int merge_type = VOB_MERGE_AUTO;
};

// The from-version: a version-extended name, or what a selector selects for the element.
tbs_status_t resolve_from(Merge& m, const std::string& pname) {
    const std::string& sel = m.a->from;
    if (sel.empty() || sel.size() > VOB_MAX_PNAME)
        return cmd_fail("Bad version selector", sel.substr(0, 64), TBS_ST_BAD_SELECTOR);
    if (sel.find(TBS_VER_EXT) != std::string::npos) {
        vob_resolved_t r;
        tbs_status_t st = vob_resolve_pname(sel.c_str(), m.ctx.view, 0, &r);
        if (st != TBS_ST_OK) return cmd_fail("Unable to find version", sel, st);
        if (r.vob != m.vob || r.element != m.element || !r.version)
            return cmd_fail("Not a version of the element merged into", sel, TBS_ST_INVALID);
        m.a->from_version = r.version;
        return TBS_ST_OK;
    }
    view_cspec_t spec;
    std::vector<std::string> errors;
    if (sel.find_first_of(" \t\r\n\"#") != std::string::npos ||
        view_cspec_parse(("element * " + sel).c_str(), &spec, &errors) != TBS_ST_OK ||
        spec.rules.size() != 1 || spec.rules[0].sel.kind == VIEW_SEL_CHECKEDOUT ||
        spec.rules[0].sel.kind == VIEW_SEL_NONE)
        return cmd_fail("Bad version selector", sel, TBS_ST_BAD_SELECTOR);
    view_cspec_choice_t choice;
    tbs_status_t st =
        view_cspec_select(spec, m.vob, m.element, pname.c_str(), tbs_uuid_null(), &choice);
    if (st != TBS_ST_OK) return cmd_fail("Unable to select a version with", sel, st);
    if (!choice.version)
        return cmd_fail("The selector selects no version of", pname, TBS_ST_NOT_FOUND);
    m.a->from_version = choice.version;
    return TBS_ST_OK;
}

tbs_status_t resolve_base(Merge& m) {
    cmd_merge_args_t* a = m.a;
    if (!a->base.empty()) {
        vob_resolved_t r;
        tbs_status_t st = vob_resolve_pname(a->base.c_str(), m.ctx.view, 0, &r);
        if (st != TBS_ST_OK) return cmd_fail("Unable to find version", a->base, st);
        if (r.vob != m.vob || r.element != m.element || !r.version || !r.extended)
            return cmd_fail("Not a version of the element merged into", a->base, TBS_ST_INVALID);
        a->base_version = r.version;
    }
    return TBS_ST_OK;
}

// Records the arrow from the from-version to the checkout (once), with whatever `more`
// changes in the same transaction.
template <class F>
tbs_status_t record_arrow(Merge& m, F&& more) {
    return m.vob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
        store_db& db = *m.vob->db;
        vob_checkout_info_t co;
        tbs_status_t st = vob_store_find_checkout(db, m.element, m.ctx.view_text, &co);
        if (st != TBS_ST_OK || co.dbid != m.co.dbid) return TBS_ST_NOT_CHECKED_OUT;
        if ((st = cmd_check_write(m.vob, m.ctx, m.element)) != TBS_ST_OK) return st;
        if ((st = cmd_check_element_locks(m.vob, m.ctx, m.element, co.branch)) != TBS_ST_OK)
            return st;
        if ((st = more(txn)) != TBS_ST_OK) return st;
        vob_type_info_t ht;
        if ((st = vob_store_find_type_info(db, VOB_MTYPE_HLTYPE, kMergeType, &ht)) != TBS_ST_OK)
            return st;
        int64_t existing = 0;
        if (vob_store_find_hlink(db, ht.dbid, m.a->from_version, co.dbid, &existing) == TBS_ST_OK)
            return TBS_ST_OK;
        int64_t dbid = 0;
        if ((st = cmd_new_object(m.vob, txn, m.ctx, VOB_MTYPE_HLINK, 0444, &dbid)) != TBS_ST_OK)
            return st;
        if ((st = vob_store_new_hlink(db, dbid, ht.dbid, m.a->from_version, co.dbid, "")) !=
            TBS_ST_OK)
            return st;
        return cmd_event(m.vob, txn, m.ctx, m.a->from_version, "make hyperlink", kMergeType);
    });
}

// Text merges ------------------------------------------------------------------------------

void append_marker(std::string* out, const char* marker, const std::string& label) {
    if (!out->empty() && out->back() != '\n') out->push_back('\n');
    out->append(marker);
    if (!label.empty()) out->append(" ").append(label);
    out->push_back('\n');
}

// The merged file: each region as its default choice says, conflicts between markers.
// `user` leaves every region the from-version changed to the user.
void merged_text(const DCL_Session& s, bool user, const std::string (&labels)[3], std::string* out,
                 int64_t* conflicts, int64_t* regions, bool* trivial) {
    DCL_Walk base = s.walk(DCL_BASE), from = s.walk(DCL_FROM), to = s.walk(DCL_TO);
    // A merge where the to-side changed nothing is a copy, which loses nothing: even an
    // element whose merges are the user's takes it.
    if (user) {
        bool to_changed = false;
        for (DCL_Walk r = s.merge_walk(); !r.at_end(); r.next()) {
            const DCL_Block& b = r.block();
            if (b.type() == DCL_MERGING && (b.conflict() || b.default_choice() != DCL_FROM))
                to_changed = true;
        }
        user = to_changed;
    }
    *trivial = true;
    for (DCL_Walk r = s.merge_walk(); !r.at_end(); r.next(), base.next(), from.next(), to.next()) {
        const DCL_Block& b = r.block();
        if (b.type() == DCL_COMMON) {
            out->append(b.text());
            continue;
        }
        if (b.type() != DCL_MERGING) continue;  // a marker between regions
        ++*regions;
        const bool conflict = b.conflict() || (user && b.default_choice() == DCL_FROM);
        if (!conflict) {
            if (b.default_choice() != DCL_FROM) *trivial = false;
            out->append(b.choice_block()->text());
            continue;
        }
        *trivial = false;
        ++*conflicts;
        append_marker(out, "<<<<<<<", labels[DCL_TO]);
        out->append(to.block().text());
        append_marker(out, "|||||||", labels[DCL_BASE]);
        out->append(base.block().text());
        append_marker(out, "=======", "");
        out->append(from.block().text());
        append_marker(out, ">>>>>>>", labels[DCL_FROM]);
    }
}

tbs_status_t write_whole(const std::string& path, const std::string& bytes) {
    int fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return tbs_errno2status(errno);
    if (!fileutl_write_all(fd, bytes.data(), bytes.size()) || fsync(fd) != 0) {
        const int e = errno;
        close(fd);
        return tbs_errno2status(e);
    }
    return close(fd) == 0 ? TBS_ST_OK : tbs_errno2status(errno);
}

tbs_status_t read_whole(const std::string& path, std::string* out) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return tbs_errno2status(errno);
    char buf[65536];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) != 0) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int e = errno;
            close(fd);
            return tbs_errno2status(e);
        }
        out->append(buf, static_cast<size_t>(n));
    }
    close(fd);
    return TBS_ST_OK;
}

std::string dir_of(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

tbs_status_t merge_file(Merge& m, const std::string& pname) {
    cmd_merge_args_t* a = m.a;
    const std::string view_copy = cmd_view_private_file(m.ctx, pname);
    const std::string output = !a->output.empty() ? a->output : view_copy;
    if (output.empty())
        return cmd_fail("No file to write the merge of", pname + "\" into (name one); \"" + pname,
                        TBS_ST_INVALID);
    // The contributors as files: base, from, to.
    TempFile base, from, pred;
    tbs_status_t st = base.make("");
    if (st == TBS_ST_OK) st = vob_ver_get_cleartext(m.vob, a->base_version, base.path.c_str());
    if (st == TBS_ST_OK) st = from.make("");
    if (st == TBS_ST_OK) st = vob_ver_get_cleartext(m.vob, a->from_version, from.path.c_str());
    std::string to_path = !a->to_file.empty() ? a->to_file : view_copy;
    if (st == TBS_ST_OK && to_path.empty()) {
        if ((st = pred.make("")) == TBS_ST_OK)
            st = vob_ver_get_cleartext(m.vob, m.co.pred_version, pred.path.c_str());
        to_path = pred.path;
    }
    if (st != TBS_ST_OK) return cmd_fail("Unable to read the versions to merge of", pname, st);

    std::string result;
    bool trivial = false;
    if (m.merge_type == VOB_MERGE_COPY) {
        if ((st = read_whole(from.path, &result)) != TBS_ST_OK)
            return cmd_fail("Unable to read the versions to merge of", pname, st);
        trivial = true;
    } else {
        DCL_TextArgs args;
        args.paths = {base.path, from.path, to_path};
        args.tool_name = "merge";
        std::unique_ptr<DCL_TextSession> session;
        std::string error;
        if ((st = DCL_TextSession::open(args, &session, &error)) != TBS_ST_OK) {
            imsg_error("%s\n", error.c_str());
            return cmd_fail("Unable to merge", pname, st);
        }
        const std::string labels[3] = {
            pname + TBS_VER_EXT + cmd_idstr(m.vob, a->base_version) + " (base)",
            pname + TBS_VER_EXT + cmd_idstr(m.vob, a->from_version) + " (from)",
            pname + " (checked out)"};
        merged_text(*session, m.merge_type == VOB_MERGE_USER, labels, &result, &a->conflicts,
                    &a->regions, &trivial);
        if (a->conflicts && session->compared_whole()) {
            // Markers have no place in a binary file: the checkout keeps its contents.
            imsg_error("\"%s\" was compared as a whole (binary); choose one version.\n",
                       pname.c_str());
            a->outcome = CMD_MERGE_CONFLICT;
            return TBS_ST_MERGE_CONFLICT;
        }
    }
    if (a->conflicts && a->abort_on_conflict) {
        a->outcome = CMD_MERGE_CONFLICT;
        imsg_error("Merge of \"%s\" needs the user in %lld region(s); nothing was changed.\n",
                   pname.c_str(), static_cast<long long>(a->conflicts));
        return TBS_ST_MERGE_CONFLICT;
    }
    // Beside the destination, then over it.
    TempFile out;
    if ((st = out.make(dir_of(output))) == TBS_ST_OK) st = write_whole(out.path, result);
    if (st == TBS_ST_OK) {
        struct stat sb;
        if (stat(output.c_str(), &sb) == 0) chmod(out.path.c_str(), sb.st_mode & 07777);
        if (rename(out.path.c_str(), output.c_str()) != 0)
            st = tbs_errno2status(errno);
        else
            out.path.clear();
    }
    if (st != TBS_ST_OK) return cmd_fail("Unable to write the merge into", output, st);
    if (a->conflicts) {
        a->outcome = CMD_MERGE_CONFLICT;
        imsg_error(
            "Merge of \"%s\" left %lld conflict(s) between markers; resolve them, then record "
            "the merge.\n",
            pname.c_str(), static_cast<long long>(a->conflicts));
        return TBS_ST_MERGE_CONFLICT;
    }
    if ((st = record_arrow(m, [](store_txn&) { return TBS_ST_OK; })) != TBS_ST_OK)
        return cmd_fail("Unable to record the merge into", pname, st);
    a->outcome = trivial ? CMD_MERGE_TRIVIAL : CMD_MERGE_AUTO;
    return TBS_ST_OK;
}

// Directory merges -------------------------------------------------------------------------

struct Listing {
    std::vector<DCL_DirItem> items;
    std::map<std::string, int64_t> targets;  // oid text -> target
};

tbs_status_t dir_listing(vob_t* vob, int64_t version, Listing* out) {
    std::vector<vob_dir_entry_t> entries;
    tbs_status_t st = vob_store_dir_list(*vob->db, version, &entries);
    for (const vob_dir_entry_t& e : entries) {
        if (st != TBS_ST_OK) break;
        vob_obj_info_t info;
        if ((st = vob_obj_get_info(vob, e.target, &info)) != TBS_ST_OK) break;
        DCL_DirItem item;
        item.name = e.name;
        item.kind = e.mtype == VOB_MTYPE_DIR_ELEMENT ? DCL_ITEM_DIR
                    : e.mtype == VOB_MTYPE_SLINK     ? DCL_ITEM_SYMLINK
                                                     : DCL_ITEM_FILE;
        item.oid = tbs_uuid_text(info.oid);
        out->targets[item.oid] = e.target;
        out->items.push_back(std::move(item));
    }
    return st;
}

// One change of a name the from-version made since the base.
struct NameChange {
    std::string remove;  // the name the base had ("" none)
    std::string add;     // the name the from-version has ("" none)
    int64_t target = 0;
};

tbs_status_t merge_dir(Merge& m, const std::string& pname) {
    cmd_merge_args_t* a = m.a;
    Listing lists[3];
    tbs_status_t st = dir_listing(m.vob, a->base_version, &lists[DCL_BASE]);
    if (st == TBS_ST_OK) st = dir_listing(m.vob, a->from_version, &lists[DCL_FROM]);
    if (st == TBS_ST_OK) st = dir_listing(m.vob, m.co.dbid, &lists[DCL_TO]);
    if (st != TBS_ST_OK) return cmd_fail("Unable to read the directory versions of", pname, st);
    std::unique_ptr<DCL_DirSession> session;
    std::string error;
    if ((st = DCL_DirSession::open({lists[0].items, lists[1].items, lists[2].items}, &session,
                                   &error)) != TBS_ST_OK) {
        imsg_error("%s\n", error.c_str());
        return cmd_fail("Unable to merge", pname, st);
    }
    bool user = m.merge_type == VOB_MERGE_USER;
    if (user) {  // as for files: a copy is never the user's
        bool to_changed = false;
        for (DCL_Walk r = session->merge_walk(); !r.at_end(); r.next())
            if (r.block().type() == DCL_MERGING &&
                (r.block().conflict() || r.block().default_choice() != DCL_FROM))
                to_changed = true;
        user = to_changed;
    }
    std::vector<NameChange> changes;
    bool trivial = true;
    DCL_Walk base = session->walk(DCL_BASE), from = session->walk(DCL_FROM);
    for (DCL_Walk r = session->merge_walk(); !r.at_end(); r.next(), base.next(), from.next()) {
        const DCL_Block& b = r.block();
        if (b.type() != DCL_MERGING) continue;
        ++a->regions;
        const bool conflict = b.conflict() || (user && b.default_choice() == DCL_FROM);
        const DCL_DirItem* was = base.block().items().empty() ? nullptr : &base.block().items()[0];
        const DCL_DirItem* now = from.block().items().empty() ? nullptr : &from.block().items()[0];
        if (conflict) {
            ++a->conflicts;
            imsg_error("Conflicting changes of \"%s\" in \"%s\".\n",
                       (now ? now : was) ? (now ? now : was)->name.c_str() : "?", pname.c_str());
            continue;
        }
        if (b.default_choice() != DCL_FROM) {
            trivial = false;
            continue;
        }
        if (m.merge_type == VOB_MERGE_COPY && !now) continue;
        NameChange c;
        if (was) c.remove = was->name;
        if (now) {
            c.add = now->name;
            c.target = lists[DCL_FROM].targets[now->oid];
        }
        if (c.remove != c.add) changes.push_back(std::move(c));
    }
    if (a->conflicts) {
        a->outcome = CMD_MERGE_CONFLICT;
        imsg_error("The merge of directory \"%s\" needs the user; nothing was changed.\n",
                   pname.c_str());
        return TBS_ST_MERGE_CONFLICT;
    }
    st = record_arrow(m, [&](store_txn&) -> tbs_status_t {
        store_db& db = *m.vob->db;
        for (const NameChange& c : changes) {
            tbs_status_t s = TBS_ST_OK;
            if (!c.remove.empty() &&
                (s = vob_store_dir_remove(db, m.co.dbid, c.remove)) != TBS_ST_OK)
                return s;
            if (c.add.empty()) continue;
            int64_t target = 0;
            int mtype = 0;
            if (vob_store_dir_lookup(db, m.co.dbid, c.add, &target, &mtype) == TBS_ST_OK) {
                imsg_error("\"%s\" is already a name in \"%s\".\n", c.add.c_str(), pname.c_str());
                return TBS_ST_EXISTS;
            }
            if ((s = vob_store_dir_add(db, m.co.dbid, c.add, c.target)) != TBS_ST_OK) return s;
        }
        return TBS_ST_OK;
    });
    if (st != TBS_ST_OK) return cmd_fail("Unable to merge directory", pname, st);
    for (const NameChange& c : changes) {
        if (c.add.empty())
            imsg_ok("Removed \"%s\" from \"%s\".\n", c.remove.c_str(), pname.c_str());
        else if (c.remove.empty())
            imsg_ok("Added \"%s\" to \"%s\".\n", c.add.c_str(), pname.c_str());
        else
            imsg_ok("Renamed \"%s\" to \"%s\" in \"%s\".\n", c.remove.c_str(), c.add.c_str(),
                    pname.c_str());
    }
    a->outcome = trivial ? CMD_MERGE_TRIVIAL : CMD_MERGE_AUTO;
    return TBS_ST_OK;
}

}  // namespace

tbs_status_t cmd_version_parents(vob_t* vob, int64_t version, std::vector<int64_t>* out) {
    out->clear();
    vob_version_info_t v;
    tbs_status_t st = vob_ver_get_info(vob, version, &v);
    if (st != TBS_ST_OK) return st;
    if (v.predecessor) out->push_back(v.predecessor);
    std::vector<vob_hlink_info_t> links;
    if ((st = vob_obj_get_hlinks(vob, version, &links)) != TBS_ST_OK) return st;
    for (const vob_hlink_info_t& l : links)
        if (l.type == kMergeType && l.to == version && l.from) out->push_back(l.from);
    return TBS_ST_OK;
}

tbs_status_t cmd_merge_base(vob_t* vob, int64_t to, int64_t from, bool* merged, int64_t* base,
                            int64_t* distance) {
    *merged = false;
    *base = 0;
    *distance = 0;
    std::unordered_set<int64_t> ancestors;  // the to-version and its ancestors
    tbs_status_t st = each_ancestor(vob, to, [&](int64_t v, int64_t) {
        ancestors.insert(v);
        return v == from;
    });
    if (st != TBS_ST_OK) return st;
    if (ancestors.count(from)) {
        *merged = true;
        return TBS_ST_OK;
    }
    return each_ancestor(vob, from, [&](int64_t v, int64_t steps) {
        if (!ancestors.count(v)) return false;
        *base = v;
        *distance = steps;
        return true;
    });
}

tbs_status_t cmd_merge(cmd_merge_args_t* a) {
    Merge m{a, {}, nullptr, 0, false, {}, VOB_MERGE_AUTO};
    tbs_status_t st = cmd_ctx_init(&m.ctx, a->view);
    if (st == TBS_ST_OK) st = cmd_check_view_owner(m.ctx);
    if (st == TBS_ST_OK) st = cmd_check_pnames({a->to, a->from});
    for (const std::string* p : {&a->base, &a->to_file, &a->output})
        if (st == TBS_ST_OK && !p->empty()) st = cmd_check_pnames({*p});
    if (st != TBS_ST_OK) return st;
    a->outcome = 0;
    a->conflicts = a->regions = 0;
    a->from_version = a->base_version = a->to_version = 0;
    const std::string& pname = a->to;
    vob_resolved_t r;
    if ((st = vob_resolve_pname(pname.c_str(), m.ctx.view, 0, &r)) != TBS_ST_OK)
        return cmd_fail("Unable to find", pname, st);
    if (!r.element || r.extended)
        return cmd_fail("Not an element in the view", pname, TBS_ST_NOT_ELEMENT);
    m.vob = r.vob;
    m.element = r.element;
    if (vob_store_find_checkout(*m.vob->db, m.element, m.ctx.view_text, &m.co) != TBS_ST_OK)
        return cmd_fail("Unable to merge into", pname, TBS_ST_NOT_CHECKED_OUT);
    a->to_version = m.co.dbid;
    vob_version_info_t pred;
    vob_type_info_t eltype;
    if ((st = vob_ver_get_info(m.vob, m.co.pred_version, &pred)) != TBS_ST_OK ||
        (st = vob_elem_get_type(m.vob, m.element, &eltype)) != TBS_ST_OK)
        return cmd_fail("Unable to merge into", pname, st);
    m.is_dir = pred.is_dir;
    m.merge_type = eltype.merge_type;
    if ((st = resolve_from(m, pname)) != TBS_ST_OK) return st;
    const std::string from_id = cmd_idstr(m.vob, a->from_version);
    if (a->ndata) {
        if ((st = record_arrow(m, [](store_txn&) { return TBS_ST_OK; })) != TBS_ST_OK)
            return cmd_fail("Unable to record the merge into", pname, st);
        a->outcome = CMD_MERGE_ARROW_ONLY;
        imsg_ok("Recorded the merge of \"%s\" from version \"%s\".\n", pname.c_str(),
                from_id.c_str());
        return TBS_ST_OK;
    }
    if (m.merge_type == VOB_MERGE_NEVER) {
        imsg_error("Elements of type \"%s\" are never merged.\n", eltype.name.c_str());
        return cmd_fail("Unable to merge into", pname, TBS_ST_NOT_SUPPORTED);
    }
    if ((st = resolve_base(m)) != TBS_ST_OK) return st;
    bool merged = false;
    int64_t base = 0, distance = 0;
    if ((st = cmd_merge_base(m.vob, a->to_version, a->from_version, &merged, &base, &distance)) !=
        TBS_ST_OK)
        return cmd_fail("Unable to merge into", pname, st);
    if (a->base.empty()) a->base_version = base;
    if (merged) {
        a->outcome = CMD_MERGE_ALREADY;
        imsg_ok("\"%s\" already holds version \"%s\": no merge needed.\n", pname.c_str(),
                from_id.c_str());
        return TBS_ST_OK;
    }
    if (!a->base_version)
        return cmd_fail("No common ancestor of the versions to merge of", pname, TBS_ST_NOT_FOUND);
    st = m.is_dir ? merge_dir(m, pname) : merge_file(m, pname);
    if (st != TBS_ST_OK) return st;
    imsg_ok("Merged \"%s\" from version \"%s\" (base \"%s\")%s.\n", pname.c_str(), from_id.c_str(),
            cmd_idstr(m.vob, a->base_version).c_str(),
            a->outcome == CMD_MERGE_TRIVIAL ? ", a copy" : "");
    return TBS_ST_OK;
}
