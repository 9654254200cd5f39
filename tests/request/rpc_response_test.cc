// The response stream: framing, status part, header encoding, text conversion,
// streamed parts, keep-alives between parts.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>

#include "core/imsg/imsg.h"
#include "core/sum/sum_string.h"
#include "core/util/fileutl.h"
#include "core/util/i18n.h"
#include "facade/vdw_vdcore.h"
#include "foundation/vdw_cancel.h"
#include "foundation/wcm_mempool.h"
#include "foundation/wcm_status.h"
#include "request/vdw_multipart_data.h"
#include "request/vdw_rpc_marshall.h"
#include "request/vdw_rpc_response.h"

namespace {

const std::string kB = "------------------------aAJYnbd98Xui1cX9oiQh";
const std::string kDocHeader = "Content-Type: multipart/mixed; boundary=" + kB + "\r\n\r\n";
const std::string kTrailer = "--" + kB + "--\r\n";

std::string status_part(int code, const std::string& text, bool non_ok) {
    return "--" + kB + "\r\nContent-ID: Status\r\nContent-Type: text/plain;charset=UTF-8\r\n" +
           "Content-Length: " + std::to_string(text.size()) +
           "\r\nStatus: " + std::to_string(code) + "\r\nHasNonOkMsg: " + (non_ok ? "1" : "0") +
           "\r\n\r\n" + text + "\r\n";
}

}  // namespace

TEST(RpcResponse, FreshResponseWritesACompleteStatusResponse) {
    WCM_MemPool pool;
    WCM_Status status;
    std::ostringstream out;
    { VDW_RpcResponse r(pool, status, out, nullptr); }
    EXPECT_EQ(out.str(), kDocHeader + status_part(0, "", false) + kTrailer);
}

TEST(RpcResponse, ErrorResponseIsByteExactAndWrittenOnce) {
    WCM_MemPool pool;
    WCM_Status status;
    status.set_status(100008);
    status.add_text("VDSRV4076: Unrecognized RPC request: rpc=\"x\"\n");
    std::ostringstream out;
    {
        VDW_RpcResponse r(pool, status, out, nullptr);
        EXPECT_FALSE(r.send_status_and_trailer());
        EXPECT_FALSE(r.send_status_and_trailer());  // second call writes nothing
    }
    EXPECT_EQ(out.str(),
              kDocHeader +
                  status_part(100008, "VDSRV4076: Unrecognized RPC request: rpc=\"x\"\n", false) +
                  kTrailer);
}

TEST(RpcResponse, CapturedWarningsGoIntoTheStatusPart) {
    WCM_MemPool pool;
    WCM_Status status;
    status.add_text("done");
    std::ostringstream out;
    {
        VDW_Vdcore facade;
        imsg_warning("careful\n");
        VDW_RpcResponse r(pool, status, out, &facade);
    }
    EXPECT_EQ(out.str(), kDocHeader + status_part(0, "done\n\ncareful\n", true) + kTrailer);
}

TEST(RpcResponse, PartsHeadersAndConversion) {
    WCM_MemPool pool;
    WCM_Status status;
    std::ostringstream out;
    {
        VDW_RpcResponse r(pool, status, out, nullptr);
        VDW_MultipartData p("RpcResult", nullptr, "desc", "abc", 3);
        p.add_part_item("Plain", "two  spaces")
            .add_part_item("Name", "caf\xc3\xa9 _?=")
            .add_part_item("Count", 42L)
            .add_part_item("Big", 1LL << 40)
            .add_part_item("Flag", true)
            .add_part_item(nullptr, "ignored")
            .add_part_item("Null", static_cast<const char*>(nullptr));
        EXPECT_FALSE(r.add_part(p, true));
        VDW_MultipartData bin("Data", VDW_MultipartData::MIME_CLEARTEXT, nullptr, "\xff\x00z", 3);
        r.add_part(bin, false);
        VDW_MultipartData preset("T", "text/plain;charset=ISO-8859-1", nullptr, "\xe9", 1);
        r.add_part(preset, false);
    }
    std::string s = out.str();
    EXPECT_NE(s.find("--" + kB +
                     "\r\nContent-ID: RpcResult\r\nContent-Type: text/plain;charset=UTF-8\r\n"
                     "Content-Description: desc\r\nContent-Length: 3\r\nPlain: two  spaces\r\n"
                     "Name: =?UTF-8?q?caf=C3=A9_=5F=3F=3D?=\r\nCount: 42\r\nBig: 1099511627776\r\n"
                     "Flag: 1\r\nNull: \r\n\r\nabc\r\n"),
              std::string::npos)
        << s;
    EXPECT_NE(s.find("Content-Type: application/octet-stream\r\nContent-Length: 3\r\n\r\n" +
                     std::string("\xff\x00z", 3) + "\r\n"),
              std::string::npos);
    EXPECT_NE(
        s.find("Content-Type: text/plain;charset=ISO-8859-1\r\nContent-Length: 1\r\n\r\n\xe9\r\n"),
        std::string::npos);
}

