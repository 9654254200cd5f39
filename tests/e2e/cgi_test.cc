// vdweb.cgi as a process: request in through the environment and standard input, the
// whole CGI output and the exit status out.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "core/stg/stg.h"
#include "e2e/cgi_process.h"
#include "e2e/multipart.h"
#include "e2e/question_inbox.h"
#include "e2e/test_users.h"
#include "interact/ireq_msg.h"
#include "interact/ireq_request.h"
#include "ops/login/vdw_login_throttle.h"
#include "support/core_fixture.h"
#include "support/temp_dir.h"

namespace e2e {
namespace {

const char* const kSeparatorRpc = "VDW_Vdcore::get_version_separator_rpc";

// A multipart/form-data body: fields, then optionally one file part, then `closing` (the
// closing boundary line as the client sent it).
std::string form_data(const std::vector<std::pair<std::string, std::string>>& fields,
                      const std::string* file, const std::string& closing = "--XYZ--\r\n") {
    std::string body;
    for (const auto& [name, value] : fields)
        body += "--XYZ\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value +
                "\r\n";
    if (file)
        body +=
            "--XYZ\r\nContent-Disposition: form-data; name=\"file\"; filename=\"a.txt\"\r\n"
            "Content-Type: application/octet-stream\r\n\r\n" +
            *file + "\r\n";
    return body + closing;
}

Env form_data_env(const std::string& body) {
    return {{"REQUEST_METHOD", "POST"},
            {"CONTENT_TYPE", "multipart/form-data; boundary=XYZ"},
            {"CONTENT_LENGTH", std::to_string(body.size())}};
}

Env with(Env env, const std::string& name, const std::string& value) {
    env.emplace_back(name, value);
    return env;
}

// The CGI header lines a refusal puts before the response stream's own ("Status: ...",
// "Retry-After: ..."), taken off `out`.
std::string take_status_lines(std::string& out) {
    std::string lines;
    while (out.rfind("Status: ", 0) == 0 || out.rfind("Retry-After: ", 0) == 0) {
        size_t end = out.find("\r\n");
        if (end == std::string::npos) break;
        lines += out.substr(0, end + 2);
        out.erase(0, end + 2);
    }
    return lines;
}

class CgiTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(site_.ok()); }

    CgiResult run(const Env& env, const std::string& body) {
        CgiResult r = run_cgi(site_.home(), env, body);
        EXPECT_FALSE(r.timed_out) << "vdweb.cgi did not end";
        return r;
    }
    CgiResult post(const std::string& body) { return run(form_post_env(body), body); }

