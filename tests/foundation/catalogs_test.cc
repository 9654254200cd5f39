// Tests of the six message catalogs: the records handed to the message library, the shape of
// each table (numbers, prefixes, printf safety) and the texts that callers and clients rely on.
#include "foundation/catalogs/catalogs.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "foundation/catalogs/ireq_lib_catalog.h"
#include "foundation/catalogs/vdw_lib_catalog.h"
#include "foundation/catalogs/vdw_prop_catalog.h"
#include "foundation/catalogs/vdw_rpcs_catalog.h"
#include "foundation/catalogs/vdweb_catalog.h"
#include "foundation/catalogs/wcm_common_catalog.h"

namespace {

struct CatalogShape {
    const imsg_catalog_t* catalog;
    const char* component;
    const char* catalog_name;
    uint16_t set_number;
    uint16_t count;
    uint16_t first_number;
    uint16_t last_number;
    bool prefixed;  // texts begin with "VDSRV", their number, ": "
};

void PrintTo(const CatalogShape& shape, std::ostream* os) {
    *os << shape.component;
}

const CatalogShape kShapes[] = {
    {&_vdw_lib_lib_msg_table, "vdw_lib", "lib_tvx", 1, 279, 1002, 1305, true},
    {&_vdw_prop_props_msg_table, "vdw_prop", "props_lib", 1, 19, 2004, 2037, true},
    {&_vdw_rpcs_rpcs_msg_table, "vdw_rpcs", "rpcs_lib", 1, 194, 3001, 3208, true},
    {&_vdweb_lib_msg_table, "vdweb", "lib_tvx", 2, 111, 4001, 4126, true},
    {&_wcm_lib_msg_table, "wcm_common", "lib_tvx", 100, 27, 5001, 5027, true},
    {&_ireq_lib_libireq_msg_table, "ireq_lib", "libireq_lib", 1, 12, 2, 13, false},
};

// The prefix a server catalog's text must start with. VDW_PROP_BRANCH_TYPE_NOT_MASTERED is
// numbered 2018 but carries the text of message 3203.
std::string expected_prefix(const CatalogShape& shape, int index) {
    unsigned number = shape.catalog->numbers[index];
    if (shape.catalog == &_vdw_prop_props_msg_table && index == VDW_PROP_BRANCH_TYPE_NOT_MASTERED)
        number = 3203;
    char buf[32];
    std::snprintf(buf, sizeof buf, "VDSRV%04u: ", number);
    return buf;
}

// Returns an empty string when every conversion in `text` is one the callers pass arguments
// for (%s, %d, %u with an optional l or ll length, and %%), else the offending tail.
std::string first_unsafe_conversion(const char* text) {
    for (const char* p = std::strchr(text, '%'); p != nullptr; p = std::strchr(p, '%')) {
        const char* q = p + 1;
        if (*q == '%') {
            p = q + 1;
            continue;
        }
        if (*q == 'l') ++q;
        if (*q == 'l') ++q;
        if (*q != 's' && *q != 'd' && *q != 'u') return p;
        if (*q == 's' && q != p + 1) return p;  // %ls would expect a wide string
        p = q + 1;
    }
    return "";
}

class CatalogShapeTest : public ::testing::TestWithParam<CatalogShape> {};

TEST_P(CatalogShapeTest, RecordNamesTheCatalog) {
    const CatalogShape& shape = GetParam();
    const imsg_catalog_t& cat = *shape.catalog;
    EXPECT_STREQ(cat.component_name, shape.component);
    EXPECT_STREQ(cat.catalog_name, shape.catalog_name);
    EXPECT_EQ(cat.set_number, shape.set_number);
    EXPECT_EQ(cat.count, shape.count);
    ASSERT_NE(cat.texts, nullptr);
    ASSERT_NE(cat.numbers, nullptr);
}

TEST_P(CatalogShapeTest, NumbersAscendStrictlyAcrossTheRange) {
    const CatalogShape& shape = GetParam();
    const imsg_catalog_t& cat = *shape.catalog;
    ASSERT_EQ(cat.count, shape.count);
    EXPECT_EQ(cat.numbers[0], shape.first_number);
    EXPECT_EQ(cat.numbers[cat.count - 1], shape.last_number);
    for (int i = 1; i < cat.count; ++i) {
        EXPECT_LT(cat.numbers[i - 1], cat.numbers[i]) << "at index " << i;
    }
}

TEST_P(CatalogShapeTest, EveryTextCarriesItsPrefixAndIsASafeFormat) {
    const CatalogShape& shape = GetParam();
    const imsg_catalog_t& cat = *shape.catalog;
    ASSERT_EQ(cat.count, shape.count);
    for (int i = 0; i < cat.count; ++i) {
        const char* text = cat.texts[i];
        ASSERT_NE(text, nullptr) << "index " << i;
        if (shape.prefixed) {
            std::string prefix = expected_prefix(shape, i);
            EXPECT_EQ(std::string(text).compare(0, prefix.size(), prefix), 0)
                << "index " << i << ": " << text;
            EXPECT_GT(std::strlen(text), prefix.size()) << "index " << i;
        } else {
            EXPECT_NE(std::strncmp(text, "VDSRV", 5), 0) << "index " << i << ": " << text;
            EXPECT_GT(std::strlen(text), 0u) << "index " << i;
        }
        EXPECT_EQ(first_unsafe_conversion(text), "") << "index " << i << ": " << text;
    }
}

INSTANTIATE_TEST_SUITE_P(AllCatalogs, CatalogShapeTest, ::testing::ValuesIn(kShapes),
                         [](const ::testing::TestParamInfo<CatalogShape>& info) {
                             return std::string(info.param.component);
                         });

TEST(CatalogFormatCheck, RejectsConversionsCallersDoNotPass) {
    EXPECT_EQ(first_unsafe_conversion("a %s b %d c %ld d %lld e %lu f %ul g 100%%"), "");
    EXPECT_EQ(first_unsafe_conversion("width %5s"), "%5s");
    EXPECT_EQ(first_unsafe_conversion("float %f"), "%f");
    EXPECT_EQ(first_unsafe_conversion("wide %ls"), "%ls");
    EXPECT_EQ(first_unsafe_conversion("write %n"), "%n");
    EXPECT_EQ(first_unsafe_conversion("dangling %"), "%");
}

// Texts that clients see or that other code of the library raises, by the name callers use.
struct QuotedText {
    const imsg_catalog_t* catalog;
    int index;
    uint16_t number;
    const char* text;
};

const QuotedText kQuoted[] = {
    // vdweb: request front end
    {&_vdweb_lib_msg_table, VDWEB_UPLOAD_TOO_LARGE, 4050,
     "VDSRV4050: The file could not be uploaded because it exceeded the current size limit.\n"},
    {&_vdweb_lib_msg_table, VDWEB_UNRECOGNIZED_RPC, 4076,
     "VDSRV4076: Unrecognized RPC request: rpc=\"%s\"\n"},
    {&_vdweb_lib_msg_table, VDWEB_MISSING_ARGS, 4077, "VDSRV4077: Missing RPC args parameter.\n"},
    {&_vdweb_lib_msg_table, VDWEB_MISSING_DISPATCH_INFO, 4078,
     "VDSRV4078: Internal Error: missing RPC dispatch info for \"%s\".\n"},
    {&_vdweb_lib_msg_table, VDWEB_CGI_NO_METHOD, 4106,
     "VDSRV4106: The CGI request method could not be determined.\n"},
    {&_vdweb_lib_msg_table, VDWEB_CGI_BAD_FORMAT, 4107,
     "VDSRV4107: The CGI request was not in the correct format.\n"},
    {&_vdweb_lib_msg_table, VDWEB_CGI_UPLOAD_ERROR, 4108,
     "VDSRV4108: There was an error uploading the file.\n"},
    {&_vdweb_lib_msg_table, VDWEB_CGI_GENERIC_ERROR, 4109,
     "VDSRV4109: There was an unspecified error in the CGI request.\n"},
    {&_vdweb_lib_msg_table, VDWEB_TEMP_DIR_INACCESSIBLE, 4111,
     "VDSRV4111: The temporary directory \"%s\" does not exist or cannot be accessed.\n"},
    {&_vdweb_lib_msg_table, VDWEB_STRING_TOO_LONG, 4112,
     "VDSRV4112: The string \"%s\" is too long.\n"},
    {&_vdweb_lib_msg_table, VDWEB_CHECKOUT_LABEL, 4037, "VDSRV4037: Checkout"},
    {&_vdweb_lib_msg_table, VDWEB_CREATED_BY_LABEL, 4054, "VDSRV4054: Created by:"},
    {&_vdweb_lib_msg_table, VDWEB_TARNIS_LOGIN_SEND_FAILED, 4116,
     "VDSRV4116: Unable to login to Tarnis: error sending login request.\n"},
    {&_vdweb_lib_msg_table, VDWEB_PROVIDER_LOGIN_CANCELED, 4123,
     "VDSRV4123: Unable to login to CM Provider: user canceled login operation.\n"},

    // vdw_lib: argument parser, web view update and commit, cleartext download
    {&_vdw_lib_lib_msg_table, VDW_LIB_ARGS_PREMATURE_END, 1196,
     "VDSRV1196: Malformed Request Args: premature end of arg list.\n"},
    {&_vdw_lib_lib_msg_table, VDW_LIB_ARGS_LINE_TOO_LONG, 1197,
     "VDSRV1197: Malformed Request Args: line too long \"%s\".\n"},
    {&_vdw_lib_lib_msg_table, VDW_LIB_ARGS_UNEXPECTED_ARG, 1198,
     "VDSRV1198: Malformed Request Args.  Expected arg \"%s\".  Got arg \"%s\".\n"},
    {&_vdw_lib_lib_msg_table, VDW_LIB_ARGS_PARSE_PROBLEM, 1199,
     "VDSRV1199: Problem parsing request args for arg \"%s\".\n"},
    {&_vdw_lib_lib_msg_table, VDW_LIB_FETCH_PROBLEMS, 1215,
     "VDSRV1215: Problems were encountered while retrieving view synchronization information "
     "and data.\n"},
    {&_vdw_lib_lib_msg_table, VDW_LIB_OPEN_VIEW_FAILED, 1227,
     "VDSRV1227: Unable to open view \"%s\".\n"},
    {&_vdw_lib_lib_msg_table, VDW_LIB_DOWNLOAD_MKELEM_FAILED, 1231,
     "VDSRV1231: Problem downloading mkelem of \"%s\": %s\n"},
    {&_vdw_lib_lib_msg_table, VDW_LIB_COMMIT_ITEM_FAILED, 1234,
     "VDSRV1234: Unable to commit item \"%s\" \"%s\"\n."},
    {&_vdw_lib_lib_msg_table, VDW_LIB_VERSION_NO_LONGER_EXISTS, 1238,
     "VDSRV1238: <version no longer exists>"},
    {&_vdw_lib_lib_msg_table, VDW_LIB_PREMATURE_EOF, 1239,
     "VDSRV1239: Premature EOF reading \"%s\": tried reading %lld bytes\n"},
    {&_vdw_lib_lib_msg_table, VDW_LIB_CS_OUT_OF_STEP, 1254,
     "VDSRV1254: Config spec for view, \"%s\", needs to be synchronized with the stream.\n"},
    {&_vdw_lib_lib_msg_table, VDW_LIB_CS_RULE_LOOKUP_FAILED, 1262,
     "VDSRV1262: Lookup failed for \"%s\": \"%s\": unable to determine the configuration spec "
     "rule.\n"},
    {&_vdw_lib_lib_msg_table, VDW_LIB_URL_INVALID_TEXT_MODE, 1284,
     "VDSRV1284: GET URL is attempting to use an invalid text mode: %s\n"},
    {&_vdw_lib_lib_msg_table, VDW_LIB_CHECKOUT_FAILED, 1002,
     "VDSRV1002: Unable to checkout \"%s\"\n"},
    {&_vdw_lib_lib_msg_table, VDW_LIB_CREATE_FILE_PATHNAME_FAILED, 1031,
     "VDSRV1031: Unable to create pathname for file \"%s\": %s\n"},
    {&_vdw_lib_lib_msg_table, VDW_LIB_INTERNAL_OP_FAILED, 1052,
     "VDSRV1052: The internal operation \"%s\" failed.\n"},
    {&_vdw_lib_lib_msg_table, VDW_LIB_LOGIN_INCORRECT, 1084,
     "VDSRV1084: Unable to login: username or password is incorrect\n"},
    {&_vdw_lib_lib_msg_table, VDW_LIB_SET_USER_IDENTITY_FAILED, 1086,
     "VDSRV1086: Unable to set identity for user \"%s\" (uid %ul, gid %ul):\n"},
    {&_vdw_lib_lib_msg_table, VDW_LIB_COMPARE_DIRS_TEMP_FILE_FAILED, 1191,
     "VDSRV1191: Unable to compare directories.\nCannot create temporary DIFF file: %s"},
    {&_vdw_lib_lib_msg_table, VDW_LIB_MERGE_NEEDED_MARK, 1192, "VDSRV1192: <<< merge needed >>>"},
    {&_vdw_lib_lib_msg_table, VDW_LIB_DYNAMIC_VIEW_NO_VTFS, 1278,
     "VDSRV1278: Could not access dynamic view '%s' because VTFS is not configured on the "
     "server.\n"},
    {&_vdw_lib_lib_msg_table, VDW_LIB_START_DYNAMIC_VIEW_FAILED, 1279,
     "VDSRV1279: Unable to start dynamic view '%s' on server.\n"},
    {&_vdw_lib_lib_msg_table, VDW_LIB_REPLICA_UUID_NOT_FOUND, 1283,
     "VDSRV1283: The specified VOB replica with UUID: \"%s\" was not found.\n"},

    // wcm_common: parameter conversion dump
    {&_wcm_lib_msg_table, WCM_COMMON_INTERNAL_OP_FAILED, 5001,
     "VDSRV5001: The internal operation \"%s\" failed. Please contact Verdane customer "
     "support.\n"},
    {&_wcm_lib_msg_table, WCM_COMMON_UNSUPPORTED_CHARACTERS, 5014,
     "VDSRV5014: Error: One or more characters in the string is not supported by the server's "
     "operating system."},
    {&_wcm_lib_msg_table, WCM_COMMON_PARAM_NAME_LABEL, 5015, "VDSRV5015: Parameter Name: "},
    {&_wcm_lib_msg_table, WCM_COMMON_PARAM_TYPE_LABEL, 5016, "VDSRV5016: Parameter Type: "},
    {&_wcm_lib_msg_table, WCM_COMMON_PARAM_VALUE_LABEL, 5017, "VDSRV5017: Parameter Value: "},
    {&_wcm_lib_msg_table, WCM_COMMON_ERROR_DESCRIPTION_LABEL, 5018,
     "VDSRV5018: Error Description: "},
    {&_wcm_lib_msg_table, WCM_COMMON_NAME_UNCONVERTED_LABEL, 5019, "VDSRV5019: Name Unconverted: "},
    {&_wcm_lib_msg_table, WCM_COMMON_VALUE_UNCONVERTED_LABEL, 5020,
     "VDSRV5020: Value Unconverted: "},
    {&_wcm_lib_msg_table, WCM_COMMON_BAD_CHARACTER_OFFSET, 5021,
     "VDSRV5021: Character at byte offset %s is unavailable"},
    {&_wcm_lib_msg_table, WCM_COMMON_RENAME_SESSION_FILE_FAILED, 5027,
     "VDSRV5027: Unable to rename session data file \"%s\": %s.\n"},

    // vdw_rpcs: RPC framework, checkout and checkin, version tree
    {&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_MISSING_DISPATCH_INFO, 3003,
     "VDSRV3003: Internal Error: missing RPC dispatch info for \"%s\".\n"},
    {&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_MISSING_ARGS, 3005,
     "VDSRV3005: Missing RPC args parameter.\n"},
    {&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_UPLOAD_TOO_LARGE, 3006,
     "VDSRV3006: The file could not be uploaded because it exceeded the current size limit.\n"},
    {&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_NO_UPLOAD_FILE, 3007,
     "VDSRV3007: No upload file was specified in the request\n"},
    {&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_USER_NAME_REQUIRED, 3008,
     "VDSRV3008: A user name must be specified\n"},
    {&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_CREATE_TEMP_VIEW_FAILED, 3152,
     "VDSRV3152: Cannot create temporary view"},
    {&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_VOB_REFORMATTED, 3168,
     "VDSRV3168: VOB was reformatted: \"%s\". Client version tree data is invalid.\n"},
    {&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_GET_VIEW_TAG_FAILED, 3009,
     "VDSRV3009: Unable to get the view tag name for \"%s\": %s"},
    {&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_CHECKIN_NOT_FROM_LATEST, 3034,
     "VDSRV3034: Cannot checkin \"%s\" because it is not checked out from the latest version on "
     "its branch.\nYou must merge the latest version into the checkout before checking it in.\n"},
    {&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_CHECKOUT_NOT_LATEST, 3139,
     "VDSRV3139: Checkout version \"%s\" is  not LATEST on the branch.\n"},
    {&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_VERSION_DISCORDANCE, 3140,
     "VDSRV3140: Version discordance detected for \"%s\". \n"},
    {&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_MERGE_HIJACKED_WITH_TRIGGER_FAILED, 3191,
     "VDSRV3191: Unable to merge hijacked file contents with post-checkout file modifications "
     "\nmade by server side trigger for \n   %s\nYou need to manually save your hijacked file "
     "contents, uncheckout the file, check it\n out again and manually merge your hijacked "
     "changes into the new checkout."},
    {&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_BRANCH_TYPE_NOT_MASTERED, 3203,
     "VDSRV3203: Cannot checkout element \"%s\" - branch type is not mastered locally: %s\n"},
    {&_vdw_rpcs_rpcs_msg_table, VDW_RPCS_NO_CHECKOUT_UNSUPPORTED, 3205,
     "VDSRV3205: The 'no checkout' option is not supported for file creation in views of this "
     "type."},

    // vdw_prop: XML protocol
    {&_vdw_prop_props_msg_table, VDW_PROP_UNSUPPORTED_OPERATION, 2009,
     "VDSRV2009: Unsupported operation: %s (%s: %ld)\n"},
    {&_vdw_prop_props_msg_table, VDW_PROP_UNSUPPORTED_CHARACTERS, 2013,
     "VDSRV2013: Error: One or more characters in the following string is not supported by the "
     "server's operating system: \"%s\".\n"},
    {&_vdw_prop_props_msg_table, VDW_PROP_BRANCH_TYPE_NOT_MASTERED, 2018,
     "VDSRV3203: Cannot checkout element \"%s\" - branch type is not mastered locally: %s\n"},
    {&_vdw_prop_props_msg_table, VDW_PROP_PROPERTY_NOT_IMPLEMENTED, 2033,
     "VDSRV2033: Property is not yet implemented - \"%s\"\n"},
    {&_vdw_prop_props_msg_table, VDW_PROP_DETERMINE_REAL_PATH_FAILED, 2035,
     "VDSRV2035: Unable to determine real path for '%s' in view '%s': %s.\n"},

    // ireq_lib: interaction channel
    {&_ireq_lib_libireq_msg_table, IREQ_LIB_PARSE_ERROR, 2,
     "Message parsing error in function %s parsing message %s\n"},
    {&_ireq_lib_libireq_msg_table, IREQ_LIB_TIMED_OUT, 10,
     "Timed out - no user response received within %d seconds\n"},
    {&_ireq_lib_libireq_msg_table, IREQ_LIB_WRONG_SEQID, 12,
     "Client message had wrong sequence id: Expected %s received %s\n"},
};

TEST(CatalogQuotedTexts, NamedEntriesCarryTheirNumberAndText) {
    for (const QuotedText& q : kQuoted) {
        const imsg_catalog_t& cat = *q.catalog;
        SCOPED_TRACE(std::string(cat.component_name) + " " + std::to_string(q.number));
        ASSERT_LT(q.index, cat.count);
        EXPECT_EQ(cat.numbers[q.index], q.number);
        EXPECT_STREQ(cat.texts[q.index], q.text);
    }
}

}  // namespace
