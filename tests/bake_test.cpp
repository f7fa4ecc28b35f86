// The bake through the real activation: the module loaded from its file bakes
// items of the substitute host's scene, and the scene's own evaluation says
// whether the motion survived.

#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>
#include <vector>

#include "substitute_host/report.h"
#include "substitute_host/rig.h"
#include "tests/module_fixture.h"

namespace {

using module_fixture::activate;
using namespace subhost;

constexpr uint64_t ROOT = 0x10000001, ARM = 0x10000002, HAND = 0x10000003, GOAL = 0x10000004;

// A host holding `rig`, answering the panel with `answer`.
void load(Host &h, const std::string &rig, PanelAnswer answer)
{
  h.answer = answer;
  ASSERT_EQ(load_rig(rig, h), "");
}

// Root (turned in all three angles, uniform scale) > Arm > Hand; Arm has a
// target it points at, links, controllers and two modifiers.
std::string three_level_rig(const std::string &selection)
{
  return std::string(R"(
fps 24
preview 3 14
item 10000001 Root
item 10000002 Arm parent 10000001
item 10000003 Hand parent 10000002
item 10000004 Goal
item 10000005 Source
key 10000001 Position.X 0 0.5
key 10000001 Position.X 24 3
key 10000001 Rotation.H 0 0.7
key 10000001 Rotation.H 24 -1.1
key 10000001 Rotation.P 0 -0.4
key 10000001 Rotation.P 24 0.6
key 10000001 Rotation.B 0 0.3
key 10000001 Rotation.B 24 1.4
key 10000001 Scale.X 0 2
key 10000001 Scale.Y 0 2
key 10000001 Scale.Z 0 2
key 10000002 Position.X 0 1
key 10000002 Position.X 24 -1
key 10000002 Position.Y 0 0.5
key 10000002 Rotation.B 0 0.2
key 10000002 Rotation.B 24 0.9
link 10000002 target 10000004
link 10000002 pole 10000004
link 10000002 goal 10000004
link 10000002 scale 10000005
controller 10000002 H point
controller 10000002 P point
controller 10000002 B driven
controller 10000002 X driven
modifier 10000002 oscillate Position.Y 0.25 0.5
modifier 10000002 offset Position.Z 0.4
key 10000003 Position.Z 0 1.2
key 10000003 Rotation.H 0 0.3
key 10000003 Rotation.P 0 0.3
key 10000004 Position.X 0 -2
key 10000004 Position.X 24 4
key 10000004 Position.Y 0 1
key 10000004 Position.Z 0 5
key 10000005 Scale.X 0 0.8
key 10000005 Scale.Y 0 0.8
key 10000005 Scale.Z 0 0.8
select )") + selection + "\n";
}

Track track(Host &h, uint64_t id)
{
  int64_t span = std::abs(static_cast<int64_t>(h.preview_last) - h.preview_first);
  return track_item(h.scene, id, h.preview_first, span + 1);
}

// Local mode: everything that drove the item besides its keys is gone, the
// parent is kept, and the keys reproduce the evaluated local values exactly.
// A bake that skips moving the scene to each frame samples keys only and
// fails here.
TEST(Bake, LocalBakeKeepsLocalMotionExactly)
{
  Host h;
  load(h, three_level_rig("10000002"), PanelAnswer::Local);
  const Track before = track(h, ARM);
  ASSERT_EQ(activate(h), 0);
  EXPECT_TRUE(h.unknown_commands.empty());

  const Item &arm = *find_item(h.scene, ARM);
  EXPECT_EQ(arm.parent, ROOT);
  EXPECT_EQ(arm.links, (std::array<uint64_t, 6>{}));
  EXPECT_EQ(arm.controllers, (std::array<int, 9>{}));
  EXPECT_TRUE(arm.modifiers.empty());
  for (int c = 0; c < 9; ++c)
    EXPECT_EQ(arm.channels[c].keys_created, 12u) << arm.channels[c].name;

  const Track after = track(h, ARM);
  ASSERT_EQ(before.local.size(), 12u);
  for (size_t k = 0; k < before.local.size(); ++k) {
    EXPECT_EQ(after.local[k].position, before.local[k].position) << "frame " << 3 + k;
    EXPECT_EQ(after.local[k].rotation, before.local[k].rotation) << "frame " << 3 + k;
    EXPECT_EQ(after.local[k].scale, before.local[k].scale) << "frame " << 3 + k;
  }
}

// World mode on a parented item and its parent together: both lose their
// parents and keep their world placement at every frame, under a parent turned
// in all three angles and scaled uniformly. Decomposing the transposed axis
// matrix, or skipping the ancestors' scale, fails here.
TEST(Bake, WorldBakeKeepsWorldPlacement)
{
  Host h;
  load(h, three_level_rig("10000002 10000003"), PanelAnswer::World);
  const Track arm_before = track(h, ARM), hand_before = track(h, HAND);
  ASSERT_EQ(activate(h), 0);
  EXPECT_EQ(find_item(h.scene, ARM)->parent, 0u);
  EXPECT_EQ(find_item(h.scene, HAND)->parent, 0u);
  for (auto [id, before] : {std::pair{ARM, &arm_before}, std::pair{HAND, &hand_before}}) {
    const TrackDifference d = compare_tracks(*before, track(h, id));
    EXPECT_LE(d.position, 1e-5) << std::hex << id;
    EXPECT_LE(d.axes, 1e-5) << std::hex << id;
    EXPECT_LE(d.scale, 1e-5) << std::hex << id;
  }
}

// A child spinning two turns under a turned parent: rebuilt angles jump from
// +pi to -pi unless they are chosen for continuity, and the host would then
// interpolate the long way round between frames.
TEST(Bake, WorldBakeKeysTurnTheShortWay)
{
  Host h;
  load(h, R"(
fps 24
preview 0 48
item 10000001 Root
item 10000003 Hand parent 10000001
key 10000001 Rotation.H 0 0.6
key 10000001 Rotation.P 0 -0.5
key 10000001 Rotation.B 0 0.8
key 10000003 Rotation.H 0 0
key 10000003 Rotation.H 48 12.566
key 10000003 Rotation.B 0 0
key 10000003 Rotation.B 48 -9
key 10000003 Rotation.P 0 0.2
select 10000003
)",
       PanelAnswer::World);
  const Track before = track(h, HAND);
  ASSERT_EQ(activate(h), 0);
  Item &hand = *find_item(h.scene, HAND);
  for (const char *name : {"Rotation.H", "Rotation.P", "Rotation.B"}) {
    const auto &keys = find_channel(hand, name)->keys;
    ASSERT_EQ(keys.size(), 49u);
    for (size_t k = 1; k < keys.size(); ++k)
      EXPECT_LT(std::fabs(keys[k].value - keys[k - 1].value), std::numbers::pi) << name << " at key " << k;
  }
  EXPECT_LE(compare_tracks(before, track(h, HAND)).axes, 1e-5);
}

