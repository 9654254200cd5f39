// Tracing (trace files, lines, scopes), the Log facility, meter options and client meters.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/imsg/imsg.h"
#include "core/meter/client_meters.h"
#include "core/tbs/tbs.h"
#include "foundation/log.h"
#include "foundation/vdw_meter.h"
#include "foundation/vdw_trace.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> read_lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

struct TraceLine {
    std::vector<std::string> fields;  // time, tag, component, class, method, message
};

// Splits at the first five "::"; the message keeps any further ones.
TraceLine parse_trace_line(const std::string& line) {
    TraceLine t;
    size_t pos = 0;
    for (int i = 0; i < 5; ++i) {
        size_t sep = line.find("::", pos);
        if (sep == std::string::npos) break;
        t.fields.push_back(line.substr(pos, sep - pos));
        pos = sep + 2;
    }
    t.fields.push_back(line.substr(pos));
    return t;
}

std::vector<TraceLine> read_trace(const std::string& path) {
    std::vector<TraceLine> out;
    for (const auto& l : read_lines(path)) out.push_back(parse_trace_line(l));
    return out;
}

// Whether `text` has the shape `shape`: "#" stands for a digit, "@" for a letter, "*" for
// one or more characters of any kind; everything else stands for itself.
bool matches_shape(const std::string& text, const std::string& shape) {
    size_t star = shape.find('*');
    if (star != std::string::npos) {
        std::string head = shape.substr(0, star);
        std::string tail = shape.substr(star + 1);
        if (text.size() < head.size() + tail.size() + 1) return false;
        return matches_shape(text.substr(0, head.size()), head) &&
               matches_shape(text.substr(text.size() - tail.size()), tail);
    }
    if (text.size() != shape.size()) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (shape[i] == '#' ? !isdigit(c) : shape[i] == '@' ? !isalpha(c) : c != shape[i]) {
            return false;
        }
    }
    return true;
}

// "<name>=<seconds with six decimals>"
bool is_seconds_field(const std::string& word, const std::string& name) {
    if (word.rfind(name + "=", 0) != 0) return false;
    std::string value = word.substr(name.size() + 1);
    size_t dot = value.find('.');
    return dot != std::string::npos && dot > 0 &&
           matches_shape(value, std::string(dot, '#') + ".######");
}

// Restores the process umask when a test has set its own.
class UmaskGuard {
public:
    explicit UmaskGuard(mode_t mask) : old_(umask(mask)) {}
    ~UmaskGuard() { umask(old_); }

private:
    mode_t old_;
};

class TraceTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/vdweb-trace-XXXXXX";
        home_ = mkdtemp(tmpl);
        setenv("VERDANE_HOME", home_.c_str(), 1);
        tbs_reset_product_dir();
        VDW_Trace::reset_for_tests();
        unsetenv("VDCORE_METERING_OPTIONS");
    }
    void TearDown() override {
        client_meters_finish_program();
        VDW_Meter::meteringOn = false;
        unsetenv("VDCORE_METERING_OPTIONS");
        VDW_Trace::reset_for_tests();
        fs::remove_all(home_);
        unsetenv("VERDANE_HOME");
        tbs_reset_product_dir();
    }
    std::string trace_dir() const { return home_ + "/log/trace"; }

    std::string home_;
};

