// Stand-ins for the KERNEL32.dll functions the module's runtime imports, with
// Windows' stdcall convention and Windows' results. The module is used by one
// thread at a time; critical sections are still real locks.

#include <pthread.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "pe32_loader/imports.h"
#include "pe32_loader/pe32_image.h"
#include "pe32_loader/thread_block.h"

namespace pe32 {
namespace {

#define WINAPI __attribute__((stdcall))
using BOOL = int32_t;
using DWORD = uint32_t;
using WCHAR = uint16_t;

constexpr DWORD ERROR_SUCCESS = 0, ERROR_INVALID_HANDLE = 6, ERROR_INVALID_PARAMETER = 87,
                ERROR_INSUFFICIENT_BUFFER = 122, ERROR_MOD_NOT_FOUND = 126, ERROR_PROC_NOT_FOUND = 127,
                ERROR_INVALID_ADDRESS = 487;

void set_error(DWORD error) { thread_block().last_error = error; }

// ---- critical sections: the 24-byte Windows record, locked through a
// recursive mutex kept in its semaphore member ----

struct CriticalSection {
  void *debug_info;
  int32_t lock_count;
  int32_t recursion_count;
  void *owning_thread;
  pthread_mutex_t *mutex; // LockSemaphore
  uint32_t spin_count;
};
static_assert(sizeof(CriticalSection) == 24);

pthread_mutex_t *mutex_of(CriticalSection *cs)
{
  if (!cs || !cs->mutex) {
    std::fprintf(stderr, "pe32_loader: the module used a critical section it had not initialised\n");
    std::abort();
  }
  return cs->mutex;
}

void WINAPI InitializeCriticalSection(CriticalSection *cs)
{
  std::memset(cs, 0, sizeof *cs);
  cs->lock_count = -1;
  cs->mutex = new pthread_mutex_t;
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(cs->mutex, &attr);
  pthread_mutexattr_destroy(&attr);
}

void WINAPI EnterCriticalSection(CriticalSection *cs)
{
  pthread_mutex_lock(mutex_of(cs));
  ++cs->lock_count;
  ++cs->recursion_count;
  cs->owning_thread = reinterpret_cast<void *>(static_cast<uintptr_t>(thread_block().thread_id));
}

void WINAPI LeaveCriticalSection(CriticalSection *cs)
{
  pthread_mutex_t *mutex = mutex_of(cs);
  --cs->lock_count;
  if (--cs->recursion_count == 0)
    cs->owning_thread = nullptr;
  pthread_mutex_unlock(mutex);
}

void WINAPI DeleteCriticalSection(CriticalSection *cs)
{
  pthread_mutex_t *mutex = mutex_of(cs);
  pthread_mutex_destroy(mutex);
  delete mutex;
  std::memset(cs, 0, sizeof *cs);
}

// ---- errors, thread-local values, sleep ----

DWORD WINAPI GetLastError() { return thread_block().last_error; }

void *WINAPI TlsGetValue(DWORD index)
{
  if (index >= TLS_SLOT_COUNT) {
    set_error(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  set_error(ERROR_SUCCESS);
  return thread_block().tls_slots[index];
}

void WINAPI Sleep(DWORD milliseconds)
{
  timespec t{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&t, &t) != 0) {
  }
}

// ---- modules: only the images this loader has loaded exist; no other
// library can be loaded ----

std::string narrow(const WCHAR *text)
{
  std::string s;
  for (; text && *text; ++text)
    s += *text < 0x80 ? static_cast<char>(*text) : '?';
  return s;
}

void *module_named(const char *name)
{
  if (!name) {
    // The process's own program: there is none in Windows form.
    set_error(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  if (Image *image = image_named(name))
    return image->base;
  set_error(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

void *WINAPI GetModuleHandleA(const char *name) { return module_named(name); }

void *WINAPI GetModuleHandleW(const WCHAR *name) { return name ? module_named(narrow(name).c_str()) : module_named(nullptr); }

void *WINAPI LoadLibraryA(const char *name) { return name ? module_named(name) : nullptr; }

BOOL WINAPI FreeLibrary(void *module)
{
  if (image_at_base(module))
    return 1;
  set_error(ERROR_INVALID_HANDLE);
  return 0;
}

void *WINAPI GetProcAddress(void *module, const char *name)
{
  Image *image = image_at_base(module);
  if (!image) {
    set_error(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  // Names only: a value below 64 KiB is an ordinal.
  void *address = reinterpret_cast<uintptr_t>(name) < 0x10000 ? nullptr : find_export(*image, name);
  if (!address)
    set_error(ERROR_PROC_NOT_FOUND);
  return address;
}

// ---- memory: protection and query inside the loaded images ----

struct MemoryBasicInformation {
  void *base_address;
  void *allocation_base;
  DWORD allocation_protect;
  size_t region_size;
  DWORD state;
  DWORD protect;
  DWORD type;
};
static_assert(sizeof(MemoryBasicInformation) == 28);
constexpr DWORD MEM_COMMIT = 0x1000, MEM_IMAGE = 0x1000000;

size_t WINAPI VirtualQuery(const void *address, MemoryBasicInformation *info, size_t length)
{
  Image *image = image_containing(address);
  if (!image || !info || length < sizeof *info) {
    set_error(image ? ERROR_INSUFFICIENT_BUFFER : ERROR_INVALID_PARAMETER);
    return 0;
  }
  const uint32_t page = static_cast<uint32_t>(static_cast<const unsigned char *>(address) - image->base) / PAGE_BYTES;
  uint32_t end = page;
  while (end < image->page_protection.size() && image->page_protection[end] == image->page_protection[page])
    ++end;
  info->base_address = image->base + page * PAGE_BYTES;
  info->allocation_base = image->base;
  info->allocation_protect = PAGE_EXECUTE_WRITECOPY;
  info->region_size = (end - page) * PAGE_BYTES;
  info->state = MEM_COMMIT;
  info->protect = image->page_protection[page];
  info->type = MEM_IMAGE;
  return sizeof *info;
}

BOOL WINAPI VirtualProtect(void *address, size_t size, DWORD protection, DWORD *old)
{
  Image *image = image_containing(address);
  if (!old || !image || size > UINT32_MAX ||
      !protect_pages(*image, reinterpret_cast<uintptr_t>(address), static_cast<uint32_t>(size), protection, old)) {
    set_error(image ? ERROR_INVALID_PARAMETER : ERROR_INVALID_ADDRESS);
    return 0;
  }
  return 1;
}

// ---- code pages: every code page is taken as single-byte, bytes 0-255
// standing for the characters U+0000-U+00FF ----

BOOL WINAPI IsDBCSLeadByteEx(DWORD, uint8_t) { return 0; }

int WINAPI MultiByteToWideChar(DWORD, DWORD, const char *source, int source_length, WCHAR *target,
                               int target_length)
{
  if (!source || source_length == 0 || source_length < -1 || target_length < 0) {
    set_error(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const size_t n = source_length == -1 ? std::strlen(source) + 1 : static_cast<size_t>(source_length);
  if (target_length == 0)
    return static_cast<int>(n);
  if (n > static_cast<size_t>(target_length)) {
    set_error(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  for (size_t i = 0; i < n; ++i)
    target[i] = static_cast<unsigned char>(source[i]);
  return static_cast<int>(n);
}

int WINAPI WideCharToMultiByte(DWORD, DWORD, const WCHAR *source, int source_length, char *target,
                               int target_length, const char *default_char, BOOL *used_default)
{
  if (!source || source_length == 0 || source_length < -1 || target_length < 0) {
    set_error(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t n = 0;
  if (source_length == -1)
    while (source[n++]) {
    }
  else
    n = static_cast<size_t>(source_length);
  if (used_default)
    *used_default = 0;
  if (target_length == 0)
    return static_cast<int>(n);
  if (n > static_cast<size_t>(target_length)) {
    set_error(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  for (size_t i = 0; i < n; ++i) {
    if (source[i] <= 0xff) {
      target[i] = static_cast<char>(source[i]);
    } else {
      target[i] = default_char ? *default_char : '?';
      if (used_default)
        *used_default = 1;
    }
  }
  return static_cast<int>(n);
}

struct Binding {
  const char *name;
  void *address;
};

template <class F> void *fn(F *f) { return reinterpret_cast<void *>(f); }

const Binding bindings[] = {
    {"DeleteCriticalSection", fn(DeleteCriticalSection)},
    {"EnterCriticalSection", fn(EnterCriticalSection)},
    {"FreeLibrary", fn(FreeLibrary)},
    {"GetLastError", fn(GetLastError)},
    {"GetModuleHandleA", fn(GetModuleHandleA)},
    {"GetModuleHandleW", fn(GetModuleHandleW)},
    {"GetProcAddress", fn(GetProcAddress)},
    {"InitializeCriticalSection", fn(InitializeCriticalSection)},
    {"IsDBCSLeadByteEx", fn(IsDBCSLeadByteEx)},
    {"LeaveCriticalSection", fn(LeaveCriticalSection)},
    {"LoadLibraryA", fn(LoadLibraryA)},
    {"MultiByteToWideChar", fn(MultiByteToWideChar)},
    {"Sleep", fn(Sleep)},
    {"TlsGetValue", fn(TlsGetValue)},
    {"VirtualProtect", fn(VirtualProtect)},
    {"VirtualQuery", fn(VirtualQuery)},
    {"WideCharToMultiByte", fn(WideCharToMultiByte)},
};

} // namespace

void *find_kernel32_import(const std::string &name)
{
  for (const Binding &b : bindings)
    if (name == b.name)
      return b.address;
  return nullptr;
}

} // namespace pe32
