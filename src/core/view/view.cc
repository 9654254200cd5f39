// Views: storage, registration, lookups, config specs, web-view records, load sessions.
#include "core/view/view.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <mutex>

#include "core/cred/credutl.h"
#include "core/imsg/imsg.h"
#include "core/rgy/rgy.h"
#include "core/store/db.h"
#include "core/util/fileutl.h"
#include "core/util/pfm.h"
#include "core/view/view_dynamic.h"
#include "core/view/view_store.h"
#include "core/vob/vob_store.h"
#include "core/vob/xcm.h"

namespace {

std::map<std::string, std::unique_ptr<view_t>>& cache() {
    static auto* c = new std::map<std::string, std::unique_ptr<view_t>>;
    return *c;
}
std::recursive_mutex g_mu;

bool has_word(const std::string& text, const char* word) {
    size_t n = strlen(word);
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        bool start = at == 0 || text[at - 1] == ' ' || text[at - 1] == ',';
        bool end = at + n == text.size() || text[at + n] == ' ' || text[at + n] == ',';
        if (start && end) return true;
    }
    return false;
}

int kind_of(const std::string& properties) {
    if (has_word(properties, "automatic")) return VIEW_KIND_AUTOMATIC;
    if (has_word(properties, "snapshot")) return VIEW_KIND_SNAPSHOT;
    if (has_word(properties, "webview")) return VIEW_KIND_WEB;
    return VIEW_KIND_DYNAMIC;
}

// Where a view's files are seen: its copy area below the storage, or for a dynamic view
// the mount point its daemon serves.
std::string root_of(const rgy_view_entry_t& e) {
    return kind_of(e.properties) == VIEW_KIND_DYNAMIC ? view_dynamic_root(e.tag)
                                                      : e.storage + "/root";
}

// Parses the stored spec and points the view's lookups at it.
tbs_status_t install_cspec(view_t* v, const std::string& text) {
    auto spec = std::make_unique<view_cspec_t>();
    std::vector<std::string> errors;
    tbs_status_t st = view_cspec_parse(text.c_str(), spec.get(), &errors);
    if (st != TBS_ST_OK) {
        for (const std::string& e : errors) imsg_error("%s\n", e.c_str());
        return st;
    }
    spec->view_uuid = v->uuid;
    v->cspec = std::move(spec);
    v->cspec_text = text;
    v->ctx = view_cspec_view_ctx(*v->cspec);
    v->ctx.view_uuid = v->uuid;
    return TBS_ST_OK;
}

tbs_status_t open_entry(const rgy_view_entry_t& e, view_t** out) {
    std::lock_guard<std::recursive_mutex> lock(g_mu);
    const std::string key = tbs_uuid_text(e.uuid);
    auto it = cache().find(key);
    if (it != cache().end()) {
        *out = it->second.get();
        // A stream's view follows its stream; a failure keeps the spec it has.
        if ((*out)->sum_view) view_xcm_sync(*out);
        return TBS_ST_OK;
    }
    auto v = std::make_unique<view_t>();
    v->tag = e.tag;
    v->uuid = e.uuid;
    v->storage = e.storage;
    v->properties = e.properties;
    v->kind = kind_of(e.properties);
    v->sum_view = has_word(e.properties, "sumview");
    v->root = root_of(e);
    v->private_root = e.storage + "/root";
    tbs_status_t st = view_store_open(e.storage, false, &v->db);
    if (st != TBS_ST_OK) return st;
    std::string text;
    if (view_store_get_info(*v->db, "cspec", &text) != TBS_ST_OK) text = VIEW_CSPEC_DEFAULT;
    if ((st = install_cspec(v.get(), text)) != TBS_ST_OK) return st;
    *out = v.get();
    cache()[key] = std::move(v);
    if ((*out)->sum_view) view_xcm_sync(*out);
    return TBS_ST_OK;
}

}  // namespace

view_t::~view_t() = default;

