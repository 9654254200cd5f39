// The interaction channel end to end: a request delivered in-process or through the
// request file, answers written by another process, the checks on those answers, the
// time-out, and the listener with the file callback it registers with the core.
#include "interact/ireq_request.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/util/fileutl.h"
#include "core/util/strutl.h"
#include "core/vob/vob_cb.h"
#include "interact/ireq_file.h"
#include "support/core_fixture.h"
#include "support/temp_dir.h"

namespace {

const char* const kChannelVars[] = {IREQ_REQUEST_FILENAME_EV, IREQ_REQUEST_TIMEOUT_EV,
                                    IREQ_REQUEST_TIMEOUT_DELTA_EV, IREQ_REQUEST_KEEPALIVE_EV};

std::string replace_all(std::string s, const std::string& from, const std::string& to) {
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
    return s;
}

std::string field(const ireq_msg_t* m, const char* name) {
    const char* v = nullptr;
    return ireq_msg_get_element(m, name, &v) ? v : "<missing>";
}

// Waits until the file is there (`present`) or gone; false after 20 seconds.
bool await_file(const std::string& path, bool present) {
    for (int i = 0; i < 2000; ++i) {
        if ((ireq_file_exists(path.c_str()) != 0) == present) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// A forked helper process, killed and reaped if the test ends without waiting for it.
struct Child {
    pid_t pid = -1;
    ~Child() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    int wait_exit() {
        int st = 0;
        if (pid <= 0 || waitpid(pid, &st, 0) != pid) return -1;
        pid = -1;
        return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }
};

class IreqChannel : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* v : kChannelVars) unsetenv(v);
        saved_ = redirect_messages(&Captured::proc, &captured_);
    }
    void TearDown() override {
        ireq_listener_stop();
        ireq_requestor_set_callback(nullptr, nullptr);
        for (const char* v : kChannelVars) unsetenv(v);
        imsg_set_redirect_table(saved_);
        stg_delete_area(area_);
    }
    ireq_msg_t* prompt(const char* text) {
        ireq_msg_t* m = ireq_msg_create(area_, "Vdprompt", "1.0", 10);
        EXPECT_EQ(ireq_msg_add_element(m, "prompt", text), 1);
        return m;
    }

    TempHome home_;
    stg_area_t* area_ = stg_create_area(4096);
    Captured captured_;
    imsg_redirect_table_t saved_{};
};

// In-process delivery answered from a script. The first reply is written while the
// request is delivered; later ones by a forked process, each once the one before has
// been taken. In replies "{seq}" stands for the request's sequence id, and a reply
// starting "raw:" is written as it is instead of encoded.
struct ScriptedClient {
    std::vector<std::string> replies;
    std::string request;  // the first text delivered
    int deliveries = 0;
    Child writer;

    static int deliver(const char* text, void* data) {
        auto* self = static_cast<ScriptedClient*>(data);
        if (self->deliveries++ == 0) {
            self->request = text;
            self->answer();
        }
        return 1;
    }
    std::string field_of_request(const char* name) const {
        stg_area_t* a = stg_create_area(1024);
        std::string v = field(ireq_msg_from_string(a, request.c_str()), name);
        stg_delete_area(a);
        return v;
    }
    void answer() {
        std::string path = field_of_request(IREQ_MSG_CONNECTION);
        std::string seq = field_of_request(IREQ_MSG_SEQID);
        if (replies.empty()) return;
        write_reply(path, replies[0], seq);
        if (replies.size() == 1) return;
        writer.pid = fork();
        if (writer.pid != 0) return;
        for (size_t i = 1; i < replies.size(); ++i) {
            if (!await_file(path, false)) _exit(2);
            write_reply(path, replies[i], seq);
        }
        _exit(0);
    }
    static void write_reply(const std::string& path, const std::string& reply,
                            const std::string& seq) {
        std::string text = replace_all(reply, "{seq}", seq);
        if (text.rfind("raw:", 0) == 0)
            ireq_write_file(path.c_str(), text.c_str() + 4);
        else
            ireq_response_send(text.c_str(), path.c_str());
    }
};

