// WebViewStateDigest: what a web view's record says its client's copy area holds, in a
// canonical text and reduced to SHA-256 digests, so that a client keeping the same text of
// its own copy area can compare one hash with the server's and, when they differ, one hash
// per directory to find where.
//
// The record is read once, on the first query, under a reader's load session (which never
// conflicts and changes nothing). Each object of the record is a FrozenObject under the
// FrozenObjectParent of its directory; children are ordered by name and parents by path,
// comparing bytes of the UTF-8 text as unsigned values. A symbolic link is described by what
// it leads to. Failures of core calls throw CoreVdStatusException naming the operation.
#ifndef WEBVIEW_VDW_VIEW_STATE_DIGEST_H
#define WEBVIEW_VDW_VIEW_STATE_DIGEST_H

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/sum/sum_string.h"
#include "core/sum/sum_view.h"

// SHA-256 of a byte stream.
class Sha256 {
public:
    struct MessageDigest {
        uint32_t words[8] = {};
        // The 64 lower-case hexadecimal digits of the digest.
        std::string get_hex_string() const;
    };
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;
    void add_message_bytes(const void* bytes, size_t length);
    void add_message_byte(unsigned char byte) { add_message_bytes(&byte, 1); }
    MessageDigest get_message_digest();

private:
    void* ctx_;
};

class FrozenObjectParent;

class FrozenObject {
public:
    FrozenObject(FrozenObjectParent& parent, std::string name, std::string directory)
        : parent_(&parent), name_(std::move(name)), directory_(std::move(directory)) {}

    const std::string& get_name() const { return name_; }
    std::string get_path() const { return directory_.empty() ? name_ : directory_ + "/" + name_; }
    const SUM_Uuid& get_vob() const { return vob_; }
    void set_vob(const SUM_Uuid& vob) { vob_ = vob; }
    const SUM_Oid& get_oid() const { return oid_; }
    void set_oid(const SUM_Oid& oid) { oid_ = oid; }
    bool get_is_checked_out() const { return is_checked_out_; }
    void set_is_checked_out(bool yes) { is_checked_out_ = yes; }
    int get_mtype() const { return mtype_; }
    void set_mtype(int mtype) { mtype_ = mtype; }

    // type "|" checkout "|" oid: "FType.DIRECTORY|false|<oid>".
    std::string get_state_description() const;
    // name "|" state description "\n".
    std::string get_one_line_state_description() const;
    bool operator<(const FrozenObject& other) const { return name_ < other.name_; }

private:
    FrozenObjectParent* parent_;
    std::string name_;
    std::string directory_;
    SUM_Uuid vob_;
    SUM_Oid oid_;
    bool is_checked_out_ = false;
    int mtype_ = 0;
};

class FrozenObjectParent {
public:
    explicit FrozenObjectParent(std::string path = "") : path_(std::move(path)) {}
    const std::string& get_path() const { return path_; }
    void set_path(const std::string& path) { path_ = path; }
    FrozenObject& add_child(const std::string& name);
    std::vector<FrozenObject>& get_children() { return children_; }
    const std::vector<FrozenObject>& get_children() const { return children_; }
    // Every child's line, in order.
    std::string get_multi_line_state_description() const;
    // path "|" hex digest "\n".
    std::string get_one_line_state_description() const;
    Sha256::MessageDigest get_digest_of_childrens_state() const;
    bool operator<(const FrozenObjectParent& other) const { return path_ < other.path_; }

private:
    std::string path_;
    std::vector<FrozenObject> children_;
};

class WebViewStateDigest {
public:
    class Exception {
    public:
        explicit Exception(std::string text) : text_(std::move(text)) {}
        const std::string& get_description() const { return text_; }

    private:
        std::string text_;
    };

    // Every object of the view; those at or below one view-relative pathname; those whose
    // directory is one of a set of view-relative directories.
    explicit WebViewStateDigest(const SUM_View& view);
    WebViewStateDigest(const SUM_View& view, const std::string& pathname);
    WebViewStateDigest(const SUM_View& view, const std::set<std::string>& directories);

    Sha256::MessageDigest get_digest();
    void get_parent_digests(std::map<std::string, Sha256::MessageDigest>& out);
    // For every directory in path order: path " " hex digest "\n".
    void get_parent_digests(std::string& out);
    // For every object: its path, " ", its state description, "\n".
    void get_frozen_objects_states(std::string& out);
    // This view's checked-out versions that no object of the record holds, by their
    // version-extended pathnames.
    const std::set<std::string>& get_non_frozen_checkouts();
    int wso_count() const { return wso_count_; }

private:
    enum class Relevance { ALL, BELOW, DIRECTORIES };
    bool relevant(const std::string& directory, const std::string& name) const;
    bool relevant_version_path(const std::string& path) const;
    void fetch_digestible_state();

    SUM_View view_;
    Relevance relevance_ = Relevance::ALL;
    std::string pathname_;
    std::set<std::string> directories_;
    std::map<std::string, FrozenObjectParent> parents_;
    std::set<std::string> vobs_;  // replica uuids, as text
    std::set<std::string> non_frozen_checkouts_;
    int wso_count_ = 0;
    bool fetched_ = false;
};

class WCM_Status;

// Runs `read`, whose digest queries may fail, and turns such a failure into `status`'s code
// and text; false then.
bool vdw_read_digest(WCM_Status& status, const std::function<void()>& read);

#endif
