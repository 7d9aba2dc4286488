#include "platform/memtable/mem_table.h"

namespace platform::memtable {

MemTable::MemTable(std::vector<FieldDef> fields) {
    for (auto& f : fields) addField(std::move(f.name), f.size);
}

void MemTable::addField(std::string name, std::size_t size) {
    if (isOpen()) throw std::logic_error("Cannot add field '" + name + "' to an open table");
    if (fieldIndex(name) >= 0) throw std::invalid_argument("Field '" + name + "' already exists");
    fields_.push_back({std::move(name), size});
}

int MemTable::fieldIndex(const std::string& name) const {
    for (std::size_t i = 0; i < fields_.size(); ++i)
        if (fields_[i].name == name) return static_cast<int>(i);
    return -1;
}

int MemTable::requireField(const std::string& name) const {
    const int i = fieldIndex(name);
    if (i < 0) throw std::invalid_argument("Field '" + name + "' not found");
    return i;
}

void MemTable::open() {
    if (state_ == State::Closed) state_ = State::Browse;
}

void MemTable::close() {
    rows_.clear();
    pending_.clear();
    state_ = State::Closed;
}

void MemTable::emptyTable() {
    rows_.clear();
    pending_.clear();
    if (isOpen()) state_ = State::Browse;
}

void MemTable::append() {
    if (!isOpen()) throw std::logic_error("Cannot append to a closed table");
    pending_.assign(fields_.size(), std::string());
    state_ = State::Insert;
}

void MemTable::setField(const std::string& name, const std::string& value) {
    if (state_ != State::Insert)
        throw std::logic_error("Cannot set field '" + name + "': no row is being appended");
    const auto i = static_cast<std::size_t>(requireField(name));
    pending_[i] = fields_[i].size ? truncateUtf8(value, fields_[i].size) : value;
}

void MemTable::post() {
    if (state_ != State::Insert) return;
    rows_.push_back(std::move(pending_));
    pending_.clear();
    state_ = State::Browse;
}

void MemTable::cancel() {
    if (state_ != State::Insert) return;
    pending_.clear();
    state_ = State::Browse;
}

const std::string& MemTable::value(int row, const std::string& name) const {
    return rows_.at(static_cast<std::size_t>(row)).at(static_cast<std::size_t>(requireField(name)));
}

std::string truncateUtf8(const std::string& text, std::size_t maxChars) {
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        // A character starts at every byte that is not a continuation byte (10xxxxxx).
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            if (chars == maxChars) return text.substr(0, i);
            ++chars;
        }
    }
    return text;
}

}  // namespace platform::memtable