TEST_F(TraceTest, SetTraceDecidesWhatIsTraced) {
    struct Case {
        const char* subsys;
        int level;
        bool on;
        bool at1, at3, at4;  // shouldTrace for component QLMX
    } cases[] = {
        {"", 3, false, false, false, false},       {nullptr, 3, false, false, false, false},
        {"QLMX", 0, false, false, false, false},   {"QLMX", 3, true, true, true, false},
        {"all", 4, true, true, true, true},        {"vdw_lib,QLMX", 2, true, true, false, false},
        {"vdw_lib", 4, true, false, false, false},
    };
    VDW_Trace t(QLMX_COMPONENT, "VDRPC");
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.subsys ? c.subsys : "(null)") + "/" + std::to_string(c.level));
        ASSERT_TRUE(VDW_Trace::set_trace(c.subsys, c.level));
        EXPECT_EQ(VDW_Trace::tracingOn(), c.on);
        EXPECT_EQ(VDW_Trace::get_trace_level(), c.level);
        EXPECT_EQ(t.shouldTrace(1), c.at1);
        EXPECT_EQ(t.shouldTraceEntryExit(), c.at3);
        EXPECT_EQ(t.shouldTrace(4), c.at4);
    }

    // A list that does not fit the buffer is refused whole; one that fits is kept.
    ASSERT_TRUE(VDW_Trace::set_trace("QLMX", 2));
    EXPECT_FALSE(VDW_Trace::set_trace(std::string(VDW_Trace::BUF_SIZE, 'a').c_str(), 4));
    EXPECT_STREQ(VDW_Trace::get_trace_subsys(), "QLMX");
    EXPECT_EQ(VDW_Trace::get_trace_level(), 2);
    EXPECT_FALSE(t.shouldTrace(4));
    std::string longest(VDW_Trace::BUF_SIZE - 1, 'b');
    EXPECT_TRUE(VDW_Trace::set_trace(longest.c_str(), 1));
    EXPECT_EQ(VDW_Trace::get_trace_subsys(), longest);
}

