// Interaction messages: elements in order, text form both ways.
#include "interact/ireq_msg.h"

#include <gtest/gtest.h>

#include <string>

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
