#include "ui/resource_list_model.h"

#include <QCoreApplication>
#include <QEvent>
#include <climits>
#include <memory>

#include "text/codepage.h"
#include "ui/qt_text.h"

namespace tessaly {
namespace {

constexpr char kCellSeparator = '\0';
const QEvent::Type kAnnounceRowsEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
const std::string kEmptyRow(ResourceListModel::kColumnCount - 1, kCellSeparator);

// Byte range [begin, end) of one cell within a row.
struct CellRange {
  std::size_t begin;
  std::size_t end;
};

CellRange FindCell(const std::string& row, int column) {
  std::size_t begin = 0;
  for (int skipped = 0; skipped < column; ++skipped) begin = row.find(kCellSeparator, begin) + 1;
  std::size_t end = row.find(kCellSeparator, begin);
  if (end == std::string::npos) end = row.size();
  return {begin, end};
}

}  // namespace

ResourceListModel::ResourceListModel(QObject* parent) : QAbstractTableModel(parent) {
  headers_ = {Gbk("最新资源"), Gbk("大小"), Gbk("礼包码"), Gbk("更新时间")};
  announcementTimer_.setSingleShot(true);
  connect(&announcementTimer_, &QTimer::timeout, this, &ResourceListModel::AnnounceAppendedRows);
}

bool ResourceListModel::HasCell(int row, int column) const {
  return row >= 0 && row < StoredRowCount() && column >= 0 && column < kColumnCount;
}

int ResourceListModel::AppendRow() {
  if (rows_.size() >= static_cast<std::size_t>(INT_MAX)) return -1;
  rows_.push_back(kEmptyRow);
  ScheduleAnnouncement();
  return StoredRowCount() - 1;
}

void ResourceListModel::ScheduleAnnouncement() {
  if (announcementPosted_) return;
  announcementPosted_ = true;
  const auto sinceLast = std::chrono::milliseconds(
      sinceAnnouncement_.isValid() ? sinceAnnouncement_.elapsed() : kAnnouncementInterval.count());
  if (announcedRows_ < kEagerRows || sinceLast >= kAnnouncementInterval) {
    // postEvent takes the event over.
    QCoreApplication::postEvent(this, std::make_unique<QEvent>(kAnnounceRowsEvent).release(),
                                Qt::LowEventPriority);
  } else {
    announcementTimer_.start(kAnnouncementInterval - sinceLast);
  }
}

void ResourceListModel::customEvent(QEvent* event) {
  if (event->type() == kAnnounceRowsEvent) AnnounceAppendedRows();
}

void ResourceListModel::AnnounceAppendedRows() {
  announcementPosted_ = false;
  announcementTimer_.stop();
  if (StoredRowCount() == announcedRows_) return;
  sinceAnnouncement_.start();
  // The view only ever looks at rows below announcedRows_, so the rows stored
  // beyond it may already hold their cells.
  beginInsertRows(QModelIndex(), announcedRows_, StoredRowCount() - 1);
  announcedRows_ = StoredRowCount();
  endInsertRows();
}

void ResourceListModel::SetCell(int row, int column, const Text& text) {
  if (!HasCell(row, column)) return;
  std::string& stored = rows_[static_cast<std::size_t>(row)];
  const CellRange cell = FindCell(stored, column);
  stored.replace(cell.begin, cell.end - cell.begin, text.bytes());
  if (row < announcedRows_) {
    const QModelIndex changed = index(row, column);
    Q_EMIT dataChanged(changed, changed, {Qt::DisplayRole});
  }
}

Text ResourceListModel::Cell(int row, int column) const {
  if (!HasCell(row, column)) return {};
  const std::string& stored = rows_[static_cast<std::size_t>(row)];
  const CellRange cell = FindCell(stored, column);
  return Text(std::string_view(stored).substr(cell.begin, cell.end - cell.begin));
}

void ResourceListModel::Clear() {
  beginResetModel();
  rows_.clear();
  rows_.shrink_to_fit();
  announcedRows_ = 0;
  // A new list starts short: its first rows are announced at once again.
  announcementTimer_.stop();
  announcementPosted_ = false;
  endResetModel();
}

void ResourceListModel::SetHeader(int column, const Text& text) {
  if (column < 0 || column >= kColumnCount) return;
  headers_[static_cast<std::size_t>(column)] = text;
  Q_EMIT headerDataChanged(Qt::Horizontal, column, column);
}

Text ResourceListModel::Header(int column) const {
  if (column < 0 || column >= kColumnCount) return {};
  return headers_[static_cast<std::size_t>(column)];
}

int ResourceListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : announcedRows_;
}

int ResourceListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant ResourceListModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= announcedRows_) return {};
  return ToQString(Cell(index.row(), index.column()));
}

QVariant ResourceListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) return {};
  if (role == Qt::DisplayRole) return ToQString(headers_[static_cast<std::size_t>(section)]);
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
  return {};
}

Qt::ItemFlags ResourceListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

}  // namespace tessaly
