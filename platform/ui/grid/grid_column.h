#pragma once
// One column of a data grid, as a screen declares it.

#include <QString>
#include <string>

namespace platform::ui {

struct GridColumn {
    enum class Format {
        Auto,      // by the field's kind: dates 'dd.MM.yyyy', timestamps 'dd.MM.yyyy hh:mm:ss', the rest as stored
        Text,      // the value as stored, whatever its kind
        Date,      // 'dd.MM.yyyy'
        DateTime,  // 'dd.MM.yyyy hh:mm:ss'
        Number,    // '#,##0.00'
    };
    std::string field;
    QString caption;  // the field name when empty
    Format format = Format::Auto;
    bool writable = false;   // edits are posted back to the query by key
    bool footerSum = false;  // sum in the footer and in every group footer
    bool memo = false;       // one-line memo editor: line breaks kept, Enter never adds one
    int width = 0;           // pixels; 0 leaves the view's default
};

}  // namespace platform::ui
