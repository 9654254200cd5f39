// VdXmlStreamDoc, VdXmlStreamElem, VdXmlStreamBuffer.
#include "xmlproto/xml/vd_xml_stream.h"

#include <string>

#include "request/vdw_abstract_rpc.h"
#include "request/vdw_multipart_data.h"
#include "xmlproto/xml/vd_xml_util.h"

namespace {

const char* const kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

// One response document per process: set by the first start tag written.
bool g_declaration_written = false;

}  // namespace

VdXmlStreamElem::VdXmlStreamElem(VdXmlDoc* doc, VdXmlElem* parent, const SUM_String& tag,
                                 std::ostream& out)
    : VdXmlElem(doc, parent, tag, SUM_String()), out_(&out) {}

bool VdXmlStreamElem::declaration_written() {
    return g_declaration_written;
}

void VdXmlStreamElem::reset_declaration_written() {
    g_declaration_written = false;
}

void VdXmlStreamElem::add_attr(const SUM_String& name, const SUM_String& value) {
    if (tag_and_attribute_serialized_) throw VdImmutableXmlException();
    VdXmlElem::add_attr(name, value);
}

void VdXmlStreamElem::serialize_tag_and_attribute() {
    if (!g_declaration_written) {
        *out_ << kDeclaration;
        g_declaration_written = true;
    }
    *out_ << '<' << get_tag().str();
    for (const VdXmlAttr* a : get_attrs()) *out_ << ' ' << *a;
    *out_ << '>';
    tag_and_attribute_serialized_ = true;
}

void VdXmlStreamElem::serialize_body() {
    const SUM_String encoded = get_encoded_value();
    if (!encoded.is_empty()) {
        bool converted = true;
        *out_ << VdXmlUtil::native_to_xml(encoded.str(), &converted);
        VD_ASSERT(converted, "Failed to convert the encoded value to UTF-8");
    }
    *out_ << "</" << get_tag().str() << '>';
}

VdXmlElem* VdXmlStreamDoc::construct(const SUM_String& tag, VdXmlElem* parent) {
    return new VdXmlStreamElem(this, parent, tag, *out_);
}

VdXmlElem* VdXmlStreamDoc::push(const SUM_String& tag) {
    auto* open = static_cast<VdXmlStreamElem*>(get_curr());
    if (open && !open->is_tag_and_attribute_serialized()) open->serialize_tag_and_attribute();
    return VdXmlDoc::push(tag);
}

VdXmlElem* VdXmlStreamDoc::pop() {
    auto* done = static_cast<VdXmlStreamElem*>(get_curr());
    if (!done) return nullptr;
    if (!done->is_tag_and_attribute_serialized()) done->serialize_tag_and_attribute();
    done->serialize_body();
    VdXmlElem* parent = VdXmlDoc::pop();
    if (!done->is_root()) delete done;
    return parent;
}

VdXmlStreamBuffer::VdXmlStreamBuffer(VDW_AbstractRpc* rpc)
    : rpc_(rpc), buf_(new char[BUFFER_SIZE]) {
    // One byte is kept back so that the character handed to overflow still fits.
    setp(buf_, buf_ + BUFFER_SIZE - 1);
}

VdXmlStreamBuffer::~VdXmlStreamBuffer() {
    delete[] buf_;
}

bool VdXmlStreamBuffer::send(const char* data, size_t length) {
    VDW_MultipartData part(CHUNK_PART, VDW_MultipartData::MIME_TEXT_UTF8_ALREADY_ENCODED, nullptr,
                           data, static_cast<long long>(length));
    return !rpc_->add_part(part, true);
}

bool VdXmlStreamBuffer::flush_buffer() {
    const size_t n = static_cast<size_t>(pptr() - pbase());
    setp(buf_, buf_ + BUFFER_SIZE - 1);
    return n == 0 || send(buf_, n);
}

VdXmlStreamBuffer::int_type VdXmlStreamBuffer::overflow(int_type c) {
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return flush_buffer() ? traits_type::not_eof(c) : traits_type::eof();
}

int VdXmlStreamBuffer::sync() {
    return flush_buffer() ? 0 : -1;
}
