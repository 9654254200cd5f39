// The client's one way to the server: RPCs over HTTP (libcurl) to vdweb.cgi.
#include "client/rpc_channel.h"

#include <curl/curl.h>

#include <cstring>
#include <sstream>

#include "client/crash_hook.h"
#include "core/stg/stg.h"
#include "interact/ireq_msg.h"
#include "request/vdw_req_args.h"

namespace client {

namespace {

const char* const kRpcPrefix = "VDW_Vdcore::";

bool curl_ready() {
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ready;
}

std::string escape(CURL* curl, const std::string& s) {
    char* e = curl_easy_escape(curl, s.data(), static_cast<int>(s.size()));
    std::string out = e ? e : "";
    curl_free(e);
    return out;
}

// The boundary of a "multipart/mixed; boundary=B" content type, or "".
std::string boundary_of(const std::string& content_type) {
    const std::string key = "boundary=";
    size_t at = content_type.find(key);
    if (at == std::string::npos) return "";
    std::string b = content_type.substr(at + key.size());
    size_t end = b.find_first_of("; \r\n");
    if (end != std::string::npos) b.resize(end);
    if (b.size() >= 2 && b.front() == '"' && b.back() == '"') b = b.substr(1, b.size() - 2);
    return b.size() <= 70 ? b : "";
}

}  // namespace

std::string rpc_args(const ArgList& list) {
    std::ostringstream out;
    VDW_ReqArgsGenerator gen(out);
    for (const auto& [name, value] : list) gen.add_arg(name.c_str(), value.c_str());
    return out.str();
}

std::string CallResult::message() const {
    if (!status.empty()) {
        std::string t = text;
        while (!t.empty() && (t.back() == '\n' || t.back() == '\r')) t.pop_back();
        while (!t.empty() && t.front() == '\n') t.erase(0, 1);
        return t.empty() ? "the server answered status " + status : t + " (status " + status + ")";
    }
    return text;
}

// One transfer: the answer's bytes fed to the reader, its parts to the caller.
struct RpcChannel::Transfer : PartSink {
    RpcChannel* channel = nullptr;
    const OnPart* on_part = nullptr;
    const std::function<bool(const Part&)>* streams_fn = nullptr;
    const std::function<bool(const char*, size_t)>* on_body = nullptr;
    std::string content_type;
    std::unique_ptr<MultipartReader> reader;
    Part status;
    bool have_status = false;
    bool parts_after_status = false;
    long long bytes = 0;
    std::string failure;

    bool streams(const Part& part) override {
        return *streams_fn && *on_body && (*streams_fn)(part);
    }
    bool body(const char* data, size_t n) override { return (*on_body)(data, n); }
    bool end(Part& part) override {
        const std::string& name = part.name();
        if (have_status) parts_after_status = true;
        if (name == "Status") {
            status = part;
            have_status = true;
            return true;
        }
        if (name == "KeepAlive") return true;
        if (name == "InteractionRequest") return channel->answer_question(part);
        return !*on_part || (*on_part)(part);
    }

