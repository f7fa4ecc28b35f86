// A small reader of Windows PE files (PE32 and PE32+): headers, sections,
// exports, imports and base relocations, enough to check a module without
// running it, and what pe32_loader maps and binds.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pe {

struct Section {
  std::string name;
  uint32_t virtual_address, virtual_size, raw_offset, raw_size, characteristics;
};

struct File {
  std::vector<unsigned char> bytes;
  uint16_t machine = 0;
  uint16_t characteristics = 0;
  uint16_t magic = 0; // 0x10b PE32, 0x20b PE32+
  uint64_t image_base = 0;
  uint32_t entry_point = 0;     // RVA, 0 for none
  uint32_t size_of_image = 0;   // bytes the mapped image spans
  uint32_t size_of_headers = 0; // bytes of headers mapped at the image's start
  std::vector<std::pair<uint32_t, uint32_t>> directories; // rva, size
  std::vector<Section> sections;

  bool is_64() const { return magic == 0x20b; }
  unsigned pointer_size() const { return is_64() ? 8 : 4; }

  template <class T> T read(size_t offset) const
  {
    T v{};
    if (offset + sizeof v <= bytes.size())
      std::memcpy(&v, bytes.data() + offset, sizeof v);
    return v;
  }

  const Section *section_of(uint32_t rva) const
  {
    for (const Section &s : sections)
      if (rva >= s.virtual_address && rva < s.virtual_address + std::max(s.virtual_size, s.raw_size))
        return &s;
    return nullptr;
  }

  // File offset of an RVA, if it lies in a section's raw data.
  std::optional<size_t> offset_of(uint32_t rva) const
  {
    const Section *s = section_of(rva);
    if (!s || rva - s->virtual_address >= s->raw_size)
      return std::nullopt;
    return s->raw_offset + (rva - s->virtual_address);
  }

  template <class T> T read_rva(uint32_t rva) const
  {
    auto off = offset_of(rva);
    return off ? read<T>(*off) : T{};
  }

  uint64_t read_pointer_rva(uint32_t rva) const
  {
    return is_64() ? read_rva<uint64_t>(rva) : read_rva<uint32_t>(rva);
  }

  std::string string_at(uint32_t rva) const
  {
    auto off = offset_of(rva);
    std::string s;
    for (size_t i = off ? *off : bytes.size(); i < bytes.size() && bytes[i]; ++i)
      s += static_cast<char>(bytes[i]);
    return s;
  }

  bool executable(uint32_t rva) const
  {
    const Section *s = section_of(rva);
    return s && (s->characteristics & 0x20000000u);
  }
};

// Reads the headers and the section table of a PE file held in memory.
inline std::optional<File> parse(std::vector<unsigned char> bytes)
{
  File f;
  f.bytes = std::move(bytes);
  if (f.bytes.size() < 0x40 || f.bytes[0] != 'M' || f.bytes[1] != 'Z')
    return std::nullopt;
  uint32_t pe = f.read<uint32_t>(0x3c);
  if (f.read<uint32_t>(pe) != 0x00004550u)
    return std::nullopt;
  size_t coff = pe + 4;
  f.machine = f.read<uint16_t>(coff);
  uint16_t section_count = f.read<uint16_t>(coff + 2);
  uint16_t optional_size = f.read<uint16_t>(coff + 16);
  f.characteristics = f.read<uint16_t>(coff + 18);
  size_t opt = coff + 20;
  f.magic = f.read<uint16_t>(opt);
  f.entry_point = f.read<uint32_t>(opt + 16);
  f.image_base = f.is_64() ? f.read<uint64_t>(opt + 24) : f.read<uint32_t>(opt + 28);
  f.size_of_image = f.read<uint32_t>(opt + 56);
  f.size_of_headers = f.read<uint32_t>(opt + 60);
  size_t dir_count_at = opt + (f.is_64() ? 108 : 92);
  uint32_t dir_count = f.read<uint32_t>(dir_count_at);
  for (uint32_t i = 0; i < dir_count && i < 16; ++i)
    f.directories.emplace_back(f.read<uint32_t>(dir_count_at + 4 + 8 * i), f.read<uint32_t>(dir_count_at + 8 + 8 * i));
  size_t sec = opt + optional_size;
  for (uint16_t i = 0; i < section_count; ++i, sec += 40) {
    if (sec + 40 > f.bytes.size())
      return std::nullopt;
    Section s;
    s.name.assign(reinterpret_cast<const char *>(f.bytes.data() + sec), strnlen(reinterpret_cast<const char *>(f.bytes.data() + sec), 8));
    s.virtual_size = f.read<uint32_t>(sec + 8);
    s.virtual_address = f.read<uint32_t>(sec + 12);
    s.raw_size = f.read<uint32_t>(sec + 16);
    s.raw_offset = f.read<uint32_t>(sec + 20);
    s.characteristics = f.read<uint32_t>(sec + 36);
    f.sections.push_back(s);
  }
  return f;
}

