// The client side of the end-to-end tests and benchmarks.
#include "e2e/rpc_client.h"

#include <curl/curl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "e2e/cgi_process.h"
#include "e2e/test_users.h"
#include "request/vdw_req_args.h"

namespace e2e {

std::string args(const ArgList& list) {
    std::ostringstream out;
    VDW_ReqArgsGenerator gen(out);
    for (const auto& [name, value] : list) gen.add_arg(name.c_str(), value.c_str());
    return out.str();
}

std::string header(const Part* part, const char* name) {
    const std::string* v = part ? part->header(name) : nullptr;
    return v ? *v : "<missing>";
}

std::string status_of(const Response& r) {
    return header(r.status(), "Status");
}

std::string text_of(const Response& r) {
    return r.status() ? r.status()->content : "<no status part>";
}

namespace {

Response post(const std::string& url, const std::string& body, const char* content_type,
              const TestUser& user, bool accept_gzip, const OnPart& on_part) {
    struct Reading {
        MultipartReader reader{MultipartReader::Start::FIRST_BOUNDARY};
        Response response;
        const OnPart* on_part;
        static size_t write(char* data, size_t size, size_t n, void* self_ptr) {
            auto* self = static_cast<Reading*>(self_ptr);
            self->reader.feed(std::string_view(data, size * n));
            for (Part& p : self->reader.take_parts()) {
                if (*self->on_part && !(*self->on_part)(p)) return 0;  // hang up
                self->response.parts.push_back(std::move(p));
            }
            return size * n;
        }
    } reading;
    reading.on_part = &on_part;
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    CURL* curl = ready ? curl_easy_init() : nullptr;
    if (!curl) {
        reading.response.error = "curl unavailable";
        return reading.response;
    }
    const std::string login =
        std::string(user.name ? user.name : "") + ":" + (user.password ? user.password : "");
    curl_slist* headers = curl_slist_append(nullptr, content_type);
    if (accept_gzip) headers = curl_slist_append(headers, "Accept-Encoding: deflate");
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    if (user.name && *user.name) {  // no name: an anonymous request
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
        curl_easy_setopt(curl, CURLOPT_USERPWD, login.c_str());
    }
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Reading::write);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reading);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 300L);
    CURLcode rc = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);
    curl_slist_free_all(headers);
    reading.response.complete = reading.reader.complete();
    reading.response.bytes = static_cast<long long>(reading.reader.bytes_read());
    reading.response.error = rc != CURLE_OK  ? curl_easy_strerror(rc)
                             : status != 200 ? "HTTP " + std::to_string(status)
                                             : reading.reader.error();
    return reading.response;
}

}  // namespace

Response http_post(const std::string& url, const std::string& body, const TestUser& user,
                   const OnPart& on_part) {
    return post(url, body, "Content-Type: application/x-www-form-urlencoded", user, false, on_part);
}

Response post_rpc(const std::string& url, const std::string& rpc, const std::string& rpcargs,
                  const TestUser& user, const PostOptions& options) {
    // Names of the facade's RPCs ("checkout_rpc") may come without their class; others
    // ("VDW_VdtoolRpc", the XML RPCs' "BulkCheckinSnapshot") are whole.
    const std::string name = rpc.rfind("VDW_", 0) == 0 || rpc.find("_rpc") == std::string::npos
                                 ? rpc
                                 : "VDW_Vdcore::" + rpc;
    if (!options.upload)
        return post(url, form_body(name, rpcargs.c_str()),
                    "Content-Type: application/x-www-form-urlencoded", user, options.accept_gzip,
                    options.on_part);
    std::string body;
    for (const auto& [field, value] : ArgList{{"rpc", name}, {"rpcargs", rpcargs}})
        body += "--vdwebUpload\r\nContent-Disposition: form-data; name=\"" + field + "\"\r\n\r\n" +
                value + "\r\n";
    body +=
        "--vdwebUpload\r\nContent-Disposition: form-data; name=\"file\"; filename=\"upload\"\r\n"
        "Content-Type: application/octet-stream\r\n\r\n" +
        *options.upload + "\r\n--vdwebUpload--\r\n";
    return post(url, body, "Content-Type: multipart/form-data; boundary=vdwebUpload", user,
                options.accept_gzip, options.on_part);
}

