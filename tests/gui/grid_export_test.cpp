// The grid's .xlsx export read back with libzip and pugixml: only the rows the grid shows, in its
// order, dates as dates, numbers as numbers, the sums as formulas; groups with their subtotals;
// and a file that cannot be written leaves nothing behind.
#include <zip.h>

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <pugixml.hpp>

#include "platform/ui/grid/data_grid.h"
#include "support/test_database.h"

using platform::ui::DataGrid;
using platform::ui::GridColumn;
using Format = GridColumn::Format;

namespace {

std::string zipEntry(const QString& path, const char* name) {
    int err = 0;
    zip_t* z = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &err);
    if (!z) return {};
    std::string out;
    zip_stat_t st;
    if (zip_stat(z, name, 0, &st) == 0) {
        zip_file_t* f = zip_fopen(z, name, 0);
        out.resize(st.size);
        zip_fread(f, out.data(), st.size);
        zip_fclose(f);
    }
    zip_close(z);
    return out;
}

// The first worksheet of a workbook, cell by cell, with the number format of each cell's style.
struct Sheet {
    pugi::xml_document xml, styles;
    std::vector<std::string> formatOfStyle;  // by style index: the format code, "" for General

    explicit Sheet(const QString& path) {
        xml.load_string(zipEntry(path, "xl/worksheets/sheet1.xml").c_str());
        styles.load_string(zipEntry(path, "xl/styles.xml").c_str());
        std::map<int, std::string> codes{{4, "#,##0.00"}};  // built in: not listed in the file
        for (auto f : styles.select_nodes("//*[local-name()='numFmt']"))
            codes[f.node().attribute("numFmtId").as_int()] = f.node().attribute("formatCode").value();
        for (auto xf : styles.select_nodes("//*[local-name()='cellXfs']/*[local-name()='xf']"))
            formatOfStyle.push_back(codes[xf.node().attribute("numFmtId").as_int()]);
    }
    pugi::xml_node cell(const std::string& ref) const {
        return xml.select_node(("//*[local-name()='c'][@r='" + ref + "']").c_str()).node();
    }
    QString text(const std::string& ref) const {  // inline or plain value text
        const auto c = cell(ref);
        return QString::fromUtf8(c.attribute("t").as_string() == std::string("inlineStr") ? c.child("is").child_value("t")
                                                                                          : c.child_value("v"));
    }
    double number(const std::string& ref) const { return cell(ref).child("v").text().as_double(); }
    bool isNumber(const std::string& ref) const { return cell(ref).attribute("t").empty() && cell(ref).child("v"); }
    std::string format(const std::string& ref) const {
        const int s = cell(ref).attribute("s").as_int(0);
        return s < static_cast<int>(formatOfStyle.size()) ? formatOfStyle[static_cast<size_t>(s)] : std::string();
    }
    QString formula(const std::string& ref) const { return QString::fromUtf8(cell(ref).child_value("f")); }
    int rows() const { return static_cast<int>(xml.select_nodes("//*[local-name()='row']").size()); }
};

}  // namespace

class GridExportTest : public QObject {
    Q_OBJECT
    std::unique_ptr<testsupport::TestDatabase> db;
    std::unique_ptr<platform::pg::Connection> conn;
    std::unique_ptr<platform::pg::Query> q;
    std::unique_ptr<DataGrid> grid;
    QTemporaryDir dir;

private slots:
    void initTestCase() {
        db = std::make_unique<testsupport::TestDatabase>();
        db->exec(
            "CREATE TABLE x (k text PRIMARY KEY, partner text, amount numeric, at timestamp, day date, n integer, note text);"
            "INSERT INTO x VALUES"
            " ('a', 'Beta SRL', 10.5, '2024-03-01 10:00:00', '2024-03-01', 3, 'nota'),"
            " ('b', 'Alfa SA', 2, NULL, '2024-01-15', 1, NULL),"
            " ('c', 'Beta SRL', 1000, '2024-01-02 00:00:00', NULL, 2, repeat('\u0219', 40000)),"
            " ('d', 'Gama SRL', -1234.5, '2023-12-31 23:59:59', '2023-12-31', NULL, 'x')");
        conn = std::make_unique<platform::pg::Connection>();
        conn->settings() = db->settings();
        q = std::make_unique<platform::pg::Query>(*conn, "SELECT * FROM x ORDER BY k");
        q->open();
        QVERIFY(dir.isValid());
    }

    void init() {
        grid = std::make_unique<DataGrid>();
        grid->setQuery(q.get(), {{"k"},
                                 {"partner", "Partener"},
                                 {"amount", "", Format::Number, false, true},
                                 {"at", "", Format::DateTime},
                                 {"day"},
                                 {"n", "", Format::Auto, false, true},
                                 {"note"}});
        grid->setColumnVisible("note", false);
    }