tbs_status_t cmd_mkview(cmd_mkview_args_t* a) {
    // A tag becomes a path component ("/view/<tag>"): one plain name.
    bool tag_ok = !a->tag.empty() && a->tag.size() <= 255 && a->tag != "." && a->tag != "..";
    for (unsigned char c : a->tag) tag_ok &= c > 32 && c != 127 && c != '/';
    if (!tag_ok) {
        imsg_error("Invalid view tag \"%s\".\n", a->tag.c_str());
        return TBS_ST_BAD_NAME;
    }
    if (a->storage.empty() || a->storage[0] != '/') {
        imsg_error("View storage \"%s\" must be an absolute pathname.\n", a->storage.c_str());
        return TBS_ST_BAD_REQUEST;
    }
    static const char* const kKinds[] = {"webview", "snapshot", "automatic", "dynamic"};
    bool known = false;
    for (const char* k : kKinds) known |= a->kind == k;
    if (!known) {
        imsg_error("Unknown view kind \"%s\".\n", a->kind.c_str());
        return TBS_ST_BAD_REQUEST;
    }
    rgy_view_entry_t existing;
    if (rgy_find_view_by_tag(a->tag.c_str(), nullptr, &existing) == TBS_ST_OK) {
        imsg_error("View tag \"%s\" already exists.\n", a->tag.c_str());
        return TBS_ST_EXISTS;
    }
    std::error_code ec;
    if (std::filesystem::exists(a->storage, ec)) {
        imsg_error("Storage \"%s\" already exists.\n", a->storage.c_str());
        return tbs_errno2status(EEXIST);
    }
    // A stream's view takes the stream's spec.
    std::string stream_prop, gen_prop;
    std::string text = a->cspec.empty() ? std::string(VIEW_CSPEC_DEFAULT) : a->cspec;
    if (!a->stream.empty()) {
        vob_t* pvob = nullptr;
        vob_dbid_t stream = 0;
        xcm_stream_info_t si;
        tbs_status_t s = xcm_resolve(a->stream.c_str(), VOB_MTYPE_STREAM, &pvob, &stream);
        if (s == TBS_ST_OK) s = xcm_get_stream(pvob, stream, &si);
        if (s == TBS_ST_OK) s = xcm_stream_cspec(pvob, stream, &text);
        if (s != TBS_ST_OK) {
            imsg_error("Unable to determine stream from selector \"%s\": %s.\n", a->stream.c_str(),
                       tbs_strerror(s));
            return s;
        }
        a->sum_view = true;
        stream_prop = tbs_uuid_text(pvob->uuid) + " " + std::to_string(stream);
        gen_prop = std::to_string(si.cfg_gen);
    }
    // The spec is checked before anything is made.
    view_cspec_t probe;
    std::vector<std::string> errors;
    tbs_status_t st = view_cspec_parse(text.c_str(), &probe, &errors);
    if (st != TBS_ST_OK) {
        for (const std::string& e : errors) imsg_error("%s\n", e.c_str());
        return st;
    }
    credutl_creds_t who;
    if ((st = credutl_get_creds(&who)) != TBS_ST_OK) return st;
    if ((st = fileutl_mkdir_p((a->storage + "/root").c_str(), 0775)) != TBS_ST_OK) return st;
    a->uuid = tbs_uuid_create();
    {
        std::shared_ptr<store_db> db;
        st = view_store_open(a->storage, true, &db);
        if (st == TBS_ST_OK)
            st = db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
                tbs_status_t s = view_store_set_info(*db, "cspec", text);
                if (s == TBS_ST_OK) s = view_store_set_info(*db, "uuid", tbs_uuid_text(a->uuid));
                if (s == TBS_ST_OK) s = view_store_set_info(*db, "text_mode", "unix");
                if (s == TBS_ST_OK) s = view_store_set_info(*db, "ptime", "1");
                if (s == TBS_ST_OK && !stream_prop.empty())
                    s = view_store_set_info(*db, "xcm_stream", stream_prop);
                if (s == TBS_ST_OK && !gen_prop.empty())
                    s = view_store_set_info(*db, "xcm_cfg_gen", gen_prop);
                return s == TBS_ST_OK ? txn.commit() : s;
            });
    }
    if (st == TBS_ST_OK) {
        rgy_view_entry_t e;
        e.tag = a->tag;
        e.uuid = a->uuid;
        e.storage = a->storage;
        e.host = pfm_host_name();
        e.owner = who.user;
        e.properties = a->kind == "dynamic" ? "" : a->kind;
        if (a->sum_view) e.properties += e.properties.empty() ? "sumview" : " sumview";
        st = rgy_add_view_tag(e);
    }
    if (st != TBS_ST_OK) {
        std::filesystem::remove_all(a->storage, ec);
        return st;
    }
    return TBS_ST_OK;
}