    // Files left in the upload directory.
    size_t uploads_left() const {
        std::error_code ec;
        size_t n = 0;
        for (auto it = std::filesystem::recursive_directory_iterator(site_.home() + "/tmp", ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
            n += it->is_regular_file() ? 1 : 0;
        return n;
    }

    TempSite site_;
};

// The reader is what every other test trusts: it must refuse each way a stream can break.
TEST(ResponseReader, RefusesBrokenStreams) {
    const std::string good = error_response(0, "ok");
    ASSERT_TRUE(read_response(good).complete) << read_response(good).error;
    const std::string b = kBoundary;
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string s = good;
        s.replace(s.find(from), from.size(), to);
        return s;
    };
    struct Case {
        const char* label;
        std::string bytes;
    } cases[] = {
        {"no CGI header", good.substr(good.find("\r\n\r\n") + 4)},
        {"other boundary", replaced("boundary=" + b, "boundary=x" + b)},
        {"content longer than its length", replaced("Content-Length: 2", "Content-Length: 1")},
        {"content shorter than its length", replaced("Content-Length: 2", "Content-Length: 3")},
        {"part not led by Content-ID", replaced("Content-ID: Status\r\n", "")},
        {"header line without a colon", replaced("HasNonOkMsg: 0", "HasNonOkMsg 0")},
        {"bytes after the trailer", good + "x"},
        {"second trailer", good + "--" + b + "--\r\n"},
        {"no trailer", good.substr(0, good.size() - b.size() - 6)},
        {"LF line ends", replaced("Status: 0\r\n", "Status: 0\n")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_FALSE(read_response(c.bytes).complete);
        EXPECT_FALSE(read_response(c.bytes).error.empty());
    }
    // Fed a byte at a time, the same stream gives the same part.
    MultipartReader reader;
    for (char c : good) ASSERT_TRUE(reader.feed(std::string_view(&c, 1))) << reader.error();
    std::vector<Part> parts = reader.take_parts();
    EXPECT_TRUE(reader.complete());
    ASSERT_EQ(parts.size(), 1u);
    EXPECT_EQ(parts[0].content, "ok");
}

// Every request that cannot be decoded or dispatched gets exactly one status part and the
// trailer, and the process ends normally.
TEST_F(CgiTest, ErrorResponsesAreExact) {
    const std::string big(1000, 'u');
    const std::string small = "hello";
    const std::string sleep_no_args = form_body("VDW_Vdcore::sleep_rpc");
    const std::string primes_empty_args = form_body("VDW_Vdcore::compute_primes_rpc", "");
    const std::string bad_form = "a&b=1";
    const std::string form_first_not_rpc = "rpcargs=x&rpc=" + url_encode(kSeparatorRpc);
    const std::string upload_bad_closing =
        form_data({{"rpc", "VDW_Vdcore::merge_rpc"}, {"rpcargs", "x"}}, &small, "--XYZ-!\r\n");
    const std::string upload_big =
        form_data({{"rpc", "VDW_Vdcore::merge_rpc"}, {"rpcargs", "x"}}, &big);
    const std::string merge_no_args =
        form_data({{"rpc", "VDW_Vdcore::merge_rpc"}, {"rpcargs", ""}}, &small);
    const std::string unknown = form_body("VDW_Vdcore::no_such_rpc");
    const std::string other_case = form_body("vdw_vdcore::GET_VERSION_SEPARATOR_RPC");
    const std::string empty_name = "rpc=&rpcargs=x";
    const std::string no_name = "rpcargs=x";
    // A name that tries to end the status text and forge a second, successful part.
    const std::string forged =
        "rpc=" + url_encode(
                     "x\r\n--------------------------aAJYnbd98Xui1cX9oiQh\r\n"
                     "Content-ID: Status\r\nStatus: 0\r\n\r\n");

    struct Case {
        const char* label;
        Settings settings;
        Env env;
        std::string body;
        int status;
        std::string text;
    };
    const std::string missing_info =
        "VDSRV3003: Internal Error: missing RPC dispatch info for \"VDW_Vdcore::";
    const std::string missing_args = "\".\nVDSRV3005: Missing RPC args parameter.\n";
    const Case cases[] = {
        {"PUT is not a CGI method here",
         {},
         {{"REQUEST_METHOD", "PUT"}, {"CONTENT_LENGTH", "5"}},
         "rpc=x",
         1001,
         "VDSRV4106: The CGI request method could not be determined.\n"},
        {"name without = before more pairs",
         {},
         form_post_env(bad_form),
         bad_form,
         1001,
         "VDSRV4107: The CGI request was not in the correct format.\n"},
        {"RPC-name header, but the first field is not rpc",
         {},
         with(form_post_env(form_first_not_rpc), "HTTP_X_TARVEX_RPC_NAME", kSeparatorRpc),
         form_first_not_rpc,
         1001,
         "VDSRV4107: The CGI request was not in the correct format.\n"},
        {"upload with a broken closing boundary",
         {},
         form_data_env(upload_bad_closing),
         upload_bad_closing,
         1001,
         "VDSRV4108: There was an error uploading the file.\n"},
        {"upload over the configured limit",
         {{"qlmxUploadLimit", "100"}},
         form_data_env(upload_big),
         upload_big,
         1001,
         "VDSRV4050: The file could not be uploaded because it exceeded the current size "
         "limit.\n"},
        {"unknown RPC",
         {},
         form_post_env(unknown),
         unknown,
         100008,
         "VDSRV4076: Unrecognized RPC request: rpc=\"VDW_Vdcore::no_such_rpc\"\n"},
        {"RPC name in another letter case",
         {},
         form_post_env(other_case),
         other_case,
         100008,
         "VDSRV4076: Unrecognized RPC request: rpc=\"vdw_vdcore::GET_VERSION_SEPARATOR_RPC\"\n"},
        {"empty RPC name",
         {},
         form_post_env(empty_name),
         empty_name,
         100008,
         "VDSRV4076: Unrecognized RPC request: rpc=\"<null>\"\n"},
        {"no RPC name",
         {},
         form_post_env(no_name),
         no_name,
         100008,
         "VDSRV4076: Unrecognized RPC request: rpc=\"<null>\"\n"},
        {"unknown RPC whose name carries line ends and the boundary",
         {},
         form_post_env(forged),
         forged,
         100008,
         "VDSRV4076: Unrecognized RPC request: rpc=\"x?"
         "?--------------------------aAJYnbd98X "
         "ui1cX9oiQh??Content-ID: Status??Status: 0????\"\n"},
        {"sleep without rpcargs",
         {},
         form_post_env(sleep_no_args),
         sleep_no_args,
         1001,
         missing_info + "sleep_rpc" + missing_args},
        {"older merge_rpc with an upload but no rpcargs",
         {},
         form_data_env(merge_no_args),
         merge_no_args,
         1001,
         "VDSRV4078: Internal Error: missing RPC dispatch info for \"VDW_Vdcore::merge_rpc\".\n"
         "VDSRV4077: Missing RPC args parameter.\n"},
        {"compute_primes with empty rpcargs",
         {},
         form_post_env(primes_empty_args),
         primes_empty_args,
         1001,
         missing_info + "compute_primes_rpc" + missing_args},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        site_.write_config(c.settings);
        CgiResult r = run(c.env, c.body);
        EXPECT_TRUE(r.exited);
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.out, error_response(c.status, c.text));
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(uploads_left(), 0u) << "an upload outlived its failed request";
    }
}

TEST_F(CgiTest, ValueThatIsNotUtf8IsRefused) {
    const std::string body = "rpc=" + url_encode(kSeparatorRpc) + "&rpcargs=ab%FF%FEcd";
    CgiResult r = post(body);
    Response resp = read_response(r.out);
    ASSERT_TRUE(resp.complete) << resp.error;
    ASSERT_EQ(resp.parts.size(), 1u);
    ASSERT_NE(resp.status(), nullptr);
    EXPECT_EQ(*resp.status()->header("Status"), "100023");
    EXPECT_EQ(resp.status()->content.rfind(
                  "VDSRV5014: Error: One or more characters in the string is not supported by "
                  "the server's operating system.\n",
                  0),
              0u)
        << resp.status()->content;
}

// The version separator, reached through each encoding a client may use for a request.
TEST_F(CgiTest, SeparatorThroughEveryRequestEncoding) {
    const std::string form = form_body(kSeparatorRpc);
    const std::string multipart = form_data({{"rpc", kSeparatorRpc}}, nullptr);
    const std::string xml = "<?xml version=\"1.0\"?><request/>";
    struct Case {
        const char* label;
        Env env;
        std::string body;
    } cases[] = {
        {"form", form_post_env(form), form},
        {"multipart form data", form_data_env(multipart), multipart},
        {"XML with the name in a header",
         {{"REQUEST_METHOD", "POST"},
          {"CONTENT_TYPE", "text/xml; charset=UTF-8"},
          {"CONTENT_LENGTH", std::to_string(xml.size())},
          {"HTTP_X_TARVEX_RPC_NAME", kSeparatorRpc}},
         xml},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        CgiResult r = run(c.env, c.body);
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.err, "");
        Response resp = read_response(r.out);
        ASSERT_TRUE(resp.complete) << resp.error << "\n" << r.out;
        ASSERT_EQ(resp.parts.size(), 2u);
        const Part& sep = resp.parts[0];
        EXPECT_EQ(sep.header_names(), (std::vector<std::string>{"Content-ID", "Content-Type",
                                                                "Content-Length", "Separator"}));
        EXPECT_EQ(sep.name(), "Separator");
        EXPECT_EQ(*sep.header("Separator"), "@@");
        EXPECT_EQ(sep.content, "");
        EXPECT_EQ(resp.status()->header_names(),
                  (std::vector<std::string>{"Content-ID", "Content-Type", "Content-Length",
                                            "Status", "HasNonOkMsg"}));
        EXPECT_EQ(*resp.status()->header("Status"), "0");
        EXPECT_EQ(*resp.status()->header("HasNonOkMsg"), "0");
    }
}

