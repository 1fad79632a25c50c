// When the list's rows reach the view: a short list sees every batch on the
// next pass of the event loop; a long one that keeps growing is announced
// less often, but no row is ever left out.
#include "ui/resource_list_model.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include "qt_test_support.h"

namespace tessaly {
namespace {

[[maybe_unused]] const auto* const kQtApplication =
    ::testing::AddGlobalTestEnvironment(new testing::QtApplicationEnvironment);

void Append(ResourceListModel& model, int rows) {
  for (int i = 0; i < rows; ++i) model.SetCell(model.AppendRow(), 0, TxFromInt(i));
}

TEST(ResourceListModelAnnouncements, ShortListSeesEveryBatchOnTheNextPass) {
  ResourceListModel model;
  for (const int batch : {1, 2, 40}) {
    const int before = model.StoredRowCount();
    Append(model, batch);
    QCoreApplication::processEvents();
    EXPECT_EQ(model.rowCount(), before + batch);
  }
}

TEST(ResourceListModelAnnouncements, LongListKeepsGrowing_EveryRowStillArrives) {
  ResourceListModel model;
  for (int batch = 0; batch < 6; ++batch) {
    Append(model, ResourceListModel::kEagerRows / 2);
    QCoreApplication::processEvents();
  }
  ASSERT_TRUE(testing::ProcessEventsUntil(
      [&] { return model.rowCount() == 3 * ResourceListModel::kEagerRows; }));
  EXPECT_EQ(model.Cell(model.rowCount() - 1, 0), TxFromInt(ResourceListModel::kEagerRows / 2 - 1));
}

TEST(ResourceListModelAnnouncements, AfterClearTheFirstRowsAreAnnouncedOnTheNextPassAgain) {
  ResourceListModel model;
  Append(model, ResourceListModel::kEagerRows + 1);
  QCoreApplication::processEvents();
  ASSERT_EQ(model.rowCount(), ResourceListModel::kEagerRows + 1);
  Append(model, 5);  // soon after the last announcement: this one waits
  model.Clear();
  Append(model, 3);
  QCoreApplication::processEvents();
  EXPECT_EQ(model.rowCount(), 3);
}

}  // namespace
}  // namespace tessaly
