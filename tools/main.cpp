// stubkit: one command-line tool for the publisher, with subcommands.
#include <cstdio>
#include <cstring>

#include "commands.h"

namespace {

const char kUsage[] =
    "usage: stubkit <command> [options]\n"
    "\n"
    "commands:\n"
    "  payload   build a payload resource from files (stubkit payload --help)\n"
    "  tag       reserve, set, get or clear the tag of a signed stub (stubkit tag --help)\n"
    "\n"
    "options:\n"
    "  -h, --help  show this text\n";

struct Command {
  const char* name;
  int (*run)(int argc, char** argv);
};

const Command kCommands[] = {
    {"payload", RunPayloadCommand},
    {"tag", RunTagCommand},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    std::fputs(kUsage, argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  for (const Command& command : kCommands) {
    if (std::strcmp(argv[1], command.name) == 0) return command.run(argc - 1, argv + 1);
  }
  std::fprintf(stderr, "stubkit: unknown command '%s'\n\n%s", argv[1], kUsage);
  return 2;
}
