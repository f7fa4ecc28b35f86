// How a module file becomes code in this process. Each build of the
// substitute host links one way: module_library_native.cpp (the system's own
// loader: dlopen, or LoadLibrary on Windows) or pe32_loader's
// module_library_pe32.cpp (the 32-bit Windows module on Linux i386).
#pragma once

#include <string>

namespace subhost {

// Loads the library at `path`; null with `error` set when it cannot.
void *open_library(const std::string &path, std::string &error);

// The address of an exported symbol, or null.
void *find_symbol(void *library, const char *name);

void close_library(void *library);

} // namespace subhost
