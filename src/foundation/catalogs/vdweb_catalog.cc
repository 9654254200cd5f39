// Message catalog "vdweb": the request front end's messages (request decoding failures,
// unknown RPCs, missing arguments), the labels and messages of the browser pages, the login
// and session checks, the deliver and rebase pages, and the credentials prompts. Labels and
// titles have no line end; complete messages end with one.
//
// Callers address entries by index, so an entry is never moved or removed; the numbers
// ascend, and a retired message leaves only a gap in them.

#include <cstdint>
#include <iterator>

#include "foundation/catalogs/catalogs.h"

// clang-format off
static const char* const vdweb_texts[] = {
    /* 0 */ "VDSRV4001: Verdane Web Server",
    /* 1 */ "VDSRV4002: Verdane Web Login",
    /* 2 */ "VDSRV4003: User name:",
    /* 3 */ "VDSRV4004: Password:",
    /* 4 */ "VDSRV4005: Domain:",
    /* 5 */ "VDSRV4006: Log In",
    /* 6 */ "VDSRV4007: Log Out",
    /* 7 */ "VDSRV4008: Cancel",
    /* 8 */ "VDSRV4009: OK",
    /* 9 */ "VDSRV4010: Help",
    /* 10 */ "VDSRV4011: Home",
    /* 11 */ "VDSRV4013: Views",
    /* 12 */ "VDSRV4014: VOBs",
    /* 13 */ "VDSRV4015: Projects",
    /* 14 */ "VDSRV4016: Streams",
    /* 15 */ "VDSRV4017: Activities",
    /* 16 */ "VDSRV4018: Baselines",
    /* 17 */ "VDSRV4020: Components",
    /* 18 */ "VDSRV4021: Name:",
    /* 19 */ "VDSRV4022: Description:",
    /* 20 */ "VDSRV4023: Location:",
    /* 21 */ "VDSRV4024: You are not logged in. Please log in to continue.\n",
    /* 22 */ "VDSRV4025: Your session has expired. Please log in again.\n",
    /* 23 */ "VDSRV4026: The session \"%s\" is not valid.\n",
    /* 24 */ "VDSRV4027: Unable to read the data of session \"%s\".\n",
    /* 25 */ "VDSRV4028: Unable to create a new session for user \"%s\".\n",
    /* 26 */ "VDSRV4029: Browse",
    /* 27 */ "VDSRV4030: Refresh",
    /* 28 */ "VDSRV4032: Properties",
    /* 29 */ "VDSRV4033: History",
    /* 30 */ "VDSRV4034: Version Tree",
    /* 31 */ "VDSRV4035: Compare with Previous Version",
    /* 32 */ "VDSRV4036: Compare with Another Version",
    /* 33 */ "VDSRV4037: Checkout",
    /* 34 */ "VDSRV4038: Checkin",
    /* 35 */ "VDSRV4039: Undo Checkout",
    /* 36 */ "VDSRV4040: Add to Source Control",
    /* 37 */ "VDSRV4041: Hijack",
    /* 38 */ "VDSRV4043: Merge",
    /* 39 */ "VDSRV4044: Deliver",
    /* 40 */ "VDSRV4045: Rebase",
    /* 41 */ "VDSRV4046: Update View",
    /* 42 */ "VDSRV4048: Comment:",
    /* 43 */ "VDSRV4049: Reserved",
    /* 44 */ "VDSRV4050: The file could not be uploaded because it exceeded the current size limit.\n",
    /* 45 */ "VDSRV4051: Unreserved",
    /* 46 */ "VDSRV4052: Kind:",
    /* 47 */ "VDSRV4053: Created on:",
    /* 48 */ "VDSRV4054: Created by:",
    /* 49 */ "VDSRV4055: Owner:",
    /* 50 */ "VDSRV4056: Group:",
    /* 51 */ "VDSRV4057: Protection:",
    /* 52 */ "VDSRV4059: Element type:",
    /* 53 */ "VDSRV4060: Version:",
    /* 54 */ "VDSRV4061: Predecessor:",
    /* 55 */ "VDSRV4062: Activity:",
    /* 56 */ "VDSRV4064: Stream:",
    /* 57 */ "VDSRV4065: Project:",
    /* 58 */ "VDSRV4067: Branch type:",
    /* 59 */ "VDSRV4068: Labels:",
    /* 60 */ "VDSRV4069: Attributes:",
    /* 61 */ "VDSRV4071: Hyperlinks:",
    /* 62 */ "VDSRV4072: Locked by:",
    /* 63 */ "VDSRV4074: Checked out by:",
    /* 64 */ "VDSRV4075: Checked out in view:",
    /* 65 */ "VDSRV4076: Unrecognized RPC request: rpc=\"%s\"\n",
    /* 66 */ "VDSRV4077: Missing RPC args parameter.\n",
    /* 67 */ "VDSRV4078: Internal Error: missing RPC dispatch info for \"%s\".\n",
    /* 68 */ "VDSRV4079: The page \"%s\" is not known to the server.\n",
    /* 69 */ "VDSRV4081: Unable to read the page template \"%s\".\n",
    /* 70 */ "VDSRV4082: The required parameter \"%s\" is missing.\n",
    /* 71 */ "VDSRV4083: Please enter a user name.\n",
    /* 72 */ "VDSRV4084: Please enter a password.\n",
    /* 73 */ "VDSRV4085: The user name \"%s\" is not known.\n",
    /* 74 */ "VDSRV4086: Unable to login: the account of user \"%s\" is disabled.\n",
    /* 75 */ "VDSRV4087: You are already logged in as \"%s\".\n",
    /* 76 */ "VDSRV4088: You have been logged out.\n",
    /* 77 */ "VDSRV4089: Your session was ended by the server.\n",
    /* 78 */ "VDSRV4090: Unable to log out: %s\n",
    /* 79 */ "VDSRV4091: The session of user \"%s\" cannot be used by user \"%s\".\n",
    /* 80 */ "VDSRV4092: Cookies must be enabled in your browser to log in.\n",
    /* 81 */ "VDSRV4093: Unable to start a session: the session storage directory \"%s\" cannot be accessed.\n",
    /* 82 */ "VDSRV4094: Deliver from Stream \"%s\"",
    /* 83 */ "VDSRV4095: Rebase Stream \"%s\"",
    /* 84 */ "VDSRV4096: Target stream:",
    /* 85 */ "VDSRV4097: Integration view:",
    /* 86 */ "VDSRV4098: Activities to deliver:",
    /* 87 */ "VDSRV4099: Baselines to rebase:",
    /* 88 */ "VDSRV4100: Resume",
    /* 89 */ "VDSRV4101: Complete",
    /* 90 */ "VDSRV4102: The deliver was completed successfully.\n",
    /* 91 */ "VDSRV4103: The rebase was completed successfully.\n",
    /* 92 */ "VDSRV4104: A deliver is already in progress for stream \"%s\".\n",
    /* 93 */ "VDSRV4105: A rebase is already in progress for view \"%s\".\n",
    /* 94 */ "VDSRV4106: The CGI request method could not be determined.\n",
    /* 95 */ "VDSRV4107: The CGI request was not in the correct format.\n",
    /* 96 */ "VDSRV4108: There was an error uploading the file.\n",
    /* 97 */ "VDSRV4109: There was an unspecified error in the CGI request.\n",
    /* 98 */ "VDSRV4110: The upload directory \"%s\" does not exist or cannot be accessed.\n",
    /* 99 */ "VDSRV4111: The temporary directory \"%s\" does not exist or cannot be accessed.\n",
    /* 100 */ "VDSRV4112: The string \"%s\" is too long.\n",
    /* 101 */ "VDSRV4113: Unable to login: no interaction channel is available.\n",
    /* 102 */ "VDSRV4116: Unable to login to Tarnis: error sending login request.\n",
    /* 103 */ "VDSRV4117: Unable to login to Tarnis: user canceled login operation.\n",
    /* 104 */ "VDSRV4118: Unable to login to Tarnis: the client sent an invalid response.\n",
    /* 105 */ "VDSRV4121: Unable to login to CM Provider: the client sent an invalid response.\n",
    /* 106 */ "VDSRV4122: Unable to login to CM Provider: error sending login request.\n",
    /* 107 */ "VDSRV4123: Unable to login to CM Provider: user canceled login operation.\n",
};
// clang-format on

