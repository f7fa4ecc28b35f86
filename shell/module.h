// What the host sees of the module: the descriptor, startup, shutdown and the
// activation of the one "LayoutGeneric" server.
#pragma once

#include "shell/host_services.h"

// Results of bake_activate, the only report toward the host.
enum ActivationResult : int {
  ACTIVATION_DONE = 0,            // the bake ran to its end, or the user cancelled
  ACTIVATION_BAD_VERSION = 1,     // interface version is not 5; nothing was done
  ACTIVATION_MISSING_SERVICE = 2, // a host service was not found; no panel was built
  ACTIVATION_NO_MEMORY = 3,       // the bake's working memory could not be obtained; the scene is untouched
};

extern "C" {
void *module_startup(void);
void module_shutdown(void *);
int bake_activate(int version, GlobalLookup *lookup, void *context, void *server_data);
}
