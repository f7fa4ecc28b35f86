#include <cstring>

#include "bake/bake.h"

namespace {

enum Source { POSITION, ROTATION, SCALE };

// A channel receives a test's value when the leading run of its name made of
// characters of the test name is longer than the threshold: with these names
// that means its first 10 (or 7) characters all occur in the test name.
struct NameTest {
  const char *name;
  size_t threshold;
  Source source;
  int component;
};

constexpr NameTest name_tests[9] = {
    {"Position.X", 9, POSITION, 0}, {"Position.Y", 9, POSITION, 1}, {"Position.Z", 9, POSITION, 2},
    {"Rotation.H", 9, ROTATION, 0}, {"Rotation.P", 9, ROTATION, 1}, {"Rotation.B", 9, ROTATION, 2},
    {"Scale.X", 6, SCALE, 0},       {"Scale.Y", 6, SCALE, 1},       {"Scale.Z", 6, SCALE, 2},
};

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
    // Every test is offered every channel: one name may pass several tests.
    for (const NameTest &test : name_tests)
      if (std::strspn(name, test.name) > test.threshold)
        envelope_create_key(envelope_funcs, channel_envelope(channel_info, channel), time,
                            sources[test.source][test.component]);
  }
}
