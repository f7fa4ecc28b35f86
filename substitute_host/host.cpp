#include "substitute_host/host.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace subhost {
namespace {

Host *current = nullptr;

Host &host()
{
  if (!current) {
    std::fprintf(stderr, "substitute host: a service was called with no host attached\n");
    std::abort();
  }
  return *current;
}

// ---- the host's own description of its records ----
//
// Function tables are arrays of pointer-sized slots: member n of the host's
// tables is slot n - 1. Slots the module has no business calling hold a trap
// that names the member and stops the program.

template <size_t N> using Slots = std::array<void *, N>;

template <class F> void *slot(F *function) { return reinterpret_cast<void *>(function); }

template <int Service, int Member> void trap()
{
  static const char *const names[] = {"LW Item Info 6", "Channel Info 2", "Animation Envelopes",
                                      "LWPanelServices 2", "control", "generic context"};
  std::fprintf(stderr, "substitute host: the module called member %d of %s, which it must not use\n", Member,
               names[Service]);
  std::abort();
}

template <int Service, size_t N> constexpr Slots<N> traps()
{
  return []<size_t... I>(std::index_sequence<I...>) {
    return Slots<N>{slot(&trap<Service, static_cast<int>(I) + 1>)...};
  }(std::make_index_sequence<N>{});
}

enum ServiceIndex { ITEM_INFO, CHANNEL_INFO, ENVELOPES, PANELS, CONTROL, CONTEXT };

// "LW Scene Info 9": two text pointers, seven integers, frames per second.
struct SceneInfoRecord {
  const char *name;
  const char *filename;
  int32_t points, polygons, render_type, render_options, frame_start, frame_end, frame_step;
  double frames_per_second;
};

// "LW Interface Info 7": current time, selected items, item flags, preview range.
struct InterfaceInfoRecord {
  double current_time;
  const Handle *selected_items;
  const uint32_t *item_flags;
  int32_t preview_start;
  int32_t preview_end;
};

// A panel control descriptor as the host reads it: the type code, then the
// control's own members at their natural alignment.
struct ChoiceDescRecord {
  int32_t type;
  const char *const *items;
  int32_t vertical;
};
struct BorderDescRecord {
  int32_t type;
  int32_t width;
  int32_t height;
};
struct TextDescRecord {
  int32_t type;
  const char *const *text;
};

// An integer value record: type, then the value.
struct IntValueRecord {
  int32_t type;
  int32_t value;
};

// The record a control handle points at: four slots, get is the second.
struct ControlRecordSlots {
  Slots<4> slots;
  PanelRecord *panel;
  size_t index;
};

std::deque<ControlRecordSlots> controls;
SceneInfoRecord scene_info_record;
InterfaceInfoRecord interface_info_record;

std::vector<std::string> read_list(const char *const *list)
{
  std::vector<std::string> out;
  for (; list && *list; ++list)
    out.emplace_back(*list);
  return out;
}

// ---- "LW Item Info 6" ----

const Item *item_of(Handle h) { return find_item(host().scene, item_id(h)); }

// Counts a call by kind.
struct CallScope {
  explicit CallScope(CallKind kind) { ++host().calls[kind]; }
};

Handle item_parent(Handle h)
{
  CallScope scope(CALL_ITEM_PARENT);
  const Item *item = item_of(h);
  return item && item->parent ? item_handle(item->parent) : nullptr;
}

void item_param(Handle h, int code, double time, double out[3])
{
  CallScope scope(CALL_ITEM_PARAM);
  out[0] = out[1] = out[2] = 0.0;
  if (host().cheap)
    return;
  const Item *item = item_of(h);
  if (!item)
    return;
  const Scene &scene = host().scene;
  const std::array<double, 3> *value = nullptr;
  LocalValues local;
  WorldPlacement world;
  switch (code) {
  case 1: case 5: case 6:
    local = local_values(scene, *item, time);
    value = code == 1 ? &local.position : code == 5 ? &local.rotation : &local.scale;
    break;
  case 8: case 9: case 10: case 11:
    world = world_placement(scene, *item, time);
    value = code == 8 ? &world.position : &world.axes[code - 9];
    break;
  default:
    return;
  }
  std::copy(value->begin(), value->end(), out);
  Host &current_host = host();
  if (current_host.record_queries)
    current_host.queries.push_back({item->id, code, time, *value});
}

Handle item_channel_group(Handle h)
{
  CallScope scope(CALL_ITEM_CHANNEL_GROUP);
  return const_cast<Item *>(item_of(h));
}

// ---- "Channel Info 2": a channel group is an item, a channel its Channel ----

Handle channel_next(Handle group, Handle previous)
{
  CallScope scope(CALL_NEXT_CHANNEL);
  auto *item = static_cast<Item *>(group);
  if (!item)
    return nullptr;
  size_t next = previous ? static_cast<Channel *>(previous)->index_in_group + 1 : 0;
  return next < item->channels.size() ? &item->channels[next] : nullptr;
}

const char *channel_name(Handle channel)
{
  CallScope scope(CALL_CHANNEL_NAME);
  return static_cast<Channel *>(channel)->name.c_str();
}

// A channel's envelope is the channel's own key list.
Handle channel_envelope(Handle channel)
{
  CallScope scope(CALL_CHANNEL_ENVELOPE);
  return channel;
}

// ---- "Animation Envelopes" ----

Handle envelope_create_key(Handle envelope, double time, double value)
{
  CallScope scope(CALL_CREATE_KEY);
  Host &h = host();
  if (h.cheap)
    return envelope;
  auto *channel = static_cast<Channel *>(envelope);
  set_key(*channel, time, value);
  ++channel->keys_created;
  if (h.record_keys)
    h.keys.push_back({channel->item->id, channel->name, time, value, h.commands.size()});
  return envelope;
}

// ---- "LWPanelServices 2" and controls ----

Slots<13> panel_funcs_table;

Handle panel_create(const char *title, void *user_data)
{
  Host &h = host();
  if (h.refuse_panel) {
    ++h.refused_panels;
    return nullptr;
  }
  PanelRecord &p = h.panels.emplace_back();
  p.title = title ? title : "";
  p.user_data = user_data;
  p.lookup_set_at_create = panel_funcs_table[12] == slot(&global_lookup);
  return &p;
}

void control_get(void *control, int attribute, void *value)
{
  auto *c = static_cast<ControlRecordSlots *>(control);
  auto *v = static_cast<IntValueRecord *>(value);
  ValueRead read{c->index, attribute, v->type, false, 0};
  const ControlRecord &record = c->panel->controls[c->index];
  if (attribute == 4 && record.type_name == "ChoiceControl") {
    Host &h = host();
    int32_t chosen = h.answer == PanelAnswer::World   ? 0
                     : h.answer == PanelAnswer::Local ? 1
                                                      : h.default_choice;
    v->value = chosen;
    read.written = true;
    read.value = chosen;
  }
  c->panel->reads.push_back(read);
}

void *panel_add_control(Handle panel, const char *type_name, void *desc, const char *label)
{
  auto *p = static_cast<PanelRecord *>(panel);
  if (!p) {
    ++host().controls_without_panel;
    return nullptr;
  }
  ControlRecord record;
  record.type_name = type_name ? type_name : "";
  record.label = label ? label : "";
  std::memcpy(&record.type_code, desc, sizeof record.type_code);
  if (record.type_name == "ChoiceControl") {
    auto *d = static_cast<const ChoiceDescRecord *>(desc);
    record.items = read_list(d->items);
    record.vertical = d->vertical;
  } else if (record.type_name == "BorderControl") {
    auto *d = static_cast<const BorderDescRecord *>(desc);
    record.width = d->width;
    record.height = d->height;
  } else if (record.type_name == "TextControl") {
    record.text = read_list(static_cast<const TextDescRecord *>(desc)->text);
  }
  p->controls.push_back(record);
  ControlRecordSlots &c = controls.emplace_back();
  c.slots = traps<CONTROL, 4>();
  c.slots[1] = slot(&control_get);
  c.panel = p;
  c.index = p->controls.size() - 1;
  return &c;
}

int panel_open(Handle panel, int flags)
{
  auto *p = static_cast<PanelRecord *>(panel);
  p->open_flags.push_back(flags);
  return host().answer == PanelAnswer::Cancel ? 0 : 1;
}

// ---- generic-command context ----

std::vector<Handle> selection_list;

// The interface record's selected-item list. It is refilled in place on
// "SelectItem": a module that kept the host's list instead of a copy sees it
// change under it, as it would in Layout.
void set_selection_list(const Host &h)
{
  selection_list.reserve(h.selection.size() + 16);
  selection_list.assign(h.selection.begin(), h.selection.end());
  selection_list.push_back(nullptr);
  interface_info_record.selected_items = h.null_selection_list ? nullptr : selection_list.data();
}

int evaluate_command(void *data, const char *command)
{
  Host &h = *static_cast<Host *>(data);
  CallScope scope(CALL_COMMAND);
  if (h.cheap)
    return 1;
  std::string text = command ? command : "";
  h.commands.push_back(text);
  if (!run_command(h.scene, text)) {
    h.unknown_commands.push_back(text);
    return 0;
  }
  if (text.rfind("SelectItem ", 0) == 0) {
    h.selection.clear();
    if (h.scene.selected)
      h.selection.push_back(item_handle(h.scene.selected));
    set_selection_list(h);
  }
  return 1;
}

Slots<6> context_table;

// ---- the tables ----

Slots<14> item_info_table;
Slots<9> channel_info_table;
Slots<11> envelope_funcs_table;
int message_funcs_table; // "Info Messages 3": present, never called

void build_tables()
{
  item_info_table = traps<ITEM_INFO, 14>();
  item_info_table[4] = slot(&item_parent);
  item_info_table[9] = slot(&item_param);
  item_info_table[13] = slot(&item_channel_group);

  channel_info_table = traps<CHANNEL_INFO, 9>();
  channel_info_table[1] = slot(&channel_next);
  channel_info_table[3] = slot(&channel_name);
  channel_info_table[8] = slot(&channel_envelope);

  envelope_funcs_table = traps<ENVELOPES, 11>();
  envelope_funcs_table[10] = slot(&envelope_create_key);

  panel_funcs_table = traps<PANELS, 13>();
  panel_funcs_table[0] = slot(&panel_create);
  panel_funcs_table[2] = slot(&panel_open);
  panel_funcs_table[8] = slot(&panel_add_control);
  panel_funcs_table[12] = nullptr; // data member: the module stores the lookup function here

  context_table = traps<CONTEXT, 6>();
  context_table[2] = current;
  context_table[5] = slot(&evaluate_command);
}

} // namespace

