// Opens a plug-in module file the way the host does: load the library, read
// the descriptor exported as _mod_descrip, list its servers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace subhost {

using Activate = int(int version, void *(*lookup)(const char *, int), void *context, void *server_data);

struct ServerInfo {
  std::string class_name;
  std::string server_name;
  Activate *activate;
  const void *tags;
};

struct LoadedModule {
  void *library = nullptr;
  uint32_t sync_word = 0;
  uint32_t version = 0;
  uint32_t machine = 0;
  void *(*startup)(void) = nullptr;
  void (*shutdown)(void *) = nullptr;
  std::vector<ServerInfo> servers;
};

// Loads the module at `path` and reads its descriptor into `out`. Returns an
// empty text on success, else what went wrong.
std::string load_module(const std::string &path, LoadedModule &out);

// The server of the given class and name, or null.
const ServerInfo *find_server(const LoadedModule &module, const std::string &class_name,
                              const std::string &server_name);

void unload_module(LoadedModule &module);

} // namespace subhost
