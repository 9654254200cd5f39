// Helpers of the XML protocol's tests: the "xmlChunk" parts of a response.
#ifndef TESTS_XMLPROTO_XML_TEST_SUPPORT_H
#define TESTS_XMLPROTO_XML_TEST_SUPPORT_H

#include <string>
#include <vector>

#include "e2e/multipart.h"

// The contents of the response's "xmlChunk" parts, in order, each framed by its length as
// every reader of the stream must (a chunk's text may hold anything, the boundary line
// among it). The response may begin with the document header or, when a handler's header
// went out earlier, with its next part; the parts before a malformed stretch are kept.
inline std::vector<std::string> xml_chunks(const std::string& response) {
    const bool header = response.rfind("Content-Type:", 0) == 0;
    e2e::MultipartReader reader(header ? e2e::MultipartReader::Start::CGI_HEADER
                                       : e2e::MultipartReader::Start::FIRST_BOUNDARY);
    reader.feed(response);
    std::vector<std::string> out;
    for (e2e::Part& p : reader.take_parts())
        if (p.name() == "xmlChunk") out.push_back(std::move(p.content));
    return out;
}

// The whole document: the chunks joined.
inline std::string xml_document(const std::string& response) {
    std::string doc;
    for (const std::string& c : xml_chunks(response)) doc += c;
    return doc;
}

#endif
