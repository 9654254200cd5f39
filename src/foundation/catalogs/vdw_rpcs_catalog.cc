// Message catalog "vdw_rpcs": the messages of the web RPC handlers: argument and upload
// checks of the RPC framework, temporary views, checkout, checkin, element creation and
// uncheckout, object properties, version trees, the command RPC and the interaction answers.
//
// Callers address entries by index, so an entry is never moved or removed; the numbers
// ascend, and a retired message leaves only a gap in them.

#include <cstdint>
#include <iterator>

#include "foundation/catalogs/catalogs.h"

static const char* const vdw_rpcs_texts[] = {
    /* 0 */ "VDSRV3001: Unrecognized RPC request: rpc=\"%s\"\n",
    /* 1 */ "VDSRV3002: Internal Error: RPC \"%s\" is not supported by this server.\n",
    /* 2 */ "VDSRV3003: Internal Error: missing RPC dispatch info for \"%s\".\n",
    /* 3 */ "VDSRV3005: Missing RPC args parameter.\n",
    /* 4 */
    "VDSRV3006: The file could not be uploaded because it exceeded the current size limit.\n",
    /* 5 */ "VDSRV3007: No upload file was specified in the request\n",
    /* 6 */ "VDSRV3008: A user name must be specified\n",
    /* 7 */ "VDSRV3009: Unable to get the view tag name for \"%s\": %s",
    /* 8 */ "VDSRV3010: Unable to find view with uuid \"%s\"\n",
    /* 9 */ "VDSRV3011: Unable to find the view root for view \"%s\": %s\n",
    /* 10 */ "VDSRV3012: Malformed RPC args: \"%s\" is not a valid uuid.\n",
    /* 11 */ "VDSRV3013: Malformed RPC args: invalid value \"%s\" for arg \"%s\".\n",
    /* 12 */ "VDSRV3014: Malformed RPC args: invalid count %d for arg \"%s\".\n",
    /* 13 */ "VDSRV3016: Unable to get the properties of view \"%s\": %s\n",
    /* 14 */ "VDSRV3017: Unable to get the properties of VOB \"%s\": %s\n",
    /* 15 */ "VDSRV3018: Unable to get the properties of element \"%s\": %s\n",
    /* 16 */ "VDSRV3019: Unable to get the properties of version \"%s\": %s\n",
    /* 17 */ "VDSRV3020: Problems performing uncheckout.\n",
    /* 18 */ "VDSRV3021: Unable to uncheckout \"%s\": %s\n",
    /* 19 */ "VDSRV3022: Unable to get the checked out version of \"%s\": %s\n",
    /* 20 */ "VDSRV3023: Unable to compute the checksum of \"%s\": %s\n",
    /* 21 */ "VDSRV3024: Unable to checkout \"%s\": %s\n",
    /* 22 */ "VDSRV3025: Unable to resolve the real pathname of \"%s\": %s\n",
    /* 23 */ "VDSRV3026: Unable to find view tag for view \"%s\".\n",
    /* 24 */ "VDSRV3027: Config spec for view, \"%s\", needs to be synchronized with the stream.\n",
    /* 25 */ "VDSRV3028: Unable to set the current activity of view \"%s\" to \"%s\": %s\n",
    /* 26 */ "VDSRV3029: Unable to find activity \"%s\": %s\n",
    /* 27 */ "VDSRV3030: Unable to get the checkout comment of \"%s\": %s\n",
    /* 28 */ "VDSRV3032: Unable to determine the latest version on the branch of \"%s\": %s\n",
    /* 29 */ "VDSRV3033: Unable to send merge data for \"%s\": %s\n",
    /* 30 */
    "VDSRV3034: Cannot checkin \"%s\" because it is not checked out from the latest version on its "
    "branch.\nYou must merge the latest version into the checkout before checking it in.\n",
    /* 31 */ "VDSRV3035: Unable to move checkout to activity \"%s\": %s\n",
    /* 32 */ "VDSRV3036: Unable to checkin \"%s\"\n",
    /* 33 */ "VDSRV3037: Premature EOF while reading uploaded file \"%s\".\n",
    /* 34 */ "VDSRV3038: Unable to read uploaded file \"%s\": %s\n",
    /* 35 */
    "VDSRV3039: The number of uploaded files (%d) does not match the number of items (%d).\n",
    /* 36 */ "VDSRV3040: Unable to remove view-private file \"%s\": %s\n",
    /* 37 */ "VDSRV3041: Unable to find element type \"%s\": %s\n",
    /* 38 */ "VDSRV3042: Unable to create pathname for directory \"%s\": %s.\n",
    /* 39 */ "VDSRV3043: Unable to create new element for \"%s\"\n",
    /* 40 */ "VDSRV3044: Unable to set execute permissions on \"%s\": %s\n",
    /* 41 */ "VDSRV3045: Unable to find the real pathname of directory \"%s\": %s\n",
    /* 42 */ "VDSRV3046: Unable to remove the name \"%s\": %s\n",
    /* 43 */ "VDSRV3047: Unable to move \"%s\" to \"%s\": %s\n",
    /* 44 */ "VDSRV3049: Unable to set the properties of VOB \"%s\": %s\n",
    /* 45 */ "VDSRV3050: Unable to set the properties of element \"%s\": %s\n",
    /* 46 */ "VDSRV3051: Unable to set the properties of version \"%s\": %s\n",
    /* 47 */ "VDSRV3052: Unable to get the properties of stream \"%s\": %s\n",
    /* 48 */ "VDSRV3053: Unable to set the properties of stream \"%s\": %s\n",
    /* 49 */ "VDSRV3054: Unable to get the properties of baseline \"%s\": %s\n",
    /* 50 */ "VDSRV3055: Unable to set the properties of baseline \"%s\": %s\n",
    /* 51 */ "VDSRV3056: Unable to get the properties of activity \"%s\": %s\n",
    /* 52 */ "VDSRV3058: Unable to set the properties of activity \"%s\": %s\n",
    /* 53 */ "VDSRV3059: Unable to get the properties of label type \"%s\": %s\n",
    /* 54 */ "VDSRV3060: Unable to get the properties of \"%s\": %s\n",
    /* 55 */ "VDSRV3061: Unable to set the properties of view \"%s\": %s\n",
    /* 56 */ "VDSRV3062: Unable to get the lock of \"%s\": %s\n",
    /* 57 */ "VDSRV3063: Unable to lock \"%s\": %s\n",
    /* 58 */ "VDSRV3064: Unable to unlock \"%s\": %s\n",
    /* 59 */ "VDSRV3065: Unable to change the protection of \"%s\": %s\n",
    /* 60 */ "VDSRV3067: Unable to get the custom attributes of \"%s\": %s\n",
    /* 61 */ "VDSRV3068: Unable to get the hyperlinks of \"%s\": %s\n",
    /* 62 */ "VDSRV3069: Unable to get the mastership of \"%s\": %s\n",
    /* 63 */ "VDSRV3070: Unable to get the replicas of VOB \"%s\": %s\n",
    /* 64 */ "VDSRV3071: Unable to get the config spec of view \"%s\": %s\n",
    /* 65 */ "VDSRV3072: Unable to set the config spec of view \"%s\": %s\n",
    /* 66 */ "VDSRV3073: Unable to get the load rules of view \"%s\": %s\n",
    /* 67 */ "VDSRV3074: Unable to set the load rules of view \"%s\": %s\n",
    /* 68 */ "VDSRV3075: Unable to create view \"%s\": %s\n",
    /* 69 */ "VDSRV3076: Unable to remove view \"%s\": %s\n",
    /* 70 */ "VDSRV3077: Unable to register view \"%s\": %s\n",
    /* 71 */ "VDSRV3078: A view with tag \"%s\" already exists.\n",
    /* 72 */ "VDSRV3080: Unable to create the view storage directory \"%s\": %s\n",
    /* 73 */ "VDSRV3081: Unable to find stream \"%s\": %s\n",
    /* 74 */ "VDSRV3082: Unable to find project \"%s\": %s\n",
    /* 75 */ "VDSRV3083: Unable to list the projects in folder \"%s\": %s\n",
    /* 76 */ "VDSRV3084: Unable to list the streams of project \"%s\": %s\n",
    /* 77 */ "VDSRV3085: Unable to list the components of \"%s\": %s\n",
    /* 78 */ "VDSRV3086: Unable to list the baselines of \"%s\": %s\n",
    /* 79 */ "VDSRV3087: Unable to list the activities of stream \"%s\": %s\n",
    /* 80 */ "VDSRV3088: Unable to create activity \"%s\" in stream \"%s\": %s\n",
    /* 81 */ "VDSRV3089: Unable to set activity \"%s\": %s\n",
    /* 82 */ "VDSRV3090: Unable to find baseline \"%s\": %s\n",
    /* 83 */ "VDSRV3092: Unable to compare baselines \"%s\" and \"%s\": %s\n",
    /* 84 */ "VDSRV3093: Unable to list VOBs: %s\n",
    /* 85 */ "VDSRV3094: Unable to list views: %s\n",
    /* 86 */ "VDSRV3095: Unable to find VOB \"%s\": %s\n",
    /* 87 */ "VDSRV3096: Unable to mount VOB \"%s\": %s\n",
    /* 88 */ "VDSRV3097: Unable to unmount VOB \"%s\": %s\n",
    /* 89 */ "VDSRV3098: Unable to list directory \"%s\": %s\n",
    /* 90 */ "VDSRV3099: Unable to describe \"%s\": %s\n",
    /* 91 */ "VDSRV3100: Unable to get the version tree of \"%s\": %s\n",
    /* 92 */ "VDSRV3101: Unable to find the object with dbid %lu: %s\n",
    /* 93 */ "VDSRV3102: Unable to find the object for selector \"%s\": %s\n",
    /* 94 */ "VDSRV3103: Unable to get the history of \"%s\": %s\n",
    /* 95 */ "VDSRV3105: Unable to find merge candidates in \"%s\": %s\n",
    /* 96 */ "VDSRV3106: Unable to merge \"%s\": %s\n",
    /* 97 */ "VDSRV3107: Unable to draw a merge arrow from \"%s\" to \"%s\": %s\n",
    /* 98 */ "VDSRV3108: Unable to compare \"%s\" with \"%s\": %s\n",
    /* 99 */ "VDSRV3109: Unable to apply label \"%s\" to \"%s\": %s\n",
    /* 100 */ "VDSRV3110: Unable to remove label \"%s\" from \"%s\": %s\n",
    /* 101 */ "VDSRV3111: Unable to create label type \"%s\": %s\n",
    /* 102 */ "VDSRV3112: Unable to create branch type \"%s\": %s\n",
    /* 103 */ "VDSRV3113: Unable to find branch type \"%s\": %s\n",
    /* 104 */ "VDSRV3114: Unable to find label type \"%s\": %s\n",
    /* 105 */ "VDSRV3115: Unable to hijack \"%s\": %s\n",
    /* 106 */ "VDSRV3116: Unable to undo the hijack of \"%s\": %s\n",
    /* 107 */ "VDSRV3118: Unable to rename \"%s\" to \"%s\": %s\n",
    /* 108 */ "VDSRV3119: Unable to find version \"%s\": %s\n",
    /* 109 */ "VDSRV3120: Unable to get the cleartext of \"%s\": %s\n",
    /* 110 */ "VDSRV3121: Unable to get the predecessor of \"%s\": %s\n",
    /* 111 */ "VDSRV3122: Unable to set the comment of \"%s\": %s\n",
    /* 112 */ "VDSRV3123: Unable to change the checkout of \"%s\" to reserved: %s\n",
    /* 113 */ "VDSRV3124: Unable to change the checkout of \"%s\" to unreserved: %s\n",
    /* 114 */ "VDSRV3125: Unable to find the checkouts of \"%s\": %s\n",
    /* 115 */ "VDSRV3126: Unable to find the checkouts of activity \"%s\": %s\n",
    /* 116 */ "VDSRV3127: Unable to find the checkouts in view \"%s\": %s\n",
    /* 117 */ "VDSRV3129: Unable to update view \"%s\": %s\n",
    /* 118 */ "VDSRV3130: Unable to run the command \"%s\": %s\n",
    /* 119 */ "VDSRV3131: The command option \"%s\" is not allowed.\n",
    /* 120 */ "VDSRV3132: Unable to change directory to the view root of \"%s\": %s\n",
    /* 121 */ "VDSRV3133: Unable to write the interaction response to \"%s\": %s\n",
    /* 122 */ "VDSRV3134: Missing interaction response arg \"%s\".\n",
    /* 123 */ "VDSRV3135: Unable to find the version selected by view \"%s\" for \"%s\": %s\n",
    /* 124 */ "VDSRV3136: Unable to determine the version loaded in view \"%s\" for \"%s\": %s\n",
    /* 125 */ "VDSRV3137: Cannot checkout \"%s\": the element is not loaded in the view.\n",
    /* 126 */ "VDSRV3138: Unable to take the file stamp of hijacked file \"%s\": %s\n",
    /* 127 */ "VDSRV3139: Checkout version \"%s\" is  not LATEST on the branch.\n",
    /* 128 */ "VDSRV3140: Version discordance detected for \"%s\". \n",
    /* 129 */ "VDSRV3141: Unable to determine the version extension separator.\n",
    /* 130 */ "VDSRV3142: Unable to determine the protocol version of the server.\n",
    /* 131 */ "VDSRV3143: Unable to get the change set of activity \"%s\": %s\n",
    /* 132 */ "VDSRV3144: Unable to move \"%s\" to activity \"%s\": %s\n",
    /* 133 */ "VDSRV3145: Unable to get the VOB tags of region \"%s\": %s\n",
    /* 134 */ "VDSRV3146: Unable to find view tag \"%s\": %s\n",
    /* 135 */ "VDSRV3147: Unable to get the uuid of view \"%s\": %s\n",
    /* 136 */ "VDSRV3148: Unable to find the stream of view \"%s\": %s\n",
    /* 137 */ "VDSRV3149: Unable to determine the project of stream \"%s\": %s\n",
    /* 138 */ "VDSRV3150: Unable to make a temporary view tag for stream \"%s\".\n",
    /* 139 */ "VDSRV3151: Unable to create view storage for temporary view \"%s\": %s\n",
    /* 140 */ "VDSRV3152: Cannot create temporary view",
    /* 141 */ "VDSRV3153: Cannot remove temporary view \"%s\": %s\n",
    /* 142 */ "VDSRV3154: Unable to resolve the name \"%s\" in stream \"%s\": %s\n",
    /* 143 */ "VDSRV3155: Unable to determine the component of \"%s\": %s\n",
    /* 144 */ "VDSRV3156: Unable to determine the root directory of component \"%s\": %s\n",
    /* 145 */ "VDSRV3157: Unable to find the version of \"%s\" in baseline \"%s\": %s\n",
    /* 146 */ "VDSRV3158: Unable to get the branches of element \"%s\": %s\n",
    /* 147 */ "VDSRV3159: Unable to get the merge hyperlinks of version \"%s\": %s\n",
    /* 148 */ "VDSRV3160: Unable to get the labels of version \"%s\": %s\n",
    /* 149 */ "VDSRV3161: Unable to get the attributes of version \"%s\": %s\n",
    /* 150 */ "VDSRV3162: Unable to get the comment of version \"%s\": %s\n",
    /* 151 */ "VDSRV3163: Unable to find the VOB of element \"%s\": %s\n",
    /* 152 */ "VDSRV3164: Unable to find the version with dbid %lu.\n",
    /* 153 */ "VDSRV3165: Unable to find the object for selector \"%s\".\n",
    /* 154 */ "VDSRV3166: Unable to get the generation number of VOB \"%s\": %s\n",
    /* 155 */ "VDSRV3167: Unable to get the successors of version \"%s\": %s\n",
    /* 156 */ "VDSRV3168: VOB was reformatted: \"%s\". Client version tree data is invalid.\n",
    /* 157 */ "VDSRV3169: Unable to compute the state digest of view \"%s\": %s\n",
    /* 158 */ "VDSRV3170: Unable to fetch the frozen state of view \"%s\": %s\n",
    /* 159 */ "VDSRV3171: Unable to validate the copy area of view \"%s\": %s\n",
    /* 160 */ "VDSRV3172: The copy area of view \"%s\" is out of date.\n",
    /* 161 */ "VDSRV3173: Unable to find web view \"%s\": %s\n",
    /* 162 */ "VDSRV3174: The scope \"%s\" is not within view \"%s\".\n",
    /* 163 */ "VDSRV3175: Unable to set the credentials for user database \"%s\": %s\n",
    /* 164 */ "VDSRV3176: Unable to clear the cached credentials.\n",
    /* 165 */ "VDSRV3178: Unable to find change request \"%s\": %s\n",
    /* 166 */ "VDSRV3179: Unable to associate activity \"%s\" with change request \"%s\": %s\n",
    /* 167 */ "VDSRV3180: Unable to get the policies of project \"%s\": %s\n",
    /* 168 */ "VDSRV3181: Unable to create component \"%s\": %s\n",
    /* 169 */ "VDSRV3182: Unable to create project \"%s\" in folder \"%s\": %s\n",
    /* 170 */ "VDSRV3183: Unable to create stream \"%s\" in project \"%s\": %s\n",
    /* 171 */ "VDSRV3184: Unable to create baseline \"%s\": %s\n",
    /* 172 */ "VDSRV3185: Unable to set the promotion level of baseline \"%s\": %s\n",
    /* 173 */ "VDSRV3186: Unable to recommend baseline \"%s\" in stream \"%s\": %s\n",
    /* 174 */ "VDSRV3187: Unable to create policy \"%s\": %s\n",
    /* 175 */ "VDSRV3188: Unable to create role map \"%s\": %s\n",
    /* 176 */ "VDSRV3189: Unable to copy merged content to \"%s\": %s\n",
    /* 177 */ "VDSRV3190: Unable to save hijacked file \"%s\" as \"%s\": %s\n",
    /* 178 */
    "VDSRV3191: Unable to merge hijacked file contents with post-checkout file modifications "
    "\nmade by server side trigger for \n   %s\nYou need to manually save your hijacked file "
    "contents, uncheckout the file, check it\n out again and manually merge your hijacked changes "
    "into the new checkout.",
    /* 179 */ "VDSRV3192: Unable to restore the hijacked contents of \"%s\" from \"%s\": %s\n",
    /* 180 */ "VDSRV3193: Unable to get the modified time of \"%s\": %s\n",
    /* 181 */ "VDSRV3194: Cannot set the modified time on \"%s\".\n",
    /* 182 */ "VDSRV3195: Unable to determine the file type of \"%s\": %s\n",
    /* 183 */
    "VDSRV3196: The latest version on the stream is not loaded in view \"%s\".  Please update the "
    "view before attempting a checkout of element \"%s\".\n",
    /* 184 */ "VDSRV3197: Unrecognized command: \"%s\"\n",
    /* 185 */ "VDSRV3198: Command option not allowed: \"%s\"\n",
    /* 186 */ "VDSRV3199: Cannot checkout \"%s\" - not mastered locally.\n",
    /* 187 */ "VDSRV3200: Cannot checkin \"%s\" - not mastered locally.\n",
    /* 188 */ "VDSRV3201: Unable to perform atomic checkin\n",
    /* 189 */
    "VDSRV3202: Cannot complete atomic checkin - one or more elements are not mastered locally.\n",
    /* 190 */
    "VDSRV3203: Cannot checkout element \"%s\" - branch type is not mastered locally: %s\n",
    /* 191 */
    "VDSRV3205: The 'no checkout' option is not supported for file creation in views of this type.",
    /* 192 */
    "VDSRV3207: Cannot create element \"%s\" - the parent directory is not checked out.\n",
};

