#include "shell/options_panel.h"

namespace {

constexpr int CHOICE_CONTROL = 9;
constexpr int BORDER_CONTROL = 19;
constexpr int TEXT_CONTROL = 12;
constexpr int VALUE_INTEGER = 2;
constexpr int ATTRIBUTE_VALUE = 4;
constexpr int PANEL_MODAL_OK_CANCEL = 3; // blocking, with OK and Cancel

constexpr const char *method_items[] = {"World", "Local", nullptr};

} // namespace

PanelHandle options_panel;
ControlHandle method_control;
ControlHandle border_control;
ControlHandle notice_control;
ControlDesc control_desc;
IntValue method_value = {VALUE_INTEGER, 0};

bool show_options_panel(BakeMethod *method)
{
  const char *const notice_lines[] = {
      "Bakes every selected item over the preview range into one key per frame.",
      "Links, controllers and motion modifiers of those items are removed.",
      nullptr,
  };

  options_panel = panel_create(panel_funcs, "Halvork2 Strandwell");
  if (!options_panel)
    return false;

  control_desc.choice = {CHOICE_CONTROL, method_items, 0};
  method_control = panel_add_control(panel_funcs, options_panel, "ChoiceControl", &control_desc, "Method");

  control_desc.border = {BORDER_CONTROL, 250, 0};
  border_control = panel_add_control(panel_funcs, options_panel, "BorderControl", &control_desc, "");

  control_desc.text = {TEXT_CONTROL, notice_lines};
  notice_control = panel_add_control(panel_funcs, options_panel, "TextControl", &control_desc, "Notice:");

  // Without the choice there is nothing to read the method from.
  if (!method_control)
    return false;

  if (panel_open(panel_funcs, options_panel, PANEL_MODAL_OK_CANCEL) == 0)
    return false;

  control_get_value(method_control, ATTRIBUTE_VALUE, &method_value);
  *method = method_value.value;
  return true;
}