const char *const call_kind_names[CALL_KINDS] = {
    "item parent", "item parameter", "item channel group", "next channel",
    "channel name", "channel envelope", "create key", "command",
};

const char *const service_names[7] = {
    "Info Messages 3",     "LWPanelServices 2", "LW Scene Info 9",     "LW Item Info 6",
    "Animation Envelopes", "Channel Info 2",    "LW Interface Info 7",
};

void call_services(std::array<size_t, CALL_KINDS> counts, Handle item)
{
  // Through the tables, as the module calls them; the answers are kept so the
  // calls are not optimised away.
  using Parent = Handle(Handle);
  using Param = void(Handle, int, double, double *);
  using Group = Handle(Handle);
  using Next = Handle(Handle, Handle);
  using Name = const char *(Handle);
  using Envelope = Handle(Handle);
  using CreateKey = Handle(Handle, double, double);
  using Evaluate = int(void *, const char *);
  volatile uintptr_t sink = 0;
  double out[3];
  Handle group = reinterpret_cast<Group *>(item_info_table[13])(item);
  Handle channel = reinterpret_cast<Next *>(channel_info_table[1])(group, nullptr);
  for (size_t i = 0; i < counts[CALL_ITEM_PARENT]; ++i)
    sink = sink + reinterpret_cast<uintptr_t>(reinterpret_cast<Parent *>(item_info_table[4])(item));
  for (size_t i = 0; i < counts[CALL_ITEM_PARAM]; ++i) {
    reinterpret_cast<Param *>(item_info_table[9])(item, 8, 0.5, out);
    sink = sink + static_cast<uintptr_t>(out[0]);
  }
  for (size_t i = 0; i < counts[CALL_ITEM_CHANNEL_GROUP]; ++i)
    sink = sink + reinterpret_cast<uintptr_t>(reinterpret_cast<Group *>(item_info_table[13])(item));
  for (size_t i = 0; i < counts[CALL_NEXT_CHANNEL]; ++i)
    sink = sink + reinterpret_cast<uintptr_t>(reinterpret_cast<Next *>(channel_info_table[1])(group, channel));
  for (size_t i = 0; i < counts[CALL_CHANNEL_NAME]; ++i)
    sink = sink + reinterpret_cast<uintptr_t>(reinterpret_cast<Name *>(channel_info_table[3])(channel));
  for (size_t i = 0; i < counts[CALL_CHANNEL_ENVELOPE]; ++i)
    sink = sink + reinterpret_cast<uintptr_t>(reinterpret_cast<Envelope *>(channel_info_table[8])(channel));
  for (size_t i = 0; i < counts[CALL_CREATE_KEY]; ++i)
    sink = sink + reinterpret_cast<uintptr_t>(reinterpret_cast<CreateKey *>(envelope_funcs_table[10])(channel, 0.5, 1.0));
  for (size_t i = 0; i < counts[CALL_COMMAND]; ++i)
    sink = sink + static_cast<uintptr_t>(reinterpret_cast<Evaluate *>(context_table[5])(context_table[2], "GoToFrame 12345"));
}

void attach(Host *h)
{
  current = h;
  controls.clear();
  build_tables();
}

void detach() { current = nullptr; }

void *command_context() { return context_table.data(); }

void *global_lookup(const char *service_name, int use_mode)
{
  Host &h = host();
  std::string name = service_name ? service_name : "";
  h.lookups.push_back({name, use_mode});
  if (std::find(h.withheld.begin(), h.withheld.end(), name) != h.withheld.end())
    return nullptr;

  if (name == "Info Messages 3")
    return &message_funcs_table;
  if (name == "LWPanelServices 2")
    return panel_funcs_table.data();
  if (name == "LW Item Info 6")
    return item_info_table.data();
  if (name == "Channel Info 2")
    return channel_info_table.data();
  if (name == "Animation Envelopes")
    return envelope_funcs_table.data();
  if (name == "LW Scene Info 9") {
    scene_info_record = {};
    scene_info_record.frames_per_second = h.scene.frames_per_second;
    return &scene_info_record;
  }
  if (name == "LW Interface Info 7") {
    interface_info_record = {};
    set_selection_list(h);
    interface_info_record.preview_start = h.preview_first;
    interface_info_record.preview_end = h.preview_last;
    return &interface_info_record;
  }
  return nullptr;
}

} // namespace subhost
