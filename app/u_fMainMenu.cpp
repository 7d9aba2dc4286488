#include "app/u_fMainMenu.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "data/u_dmCon.h"
#include "data/u_login.h"
#include "platform/ui/dialogs.h"

namespace {

const char* const kCream = "#FFFBF0";

QLabel* makeLabel(QWidget* parent, const QString& name, int y, int pointSize, const QString& color) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    QFont font(QStringLiteral("Segoe UI"), pointSize);
    font.setBold(true);
    label->setFont(font);
    label->setStyleSheet(QStringLiteral("color: %1;").arg(color));
    label->move(11, y);
    return label;
}

QPushButton* makeButton(QWidget* parent, const QString& name, const QString& caption, int y) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setGeometry(19, y, 180, 25);
    return button;
}

}  // namespace

TfMainMenu::TfMainMenu(std::vector<std::string> commandLine, QWidget* parent)
    : QWidget(parent), commandLine_(std::move(commandLine)) {
    setObjectName(QStringLiteral("fMainMenu"));
    setWindowTitle(QStringLiteral("fMainMenu"));
    setFixedSize(312, 390);
    setFont(QFont(QStringLiteral("Segoe UI"), 9));
    buildHeader();
    buildMenu();
    updateButtons();
}

void TfMainMenu::buildHeader() {
    auto* header = new QFrame(this);
    header->setObjectName(QStringLiteral("PanelHeader"));
    header->setGeometry(0, 0, 312, 89);
    header->setAutoFillBackground(true);
    header->setStyleSheet(QStringLiteral("QFrame#PanelHeader { background: %1; }").arg(kCream));
    auto* product = makeLabel(header, QStringLiteral("LabelProduct"), 3, 15, QStringLiteral("red"));
    product->setText(QStringLiteral("Tarvelo"));
    LabelDatabase = makeLabel(header, QStringLiteral("LabelDatabase"), 31, 9, QStringLiteral("black"));
    LabelCompany = makeLabel(header, QStringLiteral("LabelCompany"), 52, 9, QStringLiteral("black"));
    LabelUser = makeLabel(header, QStringLiteral("LabelUser"), 73, 9, QStringLiteral("black"));
    for (QLabel* l : {product, LabelDatabase, LabelCompany, LabelUser}) l->adjustSize();
    LabelDatabase->hide();
    LabelCompany->hide();
    LabelUser->hide();
}

void TfMainMenu::buildMenu() {
    PanelMenu = new QFrame(this);
    PanelMenu->setObjectName(QStringLiteral("PanelMenu"));
    PanelMenu->setGeometry(0, 89, 312, 390 - 89);
    PanelMenu->setStyleSheet(QStringLiteral("QFrame#PanelMenu { background: %1; }").arg(kCream));
    PanelMenu->hide();

    ButtonPreluareMesajeSPV = makeButton(PanelMenu, QStringLiteral("ButtonPreluareMesajeSPV"),
                                         QStringLiteral("Preluare mesaje din SPV"), 6);
    ButtonImportFacturiFurnizor = makeButton(PanelMenu, QStringLiteral("ButtonImportFacturiFurnizor"),
                                             QStringLiteral("Import facturi furnizor din SPV"), 37);
    ButtonVizualizareMesaje = makeButton(PanelMenu, QStringLiteral("ButtonVizualizareMesaje"),
                                         QStringLiteral("Vizualizare mesaje din SPV"), 68);
    ButtonExportZipXml = makeButton(PanelMenu, QStringLiteral("ButtonExportZipXml"),
                                    QStringLiteral("Export ZIP/XML"), 99);

    // Tab position 4: the retired buttons, kept hidden.
    GroupBoxLegacy = new QGroupBox(PanelMenu);
    GroupBoxLegacy->setObjectName(QStringLiteral("GroupBoxLegacy"));
    GroupBoxLegacy->setGeometry(19, 162, 290, 118);
    GroupBoxLegacy->setStyleSheet(QStringLiteral("color: maroon;"));
    auto* note = new QLabel(
        QStringLiteral("Aceste doua butoane vor fi elimitate in curand, va rugam folositi butoanele "
                       "\"Preluare mesaje din SPV\" si \"Import facturi furnizor din SPV\""),
        GroupBoxLegacy);
    note->setObjectName(QStringLiteral("LabelLegacyNote"));
    note->setWordWrap(true);
    note->setGeometry(8, 8, 274, 44);
    ButtonPreluareFacturiEfactura = makeButton(GroupBoxLegacy, QStringLiteral("ButtonPreluareFacturiEfactura"),
                                               QStringLiteral("Preluare facturi din eFactura"), 56);
    ButtonPreluareFacturiEfacturaApi =
        makeButton(GroupBoxLegacy, QStringLiteral("ButtonPreluareFacturiEfacturaApi"),
                   QStringLiteral("Preluare facturi din eFactura API"), 86);
    GroupBoxLegacy->hide();

    ButtonAnalizaEfact = makeButton(PanelMenu, QStringLiteral("ButtonAnalizaEfact"),
                                    QStringLiteral("Analiza eFact primite"), 131);
    setTabOrder(ButtonPreluareMesajeSPV, ButtonImportFacturiFurnizor);
    setTabOrder(ButtonImportFacturiFurnizor, ButtonVizualizareMesaje);
    setTabOrder(ButtonVizualizareMesaje, ButtonExportZipXml);
    setTabOrder(ButtonExportZipXml, GroupBoxLegacy);
    setTabOrder(GroupBoxLegacy, ButtonAnalizaEfact);

    auto* version = new QLabel(QStringLiteral(TARVELO_VERSION_TEXT), PanelMenu);
    version->setObjectName(QStringLiteral("LabelVersion"));
    version->setFont(QFont(QStringLiteral("Segoe UI"), 9));
    version->setStyleSheet(QStringLiteral("color: black;"));
    version->adjustSize();
    version->move(11, PanelMenu->height() - version->height() - 6);

    connect(ButtonPreluareMesajeSPV, &QPushButton::clicked, this,
            [this] { showScreen(targets_.fPreluareMesajeSPV); });
    connect(ButtonImportFacturiFurnizor, &QPushButton::clicked, this,
            [this] { showScreen(targets_.fSupplierInvoiceImport); });
    connect(ButtonVizualizareMesaje, &QPushButton::clicked, this, [this] {
        if (targets_.setMsgClFurn) targets_.setMsgClFurn("Furn");
        showScreen(targets_.fVizualizareMesajeDinSPV);
    });
    connect(ButtonExportZipXml, &QPushButton::clicked, this,
            [this] { showScreen(targets_.fInvoiceExport); });
    connect(ButtonAnalizaEfact, &QPushButton::clicked, this, [this] {
        if (targets_.setVMsgTip) targets_.setVMsgTip("FACTURA PRIMITA");
        showScreen(targets_.fEfactAnaliza);
    });
    connect(ButtonPreluareFacturiEfactura, &QPushButton::clicked, this,
            [this] { showScreen(targets_.fSupplierInvoices); });
    connect(ButtonPreluareFacturiEfacturaApi, &QPushButton::clicked, this,
            [this] { showScreen(targets_.fSupplierInvoicesApi); });
}

