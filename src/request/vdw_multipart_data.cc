// One response part: headers, content, and the framing of the multipart stream.
#include "request/vdw_multipart_data.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <istream>
#include <ostream>
#include <string>

#include "core/sum/sum_string.h"
#include "core/util/i18n.h"
#include "foundation/vdw_cancel.h"
#include "foundation/wcm_status.h"

#define VDW_CONST(name, text) const char* const VDW_MultipartData::name = text
VDW_CONST(CRLF, "\r\n");
VDW_CONST(MP_BOUNDARY, "------------------------aAJYnbd98Xui1cX9oiQh");
VDW_CONST(MP_BOUNDARY_END, "--");
VDW_CONST(MIME_MULTIPART, "multipart/mixed");
VDW_CONST(HTTP_CONTENT_ID, "Content-ID");
VDW_CONST(HTTP_CONTENT_TYPE, "Content-Type");
VDW_CONST(HTTP_CONTENT_LENGTH, "Content-Length");
VDW_CONST(HTTP_CONTENT_DESCRIPTION, "Content-Description");
VDW_CONST(HTTP_STATUS, "Status");
VDW_CONST(HAS_NON_OK_MSG, "HasNonOkMsg");
VDW_CONST(MIME_TEXT, "text/plain");
VDW_CONST(MIME_TEXT_UTF8_ALREADY_ENCODED, "text/plain;charset=UTF-8");
VDW_CONST(MIME_HTML, "text/html");
VDW_CONST(MIME_CLEARTEXT, "application/octet-stream");
VDW_CONST(MIME_COMPRESSED_CLEARTEXT, "application/x-gzip");
VDW_CONST(MIME_TEXT_PREFIX, "text/");
VDW_CONST(MIME_CHARSET_SPEC, ";charset=");
VDW_CONST(STATUS_PART, "Status");
VDW_CONST(RPC_STATUS_PART, "Status");
VDW_CONST(RPC_RESULT_PART, "RpcResult");
VDW_CONST(REFRESHED_SESSION, "FreshSession");
VDW_CONST(INTERACTOR_REQUEST, "InteractionRequest");
VDW_CONST(INTERACTOR_REQUEST_MSG, "InteractionRequestMsg");
VDW_CONST(QLMX_KEEPALIVE, "QLMXKeepalive");
VDW_CONST(MKELEM_CHECKOUTS, "MkelemCheckouts");
VDW_CONST(CHECKOUT_STATUS, "CheckoutStatus");
VDW_CONST(SYNC_SCOPES, "SyncScopes");
VDW_CONST(SYNC_IN_PROGRESS, "SyncInProgress");
VDW_CONST(SYNC_SESSION_BEGIN, "SyncFetchBegin");
VDW_CONST(SYNC_SESSION_END, "SyncFetchEnd");
VDW_CONST(SYNC_DIR_CONTEXT, "SyncDirContext");
VDW_CONST(SYNC_ELEM_INFO, "SyncElemInfo");
VDW_CONST(SYNC_VER_DATA, "SyncElemData");
VDW_CONST(SYNC_PROGRESS, "SyncProgress");
VDW_CONST(SYNC_RENAME_ELEM, "SyncRenameElem");
VDW_CONST(OPERATION, "Operation");
VDW_CONST(TOTAL, "Total");
VDW_CONST(CURRENT, "Current");
VDW_CONST(PATHNAME, "Path");
VDW_CONST(VIEWTAG, "Viewtag");
VDW_CONST(MTYPE, "Mtype");
VDW_CONST(COMMENT, "Comment");
VDW_CONST(FILE, "File");
VDW_CONST(DIRECTORY, "Directory");
VDW_CONST(FROM_VERSION, "FromVersion");
VDW_CONST(TO_VERSION, "ToVersion");
VDW_CONST(TO_VERSION_EXT, "ToVersionExt");
VDW_CONST(BASE_VERSION, "BaseVersion");
VDW_CONST(REPLICA_OID, "ReplicaOid");
VDW_CONST(ELEMENT_OID, "ElementOid");
VDW_CONST(UNKNOWN, "<Unknown>");
VDW_CONST(MERGETYPE, "MergeType");
VDW_CONST(MERGETYPE_TRIVIAL, "Trivial");
VDW_CONST(MERGETYPE_NONTRIVIAL, "NonTrivial");
VDW_CONST(ELEM_MERGETYPE, "ElementMergeType");
VDW_CONST(ELEM_MERGETYPE_AUTO, "Auto");
VDW_CONST(ELEM_MERGETYPE_USER, "User");
VDW_CONST(ELEM_MERGETYPE_NEVER, "Never");
VDW_CONST(ELEM_MERGETYPE_COPY, "Copy");
VDW_CONST(CHECKOUT_OP, "CHECKOUT");
VDW_CONST(UNCHECKOUT_OP, "UNCHECKOUT");
VDW_CONST(CHECKIN_OP, "CHECKIN");
VDW_CONST(MERGE_OP, "MERGE");
VDW_CONST(NOOP_OP, "NOOP");
VDW_CONST(CHECKEDOUT, "Checked out");
VDW_CONST(CHECKEDIN, "Checked in");
VDW_CONST(PREMERGE_SORTED_DIRECTORY, "PREMERGE_SORTED_DIRECTORY");
VDW_CONST(PREMERGE_SORTED_FILE, "PREMERGE_SORTED_FILE");
VDW_CONST(FM_NOMERGE_STATUS, "NO_MERGE");
VDW_CONST(FM_MERGE_NOT_NEEDED_STATUS, "MERGE_NOT_NEEDED");
VDW_CONST(FM_MERGE_NEEDED_STATUS, "NEEDS_MERGE");
VDW_CONST(FM_NOAUTOMERGE_NEEDED_STATUS, "NEEDS_NOAUTOMERGE");
VDW_CONST(FM_MERGE_SUCCESS_STATUS, "MERGED");
VDW_CONST(FM_MERGE_FAILURE_STATUS, "MERGE_ERROR");
VDW_CONST(FM_NEVER_MERGE_STATUS, "NEVER_MERGE");
VDW_CONST(VIEW_RELOAD_NEEDED_STATUS, "RELOAD_NEEDED");
VDW_CONST(VIEW_RELOAD_NOT_NEEDED_STATUS, "RELOAD_NOT_NEEDED");
#define VDW_SELF(name) VDW_CONST(name, #name)
VDW_SELF(REBASE_CONFIG_CHANGE);
VDW_SELF(REBASE_CHANGESET_SCAN);
VDW_SELF(REBASE_VIEW_UPDATE);
VDW_SELF(REBASE_VIEW_RELOAD);
VDW_SELF(REBASE_ACTION_NOTIFICATION);
VDW_SELF(REBASE_COMPONENT_SCAN);
VDW_SELF(REBASE_VERCTL_PRE_NOTIFICATION);
VDW_SELF(REBASE_VERCTL_POST_NOTIFICATION);
VDW_SELF(REBASE_VERCTL_STATUS);
VDW_SELF(REBASE_MERGE_NOTIFICATION);
VDW_SELF(REBASE_SERVER_STATE);
VDW_SELF(DELIVER_PREPARING_COMPONENTS);
VDW_SELF(DELIVER_PREPARING_BASELINES);
VDW_SELF(DELIVER_PREPARING_CHANGESETS);
VDW_SELF(DELIVER_EVALUATING_BASELINES);
VDW_SELF(DELIVER_COMPARING_CHANGESETS);
VDW_SELF(DELIVER_SEARCHING_ACTIVITIES);
VDW_SELF(DELIVER_TN_ACTS_CHECK);
VDW_SELF(DELIVER_ACTION_NOTIFICATION);
VDW_SELF(DELIVER_VERCTL_PRE_NOTIFICATION);
VDW_SELF(DELIVER_VERCTL_POST_NOTIFICATION);
VDW_SELF(DELIVER_VERCTL_STATUS);
VDW_SELF(DELIVER_MERGE_NOTIFICATION);
VDW_SELF(DELIVER_SERVER_STATE);
#undef VDW_SELF
#undef VDW_CONST