TEST_F(IreqChannel, ResponsesAreCheckedAndAnswersReturned) {
    const std::string head = "MsgProtocol=Vdprompt\nMsgVersion=1.0\nMsgSeqID={seq}\n";
    const std::string answer = head + "MsgType=Message\nResponse=proceed\nInputText=a\\nb\n";
    struct Case {
        const char* what;
        std::vector<std::string> replies;
        int rc;
        std::string messages;  // "{seq}" is the request's sequence id
    };
    const Case cases[] = {
        {"answer", {answer}, 0, ""},
        {"keep-alive, then the answer", {head + "MsgType=KeepAlive\n", answer}, 0, ""},
        {"empty file, then the answer", {"raw:", answer}, 0, ""},
        {"type left to the asker", {replace_all(answer, "=Message", "=Later")}, 0, ""},
        {"wrong sequence id",
         {replace_all(answer, "{seq}", "1:1")},
         1,
         "Client message had wrong sequence id: Expected {seq} received 1:1\n"},
        {"error",
         {head + "MsgType=Error\nErrorMessage=denied\n"},
         1,
         "Client message reported error: denied\n"},
        {"error without text",
         {head + "MsgType=Error\n"},
         1,
         "Client message reported error: ()\n"},
        {"missing type", {head}, 1, "Response message is missing required field MsgType\n"},
        {"not encoded", {"raw:" + answer}, 1, "Client message was not parsed correctly\n"},
        {"not a message",
         {"no equals sign"},
         1,
         "Message parsing error in function ireq_msg_from_string parsing message no equals "
         "sign\nClient message was not parsed correctly\n"},
    };
    setenv(IREQ_REQUEST_TIMEOUT_EV, "5", 1);  // a broken case fails in seconds, not minutes
    int last_seq = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        captured_.text.clear();
        ScriptedClient client;
        client.replies = c.replies;
        ireq_requestor_set_callback(&ScriptedClient::deliver, &client);
        ireq_msg_t* response = nullptr;
        int rc = ireq_request_send("Vdprompt", "1.0", area_, prompt("Go?"), &response, 300);
        EXPECT_LE(client.writer.wait_exit(), 0);  // no writer, or one that wrote all
        EXPECT_EQ(rc, c.rc);
        EXPECT_EQ(client.deliveries, 1);

        std::string seq = client.field_of_request(IREQ_MSG_SEQID);
        EXPECT_EQ(captured_.text, replace_all(c.messages, "{seq}", seq));
        // "<pid>:<counter>", the counter rising with each request.
        std::string pid = std::to_string(getpid()) + ":";
        ASSERT_EQ(seq.rfind(pid, 0), 0u) << seq;
        int n = std::atoi(seq.c_str() + pid.size());
        EXPECT_GT(n, last_seq);
        last_seq = n;
        EXPECT_EQ(client.field_of_request(IREQ_MSG_TIMEOUT), "5");
        EXPECT_EQ(client.field_of_request("prompt"), "Go?");
        std::string conn = client.field_of_request(IREQ_MSG_CONNECTION);
        EXPECT_EQ(conn.rfind(std::string(fileutl_get_tmpdir()) + "/qlmx_ireq", 0), 0u) << conn;
        EXPECT_FALSE(ireq_file_exists(conn.c_str())) << "the response file is taken away";

        if (c.rc == 0) {
            ASSERT_NE(response, nullptr);
            EXPECT_EQ(field(response, IREQ_MSG_SEQID), seq);
            EXPECT_EQ(field(response, "InputText"), "a\nb");
        } else {
            EXPECT_EQ(response, nullptr);
        }
    }
}

TEST_F(IreqChannel, UnansweredRequestTimesOutAfterTimeoutPlusTwiceTheDelta) {
    setenv(IREQ_REQUEST_TIMEOUT_EV, "1", 1);
    setenv(IREQ_REQUEST_TIMEOUT_DELTA_EV, "1", 1);
    ScriptedClient silent;
    ireq_requestor_set_callback(&ScriptedClient::deliver, &silent);
    ireq_msg_t* response = nullptr;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ireq_request_send("Vdprompt", "1.0", area_, prompt("Go?"), &response, 300), 1);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(response, nullptr);
    EXPECT_EQ(silent.field_of_request(IREQ_MSG_TIMEOUT), "1,1");
    EXPECT_EQ(captured_.text, "Timed out - no user response received within 3 seconds\n");
}

