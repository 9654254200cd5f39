// VOB creation: storage, first objects, registration, opening and removal.
#include "core/vob/vob.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/cmdsyn/cmdsyn.h"
#include "core/rgy/rgy.h"
#include "core/store/db.h"
#include "core/sum/imsg_redirector.h"
#include "core/vob/vob_store.h"
#include "support/temp_dir.h"

class VobFixture : public ::testing::Test {
protected:
    void TearDown() override { vob_ob_all_cache_action(4); }
    TempHome site_;
    const std::string& home_ = site_.path();
};

TEST_F(VobFixture, CreateOpenRemove) {
    vob_create_args_t args;
    args.tag = "/vobs/proj";
    std::string storage = home_ + "/vobs/proj.vbs";
    args.storage = storage.c_str();
    args.comment = "first";
    tbs_uuid_t uuid;
    ASSERT_EQ(vob_create(args, &uuid), 0);
    EXPECT_NE(vob_create(args, nullptr), 0);  // the tag is taken

    vob_t* vob = nullptr;
    ASSERT_EQ(vob_open_by_tag("/vobs/proj", &vob), 0);
    EXPECT_EQ(memcmp(vob->uuid.bytes, uuid.bytes, 16), 0);
    EXPECT_GT(vob->root_element, 0);
    vob_t* again = nullptr;
    ASSERT_EQ(vob_open_by_uuid(uuid, &again), 0);
    EXPECT_EQ(again, vob);
    int64_t gen = 0;
    ASSERT_EQ(vob_ob_get_gen_num(vob, &gen), 0);
    EXPECT_EQ(gen, 1);
    for (auto [mtype, name] :
         {std::pair{VOB_MTYPE_ELTYPE, "text_file"}, std::pair{VOB_MTYPE_BRTYPE, "main"},
          std::pair{VOB_MTYPE_HLTYPE, "Merge"}}) {
        int64_t dbid = 0;
        EXPECT_EQ(vob_store_find_type(*vob->db, mtype, name, &dbid), 0) << name;
    }
    // Listed by kind, in name order.
    std::vector<vob_type_info_t> types;
    ASSERT_EQ(vob_type_list(vob, VOB_MTYPE_ELTYPE, &types), 0);
    std::vector<std::string> names;
    for (const vob_type_info_t& t : types) names.push_back(t.name);
    EXPECT_EQ(names,
              (std::vector<std::string>{"compressed_file", "directory", "file", "text_file"}));
    ASSERT_EQ(vob_type_list(vob, VOB_MTYPE_LBTYPE, &types), 0);
    EXPECT_TRUE(types.empty());
    std::string vob_dbid;
    ASSERT_EQ(vob_store_get_info(*vob->db, "vob_dbid", &vob_dbid), 0);
    int64_t events = 0;
    ASSERT_EQ(vob_store_count_events(*vob->db, std::stoll(vob_dbid), &events), 0);
    EXPECT_EQ(events, 1);

    ASSERT_EQ(vob_remove("/vobs/proj"), 0);
    EXPECT_FALSE(std::filesystem::exists(storage));
    EXPECT_EQ(vob_open_by_tag("/vobs/proj", &vob), TBS_ST_NOT_FOUND);
}

TEST_F(VobFixture, FailedCreationLeavesNothing) {
    vob_create_args_t args;
    args.tag = "bad tag";  // refused by the registry after the storage was made
    std::string storage = home_ + "/vobs/bad.vbs";
    args.storage = storage.c_str();
    EXPECT_NE(vob_create(args, nullptr), 0);
    EXPECT_FALSE(std::filesystem::exists(storage));
    std::filesystem::create_directories(home_ + "/taken");
    args.tag = "/vobs/ok";
    std::string taken = home_ + "/taken";
    args.storage = taken.c_str();
    EXPECT_NE(vob_create(args, nullptr), 0);  // existing storage is never reused
    std::vector<rgy_vob_entry_t> tags;
    ASSERT_EQ(rgy_list_vob_tags(nullptr, &tags), 0);
    EXPECT_TRUE(tags.empty());
}

TEST_F(VobFixture, VdtoolVobCommands) {
    std::string storage = home_ + "/vobs/t.vbs";
    struct Case {
        std::vector<const char*> argv;
        tbs_status_t status;
        const char* output;  // expected start of the collected messages
    } cases[] = {
        {{"vdtool", "mkvob", "-tag", "/vobs/t", "-nc", storage.c_str()},
         0,
         "Created versioned object base."},
        {{"vdtool", "mkvob", "-tag", "/vobs/t", storage.c_str()},
         1004,
         "vdtool: Error: Unable to create"},
        {{"vdtool", "mkvob", "-tag"}, TBS_ST_BAD_REQUEST, "Usage: mkvob"},
        {{"vdtool", "lsvob", "/vobs/t"}, 0, "/vobs/t"},
        {{"vdtool", "rmvob", "/vobs/t"}, 0, "Removed versioned object base \"/vobs/t\"."},
        {{"vdtool", "lsvob", "/vobs/t"}, TBS_ST_NOT_FOUND, "vdtool: Error: Unable to find"},
        {{"vdtool", "nosuch"}, TBS_ST_BAD_REQUEST, "vdtool: Error: Unrecognized command"},
    };
    for (const auto& c : cases) {
        SUM_ImsgRedirector collect;
        EXPECT_EQ(cmdsyn_execv(static_cast<int>(c.argv.size()), c.argv.data()), c.status)
            << c.argv[1];
        EXPECT_EQ(collect.text().rfind(c.output, 0), 0u) << collect.text();
    }
    EXPECT_TRUE(clp_match("-c", "-comment", 1));
    EXPECT_FALSE(clp_match("-", "-comment", 1));
    EXPECT_FALSE(clp_match("-commentx", "-comment", 1));
    // Subcommand patterns: a bracketed tail may be left off from its end.
    struct Pattern {
        const char* word;
        const char* pattern;
        bool match;
    } patterns[] = {
        {"lsh", "lsh[istory]", true},
        {"lshist", "lsh[istory]", true},
        {"lshistory", "lsh[istory]", true},
        {"ls", "lsh[istory]", false},
        {"lsx", "lsh[istory]", false},
        {"lshistoryx", "lsh[istory]", false},
        {"lsvob", "lsvob", true},
        {"lsvo", "lsvob", false},
        {"", "ls[type]", false},
        {"ls", "ls[type]", true},
    };
    for (const Pattern& p : patterns)
        EXPECT_EQ(clp_match(p.word, p.pattern), p.match) << p.word << " " << p.pattern;
}