namespace {

tbs_status_t check_entry_owner(const rgy_view_entry_t& e) {
    credutl_creds_t who;
    tbs_status_t st = credutl_get_creds(&who);
    if (st != TBS_ST_OK) return st;
    if (e.owner == who.user || credutl_is_privileged(who)) return TBS_ST_OK;
    imsg_error(
        "View \"%s\" belongs to \"%s\"; only its owner or the site's administrator may "
        "change it.\n",
        e.tag.c_str(), e.owner.c_str());
    return TBS_ST_PERMISSION;
}

}  // namespace

tbs_status_t view_check_owner_by_tag(const char* tag) {
    rgy_view_entry_t e;
    tbs_status_t st = rgy_find_view_by_tag(tag, nullptr, &e);
    return st != TBS_ST_OK ? st : check_entry_owner(e);
}

tbs_status_t view_check_owner(const view_t* view) {
    return view_check_owner_by_tag(view->tag.c_str());
}

tbs_status_t cmd_rmview(const char* tag) {
    rgy_view_entry_t e;
    tbs_status_t st = rgy_find_view_by_tag(tag, nullptr, &e);
    if (st != TBS_ST_OK) return st;
    // A view is its owner's: nobody else removes it but the site's administrator.
    if ((st = check_entry_owner(e)) != TBS_ST_OK) return st;
    // Checkouts made in the view would be left without a view: they are undone first.
    std::vector<rgy_vob_entry_t> vobs;
    if ((st = rgy_list_vob_tags(nullptr, &vobs)) != TBS_ST_OK) return st;
    for (const rgy_vob_entry_t& ve : vobs) {
        vob_t* vob = nullptr;
        if (vob_open_by_tag(ve.tag.c_str(), &vob) != TBS_ST_OK) continue;
        std::vector<vob_checkout_info_t> cos;
        if (vob_ob_next_ckouts(vob, 0, &cos) != TBS_ST_OK) continue;
        for (const vob_checkout_info_t& c : cos) {
            if (memcmp(c.view_uuid.bytes, e.uuid.bytes, 16) != 0) continue;
            imsg_error(
                "View \"%s\" still has checkouts in \"%s\"; cancel or check them in first.\n", tag,
                ve.tag.c_str());
            return TBS_ST_CHECKED_OUT;
        }
    }
    // A started dynamic view is stopped before its storage goes.
    if (kind_of(e.properties) == VIEW_KIND_DYNAMIC && view_vtfs_available(nullptr) &&
        (st = view_end_dynamic(tag)) != TBS_ST_OK)
        return st;
    {
        std::lock_guard<std::recursive_mutex> lock(g_mu);
        cache().erase(tbs_uuid_text(e.uuid));
    }
    if ((st = rgy_remove_view_tag(tag, nullptr)) != TBS_ST_OK) return st;
    if ((st = view_store_remove(e.storage)) != TBS_ST_OK) return st;
    std::error_code ec;
    std::filesystem::remove_all(e.storage, ec);
    return ec ? tbs_errno2status(ec.value()) : TBS_ST_OK;
}

tbs_status_t view_open_by_tag(const char* tag, view_t** view) {
    rgy_view_entry_t e;
    tbs_status_t st = rgy_find_view_by_tag(tag, nullptr, &e);
    return st == TBS_ST_OK ? open_entry(e, view) : st;
}

