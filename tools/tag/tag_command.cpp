// stubkit tag: reserve room for a tag, write it, read it, clear it.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "certificate_insert.h"
#include "commands.h"
#include "reserved_certificate.h"
#include "tag/read_tag.h"
#include "tag_error.h"
#include "tag_file.h"
#include "tag_record.h"

namespace {

const char kUsage[] =
    "usage: stubkit tag <command> [options]\n"
    "\n"
    "The tag is a short text that the stub passes to its setup program. It lives in\n"
    "the signed file's certificate table, which the Authenticode signature does not\n"
    "cover, so a signed stub can be tagged per copy without signing it again.\n"
    "\n"
    "commands:\n"
    "  reserve   make the certificate that reserves room for a tag inside the\n"
    "            signature, or insert one into an already signed file\n"
    "  set       write the tag of a signed file\n"
    "  get       print the tag of a file\n"
    "  clear     remove the tag of a signed file\n"
    "\n"
    "Run 'stubkit tag <command> --help' for each command's options.\n"
    "\n"
    "exit status: 0 done, 1 failed (nothing written), 2 usage error\n";

const char kReserveUsage[] =
    "usage: stubkit tag reserve -o DUMMY.pem [--size BYTES]\n"
    "       stubkit tag reserve --into SIGNED.exe [-o OUT] [--size BYTES]\n"
    "\n"
    "Makes a throwaway self-signed certificate (CN \"Dummy certificate\") whose\n"
    "extension holds an empty tag record with room for a tag.\n"
    "\n"
    "With -o alone, writes that certificate as PEM. Pass it to the signing step:\n"
    "  osslsigncode sign -certs cert.pem -key key.pem -h sha256 -ac DUMMY.pem \\\n"
    "      -in stub.exe -out stub-signed.exe\n"
    "The certificate then travels in the signature's certificate set, and\n"
    "'stubkit tag set' writes the tag into it in place.\n"
    "\n"
    "With --into, inserts the certificate into the certificate set of a file that\n"
    "is already signed (for signing services that cannot add certificates) and\n"
    "fixes the lengths and the PE checksum; the signature stays valid. The file is\n"
    "replaced unless -o names another output.\n"
    "\n"
    "options:\n"
    "  -o, --output FILE   where to write (the PEM, or the signed file)\n"
    "  --into SIGNED.exe   the signed file to insert the certificate into\n"
    "  --size BYTES        size of the reserved value: 14 bytes of record header\n"
    "                      plus the room for text (default 8206, from 15 to 60000)\n"
    "  -h, --help          show this text\n";

const char kSetUsage[] =
    "usage: stubkit tag set FILE TEXT [-o OUT]\n"
    "\n"
    "Writes TEXT as the tag of the signed FILE (replaced unless -o names another\n"
    "output), recomputes the PE checksum and reads the tag back with the stub's\n"
    "own reader.\n"
    "\n"
    "When the signature holds a reserved record (see 'stubkit tag reserve'), the\n"
    "text is written into it in place; this is the recommended way. Otherwise the\n"
    "record is appended after the signature and the table grows to cover it; the\n"
    "signature stays valid, but Windows' optional certificate padding check treats\n"
    "such data as tampering, so a warning is printed.\n"
    "\n"
    "TEXT is 1 to 65,534 bytes (and at most the reserved room), with no double\n"
    "quote and no NUL. The stub passes it to the setup program in double quotes.\n"
    "Put -- before FILE when TEXT begins with '-'.\n"
    "\n"
    "options:\n"
    "  -o, --output OUT  write the tagged file here instead of replacing FILE\n"
    "  -h, --help        show this text\n";

const char kGetUsage[] =
    "usage: stubkit tag get FILE\n"
    "\n"
    "Prints the tag that the stub would read from FILE, followed by a newline.\n"
    "Exits with 1, saying why, when there is none.\n"
    "\n"
    "options:\n"
    "  -h, --help  show this text\n";

const char kClearUsage[] =
    "usage: stubkit tag clear FILE [-o OUT]\n"
    "\n"
    "Removes the tag of the signed FILE (replaced unless -o names another output):\n"
    "a reserved record is emptied and its text zeroed; a record appended after the\n"
    "signature is removed and the table's sizes are restored. A file without a\n"
    "tag record is left as it is.\n"
    "\n"
    "options:\n"
    "  -o, --output OUT  write the result here instead of replacing FILE\n"
    "  -h, --help        show this text\n";

struct FreeDeleter {
  void operator()(char* text) const { std::free(text); }
};
using TagText = std::unique_ptr<char, FreeDeleter>;

class UsageError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// The arguments after the command's name: options with values, flags and
// positional operands.
struct Arguments {
  std::string output;
  std::string into;
  std::string size;
  bool help = false;
  std::vector<std::string> operands;
};

Arguments Parse(int argc, char** argv, bool allowInto) {
  Arguments arguments;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](const char* option) {
      if (i + 1 >= argc) throw UsageError(std::string(option) + " needs a value");
      return std::string(argv[++i]);
    };
    if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
      arguments.operands.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "-h" || arg == "--help") {
      arguments.help = true;
    } else if (arg == "-o" || arg == "--output") {
      arguments.output = value("-o");
    } else if (allowInto && arg == "--into") {
      arguments.into = value("--into");
    } else if (allowInto && arg == "--size") {
      arguments.size = value("--size");
    } else {
      throw UsageError("unknown option '" + arg + "'");
    }
  }
  return arguments;
}

