// vdtool commands. Each command parses its own options and reports through the message
// library; a usage error prints the command's usage line and fails with 1072.
#include "core/cmdsyn/cmdsyn.h"

#include <cstring>
#include <string>
#include <vector>

#include "core/imsg/imsg.h"
#include "core/rgy/rgy.h"
#include "core/vob/vob.h"

namespace {

typedef tbs_status_t (*command_t)(const std::vector<std::string>& args);

struct Command {
    const char* name;
    command_t run;
    const char* usage;
};

tbs_status_t usage_error(const char* usage) {
    imsg_error("Usage: %s\n", usage);
    return TBS_ST_BAD_REQUEST;
}

tbs_status_t failed(const char* what, const char* object, tbs_status_t st) {
    imsg_error("vdtool: Error: Unable to %s \"%s\": %s.\n", what, object, tbs_strerror(st));
    return st;
}

const char* const kMkvobUsage = "mkvob -tag vob-tag [-c comment | -nc] [-public] storage-path";
const char* const kRmvobUsage = "rmvob vob-tag";
const char* const kLsvobUsage = "lsvob [vob-tag]";

tbs_status_t mkvob(const std::vector<std::string>& args) {
    std::string tag, comment, storage;
    bool is_public = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const char* a = args[i].c_str();
        if (clp_match(a, "-tag", 1) && i + 1 < args.size()) {
            tag = args[++i];
        } else if (clp_match(a, "-comment", 1) && i + 1 < args.size()) {
            comment = args[++i];
        } else if (clp_match(a, "-nc", 2)) {
            comment.clear();
        } else if (clp_match(a, "-public", 2)) {
            is_public = true;
        } else if (a[0] == '-' || !storage.empty()) {
            return usage_error(kMkvobUsage);
        } else {
            storage = a;
        }
    }
    if (tag.empty() || storage.empty()) return usage_error(kMkvobUsage);
    vob_create_args_t c;
    c.tag = tag.c_str();
    c.storage = storage.c_str();
    c.comment = comment.c_str();
    c.is_public = is_public;
    tbs_status_t st = vob_create(c, nullptr);
    if (st != TBS_ST_OK) return failed("create versioned object base", tag.c_str(), st);
    imsg_ok(
        "Created versioned object base.\nVersioned object base \"%s\" is registered at "
        "\"%s\".\n",
        tag.c_str(), storage.c_str());
    return TBS_ST_OK;
}

tbs_status_t rmvob(const std::vector<std::string>& args) {
    if (args.size() != 1 || args[0][0] == '-') return usage_error(kRmvobUsage);
    tbs_status_t st = vob_remove(args[0].c_str());
    if (st != TBS_ST_OK) return failed("remove versioned object base", args[0].c_str(), st);
    imsg_ok("Removed versioned object base \"%s\".\n", args[0].c_str());
    return TBS_ST_OK;
}

tbs_status_t lsvob(const std::vector<std::string>& args) {
    if (args.size() > 1) return usage_error(kLsvobUsage);
    std::vector<rgy_vob_entry_t> tags;
    tbs_status_t st = rgy_list_vob_tags(nullptr, &tags);
    if (st != TBS_ST_OK) return failed("list", "versioned object bases", st);
    bool found = false;
    for (const rgy_vob_entry_t& e : tags) {
        if (!args.empty() && e.tag != args[0]) continue;
        found = true;
        imsg_ok("%-24s %s%s\n", e.tag.c_str(), e.storage.c_str(), e.is_public ? " (public)" : "");
    }
    if (!args.empty() && !found)
        return failed("find versioned object base", args[0].c_str(), TBS_ST_NOT_FOUND);
    return TBS_ST_OK;
}

tbs_status_t help(const std::vector<std::string>&);

const Command kCommands[] = {
    {"help", help, "help"},
    {"lsvob", lsvob, kLsvobUsage},
    {"mkvob", mkvob, kMkvobUsage},
    {"rmvob", rmvob, kRmvobUsage},
};

tbs_status_t help(const std::vector<std::string>&) {
    for (const Command& c : kCommands) imsg_ok("Usage: %s\n", c.usage);
    return TBS_ST_OK;
}

}  // namespace

bool clp_match(const char* arg, const char* name, int min_len) {
    if (!arg || !name || arg[0] != '-' || name[0] != '-') return false;
    size_t n = strlen(arg);
    return n >= static_cast<size_t>(min_len) + 1 && n <= strlen(name) && strncmp(arg, name, n) == 0;
}

tbs_status_t cmdsyn_execv(int argc, const char* const* argv) {
    if (argc < 1 || !argv[0]) return usage_error("vdtool command [options] [arguments]");
    for (const Command& c : kCommands) {
        if (strcmp(c.name, argv[0]) != 0) continue;
        std::vector<std::string> args(argv + 1, argv + argc);
        return c.run(args);
    }
    imsg_error("vdtool: Error: Unrecognized command: \"%s\"\n", argv[0]);
    return TBS_ST_BAD_REQUEST;
}
