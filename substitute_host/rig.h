// Rigs for the substitute host's scene: a small text format, the built-in rig,
// and the tracks used to compare an item's motion before and after a bake.
//
// The rig format, one statement a line, '#' starts a comment:
//   fps 24                                   frames per second (before any key)
//   preview FIRST LAST                        the preview range
//   item ID NAME [parent ID]                  an item with the nine transform channels (ID in hex)
//   channel ID NAME                           one more channel in the item's group
//   key ID CHANNEL FRAME VALUE                a key on a channel, at FRAME / fps seconds
//   link ID target|pole|goal|rotation|position|scale SOURCE-ID
//   controller ID H|P|B|X|Y|Z|SX|SY|SZ keys|point|driven
//   modifier ID offset CHANNEL AMOUNT         adds AMOUNT to a transform channel
//   modifier ID oscillate CHANNEL AMPLITUDE FREQUENCY
//   select ID...                              the items selected when the command starts
#pragma once

#include <string>
#include <vector>

#include "substitute_host/host.h"

namespace subhost {

// Reads a rig into the host (scene, preview range, selection). Returns an
// empty text, or the first error with its line number.
std::string load_rig(const std::string &text, Host &host);

// A three-level rig whose middle item has a target, links, controllers and
// modifiers, and whose last item spins, under rotated and scaled parents.
extern const char *const builtin_rig;

// An item's motion at every frame of a range, as the host evaluates it after
// moving to each frame.
struct Track {
  uint64_t item = 0;
  std::vector<LocalValues> local;
  std::vector<WorldPlacement> world;
  std::vector<std::array<double, 3>> world_scale; // lengths of the world axes
};

Track track_item(Scene &scene, uint64_t item, int64_t first_frame, int64_t frame_count);

// Largest absolute differences between two tracks of the same range.
struct TrackDifference {
  double local = 0;    // local position, rotation and scale
  double position = 0; // world position
  double axes = 0;     // world axis directions
  double scale = 0;    // world scale
};
TrackDifference compare_tracks(const Track &before, const Track &after);

} // namespace subhost
