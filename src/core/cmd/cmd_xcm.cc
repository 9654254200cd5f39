// Change-management commands on the objects of a project VOB: folders, components,
// projects, streams, activities and baselines; a view's current activity; moving versions
// between activities. Deliver and rebase are in cmd_integration.cc.
//
// A command changes the project VOB in one transaction. The branch and label types it
// needs in a component VOB are made first, each in a transaction of that VOB: a stream or
// baseline that failed halfway leaves at most an unused type behind, never a model object
// that names types missing from its components.
#include "core/cmd/cmd_xcm.h"

#include <ctime>
#include <map>
#include <set>

#include "core/cmd/cmd_internal.h"
#include "core/imsg/imsg.h"
#include "core/tide/tide.h"
#include "core/vob/vob_store.h"
#include "core/vob/xcm_store.h"

namespace {

// Names of the model's objects: streams and baselines also name branch and label types
// in config specs, so none holds blanks, quotes or "#", begins with "-", or is a word the
// specs reserve.
tbs_status_t check_xcm_name(const std::string& name) {
    tbs_status_t st = cmd_check_name(name);
    if (st != TBS_ST_OK) return st;
    static const char* const kReserved[] = {"main", "CHECKEDOUT", "LATEST", "RootFolder"};
    bool bad = name[0] == '-' || name.find_first_of(" \t\"#@:") != std::string::npos;
    for (const char* r : kReserved) bad |= name == r;
    return bad ? cmd_fail("Invalid name", name, TBS_ST_BAD_NAME) : TBS_ST_OK;
}

const char* kind_name(int mtype) {
    const char* p = xcm_kind_prefix(mtype);
    return p ? p : "object";
}

// Resolves a selector of one kind, with the message callers expect when it does not.
tbs_status_t resolve(const std::string& sel, int mtype, vob_t** pvob, vob_dbid_t* dbid) {
    tbs_status_t st = xcm_resolve(sel.c_str(), mtype, pvob, dbid);
    if (st != TBS_ST_OK)
        imsg_error("Unable to determine %s from selector \"%s\": %s.\n", kind_name(mtype),
                   sel.c_str(), tbs_strerror(st));
    return st;
}

tbs_status_t open_pvob(const std::string& tag, vob_t** pvob) {
    tbs_status_t st = vob_open_by_tag(tag.c_str(), pvob);
    if (st != TBS_ST_OK) return cmd_fail("Unable to find project VOB", tag, st);
    if (!xcm_is_pvob(*pvob)) return cmd_fail("Not a project VOB", tag, TBS_ST_INVALID);
    return TBS_ST_OK;
}

// A new object of the model with its event.
tbs_status_t new_obj(vob_t* pvob, store_txn& txn, const cmd_ctx& ctx, int mtype,
                     const std::string& name, const std::string& comment, int64_t* dbid) {
    int64_t existing = 0;
    if (xcm_store_find(*pvob->db, mtype, name, &existing) == TBS_ST_OK) {
        imsg_error("A %s named \"%s\" already exists.\n", kind_name(mtype), name.c_str());
        return TBS_ST_EXISTS;
    }
    tbs_status_t st = cmd_check_locks(pvob, ctx, {});
    if (st == TBS_ST_OK) st = cmd_new_object(pvob, txn, ctx, mtype, 0775, dbid);
    if (st == TBS_ST_OK) st = xcm_store_new_obj(*pvob->db, *dbid, mtype, name);
    if (st == TBS_ST_OK)
        st = cmd_event(pvob, txn, ctx, *dbid, (std::string("create ") + kind_name(mtype)).c_str(),
                       comment);
    return st;
}

// A type of `mtype` named `name` in `vob`, made when missing; its dbid.
tbs_status_t ensure_type(vob_t* vob, const cmd_ctx& ctx, int mtype, const std::string& name,
                         int64_t* dbid) {
    return vob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
        if (vob_store_find_type(*vob->db, mtype, name.c_str(), dbid) == TBS_ST_OK) return TBS_ST_OK;
        tbs_status_t st = cmd_new_object(vob, txn, ctx, mtype, 0444, dbid);
        if (st == TBS_ST_OK)
            st = vob_store_new_type(*vob->db, *dbid, mtype, name.c_str(), VOB_MERGE_AUTO, "");
        if (st == TBS_ST_OK)
            st = cmd_event(vob, txn, ctx, *dbid, "create type", "for change management");
        return st == TBS_ST_OK ? txn.commit() : st;
    });
}

// The distinct VOBs of a project's components (rootless ones have none).
tbs_status_t component_vobs(vob_t* pvob, vob_dbid_t project, std::vector<vob_t*>* out) {
    std::vector<vob_dbid_t> comps;
    tbs_status_t st = xcm_project_components(pvob, project, &comps);
    std::set<vob_t*> seen;
    for (vob_dbid_t c : comps) {
        if (st != TBS_ST_OK) break;
        xcm_component_info_t ci;
        vob_t* vob = nullptr;
        if ((st = xcm_get_component(pvob, c, &ci)) == TBS_ST_OK && ci.root_element &&
            (st = vob_open_by_uuid(ci.vob_uuid, &vob)) == TBS_ST_OK && seen.insert(vob).second)
            out->push_back(vob);
    }
    return st;
}

// Every element of a tree as `view` selects it (elements it selects no version of are
// skipped, with what is below them): `visit(element, version, is_dir)`.
template <class F>
tbs_status_t walk_tree(vob_t* vob, vob_dbid_t root, const std::string& root_pname,
                       const vob_view_ctx_t* view, F&& visit) {
    std::vector<std::pair<vob_dbid_t, std::string>> todo{{root, root_pname}};
    while (!todo.empty()) {
        auto [element, pname] = todo.back();
        todo.pop_back();
        vob_dbid_t version = 0;
        tbs_status_t st = vob_select_version(vob, element, pname.c_str(), view, &version);
        if (st != TBS_ST_OK) return st;
        if (!version) continue;
        vob_version_info_t v;
        if ((st = vob_store_get_version(*vob->db, version, &v)) == TBS_ST_NOT_FOUND) {
            // A checkout: the version it was made from carries the baseline.
            vob_checkout_info_t co;
            if ((st = vob_store_get_checkout(*vob->db, version, &co)) != TBS_ST_OK) return st;
            version = co.pred_version;
            st = vob_store_get_version(*vob->db, version, &v);
        }
        if (st != TBS_ST_OK) return st;
        if ((st = visit(element, version, v.is_dir)) != TBS_ST_OK) return st;
        if (!v.is_dir) continue;
        std::vector<vob_dir_entry_t> entries;
        if ((st = vob_store_dir_list(*vob->db, version, &entries)) != TBS_ST_OK) return st;
        for (const vob_dir_entry_t& e : entries)
            if (e.mtype == VOB_MTYPE_FILE_ELEMENT || e.mtype == VOB_MTYPE_DIR_ELEMENT)
                todo.push_back({e.target, pname + "/" + e.name});
    }
    return TBS_ST_OK;
}

