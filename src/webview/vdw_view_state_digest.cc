// WebViewStateDigest and the pieces of its canonical text.
#include "webview/vdw_view_state_digest.h"

#include <openssl/evp.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "core/cmd/cmd.h"
#include "core/tbs/tbs.h"
#include "core/util/i18n.h"
#include "core/view/view.h"
#include "core/vob/vob.h"
#include "core/vob/vob_obj.h"
#include "foundation/core_vd_status.h"
#include "foundation/wcm_status.h"

// ---- Sha256 -------------------------------------------------------------------------------

Sha256::Sha256() : ctx_(EVP_MD_CTX_new()) {
    if (ctx_) EVP_DigestInit_ex(static_cast<EVP_MD_CTX*>(ctx_), EVP_sha256(), nullptr);
}

Sha256::~Sha256() {
    EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(ctx_));
}

void Sha256::add_message_bytes(const void* bytes, size_t length) {
    if (ctx_ && length) EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(ctx_), bytes, length);
}

Sha256::MessageDigest Sha256::get_message_digest() {
    MessageDigest d;
    unsigned char raw[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    if (!ctx_ || EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(ctx_), raw, &len) != 1 || len != 32)
        return d;
    for (int i = 0; i < 8; ++i)
        d.words[i] = (uint32_t(raw[4 * i]) << 24) | (uint32_t(raw[4 * i + 1]) << 16) |
                     (uint32_t(raw[4 * i + 2]) << 8) | uint32_t(raw[4 * i + 3]);
    return d;
}

std::string Sha256::MessageDigest::get_hex_string() const {
    char text[65];
    snprintf(text, sizeof text, "%08x%08x%08x%08x%08x%08x%08x%08x", words[0], words[1], words[2],
             words[3], words[4], words[5], words[6], words[7]);
    return text;
}

namespace {

Sha256::MessageDigest digest_of(const std::string& text) {
    Sha256 sha;
    sha.add_message_bytes(text.data(), text.size());
    return sha.get_message_digest();
}

// A core call of the read: a failure throws, named by the operation.
void check(const char* operation, tbs_status_t st) {
    if (st == TBS_ST_OK) return;
    CoreVdStatus status(operation);
    status = st;
    CORE_VD_FAIL(status);
}

std::string to_utf8(const std::string& native) {
    if (i18n_native_is_utf8()) return native;
    std::string out;
    long offset = 0;
    if (i18n_convert(i18n_native(), i18n_utf8(), native.data(), native.size(), out, &offset) !=
        TBS_ST_OK)
        throw WebViewStateDigest::Exception("UTF-8 conversion failed\n");
    return out;
}

// `path` is `base` or lies below it.
bool equal_or_below(const std::string& path, const std::string& base) {
    if (base.empty()) return true;
    return path == base || (path.size() > base.size() && path.compare(0, base.size(), base) == 0 &&
                            path[base.size()] == '/');
}

std::string trim_slashes(std::string s) {
    while (!s.empty() && s.front() == '/') s.erase(0, 1);
    while (!s.empty() && s.back() == '/') s.pop_back();
    return s;
}

}  // namespace

// ---- FrozenObject and FrozenObjectParent ---------------------------------------------------

std::string FrozenObject::get_state_description() const {
    return std::string(mtype_ == VOB_MTYPE_DIR_VERSION ? "FType.DIRECTORY" : "FType.FILE") + "|" +
           (is_checked_out_ ? "true" : "false") + "|" + oid_.uuid().string().c_str();
}

std::string FrozenObject::get_one_line_state_description() const {
    return name_ + "|" + get_state_description() + "\n";
}

FrozenObject& FrozenObjectParent::add_child(const std::string& name) {
    children_.emplace_back(*this, name, path_);
    return children_.back();
}

std::string FrozenObjectParent::get_multi_line_state_description() const {
    std::string text;
    for (const FrozenObject& c : children_) text += c.get_one_line_state_description();
    return text;
}

Sha256::MessageDigest FrozenObjectParent::get_digest_of_childrens_state() const {
    Sha256 sha;
    for (const FrozenObject& c : children_) {
        const std::string line = c.get_one_line_state_description();
        sha.add_message_bytes(line.data(), line.size());
    }
    return sha.get_message_digest();
}