// ---- header values ----------------------------------------------------------------

namespace {

bool printable_ascii(const char* s) {
    for (; *s; ++s) {
        unsigned char c = static_cast<unsigned char>(*s);
        if (c < 32 || c > 126) return false;
    }
    return true;
}

char* heap_copy(const std::string& s) {
    auto* p = new char[s.size() + 1];
    memcpy(p, s.c_str(), s.size() + 1);
    return p;
}

}  // namespace

VDW_toRFC2047::VDW_toRFC2047(const char* text) {
    if (!text) text = "";
    if (printable_ascii(text)) {
        value_ = heap_copy(text);
        return;
    }
    std::string utf8;
    long off = 0;
    if (i18n_convert(i18n_native(), i18n_utf8(), text, strlen(text), utf8, &off) != 0)
        utf8 = text;  // send the bytes as they are, still encoded safely
    std::string out = "=?UTF-8?q?";
    char hex[4];
    for (unsigned char c : utf8) {
        if (c == ' ') {
            out += '_';
        } else if (c >= 32 && c <= 126 && c != '_' && c != '?' && c != '=') {
            out += static_cast<char>(c);
        } else {
            snprintf(hex, sizeof hex, "=%02X", c);
            out += hex;
        }
    }
    out += "?=";
    value_ = heap_copy(out);
}