TEST_F(TraceTest, TraceFileNames) {
    const std::string dt = "d######_t######";
    struct Case {
        const char* server;  // null: the default name
        const char* user;
        int session, pid;
        std::string shape;  // below the trace directory
    } cases[] = {
        {nullptr, "", 0, 99, "unknown_s0_" + dt + "_p99.log"},
        {"qlmx", "alice", 7, 1234, "alice/qlmx_alice_s7_" + dt + "_p1234.log"},
        {"qlmx", nullptr, 3, 5, "qlmx_s3_" + dt + "_p5.log"},
        {"qlmx", "DOM\\bob..x", 0, 8, "DOM\\bob..x/qlmx_DOM\\bob..x_s0_" + dt + "_p8.log"},
    };
    UmaskGuard mask(0);
    VDW_Trace::set_trace("QLMX", 1);
    VDW_Trace t(QLMX_COMPONENT, "VDRPC");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shape);
        VDW_Trace::reset_for_tests();
        VDW_Trace::set_trace("QLMX", 1);
        if (c.server) {
            ASSERT_TRUE(VDW_Trace::set_server_name(c.server));
        }
        ASSERT_TRUE(VDW_Trace::setup_trace_file(c.user, c.session, c.pid));
        std::string file = VDW_Trace::get_trace_file();
        ASSERT_EQ(file.rfind(trace_dir() + "/", 0), 0u) << file;
        EXPECT_TRUE(matches_shape(file.substr(trace_dir().size() + 1), c.shape)) << file;
        EXPECT_TRUE(fs::is_directory(fs::path(file).parent_path()));
        EXPECT_FALSE(fs::exists(file));  // opened by the first line
        t.writeTrace(1, "first");
        ASSERT_EQ(read_lines(file).size(), 1u);
        // Even with no umask to narrow them: the file and its directories are the site
        // account's alone.
        struct stat st;
        ASSERT_EQ(stat(file.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
        for (fs::path dir = fs::path(file).parent_path(); dir.string().size() >= trace_dir().size();
             dir = dir.parent_path()) {
            ASSERT_EQ(stat(dir.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, 0700u) << dir;
        }
    }

    // A new name closes the old file: later lines go to the new one only.
    VDW_Trace::set_server_name(QLMX_SERVER_NAME);
    ASSERT_TRUE(VDW_Trace::setup_trace_file("carol", 1, 10));
    std::string first = VDW_Trace::get_trace_file();
    t.writeTrace(1, "one");
    ASSERT_TRUE(VDW_Trace::setup_trace_file("carol", 2, 10));
    std::string second = VDW_Trace::get_trace_file();
    ASSERT_NE(first, second);
    t.writeTrace(1, "two");
    EXPECT_EQ(read_lines(first).size(), 1u);
    EXPECT_EQ(read_lines(second).size(), 1u);
}

TEST_F(TraceTest, HostileNamesCannotLeaveTheTraceDirectory) {
    ASSERT_TRUE(VDW_Trace::set_server_name(QLMX_SERVER_NAME));
    ASSERT_TRUE(VDW_Trace::setup_trace_file("alice", 1, 42));
    const std::string before = VDW_Trace::get_trace_file();
    for (std::string user : {"../x", "a/b", "..", ".", "/etc", "x/../../y"}) {
        SCOPED_TRACE(user);
        EXPECT_FALSE(VDW_Trace::setup_trace_file(user.c_str(), 2, 43));
        EXPECT_EQ(VDW_Trace::get_trace_file(), before);
        EXPECT_STREQ(VDW_Trace::get_trace_username(), "alice");
        EXPECT_EQ(VDW_Trace::get_trace_session_id(), 1);
    }
    EXPECT_FALSE(VDW_Trace::setup_trace_file(std::string(VDW_Trace::BUF_SIZE, 'u').c_str(), 2, 43));
    EXPECT_FALSE(
        VDW_Trace::setup_trace_file(std::string(1000, 'u').c_str(), 2, 43));  // file too long
    EXPECT_EQ(VDW_Trace::get_trace_file(), before);
    EXPECT_FALSE(VDW_Trace::set_server_name("../srv"));
    EXPECT_FALSE(VDW_Trace::set_server_name(nullptr));
    EXPECT_STREQ(VDW_Trace::get_server_name(), QLMX_SERVER_NAME);
    EXPECT_FALSE(fs::exists(home_ + "/log/x"));
    EXPECT_FALSE(fs::exists(home_ + "/y"));
}

TEST_F(TraceTest, LinesAndEntryExitOfAScope) {
    ASSERT_TRUE(VDW_Trace::setup_trace_file("alice", 1, 42));
    VDW_Trace::set_trace("QLMX", 3);
    {
        VDW_Trace t(QLMX_COMPONENT, "VDW_WsSyncFetch", "fetch");
        t.writeTrace(2, "n=%d", 5);
        t.writeTrace(4, "too detailed %d", 4);
        t.writeTrace_m("other", "m %s", "a::b");
        t.traceMsg("core_msg", "text");
        t.sendTrace("core_send", "sent");
    }
    VDW_Trace::set_trace("QLMX", 2);
    {
        VDW_Trace t(QLMX_COMPONENT, "VDW_WsSyncFetch", "quiet");
        t.writeTrace(2, "level two");
    }
    auto lines = read_trace(VDW_Trace::get_trace_file());
    struct Expected {
        const char* method;
        const char* message;
    } expected[] = {
        {"fetch", "Entering"}, {"fetch", "n=5"},     {"other", "m a::b"},    {"core_msg", "text"},
        {"core_send", "sent"}, {"fetch", "Exiting"}, {"quiet", "level two"},
    };
    ASSERT_EQ(lines.size(), std::size(expected));
    for (size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(i);
        const auto& f = lines[i].fields;
        ASSERT_EQ(f.size(), 6u);
        EXPECT_TRUE(matches_shape(f[0], "@@@ ##,#### ##:##:##.###")) << f[0];
        EXPECT_EQ(f[1], "TRACE");
        EXPECT_EQ(f[2], "QLMX");
        EXPECT_EQ(f[3], "VDW_WsSyncFetch");
        EXPECT_EQ(f[4], expected[i].method);
        EXPECT_EQ(f[5], expected[i].message);
    }
}

TEST_F(TraceTest, ScopeWithoutMethodWritesNoEntryOrExit) {
    ASSERT_TRUE(VDW_Trace::setup_trace_file("", 0, 42));
    VDW_Trace::set_trace("all", 4);
    {
        VDW_Trace t(QLMX_COMPONENT, "VDRPC");
        t.writeTrace(1, "note");
    }
    auto lines = read_trace(VDW_Trace::get_trace_file());
    ASSERT_EQ(lines.size(), 1u);
    ASSERT_EQ(lines[0].fields.size(), 6u);
    EXPECT_EQ(lines[0].fields[4], "");
    EXPECT_EQ(lines[0].fields[5], "note");
}

TEST_F(TraceTest, LongMessagesAreCut) {
    ASSERT_TRUE(VDW_Trace::setup_trace_file("", 0, 42));
    VDW_Trace::set_trace("QLMX", 1);
    VDW_Trace t(QLMX_COMPONENT, "VDRPC", "m");
    const size_t sizes[] = {2046, 2047, 2048, 3000};
    for (size_t n : sizes) t.writeTrace("%s", std::string(n, 'x').c_str());
    // Unformatted text is written whole, however long.
    const std::string core_text(5000, 'y');
    t.traceMsg("core", core_text.c_str());
    auto lines = read_trace(VDW_Trace::get_trace_file());
    ASSERT_EQ(lines.size(), std::size(sizes) + 1);
    const size_t cut[] = {2046, 2047, 2047, 2047};
    for (size_t i = 0; i < std::size(sizes); ++i) {
        EXPECT_EQ(lines[i].fields.back(), std::string(cut[i], 'x'));
    }
    EXPECT_EQ(lines.back().fields.back(), core_text);
}

TEST_F(TraceTest, NothingIsWrittenWithoutSetupOrWithTracingOff) {
    VDW_Trace::set_trace("all", 4);
    {
        VDW_Trace t(QLMX_COMPONENT, "VDRPC", "m");
        t.writeTrace("unconditional");
    }
    EXPECT_FALSE(VDW_Trace::open_trace_file());
    EXPECT_EQ(VDW_Trace::create_trace_filename("x"), "");
    EXPECT_FALSE(fs::exists(home_ + "/log"));

    ASSERT_TRUE(VDW_Trace::setup_trace_file("alice", 0, 42));
    VDW_Trace::set_trace("", 3);
    {
        VDW_Trace t(QLMX_COMPONENT, "VDRPC", "m");
        t.writeTrace(1, "wanted only with tracing on");
    }
    EXPECT_FALSE(fs::exists(VDW_Trace::get_trace_file()));
}

TEST_F(TraceTest, CreateTraceFilename) {
    struct Case {
        const char* user;
        int session, pid;
        const char* suffix;
        const char* leaf;  // "" for none
    } cases[] = {
        {"alice", 7, 1234, "cancel", "qlmx_alice_s7_1234_cancel.log"},
        {"alice", 0, 1234, "ireq", "qlmx_alice_1234_ireq.log"},
        {"", 3, 55, "x", "qlmx__s3_55_x.log"},
        {"alice", 7, 0, "x", ""},
        {"alice", 7, 9, "a/b", ""},
        {"alice", 7, 9, "", ""},
    };
    VDW_Trace::set_server_name(QLMX_SERVER_NAME);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.leaf);
        ASSERT_TRUE(VDW_Trace::setup_trace_file(c.user, c.session, c.pid));
        std::string want = *c.leaf ? trace_dir() + "/" + c.leaf : "";
        EXPECT_EQ(VDW_Trace::create_trace_filename(c.suffix), want);
    }
    EXPECT_EQ(VDW_Trace::create_trace_filename(nullptr), "");
}