std::string FrozenObjectParent::get_one_line_state_description() const {
    return path_ + "|" + get_digest_of_childrens_state().get_hex_string() + "\n";
}

// ---- WebViewStateDigest ------------------------------------------------------------------

WebViewStateDigest::WebViewStateDigest(const SUM_View& view) : view_(view) {}

WebViewStateDigest::WebViewStateDigest(const SUM_View& view, const std::string& pathname)
    : view_(view), relevance_(Relevance::BELOW), pathname_(trim_slashes(pathname)) {}

WebViewStateDigest::WebViewStateDigest(const SUM_View& view, const std::set<std::string>& dirs)
    : view_(view), relevance_(Relevance::DIRECTORIES) {
    for (const std::string& d : dirs) directories_.insert(trim_slashes(d));
}

bool WebViewStateDigest::relevant(const std::string& directory, const std::string& name) const {
    switch (relevance_) {
        case Relevance::ALL:
            return true;
        case Relevance::BELOW:
            return equal_or_below(directory.empty() ? name : directory + "/" + name, pathname_);
        case Relevance::DIRECTORIES:
            return directories_.count(directory) != 0;
    }
    return false;
}

bool WebViewStateDigest::relevant_version_path(const std::string& path) const {
    if (relevance_ != Relevance::DIRECTORIES) {
        const size_t slash = path.rfind('/');
        return relevant(slash == std::string::npos ? "" : path.substr(0, slash),
                        slash == std::string::npos ? path : path.substr(slash + 1));
    }
    const size_t slash = path.rfind('/');
    return slash == std::string::npos || directories_.count(trim_slashes(path.substr(0, slash)));
}