TEST_F(CgiTest, ComputePrimesWritesNumberedParts) {
    struct Case {
        int count;
        int size;
    } cases[] = {{3, 5}, {0, 5}, {2, 0}, {2, 200000}, {1, -7}};  // a negative size: no body
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.count << " parts of " << c.size << " bytes");
        std::string args = "primeCount=" + std::to_string(c.count) +
                           "\nperiodInSeconds=0\nbodySize=" + std::to_string(c.size) + "\n";
        CgiResult r = post(form_body("VDW_Vdcore::compute_primes_rpc", args.c_str()));
        Response resp = read_response(r.out);
        ASSERT_TRUE(resp.complete) << resp.error;
        ASSERT_EQ(resp.parts.size(), static_cast<size_t>(c.count) + 1);
        for (int i = 0; i < c.count; ++i) {
            const Part& p = resp.parts[static_cast<size_t>(i)];
            EXPECT_EQ(p.header_names(),
                      (std::vector<std::string>{"Content-ID", "Content-Type", "Content-Length",
                                                "Ordinal", "Prime"}));
            EXPECT_EQ(p.name(), "PrimeFound");
            EXPECT_EQ(*p.header("Content-Type"), "application/octet-stream");
            EXPECT_EQ(*p.header("Ordinal"), std::to_string(i));
            EXPECT_EQ(*p.header("Prime"), std::to_string(i));
            EXPECT_EQ(p.content, std::string(static_cast<size_t>(std::max(c.size, 0)), 'p'));
        }
        EXPECT_EQ(*resp.status()->header("Status"), "0");
    }
}

