#include "ui/main_window.h"

#include <QCloseEvent>
#include <QCursor>
#include <QHeaderView>
#include <QScreen>
#include <utility>

#include "ui/file_export.h"
#include "ui/list_export.h"
#include "ui/message_box.h"
#include "ui/qt_text.h"
#include "ui/window_handlers.h"

namespace tessaly {
namespace {

struct ColumnLayout {
  ResourceListModel::Column column;
  int width;
};
constexpr ColumnLayout kColumnLayout[] = {
    {ResourceListModel::kName, 335},
    {ResourceListModel::kSize, 100},
    {ResourceListModel::kGiftCode, 110},
    {ResourceListModel::kUpdateTime, 100},
};

void SetUpButton(QPushButton& button, QWidget& parent, const char* name, std::string_view caption,
                 const QRect& geometry, bool enabled) {
  button.setParent(&parent);
  button.setObjectName(QString::fromUtf8(name));
  button.setText(Caption(caption));
  button.setGeometry(geometry);
  button.setEnabled(enabled);
  button.setAutoDefault(false);
  button.setDefault(false);
}

}  // namespace

MainWindow::MainWindow(JobRoutines routines, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      routines_(std::move(routines)),
      prompts_(std::make_unique<WindowPrompts>()),
      exportDirectory_(RunDirectory()),
      workers_(*this, *this) {
  setWindowTitle(QStringLiteral("Tessaly"));
  setFixedSize(kClientWidth, kClientHeight);
  CreateControls();
  CentreOnScreen();
  OnWindowCreated(workers_, routines_);
}

MainWindow::~MainWindow() {
  workers_.StopAllAndJoin();
  jobMessages_.clear();
}

void MainWindow::CreateControls() {
  SetUpButton(stopButton_, *this, "按钮3", "停止", QRect(600, 8, 56, 24), true);
  connect(&stopButton_, &QPushButton::clicked, this, [this] { OnStopClicked(workers_, *this); });

  SetUpButton(crawlButton_, *this, "按钮2", "获取全部礼包", QRect(496, 8, 96, 24), false);
  connect(&crawlButton_, &QPushButton::clicked, this,
          [this] { OnCrawlClicked(workers_, routines_); });

  statusBar_.setParent(this);
  statusBar_.setObjectName(QStringLiteral("状态条1"));
  statusBar_.setGeometry(0, 425, kClientWidth, 20);

  SetUpButton(searchButton_, *this, "按钮1", "搜索礼包", QRect(392, 8, 96, 24), false);
  connect(&searchButton_, &QPushButton::clicked, this,
          [this] { OnSearchClicked(workers_, routines_); });

  searchWord_.setParent(this);
  searchWord_.setObjectName(QStringLiteral("编辑框1"));
  searchWord_.setGeometry(93, 10, 291, 22);
  searchWord_.setText(QStringLiteral("AV"));
  searchWord_.setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

  searchWordLabel_.setParent(this);
  searchWordLabel_.setObjectName(QStringLiteral("标签1"));
  searchWordLabel_.setGeometry(8, 9, 80, 26);
  searchWordLabel_.setTextFormat(Qt::PlainText);
  searchWordLabel_.setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  searchWordLabel_.setText(Caption("请输入搜索词："));

  list_.setParent(this);
  list_.setObjectName(QStringLiteral("超级列表框1"));
  list_.setGeometry(0, 41, kClientWidth, 384);
  list_.setModel(&listModel_);
  for (const ColumnLayout& layout : kColumnLayout) {
    list_.horizontalHeader()->resizeSection(layout.column, layout.width);
  }
  connect(&list_, &ResourceListView::rightClicked, this,
          [this] { OnListRightClick(workers_, *this); });

  popupMenu_.setParent(this, Qt::Popup);
  popupMenu_.setObjectName(QStringLiteral("右键菜单"));
  copyAction_ = popupMenu_.addAction(Caption("复制礼包码"));
  popupMenu_.addSeparator();
  exportCodesAction_ = popupMenu_.addAction(Caption("导出礼包码"));
  exportNamesAction_ = popupMenu_.addAction(Caption("导出名称+礼包"));
}

void MainWindow::CentreOnScreen() {
  const QScreen* screenNow = screen();
  if (screenNow == nullptr) return;
  const QRect area = screenNow->geometry();
  move(area.x() + (area.width() - kOuterWidth) / 2, area.y() + (area.height() - kOuterHeight) / 2);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  workers_.StopAllAndJoin();
  QWidget::closeEvent(event);
}

void MainWindow::SetPrompts(std::unique_ptr<WindowPrompts> prompts) {
  prompts_ = prompts ? std::move(prompts) : std::make_unique<WindowPrompts>();
}

// --- window operations

int MainWindow::ListInsertRow() {
  return listModel_.AppendRow();
}

void MainWindow::ListSetCell(int row, int column, const Text& text) {
  listModel_.SetCell(row, column, text);
}

Text MainWindow::ListGetCell(int row, int column) {
  return listModel_.Cell(row, column);
}

void MainWindow::ListClear() {
  listModel_.Clear();
}

int MainWindow::ListRowCount() {
  return listModel_.StoredRowCount();
}

void MainWindow::ListSetHeader(int column, const Text& text) {
  listModel_.SetHeader(column, text);
}

int MainWindow::ListSelectedRow() {
  return list_.SelectedRow();
}

void MainWindow::StatusSetPanel(int panel, const Text& text) {
  statusBar_.SetPanel(panel, text);
}

Text MainWindow::StatusGetPanel(int panel) {
  return statusBar_.Panel(panel);
}

void MainWindow::SetControlEnabled(JobButton button, bool enabled) {
  (button == JobButton::Search ? searchButton_ : crawlButton_).setEnabled(enabled);
}

Text MainWindow::EditGetText() {
  return FromQString(searchWord_.text());
}

void MainWindow::ShowMessage(const Text& text, const Text& title) {
  prompts_->ShowModalMessage(ToQString(text), ToQString(title));
}

void MainWindow::ShowPopupMenu() {
  QAction* chosen = prompts_->RunPopupMenu(popupMenu_, QCursor::pos() + QPoint(3, 3));
  if (chosen == nullptr) return;
  if (chosen == copyAction_) {
    CopyGiftCode();
  } else if (chosen == exportCodesAction_) {
    ExportCodes();
  } else if (chosen == exportNamesAction_) {
    ExportNamesAndCodes();
  }
}

// --- the window's thread for the worker frame

void MainWindow::PostToWindow(std::function<void()> task) {
  bool wakeUpNeeded = false;
  {
    std::lock_guard lock(postedMutex_);
    wakeUpNeeded = postedTasks_.empty();
    postedTasks_.push_back(std::move(task));
  }
  // Queued on this object: a wake-up still pending when the window is
  // destroyed is dropped with it, and so are the tasks.
  if (wakeUpNeeded) QMetaObject::invokeMethod(this, "RunPostedTasks", Qt::QueuedConnection);
}

void MainWindow::RunPostedTasks() {
  std::vector<std::function<void()>> due;
  {
    std::lock_guard lock(postedMutex_);
    due.swap(postedTasks_);
  }
  for (const auto& task : due) task();
}

int MainWindow::OpenJobMessage(const Text& text, const Text& title,
                               std::function<void()> onClosed) {
  const int id = nextJobMessageId_++;
  std::unique_ptr<QMessageBox> box = MakeMessageBox(ToQString(text), ToQString(title));
  // Modeless: the job waits for it, the window stays usable.
  box->setWindowModality(Qt::NonModal);
  connect(box.get(), &QDialog::finished, this, [this, id, onClosed = std::move(onClosed)] {
    onClosed();
    // Not destroyed here: the box is still emitting the signal.
    QMetaObject::invokeMethod(
        this, [this, id] { jobMessages_.erase(id); }, Qt::QueuedConnection);
  });
  box->show();
  jobMessages_.emplace(id, std::move(box));
  return id;
}

void MainWindow::CloseJobMessage(int id) {
  const auto found = jobMessages_.find(id);
  if (found == jobMessages_.end()) return;
  std::unique_ptr<QMessageBox> box = std::move(found->second);
  jobMessages_.erase(found);
  disconnect(box.get(), nullptr, this, nullptr);
  box->hide();
}

std::vector<QMessageBox*> MainWindow::OpenJobMessages() const {
  std::vector<QMessageBox*> open;
  for (const auto& [id, box] : jobMessages_) {
    if (box->isVisible()) open.push_back(box.get());
  }
  return open;
}

// --- the popup menu's commands

QString MainWindow::ExportPath(const QString& fileName) const {
  return exportDirectory_ + QLatin1Char('/') + fileName;
}

void MainWindow::CopyGiftCode() {
  const Text code = ListGetCell(ListSelectedRow(), ResourceListModel::kGiftCode);
  SetClipboardText(code);
  ShowMessage(CopyConfirmationText(code), CopyConfirmationTitle());
}

void MainWindow::ExportCodes() {
  WriteFileBytes(ExportPath(QStringLiteral("Vela资源-礼包码.txt")), CodesExportContent(*this));
}

void MainWindow::ExportNamesAndCodes() {
  WriteFileBytes(ExportPath(QStringLiteral("Vela资源名称-礼包码.txt")),
                 NamesAndCodesExportContent(*this));
}

}  // namespace tessaly
