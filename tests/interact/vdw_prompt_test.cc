// The web server's prompt procedures: the question each sends and what each makes of the
// answer, through the interaction channel with an in-process "client" that answers at once.
#include "interact/vdw_prompt.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "core/stg/stg.h"
#include "interact/ireq_msg.h"
#include "interact/ireq_request.h"
#include "support/core_fixture.h"
#include "support/temp_dir.h"

namespace {

// The client: keeps each question and answers it with `answer` (elements after the
// channel's own), written to the question's response file as another process would.
struct Client {
    std::map<std::string, std::string> answer;
    std::vector<std::map<std::string, std::string>> questions;

    static int deliver(const char* text, void* data) {
        auto* self = static_cast<Client*>(data);
        stg_area_t* area = stg_create_area(4096);
        ireq_msg_t* q = ireq_msg_from_string(area, text);
        std::map<std::string, std::string> fields;
        for (int i = -1; const char* key = ireq_msg_next_key(q, &i);) {
            const char* v = nullptr;
            ireq_msg_get_element(q, key, &v);
            fields[key] = v ? v : "";
        }
        self->questions.push_back(fields);
        ireq_msg_t* a = ireq_msg_create(area, "Vdprompt", "1.0", 10);
        ireq_msg_add_element(a, "MsgSeqID", fields["MsgSeqID"].c_str());
        ireq_msg_add_element(a, "MsgType", "Message");
        for (const auto& [k, v] : self->answer) ireq_msg_add_element(a, k.c_str(), v.c_str());
        char* out = nullptr;
        ireq_msg_to_string(a, area, &out);
        ireq_response_send(out, fields["MsgConnection"].c_str());
        stg_delete_area(area);
        return 1;
    }
};

class PromptTest : public testing::Test {
protected:
    void SetUp() override {
        fileutl_mkdir_p(fileutl_get_tmpdir(), 0775);
        ireq_requestor_set_callback(&Client::deliver, &client);
        saved = redirect_messages(&Captured::proc, &cap);
    }
    void TearDown() override {
        ireq_requestor_set_callback(nullptr, nullptr);
        imsg_set_redirect_table(saved);
    }
    TempHome home;
    Client client;
    Captured cap;
    imsg_redirect_table_t saved{};
};

}  // namespace

TEST(PromptNames, AnswerBitsAndTypes) {
    char text[64];
    struct {
        int bits;
        const char* names;
    } answers[] = {{IMSG_RESP_PROCEED | IMSG_RESP_ABORT, "abort proceed"},
                   {IMSG_RESP_NO | IMSG_RESP_YES, "yes no"},
                   {15, "abort proceed yes no"},
                   {0, ""}};
    for (const auto& a : answers) {
        ASSERT_TRUE(cvt_imsg_response_t(a.bits, text, sizeof text));
        EXPECT_STREQ(text, a.names);
    }
    EXPECT_FALSE(cvt_imsg_response_t(15, text, 8));  // does not fit: nothing cut
    const char* types[] = {"ok",    "ok",    "box",   "box",   "warning", "warning",
                           "error", "error", "trace", "trace", ""};
    for (int t = 0; t < 11; ++t) {
        ASSERT_TRUE(cvt_imsg_type_t(t, text, sizeof text));
        EXPECT_STREQ(text, types[t]) << t;
    }
}

TEST_F(PromptTest, ProceedAndYesNoQuestionsAndTheirAnswers) {
    client.answer = {{"Response", "proceed"}};
    // The core asks through the procedures the facade installs.
    imsg_set_prompt_procs(&vdw_prompt_procs());
    EXPECT_EQ(
        imsg_prompt_proceed(4, "Go on?", IMSG_RESP_ABORT | IMSG_RESP_PROCEED, IMSG_RESP_ABORT),
        IMSG_RESP_PROCEED);
    client.answer = {{"Response", "abort"}};
    EXPECT_EQ(vdw_prompt_proceed(6, "Go on?", 3, 1), IMSG_RESP_ABORT);
    client.answer = {{"Response", "yes"}};
    EXPECT_EQ(vdw_prompt_yes_no(0, "Sure?", 12, 8), IMSG_RESP_YES);
    client.answer = {{"Response", "maybe"}};
    EXPECT_EQ(vdw_prompt_yes_no(0, "Sure?", 12, 8), IMSG_RESP_NO);
    imsg_set_prompt_procs(nullptr);

    ASSERT_EQ(client.questions.size(), 4u);
    auto& q = client.questions[0];
    EXPECT_EQ(q["MsgProtocol"], "Vdprompt");
    EXPECT_EQ(q["MsgVersion"], "1.0");
    EXPECT_EQ(q["kind"], "proceed");
    EXPECT_EQ(q["prompt"], "Go on?");
    EXPECT_EQ(q["mask"], "abort proceed");
    EXPECT_EQ(q["default"], "abort");
    EXPECT_EQ(q["type"], "warning");
    EXPECT_EQ(client.questions[2]["kind"], "yes_no");
    EXPECT_EQ(client.questions[2]["mask"], "yes no");
    // Every question of the process has its own sequence id.
    EXPECT_NE(client.questions[0]["MsgSeqID"], client.questions[1]["MsgSeqID"]);
}

TEST_F(PromptTest, TextQuestionGivesTheTypedText) {
    client.answer = {{"Response", "proceed"}, {"InputText", ""}};
    char* text = nullptr;
    EXPECT_EQ(vdw_prompt_text("Comment?", "ignored", 1, &text), IMSG_RESP_PROCEED);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "");
    free(text);
    client.answer = {{"Response", "abort"}, {"InputText", "two\nlines"}};
    EXPECT_EQ(vdw_prompt_text("Comment?", nullptr, 0, &text), IMSG_RESP_ABORT);
    EXPECT_STREQ(text, "two\nlines");
    free(text);
    ASSERT_EQ(client.questions.size(), 2u);
    EXPECT_EQ(client.questions[0]["kind"], "text");
    EXPECT_EQ(client.questions[0]["default"], "");
    EXPECT_EQ(client.questions[0]["multi_line"], "yes");
    EXPECT_EQ(client.questions[1]["multi_line"], "no");
}

TEST_F(PromptTest, UnansweredOrUnaskableQuestionsFail) {
    // An answer without "Response".
    client.answer = {{"Other", "x"}};
    EXPECT_EQ(vdw_prompt_proceed(0, "Go on?", 3, 1), IMSG_RESP_FAILED);
    EXPECT_TRUE(
        contains(cap.text, "Vdprompt callback unable to read fields from interaction request\n"));
    // Nobody to deliver to: the channel fails and so does the question.
    ireq_requestor_set_callback(nullptr, nullptr);
    unsetenv(IREQ_REQUEST_FILENAME_EV);
    EXPECT_EQ(vdw_prompt_yes_no(0, "Sure?", 12, 8), IMSG_RESP_FAILED);
    EXPECT_TRUE(contains(cap.text, "Unable to process vdprompt callback\n"));
    // Kinds the web client cannot answer take the core's abort path without asking.
    char* out = nullptr;
    int choice = 0;
    EXPECT_EQ(vdw_prompt_file("File?", &out), IMSG_RESP_ABORT);
    EXPECT_EQ(vdw_prompt_list("Which?", nullptr, 0, &choice), IMSG_RESP_ABORT);
    EXPECT_EQ(vdw_prompt_password("Password?", &out), IMSG_RESP_ABORT);
    EXPECT_EQ(out, nullptr);
}
