// The C++ runtime's failure paths, as the stub has them. The stub throws no
// exception and catches none: every outcome is a code. What is left are the
// standard library's reports of a broken precondition (a length beyond any
// limit, an index out of range) and of exhausted memory; none of them can be
// handled here, so each ends the process at once, as an uncaught exception
// would. Defining them in the stub keeps the runtime's exception machinery,
// its unwinder and its message printer out of a statically linked program.
#include <windows.h>

#include <cstdlib>
#include <new>

namespace {

// What the C runtime's abort() reports, without its message box.
constexpr UINT kExitAbnormal = 3;

[[noreturn]] void EndProcess() {
  ::TerminateProcess(::GetCurrentProcess(), kExitAbnormal);
  // TerminateProcess does not return for the calling process.
  __builtin_unreachable();
}

void* Allocate(std::size_t size) {
  void* block = std::malloc(size != 0 ? size : 1);
  if (block == nullptr) EndProcess();
  return block;
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }

extern "C" [[noreturn]] void __cxa_pure_virtual() { EndProcess(); }

namespace std {
[[noreturn]] void __throw_bad_alloc() { EndProcess(); }
[[noreturn]] void __throw_bad_array_new_length() { EndProcess(); }
[[noreturn]] void __throw_bad_function_call() { EndProcess(); }
[[noreturn]] void __throw_length_error(const char*) { EndProcess(); }
[[noreturn]] void __throw_logic_error(const char*) { EndProcess(); }
[[noreturn]] void __throw_out_of_range(const char*) { EndProcess(); }
[[noreturn]] void __throw_out_of_range_fmt(const char*, ...) { EndProcess(); }
[[noreturn]] void __throw_invalid_argument(const char*) { EndProcess(); }
}  // namespace std
