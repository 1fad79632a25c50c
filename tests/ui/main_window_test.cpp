// The real main window, offscreen: what a user sees and what the window
// operations, the popup menu and the jobs' calls do to it.
#include "ui/main_window.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMessageBox>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <atomic>
#include <csignal>
#include <deque>
#include <string>
#include <string_view>

#include "http/cancel_token.h"
#include "qt_test_support.h"
#include "test_latch.h"
#include "text/codepage.h"
#include "ui/file_export.h"
#include "ui/qt_text.h"

namespace tessaly {
namespace {

using testing::Latch;
using testing::ProcessEventsUntil;

// gtest takes ownership of the environment.
[[maybe_unused]] const auto* const kQtApplication =
    ::testing::AddGlobalTestEnvironment(new testing::QtApplicationEnvironment);

QString Utf8(const char* text) {
  return QString::fromUtf8(text);
}

class UiMainWindow : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(exportDir.isValid()); }

  void TearDown() override {
    for (Latch& latch : latches_) latch.Open();
    window.reset();
  }

  void MakeWindow(JobRoutines routines = {}) {
    window = std::make_unique<MainWindow>(std::move(routines));
    window->SetPrompts(std::make_unique<testing::RecordingPrompts>(prompts));
    window->SetExportDirectory(exportDir.path());
  }

  Latch& NewLatch() { return latches_.emplace_back(); }

  template <typename Widget>
  Widget& Find(const char* name) {
    Widget* found = window->findChild<Widget*>(Utf8(name));
    EXPECT_NE(found, nullptr) << name;
    return *found;
  }
  QPushButton& Button(const char* name) { return Find<QPushButton>(name); }
  ResourceListView& List() { return Find<ResourceListView>("超级列表框1"); }

  // Adds rows through the window operations and lets the view see them.
  void AddRows(const std::vector<std::array<const char*, 4>>& rows) {
    for (const auto& cells : rows) {
      const int row = window->ListInsertRow();
      for (int column = 0; column < 4; ++column)
        window->ListSetCell(row, column, Gbk(cells[column]));
    }
    QCoreApplication::processEvents();
  }

  bool JobsEnded() { return window->Workers().RunningJobCount() == 0; }

