// Parts of a fetch's answer as the server writes them, built for the applier's tests.
#ifndef TESTS_CLIENT_SYNC_PARTS_H
#define TESTS_CLIENT_SYNC_PARTS_H

#include <string>
#include <utility>
#include <vector>

#include "client/rpc_channel.h"

namespace client {

// A part named `name` with `headers` (its length stated last) and `content`.
inline Part sync_part(const std::string& name,
                      std::vector<std::pair<std::string, std::string>> headers,
                      std::string content = "") {
    Part p;
    p.headers.emplace_back("Content-ID", name);
    for (auto& h : headers) p.headers.push_back(std::move(h));
    p.headers.emplace_back("Content-Length", std::to_string(content.size()));
    p.content = std::move(content);
    return p;
}

// The directory the element records that follow are in.
inline Part sync_dir(const std::string& pname) {
    return sync_part("SyncDirContext", {{"Pname", pname}});
}

}  // namespace client

#endif
