#include "xmlproto/props/vd_prop.h"

#include <strings.h>

#include <cstdio>

#include "core/imsg/imsg.h"
#include "core/sum/imsg_redirector.h"
#include "foundation/catalogs/vdw_prop_catalog.h"
#include "foundation/vdw_config.h"
#include "xmlproto/resource/vd_resource.h"
#include "xmlproto/rpc/xml_tag_id.h"
#include "xmlproto/xml/vd_xml_doc.h"

namespace {

const char* const kPropTypeNames[] = {
    "BOOLEAN", "CHILD_MAP", "CHILD_MAP_ENTRY", "DATE",   "ENUM",    "FILE",
    "INT",     "LIST",      "LOCATION",        "LONG",   "NULL",    "OID",
    "PATH",    "RESOURCE",  "RESOURCE_LIST",   "STRING", "XML_DOC",
};

// Bound readers made from a property-table row.
class RowSingleReader : public VdSingleValuedPropReader {
public:
    RowSingleReader(VdPropFn fn, const VdResource& self) : fn_(fn), self_(self) {}
    int get_value(VdNestedPropResponse& r) override { return fn_(self_, r); }

private:
    VdPropFn fn_;
    const VdResource& self_;
};
class RowListReader : public VdListValuedPropReader {
public:
    RowListReader(CollectionType type, VdPropFn fn, const VdResource& self)
        : type_(type), fn_(fn), self_(self) {}
    CollectionType collection_type() const override { return type_; }
    int get_list(VdNestedPropResponse& r) override { return fn_(self_, r); }

private:
    CollectionType type_;
    VdPropFn fn_;
    const VdResource& self_;
};

}  // namespace

const char* prop_type_name(PropType type) {
    return type >= 0 && type <= PT_XML_DOC ? kPropTypeNames[type] : "";
}

VdPropReader* vd_find_prop(const VdPropRow* rows, size_t count, const VdResource& self,
                           const SUM_String& name) {
    for (size_t i = 0; i < count; ++i) {
        const VdPropRow& row = rows[i];
        if (name.str() != row.name) continue;
        switch (row.kind) {
            case VdPropReader::SINGLE:
                return new RowSingleReader(row.fn, self);
            case VdPropReader::LIST:
                return new RowListReader(row.collection, row.fn, self);
            default: {
                VdPropLister lister = row.lister;
                const VdResource* s = &self;
                return new VdResourceListIterPropReader(
                    [lister, s](std::vector<VdResourceMaker>& out) { return lister(*s, out); },
                    row.nonobsolete);
            }
        }
    }
    return nullptr;
}

// VdNestedProp -------------------------------------------------------------------------------

int VdNestedProp::construct_from_xml(const VdXmlElem* elem, VdNestedProp& out) {
    if (!elem || elem->get_tag().str() != XmlTagId::PROPERTY || elem->get_attrs().empty() ||
        elem->get_attrs().front()->get_name().str() != XmlTagId::PROPERTY_NAME) {
        imsg_print_catalog(IMSG_ERROR, &_vdw_prop_props_msg_table, VDW_PROP_BACKEND_INTERNAL_ERROR,
                           "malformed property request");
        return VD_ST_BAD_REQUEST;
    }
    out.name_ = elem->get_attrs().front()->get_value();
    out.nested_.assign(elem->get_children().begin(), elem->get_children().end());
    out.cursor_ = 0;
    return 0;
}

int VdNestedProp::next_nested(VdNestedProp& out) {
    if (cursor_ >= nested_.size()) return VD_ST_BAD_REQUEST;
    return construct_from_xml(nested_[cursor_++], out);
}

// VdResourceListIterPropReader -----------------------------------------------------------

int VdResourceListIterPropReader::init_iterator(VdNestedPropResponse&) {
    items_.clear();
    next_ = 0;
    status_ = lister_(items_);
    return status_;
}

int VdResourceListIterPropReader::get_next_value(VdNestedPropResponse& r) {
    std::unique_ptr<VdResource> res;
    int st = items_[next_](res);
    items_[next_] = nullptr;  // each maker runs once; let what it holds go
    ++next_;
    if (st) return st;
    if (nonobsolete_) return r.marshal_nonobsolete_resource(*res, res->is_obsolete());
    return r.marshal_resource(*res);
}

// VdNestedPropResponse ---------------------------------------------------------------------

VdNestedPropResponse::VdNestedPropResponse(const VdResource* resource, const VdNestedProp& prop,
                                           const VdResource* context, VdXmlDoc* doc)
    : resource_(resource), context_(context), name_(prop.name()), nested_(prop), doc_(doc) {}

