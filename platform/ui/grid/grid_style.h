#pragma once
// The style every data grid of the application wears: colours and fonts per element. The fonts
// name the operators' Windows fonts; where they are missing Qt substitutes the closest one.

#include <QColor>
#include <QFont>
#include <QString>

namespace platform::ui {

struct GridElementStyle {
    QColor background;
    QColor text;  // invalid: the view's default
    QString fontFamily;
    int fontPointSize = 0;  // 0: the view's font
    bool bold = false;

    QFont font(const QFont& base) const;
};

struct GridStyleSheet {
    GridElementStyle viewBackground, content, evenRows, oddRows, filterBox, footer, groupRows, groupByBox,
        columnHeaders, inactiveSelection, incrementalSearch, rowIndicator, preview, selection;
};

extern const GridStyleSheet GridTableViewStyleSheetDevExpress;

// The same colours and fonts as a Qt style sheet for the grid's widgets (object names as the grid
// sets them).
QString gridStyleSheet();

}  // namespace platform::ui
