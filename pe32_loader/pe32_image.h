// Loads a 32-bit Windows DLL (PE32, i386) into this Linux i386 process, as the
// Windows loader would: maps its sections at a base of its own, applies the
// base relocations, binds its imports to the stand-ins of imports.h, sets up
// its TLS block, runs its TLS callbacks and its entry point for process
// attach, and finds its exports.
//
// The module's code then runs directly on this thread: its exports are cdecl
// as the host calls them, KERNEL32's functions stdcall as Windows has them,
// and the fs segment points at a thread block of thread_block.h.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace pe32 {

struct Image {
  std::string name;                                      // file name, as GetModuleHandle matches it
  unsigned char *base = nullptr;                         // where the image is mapped
  uint32_t size = 0;                                     // bytes mapped
  uint32_t preferred_base = 0;                           // the base the file was linked for
  uint32_t entry_point = 0;                              // RVA, 0 for none
  std::vector<std::pair<std::string, uint32_t>> exports; // name, RVA
  std::vector<uint32_t> page_protection;                 // PAGE_* value of every 4 KiB page
  uint32_t tls_index = 0;                                // the image's slot in the thread block's module TLS
  void *tls_block = nullptr;                             // its thread's copy of the TLS template, or null
  std::vector<uint32_t> tls_callbacks;                   // addresses, in call order
  bool attached = false;                                 // the entry point accepted process attach
};

// Windows page protections.
enum PageProtection : uint32_t {
  PAGE_NOACCESS = 0x01,
  PAGE_READONLY = 0x02,
  PAGE_READWRITE = 0x04,
  PAGE_WRITECOPY = 0x08,
  PAGE_EXECUTE = 0x10,
  PAGE_EXECUTE_READ = 0x20,
  PAGE_EXECUTE_READWRITE = 0x40,
  PAGE_EXECUTE_WRITECOPY = 0x80,
};

constexpr uint32_t PAGE_BYTES = 4096;

// Loads the DLL held in `bytes` under `name`. Every import is resolved before
// anything is mapped: one this loader does not provide fails the load, named
// in `error`, and no code of the module runs. `base_hint`: map the image
// exactly there (fails if the range is taken); 0: wherever the system puts it.
// Returns the image, owned by the loader until unload_image, or null with
// `error` set.
Image *load_image(std::vector<unsigned char> bytes, const std::string &name, std::string &error,
                  uint32_t base_hint = 0);

// load_image for a file; the image's name is the file's name without its directory.
Image *load_file(const std::string &path, std::string &error);

// Runs the TLS callbacks and the entry point for process detach, then unmaps the image.
void unload_image(Image *image);

// The address of an export, or null.
void *find_export(const Image &image, const std::string &name);

// The loaded image that contains `address`, the one mapped at `base`, or the
// one whose name matches `name` ignoring letter case (a directory part in
// `name` is ignored). Null when there is none.
Image *image_containing(const void *address);
Image *image_at_base(const void *base);
Image *image_named(const std::string &name);

// Changes the protection of the image's pages covering [address, address + size)
// to `protection` (a PAGE_* value); stores the former protection of the first
// page in `old`. False for a range outside the image or an unknown protection.
bool protect_pages(Image &image, uintptr_t address, uint32_t size, uint32_t protection, uint32_t *old);

} // namespace pe32