  QByteArray ReadExport(const char* fileName) {
    QFile file(exportDir.filePath(Utf8(fileName)));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << fileName;
    return file.readAll();
  }
  void WriteExport(const char* fileName, const QByteArray& bytes) {
    QFile file(exportDir.filePath(Utf8(fileName)));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
  }
  QStringList ExportDirEntries() {
    return QDir(exportDir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
  }

  QTemporaryDir exportDir;
  testing::PromptLog prompts;

 private:
  std::deque<Latch> latches_;

 protected:
  std::unique_ptr<MainWindow> window;
};

constexpr const char* kCodesFile = "Vela资源-礼包码.txt";
constexpr const char* kNamesFile = "Vela资源名称-礼包码.txt";

// --- the initial state

struct ControlRow {
  const char* name;
  const char* className;
  QRect geometry;
  const char* caption;
  bool enabled;
};

QString CaptionOf(const QWidget& widget) {
  if (const auto* button = qobject_cast<const QPushButton*>(&widget)) return button->text();
  if (const auto* edit = qobject_cast<const QLineEdit*>(&widget)) return edit->text();
  if (const auto* label = qobject_cast<const QLabel*>(&widget)) return label->text();
  return {};
}

TEST_F(UiMainWindow, StartsWithEveryControlInPlace_InCreationOrder) {
  MakeWindow();
  const ControlRow controls[] = {
      {"按钮3", "QPushButton", {600, 8, 56, 24}, "停止", true},
      {"按钮2", "QPushButton", {496, 8, 96, 24}, "获取全部礼包", false},
      {"状态条1", "QStatusBar", {0, 425, 664, 20}, "", true},
      {"按钮1", "QPushButton", {392, 8, 96, 24}, "搜索礼包", false},
      {"编辑框1", "QLineEdit", {93, 10, 291, 22}, "AV", true},
      {"标签1", "QLabel", {8, 9, 80, 26}, "请输入搜索词：", true},
      {"超级列表框1", "QTableView", {0, 41, 664, 384}, "", true},
  };
  QStringList expectedOrder;
  for (const ControlRow& row : controls) {
    SCOPED_TRACE(row.name);
    const QWidget& widget = Find<QWidget>(row.name);
    EXPECT_TRUE(widget.inherits(row.className));
    EXPECT_EQ(widget.geometry(), row.geometry);
    EXPECT_EQ(CaptionOf(widget), Utf8(row.caption));
    EXPECT_EQ(widget.isEnabled(), row.enabled);
    expectedOrder << Utf8(row.name);
  }
  expectedOrder << Utf8("右键菜单");

  QStringList createdOrder;
  for (const QObject* child : window->children()) {
    if (expectedOrder.contains(child->objectName())) createdOrder << child->objectName();
  }
  EXPECT_EQ(createdOrder, expectedOrder);

  for (const char* name : {"按钮1", "按钮2", "按钮3"}) {
    EXPECT_FALSE(Button(name).isDefault()) << name;
    EXPECT_FALSE(Button(name).autoDefault()) << name;
  }
}

TEST_F(UiMainWindow, IsAFixedWindowWithAMinimizeBoxCentredOnTheScreen) {
  MakeWindow();
  EXPECT_EQ(window->windowTitle(), Utf8("Tessaly"));
  EXPECT_EQ(window->size(), QSize(664, 445));
  EXPECT_EQ(window->minimumSize(), QSize(664, 445));
  EXPECT_EQ(window->maximumSize(), QSize(664, 445));
  const Qt::WindowFlags flags = window->windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
  const QRect screen = window->screen()->geometry();
  EXPECT_EQ(window->pos(), QPoint(screen.x() + (screen.width() - 670) / 2,
                                  screen.y() + (screen.height() - 473) / 2));
}

TEST_F(UiMainWindow, StatusBarStartsWithItsFivePanels) {
  MakeWindow();
  struct PanelRow {
    int left;
    int width;
    const char* text;
  };
  const PanelRow panels[] = {
      {0, 460, ""}, {460, 50, "总页数："}, {510, 50, ""}, {560, 60, "搜索页数："}, {620, 50, ""}};
  auto& bar = Find<StatusPanels>("状态条1");
  EXPECT_FALSE(bar.isSizeGripEnabled());
  for (int panel = 0; panel < 5; ++panel) {
    SCOPED_TRACE(panel);
    const QLabel& label = bar.PanelLabel(panel);
    EXPECT_EQ(label.geometry(), QRect(panels[panel].left, 0, panels[panel].width, 20));
    EXPECT_EQ(label.text(), Utf8(panels[panel].text));
    EXPECT_EQ(window->StatusGetPanel(panel), Gbk(panels[panel].text));
  }
}

TEST_F(UiMainWindow, ListStartsEmptyUnderItsFourColumns) {
  MakeWindow();
  struct ColumnRow {
    const char* title;
    int width;
  };
  const ColumnRow columns[] = {
      {"最新资源", 335}, {"大小", 100}, {"礼包码", 110}, {"更新时间", 100}};
  ResourceListView& list = List();
  const QAbstractItemModel& model = *list.model();
  ASSERT_EQ(model.columnCount(), 4);
  EXPECT_EQ(model.rowCount(), 0);
  for (int column = 0; column < 4; ++column) {
    SCOPED_TRACE(column);
    EXPECT_EQ(model.headerData(column, Qt::Horizontal).toString(), Utf8(columns[column].title));
    EXPECT_EQ(list.horizontalHeader()->sectionSize(column), columns[column].width);
    EXPECT_EQ(
        model.headerData(column, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>() &
            Qt::AlignHorizontal_Mask,
        Qt::AlignLeft);
  }
  EXPECT_EQ(list.selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_EQ(list.selectionMode(), QAbstractItemView::SingleSelection);
  EXPECT_EQ(list.editTriggers(), QAbstractItemView::NoEditTriggers);
  EXPECT_FALSE(list.isSortingEnabled());
  EXPECT_FALSE(list.horizontalHeader()->sectionsClickable());
  EXPECT_TRUE(list.showGrid());
  EXPECT_TRUE(list.verticalHeader()->isHidden());
  EXPECT_EQ(list.verticalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
}

TEST_F(UiMainWindow, PopupMenuHoldsItsFourEntries) {
  MakeWindow();
  const QList<QAction*> entries = Find<QMenu>("右键菜单").actions();
  ASSERT_EQ(entries.size(), 4);
  EXPECT_EQ(entries[0]->text(), Utf8("复制礼包码"));
  EXPECT_TRUE(entries[1]->isSeparator());
  EXPECT_EQ(entries[2]->text(), Utf8("导出礼包码"));
  EXPECT_EQ(entries[3]->text(), Utf8("导出名称+礼包"));
  for (const QAction* entry : entries) {
    EXPECT_TRUE(entry->isEnabled());
    EXPECT_FALSE(entry->isCheckable());
    EXPECT_TRUE(entry->shortcut().isEmpty());
  }
}

// --- the window operations

TEST_F(UiMainWindow, InsertedRowsAreNumberedFromZero_AgainAfterClear) {
  MakeWindow();
  EXPECT_EQ(window->ListInsertRow(), 0);
  EXPECT_EQ(window->ListInsertRow(), 1);
  EXPECT_EQ(window->ListInsertRow(), 2);
  EXPECT_EQ(window->ListRowCount(), 3);
  for (int column = 0; column < 4; ++column) EXPECT_EQ(window->ListGetCell(2, column), Text());
  window->ListSetHeader(0, Gbk("搜索结果"));
  window->ListClear();
  EXPECT_EQ(window->ListRowCount(), 0);
  EXPECT_EQ(window->ListInsertRow(), 0);
  EXPECT_EQ(List().model()->headerData(0, Qt::Horizontal).toString(), Utf8("搜索结果"));
  EXPECT_EQ(List().horizontalHeader()->sectionSize(0), 335);
}

TEST_F(UiMainWindow, ACellOfThousandsOfBytesComesBackWhole) {
  MakeWindow();
  std::string longName;
  for (int i = 0; i < 3000; ++i) longName += "资";
  const Text text = Gbk(longName);
  const int row = window->ListInsertRow();
  window->ListSetCell(row, 3, text);
  EXPECT_EQ(window->ListGetCell(row, 3), text);
  EXPECT_EQ(window->ListGetCell(row, 3).size(), 6000);
}

struct ReadCase {
  const char* name;
  std::function<Text(MainWindow&)> read;
};

TEST_F(UiMainWindow, ReadsPastTheEndGiveEmptyText) {
  MakeWindow();
  AddRows({{"Alpha", "1", "abc", "t"}});
  const ReadCase reads[] = {
      {"cell of row -1", [](MainWindow& w) { return w.ListGetCell(-1, 0); }},
      {"cell of row 1 of 1", [](MainWindow& w) { return w.ListGetCell(1, 0); }},
      {"cell of column 4", [](MainWindow& w) { return w.ListGetCell(0, 4); }},
      {"cell of column -1", [](MainWindow& w) { return w.ListGetCell(0, -1); }},
      {"panel 5", [](MainWindow& w) { return w.StatusGetPanel(5); }},
      {"panel -1", [](MainWindow& w) { return w.StatusGetPanel(-1); }},
  };
  for (const ReadCase& c : reads) EXPECT_EQ(c.read(*window), Text()) << c.name;
}

struct WriteCase {
  const char* name;
  std::function<void(MainWindow&)> write;
};

TEST_F(UiMainWindow, WritesPastTheEndChangeNothing) {
  MakeWindow();
  AddRows({{"Alpha", "1", "abc", "t"}});
  auto snapshot = [&] {
    std::vector<Text> state;
    for (int column = 0; column < 4; ++column) {
      state.push_back(window->ListGetCell(0, column));
      state.push_back(window->ListModel().Header(column));
    }
    for (int panel = 0; panel < 5; ++panel) state.push_back(window->StatusGetPanel(panel));
    state.push_back(TxFromInt(window->ListRowCount()));
    return state;
  };
  const std::vector<Text> before = snapshot();
  const WriteCase writes[] = {
      {"cell of row 1 of 1", [](MainWindow& w) { w.ListSetCell(1, 0, Text("x")); }},
      {"cell of row -1", [](MainWindow& w) { w.ListSetCell(-1, 0, Text("x")); }},
      {"cell of column 4", [](MainWindow& w) { w.ListSetCell(0, 4, Text("x")); }},
      {"header of column 4", [](MainWindow& w) { w.ListSetHeader(4, Text("x")); }},
      {"header of column -1", [](MainWindow& w) { w.ListSetHeader(-1, Text("x")); }},
      {"panel 5", [](MainWindow& w) { w.StatusSetPanel(5, Text("x")); }},
      {"panel -1", [](MainWindow& w) { w.StatusSetPanel(-1, Text("x")); }},
  };
  for (const WriteCase& c : writes) {
    c.write(*window);
    EXPECT_EQ(snapshot(), before) << c.name;
  }
}

TEST_F(UiMainWindow, AppendedRowsReachTheViewAsOneBatch) {
  MakeWindow();
  QSignalSpy inserted(&window->ListModel(), &QAbstractItemModel::rowsInserted);
  for (int i = 0; i < 500; ++i) {
    const int row = window->ListInsertRow();
    window->ListSetCell(row, 0, TxFromInt(row));
  }
  EXPECT_EQ(window->ListRowCount(), 500);
  EXPECT_EQ(inserted.count(), 0);
  QCoreApplication::processEvents();
  ASSERT_EQ(inserted.count(), 1);
  EXPECT_EQ(inserted.at(0).at(1).toInt(), 0);
  EXPECT_EQ(inserted.at(0).at(2).toInt(), 499);
  EXPECT_EQ(window->ListModel().index(499, 0).data().toString(), Utf8("499"));
}

TEST_F(UiMainWindow, SelectedRowFollowsTheSelection) {
  MakeWindow();
  EXPECT_EQ(window->ListSelectedRow(), -1);
  AddRows({{"a", "", "1", ""}, {"b", "", "2", ""}});
  List().selectRow(1);
  EXPECT_EQ(window->ListSelectedRow(), 1);
  List().clearSelection();
  EXPECT_EQ(window->ListSelectedRow(), -1);
}

TEST_F(UiMainWindow, EditTextComesBackAsGbk) {
  MakeWindow();
  EXPECT_EQ(window->EditGetText(), Text("AV"));
  Find<QLineEdit>("编辑框1").setText(Utf8("资源码"));
  EXPECT_EQ(window->EditGetText(), Text("\xD7\xCA\xD4\xB4\xC2\xEB"));
}

// --- the right click and the popup menu

struct RightClickCase {
  const char* name;
  bool onRow;
  int selectedAfter;
  bool popupShown;
};

class UiMainWindowRightClick : public UiMainWindow,
                               public ::testing::WithParamInterface<RightClickCase> {};

TEST_P(UiMainWindowRightClick, EndsTheRunningJob_SelectsUnderThePointer_OpensThePopupOnARow) {
  const RightClickCase& c = GetParam();
  MakeWindow();
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  AddRows({{"a", "", "1", ""}, {"b", "", "2", ""}, {"c", "", "3", ""}});
  ResourceListView& list = List();
  list.selectRow(0);
  window->Workers().StartJob(
      [](JobContext& job) { job.Window().ShowMessage(Text("busy"), Text("t")); });
  ASSERT_TRUE(ProcessEventsUntil([&] { return window->OpenJobMessages().size() == 1; }));

  QCursor::setPos(QPoint(200, 150));
  const QPoint pointer = QCursor::pos();
  const QPoint at = c.onRow ? list.visualRect(list.model()->index(1, 0)).center()
                            : QPoint(20, list.viewport()->height() - 5);
  QTest::mouseClick(list.viewport(), Qt::RightButton, Qt::NoModifier, at);

  EXPECT_TRUE(window->OpenJobMessages().empty());  // the job was stopped
  EXPECT_EQ(window->ListSelectedRow(), c.selectedAfter);
  if (c.popupShown) {
    ASSERT_EQ(prompts.popupsAt.size(), 1u);
    EXPECT_EQ(prompts.popupsAt[0], pointer + QPoint(3, 3));
  } else {
    EXPECT_TRUE(prompts.popupsAt.empty());
  }
  EXPECT_FALSE(Button("按钮1").isEnabled());  // a right click leaves the buttons
  EXPECT_TRUE(ProcessEventsUntil([&] { return JobsEnded(); }));
}

INSTANTIATE_TEST_SUITE_P(Where, UiMainWindowRightClick,
                         ::testing::Values(RightClickCase{"OnARow", true, 1, true},
                                           RightClickCase{"OnTheEmptyPart", false, -1, false}),
                         [](const ::testing::TestParamInfo<RightClickCase>& row) {
                           return row.param.name;
                         });

TEST_F(UiMainWindow, CopyPutsTheSelectedCodeOnTheClipboardAndSaysSo) {
  MakeWindow();
  AddRows({{"Alpha", "", "abc", ""}, {"Beta", "", "xyz", ""}});
  List().selectRow(1);
  prompts.entryToChoose = Utf8("复制礼包码");
  window->ShowPopupMenu();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), Utf8("xyz"));
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].text, Utf8("复制礼包码：xyz 成功！"));
  EXPECT_EQ(prompts.messages[0].title, Utf8("提示！"));
}

