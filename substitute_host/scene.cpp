#include "substitute_host/scene.h"
#include "substitute_host/portable_math.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>

namespace subhost {

const char *const transform_channel_names[9] = {
    "Position.X", "Position.Y", "Position.Z", "Rotation.H", "Rotation.P",
    "Rotation.B", "Scale.X",    "Scale.Y",    "Scale.Z",
};

namespace {

// Links and targets may form loops; evaluation through more than this many
// of them falls back to keys only.
constexpr int MAX_DEPTH = 8;

using Mat3 = std::array<double, 9>;

Mat3 mul3(const Mat3 &a, const Mat3 &b)
{
  Mat3 r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k)
        r[3 * i + j] += a[3 * i + k] * b[3 * k + j];
  return r;
}

Transform mul4(const Transform &a, const Transform &b)
{
  Transform r{};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      for (int k = 0; k < 4; ++k)
        r[4 * i + j] += a[4 * i + k] * b[4 * k + j];
  return r;
}

Transform identity()
{
  Transform t{};
  t[0] = t[5] = t[10] = t[15] = 1.0;
  return t;
}

// T(position) * RY(h) * RX(p) * RZ(b) * S(scale), for column vectors.
Transform compose(const LocalValues &v)
{
  const double h = v.rotation[0], p = v.rotation[1], b = v.rotation[2];
  const Mat3 ry = {portable_cos(h), 0, portable_sin(h), 0, 1, 0, -portable_sin(h), 0, portable_cos(h)};
  const Mat3 rx = {1, 0, 0, 0, portable_cos(p), -portable_sin(p), 0, portable_sin(p), portable_cos(p)};
  const Mat3 rz = {portable_cos(b), -portable_sin(b), 0, portable_sin(b), portable_cos(b), 0, 0, 0, 1};
  const Mat3 r = mul3(mul3(ry, rx), rz);
  Transform t = identity();
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j)
      t[4 * i + j] = r[3 * i + j] * v.scale[j];
    t[4 * i + 3] = v.position[i];
  }
  return t;
}

// p expressed in the frame of the affine transform t (t's inverse applied to p).
std::array<double, 3> into_frame(const Transform &t, const std::array<double, 3> &p)
{
  const double a = t[0], b = t[1], c = t[2], d = t[4], e = t[5], f = t[6], g = t[8], h = t[9], i = t[10];
  const double det = a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
  const Mat3 inv = {(e * i - f * h) / det, (c * h - b * i) / det, (b * f - c * e) / det,
                    (f * g - d * i) / det, (a * i - c * g) / det, (c * d - a * f) / det,
                    (d * h - e * g) / det, (b * g - a * h) / det, (a * e - b * d) / det};
  const double q[3] = {p[0] - t[3], p[1] - t[7], p[2] - t[11]};
  std::array<double, 3> r{};
  for (int row = 0; row < 3; ++row)
    r[row] = inv[3 * row] * q[0] + inv[3 * row + 1] * q[1] + inv[3 * row + 2] * q[2];
  return r;
}

// The nine transform channels are the first nine of the group; a test may
// have replaced them with channels of other names, which then count as keys.
void keyed_values(const Item &item, double time, double out[9])
{
  for (int c = 0; c < 9; ++c)
    out[c] = c < static_cast<int>(item.channels.size()) ? channel_value(item.channels[c], time)
                                                       : (c >= SCL_X ? 1.0 : 0.0);
}

Transform world_at(const Scene &scene, const Item &item, double time, int depth);

LocalValues local_at(const Scene &scene, const Item &item, double time, int depth)
{
  double v[9];
  keyed_values(item, time, v);
  const bool evaluated = scene.moved && time == scene.current_time && depth < MAX_DEPTH;
  if (evaluated) {
    // Source items hand over their keyed values.
    const int first_channel[] = {-1, -1, -1, ROT_H, POS_X, SCL_X};
    for (int link : {LINK_ROTATION, LINK_POSITION, LINK_SCALE})
      if (const Item *source = find_item(scene, item.links[link])) {
        double s[9];
        keyed_values(*source, time, s);
        std::copy_n(s + first_channel[link], 3, v + first_channel[link]);
      }
    for (int c = 0; c < 9; ++c)
      if (item.controllers[c] == CONTROLLER_DRIVEN)
        v[c] += 0.75 * portable_sin(3.0 * time);
    for (const Modifier &m : item.modifiers)
      v[m.channel] += m.kind == Modifier::OFFSET ? m.amount : m.amount * portable_sin(2.0 * std::numbers::pi * m.frequency * time);
  }
  LocalValues out{{v[0], v[1], v[2]}, {v[3], v[4], v[5]}, {v[6], v[7], v[8]}};

  const Item *target = evaluated ? find_item(scene, item.links[LINK_TARGET]) : nullptr;
  const bool aim_h = item.controllers[ROT_H] == CONTROLLER_POINT_AT_TARGET;
  const bool aim_p = item.controllers[ROT_P] == CONTROLLER_POINT_AT_TARGET;
  if (target && (aim_h || aim_p)) {
    const Transform tw = world_at(scene, *target, time, depth + 1);
    const Item *parent = find_item(scene, item.parent);
    const Transform pw = parent ? world_at(scene, *parent, time, depth + 1) : identity();
    const std::array<double, 3> t = into_frame(pw, {tw[3], tw[7], tw[11]});
    const double dx = t[0] - out.position[0], dy = t[1] - out.position[1], dz = t[2] - out.position[2];
    if (aim_h)
      out.rotation[0] = portable_atan2(dx, dz);
    if (aim_p)
      out.rotation[1] = -portable_atan2(dy, std::sqrt(dx * dx + dz * dz));
  }
  return out;
}