int VdNestedPropResponse::read() {
    std::unique_ptr<VdPropReader> reader;
    {
        SUM_ImsgRedirector capture;
        reader.reset(resource_->get_prop_reader(*this));
    }
    if (!reader) return marshal_unsupported_property_exception();
    int st = 0;
    switch (reader->value_type()) {
        case VdPropReader::SINGLE: {
            SUM_ImsgRedirector capture;
            st = static_cast<VdSingleValuedPropReader*>(reader.get())->get_value(*this);
            if (st) marshal_property_exception(st, capture.text());
            return 0;
        }
        case VdPropReader::LIST: {
            auto* lr = static_cast<VdListValuedPropReader*>(reader.get());
            SUM_ImsgRedirector capture;
            if ((st = begin_collection_valued_property(lr->collection_type()))) return st;
            st = lr->get_list(*this);
            if (st) marshal_property_exception(st, capture.text());
            return 0;
        }
        case VdPropReader::COLLECTION: {
            auto* cr = static_cast<VdCollectionValuedPropReader*>(reader.get());
            {
                SUM_ImsgRedirector capture;
                st = cr->init_iterator(*this);
                if (st) {
                    marshal_property_exception(st, capture.text());
                    return 0;
                }
            }
            if ((st = begin_collection_valued_property(cr->collection_type()))) return st;
            while (cr->has_next_value()) {
                SUM_ImsgRedirector capture;
                st = cr->get_next_value(*this);
                if (st) marshal_property_exception(st, capture.text());
            }
            return 0;
        }
        default:
            return VD_ST_UNSUPPORTED;
    }
}

VdXmlElem* VdNestedPropResponse::open(const char* type) {
    VdXmlElem* e = doc_->push(XmlTagId::PROPERTY);
    e->add_attr(XmlTagId::PROPERTY_NAME, name_);
    if (type) e->add_attr(XmlTagId::PROPERTY_TYPE, type);
    return e;
}

int VdNestedPropResponse::marshal_property(PropType type, const SUM_String& value) {
    VdXmlElem* e = open(prop_type_name(type));
    if (!value.is_empty()) e->add_value(value);
    doc_->pop();
    return 0;
}

int VdNestedPropResponse::marshal_null_value() {
    return marshal_property(PT_NULL_VALUE, "");
}
int VdNestedPropResponse::marshal_string(const SUM_String& v) {
    return marshal_property(PT_STRING, v);
}
int VdNestedPropResponse::marshal_boolean(bool v) {
    return marshal_property(PT_BOOLEAN, v ? "true" : "false");
}
int VdNestedPropResponse::marshal_long(long v) {
    char b[32];
    snprintf(b, sizeof b, "%ld", v);
    return marshal_property(PT_LONG, b);
}
int VdNestedPropResponse::marshal_long_long(long long v) {
    char b[32];
    snprintf(b, sizeof b, "%lld", v);
    return marshal_property(PT_LONG, b);
}
int VdNestedPropResponse::marshal_int(int v) {
    char b[16];
    snprintf(b, sizeof b, "%d", v);
    return marshal_property(PT_INT, b);
}
int VdNestedPropResponse::marshal_date(int64_t v) {
    char b[32];
    snprintf(b, sizeof b, "%ld", static_cast<long>(v));
    return marshal_property(PT_DATE, b);
}
int VdNestedPropResponse::marshal_enum(const SUM_String& v) {
    return marshal_property(PT_ENUM, v);
}
int VdNestedPropResponse::marshal_oid(const SUM_String& v) {
    return marshal_property(PT_OID, v);
}
int VdNestedPropResponse::marshal_location(const SUM_String& v) {
    return marshal_property(PT_LOCATION, VdPath(v).to_canonical());
}
int VdNestedPropResponse::marshal_path(const SUM_String& v) {
    return marshal_property(PT_PATH, VdPath(v).to_canonical());
}
int VdNestedPropResponse::marshal_file(const SUM_String& v) {
    return marshal_property(PT_FILE, VdPath(v).to_canonical());
}

int VdNestedPropResponse::marshal_resource(const VdResource& resource) {
    open(prop_type_name(PT_RESOURCE));
    int st = resource.marshal(*doc_);
    if (!st) st = handle_nested_props(resource);
    doc_->pop();
    return st;
}

int VdNestedPropResponse::marshal_nonobsolete_resource(const VdResource& resource, bool obsolete) {
    if (obsolete && VDW_Config::getInstance().get_boolean_param(VDW_Config::FILTER_OBSOLETE_KEY))
        return 0;
    return marshal_resource(resource);
}

