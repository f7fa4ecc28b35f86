// Fuzzes the whole activation: the input bytes become a scene for the
// substitute host (hierarchies, keys, links, controllers, modifiers, odd
// channel names), a preview range (extremes included), a selection
// (duplicates, unknown handles, parents with their children), withheld
// services, an interface version and a panel answer. The activation must not
// crash or leak, must return the result that fits the input, and the bake must
// keep its promises: Local keys reproduce the sampled local values, World keys
// the sampled world positions.

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <string>
#include <tuple>

#include "shell/module.h"
#include "substitute_host/host.h"

using namespace subhost;

// A range that cannot be held in memory must be refused with a null from the
// allocator, not end the process.
extern "C" const char *__asan_default_options() { return "allocator_may_return_null=1"; }

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double not_a_number = std::numeric_limits<double>::quiet_NaN();

double interesting_double(FuzzedDataProvider &in)
{
  static const double specials[] = {0.0, -0.0, 1.0, -1.0, 3.141592653589793, 1e-310, 1e300, -1e300, inf, -inf, not_a_number};
  if (in.ConsumeBool())
    return in.PickValueInArray(specials);
  return in.ConsumeFloatingPointInRange<double>(-1e4, 1e4);
}

bool same(double a, double b)
{
  return a == b || (std::isnan(a) && std::isnan(b));
}

