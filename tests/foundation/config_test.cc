// The configuration singleton: file syntax, typed lookups, defaults, listing, flags.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/tbs/tbs.h"
#include "foundation/vdw_config.h"
#include "foundation/vdw_trace.h"

namespace fs = std::filesystem;

namespace {

class ConfigTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/vdweb-config-XXXXXX";
        home_ = mkdtemp(tmpl);
        setenv("VERDANE_HOME", home_.c_str(), 1);
        tbs_reset_product_dir();
        VDW_Config::reset_for_tests();
        VDW_Trace::reset_for_tests();
    }
    void TearDown() override {
        VDW_Config::reset_for_tests();
        VDW_Trace::reset_for_tests();
        fs::remove_all(home_);
        unsetenv("VERDANE_HOME");
        tbs_reset_product_dir();
    }
    std::string conf_path() const { return home_ + "/config/qlmx/server.conf"; }
    void write_conf(const std::string& text) const {
        fs::create_directories(home_ + "/config/qlmx");
        std::ofstream(conf_path()) << text;
    }
    std::vector<std::string> trace_messages() const {
        std::vector<std::string> out;
        std::ifstream in(VDW_Trace::get_trace_file());
        for (std::string line; std::getline(in, line);) {
            size_t pos = 0;
            for (int i = 0; i < 5 && pos != std::string::npos; ++i) {
                pos = line.find("::", pos);
                if (pos != std::string::npos) pos += 2;
            }
            if (pos != std::string::npos) out.push_back(line.substr(pos));
        }
        return out;
    }

    std::string home_;
};

TEST_F(ConfigTest, FileSyntax) {
    write_conf(
        "# qlmxTempDir = /commented\n"
        "#qlmxPrimaryGroup=staff\n"
        "qlmxTraceUser=alice\n"
        "  qlmxViewStorage   =   /srv/views  \n"
        "=qlmxPrimaryGroup\n"
        "qlmxVobLineTerminator\n"
        "qlmxTarnisDatabaseMapFile = a=b = c\n"
        "qlmxTraceLevel = 2\n"
        "qlmxTraceLevel = 4\n"
        "qlmxMaxRequestsPerSession = 25\n"
        "qlmxUserRegionMapFile =\n"
        "\tqlmxTraceSubsystem\t=\tQLMX,vdw_lib\r\n"
        "\n"
        "   \n"
        "site colour = dark blue\n"
        "qlmxtempdir = lower\n"
        "#\n"
        "qlmxUploadLimit = 1024");  // no final line feed
    VDW_Config& c = VDW_Config::getInstance();
    struct Case {
        const char* key;
        const char* value;  // null: absent
    } cases[] = {
        {"qlmxTempDir", nullptr},
        {"qlmxPrimaryGroup", nullptr},
        {"", nullptr},
        {"qlmxTraceUser", "alice"},
        {"qlmxViewStorage", "/srv/views"},
        {"qlmxVobLineTerminator", nullptr},
        {"qlmxTarnisDatabaseMapFile", "a=b = c"},
        {"qlmxTraceLevel", "4"},
        {"qlmxMaxRequestsPerSession", "25"},
        {"qlmxUserRegionMapFile", ""},
        {"qlmxTraceSubsystem", "QLMX,vdw_lib"},
        {"site colour", "dark blue"},
        {"qlmxtempdir", "lower"},
        {"qlmxUploadLimit", "1024"},
        {"qlmxKeepAliveInterval", "300"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.key);
        const char* got = c.get_string_param(k.key);
        if (k.value) {
            ASSERT_NE(got, nullptr);
            EXPECT_STREQ(got, k.value);
        } else {
            EXPECT_EQ(got, nullptr);
        }
    }

    // Read once per process: a changed file is not seen until the instance is rebuilt.
    write_conf("qlmxTraceUser = bob\n");
    EXPECT_EQ(&VDW_Config::getInstance(), &c);
    EXPECT_STREQ(VDW_Config::getInstance().get_string_param("qlmxTraceUser"), "alice");
    VDW_Config::reset_for_tests();
    EXPECT_STREQ(VDW_Config::getInstance().get_string_param("qlmxTraceUser"), "bob");
    EXPECT_EQ(VDW_Config::getInstance().get_integer_param("qlmxMaxRequestsPerSession"), 10);
}

TEST_F(ConfigTest, TypedGetters) {
    write_conf(
        "b1 = TRUE\nb2 = True\nb3 = yes\nb4 = truee\nb5 = 1\nb6 =\n"
        "i1 = 12abc\ni2 = abc\ni3 = -7\nl1 = 5000000000\n");
    const VDW_Config& c = VDW_Config::getInstance();
    struct Bool {
        const char* key;
        bool value;
    } bools[] = {{"b1", true},  {"b2", true},  {"b3", false},    {"b4", false},
                 {"b5", false}, {"b6", false}, {"absent", false}};
    for (const auto& b : bools) EXPECT_EQ(c.get_boolean_param(b.key), b.value) << b.key;
    struct Int {
        const char* key;
        int value;
    } ints[] = {{"i1", 12}, {"i2", 0}, {"i3", -7}, {"absent", 0}};
    for (const auto& i : ints) EXPECT_EQ(c.get_integer_param(i.key), i.value) << i.key;
    EXPECT_EQ(c.get_long_param("l1"), 5000000000L);
    EXPECT_EQ(c.get_long_param("absent"), 0L);
    EXPECT_EQ(c.get_string_param("absent"), nullptr);
    EXPECT_EQ(c.get_string_param(nullptr), nullptr);
}

