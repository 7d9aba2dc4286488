#pragma once
// Grouping: the filtered and sorted rows cut into groups by one or more columns, each group with a
// header row ("caption: value (count)") and a footer row with the sums of the footer columns. The
// layout is computed from the proxy's order, which already has the group columns first; the model
// shows it as a flat table in the grid's own view, with groups that can be collapsed.

#include <QAbstractTableModel>
#include <QSet>
#include <cstdint>
#include <vector>

namespace platform::ui {

class GridFilterProxy;
class QueryTableModel;

struct GridGroup {
    int level = 0;
    int column = 0;  // model column it groups by
    int parent = -1;
    int rowCount = 0;  // data rows inside, all levels
    QString caption;   // "caption: value"
    QString path;      // the captions of it and its parents: survives a rebuild
    std::vector<double> sums;  // per model column; 0 where the column has no footer sum
};

struct GridLayoutEntry {
    enum class Kind : std::uint8_t { Data, GroupHeader, GroupFooter };
    Kind kind;
    int index;  // Data: the source row; else the group
    bool operator==(const GridLayoutEntry&) const = default;
};

// The whole layout, every group expanded: what the export writes.
struct GridGroupLayout {
    std::vector<GridGroup> groups;
    std::vector<GridLayoutEntry> entries;
    std::vector<int> groupOfRow;  // per source row: its innermost group, -1 when not shown

    static GridGroupLayout build(const GridFilterProxy& proxy);
    QString headerText(int group) const;  // caption and row count
};

class GridGroupModel : public QAbstractTableModel {
    Q_OBJECT
public:
    GridGroupModel(GridFilterProxy* proxy, QueryTableModel* model, QObject* parent = nullptr);

    // Inactive, the model holds nothing and ignores the proxy (the view shows the proxy itself).
    void setActive(bool active);
    bool isActive() const { return active_; }
    const GridGroupLayout& layout() const { return layout_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    void sort(int column, Qt::SortOrder order) override;

    GridLayoutEntry entry(int row) const { return visible_[static_cast<size_t>(row)]; }
    int sourceRowOf(int row) const;          // -1 for group rows
    int rowOfSourceRow(int sourceRow) const;  // -1 when not shown (filtered out, group collapsed)
    int rowOfGroupHeader(int group) const;    // -1 when inside a collapsed group
    // Expands the groups around a source row, so that it shows.
    void reveal(int sourceRow);
    bool isExpanded(int group) const;
    void setExpanded(int group, bool expanded);
    void setAllExpanded(bool expanded);

private:
    void rebuild();
    void refreshValues();
    void makeVisible();

    GridFilterProxy* proxy_;
    QueryTableModel* model_;
    bool active_ = false;
    bool resetting_ = false;
    GridGroupLayout layout_;
    std::vector<GridLayoutEntry> visible_;
    std::vector<int> rowOfSourceRow_;
    QSet<QString> collapsed_;
};

}  // namespace platform::ui
