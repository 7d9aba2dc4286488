#pragma once
// The five actions every list screen offers: search by period, view XML, view PDF, save the ZIP
// and export the grid. A screen configures them with its list query, its row query and its names.

#include <QString>
#include <string>

#include "platform/pg/query.h"

class QWidget;
class QDateEdit;

namespace platform::ui {
class DataGrid;
}

class ListScreenActions {
public:
    struct Config {
        QWidget* owner = nullptr;
        platform::pg::Query* list = nullptr;
        platform::pg::Query* row = nullptr;  // :msg_data_creare, :msg_id -> msg_factura_xml, msg_zip
        platform::ui::DataGrid* grid = nullptr;
        QDateEdit* start = nullptr;
        QDateEdit* end = nullptr;
        QString exportFileName;  // proposed in the Documents folder
    };
    explicit ListScreenActions(Config config) : c_(std::move(config)) {}

    void search();      // A
    void viewXml();     // B
    void viewPdf();     // C
    void saveZip();     // D
    void exportGrid();  // E

    // Fails with "Nu aveti inregistrari." when the list has no rows.
    void requireRows() const;
    // The period pickers: today minus 7 days to today.
    void resetPeriod();
    // A list value of the current row.
    platform::pg::Value current(const std::string& field) const;

    static constexpr const char* kNoRows = "Nu aveti inregistrari.";

private:
    // Opens the row query for the current row, runs `use`, closes it also on failure.
    template <class F>
    void withRow(F use);
    Config c_;
};

// A file name built from a value of ANAF or the database: refused when it could leave its folder.
std::string checkedFileName(const std::string& name);
