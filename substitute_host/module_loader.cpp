#include "substitute_host/module_loader.h"

#include <cstring>

#include "substitute_host/module_library.h"

namespace subhost {
namespace {

// Reads a pointer-sized value at a byte offset.
template <class T> T read_pointer(const unsigned char *base, size_t offset)
{
  T value;
  static_assert(sizeof value == sizeof(void *));
  std::memcpy(&value, base + offset, sizeof value);
  return value;
}

} // namespace

std::string load_module(const std::string &path, LoadedModule &out)
{
  std::string error;
  out = {};
  out.library = open_library(path, error);
  if (!out.library)
    return error;

  // The descriptor: three 32-bit words, then startup, shutdown and the server
  // list at pointer alignment.
  auto *d = static_cast<const unsigned char *>(find_symbol(out.library, "_mod_descrip"));
  if (!d) {
    unload_module(out);
    return "the module exports no _mod_descrip";
  }
  std::memcpy(&out.sync_word, d, 4);
  std::memcpy(&out.version, d + 4, 4);
  std::memcpy(&out.machine, d + 8, 4);
  if (out.sync_word != 0x04121994u || out.version != 3u) {
    unload_module(out);
    return "the descriptor's sync word or version is wrong";
  }
  const size_t p = sizeof(void *);
  const size_t first = (12 + p - 1) / p * p;
  out.startup = read_pointer<void *(*)(void)>(d, first);
  out.shutdown = read_pointer<void (*)(void *)>(d, first + p);
  auto *entry = read_pointer<const unsigned char *>(d, first + 2 * p);

  // Server entries: class name, server name, activation, tags; a null class ends the list.
  for (; entry; entry += 4 * p) {
    auto *class_name = read_pointer<const char *>(entry, 0);
    if (!class_name)
      break;
    ServerInfo s;
    s.class_name = class_name;
    auto *server_name = read_pointer<const char *>(entry, p);
    s.server_name = server_name ? server_name : "";
    s.activate = read_pointer<Activate *>(entry, 2 * p);
    s.tags = read_pointer<const void *>(entry, 3 * p);
    out.servers.push_back(s);
  }
  return {};
}

const ServerInfo *find_server(const LoadedModule &module, const std::string &class_name,
                              const std::string &server_name)
{
  for (const ServerInfo &s : module.servers)
    if (s.class_name == class_name && s.server_name == server_name)
      return &s;
  return nullptr;
}

void unload_module(LoadedModule &module)
{
  if (module.library)
    close_library(module.library);
  module.library = nullptr;
}

} // namespace subhost