// ---- the copy area ----------------------------------------------------------------------

namespace {

std::string decoded_pname(const std::string* text) {
    if (!text) return "";
    char buf[VDW_PNAME_BUF_SIZE];
    return VDW_ReqArgsParser::decode_pname(text->c_str(), buf);
}

bool gunzip(const std::string& in, std::string* out) {
    z_stream z{};
    if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK) return false;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(in.size());
    char buf[65536];
    int rc = Z_OK;
    while (rc == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(buf);
        z.avail_out = sizeof buf;
        rc = inflate(&z, Z_NO_FLUSH);
        out->append(buf, sizeof buf - z.avail_out);
        if (rc == Z_BUF_ERROR && z.avail_in == 0) break;
    }
    inflateEnd(&z);
    return rc == Z_STREAM_END;
}

}  // namespace

CopyArea::CopyArea(std::string root, std::string view_uuid)
    : root_(std::move(root)), view_uuid_(std::move(view_uuid)) {
    std::filesystem::create_directories(root_);
}

std::string CopyArea::path(const std::string& dir, const std::string& leaf) const {
    return root_ + "/" + (dir.empty() ? leaf : leaf.empty() ? dir : dir + "/" + leaf);
}

std::string CopyArea::fetch_args(const std::vector<std::string>& scopes, bool abort,
                                 const char* mode) const {
    ArgList a = {{"SyncReqBegin", ""},
                 {"ViewUuid", view_uuid_},
                 {"Mode", mode},
                 {"Preview", "0"},
                 {"AutoLoadRuleGen", "0"},
                 {"DeferLoad", "0"},
                 {"AbortInprogressSync", abort ? "1" : "0"},
                 {"ScopeCnt", std::to_string(scopes.size())}};
    for (const std::string& s : scopes) a.emplace_back("Scope", s);
    a.emplace_back("ScopeVerIdsCnt", "0");
    a.emplace_back("SyncReqEnd", "");
    a.emplace_back("SendFailures", "1");
    return args(a);
}

void CopyArea::reset() {
    items_.clear();
    applied_.clear();
    began_ = ended_ = completed_ok_ = false;
    data_parts_ = compressed_parts_ = 0;
    bytes_ = 0;
    dir_.clear();
    pending_file_.clear();
}