// Labels what `view` selects below a component's root (full) or the elements of `changed`
// (incremental) with the label type `label`; the number labelled.
tbs_status_t label_component(const cmd_ctx& ctx, const xcm_component_info_t& comp,
                             const vob_view_ctx_t* view, const std::string& label, bool full,
                             const std::vector<int64_t>& changed, int64_t* labelled) {
    vob_t* vob = nullptr;
    tbs_status_t st = vob_open_by_uuid(comp.vob_uuid, &vob);
    int64_t lbtype = 0;
    if (st == TBS_ST_OK) st = ensure_type(vob, ctx, VOB_MTYPE_LBTYPE, label, &lbtype);
    if (st != TBS_ST_OK) return st;
    return vob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
        *labelled = 0;
        auto put = [&](vob_dbid_t element, vob_dbid_t version, bool) {
            ++*labelled;
            return vob_store_set_label(*vob->db, lbtype, element, version);
        };
        tbs_status_t s = TBS_ST_OK;
        if (full) {
            s = walk_tree(vob, comp.root_element, comp.root_pname, view, put);
        } else {
            for (int64_t element : changed) {
                if (s != TBS_ST_OK) break;
                std::string pname;
                vob_dbid_t version = 0;
                vob_elem_get_pname(vob, element, &pname);
                if (pname.rfind(comp.root_pname, 0) != 0) continue;  // another component's
                s = vob_select_version(vob, element, pname.c_str(), view, &version);
                vob_checkout_info_t co;
                if (s == TBS_ST_OK && version &&
                    vob_store_get_checkout(*vob->db, version, &co) == TBS_ST_OK)
                    version = co.pred_version;
                if (s == TBS_ST_OK && version) s = put(element, version, false);
            }
        }
        if (s == TBS_ST_OK) s = cmd_event(vob, txn, ctx, lbtype, "make baseline labels", label);
        return s == TBS_ST_OK ? txn.commit() : s;
    });
}

std::string today() {
    time_t t = time(nullptr);
    struct tm tm;
    char buf[16];
    gmtime_r(&t, &tm);
    strftime(buf, sizeof buf, "%Y%m%d", &tm);
    return buf;
}

// A baseline's name from the project's template.
std::string baseline_name(const xcm_project_info_t& p, const xcm_stream_info_t& s,
                          const xcm_component_info_t& c, const std::string& basename,
                          const cmd_ctx& ctx, bool several) {
    std::string name;
    size_t at = 0;
    const std::string& t = p.bl_template.empty() ? std::string("basename") : p.bl_template;
    while (at <= t.size()) {
        size_t comma = t.find(',', at);
        if (comma == std::string::npos) comma = t.size();
        std::string tok = t.substr(at, comma - at);
        std::string part = tok == "basename"    ? basename
                           : tok == "project"   ? p.name
                           : tok == "stream"    ? s.name
                           : tok == "component" ? c.name
                           : tok == "date"      ? today()
                           : tok == "user"      ? ctx.user
                                                : tok;
        if (!part.empty()) name += (name.empty() ? "" : "_") + part;
        at = comma + 1;
    }
    if (several && t.find("component") == std::string::npos) name += "_" + c.name;
    return name;
}

}  // namespace

// Folders, components, projects ---------------------------------------------------------------

tbs_status_t cmd_mkfolder(cmd_mkfolder_args_t* a) {
    cmd_ctx ctx;
    vob_t* pvob = nullptr;
    vob_dbid_t parent = 0;
    tbs_status_t st = cmd_ctx_init(&ctx, nullptr);
    if (st == TBS_ST_OK) st = check_xcm_name(a->name);
    if (st == TBS_ST_OK) st = cmd_check_comment(a->comment);
    if (st == TBS_ST_OK) st = open_pvob(a->pvob, &pvob);
    if (st != TBS_ST_OK) return st;
    if (a->parent.empty())
        st = xcm_find(pvob, VOB_MTYPE_FOLDER, "RootFolder", &parent);
    else {
        vob_t* pv = nullptr;
        if ((st = resolve(a->parent, VOB_MTYPE_FOLDER, &pv, &parent)) == TBS_ST_OK && pv != pvob)
            st = cmd_fail("The parent folder is in another project VOB", a->parent, TBS_ST_INVALID);
    }
    if (st != TBS_ST_OK) return st;
    return pvob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
        xcm_folder_info_t f;
        f.parent = parent;
        tbs_status_t s = new_obj(pvob, txn, ctx, VOB_MTYPE_FOLDER, a->name, a->comment, &f.dbid);
        if (s == TBS_ST_OK) s = xcm_store_put_folder(*pvob->db, f);
        a->folder = f.dbid;
        return s == TBS_ST_OK ? txn.commit() : s;
    });
}

tbs_status_t cmd_mkcomp(cmd_mkcomp_args_t* a) {
    cmd_ctx ctx;
    vob_t* pvob = nullptr;
    tbs_status_t st = cmd_ctx_init(&ctx, nullptr);
    if (st == TBS_ST_OK) st = check_xcm_name(a->name);

    if (st == TBS_ST_OK) st = cmd_check_comment(a->comment);
    if (st == TBS_ST_OK) st = open_pvob(a->pvob, &pvob);
    if (st != TBS_ST_OK) return st;
    xcm_component_info_t c;
    c.name = a->name;
    c.vob_uuid = pvob->uuid;  // a rootless component keeps nothing elsewhere
    if (a->rootless != a->root.empty())
        return cmd_fail("Name a component's root, or make it rootless, not both", a->name,
                        TBS_ST_INVALID);
    if (!a->rootless) {
        vob_resolved_t r;
        if ((st = vob_resolve_pname(a->root.c_str(), nullptr, 0, &r)) != TBS_ST_OK)
            return cmd_fail("Unable to find the component's root", a->root, st);
        if (r.mtype != VOB_MTYPE_DIR_VERSION || r.extended)
            return cmd_fail("A component's root must be a directory element", a->root,
                            TBS_ST_NOT_DIRECTORY);
        c.vob_uuid = r.vob->uuid;
        c.root_element = r.element;
        c.root_pname = r.vob->tag + (r.vob_path == "/" ? "" : r.vob_path);
    }
    // The initial baseline: what the main branches hold now.
    const std::string initial = a->name + "_INITIAL";
    int64_t labelled = 0;
    if (!a->rootless &&
        (st = label_component(ctx, c, nullptr, initial, true, {}, &labelled)) != TBS_ST_OK)
        return cmd_fail("Unable to label the initial baseline of", a->name, st);
    return pvob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
        tbs_status_t s = new_obj(pvob, txn, ctx, VOB_MTYPE_COMPONENT, a->name, a->comment, &c.dbid);
        if (s == TBS_ST_OK) s = xcm_store_put_component(*pvob->db, c);
        xcm_baseline_info_t b;
        b.component = c.dbid;
        b.full = true;
        b.promotion = XCM_PROMOTION_DEFAULT;
        b.labelled = labelled;
        if (s == TBS_ST_OK)
            s = new_obj(pvob, txn, ctx, VOB_MTYPE_BASELINE, initial, "initial baseline", &b.dbid);
        if (s == TBS_ST_OK) s = xcm_store_put_baseline(*pvob->db, b);
        a->component = c.dbid;
        a->initial_baseline = b.dbid;
        return s == TBS_ST_OK ? txn.commit() : s;
    });
}

