// What the end-to-end tests and benchmarks need to drive the server as a client does: RPC
// argument strings, POSTs through the web server with HTTP Basic credentials (an upload
// file among the form fields when there is one), and a copy area that applies the records of
// a web-view fetch to a directory and writes the commit that confirms them.
#ifndef VDWEB_TESTS_E2E_RPC_CLIENT_H
#define VDWEB_TESTS_E2E_RPC_CLIENT_H

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "e2e/multipart.h"

namespace e2e {

struct TestUser;

using ArgList = std::vector<std::pair<std::string, std::string>>;

// An argument string as a client writes it (line feeds in values become "%0A").
std::string args(const ArgList& list);

// A header's value, or "<missing>".
std::string header(const Part* part, const char* name);
// The final status part's code, and its text for the messages of failed checks.
std::string status_of(const Response& r);
std::string text_of(const Response& r);

// One POST of `rpc` ("VDW_Vdcore::..." added) through the web server as `user` (a user
// without a name sends no credentials); `on_part`
// (may be empty) sees each part as it arrives, while the response is still open, and may
// return false to hang up. With `upload` set, the body is multipart/form-data with that file
// content as its upload.
using OnPart = std::function<bool(const Part&)>;
struct PostOptions {
    const std::string* upload = nullptr;
    bool accept_gzip = true;  // the client takes compressed parts
    OnPart on_part;
};
Response post_rpc(const std::string& url, const std::string& rpc, const std::string& rpcargs,
                  const TestUser& user, const PostOptions& options = {});
// A POST of a ready body.
Response http_post(const std::string& url, const std::string& body, const TestUser& user,
                   const OnPart& on_part = nullptr);

// A client's copy area of one web view: the fetch's records applied to `root` as they
// arrive, and the commit request that confirms them.
class CopyArea {
public:
    CopyArea(std::string root, std::string view_uuid);

    // The fetch request: the whole view, or the given scopes.
    std::string fetch_args(const std::vector<std::string>& scopes = {}, bool abort = false,
                           const char* mode = "SyncFromVob") const;
    // Applies one part of a fetch's response; false (and `error()`) when it cannot.
    bool apply(const Part& part);
    // The commit of everything applied since the last fetch began.
    std::string commit_args(bool cancel = false) const;
    // Forgets the applied items (after a commit).
    void reset();

    const std::string& root() const { return root_; }
    const std::string& view_uuid() const { return view_uuid_; }
    const std::string& error() const { return error_; }
    bool began() const { return began_; }
    bool ended() const { return ended_; }
    bool completed_ok() const { return completed_ok_; }
    const std::string& session_id() const { return session_id_; }
    // Element records ("dir/leaf") and unloads ("-dir/leaf") applied, in order.
    const std::vector<std::string>& applied() const { return applied_; }
    size_t data_parts() const { return data_parts_; }
    size_t compressed_parts() const { return compressed_parts_; }
    long long bytes() const { return bytes_; }

private:
    struct Item {
        std::string dir, leaf, oid, dfh;
        bool slink = false;
        std::string tgt_dfh, tgt_leaf;
    };
    std::string path(const std::string& dir, const std::string& leaf) const;

    std::string root_;
    std::string view_uuid_;
    std::string dir_;
    std::string session_ts_, session_id_;
    bool began_ = false, ended_ = false, completed_ok_ = false;
    std::string pending_file_;  // the file the next data part fills
    Item pending_item_;         // and its record, held once it is filled
    std::vector<Item> items_;
    std::vector<std::string> applied_;
    size_t data_parts_ = 0, compressed_parts_ = 0;
    long long bytes_ = 0;
    std::string error_;
};

}  // namespace e2e

#endif