TEST(RpcResponse, NamesCannotForgeHeadersOrParts) {
    // Part and item names are written as tokens and header values never end their line;
    // client text echoed into a status loses its line ends and the boundary.
    WCM_MemPool pool;
    WCM_Status status;
    std::ostringstream out;
    {
        VDW_RpcResponse r(pool, status, out, nullptr);
        VDW_MultipartData p("Part\r\nStatus: 0", nullptr, nullptr, "x", 1);
        p.add_part_item("Item\r\nForged:", "v");
        r.add_part(p, false);
        status.set_status(TBS_ST_ERR);
        status.add_text(VDW_MultipartData::echo_text(("a\r\n--" + kB + "\r\n").c_str()).c_str());
    }
    const std::string s = out.str();
    EXPECT_NE(s.find("Content-ID: Part__Status: 0\r\n"), std::string::npos) << s;
    EXPECT_NE(s.find("\r\nItem__Forged_: v\r\n"), std::string::npos) << s;
    EXPECT_EQ(s.find("\r\nStatus: 0\r\n"), std::string::npos) << s;
    // The boundary appears only where the stream itself writes it: in the document header,
    // before the part, before the status part and in the trailer.
    size_t lines = 0;
    for (size_t at = s.find(kB); at != std::string::npos; at = s.find(kB, at + 1)) ++lines;
    EXPECT_EQ(lines, 4u) << s;
}

TEST(RpcResponse, TextFromALatin1ServerIsSentAsUtf8) {
    setenv("VERDANE_CHARSET", "ISO-8859-1", 1);
    i18n_reset_native();
    VDW_MultipartData p("T", "text/plain", nullptr, "caf\xe9", 4);
    std::ostringstream out;
    p.write_self_to_stream(out);
    EXPECT_NE(out.str().find("Content-Type: text/plain;charset=UTF-8\r\nContent-Length: 5\r\n\r\n"
                             "caf\xc3\xa9\r\n"),
              std::string::npos);
    unsetenv("VERDANE_CHARSET");
    i18n_reset_native();
}

TEST(RpcResponse, StreamedPartStopsOnCancelAndReportsReadErrors) {
    char tmpl[] = "/tmp/vdweb-resp-XXXXXX";
    std::string dir = mkdtemp(tmpl);
    setenv("VERDANE_TMP", dir.c_str(), 1);
    fileutl_reset_tmpdir();

    std::string content(20000, 'c');
    std::istringstream in(content);
    int err = 0;
    VDW_MultipartData whole("D", VDW_MultipartData::MIME_CLEARTEXT, in, 20000, err);
    std::ostringstream out;
    whole.write_self_to_stream(out);
    EXPECT_EQ(out.str().size(), whole.headers().size() + kB.size() + 4 + 2 + 20000 + 2);
    EXPECT_EQ(err, 0);

    // Cancelled before the first block: only the framing is written.
    VDW_Cancel cancel(7);
    cancel.signal_cancel();
    std::istringstream in2(content);
    VDW_MultipartData cancelled("D", VDW_MultipartData::MIME_CLEARTEXT, in2, 20000, err);
    cancelled.set_cancellable(true, &cancel);
    std::ostringstream out2;
    cancelled.write_self_to_stream(out2);
    EXPECT_EQ(out2.str().size(), cancelled.headers().size() + kB.size() + 4 + 2 + 2);
    cancel.cleanup_cancel();

    // A shorter input ends the part early without an error (end of file).
    std::istringstream short_in("abc");
    VDW_MultipartData truncated("D", nullptr, short_in, 100, err);
    std::ostringstream out3;
    truncated.write_self_to_stream(out3);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(out3.str().substr(out3.str().size() - 2), "\r\n");

    unsetenv("VERDANE_TMP");
    fileutl_reset_tmpdir();
    std::system(("rm -rf '" + dir + "'").c_str());
}