tbs_status_t cmd_mkproject(cmd_mkproject_args_t* a) {
    cmd_ctx ctx;
    vob_t* pvob = nullptr;
    tbs_status_t st = cmd_ctx_init(&ctx, nullptr);
    if (st == TBS_ST_OK) st = check_xcm_name(a->name);
    if (st == TBS_ST_OK) st = cmd_check_comment(a->comment);
    if (st == TBS_ST_OK) st = open_pvob(a->pvob, &pvob);
    if (st != TBS_ST_OK) return st;
    xcm_project_info_t p;
    p.policies = a->policies;
    p.bl_template = a->bl_template.empty() ? "basename" : a->bl_template;
    p.tn_userdb = a->tn_userdb;
    p.tn_dbset = a->tn_dbset;
    if (a->folder.empty()) {
        st = xcm_find(pvob, VOB_MTYPE_FOLDER, "RootFolder", &p.folder);
    } else {
        vob_t* pv = nullptr;
        if ((st = resolve(a->folder, VOB_MTYPE_FOLDER, &pv, &p.folder)) == TBS_ST_OK && pv != pvob)
            st = cmd_fail("The folder is in another project VOB", a->folder, TBS_ST_INVALID);
    }
    std::vector<vob_dbid_t> comps;
    for (const std::string& sel : a->components) {
        vob_t* pv = nullptr;
        vob_dbid_t c = 0;
        if (st == TBS_ST_OK && (st = resolve(sel, VOB_MTYPE_COMPONENT, &pv, &c)) == TBS_ST_OK) {
            if (pv != pvob)
                st = cmd_fail("The component is in another project VOB", sel, TBS_ST_INVALID);
            comps.push_back(c);
        }
    }
    if (st != TBS_ST_OK) return st;
    return pvob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
        tbs_status_t s = new_obj(pvob, txn, ctx, VOB_MTYPE_PROJECT, a->name, a->comment, &p.dbid);
        if (s == TBS_ST_OK) s = xcm_store_put_project(*pvob->db, p);
        for (vob_dbid_t c : comps)
            if (s == TBS_ST_OK) s = xcm_store_add_project_component(*pvob->db, p.dbid, c);
        a->project = p.dbid;
        return s == TBS_ST_OK ? txn.commit() : s;
    });
}

// Streams ----------------------------------------------------------------------------------

tbs_status_t cmd_mkstream(cmd_mkstream_args_t* a) {
    cmd_ctx ctx;
    vob_t* pvob = nullptr;
    xcm_stream_info_t s;
    xcm_project_info_t p;
    tbs_status_t st = cmd_ctx_init(&ctx, nullptr);
    if (st == TBS_ST_OK) st = check_xcm_name(a->name);
    if (st == TBS_ST_OK) st = cmd_check_comment(a->comment);
    if (st == TBS_ST_OK) st = resolve(a->project, VOB_MTYPE_PROJECT, &pvob, &s.project);
    if (st == TBS_ST_OK) st = xcm_get_project(pvob, s.project, &p);
    if (st != TBS_ST_OK) return st;
    s.integration = a->integration;
    s.read_only = a->read_only;
    if (a->integration && p.int_stream)
        return cmd_fail("The project has an integration stream already", p.name, TBS_ST_EXISTS);
    if (!a->integration) {
        vob_t* pv = nullptr;
        if (!a->parent.empty())
            st = resolve(a->parent, VOB_MTYPE_STREAM, &pv, &s.parent);
        else if (!(s.parent = p.int_stream))
            st = cmd_fail("The project has no integration stream yet", p.name, TBS_ST_BAD_STREAM);
        else
            pv = pvob;
        if (st == TBS_ST_OK && pv != pvob)
            st = cmd_fail("The parent stream is in another project VOB", a->parent, TBS_ST_INVALID);
        xcm_stream_info_t parent;
        if (st == TBS_ST_OK && (st = xcm_get_stream(pvob, s.parent, &parent)) == TBS_ST_OK &&
            parent.project != s.project)
            st = cmd_fail("The parent stream is of another project", a->parent, TBS_ST_BAD_STREAM);
    }
    if (st == TBS_ST_OK && !a->target.empty()) {
        vob_t* pv = nullptr;
        st = resolve(a->target, VOB_MTYPE_STREAM, &pv, &s.target);
    }
    // The foundation: named, else the parent's recommendation, else the initial baselines.
    std::vector<vob_dbid_t> foundation;
    std::vector<vob_dbid_t> comps;
    if (st == TBS_ST_OK) st = xcm_project_components(pvob, s.project, &comps);
    for (const std::string& sel : a->baselines) {
        vob_t* pv = nullptr;
        vob_dbid_t b = 0;
        if (st == TBS_ST_OK && (st = resolve(sel, VOB_MTYPE_BASELINE, &pv, &b)) == TBS_ST_OK)
            foundation.push_back(b);
    }
    if (st == TBS_ST_OK && a->baselines.empty() && s.parent)
        st = xcm_stream_baselines(pvob, s.parent, XCM_BL_RECOMMENDED, &foundation);
    if (st == TBS_ST_OK && foundation.empty() && s.parent)
        st = xcm_stream_baselines(pvob, s.parent, XCM_BL_FOUNDATION, &foundation);
    if (st == TBS_ST_OK && foundation.empty()) {
        for (vob_dbid_t c : comps) {
            xcm_obj_t comp;
            vob_dbid_t b = 0;
            if (st == TBS_ST_OK && (st = xcm_get_obj(pvob, c, &comp)) == TBS_ST_OK &&
                (st = xcm_find(pvob, VOB_MTYPE_BASELINE, comp.name + "_INITIAL", &b)) == TBS_ST_OK)
                foundation.push_back(b);
        }
    }
    if (st != TBS_ST_OK) return st;
    // The stream's branch type in every component VOB.
    std::vector<vob_t*> vobs;
    if ((st = component_vobs(pvob, s.project, &vobs)) != TBS_ST_OK) return st;
    for (vob_t* vob : vobs) {
        int64_t brtype = 0;
        if ((st = ensure_type(vob, ctx, VOB_MTYPE_BRTYPE, a->name, &brtype)) != TBS_ST_OK)
            return cmd_fail("Unable to make the stream's branch type in", vob->tag, st);
    }
    return pvob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
        tbs_status_t r = new_obj(pvob, txn, ctx, VOB_MTYPE_STREAM, a->name, a->comment, &s.dbid);
        if (r == TBS_ST_OK) r = xcm_store_put_stream(*pvob->db, s);
        if (r == TBS_ST_OK)
            r = xcm_store_set_stream_baselines(*pvob->db, s.dbid, XCM_BL_FOUNDATION, foundation);
        if (r == TBS_ST_OK && s.integration) {
            // Until a baseline is recommended, the foundation is what new streams start from.
            r = xcm_store_set_stream_baselines(*pvob->db, s.dbid, XCM_BL_RECOMMENDED, foundation);
            p.int_stream = s.dbid;
            if (r == TBS_ST_OK) r = xcm_store_put_project(*pvob->db, p);
        }
        a->stream = s.dbid;
        return r == TBS_ST_OK ? txn.commit() : r;
    });
}

