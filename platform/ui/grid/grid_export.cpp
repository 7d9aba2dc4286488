#include "platform/ui/grid/grid_export.h"

#include <xlsxwriter.h>

#include <QFile>
#include <QFileInfo>
#include <QTableView>
#include <QTemporaryFile>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "platform/ui/grid/data_grid.h"

namespace platform::ui {
namespace {

constexpr size_t kMaxCellChars = 32767;  // the most a spreadsheet cell holds

std::string columnLetters(int column) {
    std::string s;
    for (int c = column + 1; c > 0; c = (c - 1) / 26) s.insert(s.begin(), static_cast<char>('A' + (c - 1) % 26));
    return s;
}

// Text cut to the characters a cell can hold, never inside a UTF-8 sequence.
std::string_view clipped(std::string_view text) {
    if (text.size() <= kMaxCellChars) return text;
    size_t chars = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
        if (++chars > kMaxCellChars) return text.substr(0, i);
    }
    return text;
}

// Removes the file unless the export got to the end.
struct PartialFile {
    std::string path;
    bool keep = false;
    ~PartialFile() {
        if (!keep && !path.empty()) std::remove(path.c_str());
    }
};

class SheetWriter {
public:
    SheetWriter(const std::string& path, const std::string& target) : target_(target) {
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE;  // rows go to a temporary file as they are written
        book_ = workbook_new_opt(path.c_str(), &options);
        if (!book_) fail("nu poate fi creat");
        sheet_ = workbook_add_worksheet(book_, nullptr);
        if (!sheet_) fail("nu poate fi creat (fisierul temporar)");
        bold_ = workbook_add_format(book_);
        format_set_bold(bold_);
        date_ = numberFormat("dd.mm.yyyy");
        dateTime_ = numberFormat("dd.mm.yyyy hh:mm:ss");
        money_ = numberFormat("#,##0.00");
        groupRow_ = workbook_add_format(book_);
        format_set_bold(groupRow_);
        format_set_bg_color(groupRow_, 0xF1EFE2);
        footer_ = numberFormat("#,##0.00");
        format_set_bold(footer_);
        format_set_bg_color(footer_, 0xFFFFE1);
        format_set_font_color(footer_, 0x000080);
    }
    ~SheetWriter() {
        if (book_) workbook_close(book_);  // only after a failure: frees what the library holds
    }

    lxw_worksheet* sheet() const { return sheet_; }
    lxw_format* bold() const { return bold_; }
    lxw_format* groupRow() const { return groupRow_; }
    lxw_format* footer() const { return footer_; }

    void text(lxw_row_t row, lxw_col_t col, const std::string& value, lxw_format* format) {
        const std::string_view cut = clipped(value);
        const std::string shorter = cut.size() < value.size() ? std::string(cut) : std::string();
        check(worksheet_write_string(sheet_, row, col, cut.size() < value.size() ? shorter.c_str() : value.c_str(), format));
    }
    void number(lxw_row_t row, lxw_col_t col, double value, lxw_format* format) {
        check(worksheet_write_number(sheet_, row, col, value, format));
    }
    void blank(lxw_row_t row, lxw_col_t col, lxw_format* format) { check(worksheet_write_blank(sheet_, row, col, format)); }
    void formula(lxw_row_t row, lxw_col_t col, const std::string& formula, double cached, lxw_format* format) {
        check(worksheet_write_formula_num(sheet_, row, col, formula.c_str(), format, cached));
    }