    static size_t header(char* data, size_t size, size_t n, void* self_ptr) {
        auto* self = static_cast<Transfer*>(self_ptr);
        std::string line(data, size * n);
        static const char kName[] = "content-type:";
        if (line.size() > sizeof kName - 1 &&
            strncasecmp(line.c_str(), kName, sizeof kName - 1) == 0) {
            self->content_type = line.substr(sizeof kName - 1);
            // A redirect's or a 100-continue's headers come first: the last one counts.
            self->reader.reset();
        }
        return size * n;
    }
    static size_t write(char* data, size_t size, size_t n, void* self_ptr) {
        auto* self = static_cast<Transfer*>(self_ptr);
        if (!self->reader) {
            const std::string b = boundary_of(self->content_type);
            if (b.empty()) {
                self->failure = "the server's answer is not an RPC response";
                return 0;
            }
            self->reader = std::make_unique<MultipartReader>(b, *self);
        }
        self->bytes += static_cast<long long>(size * n);
        if (!self->reader->feed(std::string_view(data, size * n))) {
            if (!self->reader->stopped_by_sink()) self->failure = self->reader->error();
            return 0;
        }
        return size * n;
    }
};

RpcChannel::RpcChannel(Credentials creds, Asker asker)
    : creds_(std::move(creds)), asker_(std::move(asker)) {}

RpcChannel::~RpcChannel() {
    if (!creds_.password.empty()) {
        volatile char* p = creds_.password.data();
        for (size_t i = 0; i < creds_.password.size(); ++i) p[i] = 0;
    }
}

CallResult RpcChannel::call(const std::string& rpc, const std::string& args, const OnPart& on_part,
                            const std::string* upload,
                            const std::function<bool(const Part&)>& streams,
                            const std::function<bool(const char*, size_t)>& on_body) {
    const std::string name =
        rpc.find("::") == std::string::npos && rpc.rfind("VDW_", 0) != 0 ? kRpcPrefix + rpc : rpc;
    crash_step();
    CallResult r = perform(creds_.url, &name, &args, upload, on_part, streams, on_body, "");
    crash_step();
    return r;
}

CallResult RpcChannel::get(const std::string& path, const OnPart& on_part,
                           const std::function<bool(const Part&)>& streams,
                           const std::function<bool(const char*, size_t)>& on_body) {
    // The download names what it wants in a header of its own, beside the CGI's URL.
    crash_step();
    CallResult r = perform(creds_.url, nullptr, nullptr, nullptr, on_part, streams, on_body,
                           "X-Tarvex-Cltxt-Url: " + path);
    crash_step();
    return r;
}

CallResult RpcChannel::perform(const std::string& url, const std::string* form_rpc,
                               const std::string* form_args, const std::string* upload,
                               const OnPart& on_part,
                               const std::function<bool(const Part&)>& streams,
                               const std::function<bool(const char*, size_t)>& on_body,
                               const std::string& extra_header) {
    CallResult result;
    CURL* curl = curl_ready() ? curl_easy_init() : nullptr;
    if (!curl) {
        result.text = "cannot start an HTTP transfer";
        return result;
    }
    Transfer t;
    t.channel = this;
    t.on_part = &on_part;
    t.streams_fn = &streams;
    t.on_body = &on_body;
    // Compressed parts are welcome: the server sends a content it holds compressed as it is.
    curl_slist* headers = curl_slist_append(nullptr, "Accept-Encoding: deflate");
    headers = curl_slist_append(headers, "Expect:");
    if (!extra_header.empty()) headers = curl_slist_append(headers, extra_header.c_str());
    std::string body;
    curl_mime* mime = nullptr;
    if (form_rpc && upload) {
        mime = curl_mime_init(curl);
        curl_mimepart* p = curl_mime_addpart(mime);
        curl_mime_name(p, "rpc");
        curl_mime_data(p, form_rpc->c_str(), CURL_ZERO_TERMINATED);
        p = curl_mime_addpart(mime);
        curl_mime_name(p, "rpcargs");
        curl_mime_data(p, form_args->data(), form_args->size());
        p = curl_mime_addpart(mime);
        curl_mime_name(p, "file");
        if (curl_mime_filedata(p, upload->c_str()) != CURLE_OK) {
            curl_mime_free(mime);
            curl_slist_free_all(headers);
            curl_easy_cleanup(curl);
            result.text = "cannot read " + *upload;
            return result;
        }
        curl_mime_filename(p, "upload");
        curl_mime_type(p, "application/octet-stream");
        curl_easy_setopt(curl, CURLOPT_MIMEPOST, mime);
    } else if (form_rpc) {
        body = "rpc=" + escape(curl, *form_rpc) + "&rpcargs=" + escape(curl, *form_args);
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    }
    const std::string login = creds_.user + ":" + creds_.password;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    if (!creds_.user.empty()) {
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
        curl_easy_setopt(curl, CURLOPT_USERPWD, login.c_str());
    }
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &Transfer::header);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Transfer::write);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 30L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    CURLcode rc = curl_easy_perform(curl);
    long http = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &http);
    curl_easy_cleanup(curl);
    curl_mime_free(mime);
    curl_slist_free_all(headers);

    result.bytes = t.bytes;
    result.complete = t.have_status && t.reader && t.reader->complete() && !t.parts_after_status;
    if (t.have_status) {
        result.status = t.status.header("Status");
        result.text = t.status.content;
    }
    if (http == 401) {
        result.status.clear();
        result.text = "the server wants credentials: log in with `vdweb login URL --user NAME`";
    } else if (!t.have_status && !t.reader && http != 200) {
        result.text = "the server answered HTTP " + std::to_string(http) +
                      " without an RPC response: its process died or failed";
    } else if (!t.have_status && !t.failure.empty()) {
        result.text = t.failure;
    } else if (rc != CURLE_OK && !(t.reader && t.reader->stopped_by_sink())) {
        if (!t.have_status)
            result.text = std::string("HTTP transfer failed: ") + curl_easy_strerror(rc);
    } else if (http != 200 && !t.have_status) {
        result.text = "the server answered HTTP " + std::to_string(http);
    }
    if (!result.complete && !t.have_status && result.text.empty())
        result.text = "the server's answer ended before its status: the server process died";
    if (t.have_status && !result.complete && !(t.reader && t.reader->stopped_by_sink()) &&
        result.status == "0") {
        result.status.clear();
        result.text = "the server's answer is incomplete";
    }
    result.ok = result.complete && result.status == "0";
    return result;
}

bool RpcChannel::answer_question(const Part& part) {
    stg_scoped_area area;
    ireq_msg_t* q = ireq_msg_from_string(area.get(), part.content.c_str());
    if (!q) return true;  // nothing to answer: the asker times out on the server
    ArgList question;
    int index = -1;
    while (const char* key = ireq_msg_next_key(q, &index)) {
        const char* value = nullptr;
        ireq_msg_get_element(q, key, &value);
        question.emplace_back(key, value ? value : "");
    }
    auto element = [&](const char* name) {
        for (const auto& [k, v] : question)
            if (k == name) return v;
        return std::string();
    };
    ArgList answer;
    if (asker_) {
        answer = asker_(question);
    } else {
        std::string def = element("default");
        def = def.substr(0, def.find(' '));
        answer = {{"Response", def.empty() ? "abort" : def}, {"InputText", ""}};
    }
    ArgList reply = {{IREQ_MSG_PROTOCOL, element(IREQ_MSG_PROTOCOL)},
                     {IREQ_MSG_VERSION, element(IREQ_MSG_VERSION)},
                     {IREQ_MSG_CONNECTION, element(IREQ_MSG_CONNECTION)},
                     {IREQ_MSG_SEQID, element(IREQ_MSG_SEQID)},
                     {IREQ_MSG_TYPE, answer.empty() ? IREQ_MSG_TYPE_ERROR : IREQ_MSG_TYPE_MESSAGE}};
    reply.insert(reply.end(), answer.begin(), answer.end());
    RpcChannel second(creds_, nullptr);
    CallResult r = second.call("interaction_response_rpc", rpc_args(reply));
    return true;  // a refused answer shows in the operation's own status
}

}  // namespace client
