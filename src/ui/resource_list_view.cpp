#include "ui/resource_list_view.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QPalette>

namespace tessaly {

ResourceListView::ResourceListView(QWidget* parent) : QTableView(parent) {
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSortingEnabled(false);
  setShowGrid(true);
  setWordWrap(false);
  setFrameShape(QFrame::Box);
  setFrameShadow(QFrame::Plain);
  setLineWidth(1);
  // The popup is opened by our own right-click handling, never by Qt's
  // context-menu event.
  setContextMenuPolicy(Qt::PreventContextMenu);

  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);

  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  horizontalHeader()->setSectionsClickable(false);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setStretchLastSection(false);

  // Black on white, and the selection is not shown while the list lacks the
  // keyboard focus: inactive highlight colours equal the plain ones.
  QPalette colours = palette();
  colours.setColor(QPalette::Base, Qt::white);
  colours.setColor(QPalette::Text, Qt::black);
  colours.setColor(QPalette::Inactive, QPalette::Highlight, Qt::white);
  colours.setColor(QPalette::Inactive, QPalette::HighlightedText, Qt::black);
  setPalette(colours);
}

int ResourceListView::SelectedRow() const {
  if (selectionModel() == nullptr) return -1;
  const QModelIndexList rows = selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.first().row();
}

void ResourceListView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::RightButton) {
    QTableView::mousePressEvent(event);
    return;
  }
  // A right click selects the row under the pointer as a left click would.
  // On the empty part of the list it clears the selection, again as a left
  // click does there: the popup's commands then never act on a row the user
  // did not point at, and no menu opens.
  const QModelIndex under = indexAt(event->position().toPoint());
  if (under.isValid()) {
    setCurrentIndex(under);
    selectionModel()->select(under,
                             QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  } else {
    clearSelection();
  }
  setFocus(Qt::MouseFocusReason);
  event->accept();
  Q_EMIT rightClicked();
}

}  // namespace tessaly