static const uint16_t vdw_rpcs_numbers[] = {
    3001, 3002, 3003, 3005, 3006, 3007, 3008, 3009, 3010, 3011,  // 0
    3012, 3013, 3014, 3016, 3017, 3018, 3019, 3020, 3021, 3022,  // 10
    3023, 3024, 3025, 3026, 3027, 3028, 3029, 3030, 3032, 3033,  // 20
    3034, 3035, 3036, 3037, 3038, 3039, 3040, 3041, 3042, 3043,  // 30
    3044, 3045, 3046, 3047, 3049, 3050, 3051, 3052, 3053, 3054,  // 40
    3055, 3056, 3058, 3059, 3060, 3061, 3062, 3063, 3064, 3065,  // 50
    3067, 3068, 3069, 3070, 3071, 3072, 3073, 3074, 3075, 3076,  // 60
    3077, 3078, 3080, 3081, 3082, 3083, 3084, 3085, 3086, 3087,  // 70
    3088, 3089, 3090, 3092, 3093, 3094, 3095, 3096, 3097, 3098,  // 80
    3099, 3100, 3101, 3102, 3103, 3105, 3106, 3107, 3108, 3109,  // 90
    3110, 3111, 3112, 3113, 3114, 3115, 3116, 3118, 3119, 3120,  // 100
    3121, 3122, 3123, 3124, 3125, 3126, 3127, 3129, 3130, 3131,  // 110
    3132, 3133, 3134, 3135, 3136, 3137, 3138, 3139, 3140, 3141,  // 120
    3142, 3143, 3144, 3145, 3146, 3147, 3148, 3149, 3150, 3151,  // 130
    3152, 3153, 3154, 3155, 3156, 3157, 3158, 3159, 3160, 3161,  // 140
    3162, 3163, 3164, 3165, 3166, 3167, 3168, 3169, 3170, 3171,  // 150
    3172, 3173, 3174, 3175, 3176, 3178, 3179, 3180, 3181, 3182,  // 160
    3183, 3184, 3185, 3186, 3187, 3188, 3189, 3190, 3191, 3192,  // 170
    3193, 3194, 3195, 3196, 3197, 3198, 3199, 3200, 3201, 3202,  // 180
    3203, 3205, 3207,                                            // 190
};

static_assert(std::size(vdw_rpcs_texts) == 193);
static_assert(std::size(vdw_rpcs_numbers) == std::size(vdw_rpcs_texts));

extern "C" const imsg_catalog_t _vdw_rpcs_rpcs_msg_table = {
    "rpcs_lib", "vdw_rpcs", 1, 193, vdw_rpcs_texts, vdw_rpcs_numbers,
};
