// The result list's view: whole-row single selection, grid lines, fixed row
// height, no sorting or editing, and a right click that selects the row
// under the pointer before it reports itself.
#pragma once

#include <QTableView>

namespace tessaly {

class ResourceListView final : public QTableView {
  Q_OBJECT

 public:
  explicit ResourceListView(QWidget* parent = nullptr);

  // -1 when no row is selected.
  int SelectedRow() const;

 Q_SIGNALS:
  void rightClicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
};

}  // namespace tessaly
