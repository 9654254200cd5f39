// Interaction messages: elements in order, text form both ways, delimited lists.
#include "interact/ireq_msg.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/core_fixture.h"

TEST(IreqMsg, TextFormRoundTrip) {
    stg_area_t* area = stg_create_area(4096);
    ireq_msg_t* m = ireq_msg_create(area, "PROTOCOL_PROMPT", "2.0", 1);
    ASSERT_NE(m, nullptr);
    for (int i = 0; i < 25; ++i)  // grows past its initial slots
        ASSERT_EQ(ireq_msg_add_element(m, ("k" + std::to_string(i)).c_str(), "v"), 1);
    EXPECT_EQ(ireq_msg_add_element(m, "Question", "line one\nline two=x"), 1);
    EXPECT_EQ(ireq_msg_add_element(m, nullptr, "v"), 0);
    char* text = nullptr;
    ASSERT_EQ(ireq_msg_to_string(m, area, &text), 0);
    std::string s = text;
    EXPECT_EQ(s.rfind("MsgProtocol=PROTOCOL_PROMPT\nMsgVersion=2.0\nk0=v\n", 0), 0u);
    EXPECT_NE(s.find("Question=line one\\nline two=x\n"), std::string::npos);

    ireq_msg_t* back = ireq_msg_from_string(area, text);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->count, m->count);
    const char* v = nullptr;
    ASSERT_EQ(ireq_msg_get_element(back, "Question", &v), 1);
    EXPECT_STREQ(v, "line one\nline two=x");
    EXPECT_EQ(ireq_msg_get_element(back, "question", &v), 0);
    EXPECT_EQ(v, nullptr);
    int i = -1;
    EXPECT_STREQ(ireq_msg_next_key(back, &i), "MsgProtocol");
    EXPECT_STREQ(ireq_msg_next_key(back, &i), "MsgVersion");
    EXPECT_EQ(ireq_msg_from_string(area, "no equals sign\n"), nullptr);
    stg_delete_area(area);
}

// Messages from the core's message library, captured for the scope.
class IreqMsgMessages : public ::testing::Test {
protected:
    void SetUp() override { saved_ = redirect_messages(&Captured::proc, &captured_); }
    void TearDown() override {
        imsg_set_redirect_table(saved_);
        stg_delete_area(area_);
    }
    stg_area_t* area_ = stg_create_area(4096);
    Captured captured_;
    imsg_redirect_table_t saved_{};
};

TEST_F(IreqMsgMessages, EscapesReadBackAndParseErrorsAreReported) {
    // A backslash-n written by hand reads back as a line break; other backslashes stay.
    ireq_msg_t* m =
        ireq_msg_from_string(area_, "MsgProtocol=P\nMsgVersion=1\nA=x\\ny\\t\\\nB=\nC==c");
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(m->count, 5);
    const char* v = nullptr;
    ASSERT_EQ(ireq_msg_get_element(m, "A", &v), 1);
    EXPECT_STREQ(v, "x\ny\\t\\");
    ASSERT_EQ(ireq_msg_get_element(m, "B", &v), 1);
    EXPECT_STREQ(v, "");
    ASSERT_EQ(ireq_msg_get_element(m, "C", &v), 1);  // the last line needs no line break
    EXPECT_STREQ(v, "=c");
    EXPECT_TRUE(captured_.text.empty());

    // An empty line is a line without "=" too.
    for (const char* bad : {"A=1\n\nB=2\n", "A=1\nno equals"}) {
        captured_.text.clear();
        EXPECT_EQ(ireq_msg_from_string(area_, bad), nullptr) << bad;
        EXPECT_EQ(captured_.text, std::string("Message parsing error in function "
                                              "ireq_msg_from_string parsing message ") +
                                      bad + "\n");
    }
}

TEST_F(IreqMsgMessages, GrowsByTenSlotsWhenFull) {
    ireq_msg_t* m = ireq_msg_create(area_, "P", "1", 3);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->capacity, 3);
    ASSERT_EQ(ireq_msg_add_element(m, "a", "1"), 1);
    EXPECT_EQ(m->capacity, 3);
    ASSERT_EQ(ireq_msg_add_element(m, "b", "2"), 1);
    EXPECT_EQ(m->capacity, 13);
    int i = m->count - 1;
    EXPECT_EQ(ireq_msg_next_key(m, &i), nullptr);
    EXPECT_EQ(ireq_msg_next_key(m, &i), nullptr);  // stays past the end
}

TEST_F(IreqMsgMessages, DelimitedListsSplitAndJoin) {
    struct Case {
        const char* text;
        const char* delimiter;
        std::vector<std::string> items;
    };
    const Case cases[] = {
        {"a,b,c", ",", {"a", "b", "c"}},
        {"a", ",", {"a"}},
        {"", ",", {""}},
        {",a,", ",", {"", "a", ""}},
        {"x::y:z", "::", {"x", "y:z"}},
        {"::::", "::", {"", "", ""}},
    };
    for (const Case& c : cases) {
        char** array = nullptr;
        int count = -1;
        ASSERT_EQ(ireq_msg_delimited_list_to_array(area_, c.text, c.delimiter, &array, &count), 0)
            << c.text;
        ASSERT_EQ(count, static_cast<int>(c.items.size())) << c.text;
        for (int i = 0; i < count; ++i) EXPECT_EQ(array[i], c.items[i]) << c.text;
        char* joined = nullptr;
        ASSERT_EQ(ireq_msg_array_to_delimited_list(area_, array, count, &joined, c.delimiter), 0);
        EXPECT_STREQ(joined, c.text);
    }
    char* joined = nullptr;
    EXPECT_EQ(ireq_msg_array_to_delimited_list(area_, nullptr, 0, &joined, ","), 0);
    EXPECT_STREQ(joined, "");
    EXPECT_EQ(ireq_msg_array_to_delimited_list(area_, nullptr, -3, &joined, ","), 0);
    EXPECT_STREQ(joined, "");

    char** array = nullptr;
    int count = 0;
    EXPECT_EQ(ireq_msg_delimited_list_to_array(area_, "a,b", "", &array, &count), 1);
    EXPECT_EQ(ireq_msg_delimited_list_to_array(area_, nullptr, ",", &array, &count), 1);
    char* with_null[] = {const_cast<char*>("a"), nullptr};
    EXPECT_EQ(ireq_msg_array_to_delimited_list(area_, with_null, 2, &joined, ","), 1);
    EXPECT_EQ(joined, nullptr);
}
