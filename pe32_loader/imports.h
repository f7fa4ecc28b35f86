// What the imports of a 32-bit Windows module are bound to.
//
// msvcrt.dll: the C library's own functions where both libraries agree
// (cdecl on both sides, same arguments and results), wrappers where they do
// not (stream pointers into msvcrt's _iob, locale category numbers, 16-bit
// wide characters, msvcrt's internal locks and start-up helpers), and
// stand-ins for the data it exports (_iob, __mb_cur_max).
//
// KERNEL32.dll: small stdcall functions of our own (kernel32_imports.cpp),
// enough for the module's runtime: critical sections, thread-local values,
// the last error, page protection and query inside the loaded images, module
// handles, code page conversion and sleep.
#pragma once

#include <string>

namespace pe32 {

// The address an import of `library` (letter case ignored) named `name` is
// bound to, or null when this loader does not provide it.
void *find_import(const std::string &library, const std::string &name);

void *find_msvcrt_import(const std::string &name);
void *find_kernel32_import(const std::string &name);

} // namespace pe32
