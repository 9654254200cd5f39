// The browser client at /vdweb-ui/ in headless Chromium, driven through chromedriver's
// WebDriver API: sign in, a VOB's directories, an element's history and version tree, a
// diff of two versions, and a file whose name is markup. The version tree and the diff are
// saved as screenshots for a person to look at (ui-screenshots/ in the build tree).
#include <curl/curl.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/lighttpd_server.h"
#include "e2e/site_test.h"
#include "e2e/test_users.h"
#include "support/core_fixture.h"
#include "support/temp_dir.h"

namespace e2e {
namespace {

using namespace std::chrono_literals;

const char* const kChromedriver = "/usr/bin/chromedriver";
const char* const kChromium = "/usr/bin/chromium";
const char* const kElementKey = "element-6066-11e4-a52e-4f735466cecf";
const std::string kMarkupName = "<img src=x onerror=alert(1)>.txt";

std::string json_string(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// The JSON string starting at `at` (its opening quote), unescaped; UTF-16 escapes outside the
// ASCII range are kept as '?', which no check here needs.
std::string parse_string(const std::string& json, size_t at) {
    std::string out;
    for (size_t i = at + 1; i < json.size() && json[i] != '"'; ++i) {
        if (json[i] != '\\' || i + 1 == json.size()) {
            out += json[i];
            continue;
        }
        const char e = json[++i];
        switch (e) {
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'u': {
                const unsigned code = std::stoul(json.substr(i + 1, 4), nullptr, 16);
                out += code < 0x80 ? static_cast<char>(code) : '?';
                i += 4;
                break;
            }
            default:
                out += e;
        }
    }
    return out;
}

// The string value of the first "key" in `json`, or "".
std::string string_field(const std::string& json, const std::string& key) {
    const std::string k = json_string(key) + ":";
    size_t at = json.find(k);
    if (at == std::string::npos) return "";
    at = json.find('"', at + k.size());
    return at == std::string::npos ? "" : parse_string(json, at);
}

size_t collect(char* data, size_t size, size_t n, void* out) {
    static_cast<std::string*>(out)->append(data, size * n);
    return size * n;
}

// One HTTP request; the body of the answer, the status in `code`, the response headers in
// `headers` when asked.
std::string http(const std::string& method, const std::string& url, const std::string& body,
                 long* code = nullptr, std::string* headers = nullptr) {
    CURL* c = curl_easy_init();
    std::string out;
    curl_slist* h = curl_slist_append(nullptr, "Content-Type: application/json");
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, method.c_str());
    if (method == "POST") curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, h);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &out);
    if (headers) {
        curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, collect);
        curl_easy_setopt(c, CURLOPT_HEADERDATA, headers);
    }
    curl_easy_setopt(c, CURLOPT_TIMEOUT, 120L);
    long status = 0;
    if (curl_easy_perform(c) == CURLE_OK) curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    if (code) *code = status;
    curl_slist_free_all(h);
    curl_easy_cleanup(c);
    return out;
}

std::string base64_decode(const std::string& in) {
    static const std::string abc =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned bits = 0;
    int have = 0;
    for (char ch : in) {
        const size_t v = abc.find(ch);
        if (v == std::string::npos) continue;  // padding and line breaks
        bits = bits << 6 | static_cast<unsigned>(v);
        have += 6;
        if (have >= 8) {
            have -= 8;
            out += static_cast<char>((bits >> have) & 0xff);
        }
    }
    return out;
}