    // One cell of the grid: dates and times as dates, numbers as numbers, the rest as text.
    void cell(lxw_row_t row, lxw_col_t col, CellRef cell, const GridColumn& column) {
        using Format = GridColumn::Format;
        if (cell.isNull()) return;
        if (cell.text) {
            const auto n = column.format == Format::Number ? numberOf(cell) : std::nullopt;
            if (n) return number(row, col, *n, money_);
            return text(row, col, *cell.text, nullptr);
        }
        const auto& raw = cell.value->raw();
        if (const auto* d = std::get_if<platform::pg::Date>(&raw)) {
            if (static_cast<int>(d->year()) < 1900) return text(row, col, displayText(cell, column.format), nullptr);
            lxw_datetime t{static_cast<int>(d->year()), static_cast<int>(static_cast<unsigned>(d->month())),
                           static_cast<int>(static_cast<unsigned>(d->day())), 0, 0, 0};
            return check(worksheet_write_datetime(sheet_, row, col, &t, column.format == Format::DateTime ? dateTime_ : date_));
        }
        if (const auto* ts = std::get_if<platform::pg::Timestamp>(&raw)) {
            const auto day = std::chrono::floor<std::chrono::days>(*ts);
            const platform::pg::Date d{day};
            if (static_cast<int>(d.year()) < 1900) return text(row, col, displayText(cell, column.format), nullptr);
            const std::chrono::hh_mm_ss clock(*ts - day);
            lxw_datetime t{static_cast<int>(d.year()), static_cast<int>(static_cast<unsigned>(d.month())),
                           static_cast<int>(static_cast<unsigned>(d.day())), static_cast<int>(clock.hours().count()),
                           static_cast<int>(clock.minutes().count()),
                           static_cast<double>(clock.seconds().count()) + static_cast<double>(clock.subseconds().count()) / 1e6};
            return check(worksheet_write_datetime(sheet_, row, col, &t, column.format == Format::Date ? date_ : dateTime_));
        }
        if (const auto* b = std::get_if<bool>(&raw)) return check(worksheet_write_boolean(sheet_, row, col, *b, nullptr));
        if (std::holds_alternative<double>(raw) || std::holds_alternative<std::int64_t>(raw))
            return number(row, col, *numberOf(cell), column.format == Format::Number ? money_ : nullptr);
        if (const auto* s = std::get_if<std::string>(&raw)) {
            const auto n = column.format == Format::Number ? numberOf(cell) : std::nullopt;
            if (n) return number(row, col, *n, money_);
            return text(row, col, *s, nullptr);
        }
        text(row, col, displayText(cell, column.format), nullptr);
    }

    void close() {
        errno = 0;
        const lxw_error rc = workbook_close(book_);
        book_ = nullptr;
        if (rc != LXW_NO_ERROR) {
            const int system = errno;
            fail(std::string("nu poate fi scris: ") + lxw_strerror(rc) + (system ? std::string(" (") + std::strerror(system) + ")" : ""));
        }
    }

private:
    lxw_format* numberFormat(const char* pattern) {
        lxw_format* f = workbook_add_format(book_);
        format_set_num_format(f, pattern);
        return f;
    }
    void check(lxw_error rc) {
        if (rc != LXW_NO_ERROR) fail(std::string("nu poate fi scris: ") + lxw_strerror(rc));
    }
    [[noreturn]] void fail(const std::string& what) const {
        throw std::runtime_error("Fisierul " + target_ + " " + what);
    }

