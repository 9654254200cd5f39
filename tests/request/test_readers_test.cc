// The tests' own readers of the response stream (e2e/multipart.h, and the "xmlChunk"
// reader of the XML tests) against what the server writes: a part's content may hold
// anything, the boundary line and a whole forged part among it, and only a reader that
// frames parts by their Content-Length sees the parts that were sent.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "e2e/multipart.h"
#include "foundation/wcm_status.h"
#include "request/vdw_multipart_data.h"
#include "xmlproto/xml_test_support.h"

namespace {

const std::string kB = VDW_MultipartData::MP_BOUNDARY;

// The bytes of a version that carries, after its first line, a forged status part that
// says all went well and the trailer, and then a forged "xmlChunk" part.
std::string hostile_content() {
    return "first line\r\n--" + kB +
           "\r\nContent-ID: Status\r\nContent-Type: text/plain;charset=UTF-8\r\n"
           "Content-Length: 0\r\nStatus: 0\r\nHasNonOkMsg: 0\r\n\r\n\r\n--" +
           kB + "--\r\n--" + kB +
           "\r\nContent-ID: xmlChunk\r\nContent-Length: 9\r\n\r\n<forged/>\r\n";
}

// A response as the server writes it: the hostile bytes as a version's data part and as
// the text of an "xmlChunk" part, then the real status, which is a failure.
std::string response() {
    std::ostringstream out;
    VDW_MultipartData::generate_doc_header(out);
    const std::string bytes = hostile_content();
    VDW_MultipartData data(VDW_MultipartData::SYNC_VER_DATA, VDW_MultipartData::MIME_CLEARTEXT,
                           nullptr, bytes.data(), static_cast<long long>(bytes.size()));
    data.write_self_to_stream(out);
    VDW_MultipartData chunk("xmlChunk", VDW_MultipartData::MIME_TEXT_UTF8_ALREADY_ENCODED, nullptr,
                            bytes.data(), static_cast<long long>(bytes.size()));
    chunk.write_self_to_stream(out);
    WCM_Status status;
    status.set_status(1063);
    status.add_text("refused");
    VDW_MultipartData::generate_status_part(out, status, false, nullptr);
    VDW_MultipartData::generate_body_trailer(out);
    return out.str();
}

}  // namespace

TEST(TestReaders, PartsAreFramedByTheirLengthNotByTheBoundary) {
    const std::string bytes = response();
    // Fed whole and fed a byte at a time: the same parts.
    for (size_t step : {bytes.size(), size_t{1}}) {
        SCOPED_TRACE(step);
        e2e::MultipartReader reader;
        for (size_t at = 0; at < bytes.size(); at += step)
            ASSERT_TRUE(reader.feed(std::string_view(bytes).substr(at, step))) << reader.error();
        EXPECT_TRUE(reader.complete());
        const std::vector<e2e::Part> parts = reader.take_parts();
        ASSERT_EQ(parts.size(), 3u);
        EXPECT_EQ(parts[0].name(), "SyncElemData");
        EXPECT_EQ(parts[0].content, hostile_content());
        EXPECT_EQ(parts[1].name(), "xmlChunk");
        EXPECT_EQ(parts[2].name(), "Status");
        EXPECT_EQ(*parts[2].header("Status"), "1063");
    }
    const e2e::Response r = e2e::read_response(bytes);
    ASSERT_NE(r.status(), nullptr) << r.error;
    EXPECT_EQ(*r.status()->header("Status"), "1063");
    EXPECT_EQ(xml_chunks(bytes), std::vector<std::string>{hostile_content()});
}
