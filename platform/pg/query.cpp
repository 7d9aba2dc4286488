#include "platform/pg/query.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>

namespace platform::pg {
namespace {

FieldKind kindOf(Oid type) {
    switch (type) {
        case 16: return FieldKind::Boolean;
        case 17: return FieldKind::Bytes;
        case 20: return FieldKind::BigInt;
        case 21:
        case 23: return FieldKind::Integer;
        case 700:
        case 701:
        case 1700: return FieldKind::Numeric;
        case 1082: return FieldKind::Date;
        case 1114:
        case 1184: return FieldKind::Timestamp;
        default: return FieldKind::Text;
    }
}

Value readCell(const PGresult* r, int row, int col, FieldKind kind) {
    if (PQgetisnull(r, row, col)) return {};
    const char* text = PQgetvalue(r, row, col);
    const int length = PQgetlength(r, row, col);
    try {
        switch (kind) {
            case FieldKind::Boolean: return Value(text[0] == 't');
            case FieldKind::Integer:
            case FieldKind::BigInt: {
                std::int64_t v = 0;
                std::from_chars(text, text + length, v);
                return Value(v);
            }
            case FieldKind::Numeric: {
                // "NaN" and the infinities read as such; strtod knows them.
                return Value(std::strtod(text, nullptr));
            }
            case FieldKind::Date: return Value(parseDate(text));
            case FieldKind::Timestamp: return Value(parseTimestamp(text));
            case FieldKind::Bytes: {
                size_t n = 0;
                unsigned char* raw =
                    PQunescapeBytea(reinterpret_cast<const unsigned char*>(text), &n);
                if (!raw) throw Error("out of memory while reading a bytea value");
                Bytes bytes(raw, raw + n);
                PQfreemem(raw);
                return Value(std::move(bytes));
            }
            case FieldKind::Text: break;
        }
    } catch (const std::invalid_argument&) {
        // 'infinity' dates and the like: keep the server's text.
    }
    return Value(std::string(text, static_cast<size_t>(length)));
}

bool isIdentifier(const std::string& s) {
    if (s.empty() || !(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_')) return false;
    return std::all_of(s.begin(), s.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.';
    });
}

// Table and column names come from our own code, never from data; they are still checked.
const std::string& checkedIdentifier(const std::string& s) {
    if (!isIdentifier(s)) throw std::invalid_argument("'" + s + "' is not a valid identifier");
    return s;
}

}  // namespace

Query::Query(Connection& connection, std::string sql) : connection_(connection) {
    setSql(std::move(sql));
}

void Query::setSql(std::string sql) {
    close();
    sql_ = std::move(sql);
    parsed_ = parseNamedParameters(sql_);
    std::map<std::string, Value> kept;
    for (const auto& name : parsed_.names)
        if (auto it = params_.find(name); it != params_.end()) kept.emplace(*it);
    params_ = std::move(kept);
}

void Query::setParam(const std::string& name, Value value) {
    if (std::find(parsed_.names.begin(), parsed_.names.end(), name) == parsed_.names.end())
        throw std::invalid_argument("Parameter '" + name + "' not found");
    params_[name] = std::move(value);
}

const Value& Query::param(const std::string& name) const {
    static const Value null;
    auto it = params_.find(name);
    return it == params_.end() ? null : it->second;
}

void Query::clearParams() { params_.clear(); }

void Query::setUpdateTable(std::string table, std::vector<std::string> keyColumns) {
    checkedIdentifier(table);
    for (const auto& k : keyColumns) checkedIdentifier(k);
    updateTable_ = std::move(table);
    keyColumns_ = std::move(keyColumns);
}

void Query::loadResult(pg_result* r) {
    const int nCols = PQnfields(r);
    const int nRows = PQntuples(r);
    columns_.clear();
    columns_.reserve(static_cast<size_t>(nCols));
    for (int c = 0; c < nCols; ++c) columns_.push_back({PQfname(r, c), kindOf(PQftype(r, c))});
    rows_.clear();
    rows_.reserve(static_cast<size_t>(nRows));
    for (int i = 0; i < nRows; ++i) {
        std::vector<Value> row;
        row.reserve(static_cast<size_t>(nCols));
        for (int c = 0; c < nCols; ++c)
            row.push_back(readCell(r, i, c, columns_[static_cast<size_t>(c)].kind));
        rows_.push_back(std::move(row));
    }
}

void Query::open() {
    if (isOpen()) close();
    std::vector<Value> values;
    values.reserve(parsed_.names.size());
    for (const auto& name : parsed_.names) values.push_back(param(name));
    ResultPtr r = connection_.execParams(parsed_.text, values);
    loadResult(r.get());
    state_ = State::Browse;
    first();
}

void Query::close() {
    state_ = State::Closed;
    rows_.clear();
    columns_.clear();
    editBuffer_.clear();
    assigned_.clear();
    current_ = -1;
    eof_ = true;
}

void Query::refresh() {
    std::vector<Value> key;
    const int oldIndex = current_;
    if (!updateTable_.empty() && current_ >= 0 && state_ == State::Browse)
        key = keyValuesOf(rows_[static_cast<size_t>(current_)]);
    open();
    if (!key.empty()) {
        for (int i = 0; i < rowCount(); ++i)
            if (keyValuesOf(rows_[static_cast<size_t>(i)]) == key) return setRecNo(i);
    }
    if (oldIndex >= 0 && rowCount() > 0) setRecNo(std::min(oldIndex, rowCount() - 1));
}

long Query::execute() {
    std::vector<Value> values;
    for (const auto& name : parsed_.names) values.push_back(param(name));
    ResultPtr r = connection_.execParams(parsed_.text, values);
    const char* n = PQcmdTuples(r.get());
    return (n && *n) ? std::strtol(n, nullptr, 10) : 0;
}

int Query::columnIndex(const std::string& name) const {
    for (size_t i = 0; i < columns_.size(); ++i)
        if (columns_[i].name == name) return static_cast<int>(i);
    return -1;
}

void Query::setRecNo(int index) {
    if (rows_.empty()) {
        current_ = -1;
        eof_ = true;
        return;
    }
    current_ = std::clamp(index, 0, rowCount() - 1);
    eof_ = false;
}

void Query::first() { setRecNo(0); }

void Query::next() {
    if (current_ + 1 >= rowCount()) {
        eof_ = true;
        return;
    }
    ++current_;
}

const Value& Query::field(const std::string& name) const {
    const int c = columnIndex(name);
    if (c < 0) throw std::invalid_argument("Field '" + name + "' not found");
    if (state_ == State::Edit || state_ == State::Insert) return editBuffer_[static_cast<size_t>(c)];
    if (current_ < 0) throw std::out_of_range("Field '" + name + "': there is no current row");
    return rows_[static_cast<size_t>(current_)][static_cast<size_t>(c)];
}

void Query::requireUpdateTable() const {
    if (updateTable_.empty()) throw std::logic_error("The query has no table to write to: " + sql_);
}

std::vector<Value> Query::keyValuesOf(const std::vector<Value>& row) const {
    std::vector<Value> out;
    for (const auto& k : keyColumns_) {
        const int c = columnIndex(k);
        if (c < 0) throw std::logic_error("Key field '" + k + "' is not in the query");
        out.push_back(row[static_cast<size_t>(c)]);
    }
    return out;
}

void Query::append() {
    if (!isOpen()) throw std::logic_error("Cannot append to a closed query");
    requireUpdateTable();
    editBuffer_.assign(columns_.size(), Value());
    assigned_.assign(columns_.size(), false);
    state_ = State::Insert;
}

void Query::edit() {
    if (!isOpen() || current_ < 0) throw std::logic_error("Cannot edit: there is no current row");
    requireUpdateTable();
    editBuffer_ = rows_[static_cast<size_t>(current_)];
    assigned_.assign(columns_.size(), false);
    state_ = State::Edit;
}

void Query::setField(const std::string& name, Value value) {
    if (state_ != State::Edit && state_ != State::Insert)
        throw std::logic_error("Cannot set field '" + name + "': the query is not being edited");
    const int c = columnIndex(name);
    if (c < 0) throw std::invalid_argument("Field '" + name + "' not found");
    editBuffer_[static_cast<size_t>(c)] = std::move(value);
    assigned_[static_cast<size_t>(c)] = true;
}

void Query::post() {
    if (state_ != State::Edit && state_ != State::Insert) return;
    std::vector<std::string> names;
    std::vector<Value> values;
    for (size_t c = 0; c < columns_.size(); ++c) {
        if (!assigned_[c]) continue;
        names.push_back(checkedIdentifier(columns_[c].name));
        values.push_back(editBuffer_[c]);
    }
    std::string sql;
    if (state_ == State::Insert) {
        if (names.empty()) {
            sql = "INSERT INTO " + updateTable_ + " DEFAULT VALUES RETURNING *";
        } else {
            sql = "INSERT INTO " + updateTable_ + " (";
            std::string placeholders;
            for (size_t i = 0; i < names.size(); ++i) {
                sql += (i ? ", " : "") + names[i];
                placeholders += (i ? ", $" : "$") + std::to_string(i + 1);
            }
            sql += ") VALUES (" + placeholders + ") RETURNING *";
        }
    } else {
        if (names.empty()) {
            cancel();
            return;
        }
        sql = "UPDATE " + updateTable_ + " SET ";
        for (size_t i = 0; i < names.size(); ++i)
            sql += (i ? ", " : "") + names[i] + " = $" + std::to_string(i + 1);
        sql += " WHERE ";
        const auto key = keyValuesOf(rows_[static_cast<size_t>(current_)]);
        for (size_t k = 0; k < keyColumns_.size(); ++k) {
            values.push_back(key[k]);
            sql += (k ? " AND " : "") + keyColumns_[k] + " = $" + std::to_string(values.size());
        }
        sql += " RETURNING *";
    }
    ResultPtr r = connection_.execParams(sql, values);
    if (PQntuples(r.get()) == 0) throw Error("Record not found: it was changed or deleted by another user");
    // Take what the server stored (defaults, triggers) for the columns the table has.
    for (int c = 0; c < PQnfields(r.get()); ++c) {
        const int mine = columnIndex(PQfname(r.get(), c));
        if (mine >= 0)
            editBuffer_[static_cast<size_t>(mine)] =
                readCell(r.get(), 0, c, columns_[static_cast<size_t>(mine)].kind);
    }
    if (state_ == State::Insert) {
        rows_.push_back(std::move(editBuffer_));
        current_ = rowCount() - 1;
        eof_ = false;
    } else {
        rows_[static_cast<size_t>(current_)] = std::move(editBuffer_);
    }
    editBuffer_.clear();
    assigned_.clear();
    state_ = State::Browse;
}

void Query::cancel() {
    if (state_ == State::Edit || state_ == State::Insert) state_ = State::Browse;
    editBuffer_.clear();
    assigned_.clear();
}

void Query::deleteCurrent() {
    if (current_ < 0) throw std::logic_error("Cannot delete: there is no current row");
    deleteRow(current_);
}

void Query::updateRow(int index, const std::map<std::string, Value>& changes) {
    setRecNo(index);
    edit();
    for (const auto& [name, value] : changes) setField(name, value);
    try {
        post();
    } catch (...) {
        cancel();
        throw;
    }
}

void Query::deleteRow(int index) {
    requireUpdateTable();
    if (index < 0 || index >= rowCount()) throw std::out_of_range("Cannot delete: no such row");
    cancel();
    const auto key = keyValuesOf(rows_[static_cast<size_t>(index)]);
    std::string sql = "DELETE FROM " + updateTable_ + " WHERE ";
    for (size_t k = 0; k < keyColumns_.size(); ++k)
        sql += (k ? " AND " : "") + keyColumns_[k] + " = $" + std::to_string(k + 1);
    connection_.execParams(sql, key);
    rows_.erase(rows_.begin() + index);
    setRecNo(std::min(index, rowCount() - 1));
}

StoredProc::StoredProc(Connection& connection, std::string functionName)
    : connection_(connection), name_(std::move(checkedIdentifier(functionName))) {}

void StoredProc::setParam(const std::string& name, Value value) {
    checkedIdentifier(name);
    for (auto& p : params_)
        if (p.first == name) {
            p.second = std::move(value);
            return;
        }
    params_.emplace_back(name, std::move(value));
}

void StoredProc::execute() {
    std::string sql = "SELECT * FROM " + name_ + "(";
    std::vector<Value> values;
    for (size_t i = 0; i < params_.size(); ++i) {
        sql += (i ? ", " : "") + params_[i].first + " => $" + std::to_string(i + 1);
        values.push_back(params_[i].second);
    }
    sql += ")";
    ResultPtr r = connection_.execParams(sql, values);
    columns_.clear();
    values_.clear();
    for (int c = 0; c < PQnfields(r.get()); ++c) {
        columns_.push_back({PQfname(r.get(), c), kindOf(PQftype(r.get(), c))});
        values_.push_back(PQntuples(r.get()) > 0 ? readCell(r.get(), 0, c, columns_.back().kind)
                                                 : Value());
    }
}

bool StoredProc::hasResult(const std::string& name) const {
    return std::any_of(columns_.begin(), columns_.end(),
                       [&](const Column& c) { return c.name == name; });
}

const Value& StoredProc::result(const std::string& name) const {
    for (size_t i = 0; i < columns_.size(); ++i)
        if (columns_[i].name == name) return values_[i];
    throw std::invalid_argument("Output '" + name + "' not found in " + name_);
}

}  // namespace platform::pg
