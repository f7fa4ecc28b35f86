#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "bake/bake.h"
#include "shell/module.h"

namespace {

constexpr const char *reset_commands[15] = {
    "TargetItem 0",  "PoleItem 0",    "GoalItem 0",    "RotationItem 0", "PositionItem 0",
    "ScaleItem 0",   "HController 0", "PController 0", "BController 0",  "XController 0",
    "YController 0", "ZController 0", "SXController 0", "SYController 0", "SZController 0",
};
constexpr int modifier_removals = 100;

double frame_time(int64_t frame, double frames_per_second)
{
  return static_cast<double>(frame) / frames_per_second;
}

void send_frame_command(const GenericContext *context, int64_t frame)
{
  char command_text[256];
  std::snprintf(command_text, sizeof command_text, "GoToFrame %" PRId64, frame);
  send_command(context, command_text);
}

} // namespace

int bake_selection(BakeMethod method, const GenericContext *context)
{
  // Frames first, first + 1, ..., first + |last - first|, in 64 bits so that
  // extreme ranges cannot overflow; frames past the largest 32-bit frame are
  // not handled.
  const int64_t first = preview_first_frame(interface_info);
  const int64_t last = preview_last_frame(interface_info);
  int64_t span = last >= first ? last - first : first - last;
  if (first + span > INT32_MAX)
    span = INT32_MAX - first;
  const size_t frame_count = static_cast<size_t>(span) + 1;
  if (static_cast<uint64_t>(span) + 1 != frame_count) // does not fit this build's address space
    return ACTIVATION_NO_MEMORY;

  auto *samples = static_cast<BakeSample *>(std::calloc(frame_count, sizeof(BakeSample)));
  if (!samples)
    return ACTIVATION_NO_MEMORY;

  // The selection is copied before the first command: selecting an item
  // changes the host's list.
  const ItemHandle *listed = selected_items(interface_info);
  size_t item_count = 0;
  while (listed && listed[item_count])
    ++item_count;
  auto *selection = static_cast<ItemHandle *>(std::calloc(item_count ? item_count : 1, sizeof(ItemHandle)));
  if (!selection) {
    std::free(samples);
    return ACTIVATION_NO_MEMORY;
  }
  for (size_t i = 0; i < item_count; ++i)
    selection[i] = listed[i];

  const double fps = scene_frames_per_second(scene_info);
  char command_text[256];
  for (size_t i = 0; i < item_count; ++i) {
    ItemHandle item = selection[i];
    std::snprintf(command_text, sizeof command_text, "SelectItem %" PRIxPTR, reinterpret_cast<uintptr_t>(item));
    send_command(context, command_text);

    for (size_t k = 0; k < frame_count; ++k) {
      const int64_t frame = first + static_cast<int64_t>(k);
      send_frame_command(context, frame);
      send_command(context, "DirtyMotion");
      sample_transform(item, frame_time(frame, fps), method, &samples[k]);
    }
    // A rotation rebuilt from world axes lies within a half turn; keep the
    // keys from jumping between +pi and -pi.
    if (method == BAKE_WORLD && item_parent(item_info, item))
      make_rotations_continuous(samples, frame_count);

    send_frame_command(context, first);
    if (method == BAKE_WORLD)
      send_command(context, "ParentItem 0");
    for (const char *reset : reset_commands)
      send_command(context, reset);
    for (int r = 0; r < modifier_removals; ++r)
      send_command(context, "RemoveServer ItemMotionHandler 1");

    for (size_t k = 0; k < frame_count; ++k) {
      const BakeSample &s = samples[k];
      write_sample_keys(item, frame_time(first + static_cast<int64_t>(k), fps), s.position, s.rotation, s.scale);
    }
  }

  std::free(samples);
  std::free(selection);
  return ACTIVATION_DONE;
}