void fail(const char *what)
{
  std::fprintf(stderr, "bake fuzz: %s\n", what);
  std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  FuzzedDataProvider in(data, size);
  Host h;
  h.record_keys = false;
  h.record_queries = true;

  static const double fps_table[] = {24, 25, 30, 60, 1, 0.5, 1000, 0, -24, not_a_number, inf, 1e-300};
  h.scene.frames_per_second = in.PickValueInArray(fps_table);

  // Preview range: short ranges anywhere, the top and bottom of the frame
  // numbers, and ranges too long to hold.
  const int32_t first = in.ConsumeIntegral<int32_t>();
  const int range_kind = in.ConsumeIntegralInRange(0, 9);
  const bool huge = range_kind == 9;
  if (huge) {
    static const std::pair<int32_t, int32_t> extremes[] = {
        {INT32_MIN, INT32_MAX}, {INT32_MAX, INT32_MIN}, {0, INT32_MAX}, {INT32_MIN, 0}, {-1, INT32_MAX}};
    std::tie(h.preview_first, h.preview_last) = in.PickValueInArray(extremes);
  } else {
    h.preview_first = range_kind == 8 ? INT32_MAX - in.ConsumeIntegralInRange(0, 20) : first % 100000;
    int span = in.ConsumeIntegralInRange(-24, 24);
    h.preview_last = static_cast<int32_t>(std::clamp<int64_t>(int64_t{h.preview_first} + span, INT32_MIN, INT32_MAX));
  }

  // Items: parents come before their children, so the hierarchy has no loops.
  const int item_count = in.ConsumeIntegralInRange(0, 6);
  std::vector<uint64_t> ids;
  for (int i = 0; i < item_count; ++i) {
    uint64_t id = 0x10000001u + static_cast<uint64_t>(i);
    if (in.ConsumeIntegralInRange(0, 7) == 0)
      id = sizeof(void *) == 8 && in.ConsumeBool() ? 0x100000000ull + static_cast<uint64_t>(i) + 1 : 0xfffffff0u + static_cast<uint64_t>(i);
    uint64_t parent = i > 0 && in.ConsumeBool() ? ids[in.ConsumeIntegralInRange(0, i - 1)] : 0;
    ids.push_back(id);
    Item &item = add_item(h.scene, id, "item" + std::to_string(i), parent);

    for (int k = in.ConsumeIntegralInRange(0, 10); k > 0; --k) {
      Channel &channel = item.channels[in.ConsumeIntegralInRange(0, 8)];
      double frame = static_cast<double>(h.preview_first) + in.ConsumeIntegralInRange(-5, 30);
      set_key(channel, frame / 24.0, interesting_double(in));
    }
    for (int c = in.ConsumeIntegralInRange(0, 3); c > 0; --c)
      add_channel(item, in.ConsumeRandomLengthString(14), interesting_double(in));
    for (int c = 0; c < 9; ++c)
      if (in.ConsumeIntegralInRange(0, 5) == 0)
        item.controllers[c] = in.ConsumeIntegralInRange(0, 2);
    for (int m = in.ConsumeIntegralInRange(0, 3); m > 0; --m)
      item.modifiers.push_back({in.ConsumeBool() ? Modifier::OFFSET : Modifier::OSCILLATE,
                                static_cast<TransformChannel>(in.ConsumeIntegralInRange(0, 8)), interesting_double(in),
                                interesting_double(in)});
  }
  for (int i = 0; i < item_count; ++i)
    for (uint64_t &link : find_item(h.scene, ids[i])->links)
      if (in.ConsumeIntegralInRange(0, 4) == 0)
        link = ids[in.ConsumeIntegralInRange(0, item_count - 1)];

  // Selection: known items (duplicates and parents with children included)
  // and handles the host does not know.
  for (int s = in.ConsumeIntegralInRange(0, 6); s > 0; --s) {
    if (item_count > 0 && in.ConsumeIntegralInRange(0, 5) != 0)
      h.selection.push_back(item_handle(ids[in.ConsumeIntegralInRange(0, item_count - 1)]));
    else
      h.selection.push_back(item_handle(0x5eed0000u + in.ConsumeIntegralInRange(0, 3)));
  }
  h.null_selection_list = in.ConsumeIntegralInRange(0, 15) == 0;

  if (in.ConsumeIntegralInRange(0, 15) == 0)
    h.withheld.push_back(service_names[in.ConsumeIntegralInRange(0, 6)]);
  h.refuse_panel = in.ConsumeIntegralInRange(0, 15) == 0;
  static const PanelAnswer answers[] = {PanelAnswer::Cancel, PanelAnswer::World, PanelAnswer::Local,
                                        PanelAnswer::Default};
  h.answer = in.PickValueInArray(answers);
  h.default_choice = in.ConsumeIntegralInRange(-2, 3);
  const int version = in.ConsumeIntegralInRange(0, 15) == 0 ? in.ConsumeIntegral<int>() : 5;

  attach(&h);
  const int result = bake_activate(version, global_lookup, command_context(), nullptr);
  detach();

  // The result fits the input.
  const int expected = version != 5 ? ACTIVATION_BAD_VERSION
                       : !h.withheld.empty() ? ACTIVATION_MISSING_SERVICE
                                             : ACTIVATION_DONE;
  if (!(result == expected || (expected == ACTIVATION_DONE && huge && result == ACTIVATION_NO_MEMORY)))
    fail("unexpected result");
  if (!h.unknown_commands.empty())
    fail("a command the host does not know");
  const bool baked = result == ACTIVATION_DONE && !h.refuse_panel && h.answer != PanelAnswer::Cancel;
  if (!baked) {
    if (!h.commands.empty())
      fail("commands sent without a bake");
    return 0;
  }

  // The promises, checked on the last sample taken of each baked item at each
  // finite time: the bake's keys must reproduce it when the host evaluates
  // the item there.
  const bool world = h.answer == PanelAnswer::World || (h.answer == PanelAnswer::Default && h.default_choice == 0);
  std::map<std::tuple<uint64_t, int, double>, std::array<double, 3>> sampled;
  for (const QueryRecord &q : h.queries)
    if (std::isfinite(q.time) && (world ? q.code == 8 : q.code == 1 || q.code == 5 || q.code == 6))
      sampled[{q.item, q.code, q.time}] = q.value;
  for (const auto &[key, value] : sampled) {
    const auto [id, code, time] = key;
    const Item *item = find_item(h.scene, id);
    h.scene.moved = true;
    h.scene.current_time = time;
    std::array<double, 3> now;
    if (world) {
      now = world_placement(h.scene, *item, time).position;
    } else {
      const LocalValues local = local_values(h.scene, *item, time);
      now = code == 1 ? local.position : code == 5 ? local.rotation : local.scale;
    }
    for (int i = 0; i < 3; ++i)
      if (!same(now[i], value[i])) {
        std::fprintf(stderr, "item %llx, parameter %d, time %.17g: sampled %.17g, now %.17g\n",
                     static_cast<unsigned long long>(id), code, time, value[i], now[i]);
        fail(world ? "a World bake moved an item" : "a Local bake changed an item's local values");
      }
  }
  return 0;
}