tbs_status_t cmd_chstream(cmd_chstream_args_t* a) {
    cmd_ctx ctx;
    vob_t* pvob = nullptr;
    vob_dbid_t stream = 0;
    xcm_stream_info_t s;
    tbs_status_t st = cmd_ctx_init(&ctx, nullptr);
    if (st == TBS_ST_OK) st = resolve(a->stream, VOB_MTYPE_STREAM, &pvob, &stream);
    if (st == TBS_ST_OK) st = xcm_get_stream(pvob, stream, &s);
    if (st == TBS_ST_OK && !a->new_name.empty()) st = check_xcm_name(a->new_name);
    if (st == TBS_ST_OK && a->set_comment) st = cmd_check_comment(a->comment);
    std::vector<std::pair<vob_dbid_t, vob_dbid_t>> recommend;  // (component, baseline)
    for (const std::string& sel : a->recommend) {
        vob_t* pv = nullptr;
        vob_dbid_t b = 0;
        xcm_baseline_info_t bl;
        xcm_stream_info_t from;
        if (st == TBS_ST_OK && (st = resolve(sel, VOB_MTYPE_BASELINE, &pv, &b)) == TBS_ST_OK &&
            (st = xcm_get_baseline(pvob, b, &bl)) == TBS_ST_OK) {
            // A baseline of another project cannot be recommended here.
            if (bl.stream && xcm_get_stream(pvob, bl.stream, &from) == TBS_ST_OK &&
                from.project != s.project)
                st = cmd_fail("The baseline is not of the stream's project", sel, TBS_ST_INVALID);
            recommend.push_back({bl.component, b});
        }
    }
    if (st == TBS_ST_OK && a->set_target && !a->target.empty()) {
        vob_t* pv = nullptr;
        st = resolve(a->target, VOB_MTYPE_STREAM, &pv, &s.target);
    } else if (a->set_target) {
        s.target = 0;
    }
    if (a->read_only >= 0) s.read_only = a->read_only != 0;
    if (st != TBS_ST_OK) return st;
    return pvob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
        tbs_status_t r = cmd_check_locks(pvob, ctx, {stream});
        if (r == TBS_ST_OK && !recommend.empty()) {
            std::vector<int64_t> current;
            r = xcm_store_stream_baselines(*pvob->db, stream, XCM_BL_RECOMMENDED, &current);
            std::map<int64_t, int64_t> by_comp;
            for (int64_t b : current) {
                xcm_baseline_info_t bl;
                if (r == TBS_ST_OK && (r = xcm_store_get_baseline(*pvob->db, b, &bl)) == TBS_ST_OK)
                    by_comp[bl.component] = b;
            }
            for (const auto& [c, b] : recommend) by_comp[c] = b;
            std::vector<int64_t> next;
            for (const auto& [c, b] : by_comp) next.push_back(b);
            if (r == TBS_ST_OK)
                r = xcm_store_set_stream_baselines(*pvob->db, stream, XCM_BL_RECOMMENDED, next);
        }
        if (r == TBS_ST_OK) r = xcm_store_put_stream(*pvob->db, s);
        if (r == TBS_ST_OK && a->read_only >= 0) r = xcm_store_bump_stream(*pvob->db, stream);
        if (r == TBS_ST_OK && !a->new_name.empty() && a->new_name != s.name) {
            imsg_error("A stream's name is its branch type's; it cannot change.\n");
            r = TBS_ST_NOT_SUPPORTED;
        }
        if (r == TBS_ST_OK && a->set_comment)
            r = vob_store_set_first_event_comment(*pvob->db, stream, a->comment);
        if (r == TBS_ST_OK) r = cmd_event(pvob, txn, ctx, stream, "modify stream", "");
        return r == TBS_ST_OK ? txn.commit() : r;
    });
}

// Activities --------------------------------------------------------------------------------

tbs_status_t cmd_mkactivity(cmd_mkactivity_args_t* a) {
    cmd_ctx ctx;
    vob_t* pvob = nullptr;
    xcm_activity_info_t act;
    xcm_stream_info_t s;
    tbs_status_t st = cmd_ctx_init(&ctx, nullptr);
    if (st == TBS_ST_OK && !a->name.empty()) st = check_xcm_name(a->name);
    if (st == TBS_ST_OK) st = cmd_check_comment(a->comment);
    if (st == TBS_ST_OK) st = cmd_check_comment(a->headline);
    if (st == TBS_ST_OK) st = resolve(a->stream, VOB_MTYPE_STREAM, &pvob, &act.stream);
    if (st == TBS_ST_OK) st = xcm_get_stream(pvob, act.stream, &s);
    if (st != TBS_ST_OK) return st;
    if (s.read_only) return cmd_fail("The stream is read-only", s.name, TBS_ST_BAD_STREAM);
    act.integration = a->integration;
    st = pvob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
        std::string name = a->name;
        if (name.empty()) {
            int64_t n = 0;
            tbs_status_t r = txn.next_id("xcm_activity_names", &n);
            if (r != TBS_ST_OK) return r;
            name = "activity" + std::to_string(n);
            for (int64_t e = 0;
                 xcm_store_find(*pvob->db, VOB_MTYPE_ACTIVITY, name, &e) == TBS_ST_OK;)
                name += "x";
        }
        act.headline = a->headline.empty() ? name : a->headline;
        act.name = name;
        tbs_status_t r = cmd_check_locks(pvob, ctx, {act.stream});
        if (r == TBS_ST_OK)
            r = new_obj(pvob, txn, ctx, VOB_MTYPE_ACTIVITY, name, a->comment, &act.dbid);
        if (r == TBS_ST_OK) r = xcm_store_put_activity(*pvob->db, act);
        return r == TBS_ST_OK ? txn.commit() : r;
    });
    if (st != TBS_ST_OK) return st;
    a->activity = act.dbid;
    a->selector = xcm_selector(pvob, VOB_MTYPE_ACTIVITY, act.name);
    if (!a->view.empty()) return cmd_setactivity(a->view.c_str(), a->selector.c_str());
    return TBS_ST_OK;
}

tbs_status_t cmd_chactivity(const char* activity, const char* headline, const char* new_name) {
    cmd_ctx ctx;
    vob_t* pvob = nullptr;
    vob_dbid_t dbid = 0;
    xcm_activity_info_t act;
    tbs_status_t st = cmd_ctx_init(&ctx, nullptr);
    if (st == TBS_ST_OK) st = resolve(activity ? activity : "", VOB_MTYPE_ACTIVITY, &pvob, &dbid);
    if (st == TBS_ST_OK) st = xcm_get_activity(pvob, dbid, &act);
    if (st == TBS_ST_OK && headline) st = cmd_check_comment(headline);
    if (st == TBS_ST_OK && new_name && *new_name) st = check_xcm_name(new_name);
    if (st != TBS_ST_OK) return st;
    return pvob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
        tbs_status_t r = cmd_check_owner(pvob, ctx, dbid);
        if (r == TBS_ST_OK) r = cmd_check_locks(pvob, ctx, {dbid});
        if (r == TBS_ST_OK && headline) {
            act.headline = headline;
            r = xcm_store_put_activity(*pvob->db, act);
        }
        int64_t other = 0;
        if (r == TBS_ST_OK && new_name && *new_name && act.name != new_name) {
            if (xcm_store_find(*pvob->db, VOB_MTYPE_ACTIVITY, new_name, &other) == TBS_ST_OK)
                r = TBS_ST_EXISTS;
            else
                r = xcm_store_rename(*pvob->db, dbid, new_name);
        }
        if (r == TBS_ST_OK) r = cmd_event(pvob, txn, ctx, dbid, "modify activity", "");
        return r == TBS_ST_OK ? txn.commit() : r;
    });
}

namespace {
bool valid_task_uri(const std::string& uri) {
    if (uri.empty() || uri.size() > 2048) return false;
    for (unsigned char c : uri)
        if (c <= 32 || c == 127) return false;
    return true;
}
}  // namespace

