// The response stream reader of the end-to-end tests.
#include "e2e/multipart.h"

#include <algorithm>
#include <cctype>

namespace e2e {

const char* const kBoundary = "------------------------aAJYnbd98Xui1cX9oiQh";

namespace {

constexpr size_t kMaxLine = 64 * 1024;  // no header line of the protocol comes near this
constexpr unsigned long long kMaxContent = 1ULL << 32;

bool all_digits(const std::string& s) {
    return !s.empty() && s.size() <= 19 &&
           std::all_of(s.begin(), s.end(), [](unsigned char c) { return isdigit(c) != 0; });
}

}  // namespace

const std::string* Part::header(std::string_view name) const {
    for (const auto& [n, v] : headers)
        if (n == name) return &v;
    return nullptr;
}

std::string Part::name() const {
    const std::string* id = header("Content-ID");
    return id ? *id : std::string();
}

std::vector<std::string> Part::header_names() const {
    std::vector<std::string> names;
    for (const auto& h : headers) names.push_back(h.first);
    return names;
}

MultipartReader::MultipartReader(Start start, std::string boundary)
    : boundary_(std::move(boundary)),
      state_(start == Start::CGI_HEADER ? State::CGI_HEADER : State::BOUNDARY) {}

bool MultipartReader::feed(std::string_view bytes, Clock::time_point now) {
    if (state_ == State::FAILED) return false;
    // Content with nothing buffered before it is taken straight from the input.
    if (state_ == State::CONTENT && pos_ == buf_.size()) {
        const size_t n =
            static_cast<size_t>(std::min<unsigned long long>(bytes.size(), content_left_));
        take_content(bytes.substr(0, n));
        bytes.remove_prefix(n);
        if (content_left_ == 0) state_ = State::CONTENT_END;
    }
    buf_.append(bytes);
    while (state_ != State::FAILED && step(now)) {
    }
    compact();
    return state_ != State::FAILED;
}

std::vector<Part> MultipartReader::take_parts() {
    std::vector<Part> parts;
    parts.swap(done_);
    return parts;
}

bool MultipartReader::fail(std::string why) {
    error_ = std::move(why) + " (at byte " + std::to_string(consumed_total_) + ")";
    state_ = State::FAILED;
    return false;
}

void MultipartReader::take_content(std::string_view bytes) {
    if (keep_content_) current_.content.append(bytes);
    consumed_total_ += bytes.size();
    content_left_ -= bytes.size();
}

void MultipartReader::compact() {
    if (pos_ == 0) return;
    buf_.erase(0, pos_);
    pos_ = 0;
}

bool MultipartReader::take_line(std::string* line) {
    size_t end = buf_.find("\r\n", pos_);
    if (end == std::string::npos) {
        if (buf_.size() - pos_ > kMaxLine) fail("line too long");
        return false;
    }
    line->assign(buf_, pos_, end - pos_);
    consumed_total_ += end + 2 - pos_;
    pos_ = end + 2;
    if (line->find_first_of("\r\n") != std::string::npos) return fail("bare CR or LF in a line");
    return true;
}

bool MultipartReader::step(Clock::time_point now) {
    std::string line;
    switch (state_) {
        case State::CGI_HEADER: {
            // Exactly the content-type line and the empty line.
            const std::string want =
                "Content-Type: multipart/mixed; boundary=" + boundary_ + "\r\n\r\n";
            size_t have = buf_.size() - pos_;
            size_t n = std::min(have, want.size());
            if (buf_.compare(pos_, n, want, 0, n) != 0) return fail("bad CGI header");
            if (have < want.size()) return false;
            pos_ += want.size();
            consumed_total_ += want.size();
            state_ = State::BOUNDARY;
            return true;
        }
        case State::BOUNDARY:
            if (!take_line(&line)) return false;
            if (line == "--" + boundary_) {
                current_ = Part();
                state_ = State::HEADERS;
                return true;
            }
            if (line == "--" + boundary_ + "--") {
                state_ = State::DONE;
                return true;
            }
            return fail("expected a boundary line, got \"" + line.substr(0, 80) + "\"");
        case State::HEADERS: {
            if (!take_line(&line)) return false;
            if (!line.empty()) {
                size_t colon = line.find(": ");
                if (colon == std::string::npos || colon == 0 || line.find(' ') < colon)
                    return fail("malformed header line \"" + line.substr(0, 80) + "\"");
                std::string name = line.substr(0, colon);
                if (current_.headers.empty() && name != "Content-ID")
                    return fail("part does not begin with Content-ID");
                if (current_.header(name)) return fail("header " + name + " repeated");
                current_.headers.emplace_back(std::move(name), line.substr(colon + 2));
                return true;
            }
            const std::string* length = current_.header("Content-Length");
            if (!length) return fail("part " + current_.name() + " has no Content-Length");
            if (!all_digits(*length) || std::stoull(*length) > kMaxContent)
                return fail("bad Content-Length \"" + *length + "\"");
            content_left_ = std::stoull(*length);
            if (keep_content_) current_.content.reserve(static_cast<size_t>(content_left_));
            state_ = State::CONTENT;
            return true;
        }
        case State::CONTENT: {
            size_t have = buf_.size() - pos_;
            size_t n = static_cast<size_t>(std::min<unsigned long long>(have, content_left_));
            take_content(std::string_view(buf_).substr(pos_, n));
            pos_ += n;
            if (content_left_ > 0) return false;
            state_ = State::CONTENT_END;
            return true;
        }
        case State::CONTENT_END: {
            if (buf_.size() - pos_ < 2) return false;
            if (buf_.compare(pos_, 2, "\r\n") != 0)
                return fail("content of " + current_.name() + " longer than its Content-Length");
            pos_ += 2;
            consumed_total_ += 2;
            current_.arrived = now;
            done_.push_back(std::move(current_));
            current_ = Part();
            state_ = State::BOUNDARY;
            return true;
        }
        case State::DONE:
            if (pos_ < buf_.size()) return fail("bytes after the trailer");
            return false;
        case State::FAILED:
            return false;
    }
    return false;
}

const Part* Response::status() const {
    if (parts.empty() || parts.back().name() != "Status") return nullptr;
    return &parts.back();
}

bool Response::ended_ok() const {
    const Part* s = status();
    return complete && s && s->header("Status") && *s->header("Status") == "0";
}

std::vector<const Part*> Response::named(std::string_view name) const {
    std::vector<const Part*> found;
    for (const Part& p : parts)
        if (p.name() == name) found.push_back(&p);
    return found;
}

Response read_response(std::string_view bytes, MultipartReader::Start start) {
    MultipartReader reader(start);
    reader.feed(bytes);
    Response r;
    r.parts = reader.take_parts();
    r.complete = reader.complete();
    if (reader.failed())
        r.error = reader.error();
    else if (!reader.complete())
        r.error = "stream ends before the trailer (" + std::to_string(bytes.size()) + " bytes)";
    return r;
}

std::string error_response(int status, std::string_view text) {
    const std::string b = kBoundary;
    std::string out = "Content-Type: multipart/mixed; boundary=" + b + "\r\n\r\n";
    out += "--" + b + "\r\n";
    out += "Content-ID: Status\r\n";
    out += "Content-Type: text/plain;charset=UTF-8\r\n";
    out += "Content-Length: " + std::to_string(text.size()) + "\r\n";
    out += "Status: " + std::to_string(status) + "\r\n";
    out += "HasNonOkMsg: 0\r\n\r\n";
    out += text;
    out += "\r\n--" + b + "--\r\n";
    return out;
}

}  // namespace e2e