TEST_F(UiMainWindow, CopyWithNoRowSelectedClearsTheClipboardAndSaysSo) {
  MakeWindow();
  AddRows({{"Alpha", "", "abc", ""}});
  QGuiApplication::clipboard()->setText(Utf8("old"));
  window->CopyGiftCode();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QString());
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].text, Utf8("复制礼包码： 成功！"));
}

// --- the exports

struct ExportCase {
  const char* name;
  std::vector<std::array<const char*, 4>> rows;
  QByteArray codes;
  QByteArray namesAndCodes;
};

class UiMainWindowExport : public UiMainWindow, public ::testing::WithParamInterface<ExportCase> {};

// Both files held a longer export before, so no byte of it may survive.
TEST_P(UiMainWindowExport, ReplacesTheFilesWithTheListsBytes) {
  const ExportCase& c = GetParam();
  MakeWindow();
  WriteExport(kCodesFile, QByteArray(200, 'o'));
  WriteExport(kNamesFile, QByteArray(200, 'o'));
  AddRows(c.rows);
  prompts.entryToChoose = Utf8("导出礼包码");
  List().selectRow(0);
  window->ShowPopupMenu();
  prompts.entryToChoose = Utf8("导出名称+礼包");
  window->ShowPopupMenu();
  EXPECT_EQ(ReadExport(kCodesFile), c.codes);
  EXPECT_EQ(ReadExport(kNamesFile), c.namesAndCodes);
  EXPECT_EQ(ExportDirEntries().size(), 2);
  EXPECT_TRUE(prompts.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Lists, UiMainWindowExport,
    ::testing::Values(ExportCase{"TwoRows",
                                 {{"Alpha", "1G", "abc", "t1"}, {"Beta", "2G", "xyz", "t2"}},
                                 QByteArray("abc\r\nxyz\r\n"),
                                 QByteArray("Alpha----abc\r\nBeta----xyz\r\n")},
                      ExportCase{"NoRows", {}, QByteArray(), QByteArray()},
                      ExportCase{"EmptyCodeAndName",
                                 {{"", "", "", ""}, {"Gamma", "", "", ""}},
                                 QByteArray("\r\n\r\n"),
                                 QByteArray("----\r\nGamma----\r\n")},
                      ExportCase{"ChineseTextsAsGbk",
                                 {{"资源", "", "码", ""}},
                                 QByteArray("\xC2\xEB\r\n"),
                                 QByteArray("\xD7\xCA\xD4\xB4----\xC2\xEB\r\n")}),
    [](const ::testing::TestParamInfo<ExportCase>& row) { return row.param.name; });

TEST_F(UiMainWindow, AShorterExportAfterALongerOneLeavesOnlyItsOwnBytes) {
  MakeWindow();
  AddRows({{"Alpha", "", "abcdef", ""}, {"Beta", "", "xyz", ""}});
  window->ExportCodes();
  window->ListClear();
  AddRows({{"C", "", "q", ""}});
  window->ExportCodes();
  EXPECT_EQ(ReadExport(kCodesFile), QByteArray("q\r\n"));
}

// Root ignores permission bits, so the write is made to fail by a file-size
// limit: the new content cannot be written in full.
TEST_F(UiMainWindow, AFailedExportKeepsThePreviousFileByteForByte) {
  MakeWindow();
  AddRows({{"Alpha", "", "abc", ""}, {"Beta", "", "xyz", ""}});
  window->ExportCodes();
  const QByteArray previous = ReadExport(kCodesFile);
  ASSERT_EQ(previous.size(), 10);
  AddRows({{"Gamma", "", "a much longer gift code than before", ""}});

  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = saved;
  limited.rlim_cur = 4;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  window->ExportCodes();
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_EQ(ReadExport(kCodesFile), previous);
  EXPECT_EQ(ExportDirEntries(), QStringList{Utf8(kCodesFile)});  // no temporary left behind
}

struct FailedWriteCase {
  const char* name;
  std::function<QString(const QTemporaryDir&)> prepare;  // gives the path to write
};

TEST_F(UiMainWindow, WriteFileBytesReportsAFailureAndLeavesWhatStoodThere) {
  const FailedWriteCase cases[] = {
      {"empty path", [](const QTemporaryDir&) { return QString(); }},
      {"directory in the file's place",
       [](const QTemporaryDir& dir) {
         QDir(dir.path()).mkpath(Utf8("taken/inner"));
         return dir.filePath(Utf8("taken"));
       }},
      {"missing directory",
       [](const QTemporaryDir& dir) { return dir.filePath(Utf8("missing/file.txt")); }},
  };
  for (const FailedWriteCase& c : cases) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = c.prepare(dir);
    const QStringList before = QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    EXPECT_FALSE(WriteFileBytes(path, Bytes(std::string_view("content")))) << c.name;
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before)
        << c.name;
  }
}