// Two processes appending to one trace file: every line arrives whole.
TEST_F(TraceTest, WritersSharingAFileNeverInterleave) {
    ASSERT_TRUE(VDW_Trace::setup_trace_file("", 0, 42));
    VDW_Trace::set_trace("QLMX", 1);
    const int kLines = 500;
    const size_t kLen = 1500;
    pid_t kids[2];
    for (int k = 0; k < 2; ++k) {
        kids[k] = fork();
        ASSERT_GE(kids[k], 0);
        if (kids[k] == 0) {
            VDW_Trace t(QLMX_COMPONENT, "VDRPC", "w");
            std::string msg(kLen, k ? 'b' : 'a');
            for (int i = 0; i < kLines; ++i) t.writeTrace("%s", msg.c_str());
            _exit(0);
        }
    }
    for (pid_t kid : kids) {
        int st = 0;
        ASSERT_EQ(waitpid(kid, &st, 0), kid);
        ASSERT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
    }
    auto lines = read_trace(VDW_Trace::get_trace_file());
    ASSERT_EQ(lines.size(), 2u * kLines);
    for (const auto& l : lines) {
        ASSERT_EQ(l.fields.size(), 6u);
        const std::string& m = l.fields[5];
        ASSERT_EQ(m.size(), kLen);
        ASSERT_EQ(m.find_first_not_of(m[0]), std::string::npos);
    }
}