TEST_F(IreqChannel, RequestThatCannotBeDeliveredFailsAtOnce) {
    struct Case {
        const char* value;  // of IREQ_REQUEST_FILENAME; null: unset
        std::string shown;
    };
    std::string missing_dir = home_.path() + "/none/request";
    const Case cases[] = {
        {nullptr, "(NULL)"}, {"", ""}, {"\"\"", "\"\""}, {missing_dir.c_str(), missing_dir}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        if (c.value)
            setenv(IREQ_REQUEST_FILENAME_EV, c.value, 1);
        else
            unsetenv(IREQ_REQUEST_FILENAME_EV);
        captured_.text.clear();
        ireq_msg_t* response = nullptr;
        EXPECT_EQ(ireq_request_send("Vdprompt", "1.0", area_, prompt("Go?"), &response, 300), 1);
        EXPECT_EQ(captured_.text, "Unable to write message file " + c.shown + "\n");
    }
}

// Records what the listener delivers.
struct Recorder {
    std::vector<std::string> texts;
    static int deliver(const char* text, void* data) {
        static_cast<Recorder*>(data)->texts.push_back(text);
        return 1;
    }
};

// The path a program started by the core takes: it has no in-process procedure and
// writes the request file its environment names; this process, the listener's, hands
// the request on when the core calls the file callback, and answers it.
TEST_F(IreqChannel, ChildProgramAsksThroughTheRequestFile) {
    Recorder client;
    ASSERT_EQ(ireq_listener_start(&Recorder::deliver, &client), 0);
    vob_cb_trig_action_listener_t core;
    ASSERT_TRUE(vob_cb_trig_action_listener_get(&core));

    Child program;
    program.pid = fork();
    if (program.pid == 0) {
        ireq_requestor_set_callback(nullptr, nullptr);
        stg_area_t* area = stg_create_area(4096);
        ireq_msg_t* m = ireq_msg_create(area, "Vdprompt", "1.0", 10);
        ireq_msg_add_element(m, "prompt", "Name?\nFull name, please");
        ireq_msg_t* response = nullptr;
        if (ireq_request_send("Vdprompt", "1.0", area, m, &response, 20) != 0) _exit(1);
        _exit(field(response, "InputText") == "Ada\nLovelace" ? 0 : 2);
    }
    ASSERT_GT(program.pid, 0);
    ASSERT_TRUE(await_file(core.filename, true));
    core.proc(VOB_CB_TRIG_ACTION_MESSAGE, core.filename.c_str());
    ASSERT_EQ(client.texts.size(), 1u);
    EXPECT_FALSE(ireq_file_exists(core.filename.c_str()));

    ireq_msg_t* request = ireq_msg_from_string(area_, client.texts[0].c_str());
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(field(request, "prompt"), "Name?\nFull name, please");
    EXPECT_EQ(field(request, IREQ_MSG_TIMEOUT), "20");
    EXPECT_EQ(field(request, IREQ_MSG_SEQID).rfind(std::to_string(program.pid) + ":", 0), 0u);

    ireq_msg_t* answer = ireq_msg_create(area_, "Vdprompt", "1.0", 10);
    ireq_msg_add_element(answer, IREQ_MSG_SEQID, field(request, IREQ_MSG_SEQID).c_str());
    ireq_msg_add_element(answer, IREQ_MSG_TYPE, IREQ_MSG_TYPE_MESSAGE);
    ireq_msg_add_element(answer, "InputText", "Ada\nLovelace");
    char* text = nullptr;
    ASSERT_EQ(ireq_msg_to_string(answer, area_, &text), 0);
    ASSERT_EQ(ireq_response_send(text, field(request, IREQ_MSG_CONNECTION).c_str()), 0);
    EXPECT_EQ(program.wait_exit(), 0);
    EXPECT_EQ(captured_.text, "");
}

