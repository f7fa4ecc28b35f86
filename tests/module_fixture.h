// The real module, loaded from its file as the host loads it, and one
// activation of its server against a substitute host.
#pragma once

#include <gtest/gtest.h>

#include "substitute_host/host.h"
#include "substitute_host/module_loader.h"

namespace module_fixture {

// The module of this build, loaded once per test program.
inline const subhost::LoadedModule &module()
{
  static subhost::LoadedModule loaded = [] {
    subhost::LoadedModule m;
    std::string error = subhost::load_module(STRANDWELL_MODULE_PATH, m);
    if (!error.empty()) {
      ADD_FAILURE() << error;
      std::abort();
    }
    return m;
  }();
  return loaded;
}

inline const subhost::ServerInfo &server()
{
  const subhost::ServerInfo *s = subhost::find_server(module(), "LayoutGeneric", "hlvk2_Strandwell");
  if (!s) {
    ADD_FAILURE() << "no LayoutGeneric server hlvk2_Strandwell";
    std::abort();
  }
  return *s;
}

// Runs one activation against `host` and returns its result.
inline int activate(subhost::Host &host, int version = 5)
{
  subhost::attach(&host);
  int result = server().activate(version, subhost::global_lookup, subhost::command_context(), nullptr);
  subhost::detach();
  return result;
}

} // namespace module_fixture
