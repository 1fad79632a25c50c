// The rows of the result list: four GBK cells per row, turned into QString
// only when the view asks for a visible cell. Appended rows are announced to
// the view in batches: one beginInsertRows per pass of the event loop, so a
// job adding thousands of rows costs the view one update per batch.
#pragma once

#include <QAbstractTableModel>
#include <array>
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

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  bool HasCell(int row, int column) const;

  // Each row is its four cells joined by zero bytes (a Text never holds one):
  // one allocation per row instead of four.
  std::vector<std::string> rows_;
  int announcedRows_ = 0;
  bool announcementPosted_ = false;
  std::array<Text, kColumnCount> headers_;
};

}  // namespace tessaly
