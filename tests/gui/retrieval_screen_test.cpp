// The retrieval screen offscreen, against the sandbox database and the stand-in.
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include "platform/ui/dialogs.h"
#include "screens/u_fPreluareMesajeSPV.h"
#include "support/retrieval_fixture.h"

class RetrievalScreenTest : public QObject {
    Q_OBJECT
private slots:
    void runsFromTheButtonAndKeepsTheDetailedLogHidden() {
        auto dialogs = std::make_unique<platform::ui::ScriptedDialogs>();
        auto* shown = dialogs.get();
        platform::ui::setDialogs(std::move(dialogs));
        testsupport::RetrievalFixture f;
        TfPreluareMesajeSPV screen;
        screen.show();
        QVERIFY(!screen.Memo2->isVisible());
        screen.Button1->click();
        QVERIFY(screen.Memo2->isVisible());
        screen.Button1->click();
        QVERIFY(!screen.Memo2->isVisible());

        screen.CheckBoxUseAPI->click();
        QVERIFY(f.db.dm->glUseAnafAPI);
        screen.ButtonPreluareMesajeSPV->click();
        QVERIFY(shown->errors().isEmpty());
        const QString summary = screen.Memo1->toPlainText();
        QVERIFY2(summary.contains(QStringLiteral("Nr. mesaje preluate = 60")), qPrintable(summary));
        QVERIFY(summary.trimmed().endsWith(QStringLiteral(" - Gata")));
        QVERIFY(screen.Memo2->toPlainText().contains(QStringLiteral(" - nr. msj noi = 60")));
        QVERIFY(screen.ButtonPreluareMesajeSPV->isEnabled());
        for (const auto& r : f.standin.requests())
            if (r["role"] != "timeapi") QCOMPARE(std::string(r["role"]), std::string("api"));

        // the second run: the summary starts afresh, the detailed log keeps growing
        const int detailLines = screen.Memo2->blockCount();
        screen.CheckBoxUseAPI->click();
        QVERIFY(!f.db.dm->glUseAnafAPI);
        screen.ButtonPreluareMesajeSPV->click();
        QVERIFY(screen.Memo1->toPlainText().contains(QStringLiteral("Nu sunt mesaje noi de preluat.")));
        QVERIFY(!screen.Memo1->toPlainText().contains(QStringLiteral("Nr. mesaje preluate")));
        QVERIFY(screen.Memo2->blockCount() > detailLines);

        // a list failure reaches the error box
        f.standin.fault({{"path", "/prod/FCTEL/rest/listaMesajePaginatieFactura"}, {"eroare", "Nu aveti drept"}});
        screen.ButtonPreluareMesajeSPV->click();
        QCOMPARE(shown->errors(), QStringList{QStringLiteral("(GetListaMesajeCuPag) Eroare=Nu aveti drept")});
        platform::ui::setDialogs(nullptr);
    }
};

QTEST_MAIN(RetrievalScreenTest)
#include "retrieval_screen_test.moc"
