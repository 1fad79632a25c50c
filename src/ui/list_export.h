// What the popup menu's copy and export commands write, built from the list
// through the window operations.
#pragma once

#include "text/text.h"
#include "ui/window_operations.h"

namespace tessaly {

// Every gift code (column 2), each line ended by CR LF; no rows, no bytes.
Bytes CodesExportContent(WindowOperations& window);
// Every name (column 0), "----" and gift code, each line ended by CR LF.
Bytes NamesAndCodesExportContent(WindowOperations& window);
// "复制礼包码：" + code + " 成功！"
Text CopyConfirmationText(const Text& code);
// "提示！"
Text CopyConfirmationTitle();

}  // namespace tessaly