tbs_status_t cmd_chactivity_tasks(const char* activity, const std::vector<std::string>& add,
                                  const std::vector<std::string>& remove, bool replace) {
    cmd_ctx ctx;
    vob_t* pvob = nullptr;
    vob_dbid_t dbid = 0;
    tbs_status_t st = cmd_ctx_init(&ctx, nullptr);
    if (st == TBS_ST_OK) st = resolve(activity ? activity : "", VOB_MTYPE_ACTIVITY, &pvob, &dbid);
    if (st != TBS_ST_OK) return st;
    for (const std::string& u : add)
        if (!valid_task_uri(u)) return cmd_fail("Not a task URI", u.c_str(), TBS_ST_BAD_REQUEST);
    for (const std::string& u : remove)
        if (!valid_task_uri(u)) return cmd_fail("Not a task URI", u.c_str(), TBS_ST_BAD_REQUEST);
    return pvob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
        tbs_status_t r = cmd_check_owner(pvob, ctx, dbid);
        if (r == TBS_ST_OK) r = cmd_check_locks(pvob, ctx, {dbid});
        std::vector<std::string> held;
        if (r == TBS_ST_OK && replace) r = xcm_store_activity_tasks(*pvob->db, dbid, &held);
        for (const std::string& u : held)
            if (r == TBS_ST_OK) r = xcm_store_remove_activity_task(*pvob->db, dbid, u);
        for (const std::string& u : remove)
            if (r == TBS_ST_OK) r = xcm_store_remove_activity_task(*pvob->db, dbid, u);
        for (const std::string& u : add)
            if (r == TBS_ST_OK) r = xcm_store_add_activity_task(*pvob->db, dbid, u);
        if (r == TBS_ST_OK) r = cmd_event(pvob, txn, ctx, dbid, "modify activity tasks", "");
        return r == TBS_ST_OK ? txn.commit() : r;
    });
}

tbs_status_t cmd_chactivity_record(const char* activity, const char* record_id) {
    cmd_ctx ctx;
    vob_t* pvob = nullptr;
    vob_dbid_t dbid = 0;
    xcm_activity_info_t act;
    xcm_stream_info_t stream;
    xcm_project_info_t project;
    tbs_status_t st = cmd_ctx_init(&ctx, nullptr);
    if (st == TBS_ST_OK) st = resolve(activity ? activity : "", VOB_MTYPE_ACTIVITY, &pvob, &dbid);
    if (st == TBS_ST_OK) st = xcm_get_activity(pvob, dbid, &act);
    if (st == TBS_ST_OK) st = xcm_get_stream(pvob, act.stream, &stream);
    if (st == TBS_ST_OK) st = xcm_get_project(pvob, stream.project, &project);
    if (st == TBS_ST_OK) st = cmd_check_owner(pvob, ctx, dbid);
    if (st != TBS_ST_OK) return st;
    if (project.tn_userdb.empty())
        return cmd_fail("The activity's project is not enabled for change requests", act.name,
                        TBS_ST_NOT_SUPPORTED);
    const xcm_record_ref_t rec{project.tn_userdb, project.tn_dbset, record_id ? record_id : ""};
    const std::string self = xcm_stable_selector(pvob, dbid);
    if (!rec.id.empty()) {
        CTide_Record r;
        vob_t* other_vob = nullptr;
        vob_dbid_t other = 0;
        st = CTide_admin_get_record(rec.user_db, rec.db_set, rec.id, &r);
        if (st != TBS_ST_OK)
            return cmd_fail("Unable to find change record", rec.id + "@" + rec.user_db, st);
        if (r.bound_activity != self &&
            xcm_record_activity(r.bound_activity, rec, &other_vob, &other) == TBS_ST_OK)
            return cmd_fail("The change record is bound to another activity", rec.id,
                            TBS_ST_EXISTS);
        if ((st = CTide_admin_bind_record(rec.user_db, rec.db_set, rec.id, self)) != TBS_ST_OK)
            return cmd_fail("Unable to update change record", rec.id, st);
    }
    return pvob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
        tbs_status_t r = cmd_check_owner(pvob, ctx, dbid);
        if (r == TBS_ST_OK) r = cmd_check_locks(pvob, ctx, {dbid});
        int64_t holder = 0;
        if (r == TBS_ST_OK && !rec.id.empty() &&
            xcm_store_record_activity(*pvob->db, rec, &holder) == TBS_ST_OK && holder != dbid)
            r = cmd_fail("The change record is bound to another activity", rec.id, TBS_ST_EXISTS);
        if (r == TBS_ST_OK) r = xcm_store_set_activity_record(*pvob->db, dbid, rec);
        if (r == TBS_ST_OK)
            r = cmd_event(pvob, txn, ctx, dbid, "modify activity record",
                          rec.id.empty() ? "unbound" : "bound to " + rec.id);
        return r == TBS_ST_OK ? txn.commit() : r;
    });
}

tbs_status_t cmd_setactivity(const char* view_tag, const char* activity) {
    view_t* view = nullptr;
    tbs_status_t st = view_open_by_tag(view_tag ? view_tag : "", &view);
    if (st != TBS_ST_OK) return cmd_fail("Unable to find view", view_tag ? view_tag : "", st);
    vob_dbid_t dbid = 0;
    if (activity && *activity) {
        vob_t* pvob = nullptr;
        view_xcm_t x;
        if ((st = resolve(activity, VOB_MTYPE_ACTIVITY, &pvob, &dbid)) != TBS_ST_OK) return st;
        if (view_get_xcm(view, &x) == TBS_ST_OK &&
            tbs_uuid_text(x.pvob) != tbs_uuid_text(pvob->uuid))
            return cmd_fail("The activity is of another project VOB", activity,
                            TBS_ST_BAD_ACTIVITY);
    }
    return view_set_activity(view, dbid);
}

tbs_status_t cmd_mvact(const char* version, const vob_view_ctx_t* view, const char* activity) {
    cmd_ctx ctx;
    vob_t* pvob = nullptr;
    vob_dbid_t dbid = 0;
    xcm_activity_info_t to;
    tbs_status_t st = cmd_ctx_init(&ctx, view);
    if (st == TBS_ST_OK) st = resolve(activity ? activity : "", VOB_MTYPE_ACTIVITY, &pvob, &dbid);
    if (st == TBS_ST_OK) st = xcm_get_activity(pvob, dbid, &to);
    vob_resolved_t r;
    if (st == TBS_ST_OK && (st = cmd_resolve_version(version ? version : "", ctx, &r)) != TBS_ST_OK)
        cmd_fail("Unable to find version", version ? version : "", st);
    if (st != TBS_ST_OK) return st;
    // Both activities must be of one stream.
    tbs_uuid_t from_pvob;
    tbs_oid_t from_oid;
    if ((st = xcm_version_activity(r.vob, r.version, &from_pvob, &from_oid)) != TBS_ST_OK)
        return cmd_fail("The version is in no activity", version, st);
    vob_dbid_t from = 0;
    xcm_activity_info_t fa;
    if ((st = vob_obj_oid_to_dbid(pvob, from_oid, &from)) != TBS_ST_OK ||
        (st = xcm_get_activity(pvob, from, &fa)) != TBS_ST_OK || fa.stream != to.stream)
        return cmd_fail("The activities are not of one stream", activity,
                        st == TBS_ST_OK ? TBS_ST_BAD_ACTIVITY : st);
    return r.vob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
        tbs_status_t s = cmd_check_write(r.vob, ctx, r.element);
        if (s == TBS_ST_OK)
            s = xcm_store_move_change(*r.vob->db, r.version, tbs_uuid_text(pvob->uuid),
                                      tbs_uuid_text(to.oid));
        if (s == TBS_ST_OK) s = cmd_event(r.vob, txn, ctx, r.element, "move to activity", to.name);
        return s == TBS_ST_OK ? txn.commit() : s;
    });
}

