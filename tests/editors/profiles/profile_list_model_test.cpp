// The profile manager's list model without widgets: the single check mark,
// the rows that cannot carry it, the texts of a row.
#include <gtest/gtest.h>

#include <QDir>
#include <QSignalSpy>

#include <string>
#include <vector>

#include "editors/profiles/ProfileListModel.h"

namespace kst {
namespace {

enum class Step { ViewCheck, ViewUncheck, CheckRow, Remove };

struct Action {
  Step step;
  int row;
  bool accepted;  // what setData, CheckRow or RemoveRow answers
};

QStringList Paths(int count) {
  QStringList paths;
  for (int i = 0; i < count; ++i) paths << QStringLiteral("/profiles/p%1.kst").arg(i);
  return paths;
}

TEST(ProfileListModelTest, OneCheckMarkAmongTheFirstFourRows) {
  struct Case {
    const char* name;
    int rows;
    std::vector<Action> actions;
    int checked;        // the checked row afterwards
    int changeSignals;  // CheckChanged emitted
  };
  const Case cases[] = {
      {"the view checks a row", 4, {{Step::ViewCheck, 2, true}}, 2, 1},
      {"a second check moves the mark",
       4,
       {{Step::ViewCheck, 1, true}, {Step::ViewCheck, 3, true}},
       3,
       2},
      {"unchecking the checked row leaves none",
       4,
       {{Step::ViewCheck, 1, true}, {Step::ViewUncheck, 1, true}},
       -1,
       2},
      {"unchecking another row changes nothing",
       4,
       {{Step::ViewCheck, 1, true}, {Step::ViewUncheck, 2, true}},
       1,
       1},
      {"the same row again is no change",
       4,
       {{Step::CheckRow, 2, true}, {Step::CheckRow, 2, true}},
       2,
       1},
      {"the fifth row cannot be checked from the view", 6, {{Step::ViewCheck, 4, false}}, -1, 0},
      {"nor a later one through CheckRow", 6, {{Step::CheckRow, 5, false}}, -1, 0},
      {"a refused row keeps the mark where it is",
       6,
       {{Step::CheckRow, 0, true}, {Step::ViewCheck, 4, false}, {Step::CheckRow, 5, false}},
       0,
       1},
      {"a row that does not exist", 2, {{Step::CheckRow, 3, false}}, -1, 0},
      {"the mark goes up with its row",
       5,
       {{Step::ViewCheck, 2, true}, {Step::Remove, 0, true}},
       1,
       1},
      {"removing the checked row removes the mark",
       4,
       {{Step::ViewCheck, 2, true}, {Step::Remove, 2, true}},
       -1,
       2},
      {"removing a row that does not exist", 4, {{Step::Remove, 4, false}}, -1, 0},
      {"CheckRow(-1) clears", 4, {{Step::CheckRow, 3, true}, {Step::CheckRow, -1, true}}, -1, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ProfileListModel model;
    model.SetPaths(Paths(c.rows));
    QSignalSpy changes(&model, &ProfileListModel::CheckChanged);
    for (const Action& action : c.actions) {
      const QModelIndex cell = model.index(action.row, ProfileListModel::kActiveColumn);
      bool accepted = false;
      switch (action.step) {
        case Step::ViewCheck:
          accepted = model.setData(cell, Qt::Checked, Qt::CheckStateRole);
          break;
        case Step::ViewUncheck:
          accepted = model.setData(cell, Qt::Unchecked, Qt::CheckStateRole);
          break;
        case Step::CheckRow:
          accepted = model.CheckRow(action.row);
          break;
        case Step::Remove:
          accepted = model.RemoveRow(action.row);
          break;
      }
      EXPECT_EQ(accepted, action.accepted) << "row " << action.row;
    }
    EXPECT_EQ(model.CheckedRow(), c.checked);
    EXPECT_EQ(changes.count(), c.changeSignals);
    int marked = 0;
    for (int row = 0; row < model.RowCount(); ++row)
      marked += model.data(model.index(row, 0), Qt::CheckStateRole) == Qt::Checked ? 1 : 0;
    EXPECT_EQ(marked, c.checked == -1 ? 0 : 1);
  }
}

TEST(ProfileListModelTest, RowsBeyondTheFourthHaveNoCheckBox) {
  ProfileListModel model;
  model.SetPaths(Paths(6));
  for (int row = 0; row < 6; ++row) {
    SCOPED_TRACE(row);
    const QModelIndex cell = model.index(row, ProfileListModel::kActiveColumn);
    const bool checkable = row < 4;
    EXPECT_EQ(model.flags(cell).testFlag(Qt::ItemIsUserCheckable), checkable);
    EXPECT_EQ(model.data(cell, Qt::CheckStateRole).isValid(), checkable);
    // The name and folder columns never carry a check box.
    for (int column : {1, 2}) {
      EXPECT_FALSE(model.flags(model.index(row, column)).testFlag(Qt::ItemIsUserCheckable));
      EXPECT_FALSE(model.setData(model.index(row, column), Qt::Checked, Qt::CheckStateRole));
    }
  }
}

TEST(ProfileListModelTest, RowTextsHeadingsAndRegistryPaths) {
  ProfileListModel model;
  EXPECT_EQ(model.columnCount(), 3);
  const QStringList headings = {QStringLiteral("激活"), QStringLiteral("名称"),
                                QStringLiteral("路径")};
  for (int column = 0; column < 3; ++column)
    EXPECT_EQ(model.headerData(column, Qt::Horizontal).toString(), headings[column]);
  EXPECT_FALSE(model.headerData(3, Qt::Horizontal).isValid());

  struct Case {
    QString path;
    QString name;
    QString folder;
    QString registryPath;
  };
  const QString sep = QDir::separator();
  const Case cases[] = {
      // The working file has no extension; the registry still gets ".kst".
      {"/home/u/data/$Profile0", "$Profile0", "/home/u/data/", "/home/u/data/$Profile0.kst"},
      {"/home/u/The new contextual  mode.kst", "The new contextual  mode", "/home/u/",
       "/home/u/The new contextual  mode.kst"},
      // Only the last extension goes.
      {"/x/race.night.kst", "race.night", "/x/", "/x/race.night.kst"},
      {"/x/other.cfg", "other", "/x/", "/x/other.kst"},
      {"/top.kst", "top", "/", "/top.kst"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path.toStdString());
    model.SetPaths({});
    model.AppendPath(c.path);
    ASSERT_EQ(model.RowCount(), 1);
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), QString());
    EXPECT_EQ(model.data(model.index(0, 1)).toString(), c.name);
    EXPECT_EQ(model.data(model.index(0, 2)).toString(), QDir::toNativeSeparators(c.folder));
    EXPECT_EQ(model.RegistryPath(0), QDir::toNativeSeparators(c.registryPath));
  }
}

}  // namespace
}  // namespace kst
