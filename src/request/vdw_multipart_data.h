// VDW_MultipartData: one part of the multipart/mixed response stream.
//
// A part is a block of header lines ("Name: value" CR LF) and a content taken from memory
// or copied from an input stream when the part is written. Text contents are sent as
// UTF-8; header values outside printable ASCII are sent as RFC 2047 encoded words. The
// class also holds the wire vocabulary of the stream and writes the document header, the
// status part and the trailer.
#ifndef REQUEST_VDW_MULTIPART_DATA_H
#define REQUEST_VDW_MULTIPART_DATA_H

#include <iosfwd>
#include <string>

class SUM_String;
class SUM_Uuid;
class SUM_Oid;
class VDW_Cancel;
class WCM_Status;

// The header value in RFC 2047 form (unchanged when it is printable ASCII).
class VDW_toRFC2047 {
public:
    explicit VDW_toRFC2047(const char* text);
    ~VDW_toRFC2047();
    VDW_toRFC2047(const VDW_toRFC2047&) = delete;
    VDW_toRFC2047& operator=(const VDW_toRFC2047&) = delete;
    const char* value() const { return value_; }
    operator const char*() const { return value_; }  // NOLINT

private:
    char* value_;
};

// A text type without a character set is converted to UTF-8 before it is sent.
bool text_type_needs_encoding(const SUM_String& type);
bool text_type_needs_encoding(const char* type);

class VDW_MultipartData {
public:
    // Framing.
    static const char* const CRLF;
    static const char* const MP_BOUNDARY;
    static const char* const MP_BOUNDARY_END;
    static const char* const MIME_MULTIPART;
    // Part headers.
    static const char* const HTTP_CONTENT_ID;
    static const char* const HTTP_CONTENT_TYPE;
    static const char* const HTTP_CONTENT_LENGTH;
    static const char* const HTTP_CONTENT_DESCRIPTION;
    static const char* const HTTP_STATUS;
    static const char* const HAS_NON_OK_MSG;
    // Content types.
    static const char* const MIME_TEXT;
    static const char* const MIME_TEXT_UTF8_ALREADY_ENCODED;
    static const char* const MIME_HTML;
    static const char* const MIME_CLEARTEXT;
    static const char* const MIME_COMPRESSED_CLEARTEXT;
    static const char* const MIME_TEXT_PREFIX;
    static const char* const MIME_CHARSET_SPEC;
    // Part names.
    static const char* const STATUS_PART;
    static const char* const RPC_STATUS_PART;
    static const char* const RPC_RESULT_PART;
    static const char* const REFRESHED_SESSION;
    static const char* const INTERACTOR_REQUEST;
    static const char* const INTERACTOR_REQUEST_MSG;
    static const char* const QLMX_KEEPALIVE;
    static const char* const MKELEM_CHECKOUTS;
    static const char* const CHECKOUT_STATUS;
    static const char* const SYNC_SCOPES;
    static const char* const SYNC_IN_PROGRESS;
    static const char* const SYNC_SESSION_BEGIN;
    static const char* const SYNC_SESSION_END;
    static const char* const SYNC_DIR_CONTEXT;
    static const char* const SYNC_ELEM_INFO;
    static const char* const SYNC_VER_DATA;
    static const char* const SYNC_PROGRESS;
    static const char* const SYNC_RENAME_ELEM;
    // Progress and item header names.
    static const char* const OPERATION;
    static const char* const TOTAL;
    static const char* const CURRENT;
    static const char* const PATHNAME;
    static const char* const VIEWTAG;
    static const char* const MTYPE;
    static const char* const COMMENT;
    static const char* const FILE;
    static const char* const DIRECTORY;
    static const char* const FROM_VERSION;
    static const char* const TO_VERSION;
    static const char* const TO_VERSION_EXT;
    static const char* const BASE_VERSION;
    static const char* const REPLICA_OID;
    static const char* const ELEMENT_OID;
    static const char* const UNKNOWN;
    static const char* const MERGETYPE;
    static const char* const MERGETYPE_TRIVIAL;
    static const char* const MERGETYPE_NONTRIVIAL;
    static const char* const ELEM_MERGETYPE;
    static const char* const ELEM_MERGETYPE_AUTO;
    static const char* const ELEM_MERGETYPE_USER;
    static const char* const ELEM_MERGETYPE_NEVER;
    static const char* const ELEM_MERGETYPE_COPY;
    // Operations and states.
    static const char* const CHECKOUT_OP;
    static const char* const UNCHECKOUT_OP;
    static const char* const CHECKIN_OP;
    static const char* const MERGE_OP;
    static const char* const NOOP_OP;
    static const char* const CHECKEDOUT;
    static const char* const CHECKEDIN;
    static const char* const PREMERGE_SORTED_DIRECTORY;
    static const char* const PREMERGE_SORTED_FILE;
    static const char* const FM_NOMERGE_STATUS;
    static const char* const FM_MERGE_NOT_NEEDED_STATUS;
    static const char* const FM_MERGE_NEEDED_STATUS;
    static const char* const FM_NOAUTOMERGE_NEEDED_STATUS;
    static const char* const FM_MERGE_SUCCESS_STATUS;
    static const char* const FM_MERGE_FAILURE_STATUS;
    static const char* const FM_NEVER_MERGE_STATUS;
    static const char* const VIEW_RELOAD_NEEDED_STATUS;
    static const char* const VIEW_RELOAD_NOT_NEEDED_STATUS;
    // Rebase and deliver progress (each value equals its name).
    static const char* const REBASE_CONFIG_CHANGE;
    static const char* const REBASE_CHANGESET_SCAN;
    static const char* const REBASE_VIEW_UPDATE;
    static const char* const REBASE_VIEW_RELOAD;
    static const char* const REBASE_ACTION_NOTIFICATION;
    static const char* const REBASE_COMPONENT_SCAN;
    static const char* const REBASE_VERCTL_PRE_NOTIFICATION;
    static const char* const REBASE_VERCTL_POST_NOTIFICATION;
    static const char* const REBASE_VERCTL_STATUS;
    static const char* const REBASE_MERGE_NOTIFICATION;
    static const char* const REBASE_SERVER_STATE;
    static const char* const DELIVER_PREPARING_COMPONENTS;
    static const char* const DELIVER_PREPARING_BASELINES;
    static const char* const DELIVER_PREPARING_CHANGESETS;
    static const char* const DELIVER_EVALUATING_BASELINES;
    static const char* const DELIVER_COMPARING_CHANGESETS;
    static const char* const DELIVER_SEARCHING_ACTIVITIES;
    static const char* const DELIVER_TN_ACTS_CHECK;
    static const char* const DELIVER_ACTION_NOTIFICATION;
    static const char* const DELIVER_VERCTL_PRE_NOTIFICATION;
    static const char* const DELIVER_VERCTL_POST_NOTIFICATION;
    static const char* const DELIVER_VERCTL_STATUS;
    static const char* const DELIVER_MERGE_NOTIFICATION;
    static const char* const DELIVER_SERVER_STATE;

