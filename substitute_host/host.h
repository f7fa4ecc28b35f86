// A substitute for the Layout host, in-process: the services a plug-in module
// looks up by name, the panel services, and a command evaluator, all recording
// what the module did with them.
//
// Its records and function tables are laid out from the host's member tables
// on their own (see host.cpp); they do not share the module's header, so a
// member the module places wrongly shows up as a wrong call or a trap here.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "substitute_host/scene.h"

namespace subhost {

// How the scripted user answers the options panel.
enum class PanelAnswer { Cancel, World, Local, Default };

struct LookupRecord {
  std::string name;
  int use_mode;
};

// One control as the module added it: what the host read from its descriptor.
struct ControlRecord {
  std::string type_name;
  int32_t type_code = 0;
  std::vector<std::string> items; // ChoiceControl
  int32_t vertical = -1;          // ChoiceControl
  int32_t width = -1;             // BorderControl
  int32_t height = -1;            // BorderControl
  std::vector<std::string> text;  // TextControl
  std::string label;
};

// One call of a control's get function.
struct ValueRead {
  size_t control;       // index into PanelRecord::controls
  int attribute;
  int32_t type_field;   // the value record's type as the module had set it
  bool written;         // whether the host wrote a value
  int32_t value;        // what it wrote
};

struct PanelRecord {
  std::string title;
  const void *user_data = nullptr;
  bool lookup_set_at_create = false; // the panel services' global-lookup member held the host's lookup
  std::vector<ControlRecord> controls;
  std::vector<int> open_flags;       // one entry per open call
  std::vector<ValueRead> reads;
};

// Host calls the module makes, counted by kind.
enum CallKind {
  CALL_ITEM_PARENT,
  CALL_ITEM_PARAM,
  CALL_ITEM_CHANNEL_GROUP,
  CALL_NEXT_CHANNEL,
  CALL_CHANNEL_NAME,
  CALL_CHANNEL_ENVELOPE,
  CALL_CREATE_KEY,
  CALL_COMMAND,
  CALL_KINDS
};
extern const char *const call_kind_names[CALL_KINDS];

// One key the module created.
struct KeyRecord {
  uint64_t item;
  std::string channel;
  double time;
  double value;
  size_t commands_before; // how many commands had been sent when it was created
};

// One answer of the item parameter query.
struct QueryRecord {
  uint64_t item;
  int code;
  double time;
  std::array<double, 3> value;
};

struct Host {
  // ---- what the host offers (set by a test before activating) ----
  std::vector<std::string> withheld;      // service names the lookup answers with null
  PanelAnswer answer = PanelAnswer::Default;
  int32_t default_choice = 0;             // the choice's item when the user leaves it alone
  bool refuse_panel = false;              // panel creation returns null
  int32_t preview_first = 0;
  int32_t preview_last = 0;
  std::vector<Handle> selection;          // the selected items, without terminator; "SelectItem" replaces it
  bool null_selection_list = false;       // the selected-items member is a null pointer

  // ---- what the module did ----
  std::vector<LookupRecord> lookups;
  std::deque<PanelRecord> panels;
  int refused_panels = 0;                 // panel creations answered with null
  int controls_without_panel = 0;         // controls added to a null panel
  std::vector<std::string> commands;
  std::vector<std::string> unknown_commands; // commands the host does not know
  std::array<size_t, CALL_KINDS> calls{};
  bool record_keys = true;                   // keep a KeyRecord per created key
  std::vector<KeyRecord> keys;
  bool cheap = false;                        // answer queries with zeros, keep no keys or commands:
                                             // for measuring the module's own cost
  bool record_queries = false;               // keep a QueryRecord per parameter query
  std::vector<QueryRecord> queries;

  // ---- the scene the services answer from and the commands act on ----
  Scene scene;
};

// Makes `host` the one that the lookup function and every service answer for,
// until detach. Only one host is attached at a time.
void attach(Host *host);
void detach();

// The host's global-lookup function, as handed to an activation.
void *global_lookup(const char *service_name, int use_mode);

// The generic-command context to pass as an activation's third argument;
// commands sent through it are recorded in the attached host.
void *command_context();

// Calls the attached host's services through their tables as often as
// `counts` says, with `item` (an item of its scene, with channels): the cost of
// the host calls alone, to set against an activation that made them.
void call_services(std::array<size_t, CALL_KINDS> counts, Handle item);

// The seven services a Layout generic plug-in can look up here.
extern const char *const service_names[7];

} // namespace subhost
