// The rows of the result list: four GBK cells per row, turned into QString
// only when the view asks for a visible cell.
//
// Appended rows are announced to the view in batches, and every announcement
// makes the view lay itself out and repaint, which costs far more than
// storing the rows. So:
// - the announcement is posted with low priority, like Qt's own repaint
//   requests: the job calls still waiting are applied first, and one pass of
//   the event loop delivers it;
// - once the view already shows kEagerRows rows, a job that keeps adding
//   rows has them announced at most every kAnnouncementInterval, the last of
//   them at most that long after they were stored. A short list sees every
//   batch on the next pass.
#pragma once

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QTimer>
#include <array>
#include <chrono>
#include <string>
#include <vector>

#include "text/text.h"

namespace tessaly {

class ResourceListModel final : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kName, kSize, kGiftCode, kUpdateTime, kColumnCount };

  explicit ResourceListModel(QObject* parent = nullptr);

  // The window operations on the list; an index that does not exist reads
  // as empty text and changes nothing.
  int AppendRow();  // -1 when no row can be added
  void SetCell(int row, int column, const Text& text);
  Text Cell(int row, int column) const;
  void Clear();
  int StoredRowCount() const { return static_cast<int>(rows_.size()); }
  void SetHeader(int column, const Text& text);
  Text Header(int column) const;

  // Tells the view about rows appended since the last announcement.
  void AnnounceAppendedRows();

  static constexpr int kEagerRows = 1000;
  static constexpr std::chrono::milliseconds kAnnouncementInterval{40};

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 protected:
  void customEvent(QEvent* event) override;

 private:
  bool HasCell(int row, int column) const;
  void ScheduleAnnouncement();

  // Each row is its four cells joined by zero bytes (a Text never holds one):
  // one allocation per row instead of four.
  std::vector<std::string> rows_;
  int announcedRows_ = 0;
  bool announcementPosted_ = false;  // an event or the timer is on its way
  QTimer announcementTimer_;
  QElapsedTimer sinceAnnouncement_;
  std::array<Text, kColumnCount> headers_;
};

}  // namespace tessaly