// The whole conversation with the host for one item over three frames, in
// both modes: selection, frame moves, return to the first frame, "ParentItem
// 0" in World mode only, the resets in order, and the modifier removals.
TEST(Bake, CommandProtocolForOneItem)
{
  for (PanelAnswer answer : {PanelAnswer::World, PanelAnswer::Local}) {
    Host h;
    load(h, "fps 30\npreview 5 7\nitem 1a2b Solo\nselect 1a2b\n", answer);
    ASSERT_EQ(activate(h), 0);
    std::vector<std::string> expected = {"SelectItem 1a2b", "GoToFrame 5", "DirtyMotion", "GoToFrame 6",
                                         "DirtyMotion",     "GoToFrame 7", "DirtyMotion", "GoToFrame 5"};
    if (answer == PanelAnswer::World)
      expected.push_back("ParentItem 0");
    for (const char *reset : {"TargetItem 0", "PoleItem 0", "GoalItem 0", "RotationItem 0", "PositionItem 0",
                              "ScaleItem 0", "HController 0", "PController 0", "BController 0", "XController 0",
                              "YController 0", "ZController 0", "SXController 0", "SYController 0",
                              "SZController 0"})
      expected.push_back(reset);
    expected.insert(expected.end(), 100, "RemoveServer ItemMotionHandler 1");
    EXPECT_EQ(h.commands, expected) << answer_name(answer);
    EXPECT_EQ(h.keys.size(), 27u);
  }
}

// The panel's answer is the method the bake uses: only World unparents.
TEST(Bake, PanelAnswerChoosesTheMethod)
{
  struct Case {
    PanelAnswer answer;
    int32_t default_choice;
    bool unparented;
  };
  for (const Case &c : {Case{PanelAnswer::World, 1, true}, Case{PanelAnswer::Local, 0, false},
                        Case{PanelAnswer::Default, 0, true}, Case{PanelAnswer::Default, 1, false}}) {
    Host h;
    load(h, three_level_rig("10000003"), c.answer);
    h.default_choice = c.default_choice;
    ASSERT_EQ(activate(h), 0);
    EXPECT_EQ(find_item(h.scene, HAND)->parent == 0, c.unparented) << answer_name(c.answer) << c.default_choice;
  }
}

