// WCM_Status: codes, accumulated text, catalog formatting, CoreVdStatus.
#include "foundation/wcm_status.h"

#include <gtest/gtest.h>

#include <string>

#include "core/imsg/imsg.h"
#include "foundation/core_vd_status.h"

namespace {
const char* const kTexts[] = {"first %s\n", "second\n", "%s"};
const uint16_t kNumbers[] = {1, 2, 3};
const imsg_catalog_t kCatalog = {"test", "test", 1, 3, kTexts, kNumbers};
}  // namespace

TEST(WcmStatus, CodeClasses) {
    WCM_Status st;
    EXPECT_TRUE(st.is_ok());
    EXPECT_STREQ(st.text(), "");
    EXPECT_STREQ(st.strerror(), "");
    EXPECT_TRUE(st.set_status(1033));
    EXPECT_TRUE(st.is_warning());
    EXPECT_STREQ(st.strerror(), "");
    EXPECT_FALSE(st.set_status(1002));
    EXPECT_TRUE(st.is_not_found());
    EXPECT_FALSE(st.set_status(1052));
    EXPECT_TRUE(st.is_not_found());
    EXPECT_STRNE(st.strerror(), "");
    st.set_error();
    EXPECT_EQ(st.status(), 1001);
    EXPECT_FALSE(st.is_ok());
}

TEST(WcmStatus, TextAccumulatesAndCopiesAreIndependent) {
    WCM_Status st;
    st.add_text(nullptr);
    EXPECT_STREQ(st.text(), "");
    st.add_text("a");
    st.add_text("b");
    st.format(&kCatalog, 0, "x");
    st.format(&kCatalog, 1);
    EXPECT_STREQ(st.text(), "abfirst x\nsecond\n");
    st.set_error();
    WCM_Status copy(st);
    st.set_ok();
    st.add_text("!");
    EXPECT_STREQ(copy.text(), "abfirst x\nsecond\n");
    EXPECT_EQ(copy.status(), 1001);
    EXPECT_EQ(st.status(), 0);
    EXPECT_STREQ(st.text(), "abfirst x\nsecond\n!");  // set_ok keeps the text
    copy = copy;
    EXPECT_STREQ(copy.text(), "abfirst x\nsecond\n");
    copy = st;
    EXPECT_STREQ(copy.text(), st.text());
    st.clear();
    EXPECT_STREQ(st.text(), "");
    EXPECT_EQ(st.status(), 0);
}

TEST(WcmStatus, FormatFailuresGiveInternalErrorTexts) {
    WCM_Status st;
    st.format(&kCatalog, 7);
    EXPECT_STREQ(st.text(), "Internal error: could not load message 7");
    st.clear();
    st.format(nullptr, 0);
    EXPECT_STREQ(st.text(), "Internal error: could not load message 0");
    st.clear();
    std::string huge(200000, 'z');
    st.format(&kCatalog, 2, huge.c_str());
    EXPECT_STREQ(st.text(), "Internal error: message 2 is too long");
}

TEST(CoreVdStatus, FailureThrowsWithCollectedMessages) {
    try {
        CoreVdStatus st("view_digest");
        imsg_error("core said %s\n", "no");
        st = 1052;
        CORE_VD_FAIL(st);
        FAIL() << "fail_at returned";
    } catch (const CoreVdStatusException& e) {
        EXPECT_EQ(e.code(), 1052);
        EXPECT_EQ(e.message(), "core said no\n");
        std::string d = e.get_description();
        EXPECT_EQ(d.rfind("Unexpected core VD error in method view_digest\n  File: ", 0), 0u);
        EXPECT_NE(d.find("  Status: 1052 (Object not found)\n IMSG text: \ncore said no\n"),
                  std::string::npos);
    }
    // The redirector is gone: the previous table is back in place.
    imsg_redirect_table_t t = imsg_get_redirect_table();
    EXPECT_EQ(t.procs[IMSG_ERROR], imsg_append_proc_stderr);
}
