// Fuzz target: the request parser of the XML resource protocol over arbitrary request
// texts, and what an XML RPC then does with the document: take the attribution element
// out, walk the tree, write it in memory and stream it back as a response document.
//
// Checks that the tree the parser hands out is consistent (every child's parent is its
// parent, no deeper than the parser's bound) and that streaming closes every element.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "core/imsg/imsg.h"
#include "xmlproto/xml/vd_xml_doc.h"
#include "xmlproto/xml/vd_xml_parser.h"
#include "xmlproto/xml/vd_xml_stream.h"

namespace {

void check_tree(const VdXmlElem* e, int depth) {
    if (depth > VdXmlParser::MAX_DEPTH) __builtin_trap();
    for (const VdXmlElem* c : e->get_children()) {
        if (c->get_parent() != e) __builtin_trap();
        check_tree(c, depth + 1);
    }
}

void stream_copy(const VdXmlElem& from, VdXmlStreamDoc& to) {
    VdXmlElem* e = to.push(from.get_tag());
    e->add_value(from.get_value());
    for (const VdXmlAttr* a : from.get_attrs()) e->add_attr(a->get_name(), a->get_value());
    for (const VdXmlElem* c : from.get_children()) stream_copy(*c, to);
    to.pop();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    imsg_redirect_proc_t procs[IMSG_NUM_CLASSES];
    for (auto& p : procs) p = imsg_append_proc_suppress;
    imsg_set_redirect_procs(procs, nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    VdXmlParser parser;
    VdAutoPtr<VdXmlDoc> doc;
    try {
        doc.reset(parser.parse_string(reinterpret_cast<const char*>(data), size).release());
    } catch (const VdXmlParseException& e) {
        if (e.get_message().is_empty()) __builtin_trap();  // a refusal always says why
        return 0;
    }
    VdXmlElem* root = doc->get_root();
    if (!root || doc->get_curr()) __builtin_trap();
    if (VdXmlElem* event = root->extract_child(HiddenXmlTags::EVENT_ROOT)) {
        event->extract_child(HiddenXmlTags::TIME_TAG);
        event->extract_child(HiddenXmlTags::LOGIN_NAME_TAG);
    }
    check_tree(root, 1);
    std::ostringstream memory;
    memory << *root;
    std::ostringstream streamed;
    VdXmlStreamElem::reset_declaration_written();
    VdXmlStreamDoc response(streamed);
    stream_copy(*root, response);
    if (response.get_curr()) __builtin_trap();
    return 0;
}
