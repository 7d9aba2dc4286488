// Program entry: creates every window once, in a fixed order, and runs the event loop until the
// main window closes. Nothing touches the database before the main window's first display.

#include <QApplication>
#include <QCheckBox>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "anaf/u_fProcAnaf.h"
#include "app/u_fMainMenu.h"
#include "data/u_dmCon.h"
#include "platform/ui/dialogs.h"
#include "screens/u_fPreluareMesajeSPV.h"
#include "screens/u_fSupplierInvoiceImport.h"

namespace {

bool canShowWindows() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform) return true;
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (display && *display) || (wayland && *wayland);
}

}  // namespace

int main(int argc, char* argv[]) {
    if (!canShowWindows()) {
        std::fprintf(stderr,
                     "Tarvelo needs a display and none was found (DISPLAY is not set).\n"
                     "Run it inside a desktop session, or under a virtual display:\n"
                     "  xvfb-run -a %s SERVER DATABASE PORT OPERATOR PASSWORD\n"
                     "For a retrieval run without any window use tarvelo-sync.\n",
                     argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromStdString(data::applicationTitle()));

    std::vector<std::string> commandLine(argv + 1, argv + argc);

    // 1. the main window
    auto fMainMenu = std::make_unique<TfMainMenu>(commandLine);
    // 2. the ANAF client; its message-box texts go to the application's dialogs
    auto anaf = std::make_unique<TfProcAnaf>();
    fProcAnaf = anaf.get();
    anaf->onMessage = [&](const std::string& text) {
        platform::ui::dialogs().showMessage(fMainMenu.get(), QString::fromStdString(text));
    };
    // 3. the database module
    auto dm = std::make_unique<TdmCon>();
    dmCon = dm.get();
    // 4. fSupplierInvoices, 5. fSupplierInvoicesApi, 6. fInvoiceExport: not part of this build yet
    // 7. the SPV retrieval screen
    auto retrieval = std::make_unique<TfPreluareMesajeSPV>();
    fPreluareMesajeSPV = retrieval.get();
    // 8. fVizualizareMesajeDinSPV: not part of this build yet
    // 9. the supplier-invoice import screen
    auto import = std::make_unique<TfSupplierInvoiceImport>(*dm);
    fSupplierInvoiceImport = import.get();
    // 10. fEfactAnaliza, 11. feFactTrimiteMesaj, 12. dmProcAnaf: not part of this build yet
    MainMenuTargets targets;
    targets.fPreluareMesajeSPV = retrieval.get();
    targets.fSupplierInvoiceImport = import.get();
    targets.setUseApiCheckBox = [&](bool on) { retrieval->CheckBoxUseAPI->setChecked(on); };
    fMainMenu->setTargets(targets);

    fMainMenu->show();
    const int rc = QApplication::exec();
    import.reset();
    retrieval.reset();
    fMainMenu.reset();
    dmCon = nullptr;
    fProcAnaf = nullptr;
    return rc;
}
