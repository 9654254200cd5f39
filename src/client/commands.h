// The vdweb client's commands. Each takes its operands (the command name removed) and
// returns the process's exit status: 0 done, 1 failed, 2 used wrongly.
#ifndef CLIENT_COMMANDS_H
#define CLIENT_COMMANDS_H

#include <string>
#include <vector>

namespace client {

using Args = std::vector<std::string>;

struct Command {
    const char* name;
    const char* alias;
    int (*run)(const Args& args);
    const char* usage;    // "vdweb NAME ..." line(s)
    const char* summary;  // one line for the list
    const char* help;     // what it does, its options
};

// Every command, in the order `vdweb help` lists them.
const std::vector<Command>& commands();
const Command* find_command(const std::string& name);

}  // namespace client

#endif  // CLIENT_COMMANDS_H
