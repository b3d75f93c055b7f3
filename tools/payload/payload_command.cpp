// stubkit payload: files in, payload resource out.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "commands.h"
#include "member_name.h"
#include "payload_encoder.h"
#include "replace_file.h"
#include "tar_writer.h"

namespace {

const char kUsage[] =
    "usage: stubkit payload -o OUT [options] [NAME=]FILE...\n"
    "\n"
    "Packs the files, in the order given, into a tar archive and encodes it as the\n"
    "stub's payload resource (BCJ2, then LZMA-alone). OUT is replaced in one step;\n"
    "on any error it is left as it was.\n"
    "\n"
    "Each FILE becomes one member named after the file's last path component, or\n"
    "NAME when given as NAME=FILE (split at the first '='). Names may repeat; the\n"
    "stub then writes the later member over the earlier one. The stub runs the\n"
    "first member whose name ends in \".exe\" (any case) and is longer than \".exe\".\n"
    "\n"
    "A member name must be a plain Windows file name of printable ASCII, at most\n"
    "100 bytes: no directory part, drive letter or \"..\", none of \" < > : | ? *,\n"
    "no trailing dot or blank, no device name such as CON or NUL. A member must be\n"
    "smaller than 2 GiB, and the archive smaller than 4 GiB.\n"
    "\n"
    "options:\n"
    "  -o, --output OUT  the payload file to write (required)\n"
    "  -l, --list        print the members, their sizes and the setup program\n"
    "  -v, --verbose     the same as --list\n"
    "  -h, --help        show this text\n"
    "  --                end of options: every later argument is a [NAME=]FILE\n"
    "\n"
    "exit status: 0 written, 1 failed (nothing written), 2 usage error\n";

constexpr uint64_t kMaxMemberSize = (uint64_t{1} << 31) - 1;
constexpr uint64_t kMaxArchiveSize = std::numeric_limits<uint32_t>::max();

struct Options {
  std::string output;
  bool list = false;
  std::vector<std::string> specs;
};

struct InputFile {
  std::string spec;
  std::string name;
  std::string path;
  uint64_t size = 0;
  std::vector<uint8_t> data;
};

int UsageError(const std::string& message) {
  std::fprintf(stderr, "stubkit payload: %s\nTry 'stubkit payload --help'.\n", message.c_str());
  return 2;
}

int Failure(const std::string& message) {
  std::fprintf(stderr, "stubkit payload: %s\n", message.c_str());
  return 1;
}

// Returns -1 when the arguments parsed, else the exit code to return now.
int ParseArguments(int argc, char** argv, Options& options) {
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
      options.specs.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "-l" || arg == "--list" || arg == "-v" || arg == "--verbose") {
      options.list = true;
    } else if (arg == "-o" || arg == "--output") {
      if (i + 1 >= argc) return UsageError("option " + arg + " needs a file name");
      options.output = argv[++i];
    } else if (arg.compare(0, 9, "--output=") == 0) {
      options.output = arg.substr(9);
    } else {
      return UsageError("unknown option '" + arg + "'");
    }
  }
  if (options.output.empty()) return UsageError("no output file given (-o OUT)");
  if (options.specs.empty()) return UsageError("no input files given");
  return -1;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Fills name and path from the spec and checks the name. Returns an error
// message, or an empty string.
std::string ResolveSpec(InputFile& input) {
  const size_t equals = input.spec.find('=');
  if (equals != std::string::npos) {
    input.name = input.spec.substr(0, equals);
    input.path = input.spec.substr(equals + 1);
    if (input.path.empty()) return "'" + input.spec + "' names no file after '='";
  } else {
    input.path = input.spec;
    input.name = BaseName(input.path);
  }
  const std::string problem = MemberNameProblem(input.name);
  if (!problem.empty())
    return "member name '" + input.name + "' (from '" + input.spec + "') " + problem +
           ".\nGive the member a plain file name with NAME=FILE.";
  return "";
}

std::string StatInput(InputFile& input) {
  struct stat st;
  if (::stat(input.path.c_str(), &st) != 0)
    return "cannot read input file '" + input.path + "': " + std::strerror(errno);
  if (!S_ISREG(st.st_mode)) return "input '" + input.path + "' is not a regular file";
  input.size = static_cast<uint64_t>(st.st_size);
  if (input.size > kMaxMemberSize)
    return "input file '" + input.path + "' is " + std::to_string(input.size) +
           " bytes; the stub handles members smaller than 2 GiB (2147483648 bytes)";
  return "";
}

