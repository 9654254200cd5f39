// The registry: tags by region, lookups by tag and UUID, cursors, bad names.
#include "core/rgy/rgy.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/temp_dir.h"

class Registry : public ::testing::Test {
protected:
    TempHome site_;
    const std::string& home_ = site_.path();
};

TEST_F(Registry, VobAndViewTags) {
    rgy_vob_entry_t vob;
    vob.tag = "/vobs/proj";
    vob.uuid = tbs_uuid_create();
    vob.storage = home_ + "/vobs/proj.vbs";
    vob.is_public = true;
    ASSERT_EQ(rgy_add_vob_tag(vob), 0);
    EXPECT_EQ(rgy_add_vob_tag(vob), 1004);  // the tag exists in the region
    rgy_vob_entry_t other = vob;
    other.region = "east";
    EXPECT_EQ(rgy_add_vob_tag(other), 0);  // same tag in another region

    rgy_vob_entry_t found;
    ASSERT_EQ(rgy_find_vob_by_tag("/vobs/proj", nullptr, &found), 0);
    EXPECT_EQ(found.storage, vob.storage);
    EXPECT_TRUE(found.is_public);
    ASSERT_EQ(rgy_find_vob_by_uuid(vob.uuid, &found), 0);
    EXPECT_EQ(found.tag, "/vobs/proj");
    EXPECT_EQ(rgy_find_vob_by_tag("/vobs/none", nullptr, &found), TBS_ST_NOT_FOUND);

    rgy_view_entry_t view;
    view.tag = "alice_web";
    view.uuid = tbs_uuid_create();
    view.storage = home_ + "/views/alice_web.vws";
    view.owner = "alice";
    view.properties = "webview sumview";
    ASSERT_EQ(rgy_add_view_tag(view), 0);
    rgy_view_entry_t v;
    ASSERT_EQ(rgy_findbyuuid_entry(view.uuid, &v), 0);
    EXPECT_STREQ(rgy_getstring_from_entry_const(v, RGY_FIELD_PROPERTIES), "webview sumview");
    EXPECT_EQ(rgy_getstring_from_entry_const(v, 99), nullptr);

    rgy_cursor_t cursor;
    ASSERT_EQ(rgy_open_view_cursor(nullptr, &cursor), 0);
    ASSERT_EQ(rgy_cursor_next(&cursor, &v), 0);
    EXPECT_EQ(v.tag, "alice_web");
    EXPECT_EQ(rgy_cursor_next(&cursor, &v), TBS_ST_NOT_FOUND);

    EXPECT_EQ(rgy_remove_view_tag("alice_web", nullptr), 0);
    EXPECT_EQ(rgy_remove_view_tag("alice_web", nullptr), TBS_ST_NOT_FOUND);
    std::vector<std::string> regions;
    ASSERT_EQ(rgy_list_regions(&regions), 0);
    EXPECT_EQ(regions, (std::vector<std::string>{"default", "east"}));
}

TEST_F(Registry, BadNamesAreRefused) {
    for (const char* tag : {"", "has space", "tab\tin", "nl\nin"}) {
        rgy_view_entry_t v;
        v.tag = tag;
        v.storage = "/x";
        EXPECT_EQ(rgy_add_view_tag(v), TBS_ST_BAD_REQUEST) << tag;
    }
    std::vector<rgy_view_entry_t> views;
    ASSERT_EQ(rgy_list_view_tags(nullptr, &views), 0);
    EXPECT_TRUE(views.empty());
}
