// VdXmlAttr, VdXmlElem, VdXmlDoc: the small document model of the XML resource protocol,
// shared by request documents (built by VdXmlParser) and response documents (streamed by
// VdXmlStreamDoc).
//
// The model is deliberately minimal: names are kept exactly as written (prefix included,
// no namespace resolution), an element's text is one string to which every piece of
// character data between its tags is appended, and there are no comments or processing
// instructions. Every element owns its attributes and children; an element taken out of
// its parent by extract_child stays owned by that parent.
#ifndef XMLPROTO_XML_VD_XML_DOC_H
#define XMLPROTO_XML_VD_XML_DOC_H

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "core/sum/sum_string.h"
#include "xmlproto/xml/vd_auto_ptr.h"

class VdXmlDoc;

// An attribute was added to a streamed element whose start tag is already written.
class VdImmutableXmlException {};

// The request-attribution element, which the XML RPC framework takes out of every request
// document before the RPC sees it.
struct HiddenXmlTags {
    static constexpr const char* EVENT_ROOT = "epfih";
    static constexpr const char* TIME_TAG = "tau";
    static constexpr const char* LOGIN_NAME_TAG = "lambda";
    static constexpr const char* GROUP_NAME_TAG = "gamma";
    static constexpr const char* FULL_NAME_TAG = "phi";
    static constexpr const char* HOST_NAME_TAG = "eta";
};

class VdXmlAttr {
public:
    VdXmlAttr(const SUM_String& name, const SUM_String& value) : name_(name), value_(value) {}
    const SUM_String& get_name() const { return name_; }
    const SUM_String& get_value() const { return value_; }
    // The value escaped for an attribute in double quotes: "&" first, then "<", ">" and
    // the double quote; tab, line feed and carriage return as character references, which
    // a parser keeps as they are.
    SUM_String get_encoded_value() const;
    bool operator==(const VdXmlAttr& o) const { return name_ == o.name_ && value_ == o.value_; }
    bool operator!=(const VdXmlAttr& o) const { return !(*this == o); }

private:
    SUM_String name_;
    SUM_String value_;
};

// Name, "=" and the encoded value in double quotes, also when the value is empty, in UTF-8
// with nothing XML 1.0 cannot carry (VdXmlUtil::native_to_xml): whatever a value holds, the
// document stays well-formed.
std::ostream& operator<<(std::ostream& out, const VdXmlAttr& attr);

class VdXmlElem {
public:
    // Appends itself to `parent`'s children when `parent` is not null.
    VdXmlElem(VdXmlDoc* doc, VdXmlElem* parent, const SUM_String& tag, const SUM_String& value);
    virtual void add_attr(const SUM_String& name, const SUM_String& value);
    // Leaves its parent's lists, then deletes its attributes and (extracted) children.
    virtual ~VdXmlElem();
    VdXmlElem(const VdXmlElem&) = delete;
    VdXmlElem& operator=(const VdXmlElem&) = delete;

    SUM_String get_tag() const { return tag_; }
    SUM_String get_value() const { return SUM_String(value_); }
    // The value escaped for XML text: "&" first, then ">" and "<".
    SUM_String get_encoded_value() const;
    void add_value(const SUM_String& text);

    bool is_root() const { return parent_ == nullptr; }
    VdXmlElem* get_parent() const { return parent_; }
    VdXmlDoc* get_doc() const { return doc_; }
    const std::vector<VdXmlElem*>& get_children() const { return children_; }
    const std::vector<VdXmlAttr*>& get_attrs() const { return attrs_; }

    // The first attribute named `name`, or null.
    const VdXmlAttr* find_attr(const SUM_String& name) const;
    bool has_attr(const SUM_String& name) const { return find_attr(name) != nullptr; }
    // The first such attribute's value; empty when there is none.
    SUM_String get_attr(const SUM_String& name) const;

    // Takes the first child tagged `tag` out of the children and returns it (null when
    // there is none). It stays owned by this element.
    VdXmlElem* extract_child(const SUM_String& tag);

    // Same tag and value, the same child pointers and the same attribute pointers.
    bool operator==(const VdXmlElem& o) const;
    bool operator!=(const VdXmlElem& o) const { return !(*this == o); }

private:
    VdXmlDoc* doc_;
    VdXmlElem* parent_;
    SUM_String tag_;
    // Kept as a growable string: a text arrives in many pieces (one per entity reference).
    std::string value_;
    std::vector<VdXmlElem*> children_;
    std::vector<VdXmlElem*> extracted_;
    std::vector<VdXmlAttr*> attrs_;
};

// The whole tree of `elem` in its in-memory form: an element with neither text nor
// children takes the short form "<tag/>".
std::ostream& operator<<(std::ostream& out, const VdXmlElem& elem);

class VdXmlDoc {
public:
    VdXmlDoc() = default;
    virtual ~VdXmlDoc();
    // A new element under the current one; it becomes current, and the root when the
    // document has none.
    virtual VdXmlElem* push(const SUM_String& tag);
    // Makes the current element's parent current and returns it (null after the root).
    virtual VdXmlElem* pop();
    // The element factory, so that a derived document makes derived elements.
    virtual VdXmlElem* construct(const SUM_String& tag, VdXmlElem* parent);
    VdXmlDoc(const VdXmlDoc&) = delete;
    VdXmlDoc& operator=(const VdXmlDoc&) = delete;

    VdXmlElem* get_root() { return root_.get(); }
    const VdXmlElem* get_root() const { return root_.get(); }
    VdXmlElem* get_curr() { return curr_; }
    const VdXmlElem* get_curr() const { return curr_; }
    bool is_empty() const { return !root_; }

protected:
    void set_curr(VdXmlElem* e) { curr_ = e; }

private:
    VdXmlElem* curr_ = nullptr;
    VdAutoPtr<VdXmlElem> root_;
    // Top-level elements pushed after the root was closed: kept, never leaked.
    std::vector<std::unique_ptr<VdXmlElem>> strays_;
};

#endif
