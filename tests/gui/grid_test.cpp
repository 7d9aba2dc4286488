// The shared grid on a table of its own: model consistency, navigator, Enter, write-back by key.
#include <QAbstractItemModelTester>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTreeWidget>
#include <QtTest>

#include "platform/ui/dialogs.h"
#include "platform/ui/grid/data_grid.h"
#include "support/test_database.h"

using platform::ui::GridColumn;

class GridTest : public QObject {
    Q_OBJECT
private slots:
    void navigatesEditsAndDeletesByKey() {
        auto d = std::make_unique<platform::ui::ScriptedDialogs>();
        auto* dialogs = d.get();
        platform::ui::setDialogs(std::move(d));
        testsupport::TestDatabase db;
        db.exec("CREATE TABLE g (k text PRIMARY KEY, note text, amount numeric, at timestamp);"
                "INSERT INTO g VALUES ('a', 'Alfa', 10.5, '2024-03-01 10:00'), ('b', 'beta', 2, NULL),"
                " ('c', 'Gama', 1000, '2024-01-02 00:00')");
        platform::pg::Connection conn;
        conn.settings() = db.settings();
        platform::pg::Query q(conn, "SELECT * FROM g ORDER BY k");
        q.setUpdateTable("g", {"k"});
        q.open();
        platform::ui::DataGrid grid;
        grid.setQuery(&q, {{"k"}, {"note", "Nota", GridColumn::Format::Text, true},
                           {"amount", "", GridColumn::Format::Number, false, true},
                           {"at", "", GridColumn::Format::DateTime}});
        QAbstractItemModelTester tester(const_cast<platform::ui::QueryTableModel*>(&grid.model()),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QPlainTextEdit memo;
        grid.bindMemo(&memo, "note", false);
        grid.show();
        grid.reload();
        QCOMPARE(grid.model().headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("Nota"));
        QCOMPARE(grid.model().data(grid.model().index(2, 2), Qt::DisplayRole).toString(), QStringLiteral("1,000.00"));  // #,##0.00
        QCOMPARE(grid.model().data(grid.model().index(0, 3), Qt::DisplayRole).toString(),
                 QStringLiteral("01.03.2024 10:00:00"));
        QCOMPARE(grid.footerSum("amount"), 1012.5);

        auto* next = grid.findChild<QPushButton*>(QStringLiteral("NavNext"));
        auto* last = grid.findChild<QPushButton*>(QStringLiteral("NavLast"));
        grid.setCurrentViewRow(0);
        next->click();
        QCOMPARE(grid.currentSourceRow(), 1);
        QCOMPARE(memo.toPlainText(), QStringLiteral("beta"));
        QCOMPARE(grid.infoPanel()->text(), QStringLiteral("Inregistrarea 2 din 3"));
        last->click();
        QCOMPARE(grid.currentSourceRow(), 2);

        // Enter moves to the next cell
        grid.view()->setCurrentIndex(grid.proxy().index(0, 0));
        QTest::keyClick(grid.view(), Qt::Key_Return);
        QCOMPARE(grid.view()->currentIndex().column(), 1);

        // sorting by a number column, filtering combined with it
        grid.sortBy("amount", Qt::DescendingOrder);
        QCOMPARE(grid.rowsInViewOrder(), (std::vector<int>{2, 0, 1}));
        grid.setColumnFilter("note", "A");  // case-insensitive: Alfa, beta, Gama
        QCOMPARE(grid.visibleRowCount(), 3);
        grid.setColumnFilter("note", "am");
        QCOMPARE(grid.rowsInViewOrder(), std::vector<int>{2});
        QCOMPARE(grid.footerSum("amount"), 1000.0);
        grid.setColumnFilter("note", "");

        // a writable cell is written back by key; a read-only one is not editable
        QVERIFY(!(grid.model().flags(grid.model().index(0, 0)) & Qt::ItemIsEditable));
        const QModelIndex cell = grid.proxy().index(grid.proxy().mapFromSource(grid.model().index(1, 1)).row(), 1);
        QVERIFY(const_cast<platform::ui::GridFilterProxy&>(grid.proxy()).setData(cell, QStringLiteral("nou\nrand"), Qt::EditRole));
        QCOMPARE(db.scalar("SELECT note FROM g WHERE k = 'b'"), std::string("nou rand"));

        // delete asks first
        grid.setCurrentViewRow(0);  // c
        auto* del = grid.findChild<QPushButton*>(QStringLiteral("NavDelete"));
        dialogs->answers << platform::ui::Answer::No;
        del->click();
        QCOMPARE(db.scalar("SELECT count(*) FROM g"), std::string("3"));
        dialogs->answers << platform::ui::Answer::Yes;
        del->click();
        QCOMPARE(db.scalar("SELECT string_agg(k, ',' ORDER BY k) FROM g"), std::string("a,b"));
        QCOMPARE(grid.visibleRowCount(), 2);
        platform::ui::setDialogs(nullptr);
    }

    void groupsShowCountsAndSumsAndOrderTheExport() {
        testsupport::TestDatabase db;
        db.exec("CREATE TABLE g (k text PRIMARY KEY, partner text, amount numeric);"
                "INSERT INTO g VALUES ('1', 'B', 1), ('2', 'A', 10), ('3', 'B', 100), ('4', 'A', 1000), ('5', 'C', 5)");
        platform::pg::Connection conn;
        conn.settings() = db.settings();
        platform::pg::Query q(conn, "SELECT * FROM g ORDER BY k");
        q.open();
        platform::ui::DataGrid grid;
        grid.setQuery(&q, {{"k"}, {"partner"}, {"amount", "", GridColumn::Format::Number, false, true}});
        grid.setColumnFilter("partner", "");
        grid.setGroupColumns({"partner"});
        QCOMPARE(grid.rowsInViewOrder(), (std::vector<int>{1, 3, 0, 2, 4}));  // A, B, C; query order inside
        auto* tree = grid.groupView();
        QCOMPARE(tree->topLevelItemCount(), 3);
        QCOMPARE(tree->topLevelItem(0)->text(0), QStringLiteral("partner: A (2)"));
        QCOMPARE(tree->topLevelItem(0)->text(2), QStringLiteral("1,010.00"));
        QCOMPARE(tree->topLevelItem(1)->childCount(), 2);
        QCOMPARE(grid.footerSum("amount"), 1116.0);
        // the filter applies inside groups
        grid.setGroupColumns({});
        grid.setColumnFilter("k", "3");
        grid.setGroupColumns({"partner"});
        QCOMPARE(tree->topLevelItemCount(), 1);
        QCOMPARE(tree->topLevelItem(0)->text(2), QStringLiteral("100.00"));
        grid.setGroupColumns({});
        QVERIFY(!tree->isVisibleTo(&grid));
    }
};

QTEST_MAIN(GridTest)
#include "grid_test.moc"
