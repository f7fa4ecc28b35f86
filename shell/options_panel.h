// The modal options panel: the "Method" choice (World or Local).
#pragma once

#include "bake/bake.h"
#include "shell/host_services.h"

// Panel state, kept for the life of the module and overwritten by each activation.
extern PanelHandle options_panel;
extern ControlHandle method_control;
extern ControlHandle border_control;
extern ControlHandle notice_control;
extern ControlDesc control_desc;
extern IntValue method_value;

// Builds and opens the panel with panel_funcs. Returns true and the chosen
// method when the user pressed OK; false when the user cancelled, or when the
// panel or its choice could not be created (nothing is opened then).
bool show_options_panel(BakeMethod *method);
