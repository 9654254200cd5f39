// Prompt procedures: questions of the core as interaction requests.
#include "interact/vdw_prompt.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/stg/stg.h"
#include "interact/ireq_msg.h"
#include "interact/ireq_request.h"

namespace {

constexpr int kTextSize = 1024;

struct AnswerName {
    int bit;
    const char* name;
};
constexpr AnswerName kAnswers[] = {
    {IMSG_RESP_ABORT, "abort"},
    {IMSG_RESP_PROCEED, "proceed"},
    {IMSG_RESP_YES, "yes"},
    {IMSG_RESP_NO, "no"},
};

// Asks one question: `fill` adds the elements after the protocol's own. On success the
// answer is in `*answer` (living in `area`) and true is returned; otherwise the reason
// has been printed.
template <typename Fill>
bool ask(const stg_scoped_area& area, Fill fill, ireq_msg_t** answer) {
    ireq_msg_t* msg = area.get()
                          ? ireq_msg_create(area.get(), VDW_PROMPT_PROTOCOL, VDW_PROMPT_VERSION, 10)
                          : nullptr;
    if (!msg) {
        imsg_error("%s\n", "Vdprompt callback unable to create interaction request");
        return false;
    }
    if (!fill(msg)) {
        imsg_error("%s\n", "Vdprompt callback unable to add fields to interaction request");
        return false;
    }
    if (ireq_request_send(VDW_PROMPT_PROTOCOL, VDW_PROMPT_VERSION, area.get(), msg, answer,
                          VDW_PROMPT_TIMEOUT) != 0 ||
        !*answer) {
        imsg_error("%s\n", "Unable to process vdprompt callback");
        return false;
    }
    return true;
}

const char* field(const ireq_msg_t* answer, const char* name) {
    const char* value = nullptr;
    return ireq_msg_get_element(answer, name, &value) ? value : nullptr;
}

// The elements of a proceed or yes/no question.
bool fill_choice(ireq_msg_t* msg, const char* kind, int type, const char* prompt, int answer_mask,
                 int default_mask) {
    char mask[kTextSize], def[kTextSize], type_name[kTextSize];
    return cvt_imsg_response_t(answer_mask, mask, sizeof mask) &&
           cvt_imsg_response_t(default_mask, def, sizeof def) &&
           cvt_imsg_type_t(type, type_name, sizeof type_name) &&
           ireq_msg_add_element(msg, "kind", kind) &&
           ireq_msg_add_element(msg, "prompt", prompt ? prompt : "") &&
           ireq_msg_add_element(msg, "mask", mask) && ireq_msg_add_element(msg, "default", def) &&
           ireq_msg_add_element(msg, "type", type_name);
}

// A proceed or yes/no question: `yes_bit` when the answer is `yes_name`, else `no_bit`.
int ask_choice(const char* kind, int type, const char* prompt, int answer_mask, int default_mask,
               const char* yes_name, int yes_bit, int no_bit) {
    stg_scoped_area area;
    ireq_msg_t* answer = nullptr;
    if (!ask(
            area,
            [&](ireq_msg_t* msg) {
                return fill_choice(msg, kind, type, prompt, answer_mask, default_mask);
            },
            &answer))
        return IMSG_RESP_FAILED;
    const char* response = field(answer, "Response");
    if (!response) {
        imsg_error("%s\n", "Vdprompt callback unable to read fields from interaction request");
        return IMSG_RESP_FAILED;
    }
    return strcmp(response, yes_name) == 0 ? yes_bit : no_bit;
}

}  // namespace

bool cvt_imsg_response_t(int bits, char* text, size_t size) {
    if (!text || size == 0) return false;
    text[0] = '\0';
    size_t used = 0;
    for (const AnswerName& a : kAnswers) {
        if (!(bits & a.bit)) continue;
        int n = snprintf(text + used, size - used, "%s%s", used ? " " : "", a.name);
        if (n < 0 || static_cast<size_t>(n) >= size - used) {
            text[0] = '\0';
            return false;
        }
        used += static_cast<size_t>(n);
    }
    return true;
}

bool cvt_imsg_type_t(int type, char* text, size_t size) {
    static const char* const kNames[] = {"ok",      "ok",    "box",   "box",   "warning",
                                         "warning", "error", "error", "trace", "trace"};
    const char* name = type >= 0 && type < 10 ? kNames[type] : "";
    if (!text || strlen(name) >= size) return false;
    memcpy(text, name, strlen(name) + 1);
    return true;
}

int vdw_prompt_text(const char* prompt, const char*, int multiline, char** text) {
    if (text) *text = nullptr;
    stg_scoped_area area;
    ireq_msg_t* answer = nullptr;
    bool asked = ask(
        area,
        [&](ireq_msg_t* msg) {
            return ireq_msg_add_element(msg, "kind", "text") &&
                   ireq_msg_add_element(msg, "prompt", prompt ? prompt : "") &&
                   ireq_msg_add_element(msg, "default", "") &&
                   ireq_msg_add_element(msg, "multi_line", multiline ? "yes" : "no");
        },
        &answer);
    if (!asked) return IMSG_RESP_FAILED;
    const char* response = field(answer, "Response");
    const char* input = field(answer, "InputText");
    if (!response || !input) {
        imsg_error("%s\n", "Vdprompt callback unable to read fields from interaction request");
        return IMSG_RESP_FAILED;
    }
    if (text) {
        *text = strdup(input);
        if (!*text) return IMSG_RESP_FAILED;
    }
    return strcmp(response, "proceed") == 0 ? IMSG_RESP_PROCEED : IMSG_RESP_ABORT;
}

int vdw_prompt_file(const char*, char** path) {
    if (path) *path = nullptr;
    return IMSG_RESP_ABORT;
}

int vdw_prompt_list(const char*, const char* const*, int, int*) {
    return IMSG_RESP_ABORT;
}

int vdw_prompt_proceed(int type, const char* prompt, int answer_mask, int default_mask) {
    return ask_choice("proceed", type, prompt, answer_mask, default_mask, "proceed",
                      IMSG_RESP_PROCEED, IMSG_RESP_ABORT);
}

int vdw_prompt_yes_no(int type, const char* prompt, int answer_mask, int default_mask) {
    return ask_choice("yes_no", type, prompt, answer_mask, default_mask, "yes", IMSG_RESP_YES,
                      IMSG_RESP_NO);
}

int vdw_prompt_password(const char*, char** password) {
    if (password) *password = nullptr;
    return IMSG_RESP_ABORT;
}

const imsg_prompt_procs_t& vdw_prompt_procs() {
    static const imsg_prompt_procs_t procs = {
        vdw_prompt_text,    vdw_prompt_file,   vdw_prompt_list,
        vdw_prompt_proceed, vdw_prompt_yes_no, vdw_prompt_password,
    };
    return procs;
}