// chromedriver on a loopback port and one headless Chromium session through it.
class Browser {
public:
    Browser() {
        if (access(kChromedriver, X_OK) != 0 || access(kChromium, X_OK) != 0) {
            failure_ = "chromium and chromium-driver are not installed";
            return;
        }
        port_ = free_loopback_port();
        const std::string log = profile_.path() + "/chromedriver.log";
        pid_ = fork();
        if (pid_ == 0) {
            const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            if (fd >= 0) {
                dup2(fd, 1);
                dup2(fd, 2);
            }
            const std::string port = "--port=" + std::to_string(port_);
            execl(kChromedriver, kChromedriver, port.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 200 && !accepts_connections(port_); ++i)
            std::this_thread::sleep_for(50ms);
        const std::string caps =
            std::string("{\"capabilities\":{\"alwaysMatch\":{\"browserName\":\"chrome\",") +
            "\"unhandledPromptBehavior\":\"ignore\",\"goog:chromeOptions\":{\"binary\":" +
            json_string(kChromium) +
            ",\"args\":[\"--headless=new\",\"--no-sandbox\",\"--disable-gpu\","
            "\"--disable-dev-shm-usage\",\"--window-size=1100,900\",\"--user-data-dir=" +
            profile_.path() + "/profile\"]}}}}";
        const std::string r = http("POST", base() + "/session", caps);
        session_ = string_field(r, "sessionId");
        if (session_.empty()) failure_ = "Chromium does not start: " + r.substr(0, 600);
    }
    ~Browser() {
        if (!session_.empty()) http("DELETE", base() + "/session/" + session_, "");
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    Browser(const Browser&) = delete;
    Browser& operator=(const Browser&) = delete;

    const std::string& failure() const { return failure_; }

    std::string command(const std::string& method, const std::string& path,
                        const std::string& body = "{}") {
        return http(method, base() + "/session/" + session_ + path, body);
    }
    void go(const std::string& url) {
        command("POST", "/url", "{\"url\":" + json_string(url) + "}");
    }
    // The raw JSON value a script returns.
    std::string run(const std::string& script) {
        const std::string r = command("POST", "/execute/sync",
                                      "{\"script\":" + json_string(script) + ",\"args\":[]}");
        const std::string prefix = "{\"value\":";
        return r.rfind(prefix, 0) == 0 ? r.substr(prefix.size(), r.size() - prefix.size() - 1) : r;
    }
    std::string text(const std::string& script) { return parse_string(run(script), 0); }
    // Waits until the expression is true; false after 30 seconds.
    bool wait(const std::string& expression) {
        for (int i = 0; i < 300; ++i) {
            if (run("return !!(" + expression + ");") == "true") return true;
            std::this_thread::sleep_for(100ms);
        }
        return false;
    }
    std::string element(const std::string& css) {
        return string_field(
            command("POST", "/element",
                    "{\"using\":\"css selector\",\"value\":" + json_string(css) + "}"),
            kElementKey);
    }
    void type(const std::string& css, const std::string& keys) {
        command("POST", "/element/" + element(css) + "/value",
                "{\"text\":" + json_string(keys) + "}");
    }
    void click(const std::string& css) { command("POST", "/element/" + element(css) + "/click"); }
    // Whether an alert, confirm or prompt is open.
    bool dialog_open() {
        long code = 0;
        http("GET", base() + "/session/" + session_ + "/alert/text", "", &code);
        return code == 200;
    }
    void screenshot(const std::string& name) {
        std::filesystem::create_directories(VDWEB_SCREENSHOT_DIR);
        std::ofstream(std::string(VDWEB_SCREENSHOT_DIR) + "/" + name, std::ios::binary)
            << base64_decode(string_field(command("GET", "/screenshot", ""), "value"));
    }

private:
    std::string base() const { return "http://127.0.0.1:" + std::to_string(port_); }

    TempDir profile_;
    int port_ = 0;
    pid_t pid_ = -1;
    std::string session_;
    std::string failure_;
};

class BrowserTest : public SiteTest {
protected:
    void SetUp() override {
        SiteTest::SetUp();
        if (HasFatalFailure()) return;
        const std::string home = site_.home();
        auto content = [&](const char* name, const char* text) {
            return write_file(home + "/" + name, text);
        };
        const std::string hello = "/vobs/demo/src/hello.c";
        vdtool_lines({
            {"mkvob", "-tag", "/vobs/demo", home + "/vobs/demo.vbs"},
            {"mkelem", "-mkpath", "-ci", "-from", content("v1", "l1\nl2\nl3\n"), hello},
            {"co", hello},
            {"ci", "-from", content("v2", "l1\nL2 <b>bold</b>\nl3\n"), hello},
            {"mkbrtype", "dev@/vobs/demo"},
            {"mkbranch", "dev", hello},
            {"ci", "-from", content("dev1", "l1\nl2\nl3\nl4\n"), hello},
            {"co", hello},
            {"ci", "-from", content("v3", "l1\nL2 <b>bold</b>\nl3\nl4\n"), hello},
            {"mkhlink", "Merge", hello + "@@/main/dev/1", hello + "@@/main/3"},
            {"mklbtype", "REL1@/vobs/demo"},
            {"mklabel", "REL1", hello + "@@/main/2"},
            {"mkelem", "-ci", "-from", content("x", "x\n"), "/vobs/demo/src/" + kMarkupName},
            {"mkview", "-tag", "demo_web", "-webview", "-cspec",
             content("cs", "element * CHECKEDOUT\nelement * /main/LATEST\nload /vobs/demo\n"),
             home + "/views/demo_web.vws"},
            {"co", "-view", "demo_web", "/vobs/demo/src/" + kMarkupName},
        });
    }
};

// The application's files come with a policy that runs only its own scripts.
TEST_F(BrowserTest, ServedWithAContentSecurityPolicy) {
    for (const char* file : {"/vdweb-ui/", "/vdweb-ui/app.js", "/vdweb-ui/multipart.js"}) {
        long code = 0;
        std::string headers;
        http("GET", server_.url(file), "", &code, &headers);
        EXPECT_EQ(code, 200) << file;
        EXPECT_NE(headers.find("Content-Security-Policy: default-src 'none'; script-src 'self';"),
                  std::string::npos)
            << file << "\n"
            << headers;
    }
    std::string headers;
    http("GET", server_.url("/vdweb-ui/app.js"), "", nullptr, &headers);
    EXPECT_NE(headers.find("Content-Type: text/javascript"), std::string::npos) << headers;
}

TEST_F(BrowserTest, SignInBrowseHistoryVersionTreeAndDiff) {
    Browser b;
    if (!b.failure().empty()) GTEST_SKIP() << b.failure();
    const std::string ui = server_.url("/vdweb-ui/");

    // Signing in: a wrong password shows the server's refusal; the right one the views.
    b.go(ui + "#/");
    ASSERT_TRUE(b.wait("document.querySelector('#signin')"));
    b.type("#user", kAlice.name);
    b.type("#password", "wrong");
    b.click("#signin button");
    ASSERT_TRUE(b.wait("document.querySelector('#signin .error')"))
        << b.text("return document.body.innerText;");
    EXPECT_TRUE(b.run("return sessionStorage.length;") == "0") << "nothing kept on failure";
    b.run("document.querySelector('#password').value = '';");
    b.type("#password", kAlice.password);
    b.click("#signin button");
    ASSERT_TRUE(b.wait("document.querySelector('#views a')"))
        << b.text("return document.body.innerText;");
    EXPECT_EQ(b.text("return document.querySelector('#views a').textContent;"), "demo_web");
    EXPECT_EQ(b.run("return localStorage.length;"), "0") << "credentials stay in the session";

    // The demo VOB through the web view, down to its sources.
    b.click("#views a");
    for (const char* dir : {"vobs/", "demo/", "src/"}) {
        const std::string link =
            "[...document.querySelectorAll('#entries a')].find(a => "
            "a.textContent === '" +
            std::string(dir) + "')";
        ASSERT_TRUE(b.wait(link)) << dir << ": " << b.text("return document.body.innerText;");
        b.run("return " + link + ".click();");
        ASSERT_TRUE(
            b.wait("location.hash.includes('" + std::string(dir).substr(0, 3) +
                   "') && "
                   "!document.querySelector('[role=status]').textContent.includes('Loading')"));
    }
    ASSERT_TRUE(b.wait("document.querySelectorAll('#entries li').length === 2"));

    // A name that is markup shows as text and runs nothing.
    EXPECT_NE(b.text("return document.querySelector('#entries').textContent;").find(kMarkupName),
              std::string::npos);
    EXPECT_EQ(b.run("return document.querySelectorAll('img').length;"), "0");
    EXPECT_FALSE(b.dialog_open());

    // History: every event of hello.c, newest first, the label's included.
    b.run(
        "return [...document.querySelectorAll('#entries li')].find(li => "
        "li.textContent.startsWith('hello.c')).querySelectorAll('a')[1].click();");
    ASSERT_TRUE(b.wait("document.querySelector('[role=status]').textContent.includes('events')"))
        << b.text("return document.body.innerText;");
    const std::string history = b.text("return document.querySelector('#history').innerText;");
    EXPECT_NE(history.find("make label"), std::string::npos) << history;
    EXPECT_NE(history.find("/vobs/demo/src/hello.c@@/main/dev/1"), std::string::npos) << history;

    // The version tree: one node per version (main 0-3, dev 0-1), the merge arrow, the label;
    // a node opens its version.
    b.click("#main p a");
    ASSERT_TRUE(b.wait("document.querySelector('svg.vtree')"))
        << b.text("return document.body.innerText;");
    EXPECT_EQ(b.run("return document.querySelectorAll('svg.vtree a.vt-version').length;"), "6");
    EXPECT_EQ(b.run("return document.querySelectorAll('svg.vtree path.merge').length;"), "1");
    EXPECT_EQ(b.text("return [...document.querySelectorAll('svg.vtree .label')].map(t => "
                     "t.textContent).join();"),
              "REL1");
    b.screenshot("version-tree.png");
    b.click("svg.vtree a[data-version$='/main/dev/1']");
    ASSERT_TRUE(
        b.wait("document.querySelector('#content') && "
               "document.querySelector('#content').textContent.length > 0"))
        << b.text("return location.hash + document.body.innerText;");
    EXPECT_EQ(b.text("return document.querySelector('#content').textContent;"), "l1\nl2\nl3\nl4\n");

    // A diff of two versions by its shareable address: the changed line marked on both
    // sides, its markup as text.
    b.go(ui + "#/diff?from=" + "/vobs/demo/src/hello.c%40%40/main/1" +
         "&to=/vobs/demo/src/hello.c%40%40/main/2");
    ASSERT_TRUE(b.wait("document.querySelector('#diff .line')"))
        << b.text("return document.body.innerText;");
    EXPECT_EQ(b.text("return [...document.querySelectorAll('#diff .changed')].map(e => "
                     "e.textContent).join('|');"),
              "2 l2|2 L2 <b>bold</b>");
    EXPECT_EQ(b.run("return document.querySelectorAll('#diff .common').length;"), "4");
    EXPECT_EQ(b.run("return document.querySelectorAll('#diff b').length;"), "0");
    b.screenshot("diff.png");
    // Half as wide, as at 200% zoom: the sides stack and nothing needs scrolling sideways.
    b.command("POST", "/window/rect", "{\"width\":550,\"height\":900}");
    EXPECT_TRUE(b.wait("document.documentElement.scrollWidth <= window.innerWidth"))
        << b.run("return [document.documentElement.scrollWidth, window.innerWidth];");
    b.screenshot("diff-narrow.png");

    // A merge preview: the result's blocks in order, what needs a choice marked.
    const std::string v = "/vobs/demo/src/hello.c%40%40/main/";
    b.go(ui + "#/merge?base=" + v + "2&from=" + v + "dev/1&to=" + v + "3");
    ASSERT_TRUE(b.wait("document.querySelector('#merge .block, .error')"));
    EXPECT_EQ(b.run("return document.querySelectorAll('.error').length;"), "0")
        << b.text("return document.body.innerText;");
    EXPECT_NE(b.text("return document.querySelector('#merge').textContent;").find("l4"),
              std::string::npos)
        << b.text("return document.body.innerText;");
    b.screenshot("merge.png");

    // The view's checkouts, found by walking its directories.
    b.command("POST", "/window/rect", "{\"width\":1100,\"height\":900}");
    b.go(ui + "#/");
    ASSERT_TRUE(b.wait("document.querySelector('#views a')"));
    b.click("#views a");
    ASSERT_TRUE(b.wait("document.querySelector('#entries a')"));
    b.click("#main p + p a");
    ASSERT_TRUE(
        b.wait("document.querySelector('[role=status]').textContent.includes('directories')"))
        << b.text("return document.body.innerText;");
    const std::string checkouts = b.text("return document.querySelector('#checkouts').innerText;");
    EXPECT_EQ(checkouts.rfind("/vobs/demo/src/" + kMarkupName + " (reserved)", 0), 0u) << checkouts;
    EXPECT_EQ(b.run("return document.querySelectorAll('#checkouts li').length;"), "1");

    // An error shows the status part's text.
    b.go(ui + "#/version?v=" + "/vobs/demo/src/nothing.c%40%40/main/1");
    ASSERT_TRUE(b.wait("document.querySelector('.error')"));
    EXPECT_FALSE(b.text("return document.querySelector('.error').textContent;").empty());
    EXPECT_FALSE(b.dialog_open());
}

}  // namespace
}  // namespace e2e
