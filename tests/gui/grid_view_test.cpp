// The shared grid over a table of its own in a real PostgreSQL: display formats, the filter row,
// sorting, footer and group sums, the navigator, edits and deletions written back by key, and
// the memo boxes bound to the current row.
#include <QAbstractItemModelTester>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QToolButton>
#include <QtTest>
#include <memory>

#include "platform/ui/dialogs.h"
#include "platform/ui/grid/data_grid.h"
#include "platform/ui/grid/grid_delegate.h"
#include "platform/ui/grid/grid_table_view.h"
#include "support/test_database.h"

using platform::ui::Answer;
using platform::ui::DataGrid;
using platform::ui::GridColumn;
using Format = GridColumn::Format;
using Kind = platform::ui::GridLayoutEntry::Kind;

namespace {

// Query order k: a, b, c, d.
const char* const kTable =
    "DROP TABLE IF EXISTS g_child, g;"
    "CREATE TABLE g (k text PRIMARY KEY, partner text, note text CHECK (length(note) < 40), amount numeric,"
    " at timestamp, day date, n integer);"
    "INSERT INTO g VALUES"
    " ('a', 'Beta SRL', 'Alfa', 10.5, '2024-03-01 10:00:00', '2024-03-01', 3),"
    " ('b', 'Alfa SA', E'beta\\nlinia 2', 2, NULL, '2024-01-15', 1),"
    " ('c', 'Beta SRL', 'Gama', 1000, '2024-01-02 00:00:00', NULL, 2),"
    " ('d', '\u0218antier SRL', '\u0218ASE', -1234.5, '2023-12-31 23:59:59', '2023-12-31', NULL);"
    "CREATE TABLE g_child (k text REFERENCES g (k));";

std::vector<GridColumn> columns() {
    return {{"k"},
            {"partner", "Partener"},
            {"note", "", Format::Auto, true, false, true},
            {"amount", "", Format::Number, false, true},
            {"at", "", Format::DateTime},
            {"day"},
            {"n", "", Format::Auto, false, true}};
}

QString footerText(const DataGrid& grid, const char* field) {
    for (auto* cell : grid.footer()->findChildren<QLabel*>(QStringLiteral("GridFooterCell")))
        if (cell->property("field").toString() == QLatin1String(field)) return cell->text();
    return QStringLiteral("<none>");
}

QLineEdit* filterEdit(const DataGrid& grid, const char* field) {
    for (auto* e : grid.view()->horizontalHeader()->findChildren<QLineEdit*>(QStringLiteral("GridFilterEdit")))
        if (e->property("field").toString() == QLatin1String(field)) return e;
    return nullptr;
}

void clickHeader(DataGrid& grid, int column) {
    auto* header = grid.view()->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionViewportPosition(column) + 5, 5));
}

}  // namespace

class GridViewTest : public QObject {
    Q_OBJECT
    std::unique_ptr<testsupport::TestDatabase> db;
    std::unique_ptr<platform::pg::Connection> conn;
    std::unique_ptr<platform::pg::Query> q;
    std::unique_ptr<DataGrid> grid;
    platform::ui::ScriptedDialogs* dialogs = nullptr;

private slots:
    void initTestCase() {
        db = std::make_unique<testsupport::TestDatabase>();
        conn = std::make_unique<platform::pg::Connection>();
        conn->settings() = db->settings();
    }

    void init() {
        auto d = std::make_unique<platform::ui::ScriptedDialogs>();
        dialogs = d.get();
        platform::ui::setDialogs(std::move(d));
        db->exec(kTable);
        q = std::make_unique<platform::pg::Query>(*conn, "SELECT * FROM g ORDER BY k");
        q->setUpdateTable("g", {"k"});
        q->open();
        grid = std::make_unique<DataGrid>();
        grid->setQuery(q.get(), columns());
        grid->resize(900, 400);
        grid->show();
        QVERIFY(QTest::qWaitForWindowExposed(grid.get()));
    }

    void cleanup() {
        grid.reset();
        q.reset();
        platform::ui::setDialogs(nullptr);
    }

