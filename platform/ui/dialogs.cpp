#include "platform/ui/dialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>
#include <exception>

namespace platform::ui {
namespace {

QMessageBox::StandardButton toButton(Answer a) {
    switch (a) {
        case Answer::Ok: return QMessageBox::Ok;
        case Answer::Yes: return QMessageBox::Yes;
        case Answer::No: return QMessageBox::No;
        case Answer::Cancel: return QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

class QtDialogs : public Dialogs {
public:
    void showError(QWidget* parent, const QString& message) override {
        QMessageBox::critical(parent, QApplication::applicationName(), message);
    }
    void showMessage(QWidget* parent, const QString& message) override {
        QMessageBox::information(parent, QApplication::applicationName(), message);
    }
    Answer ask(QWidget* parent, const QString& message, std::initializer_list<Answer> buttons) override {
        QMessageBox::StandardButtons set;
        for (Answer b : buttons) set |= toButton(b);
        auto pressed = QMessageBox::question(parent, QApplication::applicationName(), message, set);
        switch (pressed) {
            case QMessageBox::Yes: return Answer::Yes;
            case QMessageBox::No: return Answer::No;
            case QMessageBox::Ok: return Answer::Ok;
            default: return Answer::Cancel;
        }
    }
    QString saveFileName(QWidget* parent, const QString& caption, const QString& suggestedPath,
                         const QString& filter) override {
        return QFileDialog::getSaveFileName(parent, caption, suggestedPath, filter);
    }
    QString openFileName(QWidget* parent, const QString& caption, const QString& folder,
                         const QString& filter) override {
        return QFileDialog::getOpenFileName(parent, caption, folder, filter);
    }
    QString folderName(QWidget* parent, const QString& caption, const QString& folder) override {
        return QFileDialog::getExistingDirectory(parent, caption, folder);
    }
};

class DesktopShell : public Shell {
public:
    void open(const QString& pathOrUrl) override {
        const QUrl url = pathOrUrl.contains(QStringLiteral("://")) ? QUrl(pathOrUrl)
                                                                    : QUrl::fromLocalFile(pathOrUrl);
        QDesktopServices::openUrl(url);
    }
};

std::unique_ptr<Dialogs>& dialogsSlot() {
    static std::unique_ptr<Dialogs> d = std::make_unique<QtDialogs>();
    return d;
}
std::unique_ptr<Shell>& shellSlot() {
    static std::unique_ptr<Shell> s = std::make_unique<DesktopShell>();
    return s;
}

}  // namespace

Dialogs& dialogs() { return *dialogsSlot(); }
Shell& shell() { return *shellSlot(); }

void setDialogs(std::unique_ptr<Dialogs> replacement) {
    dialogsSlot() = replacement ? std::move(replacement) : std::make_unique<QtDialogs>();
}
void setShell(std::unique_ptr<Shell> replacement) {
    shellSlot() = replacement ? std::move(replacement) : std::make_unique<DesktopShell>();
}

bool runGuarded(QWidget* parent, const std::function<void()>& action) {
    try {
        action();
        return true;
    } catch (const std::exception& e) {
        dialogs().showError(parent, QString::fromUtf8(e.what()));
    } catch (...) {
        dialogs().showError(parent, QStringLiteral("Eroare necunoscuta"));
    }
    return false;
}

void ScriptedDialogs::showError(QWidget*, const QString& message) { shown.append({"error", message}); }
void ScriptedDialogs::showMessage(QWidget*, const QString& message) {
    shown.append({"message", message});
}
Answer ScriptedDialogs::ask(QWidget*, const QString& message, std::initializer_list<Answer>) {
    shown.append({"ask", message});
    return answers.isEmpty() ? Answer::Cancel : answers.takeFirst();
}
QString ScriptedDialogs::saveFileName(QWidget*, const QString& caption, const QString&, const QString&) {
    shown.append({"save", caption});
    return fileNames.isEmpty() ? QString() : fileNames.takeFirst();
}
QString ScriptedDialogs::openFileName(QWidget*, const QString& caption, const QString&, const QString&) {
    shown.append({"open", caption});
    return fileNames.isEmpty() ? QString() : fileNames.takeFirst();
}
QString ScriptedDialogs::folderName(QWidget*, const QString& caption, const QString&) {
    shown.append({"folder", caption});
    return fileNames.isEmpty() ? QString() : fileNames.takeFirst();
}
QStringList ScriptedDialogs::errors() const {
    QStringList out;
    for (const auto& s : shown)
        if (s.kind == "error") out << s.text;
    return out;
}
QStringList ScriptedDialogs::messages() const {
    QStringList out;
    for (const auto& s : shown)
        if (s.kind == "message") out << s.text;
    return out;
}

}  // namespace platform::ui