    // Streamed content is copied in blocks of this size.
    static constexpr long long STREAM_BLOCK = 4096;

    VDW_MultipartData();
    // Content from memory; a text type is converted to UTF-8.
    VDW_MultipartData(const char* name, const char* content_type, const char* description,
                      const void* data, long long length);
    // Content copied from `in` when written; a failing read stores errno in `error`.
    VDW_MultipartData(const char* name, const char* content_type, std::istream& in,
                      long long length, int& error);
    virtual ~VDW_MultipartData();
    VDW_MultipartData(const VDW_MultipartData&) = delete;
    VDW_MultipartData& operator=(const VDW_MultipartData&) = delete;

    // Client text as it may be echoed into a text part (a status text, a message): control
    // characters become '?' and the part boundary is broken up, so the text can neither end
    // a line of its own nor forge a part.
    static std::string echo_text(const char* text);
    // Breaks up every occurrence of the part boundary in `text`.
    static void break_boundaries(std::string& text);

    VDW_MultipartData& add_part_item(const char* name, const char* value);
    VDW_MultipartData& add_part_item(const char* name, const SUM_String& value);
    VDW_MultipartData& add_part_item(const char* name, long value);
    VDW_MultipartData& add_part_item(const char* name, int value);
    VDW_MultipartData& add_part_item(const char* name, unsigned long value);
    VDW_MultipartData& add_part_item(const char* name, unsigned int value);
    VDW_MultipartData& add_part_item(const char* name, long long value);
    VDW_MultipartData& add_part_item(const char* name, bool value);
    VDW_MultipartData& add_part_item(const char* name, const SUM_Uuid& value);
    VDW_MultipartData& add_part_item(const char* name, const SUM_Oid& value);

    // A null cancel object switches checking off.
    void set_cancellable(bool cancellable, VDW_Cancel* cancel);
    bool io_is_cancelled();

    std::ostream& write_self_to_stream(std::ostream& out);
    const std::string& headers() const { return headers_; }

    static void generate_doc_header(std::ostream& out);
    static void generate_body_trailer(std::ostream& out);
    static void generate_status_part(std::ostream& out, const WCM_Status& status,
                                     bool has_non_ok_msg, const char* extra_text);
    static void generate_status_part(std::ostream& out, const WCM_Status& status,
                                     const char* extra_text);

private:
    void add_header(const char* name, const char* value);  // value written as it is

    std::string converted_;  // the content converted to UTF-8, when it was
    const void* data_ = nullptr;
    long long length_ = 0;
    std::istream* input_ = nullptr;
    int* error_out_ = nullptr;
    std::string headers_;
    bool cancellable_ = false;
    VDW_Cancel* cancel_ = nullptr;
};

std::ostream& operator<<(std::ostream& out, VDW_MultipartData& part);

#endif
