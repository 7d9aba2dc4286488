#include <xlsxwriter.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QTableView>
#include <stdexcept>

#include "platform/ui/grid/data_grid.h"

namespace platform::ui {
namespace {

std::string columnLetters(int column) {
    std::string s;
    for (int c = column + 1; c > 0; c = (c - 1) / 26) s.insert(s.begin(), static_cast<char>('A' + (c - 1) % 26));
    return s;
}

}  // namespace

void exportGridToXlsx(const DataGrid& grid, const QString& path) {
    const QFileInfo target(path);
    if (!target.dir().exists())
        throw std::runtime_error("Folderul " + target.absolutePath().toStdString() + " nu exista.");
    // Written beside the target under another name and renamed at the end.
    const QString partial = target.absoluteFilePath() + QStringLiteral(".partial.xlsx");
    const std::string partialPath = partial.toStdString();
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    lxw_workbook* book = workbook_new_opt(partialPath.c_str(), &options);
    if (!book) throw std::runtime_error("Fisierul " + path.toStdString() + " nu poate fi creat.");
    lxw_worksheet* sheet = workbook_add_worksheet(book, nullptr);
    lxw_format* bold = workbook_add_format(book);
    format_set_bold(bold);
    lxw_format* dateTime = workbook_add_format(book);
    format_set_num_format(dateTime, "dd.mm.yyyy hh:mm:ss");
    lxw_format* date = workbook_add_format(book);
    format_set_num_format(date, "dd.mm.yyyy");
    lxw_format* number = workbook_add_format(book);
    format_set_num_format(number, "#,##0.00");

    const auto& model = grid.model();
    const auto& header = *grid.view()->horizontalHeader();
    std::vector<int> visible;  // model columns in the order shown
    for (int v = 0; v < header.count(); ++v) {
        const int logical = header.logicalIndex(v);
        if (!header.isSectionHidden(logical)) visible.push_back(logical);
    }
    for (size_t c = 0; c < visible.size(); ++c)
        worksheet_write_string(sheet, 0, static_cast<lxw_col_t>(c),
                               model.columns()[static_cast<size_t>(visible[c])].caption.toUtf8().constData(), bold);
    lxw_row_t row = 1;
    for (int source : grid.rowsInViewOrder()) {
        for (size_t c = 0; c < visible.size(); ++c) {
            const QVariant v = model.typedValue(source, visible[c]);
            const auto col = static_cast<lxw_col_t>(c);
            if (v.isNull()) continue;
            if (v.typeId() == QMetaType::QDateTime || v.typeId() == QMetaType::QDate) {
                const QDateTime t = v.typeId() == QMetaType::QDate ? QDateTime(v.toDate(), QTime(0, 0)) : v.toDateTime();
                lxw_datetime d{t.date().year(), t.date().month(), t.date().day(),
                               t.time().hour(), t.time().minute(), static_cast<double>(t.time().second())};
                worksheet_write_datetime(sheet, row, col, &d, v.typeId() == QMetaType::QDate ? date : dateTime);
            } else if (v.typeId() == QMetaType::Double) {
                worksheet_write_number(sheet, row, col, v.toDouble(), number);
            } else {
                worksheet_write_string(sheet, row, col, v.toString().toUtf8().constData(), nullptr);
            }
        }
        ++row;
    }
    for (size_t c = 0; c < visible.size(); ++c) {
        const auto& column = model.columns()[static_cast<size_t>(visible[c])];
        if (!column.footerSum) continue;
        const std::string letters = columnLetters(static_cast<int>(c));
        const std::string formula = "=SUM(" + letters + "2:" + letters + std::to_string(row) + ")";
        worksheet_write_formula_num(sheet, row, static_cast<lxw_col_t>(c), formula.c_str(), number,
                                    grid.footerSum(column.field));
    }
    const lxw_error rc = workbook_close(book);
    if (rc != LXW_NO_ERROR) {
        QFile::remove(partial);
        throw std::runtime_error("Fisierul " + path.toStdString() + " nu poate fi scris: " + lxw_strerror(rc));
    }
    QFile::remove(path);
    if (!QFile::rename(partial, path)) {
        QFile::remove(partial);
        throw std::runtime_error("Fisierul " + path.toStdString() + " nu poate fi scris.");
    }
}

}  // namespace platform::ui
