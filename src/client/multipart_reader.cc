// The client's reader of the RPC response stream.
#include "client/multipart_reader.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cctype>

namespace client {

namespace {

constexpr size_t kMaxLine = 64 * 1024;  // no header line of the protocol comes near this
constexpr size_t kMaxCollected = 64 * 1024 * 1024;  // bodies held whole (not data parts)
constexpr unsigned long long kMaxContent = 1ULL << 40;

bool all_digits(const std::string& s) {
    return !s.empty() && s.size() <= 19 &&
           std::all_of(s.begin(), s.end(), [](unsigned char c) { return isdigit(c) != 0; });
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

const std::string& Part::header(std::string_view name) const {
    static const std::string kNone;
    for (const auto& [n, v] : headers)
        if (n == name) return v;
    return kNone;
}

bool Part::has(std::string_view name) const {
    for (const auto& h : headers)
        if (h.first == name) return true;
    return false;
}

std::string decode_header_value(const std::string& value) {
    if (value.size() < 12 || value.compare(0, 8, "=?UTF-8?") != 0 ||
        value.compare(value.size() - 2, 2, "?=") != 0 || value[9] != '?')
        return value;
    const char kind = static_cast<char>(tolower(static_cast<unsigned char>(value[8])));
    const std::string text = value.substr(10, value.size() - 12);
    std::string out;
    if (kind == 'q') {
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '_') {
                out += ' ';
            } else if (text[i] == '=' && i + 2 < text.size() && hex_value(text[i + 1]) >= 0 &&
                       hex_value(text[i + 2]) >= 0) {
                out += static_cast<char>(hex_value(text[i + 1]) * 16 + hex_value(text[i + 2]));
                i += 2;
            } else {
                out += text[i];
            }
        }
        return out;
    }
    if (kind != 'b' || text.size() % 4 != 0) return value;
    std::string raw(text.size() / 4 * 3, '\0');
    int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(raw.data()),
                            reinterpret_cast<const unsigned char*>(text.data()),
                            static_cast<int>(text.size()));
    if (n < 0) return value;
    size_t pad = 0;
    while (pad < 2 && pad < text.size() && text[text.size() - 1 - pad] == '=') ++pad;
    raw.resize(static_cast<size_t>(n) - pad);
    return raw;
}

MultipartReader::MultipartReader(std::string boundary, PartSink& sink)
    : boundary_(std::move(boundary)), sink_(sink) {}

bool MultipartReader::feed(std::string_view bytes) {
    if (state_ == State::FAILED) return false;
    if (state_ == State::DONE) return bytes.empty() || fail("bytes after the trailer");
    buf_.append(bytes);
    while (state_ != State::FAILED && step()) {
    }
    if (pos_ > 0) {
        buf_.erase(0, pos_);
        pos_ = 0;
    }
    return state_ != State::FAILED;
}

bool MultipartReader::fail(std::string why) {
    if (state_ != State::FAILED) error_ = std::move(why);
    state_ = State::FAILED;
    return false;
}

bool MultipartReader::take_line(std::string* line) {
    size_t end = buf_.find("\r\n", pos_);
    if (end == std::string::npos) {
        if (buf_.size() - pos_ > kMaxLine) fail("a response line too long");
        return false;
    }
    line->assign(buf_, pos_, end - pos_);
    pos_ = end + 2;
    return true;
}

bool MultipartReader::step() {
    std::string line;
    switch (state_) {
        case State::BOUNDARY:
            if (!take_line(&line)) return false;
            if (line == "--" + boundary_) {
                current_ = Part();
                state_ = State::HEADERS;
                return true;
            }
            if (line == "--" + boundary_ + "--") {
                state_ = State::DONE;
                return false;
            }
            return fail("the response is malformed (no boundary where one belongs)");
        case State::HEADERS: {
            if (!take_line(&line)) return false;
            if (!line.empty()) {
                size_t colon = line.find(": ");
                if (colon == std::string::npos || colon == 0)
                    return fail("the response is malformed (a bad header line)");
                current_.headers.emplace_back(line.substr(0, colon), line.substr(colon + 2));
                if (current_.headers.size() > 1000)
                    return fail("the response is malformed (too many headers)");
                return true;
            }
            const std::string& length = current_.header("Content-Length");
            if (!all_digits(length) || std::stoull(length) > kMaxContent)
                return fail("the response is malformed (a part without a valid length)");
            left_ = std::stoull(length);
            streaming_ = sink_.streams(current_);
            if (!streaming_ && left_ > kMaxCollected)
                return fail("the response is malformed (a part too large)");
            state_ = State::CONTENT;
            return true;
        }
        case State::CONTENT: {
            size_t have = buf_.size() - pos_;
            size_t n = static_cast<size_t>(std::min<unsigned long long>(have, left_));
            if (n > 0) {
                if (streaming_) {
                    if (!sink_.body(buf_.data() + pos_, n)) {
                        stopped_ = true;
                        return fail("stopped");
                    }
                } else {
                    current_.content.append(buf_, pos_, n);
                }
                pos_ += n;
                left_ -= n;
            }
            if (left_ > 0) return false;
            state_ = State::CONTENT_END;
            return true;
        }
        case State::CONTENT_END:
            if (buf_.size() - pos_ < 2) return false;
            if (buf_.compare(pos_, 2, "\r\n") != 0)
                return fail("the response is malformed (a part longer than its length)");
            pos_ += 2;
            state_ = State::BOUNDARY;
            if (!sink_.end(current_)) {
                stopped_ = true;
                return fail("stopped");
            }
            return true;
        case State::DONE:
        case State::FAILED:
            return false;
    }
    return false;
}

}  // namespace client
