// Message catalog "vdw_lib": the messages of the version-control facade and of the code
// built directly on it. They report failed view, VOB, element, version, activity, stream,
// baseline, deliver and rebase operations (each naming the object and, where there is one,
// the core's error text), malformed RPC argument lists, the web view update and commit, and
// plain cleartext downloads.
#ifndef FOUNDATION_CATALOGS_VDW_LIB_CATALOG_H
#define FOUNDATION_CATALOGS_VDW_LIB_CATALOG_H

#include "foundation/catalogs/catalogs.h"

// One row per entry, in index order: X(name, number, text). See catalogs.h.
// clang-format off
#define VDW_LIB_CATALOG(X) \
    X(VDW_LIB_CHECKOUT_FAILED, 1002, "VDSRV1002: Unable to checkout \"%s\"\n") \
    X(VDW_LIB_UNCHECKOUT_FAILED, 1003, "VDSRV1003: Unable to uncheckout \"%s\"\n") \
    X(VDW_LIB_CHECKIN_FAILED, 1004, "VDSRV1004: Unable to checkin \"%s\"\n") \
    X(VDW_LIB_CREATE_ELEMENT_FAILED, 1005, "VDSRV1005: Unable to create element \"%s\": %s\n") \
    X(VDW_LIB_CREATE_DIR_ELEMENT_FAILED, 1006, "VDSRV1006: Unable to create directory element \"%s\": %s\n") \
    X(VDW_LIB_REMOVE_NAME_FAILED, 1007, "VDSRV1007: Unable to remove name \"%s\": %s\n") \
    X(VDW_LIB_MOVE_FAILED, 1008, "VDSRV1008: Unable to move \"%s\" to \"%s\": %s\n") \
    X(VDW_LIB_GET_VIEW_ROOT_FAILED, 1010, "VDSRV1010: Unable to get the view root for view \"%s\": %s\n") \
    X(VDW_LIB_GET_VIEW_TAG_FAILED, 1011, "VDSRV1011: Unable to get the view tag for view \"%s\": %s\n") \
    X(VDW_LIB_FIND_VIEW_BY_UUID_FAILED, 1012, "VDSRV1012: Unable to find view with uuid \"%s\": %s\n") \
    X(VDW_LIB_FIND_CONTAINING_VIEW_FAILED, 1013, "VDSRV1013: Unable to find the view containing \"%s\": %s\n") \
    X(VDW_LIB_CREATE_VIEW_FAILED, 1014, "VDSRV1014: Unable to create view \"%s\": %s\n") \
    X(VDW_LIB_REMOVE_VIEW_FAILED, 1016, "VDSRV1016: Unable to remove view \"%s\": %s\n") \
    X(VDW_LIB_SET_CS_FAILED, 1017, "VDSRV1017: Unable to set the config spec for view \"%s\": %s\n") \
    X(VDW_LIB_GET_CS_FAILED, 1018, "VDSRV1018: Unable to get the config spec for view \"%s\": %s\n") \
    X(VDW_LIB_GET_LOAD_RULES_FAILED, 1019, "VDSRV1019: Unable to get the load rules for view \"%s\": %s\n") \
    X(VDW_LIB_SET_LOAD_RULES_FAILED, 1020, "VDSRV1020: Unable to set the load rules for view \"%s\": %s\n") \
    X(VDW_LIB_UPDATE_VIEW_FAILED, 1021, "VDSRV1021: Unable to update view \"%s\": %s\n") \
    X(VDW_LIB_DETERMINE_VOB_FAILED, 1023, "VDSRV1023: Unable to determine the VOB for \"%s\": %s\n") \
    X(VDW_LIB_FIND_VOB_BY_UUID_FAILED, 1024, "VDSRV1024: Unable to find VOB with uuid \"%s\": %s\n") \
    X(VDW_LIB_FIND_VOB_TAG_FAILED, 1025, "VDSRV1025: Unable to find VOB tag \"%s\": %s\n") \
    X(VDW_LIB_MOUNT_VOB_FAILED, 1026, "VDSRV1026: Unable to mount VOB \"%s\": %s\n") \
    X(VDW_LIB_GET_VOB_PROPS_FAILED, 1028, "VDSRV1028: Unable to get the properties of VOB \"%s\": %s\n") \
    X(VDW_LIB_SET_VOB_DESCRIPTION_FAILED, 1029, "VDSRV1029: Unable to set the description of VOB \"%s\": %s\n") \
    X(VDW_LIB_COPY_FILE_FAILED, 1030, "VDSRV1030: Unable to copy file \"%s\" to \"%s\": %s\n") \
    X(VDW_LIB_CREATE_FILE_PATHNAME_FAILED, 1031, "VDSRV1031: Unable to create pathname for file \"%s\": %s\n") \
    X(VDW_LIB_READ_FILE_FAILED, 1032, "VDSRV1032: Unable to read file \"%s\": %s\n") \
    X(VDW_LIB_WRITE_FILE_FAILED, 1033, "VDSRV1033: Unable to write file \"%s\": %s\n") \
    X(VDW_LIB_REMOVE_FILE_FAILED, 1034, "VDSRV1034: Unable to remove file \"%s\": %s\n") \
    X(VDW_LIB_GET_FILE_STATUS_FAILED, 1035, "VDSRV1035: Unable to get file status of \"%s\": %s\n") \
    X(VDW_LIB_SET_MODIFIED_TIME_FAILED, 1036, "VDSRV1036: Unable to set the modified time of \"%s\": %s\n") \
    X(VDW_LIB_RESOLVE_ELEMENT_FAILED, 1037, "VDSRV1037: Unable to resolve the element \"%s\": %s\n") \
    X(VDW_LIB_DETERMINE_SELECTED_VERSION_FAILED, 1038, "VDSRV1038: Unable to determine the version selected for \"%s\": %s\n") \
    X(VDW_LIB_GET_PREDECESSOR_FAILED, 1040, "VDSRV1040: Unable to get the predecessor of version \"%s\": %s\n") \
    X(VDW_LIB_GET_VERSION_ID_FAILED, 1041, "VDSRV1041: Unable to get the version identifier of \"%s\": %s\n") \
    X(VDW_LIB_GET_CLEARTEXT_FAILED, 1042, "VDSRV1042: Unable to get the cleartext of version \"%s\": %s\n") \
    X(VDW_LIB_GET_CHECKOUTS_FAILED, 1043, "VDSRV1043: Unable to get the checkouts of \"%s\": %s\n") \
    X(VDW_LIB_DESCRIBE_CHECKOUT_FAILED, 1045, "VDSRV1045: Unable to describe the checkout of \"%s\": %s\n") \
    X(VDW_LIB_RESERVE_CHECKOUT_FAILED, 1046, "VDSRV1046: Unable to change the checkout of \"%s\" to reserved: %s\n") \
    X(VDW_LIB_UNRESERVE_CHECKOUT_FAILED, 1047, "VDSRV1047: Unable to change the checkout of \"%s\" to unreserved: %s\n") \
    X(VDW_LIB_SET_VERSION_COMMENT_FAILED, 1048, "VDSRV1048: Unable to set the comment of version \"%s\": %s\n") \
    X(VDW_LIB_GET_ELEMENT_TYPE_FAILED, 1049, "VDSRV1049: Unable to get the element type of \"%s\": %s\n") \
    X(VDW_LIB_GET_BRANCH_TYPE_FAILED, 1050, "VDSRV1050: Unable to get the branch type of \"%s\": %s\n") \
    X(VDW_LIB_DETERMINE_MASTERSHIP_FAILED, 1051, "VDSRV1051: Unable to determine the mastership of \"%s\": %s\n") \
    X(VDW_LIB_INTERNAL_OP_FAILED, 1052, "VDSRV1052: The internal operation \"%s\" failed.\n") \
    X(VDW_LIB_LOCK_FAILED, 1053, "VDSRV1053: Unable to lock \"%s\": %s\n") \
    X(VDW_LIB_UNLOCK_FAILED, 1054, "VDSRV1054: Unable to unlock \"%s\": %s\n") \
    X(VDW_LIB_GET_LOCK_FAILED, 1055, "VDSRV1055: Unable to get the lock of \"%s\": %s\n") \
    X(VDW_LIB_GET_ATTRIBUTES_FAILED, 1056, "VDSRV1056: Unable to get the attributes of \"%s\": %s\n") \
    X(VDW_LIB_GET_HYPERLINKS_FAILED, 1057, "VDSRV1057: Unable to get the hyperlinks of \"%s\": %s\n") \
    X(VDW_LIB_GET_LABELS_FAILED, 1059, "VDSRV1059: Unable to get the labels of version \"%s\": %s\n") \
    X(VDW_LIB_APPLY_LABEL_FAILED, 1060, "VDSRV1060: Unable to apply label \"%s\" to \"%s\": %s\n") \
    X(VDW_LIB_GET_PROTECTION_FAILED, 1061, "VDSRV1061: Unable to get the protection of \"%s\": %s\n") \
    X(VDW_LIB_CHANGE_PROTECTION_FAILED, 1062, "VDSRV1062: Unable to change the protection of \"%s\": %s\n") \
    X(VDW_LIB_CHANGE_OWNER_FAILED, 1064, "VDSRV1064: Unable to change the owner of \"%s\" to \"%s\": %s\n") \
    X(VDW_LIB_CHANGE_GROUP_FAILED, 1065, "VDSRV1065: Unable to change the group of \"%s\" to \"%s\": %s\n") \
    X(VDW_LIB_FIND_ACTIVITY_FAILED, 1066, "VDSRV1066: Unable to find activity \"%s\": %s\n") \
    X(VDW_LIB_SET_ACTIVITY_FAILED, 1067, "VDSRV1067: Unable to set activity \"%s\" in view \"%s\": %s\n") \
    X(VDW_LIB_GET_CURRENT_ACTIVITY_FAILED, 1068, "VDSRV1068: Unable to get the current activity of view \"%s\": %s\n") \
    X(VDW_LIB_CREATE_ACTIVITY_FAILED, 1069, "VDSRV1069: Unable to create activity \"%s\": %s\n") \
    X(VDW_LIB_GET_CHANGE_SET_FAILED, 1070, "VDSRV1070: Unable to get the change set of activity \"%s\": %s\n") \
    X(VDW_LIB_MOVE_TO_ACTIVITY_FAILED, 1072, "VDSRV1072: Unable to move version \"%s\" to activity \"%s\": %s\n") \
    X(VDW_LIB_GET_ACTIVITY_PROPS_FAILED, 1073, "VDSRV1073: Unable to get the properties of activity \"%s\": %s\n") \
    X(VDW_LIB_SET_ACTIVITY_HEADLINE_FAILED, 1074, "VDSRV1074: Unable to set the headline of activity \"%s\": %s\n") \
    X(VDW_LIB_FIND_STREAM_FAILED, 1075, "VDSRV1075: Unable to find stream \"%s\": %s\n") \
    X(VDW_LIB_GET_VIEW_STREAM_FAILED, 1076, "VDSRV1076: Unable to get the stream of view \"%s\": %s\n") \
    X(VDW_LIB_GET_STREAM_PROPS_FAILED, 1078, "VDSRV1078: Unable to get the properties of stream \"%s\": %s\n") \
    X(VDW_LIB_SET_STREAM_PROPS_FAILED, 1079, "VDSRV1079: Unable to set the properties of stream \"%s\": %s\n") \
    X(VDW_LIB_GET_STREAM_BASELINES_FAILED, 1080, "VDSRV1080: Unable to get the baselines of stream \"%s\": %s\n") \
    X(VDW_LIB_GET_STREAM_ACTIVITIES_FAILED, 1081, "VDSRV1081: Unable to get the activities of stream \"%s\": %s\n") \
    X(VDW_LIB_GET_STREAM_VIEWS_FAILED, 1082, "VDSRV1082: Unable to get the views of stream \"%s\": %s\n") \
    X(VDW_LIB_FIND_PROJECT_FAILED, 1083, "VDSRV1083: Unable to find project \"%s\": %s\n") \
    X(VDW_LIB_LOGIN_INCORRECT, 1084, "VDSRV1084: Unable to login: username or password is incorrect\n") \
    X(VDW_LIB_GET_USER_CREDENTIALS_FAILED, 1085, "VDSRV1085: Unable to get the credentials of user \"%s\": %s\n") \
    X(VDW_LIB_SET_USER_IDENTITY_FAILED, 1086, "VDSRV1086: Unable to set identity for user \"%s\" (uid %ul, gid %ul):\n") \
    X(VDW_LIB_SET_PRIMARY_GROUP_FAILED, 1087, "VDSRV1087: Unable to set primary group \"%s\" for user \"%s\": %s\n") \
    X(VDW_LIB_SET_GROUP_LIST_FAILED, 1088, "VDSRV1088: Unable to set the group list for user \"%s\": %s\n") \
    X(VDW_LIB_DETERMINE_HOME_DIR_FAILED, 1089, "VDSRV1089: Unable to determine the home directory of user \"%s\": %s\n") \
    X(VDW_LIB_FIND_BASELINE_FAILED, 1090, "VDSRV1090: Unable to find baseline \"%s\": %s\n") \
    X(VDW_LIB_GET_BASELINE_PROPS_FAILED, 1091, "VDSRV1091: Unable to get the properties of baseline \"%s\": %s\n") \
    X(VDW_LIB_SET_PROMOTION_LEVEL_FAILED, 1093, "VDSRV1093: Unable to set the promotion level of baseline \"%s\" to \"%s\": %s\n") \
    X(VDW_LIB_GET_BASELINE_ACTIVITIES_FAILED, 1094, "VDSRV1094: Unable to get the activities of baseline \"%s\": %s\n") \
    X(VDW_LIB_FIND_COMPONENT_FAILED, 1095, "VDSRV1095: Unable to find component \"%s\": %s\n") \
    X(VDW_LIB_GET_COMPONENT_ROOT_FAILED, 1096, "VDSRV1096: Unable to get the root directory of component \"%s\": %s\n") \
    X(VDW_LIB_FIND_LABEL_TYPE_FAILED, 1097, "VDSRV1097: Unable to find label type \"%s\": %s\n") \
    X(VDW_LIB_FIND_BRANCH_TYPE_FAILED, 1098, "VDSRV1098: Unable to find branch type \"%s\": %s\n") \
    X(VDW_LIB_FIND_REPLICA_FAILED, 1100, "VDSRV1100: Unable to find replica \"%s\": %s\n") \
    X(VDW_LIB_GET_VOB_REPLICAS_FAILED, 1101, "VDSRV1101: Unable to get the replicas of VOB \"%s\": %s\n") \
    X(VDW_LIB_GET_VERSION_TREE_FAILED, 1102, "VDSRV1102: Unable to get the version tree of \"%s\": %s\n") \
    X(VDW_LIB_GET_MERGE_HYPERLINKS_FAILED, 1103, "VDSRV1103: Unable to get the merge hyperlinks of \"%s\": %s\n") \
    X(VDW_LIB_DRAW_MERGE_ARROW_FAILED, 1104, "VDSRV1104: Unable to draw a merge arrow from \"%s\" to \"%s\": %s\n") \
    X(VDW_LIB_FIND_MERGE_CANDIDATES_FAILED, 1106, "VDSRV1106: Unable to find merge candidates for \"%s\": %s\n") \
    X(VDW_LIB_MERGE_FAILED, 1107, "VDSRV1107: Unable to merge \"%s\": %s\n") \
    X(VDW_LIB_COMPARE_FAILED, 1108, "VDSRV1108: Unable to compare \"%s\" with \"%s\": %s\n") \
    X(VDW_LIB_LIST_DIR_FAILED, 1109, "VDSRV1109: Unable to list directory \"%s\": %s\n") \
    X(VDW_LIB_READ_DIR_FAILED, 1110, "VDSRV1110: Unable to read directory \"%s\": %s\n") \
    X(VDW_LIB_GET_VOB_TAGS_FAILED, 1111, "VDSRV1111: Unable to get the VOB tags below \"%s\": %s\n") \
    X(VDW_LIB_READ_SYMLINK_FAILED, 1112, "VDSRV1112: Unable to read symbolic link \"%s\": %s\n") \
    X(VDW_LIB_CREATE_SYMLINK_FAILED, 1113, "VDSRV1113: Unable to create symbolic link \"%s\" to \"%s\": %s\n") \
    X(VDW_LIB_DESCRIBE_FAILED, 1115, "VDSRV1115: Unable to describe \"%s\": %s\n") \
    X(VDW_LIB_CHECK_HIJACKED_FAILED, 1116, "VDSRV1116: Unable to determine whether \"%s\" is hijacked: %s\n") \
    X(VDW_LIB_CONVERT_TO_GLOBAL_PATH_FAILED, 1117, "VDSRV1117: Unable to convert \"%s\" to a global pathname: %s\n") \
    X(VDW_LIB_CONVERT_TO_VIEW_RELATIVE_PATH_FAILED, 1118, "VDSRV1118: Unable to convert \"%s\" to a view-relative pathname: %s\n") \
    X(VDW_LIB_DETERMINE_REAL_PATH_FAILED, 1119, "VDSRV1119: Unable to determine the real pathname of \"%s\": %s\n") \
    X(VDW_LIB_DETERMINE_VOB_PATH_FAILED, 1120, "VDSRV1120: Unable to determine the VOB pathname in \"%s\": %s") \
    X(VDW_LIB_FIND_OBJECT_BY_SELECTOR_FAILED, 1121, "VDSRV1121: Unable to find the object for selector \"%s\": %s\n") \
    X(VDW_LIB_FIND_OBJECT_BY_DBID_FAILED, 1122, "VDSRV1122: Unable to find the object with dbid %lu in VOB \"%s\": %s\n") \
    X(VDW_LIB_CONVERT_OBJECT_ID_FAILED, 1123, "VDSRV1123: Unable to convert the object id \"%s\": %s\n") \
    X(VDW_LIB_START_DELIVER_FAILED, 1124, "VDSRV1124: Unable to start the deliver from stream \"%s\": %s\n") \
    X(VDW_LIB_PREPARE_DELIVER_FAILED, 1125, "VDSRV1125: Unable to prepare the deliver from stream \"%s\": %s\n") \
    X(VDW_LIB_DELIVER_BASELINES_FAILED, 1127, "VDSRV1127: Unable to deliver the baselines of stream \"%s\": %s\n") \
    X(VDW_LIB_DELIVER_ACTIVITIES_FAILED, 1128, "VDSRV1128: Unable to deliver the activities of stream \"%s\": %s\n") \
    X(VDW_LIB_DETERMINE_DELIVER_TARGET_FAILED, 1129, "VDSRV1129: Unable to determine the default deliver target of stream \"%s\": %s\n") \
    X(VDW_LIB_RESTART_DELIVER_FAILED, 1130, "VDSRV1130: Unable to restart the deliver for stream \"%s\": %s\n") \
    X(VDW_LIB_CANCEL_DELIVER_FAILED, 1131, "VDSRV1131: Unable to cancel the deliver for stream \"%s\": %s\n") \
    X(VDW_LIB_RESET_DELIVER_VIEW_FAILED, 1132, "VDSRV1132: Unable to reset the deliver view \"%s\": %s\n") \
    X(VDW_LIB_PREPARE_INTEGRATION_VIEW_FAILED, 1133, "VDSRV1133: Unable to prepare the integration view \"%s\" for deliver: %s\n") \
    X(VDW_LIB_CHECK_CHECKOUT_POLICY_FAILED, 1134, "VDSRV1134: Unable to check the checkout policy for stream \"%s\": %s\n") \
    X(VDW_LIB_FIND_INTEGRATION_ACTIVITY_FAILED, 1135, "VDSRV1135: Unable to find the integration activity of stream \"%s\": %s\n") \
    X(VDW_LIB_POST_DELIVER_FAILED, 1136, "VDSRV1136: Unable to post the deliver for stream \"%s\": %s\n") \
    X(VDW_LIB_CHECK_DELIVER_IN_PROGRESS_FAILED, 1137, "VDSRV1137: Unable to determine whether a deliver is in progress for stream \"%s\": %s\n") \
    X(VDW_LIB_CHECK_REBASE_IN_PROGRESS_FAILED, 1138, "VDSRV1138: Unable to determine whether a rebase is in progress for view \"%s\": %s\n") \
    X(VDW_LIB_START_REBASE_FAILED, 1139, "VDSRV1139: Unable to start the rebase of view \"%s\": %s\n") \
    X(VDW_LIB_PREPARE_REBASE_FAILED, 1140, "VDSRV1140: Unable to prepare the rebase of view \"%s\": %s\n") \
    X(VDW_LIB_RESTART_REBASE_FAILED, 1141, "VDSRV1141: Unable to restart the rebase of view \"%s\": %s\n") \
    X(VDW_LIB_RESUME_REBASE_FAILED, 1142, "VDSRV1142: Unable to resume rebase of view \"%s\": %s\n") \
    X(VDW_LIB_COMPLETE_REBASE_FAILED, 1143, "VDSRV1143: Unable to complete rebase of view \"%s\": %s\n") \
    X(VDW_LIB_CANCEL_REBASE_FAILED, 1145, "VDSRV1145: Unable to cancel the rebase of view \"%s\": %s\n") \
    X(VDW_LIB_DETERMINE_RECOMMENDED_BASELINES_FAILED, 1146, "VDSRV1146: Unable to determine the recommended baselines of stream \"%s\": %s\n") \
    X(VDW_LIB_DETERMINE_FOUNDATION_BASELINES_FAILED, 1147, "VDSRV1147: Unable to determine the foundation baselines of stream \"%s\": %s\n") \
    X(VDW_LIB_FIND_SELECTED_BASELINE_FAILED, 1148, "VDSRV1148: Unable to find the selected baseline \"%s\": %s\n") \
    X(VDW_LIB_FIND_SELECTED_ACTIVITY_FAILED, 1149, "VDSRV1149: Unable to find the selected activity \"%s\": %s\n") \
    X(VDW_LIB_SET_DELIVER_VERSION_CONTROL_FAILED, 1151, "VDSRV1151: Unable to set version control for the deliver of stream \"%s\": %s\n") \
    X(VDW_LIB_SET_REBASE_VERSION_CONTROL_FAILED, 1152, "VDSRV1152: Unable to set version control for the rebase of view \"%s\": %s\n") \
    X(VDW_LIB_DETERMINE_DELIVER_STATE_FAILED, 1153, "VDSRV1153: Unable to determine the state of the deliver for stream \"%s\": %s\n") \
    X(VDW_LIB_DETERMINE_REBASE_STATE_FAILED, 1154, "VDSRV1154: Unable to determine the state of the rebase of view \"%s\": %s\n") \
    X(VDW_LIB_DETERMINE_DELIVER_VIEW_FAILED, 1155, "VDSRV1155: Unable to determine the target view of the deliver for stream \"%s\": %s\n") \
    X(VDW_LIB_DELIVER_FAILED, 1156, "VDSRV1156: Unable to deliver stream \"%s\": %s\n") \
    X(VDW_LIB_RESUME_DELIVER_FAILED, 1157, "VDSRV1157: Unable to resume deliver for stream \"%s\": %s\n") \
    X(VDW_LIB_CHECK_INTEGRATION_STREAM_FAILED, 1158, "VDSRV1158: Unable to determine whether stream \"%s\" is an integration stream: %s\n") \
    X(VDW_LIB_DETERMINE_STREAM_PROJECT_FAILED, 1159, "VDSRV1159: Unable to determine the project of stream \"%s\": %s\n") \
    X(VDW_LIB_DELIVER_NOTHING_TO_DO, 1160, "VDSRV1160: The deliver for stream \"%s\" has nothing to do.\n") \
    X(VDW_LIB_REBASE_NOTHING_TO_DO, 1161, "VDSRV1161: The rebase of view \"%s\" has nothing to do.\n") \
    X(VDW_LIB_COMPLETE_DELIVER_FAILED, 1162, "VDSRV1162: Unable to complete deliver for stream \"%s\": %s\n") \
    X(VDW_LIB_GET_PROJECT_PROPS_FAILED, 1163, "VDSRV1163: Unable to get the properties of project \"%s\": %s\n") \
    X(VDW_LIB_DETERMINE_PROJECT_POLICIES_FAILED, 1164, "VDSRV1164: Unable to determine the policies of project \"%s\": %s\n") \
    X(VDW_LIB_GET_STREAM_COMPONENTS_FAILED, 1165, "VDSRV1165: Unable to get the components of stream \"%s\": %s\n") \
    X(VDW_LIB_GET_LATEST_BASELINES_FAILED, 1166, "VDSRV1166: Unable to get the latest baselines of stream \"%s\": %s\n") \
    X(VDW_LIB_GET_BASELINE_MEMBERS_FAILED, 1167, "VDSRV1167: Unable to get the members of baseline \"%s\": %s\n") \
    X(VDW_LIB_COPY_UPLOAD_FOR_MERGE_FAILED, 1168, "VDSRV1168: Unable to copy uploaded file \"%s\" to \"%s\" for merge: %s") \
    X(VDW_LIB_REMOVE_UPLOAD_FAILED, 1169, "VDSRV1169: Unable to remove uploaded file \"%s\": %s\n") \
    X(VDW_LIB_OPEN_COMPARE_SESSION_FAILED, 1170, "VDSRV1170: Unable to open a comparison session for \"%s\": %s\n") \
    X(VDW_LIB_OPEN_MERGE_SESSION_FAILED, 1171, "VDSRV1171: Unable to open a merge session for \"%s\": %s\n") \
    X(VDW_LIB_WRITE_MERGE_RESULT_FAILED, 1172, "VDSRV1172: Unable to write the merge result to \"%s\": %s\n") \
    X(VDW_LIB_FIND_COMMON_ANCESTOR_FAILED, 1174, "VDSRV1174: Unable to find the common ancestor of \"%s\" and \"%s\": %s\n") \
    X(VDW_LIB_RECORD_MERGE_FAILED, 1175, "VDSRV1175: Unable to record the merge from \"%s\" to \"%s\": %s\n") \
    X(VDW_LIB_RUN_COMMAND_FAILED, 1176, "VDSRV1176: Unable to run the command \"%s\": %s\n") \
    X(VDW_LIB_CHANGE_DIR_FAILED, 1177, "VDSRV1177: Unable to change directory to \"%s\": %s\n") \
    X(VDW_LIB_DETERMINE_CURRENT_DIR_FAILED, 1178, "VDSRV1178: Unable to determine the current directory: %s\n") \
    X(VDW_LIB_SET_ENV_VAR_FAILED, 1179, "VDSRV1179: Unable to set the environment variable \"%s\"\n") \
    X(VDW_LIB_STREAM_FROM_VIEW_FAILED, 1180, "VDSRV1180: Unable to determine stream from view \"%s\": %s\n") \
    X(VDW_LIB_STREAM_FROM_SELECTOR_FAILED, 1181, "VDSRV1181: Unable to determine stream from selector \"%s\": %s\n") \
    X(VDW_LIB_ACTIVITY_FROM_SELECTOR_FAILED, 1182, "VDSRV1182: Unable to determine activity from selector \"%s\": %s\n") \
    X(VDW_LIB_BASELINE_FROM_SELECTOR_FAILED, 1183, "VDSRV1183: Unable to determine baseline from selector \"%s\": %s\n") \
    X(VDW_LIB_COMPONENT_FROM_SELECTOR_FAILED, 1184, "VDSRV1184: Unable to determine component from selector \"%s\": %s\n") \
    X(VDW_LIB_PROJECT_FROM_SELECTOR_FAILED, 1185, "VDSRV1185: Unable to determine project from selector \"%s\": %s\n") \
    X(VDW_LIB_VERSION_FROM_SELECTOR_FAILED, 1186, "VDSRV1186: Unable to determine version from selector \"%s\": %s\n") \
    X(VDW_LIB_ELEMENT_FROM_SELECTOR_FAILED, 1187, "VDSRV1187: Unable to determine element from selector \"%s\": %s\n") \
    X(VDW_LIB_VOB_FROM_SELECTOR_FAILED, 1188, "VDSRV1188: Unable to determine VOB from selector \"%s\": %s\n") \
    X(VDW_LIB_DETERMINE_SELECTOR_FAILED, 1189, "VDSRV1189: Unable to determine the selector of \"%s\": %s\n") \
    X(VDW_LIB_MERGE_TYPES_DIFFER, 1190, "VDSRV1190: Cannot merge versions of different types!") \
    X(VDW_LIB_COMPARE_DIRS_TEMP_FILE_FAILED, 1191, "VDSRV1191: Unable to compare directories.\nCannot create temporary DIFF file: %s") \
    X(VDW_LIB_MERGE_NEEDED_MARK, 1192, "VDSRV1192: <<< merge needed >>>") \
    X(VDW_LIB_COMPARE_VERSIONS_TEMP_FILE_FAILED, 1193, "VDSRV1193: Unable to compare versions.\nCannot create temporary DIFF file: %s") \
    X(VDW_LIB_READ_COMPARISON_FAILED, 1194, "VDSRV1194: Unable to read the comparison of \"%s\": %s\n") \
    X(VDW_LIB_ARGS_MISSING_LIST, 1195, "VDSRV1195: Malformed Request Args: missing arg list.\n") \
    X(VDW_LIB_ARGS_PREMATURE_END, 1196, "VDSRV1196: Malformed Request Args: premature end of arg list.\n") \
    X(VDW_LIB_ARGS_LINE_TOO_LONG, 1197, "VDSRV1197: Malformed Request Args: line too long \"%s\".\n") \
    X(VDW_LIB_ARGS_UNEXPECTED_ARG, 1198, "VDSRV1198: Malformed Request Args.  Expected arg \"%s\".  Got arg \"%s\".\n") \
    X(VDW_LIB_ARGS_PARSE_PROBLEM, 1199, "VDSRV1199: Problem parsing request args for arg \"%s\".\n") \
    X(VDW_LIB_CREATE_DIR_PATHNAME_FAILED, 1200, "VDSRV1200: Unable to create pathname for directory \"%s\": %s.\n") \
    X(VDW_LIB_FETCH_UNRECOGNIZED_ARG, 1201, "VDSRV1201: Malformed Sync Fetch request.  Unrecognized arg \"%s\".\n") \
    X(VDW_LIB_UPDATE_SESSION_CONFLICT, 1202, "VDSRV1202: Unable to begin update session: conflict with another update session.\n") \
    X(VDW_LIB_BEGIN_UPDATE_SESSION_FAILED, 1203, "VDSRV1203: Unable to begin update session for view \"%s\": %s\n") \
    X(VDW_LIB_END_UPDATE_SESSION_FAILED, 1204, "VDSRV1204: Unable to end update session for view \"%s\": %s\n") \
    X(VDW_LIB_DETERMINE_LOAD_RULES_FAILED, 1205, "VDSRV1205: Unable to determine the load rules of view \"%s\": %s\n") \
    X(VDW_LIB_SYNC_CS_FAILED, 1206, "VDSRV1206: Unable to synchronize the config spec of view \"%s\" with its stream: %s\n") \
    X(VDW_LIB_UPDATE_FAILED, 1207, "VDSRV1207: Unable to update \"%s\": %s\n") \
    X(VDW_LIB_UNLOAD_FAILED, 1208, "VDSRV1208: Unable to unload \"%s\": %s\n") \
    X(VDW_LIB_DOWNLOAD_CLEARTEXT_FAILED, 1209, "VDSRV1209: Unable to download cleartext of \"%s\": %s\n") \
    X(VDW_LIB_COMPRESS_FAILED, 1210, "VDSRV1210: Unable to compress \"%s\": %s\n") \
    X(VDW_LIB_SEND_FAILED, 1211, "VDSRV1211: Unable to send \"%s\": %s\n") \
    X(VDW_LIB_CREATE_TEMP_FILE_FAILED, 1212, "VDSRV1212: Unable to create temporary file \"%s\": %s\n") \
    X(VDW_LIB_DETERMINE_HIJACKED_FILES_FAILED, 1213, "VDSRV1213: Unable to determine the hijacked files below \"%s\": %s\n") \
    X(VDW_LIB_RENAME_HIJACKED_FILE_FAILED, 1214, "VDSRV1214: Unable to rename hijacked file \"%s\" to \"%s\": %s\n") \
    X(VDW_LIB_FETCH_PROBLEMS, 1215, "VDSRV1215: Problems were encountered while retrieving view synchronization information and data.\n") \
    X(VDW_LIB_COMMIT_PROBLEMS, 1216, "VDSRV1216: Problems were encountered while committing changes to the view's configuration.\n") \
    X(VDW_LIB_OPEN_CANCEL_FILE_FAILED, 1217, "VDSRV1217: Unable to open the cancel file \"%s\": %s\n") \
    X(VDW_LIB_OPERATION_CANCELLED, 1218, "VDSRV1218: The operation was cancelled.\n") \
    X(VDW_LIB_DETERMINE_COPY_AREA_FAILED, 1219, "VDSRV1219: Unable to determine the copy area of view \"%s\".\n") \
    X(VDW_LIB_READ_COPY_AREA_STATE_FAILED, 1220, "VDSRV1220: Unable to read the copy area state \"%s\": %s\n") \
    X(VDW_LIB_INVALIDATE_FAILED, 1221, "VDSRV1221: Unable to invalidate \"%s\" in view \"%s\": %s\n") \
    X(VDW_LIB_DETERMINE_FROZEN_STATE_FAILED, 1222, "VDSRV1222: Unable to determine the frozen state of \"%s\": %s\n") \
    X(VDW_LIB_COMPUTE_STATE_DIGEST_FAILED, 1223, "VDSRV1223: Unable to compute the state digest of view \"%s\": %s\n") \
    X(VDW_LIB_FETCH_FROZEN_OBJECTS_FAILED, 1224, "VDSRV1224: Unable to fetch the frozen objects of view \"%s\": %s\n") \
    X(VDW_LIB_DETERMINE_VIEW_CHECKOUTS_FAILED, 1225, "VDSRV1225: Unable to determine the checkouts of view \"%s\": %s\n") \
    X(VDW_LIB_DETERMINE_LOADED_VERSION_FAILED, 1226, "VDSRV1226: Unable to determine the version loaded for \"%s\": %s\n") \
    X(VDW_LIB_OPEN_VIEW_FAILED, 1227, "VDSRV1227: Unable to open view \"%s\".\n") \
    X(VDW_LIB_DOWNLOAD_CHECKOUT_FAILED, 1228, "VDSRV1228: Problem downloading checkout of \"%s\": %s\n") \
    X(VDW_LIB_DOWNLOAD_UNCHECKOUT_FAILED, 1229, "VDSRV1229: Problem downloading uncheckout of \"%s\": %s\n") \
    X(VDW_LIB_DOWNLOAD_CHECKIN_FAILED, 1230, "VDSRV1230: Problem downloading checkin of \"%s\": %s\n") \
    X(VDW_LIB_DOWNLOAD_MKELEM_FAILED, 1231, "VDSRV1231: Problem downloading mkelem of \"%s\": %s\n") \
    X(VDW_LIB_COMMIT_UNRECOGNIZED_ARG, 1232, "VDSRV1232: Malformed Sync Commit request.  Unrecognized arg \"%s\".\n") \
    X(VDW_LIB_COMMIT_SESSION_CONFLICT, 1233, "VDSRV1233: Unable to begin commit session: conflict with another update session.\n") \
    X(VDW_LIB_COMMIT_ITEM_FAILED, 1234, "VDSRV1234: Unable to commit item \"%s\" \"%s\"\n.") \
    X(VDW_LIB_COMMIT_UNLOAD_FAILED, 1235, "VDSRV1235: Unable to commit unload of \"%s\": %s.\n") \
    X(VDW_LIB_COMMIT_UNLOAD_CONFLICT, 1236, "VDSRV1236: Unable to commit unload of \"%s\": conflict with another update session.\n") \
    X(VDW_LIB_PREDECESSOR_NO_LONGER_EXISTS, 1237, "VDSRV1237: The checkout's predecessor (dbid %d) no longer exists.\n") \
    X(VDW_LIB_VERSION_NO_LONGER_EXISTS, 1238, "VDSRV1238: <version no longer exists>") \
    X(VDW_LIB_PREMATURE_EOF, 1239, "VDSRV1239: Premature EOF reading \"%s\": tried reading %lld bytes\n") \
    X(VDW_LIB_UNLOAD_UNDECIDED, 1240, "VDSRV1240: Prior problems prevent being able to determine if we need to unload \"%s\".\n") \
    X(VDW_LIB_LOAD_FAILED, 1241, "VDSRV1241: Unable to load \"%s\" into the view: %s\n") \
    X(VDW_LIB_RENAME_IN_VIEW_FAILED, 1242, "VDSRV1242: Unable to rename \"%s\" to \"%s\" in the view: %s\n") \
    X(VDW_LIB_RESTORE_HIJACKED_FILE_FAILED, 1243, "VDSRV1243: Unable to restore the hijacked file \"%s\": %s\n") \
    X(VDW_LIB_SAVE_HIJACKED_FILE_FAILED, 1245, "VDSRV1245: Unable to save the hijacked file \"%s\" as \"%s\": %s\n") \
    X(VDW_LIB_APPLY_LOAD_RULE_FAILED, 1246, "VDSRV1246: Unable to apply load rule \"%s\": %s\n") \
    X(VDW_LIB_SCOPE_OUTSIDE_LOAD_RULES, 1247, "VDSRV1247: The scope \"%s\" is not within the load rules of view \"%s\".\n") \
    X(VDW_LIB_GET_VIEW_HANDLE_FAILED, 1248, "VDSRV1248: Unable to get the view server handle for \"%s\": %s\n") \
    X(VDW_LIB_BEGIN_BUILD_SESSION_FAILED, 1250, "VDSRV1250: Unable to begin build session for view \"%s\": %s\n") \
    X(VDW_LIB_FREE_BUILD_SESSION_FAILED, 1251, "VDSRV1251: Unable to free build session for view \"%s\": %s\n") \
    X(VDW_LIB_SET_BUILD_HANDLE_FAILED, 1252, "VDSRV1252: Unable to set the build handle for view \"%s\": %s\n") \
    X(VDW_LIB_CHECK_CS_IN_STEP_FAILED, 1253, "VDSRV1253: Unable to determine whether the config spec of view \"%s\" is in step with its stream: %s\n") \
    X(VDW_LIB_CS_OUT_OF_STEP, 1254, "VDSRV1254: Config spec for view, \"%s\", needs to be synchronized with the stream.\n") \
    X(VDW_LIB_DEV_STREAM_FROM_SELECTOR_FAILED, 1255, "VDSRV1255: Unable to determine development stream from selector: \"%s\"\n") \
    X(VDW_LIB_COUNT_DELIVER_BASELINES_FAILED, 1256, "VDSRV1256: Unable to determine number of baselines being delivered.\n") \
    X(VDW_LIB_SOURCE_VIEW_FROM_UUID_FAILED, 1257, "VDSRV1257: Unable to determine source view from uuid: \"%s\"\n") \
    X(VDW_LIB_COUNT_DELIVER_ACTIVITIES_FAILED, 1258, "VDSRV1258: Unable to determine number of activities being delivered.\n") \
    X(VDW_LIB_INVALID_ACTIVITY, 1259, "VDSRV1259: Invalid activity specified \"%s\"\n") \
    X(VDW_LIB_TARGET_STREAM_FROM_SELECTOR_FAILED, 1260, "VDSRV1260: Unable to determine target stream for selector: \"%s\"\n") \
    X(VDW_LIB_TARGET_VIEW_FROM_UUID_FAILED, 1261, "VDSRV1261: Unable to determine target view from uuid: \"%s\"\n") \
    X(VDW_LIB_CS_RULE_LOOKUP_FAILED, 1262, "VDSRV1262: Lookup failed for \"%s\": \"%s\": unable to determine the configuration spec rule.\n") \
    X(VDW_LIB_TEMP_DIR_INACCESSIBLE, 1263, "VDSRV1263: The temporary directory \"%s\" does not exist or cannot be accessed.\n") \
    X(VDW_LIB_RESET_DELIVER_FAILED, 1264, "VDSRV1264: Unable to reset the deliver for stream \"%s\": %s\n") \
    X(VDW_LIB_RESET_REBASE_FAILED, 1265, "VDSRV1265: Unable to reset the rebase for view \"%s\": %s\n") \
    X(VDW_LIB_DETERMINE_INTEGRATION_VIEW_FAILED, 1266, "VDSRV1266: Unable to determine the integration view for stream \"%s\": %s\n") \
    X(VDW_LIB_CREATE_TEMP_DIR_FAILED, 1268, "VDSRV1268: Unable to create temporary directory \"%s\": %s\n") \
    X(VDW_LIB_REMOVE_TEMP_DIR_FAILED, 1269, "VDSRV1269: Unable to remove temporary directory \"%s\": %s\n") \
    X(VDW_LIB_CREATE_UPLOAD_DIR_FAILED, 1270, "VDSRV1270: Unable to create the upload directory \"%s\": %s\n") \
    X(VDW_LIB_SAVE_CREDENTIALS_FAILED, 1272, "VDSRV1272: Unable to save credentials for user \"%s\".\n") \
    X(VDW_LIB_NO_PROVIDER_CREDENTIALS, 1273, "VDSRV1273: No credentials are available for provider \"%s\".\n") \
    X(VDW_LIB_REGISTER_LOGIN_CALLBACK_FAILED, 1275, "VDSRV1275: Unable to register the login callback for provider \"%s\".\n") \
    X(VDW_LIB_DETERMINE_DYNAMIC_VIEW_ROOT_FAILED, 1277, "VDSRV1277: Unable to determine the dynamic view root for \"%s\": %s\n") \
    X(VDW_LIB_DYNAMIC_VIEW_NO_VTFS, 1278, "VDSRV1278: Could not access dynamic view '%s' because VTFS is not configured on the server.\n") \
    X(VDW_LIB_START_DYNAMIC_VIEW_FAILED, 1279, "VDSRV1279: Unable to start dynamic view '%s' on server.\n") \
    X(VDW_LIB_READ_CLEARTEXT_FAILED, 1280, "VDSRV1280: Unable to read the cleartext of version \"%s\": %s\n") \
    X(VDW_LIB_TEXT_MODE_UNSUPPORTED, 1281, "VDSRV1281: The text mode \"%s\" is not supported for version \"%s\".\n") \
    X(VDW_LIB_VERSION_OID_NOT_FOUND, 1282, "VDSRV1282: The specified version with OID: \"%s\" was not found.\n") \
    X(VDW_LIB_REPLICA_UUID_NOT_FOUND, 1283, "VDSRV1283: The specified VOB replica with UUID: \"%s\" was not found.\n") \
    X(VDW_LIB_URL_INVALID_TEXT_MODE, 1284, "VDSRV1284: GET URL is attempting to use an invalid text mode: %s\n") \
    X(VDW_LIB_DETERMINE_TEXT_MODE_FAILED, 1285, "VDSRV1285: Unable to determine the text mode of version \"%s\": %s\n") \
    X(VDW_LIB_SEND_CLEARTEXT_FAILED, 1287, "VDSRV1287: Unable to send the cleartext of version \"%s\": %s\n") \
    X(VDW_LIB_URL_MISSING_CLTXT_TAG, 1288, "VDSRV1288: GET URL is missing the cltxt tag: \"%s\"\n") \
    X(VDW_LIB_OPEN_CLEARTEXT_FAILED, 1289, "VDSRV1289: Unable to open cleartext \"%s\": %s\n") \
    X(VDW_LIB_BAD_DOWNLOAD_URL, 1290, "VDSRV1290: The download URL \"%s\" is not valid.\n") \
    X(VDW_LIB_DOWNLOAD_NOT_SERVED, 1291, "VDSRV1291: Downloads of version contents by URL are not served by this server yet.\n") \
    X(VDW_LIB_CREATE_TYPE_FAILED, 1292, "VDSRV1292: Unable to create type \"%s\": %s\n") \
    X(VDW_LIB_REMOVE_TYPE_FAILED, 1293, "VDSRV1293: Unable to remove type \"%s\": %s\n") \
    X(VDW_LIB_APPLY_ATTRIBUTE_FAILED, 1294, "VDSRV1294: Unable to apply attribute \"%s\" to \"%s\": %s\n") \
    X(VDW_LIB_REMOVE_ATTRIBUTE_FAILED, 1295, "VDSRV1295: Unable to remove attribute \"%s\" from \"%s\": %s\n") \
    X(VDW_LIB_REMOVE_OBJECT_FAILED, 1296, "VDSRV1296: Unable to remove \"%s\": %s\n") \
    X(VDW_LIB_LIST_TYPES_FAILED, 1297, "VDSRV1297: Unable to list the types of VOB \"%s\": %s\n") \
    X(VDW_LIB_GET_HISTORY_FAILED, 1298, "VDSRV1298: Unable to get the history of \"%s\": %s\n") \
    X(VDW_LIB_LIST_VIEWS_FAILED, 1299, "VDSRV1299: Unable to list the views: %s\n") \
    X(VDW_LIB_VALUE_NOT_SUPPORTED, 1300, "VDSRV1300: The value \"%s\" of \"%s\" is not supported by this server.\n") \
    X(VDW_LIB_CREATE_STREAM_FAILED, 1301, "VDSRV1301: Unable to create stream \"%s\": %s\n") \
    X(VDW_LIB_CREATE_BASELINE_FAILED, 1302, "VDSRV1302: Unable to create baseline \"%s\": %s\n") \
    X(VDW_LIB_LIST_PVOBS_FAILED, 1303, "VDSRV1303: Unable to list the project VOBs: %s\n") \
    X(VDW_LIB_LIST_CONTAINER_FAILED, 1304, "VDSRV1304: Unable to list the contents of \"%s\": %s\n") \
    X(VDW_LIB_END_VIEW_FAILED, 1305, "VDSRV1305: Unable to stop view \"%s\": %s\n")
// clang-format on

// The index of each entry in _vdw_lib_lib_msg_table.
enum vdw_lib_msg_t : int { VDW_LIB_CATALOG(IMSG_CATALOG_INDEX) };

#endif
