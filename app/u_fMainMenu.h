#pragma once
// The main window: header band with the database, company and operator, the menu of screens,
// and the operator's login on its first display.

#include <QWidget>
#include <functional>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QGroupBox;
class QFrame;

// The screens the menu opens, and the fields it sets on them before showing them. A screen that
// is not part of this build stays null and its button is disabled.
struct MainMenuTargets {
    QWidget* fPreluareMesajeSPV = nullptr;
    std::function<void(bool)> setUseApiCheckBox;  // CheckBoxUseAPI of the retrieval screen
    QWidget* fSupplierInvoiceImport = nullptr;
    QWidget* fVizualizareMesajeDinSPV = nullptr;
    std::function<void(const std::string&)> setMsgClFurn;
    QWidget* fInvoiceExport = nullptr;
    QWidget* fEfactAnaliza = nullptr;
    std::function<void(const std::string&)> setVMsgTip;
    QWidget* fSupplierInvoices = nullptr;
    QWidget* fSupplierInvoicesApi = nullptr;
};

class TfMainMenu : public QWidget {
    Q_OBJECT
public:
    explicit TfMainMenu(std::vector<std::string> commandLine, QWidget* parent = nullptr);

    void setTargets(MainMenuTargets targets);

    // The login sequence; runs once, on the first display. Public so tests can drive it.
    void runLogin();
    bool loginRan() const { return loginRan_; }

    QLabel* LabelDatabase = nullptr;
    QLabel* LabelCompany = nullptr;
    QLabel* LabelUser = nullptr;
    QFrame* PanelMenu = nullptr;
    QPushButton* ButtonPreluareMesajeSPV = nullptr;
    QPushButton* ButtonImportFacturiFurnizor = nullptr;
    QPushButton* ButtonVizualizareMesaje = nullptr;
    QPushButton* ButtonExportZipXml = nullptr;
    QPushButton* ButtonAnalizaEfact = nullptr;
    QGroupBox* GroupBoxLegacy = nullptr;
    QPushButton* ButtonPreluareFacturiEfactura = nullptr;
    QPushButton* ButtonPreluareFacturiEfacturaApi = nullptr;

    // "Show": make visible, or bring to the front without resetting when already visible.
    static void showScreen(QWidget* screen);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildHeader();
    void buildMenu();
    void updateButtons();

    std::vector<std::string> commandLine_;
    MainMenuTargets targets_;
    bool loginRan_ = false;
};
