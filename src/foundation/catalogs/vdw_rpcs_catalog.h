// Message catalog "vdw_rpcs": the messages of the web RPC handlers: argument and upload
// checks of the RPC framework, temporary views, checkout, checkin, element creation and
// uncheckout, object properties, version trees, the command RPC, the interaction answers and
// the refusal of the administrator's diagnostic RPCs to anyone else.
#ifndef FOUNDATION_CATALOGS_VDW_RPCS_CATALOG_H
#define FOUNDATION_CATALOGS_VDW_RPCS_CATALOG_H

#include "foundation/catalogs/catalogs.h"

// One row per entry, in index order: X(name, number, text). See catalogs.h.
// clang-format off
#define VDW_RPCS_CATALOG(X) \
    X(VDW_RPCS_UNRECOGNIZED_RPC, 3001, "VDSRV3001: Unrecognized RPC request: rpc=\"%s\"\n") \
    X(VDW_RPCS_RPC_NOT_SUPPORTED, 3002, "VDSRV3002: Internal Error: RPC \"%s\" is not supported by this server.\n") \
    X(VDW_RPCS_MISSING_DISPATCH_INFO, 3003, "VDSRV3003: Internal Error: missing RPC dispatch info for \"%s\".\n") \
    X(VDW_RPCS_MISSING_ARGS, 3005, "VDSRV3005: Missing RPC args parameter.\n") \
    X(VDW_RPCS_UPLOAD_TOO_LARGE, 3006, "VDSRV3006: The file could not be uploaded because it exceeded the current size limit.\n") \
    X(VDW_RPCS_NO_UPLOAD_FILE, 3007, "VDSRV3007: No upload file was specified in the request\n") \
    X(VDW_RPCS_USER_NAME_REQUIRED, 3008, "VDSRV3008: A user name must be specified\n") \
    X(VDW_RPCS_GET_VIEW_TAG_FAILED, 3009, "VDSRV3009: Unable to get the view tag name for \"%s\": %s") \
    X(VDW_RPCS_VIEW_UUID_NOT_FOUND, 3010, "VDSRV3010: Unable to find view with uuid \"%s\"\n") \
    X(VDW_RPCS_FIND_VIEW_ROOT_FAILED, 3011, "VDSRV3011: Unable to find the view root for view \"%s\": %s\n") \
    X(VDW_RPCS_ARGS_BAD_UUID, 3012, "VDSRV3012: Malformed RPC args: \"%s\" is not a valid uuid.\n") \
    X(VDW_RPCS_ARGS_BAD_VALUE, 3013, "VDSRV3013: Malformed RPC args: invalid value \"%s\" for arg \"%s\".\n") \
    X(VDW_RPCS_ARGS_BAD_COUNT, 3014, "VDSRV3014: Malformed RPC args: invalid count %d for arg \"%s\".\n") \
    X(VDW_RPCS_GET_VIEW_PROPS_FAILED, 3016, "VDSRV3016: Unable to get the properties of view \"%s\": %s\n") \
    X(VDW_RPCS_GET_VOB_PROPS_FAILED, 3017, "VDSRV3017: Unable to get the properties of VOB \"%s\": %s\n") \
    X(VDW_RPCS_GET_ELEMENT_PROPS_FAILED, 3018, "VDSRV3018: Unable to get the properties of element \"%s\": %s\n") \
    X(VDW_RPCS_GET_VERSION_PROPS_FAILED, 3019, "VDSRV3019: Unable to get the properties of version \"%s\": %s\n") \
    X(VDW_RPCS_UNCHECKOUT_PROBLEMS, 3020, "VDSRV3020: Problems performing uncheckout.\n") \
    X(VDW_RPCS_UNCHECKOUT_FAILED, 3021, "VDSRV3021: Unable to uncheckout \"%s\": %s\n") \
    X(VDW_RPCS_GET_CHECKED_OUT_VERSION_FAILED, 3022, "VDSRV3022: Unable to get the checked out version of \"%s\": %s\n") \
    X(VDW_RPCS_COMPUTE_CHECKSUM_FAILED, 3023, "VDSRV3023: Unable to compute the checksum of \"%s\": %s\n") \
    X(VDW_RPCS_CHECKOUT_FAILED, 3024, "VDSRV3024: Unable to checkout \"%s\": %s\n") \
    X(VDW_RPCS_RESOLVE_REAL_PATH_FAILED, 3025, "VDSRV3025: Unable to resolve the real pathname of \"%s\": %s\n") \
    X(VDW_RPCS_VIEW_TAG_NOT_FOUND, 3026, "VDSRV3026: Unable to find view tag for view \"%s\".\n") \
    X(VDW_RPCS_CS_OUT_OF_STEP, 3027, "VDSRV3027: Config spec for view, \"%s\", needs to be synchronized with the stream.\n") \
    X(VDW_RPCS_SET_CURRENT_ACTIVITY_FAILED, 3028, "VDSRV3028: Unable to set the current activity of view \"%s\" to \"%s\": %s\n") \
    X(VDW_RPCS_FIND_ACTIVITY_FAILED, 3029, "VDSRV3029: Unable to find activity \"%s\": %s\n") \
    X(VDW_RPCS_GET_CHECKOUT_COMMENT_FAILED, 3030, "VDSRV3030: Unable to get the checkout comment of \"%s\": %s\n") \
    X(VDW_RPCS_DETERMINE_LATEST_VERSION_FAILED, 3032, "VDSRV3032: Unable to determine the latest version on the branch of \"%s\": %s\n") \
    X(VDW_RPCS_SEND_MERGE_DATA_FAILED, 3033, "VDSRV3033: Unable to send merge data for \"%s\": %s\n") \
    X(VDW_RPCS_CHECKIN_NOT_FROM_LATEST, 3034, "VDSRV3034: Cannot checkin \"%s\" because it is not checked out from the latest version on its branch.\nYou must merge the latest version into the checkout before checking it in.\n") \
    X(VDW_RPCS_MOVE_CHECKOUT_FAILED, 3035, "VDSRV3035: Unable to move checkout to activity \"%s\": %s\n") \
    X(VDW_RPCS_CHECKIN_FAILED, 3036, "VDSRV3036: Unable to checkin \"%s\"\n") \
    X(VDW_RPCS_UPLOAD_PREMATURE_EOF, 3037, "VDSRV3037: Premature EOF while reading uploaded file \"%s\".\n") \
    X(VDW_RPCS_READ_UPLOAD_FAILED, 3038, "VDSRV3038: Unable to read uploaded file \"%s\": %s\n") \
    X(VDW_RPCS_UPLOAD_COUNT_MISMATCH, 3039, "VDSRV3039: The number of uploaded files (%d) does not match the number of items (%d).\n") \
    X(VDW_RPCS_REMOVE_PRIVATE_FILE_FAILED, 3040, "VDSRV3040: Unable to remove view-private file \"%s\": %s\n") \
    X(VDW_RPCS_FIND_ELEMENT_TYPE_FAILED, 3041, "VDSRV3041: Unable to find element type \"%s\": %s\n") \
    X(VDW_RPCS_CREATE_DIR_PATHNAME_FAILED, 3042, "VDSRV3042: Unable to create pathname for directory \"%s\": %s.\n") \
    X(VDW_RPCS_CREATE_ELEMENT_FAILED, 3043, "VDSRV3043: Unable to create new element for \"%s\"\n") \
    X(VDW_RPCS_SET_EXECUTE_FAILED, 3044, "VDSRV3044: Unable to set execute permissions on \"%s\": %s\n") \
    X(VDW_RPCS_FIND_DIR_REAL_PATH_FAILED, 3045, "VDSRV3045: Unable to find the real pathname of directory \"%s\": %s\n") \
    X(VDW_RPCS_REMOVE_NAME_FAILED, 3046, "VDSRV3046: Unable to remove the name \"%s\": %s\n") \
    X(VDW_RPCS_MOVE_FAILED, 3047, "VDSRV3047: Unable to move \"%s\" to \"%s\": %s\n") \
    X(VDW_RPCS_SET_VOB_PROPS_FAILED, 3049, "VDSRV3049: Unable to set the properties of VOB \"%s\": %s\n") \
    X(VDW_RPCS_SET_ELEMENT_PROPS_FAILED, 3050, "VDSRV3050: Unable to set the properties of element \"%s\": %s\n") \
    X(VDW_RPCS_SET_VERSION_PROPS_FAILED, 3051, "VDSRV3051: Unable to set the properties of version \"%s\": %s\n") \
    X(VDW_RPCS_GET_STREAM_PROPS_FAILED, 3052, "VDSRV3052: Unable to get the properties of stream \"%s\": %s\n") \
    X(VDW_RPCS_SET_STREAM_PROPS_FAILED, 3053, "VDSRV3053: Unable to set the properties of stream \"%s\": %s\n") \
    X(VDW_RPCS_GET_BASELINE_PROPS_FAILED, 3054, "VDSRV3054: Unable to get the properties of baseline \"%s\": %s\n") \
    X(VDW_RPCS_SET_BASELINE_PROPS_FAILED, 3055, "VDSRV3055: Unable to set the properties of baseline \"%s\": %s\n") \
    X(VDW_RPCS_GET_ACTIVITY_PROPS_FAILED, 3056, "VDSRV3056: Unable to get the properties of activity \"%s\": %s\n") \
    X(VDW_RPCS_SET_ACTIVITY_PROPS_FAILED, 3058, "VDSRV3058: Unable to set the properties of activity \"%s\": %s\n") \
    X(VDW_RPCS_GET_LABEL_TYPE_PROPS_FAILED, 3059, "VDSRV3059: Unable to get the properties of label type \"%s\": %s\n") \
    X(VDW_RPCS_GET_PROPS_FAILED, 3060, "VDSRV3060: Unable to get the properties of \"%s\": %s\n") \
    X(VDW_RPCS_SET_VIEW_PROPS_FAILED, 3061, "VDSRV3061: Unable to set the properties of view \"%s\": %s\n") \
    X(VDW_RPCS_GET_LOCK_FAILED, 3062, "VDSRV3062: Unable to get the lock of \"%s\": %s\n") \
    X(VDW_RPCS_LOCK_FAILED, 3063, "VDSRV3063: Unable to lock \"%s\": %s\n") \
    X(VDW_RPCS_UNLOCK_FAILED, 3064, "VDSRV3064: Unable to unlock \"%s\": %s\n") \
    X(VDW_RPCS_CHANGE_PROTECTION_FAILED, 3065, "VDSRV3065: Unable to change the protection of \"%s\": %s\n") \
    X(VDW_RPCS_GET_ATTRIBUTES_FAILED, 3067, "VDSRV3067: Unable to get the custom attributes of \"%s\": %s\n") \
    X(VDW_RPCS_GET_HYPERLINKS_FAILED, 3068, "VDSRV3068: Unable to get the hyperlinks of \"%s\": %s\n") \
    X(VDW_RPCS_GET_MASTERSHIP_FAILED, 3069, "VDSRV3069: Unable to get the mastership of \"%s\": %s\n") \
    X(VDW_RPCS_GET_VOB_REPLICAS_FAILED, 3070, "VDSRV3070: Unable to get the replicas of VOB \"%s\": %s\n") \
    X(VDW_RPCS_GET_CS_FAILED, 3071, "VDSRV3071: Unable to get the config spec of view \"%s\": %s\n") \
    X(VDW_RPCS_SET_CS_FAILED, 3072, "VDSRV3072: Unable to set the config spec of view \"%s\": %s\n") \
    X(VDW_RPCS_GET_LOAD_RULES_FAILED, 3073, "VDSRV3073: Unable to get the load rules of view \"%s\": %s\n") \
    X(VDW_RPCS_SET_LOAD_RULES_FAILED, 3074, "VDSRV3074: Unable to set the load rules of view \"%s\": %s\n") \
    X(VDW_RPCS_CREATE_VIEW_FAILED, 3075, "VDSRV3075: Unable to create view \"%s\": %s\n") \
    X(VDW_RPCS_REMOVE_VIEW_FAILED, 3076, "VDSRV3076: Unable to remove view \"%s\": %s\n") \
    X(VDW_RPCS_REGISTER_VIEW_FAILED, 3077, "VDSRV3077: Unable to register view \"%s\": %s\n") \
    X(VDW_RPCS_VIEW_TAG_EXISTS, 3078, "VDSRV3078: A view with tag \"%s\" already exists.\n") \
    X(VDW_RPCS_CREATE_VIEW_STORAGE_FAILED, 3080, "VDSRV3080: Unable to create the view storage directory \"%s\": %s\n") \
    X(VDW_RPCS_FIND_STREAM_FAILED, 3081, "VDSRV3081: Unable to find stream \"%s\": %s\n") \
    X(VDW_RPCS_FIND_PROJECT_FAILED, 3082, "VDSRV3082: Unable to find project \"%s\": %s\n") \
    X(VDW_RPCS_LIST_PROJECTS_FAILED, 3083, "VDSRV3083: Unable to list the projects in folder \"%s\": %s\n") \
    X(VDW_RPCS_LIST_STREAMS_FAILED, 3084, "VDSRV3084: Unable to list the streams of project \"%s\": %s\n") \
    X(VDW_RPCS_LIST_COMPONENTS_FAILED, 3085, "VDSRV3085: Unable to list the components of \"%s\": %s\n") \
    X(VDW_RPCS_LIST_BASELINES_FAILED, 3086, "VDSRV3086: Unable to list the baselines of \"%s\": %s\n") \
    X(VDW_RPCS_LIST_ACTIVITIES_FAILED, 3087, "VDSRV3087: Unable to list the activities of stream \"%s\": %s\n") \
    X(VDW_RPCS_CREATE_ACTIVITY_FAILED, 3088, "VDSRV3088: Unable to create activity \"%s\" in stream \"%s\": %s\n") \
    X(VDW_RPCS_SET_ACTIVITY_FAILED, 3089, "VDSRV3089: Unable to set activity \"%s\": %s\n") \
    X(VDW_RPCS_FIND_BASELINE_FAILED, 3090, "VDSRV3090: Unable to find baseline \"%s\": %s\n") \
    X(VDW_RPCS_COMPARE_BASELINES_FAILED, 3092, "VDSRV3092: Unable to compare baselines \"%s\" and \"%s\": %s\n") \
    X(VDW_RPCS_LIST_VOBS_FAILED, 3093, "VDSRV3093: Unable to list VOBs: %s\n") \
    X(VDW_RPCS_LIST_VIEWS_FAILED, 3094, "VDSRV3094: Unable to list views: %s\n") \
    X(VDW_RPCS_FIND_VOB_FAILED, 3095, "VDSRV3095: Unable to find VOB \"%s\": %s\n") \
    X(VDW_RPCS_MOUNT_VOB_FAILED, 3096, "VDSRV3096: Unable to mount VOB \"%s\": %s\n") \
    X(VDW_RPCS_UNMOUNT_VOB_FAILED, 3097, "VDSRV3097: Unable to unmount VOB \"%s\": %s\n") \
    X(VDW_RPCS_LIST_DIR_FAILED, 3098, "VDSRV3098: Unable to list directory \"%s\": %s\n") \
    X(VDW_RPCS_DESCRIBE_FAILED, 3099, "VDSRV3099: Unable to describe \"%s\": %s\n") \
    X(VDW_RPCS_GET_VERSION_TREE_FAILED, 3100, "VDSRV3100: Unable to get the version tree of \"%s\": %s\n") \
    X(VDW_RPCS_FIND_OBJECT_BY_DBID_FAILED, 3101, "VDSRV3101: Unable to find the object with dbid %lu: %s\n") \
    X(VDW_RPCS_FIND_OBJECT_BY_SELECTOR_FAILED, 3102, "VDSRV3102: Unable to find the object for selector \"%s\": %s\n") \
    X(VDW_RPCS_GET_HISTORY_FAILED, 3103, "VDSRV3103: Unable to get the history of \"%s\": %s\n") \
    X(VDW_RPCS_FIND_MERGE_CANDIDATES_FAILED, 3105, "VDSRV3105: Unable to find merge candidates in \"%s\": %s\n") \
    X(VDW_RPCS_MERGE_FAILED, 3106, "VDSRV3106: Unable to merge \"%s\": %s\n") \
    X(VDW_RPCS_DRAW_MERGE_ARROW_FAILED, 3107, "VDSRV3107: Unable to draw a merge arrow from \"%s\" to \"%s\": %s\n") \
    X(VDW_RPCS_COMPARE_FAILED, 3108, "VDSRV3108: Unable to compare \"%s\" with \"%s\": %s\n") \
    X(VDW_RPCS_APPLY_LABEL_FAILED, 3109, "VDSRV3109: Unable to apply label \"%s\" to \"%s\": %s\n") \
    X(VDW_RPCS_REMOVE_LABEL_FAILED, 3110, "VDSRV3110: Unable to remove label \"%s\" from \"%s\": %s\n") \
    X(VDW_RPCS_CREATE_LABEL_TYPE_FAILED, 3111, "VDSRV3111: Unable to create label type \"%s\": %s\n") \
    X(VDW_RPCS_CREATE_BRANCH_TYPE_FAILED, 3112, "VDSRV3112: Unable to create branch type \"%s\": %s\n") \
    X(VDW_RPCS_FIND_BRANCH_TYPE_FAILED, 3113, "VDSRV3113: Unable to find branch type \"%s\": %s\n") \
    X(VDW_RPCS_FIND_LABEL_TYPE_FAILED, 3114, "VDSRV3114: Unable to find label type \"%s\": %s\n") \
    X(VDW_RPCS_HIJACK_FAILED, 3115, "VDSRV3115: Unable to hijack \"%s\": %s\n") \
    X(VDW_RPCS_UNDO_HIJACK_FAILED, 3116, "VDSRV3116: Unable to undo the hijack of \"%s\": %s\n") \
    X(VDW_RPCS_RENAME_FAILED, 3118, "VDSRV3118: Unable to rename \"%s\" to \"%s\": %s\n") \
    X(VDW_RPCS_FIND_VERSION_FAILED, 3119, "VDSRV3119: Unable to find version \"%s\": %s\n") \
    X(VDW_RPCS_GET_CLEARTEXT_FAILED, 3120, "VDSRV3120: Unable to get the cleartext of \"%s\": %s\n") \
    X(VDW_RPCS_GET_PREDECESSOR_FAILED, 3121, "VDSRV3121: Unable to get the predecessor of \"%s\": %s\n") \
    X(VDW_RPCS_SET_COMMENT_FAILED, 3122, "VDSRV3122: Unable to set the comment of \"%s\": %s\n") \
    X(VDW_RPCS_RESERVE_CHECKOUT_FAILED, 3123, "VDSRV3123: Unable to change the checkout of \"%s\" to reserved: %s\n") \
    X(VDW_RPCS_UNRESERVE_CHECKOUT_FAILED, 3124, "VDSRV3124: Unable to change the checkout of \"%s\" to unreserved: %s\n") \
    X(VDW_RPCS_FIND_CHECKOUTS_FAILED, 3125, "VDSRV3125: Unable to find the checkouts of \"%s\": %s\n") \
    X(VDW_RPCS_FIND_ACTIVITY_CHECKOUTS_FAILED, 3126, "VDSRV3126: Unable to find the checkouts of activity \"%s\": %s\n") \
    X(VDW_RPCS_FIND_VIEW_CHECKOUTS_FAILED, 3127, "VDSRV3127: Unable to find the checkouts in view \"%s\": %s\n") \
    X(VDW_RPCS_UPDATE_VIEW_FAILED, 3129, "VDSRV3129: Unable to update view \"%s\": %s\n") \
    X(VDW_RPCS_RUN_COMMAND_FAILED, 3130, "VDSRV3130: Unable to run the command \"%s\": %s\n") \
    X(VDW_RPCS_OPTION_NOT_ALLOWED, 3131, "VDSRV3131: The command option \"%s\" is not allowed.\n") \
    X(VDW_RPCS_CHDIR_VIEW_ROOT_FAILED, 3132, "VDSRV3132: Unable to change directory to the view root of \"%s\": %s\n") \
    X(VDW_RPCS_WRITE_INTERACTION_RESPONSE_FAILED, 3133, "VDSRV3133: Unable to write the interaction response to \"%s\": %s\n") \
    X(VDW_RPCS_MISSING_RESPONSE_ARG, 3134, "VDSRV3134: Missing interaction response arg \"%s\".\n") \
    X(VDW_RPCS_FIND_SELECTED_VERSION_FAILED, 3135, "VDSRV3135: Unable to find the version selected by view \"%s\" for \"%s\": %s\n") \
    X(VDW_RPCS_DETERMINE_LOADED_VERSION_FAILED, 3136, "VDSRV3136: Unable to determine the version loaded in view \"%s\" for \"%s\": %s\n") \
    X(VDW_RPCS_CHECKOUT_NOT_LOADED, 3137, "VDSRV3137: Cannot checkout \"%s\": the element is not loaded in the view.\n") \
    X(VDW_RPCS_STAMP_HIJACKED_FILE_FAILED, 3138, "VDSRV3138: Unable to take the file stamp of hijacked file \"%s\": %s\n") \
    X(VDW_RPCS_CHECKOUT_NOT_LATEST, 3139, "VDSRV3139: Checkout version \"%s\" is  not LATEST on the branch.\n") \
    X(VDW_RPCS_VERSION_DISCORDANCE, 3140, "VDSRV3140: Version discordance detected for \"%s\". \n") \
    X(VDW_RPCS_DETERMINE_VERSION_SEPARATOR_FAILED, 3141, "VDSRV3141: Unable to determine the version extension separator.\n") \
    X(VDW_RPCS_DETERMINE_PROTOCOL_VERSION_FAILED, 3142, "VDSRV3142: Unable to determine the protocol version of the server.\n") \
    X(VDW_RPCS_GET_CHANGE_SET_FAILED, 3143, "VDSRV3143: Unable to get the change set of activity \"%s\": %s\n") \
    X(VDW_RPCS_MOVE_TO_ACTIVITY_FAILED, 3144, "VDSRV3144: Unable to move \"%s\" to activity \"%s\": %s\n") \
    X(VDW_RPCS_GET_REGION_VOB_TAGS_FAILED, 3145, "VDSRV3145: Unable to get the VOB tags of region \"%s\": %s\n") \
    X(VDW_RPCS_FIND_VIEW_TAG_FAILED, 3146, "VDSRV3146: Unable to find view tag \"%s\": %s\n") \
    X(VDW_RPCS_GET_VIEW_UUID_FAILED, 3147, "VDSRV3147: Unable to get the uuid of view \"%s\": %s\n") \
    X(VDW_RPCS_FIND_VIEW_STREAM_FAILED, 3148, "VDSRV3148: Unable to find the stream of view \"%s\": %s\n") \
    X(VDW_RPCS_DETERMINE_STREAM_PROJECT_FAILED, 3149, "VDSRV3149: Unable to determine the project of stream \"%s\": %s\n") \
    X(VDW_RPCS_MAKE_TEMP_VIEW_TAG_FAILED, 3150, "VDSRV3150: Unable to make a temporary view tag for stream \"%s\".\n") \
    X(VDW_RPCS_CREATE_TEMP_VIEW_STORAGE_FAILED, 3151, "VDSRV3151: Unable to create view storage for temporary view \"%s\": %s\n") \
    X(VDW_RPCS_CREATE_TEMP_VIEW_FAILED, 3152, "VDSRV3152: Cannot create temporary view") \
    X(VDW_RPCS_REMOVE_TEMP_VIEW_FAILED, 3153, "VDSRV3153: Cannot remove temporary view \"%s\": %s\n") \
    X(VDW_RPCS_RESOLVE_IN_STREAM_FAILED, 3154, "VDSRV3154: Unable to resolve the name \"%s\" in stream \"%s\": %s\n") \
    X(VDW_RPCS_DETERMINE_COMPONENT_FAILED, 3155, "VDSRV3155: Unable to determine the component of \"%s\": %s\n") \
    X(VDW_RPCS_DETERMINE_COMPONENT_ROOT_FAILED, 3156, "VDSRV3156: Unable to determine the root directory of component \"%s\": %s\n") \
    X(VDW_RPCS_FIND_BASELINE_VERSION_FAILED, 3157, "VDSRV3157: Unable to find the version of \"%s\" in baseline \"%s\": %s\n") \
    X(VDW_RPCS_GET_BRANCHES_FAILED, 3158, "VDSRV3158: Unable to get the branches of element \"%s\": %s\n") \
    X(VDW_RPCS_GET_MERGE_HYPERLINKS_FAILED, 3159, "VDSRV3159: Unable to get the merge hyperlinks of version \"%s\": %s\n") \
    X(VDW_RPCS_GET_LABELS_FAILED, 3160, "VDSRV3160: Unable to get the labels of version \"%s\": %s\n") \
    X(VDW_RPCS_GET_VERSION_ATTRIBUTES_FAILED, 3161, "VDSRV3161: Unable to get the attributes of version \"%s\": %s\n") \
    X(VDW_RPCS_GET_VERSION_COMMENT_FAILED, 3162, "VDSRV3162: Unable to get the comment of version \"%s\": %s\n") \
    X(VDW_RPCS_FIND_ELEMENT_VOB_FAILED, 3163, "VDSRV3163: Unable to find the VOB of element \"%s\": %s\n") \
    X(VDW_RPCS_VERSION_DBID_NOT_FOUND, 3164, "VDSRV3164: Unable to find the version with dbid %lu.\n") \
    X(VDW_RPCS_SELECTOR_NOT_FOUND, 3165, "VDSRV3165: Unable to find the object for selector \"%s\".\n") \
    X(VDW_RPCS_GET_VOB_GENERATION_FAILED, 3166, "VDSRV3166: Unable to get the generation number of VOB \"%s\": %s\n") \
    X(VDW_RPCS_GET_SUCCESSORS_FAILED, 3167, "VDSRV3167: Unable to get the successors of version \"%s\": %s\n") \
    X(VDW_RPCS_VOB_REFORMATTED, 3168, "VDSRV3168: VOB was reformatted: \"%s\". Client version tree data is invalid.\n") \
    X(VDW_RPCS_COMPUTE_STATE_DIGEST_FAILED, 3169, "VDSRV3169: Unable to compute the state digest of view \"%s\": %s\n") \
    X(VDW_RPCS_FETCH_FROZEN_STATE_FAILED, 3170, "VDSRV3170: Unable to fetch the frozen state of view \"%s\": %s\n") \
    X(VDW_RPCS_VALIDATE_COPY_AREA_FAILED, 3171, "VDSRV3171: Unable to validate the copy area of view \"%s\": %s\n") \
    X(VDW_RPCS_COPY_AREA_OUT_OF_DATE, 3172, "VDSRV3172: The copy area of view \"%s\" is out of date.\n") \
    X(VDW_RPCS_FIND_WEB_VIEW_FAILED, 3173, "VDSRV3173: Unable to find web view \"%s\": %s\n") \
    X(VDW_RPCS_SCOPE_OUTSIDE_VIEW, 3174, "VDSRV3174: The scope \"%s\" is not within view \"%s\".\n") \
    X(VDW_RPCS_SET_CREDENTIALS_FAILED, 3175, "VDSRV3175: Unable to set the credentials for user database \"%s\": %s\n") \
    X(VDW_RPCS_CLEAR_CREDENTIALS_FAILED, 3176, "VDSRV3176: Unable to clear the cached credentials.\n") \
    X(VDW_RPCS_FIND_CHANGE_REQUEST_FAILED, 3178, "VDSRV3178: Unable to find change request \"%s\": %s\n") \
    X(VDW_RPCS_ASSOCIATE_CHANGE_REQUEST_FAILED, 3179, "VDSRV3179: Unable to associate activity \"%s\" with change request \"%s\": %s\n") \
    X(VDW_RPCS_GET_PROJECT_POLICIES_FAILED, 3180, "VDSRV3180: Unable to get the policies of project \"%s\": %s\n") \
    X(VDW_RPCS_CREATE_COMPONENT_FAILED, 3181, "VDSRV3181: Unable to create component \"%s\": %s\n") \
    X(VDW_RPCS_CREATE_PROJECT_FAILED, 3182, "VDSRV3182: Unable to create project \"%s\" in folder \"%s\": %s\n") \
    X(VDW_RPCS_CREATE_STREAM_FAILED, 3183, "VDSRV3183: Unable to create stream \"%s\" in project \"%s\": %s\n") \
    X(VDW_RPCS_CREATE_BASELINE_FAILED, 3184, "VDSRV3184: Unable to create baseline \"%s\": %s\n") \
    X(VDW_RPCS_SET_PROMOTION_LEVEL_FAILED, 3185, "VDSRV3185: Unable to set the promotion level of baseline \"%s\": %s\n") \
    X(VDW_RPCS_RECOMMEND_BASELINE_FAILED, 3186, "VDSRV3186: Unable to recommend baseline \"%s\" in stream \"%s\": %s\n") \
    X(VDW_RPCS_CREATE_POLICY_FAILED, 3187, "VDSRV3187: Unable to create policy \"%s\": %s\n") \
    X(VDW_RPCS_CREATE_ROLE_MAP_FAILED, 3188, "VDSRV3188: Unable to create role map \"%s\": %s\n") \
    X(VDW_RPCS_COPY_MERGED_CONTENT_FAILED, 3189, "VDSRV3189: Unable to copy merged content to \"%s\": %s\n") \
    X(VDW_RPCS_SAVE_HIJACKED_FILE_FAILED, 3190, "VDSRV3190: Unable to save hijacked file \"%s\" as \"%s\": %s\n") \
    X(VDW_RPCS_MERGE_HIJACKED_WITH_TRIGGER_FAILED, 3191, "VDSRV3191: Unable to merge hijacked file contents with post-checkout file modifications \nmade by server side trigger for \n   %s\nYou need to manually save your hijacked file contents, uncheckout the file, check it\n out again and manually merge your hijacked changes into the new checkout.") \
    X(VDW_RPCS_RESTORE_HIJACKED_FILE_FAILED, 3192, "VDSRV3192: Unable to restore the hijacked contents of \"%s\" from \"%s\": %s\n") \
    X(VDW_RPCS_GET_MODIFIED_TIME_FAILED, 3193, "VDSRV3193: Unable to get the modified time of \"%s\": %s\n") \
    X(VDW_RPCS_SET_MODIFIED_TIME_FAILED, 3194, "VDSRV3194: Cannot set the modified time on \"%s\".\n") \
    X(VDW_RPCS_DETERMINE_FILE_TYPE_FAILED, 3195, "VDSRV3195: Unable to determine the file type of \"%s\": %s\n") \
    X(VDW_RPCS_LATEST_NOT_LOADED, 3196, "VDSRV3196: The latest version on the stream is not loaded in view \"%s\".  Please update the view before attempting a checkout of element \"%s\".\n") \
    X(VDW_RPCS_UNRECOGNIZED_COMMAND, 3197, "VDSRV3197: Unrecognized command: \"%s\"\n") \
    X(VDW_RPCS_COMMAND_OPTION_NOT_ALLOWED, 3198, "VDSRV3198: Command option not allowed: \"%s\"\n") \
    X(VDW_RPCS_CHECKOUT_NOT_MASTERED, 3199, "VDSRV3199: Cannot checkout \"%s\" - not mastered locally.\n") \
    X(VDW_RPCS_CHECKIN_NOT_MASTERED, 3200, "VDSRV3200: Cannot checkin \"%s\" - not mastered locally.\n") \
    X(VDW_RPCS_ATOMIC_CHECKIN_FAILED, 3201, "VDSRV3201: Unable to perform atomic checkin\n") \
    X(VDW_RPCS_ATOMIC_CHECKIN_NOT_MASTERED, 3202, "VDSRV3202: Cannot complete atomic checkin - one or more elements are not mastered locally.\n") \
    X(VDW_RPCS_BRANCH_TYPE_NOT_MASTERED, 3203, "VDSRV3203: Cannot checkout element \"%s\" - branch type is not mastered locally: %s\n") \
    X(VDW_RPCS_NO_CHECKOUT_UNSUPPORTED, 3205, "VDSRV3205: The 'no checkout' option is not supported for file creation in views of this type.") \
    X(VDW_RPCS_PARENT_NOT_CHECKED_OUT, 3207, "VDSRV3207: Cannot create element \"%s\" - the parent directory is not checked out.\n") \
    X(VDW_RPCS_ADMINISTRATOR_ONLY, 3208, "VDSRV3208: Only the site's administrator may run \"%s\": %s\n")
// clang-format on

// The index of each entry in _vdw_rpcs_rpcs_msg_table.
enum vdw_rpcs_msg_t : int { VDW_RPCS_CATALOG(IMSG_CATALOG_INDEX) };

#endif
