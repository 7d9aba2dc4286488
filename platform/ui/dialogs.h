#pragma once
// Dialogs and the shell behind one seam: the application shows real Qt dialogs and opens files
// with the desktop; tests install a scripted implementation that answers from a queue and records
// what would have been shown or opened.

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QWidget;

namespace platform::ui {

enum class Answer { Ok, Yes, No, Cancel };

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // The application's standard error box: the message as text, the application title as caption.
    virtual void showError(QWidget* parent, const QString& message) = 0;
    // A plain information message (OK button).
    virtual void showMessage(QWidget* parent, const QString& message) = 0;
    // A question with the given buttons (Yes/No, Yes/Cancel...); returns the button pressed.
    virtual Answer ask(QWidget* parent, const QString& message, std::initializer_list<Answer> buttons) = 0;
    // File and folder pickers; an empty result means the user cancelled.
    virtual QString saveFileName(QWidget* parent, const QString& caption, const QString& suggestedPath,
                                 const QString& filter) = 0;
    virtual QString openFileName(QWidget* parent, const QString& caption, const QString& folder,
                                 const QString& filter) = 0;
    virtual QString folderName(QWidget* parent, const QString& caption, const QString& folder) = 0;
};

class Shell {
public:
    virtual ~Shell() = default;
    // The desktop's "open" verb for a file path or an address.
    virtual void open(const QString& pathOrUrl) = 0;
};

Dialogs& dialogs();
Shell& shell();
// Replace the implementations (tests); nullptr restores the real ones.
void setDialogs(std::unique_ptr<Dialogs> replacement);
void setShell(std::unique_ptr<Shell> replacement);

// Runs a screen action and shows any exception it raises in the standard error box, so no
// exception ever leaves a Qt slot. Returns false when the action failed.
bool runGuarded(QWidget* parent, const std::function<void()>& action);

// A scripted implementation for tests: answers come from queues (an empty queue answers
// Cancel / an empty name), everything shown is recorded in order.
class ScriptedDialogs : public Dialogs {
public:
    struct Shown {
        QString kind;  // "error", "message", "ask", "save", "open", "folder"
        QString text;
    };
    QList<Answer> answers;
    QStringList fileNames;  // for save/open/folder, in order
    QList<Shown> shown;

    void showError(QWidget*, const QString& message) override;
    void showMessage(QWidget*, const QString& message) override;
    Answer ask(QWidget*, const QString& message, std::initializer_list<Answer> buttons) override;
    QString saveFileName(QWidget*, const QString& caption, const QString& suggestedPath,
                         const QString& filter) override;
    QString openFileName(QWidget*, const QString& caption, const QString& folder,
                         const QString& filter) override;
    QString folderName(QWidget*, const QString& caption, const QString& folder) override;

    QStringList errors() const;
    QStringList messages() const;
};

class RecordingShell : public Shell {
public:
    QStringList opened;
    void open(const QString& pathOrUrl) override { opened << pathOrUrl; }
};

}  // namespace platform::ui
