// VdXmlAttr, VdXmlElem, VdXmlDoc.
#include "xmlproto/xml/vd_xml_doc.h"

#include <algorithm>
#include <ostream>

#include "xmlproto/xml/vd_xml_util.h"

namespace {

void erase_ptr(std::vector<VdXmlElem*>& v, const VdXmlElem* e) {
    v.erase(std::remove(v.begin(), v.end(), e), v.end());
}

}  // namespace

SUM_String VdXmlAttr::get_encoded_value() const {
    SUM_String v = VdStrUtil::replace_all(value_, "&", "&amp;");
    v = VdStrUtil::replace_all(v, "<", "&lt;");
    v = VdStrUtil::replace_all(v, ">", "&gt;");
    v = VdStrUtil::replace_all(v, "\"", "&quot;");
    // A parser turns these into blanks in an attribute unless they come as references.
    v = VdStrUtil::replace_all(v, "\t", "&#9;");
    v = VdStrUtil::replace_all(v, "\n", "&#10;");
    return VdStrUtil::replace_all(v, "\r", "&#13;");
}

std::ostream& operator<<(std::ostream& out, const VdXmlAttr& attr) {
    return out << attr.get_name().str() << "=\""
               << VdXmlUtil::native_to_xml(attr.get_encoded_value().str()) << '"';
}

VdXmlElem::VdXmlElem(VdXmlDoc* doc, VdXmlElem* parent, const SUM_String& tag,
                     const SUM_String& value)
    : doc_(doc), parent_(parent), tag_(tag), value_(value.str()) {
    if (parent_) parent_->children_.push_back(this);
}

VdXmlElem::~VdXmlElem() {
    if (parent_) {
        erase_ptr(parent_->children_, this);
        erase_ptr(parent_->extracted_, this);
    }
    for (VdXmlAttr* a : attrs_) delete a;
    // A child's destructor edits these lists: take them first.
    std::vector<VdXmlElem*> children;
    children.swap(children_);
    std::vector<VdXmlElem*> extracted;
    extracted.swap(extracted_);
    for (VdXmlElem* c : children) {
        c->parent_ = nullptr;
        delete c;
    }
    for (VdXmlElem* c : extracted) {
        c->parent_ = nullptr;
        delete c;
    }
}

void VdXmlElem::add_attr(const SUM_String& name, const SUM_String& value) {
    attrs_.push_back(new VdXmlAttr(name, value));
}

SUM_String VdXmlElem::get_encoded_value() const {
    SUM_String v = VdStrUtil::replace_all(SUM_String(value_), "&", "&amp;");
    v = VdStrUtil::replace_all(v, ">", "&gt;");
    return VdStrUtil::replace_all(v, "<", "&lt;");
}

void VdXmlElem::add_value(const SUM_String& text) {
    value_ += text.str();
}

const VdXmlAttr* VdXmlElem::find_attr(const SUM_String& name) const {
    for (const VdXmlAttr* a : attrs_)
        if (a->get_name() == name) return a;
    return nullptr;
}

SUM_String VdXmlElem::get_attr(const SUM_String& name) const {
    const VdXmlAttr* a = find_attr(name);
    return a ? a->get_value() : SUM_String();
}

VdXmlElem* VdXmlElem::extract_child(const SUM_String& tag) {
    auto it = std::find_if(children_.begin(), children_.end(),
                           [&](const VdXmlElem* c) { return c->tag_ == tag; });
    if (it == children_.end()) return nullptr;
    VdXmlElem* child = *it;
    children_.erase(it);
    extracted_.push_back(child);
    return child;
}

bool VdXmlElem::operator==(const VdXmlElem& o) const {
    return tag_ == o.tag_ && value_ == o.value_ && children_ == o.children_ && attrs_ == o.attrs_;
}

std::ostream& operator<<(std::ostream& out, const VdXmlElem& elem) {
    out << '<' << elem.get_tag().str();
    for (const VdXmlAttr* a : elem.get_attrs()) out << ' ' << *a;
    const SUM_String value = elem.get_value();
    if (value.is_empty() && elem.get_children().empty()) return out << "/>";
    out << '>';
    if (!value.is_empty()) out << VdXmlUtil::native_to_xml(elem.get_encoded_value().str());
    for (const VdXmlElem* c : elem.get_children()) out << *c;
    return out << "</" << elem.get_tag().str() << '>';
}

VdXmlDoc::~VdXmlDoc() = default;

VdXmlElem* VdXmlDoc::construct(const SUM_String& tag, VdXmlElem* parent) {
    return new VdXmlElem(this, parent, tag, SUM_String());
}

VdXmlElem* VdXmlDoc::push(const SUM_String& tag) {
    VdXmlElem* e = construct(tag, curr_);
    if (!root_)
        root_.reset(e);
    else if (!curr_)
        strays_.emplace_back(e);
    curr_ = e;
    return e;
}

VdXmlElem* VdXmlDoc::pop() {
    if (curr_) curr_ = curr_->get_parent();
    return curr_;
}
