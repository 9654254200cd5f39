// A strict reader of the RPC response stream, for the end-to-end tests.
//
// The stream is the CGI header line "Content-Type: multipart/mixed; boundary=B", an empty
// line, then parts ("--B" CRLF, header lines, CRLF, exactly Content-Length bytes, CRLF) and
// the trailer "--B--" CRLF, after which nothing may follow. Through a web server the CGI
// header has become an HTTP header, so the reader can also start at the first boundary.
//
// Parts are framed by their Content-Length alone, never by looking for the boundary: a
// part's content may hold anything, the boundary line and whole forged parts among it.
//
// Bytes can be fed as they arrive; each part is handed out once complete, stamped with the
// time the feed that completed it was made. The first deviation from the format stops the
// reader and is described by error(); the bytes after it are ignored.
#ifndef VDWEB_TESTS_E2E_MULTIPART_H
#define VDWEB_TESTS_E2E_MULTIPART_H

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace e2e {

using Clock = std::chrono::steady_clock;

extern const char* const kBoundary;  // the boundary every response uses

struct Part {
    // Header lines in the order they were sent; names and values as sent.
    std::vector<std::pair<std::string, std::string>> headers;
    std::string content;
    Clock::time_point arrived;

    // Value of the first header with this exact name, or null.
    const std::string* header(std::string_view name) const;
    // The Content-ID, i.e. the part's name.
    std::string name() const;
    // Header names in order, for checking the layout of a part at once.
    std::vector<std::string> header_names() const;
};

class MultipartReader {
public:
    enum class Start { CGI_HEADER, FIRST_BOUNDARY };

    explicit MultipartReader(Start start = Start::CGI_HEADER, std::string boundary = kBoundary);

    // Consumes bytes; returns false once the stream is known to be malformed.
    bool feed(std::string_view bytes, Clock::time_point now = Clock::now());
    // With false, parts are handed out with empty contents and contents are never copied
    // (a benchmark's client that must frame the stream without becoming the measure).
    void keep_content(bool keep) { keep_content_ = keep; }

    // Parts completed since the last call.
    std::vector<Part> take_parts();

    bool complete() const { return state_ == State::DONE; }  // the trailer has been read
    bool failed() const { return state_ == State::FAILED; }
    const std::string& error() const { return error_; }
    // Bytes consumed so far, including those of parts not yet complete.
    size_t bytes_read() const { return consumed_total_; }

private:
    enum class State { CGI_HEADER, BOUNDARY, HEADERS, CONTENT, CONTENT_END, DONE, FAILED };

    bool step(Clock::time_point now);   // one state transition; false when more bytes are needed
    bool take_line(std::string* line);  // a CRLF-terminated line, without the CRLF
    bool fail(std::string why);
    void compact();
    void take_content(std::string_view bytes);

    std::string boundary_;
    State state_;
    std::string buf_;
    size_t pos_ = 0;  // first unconsumed byte of buf_
    size_t consumed_total_ = 0;
    Part current_;
    unsigned long long content_left_ = 0;
    bool keep_content_ = true;
    std::vector<Part> done_;
    std::string error_;
};

// A complete response as bytes, read in one go.
struct Response {
    std::vector<Part> parts;
    bool complete = false;  // trailer read, nothing after it
    std::string error;      // empty unless the stream is malformed
    long long bytes = 0;    // bytes of the stream received

    // The final status part, or null when the stream has none in its place.
    const Part* status() const;
    // Complete, and its final status part says 0.
    bool ended_ok() const;
    // Parts named `name`, in order.
    std::vector<const Part*> named(std::string_view name) const;
};

Response read_response(std::string_view bytes,
                       MultipartReader::Start start = MultipartReader::Start::CGI_HEADER);

// The exact bytes of an error response as the CGI program writes it: the CGI header, one
// status part with the code and text, and the trailer.
std::string error_response(int status, std::string_view text);

}  // namespace e2e

#endif  // VDWEB_TESTS_E2E_MULTIPART_H
