// The main window offscreen: the login against the sandbox database and the menu buttons.
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "app/u_fMainMenu.h"
#include "platform/ui/dialogs.h"
#include "support/dm_fixture.h"

using testsupport::DmFixture;

class MainMenuTest : public QObject {
    Q_OBJECT
private:
    platform::ui::ScriptedDialogs* dialogs_ = nullptr;

    std::unique_ptr<TfMainMenu> makeMenu(const std::vector<std::string>& args) {
        auto menu = std::make_unique<TfMainMenu>(args);
        return menu;
    }

private slots:
    void init() {
        auto d = std::make_unique<platform::ui::ScriptedDialogs>();
        dialogs_ = d.get();
        platform::ui::setDialogs(std::move(d));
    }
    void cleanup() { platform::ui::setDialogs(nullptr); }

    void goodLoginShowsTheHeaderAndTheMenuAndSetsTheAccessMode() {
        DmFixture f;
        auto menu = makeMenu(f.commandLine("ana.popescu", "demo123"));
        bool checkBox = false;
        MainMenuTargets targets;
        QWidget retrieval;
        targets.fPreluareMesajeSPV = &retrieval;
        targets.setUseApiCheckBox = [&](bool on) { checkBox = on; };
        menu->setTargets(targets);
        menu->show();
        QTRY_VERIFY(menu->PanelMenu->isVisible());
        QVERIFY(dialogs_->errors().isEmpty());
        QCOMPARE(menu->LabelDatabase->text(), QString::fromStdString(f.erp.name()));
        QCOMPARE(menu->LabelUser->text(), QStringLiteral("ana.popescu"));
        QCOMPARE(menu->LabelCompany->text(), QStringLiteral("41801234"));
        QVERIFY(menu->LabelCompany->isVisible());
        QVERIFY(f.dm->glUseAnafAPI);
        QVERIFY(checkBox);
        QVERIFY(!menu->GroupBoxLegacy->isVisible());
    }

    void refusedLoginLeavesOnlyTheWindow_data() {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("message");
        QTest::newRow("wrong password") << "ana.popescu" << "nu" << "" << "User, password eronate.";
        QTest::newRow("other case") << "Ana.Popescu" << "demo123" << "" << "User, password eronate.";
        QTest::newRow("port not a number") << "ana.popescu" << "demo123" << "54x2"
                                           << "'54x2' is not a valid integer value";
    }
    void refusedLoginLeavesOnlyTheWindow() {
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(QString, port);
        QFETCH(QString, message);
        DmFixture f;
        auto args = f.commandLine(user.toStdString(), password.toStdString());
        if (!port.isEmpty()) args[2] = port.toStdString();
        auto menu = makeMenu(args);
        menu->show();
        QTRY_COMPARE(dialogs_->errors(), QStringList{message});
        QVERIFY(!menu->PanelMenu->isVisible());
        QVERIFY(!menu->LabelUser->isVisible());
        QVERIFY(!menu->LabelDatabase->isVisible());
    }

    void unreachableCentralDatabaseStillLeavesTheMenuUsable() {
        DmFixture f;
        f.dm->conQorGen.settings().port = 1;
        auto menu = makeMenu(f.commandLine("ana.popescu", "demo123"));
        bool checkBoxSet = false;
        MainMenuTargets targets;
        targets.setUseApiCheckBox = [&](bool) { checkBoxSet = true; };
        menu->setTargets(targets);
        menu->show();
        QTRY_COMPARE(dialogs_->errors().size(), 1);
        QVERIFY(menu->PanelMenu->isVisible());
        QVERIFY(!menu->LabelCompany->isVisible());
        QCOMPARE(f.dm->glEuCuiNum, std::string());
        QCOMPARE(f.dm->glUrlAnafContribuabili, std::string());
        QVERIFY(!f.dm->glUseAnafAPI);
        QVERIFY(!checkBoxSet);
    }

    void eachButtonShowsItsScreenAndShowingAgainKeepsItsState() {
        DmFixture f;
        auto menu = makeMenu(f.commandLine("ion.ionescu", "demo123"));
        QLineEdit retrieval, import, viewer, exporter, analysis, legacy, legacyApi;
        std::string msgClFurn, vMsgTip;
        MainMenuTargets t;
        t.fPreluareMesajeSPV = &retrieval;
        t.fSupplierInvoiceImport = &import;
        t.fVizualizareMesajeDinSPV = &viewer;
        t.setMsgClFurn = [&](const std::string& v) { msgClFurn = v; };
        t.fInvoiceExport = &exporter;
        t.fEfactAnaliza = &analysis;
        t.setVMsgTip = [&](const std::string& v) { vMsgTip = v; };
        t.fSupplierInvoices = &legacy;
        t.fSupplierInvoicesApi = &legacyApi;
        menu->setTargets(t);
        menu->show();
        QTRY_VERIFY(menu->PanelMenu->isVisible());
        QVERIFY(!f.dm->glUseAnafAPI);

        const std::pair<QPushButton*, QWidget*> buttons[] = {
            {menu->ButtonPreluareMesajeSPV, &retrieval},
            {menu->ButtonImportFacturiFurnizor, &import},
            {menu->ButtonVizualizareMesaje, &viewer},
            {menu->ButtonExportZipXml, &exporter},
            {menu->ButtonAnalizaEfact, &analysis},
            {menu->ButtonPreluareFacturiEfactura, &legacy},
            {menu->ButtonPreluareFacturiEfacturaApi, &legacyApi}};
        for (auto [button, screen] : buttons) {
            QVERIFY(!screen->isVisible());
            button->click();
            QVERIFY2(screen->isVisible(), qPrintable(button->text()));
        }
        QCOMPARE(msgClFurn, std::string("Furn"));
        QCOMPARE(vMsgTip, std::string("FACTURA PRIMITA"));
        QCOMPARE(menu->ButtonPreluareMesajeSPV->text(), QStringLiteral("Preluare mesaje din SPV"));

        retrieval.setText(QStringLiteral("state kept"));
        menu->ButtonPreluareMesajeSPV->click();
        QCOMPARE(retrieval.text(), QStringLiteral("state kept"));
        QVERIFY(dialogs_->errors().isEmpty());
    }
};

QTEST_MAIN(MainMenuTest)
#include "app_main_menu_test.moc"
