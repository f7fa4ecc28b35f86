#include <array>
#include <cstdint>

#include "bake/bake.h"

namespace {

enum Source { POSITION, ROTATION, SCALE };

// A channel receives a test's value when the leading run of its name made of
// characters of the test name is longer than the threshold, that is when its
// first threshold + 1 characters all occur in the test name.
struct NameTest {
  const char *name;
  int threshold;
  Source source;
  int component;
};

constexpr NameTest name_tests[9] = {
    {"Position.X", 9, POSITION, 0}, {"Position.Y", 9, POSITION, 1}, {"Position.Z", 9, POSITION, 2},
    {"Rotation.H", 9, ROTATION, 0}, {"Rotation.P", 9, ROTATION, 1}, {"Rotation.B", 9, ROTATION, 2},
    {"Scale.X", 6, SCALE, 0},       {"Scale.Y", 6, SCALE, 1},       {"Scale.Z", 6, SCALE, 2},
};
constexpr int longest_run_needed = 10;

// For every character, the tests whose name contains it (bit t for test t).
constexpr std::array<uint16_t, 256> tests_containing = [] {
  std::array<uint16_t, 256> table{};
  for (int t = 0; t < 9; ++t)
    for (const char *c = name_tests[t].name; *c; ++c)
      table[static_cast<unsigned char>(*c)] |= static_cast<uint16_t>(1u << t);
  return table;
}();

// The tests a channel name passes: one pass over its first ten characters
// instead of one run per test.
uint16_t passed_tests(const char *name)
{
  uint16_t alive = (1u << 9) - 1, passed = 0;
  for (int length = 1; length <= longest_run_needed; ++length) {
    const unsigned char c = static_cast<unsigned char>(name[length - 1]);
    if (c == 0)
      break;
    alive &= tests_containing[c];
    for (int t = 0; t < 9; ++t)
      if (name_tests[t].threshold + 1 == length)
        passed |= alive & (1u << t);
  }
  return passed;
}

} // namespace

void write_sample_keys(ItemHandle item, double time, const double position[3], const double rotation[3],
                       const double scale[3])
{
  const double *const sources[3] = {position, rotation, scale};
  ChannelGroupHandle group = item_channel_group(item_info, item);
  for (ChannelHandle channel = channel_next(channel_info, group, nullptr); channel;
       channel = channel_next(channel_info, group, channel)) {
    const char *name = channel_name(channel_info, channel);
    if (!name)
      continue;
    // Every test is offered every channel: one name may pass several tests,
    // and receives a key for each, in table order.
    const uint16_t passed = passed_tests(name);
    for (int t = 0; t < 9; ++t)
      if (passed & (1u << t))
        envelope_create_key(envelope_funcs, channel_envelope(channel_info, channel), time,
                            sources[name_tests[t].source][name_tests[t].component]);
  }
}