// ---- Log ----

void capture_trace(void* ctx, int msg_class, char* text) {
    if (msg_class == IMSG_TRACE) static_cast<std::string*>(ctx)->append(text);
}

class LogTest : public TraceTest {
protected:
    void SetUp() override {
        TraceTest::SetUp();
        saved_ = imsg_get_redirect_table();
        imsg_redirect_proc_t procs[IMSG_NUM_CLASSES];
        for (auto& p : procs) p = imsg_append_proc_suppress;
        procs[IMSG_TRACE] = capture_trace;
        imsg_set_redirect_procs(procs, &out_);
    }
    void TearDown() override {
        Log::stop(0, "");
        imsg_set_redirect_table(saved_);
        TraceTest::TearDown();
    }
    std::vector<std::string> out_lines() const {
        std::vector<std::string> lines;
        std::istringstream in(out_);
        for (std::string l; std::getline(in, l);) lines.push_back(l);
        return lines;
    }

    imsg_redirect_table_t saved_;
    std::string out_;
};

TEST_F(LogTest, MessagesNeedStartVerbosityAndSubsystem) {
    struct Case {
        const char* subsys;
        int verbosity;
        bool started;
        int type;
        const char* printed;  // null: nothing
    } cases[] = {
        {"vdw_lib", 3, false, Log::ERROR, nullptr},
        {"vdw_lib", 1, true, Log::ERROR, "Error  \tvalue 7\tfile.cc,42\n"},
        {"vdw_lib", 1, true, Log::WARNING, nullptr},
        {"vdw_lib", 2, true, Log::WARNING, "Warning\tvalue 7\tfile.cc,42\n"},
        {"vdw_lib", 2, true, Log::INFO, nullptr},
        {"vdw_lib", 3, true, Log::INFO, "Info   \tvalue 7\tfile.cc,42\n"},
        {"QLMX,vdw_lib", 4, true, 9, "Info   \tvalue 7\tfile.cc,42\n"},
        {"QLMX", 4, true, Log::ERROR, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.subsys) + "/" + std::to_string(c.verbosity) + "/" +
                     std::to_string(c.type));
        VDW_Trace::set_trace(c.subsys, c.verbosity);
        if (c.started) Log::start(1, "t.cc");
        out_.clear();
        Log::msg(c.type, 42, "file.cc", "value %d", 7);
        EXPECT_EQ(out_, c.printed ? c.printed : "");
        Log::stop(2, "t.cc");
    }
}

TEST_F(LogTest, StartStopAndNestedScopes) {
    VDW_Trace::set_trace("vdw_lib", 1);
    Log::start(10, "a.cc");
    {
        Log outer("checkout", "%s,%d", "x", 2);
        EXPECT_EQ(Log::nesting(), 1);
        {
            Log inner("inner", "%s", "");
            EXPECT_EQ(Log::nesting(), 2);
        }
    }
    EXPECT_EQ(Log::nesting(), 0);
    Log::stop(20, "a.cc");
    Log::msg(Log::ERROR, 1, "a.cc", "after stop");
    { Log after("after", "%d", 1); }

    auto lines = out_lines();
    ASSERT_EQ(lines.size(), 6u) << out_;
    const char* shapes[] = {
        "Info   \tLogging started : *\ta.cc,10",
        "Info   \tentering checkout(x,2)\tcheckout,1",
        "Info   \tentering inner()\tinner,2",
        "Info   \tleaving inner total time = * seconds\tinner,2",
        "Info   \tleaving checkout total time = * seconds\tcheckout,1",
        "Info   \tLogging stopped : *\ta.cc,20",
    };
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_TRUE(matches_shape(lines[i], shapes[i])) << lines[i];
    }
    for (size_t i : {3, 4}) {
        size_t at = lines[i].find("= ") + 2;
        std::string seconds = lines[i].substr(at, lines[i].find(' ', at) - at);
        EXPECT_TRUE(is_seconds_field("t=" + seconds, "t")) << lines[i];
    }
}

