#include "screens/list_screen_actions.h"

#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <stdexcept>

#include "anaf/u_fProcAnaf.h"
#include "data/u_dmCon.h"
#include "platform/time/clock.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/grid/data_grid.h"

namespace {

platform::pg::Date toDate(const QDate& d) {
    return platform::pg::makeDate(d.year(), static_cast<unsigned>(d.month()), static_cast<unsigned>(d.day()));
}

void writeAll(const QString& path, const QByteArray& bytes) {
    // Written beside the target and renamed: a failure never leaves half a file under the name.
    const QString partial = path + QStringLiteral(".partial");
    QFile out(partial);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("Fisierul " + path.toStdString() + " nu poate fi scris: " + out.errorString().toStdString());
    if (out.write(bytes) != bytes.size()) {
        const std::string reason = out.errorString().toStdString();
        out.remove();
        throw std::runtime_error("Fisierul " + path.toStdString() + " nu poate fi scris: " + reason);
    }
    out.close();
    QFile::remove(path);
    if (!QFile::rename(partial, path)) {
        QFile::remove(partial);
        throw std::runtime_error("Fisierul " + path.toStdString() + " nu poate fi scris.");
    }
}

}  // namespace

std::string checkedFileName(const std::string& name) {
    if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos ||
        name.find("..") != std::string::npos || name.find('\0') != std::string::npos)
        throw std::runtime_error("Nume de fisier nepermis: " + name);
    return name;
}

void ListScreenActions::resetPeriod() {
    using namespace std::chrono;
    const auto today = floor<days>(platform::time::localNow());
    const year_month_day ymd{sys_days{today.time_since_epoch()}};
    const QDate d(static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
                  static_cast<int>(static_cast<unsigned>(ymd.day())));
    c_.start->setDate(d.addDays(-7));
    c_.end->setDate(d);
}

void ListScreenActions::search() {
    c_.list->setParam("pDataIncep", toDate(c_.start->date()));
    c_.list->setParam("pDataSfarsit", toDate(c_.end->date()));
    if (c_.list->isOpen()) c_.list->refresh();
    else c_.list->open();
    c_.grid->reload();
}

void ListScreenActions::requireRows() const {
    if (!c_.list->isOpen() || c_.list->isEmpty() || c_.grid->currentSourceRow() < 0) throw std::runtime_error(kNoRows);
}

platform::pg::Value ListScreenActions::current(const std::string& field) const {
    const int row = c_.grid->currentSourceRow();
    const int column = c_.list->columnIndex(field);
    if (row < 0 || column < 0) return {};
    return c_.list->row(row)[static_cast<size_t>(column)];
}

template <class F>
void ListScreenActions::withRow(F use) {
    auto& q = *c_.row;
    q.close();
    q.setParam("msg_data_creare", current("msg_data_creare"));
    q.setParam("msg_id", current("msg_id"));
    try {
        q.open();
        use(q);
    } catch (...) {
        q.close();
        throw;
    }
    q.close();
}

void ListScreenActions::viewXml() {
    requireRows();
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(folder);
    const QString path = QDir(folder).filePath(
        QString::fromStdString(checkedFileName(current("msg_index_incarcare").asString() + ".xml")));
    withRow([&](platform::pg::Query& q) {
        QByteArray bytes("\xEF\xBB\xBF");
        bytes += QByteArray::fromStdString(q.isEmpty() ? std::string() : q.field("msg_factura_xml").asString());
        bytes += "\r\n";
        writeAll(path, bytes);
    });
    platform::ui::shell().open(path);
}

void ListScreenActions::viewPdf() {
    requireRows();
    const std::string kind = current("type_code_doc_xml").asString() == "381" ? "CreditNote" : "Invoice";
    std::string file;
    withRow([&](platform::pg::Query& q) {
        const std::string xml = q.isEmpty() ? std::string() : q.field("msg_factura_xml").asString();
        const std::string index = current("msg_index_incarcare").asString();
        if (dmCon->glUseAnafAPI) fProcAnaf->Transformare_xml_eFact_pdfApi(xml, index, kind, file);
        else fProcAnaf->Transformare_xml_eFact_pdf(xml, index, kind, file);
    });
    platform::ui::shell().open(QString::fromStdString(file));
}

void ListScreenActions::saveZip() {
    requireRows();
    withRow([&](platform::pg::Query& q) {
        const QString name = QString::fromStdString(checkedFileName(current("msg_index_incarcare").asString() + ".zip"));
        const QString path = platform::ui::dialogs().saveFileName(c_.owner, QStringLiteral("Salvare fisier zip"), name,
                                                                  QStringLiteral("*.zip"));
        if (path.isEmpty()) return;
        const auto bytes = q.isEmpty() ? platform::pg::Bytes() : q.field("msg_zip").asBytes();
        writeAll(path, QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())));
        platform::ui::dialogs().showMessage(c_.owner, QStringLiteral("S-a descarcat fisierul in ") + path);
    });
}

void ListScreenActions::exportGrid() {
    requireRows();
    const QString proposed = QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)).filePath(c_.exportFileName);
    const QString path = platform::ui::dialogs().saveFileName(c_.owner, QStringLiteral("Export grid (Excel)"), proposed,
                                                              QStringLiteral("*.xlsx"));
    if (path.isEmpty()) return;
    platform::ui::exportGridToXlsx(*c_.grid, path);
    platform::ui::dialogs().showMessage(c_.owner, QStringLiteral("Fisierul a fost exportat in ") + path);
}