tbs_status_t view_open_by_uuid(const tbs_uuid_t& uuid, view_t** view) {
    rgy_view_entry_t e;
    tbs_status_t st = rgy_findbyuuid_entry(uuid, &e);
    return st == TBS_ST_OK ? open_entry(e, view) : st;
}

tbs_status_t view_open_by_root(const char* path, view_t** view) {
    if (!path) return TBS_ST_BAD_REQUEST;
    // Matched lexically, so "<root>/../x" is not inside the view.
    std::string p = std::filesystem::path(path).lexically_normal().string();
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    std::vector<rgy_view_entry_t> views;
    tbs_status_t st = rgy_list_view_tags(nullptr, &views);
    if (st != TBS_ST_OK) return st;
    for (const rgy_view_entry_t& e : views) {
        const std::string root = root_of(e);
        if (p == root || p.rfind(root + "/", 0) == 0) return open_entry(e, view);
    }
    return TBS_ST_NOT_FOUND;
}

void view_cache_clear() {
    std::lock_guard<std::recursive_mutex> lock(g_mu);
    cache().clear();
}

tbs_status_t cmd_utl_get_view_info(const char* path, tbs_uuid_t* uuid, std::string* tag) {
    view_t* v = nullptr;
    tbs_status_t st = view_open_by_root(path, &v);
    if (st != TBS_ST_OK) return st;
    if (uuid) *uuid = v->uuid;
    if (tag) *tag = v->tag;
    return TBS_ST_OK;
}

tbs_status_t cmd_utl_get_view_tag(const tbs_uuid_t& uuid, std::string* tag) {
    rgy_view_entry_t e;
    tbs_status_t st = rgy_findbyuuid_entry(uuid, &e);
    if (st == TBS_ST_OK) *tag = e.tag;
    return st;
}

tbs_status_t tbs_view_root(const char* tag, std::string* root) {
    rgy_view_entry_t e;
    tbs_status_t st = rgy_find_view_by_tag(tag, nullptr, &e);
    if (st != TBS_ST_OK) return st;
    *root = root_of(e);
    return kind_of(e.properties) == VIEW_KIND_DYNAMIC && !view_vtfs_available(nullptr)
               ? static_cast<tbs_status_t>(TBS_ST_NO_VTFS)
               : TBS_ST_OK;
}

tbs_status_t view_find_dynamic(const char* tag, rgy_view_entry_t* e, bool* dynamic) {
    tbs_status_t st = rgy_find_view_by_tag(tag, nullptr, e);
    if (st == TBS_ST_OK) *dynamic = kind_of(e->properties) == VIEW_KIND_DYNAMIC;
    return st;
}

std::string view_pname_to_vob(const view_t* view, const char* path) {
    std::string p = std::filesystem::path(path ? path : "").lexically_normal().string();
    // A name climbing out of its root names nothing.
    if (p == ".." || p.rfind("../", 0) == 0 || p.find("/../") != std::string::npos ||
        (p.size() >= 3 && p.compare(p.size() - 3, 3, "/..") == 0))
        return std::string();
    if (view && (p == view->root || p.rfind(view->root + "/", 0) == 0))
        p = p.substr(view->root.size());
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    if (p.empty() || p[0] != '/') p = "/" + p;
    return p;
}

// Config spec ----------------------------------------------------------------------------

tbs_status_t view_get_cspec(view_t* view, std::string* text) {
    tbs_status_t st = view_store_get_info(*view->db, "cspec", text);
    if (st == TBS_ST_NOT_FOUND) {
        *text = VIEW_CSPEC_DEFAULT;
        return TBS_ST_OK;
    }
    return st;
}

tbs_status_t view_set_cspec(view_t* view, view_setcs_mode_t mode, const std::string& given,
                            std::vector<std::string>* errors) {
    if (tbs_status_t st = view_check_owner(view)) return st;
    std::string current, text;
    tbs_status_t st = view_get_cspec(view, &current);
    if (st != TBS_ST_OK) return st;
    view_cspec_t parsed;
    std::vector<std::string> errs;
    st = view_cspec_setcs(mode, current.c_str(), given.c_str(), &text, &parsed, &errs);
    if (st != TBS_ST_OK) {
        for (const std::string& e : errs) imsg_error("%s\n", e.c_str());
        if (errors) *errors = errs;
        return st;
    }
    st = view->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
        tbs_status_t s = view_store_set_info(*view->db, "cspec", text);
        return s == TBS_ST_OK ? txn.commit() : s;
    });
    if (st != TBS_ST_OK) return st;
    return install_cspec(view, text);
}