VDW_toRFC2047::~VDW_toRFC2047() {
    delete[] value_;
}

bool text_type_needs_encoding(const char* type) {
    return type && strncmp(type, VDW_MultipartData::MIME_TEXT_PREFIX, 5) == 0 &&
           !strstr(type, VDW_MultipartData::MIME_CHARSET_SPEC);
}

bool text_type_needs_encoding(const SUM_String& type) {
    return text_type_needs_encoding(type.c_str());
}

// ---- parts ------------------------------------------------------------------------

VDW_MultipartData::VDW_MultipartData() = default;

VDW_MultipartData::VDW_MultipartData(const char* name, const char* content_type,
                                     const char* description, const void* data, long long length)
    : data_(data), length_(data && length > 0 ? length : 0) {
    add_header(HTTP_CONTENT_ID, name);
    std::string type = content_type ? content_type : MIME_TEXT;
    if (text_type_needs_encoding(type.c_str())) {
        long off = 0;
        const char* bytes = static_cast<const char*>(data_);
        if (i18n_convert(i18n_native(), i18n_utf8(), bytes ? bytes : "",
                         static_cast<size_t>(length_), converted_, &off) == 0) {
            data_ = converted_.data();
            length_ = static_cast<long long>(converted_.size());
            type += MIME_CHARSET_SPEC;
            type += "UTF-8";
        } else {
            type += MIME_CHARSET_SPEC;
            type += i18n_charset_name(i18n_native());
        }
    }
    add_header(HTTP_CONTENT_TYPE, type.c_str());
    if (description) add_part_item(HTTP_CONTENT_DESCRIPTION, description);
    add_part_item(HTTP_CONTENT_LENGTH, length_);
}

VDW_MultipartData::VDW_MultipartData(const char* name, const char* content_type, std::istream& in,
                                     long long length, int& error)
    : length_(length < 0 ? 0 : length), input_(&in), error_out_(&error) {
    add_header(HTTP_CONTENT_ID, name);
    if (content_type) add_header(HTTP_CONTENT_TYPE, content_type);
    add_part_item(HTTP_CONTENT_LENGTH, length_);
}

VDW_MultipartData::~VDW_MultipartData() = default;

void VDW_MultipartData::break_boundaries(std::string& text) {
    // The part boundary's distinctive tail; a space inside it makes it an ordinary line.
    static const std::string tail = std::string(MP_BOUNDARY).substr(strspn(MP_BOUNDARY, "-"));
    for (size_t at = text.find(tail); at != std::string::npos; at = text.find(tail, at + 1))
        text.insert(at + tail.size() / 2, " ");
}

std::string VDW_MultipartData::echo_text(const char* text) {
    std::string out = text ? text : "";
    for (char& c : out) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 32 || u == 127) c = '?';
    }
    break_boundaries(out);
    return out;
}

void VDW_MultipartData::add_header(const char* name, const char* value) {
    // A header name is a token: anything else (a colon, a space, a control character that
    // would end the header or the part) is written as '_', so no name can forge a header
    // or a part of its own.
    for (const char* p = name && *name ? name : "_"; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        headers_ += c > 32 && c < 127 && c != ':' ? static_cast<char>(c) : '_';
    }
    headers_ += ": ";
    // Values reach here encoded (items) or as names the code chose (part names, types);
    // a control character still never ends the header line.
    for (const char* p = value ? value : ""; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        headers_ += c < 32 || c == 127 ? '_' : static_cast<char>(c);
    }
    headers_ += CRLF;
}

VDW_MultipartData& VDW_MultipartData::add_part_item(const char* name, const char* value) {
    if (!name) return *this;
    VDW_toRFC2047 encoded(value ? value : "");
    add_header(name, encoded);
    return *this;
}