TEST_F(IreqChannel, ListenerRegistersWithTheCoreAndStopUndoesIt) {
    EXPECT_EQ(ireq_status(), 0);
    Recorder client;
    ASSERT_EQ(ireq_listener_start(&Recorder::deliver, &client), 0);
    EXPECT_EQ(ireq_status(), 1);
    const char* ev = getenv(IREQ_REQUEST_FILENAME_EV);
    ASSERT_NE(ev, nullptr);
    EXPECT_EQ(std::string(ev).rfind(std::string(fileutl_get_tmpdir()) + "/qlmx_ireq", 0), 0u);

    vob_cb_trig_action_listener_t core;
    ASSERT_TRUE(vob_cb_trig_action_listener_get(&core));
    EXPECT_EQ(core.filename, ev);
    EXPECT_EQ(core.poll_ms, IREQ_LISTENER_POLL_VALUE);
    ireq_listener_t record;
    ASSERT_EQ(ireq_listener_get_listener(&record), 0);
    EXPECT_EQ(record.callback, core.proc);
    EXPECT_STREQ(record.filename, ev);
    EXPECT_EQ(record.poll_value, 500);
    EXPECT_EQ(ireq_listener_get_listener(nullptr), 1);

    // In-process requests go to the listener's procedure.
    setenv(IREQ_REQUEST_TIMEOUT_EV, "1", 1);
    ireq_msg_t* response = nullptr;
    EXPECT_EQ(ireq_request_send("Vdprompt", "1.0", area_, prompt("Go?"), &response, 300), 1);
    ASSERT_EQ(client.texts.size(), 1u);
    EXPECT_NE(client.texts[0].find("prompt=Go?\n"), std::string::npos);

    ireq_listener_stop();
    EXPECT_EQ(ireq_status(), 0);
    EXPECT_STREQ(getenv(IREQ_REQUEST_FILENAME_EV), "\"\"");
    EXPECT_FALSE(vob_cb_trig_action_listener_get(&core));
    ASSERT_EQ(ireq_listener_get_listener(&record), 0);
    EXPECT_EQ(record.callback, nullptr);
    EXPECT_STREQ(record.filename, "");
}

TEST_F(IreqChannel, ListenerStartTouchesNoFileOutsideTheSite) {
    // The debugging aid's files live in the site's temporary directory: a file of the same
    // name elsewhere, whoever owns it, is never removed.
    const std::string outside = testing::TempDir() + "/request_enable.out";
    const std::string var_tmp = "/var/tmp/request_enable.out";
    const bool had_var_tmp = fileutl_exists(var_tmp.c_str());
    ASSERT_EQ(strutl_write(outside.c_str(), "keep\n", false), TBS_ST_OK);
    if (!had_var_tmp) {
        ASSERT_EQ(strutl_write(var_tmp.c_str(), "keep\n", false), TBS_ST_OK);
    }
    ASSERT_EQ(fileutl_mkdir_p(fileutl_get_tmpdir(), 0700), TBS_ST_OK);
    const std::string inside = std::string(fileutl_get_tmpdir()) + "/request_enable.out";
    ASSERT_EQ(strutl_write(inside.c_str(), "stale\n", false), TBS_ST_OK);

    Recorder client;
    ASSERT_EQ(ireq_listener_start(&Recorder::deliver, &client), 0);
    ireq_listener_stop();
    EXPECT_TRUE(fileutl_exists(var_tmp.c_str()));
    EXPECT_TRUE(fileutl_exists(outside.c_str()));
    EXPECT_FALSE(fileutl_exists(inside.c_str()));
    if (!had_var_tmp) ::unlink(var_tmp.c_str());
    ::unlink(outside.c_str());
}

TEST_F(IreqChannel, ListenerWithoutARequestFileNameDoesNotStart) {
    // A temporary directory too long for the 256-byte request file name.
    std::string dir = home_.path() + "/" + std::string(240, 'd');
    setenv("VERDANE_TMP", dir.c_str(), 1);
    fileutl_reset_tmpdir();
    Recorder client;
    EXPECT_EQ(ireq_listener_start(&Recorder::deliver, &client), 1);
    unsetenv("VERDANE_TMP");
    fileutl_reset_tmpdir();
    EXPECT_EQ(captured_.text, "Unable to allocate a temporary filename for message\n");
    vob_cb_trig_action_listener_t core;
    EXPECT_FALSE(vob_cb_trig_action_listener_get(&core));
    EXPECT_EQ(ireq_status(), 0);
}