uint32_t ParseSize(const std::string& text) {
  if (text.empty()) return kDefaultReservedSize;
  char* end = nullptr;
  errno = 0;
  const unsigned long value = std::strtoul(text.c_str(), &end, 10);
  if (errno != 0 || end == text.c_str() || *end != '\0' || text[0] == '-' || value < kMinReservedSize ||
      value > kMaxReservedSize) {
    throw UsageError("--size must be a number from " + std::to_string(kMinReservedSize) + " to " +
                     std::to_string(kMaxReservedSize));
  }
  return static_cast<uint32_t>(value);
}

// Reads the tag of the file at `path` with the stub's own reader.
std::string ReadBack(const std::string& path, bool& found) {
  TagText tag(ReadTagFromFile(path.c_str()));
  found = tag != nullptr;
  return found ? std::string(tag.get()) : std::string();
}

// Prefixes errors about one file with its name.
std::string About(const std::string& path, const std::string& message) { return path + ": " + message; }

int Reserve(const Arguments& arguments) {
  const uint32_t size = ParseSize(arguments.size);
  if (!arguments.operands.empty()) throw UsageError("unexpected argument '" + arguments.operands[0] + "'");
  if (arguments.into.empty()) {
    if (arguments.output.empty()) throw UsageError("give -o DUMMY.pem, or --into SIGNED.exe");
    const std::string pem = CertificatePem(MakeReservedCertificate(size));
    ReplaceFile(arguments.output, std::vector<uint8_t>(pem.begin(), pem.end()), FileMode(arguments.output),
                [](const std::string&) {});
    return 0;
  }
  const std::string& input = arguments.into;
  const std::string target = arguments.output.empty() ? input : arguments.output;
  std::vector<uint8_t> file = ReadWholeFile(input);
  try {
    InsertCertificate(file, MakeReservedCertificate(size));
  } catch (const TagError& error) {
    throw TagError(About(input, error.what()));
  }
  ReplaceFile(target, file, FileMode(input), [&](const std::string& written) {
    bool found = false;
    ReadBack(written, found);
    const TagRecordInfo record = FindTagRecord(ReadWholeFile(written));
    if (found || record.kind != RecordKind::Reserved) {
      throw TagError(About(input, "the inserted record does not read back as an empty reserved record"));
    }
  });
  return 0;
}

