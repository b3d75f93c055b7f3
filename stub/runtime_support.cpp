// Replaces the parts of the C++ runtime that would pull its exception
// machinery (and with it a threads library) into stub.exe. The stub throws
// nothing: running out of memory, a string that cannot grow or a library
// assertion ends the process at once, as an uncaught out-of-memory error would.
#include <windows.h>

#include <cstdlib>
#include <new>

namespace {

[[noreturn]] void Fail() {
  // STATUS_NO_MEMORY, as the system reports a heap that cannot grow.
  ExitProcess(0xC0000017u);
}

}  // namespace

void* operator new(std::size_t size) {
  void* block = std::malloc(size != 0 ? size : 1);
  if (block == nullptr) Fail();
  return block;
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }

namespace std {
void __throw_bad_alloc() { Fail(); }
void __throw_bad_array_new_length() { Fail(); }
void __throw_length_error(const char*) { Fail(); }
void __throw_logic_error(const char*) { Fail(); }
void __throw_out_of_range(const char*) { Fail(); }
void __throw_out_of_range_fmt(const char*, ...) { Fail(); }
// A failed library assertion (an index out of range) ends the process too.
void __glibcxx_assert_fail(const char*, int, const char*, const char*) noexcept { Fail(); }
}  // namespace std
