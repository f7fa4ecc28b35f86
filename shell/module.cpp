#include "shell/module.h"

#include "bake/bake.h"
#include "shell/options_panel.h"

#if defined(_WIN32)
#define STRANDWELL_EXPORT // exported through module.def
#else
#define STRANDWELL_EXPORT __attribute__((visibility("default")))
#endif

namespace {
constexpr int INTERFACE_VERSION = 5;

const ServerEntry server_list[] = {
    {"LayoutGeneric", "hlvk2_Strandwell", bake_activate, nullptr},
    {nullptr, nullptr, nullptr, nullptr},
};
} // namespace

extern "C" {

STRANDWELL_EXPORT ModuleHeader _mod_descrip = {
    0x04121994, 3, 0x300, module_startup, module_shutdown, server_list,
};

void *module_startup(void) { return reinterpret_cast<void *>(4); }

void module_shutdown(void *) {}

int bake_activate(int version, GlobalLookup *lookup, void *context, void *server_data)
{
  (void)server_data;
  if (version != INTERFACE_VERSION)
    return ACTIVATION_BAD_VERSION;

  lookup_services(lookup);
  // The bake calls every one of the seven services; a host without one of
  // them gets no panel rather than a crash inside the module.
  if (!all_services_present())
    return ACTIVATION_MISSING_SERVICE;

  panel_set_global_lookup(panel_funcs, lookup);

  BakeMethod method = BAKE_WORLD;
  if (!show_options_panel(&method))
    return ACTIVATION_DONE;

  return bake_selection(method, static_cast<const GenericContext *>(context));
}

} // extern "C"
