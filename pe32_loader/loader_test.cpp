// The PE32 loader on the real 32-bit module: where it maps it, what it refuses
// before any of the module's code runs, and the stand-ins whose Windows
// behaviour differs from the C library's.

#include <sys/mman.h>

#include <algorithm>
#include <clocale>
#include <cstdarg>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pe32_loader/imports.h"
#include "pe32_loader/pe32_image.h"
#include "pe32_loader/pe_file.h"

namespace {

const std::string module_name = "hlvk2_strandwell_32.dll";

std::vector<unsigned char> module_bytes()
{
  std::ifstream in(STRANDWELL_MODULE_PATH, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

uint32_t word_at(const void *address)
{
  uint32_t v;
  std::memcpy(&v, address, 4);
  return v;
}

bool inside(const pe32::Image &image, uint32_t address)
{
  const uintptr_t base = reinterpret_cast<uintptr_t>(image.base);
  return address >= base && address - base < image.size;
}

// Replaces the one occurrence of `from` (with its terminating zero) by `to`, of the same length.
void rename(std::vector<unsigned char> &bytes, const std::string &from, const std::string &to)
{
  ASSERT_EQ(from.size(), to.size());
  const char *f = from.c_str();
  auto at = std::search(bytes.begin(), bytes.end(), f, f + from.size() + 1);
  ASSERT_NE(at, bytes.end()) << from;
  ASSERT_EQ(std::search(at + 1, bytes.end(), f, f + from.size() + 1), bytes.end()) << from << " occurs twice";
  std::copy(to.begin(), to.end(), at);
}

// Makes the entry point and every TLS callback trap at once if called.
void trap_module_code(std::vector<unsigned char> &bytes)
{
  auto file = pe::parse(bytes);
  ASSERT_TRUE(file);
  std::vector<uint32_t> code = {file->entry_point};
  const uint32_t tls = file->directories.at(9).first;
  ASSERT_NE(tls, 0u);
  for (uint32_t list = file->read_rva<uint32_t>(tls + 12) - static_cast<uint32_t>(file->image_base);;
       list += 4) {
    const uint32_t callback = file->read_rva<uint32_t>(list);
    if (!callback)
      break;
    code.push_back(callback - static_cast<uint32_t>(file->image_base));
  }
  for (uint32_t rva : code) {
    auto offset = file->offset_of(rva);
    ASSERT_TRUE(offset);
    bytes.at(*offset) = 0x0f; // ud2
    bytes.at(*offset + 1) = 0x0b;
  }
}

struct Descriptor {
  uint32_t sync_word, startup, class_name;
};

Descriptor descriptor_of(const pe32::Image &image)
{
  const auto *d = static_cast<const unsigned char *>(pe32::find_export(image, "_mod_descrip"));
  if (!d)
    return {};
  const uint32_t servers = word_at(d + 20);
  return {word_at(d), word_at(d + 12), servers ? word_at(reinterpret_cast<const void *>(servers)) : 0};
}

// Relocations skipped, or applied with the wrong sign or base, leave the
// descriptor's pointers aimed at the base the file was linked for, or at the
// other copy: each copy here is mapped away from that base and reads its own
// strings and code.
TEST(Loader, RelocatesEachCopyToItsOwnBase)
{
  const std::vector<unsigned char> bytes = module_bytes();
  ASSERT_FALSE(bytes.empty()) << STRANDWELL_MODULE_PATH << " is missing: run scripts/build first";
  auto file = pe::parse(bytes);
  ASSERT_TRUE(file);

  // A range the system just handed out and took back is free for the hint.
  void *probe = mmap(nullptr, file->size_of_image + (1u << 16), PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(probe, MAP_FAILED);
  munmap(probe, file->size_of_image + (1u << 16));
  const uint32_t hint = (static_cast<uint32_t>(reinterpret_cast<uintptr_t>(probe)) + 0xffffu) & ~0xffffu;
  ASSERT_NE(hint, file->image_base);

  std::string error;
  pe32::Image *first = pe32::load_image(bytes, module_name, error, hint);
  ASSERT_TRUE(first) << error;
  pe32::Image *second = pe32::load_image(bytes, module_name, error);
  ASSERT_TRUE(second) << error;
  EXPECT_EQ(reinterpret_cast<uintptr_t>(first->base), hint);

  using Startup = void *();
  for (pe32::Image *image : {first, second}) {
    const Descriptor d = descriptor_of(*image);
    EXPECT_EQ(d.sync_word, 0x04121994u);
    ASSERT_TRUE(inside(*image, d.class_name));
    EXPECT_STREQ(reinterpret_cast<const char *>(d.class_name), "LayoutGeneric");
    ASSERT_TRUE(inside(*image, d.startup));
    const uint32_t page = (d.startup - static_cast<uint32_t>(reinterpret_cast<uintptr_t>(image->base))) / 4096;
    EXPECT_EQ(image->page_protection.at(page), pe32::PAGE_EXECUTE_READ);
    EXPECT_EQ(reinterpret_cast<Startup *>(d.startup)(), reinterpret_cast<void *>(4));
  }
  pe32::unload_image(second);
  pe32::unload_image(first);
}

// An import the loader does not provide, or a library it does not know, is
// named in the error, and neither the TLS callbacks nor the entry point run
// (they would trap here).
TEST(Loader, UnknownImportsFailBeforeAnyModuleCodeRuns)
{
  struct Case {
    std::string from, to;
    std::vector<std::string> named;
  };
  const Case cases[] = {
      {"Sleep", "Sleeq", {"KERNEL32.dll!Sleeq"}},
      {"msvcrt.dll", "msvcrq.dll", {"msvcrq.dll!malloc", "msvcrq.dll!_initterm", "msvcrq.dll!__mb_cur_max"}},
  };
  for (const Case &c : cases) {
    std::vector<unsigned char> bytes = module_bytes();
    rename(bytes, c.from, c.to);
    trap_module_code(bytes);
    std::string error;
    EXPECT_EQ(pe32::load_image(bytes, module_name, error), nullptr) << c.to;
    EXPECT_NE(error.find(module_name), std::string::npos) << error;
    for (const std::string &name : c.named)
      EXPECT_NE(error.find(name), std::string::npos) << error;
    EXPECT_EQ(pe32::image_named(module_name), nullptr) << c.to;
  }
}

// An entry point that refuses process attach fails the load, as LoadLibrary does.
TEST(Loader, EntryPointRefusalFailsTheLoad)
{
  std::vector<unsigned char> bytes = module_bytes();
  auto file = pe::parse(bytes);
  ASSERT_TRUE(file);
  auto entry = file->offset_of(file->entry_point);
  ASSERT_TRUE(entry);
  const unsigned char refuse[] = {0x31, 0xc0, 0xc2, 0x0c, 0x00}; // xor eax, eax; ret 12
  std::copy(std::begin(refuse), std::end(refuse), bytes.begin() + static_cast<long>(*entry));
  std::string error;
  EXPECT_EQ(pe32::load_image(bytes, module_name, error), nullptr);
  EXPECT_NE(error.find("refused process attach"), std::string::npos) << error;
  EXPECT_EQ(pe32::image_named(module_name), nullptr);
}

// ---- stand-ins whose Windows behaviour differs from the C library's ----

class StandIns : public ::testing::Test {
protected:
  static void SetUpTestSuite()
  {
    std::string error;
    image = pe32::load_file(STRANDWELL_MODULE_PATH, error);
    ASSERT_TRUE(image) << error;
  }
  static void TearDownTestSuite() { pe32::unload_image(image); }

  template <class F> static F *msvcrt(const char *name)
  {
    return reinterpret_cast<F *>(pe32::find_import("msvcrt.dll", name));
  }
  template <class F> static F *kernel32(const char *name)
  {
    return reinterpret_cast<F *>(pe32::find_import("KERNEL32.dll", name));
  }

  static pe32::Image *image;
};
pe32::Image *StandIns::image = nullptr;

#define WINAPI __attribute__((stdcall))

// 16-bit wide characters, msvcrt's locale category numbers, and streams
// reached through msvcrt's _iob: the C library's own functions would read
// 32-bit characters, another category, or a FILE that is not one.
TEST_F(StandIns, MsvcrtConventions)
{
  const uint16_t wide[] = {'L', 'W', 0, 'x', 0};
  EXPECT_EQ(msvcrt<size_t(const uint16_t *)>("wcslen")(wide), 2u);

  ASSERT_TRUE(std::setlocale(LC_CTYPE, "C.UTF-8"));
  auto *set_locale = msvcrt<char *(int, const char *)>("setlocale");
  EXPECT_STREQ(set_locale(2, nullptr), "C.UTF-8"); // LC_CTYPE
  EXPECT_STREQ(set_locale(4, nullptr), "C");       // LC_NUMERIC
  std::setlocale(LC_CTYPE, "C");

  auto *iob = static_cast<unsigned char *>(pe32::find_import("msvcrt.dll", "_iob"));
  auto *fwrite_ = msvcrt<size_t(const void *, size_t, size_t, void *)>("fwrite");
  auto *fputc_ = msvcrt<int(int, void *)>("fputc");
  auto *vfprintf_ = msvcrt<int(void *, const char *, va_list)>("vfprintf");
  auto print = [&](void *stream, const char *format, ...) {
    va_list args;
    va_start(args, format);
    vfprintf_(stream, format, args);
    va_end(args);
  };
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  fwrite_("out", 1, 3, iob + 32);
  fputc_('!', iob + 32);
  print(iob + 64, "err %d %s", 7, "x");
  std::fflush(stdout);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "err 7 x");
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "out!");
}

// Module handles, exports and page queries as the runtime's start-up uses
// them: names match in any letter case, unknown ones fail with Windows'
// error codes, and a page's protection reads back as it was set.
TEST_F(StandIns, Kernel32ModulesAndPages)
{
  auto *get_module = kernel32<void *WINAPI(const char *)>("GetModuleHandleA");
  auto *get_proc = kernel32<void *WINAPI(void *, const char *)>("GetProcAddress");
  auto *last_error = kernel32<uint32_t WINAPI()>("GetLastError");
  EXPECT_EQ(get_module("HLVK2_Strandwell_32.DLL"), image->base);
  EXPECT_EQ(get_module("libgcc_s_dw2-1.dll"), nullptr);
  EXPECT_EQ(last_error(), 126u);
  EXPECT_EQ(get_proc(image->base, "_mod_descrip"), pe32::find_export(*image, "_mod_descrip"));
  EXPECT_EQ(get_proc(image->base, "bake_activate"), nullptr);
  EXPECT_EQ(last_error(), 127u);

  struct MemoryInfo {
    void *base, *allocation_base;
    uint32_t allocation_protect;
    size_t region_size;
    uint32_t state, protect, type;
  } info{};
  auto *query = kernel32<size_t WINAPI(const void *, MemoryInfo *, size_t)>("VirtualQuery");
  auto *protect = kernel32<int WINAPI(void *, size_t, uint32_t, uint32_t *)>("VirtualProtect");
  unsigned char *code = image->base + image->entry_point;
  ASSERT_EQ(query(code, &info, sizeof info), sizeof info);
  EXPECT_EQ(info.base, image->base + (image->entry_point & ~4095u));
  EXPECT_EQ(info.allocation_base, image->base);
  EXPECT_EQ(info.protect, pe32::PAGE_EXECUTE_READ);
  EXPECT_EQ(info.type, 0x1000000u);

  uint32_t old = 0;
  ASSERT_TRUE(protect(code, 1, pe32::PAGE_EXECUTE_READWRITE, &old));
  EXPECT_EQ(old, pe32::PAGE_EXECUTE_READ);
  ASSERT_EQ(query(code, &info, sizeof info), sizeof info);
  EXPECT_EQ(info.protect, pe32::PAGE_EXECUTE_READWRITE);
  EXPECT_EQ(info.region_size, 4096u);
  const unsigned char original = code[0];
  *static_cast<volatile unsigned char *>(code) = original; // a write, as the runtime's relocator makes
  ASSERT_TRUE(protect(code, 1, old, &old));
  EXPECT_EQ(old, pe32::PAGE_EXECUTE_READWRITE);

  int outside = 0;
  EXPECT_EQ(query(&outside, &info, sizeof info), 0u);
  EXPECT_FALSE(protect(&outside, 4, pe32::PAGE_READWRITE, &old));
}

} // namespace