void WebViewStateDigest::fetch_digestible_state() {
    if (fetched_) return;
    fetched_ = true;
    if (view_.is_null()) throw Exception("view is null");
    view_t* view = nullptr;
    check("WebViewStateDigest::vsh", view_.handle(&view));
    if (!view) throw Exception("view is invalid");

    // The record, under a reader's session: it never conflicts and changes nothing.
    bool conflict = false;
    char pid[16];
    snprintf(pid, sizeof pid, "%d", static_cast<int>(getpid()));
    check("WebViewStateDigest::begin_load_session",
          view_ws_begin_load_session(view, 3, pid, "", getpid(), &conflict, 0));
    if (conflict) check("WebViewStateDigest::begin_load_session", TBS_ST_VIEW_CONFLICT);
    struct Symlink {
        std::string parent;
        size_t index;
        std::string path;
    };
    std::vector<Symlink> links;
    view_wso_cursor_t cursor;
    for (;;) {
        std::vector<view_wso_t> batch;
        check("WebViewStateDigest::fetch_frozen_objects",
              view_ws_get_unvisited_wsos(view, &cursor, 4096, &batch));
        if (batch.empty()) break;
        for (const view_wso_t& w : batch) {
            ++wso_count_;
            std::string directory = trim_slashes(w.dir), leaf = w.leaf;
            if (leaf.empty()) {
                const size_t slash = directory.rfind('/');
                leaf = slash == std::string::npos ? directory : directory.substr(slash + 1);
                directory = slash == std::string::npos ? "" : directory.substr(0, slash);
            }
            if (!relevant(directory, leaf)) continue;
            vobs_.insert(tbs_uuid_text(w.vob_uuid));
            const std::string dir8 = to_utf8(directory), leaf8 = to_utf8(leaf);
            auto it = parents_.find(dir8);
            if (it == parents_.end()) it = parents_.emplace(dir8, FrozenObjectParent(dir8)).first;
            FrozenObject& o = it->second.add_child(leaf8);
            o.set_vob(SUM_Uuid(w.vob_uuid));
            o.set_oid(SUM_Oid(w.ver_oid));
            o.set_mtype(w.ftype == 2   ? VOB_MTYPE_DIR_VERSION
                        : w.ftype == 5 ? VOB_MTYPE_SLINK
                                       : VOB_MTYPE_VERSION);
            if (w.ftype == 5)
                links.push_back({dir8, it->second.get_children().size() - 1,
                                 directory.empty() ? leaf : directory + "/" + leaf});
        }
        view_ws_free_unvisited_wsos(&batch);
    }
    // A reader's session ends by itself: ending it through the core would end the session
    // of a fetch that may be in progress on the view.

    // A symbolic link stands for what it leads to.
    // (A link that leads nowhere the view selects stays described as itself.)
    for (const Symlink& l : links) {
        vob_resolved_t r;
        vob_obj_info_t info;
        vob_version_info_t v;
        if (cmd_resolve_ws_obj(view, l.path.c_str(), 0, &r) != TBS_ST_OK || r.version == 0 ||
            vob_obj_get_info(r.vob, r.version, &info) != TBS_ST_OK ||
            vob_ver_get_info(r.vob, r.version, &v) != TBS_ST_OK)
            continue;
        FrozenObject& o = parents_.at(l.parent).get_children()[l.index];
        o.set_vob(SUM_Uuid(r.vob->uuid));
        o.set_oid(SUM_Oid(info.oid));
        o.set_mtype(v.is_dir ? VOB_MTYPE_DIR_VERSION : VOB_MTYPE_VERSION);
    }
    // Canonical order: children by name, parents (the map) by path.
    std::map<std::string, std::vector<FrozenObject*>> oid_to_objects;
    for (auto& [path, parent] : parents_) {
        std::stable_sort(parent.get_children().begin(), parent.get_children().end());
        for (FrozenObject& o : parent.get_children())
            oid_to_objects[o.get_oid().uuid().string().c_str()].push_back(&o);
    }
    // This view's checkouts: the objects holding them are checked out; the others are
    // listed apart.
    for (const std::string& replica : vobs_) {
        tbs_uuid_t uuid;
        tbs_uuid_from_str(replica.c_str(), &uuid);
        vob_t* vob = nullptr;
        check("WebViewStateDigest::fetch_checkouts", vob_open_by_uuid(uuid, &vob));
        std::vector<vob_checkout_info_t> cos;
        check("WebViewStateDigest::fetch_checkouts", vob_ob_view_ckouts(vob, view->uuid, &cos));
        for (const vob_checkout_info_t& co : cos) {
            vob_obj_info_t info;
            check("WebViewStateDigest::record_one_checkout", vob_obj_get_info(vob, co.dbid, &info));
            auto held = oid_to_objects.find(tbs_uuid_text(info.oid));
            if (held != oid_to_objects.end()) {
                for (FrozenObject* o : held->second) o->set_is_checked_out(true);
                continue;
            }
            std::string pname, id;
            if (vob_elem_get_pname(vob, co.element, &pname) != TBS_ST_OK || pname.empty()) continue;
            check("WebViewStateDigest::gpath_version", vob_ver_get_idstr(vob, co.dbid, &id));
            if (relevant_version_path(trim_slashes(pname)))
                non_frozen_checkouts_.insert(pname + "@@" + id);
        }
    }
}

Sha256::MessageDigest WebViewStateDigest::get_digest() {
    std::string text;
    get_parent_digests(text);
    return digest_of(text);
}

void WebViewStateDigest::get_parent_digests(std::map<std::string, Sha256::MessageDigest>& out) {
    fetch_digestible_state();
    for (const auto& [path, parent] : parents_) out[path] = parent.get_digest_of_childrens_state();
}

void WebViewStateDigest::get_parent_digests(std::string& out) {
    fetch_digestible_state();
    for (const auto& [path, parent] : parents_)
        out += path + " " + parent.get_digest_of_childrens_state().get_hex_string() + "\n";
}

void WebViewStateDigest::get_frozen_objects_states(std::string& out) {
    fetch_digestible_state();
    for (const auto& [path, parent] : parents_)
        for (const FrozenObject& o : parent.get_children())
            out += path + (path.empty() ? "" : "/") + o.get_name() + " " +
                   o.get_state_description() + "\n";
}

const std::set<std::string>& WebViewStateDigest::get_non_frozen_checkouts() {
    fetch_digestible_state();
    return non_frozen_checkouts_;
}

bool vdw_read_digest(WCM_Status& status, const std::function<void()>& read) {
    try {
        read();
        return true;
    } catch (const CoreVdStatusException& e) {
        status.set_status(e.code());
        status.add_text(e.get_description().c_str());
    } catch (const WebViewStateDigest::Exception& e) {
        status.set_status(TBS_ST_ERR);
        status.add_text(e.get_description().c_str());
    }
    return false;
}
