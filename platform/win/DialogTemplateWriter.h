#pragma once
// A dialog template as the window layer describes it (DLGTEMPLATEEX with its
// controls as an array), written out as the binary DLGTEMPLATEEX that
// DialogBoxIndirectParamW takes: DWORD-aligned, each control on a DWORD
// boundary, classes and titles as text or as 0xFFFF and an ordinal.
#include <vector>

#include "platform/WinUser.h"

namespace platform {

std::vector<DWORD> write_dialog_template(const DLGTEMPLATEEX& dialog_template);

}  // namespace platform