tbs_status_t cmd_activity_change_set(vob_t* pvob, vob_dbid_t activity,
                                     std::vector<cmd_cs_entry_t>* out) {
    out->clear();
    std::vector<xcm_change_t> changes;
    tbs_status_t st = xcm_activity_changes(pvob, activity, &changes);
    for (const xcm_change_t& c : changes) {
        if (st != TBS_ST_OK) break;
        cmd_cs_entry_t e;
        if ((st = vob_open_by_uuid(c.vob_uuid, &e.vob)) != TBS_ST_OK) break;
        e.element = c.element;
        e.version = c.version;
        vob_checkout_info_t co;
        if (vob_store_get_checkout(*e.vob->db, c.version, &co) == TBS_ST_OK) {
            e.checked_out = true;
            e.view = co.view_uuid;
        }
        vob_elem_get_pname(e.vob, c.element, &e.pname);
        e.idstr = cmd_idstr(e.vob, c.version);
        out->push_back(std::move(e));
    }
    return st;
}

// Baselines -----------------------------------------------------------------------------------

namespace {
tbs_status_t mkbl_composite(cmd_mkbl_args_t* a, vob_t* pvob, const xcm_stream_info_t& s,
                            bool several);
}  // namespace

tbs_status_t cmd_mkbl(cmd_mkbl_args_t* a) {
    cmd_ctx ctx;
    vob_t* pvob = nullptr;
    vob_dbid_t stream = 0;
    xcm_stream_info_t s;
    xcm_project_info_t p;
    tbs_status_t st = cmd_ctx_init(&ctx, nullptr);
    if (st == TBS_ST_OK) st = cmd_check_comment(a->comment);
    if (st == TBS_ST_OK) st = resolve(a->stream, VOB_MTYPE_STREAM, &pvob, &stream);
    if (st == TBS_ST_OK) st = xcm_get_stream(pvob, stream, &s);
    if (st == TBS_ST_OK) st = xcm_get_project(pvob, s.project, &p);
    if (st != TBS_ST_OK) return st;
    if (a->basename.empty()) a->basename = s.name + "_" + today();
    std::vector<vob_dbid_t> comps, made, foundation;
    if ((st = xcm_project_components(pvob, s.project, &comps)) != TBS_ST_OK ||
        (st = xcm_stream_baselines(pvob, stream, 0, &made)) != TBS_ST_OK ||
        (st = xcm_stream_baselines(pvob, stream, XCM_BL_FOUNDATION, &foundation)) != TBS_ST_OK)
        return st;
    std::set<vob_dbid_t> wanted;
    for (const std::string& sel : a->components) {
        vob_t* pv = nullptr;
        vob_dbid_t c = 0;
        if ((st = resolve(sel, VOB_MTYPE_COMPONENT, &pv, &c)) != TBS_ST_OK) return st;
        wanted.insert(c);
    }
    // What the stream selects, as its views do.
    std::string text;
    view_cspec_t spec;
    std::vector<std::string> errors;
    if ((st = xcm_stream_cspec(pvob, stream, &text)) != TBS_ST_OK ||
        (st = view_cspec_parse(text.c_str(), &spec, &errors)) != TBS_ST_OK)
        return st;
    const vob_view_ctx_t view = view_cspec_view_ctx(spec);
    // Composites label nothing: only components with a root share a baseline name.
    int rooted = 0;
    for (vob_dbid_t c : comps) {
        xcm_component_info_t comp;
        if ((st = xcm_get_component(pvob, c, &comp)) != TBS_ST_OK) return st;
        rooted += comp.root_element != 0;
    }
    a->baselines.clear();
    for (vob_dbid_t c : comps) {
        if (!wanted.empty() && !wanted.count(c)) continue;
        xcm_component_info_t comp;
        if ((st = xcm_get_component(pvob, c, &comp)) != TBS_ST_OK) return st;
        if (!comp.root_element) continue;  // composites are made by cmd_chbl_deps
        // The baseline this one builds on: the last made in the stream, else the foundation.
        xcm_baseline_info_t b;
        for (vob_dbid_t id : made) {
            xcm_baseline_info_t o;
            if (xcm_get_baseline(pvob, id, &o) == TBS_ST_OK && o.component == c) b.base = id;
        }
        for (vob_dbid_t id : foundation) {
            xcm_baseline_info_t o;
            if (!b.base && xcm_get_baseline(pvob, id, &o) == TBS_ST_OK && o.component == c)
                b.base = id;
        }
        b.full = a->full || !b.base;
        std::vector<int64_t> changed;
        vob_t* vob = nullptr;
        int64_t brtype = 0;
        if ((st = vob_open_by_uuid(comp.vob_uuid, &vob)) != TBS_ST_OK) return st;
        if (vob_store_find_type(*vob->db, VOB_MTYPE_BRTYPE, s.name.c_str(), &brtype) == TBS_ST_OK &&
            (st = vob_store_elements_using_type(*vob->db, VOB_MTYPE_BRTYPE, brtype, &changed)) !=
                TBS_ST_OK)
            return st;
        if (!b.full && changed.empty()) continue;  // nothing changed in this component
        b.name = baseline_name(p, s, comp, a->basename, ctx, rooted > 1);
        if ((st = check_xcm_name(b.name)) != TBS_ST_OK) return st;
        vob_dbid_t existing = 0;
        if (xcm_find(pvob, VOB_MTYPE_BASELINE, b.name, &existing) == TBS_ST_OK)
            return cmd_fail("A baseline of that name exists", b.name, TBS_ST_EXISTS);
        if ((st = label_component(ctx, comp, &view, b.name, b.full, changed, &b.labelled)) !=
            TBS_ST_OK)
            return cmd_fail("Unable to label the baseline", b.name, st);
        b.component = c;
        b.stream = stream;
        b.promotion = XCM_PROMOTION_DEFAULT;
        if (b.full) b.base = 0;
        st = pvob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
            tbs_status_t r =
                new_obj(pvob, txn, ctx, VOB_MTYPE_BASELINE, b.name, a->comment, &b.dbid);
            if (r == TBS_ST_OK) r = xcm_store_put_baseline(*pvob->db, b);
            return r == TBS_ST_OK ? txn.commit() : r;
        });
        if (st != TBS_ST_OK) return st;
        imsg_ok("Created baseline \"%s\" in component \"%s\" (%s, %lld versions).\n",
                b.name.c_str(), comp.name.c_str(), b.full ? "full" : "incremental",
                static_cast<long long>(b.labelled));
        a->baselines.push_back(b.dbid);
    }
    if (!a->add_comp_deps.empty() || !a->remove_comp_deps.empty()) {
        if ((st = mkbl_composite(a, pvob, s, !a->baselines.empty())) != TBS_ST_OK) return st;
    } else if (a->baselines.empty()) {
        imsg_ok("No baseline made: nothing changed in the stream.\n");
    }
    if (a->recommend && !a->baselines.empty()) {
        cmd_chstream_args_t ch;
        ch.stream = xcm_selector(pvob, VOB_MTYPE_STREAM, s.name);
        for (vob_dbid_t b : a->baselines) {
            xcm_obj_t o;
            if (xcm_get_obj(pvob, b, &o) == TBS_ST_OK)
                ch.recommend.push_back(xcm_selector(pvob, VOB_MTYPE_BASELINE, o.name));
        }
        return cmd_chstream(&ch);
    }
    return TBS_ST_OK;
}

