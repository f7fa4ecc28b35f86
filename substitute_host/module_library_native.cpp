#include "substitute_host/module_library.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace subhost {

void *open_library(const std::string &path, std::string &error)
{
#if defined(_WIN32)
  HMODULE library = LoadLibraryA(path.c_str());
  if (!library)
    error = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
  return reinterpret_cast<void *>(library);
#else
  void *library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library)
    error = dlerror();
  return library;
#endif
}

void *find_symbol(void *library, const char *name)
{
#if defined(_WIN32)
  return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(library), name));
#else
  return dlsym(library, name);
#endif
}

void close_library(void *library)
{
#if defined(_WIN32)
  FreeLibrary(static_cast<HMODULE>(library));
#else
  dlclose(library);
#endif
}

} // namespace subhost
