// Locations: prefixes, names and scopes, segments, parents; resource type names.
#include <gtest/gtest.h>

#include "xmlproto/resource/vd_location.h"
#include "xmlproto/resource/vd_resource.h"

namespace {

struct ParseCase {
    const char* text;
    LocationPrefix prefix;
    const char* name;
    const char* scope;
};

TEST(VdLocation, ParsesPrefixNameAndScope) {
    const ParseCase cases[] = {
        {"vobtag:/vobs/src@main", LP_VOBTAG, "/vobs/src", "main"},
        {"viewtag:dev", LP_VIEWTAG, "dev", ""},
        {"workspace:/V/a/b", LP_WORKSPACE, "/V/a/b", ""},
        // "@@" is a version-extended name, never a scope.
        {"lbtype:REL1@/vobs/p/a.c@@/main/2", LP_NONE, "lbtype:REL1@/vobs/p/a.c@@/main/2", ""},
        {"x:y", LP_NONE, "x:y", ""},
        {":viewtag:dev", LP_NONE, ":viewtag:dev", ""},
        {"/vobs/p/a.c", LP_NONE, "/vobs/p/a.c", ""},
        {"stgloc:pool@region", LP_STGLOC, "pool", "region"},
        {"replicauuid:abc", LP_REPLICA_UUID, "abc", ""},
        {"", LP_NONE, "", ""},
    };
    for (const auto& c : cases) {
        VdLocation l{SUM_String(c.text)};
        LocationPrefix p;
        SUM_String name, scope;
        l.parse_native(p, name, scope);
        EXPECT_EQ(p, c.prefix) << c.text;
        EXPECT_EQ(name.str(), c.name) << c.text;
        EXPECT_EQ(scope.str(), c.scope) << c.text;
        EXPECT_EQ(l.get_prefix(), c.prefix) << c.text;
    }
}

TEST(VdLocation, BuiltFromPartsAndWalked) {
    EXPECT_EQ(VdLocation(LP_VOBTAG, SUM_String("/vobs/p"), SUM_String("r")).to_native().str(),
              "vobtag:/vobs/p@r");
    EXPECT_EQ(VdLocation(LP_SERVER, SUM_String("h")).to_native().str(), "server:h");
    EXPECT_EQ(VdLocation(LP_NONE, SUM_String("v")).to_native().str(),
              "internal error: missing prefix:v");
    // The prefix is part of the first segment.
    EXPECT_EQ(VdLocation(SUM_String("vobtag:/vobs/src/dir")).parent().to_native().str(),
              "vobtag:/vobs/src");
    EXPECT_EQ(VdLocation(SUM_String("workspace:/V/a/b")).parent().to_native().str(),
              "workspace:/V/a");
    VdPath p{SUM_String("//a///b/")};
    ASSERT_EQ(p.get_segments().size(), 2u);
    EXPECT_EQ(VdPath::join(p.get_segments()).str(), "a/b");
    EXPECT_TRUE(p.is_absolute());
    EXPECT_TRUE(VdPath().is_null());
    EXPECT_EQ(VdPath(SUM_String("a")).child(SUM_String("b")).to_native().str(), "a/b");
}

TEST(VdResource, TypeNames) {
    SUM_String name;
    VdResource::Type t;
    EXPECT_NE(VdResource::type_to_name(47, name), 0);
    EXPECT_NE(VdResource::type_to_name(-1, name), 0);
    ASSERT_EQ(VdResource::name_to_type(SUM_String("web-file"), t), 0);
    EXPECT_EQ(t, 45);
    ASSERT_EQ(VdResource::type_to_name(VdResource::FOLDER, name), 0);
    EXPECT_EQ(name.str(), "folder");
    EXPECT_NE(VdResource::name_to_type(SUM_String("Web-File"), t), 0);
    std::unique_ptr<VdResource> r;
    EXPECT_EQ(VdResource::create(VdResource::STREAM, VdLocation(), {}, nullptr, r), 1001);
}

}  // namespace
