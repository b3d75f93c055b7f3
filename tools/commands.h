// The subcommands of stubkit. Each takes the arguments from its own name on
// (argv[0] is the subcommand's name), reports errors on stderr and returns the
// process exit code: 0 success, 1 failure, 2 a usage error.
#pragma once

int RunPayloadCommand(int argc, char** argv);
int RunTagCommand(int argc, char** argv);
