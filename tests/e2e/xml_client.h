// Sending an XML request to the server as a client does: the document in the "rpcargs"
// argument as a rich string (line feeds written "%0A"), the answer's document gathered
// from its "xmlChunk" parts.
#ifndef E2E_XML_CLIENT_H
#define E2E_XML_CLIENT_H

#include <string>

#include "e2e/cgi_process.h"
#include "e2e/multipart.h"
#include "e2e/rpc_client.h"
#include "e2e/test_users.h"

namespace e2e {

inline Response xml_post(const std::string& url, const char* rpc, const std::string& xml,
                         const TestUser& user, std::string* doc) {
    std::string rich;
    for (char c : xml) rich += c == '\n' ? std::string("%0A") : std::string(1, c);
    Response r = http_post(url, form_body(rpc, rich.c_str()), user);
    doc->clear();
    for (const Part* p : r.named("xmlChunk")) *doc += p->content;
    return r;
}

}  // namespace e2e

#endif
