#pragma once
// A small in-memory table: named text fields with a width in characters, rows appended, filled
// and posted one at a time. The caller owns it; list parsers fill it and screens show it.

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

namespace platform::memtable {

struct FieldDef {
    std::string name;
    std::size_t size = 0;  // width in characters; longer values are cut to it; 0 = no limit
};

class MemTable {
public:
    enum class State { Closed, Browse, Insert };

    MemTable() = default;
    explicit MemTable(std::vector<FieldDef> fields);

    // Fields can be defined only while the table is closed.
    void addField(std::string name, std::size_t size);
    const std::vector<FieldDef>& fields() const { return fields_; }
    int fieldIndex(const std::string& name) const;  // -1 when absent

    // Opening an open table keeps its rows; closing drops them.
    void open();
    void close();
    bool isOpen() const { return state_ != State::Closed; }
    State state() const { return state_; }
    void emptyTable();  // drops the rows, stays open

    // A new row: append, set fields, post (or cancel). Throws std::logic_error out of order and
    // std::invalid_argument for an unknown field name.
    void append();
    void setField(const std::string& name, const std::string& value);
    void post();
    void cancel();

    int rowCount() const { return static_cast<int>(rows_.size()); }
    const std::string& value(int row, const std::string& name) const;
    const std::vector<std::string>& row(int index) const { return rows_.at(static_cast<std::size_t>(index)); }

private:
    int requireField(const std::string& name) const;

    std::vector<FieldDef> fields_;
    std::vector<std::vector<std::string>> rows_;
    std::vector<std::string> pending_;
    State state_ = State::Closed;
};

// The first `maxChars` characters of UTF-8 text, never cutting a character in two.
std::string truncateUtf8(const std::string& text, std::size_t maxChars);

}  // namespace platform::memtable