    void showsDisplayFormatsCaptionsAndFooterSums() {
        const auto& m = grid->model();
        QAbstractItemModelTester tester(const_cast<platform::ui::QueryTableModel*>(&m),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(m.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("k"));  // field name
        QCOMPARE(m.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("Partener"));
        const struct {
            int row, column;
            const char* shown;
        } cells[] = {
            {2, 3, "1,000.00"}, {3, 3, "-1,234.50"},                // '#,##0.00'
            {0, 4, "01.03.2024 10:00:00"}, {1, 4, ""},             // 'dd.MM.yyyy hh:mm:ss', NULL
            {0, 5, "01.03.2024"}, {2, 5, ""},                      // a date column without a format
            {0, 6, "3"},                                           // an integer as stored
            {1, 2, "beta linia 2"},                                // a memo on one line in its cell
        };
        for (const auto& c : cells)
            QCOMPARE(m.data(m.index(c.row, c.column), Qt::DisplayRole).toString(), QString::fromUtf8(c.shown));
        QCOMPARE(m.data(m.index(1, 2), Qt::EditRole).toString(), QStringLiteral("beta\nlinia 2"));  // edited whole
        QCOMPARE(m.data(m.index(0, 3), Qt::TextAlignmentRole).toInt() & Qt::AlignRight, int(Qt::AlignRight));
        QCOMPARE(grid->footerSum("amount"), -222.0);
        QCOMPARE(footerText(*grid, "amount"), QStringLiteral("-222.00"));
        QCOMPARE(footerText(*grid, "n"), QStringLiteral("6.00"));  // NULL adds nothing
        QCOMPARE(footerText(*grid, "k"), QString());
    }

    void filterRowIsAppliedAsTypedCaseInsensitiveAndCombined() {
        auto* partner = filterEdit(*grid, "partner");
        QVERIFY(partner);
        QTest::keyClicks(partner, "BETA");
        QCOMPARE(grid->visibleRowCount(), 4);  // waits for the typing to pause
        QTRY_COMPARE(grid->visibleRowCount(), 2);
        QCOMPARE(grid->rowsInViewOrder(), (std::vector<int>{0, 2}));
        QCOMPARE(grid->footerSum("amount"), 1010.5);
        QCOMPARE(footerText(*grid, "amount"), QStringLiteral("1,010.50"));

        grid->setColumnFilter("note", "AM");  // combined with the partner filter: Gama only
        QCOMPARE(grid->rowsInViewOrder(), std::vector<int>{2});
        QCOMPARE(filterEdit(*grid, "note")->text(), QStringLiteral("AM"));
        grid->clearFilters();
        QCOMPARE(grid->visibleRowCount(), 4);

        const struct {
            const char* field;
            const char* typed;
            std::vector<int> rows;
        } cases[] = {
            {"partner", "\u0219antier", {3}},   // Romanian capitals match their small letters
            {"amount", ".50", {0, 3}},          // the display text: 10.50 and -1,234.50
            {"at", "01.2024", {2}},             // dates as shown
            {"note", "beta linia", {1}},        // a memo's line break reads as a space
            {"partner", "nimic", {}},
        };
        for (const auto& c : cases) {
            grid->setColumnFilter(c.field, QString::fromUtf8(c.typed));
            QCOMPARE(grid->rowsInViewOrder(), c.rows);
            grid->setColumnFilter(c.field, {});
        }
        QCOMPARE(grid->footerSum("amount"), -222.0);

        // A cell too long to keep a lower-case copy of is still searched.
        db->exec("ALTER TABLE g DROP CONSTRAINT g_note_check;"
                 "UPDATE g SET note = repeat('x', 300) || 'Acul Din Car' WHERE k = 'c'");
        q->refresh();
        grid->reload();
        grid->setColumnFilter("note", "acul din");
        QCOMPARE(grid->rowsInViewOrder(), std::vector<int>{2});
    }

    void headerClicksSortAndAThirdClickRestoresTheQueryOrder() {
        QAbstractItemModelTester tester(const_cast<platform::ui::GridFilterProxy*>(&grid->proxy()),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        grid->setCurrentViewRow(2);  // c
        clickHeader(*grid, 3);       // amount
        QCOMPARE(grid->rowsInViewOrder(), (std::vector<int>{3, 1, 0, 2}));
        QCOMPARE(grid->currentSourceRow(), 2);  // the current row stays on its record
        QCOMPARE(grid->currentViewRow(), 3);
        clickHeader(*grid, 3);
        QCOMPARE(grid->rowsInViewOrder(), (std::vector<int>{2, 0, 1, 3}));
        clickHeader(*grid, 3);
        QCOMPARE(grid->rowsInViewOrder(), (std::vector<int>{0, 1, 2, 3}));

        const struct {
            const char* field;
            Qt::SortOrder order;
            std::vector<int> rows;
        } cases[] = {
            {"at", Qt::AscendingOrder, {1, 3, 2, 0}},        // NULL first, then by time, not by text
            {"day", Qt::DescendingOrder, {0, 1, 3, 2}},
            {"partner", Qt::AscendingOrder, {1, 0, 2, 3}},   // equal values keep the query's order
            {"n", Qt::AscendingOrder, {3, 1, 2, 0}},
        };
        for (const auto& c : cases) {
            grid->sortBy(c.field, c.order);
            QCOMPARE(grid->rowsInViewOrder(), c.rows);
        }
        grid->setColumnFilter("partner", "beta");  // the sort holds under a filter
        QCOMPARE(grid->rowsInViewOrder(), (std::vector<int>{2, 0}));
    }

    void groupsShowCountsAndSumsAndKeepTheGridOrder() {
        QAbstractItemModelTester tester(const_cast<platform::ui::GridGroupModel*>(&grid->groupModel()),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        grid->setCurrentViewRow(2);  // c
        grid->sortBy("amount", Qt::DescendingOrder);
        grid->setGroupColumns({"partner"});
        QCOMPARE(grid->currentSourceRow(), 2);
        // Groups ascending by value, rows inside them in the clicked order.
        QCOMPARE(grid->rowsInViewOrder(), (std::vector<int>{1, 2, 0, 3}));
        const auto& g = grid->groupModel();
        auto text = [&](int row, int column) { return g.data(g.index(row, column), Qt::DisplayRole).toString(); };
        QCOMPARE(g.rowCount(), 3 + 4 + 3);
        QCOMPARE(text(0, 0).trimmed(), QStringLiteral("\u25BE Partener: Alfa SA (1)"));
        QCOMPARE(g.entry(3).kind, Kind::GroupHeader);
        QCOMPARE(text(3, 0).trimmed(), QStringLiteral("\u25BE Partener: Beta SRL (2)"));
        QCOMPARE(g.entry(6).kind, Kind::GroupFooter);
        QCOMPARE(text(6, 3), QStringLiteral("1,010.50"));
        QCOMPARE(text(6, 6), QStringLiteral("5.00"));
        QCOMPARE(grid->view()->columnSpan(3, 0), g.columnCount());  // the caption spans the row
        QCOMPARE(grid->footerSum("amount"), -222.0);

        // The filter row narrows the groups and their sums; the current row stays.
        grid->setColumnFilter("note", "a");
        QCOMPARE(grid->currentSourceRow(), 2);
        QCOMPARE(grid->infoPanel()->text(), QStringLiteral("Inregistrarea 2 din 4"));
        grid->setColumnFilter("note", "am");
        QCOMPARE(g.rowCount(), 3);
        QCOMPARE(text(0, 0).trimmed(), QStringLiteral("\u25BE Partener: Beta SRL (1)"));
        QCOMPARE(text(2, 3), QStringLiteral("1,000.00"));
        grid->setColumnFilter("note", {});

        // A click on a group row collapses it; walking the rows still sees every row, and going to
        // one of them opens its group again.
        const int beta = 3;
        QTest::mouseClick(grid->view()->viewport(), Qt::LeftButton, {}, grid->view()->visualRect(g.index(beta, 0)).center());
        QCOMPARE(g.rowCount(), 10 - 2);
        QCOMPARE(grid->currentSourceRow(), -1);  // the group row is current
        QCOMPARE(grid->rowsInViewOrder(), (std::vector<int>{1, 2, 0, 3}));
        grid->setCurrentViewRow(2);
        QCOMPARE(g.rowCount(), 10);
        QCOMPARE(grid->currentSourceRow(), 0);

        // Two levels; a header dropped on the group-by box adds one, its button removes it.
        QMimeData mime;
        mime.setData(QString::fromLatin1(platform::ui::kGridColumnMimeType), "day");
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(grid->groupByBox(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(grid->groupByBox(), &drop);
        QCOMPARE(grid->groupColumns(), (std::vector<std::string>{"partner", "day"}));
        QCOMPARE(text(1, 0).trimmed(), QStringLiteral("\u25BE day: 15.01.2024 (1)"));
        QCOMPARE(grid->groupLayout().groups.size(), size_t(3 + 4));
        QToolButton* chip = nullptr;
        for (auto* b : grid->groupByBox()->findChildren<QToolButton*>(QStringLiteral("GridGroupChip")))
            if (b->property("field").toString() == QLatin1String("partner")) chip = b;
        QVERIFY(chip && chip->isVisible());
        chip->click();
        QCOMPARE(grid->groupColumns(), std::vector<std::string>{"day"});
        QCOMPARE(text(0, 0).trimmed(), QStringLiteral("\u25BE day: (gol) (1)"));  // NULL groups first

        grid->setGroupColumns({});
        QCOMPARE(grid->view()->model(), static_cast<QAbstractItemModel*>(const_cast<platform::ui::GridFilterProxy*>(&grid->proxy())));
        QCOMPARE(grid->rowsInViewOrder(), (std::vector<int>{2, 0, 1, 3}));
        QCOMPARE(grid->currentSourceRow(), 0);
    }

    void navigatorMovesTheQueryAndTheInfoPanel() {
        auto* nav = grid->navigator();
        auto button = [&](platform::ui::GridNavigator::Button b) { return nav->button(b); };
        QCOMPARE(grid->infoPanel()->text(), QStringLiteral("Inregistrarea 1 din 4"));
        QVERIFY(!button(platform::ui::GridNavigator::Prior)->isEnabled());
        button(platform::ui::GridNavigator::Next)->click();
        QCOMPARE(grid->currentSourceRow(), 1);
        QCOMPARE(q->recNo(), 1);  // the query follows the grid
        QCOMPARE(grid->currentValue("k").asString(), std::string("b"));
        QCOMPARE(grid->infoPanel()->text(), QStringLiteral("Inregistrarea 2 din 4"));
        button(platform::ui::GridNavigator::Last)->click();
        QCOMPARE(grid->currentViewRow(), 3);
        QVERIFY(!button(platform::ui::GridNavigator::Next)->isEnabled());
        button(platform::ui::GridNavigator::Prior)->click();
        QCOMPARE(grid->currentViewRow(), 2);
        button(platform::ui::GridNavigator::First)->click();
        QCOMPARE(grid->currentViewRow(), 0);

        // Enter moves to the next cell, from the last column to the next row.
        auto* view = grid->view();
        view->setFocus();
        view->setCurrentIndex(view->model()->index(0, 5));
        QTest::keyClick(view, Qt::Key_Return);
        QCOMPARE(view->currentIndex().column(), 6);
        QTest::keyClick(view, Qt::Key_Return);
        QCOMPARE(view->currentIndex(), view->model()->index(1, 0));
        QCOMPARE(grid->infoPanel()->text(), QStringLiteral("Inregistrarea 2 din 4"));

        // Refresh re-reads the query and keeps the current row by its key.
        db->exec("INSERT INTO g (k, partner) VALUES ('aa', 'Nou')");
        button(platform::ui::GridNavigator::Refresh)->click();
        QCOMPARE(grid->visibleRowCount(), 5);
        QCOMPARE(grid->currentValue("k").asString(), std::string("b"));
    }

    void cellEditsArePostedByKeyWithOneLineMemoEditors() {
        auto* view = qobject_cast<platform::ui::GridTableView*>(grid->view());
        QVERIFY(!(grid->model().flags(grid->model().index(0, 1)) & Qt::ItemIsEditable));
        // The edit button opens the row's writable cell: a one-line memo editor.
        view->setFocus();
        grid->setCurrentViewRow(1);  // b, whose note has two lines
        grid->navigator()->button(platform::ui::GridNavigator::Edit)->click();
        QVERIFY(view->isEditing());
        QCOMPARE(view->currentIndex().column(), 2);
        auto* editor = qobject_cast<platform::ui::OneLineMemoEditor*>(view->indexWidget(view->currentIndex()));
        QVERIFY(editor);
        QTest::keyClicks(editor, " ok");
        QTest::keyClick(editor, Qt::Key_Return);  // posts, breaks no line, goes to the next cell
        QVERIFY(!view->isEditing());
        QCOMPARE(db->scalar("SELECT note FROM g WHERE k = 'b'"), std::string("beta\nlinia 2 ok"));
        QCOMPARE(view->currentIndex().column(), 3);
        QCOMPARE(grid->model().displayText(1, 2), QStringLiteral("beta linia 2 ok"));

        // Refused by the database: the error box, the row as it was.
        const QModelIndex note = view->model()->index(0, 2);
        QVERIFY(!view->model()->setData(note, QString(50, QLatin1Char('x')), Qt::EditRole));
        QCOMPARE(dialogs->errors().size(), 1);
        QCOMPARE(db->scalar("SELECT note FROM g WHERE k = 'a'"), std::string("Alfa"));
        QCOMPARE(grid->model().displayText(0, 2), QStringLiteral("Alfa"));
        // Emptied: NULL.
        QVERIFY(view->model()->setData(note, QString(), Qt::EditRole));
        QCOMPARE(db->scalar("SELECT coalesce(note, '<null>') FROM g WHERE k = 'a'"), std::string("<null>"));

        // Cancel drops what was typed.
        view->setCurrentIndex(view->model()->index(2, 2));
        grid->navigator()->button(platform::ui::GridNavigator::Edit)->click();
        QTest::keyClicks(view->indexWidget(view->currentIndex()), "zzz");
        grid->navigator()->button(platform::ui::GridNavigator::Cancel)->click();
        QCOMPARE(db->scalar("SELECT note FROM g WHERE k = 'c'"), std::string("Gama"));
    }

    void deleteAsksThenDeletesByKeyAndKeepsTheModelWhole() {
        QAbstractItemModelTester tester(const_cast<platform::ui::QueryTableModel*>(&grid->model()),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QAbstractItemModelTester proxyTester(const_cast<platform::ui::GridFilterProxy*>(&grid->proxy()),
                                             QAbstractItemModelTester::FailureReportingMode::QtTest);
        auto* del = grid->navigator()->button(platform::ui::GridNavigator::Delete);
        grid->sortBy("amount", Qt::DescendingOrder);  // c, a, b, d
        grid->setCurrentViewRow(1);                   // a
        dialogs->answers << Answer::No;
        del->click();
        QCOMPARE(db->scalar("SELECT count(*) FROM g"), std::string("4"));
        dialogs->answers << Answer::Yes;
        del->click();
        QCOMPARE(db->scalar("SELECT string_agg(k, ',' ORDER BY k) FROM g"), std::string("b,c,d"));
        QCOMPARE(grid->visibleRowCount(), 3);
        QCOMPARE(grid->currentValue("k").asString(), std::string("b"));  // the row that took its place
        QCOMPARE(grid->footerSum("amount"), -232.5);

        // Refused by the database: the error box, nothing gone.
        db->exec("INSERT INTO g_child VALUES ('b')");
        dialogs->answers << Answer::Yes;
        del->click();
        QCOMPARE(dialogs->errors().size(), 1);
        QCOMPARE(grid->visibleRowCount(), 3);
        QCOMPARE(db->scalar("SELECT count(*) FROM g"), std::string("3"));

        grid->setAllowDelete(false);
        QVERIFY(!del->isEnabled());
    }

    void memoBoxesFollowTheCurrentRowAndPostByKey() {
        QPlainTextEdit note;
        QTextEdit partner;
        grid->bindMemo(&note, "note", true);
        grid->bindMemo(&partner, "partner", false);
        QCOMPARE(note.toPlainText(), QStringLiteral("Alfa"));
        QVERIFY(partner.isReadOnly());
        grid->setCurrentViewRow(1);
        QCOMPARE(note.toPlainText(), QStringLiteral("beta\nlinia 2"));  // all its lines
        QCOMPARE(partner.toPlainText(), QStringLiteral("Alfa SA"));

        note.moveCursor(QTextCursor::End);
        QTest::keyClicks(&note, " plus");
        grid->setCurrentViewRow(2);  // leaving the row posts to it
        QCOMPARE(db->scalar("SELECT note FROM g WHERE k = 'b'"), std::string("beta\nlinia 2 plus"));
        QCOMPARE(grid->model().displayText(1, 2), QStringLiteral("beta linia 2 plus"));
        QCOMPARE(note.toPlainText(), QStringLiteral("Gama"));

        // Text typed for a record that changed meanwhile is not posted over it.
        note.moveCursor(QTextCursor::End);
        QTest::keyClicks(&note, "!");
        db->exec("UPDATE g SET note = 'altul' WHERE k = 'c'");
        q->refresh();
        QVERIFY(!grid->postPendingEdits());
        QCOMPARE(dialogs->errors().size(), 1);
        QCOMPARE(db->scalar("SELECT note FROM g WHERE k = 'c'"), std::string("altul"));
    }

    void reloadFollowsTheQueryAndAStaleQueryIsHarmless() {
        grid->setCurrentViewRow(2);  // c
        db->exec("INSERT INTO g (k, partner) VALUES ('bb', 'Nou')");
        q->refresh();  // the query keeps c by its key; the grid follows on reload
        grid->reload();
        QCOMPARE(grid->visibleRowCount(), 5);
        QCOMPARE(grid->currentValue("k").asString(), std::string("c"));

        // Closed or shrunk behind the grid's back: blanks until the next reload, no crash.
        db->exec("DELETE FROM g WHERE k IN ('c', 'd', 'bb')");
        q->refresh();
        grid->view()->viewport()->repaint();
        QCOMPARE(grid->model().displayText(4, 0), QString());
        q->close();
        grid->view()->viewport()->repaint();
        grid->reload();
        QCOMPARE(grid->visibleRowCount(), 0);
        QCOMPARE(grid->currentSourceRow(), -1);
        QCOMPARE(grid->infoPanel()->text(), QStringLiteral("Inregistrarea 0 din 0"));
    }

    void memTableRowsAreReadOnly() {
        platform::memtable::MemTable t({{"id", 10}, {"detalii", 0}});
        t.open();
        const std::pair<const char*, const char*> rows[] = {{"1", "Factura X"}, {"2", "Eroare"}, {"3", "factura Y"}};
        for (const auto& [id, text] : rows) {
            t.append();
            t.setField("id", id);
            t.setField("detalii", text);
            t.post();
        }
        grid->setTable(&t, {{"detalii", "", Format::Auto, true}, {"id"}});
        QCOMPARE(grid->visibleRowCount(), 3);
        QVERIFY(!(grid->model().flags(grid->model().index(0, 0)) & Qt::ItemIsEditable));
        grid->setColumnFilter("detalii", "FACTURA");
        QCOMPARE(grid->rowsInViewOrder(), (std::vector<int>{0, 2}));
        grid->sortBy("detalii", Qt::DescendingOrder);
        QCOMPARE(grid->rowsInViewOrder(), (std::vector<int>{2, 0}));
        QVERIFY(!grid->navigator()->button(platform::ui::GridNavigator::Delete)->isEnabled());
    }
};

QTEST_MAIN(GridViewTest)
#include "grid_view_test.moc"
