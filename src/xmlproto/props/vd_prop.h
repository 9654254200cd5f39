// The property model: how a requested property is named, found, read and answered, and
// how a value to be written is carried.
//
// A reader is made for one requested property of one resource, used once and deleted.
// Classes offer their properties through tables of reader functions (see
// VdPropTable): the function computes the value and writes it through one of the value
// writers of VdNestedPropResponse.
#ifndef XMLPROTO_PROPS_VD_PROP_H
#define XMLPROTO_PROPS_VD_PROP_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/sum/sum_string.h"

class VdResource;
class VdXmlDoc;
class VdXmlElem;
class VdNestedPropResponse;

// The namespace of most property names; a name in it is this prefix and the local name.
#define VD_PROP_NS "http://verdane.org/TEAM/PROPERTY:"

enum PropType {
    PT_BOOLEAN,
    PT_CHILD_MAP,
    PT_CHILD_MAP_ENTRY,
    PT_DATE,
    PT_ENUM,
    PT_FILE,
    PT_INT,
    PT_LIST,
    PT_LOCATION,
    PT_LONG,
    PT_NULL_VALUE,
    PT_OID,
    PT_PATH,
    PT_RESOURCE,
    PT_RESOURCE_LIST,
    PT_STRING,
    PT_XML_DOC,
};
const char* prop_type_name(PropType type);

enum CollectionType { CT_RESOURCE_LIST = 0, CT_LIST = 1, CT_CHILD_MAP = 2 };

// Status codes of the property layer.
enum {
    VD_ST_UNSUPPORTED = 1001,  // unsupported operation, property or value kind
    VD_ST_BAD_REQUEST = 1072,  // the request does not fit
};

class VdNestedProp {
public:
    VdNestedProp() = default;
    static int construct_from_xml(const VdXmlElem* elem, VdNestedProp& out);

    const SUM_String& name() const { return name_; }
    const std::vector<const VdXmlElem*>& nested() const { return nested_; }
    bool has_next_nested() const { return cursor_ < nested_.size(); }
    int next_nested(VdNestedProp& out);
    void reset() { cursor_ = 0; }
    bool is_null() const { return name_.is_empty(); }

private:
    SUM_String name_;
    std::vector<const VdXmlElem*> nested_;
    size_t cursor_ = 0;
};

class VdPropReader {
public:
    enum { SINGLE = 0, COLLECTION = 1, LIST = 2 };
    virtual int value_type() const = 0;
    virtual ~VdPropReader() = default;
};

class VdSingleValuedPropReader : public VdPropReader {
public:
    int value_type() const override { return SINGLE; }
    virtual int get_value(VdNestedPropResponse& r) = 0;
};

class VdListValuedPropReader : public VdPropReader {
public:
    int value_type() const override { return LIST; }
    virtual CollectionType collection_type() const = 0;
    virtual int get_list(VdNestedPropResponse& r) = 0;
};

class VdCollectionValuedPropReader : public VdPropReader {
public:
    int value_type() const override { return COLLECTION; }
    virtual CollectionType collection_type() const = 0;
    virtual int init_iterator(VdNestedPropResponse& r) = 0;
    virtual bool has_next_value() const = 0;
    virtual int get_next_value(VdNestedPropResponse& r) = 0;
    virtual int get_iterator_status() const = 0;
};

// Makes one resource of a collection when it is written, so that a long collection never
// holds all its resources at once.
typedef std::function<int(std::unique_ptr<VdResource>& out)> VdResourceMaker;

// A collection of resources, each written as a RESOURCE element (or left out when
// `nonobsolete` is set, the site filters obsolete objects and the resource is obsolete).
class VdResourceListIterPropReader : public VdCollectionValuedPropReader {
public:
    typedef std::function<int(std::vector<VdResourceMaker>& out)> Lister;
    VdResourceListIterPropReader(Lister lister, bool nonobsolete)
        : lister_(std::move(lister)), nonobsolete_(nonobsolete) {}
    CollectionType collection_type() const override { return CT_RESOURCE_LIST; }
    int init_iterator(VdNestedPropResponse& r) override;
    bool has_next_value() const override { return next_ < items_.size(); }
    int get_next_value(VdNestedPropResponse& r) override;
    int get_iterator_status() const override { return status_; }

private:
    Lister lister_;
    bool nonobsolete_;
    std::vector<VdResourceMaker> items_;
    size_t next_ = 0;
    int status_ = 0;
};