// force_exit leaves at once: the exit code is the one asked for and the stream never gets
// its status part or trailer.
TEST_F(CgiTest, ForceExitEndsWithTheCodeAndAnIncompleteStream) {
    for (int code : {0, 3, 77}) {
        SCOPED_TRACE(code);
        std::string args = "ExitCode=" + std::to_string(code) + "\n";
        CgiResult r = post(form_body("VDW_Vdcore::force_exit_rpc", args.c_str()));
        ASSERT_TRUE(r.exited);
        EXPECT_EQ(r.exit_code, code);
        Response resp = read_response(r.out);
        EXPECT_TRUE(resp.error.empty() || resp.error.find("ends before") != std::string::npos)
            << resp.error;
        EXPECT_FALSE(resp.complete);
        EXPECT_EQ(resp.status(), nullptr);
    }
}

// A GET is a download by URL: whatever it carries, no RPC runs (force_exit would end with
// its own code). Until downloads are served, every GET gets one well-formed error response.
TEST_F(CgiTest, GetIsNeverDispatched) {
    const std::string upload = form_data({{"rpc", kSeparatorRpc}}, nullptr);
    struct Case {
        const char* label;
        Env env;
        std::string body;
    } cases[] = {
        {"RPC in the query string",
         {{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", "rpc=" + url_encode(kSeparatorRpc)}},
         ""},
        {"force_exit in the query string",
         {{"REQUEST_METHOD", "GET"},
          {"QUERY_STRING", form_body("VDW_Vdcore::force_exit_rpc", "ExitCode=3\n")}},
         ""},
        {"download URL in PATH_INFO",
         {{"REQUEST_METHOD", "GET"},
          {"PATH_INFO", "/cltxt/0123456789abcdef0123456789abcdef/1/2"},
          {"QUERY_STRING", ""}},
         ""},
        {"multipart body naming an RPC",
         {{"REQUEST_METHOD", "GET"},
          {"CONTENT_TYPE", "multipart/form-data; boundary=XYZ"},
          {"CONTENT_LENGTH", std::to_string(upload.size())}},
         upload},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        CgiResult r = run(c.env, c.body);
        ASSERT_TRUE(r.exited);
        EXPECT_EQ(r.exit_code, 0);
        Response resp = read_response(r.out);
        EXPECT_TRUE(resp.complete) << resp.error;
        ASSERT_EQ(resp.parts.size(), 1u);
        ASSERT_NE(resp.status(), nullptr);
        EXPECT_NE(resp.status()->content.find("VDSRV1290: The download URL"), std::string::npos)
            << resp.status()->content;
    }  // A well-formed URL naming no VOB gets a complete error response as well.
    CgiResult r =
        run({{"REQUEST_METHOD", "GET"},
             {"HTTP_X_TARVEX_CLTXT_URL", "cltxt/0123456789abcdef0123456789abcdef/1/unix"}},
            "");
    ASSERT_TRUE(r.exited);
    EXPECT_EQ(r.exit_code, 0);
    Response resp = read_response(r.out);
    EXPECT_TRUE(resp.complete) << resp.error;
    ASSERT_NE(resp.status(), nullptr);
    EXPECT_NE(resp.status()->content.find("VDSRV1283:"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace e2e

namespace e2e {
namespace {

std::string whole_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string element(const ireq_msg_t* m, const char* name) {
    const char* v = nullptr;
    return m && ireq_msg_get_element(m, name, &v) ? v : "<missing>";
}

}  // namespace

// A question asked in this process is answered by a vdweb.cgi process serving the
// client's interaction_response_rpc, as two server processes meet during a request.
TEST_F(CgiTest, InteractionResponseAnswersTheWaitingQuestion) {
    ScopedHome home(site_.home());
    struct Asked {
        std::promise<std::string> text;
        static int deliver(const char* t, void* data) {
            static_cast<Asked*>(data)->text.set_value(t);
            return 1;
        }
    } asked;
    ireq_requestor_set_callback(&Asked::deliver, &asked);
    stg_area_t* area = stg_create_area(4096);
    ireq_msg_t* answer = nullptr;
    auto waiting = std::async(std::launch::async, [&] {
        ireq_msg_t* q = ireq_msg_create(area, "Vdprompt", "1.0", 10);
        ireq_msg_add_element(q, "kind", "text");
        return ireq_request_send("Vdprompt", "1.0", area, q, &answer, 30);
    });
    std::future<std::string> question = asked.text.get_future();
    ASSERT_EQ(question.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    stg_area_t* qa = stg_create_area(4096);
    ireq_msg_t* q = ireq_msg_from_string(qa, question.get().c_str());
    const std::string connection = element(q, "MsgConnection");
    const std::string seq = element(q, "MsgSeqID");

    // Answers naming a file the channel did not hand out, or one of its names that no request
    // waits for, write nothing.
    const std::string conf = site_.home() + "/config/qlmx/server.conf";
    const std::string before = whole_file(conf);
    const std::string unawaited = site_.home() + "/tmp/qlmx_ireqAbCd12.msg";
    for (const std::string& target :
         {conf, site_.home() + "/tmp/../config/qlmx/server.conf", unawaited}) {
        const std::string args = "MsgProtocol=Vdprompt\nMsgVersion=1.0\nMsgConnection=" + target +
                                 "\nMsgSeqID=" + seq + "\nMsgType=Message\n";
        Response bad = read_response(
            post(form_body("VDW_Vdcore::interaction_response_rpc", args.c_str())).out);
        ASSERT_TRUE(bad.complete) << bad.error;
        EXPECT_EQ(bad.parts.size(), 1u);
        EXPECT_EQ(*bad.status()->header("Status"), "1001");
    }
    EXPECT_EQ(whole_file(conf), before);
    EXPECT_FALSE(std::filesystem::exists(unawaited));

    const std::string args = "MsgProtocol=Vdprompt\nMsgVersion=1.0\nMsgConnection=" + connection +
                             "\nMsgSeqID=" + seq +
                             "\nMsgType=Message\nResponse=proceed\nInputText=two%0Alines\n";
    Response r =
        read_response(post(form_body("VDW_Vdcore::interaction_response_rpc", args.c_str())).out);
    ASSERT_TRUE(r.complete) << r.error;
    ASSERT_EQ(r.parts.size(), 2u);
    EXPECT_EQ(r.parts[0].name(), "InteractionResponseResult");
    EXPECT_EQ(*r.parts[0].header("InteractionResponseResult"), "OK");
    EXPECT_EQ(*r.status()->header("Status"), "0");

    ASSERT_EQ(waiting.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(waiting.get(), 0);
    EXPECT_EQ(element(answer, "Response"), "proceed");
    EXPECT_EQ(element(answer, "InputText"), "two\nlines");
    ireq_requestor_set_callback(nullptr, nullptr);
    stg_delete_area(qa);
    stg_delete_area(area);
}

// An upload lives only as long as its request: one that no RPC takes over is gone when the
// answer is complete, and one whose client goes away mid-body (the web server then sends
// SIGTERM) is removed before the process ends.
TEST_F(CgiTest, UploadsEndWithTheirRequest) {
    const std::string file(200000, 'f');
    const std::string body = form_data({{"rpc", kSeparatorRpc}}, &file);
    CgiResult done = run(form_data_env(body), body);
    ASSERT_TRUE(read_response(done.out).complete);
    EXPECT_EQ(uploads_left(), 0u) << "an upload nobody consumed outlived its request";

    const std::string upload_dir = site_.home() + "/tmp/QLMXuploadtmp";
    const std::string part = body.substr(0, body.size() - 1000);
    bool seen = false;
    CgiResult cut =
        run_cgi(site_.home(), form_data_env(body), part, std::chrono::seconds(60), [&](pid_t pid) {
            // The upload file exists once the body's file part has begun to arrive.
            for (int i = 0; i < 500 && !seen; ++i) {
                std::error_code ec;
                seen = std::filesystem::exists(upload_dir, ec) &&
                       !std::filesystem::is_empty(upload_dir, ec);
                if (!seen) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            kill(pid, SIGTERM);
        });
    EXPECT_TRUE(seen) << "the upload never started";
    EXPECT_EQ(cut.signal, SIGTERM);
    EXPECT_EQ(uploads_left(), 0u) << "a terminated upload was left behind";
}

// A client that stops sending its body does not hold a process: after the body deadline
// the request ends by itself, its upload removed, whichever encoding it used.
TEST_F(CgiTest, StalledBodyEndsTheRequest) {
    const std::string file(100000, 'f');
    const std::string multipart = form_data({{"rpc", kSeparatorRpc}}, &file);
    const std::string form = form_body(kSeparatorRpc) + "&x=" + std::string(5000, 'x');
    for (bool upload : {true, false}) {
        const std::string& body = upload ? multipart : form;
        Env env = with(upload ? form_data_env(body) : form_post_env(body),
                       "VDWEB_BODY_IDLE_SECONDS", "1");
        const auto start = std::chrono::steady_clock::now();
        CgiResult r = run_cgi(site_.home(), env, std::string_view(body).substr(0, body.size() / 2),
                              std::chrono::seconds(30), [](pid_t) {});
        EXPECT_FALSE(r.timed_out) << (upload ? "multipart" : "form") << " held the process";
        EXPECT_TRUE(r.exited);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
        EXPECT_EQ(uploads_left(), 0u);
    }
}

// A large form field costs about its own size in memory, in every body encoding.
TEST_F(CgiTest, LargeFieldPeakMemoryStaysNearItsSize) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer's own memory hides the decoder's";
#endif
    const size_t size = 100u << 20;
    const std::string input = site_.home() + "/body";
    for (bool multipart : {false, true}) {
        const char* what = multipart ? "multipart" : "urlencoded";
        Env env;
        {
            // Built, written and freed before the child starts (see run_cgi_reading).
            const std::string value(size, 'v');
            std::string body = multipart
                                   ? form_data({{"rpc", kSeparatorRpc}, {"big", value}}, nullptr)
                                   : form_body(kSeparatorRpc) + "&big=" + value;
            env = multipart ? form_data_env(body) : form_post_env(body);
            std::ofstream(input, std::ios::binary | std::ios::trunc)
                .write(body.data(), static_cast<std::streamsize>(body.size()));
        }
        CgiResult r = run_cgi_reading(site_.home(), env, input);
        Response resp = read_response(r.out);
        ASSERT_TRUE(resp.complete) << what << ": " << resp.error;
        ASSERT_NE(resp.status(), nullptr);
        EXPECT_EQ(*resp.status()->header("Status"), "0") << what;
        EXPECT_LE(static_cast<double>(r.max_rss_kb) * 1024, 1.5 * static_cast<double>(size))
            << what << ": peak " << r.max_rss_kb / 1024 << " MiB";
    }
}

// Login through the host: the credentials come from the request's "Authorization: Basic"
// header and are checked by PAM before any RPC runs; the login RPC negotiates the protocol.
// At the highest trace level no file the site writes holds the password.
TEST_F(CgiTest, LoginThroughTheAuthorizationHeader) {
    std::string why;
    ASSERT_TRUE(ensure_test_users(&why)) << why;
    site_.write_config({{"qlmxTraceLevel", "4"}, {"qlmxTraceSubsystem", "QLMX"}});
    const std::string args =
        "trace_subsys=\ntrace_level=0\nmeter=0\nmin_clnt_proto_ver=1\nmax_clnt_proto_ver=6\n"
        "clienttype=ClientType.CLI\nclient_supports_tnweb_browser=0\nserver_cache_tnlogin=0\n";
    const std::string body = form_body("VDW_Vdcore::login_rpc", args.c_str());
    auto login = [&](const char* authorization) {
        Env env = with(form_post_env(body), "VDWEB_ALLOW_ANONYMOUS", "0");
        if (authorization) env.emplace_back("HTTP_AUTHORIZATION", authorization);
        return run(env, body);
    };

    CgiResult anonymous = login(nullptr);
    EXPECT_EQ(anonymous.out.rfind("Status: 401 Unauthorized\r\n", 0), 0u) << anonymous.out;

    CgiResult wrong = login(basic_auth(kAlice, "guess").c_str());
    Response refused = read_response(wrong.out);
    ASSERT_TRUE(refused.complete) << refused.error;
    EXPECT_EQ(*refused.status()->header("Status"), "100001");
    EXPECT_EQ(refused.status()->content,
              "VDSRV1084: Unable to login: username or password is incorrect\n");

    CgiResult ok = login(basic_auth(kAlice).c_str());
    Response r = read_response(ok.out);
    ASSERT_TRUE(r.complete) << r.error << ok.err;
    ASSERT_EQ(*r.status()->header("Status"), "0") << r.status()->content;
    std::vector<std::string> names;
    for (const Part& p : r.parts) names.push_back(p.name());
    EXPECT_EQ(names,
              (std::vector<std::string>{"logininfo2", "logininfo3", "logininfo4",
                                        "NewFeaturesIn2007C", "additionalVersionInfo", "Status"}));
    EXPECT_EQ(*r.parts[0].header("protocolver"), "6");
    EXPECT_EQ(*r.parts[2].header("ExtNameSep"), "@@");

    std::error_code ec;
    size_t files = 0;
    for (auto it = std::filesystem::recursive_directory_iterator(site_.home(), ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_regular_file()) continue;
        ++files;
        EXPECT_EQ(whole_file(it->path()).find(kAlice.password), std::string::npos) << it->path();
    }
    EXPECT_GT(files, 1u);  // the trace was written
}

// A request is judged by its headers before its body: without credentials, with
// credentials that fail, or from a page of another origin, it is answered while its body is
// still on the way, and nothing of it is stored. The clients here send part of a large body
// and then nothing more, with the body deadline off: a process that waited for the rest
// would be killed at the limit.
TEST_F(CgiTest, RefusedRequestsAreAnsweredBeforeTheirBody) {
    std::string why;
    ASSERT_TRUE(ensure_test_users(&why)) << why;
    const std::string file(1 << 20, 'f');
    const std::string upload = form_data({{"rpc", kSeparatorRpc}}, &file);
    const std::string form = form_body(kSeparatorRpc) + "&big=" + std::string(100000, 'b');
    const std::string alice = basic_auth(kAlice);
    const std::string guess = basic_auth(kAlice, "guess");
    struct Case {
        const char* what;
        bool multipart;
        const std::string* authorization;
        const char* origin;
        const char* answer;  // its start
    } cases[] = {
        {"no credentials, upload", true, nullptr, nullptr, "Status: 401 Unauthorized\r\n"},
        {"no credentials, 400 MiB form", false, nullptr, nullptr, "Status: 401 Unauthorized\r\n"},
        {"wrong password, upload", true, &guess, nullptr, "Content-Type: multipart/mixed"},
        {"another origin, upload", true, &alice, "http://evil.example",
         "Status: 403 Forbidden\r\nContent-Type: multipart/mixed"},
    };
    for (const Case& c : cases) {
        const std::string& body = c.multipart ? upload : form;
        Env env = c.multipart ? form_data_env(body) : form_post_env(body);
        if (!c.multipart) env.back().second = std::to_string(400L << 20);  // CONTENT_LENGTH
        env = with(with(env, "VDWEB_ALLOW_ANONYMOUS", "0"), "VDWEB_BODY_IDLE_SECONDS", "0");
        env = with(with(env, "HTTP_HOST", "127.0.0.1:8080"), "REMOTE_ADDR", "192.0.2.7");
        if (c.authorization) env = with(env, "HTTP_AUTHORIZATION", *c.authorization);
        if (c.origin) env = with(env, "HTTP_ORIGIN", c.origin);
        CgiResult r = run_cgi(site_.home(), env, std::string_view(body).substr(0, body.size() / 2),
                              std::chrono::seconds(20), [](pid_t) {});
        EXPECT_FALSE(r.timed_out) << c.what << ": the process waited for the body";
        EXPECT_EQ(r.out.rfind(c.answer, 0), 0u) << c.what << "\n" << r.out.substr(0, 300);
        std::error_code ec;
        EXPECT_TRUE(std::filesystem::is_empty(site_.home() + "/tmp/QLMXuploadtmp", ec) || ec)
            << c.what << ": an upload was stored";
    }
}

// Form data over the site's limit (qlmxFormLimit) is refused with a message of its own, in
// every body encoding; within it the request is served.
TEST_F(CgiTest, FormDataOverTheLimitIsRefused) {
    site_.write_config({{"qlmxFormLimit", "10000"}});
    const std::string big(20000, 'v');
    struct Case {
        const char* what;
        std::string body;
        Env env;
    };
    const std::string form = form_body(kSeparatorRpc) + "&big=" + big;
    const std::string multipart = form_data({{"rpc", kSeparatorRpc}, {"big", big}}, nullptr);
    const std::string fits = form_body(kSeparatorRpc) + "&small=" + big.substr(0, 5000);
    for (const Case& c : {Case{"urlencoded", form, form_post_env(form)},
                          Case{"multipart", multipart, form_data_env(multipart)}}) {
        Response r = read_response(run(c.env, c.body).out);
        ASSERT_TRUE(r.complete) << c.what << ": " << r.error;
        EXPECT_EQ(*r.status()->header("Status"), "1001") << c.what;
        EXPECT_EQ(r.status()->content,
                  "VDSRV4125: The request was refused: its form data exceeds the current size "
                  "limit of 10000 bytes.\n")
            << c.what;
    }
    Response ok = read_response(post(fits).out);
    ASSERT_TRUE(ok.complete) << ok.error;
    EXPECT_EQ(*ok.status()->header("Status"), "0");
}

// Guessing passwords meets growing delays: after some wrong passwords from one address even
// the right one is refused at once, with the time to wait; from a new address the user waits
// at most the user's short cap, and from an address they logged in from before not at all.
TEST_F(CgiTest, FailedLoginsAreThrottled) {
    std::string why;
    ASSERT_TRUE(ensure_test_users(&why)) << why;
    const std::string body = form_body(kSeparatorRpc);
    struct Answer {
        std::string status_lines;
        std::string code;
        std::string text;
    };
    auto login = [&](const char* password, const char* address) {
        Env env =
            with(with(form_post_env(body), "VDWEB_ALLOW_ANONYMOUS", "0"), "REMOTE_ADDR", address);
        env = with(env, "HTTP_AUTHORIZATION", basic_auth(kAlice, password));
        CgiResult r = run(env, body);
        Answer a;
        a.status_lines = take_status_lines(r.out);
        Response resp = read_response(r.out);
        EXPECT_TRUE(resp.complete) << resp.error << r.out.substr(0, 300);
        if (resp.status()) {
            a.code = *resp.status()->header("Status");
            a.text = resp.status()->content;
        }
        return a;
    };
    auto retry_after = [](const Answer& a) {
        size_t at = a.status_lines.find("Retry-After: ");
        return at == std::string::npos ? 0 : atoi(a.status_lines.c_str() + at + 13);
    };
    ASSERT_EQ(login(nullptr, "198.51.100.1").code, "0");  // alice's own address

    // Each guess goes as soon as it is allowed, until the guesser is told to wait a while.
    int checked = 0;
    int wait = 0;
    for (int i = 0; i < 20 && wait < 5; ++i) {
        Answer a = login("guess", "192.0.2.7");
        wait = retry_after(a);
        if (wait == 0) {
            EXPECT_EQ(a.text, "VDSRV1084: Unable to login: username or password is incorrect\n");
            ++checked;
        } else if (wait < 5) {
            std::this_thread::sleep_for(std::chrono::seconds(wait));
        }
    }
    ASSERT_GE(wait, 5) << "guessing was never slowed down";
    EXPECT_GE(checked, VDW_LoginThrottle::USER_POLICY.free_failures + 1);

    Answer right = login(nullptr, "192.0.2.7");
    EXPECT_EQ(right.status_lines.rfind("Status: 429 Too Many Requests\r\nRetry-After: ", 0), 0u)
        << right.status_lines;
    EXPECT_EQ(right.code, "100001");
    EXPECT_EQ(right.text, "VDSRV4126: Unable to login: too many failed logins; try again in " +
                              std::to_string(retry_after(right)) + " s.\n");

    Answer elsewhere = login(nullptr, "203.0.113.9");
    EXPECT_GT(retry_after(elsewhere), 0);
    EXPECT_LE(retry_after(elsewhere), VDW_LoginThrottle::USER_POLICY.max_delay_s);
    EXPECT_EQ(login(nullptr, "198.51.100.1").code, "0");

    struct stat st;
    ASSERT_EQ(stat((site_.home() + "/tmp/login-throttle").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
}

// A trigger asks the remote user: a pre-checkin trigger runs vdprompt, whose question the
// operation's process passes on while the trigger runs, and the answer, given through a
// vdweb.cgi process serving interaction_response_rpc, decides whether the checkin happens.
TEST_F(CgiTest, TriggerAsksTheRemoteUserThroughVdprompt) {
    ScopedHome home(site_.home());
    // The checkin runs on another thread: the core's messages are dropped rather than
    // gathered by two threads at once.
    Captured cap;
    const imsg_redirect_table_t saved = redirect_messages(drop_message, nullptr);
    const std::string storage = site_.home() + "/t.vbs";
    ASSERT_EQ(run_vdtool(&cap, {"mkvob", "-tag", "/vobs/t", storage}), 0) << cap.text;
    const std::string src = site_.home() + "/f.txt";
    write_file(src, "one\n");
    ASSERT_EQ(mkelem_ci("/vobs/t/f.txt", false, src), 0);
    ASSERT_EQ(run_vdtool(&cap, {"mktrtype", "-element", "-all", "-preop", "checkin", "-exec",
                                std::string(VDPROMPT_PATH) +
                                    " proceed -prompt \"Check in $VD_PNAME?\" -default abort",
                                "ask@/vobs/t"}),
              0)
        << cap.text;

    QuestionInbox asked;
    ASSERT_EQ(ireq_listener_start(&QuestionInbox::deliver, &asked), 0);
    size_t questions = 0;
    for (const char* answer : {"abort", "proceed"}) {
        SCOPED_TRACE(answer);
        write_file(src, std::string("changed, ") + answer + "\n");
        ASSERT_EQ(run_vdtool(&cap, {"checkout", "-nc", "/vobs/t/f.txt"}), 0) << cap.text;
        auto checkin = std::async(std::launch::async, [&] {
            Captured mine;
            return run_vdtool(&mine, {"checkin", "-nc", "-from", src, "/vobs/t/f.txt"});
        });
        const std::string question = asked.next(questions++);
        ASSERT_FALSE(question.empty()) << "no question reached the client";
        stg_area_t* qa = stg_create_area(4096);
        ireq_msg_t* q = ireq_msg_from_string(qa, question.c_str());
        EXPECT_EQ(element(q, "kind"), "proceed");
        EXPECT_EQ(element(q, "prompt"), "Check in /vobs/t/f.txt?");
        EXPECT_EQ(element(q, "mask"), "abort proceed");
        const std::string args =
            "MsgProtocol=Vdprompt\nMsgVersion=1.0\nMsgConnection=" + element(q, "MsgConnection") +
            "\nMsgSeqID=" + element(q, "MsgSeqID") + "\nMsgType=Message\nResponse=" + answer + "\n";
        stg_delete_area(qa);
        Response r = read_response(
            post(form_body("VDW_Vdcore::interaction_response_rpc", args.c_str())).out);
        ASSERT_TRUE(r.complete) << r.error;
        EXPECT_EQ(*r.status()->header("Status"), "0") << r.status()->content;
        ASSERT_EQ(checkin.wait_for(std::chrono::seconds(30)), std::future_status::ready);
        if (std::string(answer) == "abort") {
            EXPECT_EQ(checkin.get(), TBS_ST_TRIGGER_FAILED);
            EXPECT_EQ(idstr("/vobs/t/f.txt"), "/main/CHECKEDOUT");
            ASSERT_EQ(run_vdtool(&cap, {"uncheckout", "/vobs/t/f.txt"}), 0) << cap.text;
        } else {
            EXPECT_EQ(checkin.get(), TBS_ST_OK);
            EXPECT_EQ(idstr("/vobs/t/f.txt"), "/main/2");
        }
    }
    ireq_listener_stop();
    imsg_set_redirect_table(saved);
}

}  // namespace e2e