int VdNestedPropResponse::marshal_child_map_entry(const SUM_String& binding,
                                                  const VdResource& resource) {
    open(prop_type_name(PT_CHILD_MAP_ENTRY));
    VdXmlElem* b = doc_->push(XmlTagId::BINDING_NAME);
    b->add_value(binding);
    doc_->pop();
    int st = resource.marshal(*doc_);
    if (!st) st = handle_nested_props(resource);
    doc_->pop();
    return st;
}

int VdNestedPropResponse::start_marshal_xml() {
    open(prop_type_name(PT_XML_DOC));
    return 0;
}
int VdNestedPropResponse::end_marshal_xml() {
    doc_->pop();
    return 0;
}

int VdNestedPropResponse::marshal_optional_resource(
    const std::function<int(std::unique_ptr<VdResource>&)>& make) {
    std::unique_ptr<VdResource> r;
    int st = make(r);
    if (st) return st;
    if (!r) return marshal_null_value();
    return marshal_resource(*r);
}

int VdNestedPropResponse::marshal_strings(const std::vector<std::string>& values) {
    for (const auto& v : values) marshal_string(v);
    return 0;
}

int VdNestedPropResponse::marshal_property_exception(int, const std::string& messages) {
    VdXmlElem* e = doc_->push(XmlTagId::PROPERTY);
    e->add_attr(XmlTagId::PROPERTY_NAME, name_);
    e->add_attr(XmlTagId::PROPERTY_EXCEPTION, "true");
    if (!messages.empty()) e->add_value(messages);
    doc_->pop();
    return 0;
}

int VdNestedPropResponse::marshal_unsupported_property_exception() {
    char text[2048];
    const char* fmt = _vdw_prop_props_msg_table.texts[VDW_PROP_PROPERTY_NOT_IMPLEMENTED];
    snprintf(text, sizeof text, fmt, name_.c_str());
    VdXmlElem* e = doc_->push(XmlTagId::PROPERTY);
    e->add_attr(XmlTagId::PROPERTY_NAME, name_);
    e->add_attr(XmlTagId::PROPERTY_NOT_SUPPORTED, "true");
    e->add_value(text);
    doc_->pop();
    return 0;
}

int VdNestedPropResponse::begin_collection_valued_property(CollectionType type) {
    static const PropType types[] = {PT_RESOURCE_LIST, PT_LIST, PT_CHILD_MAP};
    if (type < CT_RESOURCE_LIST || type > CT_CHILD_MAP) {
        imsg_print_catalog(IMSG_ERROR, &_vdw_prop_props_msg_table, VDW_PROP_BACKEND_INTERNAL_ERROR,
                           "unknown collection type");
        return VD_ST_BAD_REQUEST;
    }
    open(prop_type_name(types[type]));
    doc_->pop();
    return 0;
}

int VdNestedPropResponse::handle_nested_props(const VdResource& resource) {
    nested_.reset();
    while (nested_.has_next_nested()) {
        VdNestedProp sub;
        int st = nested_.next_nested(sub);
        if (st) return st;
        VdNestedPropResponse r(&resource, sub, context_, doc_);
        if ((st = r.read())) return st;
    }
    return 0;
}

int VdNestedPropResponse::no_view_context() {
    imsg_print_catalog(IMSG_ERROR, &_vdw_prop_props_msg_table, VDW_PROP_PROPERTY_NEEDS_VIEW);
    return VD_ST_UNSUPPORTED;
}

// PropVal --------------------------------------------------------------------------------------

int PropVal::get_single_value(SUM_String& out) const {
    if (kind_ != SINGLE) return VD_ST_UNSUPPORTED;
    out = single_;
    return 0;
}
int PropVal::get_collection_value(std::vector<std::string>& out) const {
    if (kind_ != COLLECTION) return VD_ST_UNSUPPORTED;
    out = values_;
    return 0;
}
int PropVal::get_additions(std::vector<std::string>& out) const {
    if (kind_ != MODIFIER) return VD_ST_UNSUPPORTED;
    out = values_;
    return 0;
}
int PropVal::get_removals(std::vector<std::string>& out) const {
    if (kind_ != MODIFIER) return VD_ST_UNSUPPORTED;
    out = removals_;
    return 0;
}
int PropVal::get_xml(const VdXmlElem*& out) const {
    if (kind_ != XML) return VD_ST_UNSUPPORTED;
    out = xml_;
    return 0;
}
int PropVal::is_true(bool& out) const {
    if (kind_ != SINGLE) return VD_ST_UNSUPPORTED;
    if (strcasecmp(single_.c_str(), "true") == 0)
        out = true;
    else if (strcasecmp(single_.c_str(), "false") == 0)
        out = false;
    else
        return VD_ST_UNSUPPORTED;
    return 0;
}