TEST_F(LogTest, EntriesAreCutTo500Bytes) {
    VDW_Trace::set_trace("vdw_lib", 1);
    Log::start(1, "t.cc");
    out_.clear();
    Log::msg(Log::ERROR, 1, "f.cc", "%s", std::string(1000, 'e').c_str());
    ASSERT_EQ(out_.size(), static_cast<size_t>(Log::ENTRY_MAX - 1));
    EXPECT_EQ(out_.rfind("Error  \teee", 0), 0u);
    EXPECT_EQ(out_.back(), '\n');
}

// ---- Metering ----

using MeterTest = TraceTest;

TEST_F(MeterTest, OptionsNameTheMeterFileInTheEnvironment) {
    UmaskGuard mask(0);
    ASSERT_TRUE(VDW_Meter::set_meter_options("alice", 0, 4242));
    const std::string file = home_ + "/log/meter/QLMX_meter_alice_s0_4242.ascii";
    const char* env = getenv("VDCORE_METERING_OPTIONS");
    ASSERT_NE(env, nullptr);
    EXPECT_EQ(std::string(env), "-destination \"" + file + "\" -format ascii");
    EXPECT_EQ(VDW_Meter::meter_file(), file);
    struct stat st;
    ASSERT_EQ(stat((home_ + "/log/meter").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);

    ASSERT_TRUE(VDW_Meter::set_meter_options(nullptr, 3, 7));
    EXPECT_EQ(VDW_Meter::meter_file(), home_ + "/log/meter/QLMX_meter__s3_7.ascii");

    // Refused names leave the environment as it was.
    const std::string kept = getenv("VDCORE_METERING_OPTIONS");
    EXPECT_FALSE(VDW_Meter::set_meter_options("../bob", 0, 1));
    EXPECT_FALSE(VDW_Meter::set_meter_options(std::string(1100, 'u').c_str(), 0, 1));
    EXPECT_EQ(getenv("VDCORE_METERING_OPTIONS"), kept);
}

TEST_F(MeterTest, NothingIsRecordedWithoutOptions) {
    VDW_Meter::meteringOn = true;
    EXPECT_EQ(client_meters_start_program("QLMX"), 0);
    EXPECT_FALSE(client_meters_active());
    EXPECT_EQ(client_meters_create_region("VDW_Vdcore::checkout_rpc"), 0);
    client_meter_region_t slot = 0;
    { VDW_MeterRegion r(&slot, "VDW_Vdcore::checkout_rpc"); }
    EXPECT_EQ(slot, 0);
    client_meters_finish_program();
    EXPECT_FALSE(fs::exists(home_ + "/log"));

    // Options that name no usable destination keep metering off.
    for (const char* options :
         {"-format ascii", "-destination \"/x/y\" -format binary", "-destination"}) {
        SCOPED_TRACE(options);
        setenv("VDCORE_METERING_OPTIONS", options, 1);
        EXPECT_EQ(client_meters_start_program("QLMX"), 0);
        EXPECT_FALSE(client_meters_active());
    }
    setenv("VDCORE_METERING_OPTIONS", ("-destination \"" + home_ + "/no/dir/m\"").c_str(), 1);
    EXPECT_NE(client_meters_start_program("QLMX"), 0);
    EXPECT_FALSE(client_meters_active());
}

TEST_F(MeterTest, ClientMetersRecordProgramAndRegions) {
    UmaskGuard mask(0);
    ASSERT_TRUE(VDW_Meter::set_meter_options("bob", 3, 77));
    VDW_Meter::meteringOn = true;
    ASSERT_EQ(client_meters_start_program("QLMX"), 0);
    ASSERT_TRUE(client_meters_active());

    client_meter_region_t rpc = client_meters_create_region("VDW_Vdcore::checkout_rpc");
    EXPECT_GT(rpc, 0);
    EXPECT_EQ(client_meters_create_region("VDW_Vdcore::checkout_rpc"), rpc);
    EXPECT_EQ(client_meters_create_region(""), 0);
    static client_meter_region_t digest = 0;
    for (int i = 0; i < 2; ++i) {
        VDW_MeterRegion r(&digest, "WebViewStateDigest::fetch_digestible_state");
    }
    EXPECT_GT(digest, 0);
    EXPECT_NE(digest, rpc);
    {
        VDW_MeterRegion outer("VDW_Vdcore::checkout_rpc");
        VDW_MeterRegion again("VDW_Vdcore::checkout_rpc");
    }
    client_meters_enter_region(0);
    client_meters_exit_region(rpc);  // not entered: ignored
    client_meters_exit_region(12345);
    client_meters_finish_program();
    client_meters_enter_region(rpc);  // after the finish: ignored

    struct stat st;
    ASSERT_EQ(stat(VDW_Meter::meter_file(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    auto lines = read_lines(VDW_Meter::meter_file());
    const std::string pid = "pid=" + std::to_string(getpid());
    const char* digest_name = "WebViewStateDigest::fetch_digestible_state";
    const char* rpc_name = "VDW_Vdcore::checkout_rpc";
    struct Expected {
        const char* kind;
        const char* name;
        const char* count;  // null: not checked
    } expected[] = {
        {"program_start", "program=QLMX", nullptr}, {"region_enter", digest_name, "count=1"},
        {"region_exit", digest_name, "count=1"},    {"region_enter", digest_name, "count=2"},
        {"region_exit", digest_name, "count=2"},    {"region_enter", rpc_name, "count=1"},
        {"region_enter", rpc_name, "count=2"},      {"region_exit", rpc_name, "count=2"},
        {"region_exit", rpc_name, "count=2"},       {"program_finish", "program=QLMX", nullptr},
    };
    ASSERT_EQ(lines.size(), std::size(expected));
    for (size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(lines[i]);
        std::istringstream words(lines[i]);
        std::vector<std::string> w;
        for (std::string s; words >> s;) w.push_back(s);
        ASSERT_GE(w.size(), 4u);
        EXPECT_EQ(w[0], expected[i].kind);
        std::string name = expected[i].name;
        if (name.rfind("program=", 0) != 0) name = "region=" + name;
        EXPECT_EQ(w[1], name);
        EXPECT_EQ(w[2], pid);
        EXPECT_TRUE(is_seconds_field(w[3], "time"));
        if (expected[i].count) {
            EXPECT_EQ(w.back(), expected[i].count);
        }
        if (w[0] == "region_exit" || w[0] == "program_finish") {
            ASSERT_GE(w.size(), 6u);
            EXPECT_TRUE(is_seconds_field(w[4], "elapsed"));
            EXPECT_TRUE(is_seconds_field(w[5], "cpu"));
        }
    }
    EXPECT_EQ(lines.back().substr(lines.back().rfind(' ') + 1), "regions=2");
}

TEST_F(MeterTest, DestinationMayHoldBlanks) {
    const std::string dir = home_ + "/meter dir";
    fs::create_directories(dir);
    setenv("VDCORE_METERING_OPTIONS",
           ("-destination \"" + dir + "/m file.ascii\" -format ascii").c_str(), 1);
    ASSERT_EQ(client_meters_start_program("prog name"), 0);
    client_meters_finish_program();
    auto lines = read_lines(dir + "/m file.ascii");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("program_start program=prog_name pid=", 0), 0u);
}

}  // namespace
