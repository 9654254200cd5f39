// vdweb, the command-line client: a copy area worked over HTTP.
#include <cstdio>
#include <cstring>
#include <string>

#include "client/commands.h"
#include "client/crash_hook.h"

namespace {

void print_overview() {
    printf(
        "usage: vdweb [--help] [--version] COMMAND [ARGS]\n\n"
        "vdweb works in a copy area: a directory kept in step with a web view on a Verdane\n"
        "server, over HTTP.\n\nCommands:\n");
    for (const client::Command& c : client::commands()) {
        std::string name = c.name;
        if (c.alias) name += std::string(" (") + c.alias + ")";
        printf("   %-18s %s\n", name.c_str(), c.summary);
    }
    printf("\nType 'vdweb help COMMAND' for help on a command.\n");
}

int help(const client::Args& args) {
    if (args.empty()) {
        print_overview();
        return 0;
    }
    const client::Command* c = client::find_command(args[0]);
    if (!c) {
        fprintf(stderr, "vdweb: unknown command '%s'\n", args[0].c_str());
        return 2;
    }
    printf("usage: %s\n\n%s", c->usage, c->help);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    client::Args args(argv + 1, argv + argc);
    if (args.empty()) {
        print_overview();
        return 2;
    }
    const std::string first = args[0];
    args.erase(args.begin());
    if (first == "--help" || first == "-h" || first == "help") return help(args);
    if (first == "--version") {
        printf("vdweb 1.0\n");
        return 0;
    }
    const client::Command* c = client::find_command(first);
    if (!c) {
        fprintf(stderr, "vdweb: unknown command '%s'\nType 'vdweb --help' for the commands.\n",
                first.c_str());
        return 2;
    }
    for (const std::string& a : args)
        if (a == "--help" || a == "-h") return help({first});
    const int rc = c->run(args);
    // A fault test that asked for a kill beyond the end of the run learns its length.
    if (client::crash_steps_planned())
        fprintf(stderr, "vdweb: crash steps %lld\n", client::crash_steps_taken());
    return rc;
}