tbs_status_t cmd_chbl(cmd_chbl_args_t* a) {
    cmd_ctx ctx;
    vob_t* pvob = nullptr;
    vob_dbid_t dbid = 0;
    xcm_baseline_info_t b;
    tbs_status_t st = cmd_ctx_init(&ctx, nullptr);
    if (st == TBS_ST_OK) st = resolve(a->baseline, VOB_MTYPE_BASELINE, &pvob, &dbid);
    if (st == TBS_ST_OK) st = xcm_get_baseline(pvob, dbid, &b);
    if (st == TBS_ST_OK && a->set_comment) st = cmd_check_comment(a->comment);
    if (st != TBS_ST_OK) return st;
    if (!a->level.empty()) {
        int level = -1;
        for (int i = 0; i < XCM_PROMOTION_LEVEL_COUNT; ++i)
            if (a->level == XCM_PROMOTION_LEVELS[i]) level = i;
        if (level < 0) return cmd_fail("Unknown promotion level", a->level, TBS_ST_INVALID);
        b.promotion = level;
    }
    return pvob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
        tbs_status_t r = cmd_check_locks(pvob, ctx, {dbid});
        if (r == TBS_ST_OK) r = xcm_store_put_baseline(*pvob->db, b);
        if (r == TBS_ST_OK && a->set_comment)
            r = vob_store_set_first_event_comment(*pvob->db, dbid, a->comment);
        if (r == TBS_ST_OK) r = cmd_event(pvob, txn, ctx, dbid, "modify baseline", a->level);
        return r == TBS_ST_OK ? txn.commit() : r;
    });
}

// Composite baselines -------------------------------------------------------------------------

namespace {

// Every baseline reached from `from` through members (itself included), or, with `up`,
// every composite reaching it; unpruned, each once.
tbs_status_t reachable(store_db& db, int64_t from, bool up, std::set<int64_t>* out) {
    std::vector<int64_t> todo{from}, next;
    while (!todo.empty()) {
        const int64_t b = todo.back();
        todo.pop_back();
        if (!out->insert(b).second) continue;
        tbs_status_t st = up ? xcm_store_baseline_composites(db, b, &next)
                             : xcm_store_baseline_members(db, b, &next);
        if (st != TBS_ST_OK) return st;
        todo.insert(todo.end(), next.begin(), next.end());
    }
    return TBS_ST_OK;
}

// The baseline a selector names in `pvob`, with its facts.
tbs_status_t member_of(vob_t* pvob, const std::string& sel, xcm_baseline_info_t* out) {
    vob_t* pv = nullptr;
    vob_dbid_t b = 0;
    tbs_status_t st = resolve(sel, VOB_MTYPE_BASELINE, &pv, &b);
    if (st != TBS_ST_OK) return st;
    if (pv != pvob) return cmd_fail("The baseline is in another project VOB", sel, TBS_ST_INVALID);
    return xcm_get_baseline(pvob, b, out);
}

// The component of a new composite: the one named, else the project's one rootless one.
tbs_status_t composite_component(vob_t* pvob, const xcm_stream_info_t& s, const std::string& sel,
                                 xcm_component_info_t* out) {
    vob_t* pv = nullptr;
    vob_dbid_t c = 0;
    tbs_status_t st = TBS_ST_OK;
    if (!sel.empty()) {
        if ((st = resolve(sel, VOB_MTYPE_COMPONENT, &pv, &c)) != TBS_ST_OK) return st;
        if (pv != pvob)
            return cmd_fail("The component is in another project VOB", sel, TBS_ST_INVALID);
        return xcm_get_component(pvob, c, out);
    }
    std::vector<vob_dbid_t> comps;
    if ((st = xcm_project_components(pvob, s.project, &comps)) != TBS_ST_OK) return st;
    int found = 0;
    for (vob_dbid_t id : comps) {
        xcm_component_info_t ci;
        if ((st = xcm_get_component(pvob, id, &ci)) != TBS_ST_OK) return st;
        if (!ci.root_element && found++ == 0) *out = ci;
    }
    if (found != 1)
        return cmd_fail(
            "Name the component of the composite baseline: rootless components of "
            "the stream's project",
            std::to_string(found), TBS_ST_INVALID);
    return TBS_ST_OK;
}

// The edit itself, in the project VOB's transaction: `b` is the baseline (dbid 0: make it).
tbs_status_t edit_members(vob_t* pvob, store_txn& txn, const cmd_ctx& ctx,
                          const cmd_bl_deps_args_t& a, xcm_baseline_info_t& b,
                          const std::vector<xcm_baseline_info_t>& add,
                          const std::vector<xcm_baseline_info_t>& remove) {
    store_db& db = *pvob->db;
    tbs_status_t st = TBS_ST_OK;
    if (!b.dbid) {
        if ((st = new_obj(pvob, txn, ctx, VOB_MTYPE_BASELINE, b.name, a.comment, &b.dbid)) !=
                TBS_ST_OK ||
            (st = xcm_store_put_baseline(db, b)) != TBS_ST_OK)
            return st;
    } else if ((st = cmd_check_locks(pvob, ctx, {b.dbid})) != TBS_ST_OK) {
        return st;
    }
    std::vector<int64_t> members;
    if ((st = xcm_store_baseline_members(db, b.dbid, &members)) != TBS_ST_OK) return st;
    for (const xcm_baseline_info_t& r : remove) {
        if (std::find(members.begin(), members.end(), r.dbid) == members.end())
            return cmd_fail("Not a member of the baseline", r.name, TBS_ST_NOT_FOUND);
        if ((st = xcm_store_remove_baseline_member(db, b.dbid, r.dbid)) != TBS_ST_OK) return st;
    }
    std::set<int64_t> added_comps;
    for (const xcm_baseline_info_t& m : add) {
        if (m.dbid == b.dbid || m.component == b.component)
            return cmd_fail("A baseline cannot depend on itself or its own component", m.name,
                            TBS_ST_INVALID);
        if (!added_comps.insert(m.component).second)
            return cmd_fail("Two members added of one component", m.name, TBS_ST_INVALID);
        std::set<int64_t> below;
        if ((st = reachable(db, m.dbid, false, &below)) != TBS_ST_OK) return st;
        if (below.count(b.dbid))
            return cmd_fail("The baseline depends on it already (a cycle)", m.name, TBS_ST_INVALID);
        // A new member takes the place of the member of its component.
        if ((st = xcm_store_baseline_members(db, b.dbid, &members)) != TBS_ST_OK) return st;
        for (int64_t old : members) {
            xcm_baseline_info_t o;
            if ((st = xcm_store_get_baseline(db, old, &o)) != TBS_ST_OK) return st;
            if (o.component == m.component && old != m.dbid &&
                (st = xcm_store_remove_baseline_member(db, b.dbid, old)) != TBS_ST_OK)
                return st;
        }
        if ((st = xcm_store_add_baseline_member(db, b.dbid, m.dbid)) != TBS_ST_OK) return st;
    }
    // Every composite the edit reaches still stands for one baseline per component, and the
    // streams founded on one of them see the change.
    std::set<int64_t> above;
    if ((st = reachable(db, b.dbid, true, &above)) != TBS_ST_OK) return st;
    for (int64_t c : above) {
        std::vector<int64_t> closure, streams;
        std::pair<int64_t, int64_t> clash;
        if ((st = xcm_store_closure(db, {c}, &closure, &clash)) != TBS_ST_OK) return st;
        if (clash.first) {
            xcm_obj_t x, y, top;
            xcm_store_get_obj(db, clash.first, &x);
            xcm_store_get_obj(db, clash.second, &y);
            xcm_store_get_obj(db, c, &top);
            imsg_error(
                "Baselines \"%s\" and \"%s\" of one component would both be members of "
                "\"%s\"; name the one it takes as its own member.\n",
                x.name.c_str(), y.name.c_str(), top.name.c_str());
            return TBS_ST_INVALID;
        }
        if ((st = xcm_store_baseline_streams(db, c, &streams)) != TBS_ST_OK) return st;
        for (int64_t s : streams)
            if ((st = xcm_store_bump_stream(db, s)) != TBS_ST_OK) return st;
    }
    return cmd_event(pvob, txn, ctx, b.dbid, "modify baseline dependencies", a.comment);
}

}  // namespace

