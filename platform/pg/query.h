#pragma once
// Queries with `:name` parameters whose results are copied into value rows, can be walked like a
// data set (current row, first/next/eof) and edited: append, edit, post, cancel and delete are
// written back to one named table by its key. Stored-function calls with named inputs.

#include <map>
#include <string>
#include <vector>

#include "platform/pg/connection.h"
#include "platform/pg/named_params.h"
#include "platform/pg/value.h"

namespace platform::pg {

struct Column {
    std::string name;
    FieldKind kind = FieldKind::Text;
};

class Query {
public:
    enum class State { Closed, Browse, Edit, Insert };

    Query(Connection& connection, std::string sql = {});

    void setSql(std::string sql);
    const std::string& sql() const { return sql_; }

    // Named parameters: `:pName` in the text. Setting a name the text does not use throws.
    void setParam(const std::string& name, Value value);
    const Value& param(const std::string& name) const;
    void clearParams();

    // Write-back target of append/edit/post/delete: a table and its key columns.
    void setUpdateTable(std::string table, std::vector<std::string> keyColumns);

    void open();     // runs the statement and copies its rows; current row = first
    void close();    // forgets the rows; pending edits are cancelled
    void refresh();  // runs again with the same parameters; keeps the current row by key if it can
    bool isOpen() const { return state_ != State::Closed; }
    State state() const { return state_; }

    // Runs a statement that returns no rows; returns the number of rows it affected.
    long execute();

    // Rows and the current row.
    const std::vector<Column>& columns() const { return columns_; }
    int columnIndex(const std::string& name) const;  // -1 when absent
    bool hasColumn(const std::string& name) const { return columnIndex(name) >= 0; }
    int rowCount() const { return static_cast<int>(rows_.size()); }
    bool isEmpty() const { return rows_.empty(); }
    const std::vector<Value>& row(int index) const { return rows_.at(static_cast<size_t>(index)); }
    int recNo() const { return current_; }  // 0-based; -1 when there is no row
    void setRecNo(int index);
    void first();
    void next();
    bool eof() const { return eof_; }

    // A field of the current row (or of the row being appended/edited). Throws for an unknown
    // name or when there is no current row.
    const Value& field(const std::string& name) const;

    // Editing the current row, or appending a new one, then posting it to the update table.
    void append();
    void edit();
    void setField(const std::string& name, Value value);
    void post();
    void cancel();
    void deleteCurrent();

    // Grid write-back: change some fields of row `index` by its key, or delete it by its key.
    void updateRow(int index, const std::map<std::string, Value>& changes);
    void deleteRow(int index);

private:
    void requireUpdateTable() const;
    std::vector<Value> keyValuesOf(const std::vector<Value>& row) const;
    void loadResult(pg_result* result);

    Connection& connection_;
    std::string sql_;
    NamedSql parsed_;
    std::map<std::string, Value> params_;
    std::string updateTable_;
    std::vector<std::string> keyColumns_;

    State state_ = State::Closed;
    std::vector<Column> columns_;
    std::vector<std::vector<Value>> rows_;
    int current_ = -1;
    bool eof_ = true;

    std::vector<Value> editBuffer_;
    std::vector<bool> assigned_;  // fields set since append/edit began
};

// A stored-function call: inputs by name (sent in PostgreSQL's named notation), outputs read by
// name from the single row the function returns.
class StoredProc {
public:
    StoredProc(Connection& connection, std::string functionName);

    void setParam(const std::string& name, Value value);
    void clearParams() { params_.clear(); }
    void execute();
    const Value& result(const std::string& name) const;  // an output column of the call
    bool hasResult(const std::string& name) const;

private:
    Connection& connection_;
    std::string name_;
    std::vector<std::pair<std::string, Value>> params_;
    std::vector<Column> columns_;
    std::vector<Value> values_;
};

}  // namespace platform::pg