// The channel-name rule, one channel group per case: which value each channel
// receives, in which order. Matching on the whole name, on case-insensitive
// text, or stopping after the first passing test fails here.
TEST(KeyWriter, ChannelNameRule)
{
  struct Case {
    std::vector<std::string> channels;
    std::vector<std::pair<std::string, double>> keys; // channel, value, in creation order
  };
  // position (1, 2, 3), rotation (0.4, 0.5, 0.6), scale (7, 8, 9) at the only frame
  const Case cases[] = {
      {{"Position.X", "Position.Y", "Position.Z", "Rotation.H", "Rotation.P", "Rotation.B", "Scale.X", "Scale.Y",
        "Scale.Z"},
       {{"Position.X", 1}, {"Position.Y", 2}, {"Position.Z", 3}, {"Rotation.H", 0.4}, {"Rotation.P", 0.5},
        {"Rotation.B", 0.6}, {"Scale.X", 7}, {"Scale.Y", 8}, {"Scale.Z", 9}}},
      {{"Position.XY"}, {{"Position.XY", 1}}},
      {{"position.X"}, {}},
      {{"Positoin.X"}, {{"Positoin.X", 1}}},
      {{"Position."}, {}},                       // shorter than 10: no position or rotation test
      {{"Scale."}, {}},                          // shorter than 7: no test at all
      {{"Scale.."}, {{"Scale..", 7}, {"Scale..", 8}, {"Scale..", 9}}},
      {{"ScaleScale"}, {{"ScaleScale", 7}, {"ScaleScale", 8}, {"ScaleScale", 9}}},
      {{"Scale.XY"}, {{"Scale.XY", 7}}},
      {{"Rotation.HB"}, {{"Rotation.HB", 0.4}}},
      {{"Color.R", "Rotation.H"}, {{"Rotation.H", 0.4}}},
      {{}, {}},
  };
  for (const Case &c : cases) {
    Host h;
    // The probe takes its values from the Values item through links, so its
    // own channel group can be anything.
    load(h, "fps 10\npreview 0 0\nitem 77 Probe\nitem 88 Values\nkey 88 Position.X 0 1\n"
            "key 88 Position.Y 0 2\nkey 88 Position.Z 0 3\nkey 88 Rotation.H 0 0.4\nkey 88 Rotation.P 0 0.5\n"
            "key 88 Rotation.B 0 0.6\nkey 88 Scale.X 0 7\nkey 88 Scale.Y 0 8\nkey 88 Scale.Z 0 9\n"
            "link 77 position 88\nlink 77 rotation 88\nlink 77 scale 88\nselect 77\n",
         PanelAnswer::Local);
    Item &probe = *find_item(h.scene, 0x77);
    probe.channels.clear();
    for (const std::string &name : c.channels)
      add_channel(probe, name);
    ASSERT_EQ(activate(h), 0);

    std::vector<std::pair<std::string, double>> got;
    for (const KeyRecord &k : h.keys)
      got.emplace_back(k.channel, k.value);
    EXPECT_EQ(got, c.keys) << (c.channels.empty() ? "(no channels)" : c.channels[0]);
    if (c.channels.empty()) {
      // Only the group and the first next-channel query: nothing else to ask.
      EXPECT_EQ(h.calls[CALL_ITEM_CHANNEL_GROUP], 1u);
      EXPECT_EQ(h.calls[CALL_NEXT_CHANNEL], 1u);
      EXPECT_EQ(h.calls[CALL_CHANNEL_NAME], 0u);
    }
  }
}

