// VdXmlParser: the document builder behind the SAX module's events, and the module loader.
#include "xmlproto/xml/vd_xml_parser.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "core/imsg/imsg.h"
#include "foundation/catalogs/catalogs.h"
#include "foundation/catalogs/vdw_prop_catalog.h"
#include "xmlproto/xml/vd_xml_sax_module.h"
#include "xmlproto/xml/vd_xml_util.h"

// Defined when the module's code is linked in (the fuzz target does); otherwise the
// module is loaded on the first parse.
extern "C" int vdxml_sax_parse(const vdxml_input_t*, const vdxml_events_t*, char16_t*, size_t, int*)
    __attribute__((weak));

namespace {

const char* const kModule = "libvdweb_xml.so";
const char* const kComponent = "VD CM Server";
const char* const kBadState = "Unexpected XML parser state";

// The module beside the library (or program) that holds this code, in its own directory
// or in ../lib, else wherever the dynamic linker finds it.
vdxml_parse_fn load_module() {
    if (vdxml_sax_parse) return vdxml_sax_parse;
    std::string dir;
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&load_module), &info) && info.dli_fname) {
        dir = info.dli_fname;
        const size_t slash = dir.rfind('/');
        dir = slash == std::string::npos ? std::string(".") : dir.substr(0, slash);
    }
    void* lib = nullptr;
    if (!dir.empty()) {
        for (const char* rel : {"/", "/../lib/"}) {
            const std::string path = dir + rel + kModule;
            if (access(path.c_str(), R_OK) == 0 &&
                (lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)))
                break;
        }
    }
    if (!lib) lib = dlopen(kModule, RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        const char* why = dlerror();
        imsg_internal_error(kComponent, __FILE__, __LINE__, "XML parser module: %s",
                            why ? why : kModule);
        return nullptr;
    }
    return reinterpret_cast<vdxml_parse_fn>(dlsym(lib, "vdxml_sax_parse"));
}

vdxml_parse_fn parse_fn() {
    static vdxml_parse_fn fn = nullptr;
    static std::once_flag once;
    std::call_once(once, [] { fn = load_module(); });
    return fn;
}

// Builds the document from the module's events. State 0 before the document, 1 inside
// it, 2 after it. A handler that refuses an event leaves its reason in `refusal`.
struct Builder {
    int state = 0;
    int depth = 0;
    VdAutoPtr<VdXmlDoc>* doc = nullptr;
    SUM_String refusal;

    int refuse(const SUM_String& why) {
        refusal = why;
        return 1;
    }
    // Text the server's character set cannot represent refuses the document, naming the
    // text with "?" in place of each such character.
    int refuse_unconvertible(const SUM_String& substituted) {
        char buf[4096];
        imsg_sprintf(buf, sizeof buf, &_vdw_prop_props_msg_table, VDW_PROP_UNSUPPORTED_CHARACTERS,
                     substituted.c_str());
        return refuse(SUM_String(buf));
    }
    bool convert(const char16_t* text, size_t length, SUM_String& out) {
        return VdXmlUtil::xerces_to_native(text, length, out);
    }
    bool convert(const char16_t* text, SUM_String& out) {
        return VdXmlUtil::xerces_to_native(text, out);
    }

    static Builder& of(void* ctx) { return *static_cast<Builder*>(ctx); }

    static int start_document(void* ctx) {
        Builder& b = of(ctx);
        VD_ASSERT(b.state == 0, kBadState);
        b.state = 1;
        b.doc->reset(new VdXmlDoc);
        return 0;
    }
    static int start_element(void* ctx, const char16_t* qname, size_t count,
                             const char16_t* const* names, const char16_t* const* values) {
        Builder& b = of(ctx);
        VD_ASSERT(b.state == 1, kBadState);
        if (b.state != 1 || !b.doc->get()) return b.refuse(kBadState);
        if (++b.depth > VdXmlParser::MAX_DEPTH) {
            char buf[128];
            snprintf(buf, sizeof buf, "XML document nested deeper than %d elements",
                     VdXmlParser::MAX_DEPTH);
            return b.refuse(SUM_String(buf));
        }
        SUM_String tag;
        if (!b.convert(qname, tag)) return b.refuse_unconvertible(tag);
        VdXmlElem* e = (*b.doc)->push(tag);
        for (size_t i = 0; i < count; ++i) {
            SUM_String name, value;
            if (!b.convert(names[i], name)) return b.refuse_unconvertible(name);
            if (!b.convert(values[i], value)) return b.refuse_unconvertible(value);
            e->add_attr(name, value);
        }
        return 0;
    }
    static int characters(void* ctx, const char16_t* text, size_t length) {
        Builder& b = of(ctx);
        VD_ASSERT(b.state == 1 && b.doc->get() && (*b.doc)->get_curr(), kBadState);
        if (b.state != 1 || !b.doc->get() || !(*b.doc)->get_curr()) return 0;
        SUM_String t;
        if (!b.convert(text, length, t)) return b.refuse_unconvertible(t);
        (*b.doc)->get_curr()->add_value(t);
        return 0;
    }
    static int end_element(void* ctx, const char16_t* qname) {
        Builder& b = of(ctx);
        VdXmlElem* open = b.doc->get() ? (*b.doc)->get_curr() : nullptr;
        SUM_String tag;
        b.convert(qname, tag);
        const bool ok = b.state == 1 && open && open->get_tag() == tag;
        VD_ASSERT(ok, kBadState);
        if (!ok) return b.refuse(kBadState);
        (*b.doc)->pop();
        --b.depth;
        return 0;
    }
    static int end_document(void* ctx) {
        Builder& b = of(ctx);
        VD_ASSERT(b.state == 1, kBadState);
        b.state = 2;
        return 0;
    }
    static void report(void*, int kind, long line, long column, const char16_t* message) {
        if (kind == VDXML_PROCESSING_INSTRUCTION) {
            imsg_internal_error(kComponent, __FILE__, __LINE__,
                                "XML parse error: unexpected processing instruction");
            return;
        }
        SUM_String text;
        VdXmlUtil::xerces_to_native(message, text);
        imsg_internal_error(kComponent, __FILE__, __LINE__, "%sinput line: %ld col: %ld\n%s",
                            kind == VDXML_WARNING ? "XML parse warning: " : "XML parse error: ",
                            line, column, text.c_str());
    }
};