// One row of a class's property table: the full name, the kind of value and the function
// that computes it for a resource of that class (the function casts the resource to its
// class). Single values and lists write through the response's value writers; resource
// collections list makers of their resources.
typedef int (*VdPropFn)(const VdResource& self, VdNestedPropResponse& r);
typedef int (*VdPropLister)(const VdResource& self, std::vector<VdResourceMaker>& out);
struct VdPropRow {
    const char* name;
    int kind;  // VdPropReader::SINGLE, LIST or COLLECTION
    CollectionType collection;
    VdPropFn fn;
    VdPropLister lister;
    bool nonobsolete;
};
constexpr VdPropRow vd_prop_single(const char* name, VdPropFn fn) {
    return {name, VdPropReader::SINGLE, CT_LIST, fn, nullptr, false};
}
constexpr VdPropRow vd_prop_list(const char* name, CollectionType type, VdPropFn fn) {
    return {name, VdPropReader::LIST, type, fn, nullptr, false};
}
constexpr VdPropRow vd_prop_resources(const char* name, VdPropLister lister,
                                      bool nonobsolete = false) {
    return {name, VdPropReader::COLLECTION, CT_RESOURCE_LIST, nullptr, lister, nonobsolete};
}
// The reader of `name` among `rows`, bound to `self`, or null.
VdPropReader* vd_find_prop(const VdPropRow* rows, size_t count, const VdResource& self,
                           const SUM_String& name);
template <size_t N>
VdPropReader* vd_find_prop(const VdPropRow (&rows)[N], const VdResource& self,
                           const SUM_String& name) {
    return vd_find_prop(rows, N, self, name);
}

// Writes one requested property of one resource into the response document.
class VdNestedPropResponse {
public:
    VdNestedPropResponse(const VdResource* resource, const VdNestedProp& prop,
                         const VdResource* context, VdXmlDoc* doc);

    int read();

    const VdResource* resource() const { return resource_; }
    const VdResource* context() const { return context_; }
    const SUM_String& name() const { return name_; }
    VdXmlDoc* doc() const { return doc_; }

    // Value writers: each writes one complete "prop" element for the current name.
    int marshal_null_value();
    int marshal_string(const SUM_String& value);
    int marshal_boolean(bool value);
    int marshal_long(long value);
    int marshal_long_long(long long value);
    int marshal_int(int value);
    int marshal_date(int64_t value);
    int marshal_enum(const SUM_String& value);
    int marshal_oid(const SUM_String& value);
    int marshal_location(const SUM_String& location);
    int marshal_path(const SUM_String& path);
    int marshal_file(const SUM_String& path);
    int marshal_resource(const VdResource& resource);
    int marshal_nonobsolete_resource(const VdResource& resource, bool obsolete);
    int marshal_child_map_entry(const SUM_String& binding, const VdResource& resource);
    // An open XML_DOC element: the reader pushes its children into doc() and then calls
    // end_marshal_xml.
    int start_marshal_xml();
    int end_marshal_xml();
    // A resource built by `make`, or the null value when it makes none; the maker's
    // failure is the answer.
    int marshal_optional_resource(const std::function<int(std::unique_ptr<VdResource>&)>& make);
    // A LIST's items, each as its own STRING element.
    int marshal_strings(const std::vector<std::string>& values);

    int marshal_property(PropType type, const SUM_String& value);
    int marshal_property_exception(int status, const std::string& messages);
    int marshal_unsupported_property_exception();
    int begin_collection_valued_property(CollectionType type);
    int handle_nested_props(const VdResource& resource);

    // The answer of a property that needs a view context and has none.
    int no_view_context();

private:
    VdXmlElem* open(const char* type);

    const VdResource* resource_;
    const VdResource* context_;
    SUM_String name_;
    VdNestedProp nested_;
    VdXmlDoc* doc_;
};

// A value to be written.
class PropVal {
public:
    enum Kind { NULL_KIND = 0, SINGLE = 1, COLLECTION = 2, MODIFIER = 3, XML = 4 };
    explicit PropVal(const SUM_String& name) : name_(name) {}
    PropVal(const SUM_String& name, const SUM_String& value)
        : name_(name), kind_(SINGLE), single_(value) {}
    PropVal(const SUM_String& name, std::vector<std::string> values)
        : name_(name), kind_(COLLECTION), values_(std::move(values)) {}
    PropVal(const SUM_String& name, std::vector<std::string> additions,
            std::vector<std::string> removals)
        : name_(name),
          kind_(MODIFIER),
          values_(std::move(additions)),
          removals_(std::move(removals)) {}
    PropVal(const SUM_String& name, const VdXmlElem* xml) : name_(name), kind_(XML), xml_(xml) {}

    const SUM_String& name() const { return name_; }
    Kind kind() const { return kind_; }
    bool is_null() const { return kind_ == NULL_KIND; }
    int get_single_value(SUM_String& out) const;
    int get_collection_value(std::vector<std::string>& out) const;
    int get_additions(std::vector<std::string>& out) const;
    int get_removals(std::vector<std::string>& out) const;
    int get_xml(const VdXmlElem*& out) const;
    int is_true(bool& out) const;

private:
    SUM_String name_;
    Kind kind_ = NULL_KIND;
    SUM_String single_;
    std::vector<std::string> values_;
    std::vector<std::string> removals_;
    const VdXmlElem* xml_ = nullptr;
};

#endif