// Which frames are handled: always |last - first| + 1 of them, upward from
// first, in 64-bit arithmetic (no overflow at the top of the frame range, no
// frame past the largest 32-bit frame).
TEST(Bake, FrameRanges)
{
  struct Case {
    int32_t first, last;
    std::vector<int64_t> frames;
  };
  const Case cases[] = {
      {7, 7, {7}},
      {10, 4, {10, 11, 12, 13, 14, 15, 16}},
      {-2, 1, {-2, -1, 0, 1}},
      {INT32_MAX - 2, INT32_MAX, {INT32_MAX - 2, INT32_MAX - 1, INT32_MAX}},
      {INT32_MAX - 1, INT32_MAX - 5, {INT32_MAX - 1, INT32_MAX}},
  };
  for (const Case &c : cases) {
    Host h;
    load(h, "fps 25\nitem 5 Solo\nselect 5\n", PanelAnswer::Local);
    h.preview_first = c.first;
    h.preview_last = c.last;
    ASSERT_EQ(activate(h), 0);
    // Every frame move but the last, which returns to the first frame.
    std::vector<std::string> moves;
    for (const std::string &command : h.commands)
      if (command.rfind("GoToFrame ", 0) == 0)
        moves.push_back(command);
    ASSERT_FALSE(moves.empty());
    EXPECT_EQ(moves.back(), "GoToFrame " + std::to_string(c.first));
    moves.pop_back();
    std::vector<std::string> expected_moves;
    std::vector<double> expected_times;
    for (int64_t f : c.frames) {
      expected_moves.push_back("GoToFrame " + std::to_string(f));
      expected_times.push_back(static_cast<double>(f) / 25.0);
    }
    EXPECT_EQ(moves, expected_moves) << c.first << ".." << c.last;
    std::vector<double> key_times;
    for (const KeyRecord &k : h.keys)
      if (k.channel == "Position.X")
        key_times.push_back(k.time);
    EXPECT_EQ(key_times, expected_times) << c.first << ".." << c.last;
  }
}

// Two items: the second is selected and sampled only after the first has been
// reset and keyed, and the snapshot of the selection survives "SelectItem"
// changing the host's list.
TEST(Bake, ItemsAreBakedOneAfterTheOther)
{
  Host h;
  load(h, "fps 25\npreview 0 2\nitem 5 A\nitem 6 B\nselect 5 6\n", PanelAnswer::World);
  ASSERT_EQ(activate(h), 0);
  size_t second = 0;
  while (second < h.commands.size() && h.commands[second] != "SelectItem 6")
    ++second;
  ASSERT_LT(second, h.commands.size());
  EXPECT_EQ(h.commands[second - 1], "RemoveServer ItemMotionHandler 1");
  size_t keys_of_first = 0;
  for (const KeyRecord &k : h.keys) {
    if (k.item == 5) {
      ++keys_of_first;
      EXPECT_LE(k.commands_before, second);
    } else {
      EXPECT_GT(k.commands_before, second);
    }
  }
  EXPECT_EQ(keys_of_first, 27u);
  EXPECT_EQ(h.keys.size(), 54u);
}

// Nothing selected, or no list at all: the panel is still shown, nothing is
// sent, and the activation ends normally.
TEST(Bake, EmptySelection)
{
  for (bool null_list : {false, true}) {
    Host h;
    load(h, "fps 25\npreview 0 5\nitem 5 A\n", PanelAnswer::World);
    h.null_selection_list = null_list;
    EXPECT_EQ(activate(h), 0);
    EXPECT_EQ(h.panels.size(), 1u);
    EXPECT_TRUE(h.commands.empty()) << null_list;
    EXPECT_TRUE(h.keys.empty()) << null_list;
  }
}

// A range too long to hold in memory is refused with 3 before anything is
// sent; the scene is untouched.
TEST(Bake, UnobtainableMemoryGivesThree)
{
  Host h;
  load(h, "fps 25\nitem 5 A\nselect 5\n", PanelAnswer::World);
  h.preview_first = INT32_MIN;
  h.preview_last = INT32_MAX;
  EXPECT_EQ(activate(h), 3);
  EXPECT_TRUE(h.commands.empty());
  EXPECT_TRUE(h.keys.empty());
}

// Handles wider than 32 bits select their own item, not the one whose number
// is the low half.
TEST(Bake, WideHandlesAreNotTruncated)
{
  if (sizeof(void *) < 8)
    GTEST_SKIP() << "handles are 32 bits wide in this build";
  Host h;
  load(h, "fps 25\npreview 0 0\nitem 2 Low\nitem 100000002 Wide\nselect 100000002\n", PanelAnswer::Local);
  ASSERT_EQ(activate(h), 0);
  ASSERT_FALSE(h.commands.empty());
  EXPECT_EQ(h.commands[0], "SelectItem 100000002");
  for (const KeyRecord &k : h.keys)
    EXPECT_EQ(k.item, 0x100000002u);
}

} // namespace