[[noreturn]] void refuse(const char* why) {
    throw VdXmlParseException(SUM_String(why));
}

}  // namespace

struct VdXmlParser::Source {
    vdxml_input_t input{};
};

VdXmlParser::VdXmlParser() = default;
VdXmlParser::~VdXmlParser() = default;

bool VdXmlParser::module_available() {
    return parse_fn() != nullptr;
}

VdAutoPtr<VdXmlDoc>& VdXmlParser::parse_string(const char* text) {
    return parse_string(text, text ? strlen(text) : 0);
}

VdAutoPtr<VdXmlDoc>& VdXmlParser::parse_string(const char* text, size_t length) {
    if (length > MAX_DOCUMENT_BYTES) refuse("XML document too large");
    Source s;
    s.input.source = VDXML_SOURCE_MEMORY;
    s.input.data = text ? text : "";
    s.input.length = length;
    return parse_impl(s);
}

VdAutoPtr<VdXmlDoc>& VdXmlParser::parse_file(const char* path) {
    struct stat st;
    if (!path || stat(path, &st) != 0 || !S_ISREG(st.st_mode)) refuse("XML document not found");
    if (static_cast<unsigned long long>(st.st_size) > MAX_DOCUMENT_BYTES)
        refuse("XML document too large");
    std::unique_ptr<char16_t[]> wide(VdXmlUtil::native_to_xerces(path));
    if (!wide) refuse("XML document name cannot be converted");
    Source s;
    s.input.source = VDXML_SOURCE_FILE;
    s.input.path = wide.get();
    return parse_impl(s);
}

VdAutoPtr<VdXmlDoc>& VdXmlParser::parse_stdin() {
    // Read here, so that the size bound holds for a stream as well.
    std::string text;
    char buf[8192];
    for (ssize_t n; (n = read(0, buf, sizeof buf)) != 0;) {
        if (n < 0) {
            if (errno == EINTR) continue;
            refuse("XML document cannot be read");
        }
        text.append(buf, static_cast<size_t>(n));
        if (text.size() > MAX_DOCUMENT_BYTES) refuse("XML document too large");
    }
    Source s;
    s.input.source = VDXML_SOURCE_STDIN;
    s.input.data = text.data();
    s.input.length = text.size();
    return parse_impl(s);
}

VdAutoPtr<VdXmlDoc>& VdXmlParser::parse_impl(const Source& source) {
    doc_.reset();
    vdxml_parse_fn parse = parse_fn();
    if (!parse) refuse("XML parser not available");
    Builder b;
    b.doc = &doc_;
    const vdxml_events_t events = {&b,
                                   Builder::start_document,
                                   Builder::start_element,
                                   Builder::characters,
                                   Builder::end_element,
                                   Builder::end_document,
                                   Builder::report};
    char16_t message[1024];
    int errors = 0;
    const int rc =
        parse(&source.input, &events, message, sizeof message / sizeof message[0], &errors);
    if (rc != VDXML_OK) {
        doc_.reset();
        if (rc == VDXML_STOPPED) throw VdXmlParseException(b.refusal);
        throw VdXmlParseException(VdXmlUtil::icu_to_native_with_subs(
            message, std::char_traits<char16_t>::length(message)));
    }
    VD_ASSERT(errors == 0, "XML parser: non-zero error count");
    VD_ASSERT(b.state == 2, kBadState);
    if (b.state != 2 || !doc_) {
        doc_.reset();
        refuse(kBadState);
    }
    return doc_;
}
