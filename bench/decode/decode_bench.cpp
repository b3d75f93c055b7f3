// Decode benchmark: times the stub's payload decoding (LZMA, then BCJ2, into
// memory) against `xz --format=lzma -d` over the same LZMA-alone bytes, both
// measured in this run, and counts the decode's peak heap through the
// decoder's allocator hooks.
//
//   decode_bench [--runs N] --payload FILE     a payload as the stub carries it
//   decode_bench [--runs N] --archive FILE     a tar archive, encoded here first
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bcj2_stage.h"
#include "counting_allocator.h"
#include "decode_payload.h"
#include "lzma_stage.h"
#include "payload_encoder.h"
#include "payload_layout.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

const char kUsage[] =
    "usage: decode_bench [--runs N] (--payload FILE | --archive FILE)\n"
    "  --payload FILE  decode this payload (LZMA-alone, BCJ2 streams inside)\n"
    "  --archive FILE  encode this tar archive into a payload first, then decode it\n"
    "  --runs N        timed runs of each side, the fastest counts (default 5)\n";

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

bool ReadFile(const std::string& path, std::vector<uint8_t>& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

// One run of `xz --format=lzma -dc path`, output discarded. Negative when xz
// could not be run or failed.
double TimeXz(const std::string& path) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  std::string p = path;
  char* argv[] = {const_cast<char*>("xz"), const_cast<char*>("--format=lzma"), const_cast<char*>("-dc"),
                  &p[0], nullptr};
  const Clock::time_point start = Clock::now();
  pid_t pid;
  const int spawned = posix_spawnp(&pid, "xz", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return Milliseconds(Clock::now() - start);
}

struct StageTimes {
  double lzma;
  double bcj2;
};

// One decode through the two stages, timed separately. False on a decode error.
bool TimeDecode(const std::vector<uint8_t>& payload, StageTimes& times, std::vector<uint8_t>* archiveOut) {
  const ByteAllocator& allocator = SystemAllocator();
  const Clock::time_point start = Clock::now();
  HeapBuffer filtered;
  if (!DecodeLzmaStage(payload.data(), static_cast<uint32_t>(payload.size()), allocator, filtered)) return false;
  const Clock::time_point middle = Clock::now();
  FilteredLayout layout;
  HeapBuffer archive;
  if (!ReadFilteredLayout(filtered.Data(), static_cast<uint32_t>(filtered.Size()), layout) ||
      !archive.Allocate(allocator, layout.archiveSize) ||
      !DecodeBcj2Stage(filtered.Data(), layout, archive.Data())) {
    return false;
  }
  const Clock::time_point end = Clock::now();
  times.lzma = Milliseconds(middle - start);
  times.bcj2 = Milliseconds(end - middle);
  if (archiveOut != nullptr) archiveOut->assign(archive.Data(), archive.Data() + archive.Size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 5;
  std::string payloadPath;
  std::string archivePath;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (i + 1 < argc && arg == "--runs") {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (i + 1 < argc && arg == "--payload") {
      payloadPath = argv[++i];
    } else if (i + 1 < argc && arg == "--archive") {
      archivePath = argv[++i];
    } else {
      std::fprintf(stderr, "decode_bench: unexpected argument '%s'\n%s", arg.c_str(), kUsage);
      return 2;
    }
  }
  if (payloadPath.empty() == archivePath.empty()) {
    std::fprintf(stderr, "decode_bench: give either --payload or --archive\n%s", kUsage);
    return 2;
  }

  std::vector<uint8_t> payload;
  std::vector<uint8_t> original;
  std::string xzInput = payloadPath;
  std::string temporary;
  if (!archivePath.empty()) {
    if (!ReadFile(archivePath, original)) {
      std::fprintf(stderr, "decode_bench: cannot read archive %s\n", archivePath.c_str());
      return 1;
    }
    std::string error;
    if (!EncodePayload(original.data(), original.size(), payload, error)) {
      std::fprintf(stderr, "decode_bench: cannot encode %s: %s\n", archivePath.c_str(), error.c_str());
      return 1;
    }
    char name[] = "/tmp/decode_bench.XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) {
      std::fprintf(stderr, "decode_bench: cannot make a temporary file for xz in /tmp\n");
      return 1;
    }
    close(fd);
    temporary = xzInput = name;
    if (!WriteFile(temporary, payload)) {
      std::fprintf(stderr, "decode_bench: cannot write %s\n", temporary.c_str());
      std::remove(temporary.c_str());
      return 1;
    }
  } else if (!ReadFile(payloadPath, payload)) {
    std::fprintf(stderr, "decode_bench: cannot read payload %s\n", payloadPath.c_str());
    return 1;
  }

  int status = 0;
  std::vector<uint8_t> decoded;
  StageTimes best{1e30, 1e30};
  double bestTotal = 1e30;
  double bestXz = 1e30;
  for (int run = 0; run < runs && status == 0; ++run) {
    StageTimes times;
    if (!TimeDecode(payload, times, run == 0 ? &decoded : nullptr)) {
      std::fprintf(stderr, "decode_bench: the payload does not decode\n");
      status = 1;
      break;
    }
    best.lzma = std::min(best.lzma, times.lzma);
    best.bcj2 = std::min(best.bcj2, times.bcj2);
    bestTotal = std::min(bestTotal, times.lzma + times.bcj2);
    const double xz = TimeXz(xzInput);
    if (xz < 0) {
      std::fprintf(stderr, "decode_bench: 'xz --format=lzma -dc %s' failed (is xz installed?)\n", xzInput.c_str());
      status = 1;
      break;
    }
    bestXz = std::min(bestXz, xz);
  }
  if (!temporary.empty()) std::remove(temporary.c_str());
  if (status != 0) return status;
  if (!original.empty() && decoded != original) {
    std::fprintf(stderr, "decode_bench: the decoded archive differs from %s\n", archivePath.c_str());
    return 1;
  }

  // Peak heap, one stage at a time: the LZMA stage holds the filtered archive,
  // dictionary and probability table; the BCJ2 stage the filtered archive and
  // the archive.
  CountingAllocator counter;
  HeapBuffer filtered;
  DecodeLzmaStage(payload.data(), static_cast<uint32_t>(payload.size()), counter.Allocator(), filtered);
  const size_t lzmaPeak = counter.Peak();
  counter.ResetPeak();
  {
    HeapBuffer archive;
    FilteredLayout layout;
    ReadFilteredLayout(filtered.Data(), static_cast<uint32_t>(filtered.Size()), layout);
    archive.Allocate(counter.Allocator(), layout.archiveSize);
    DecodeBcj2Stage(filtered.Data(), layout, archive.Data());
  }
  const size_t bcj2Peak = counter.Peak();
  filtered.Reset();
  // And the whole call as the stub makes it, which must not exceed either.
  counter.ResetPeak();
  {
    HeapBuffer archive;
    DecodePayload(payload.data(), static_cast<uint32_t>(payload.size()), archive, counter.Allocator());
  }

#ifdef DECODE_BENCH_STUB_SDK
  std::printf("decoder: LZMA SDK %s (the stub's)\n", DECODE_BENCH_SDK);
#else
  std::printf("decoder: LZMA SDK %s\n", DECODE_BENCH_SDK);
#endif
  std::printf("payload: %zu bytes, filtered archive %u bytes, archive %zu bytes\n", payload.size(),
              ReadLe32(payload.data() + kLzmaSizeFieldOffset), decoded.size());
  std::printf("decode (LZMA + BCJ2 into memory), fastest of %d: %.2f ms (LZMA %.2f ms, BCJ2 %.2f ms)\n", runs,
              bestTotal, best.lzma, best.bcj2);
  std::printf("baseline xz --format=lzma -d, fastest of %d:   %.2f ms (process start included)\n", runs, bestXz);
  std::printf("ratio decode / xz: %.3f   (BCJ2 share of the decode: %.3f)\n", bestTotal / bestXz,
              best.bcj2 / bestTotal);
  std::printf("peak heap: %zu bytes (LZMA stage), %zu bytes (BCJ2 stage), %zu bytes (whole decode)\n", lzmaPeak,
              bcj2Peak, counter.Peak());
  return 0;
}
