// vdprompt: asks the remote user a question on behalf of a trigger program.
//
//   vdprompt proceed [-prompt text] [-mask abort,proceed] [-default abort] [-type name]
//   vdprompt yes_no  [-prompt text] [-mask yes,no] [-default no] [-type name]
//   vdprompt text    [-prompt text] [-default text] [-multi_line]
//
// The question goes through the interaction channel of the server process that runs the
// operation (the trigger inherits its request file in IREQ_REQUEST_FILENAME); the client
// shows it, and its answer comes back as another request. The answer is printed on standard
// output (the answer's name, or the text entered) and given as the exit status: 0 for
// proceed or yes (and a text entered with proceed), 1 for abort or no, 2 when the question
// could not be asked or answered. Without a listener (no remote user to ask) the default is
// the answer at once.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/imsg/imsg.h"
#include "interact/ireq_request.h"
#include "interact/vdw_prompt.h"

namespace {

const char kUsage[] =
    "usage: vdprompt proceed|yes_no [-prompt text] [-mask answer,...] [-default answer] "
    "[-type ok|box|warning|error]\n"
    "       vdprompt text [-prompt text] [-default text] [-multi_line]\n";

struct Answer {
    const char* name;
    int bit;
};
const Answer kAnswers[] = {{"abort", IMSG_RESP_ABORT},
                           {"proceed", IMSG_RESP_PROCEED},
                           {"yes", IMSG_RESP_YES},
                           {"no", IMSG_RESP_NO}};

[[noreturn]] void usage(const char* why) {
    fprintf(stderr, "vdprompt: %s\n%s", why, kUsage);
    exit(2);
}

// "abort,proceed" (or blanks between) as answer bits; usage error on an unknown name.
int answer_bits(const std::string& list) {
    int bits = 0;
    std::string name;
    for (size_t i = 0; i <= list.size(); ++i) {
        char c = i < list.size() ? list[i] : ',';
        if (c != ',' && c != ' ') {
            name += c;
            continue;
        }
        if (name.empty()) continue;
        bool known = false;
        for (const Answer& a : kAnswers)
            if (name == a.name) {
                bits |= a.bit;
                known = true;
            }
        if (!known) usage(("unknown answer \"" + name + "\"").c_str());
        name.clear();
    }
    return bits;
}

int type_code(const std::string& name) {
    static const char* const kTypes[] = {"ok", "box", "warning", "error", "trace"};
    for (int i = 0; i < 5; ++i)
        if (name == kTypes[i]) return 2 * i;
    usage(("unknown message type \"" + name + "\"").c_str());
}

// The first answer of `bits` in the order abort, proceed, yes, no.
const char* first_answer(int bits) {
    for (const Answer& a : kAnswers)
        if (bits & a.bit) return a.name;
    return "abort";
}

bool listener_present() {
    const char* file = getenv(IREQ_REQUEST_FILENAME_EV);
    return file && *file && strcmp(file, IREQ_REQUEST_FILENAME_NONE) != 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) usage("which kind of question?");
    const std::string kind = argv[1];
    if (kind != "proceed" && kind != "yes_no" && kind != "text") usage("unknown kind of question");
    std::string prompt, mask, def, type = "ok";
    bool multi_line = false, have_default = false;
    for (int i = 2; i < argc; ++i) {
        std::string opt = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) usage(("missing value after " + opt).c_str());
            return argv[++i];
        };
        if (opt == "-prompt")
            prompt = value();
        else if (opt == "-mask" && kind != "text")
            mask = value();
        else if (opt == "-default") {
            def = value();
            have_default = true;
        } else if (opt == "-type" && kind != "text")
            type = value();
        else if (opt == "-multi_line" && kind == "text")
            multi_line = true;
        else
            usage(("unknown option " + opt).c_str());
    }

    if (kind == "text") {
        char* text = nullptr;
        int rc = listener_present() ? vdw_prompt_text(prompt.c_str(), "", multi_line, &text)
                                    : IMSG_RESP_PROCEED;
        if (rc == IMSG_RESP_FAILED) return 2;
        printf("%s\n", text ? text : def.c_str());
        free(text);
        return rc == IMSG_RESP_PROCEED ? 0 : 1;
    }
    const bool proceed = kind == "proceed";
    const int offered = mask.empty() ? (proceed ? IMSG_RESP_ABORT | IMSG_RESP_PROCEED
                                                : IMSG_RESP_YES | IMSG_RESP_NO)
                                     : answer_bits(mask);
    const int fallback =
        have_default ? answer_bits(def) : (proceed ? IMSG_RESP_ABORT : IMSG_RESP_NO);
    int rc = fallback;
    if (listener_present()) {
        rc = proceed ? vdw_prompt_proceed(type_code(type), prompt.c_str(), offered, fallback)
                     : vdw_prompt_yes_no(type_code(type), prompt.c_str(), offered, fallback);
        if (rc == IMSG_RESP_FAILED) return 2;
    } else {
        rc = answer_bits(first_answer(fallback));
    }
    printf("%s\n", first_answer(rc));
    return rc == IMSG_RESP_PROCEED || rc == IMSG_RESP_YES ? 0 : 1;
}