// --- jobs on the real window

TEST_F(UiMainWindow, AJobsCallsReachTheListAndItsReadsSeeThem) {
  int rowCountSeen = -1;
  Text editSeen;
  MakeWindow({[&](JobContext& job) {
                if (!job.TakeBusyLock()) return;
                WindowOperations& w = job.Window();
                for (const char* name : {"one", "two", "three"}) {
                  const int row = w.ListInsertRow();
                  w.ListSetCell(row, 0, Text(name));
                  w.ListSetCell(row, 2, Text("code"));
                }
                w.StatusSetPanel(2, Text("7"));
                rowCountSeen = w.ListRowCount();
                editSeen = w.EditGetText();
              },
              {},
              {}});
  ASSERT_TRUE(ProcessEventsUntil([&] { return JobsEnded(); }));
  QCoreApplication::processEvents();
  EXPECT_EQ(rowCountSeen, 3);
  EXPECT_EQ(editSeen, Text("AV"));
  EXPECT_EQ(window->ListModel().rowCount(), 3);
  EXPECT_EQ(window->ListModel().index(2, 0).data().toString(), Utf8("three"));
  EXPECT_EQ(window->StatusGetPanel(2), Text("7"));
}

TEST_F(UiMainWindow, AJobsMessageIsModeless_AndTheJobGoesOnWhenItIsClosed) {
  Latch& closed = NewLatch();
  MakeWindow({[&](JobContext& job) {
                job.Window().ShowMessage(Gbk("搜索完成！"), Gbk("提示！"));
                job.Window().StatusSetPanel(0, Text("after"));
                closed.Open();
              },
              {},
              {}});
  window->show();
  ASSERT_TRUE(ProcessEventsUntil([&] { return window->OpenJobMessages().size() == 1; }));
  QMessageBox& box = *window->OpenJobMessages().front();
  EXPECT_EQ(box.windowTitle(), Utf8("提示！"));
  EXPECT_EQ(box.text(), Utf8("搜索完成！"));
  EXPECT_EQ(box.icon(), QMessageBox::NoIcon);
  EXPECT_EQ(box.buttons().size(), 1);
  EXPECT_EQ(box.standardButtons(), QMessageBox::Ok);
  EXPECT_EQ(box.parentWidget(), nullptr);
  EXPECT_EQ(box.windowModality(), Qt::NonModal);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_TRUE(Button("按钮3").isEnabled());

  QTest::mouseClick(box.button(QMessageBox::Ok), Qt::LeftButton);
  closed.Wait();
  ASSERT_TRUE(ProcessEventsUntil([&] { return window->StatusGetPanel(0) == Text("after"); }));
  EXPECT_TRUE(window->OpenJobMessages().empty());
}

