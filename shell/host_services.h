// The host's plug-in interface as this module uses it, and the module-level
// service pointers.
//
// Every function table and record the host hands over is described here, with
// its members in the host's order (members count from 1 in the comments,
// function-table members are pointer-sized). Members the module never calls
// are placeholders that only keep the positions. This is the only file that
// knows those positions: the rest of the module calls the named wrappers
// below. The static_asserts at the end restate every position as a byte
// offset for the 64-bit and the 32-bit Windows builds.
#pragma once

#include <cstddef>
#include <cstdint>

// Host handles: opaque values owned by the host, passed through unchanged.
using ItemHandle = void *;
using ChannelGroupHandle = void *;
using ChannelHandle = void *;
using EnvelopeHandle = void *;
using KeyHandle = void *;
using PanelHandle = void *;

extern "C" {

using GlobalLookup = void *(const char *service_name, int use_mode);
using ActivateFunc = int(int version, GlobalLookup *lookup, void *context, void *server_data);
using Placeholder = void *;

// ---- module descriptor (read by the host from the export _mod_descrip) ----

struct ServerEntry {
  const char *class_name;
  const char *server_name;
  ActivateFunc *activate;
  const void *tags;
};

struct ModuleHeader {
  uint32_t sync_word;
  uint32_t version;
  uint32_t machine;
  void *(*startup)(void);
  void (*shutdown)(void *);
  const ServerEntry *servers;
};

// ---- generic-command context (third argument of the activation) ----

struct GenericContext {
  Placeholder m1, m2;
  void *data;                                           // 3
  Placeholder m4, m5;
  int (*evaluate)(void *data, const char *command);     // 6
};

// ---- "LW Item Info 6" ----

struct ItemInfoFuncs {
  Placeholder m1, m2, m3, m4;
  ItemHandle (*parent)(ItemHandle item);                                  // 5
  Placeholder m6, m7, m8, m9;
  void (*param)(ItemHandle item, int code, double time, double out[3]);   // 10
  Placeholder m11, m12, m13;
  ChannelGroupHandle (*channel_group)(ItemHandle item);                   // 14
};

// ---- "Channel Info 2" ----

struct ChannelInfoFuncs {
  Placeholder m1;
  ChannelHandle (*next_channel)(ChannelGroupHandle group, ChannelHandle previous); // 2
  Placeholder m3;
  const char *(*channel_name)(ChannelHandle channel);                              // 4
  Placeholder m5, m6, m7, m8;
  EnvelopeHandle (*channel_envelope)(ChannelHandle channel);                       // 9
};

// ---- "Animation Envelopes" ----

struct EnvelopeFuncs {
  Placeholder m1, m2, m3, m4, m5, m6, m7, m8, m9, m10;
  KeyHandle (*create_key)(EnvelopeHandle envelope, double time, double value);     // 11
};

// ---- panel controls and their records ----

// A value record as the host's control get function fills it.
struct IntValue {
  int32_t type; // 2: integer
  int32_t value;
};

// A control handle points at this record.
struct ControlFuncs {
  Placeholder m1;
  void (*get)(ControlFuncs *control, int attribute, IntValue *value); // 2
  Placeholder m3, m4;
};
using ControlHandle = ControlFuncs *;

// Control descriptors: the 32-bit type code followed by the control's own members.
struct ChoiceDesc {
  int32_t type; // 9
  const char *const *items;
  int32_t vertical;
};
struct BorderDesc {
  int32_t type; // 19
  int32_t width;
  int32_t height;
};
struct TextDesc {
  int32_t type; // 12
  const char *const *text;
};
union ControlDesc {
  int32_t type;
  ChoiceDesc choice;
  BorderDesc border;
  TextDesc text;
};

// ---- "LWPanelServices 2" ----

struct PanelFuncs {
  PanelHandle (*create)(const char *title, void *user_data);                                  // 1
  Placeholder m2;
  int (*open)(PanelHandle panel, int flags);                                                  // 3
  Placeholder m4, m5, m6, m7, m8;
  ControlHandle (*add_control)(PanelHandle panel, const char *type_name, ControlDesc *desc,
                               const char *label);                                            // 9
  Placeholder m10, m11, m12;
  GlobalLookup *global_lookup;                                                                // 13 (data)
};

// ---- "LW Scene Info 9" (a data record) ----

struct SceneInfo {
  const char *m1, *m2;
  int32_t m3, m4, m5, m6, m7, m8, m9;
  double frames_per_second; // 10
};

// ---- "LW Interface Info 7" (a data record) ----

struct InterfaceInfo {
  double m1;
  const ItemHandle *selected_items; // 2: ends with null
  void *m3;
  int32_t preview_first;            // 4
  int32_t preview_last;             // 5
};

} // extern "C"

// ---- module-level service pointers, written by lookup_services ----

extern const void *message_funcs;          // "Info Messages 3" (required, never called)
extern PanelFuncs *panel_funcs;            // "LWPanelServices 2"
extern const SceneInfo *scene_info;        // "LW Scene Info 9"
extern const ItemInfoFuncs *item_info;     // "LW Item Info 6"
extern const EnvelopeFuncs *envelope_funcs; // "Animation Envelopes"
extern const ChannelInfoFuncs *channel_info; // "Channel Info 2"
extern const InterfaceInfo *interface_info; // "LW Interface Info 7"

