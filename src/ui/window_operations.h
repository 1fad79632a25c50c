// The window operations: the only way the jobs and commands read or change
// the main window. Rows, columns and panels are numbered from 0; an index that
// does not exist reads as empty text and changes nothing. Every text is GBK.
#pragma once

#include "text/text.h"

namespace tessaly {

// The two job buttons whose enabled state the jobs set.
enum class JobButton {
  Search,  // 按钮1 "搜索礼包"
  Crawl,   // 按钮2 "获取全部礼包"
};

class WindowOperations {
 public:
  virtual ~WindowOperations() = default;

  // Appends a row of four empty cells; its index, or -1 if none could be added.
  virtual int ListInsertRow() = 0;
  virtual void ListSetCell(int row, int column, const Text& text) = 0;
  virtual Text ListGetCell(int row, int column) = 0;
  virtual void ListClear() = 0;
  virtual int ListRowCount() = 0;
  virtual void ListSetHeader(int column, const Text& text) = 0;
  // -1 when no row is selected.
  virtual int ListSelectedRow() = 0;
  virtual void StatusSetPanel(int panel, const Text& text) = 0;
  virtual Text StatusGetPanel(int panel) = 0;
  virtual void SetControlEnabled(JobButton button, bool enabled) = 0;
  virtual Text EditGetText() = 0;
  // Returns when the box has been closed (for a job: or the job was stopped).
  virtual void ShowMessage(const Text& text, const Text& title) = 0;
  virtual void ShowPopupMenu() = 0;
};

}  // namespace tessaly
