#include "shell/host_services.h"

const void *message_funcs;
PanelFuncs *panel_funcs;
const SceneInfo *scene_info;
const ItemInfoFuncs *item_info;
const EnvelopeFuncs *envelope_funcs;
const ChannelInfoFuncs *channel_info;
const InterfaceInfo *interface_info;

void lookup_services(GlobalLookup *lookup)
{
  message_funcs = lookup("Info Messages 3", 0);
  panel_funcs = static_cast<PanelFuncs *>(lookup("LWPanelServices 2", 0));
  scene_info = static_cast<const SceneInfo *>(lookup("LW Scene Info 9", 0));
  item_info = static_cast<const ItemInfoFuncs *>(lookup("LW Item Info 6", 0));
  envelope_funcs = static_cast<const EnvelopeFuncs *>(lookup("Animation Envelopes", 0));
  channel_info = static_cast<const ChannelInfoFuncs *>(lookup("Channel Info 2", 0));
  interface_info = static_cast<const InterfaceInfo *>(lookup("LW Interface Info 7", 0));
}

bool all_services_present()
{
  return message_funcs && panel_funcs && scene_info && item_info && envelope_funcs && channel_info &&
         interface_info;
}

ItemHandle item_parent(const ItemInfoFuncs *info, ItemHandle item) { return info->parent(item); }

void item_query(const ItemInfoFuncs *info, ItemHandle item, ItemParam code, double time, double out[3])
{
  info->param(item, code, time, out);
}

ChannelGroupHandle item_channel_group(const ItemInfoFuncs *info, ItemHandle item)
{
  return info->channel_group(item);
}

ChannelHandle channel_next(const ChannelInfoFuncs *info, ChannelGroupHandle group, ChannelHandle previous)
{
  return info->next_channel(group, previous);
}

const char *channel_name(const ChannelInfoFuncs *info, ChannelHandle channel)
{
  return info->channel_name(channel);
}

EnvelopeHandle channel_envelope(const ChannelInfoFuncs *info, ChannelHandle channel)
{
  return info->channel_envelope(channel);
}

void envelope_create_key(const EnvelopeFuncs *funcs, EnvelopeHandle envelope, double time, double value)
{
  funcs->create_key(envelope, time, value);
}

void panel_set_global_lookup(PanelFuncs *funcs, GlobalLookup *lookup) { funcs->global_lookup = lookup; }

PanelHandle panel_create(const PanelFuncs *funcs, const char *title) { return funcs->create(title, nullptr); }

ControlHandle panel_add_control(const PanelFuncs *funcs, PanelHandle panel, const char *type_name,
                                ControlDesc *desc, const char *label)
{
  return funcs->add_control(panel, type_name, desc, label);
}

int panel_open(const PanelFuncs *funcs, PanelHandle panel, int flags) { return funcs->open(panel, flags); }

void control_get_value(ControlHandle control, int attribute, IntValue *value)
{
  control->get(control, attribute, value);
}

double scene_frames_per_second(const SceneInfo *info) { return info->frames_per_second; }
int32_t preview_first_frame(const InterfaceInfo *info) { return info->preview_first; }
int32_t preview_last_frame(const InterfaceInfo *info) { return info->preview_last; }
const ItemHandle *selected_items(const InterfaceInfo *info) { return info->selected_items; }

void send_command(const GenericContext *context, const char *command)
{
  context->evaluate(context->data, command);
}
