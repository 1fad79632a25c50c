#include "ui/list_export.h"

#include "text/codepage.h"

namespace tessaly {
namespace {

constexpr int kNameColumn = 0;
constexpr int kGiftCodeColumn = 2;
const Text kLineEnd("\r\n");

}  // namespace

Bytes CodesExportContent(WindowOperations& window) {
  const int rowCount = window.ListRowCount();
  Text content;
  for (int row = 0; row < rowCount; ++row) {
    content += window.ListGetCell(row, kGiftCodeColumn);
    content += kLineEnd;
  }
  return TxToBytes(content);
}

Bytes NamesAndCodesExportContent(WindowOperations& window) {
  const int rowCount = window.ListRowCount();
  const Text separator("----");
  Text content;
  for (int row = 0; row < rowCount; ++row) {
    content += window.ListGetCell(row, kNameColumn);
    content += separator;
    content += window.ListGetCell(row, kGiftCodeColumn);
    content += kLineEnd;
  }
  return TxToBytes(content);
}

Text CopyConfirmationText(const Text& code) {
  return TxJoin(Gbk("复制礼包码："), code, Gbk(" 成功！"));
}

Text CopyConfirmationTitle() {
  return Gbk("提示！");
}

}  // namespace tessaly