tbs_status_t view_spec_rule_format(view_t* view, int rule, char* buf, size_t size) {
    return view_spec_rule_format(*view->cspec, rule, buf, size);
}

tbs_status_t view_reload_cspec(view_t* view, bool* changed) {
    if (changed) *changed = false;
    std::string text;
    tbs_status_t st = view_store_get_info(*view->db, "cspec", &text);
    if (st == TBS_ST_NOT_FOUND) {
        text = VIEW_CSPEC_DEFAULT;
        st = TBS_ST_OK;
    }
    if (st != TBS_ST_OK) return st;
    if (view->cspec_text == text) return TBS_ST_OK;
    if ((st = install_cspec(view, text)) != TBS_ST_OK) return st;
    if (changed) *changed = true;
    return TBS_ST_OK;
}

tbs_status_t view_get_prop(view_t* view, const char* key, std::string* value) {
    return view_store_get_info(*view->db, key, value);
}

tbs_status_t view_set_prop(view_t* view, const char* key, const std::string& value) {
    if (tbs_status_t st = view_check_owner(view)) return st;
    return view->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
        tbs_status_t s = view_store_set_info(*view->db, key, value);
        return s == TBS_ST_OK ? txn.commit() : s;
    });
}

// Change-management views ------------------------------------------------------------------

tbs_status_t view_get_xcm(view_t* view, view_xcm_t* out) {
    *out = view_xcm_t{};
    std::string stream, activity;
    tbs_status_t st = view_store_get_info(*view->db, "xcm_stream", &stream);
    if (st != TBS_ST_OK) return st;
    char uuid[64] = "", oid[64] = "";
    long long sdbid = 0, adbid = 0;
    if (sscanf(stream.c_str(), "%63s %lld", uuid, &sdbid) != 2 ||
        tbs_uuid_from_str(uuid, &out->pvob) != TBS_ST_OK)
        return TBS_ST_DAMAGED;
    out->stream = sdbid;
    if (view_store_get_info(*view->db, "xcm_activity", &activity) == TBS_ST_OK &&
        sscanf(activity.c_str(), "%lld %63s", &adbid, oid) == 2 &&
        tbs_uuid_from_str(oid, &out->activity_oid) == TBS_ST_OK)
        out->activity = adbid;
    return TBS_ST_OK;
}

tbs_status_t view_set_activity(view_t* view, vob_dbid_t activity) {
    view_xcm_t x;
    tbs_status_t st = view_check_owner(view);
    if (st == TBS_ST_OK) st = view_get_xcm(view, &x);
    if (st == TBS_ST_NOT_FOUND) {
        imsg_error("View \"%s\" is not attached to a stream.\n", view->tag.c_str());
        return TBS_ST_BAD_STREAM;
    }
    if (st != TBS_ST_OK) return st;
    std::string text;
    if (activity) {
        vob_t* pvob = nullptr;
        xcm_activity_info_t a;
        if ((st = vob_open_by_uuid(x.pvob, &pvob)) != TBS_ST_OK ||
            (st = xcm_get_activity(pvob, activity, &a)) != TBS_ST_OK)
            return st == TBS_ST_BAD_SELECTOR ? TBS_ST_BAD_ACTIVITY : st;
        if (a.stream != x.stream) {
            imsg_error("Activity \"%s\" is not in the stream of view \"%s\".\n", a.name.c_str(),
                       view->tag.c_str());
            return TBS_ST_BAD_ACTIVITY;
        }
        text = std::to_string(activity) + " " + tbs_uuid_text(a.oid);
    }
    return view->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
        tbs_status_t s = view_store_set_info(*view->db, "xcm_activity", text);
        return s == TBS_ST_OK ? txn.commit() : s;
    });
}

