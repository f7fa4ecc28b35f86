#include "substitute_host/rig.h"

#include <cmath>
#include <sstream>

namespace subhost {

const char *const builtin_rig = R"(# Root > Arm > Hand under a rotated, scaled root; Arm aims at Goal.
fps 24
preview 0 47
item 10000001 Root
item 10000002 Arm parent 10000001
item 10000003 Hand parent 10000002
item 10000004 Goal
item 10000005 Source
key 10000001 Position.X 0 0
key 10000001 Position.X 47 3
key 10000001 Position.Y 0 1
key 10000001 Rotation.H 0 0.4
key 10000001 Rotation.H 47 1.9
key 10000001 Rotation.P 0 -0.3
key 10000001 Rotation.P 47 0.5
key 10000001 Rotation.B 0 0.2
key 10000001 Rotation.B 47 -0.7
key 10000001 Scale.X 0 1.5
key 10000001 Scale.Y 0 1.5
key 10000001 Scale.Z 0 1.5
key 10000002 Position.X 0 1
key 10000002 Position.X 47 2
key 10000002 Position.Y 0 0.5
key 10000002 Rotation.B 0 0.1
key 10000002 Rotation.B 47 0.6
link 10000002 target 10000004
link 10000002 pole 10000004
link 10000002 goal 10000004
link 10000002 scale 10000005
controller 10000002 H point
controller 10000002 P point
controller 10000002 B driven
modifier 10000002 oscillate Position.Y 0.25 0.5
modifier 10000002 offset Position.Z 0.4
key 10000003 Position.Z 0 1.2
key 10000003 Rotation.H 0 0
key 10000003 Rotation.H 47 12.566
key 10000003 Rotation.P 0 0.3
key 10000003 Rotation.B 0 0
key 10000003 Rotation.B 47 -3
key 10000004 Position.X 0 -2
key 10000004 Position.X 47 4
key 10000004 Position.Y 0 1
key 10000004 Position.Y 47 -1
key 10000004 Position.Z 0 5
key 10000005 Scale.X 0 0.8
key 10000005 Scale.Y 0 0.8
key 10000005 Scale.Z 0 0.8
select 10000002 10000003
)";

namespace {

bool read_id(std::istringstream &in, uint64_t &id)
{
  std::string text;
  if (!(in >> text) || text.size() > 16)
    return false;
  size_t used = 0;
  try {
    id = std::stoull(text, &used, 16);
  } catch (...) {
    return false;
  }
  return used == text.size() && id != 0;
}

int channel_index(const std::string &name)
{
  for (int c = 0; c < 9; ++c)
    if (name == transform_channel_names[c])
      return c;
  return -1;
}

std::string parse_line(const std::string &line, Host &host)
{
  std::istringstream in(line);
  std::string word;
  if (!(in >> word) || word[0] == '#')
    return {};
  Scene &scene = host.scene;
  uint64_t id = 0;
  if (word == "fps") {
    if (!(in >> scene.frames_per_second) || !(scene.frames_per_second > 0))
      return "fps needs a positive number";
  } else if (word == "preview") {
    if (!(in >> host.preview_first >> host.preview_last))
      return "preview needs two frames";
  } else if (word == "item") {
    std::string name, keyword;
    uint64_t parent = 0;
    if (!read_id(in, id) || !(in >> name))
      return "item needs an id and a name";
    if (find_item(scene, id))
      return "item id used twice";
    if (in >> keyword && (keyword != "parent" || !read_id(in, parent)))
      return "expected: parent ID";
    add_item(scene, id, name, parent);
  } else if (word == "select") {
    while (read_id(in, id))
      host.selection.push_back(item_handle(id));
  } else {
    if (!read_id(in, id))
      return word + " needs an item id";
    Item *item = find_item(scene, id);
    if (!item)
      return "no item with that id";
    if (word == "channel") {
      std::string name;
      if (!(in >> name))
        return "channel needs a name";
      add_channel(*item, name);
    } else if (word == "key") {
      std::string name;
      double frame, value;
      if (!(in >> name >> frame >> value))
        return "key needs a channel, a frame and a value";
      Channel *channel = find_channel(*item, name);
      if (!channel)
        return "no channel " + name;
      set_key(*channel, frame / scene.frames_per_second, value);
    } else if (word == "link") {
      static const char *const kinds[] = {"target", "pole", "goal", "rotation", "position", "scale"};
      std::string kind;
      uint64_t source = 0;
      if (!(in >> kind) || !read_id(in, source))
        return "link needs a kind and an item id";
      int k = 0;
      while (k < 6 && kind != kinds[k])
        ++k;
      if (k == 6)
        return "unknown link " + kind;
      item->links[k] = source;
    } else if (word == "controller") {
      static const char *const channels[] = {"X", "Y", "Z", "H", "P", "B", "SX", "SY", "SZ"};
      std::string channel, mode;
      if (!(in >> channel >> mode))
        return "controller needs a channel and a mode";
      int c = 0;
      while (c < 9 && channel != channels[c])
        ++c;
      if (c == 9)
        return "unknown controller channel " + channel;
      if (mode == "keys") item->controllers[c] = CONTROLLER_KEYS;
      else if (mode == "point") item->controllers[c] = CONTROLLER_POINT_AT_TARGET;
      else if (mode == "driven") item->controllers[c] = CONTROLLER_DRIVEN;
      else return "unknown controller mode " + mode;
    } else if (word == "modifier") {
      std::string kind, channel;
      Modifier m{Modifier::OFFSET, POS_X, 0.0, 0.0};
      if (!(in >> kind >> channel >> m.amount))
        return "modifier needs a kind, a channel and an amount";
      int c = channel_index(channel);
      if (c < 0)
        return "modifier channel must be a transform channel";
      m.channel = static_cast<TransformChannel>(c);
      if (kind == "oscillate") {
        m.kind = Modifier::OSCILLATE;
        if (!(in >> m.frequency))
          return "oscillate needs a frequency";
      } else if (kind != "offset") {
        return "unknown modifier " + kind;
      }
      item->modifiers.push_back(m);
    } else {
      return "unknown statement " + word;
    }
  }
  std::string rest;
  return in >> rest && rest[0] != '#' ? "unexpected " + rest : "";
}

} // namespace