inline std::optional<File> load(const std::string &path)
{
  std::ifstream in(path, std::ios::binary);
  if (!in)
    return std::nullopt;
  return parse(std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {}));
}

struct Export {
  std::string name;
  uint32_t rva;
};

inline std::vector<Export> exports(const File &f)
{
  std::vector<Export> out;
  if (f.directories.empty() || f.directories[0].first == 0)
    return out;
  uint32_t dir = f.directories[0].first;
  uint32_t name_count = f.read_rva<uint32_t>(dir + 24);
  uint32_t functions = f.read_rva<uint32_t>(dir + 28);
  uint32_t names = f.read_rva<uint32_t>(dir + 32);
  uint32_t ordinals = f.read_rva<uint32_t>(dir + 36);
  for (uint32_t i = 0; i < name_count; ++i) {
    uint16_t ordinal = f.read_rva<uint16_t>(ordinals + 2 * i);
    out.push_back({f.string_at(f.read_rva<uint32_t>(names + 4 * i)), f.read_rva<uint32_t>(functions + 4 * ordinal)});
  }
  return out;
}

inline uint32_t export_function_count(const File &f)
{
  return f.directories.empty() || !f.directories[0].first ? 0 : f.read_rva<uint32_t>(f.directories[0].first + 20);
}

struct Import {
  std::string library;
  std::vector<std::string> functions; // by name; ordinals as "#n"
  uint32_t address_table = 0;         // RVA of the slots the loader fills, one per function
};

inline std::vector<Import> imports(const File &f)
{
  std::vector<Import> out;
  if (f.directories.size() < 2 || f.directories[1].first == 0)
    return out;
  for (uint32_t d = f.directories[1].first;; d += 20) {
    uint32_t lookup = f.read_rva<uint32_t>(d);
    uint32_t name = f.read_rva<uint32_t>(d + 12);
    uint32_t thunk = f.read_rva<uint32_t>(d + 16);
    if (!name && !thunk)
      break;
    Import imp{f.string_at(name), {}, thunk};
    uint32_t table = lookup ? lookup : thunk;
    for (uint32_t i = 0;; ++i) {
      uint64_t entry = f.read_pointer_rva(table + i * f.pointer_size());
      if (!entry)
        break;
      uint64_t by_ordinal = f.is_64() ? (1ull << 63) : (1ull << 31);
      if (entry & by_ordinal)
        imp.functions.push_back("#" + std::to_string(entry & 0xffff));
      else
        imp.functions.push_back(f.string_at(static_cast<uint32_t>(entry) + 2));
    }
    out.push_back(imp);
  }
  return out;
}

struct Relocation {
  uint32_t rva;
  int type; // 3: 32-bit address, 10: 64-bit address
};

inline std::vector<Relocation> relocations(const File &f)
{
  std::vector<Relocation> out;
  if (f.directories.size() < 6 || f.directories[5].first == 0)
    return out;
  uint32_t at = f.directories[5].first, end = at + f.directories[5].second;
  while (at + 8 <= end) {
    uint32_t page = f.read_rva<uint32_t>(at);
    uint32_t size = f.read_rva<uint32_t>(at + 4);
    if (size < 8)
      break;
    for (uint32_t e = 8; e + 2 <= size; e += 2) {
      uint16_t entry = f.read_rva<uint16_t>(at + e);
      if (entry >> 12)
        out.push_back({page + (entry & 0xfff), entry >> 12});
    }
    at += size;
  }
  return out;
}

} // namespace pe
