// VdXmlStreamDoc, VdXmlStreamElem, VdXmlStreamBuffer: the response document of an XML RPC,
// written while it is built.
//
// An element's start tag goes out when its first child is pushed or when it is popped,
// so all of its attributes must be added before that (afterwards add_attr throws
// VdImmutableXmlException); its text and end tag go out when it is popped, and it is then
// deleted (the root excepted). The bytes collect in a VdXmlStreamBuffer, which sends them
// as "xmlChunk" response parts of at most 4096 bytes; the client concatenates the parts.
// The first start tag a process writes is preceded by the XML declaration: one response
// document per process. Text and attribute values go out escaped and in UTF-8 with nothing
// XML 1.0 cannot carry (VdXmlUtil::native_to_xml): the document is well-formed whatever
// the values hold.
#ifndef XMLPROTO_XML_VD_XML_STREAM_H
#define XMLPROTO_XML_VD_XML_STREAM_H

#include <cstddef>
#include <ostream>
#include <streambuf>

#include "xmlproto/xml/vd_xml_doc.h"

class VDW_AbstractRpc;

class VdXmlStreamElem : public VdXmlElem {
public:
    VdXmlStreamElem(VdXmlDoc* doc, VdXmlElem* parent, const SUM_String& tag, std::ostream& out);
    // Throws VdImmutableXmlException once the start tag is written.
    void add_attr(const SUM_String& name, const SUM_String& value) override;

    // "<tag attrs>" (always the long form), after the declaration when the process has not
    // written one yet.
    void serialize_tag_and_attribute();
    // The encoded text (converted to UTF-8), then "</tag>".
    void serialize_body();
    bool is_tag_and_attribute_serialized() const { return tag_and_attribute_serialized_; }

    // Whether this process has written the XML declaration; tests that write several
    // documents in one process reset it.
    static bool declaration_written();
    static void reset_declaration_written();

private:
    std::ostream* out_;
    bool tag_and_attribute_serialized_ = false;
};

class VdXmlStreamDoc : public VdXmlDoc {
public:
    explicit VdXmlStreamDoc(std::ostream& out) : out_(&out) {}
    VdXmlElem* push(const SUM_String& tag) override;
    VdXmlElem* pop() override;
    VdXmlElem* construct(const SUM_String& tag, VdXmlElem* parent) override;

private:
    std::ostream* out_;
};

class VdXmlStreamBuffer : public std::streambuf {
public:
    static constexpr size_t BUFFER_SIZE = 4096;
    static constexpr const char* CHUNK_PART = "xmlChunk";

    explicit VdXmlStreamBuffer(VDW_AbstractRpc* rpc);
    ~VdXmlStreamBuffer() override;
    VdXmlStreamBuffer(const VdXmlStreamBuffer&) = delete;
    VdXmlStreamBuffer& operator=(const VdXmlStreamBuffer&) = delete;

    // Sends `length` bytes at once as one chunk part; false when the response failed.
    bool send(const char* data, size_t length);

protected:
    // The put area is full: `c` goes into the spare byte and the whole buffer is sent.
    int_type overflow(int_type c) override;
    // Sends what is buffered, if anything.
    int sync() override;

private:
    bool flush_buffer();

    VDW_AbstractRpc* rpc_;
    char* buf_;
};

#endif