std::string ReadInput(InputFile& input) {
  std::ifstream in(input.path, std::ios::binary);
  if (!in) return "cannot read input file '" + input.path + "': " + std::strerror(errno);
  input.data.resize(static_cast<size_t>(input.size));
  in.read(reinterpret_cast<char*>(input.data.data()), static_cast<std::streamsize>(input.data.size()));
  if (static_cast<uint64_t>(in.gcount()) != input.size || in.peek() != std::char_traits<char>::eof())
    return "cannot read input file '" + input.path + "': it changed size while being read";
  return "";
}

void WarnAboutReplacedMembers(const std::vector<InputFile>& inputs) {
  for (size_t i = 0; i < inputs.size(); ++i) {
    for (size_t j = i + 1; j < inputs.size(); ++j) {
      if (SameFileName(inputs[i].name, inputs[j].name) && inputs[i].data != inputs[j].data) {
        std::fprintf(stderr,
                     "stubkit payload: warning: member '%s' (from '%s') has other content than the earlier '%s'; "
                     "the stub keeps the later one\n",
                     inputs[j].name.c_str(), inputs[j].spec.c_str(), inputs[i].name.c_str());
        break;
      }
    }
  }
}

void PrintListing(const std::vector<InputFile>& inputs, size_t setupIndex, size_t archiveSize, size_t payloadSize,
                  const std::string& output) {
  size_t distinct = 0;
  for (size_t i = 0; i < inputs.size(); ++i) {
    bool seen = false;
    for (size_t j = 0; j < i && !seen; ++j) seen = SameFileName(inputs[i].name, inputs[j].name);
    if (!seen) ++distinct;
  }
  std::printf("%4s  %12s  %s\n", "#", "bytes", "member");
  for (size_t i = 0; i < inputs.size(); ++i) {
    std::printf("%4zu  %12llu  %s%s\n", i + 1, static_cast<unsigned long long>(inputs[i].size),
                inputs[i].name.c_str(), i == setupIndex ? "  (setup program)" : "");
  }
  std::printf("%zu members, %zu distinct names; archive %zu bytes; payload %zu bytes written to %s\n", inputs.size(),
              distinct, archiveSize, payloadSize, output.c_str());
}

int BuildPayload(const Options& options) {
  std::vector<InputFile> inputs(options.specs.size());
  std::vector<uint64_t> sizes;
  for (size_t i = 0; i < inputs.size(); ++i) {
    inputs[i].spec = options.specs[i];
    std::string problem = ResolveSpec(inputs[i]);
    if (problem.empty()) problem = StatInput(inputs[i]);
    if (!problem.empty()) return Failure(problem);
    sizes.push_back(inputs[i].size);
  }

  size_t setupIndex = inputs.size();
  for (size_t i = 0; i < inputs.size() && setupIndex == inputs.size(); ++i)
    if (IsSetupProgramName(inputs[i].name)) setupIndex = i;
  if (setupIndex == inputs.size())
    return Failure(
        "no member can be the setup program: the stub runs the first member whose name ends in \".exe\" and is "
        "longer than \".exe\".\nAdd one, or name one with NAME=FILE (for example Setup.exe=installer.bin).");

  const uint64_t archiveSize = TarArchiveSize(sizes);
  if (archiveSize > kMaxArchiveSize)
    return Failure("the archive would be " + std::to_string(archiveSize) +
                   " bytes; the stub reads archives smaller than 4 GiB. Leave out some files.");

  for (InputFile& input : inputs) {
    const std::string problem = ReadInput(input);
    if (!problem.empty()) return Failure(problem);
  }
  WarnAboutReplacedMembers(inputs);

  std::vector<TarMember> members;
  for (const InputFile& input : inputs) members.push_back({input.name, input.data.data(), input.data.size()});
  std::vector<uint8_t> archive;
  std::string error;
  if (!WriteTarArchive(members, archive, error)) return Failure(error);

  std::vector<uint8_t> payload;
  if (!EncodePayload(archive.data(), archive.size(), payload, error)) return Failure(error);
  error = ReplaceFileInOneStep(options.output, payload, FileMode(options.output));
  if (!error.empty()) return Failure(error);

  if (options.list) PrintListing(inputs, setupIndex, archive.size(), payload.size(), options.output);
  return 0;
}

}  // namespace

int RunPayloadCommand(int argc, char** argv) {
  Options options;
  const int parsed = ParseArguments(argc, argv, options);
  if (parsed >= 0) return parsed;
  try {
    return BuildPayload(options);
  } catch (const std::bad_alloc&) {
    return Failure("out of memory; nothing was written");
  }
}
