// bench_e2e STUB FLOOR STUB_WITHOUT_PAYLOAD [RUNS]
// Times the stub's whole job (decode, extract, self-copy, tag, run the setup
// program, clean up) against the floor program on the same payload, in one
// run, alternating the two, and prints medians, the ratio stub/floor, and the
// size of the stub without a payload.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

double RunOnce(const wchar_t* program, DWORD& exitCode) {
  std::wstring commandLine = L"\"" + std::wstring(program) + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  if (!CreateProcessW(program, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    std::fprintf(stderr, "cannot start %ls: %lu\n", program, GetLastError());
    std::exit(2);
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  QueryPerformanceCounter(&end);
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

long long FileSize(const wchar_t* path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return -1;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argc < 4) {
    std::fputs("usage: bench_e2e STUB FLOOR STUB_WITHOUT_PAYLOAD [RUNS]\n", stderr);
    return 2;
  }
  const int runs = argc > 4 ? _wtoi(argv[4]) : 7;
  DWORD stubExit = 0, floorExit = 0;
  RunOnce(argv[1], stubExit);  // warm the file cache and Wine's DLLs
  RunOnce(argv[2], floorExit);
  std::vector<double> stub, floor;
  for (int i = 0; i < runs; ++i) {
    stub.push_back(RunOnce(argv[1], stubExit));
    floor.push_back(RunOnce(argv[2], floorExit));
  }
  if (stubExit != 0 || floorExit != 0) {
    std::fprintf(stderr, "unexpected exit codes: stub 0x%08lX, floor 0x%08lX\n", stubExit, floorExit);
    return 1;
  }
  const double stubMs = Median(stub), floorMs = Median(floor);
  std::printf("end to end, median of %d runs under a warm Wine server\n", runs);
  std::printf("  stub  (signed, tagged, reference payload) %8.1f ms\n", stubMs);
  std::printf("  floor (same decoders, in memory)          %8.1f ms\n", floorMs);
  std::printf("  ratio stub/floor                          %8.2f   (aim: 1.10 or less)\n", stubMs / floorMs);
  std::printf("stub size without payload: %lld bytes (%.1f KB; aim: 64 KB or less)\n", FileSize(argv[3]),
              static_cast<double>(FileSize(argv[3])) / 1024.0);
  return 0;
}
