// Short readable reports of what a module is and what an activation did.
#pragma once

#include <string>

#include "substitute_host/host.h"
#include "substitute_host/module_loader.h"
#include "substitute_host/rig.h"

namespace subhost {

std::string describe_module(const LoadedModule &module);
std::string describe_activation(const Host &host, int result);
const char *answer_name(PanelAnswer answer);

// The motion of the selected items over the preview range, as the scene
// evaluates it; taken before an activation and handed to describe_bake after.
std::vector<Track> track_selection(Host &host);

// Per selected item: keys written, what is left of its parent, links,
// controllers and modifiers, and how far its motion moved from `before`.
std::string describe_bake(Host &host, const std::vector<Track> &before);

} // namespace subhost