VDW_MultipartData& VDW_MultipartData::add_part_item(const char* name, const SUM_String& value) {
    return add_part_item(name, value.c_str());
}

VDW_MultipartData& VDW_MultipartData::add_part_item(const char* name, long value) {
    char buf[32];
    snprintf(buf, sizeof buf, "%ld", value);
    if (name) add_header(name, buf);
    return *this;
}

VDW_MultipartData& VDW_MultipartData::add_part_item(const char* name, int value) {
    return add_part_item(name, static_cast<long>(value));
}

VDW_MultipartData& VDW_MultipartData::add_part_item(const char* name, unsigned long value) {
    char buf[32];
    snprintf(buf, sizeof buf, "%lu", value);
    if (name) add_header(name, buf);
    return *this;
}

VDW_MultipartData& VDW_MultipartData::add_part_item(const char* name, unsigned int value) {
    return add_part_item(name, static_cast<unsigned long>(value));
}

VDW_MultipartData& VDW_MultipartData::add_part_item(const char* name, long long value) {
    char buf[32];
    snprintf(buf, sizeof buf, "%lld", value);
    if (name) add_header(name, buf);
    return *this;
}

VDW_MultipartData& VDW_MultipartData::add_part_item(const char* name, bool value) {
    if (name) add_header(name, value ? "1" : "0");
    return *this;
}

VDW_MultipartData& VDW_MultipartData::add_part_item(const char* name, const SUM_Uuid& value) {
    return add_part_item(name, value.string().c_str());
}

VDW_MultipartData& VDW_MultipartData::add_part_item(const char* name, const SUM_Oid& value) {
    return add_part_item(name, value.uuid());
}

void VDW_MultipartData::set_cancellable(bool cancellable, VDW_Cancel* cancel) {
    cancellable_ = cancellable && cancel;
    cancel_ = cancel;
}

bool VDW_MultipartData::io_is_cancelled() {
    return cancellable_ && cancel_ && cancel_->is_cancelled();
}

std::ostream& VDW_MultipartData::write_self_to_stream(std::ostream& out) {
    out << MP_BOUNDARY_END << MP_BOUNDARY << CRLF << headers_ << CRLF;
    if (input_) {
        // Copy block by block; a cancelled, failing or ended input cuts the part short,
        // and the closing line end is written in every case.
        char block[STREAM_BLOCK];
        long long left = length_;
        while (left > 0 && input_->good()) {
            if (io_is_cancelled()) break;
            std::streamsize want = left < STREAM_BLOCK ? static_cast<std::streamsize>(left)
                                                       : static_cast<std::streamsize>(STREAM_BLOCK);
            input_->read(block, want);
            std::streamsize got = input_->gcount();
            if (input_->fail()) {
                if (!input_->eof() && error_out_) *error_out_ = errno;
                break;
            }
            out.write(block, got);
            if (!out) break;
            left -= got;
        }
    } else if (data_ && length_ > 0) {
        out.write(static_cast<const char*>(data_), static_cast<std::streamsize>(length_));
    }
    out << CRLF;
    return out;
}

std::ostream& operator<<(std::ostream& out, VDW_MultipartData& part) {
    return part.write_self_to_stream(out);
}

void VDW_MultipartData::generate_doc_header(std::ostream& out) {
    out << HTTP_CONTENT_TYPE << ": " << MIME_MULTIPART << "; boundary=" << MP_BOUNDARY << CRLF
        << CRLF;
    out.flush();
}

void VDW_MultipartData::generate_body_trailer(std::ostream& out) {
    out << MP_BOUNDARY_END << MP_BOUNDARY << MP_BOUNDARY_END << CRLF;
    out.flush();
}

void VDW_MultipartData::generate_status_part(std::ostream& out, const WCM_Status& status,
                                             bool has_non_ok_msg, const char* extra_text) {
    std::string content = status.text();
    if (extra_text) {
        content += "\n\n";
        content += extra_text;
    }
    break_boundaries(content);
    VDW_MultipartData part(STATUS_PART, MIME_TEXT, nullptr, content.data(),
                           static_cast<long long>(content.size()));
    part.add_part_item(HTTP_STATUS, status.status());
    part.add_part_item(HAS_NON_OK_MSG, has_non_ok_msg);
    part.write_self_to_stream(out);
}

void VDW_MultipartData::generate_status_part(std::ostream& out, const WCM_Status& status,
                                             const char* extra_text) {
    generate_status_part(out, status, true, extra_text);
}