static const uint16_t vdweb_numbers[] = {
    4001, 4002, 4003, 4004, 4005, 4006, 4007, 4008, 4009, 4010,  // 0
    4011, 4013, 4014, 4015, 4016, 4017, 4018, 4020, 4021, 4022,  // 10
    4023, 4024, 4025, 4026, 4027, 4028, 4029, 4030, 4032, 4033,  // 20
    4034, 4035, 4036, 4037, 4038, 4039, 4040, 4041, 4043, 4044,  // 30
    4045, 4046, 4048, 4049, 4050, 4051, 4052, 4053, 4054, 4055,  // 40
    4056, 4057, 4059, 4060, 4061, 4062, 4064, 4065, 4067, 4068,  // 50
    4069, 4071, 4072, 4074, 4075, 4076, 4077, 4078, 4079, 4081,  // 60
    4082, 4083, 4084, 4085, 4086, 4087, 4088, 4089, 4090, 4091,  // 70
    4092, 4093, 4094, 4095, 4096, 4097, 4098, 4099, 4100, 4101,  // 80
    4102, 4103, 4104, 4105, 4106, 4107, 4108, 4109, 4110, 4111,  // 90
    4112, 4113, 4116, 4117, 4118, 4121, 4122, 4123,              // 100
};

static_assert(std::size(vdweb_texts) == 108);
static_assert(std::size(vdweb_numbers) == std::size(vdweb_texts));

extern "C" const imsg_catalog_t _vdweb_lib_msg_table = {
    "lib_tvx", "vdweb", 2, 108, vdweb_texts, vdweb_numbers,
};