TEST_F(IreqChannel, FileCallbackActions) {
    Recorder client;
    ASSERT_EQ(ireq_listener_start(&Recorder::deliver, &client), 0);
    vob_cb_trig_action_listener_t core;
    ASSERT_TRUE(vob_cb_trig_action_listener_get(&core));
    struct Case {
        int action;
        const char* content;  // null: no file
        bool delivered;
        bool file_stays;
    };
    const Case cases[] = {
        {VOB_CB_TRIG_ACTION_MESSAGE, "MsgProtocol=P\n", true, false},
        {VOB_CB_TRIG_ACTION_MESSAGE, "", false, false},
        {VOB_CB_TRIG_ACTION_MESSAGE, nullptr, false, false},
        {VOB_CB_TRIG_ACTION_BEGIN, "MsgProtocol=P\n", false, false},
        {VOB_CB_TRIG_ACTION_END, "MsgProtocol=P\n", false, false},
        {VOB_CB_TRIG_ACTION_END, nullptr, false, false},
        {7, "MsgProtocol=P\n", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.action) + (c.content ? c.content : "(no file)"));
        client.texts.clear();
        if (c.content) write_file(core.filename, c.content);
        EXPECT_EQ(core.proc(c.action, core.filename.c_str()), 0);
        EXPECT_EQ(client.texts,
                  c.delivered ? std::vector<std::string>{c.content} : std::vector<std::string>{});
        EXPECT_EQ(ireq_file_exists(core.filename.c_str()) != 0, c.file_stays);
        ireq_delete_file(core.filename.c_str());
    }
    EXPECT_EQ(captured_.text, "");
}

TEST_F(IreqChannel, ResponseGoesOnlyToAChannelFileAndIsEncoded) {
    char name[IREQ_REQUEST_FILENAME_SIZE];
    ASSERT_EQ(ireq_temp_filename(name, sizeof name), 0);
    const std::string marker = std::string(name) + IREQ_WAIT_SUFFIX;
    // Nobody waits at that name yet; a marker left by a process that is gone (its lock free)
    // does not count either.
    EXPECT_EQ(ireq_response_send("MsgType=Message\n", name), 1);
    std::ofstream(marker).put('x');
    EXPECT_EQ(ireq_response_send("MsgType=Message\n", name), 1);
    EXPECT_FALSE(ireq_file_exists(name));
    ASSERT_EQ(unlink(marker.c_str()), 0);

    const int waiting = ireq_wait_begin(name);
    ASSERT_GE(waiting, 0);
    // An answer larger than the waiting side reads is refused.
    EXPECT_EQ(ireq_response_send(("A=" + std::string(IREQ_READ_MAX, 'a')).c_str(), name), 1);
    EXPECT_FALSE(ireq_file_exists(name));
    ASSERT_EQ(ireq_response_send("MsgType=Message\nA=x\\ny\n", name), 0);
    std::string stored = read_file(name);
    EXPECT_EQ(stored.rfind(STRUTL_EXTRACT_MARKER, 0), 0u) << stored;
    std::vector<char> decoded(STRUTL_EXTRACT_TAIL_SIZE(stored.size()));
    ASSERT_EQ(strutl_extract_tail(stored.c_str(), decoded.data(), decoded.size()), 0);
    EXPECT_STREQ(decoded.data(), "MsgType=Message\nA=x\\ny\n");
    EXPECT_EQ(ireq_response_send("", name), 1);
    ireq_wait_end(name, waiting);
    EXPECT_FALSE(ireq_file_exists(marker.c_str()));

    // The path comes from the client: nothing but a channel file may be written.
    std::string tmp = fileutl_get_tmpdir();
    const std::string refused[] = {
        "",
        home_.path() + "/qlmx_ireqabc.msg",
        tmp + "/qlmx_ireq/../../victim.msg",
        tmp + "/qlmx_ireqabc.msg/x.msg",
        tmp + "/qlmx_ireqabc.txt",
        tmp + "/qlmx_ireq.msg",
        tmp + "/other.msg",
    };
    for (const std::string& path : refused) {
        SCOPED_TRACE(path);
        captured_.text.clear();
        EXPECT_EQ(ireq_response_send("MsgType=Message\n", path.c_str()), 1);
        if (!path.empty()) {
            EXPECT_EQ(captured_.text, "Unable to write message file " + path + "\n");
            EXPECT_FALSE(ireq_file_exists(path.c_str()));
        }
    }
}

}  // namespace