TEST(RpcResponse, FailedStreamIsReportedNotThrown) {
    WCM_MemPool pool;
    WCM_Status status;
    std::ostringstream out;
    out.setstate(std::ios::badbit);
    VDW_RpcResponse r(pool, status, out, nullptr);
    VDW_MultipartData p("X", nullptr, nullptr, "a", 1);
    EXPECT_TRUE(r.add_part(p, true));
    // Every status call on a dead stream reports the failure, not only the first.
    EXPECT_TRUE(r.send_status_and_trailer());
    EXPECT_TRUE(r.send_status_and_trailer());
    // A part given no data carries none, whatever length it is given.
    VDW_MultipartData empty("Y", VDW_MultipartData::MIME_TEXT, nullptr, nullptr, 100);
    std::ostringstream written;
    empty.write_self_to_stream(written);
    EXPECT_NE(written.str().find("Content-Length: 0"), std::string::npos) << written.str();
}

TEST(RpcResponse, KeepalivesArriveBetweenPartsWhileWorkGoesOn) {
    WCM_MemPool pool;
    WCM_Status status;
    std::ostringstream out;
    VDW_RpcResponse::schedule_keepalive(0);
    EXPECT_EQ(VDW_RpcResponse::keepalive_interval(), 0);
    {
        VDW_RpcResponse r(pool, status, out, nullptr);
        VDW_RpcResponse::schedule_keepalive(1);
        EXPECT_EQ(VDW_RpcResponse::keepalive_interval(), 1);
        // Parts written continuously from this thread must never be split by a keep-alive.
        std::string big(300000, 'p');
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(2600);
        while (std::chrono::steady_clock::now() < until) {
            VDW_MultipartData p("Work", VDW_MultipartData::MIME_CLEARTEXT, nullptr, big.data(),
                                static_cast<long long>(big.size()));
            r.add_part(p, true);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        VDW_RpcResponse::unschedule_keepalive();
    }
    EXPECT_EQ(VDW_RpcResponse::keepalive_interval(), 0);
    std::string s = out.str();
    int keepalives = 0;
    for (size_t pos = 0; (pos = s.find("Content-ID: QLMXKeepalive", pos)) != std::string::npos;
         ++pos)
        ++keepalives;
    EXPECT_GE(keepalives, 1);
    // Every part is whole: each boundary line is followed by a Content-ID header.
    std::string marker = "--" + kB + "\r\n";
    for (size_t pos = 0; (pos = s.find(marker, pos)) != std::string::npos; pos += marker.size())
        EXPECT_EQ(s.compare(pos + marker.size(), 11, "Content-ID:"), 0);
    EXPECT_EQ(s.substr(s.size() - kTrailer.size()), kTrailer);
}

TEST(RpcResponse, BaselineRecordItemsInOrder) {
    WCM_MemPool pool;
    WCM_Status status;
    std::ostringstream out;
    {
        VDW_RpcResponse r(pool, status, out, nullptr);
        SUM_String name("BL_1"), rep("0123"), level("INITIAL"), comp("core"), crep("4567");
        EXPECT_FALSE(VDW_RpcMarshall::sendBaselineInfo(&r, "Baseline", name, 12, rep, 1, 0, 1,
                                                       level, comp, 34, crep, 1700000000));
    }
    EXPECT_NE(out.str().find(
                  "Content-ID: Baseline\r\nContent-Type: text/plain;charset=UTF-8\r\n"
                  "Content-Length: 0\r\nBaselineName: BL_1\r\nBaselineDbid: 12\r\n"
                  "BaselineRepUuid: 0123\r\nIsComposite: true\r\nIsObsolete: false\r\n"
                  "IsRecommended: true\r\nPromotionLevel: INITIAL\r\nComponentName: core\r\n"
                  "ComponentDbid: 34\r\nComponentRepUuid: 4567\r\nCreatedOn: 1700000000\r\n\r\n"),
              std::string::npos);
}
