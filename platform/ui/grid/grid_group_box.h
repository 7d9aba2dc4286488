#pragma once
// The group-by box above the grid: column headers dropped on it group the rows; each grouping
// column shows as a button that removes it again.

#include <QFrame>
#include <QStringList>

class QHBoxLayout;
class QLabel;

namespace platform::ui {

class GridGroupByBox : public QFrame {
    Q_OBJECT
public:
    explicit GridGroupByBox(QWidget* parent = nullptr);

    // The grouping columns in order: their fields and captions.
    void setGroups(const QStringList& fields, const QStringList& captions);

signals:
    void fieldDropped(const QString& field);
    void removeRequested(const QString& field);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QHBoxLayout* layout_;
    QLabel* hint_;
    QList<QWidget*> chips_;
};

}  // namespace platform::ui