tbs_status_t view_xcm_sync(view_t* view) {
    view_xcm_t x;
    tbs_status_t st = view_get_xcm(view, &x);
    if (st != TBS_ST_OK) return st;
    vob_t* pvob = nullptr;
    xcm_stream_info_t s;
    if ((st = vob_open_by_uuid(x.pvob, &pvob)) != TBS_ST_OK ||
        (st = xcm_get_stream(pvob, x.stream, &s)) != TBS_ST_OK)
        return st;
    std::string gen;
    if (view_store_get_info(*view->db, "xcm_cfg_gen", &gen) == TBS_ST_OK &&
        gen == std::to_string(s.cfg_gen))
        return TBS_ST_OK;
    std::string text;
    if ((st = xcm_stream_cspec(pvob, x.stream, &text)) != TBS_ST_OK) return st;
    // The view's own load rules (a copy area's scopes) stay; the stream's are for a view
    // that has none.
    const std::vector<std::string> own = view_cspec_load_rules(*view->cspec);
    if (!own.empty()) {
        std::string kept;
        size_t at = 0;
        while (at < text.size()) {
            size_t nl = text.find('\n', at);
            if (nl == std::string::npos) nl = text.size();
            if (text.compare(at, 5, "load ") != 0) kept += text.substr(at, nl - at) + "\n";
            at = nl + 1;
        }
        for (const std::string& rule : own) {
            const bool quote = rule.find_first_of(" \t\"#") != std::string::npos;
            kept += "load " + (quote ? "\"" + rule + "\"" : rule) + "\n";
        }
        text = kept;
    }
    st = view->db->transact(store_txn_kind::write, [&](store_txn& txn) -> tbs_status_t {
        tbs_status_t r = view_store_set_info(*view->db, "cspec", text);
        if (r == TBS_ST_OK)
            r = view_store_set_info(*view->db, "xcm_cfg_gen", std::to_string(s.cfg_gen));
        return r == TBS_ST_OK ? txn.commit() : r;
    });
    return st == TBS_ST_OK ? install_cspec(view, text) : st;
}

tbs_status_t view_open_private_file(view_t* view, const std::string& vob_pname, int* fd) {
    *fd = -1;
    if (view->private_root.empty()) return TBS_ST_NOT_FOUND;
    rgy_view_entry_t e;
    credutl_creds_t who;
    tbs_status_t st = rgy_find_view_by_tag(view->tag.c_str(), nullptr, &e);
    if (st == TBS_ST_OK) st = credutl_get_creds(&who);
    if (st != TBS_ST_OK) return st;
    if (e.owner != who.user && !credutl_is_privileged(who)) return TBS_ST_PERMISSION;
    if (vob_pname.empty() || vob_pname[0] != '/' || vob_pname.size() > 4096) return TBS_ST_BAD_NAME;
    // One component at a time from the root, none of them a link, "." or "..".
    int dir = open(view->private_root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return tbs_errno2status(errno);
    size_t at = 1;
    for (;;) {
        const size_t slash = vob_pname.find('/', at);
        const std::string part =
            vob_pname.substr(at, slash == std::string::npos ? slash : slash - at);
        if (part.empty() || part == "." || part == "..") {
            close(dir);
            return TBS_ST_BAD_NAME;
        }
        const bool last = slash == std::string::npos;
        const int flags = O_RDONLY | O_NOFOLLOW | O_CLOEXEC | (last ? O_NONBLOCK : O_DIRECTORY);
        const int next = openat(dir, part.c_str(), flags);
        const int err = errno;
        close(dir);
        if (next < 0) return err == ELOOP ? TBS_ST_BAD_NAME : tbs_errno2status(err);
        if (last) {
            struct stat sb;
            if (fstat(next, &sb) != 0 || !S_ISREG(sb.st_mode)) {
                close(next);
                return TBS_ST_NOT_FOUND;
            }
            *fd = next;
            return TBS_ST_OK;
        }
        dir = next;
        at = slash + 1;
    }
}
