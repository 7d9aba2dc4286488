#pragma once
// The supplier-invoice import screen: received invoices of a period, imported into the ERP one
// or all at a time, marked or unmarked as imported.

#include <QWidget>
#include <memory>

#include "platform/pg/query.h"
#include "screens/list_screen_actions.h"

class QDateEdit;
class QPushButton;
class QPlainTextEdit;
class TdmCon;

namespace platform::ui {
class DataGrid;
}

class TfSupplierInvoiceImport : public QWidget {
    Q_OBJECT
public:
    explicit TfSupplierInvoiceImport(TdmCon& dm, QWidget* parent = nullptr);

    QDateEdit* cxDateEditIncep = nullptr;
    QDateEdit* cxDateEditSfarsit = nullptr;
    platform::ui::DataGrid* cxGrid1 = nullptr;
    QPushButton* ButtonCauta = nullptr;
    QPushButton* ButtonVeziXml = nullptr;
    QPushButton* ButtonXmlToPDF = nullptr;
    QPushButton* ButtonDescZip = nullptr;
    QPushButton* ButtonExport = nullptr;
    QPushButton* ButtonScrieUnuInQOR = nullptr;
    QPushButton* ButtonMarcheazaInsQor = nullptr;
    QPushButton* ButtonDemarcheazaInsQor = nullptr;
    QPushButton* ButtonScrieTotInQOR = nullptr;

    platform::pg::Query dsAnafEfactMsgToate;
    platform::pg::Query dsAnafeFactMsgToate_unu;

    void ButtonScrieUnuInQORClick();
    void ButtonMarcheazaInsQorClick();
    void ButtonDemarcheazaInsQorClick();
    void ButtonScrieTotInQORClick();
    ListScreenActions& actions() { return *actions_; }

protected:
    void showEvent(QShowEvent* event) override;  // FormShow

private:
    void importRow(int sourceRow);
    void mark(bool on);
    TdmCon& dm_;
    std::unique_ptr<ListScreenActions> actions_;
};

extern TfSupplierInvoiceImport* fSupplierInvoiceImport;
