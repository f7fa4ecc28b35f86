// The msvcrt.dll imports of the module's runtime: the C library's functions
// where msvcrt's agree with them, wrappers where they differ, and stand-ins
// for msvcrt's data and start-up helpers. Both libraries use cdecl.

#include <errno.h>
#include <locale.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <cstdint>
#include <mutex>
#include <string>

#include "pe32_loader/imports.h"

namespace pe32 {
namespace {

[[noreturn]] void stop(const char *what)
{
  std::fprintf(stderr, "pe32_loader: %s\n", what);
  std::abort();
}

// ---- data ----

// msvcrt's FILE on i386: eight 32-bit members. The module reaches stdin,
// stdout and stderr as &_iob[0], [1], [2] and hands those pointers to fputc,
// fwrite and vfprintf, which take them back to the C library's streams.
struct MsvcrtFile {
  char *ptr;
  int32_t count;
  char *base;
  int32_t flags;
  int32_t file;
  int32_t charbuf;
  int32_t buffer_size;
  char *temporary_name;
};
static_assert(sizeof(MsvcrtFile) == 32);

MsvcrtFile iob[20] = {{nullptr, 0, nullptr, 0, 0, 0, 0, nullptr},
                      {nullptr, 0, nullptr, 0, 1, 0, 0, nullptr},
                      {nullptr, 0, nullptr, 0, 2, 0, 0, nullptr}};

// The largest number of bytes of a character in the current code page:
// single-byte code pages only (see the KERNEL32 conversions).
int32_t mb_cur_max = 1;

FILE *host_stream(void *stream)
{
  if (stream == &iob[0])
    return stdin;
  if (stream == &iob[1])
    return stdout;
  if (stream == &iob[2])
    return stderr;
  stop("the module wrote to a stream that is not stdin, stdout or stderr");
}

int msvcrt_fputc(int c, void *stream) { return fputc(c, host_stream(stream)); }

size_t msvcrt_fwrite(const void *data, size_t size, size_t count, void *stream)
{
  return fwrite(data, size, count, host_stream(stream));
}

// Only the runtime's own failure messages come this way; msvcrt's and the C
// library's conversions agree on everything they use but "%p", which msvcrt
// prints without "0x".
int msvcrt_vfprintf(void *stream, const char *format, va_list args)
{
  return vfprintf(host_stream(stream), format, args);
}

// ---- errno, locale, wide strings ----

int *msvcrt_errno() { return &errno; }

// msvcrt numbers the categories LC_ALL 0, LC_COLLATE 1, LC_CTYPE 2,
// LC_MONETARY 3, LC_NUMERIC 4, LC_TIME 5.
char *msvcrt_setlocale(int category, const char *locale)
{
  static const int categories[] = {LC_ALL, LC_COLLATE, LC_CTYPE, LC_MONETARY, LC_NUMERIC, LC_TIME};
  if (category < 0 || category > 5)
    return nullptr;
  return setlocale(categories[category], locale);
}

// wchar_t is 16 bits wide on Windows.
size_t msvcrt_wcslen(const uint16_t *text)
{
  size_t n = 0;
  while (text[n])
    ++n;
  return n;
}

// ---- start-up helpers ----

using Initializer = void (*)();

// Runs the non-null function pointers of [begin, end): the runtime's
// constructor and initializer tables.
void msvcrt_initterm(Initializer *begin, Initializer *end)
{
  for (; begin < end; ++begin)
    if (*begin)
      (*begin)();
}

void msvcrt_amsg_exit(int code)
{
  std::fprintf(stderr, "pe32_loader: the module's runtime failed with runtime error R60%02d\n", code);
  std::abort();
}

// The runtime registers its math error handler; nothing in msvcrt's place calls it.
void msvcrt_setusermatherr(void *) {}

// msvcrt's internal locks, by number, recursive as msvcrt's are.
std::recursive_mutex &internal_lock(int number)
{
  static std::recursive_mutex locks[64];
  if (number < 0 || number >= 64)
    stop("the module's runtime asked for an msvcrt lock that does not exist");
  return locks[number];
}

void msvcrt_lock(int number) { internal_lock(number).lock(); }
void msvcrt_unlock(int number) { internal_lock(number).unlock(); }

struct Binding {
  const char *name;
  void *address;
};

template <class F> void *fn(F *f) { return reinterpret_cast<void *>(f); }

const Binding bindings[] = {
    // data: the slot holds the data's address
    {"__mb_cur_max", &mb_cur_max},
    {"_iob", iob},
    // wrappers and stand-ins
    {"__setusermatherr", fn(msvcrt_setusermatherr)},
    {"_amsg_exit", fn(msvcrt_amsg_exit)},
    {"_errno", fn(msvcrt_errno)},
    {"_initterm", fn(msvcrt_initterm)},
    {"_lock", fn(msvcrt_lock)},
    {"_unlock", fn(msvcrt_unlock)},
    {"fputc", fn(msvcrt_fputc)},
    {"fwrite", fn(msvcrt_fwrite)},
    {"setlocale", fn(msvcrt_setlocale)},
    {"vfprintf", fn(msvcrt_vfprintf)},
    {"wcslen", fn(msvcrt_wcslen)},
    // the C library's own: same arguments, results and convention
    {"abort", fn(abort)},
    {"atoi", fn(atoi)},
    {"calloc", fn(calloc)},
    {"free", fn(free)},
    {"malloc", fn(malloc)},
    {"realloc", fn(realloc)},
    {"memcpy", fn(memcpy)},
    {"memset", fn(memset)},
    {"strchr", fn(static_cast<const char *(*)(const char *, int)>(strchr))},
    {"strerror", fn(strerror)},
    {"strlen", fn(strlen)},
    {"strncmp", fn(strncmp)},
    {"strspn", fn(strspn)},
    // msvcrt's lconv has the C library's members, in the same order, up to n_sign_posn
    {"localeconv", fn(localeconv)},
};

} // namespace

void *find_msvcrt_import(const std::string &name)
{
  for (const Binding &b : bindings)
    if (name == b.name)
      return b.address;
  return nullptr;
}

} // namespace pe32