TEST_F(ConfigTest, DefaultsWithoutAFile) {
    EXPECT_EQ(VDW_Config::get_config_file(), conf_path());
    const VDW_Config& c = VDW_Config::getInstance();
    EXPECT_EQ(c.get_integer_param(VDW_Config::DOWNLOAD_COMPRESSION_THRESHOLD_KEY), 15);
    EXPECT_EQ(c.get_integer_param(VDW_Config::KEEPALIVE_INTERVAL_KEY), 300);
    EXPECT_EQ(c.get_integer_param(VDW_Config::MAX_REQUESTS_PER_SESSION_KEY), 10);
    EXPECT_TRUE(c.get_boolean_param(VDW_Config::FILTER_OBSOLETE_KEY));
    EXPECT_TRUE(c.get_boolean_param(VDW_Config::SUPPORTS_PARALLEL_LOAD_KEY));
    EXPECT_TRUE(c.get_boolean_param(VDW_Config::SUPPORTS_CLIENT_SESSION_CACHING_KEY));
    EXPECT_EQ(c.get_long_param(VDW_Config::UPLOAD_LIMIT_KEY), 1L << 30);
    EXPECT_EQ(c.get_string_param(VDW_Config::TEMP_DIR_KEY), nullptr);
    EXPECT_FALSE(c.get_boolean_param(VDW_Config::USE_VIEW_HOST_PATH_FOR_GLOBAL_PATH_KEY));
}

TEST_F(ConfigTest, UnreadableFileKeepsDefaultsOnly) {
    // A directory in the file's place opens but fails to read.
    fs::create_directories(conf_path());
    const VDW_Config& c = VDW_Config::getInstance();
    EXPECT_EQ(c.get_integer_param(VDW_Config::DOWNLOAD_COMPRESSION_THRESHOLD_KEY), 15);
    EXPECT_EQ(c.get_all_params(), VDW_Config().get_all_params());

    // A failed load applies nothing over what was there.
    fs::remove(conf_path());
    write_conf("qlmxTempDir = /t\n");
    VDW_Config fresh;
    ASSERT_EQ(fresh.load(conf_path().c_str()), VDW_Config::LOAD_OK);
    EXPECT_EQ(fresh.load((home_ + "/missing.conf").c_str()), VDW_Config::LOAD_FAILED);
    EXPECT_EQ(fresh.load(home_.c_str()), VDW_Config::LOAD_FAILED);
    EXPECT_STREQ(fresh.get_string_param(VDW_Config::TEMP_DIR_KEY), "/t");
}

TEST_F(ConfigTest, AllParamsInOrder) {
    write_conf(
        "qlmxUploadLimit = 5000000000\nqlmxTempDir=/t\nqlmxFilterObsolete = FALSE\n"
        "qlmxTraceLevel=3\nqlmxUseViewHostPathForGlobalPath = True\nunknownKey = x\n");
    const std::vector<std::string> expected = {
        "qlmxTarnisDatabaseMapFile = ",
        "qlmxDownloadCompressionThreshold = 15",
        "qlmxUseViewHostPathForGlobalPath = true",
        "qlmxKeepAliveInterval = 300",
        "qlmxPrimaryGroup = ",
        "qlmxTempDir = /t",
        "qlmxTraceLevel = 3",
        "qlmxTraceSubsystem = ",
        "qlmxTraceUser = ",
        "qlmxUploadLimit = 5000000000",
        "qlmxUserRegionMapFile = ",
        "qlmxViewStorage = ",
        "qlmxVobLineTerminator = ",
        "qlmxFilterObsolete = false",
        "qlmxSupportsParallelLoad = true",
        "qlmxMaxRequestsPerSession = 10",
        "qlmxSupportsClientSessionCaching = true",
    };
    EXPECT_EQ(VDW_Config::getInstance().get_all_params(), expected);
}

TEST_F(ConfigTest, DumpMapAndClientFlagsAreTraced) {
    ASSERT_TRUE(VDW_Trace::setup_trace_file("", 0, 42));
    write_conf("qlmxTempDir = /t\n");
    VDW_Config& c = VDW_Config::getInstance();

    VDW_Trace::set_trace("QLMX", 2);
    c.dump_map("quiet");
    c.set_client_automatic_view_aware(1);
    EXPECT_TRUE(c.is_client_automatic_view_aware());
    c.set_client_snapshot_view_aware(0);
    EXPECT_FALSE(c.is_client_snapshot_view_aware());
    EXPECT_FALSE(c.is_using_extended_groups());
    c.set_using_extended_groups(1);
    EXPECT_TRUE(c.is_using_extended_groups());
    EXPECT_EQ(trace_messages(),
              (std::vector<std::string>{
                  "av-aware set to true", "client knows auto views...", "sv-aware set to false",
                  "client doesn't know snapshot views...", "not using extended groups...",
                  "extended groups set to true", "using extended groups..."}));

    fs::remove(VDW_Trace::get_trace_file());
    VDW_Trace::close_trace_file();
    VDW_Trace::set_trace("QLMX", 4);
    c.dump_map("loaded");
    const std::vector<std::string> dump = {
        "Entering",
        "loaded ----------------...start",
        "[qlmxDownloadCompressionThreshold] = [15]",
        "[qlmxFilterObsolete] = [true]",
        "[qlmxFormLimit] = [268435456]",
        "[qlmxKeepAliveInterval] = [300]",
        "[qlmxMaxRequestsPerSession] = [10]",
        "[qlmxSupportsClientSessionCaching] = [true]",
        "[qlmxSupportsParallelLoad] = [true]",
        "[qlmxTempDir] = [/t]",
        "[qlmxUploadLimit] = [1073741824]",
        "loaded -----------------...end",
        "Exiting",
    };
    EXPECT_EQ(trace_messages(), dump);
}

}  // namespace