tbs_status_t cmd_chbl_deps(cmd_bl_deps_args_t* a) {
    cmd_ctx ctx;
    vob_t* pvob = nullptr;
    xcm_baseline_info_t b;
    tbs_status_t st = cmd_ctx_init(&ctx, nullptr);
    if (st == TBS_ST_OK) st = cmd_check_comment(a->comment);
    if (st != TBS_ST_OK) return st;
    if (!a->baseline.empty()) {
        vob_dbid_t dbid = 0;
        if ((st = resolve(a->baseline, VOB_MTYPE_BASELINE, &pvob, &dbid)) != TBS_ST_OK ||
            (st = xcm_get_baseline(pvob, dbid, &b)) != TBS_ST_OK)
            return st;
    } else {
        // A new composite of the stream, labelling nothing.
        vob_dbid_t stream = 0;
        xcm_stream_info_t s;
        xcm_project_info_t p;
        xcm_component_info_t comp;
        if ((st = resolve(a->stream, VOB_MTYPE_STREAM, &pvob, &stream)) != TBS_ST_OK ||
            (st = xcm_get_stream(pvob, stream, &s)) != TBS_ST_OK ||
            (st = xcm_get_project(pvob, s.project, &p)) != TBS_ST_OK ||
            (st = composite_component(pvob, s, a->component, &comp)) != TBS_ST_OK)
            return st;
        if (a->basename.empty()) a->basename = s.name + "_" + today();
        b.name = baseline_name(p, s, comp, a->basename, ctx, a->several);
        if ((st = check_xcm_name(b.name)) != TBS_ST_OK) return st;
        vob_dbid_t existing = 0;
        if (xcm_find(pvob, VOB_MTYPE_BASELINE, b.name, &existing) == TBS_ST_OK)
            return cmd_fail("A baseline of that name exists", b.name, TBS_ST_EXISTS);
        b.component = comp.dbid;
        b.stream = stream;
        b.full = true;
        b.promotion = XCM_PROMOTION_DEFAULT;
    }
    std::vector<xcm_baseline_info_t> add(a->add.size()), remove(a->remove.size());
    for (size_t i = 0; i < a->add.size(); ++i)
        if ((st = member_of(pvob, a->add[i], &add[i])) != TBS_ST_OK) return st;
    for (size_t i = 0; i < a->remove.size(); ++i)
        if ((st = member_of(pvob, a->remove[i], &remove[i])) != TBS_ST_OK) return st;
    const bool made = !b.dbid;
    st = pvob->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
        if (made) b.dbid = 0;  // a retried transaction makes it again
        tbs_status_t r = edit_members(pvob, txn, ctx, *a, b, add, remove);
        if (r == TBS_ST_OK) r = xcm_store_baseline_members(*pvob->db, b.dbid, &a->members);
        if (r == TBS_ST_OK && a->validate_only) return txn.rollback();
        return r == TBS_ST_OK ? txn.commit() : r;
    });
    a->result = st == TBS_ST_OK && !(made && a->validate_only) ? b.dbid : 0;
    return st;
}

namespace {

// The composite cmd_mkbl makes for component dependencies.
tbs_status_t mkbl_composite(cmd_mkbl_args_t* a, vob_t* pvob, const xcm_stream_info_t& s,
                            bool several) {
    xcm_component_info_t comp;
    std::vector<vob_dbid_t> made, foundation, members;
    tbs_status_t st = composite_component(pvob, s, a->composite, &comp);
    if (st == TBS_ST_OK) st = xcm_stream_baselines(pvob, s.dbid, 0, &made);
    if (st == TBS_ST_OK) st = xcm_stream_baselines(pvob, s.dbid, XCM_BL_FOUNDATION, &foundation);
    if (st != TBS_ST_OK) return st;
    // The stream's newest baseline of each component: made in it (oldest first), else its
    // foundation.
    std::map<vob_dbid_t, vob_dbid_t> newest;
    for (const auto* list : {&foundation, &made})
        for (vob_dbid_t b : *list) {
            xcm_baseline_info_t bl;
            if ((st = xcm_get_baseline(pvob, b, &bl)) != TBS_ST_OK) return st;
            newest[bl.component] = b;
        }
    std::set<vob_dbid_t> deps;  // components
    auto prev = newest.find(comp.dbid);
    if (prev != newest.end() &&
        (st = xcm_baseline_members(pvob, prev->second, &members)) != TBS_ST_OK)
        return st;
    for (vob_dbid_t m : members) {
        xcm_baseline_info_t bl;
        if ((st = xcm_get_baseline(pvob, m, &bl)) != TBS_ST_OK) return st;
        deps.insert(bl.component);
    }
    for (const auto* list : {&a->add_comp_deps, &a->remove_comp_deps})
        for (const std::string& sel : *list) {
            vob_t* pv = nullptr;
            vob_dbid_t c = 0;
            if ((st = resolve(sel, VOB_MTYPE_COMPONENT, &pv, &c)) != TBS_ST_OK) return st;
            if (pv != pvob)
                return cmd_fail("The component is in another project VOB", sel, TBS_ST_INVALID);
            if (list == &a->add_comp_deps)
                deps.insert(c);
            else
                deps.erase(c);
        }
    cmd_bl_deps_args_t d;
    d.stream = xcm_selector(pvob, VOB_MTYPE_STREAM, s.name);
    d.basename = a->basename;
    d.component = xcm_selector(pvob, VOB_MTYPE_COMPONENT, comp.name);
    d.comment = a->comment;
    d.several = several;
    for (vob_dbid_t c : deps) {
        auto n = newest.find(c);
        xcm_obj_t o;
        if (n == newest.end()) {
            xcm_get_obj(pvob, c, &o);
            return cmd_fail("The stream has no baseline of the component", o.name,
                            TBS_ST_NOT_FOUND);
        }
        if ((st = xcm_get_obj(pvob, n->second, &o)) != TBS_ST_OK) return st;
        d.add.push_back(xcm_selector(pvob, VOB_MTYPE_BASELINE, o.name));
    }
    if ((st = cmd_chbl_deps(&d)) != TBS_ST_OK) return st;
    xcm_obj_t o;
    xcm_get_obj(pvob, d.result, &o);
    imsg_ok("Created composite baseline \"%s\" in component \"%s\" (%zu members).\n",
            o.name.c_str(), comp.name.c_str(), d.members.size());
    a->baselines.push_back(d.result);
    return TBS_ST_OK;
}

}  // namespace