int Set(const Arguments& arguments) {
  if (arguments.operands.size() != 2) throw UsageError("give FILE and TEXT");
  const std::string& input = arguments.operands[0];
  const std::string& text = arguments.operands[1];
  const std::string target = arguments.output.empty() ? input : arguments.output;
  CheckTagText(text);
  std::vector<uint8_t> file = ReadWholeFile(input);
  RecordKind kind;
  try {
    kind = SetTag(file, text);
  } catch (const TagError& error) {
    throw TagError(About(input, error.what()));
  }
  ReplaceFile(target, file, FileMode(input), [&](const std::string& written) {
    bool found = false;
    const std::string back = ReadBack(written, found);
    if (!found || back != text) throw TagError(About(input, "the tag does not read back after writing it"));
  });
  if (kind == RecordKind::Appended) {
    std::fprintf(stderr,
                 "stubkit tag set: warning: %s has no reserved tag record, so the tag was appended after the "
                 "signature. The signature stays valid, but Windows' optional certificate padding check treats "
                 "appended data as tampering; sign with the certificate from 'stubkit tag reserve' to tag in "
                 "place.\n",
                 input.c_str());
  }
  return 0;
}

int Get(const Arguments& arguments) {
  if (!arguments.output.empty()) throw UsageError("get takes no -o");
  if (arguments.operands.size() != 1) throw UsageError("give one FILE");
  const std::string& path = arguments.operands[0];
  bool found = false;
  const std::string tag = ReadBack(path, found);
  if (found) {
    std::printf("%s\n", tag.c_str());
    return 0;
  }
  std::fprintf(stderr, "stubkit tag get: %s: no tag: %s\n", path.c_str(), ExplainMissingTag(ReadWholeFile(path)).c_str());
  return 1;
}

int Clear(const Arguments& arguments) {
  if (arguments.operands.size() != 1) throw UsageError("give one FILE");
  const std::string& input = arguments.operands[0];
  const std::string target = arguments.output.empty() ? input : arguments.output;
  std::vector<uint8_t> file = ReadWholeFile(input);
  RecordKind kind;
  try {
    kind = ClearTag(file);
  } catch (const TagError& error) {
    throw TagError(About(input, error.what()));
  }
  if (kind == RecordKind::None) {
    std::fprintf(stderr, "stubkit tag clear: %s carries no tag record; nothing to clear\n", input.c_str());
    if (target == input) return 0;
  }
  ReplaceFile(target, file, FileMode(input), [&](const std::string& written) {
    bool found = false;
    ReadBack(written, found);
    if (found) throw TagError(About(input, "a tag still reads back after clearing it"));
  });
  return 0;
}

struct Subcommand {
  const char* name;
  const char* usage;
  bool allowInto;
  int (*run)(const Arguments&);
};

const Subcommand kSubcommands[] = {
    {"reserve", kReserveUsage, true, Reserve},
    {"set", kSetUsage, false, Set},
    {"get", kGetUsage, false, Get},
    {"clear", kClearUsage, false, Clear},
};

}  // namespace

int RunTagCommand(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    std::fputs(kUsage, argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  for (const Subcommand& command : kSubcommands) {
    if (std::strcmp(argv[1], command.name) != 0) continue;
    const std::string prefix = std::string("stubkit tag ") + command.name;
    try {
      const Arguments arguments = Parse(argc - 1, argv + 1, command.allowInto);
      if (arguments.help) {
        std::fputs(command.usage, stdout);
        return 0;
      }
      return command.run(arguments);
    } catch (const UsageError& error) {
      std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", prefix.c_str(), error.what(), prefix.c_str());
      return 2;
    } catch (const TagError& error) {
      std::fprintf(stderr, "%s: %s\n", prefix.c_str(), error.what());
      return 1;
    } catch (const std::bad_alloc&) {
      std::fprintf(stderr, "%s: out of memory\n", prefix.c_str());
      return 1;
    }
  }
  std::fprintf(stderr, "stubkit tag: unknown command '%s'\n\n%s", argv[1], kUsage);
  return 2;
}
