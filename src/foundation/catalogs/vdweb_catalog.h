// Message catalog "vdweb": the request front end's messages (request decoding failures,
// unknown RPCs, missing arguments, requests refused for their origin or size), the labels
// and messages of the browser pages, the login and session checks (logins refused after
// too many failures among them), the deliver and rebase pages, and the credentials prompts.
// Labels and titles have no line end; complete messages end with one. The names of labels
// end in _LABEL, those of page titles in _TITLE.
#ifndef FOUNDATION_CATALOGS_VDWEB_CATALOG_H
#define FOUNDATION_CATALOGS_VDWEB_CATALOG_H

#include "foundation/catalogs/catalogs.h"

// One row per entry, in index order: X(name, number, text). See catalogs.h.
// clang-format off
#define VDWEB_CATALOG(X) \
    X(VDWEB_SERVER_TITLE, 4001, "VDSRV4001: Verdane Web Server") \
    X(VDWEB_LOGIN_TITLE, 4002, "VDSRV4002: Verdane Web Login") \
    X(VDWEB_USER_NAME_LABEL, 4003, "VDSRV4003: User name:") \
    X(VDWEB_PASSWORD_LABEL, 4004, "VDSRV4004: Password:") \
    X(VDWEB_DOMAIN_LABEL, 4005, "VDSRV4005: Domain:") \
    X(VDWEB_LOG_IN_LABEL, 4006, "VDSRV4006: Log In") \
    X(VDWEB_LOG_OUT_LABEL, 4007, "VDSRV4007: Log Out") \
    X(VDWEB_CANCEL_LABEL, 4008, "VDSRV4008: Cancel") \
    X(VDWEB_OK_LABEL, 4009, "VDSRV4009: OK") \
    X(VDWEB_HELP_LABEL, 4010, "VDSRV4010: Help") \
    X(VDWEB_HOME_LABEL, 4011, "VDSRV4011: Home") \
    X(VDWEB_VIEWS_LABEL, 4013, "VDSRV4013: Views") \
    X(VDWEB_VOBS_LABEL, 4014, "VDSRV4014: VOBs") \
    X(VDWEB_PROJECTS_LABEL, 4015, "VDSRV4015: Projects") \
    X(VDWEB_STREAMS_LABEL, 4016, "VDSRV4016: Streams") \
    X(VDWEB_ACTIVITIES_LABEL, 4017, "VDSRV4017: Activities") \
    X(VDWEB_BASELINES_LABEL, 4018, "VDSRV4018: Baselines") \
    X(VDWEB_COMPONENTS_LABEL, 4020, "VDSRV4020: Components") \
    X(VDWEB_NAME_LABEL, 4021, "VDSRV4021: Name:") \
    X(VDWEB_DESCRIPTION_LABEL, 4022, "VDSRV4022: Description:") \
    X(VDWEB_LOCATION_LABEL, 4023, "VDSRV4023: Location:") \
    X(VDWEB_NOT_LOGGED_IN, 4024, "VDSRV4024: You are not logged in. Please log in to continue.\n") \
    X(VDWEB_SESSION_EXPIRED, 4025, "VDSRV4025: Your session has expired. Please log in again.\n") \
    X(VDWEB_SESSION_INVALID, 4026, "VDSRV4026: The session \"%s\" is not valid.\n") \
    X(VDWEB_READ_SESSION_FAILED, 4027, "VDSRV4027: Unable to read the data of session \"%s\".\n") \
    X(VDWEB_CREATE_SESSION_FAILED, 4028, "VDSRV4028: Unable to create a new session for user \"%s\".\n") \
    X(VDWEB_BROWSE_LABEL, 4029, "VDSRV4029: Browse") \
    X(VDWEB_REFRESH_LABEL, 4030, "VDSRV4030: Refresh") \
    X(VDWEB_PROPERTIES_LABEL, 4032, "VDSRV4032: Properties") \
    X(VDWEB_HISTORY_LABEL, 4033, "VDSRV4033: History") \
    X(VDWEB_VERSION_TREE_LABEL, 4034, "VDSRV4034: Version Tree") \
    X(VDWEB_COMPARE_PREVIOUS_LABEL, 4035, "VDSRV4035: Compare with Previous Version") \
    X(VDWEB_COMPARE_OTHER_LABEL, 4036, "VDSRV4036: Compare with Another Version") \
    X(VDWEB_CHECKOUT_LABEL, 4037, "VDSRV4037: Checkout") \
    X(VDWEB_CHECKIN_LABEL, 4038, "VDSRV4038: Checkin") \
    X(VDWEB_UNDO_CHECKOUT_LABEL, 4039, "VDSRV4039: Undo Checkout") \
    X(VDWEB_ADD_TO_SOURCE_CONTROL_LABEL, 4040, "VDSRV4040: Add to Source Control") \
    X(VDWEB_HIJACK_LABEL, 4041, "VDSRV4041: Hijack") \
    X(VDWEB_MERGE_LABEL, 4043, "VDSRV4043: Merge") \
    X(VDWEB_DELIVER_LABEL, 4044, "VDSRV4044: Deliver") \
    X(VDWEB_REBASE_LABEL, 4045, "VDSRV4045: Rebase") \
    X(VDWEB_UPDATE_VIEW_LABEL, 4046, "VDSRV4046: Update View") \
    X(VDWEB_COMMENT_LABEL, 4048, "VDSRV4048: Comment:") \
    X(VDWEB_RESERVED_LABEL, 4049, "VDSRV4049: Reserved") \
    X(VDWEB_UPLOAD_TOO_LARGE, 4050, "VDSRV4050: The file could not be uploaded because it exceeded the current size limit.\n") \
    X(VDWEB_UNRESERVED_LABEL, 4051, "VDSRV4051: Unreserved") \
    X(VDWEB_KIND_LABEL, 4052, "VDSRV4052: Kind:") \
    X(VDWEB_CREATED_ON_LABEL, 4053, "VDSRV4053: Created on:") \
    X(VDWEB_CREATED_BY_LABEL, 4054, "VDSRV4054: Created by:") \
    X(VDWEB_OWNER_LABEL, 4055, "VDSRV4055: Owner:") \
    X(VDWEB_GROUP_LABEL, 4056, "VDSRV4056: Group:") \
    X(VDWEB_PROTECTION_LABEL, 4057, "VDSRV4057: Protection:") \
    X(VDWEB_ELEMENT_TYPE_LABEL, 4059, "VDSRV4059: Element type:") \
    X(VDWEB_VERSION_LABEL, 4060, "VDSRV4060: Version:") \
    X(VDWEB_PREDECESSOR_LABEL, 4061, "VDSRV4061: Predecessor:") \
    X(VDWEB_ACTIVITY_LABEL, 4062, "VDSRV4062: Activity:") \
    X(VDWEB_STREAM_LABEL, 4064, "VDSRV4064: Stream:") \
    X(VDWEB_PROJECT_LABEL, 4065, "VDSRV4065: Project:") \
    X(VDWEB_BRANCH_TYPE_LABEL, 4067, "VDSRV4067: Branch type:") \
    X(VDWEB_LABELS_LABEL, 4068, "VDSRV4068: Labels:") \
    X(VDWEB_ATTRIBUTES_LABEL, 4069, "VDSRV4069: Attributes:") \
    X(VDWEB_HYPERLINKS_LABEL, 4071, "VDSRV4071: Hyperlinks:") \
    X(VDWEB_LOCKED_BY_LABEL, 4072, "VDSRV4072: Locked by:") \
    X(VDWEB_CHECKED_OUT_BY_LABEL, 4074, "VDSRV4074: Checked out by:") \
    X(VDWEB_CHECKED_OUT_IN_VIEW_LABEL, 4075, "VDSRV4075: Checked out in view:") \
    X(VDWEB_UNRECOGNIZED_RPC, 4076, "VDSRV4076: Unrecognized RPC request: rpc=\"%s\"\n") \
    X(VDWEB_MISSING_ARGS, 4077, "VDSRV4077: Missing RPC args parameter.\n") \
    X(VDWEB_MISSING_DISPATCH_INFO, 4078, "VDSRV4078: Internal Error: missing RPC dispatch info for \"%s\".\n") \
    X(VDWEB_UNKNOWN_PAGE, 4079, "VDSRV4079: The page \"%s\" is not known to the server.\n") \
    X(VDWEB_READ_TEMPLATE_FAILED, 4081, "VDSRV4081: Unable to read the page template \"%s\".\n") \
    X(VDWEB_MISSING_PARAMETER, 4082, "VDSRV4082: The required parameter \"%s\" is missing.\n") \
    X(VDWEB_USER_NAME_REQUIRED, 4083, "VDSRV4083: Please enter a user name.\n") \
    X(VDWEB_PASSWORD_REQUIRED, 4084, "VDSRV4084: Please enter a password.\n") \
    X(VDWEB_UNKNOWN_USER, 4085, "VDSRV4085: The user name \"%s\" is not known.\n") \
    X(VDWEB_ACCOUNT_DISABLED, 4086, "VDSRV4086: Unable to login: the account of user \"%s\" is disabled.\n") \
    X(VDWEB_ALREADY_LOGGED_IN, 4087, "VDSRV4087: You are already logged in as \"%s\".\n") \
    X(VDWEB_LOGGED_OUT, 4088, "VDSRV4088: You have been logged out.\n") \
    X(VDWEB_SESSION_ENDED, 4089, "VDSRV4089: Your session was ended by the server.\n") \
    X(VDWEB_LOG_OUT_FAILED, 4090, "VDSRV4090: Unable to log out: %s\n") \
    X(VDWEB_SESSION_USER_MISMATCH, 4091, "VDSRV4091: The session of user \"%s\" cannot be used by user \"%s\".\n") \
    X(VDWEB_COOKIES_REQUIRED, 4092, "VDSRV4092: Cookies must be enabled in your browser to log in.\n") \
    X(VDWEB_SESSION_DIR_INACCESSIBLE, 4093, "VDSRV4093: Unable to start a session: the session storage directory \"%s\" cannot be accessed.\n") \
    X(VDWEB_DELIVER_TITLE, 4094, "VDSRV4094: Deliver from Stream \"%s\"") \
    X(VDWEB_REBASE_TITLE, 4095, "VDSRV4095: Rebase Stream \"%s\"") \
    X(VDWEB_TARGET_STREAM_LABEL, 4096, "VDSRV4096: Target stream:") \
    X(VDWEB_INTEGRATION_VIEW_LABEL, 4097, "VDSRV4097: Integration view:") \
    X(VDWEB_DELIVER_ACTIVITIES_LABEL, 4098, "VDSRV4098: Activities to deliver:") \
    X(VDWEB_REBASE_BASELINES_LABEL, 4099, "VDSRV4099: Baselines to rebase:") \
    X(VDWEB_RESUME_LABEL, 4100, "VDSRV4100: Resume") \
    X(VDWEB_COMPLETE_LABEL, 4101, "VDSRV4101: Complete") \
    X(VDWEB_DELIVER_DONE, 4102, "VDSRV4102: The deliver was completed successfully.\n") \
    X(VDWEB_REBASE_DONE, 4103, "VDSRV4103: The rebase was completed successfully.\n") \
    X(VDWEB_DELIVER_IN_PROGRESS, 4104, "VDSRV4104: A deliver is already in progress for stream \"%s\".\n") \
    X(VDWEB_REBASE_IN_PROGRESS, 4105, "VDSRV4105: A rebase is already in progress for view \"%s\".\n") \
    X(VDWEB_CGI_NO_METHOD, 4106, "VDSRV4106: The CGI request method could not be determined.\n") \
    X(VDWEB_CGI_BAD_FORMAT, 4107, "VDSRV4107: The CGI request was not in the correct format.\n") \
    X(VDWEB_CGI_UPLOAD_ERROR, 4108, "VDSRV4108: There was an error uploading the file.\n") \
    X(VDWEB_CGI_GENERIC_ERROR, 4109, "VDSRV4109: There was an unspecified error in the CGI request.\n") \
    X(VDWEB_UPLOAD_DIR_INACCESSIBLE, 4110, "VDSRV4110: The upload directory \"%s\" does not exist or cannot be accessed.\n") \
    X(VDWEB_TEMP_DIR_INACCESSIBLE, 4111, "VDSRV4111: The temporary directory \"%s\" does not exist or cannot be accessed.\n") \
    X(VDWEB_STRING_TOO_LONG, 4112, "VDSRV4112: The string \"%s\" is too long.\n") \
    X(VDWEB_LOGIN_NO_CHANNEL, 4113, "VDSRV4113: Unable to login: no interaction channel is available.\n") \
    X(VDWEB_TARNIS_LOGIN_SEND_FAILED, 4116, "VDSRV4116: Unable to login to Tarnis: error sending login request.\n") \
    X(VDWEB_TARNIS_LOGIN_CANCELED, 4117, "VDSRV4117: Unable to login to Tarnis: user canceled login operation.\n") \
    X(VDWEB_TARNIS_LOGIN_BAD_RESPONSE, 4118, "VDSRV4118: Unable to login to Tarnis: the client sent an invalid response.\n") \
    X(VDWEB_PROVIDER_LOGIN_BAD_RESPONSE, 4121, "VDSRV4121: Unable to login to CM Provider: the client sent an invalid response.\n") \
    X(VDWEB_PROVIDER_LOGIN_SEND_FAILED, 4122, "VDSRV4122: Unable to login to CM Provider: error sending login request.\n") \
    X(VDWEB_PROVIDER_LOGIN_CANCELED, 4123, "VDSRV4123: Unable to login to CM Provider: user canceled login operation.\n") \
    X(VDWEB_CROSS_ORIGIN_REFUSED, 4124, "VDSRV4124: The request was refused: a page of another origin (\"%s\") may not send requests to this server.\n") \
    X(VDWEB_FORM_TOO_LARGE, 4125, "VDSRV4125: The request was refused: its form data exceeds the current size limit of %ld bytes.\n") \
    X(VDWEB_LOGIN_THROTTLED, 4126, "VDSRV4126: Unable to login: too many failed logins; try again in %d s.\n")
// clang-format on

// The index of each entry in _vdweb_lib_msg_table.
enum vdweb_msg_t : int { VDWEB_CATALOG(IMSG_CATALOG_INDEX) };

#endif
