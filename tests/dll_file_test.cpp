// Both Windows modules, read as files: what a loader checks before it runs
// any of their code (machine, the one export, the two imports, the
// descriptor's bytes and their relocations).

#include <algorithm>
#include <set>

#include <gtest/gtest.h>

#include "pe32_loader/pe_file.h"

namespace {

struct ModuleFile {
  const char *name;
  uint16_t machine;
  uint16_t magic;
};

class DllFile : public ::testing::TestWithParam<ModuleFile> {
protected:
  void SetUp() override
  {
    std::string path = std::string(STRANDWELL_DIST_DIR) + "/" + GetParam().name;
    auto loaded = pe::load(path);
    ASSERT_TRUE(loaded) << path << " is missing or not a PE file: run scripts/build first";
    file = *loaded;
  }

  // The RVA held by a pointer-sized field at `rva`, or 0 for a null pointer.
  uint32_t pointee(uint32_t rva) const
  {
    uint64_t va = file.read_pointer_rva(rva);
    return va ? static_cast<uint32_t>(va - file.image_base) : 0;
  }

  bool relocated(uint32_t rva) const
  {
    int type = file.is_64() ? 10 : 3;
    auto r = pe::relocations(file);
    return std::any_of(r.begin(), r.end(), [&](const pe::Relocation &x) { return x.rva == rva && x.type == type; });
  }

  pe::File file;
};

// A wrong target or a missing DLL flag: the host refuses to load the module.
TEST_P(DllFile, IsADllForItsMachine)
{
  EXPECT_EQ(file.machine, GetParam().machine);
  EXPECT_EQ(file.magic, GetParam().magic);
  EXPECT_TRUE(file.characteristics & 0x2000) << "not marked as a DLL";
}

// A stray export (a leaked C++ symbol, auto-export) or a missing one.
TEST_P(DllFile, ExportsOnlyTheDescriptor)
{
  auto e = pe::exports(file);
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].name, "_mod_descrip");
  EXPECT_EQ(pe::export_function_count(file), 1u);
}

// A runtime DLL the user's machine may not have (libstdc++, libgcc, winpthread).
TEST_P(DllFile, ImportsOnlyKernel32AndMsvcrt)
{
  std::set<std::string> libraries;
  for (const pe::Import &i : pe::imports(file))
    libraries.insert(i.library);
  EXPECT_EQ(libraries, (std::set<std::string>{"KERNEL32.dll", "msvcrt.dll"}));
}

// The descriptor's bytes as the host reads them: three words, then the
// pointers at this build's alignment, each fixed up when the module is moved.
TEST_P(DllFile, DescriptorBytes)
{
  auto e = pe::exports(file);
  ASSERT_EQ(e.size(), 1u);
  const uint32_t d = e[0].rva;
  const uint32_t p = file.pointer_size();
  EXPECT_EQ(file.read_rva<uint32_t>(d), 0x04121994u);
  EXPECT_EQ(file.read_rva<uint32_t>(d + 4), 3u);
  EXPECT_EQ(file.read_rva<uint32_t>(d + 8), 0x300u);

  const uint32_t startup = d + (p == 8 ? 16 : 12);
  const uint32_t shutdown = startup + p;
  const uint32_t servers = shutdown + p;
  EXPECT_TRUE(file.executable(pointee(startup)));
  EXPECT_TRUE(file.executable(pointee(shutdown)));
  EXPECT_NE(pointee(startup), pointee(shutdown));
  const uint32_t entry = pointee(servers);
  ASSERT_NE(entry, 0u);
  for (uint32_t field : {startup, shutdown, servers})
    EXPECT_TRUE(relocated(field)) << "descriptor field at +" << field - d;

  // Server entries: class name, server name, activation, tags; then the null entry.
  EXPECT_EQ(file.string_at(pointee(entry)), "LayoutGeneric");
  EXPECT_EQ(file.string_at(pointee(entry + p)), "hlvk2_Strandwell");
  EXPECT_TRUE(file.executable(pointee(entry + 2 * p)));
  EXPECT_EQ(file.read_pointer_rva(entry + 3 * p), 0u);
  for (uint32_t k = 0; k < 3; ++k)
    EXPECT_TRUE(relocated(entry + k * p)) << "server entry member " << k + 1;
  for (uint32_t k = 0; k < 4; ++k)
    EXPECT_EQ(file.read_pointer_rva(entry + (4 + k) * p), 0u) << "terminator member " << k + 1;
}

INSTANTIATE_TEST_SUITE_P(Modules, DllFile,
                         ::testing::Values(ModuleFile{"hlvk2_strandwell_64.dll", 0x8664, 0x20b},
                                           ModuleFile{"hlvk2_strandwell_32.dll", 0x14c, 0x10b}),
                         [](const auto &param_info) { return param_info.param.machine == 0x8664 ? "x86_64" : "i386"; });

} // namespace
