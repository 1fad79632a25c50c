// Exports that cannot be written, through the popup menu of the real window.
// The tests run as root, for whom permission bits stop nothing, so the
// faults come from small tmpfs mounts in a mount namespace of the test's
// own: no room for a new file, no room for its bytes, a read-only file
// system. In every case each byte and name already in the export directory
// stays as it was, and a later export to a sound directory works.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <map>
#include <string>

#include "qt_test_support.h"
#include "text/codepage.h"
#include "ui/main_window.h"

namespace tessaly {
namespace {

[[maybe_unused]] const auto* const kQtApplication =
    ::testing::AddGlobalTestEnvironment(new testing::QtApplicationEnvironment);

const QString kCodesFile = QString::fromUtf8("Vela资源-礼包码.txt");
const QString kNamesFile = QString::fromUtf8("Vela资源名称-礼包码.txt");
const QByteArray kPreviousCodes("old1\r\nold2\r\n");
const QByteArray kPreviousNames("n1----old1\r\nn2----old2\r\n");

// Every entry under dir: a file with its bytes, a directory as "<dir>".
std::map<QString, QByteArray> Snapshot(const QString& dir) {
  std::map<QString, QByteArray> entries;
  QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    QFile file(path);
    entries[QDir(dir).relativeFilePath(path)] =
        it.fileInfo().isDir() ? QByteArray("<dir>")
                              : (file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("?"));
  }
  return entries;
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
}

// Fills the file system under dir until a write fails for want of space.
void FillUp(const QString& dir) {
  QFile filler(dir + QStringLiteral("/filler"));
  if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return;
  const QByteArray block(512, 'f');
  while (filler.write(block) == block.size()) {
  }
}

// A tmpfs mounted on a fresh directory, in a mount namespace that only this
// test process sees; unmounted at the end.
class ScratchMount {
 public:
  explicit ScratchMount(const char* options) {
    if (unshare(CLONE_NEWNS) != 0 ||
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
      return;
    }
    char pattern[] = "/tmp/tessaly-export-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return;
    path_ = pattern;
    mounted_ = mount("tessaly-export", pattern, "tmpfs", MS_NOSUID | MS_NODEV, options) == 0;
  }
  ~ScratchMount() {
    if (mounted_) umount2(path_.c_str(), MNT_DETACH);
    if (!path_.empty()) rmdir(path_.c_str());
  }
  ScratchMount(const ScratchMount&) = delete;
  ScratchMount& operator=(const ScratchMount&) = delete;

  bool Mounted() const { return mounted_; }
  QString Path() const { return QString::fromStdString(path_); }
  bool RemountReadOnly() {
    return mount(nullptr, path_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV,
                 nullptr) == 0;
  }

 private:
  std::string path_;
  bool mounted_ = false;
};

struct ExportFaultCase {
  const char* name;
  const char* mountOptions;  // nullptr: an ordinary directory
  // Sets the fault up in the export directory, which already holds the
  // previous exports; false when that failed.
  std::function<bool(const QString& dir, ScratchMount* mount)> breakIt;
};

void PrintTo(const ExportFaultCase& c, std::ostream* out) {
  *out << c.name;
}

class ExportFault : public ::testing::TestWithParam<ExportFaultCase> {};

TEST_P(ExportFault, LeavesEveryEarlierByteAndTheNextExportWorks) {
  const ExportFaultCase& c = GetParam();
  QTemporaryDir plainDir;
  ASSERT_TRUE(plainDir.isValid());
  std::unique_ptr<ScratchMount> scratch;
  QString dir = plainDir.path();
  if (c.mountOptions != nullptr) {
    scratch = std::make_unique<ScratchMount>(c.mountOptions);
    if (!scratch->Mounted()) GTEST_SKIP() << "no tmpfs mount here (needs CAP_SYS_ADMIN)";
    dir = scratch->Path();
  }
  ASSERT_TRUE(WriteFile(dir + QLatin1Char('/') + kCodesFile, kPreviousCodes));
  ASSERT_TRUE(WriteFile(dir + QLatin1Char('/') + kNamesFile, kPreviousNames));
  ASSERT_TRUE(c.breakIt(dir, scratch.get()));
  const auto before = Snapshot(dir);

  testing::PromptLog prompts;
  MainWindow window{JobRoutines{}};
  window.SetPrompts(std::make_unique<testing::RecordingPrompts>(prompts));
  window.SetExportDirectory(dir);
  for (const char* code : {"new-code-1", "new-code-2", "new-code-3"}) {
    const int row = window.ListInsertRow();
    window.ListSetCell(row, 0, Gbk("资源"));
    window.ListSetCell(row, 2, Text(code));
  }
  for (const char* entry : {"导出礼包码", "导出名称+礼包"}) {
    prompts.entryToChoose = QString::fromUtf8(entry);
    window.ShowPopupMenu();
  }
  EXPECT_EQ(Snapshot(dir), before);
  EXPECT_TRUE(prompts.messages.empty());
  EXPECT_EQ(window.ListRowCount(), 3);

  QTemporaryDir soundDir;
  ASSERT_TRUE(soundDir.isValid());
  window.SetExportDirectory(soundDir.path());
  window.ExportCodes();
  QFile written(soundDir.filePath(kCodesFile));
  ASSERT_TRUE(written.open(QIODevice::ReadOnly));
  EXPECT_EQ(written.readAll(), QByteArray("new-code-1\r\nnew-code-2\r\nnew-code-3\r\n"));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ExportFault,
    ::testing::Values(
        // Both export names are directories (holding a file each) instead of files.
        ExportFaultCase{"DirectoryInPlaceOfTheFile", nullptr,
                        [](const QString& dir, ScratchMount*) {
                          for (const QString& name : {kCodesFile, kNamesFile}) {
                            const QString path = dir + QLatin1Char('/') + name;
                            if (!QFile::remove(path) ||
                                !QDir(dir).mkpath(name + QStringLiteral("/inner")) ||
                                !WriteFile(path + QStringLiteral("/inner/kept"), "kept")) {
                              return false;
                            }
                          }
                          return true;
                        }},
        // The root directory and the two exports take all three inodes.
        ExportFaultCase{"TemporaryFileCannotBeCreated", "size=1m,nr_inodes=3",
                        [](const QString& dir, ScratchMount*) {
                          return !WriteFile(dir + QStringLiteral("/probe"), "x");
                        }},
        ExportFaultCase{"DiskFull", "size=64k",
                        [](const QString& dir, ScratchMount*) {
                          FillUp(dir);
                          return !WriteFile(dir + QStringLiteral("/probe"), QByteArray(4096, 'p'));
                        }},
        ExportFaultCase{
            "ReadOnlyFileSystem", "size=1m",
            [](const QString&, ScratchMount* mount) { return mount->RemountReadOnly(); }}),
    [](const ::testing::TestParamInfo<ExportFaultCase>& row) { return row.param.name; });

}  // namespace
}  // namespace tessaly
