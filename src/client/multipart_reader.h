// The client's reader of the RPC response stream.
//
// A response is parts ("--B" CRLF, header lines, CRLF, exactly Content-Length bytes, CRLF)
// ended by the trailer "--B--" CRLF. The reader is fed bytes as they arrive and hands each
// part to a sink: the headers first, then the body, then the end. A sink may take a body in
// pieces as it arrives (data parts of any size, never held whole); other bodies are
// collected, up to a bound, and handed over with the end. The first deviation from the
// format stops the reader, and error() says what it was.
#ifndef CLIENT_MULTIPART_READER_H
#define CLIENT_MULTIPART_READER_H

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace client {

struct Part {
    std::vector<std::pair<std::string, std::string>> headers;  // as sent, in order
    std::string content;  // the body, unless the sink took it in pieces

    // The value of the first header of this name, or "".
    const std::string& header(std::string_view name) const;
    bool has(std::string_view name) const;
    const std::string& name() const { return header("Content-ID"); }
};

class PartSink {
public:
    virtual ~PartSink() = default;
    // The headers of a part are in; true when the body should come in pieces to body().
    virtual bool streams(const Part& part) = 0;
    // A piece of a streamed body; false stops the reader.
    virtual bool body(const char* data, size_t n) = 0;
    // The part is complete; false stops the reader.
    virtual bool end(Part& part) = 0;
};

class MultipartReader {
public:
    MultipartReader(std::string boundary, PartSink& sink);

    // Consumes bytes; false once the stream is malformed or the sink stopped it.
    bool feed(std::string_view bytes);

    bool complete() const { return state_ == State::DONE; }
    const std::string& error() const { return error_; }
    bool stopped_by_sink() const { return stopped_; }

private:
    enum class State { BOUNDARY, HEADERS, CONTENT, CONTENT_END, DONE, FAILED };

    bool step();
    bool take_line(std::string* line);
    bool fail(std::string why);

    std::string boundary_;
    PartSink& sink_;
    State state_ = State::BOUNDARY;
    std::string buf_;
    size_t pos_ = 0;
    Part current_;
    bool streaming_ = false;
    unsigned long long left_ = 0;
    std::string error_;
    bool stopped_ = false;
};

// RFC 2047 "=?UTF-8?q?...?=" (or "b") header values decoded; others as they are.
std::string decode_header_value(const std::string& value);

}  // namespace client

#endif  // CLIENT_MULTIPART_READER_H
