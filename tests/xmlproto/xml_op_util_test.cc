// How the XML operation RPCs take a request's pathnames: the view each kind of RPC may
// work in, names that leave the view's root, "workspace:" locations, and the view-private
// files a checkin may take its contents from.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "core/cmd/cmd.h"
#include "core/imsg/imsg.h"
#include "core/view/view.h"
#include "core/vob/vob.h"
#include "support/core_fixture.h"
#include "support/temp_dir.h"
#include "xmlproto/rpc/vd_xml_op_util.h"

namespace {

class XmlOpUtilTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = redirect_messages(Captured::proc, &cap_);
        ASSERT_EQ(create_vob("/vobs/p", home_.path() + "/p.vbs"), 0);
        ASSERT_EQ(mkelem_ci("/vobs/p/a.c", false, write_file(home_.path() + "/one", "one\n")), 0);
        cmd_mkview_args_t web;
        web.tag = "web";
        web.storage = home_.path() + "/web.vws";
        ASSERT_EQ(cmd_mkview(&web), 0) << cap_.err;
        ASSERT_EQ(view_open_by_tag("web", &web_), 0);
    }
    void TearDown() override {
        view_cache_clear();
        vob_ob_all_cache_action(4);
        imsg_set_redirect_table(saved_);
    }

    TempHome home_;
    Captured cap_;
    imsg_redirect_table_t saved_{};
    view_t* web_ = nullptr;
};

TEST_F(XmlOpUtilTest, PathnamesByKindOfRpc) {
    const std::string root = web_->root;
    const struct {
        VdXmlViewKind kind;
        bool with_view;
        std::string path;
        int status;
        const char* pname;
    } cases[] = {
        {VD_XML_SNAPSHOT, true, "vobs/p/a.c", 0, "/vobs/p/a.c"},
        {VD_XML_SNAPSHOT, true, root + "/vobs/p/a.c", 0, "/vobs/p/a.c"},
        {VD_XML_SNAPSHOT, true, "workspace:/web/vobs/p/a.c", 0, "/vobs/p/a.c"},
        {VD_XML_SNAPSHOT, false, "workspace:/web/vobs/p/a.c", 0, "/vobs/p/a.c"},
        {VD_XML_SNAPSHOT, false, "vobs/p/a.c", 1072, ""},                   // no view
        {VD_XML_SNAPSHOT, true, "vobs/../../etc/passwd", 1072, ""},         // climbs out
        {VD_XML_SNAPSHOT, true, "/etc/passwd", 1072, ""},                   // outside the root
        {VD_XML_SNAPSHOT, true, root + "/../x", 1072, ""},                  // out again
        {VD_XML_SNAPSHOT, true, "", 1072, ""},                              // nothing
        {VD_XML_SNAPSHOT, true, "workspace:/nosuch/vobs/p/a.c", 1072, ""},  // no such view
        {VD_XML_DYNAMIC, true, "vobs/p/a.c", 1072, ""},                     // not dynamic
        {VD_XML_DYNAMIC, false, root + "/vobs/p/a.c", 1072, ""},            // not dynamic
        {VD_XML_DYNAMIC, false, "/vobs/p/a.c", 1072, ""},                   // in no view
    };
    for (const auto& c : cases) {
        view_t* view = c.with_view ? web_ : nullptr;
        std::string pname;
        EXPECT_EQ(vd_xml_op_pname(c.kind, &view, c.path, &pname), c.status) << c.path;
        if (c.status == 0) {
            EXPECT_EQ(pname, c.pname) << c.path;
            EXPECT_EQ(view, web_) << c.path;
        }
    }
    // A "workspace:" location of another view than the one named already.
    cmd_mkview_args_t other;
    other.tag = "other";
    other.storage = home_.path() + "/other.vws";
    ASSERT_EQ(cmd_mkview(&other), 0);
    view_t* view = web_;
    std::string pname;
    EXPECT_EQ(vd_xml_op_pname(VD_XML_SNAPSHOT, &view, "workspace:/other/vobs/p/a.c", &pname), 1072);
}

// Only regular files that stay below the view's private root once every link is followed.
TEST_F(XmlOpUtilTest, PrivateFilesStayInsideTheViewsRoot) {
    namespace fs = std::filesystem;
    const std::string dir = web_->private_root + "/vobs/p";
    fs::create_directories(dir);
    write_file(dir + "/mine.c", "mine\n");
    const std::string secret = write_file(home_.path() + "/secret", "secret\n");
    ASSERT_EQ(symlink(secret.c_str(), (dir + "/escape.c").c_str()), 0);
    ASSERT_EQ(symlink("mine.c", (dir + "/inside.c").c_str()), 0);
    fs::create_directories(dir + "/sub");
    EXPECT_EQ(vd_xml_private_file(web_, "/vobs/p/mine.c"), fs::canonical(dir + "/mine.c").string());
    EXPECT_EQ(vd_xml_private_file(web_, "/vobs/p/inside.c"),
              fs::canonical(dir + "/mine.c").string());
    EXPECT_EQ(vd_xml_private_file(web_, "/vobs/p/escape.c"), "");
    EXPECT_EQ(vd_xml_private_file(web_, "/vobs/p/sub"), "");
    EXPECT_EQ(vd_xml_private_file(web_, "/vobs/p/missing.c"), "");
    EXPECT_EQ(vd_xml_private_file(web_, "/vobs/p/../../../secret"), "");
}

}  // namespace