    std::string target_;
    lxw_workbook* book_ = nullptr;
    lxw_worksheet* sheet_ = nullptr;
    lxw_format *bold_, *date_, *dateTime_, *money_, *groupRow_, *footer_;
};

void writeSheet(SheetWriter& w, const DataGrid& grid) {
    const auto& model = grid.model();
    const std::vector<int> columns = grid.visibleColumns();
    const auto width = static_cast<lxw_col_t>(columns.size());
    auto* sheet = w.sheet();
    for (lxw_col_t c = 0; c < width; ++c) {
        const int logical = columns[c];
        w.text(0, c, model.columns()[static_cast<size_t>(logical)].caption.toStdString(), w.bold());
        worksheet_set_column_pixels(sheet, c, c, std::max(40, grid.view()->columnWidth(logical)), nullptr);
    }
    worksheet_freeze_panes(sheet, 1, 0);
    auto dataRow = [&](lxw_row_t row, int source) {
        for (lxw_col_t c = 0; c < width; ++c)
            w.cell(row, c, model.cell(source, columns[c]), model.columns()[static_cast<size_t>(columns[c])]);
    };
    // A sum over a range of the sheet, with the grid's own result as the cached value.
    auto sums = [&](lxw_row_t row, const char* function, lxw_row_t first, lxw_row_t last, auto&& value, lxw_format* rest) {
        for (lxw_col_t c = 0; c < width; ++c) {
            const int logical = columns[c];
            if (!model.columns()[static_cast<size_t>(logical)].footerSum) {
                if (rest) w.blank(row, c, rest);
                continue;
            }
            const std::string letters = columnLetters(static_cast<int>(c));
            if (last < first) {
                w.number(row, c, 0, w.footer());
                continue;
            }
            w.formula(row, c,
                      std::string("=") + function + letters + std::to_string(first + 1) + ":" + letters + std::to_string(last + 1) + ")",
                      value(logical), w.footer());
        }
    };

    lxw_row_t row = 1;
    const auto& layout = grid.groupLayout();
    const bool grouped = !grid.groupColumns().empty();
    if (!grouped) {
        for (int source : grid.rowsInViewOrder()) dataRow(row++, source);
    } else {
        std::vector<lxw_row_t> headerRow(layout.groups.size(), 0);
        for (const auto& e : layout.entries) {
            switch (e.kind) {
                case GridLayoutEntry::Kind::Data: dataRow(row, e.index); break;
                case GridLayoutEntry::Kind::GroupHeader: {
                    const auto& g = layout.groups[static_cast<size_t>(e.index)];
                    headerRow[static_cast<size_t>(e.index)] = row;
                    w.text(row, 0, (QString(g.level * 4, QLatin1Char(' ')) + layout.headerText(e.index)).toStdString(), w.groupRow());
                    for (lxw_col_t c = 1; c < width; ++c) w.blank(row, c, w.groupRow());
                    break;
                }
                case GridLayoutEntry::Kind::GroupFooter: {
                    const auto& g = layout.groups[static_cast<size_t>(e.index)];
                    // SUBTOTAL leaves out the subtotals of the groups inside this one.
                    sums(row, "SUBTOTAL(9,", headerRow[static_cast<size_t>(e.index)] + 1, row - 1,
                         [&](int logical) { return g.sums[static_cast<size_t>(logical)]; }, w.footer());
                    break;
                }
            }
            ++row;
        }
    }
    const bool anySum = std::any_of(columns.begin(), columns.end(),
                                    [&](int c) { return model.columns()[static_cast<size_t>(c)].footerSum; });
    if (anySum)
        sums(row, grouped ? "SUBTOTAL(9," : "SUM(", 1, row - 1,
             [&](int logical) { return grid.footerSum(model.columns()[static_cast<size_t>(logical)].field); }, nullptr);
}

}  // namespace

void exportGridToXlsx(const DataGrid& grid, const QString& path) {
    const QFileInfo target(path);
    const std::string targetName = path.toStdString();
    // A hidden name beside the target, renamed over it only once the workbook is complete.
    QTemporaryFile temp(target.absolutePath() + QStringLiteral("/.") + target.fileName() + QStringLiteral(".XXXXXX"));
    temp.setAutoRemove(false);
    if (!temp.open())
        throw std::runtime_error("Fisierul " + targetName + " nu poate fi scris: " + temp.errorString().toStdString());
    PartialFile partial{QFile::encodeName(temp.fileName()).toStdString()};
    temp.close();

    SheetWriter writer(partial.path, targetName);
    writeSheet(writer, grid);
    writer.close();

    QFile written(QString::fromStdString(partial.path));
    if (written.open(QIODevice::ReadOnly)) {
        // On disk before it takes the target's name, so a crash cannot leave an empty file there.
        written.flush();
        ::fsync(written.handle());
        written.close();
    }
    std::error_code ec;
    std::filesystem::rename(partial.path, QFile::encodeName(path).toStdString(), ec);
    if (ec) throw std::runtime_error("Fisierul " + targetName + " nu poate fi scris: " + ec.message());
    partial.keep = true;
}

}  // namespace platform::ui
