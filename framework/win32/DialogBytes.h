// Framework-internal: a dialog template from res/ as the dialog manager
// reads it, an extended template (DLGTEMPLATEEX) in memory, so both window
// systems build every dialog from the one table.
#pragma once

#include <windows.h>

#include <vector>

#include "DialogTemplate.h"

// The template's bytes, WORD-aligned as the dialog manager needs them; hand
// data() to DialogBoxIndirectParamW.
std::vector<WORD> BuildDialogBytes(const DialogTemplate& dialogTemplate);
