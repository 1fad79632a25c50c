// MainWindow: the program's one window. It carries out the window operations
// on its own thread, is the window's thread for the worker frame, and owns
// the jobs' worker control.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "ui/job_context.h"
#include "ui/resource_list_model.h"
#include "ui/resource_list_view.h"
#include "ui/status_panels.h"
#include "ui/window_operations.h"
#include "ui/window_prompts.h"
#include "ui/window_thread.h"
#include "ui/worker_control.h"

namespace tessaly {

class MainWindow final : public QWidget, public WindowOperations, public WindowThread {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 664;
  static constexpr int kClientHeight = 445;
  // The window with frame and caption, which is what gets centred.
  static constexpr int kOuterWidth = 670;
  static constexpr int kOuterHeight = 473;

  // Creates the window in its initial state and starts the site summary.
  explicit MainWindow(JobRoutines routines, QWidget* parent = nullptr);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // The window operations, on the window's thread.
  int ListInsertRow() override;
  void ListSetCell(int row, int column, const Text& text) override;
  Text ListGetCell(int row, int column) override;
  void ListClear() override;
  int ListRowCount() override;
  void ListSetHeader(int column, const Text& text) override;
  int ListSelectedRow() override;
  void StatusSetPanel(int panel, const Text& text) override;
  Text StatusGetPanel(int panel) override;
  void SetControlEnabled(JobButton button, bool enabled) override;
  Text EditGetText() override;
  // Modal: the window is blocked until the box is closed.
  void ShowMessage(const Text& text, const Text& title) override;
  // Opens 右键菜单 3 pixels right of and below the pointer, then runs the
  // chosen entry's command.
  void ShowPopupMenu() override;

  // The window's thread as the worker frame uses it.
  void PostToWindow(std::function<void()> task) override;
  int OpenJobMessage(const Text& text, const Text& title, std::function<void()> onClosed) override;
  void CloseJobMessage(int id) override;

  // The popup menu's commands.
  void CopyGiftCode();
  void ExportCodes();
  void ExportNamesAndCodes();

  // Where the exports go; the program's own directory unless set.
  void SetExportDirectory(const QString& directory) { exportDirectory_ = directory; }
  QString ExportDirectory() const { return exportDirectory_; }
  void SetPrompts(std::unique_ptr<WindowPrompts> prompts);

  WorkerControl& Workers() { return workers_; }
  ResourceListModel& ListModel() { return listModel_; }
  // The jobs' message boxes that are open now.
  std::vector<QMessageBox*> OpenJobMessages() const;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  Q_INVOKABLE void RunPostedTasks();
  void CreateControls();
  void CentreOnScreen();
  QString ExportPath(const QString& fileName) const;

  // The controls, declared in the order in which they are created.
  QPushButton stopButton_;       // 按钮3
  QPushButton crawlButton_;      // 按钮2
  StatusPanels statusBar_;       // 状态条1
  QPushButton searchButton_;     // 按钮1
  QLineEdit searchWord_;         // 编辑框1
  QLabel searchWordLabel_;       // 标签1
  ResourceListView list_;        // 超级列表框1
  ResourceListModel listModel_;  // its rows
  QMenu popupMenu_;              // 右键菜单
  QAction* copyAction_ = nullptr;
  QAction* exportCodesAction_ = nullptr;
  QAction* exportNamesAction_ = nullptr;

  JobRoutines routines_;
  std::unique_ptr<WindowPrompts> prompts_;
  QString exportDirectory_;
  std::map<int, std::unique_ptr<QMessageBox>> jobMessages_;
  // Tasks posted from the jobs' threads. They cross under our own lock, so
  // that the hand-over is plain to see (also for ThreadSanitizer); Qt only
  // carries the wake-up.
  std::mutex postedMutex_;
  std::vector<std::function<void()>> postedTasks_;
  int nextJobMessageId_ = 0;

  // Last, so that it is made after every control the jobs may touch.
  WorkerControl workers_;
};

}  // namespace tessaly