TEST_F(UiMainWindow, StopClosesTheJobsMessage_AndTheJobWritesNothingMore) {
  MakeWindow({[&](JobContext& job) {
                job.Window().ShowMessage(Gbk("搜索完成！"), Gbk("提示！"));
                job.Window().StatusSetPanel(0, Text("after"));
              },
              {},
              {}});
  ASSERT_TRUE(ProcessEventsUntil([&] { return window->OpenJobMessages().size() == 1; }));
  QTest::mouseClick(&Button("按钮3"), Qt::LeftButton);
  EXPECT_TRUE(window->OpenJobMessages().empty());
  ASSERT_TRUE(ProcessEventsUntil([&] { return JobsEnded(); }));
  QCoreApplication::processEvents();
  EXPECT_EQ(window->StatusGetPanel(0), Text());
  EXPECT_TRUE(Button("按钮1").isEnabled());
  EXPECT_TRUE(Button("按钮2").isEnabled());
}

// Stand-ins for the three jobs that keep their button steps and wait at
// latches the test opens: the buttons over a summary, a search, a crawl
// started during the search, a right click and "停止".
TEST_F(UiMainWindow, JobButtonsFollowTheJobsOverTime) {
  Latch& summaryMayEnd = NewLatch();
  Latch& searchMayEnd = NewLatch();
  Latch& crawlMayEnd = NewLatch();
  JobRoutines routines;
  routines.loadSiteSummary = [&](JobContext& job) {
    if (!job.TakeBusyLock()) return;
    summaryMayEnd.Wait();
    if (!job.YieldToUi()) return;
    job.Window().SetControlEnabled(JobButton::Search, true);
    job.Window().SetControlEnabled(JobButton::Crawl, true);
  };
  routines.searchKeyword = [&](JobContext& job) {
    if (!job.TakeBusyLock()) return;
    job.Window().SetControlEnabled(JobButton::Search, false);
    searchMayEnd.Wait();
    if (!job.YieldToUi()) return;
    job.Window().ShowMessage(Gbk("搜索完成！"), Gbk("提示！"));
    if (job.StopRequested()) return;
    job.Window().SetControlEnabled(JobButton::Search, true);
  };
  routines.crawlCatalogue = [&](JobContext& job) {
    if (!job.TakeBusyLock()) return;
    job.Window().SetControlEnabled(JobButton::Crawl, false);
    crawlMayEnd.Wait();
    if (!job.YieldToUi()) return;
    job.Window().SetControlEnabled(JobButton::Crawl, true);
  };
  MakeWindow(routines);
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  QPushButton& search = Button("按钮1");
  QPushButton& crawl = Button("按钮2");
  auto buttonsAre = [&](bool searchEnabled, bool crawlEnabled) {
    return ProcessEventsUntil(
        [&] { return search.isEnabled() == searchEnabled && crawl.isEnabled() == crawlEnabled; });
  };

  EXPECT_TRUE(buttonsAre(false, false)) << "program start";
  summaryMayEnd.Open();
  EXPECT_TRUE(buttonsAre(true, true)) << "summary ended";

  QTest::mouseClick(&search, Qt::LeftButton);
  EXPECT_TRUE(buttonsAre(false, true)) << "search holds the lock";
  QTest::mouseClick(&crawl, Qt::LeftButton);  // waits for the search
  EXPECT_EQ(window->Workers().RunningJobCount(), 2);
  searchMayEnd.Open();
  ASSERT_TRUE(ProcessEventsUntil([&] { return window->OpenJobMessages().size() == 1; }));
  EXPECT_FALSE(search.isEnabled()) << "search message open";
  QTest::mouseClick(window->OpenJobMessages().front()->button(QMessageBox::Ok), Qt::LeftButton);
  EXPECT_TRUE(buttonsAre(true, false)) << "search ended, crawl holds the lock";

  ResourceListView& list = List();
  QTest::mouseClick(list.viewport(), Qt::RightButton, Qt::NoModifier, QPoint(20, 20));
  crawlMayEnd.Open();
  ASSERT_TRUE(ProcessEventsUntil([&] { return JobsEnded(); }));
  QCoreApplication::processEvents();
  EXPECT_TRUE(buttonsAre(true, false)) << "crawl ended by a right click";

  QTest::mouseClick(&Button("按钮3"), Qt::LeftButton);
  EXPECT_TRUE(buttonsAre(true, true)) << "停止";
}

