// The substitute host's way of loading modules in its PE32 build: the 32-bit
// Windows module, loaded by pe32_loader.

#include "substitute_host/module_library.h"

#include <cstddef>
#include <cstdint>

#include "pe32_loader/pe32_image.h"

namespace subhost {

// The host's records must hold their doubles where the Windows module reads
// them: 8-byte aligned, as -malign-double lays them out on i386.
struct DoubleAfterInt {
  int32_t i;
  double d;
};
static_assert(offsetof(DoubleAfterInt, d) == 8, "build the PE32 substitute host with -malign-double");

void *open_library(const std::string &path, std::string &error)
{
  return pe32::load_file(path, error);
}

void *find_symbol(void *library, const char *name)
{
  return pe32::find_export(*static_cast<pe32::Image *>(library), name);
}

void close_library(void *library) { pe32::unload_image(static_cast<pe32::Image *>(library)); }

} // namespace subhost
