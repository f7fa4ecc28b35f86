// Short readable reports of what a module is and what an activation did.
#pragma once

#include <string>

#include "substitute_host/host.h"
#include "substitute_host/module_loader.h"

namespace subhost {

std::string describe_module(const LoadedModule &module);
std::string describe_activation(const Host &host, int result);
const char *answer_name(PanelAnswer answer);

} // namespace subhost