TEST_F(UiMainWindow, ClosingTheWindowEndsAndJoinsEveryJob) {
  std::atomic<int> returned{0};
  Latch& holderWaits = NewLatch();
  MakeWindow({[&](JobContext& job) {
                job.TakeBusyLock();
                holderWaits.Open();
                job.Window().ShowMessage(Text("open"), Text("t"));
                ++returned;
              },
              {},
              {}});
  window->show();
  ASSERT_TRUE(ProcessEventsUntil([&] { return window->OpenJobMessages().size() == 1; }));
  Latch& fetching = NewLatch();
  window->Workers().StartJob([&](JobContext& job) {
    job.TakeBusyLock();  // waits behind the first
    ++returned;
  });
  window->Workers().StartJob([&](JobContext&) {
    Latch cancelled;
    CancelToken* token = CurrentCancelToken();
    if (token != nullptr) {
      token->SetWaker([&] { cancelled.Open(); });
      fetching.Open();
      cancelled.Wait();
      token->ClearWaker();
    }
    ++returned;
  });
  fetching.Wait();

  window->close();
  EXPECT_EQ(returned.load(), 3);
  EXPECT_EQ(window->Workers().RunningJobCount(), 0);
  EXPECT_TRUE(window->OpenJobMessages().empty());
}

}  // namespace
}  // namespace tessaly