std::string load_rig(const std::string &text, Host &host)
{
  std::istringstream lines(text);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    std::string error = parse_line(line, host);
    if (!error.empty())
      return "line " + std::to_string(number) + ": " + error;
  }
  for (const Item &item : host.scene.items)
    if (item.parent && !find_item(host.scene, item.parent))
      return "item " + item.name + " has an unknown parent";
  return {};
}

Track track_item(Scene &scene, uint64_t id, int64_t first_frame, int64_t frame_count)
{
  Track track;
  track.item = id;
  const Item *item = find_item(scene, id);
  if (!item)
    return track;
  const bool moved = scene.moved;
  const double current = scene.current_time;
  for (int64_t k = 0; k < frame_count; ++k) {
    scene.moved = true;
    scene.current_time = static_cast<double>(first_frame + k) / scene.frames_per_second;
    track.local.push_back(local_values(scene, *item, scene.current_time));
    track.world.push_back(world_placement(scene, *item, scene.current_time));
    const Transform t = world_transform(scene, *item, scene.current_time);
    std::array<double, 3> s;
    for (int axis = 0; axis < 3; ++axis)
      s[axis] = std::sqrt(t[axis] * t[axis] + t[4 + axis] * t[4 + axis] + t[8 + axis] * t[8 + axis]);
    track.world_scale.push_back(s);
  }
  scene.moved = moved;
  scene.current_time = current;
  return track;
}

TrackDifference compare_tracks(const Track &a, const Track &b)
{
  TrackDifference d;
  auto widen = [](double &largest, const std::array<double, 3> &x, const std::array<double, 3> &y) {
    for (int i = 0; i < 3; ++i) {
      double diff = std::fabs(x[i] - y[i]);
      if (!(diff <= largest)) // NaN counts as the largest difference
        largest = diff;
    }
  };
  for (size_t k = 0; k < a.local.size() && k < b.local.size(); ++k) {
    widen(d.local, a.local[k].position, b.local[k].position);
    widen(d.local, a.local[k].rotation, b.local[k].rotation);
    widen(d.local, a.local[k].scale, b.local[k].scale);
    widen(d.position, a.world[k].position, b.world[k].position);
    for (int axis = 0; axis < 3; ++axis)
      widen(d.axes, a.world[k].axes[axis], b.world[k].axes[axis]);
    widen(d.scale, a.world_scale[k], b.world_scale[k]);
  }
  return d;
}

} // namespace subhost
