#include "pe32_loader/pe32_image.h"

#include <sys/mman.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "pe32_loader/imports.h"
#include "pe32_loader/pe_file.h"
#include "pe32_loader/thread_block.h"

namespace pe32 {
namespace {

constexpr uint16_t MACHINE_I386 = 0x14c;
constexpr uint16_t MAGIC_PE32 = 0x10b;
constexpr uint16_t CHARACTERISTIC_DLL = 0x2000;
constexpr int RELOCATION_HIGHLOW = 3;
constexpr uint32_t DLL_PROCESS_DETACH = 0, DLL_PROCESS_ATTACH = 1;
constexpr uint32_t LARGEST_IMAGE = 256u << 20;

// Entry points and TLS callbacks: (module handle, reason, reserved), stdcall.
using DllNotification = int32_t __attribute__((stdcall))(void *module, uint32_t reason, void *reserved);

std::vector<std::unique_ptr<Image>> &loaded()
{
  static std::vector<std::unique_ptr<Image>> images;
  return images;
}

std::vector<bool> &module_tls_used()
{
  static std::vector<bool> used(MODULE_TLS_COUNT, false);
  return used;
}

std::string lower(std::string s)
{
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

std::string file_name(const std::string &path)
{
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string hex(uint32_t v)
{
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", v);
  return text;
}

int host_protection(uint32_t protection)
{
  switch (protection) {
  case PAGE_NOACCESS: return PROT_NONE;
  case PAGE_READONLY: return PROT_READ;
  case PAGE_READWRITE:
  case PAGE_WRITECOPY: return PROT_READ | PROT_WRITE;
  case PAGE_EXECUTE: return PROT_EXEC;
  case PAGE_EXECUTE_READ: return PROT_READ | PROT_EXEC;
  case PAGE_EXECUTE_READWRITE:
  case PAGE_EXECUTE_WRITECOPY: return PROT_READ | PROT_WRITE | PROT_EXEC;
  default: return -1;
  }
}

// The page protection a section asks for with its characteristics.
uint32_t section_protection(uint32_t characteristics)
{
  const bool execute = characteristics & 0x20000000u, write = characteristics & 0x80000000u;
  if (execute)
    return write ? PAGE_EXECUTE_READWRITE : PAGE_EXECUTE_READ;
  return write ? PAGE_READWRITE : PAGE_READONLY;
}

// The more permissive of two protections, for a page two sections share.
uint32_t union_protection(uint32_t a, uint32_t b)
{
  const int p = host_protection(a) | host_protection(b);
  if (p & PROT_EXEC)
    return p & PROT_WRITE ? PAGE_EXECUTE_READWRITE : PAGE_EXECUTE_READ;
  return p & PROT_WRITE ? PAGE_READWRITE : PAGE_READONLY;
}

bool apply_protection(Image &image, uint32_t first_page, uint32_t end_page)
{
  for (uint32_t page = first_page; page < end_page;) {
    uint32_t run = page;
    while (run < end_page && image.page_protection[run] == image.page_protection[page])
      ++run;
    if (mprotect(image.base + page * PAGE_BYTES, (run - page) * PAGE_BYTES,
                 host_protection(image.page_protection[page])) != 0)
      return false;
    page = run;
  }
  return true;
}

void notify(const Image &image, uint32_t reason)
{
  for (uint32_t callback : image.tls_callbacks)
    reinterpret_cast<DllNotification *>(callback)(image.base, reason, nullptr);
}

// Checks what the mapping relies on: an i386 PE32 DLL whose headers and
// sections lie inside the file and inside the image.
std::string check_layout(const pe::File &f)
{
  if (f.machine != MACHINE_I386 || f.magic != MAGIC_PE32)
    return "not a 32-bit i386 module (machine " + hex(f.machine) + ", optional header " + hex(f.magic) + ")";
  if (!(f.characteristics & CHARACTERISTIC_DLL))
    return "not a DLL";
  if (f.size_of_image == 0 || f.size_of_image > LARGEST_IMAGE || f.size_of_headers > f.size_of_image ||
      f.size_of_headers > f.bytes.size())
    return "image or header size out of range";
  if (f.entry_point >= f.size_of_image)
    return "entry point outside the image";
  for (const pe::Section &s : f.sections) {
    const uint64_t span = std::max(s.virtual_size, s.raw_size);
    if (s.virtual_address + span > f.size_of_image)
      return "section " + s.name + " lies outside the image";
    if (s.raw_size && uint64_t(s.raw_offset) + s.raw_size > f.bytes.size())
      return "section " + s.name + " lies outside the file";
  }
  return {};
}

// The stand-in of every import, in import-table order, or the list of those
// this loader does not provide.
std::string resolve_imports(const pe::File &f, std::vector<std::pair<uint32_t, void *>> &bindings)
{
  std::string missing;
  for (const pe::Import &library : pe::imports(f)) {
    for (size_t i = 0; i < library.functions.size(); ++i) {
      const std::string &function = library.functions[i];
      void *address = function[0] == '#' ? nullptr : find_import(library.library, function);
      if (!address)
        missing += (missing.empty() ? "" : ", ") + library.library + "!" + function;
      else
        bindings.emplace_back(library.address_table + static_cast<uint32_t>(4 * i), address);
    }
  }
  return missing;
}

// Maps, relocates and binds; leaves the protections to the caller.
std::string map_image(const pe::File &f, const std::vector<std::pair<uint32_t, void *>> &bindings,
                      const std::vector<pe::Relocation> &relocations, uint32_t base_hint, Image &image)
{
  void *want = reinterpret_cast<void *>(static_cast<uintptr_t>(base_hint));
  void *at = mmap(want, f.size_of_image, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (at == MAP_FAILED)
    return "cannot map " + std::to_string(f.size_of_image) + " bytes";
  image.base = static_cast<unsigned char *>(at);
  image.size = f.size_of_image;
  if (base_hint && at != want)
    return "the range at " + hex(base_hint) + " is not free";

  std::memcpy(image.base, f.bytes.data(), f.size_of_headers);
  for (const pe::Section &s : f.sections) {
    const uint32_t copied = s.virtual_size ? std::min(s.virtual_size, s.raw_size) : s.raw_size;
    if (copied)
      std::memcpy(image.base + s.virtual_address, f.bytes.data() + s.raw_offset, copied);
  }

  const uint32_t delta = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(image.base)) - image.preferred_base;
  for (const pe::Relocation &r : relocations) {
    if (uint64_t(r.rva) + 4 > image.size)
      return "base relocation at " + hex(r.rva) + " outside the image";
    uint32_t value;
    std::memcpy(&value, image.base + r.rva, 4);
    value += delta;
    std::memcpy(image.base + r.rva, &value, 4);
  }

  for (const auto &[slot, address] : bindings) {
    if (uint64_t(slot) + 4 > image.size)
      return "import slot at " + hex(slot) + " outside the image";
    const uint32_t value = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(address));
    std::memcpy(image.base + slot, &value, 4);
  }
  return {};
}

// The image's TLS directory: its template copied into a block for this
// thread, its index written where the module reads it, its callbacks listed.
std::string set_up_tls(const pe::File &f, Image &image)
{
  if (f.directories.size() <= 9 || f.directories[9].first == 0)
    return {};
  const uint32_t dir = f.directories[9].first;
  if (uint64_t(dir) + 24 > image.size)
    return "TLS directory outside the image";
  uint32_t start, end, index_at, callbacks, zero_fill;
  std::memcpy(&start, image.base + dir, 4);
  std::memcpy(&end, image.base + dir + 4, 4);
  std::memcpy(&index_at, image.base + dir + 8, 4);
  std::memcpy(&callbacks, image.base + dir + 12, 4);
  std::memcpy(&zero_fill, image.base + dir + 16, 4);

  const uintptr_t low = reinterpret_cast<uintptr_t>(image.base), high = low + image.size;
  auto inside = [&](uint32_t va, uint32_t bytes) { return va >= low && uint64_t(va) + bytes <= high; };
  if (end < start || !inside(start, end - start) || !inside(index_at, 4) || (callbacks && !inside(callbacks, 4)))
    return "TLS directory points outside the image";

  auto &used = module_tls_used();
  auto free_slot = std::find(used.begin(), used.end(), false);
  if (free_slot == used.end())
    return "more than " + std::to_string(MODULE_TLS_COUNT) + " modules with TLS";
  image.tls_index = static_cast<uint32_t>(free_slot - used.begin());
  *free_slot = true;

  image.tls_block = std::calloc(1, size_t(end - start) + zero_fill + 1);
  std::memcpy(image.tls_block, reinterpret_cast<const void *>(static_cast<uintptr_t>(start)), end - start);
  thread_block().module_tls[image.tls_index] = image.tls_block;
  std::memcpy(reinterpret_cast<void *>(static_cast<uintptr_t>(index_at)), &image.tls_index, 4);

  for (uint32_t at = callbacks; at; at += 4) {
    if (!inside(at, 4))
      return "TLS callback list runs outside the image";
    uint32_t callback;
    std::memcpy(&callback, reinterpret_cast<const void *>(static_cast<uintptr_t>(at)), 4);
    if (!callback)
      break;
    if (!inside(callback, 1))
      return "TLS callback outside the image";
    image.tls_callbacks.push_back(callback);
  }
  return {};
}

void release(Image &image)
{
  if (image.tls_block) {
    thread_block().module_tls[image.tls_index] = nullptr;
    module_tls_used()[image.tls_index] = false;
    std::free(image.tls_block);
    image.tls_block = nullptr;
  }
  if (image.base)
    munmap(image.base, image.size);
  image.base = nullptr;
}

void forget(Image *image)
{
  auto &images = loaded();
  images.erase(std::remove_if(images.begin(), images.end(), [&](const auto &i) { return i.get() == image; }),
               images.end());
}

} // namespace

void *find_import(const std::string &library, const std::string &name)
{
  const std::string l = lower(library);
  if (l == "msvcrt.dll")
    return find_msvcrt_import(name);
  if (l == "kernel32.dll")
    return find_kernel32_import(name);
  return nullptr;
}

Image *load_image(std::vector<unsigned char> bytes, const std::string &name, std::string &error, uint32_t base_hint)
{
  auto parsed = pe::parse(std::move(bytes));
  if (!parsed) {
    error = name + ": not a PE file";
    return nullptr;
  }
  const pe::File &f = *parsed;
  error = check_layout(f);
  if (!error.empty()) {
    error = name + ": " + error;
    return nullptr;
  }

  // Everything the module needs from outside is known before any of it is mapped.
  std::vector<std::pair<uint32_t, void *>> bindings;
  const std::string missing = resolve_imports(f, bindings);
  if (!missing.empty()) {
    error = name + " imports what this loader does not provide: " + missing;
    return nullptr;
  }
  const std::vector<pe::Relocation> relocations = pe::relocations(f);
  for (const pe::Relocation &r : relocations)
    if (r.type != RELOCATION_HIGHLOW) {
      error = name + ": base relocation of type " + std::to_string(r.type) + " at " + hex(r.rva);
      return nullptr;
    }
  error = install_thread_block();
  if (!error.empty())
    return nullptr;

  auto owned = std::make_unique<Image>();
  Image &image = *owned;
  image.name = name;
  image.preferred_base = static_cast<uint32_t>(f.image_base);
  image.entry_point = f.entry_point;
  for (const pe::Export &e : pe::exports(f))
    image.exports.emplace_back(e.name, e.rva);

  error = map_image(f, bindings, relocations, base_hint, image);
  if (error.empty())
    error = set_up_tls(f, image);
  if (error.empty()) {
    const uint32_t pages = (image.size + PAGE_BYTES - 1) / PAGE_BYTES;
    image.page_protection.assign(pages, PAGE_NOACCESS);
    for (uint32_t p = 0; p < (f.size_of_headers + PAGE_BYTES - 1) / PAGE_BYTES; ++p)
      image.page_protection[p] = PAGE_READONLY;
    for (const pe::Section &s : f.sections) {
      const uint32_t end = s.virtual_address + std::max(s.virtual_size, s.raw_size);
      for (uint32_t p = s.virtual_address / PAGE_BYTES; p < (end + PAGE_BYTES - 1) / PAGE_BYTES; ++p)
        image.page_protection[p] = image.page_protection[p] == PAGE_NOACCESS
                                       ? section_protection(s.characteristics)
                                       : union_protection(image.page_protection[p], section_protection(s.characteristics));
    }
    if (!apply_protection(image, 0, pages))
      error = "cannot set the protection of the image's pages";
  }
  if (!error.empty()) {
    error = name + ": " + error;
    release(image);
    return nullptr;
  }

  // From here on the module's own code runs, as on Windows: TLS callbacks,
  // then the entry point, each told that the process attaches.
  loaded().push_back(std::move(owned));
  notify(image, DLL_PROCESS_ATTACH);
  image.attached = true;
  if (image.entry_point &&
      !reinterpret_cast<DllNotification *>(image.base + image.entry_point)(image.base, DLL_PROCESS_ATTACH, nullptr)) {
    // Windows then tells the module that the process detaches, and unloads it.
    error = name + ": its entry point refused process attach";
    unload_image(&image);
    return nullptr;
  }
  return &image;
}

Image *load_file(const std::string &path, std::string &error)
{
  std::FILE *in = std::fopen(path.c_str(), "rb");
  if (!in) {
    error = "cannot read " + path;
    return nullptr;
  }
  std::vector<unsigned char> bytes;
  unsigned char chunk[65536];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, in)) > 0;)
    bytes.insert(bytes.end(), chunk, chunk + n);
  std::fclose(in);
  return load_image(std::move(bytes), file_name(path), error);
}