// Looks up the seven services, in the host's documented order, each with use
// mode 0, and stores them in the pointers above. Tests nothing.
void lookup_services(GlobalLookup *lookup);

// True when every one of the seven services was found.
bool all_services_present();

// ---- item parameter codes ----
enum ItemParam : int {
  ITEM_POSITION = 1,
  ITEM_ROTATION = 5,
  ITEM_SCALING = 6,
  ITEM_W_POSITION = 8,
  ITEM_W_RIGHT = 9,
  ITEM_W_UP = 10,
  ITEM_W_FORWARD = 11,
};

// ---- named wrappers: the rest of the module calls these ----

ItemHandle item_parent(const ItemInfoFuncs *info, ItemHandle item);
void item_query(const ItemInfoFuncs *info, ItemHandle item, ItemParam code, double time, double out[3]);
ChannelGroupHandle item_channel_group(const ItemInfoFuncs *info, ItemHandle item);

ChannelHandle channel_next(const ChannelInfoFuncs *info, ChannelGroupHandle group, ChannelHandle previous);
const char *channel_name(const ChannelInfoFuncs *info, ChannelHandle channel);
EnvelopeHandle channel_envelope(const ChannelInfoFuncs *info, ChannelHandle channel);

void envelope_create_key(const EnvelopeFuncs *funcs, EnvelopeHandle envelope, double time, double value);

void panel_set_global_lookup(PanelFuncs *funcs, GlobalLookup *lookup);
PanelHandle panel_create(const PanelFuncs *funcs, const char *title);
ControlHandle panel_add_control(const PanelFuncs *funcs, PanelHandle panel, const char *type_name,
                                ControlDesc *desc, const char *label);
int panel_open(const PanelFuncs *funcs, PanelHandle panel, int flags);
void control_get_value(ControlHandle control, int attribute, IntValue *value);

double scene_frames_per_second(const SceneInfo *info);
int32_t preview_first_frame(const InterfaceInfo *info);
int32_t preview_last_frame(const InterfaceInfo *info);
const ItemHandle *selected_items(const InterfaceInfo *info);

// Sends one Layout command through the generic-command context; the result is ignored.
void send_command(const GenericContext *context, const char *command);

// ---- the positions, as byte offsets, checked where the module is built ----

#define STRANDWELL_MEMBER_AT(type, member, n) \
  static_assert(offsetof(type, member) == ((n) - 1) * sizeof(void *), #type " member " #n)
STRANDWELL_MEMBER_AT(GenericContext, data, 3);
STRANDWELL_MEMBER_AT(GenericContext, evaluate, 6);
STRANDWELL_MEMBER_AT(ItemInfoFuncs, parent, 5);
STRANDWELL_MEMBER_AT(ItemInfoFuncs, param, 10);
STRANDWELL_MEMBER_AT(ItemInfoFuncs, channel_group, 14);
STRANDWELL_MEMBER_AT(ChannelInfoFuncs, next_channel, 2);
STRANDWELL_MEMBER_AT(ChannelInfoFuncs, channel_name, 4);
STRANDWELL_MEMBER_AT(ChannelInfoFuncs, channel_envelope, 9);
STRANDWELL_MEMBER_AT(EnvelopeFuncs, create_key, 11);
STRANDWELL_MEMBER_AT(PanelFuncs, create, 1);
STRANDWELL_MEMBER_AT(PanelFuncs, open, 3);
STRANDWELL_MEMBER_AT(PanelFuncs, add_control, 9);
STRANDWELL_MEMBER_AT(PanelFuncs, global_lookup, 13);
STRANDWELL_MEMBER_AT(ControlFuncs, get, 2);
STRANDWELL_MEMBER_AT(ServerEntry, activate, 3);
#undef STRANDWELL_MEMBER_AT

static_assert(sizeof(ServerEntry) == 4 * sizeof(void *));
static_assert(offsetof(ModuleHeader, machine) == 8);
static_assert(offsetof(ModuleHeader, startup) == (sizeof(void *) == 8 ? 16 : 12));
static_assert(offsetof(ModuleHeader, servers) == (sizeof(void *) == 8 ? 32 : 20));
static_assert(offsetof(ChoiceDesc, items) == sizeof(void *));  // 4 or 8: pointer-aligned
static_assert(offsetof(ChoiceDesc, vertical) == 2 * sizeof(void *));
static_assert(offsetof(BorderDesc, width) == 4 && offsetof(BorderDesc, height) == 8);
static_assert(offsetof(TextDesc, text) == sizeof(void *));
static_assert(offsetof(IntValue, value) == 4);
static_assert(offsetof(InterfaceInfo, selected_items) == 8);
static_assert(offsetof(InterfaceInfo, preview_first) == 8 + 2 * sizeof(void *));
static_assert(offsetof(InterfaceInfo, preview_last) == 12 + 2 * sizeof(void *));
#if defined(_WIN32) || defined(__x86_64__)
// Windows aligns doubles in records to 8 bytes on both pointer sizes.
static_assert(offsetof(SceneInfo, frames_per_second) == (sizeof(void *) == 8 ? 48 : 40));
#else
// The i386 System V ABI aligns doubles in records to 4 bytes.
static_assert(offsetof(SceneInfo, frames_per_second) == 36);
#endif