Transform world_at(const Scene &scene, const Item &item, double time, int depth)
{
  Transform t = compose(local_at(scene, item, time, depth));
  const Item *parent = depth < MAX_DEPTH ? find_item(scene, item.parent) : nullptr;
  return parent ? mul4(world_at(scene, *parent, time, depth + 1), t) : t;
}

bool parse_hex(const std::string &text, uint64_t &value)
{
  if (text.empty() || text.size() > 16)
    return false;
  char *end = nullptr;
  value = std::strtoull(text.c_str(), &end, 16);
  return *end == '\0';
}

} // namespace

Item &add_item(Scene &scene, uint64_t id, const std::string &name, uint64_t parent)
{
  Item &item = scene.items.emplace_back();
  item.id = id;
  item.name = name;
  item.parent = parent;
  for (int c = 0; c < 9; ++c)
    add_channel(item, transform_channel_names[c], c >= SCL_X ? 1.0 : 0.0);
  scene.index[id] = scene.items.size() - 1;
  return item;
}

Channel &add_channel(Item &item, const std::string &name, double default_value)
{
  Channel &ch = item.channels.emplace_back();
  ch.name = name;
  ch.default_value = default_value;
  ch.item = &item;
  ch.index_in_group = static_cast<int>(item.channels.size()) - 1;
  return ch;
}

Item *find_item(Scene &scene, uint64_t id)
{
  auto it = scene.index.find(id);
  return it == scene.index.end() ? nullptr : &scene.items[it->second];
}

const Item *find_item(const Scene &scene, uint64_t id)
{
  auto it = scene.index.find(id);
  return it == scene.index.end() ? nullptr : &scene.items[it->second];
}

Channel *find_channel(Item &item, const std::string &name)
{
  for (Channel &c : item.channels)
    if (c.name == name)
      return &c;
  return nullptr;
}

void set_key(Channel &channel, double time, double value)
{
  auto &keys = channel.keys;
  if (keys.empty() || keys.back().time < time) {
    keys.push_back({time, value});
    return;
  }
  auto at = std::lower_bound(keys.begin(), keys.end(), time, [](const Key &k, double t) { return k.time < t; });
  if (at != keys.end() && at->time == time)
    at->value = value;
  else
    keys.insert(at, {time, value});
}

double channel_value(const Channel &channel, double time)
{
  const auto &keys = channel.keys;
  if (keys.empty())
    return channel.default_value;
  if (!(time > keys.front().time))
    return keys.front().value;
  if (!(time < keys.back().time))
    return keys.back().value;
  auto next = std::upper_bound(keys.begin(), keys.end(), time, [](double t, const Key &k) { return t < k.time; });
  if (next == keys.begin() || next == keys.end()) // only with keys at unordered (NaN) times
    return keys.front().value;
  auto prev = next - 1;
  if (prev->time == time) // at a key: its value, also when it is infinite
    return prev->value;
  return prev->value + (next->value - prev->value) * ((time - prev->time) / (next->time - prev->time));
}

LocalValues local_values(const Scene &scene, const Item &item, double time) { return local_at(scene, item, time, 0); }

Transform world_transform(const Scene &scene, const Item &item, double time) { return world_at(scene, item, time, 0); }

WorldPlacement world_placement(const Scene &scene, const Item &item, double time)
{
  const Transform t = world_transform(scene, item, time);
  WorldPlacement w{};
  w.position = {t[3], t[7], t[11]};
  for (int axis = 0; axis < 3; ++axis) {
    const double x = t[axis], y = t[4 + axis], z = t[8 + axis];
    const double length = std::sqrt(x * x + y * y + z * z);
    w.axes[axis] = length > 0 ? std::array<double, 3>{x / length, y / length, z / length}
                              : std::array<double, 3>{0, 0, 0};
  }
  return w;
}

bool run_command(Scene &scene, const std::string &command)
{
  const size_t space = command.find(' ');
  const std::string verb = command.substr(0, space);
  const std::string arg = space == std::string::npos ? "" : command.substr(space + 1);

  if (verb == "SelectItem") {
    uint64_t id = 0;
    if (!parse_hex(arg, id))
      return false;
    scene.selected = find_item(scene, id) ? id : 0;
    return true;
  }
  if (verb == "GoToFrame") {
    char *end = nullptr;
    long long frame = std::strtoll(arg.c_str(), &end, 10);
    if (arg.empty() || *end)
      return false;
    scene.moved = true;
    scene.current_time = static_cast<double>(frame) / scene.frames_per_second;
    return true;
  }
  if (command == "DirtyMotion")
    return true;

  Item *item = find_item(scene, scene.selected);
  static const char *const links[] = {"TargetItem", "PoleItem", "GoalItem", "RotationItem", "PositionItem", "ScaleItem"};
  static const char *const controllers[] = {"XController", "YController", "ZController",
                                            "HController", "PController", "BController",
                                            "SXController", "SYController", "SZController"};
  if (verb == "ParentItem" && arg == "0") {
    if (item)
      item->parent = 0;
    return true;
  }
  for (int l = 0; l < 6; ++l)
    if (verb == links[l] && arg == "0") {
      if (item)
        item->links[l] = 0;
      return true;
    }
  for (int c = 0; c < 9; ++c)
    if (verb == controllers[c] && arg == "0") {
      if (item)
        item->controllers[c] = CONTROLLER_KEYS;
      return true;
    }
  if (command == "RemoveServer ItemMotionHandler 1") {
    if (item && !item->modifiers.empty())
      item->modifiers.erase(item->modifiers.begin());
    return true;
  }
  return false;
}

} // namespace subhost