void unload_image(Image *image)
{
  if (!image)
    return;
  if (image->attached) {
    notify(*image, DLL_PROCESS_DETACH);
    if (image->entry_point)
      reinterpret_cast<DllNotification *>(image->base + image->entry_point)(image->base, DLL_PROCESS_DETACH, nullptr);
  }
  release(*image);
  forget(image);
}

void *find_export(const Image &image, const std::string &name)
{
  for (const auto &[export_name, rva] : image.exports)
    if (export_name == name && rva < image.size)
      return image.base + rva;
  return nullptr;
}

Image *image_containing(const void *address)
{
  const auto *a = static_cast<const unsigned char *>(address);
  for (const auto &image : loaded())
    if (a >= image->base && a < image->base + image->size)
      return image.get();
  return nullptr;
}

Image *image_at_base(const void *base)
{
  for (const auto &image : loaded())
    if (image->base == base)
      return image.get();
  return nullptr;
}

Image *image_named(const std::string &name)
{
  const std::string wanted = lower(file_name(name));
  for (const auto &image : loaded())
    if (lower(image->name) == wanted)
      return image.get();
  return nullptr;
}

bool protect_pages(Image &image, uintptr_t address, uint32_t size, uint32_t protection, uint32_t *old)
{
  const uintptr_t low = reinterpret_cast<uintptr_t>(image.base);
  if (host_protection(protection) < 0 || address < low || address - low >= image.size ||
      size > image.size - (address - low))
    return false;
  const uint32_t first = static_cast<uint32_t>(address - low) / PAGE_BYTES;
  const uint32_t end = (static_cast<uint32_t>(address - low) + std::max(size, 1u) + PAGE_BYTES - 1) / PAGE_BYTES;
  if (old)
    *old = image.page_protection[first];
  std::fill(image.page_protection.begin() + first, image.page_protection.begin() + end, protection);
  return apply_protection(image, first, end);
}

} // namespace pe32
