// layout_harness: loads a plug-in module file, checks its descriptor, and
// activates its "LayoutGeneric" server against the substitute host, with the
// panel answered as the command line says. Prints what the module did.
//
//   layout_harness MODULE [--answer cancel|world|local|default] [--default-choice N]
//                  [--version N] [--withhold SERVICE]... [--refuse-panel] [--activations N]
//                  [--rig FILE | --no-rig]
//
// The scene is the built-in rig unless --rig names a rig file (format in
// substitute_host/rig.h) or --no-rig asks for an empty scene.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include "substitute_host/host.h"
#include "substitute_host/module_loader.h"
#include "substitute_host/report.h"

namespace {

int usage()
{
  std::fprintf(stderr, "usage: layout_harness MODULE [--answer cancel|world|local|default] [--default-choice N]\n"
                       "                      [--version N] [--withhold SERVICE]... [--refuse-panel] "
                       "[--activations N]\n"
                       "                      [--rig FILE | --no-rig]\n");
  return 2;
}

} // namespace

int main(int argc, char **argv)
{
#if defined(_WIN32)
  // The same bytes on every platform: no carriage returns added to the report.
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  if (argc < 2)
    return usage();
  std::string path = argv[1];
  subhost::Host config;
  int version = 5;
  int activations = 1;
  std::string rig = subhost::builtin_rig;
  for (int i = 2; i < argc; ++i) {
    std::string arg = argv[i];
    bool has_value = i + 1 < argc;
    if (arg == "--answer" && has_value) {
      std::string a = argv[++i];
      if (a == "cancel") config.answer = subhost::PanelAnswer::Cancel;
      else if (a == "world") config.answer = subhost::PanelAnswer::World;
      else if (a == "local") config.answer = subhost::PanelAnswer::Local;
      else if (a == "default") config.answer = subhost::PanelAnswer::Default;
      else return usage();
    } else if (arg == "--default-choice" && has_value) {
      config.default_choice = std::atoi(argv[++i]);
    } else if (arg == "--version" && has_value) {
      version = std::atoi(argv[++i]);
    } else if (arg == "--withhold" && has_value) {
      config.withheld.emplace_back(argv[++i]);
    } else if (arg == "--refuse-panel") {
      config.refuse_panel = true;
    } else if (arg == "--activations" && has_value) {
      activations = std::atoi(argv[++i]);
    } else if (arg == "--rig" && has_value) {
      std::ifstream file(argv[++i]);
      if (!file) {
        std::fprintf(stderr, "layout_harness: cannot read %s\n", argv[i]);
        return 1;
      }
      std::stringstream text;
      text << file.rdbuf();
      rig = text.str();
    } else if (arg == "--no-rig") {
      rig.clear();
    } else {
      return usage();
    }
  }

  subhost::LoadedModule module;
  std::string error = subhost::load_module(path, module);
  if (!error.empty()) {
    std::fprintf(stderr, "layout_harness: %s\n", error.c_str());
    return 1;
  }
  std::fputs(subhost::describe_module(module).c_str(), stdout);
  const subhost::ServerInfo *server = subhost::find_server(module, "LayoutGeneric", "hlvk2_Strandwell");
  if (!server) {
    std::fprintf(stderr, "layout_harness: no LayoutGeneric server \"hlvk2_Strandwell\"\n");
    return 1;
  }
  std::printf("startup: %llu\n", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(module.startup())));

  for (int n = 1; n <= activations; ++n) {
    subhost::Host host;
    host.withheld = config.withheld;
    host.answer = config.answer;
    host.default_choice = config.default_choice;
    host.refuse_panel = config.refuse_panel;
    std::string rig_error = subhost::load_rig(rig, host);
    if (!rig_error.empty()) {
      std::fprintf(stderr, "layout_harness: rig %s\n", rig_error.c_str());
      return 1;
    }
    const std::vector<subhost::Track> before = subhost::track_selection(host);
    const size_t selected = host.selection.size(); // the module's "SelectItem" changes it
    subhost::attach(&host);
    int result = server->activate(version, subhost::global_lookup, subhost::command_context(), nullptr);
    subhost::detach();
    std::printf("\n== activation %d (interface version %d, %zu selected, frames %d..%d) ==\n", n, version,
                selected, host.preview_first, host.preview_last);
    std::fputs(subhost::describe_activation(host, result).c_str(), stdout);
    std::fputs(subhost::describe_bake(host, before).c_str(), stdout);
  }

  module.shutdown(nullptr);
  subhost::unload_module(module);
  return 0;
}
