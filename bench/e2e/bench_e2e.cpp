// bench_e2e STUB FLOOR FLOOR_WITH_IMPORTS STUB_WITHOUT_PAYLOAD [RUNS]
// Times the stub's whole job (decode, extract, self-copy, tag, run the setup
// program, clean up) against the floor programs on the same payload, in one
// run, taking turns, and prints medians, the ratios, and the size of the stub
// without a payload.
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
  if (argc < 5) {
    std::fputs("usage: bench_e2e STUB FLOOR FLOOR_WITH_IMPORTS STUB_WITHOUT_PAYLOAD [RUNS]\n", stderr);
    return 2;
  }
  const int runs = argc > 5 ? _wtoi(argv[5]) : 9;
  const wchar_t* programs[] = {argv[1], argv[2], argv[3]};
  std::vector<double> times[3];
  for (const wchar_t* program : programs) {  // warm the file cache and Wine's DLLs
    DWORD exitCode = 0;
    RunOnce(program, exitCode);
  }
  for (int i = 0; i < runs; ++i) {
    for (int p = 0; p < 3; ++p) {
      DWORD exitCode = 0;
      times[p].push_back(RunOnce(programs[p], exitCode));
      if (exitCode != 0) {
        std::fprintf(stderr, "%ls exited with 0x%08lX\n", programs[p], exitCode);
        return 1;
      }
    }
  }
  const double stubMs = Median(times[0]), floorMs = Median(times[1]), importsMs = Median(times[2]);
  std::printf("end to end, median of %d runs under a warm Wine server\n", runs);
  std::printf("  stub   (signed, tagged, reference payload)       %8.1f ms\n", stubMs);
  std::printf("  floor  (same decoders, in memory)                %8.1f ms\n", floorMs);
  std::printf("  floor  + the stub's system DLLs and COM          %8.1f ms\n", importsMs);
  std::printf("  ratio stub/floor                                 %8.2f   (aim: 1.10 or less)\n", stubMs / floorMs);
  std::printf("  ratio stub/(floor + system DLLs)                 %8.2f\n", stubMs / importsMs);
  std::printf("stub size without payload: %lld bytes (%.1f KB; aim: 64 KB or less)\n", FileSize(argv[4]),
              static_cast<double>(FileSize(argv[4])) / 1024.0);
  return 0;
}
