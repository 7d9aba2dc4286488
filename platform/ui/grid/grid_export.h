#pragma once
// Export of a grid's view to an .xlsx workbook, as the grid shows it: the visible columns in
// order with their captions, the rows that pass the filter row in the current sort, groups
// expanded with their header rows and sums, and the footer sums. Dates are written as dates and
// numbers as numbers, so a spreadsheet program sorts and adds them up.

#include <QString>

namespace platform::ui {

class DataGrid;

// Written under a temporary name in the target's folder and renamed over the target at the end:
// a failed export leaves no file that looks complete. Raises std::runtime_error with the
// system's reason when the file cannot be written.
void exportGridToXlsx(const DataGrid& grid, const QString& path);

}  // namespace platform::ui
