#pragma once
// The navigator bar under the grid: first, previous, next, last, refresh, delete, edit, post and
// cancel, and the information panel "Inregistrarea i din n".

#include <QFlags>
#include <QWidget>
#include <map>

class QLabel;
class QToolButton;

namespace platform::ui {

class GridNavigator : public QWidget {
    Q_OBJECT
public:
    enum Button {
        First = 0x1,
        Prior = 0x2,
        Next = 0x4,
        Last = 0x8,
        Refresh = 0x10,
        Delete = 0x20,
        Edit = 0x40,
        Post = 0x80,
        Cancel = 0x100,
        AllButtons = 0x1FF,
    };
    Q_DECLARE_FLAGS(Buttons, Button)

    explicit GridNavigator(QWidget* parent = nullptr);

    void setVisibleButtons(Buttons buttons);
    // position: 1-based place of the current row among the rows shown, 0 when none.
    void setState(int position, int count, bool editing, bool canEdit, bool canDelete);
    QToolButton* button(Button b) const { return buttons_.at(b); }
    QLabel* infoPanel() const { return info_; }
    static QString infoText(int position, int count);

signals:
    void clicked(platform::ui::GridNavigator::Button button);

private:
    std::map<Button, QToolButton*> buttons_;
    QLabel* info_;
};

}  // namespace platform::ui

Q_DECLARE_OPERATORS_FOR_FLAGS(platform::ui::GridNavigator::Buttons)