    void exportsTheFilteredSortedRowsWithRealDatesNumbersAndTheSum() {
        grid->setColumnFilter("partner", "beta");
        grid->sortBy("amount", Qt::DescendingOrder);
        grid->setColumnVisible("n", false);
        const QString path = dir.filePath(QStringLiteral("vedere.xlsx"));
        QFile old(path);  // an older file of that name is replaced whole
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("not a workbook");
        old.close();

        platform::ui::exportGridToXlsx(*grid, path);
        const Sheet s(path);
        QCOMPARE(s.rows(), 1 + 2 + 1);
        const char* captions[] = {"k", "Partener", "amount", "at", "day"};
        for (int c = 0; c < 5; ++c) QCOMPARE(s.text(std::string(1, char('A' + c)) + "1"), QString::fromLatin1(captions[c]));
        QVERIFY(!s.cell("F1"));  // hidden columns stay out
        QCOMPARE(s.text("A2"), QStringLiteral("c"));  // sorted: 1000 before 10.5
        QCOMPARE(s.text("B3"), QStringLiteral("Beta SRL"));
        QVERIFY(s.isNumber("C2"));
        QCOMPARE(s.number("C2"), 1000.0);
        QCOMPARE(s.format("C2"), std::string("#,##0.00"));
        // 2024-03-01 10:00 is day 45352 of the spreadsheet calendar, 10/24 into it.
        QVERIFY(s.isNumber("D3"));
        QCOMPARE(s.number("D3"), 45352 + 10.0 / 24);
        QCOMPARE(s.format("D3"), std::string("dd.mm.yyyy hh:mm:ss"));
        QVERIFY(s.isNumber("E3"));
        QCOMPARE(s.number("E3"), 45352.0);
        QCOMPARE(s.format("E3"), std::string("dd.mm.yyyy"));
        QVERIFY(!s.cell("E2").child("v"));  // NULL: an empty cell
        QCOMPARE(s.formula("C4"), QStringLiteral("SUM(C2:C3)"));
        QCOMPARE(s.number("C4"), 1010.5);
        QVERIFY(!s.cell("A4").child("v"));
        // Nothing else was left in the folder.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"vedere.xlsx"});
    }

    void groupsAreExportedExpandedWithSubtotals() {
        grid->setGroupColumns({"partner"});
        grid->setGroupsExpanded(false);  // collapsed on screen, expanded in the file
        const QString path = dir.filePath(QStringLiteral("grupe.xlsx"));
        platform::ui::exportGridToXlsx(*grid, path);
        const Sheet s(path);
        // Header; Alfa SA: 1 row; Beta SRL: 2 rows; Gama SRL: 1 row; each with a header and a
        // footer row; the grand total.
        QCOMPARE(s.rows(), 1 + (3 + 4 + 3) + 1);
        QCOMPARE(s.text("A2"), QStringLiteral("Partener: Alfa SA (1)"));
        QCOMPARE(s.text("A3"), QStringLiteral("b"));
        QCOMPARE(s.formula("C4"), QStringLiteral("SUBTOTAL(9,C3:C3)"));
        QCOMPARE(s.text("A5"), QStringLiteral("Partener: Beta SRL (2)"));
        QCOMPARE(s.text("A6"), QStringLiteral("a"));  // the query's order inside the group
        QCOMPARE(s.formula("C8"), QStringLiteral("SUBTOTAL(9,C6:C7)"));
        QCOMPARE(s.number("C8"), 1010.5);
        QCOMPARE(s.formula("F8"), QStringLiteral("SUBTOTAL(9,F6:F7)"));
        QCOMPARE(s.number("F8"), 5.0);
        // The total leaves the group subtotals out, as SUBTOTAL does.
        QCOMPARE(s.formula("C12"), QStringLiteral("SUBTOTAL(9,C2:C11)"));
        QCOMPARE(s.number("C12"), -222.0);
    }

    void aCellLongerThanASpreadsheetHoldsIsCut() {
        grid->setColumnVisible("note", true);
        grid->setColumnFilter("k", "c");
        const QString path = dir.filePath(QStringLiteral("lung.xlsx"));
        platform::ui::exportGridToXlsx(*grid, path);
        QCOMPARE(Sheet(path).text("G2").size(), 32767);
    }

    void aFileThatCannotBeWrittenGivesTheSystemsReasonAndLeavesNothing() {
        const QString missing = dir.filePath(QStringLiteral("nu-exista/x.xlsx"));
        try {
            platform::ui::exportGridToXlsx(*grid, missing);
            QFAIL("no error");
        } catch (const std::runtime_error& e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains(QStringLiteral("No such file or directory")), e.what());
            QVERIFY(QString::fromUtf8(e.what()).contains(missing));
        }
        // A folder where the file should go: the rename is refused, the folder is as it was and
        // the partial workbook is gone.
        const QString taken = dir.filePath(QStringLiteral("ocupat.xlsx"));
        QVERIFY(QDir().mkpath(taken + QStringLiteral("/inauntru")));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, platform::ui::exportGridToXlsx(*grid, taken));
        QCOMPARE(QDir(taken).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"inauntru"});
        for (const auto& name : QDir(dir.path()).entryList(QDir::Files | QDir::Hidden))
            QVERIFY2(!name.startsWith(QLatin1Char('.')), qPrintable(name));
    }
};

QTEST_MAIN(GridExportTest)
#include "grid_export_test.moc"
