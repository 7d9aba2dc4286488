#include "platform/ui/grid/grid_style.h"

namespace platform::ui {
namespace {

const QString kSansSerif = QStringLiteral("MS Sans Serif");

QString css(const QColor& c) { return c.name(QColor::HexRgb); }

QString cssFont(const GridElementStyle& s) {
    return QStringLiteral("font: %1%2pt \"%3\";")
        .arg(s.bold ? QStringLiteral("bold ") : QString())
        .arg(s.fontPointSize)
        .arg(s.fontFamily);
}

}  // namespace

QFont GridElementStyle::font(const QFont& base) const {
    QFont f = base;
    if (!fontFamily.isEmpty()) f.setFamilies({fontFamily, QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Sans Serif")});
    if (fontPointSize > 0) f.setPointSize(fontPointSize);
    if (bold) f.setBold(true);
    return f;
}

const GridStyleSheet GridTableViewStyleSheetDevExpress = {
    /* viewBackground    */ {QColor(0xFF, 0xFB, 0xF0), {}, QStringLiteral("Segoe UI"), 9, false},
    /* content           */ {QColor(0xD9, 0xEA, 0xF7), Qt::black, kSansSerif, 8, false},
    /* evenRows          */ {QColor(0xD9, 0xEA, 0xF7), Qt::black, {}, 0, false},
    /* oddRows           */ {QColor(0xEA, 0xF3, 0xFB), Qt::black, {}, 0, false},
    /* filterBox         */ {QColor(0xFF, 0xFF, 0xE1), Qt::black, {}, 0, false},
    /* footer            */ {QColor(0xFF, 0xFF, 0xE1), QColor(0x00, 0x00, 0x80), kSansSerif, 8, true},
    /* groupRows         */ {QColor(0xF1, 0xEF, 0xE2), {}, {}, 0, false},
    /* groupByBox        */ {QColor(0xFE, 0xD5, 0x47), Qt::black, {}, 0, false},
    /* columnHeaders     */ {QColor(0x31, 0x6A, 0xC5), Qt::white, kSansSerif, 8, true},
    /* inactiveSelection */ {QColor(0xA4, 0xC4, 0xEB), {}, {}, 0, false},
    /* incrementalSearch */ {QColor(0xFE, 0xD5, 0x47), Qt::black, {}, 0, false},
    /* rowIndicator      */ {QColor(0xA4, 0xC4, 0xEB), {}, {}, 0, false},
    /* preview           */ {QColor(0xFF, 0xFF, 0xE1), QColor(0x00, 0x00, 0x80), kSansSerif, 8, true},
    /* selection         */ {QColor(0x31, 0x6A, 0xC5), Qt::white, {}, 0, false},
};

QString gridStyleSheet() {
    const auto& s = GridTableViewStyleSheetDevExpress;
    return QStringLiteral(
               "QWidget#DataGrid { font: %1pt \"%2\"; }"
               "QTableView#GridView { background-color: %3; color: %4; %5"
               " selection-background-color: %6; selection-color: %7; gridline-color: %8; }"
               "QTableView#GridView:!active { selection-background-color: %9; }")
               .arg(s.viewBackground.fontPointSize)
               .arg(s.viewBackground.fontFamily, css(s.viewBackground.background), css(s.content.text),
                    cssFont(s.content), css(s.selection.background), css(s.selection.text),
                    css(s.rowIndicator.background), css(s.inactiveSelection.background)) +
           QStringLiteral(
               "QHeaderView#GridHeader::section { background-color: %1; color: %2; %3"
               " border: none; border-right: 1px solid %4; border-bottom: 1px solid %4; padding: 2px 4px; }"
               "QHeaderView#GridHeader { background-color: %1; }"
               "QHeaderView#GridRowIndicator { background-color: %4; }"
               "QLineEdit#GridFilterEdit { background-color: %5; color: %6; border: 1px solid %4; }")
               .arg(css(s.columnHeaders.background), css(s.columnHeaders.text), cssFont(s.columnHeaders),
                    css(s.rowIndicator.background), css(s.filterBox.background), css(s.filterBox.text)) +
           QStringLiteral(
               "QWidget#GridFooter { background-color: %1; }"
               "QLabel#GridFooterCell { background-color: %1; color: %2; %3 padding: 0px 4px; }"
               "QFrame#GridGroupByBox { background-color: %4; }"
               "QFrame#GridGroupByBox QLabel, QFrame#GridGroupByBox QToolButton { color: %5; }")
               .arg(css(s.footer.background), css(s.footer.text), cssFont(s.footer), css(s.groupByBox.background),
                    css(s.groupByBox.text));
}

}  // namespace platform::ui