bool CopyArea::apply(const Part& part) {
    const std::string name = part.name();
    auto h = [&](const char* n) { return part.header(n) ? *part.header(n) : std::string(); };
    if (name == "SyncFetchBegin") {
        reset();
        began_ = true;
        session_ts_ = h("SessionTimestamp");
        session_id_ = h("SessionId");
    } else if (name == "SyncFetchEnd") {
        ended_ = true;
        completed_ok_ = h("FetchCompletedOK") == VDW_ReqArgsGenerator::encode_bool(true);
    } else if (name == "SyncDirContext") {
        dir_ = decoded_pname(part.header("Pname"));
    } else if (name == "SyncRenameElem") {
        const std::string from = path(decoded_pname(part.header("SrcDirPname")), h("SrcName"));
        const std::string to = path(decoded_pname(part.header("DstDirPname")), h("DstName"));
        std::error_code ec;
        std::filesystem::create_directories(std::filesystem::path(to).parent_path(), ec);
        std::filesystem::rename(from, to, ec);
        applied_.push_back(">" + from.substr(root_.size() + 1) + " " + to.substr(root_.size() + 1));
    } else if (name == "SyncElemInfo") {
        Item it;
        it.dir = dir_;
        it.leaf = h("Leaf");
        const std::string p = path(it.dir, it.leaf);
        std::error_code ec;
        if (!h("ShortRec").empty()) {
            if (!h("NextVerElemFailure").empty()) {
                applied_.push_back("!" + p.substr(root_.size() + 1));
                return true;
            }
            std::filesystem::remove_all(p, ec);
            it.oid = std::string(32, '0');
            items_.push_back(it);
            applied_.push_back("-" + p.substr(root_.size() + 1));
            return true;
        }
        it.oid = h("NextVerOid");
        it.dfh = h("NextVerDfh");
        it.slink = h("NextVerIsSlink") == VDW_ReqArgsGenerator::encode_bool(true);
        const std::string ftype = h("NextVerFtype");
        if (it.slink) {
            it.tgt_dfh = h("NextVerSlinkTgtDfh");
            it.tgt_leaf = h("NextVerSlinkTgtLeaf");
            std::filesystem::remove_all(p, ec);
            std::filesystem::create_directories(std::filesystem::path(p).parent_path(), ec);
            if (symlink(it.tgt_leaf.c_str(), p.c_str()) != 0) {
                error_ = "cannot link " + p;
                return false;
            }
        } else if (ftype == "Dir") {
            std::filesystem::create_directories(p, ec);
        } else if (h("NextVerCltxtOmitted") != VDW_ReqArgsGenerator::encode_bool(true)) {
            // Held only once its contents are written.
            pending_file_ = p;
            pending_item_ = it;
            applied_.push_back(p.substr(root_.size() + 1));
            return true;
        }
        items_.push_back(it);
        applied_.push_back(p.substr(root_.size() + 1));
    } else if (name == "SyncElemData") {
        if (pending_file_.empty()) {
            error_ = "a data part without its element record";
            return false;
        }
        std::string bytes = part.content;
        ++data_parts_;
        bytes_ += static_cast<long long>(bytes.size());
        if (h("Content-Type") == "application/x-gzip") {
            ++compressed_parts_;
            std::string plain;
            if (!gunzip(bytes, &plain)) {
                error_ = "a compressed part that does not decompress: " + pending_file_;
                return false;
            }
            bytes.swap(plain);
        }
        std::error_code ec;
        std::filesystem::create_directories(std::filesystem::path(pending_file_).parent_path(), ec);
        std::filesystem::remove(pending_file_, ec);
        std::ofstream out(pending_file_, std::ios::binary);
        out << bytes;
        if (!out) {
            error_ = "cannot write " + pending_file_;
            return false;
        }
        pending_file_.clear();
        items_.push_back(pending_item_);
    }
    return true;
}

std::string CopyArea::commit_args(bool cancel) const {
    ArgList a = {{"CommitReqBegin", ""},
                 {"ViewUuid", view_uuid_},
                 {"SessionTimestamp", session_ts_},
                 {"SessionId", session_id_}};
    if (cancel) a.emplace_back("SyncCancel", "");
    std::string dir;
    bool first = true;
    for (const Item& it : items_) {
        if (first || it.dir != dir) {
            a.insert(a.end(), {{"Dir", ""}, {"Pname", it.dir}, {"DirEnd", ""}});
            dir = it.dir;
            first = false;
        }
        a.insert(a.end(), {{"Item", ""}, {"Leaf", it.leaf}, {"NextVerOid", it.oid}});
        if (it.oid != std::string(32, '0')) {
            a.emplace_back("Dfh", it.dfh);
            a.emplace_back("NextVerIsSlink", VDW_ReqArgsGenerator::encode_bool(it.slink));
            if (it.slink) {
                a.emplace_back("SlinkTgtDfh", it.tgt_dfh);
                a.emplace_back("SlinkTgtLeaf", it.tgt_leaf);
            }
        }
        a.emplace_back("ItemEnd", "");
    }
    if (!cancel) {
        a.insert(a.end(), {{"SyncCompletedBegin", ""},
                           {"WasFullSync", "1"},
                           {"CompletedOK", completed_ok_ ? "1" : "0"},
                           {"SyncCompletedEnd", ""}});
    }
    a.emplace_back("CommitReqEnd", "");
    return args(a);
}

}  // namespace e2e