void TfMainMenu::setTargets(MainMenuTargets targets) {
    targets_ = std::move(targets);
    updateButtons();
}

void TfMainMenu::updateButtons() {
    ButtonPreluareMesajeSPV->setEnabled(targets_.fPreluareMesajeSPV != nullptr);
    ButtonImportFacturiFurnizor->setEnabled(targets_.fSupplierInvoiceImport != nullptr);
    ButtonVizualizareMesaje->setEnabled(targets_.fVizualizareMesajeDinSPV != nullptr);
    ButtonExportZipXml->setEnabled(targets_.fInvoiceExport != nullptr);
    ButtonAnalizaEfact->setEnabled(targets_.fEfactAnaliza != nullptr);
    ButtonPreluareFacturiEfactura->setEnabled(targets_.fSupplierInvoices != nullptr);
    ButtonPreluareFacturiEfacturaApi->setEnabled(targets_.fSupplierInvoicesApi != nullptr);
}

void TfMainMenu::showScreen(QWidget* screen) {
    if (!screen) return;
    if (screen->isMinimized()) screen->showNormal();
    screen->show();
    screen->raise();
    screen->activateWindow();
}

void TfMainMenu::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!loginRan_) {
        loginRan_ = true;
        // Let the window appear first: errors of the later steps come over a visible menu.
        QTimer::singleShot(0, this, [this] { runLogin(); });
    }
}

void TfMainMenu::closeEvent(QCloseEvent* event) {
    event->accept();
    QApplication::quit();
}

void TfMainMenu::runLogin() {
    loginRan_ = true;
    TdmCon& dm = *dmCon;
    LabelDatabase->hide();
    LabelCompany->hide();
    LabelUser->hide();
    PanelMenu->hide();

    const bool loggedIn = platform::ui::runGuarded(this, [&] {
        data::fillGlobalsFromCommandLine(dm, commandLine_);
        data::configureErpConnection(dm);
        data::checkOperator(dm);
    });
    if (!loggedIn) return;

    LabelDatabase->setText(QString::fromStdString(dm.glDataBase));
    LabelDatabase->adjustSize();
    LabelDatabase->show();
    LabelUser->setText(QString::fromStdString(dm.glUser));
    LabelUser->adjustSize();
    LabelUser->show();
    PanelMenu->show();

    platform::ui::runGuarded(this, [&] {
        data::readTaxpayerServiceAddress(dm);
        data::readCompanyCode(dm);
        LabelCompany->setText(QString::fromStdString(dm.glEuCuiNum));
        LabelCompany->adjustSize();
        LabelCompany->show();
        const bool oauth = data::readAccessMode(dm);
        if (targets_.setUseApiCheckBox) targets_.setUseApiCheckBox(oauth);
    });
}
