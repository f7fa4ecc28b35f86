// The substitute host's animation scene: items with parents, links,
// controllers, motion modifiers and channels of keys, evaluated at a time.
//
// Evaluation, for one item at time t:
//   1. channel values from keys: linear between keys, constant outside them;
//      a channel without keys holds its default (1 for scale, else 0);
//   2. only when the scene has been moved to t ("GoToFrame"): what the item's
//      links, controllers and modifiers do (see the enums below);
//   3. the parent chain: world = parent's world * T(position) * R(h, p, b) * S(scale),
//      with R = RY(h) * RX(p) * RZ(b) acting on column vectors.
// A query for any other time sees keys only, as a host that has not
// recomputed motion for that time would.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

namespace subhost {

using Handle = void *;

// The nine transform channels, in this order everywhere in the scene.
enum TransformChannel { POS_X, POS_Y, POS_Z, ROT_H, ROT_P, ROT_B, SCL_X, SCL_Y, SCL_Z };
extern const char *const transform_channel_names[9];

// Links an item may have; only target, rotation, position and scale act on
// motion, pole and goal are kept and can be removed.
enum Link { LINK_TARGET, LINK_POLE, LINK_GOAL, LINK_ROTATION, LINK_POSITION, LINK_SCALE };

// What drives a transform channel besides its keys.
enum Controller : int {
  CONTROLLER_KEYS = 0,
  CONTROLLER_POINT_AT_TARGET = 1, // heading and pitch: aim the item's +Z at its target
  CONTROLLER_DRIVEN = 2,          // any channel: its keyed value plus 0.75 * sin(3 t)
};

// An item motion modifier: adds to one channel after links and controllers.
struct Modifier {
  enum Kind { OFFSET, OSCILLATE } kind;
  TransformChannel channel;
  double amount;    // offset, or amplitude of the oscillation
  double frequency; // oscillations per second
};

struct Item;

struct Key {
  double time;
  double value;
};

struct Channel {
  std::string name;
  double default_value = 0.0;
  std::vector<Key> keys; // sorted by time, one key per time
  Item *item = nullptr;
  int index_in_group;
  size_t keys_created = 0; // keys the module created on it
};

struct Item {
  uint64_t id = 0;
  std::string name;
  uint64_t parent = 0; // 0: root
  std::array<uint64_t, 6> links{};
  std::array<int, 9> controllers{};
  std::vector<Modifier> modifiers;
  std::deque<Channel> channels; // the nine transform channels first, then any others
};

// Position, rotation (heading, pitch, bank) and scale of an item, as its parent sees it.
struct LocalValues {
  std::array<double, 3> position, rotation, scale;
};

// A 4 x 4 transform for column vectors, row-major.
using Transform = std::array<double, 16>;

// What the host answers for an item's placement in the world.
struct WorldPlacement {
  std::array<double, 3> position;
  std::array<std::array<double, 3>, 3> axes; // where the item's +X, +Y, +Z point (unit vectors)
};

struct Scene {
  std::deque<Item> items;
  std::map<uint64_t, size_t> index; // id -> position in items
  double frames_per_second = 30.0;
  bool moved = false;            // a GoToFrame has been received
  double current_time = 0.0;     // the time of the last GoToFrame
  uint64_t selected = 0;         // the item later commands act on
};

// Adds an item with the nine transform channels and returns it.
Item &add_item(Scene &scene, uint64_t id, const std::string &name, uint64_t parent = 0);
Item *find_item(Scene &scene, uint64_t id);
const Item *find_item(const Scene &scene, uint64_t id);
Channel *find_channel(Item &item, const std::string &name);

// Appends a channel to the item's group.
Channel &add_channel(Item &item, const std::string &name, double default_value = 0.0);

// Adds a key, or sets the value of the key at that time. Amortised constant
// time when keys arrive in time order.
void set_key(Channel &channel, double time, double value);
double channel_value(const Channel &channel, double time);

// Evaluation at a time, as described at the top of this file. An item
// without the nine transform channels evaluates as keys of zero and unit scale.
LocalValues local_values(const Scene &scene, const Item &item, double time);
Transform world_transform(const Scene &scene, const Item &item, double time);
WorldPlacement world_placement(const Scene &scene, const Item &item, double time);

// Carries out one Layout command on the scene. Returns false for a command
// the host does not know (it then does nothing).
bool run_command(Scene &scene, const std::string &command);

// The handle value of an item as the module sees it, and back.
inline Handle item_handle(uint64_t id) { return reinterpret_cast<Handle>(static_cast<uintptr_t>(id)); }
inline uint64_t item_id(Handle h) { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(h)); }

} // namespace subhost
