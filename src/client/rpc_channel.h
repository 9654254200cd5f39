// The client's one way to the server: RPCs over HTTP (libcurl) to vdweb.cgi.
//
// Every call posts "rpc" and "rpcargs" (and, for a checkin, the file to upload, streamed
// from disk) with HTTP Basic credentials, and reads the multipart answer as it arrives,
// handing each part to the caller's sink. Questions the server asks on the way
// ("InteractionRequest" parts) are answered here, through a second request, by the asker
// the channel was given; keep-alive parts are dropped. A call succeeds only when the
// answer ended with its status part and trailer: a server process that died mid-answer
// leaves HTTP at 200 but the answer incomplete, and that is a failure.
#ifndef CLIENT_RPC_CHANNEL_H
#define CLIENT_RPC_CHANNEL_H

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "client/multipart_reader.h"

namespace client {

using ArgList = std::vector<std::pair<std::string, std::string>>;

// The argument string of an RPC.
std::string rpc_args(const ArgList& list);

struct Credentials {
    std::string url;   // the CGI's URL, e.g. http://host:8080/vdweb
    std::string user;  // empty: no credentials are sent
    std::string password;
};

// A question from the server: its elements by name. Returns the answer's elements
// ("Response" and, for text, "InputText"); empty when the question is refused.
using Asker = std::function<ArgList(const ArgList& question)>;

struct CallResult {
    bool ok = false;        // status part read, trailer read, status 0
    bool complete = false;  // status part and trailer read
    std::string status;     // the status code, "" when none came
    std::string text;       // the status text, or what went wrong on the way
    long long bytes = 0;    // bytes of the answer
    // One line for the user: "status N: text" or the transport's failure.
    std::string message() const;
};

// Called when a part of the answer is complete; false stops the call (the connection is
// dropped). Data parts may instead go to a streaming sink (see call()).
using OnPart = std::function<bool(Part& part)>;

class RpcChannel {
public:
    explicit RpcChannel(Credentials creds, Asker asker = nullptr);
    ~RpcChannel();
    RpcChannel(const RpcChannel&) = delete;
    RpcChannel& operator=(const RpcChannel&) = delete;

    // Runs `rpc` ("VDW_Vdcore::" is put in front of a bare name). Parts go to `on_part`;
    // a part for which `streams` answers true has its body handed to `on_body` in pieces
    // first. `upload`, when set, names a file sent as the request's upload.
    CallResult call(const std::string& rpc, const std::string& args, const OnPart& on_part = {},
                    const std::string* upload = nullptr,
                    const std::function<bool(const Part&)>& streams = {},
                    const std::function<bool(const char*, size_t)>& on_body = {});

    // A plain download ("cltxt/<replica>/<version>/<text mode>"); the parts as for call().
    CallResult get(const std::string& path, const OnPart& on_part,
                   const std::function<bool(const Part&)>& streams = {},
                   const std::function<bool(const char*, size_t)>& on_body = {});

    const Credentials& credentials() const { return creds_; }

private:
    struct Transfer;
    CallResult perform(const std::string& url, const std::string* form_rpc,
                       const std::string* form_args, const std::string* upload,
                       const OnPart& on_part, const std::function<bool(const Part&)>& streams,
                       const std::function<bool(const char*, size_t)>& on_body,
                       const std::string& extra_header);
    bool answer_question(const Part& part);

    Credentials creds_;
    Asker asker_;
};

}  // namespace client

#endif  // CLIENT_RPC_CHANNEL_H
