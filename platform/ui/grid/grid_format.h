#pragma once
// How a grid shows a cell: the display formats of its columns, the lower-case text its filter row
// searches, and the number a footer adds up. Pure functions over one cell, so the model, the
// filter and the export agree on every value.

#include <optional>
#include <string>
#include <string_view>

#include "platform/pg/value.h"
#include "platform/ui/grid/grid_column.h"

namespace platform::ui {

// One cell of a grid's source: a typed value of a query, or the text of an in-memory table.
struct CellRef {
    const platform::pg::Value* value = nullptr;
    const std::string* text = nullptr;

    bool isNull() const { return value ? value->isNull() : text == nullptr; }
};

// The display text of a cell (UTF-8) on one line, appended to `out` so a caller can reuse one
// buffer.
void appendDisplayText(std::string& out, CellRef cell, GridColumn::Format format);
std::string displayText(CellRef cell, GridColumn::Format format);

// '#,##0.00': grouped thousands, two decimals, a point before them.
void appendMoney(std::string& out, double value);
QString money(double value);

// 'dd.MM.yyyy' and 'dd.MM.yyyy hh:mm:ss'.
void appendDate(std::string& out, const platform::pg::Date& date);
void appendDateTime(std::string& out, const platform::pg::Timestamp& time);

// Lower-case form of UTF-8 text, appended to `out`; ASCII text never leaves the buffer.
void appendLower(std::string& out, std::string_view text);
bool isAscii(std::string_view text);

// Case-insensitive "contains" of a needle already in lower case, for text too long to keep a
// lower-case copy of.
bool containsIgnoringCase(std::string_view haystack, std::string_view lowerNeedle);

// The number a cell adds to a sum: numeric kinds, and text that is wholly a number; else none.
std::optional<double> numberOf(CellRef cell);

}  // namespace platform::ui
