// Helpers of the XML protocol's tests: the "xmlChunk" parts of a response.
#ifndef TESTS_XMLPROTO_XML_TEST_SUPPORT_H
#define TESTS_XMLPROTO_XML_TEST_SUPPORT_H

#include <cstdlib>
#include <string>
#include <vector>

// The contents of the response's "xmlChunk" parts, in order, found by their headers.
inline std::vector<std::string> xml_chunks(const std::string& response) {
    std::vector<std::string> out;
    const std::string id = "Content-ID: xmlChunk\r\n";
    for (size_t at = response.find(id); at != std::string::npos; at = response.find(id, at + 1)) {
        const size_t len_at = response.find("Content-Length: ", at);
        const size_t body = response.find("\r\n\r\n", at);
        if (len_at == std::string::npos || body == std::string::npos) break;
        const size_t len = strtoul(response.c_str() + len_at + 16, nullptr, 10);
        out.push_back(response.substr(body + 4, len));
    }
    return out;
}

// The whole document: the chunks joined.
inline std::string xml_document(const std::string& response) {
    std::string doc;
    for (const std::string& c : xml_chunks(response)) doc += c;
    return doc;
}

#endif
