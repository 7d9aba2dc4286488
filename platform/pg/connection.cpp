#include "platform/pg/connection.h"

#include <libpq-fe.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace platform::pg {
namespace {

// Type OIDs of the parameter kinds we send.
constexpr Oid kBoolOid = 16, kByteaOid = 17, kInt8Oid = 20, kInt4Oid = 23, kTextOid = 25, kFloat8Oid = 701,
              kDateOid = 1082, kTimestampOid = 1114;

std::string trimmed(const char* message) {
    std::string s = message ? message : "";
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
}

Error errorFromResult(const PGresult* r, PGconn* conn) {
    const char* primary = PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY);
    const char* state = PQresultErrorField(r, PG_DIAG_SQLSTATE);
    const char* detail = PQresultErrorField(r, PG_DIAG_MESSAGE_DETAIL);
    std::string message = primary ? primary : trimmed(r ? PQresultErrorMessage(r) : PQerrorMessage(conn));
    if (message.empty()) message = trimmed(PQerrorMessage(conn));
    return Error(message, state ? state : "", detail ? detail : "");
}

struct ParamBuffers {
    std::vector<Oid> types;
    std::vector<std::string> texts;
    std::vector<const char*> values;
    std::vector<int> lengths;
    std::vector<int> formats;
};

void fill(ParamBuffers& b, const std::vector<Value>& params) {
    const size_t n = params.size();
    b.types.assign(n, 0);
    b.texts.assign(n, {});
    b.values.assign(n, nullptr);
    b.lengths.assign(n, 0);
    b.formats.assign(n, 0);
    for (size_t i = 0; i < n; ++i) {
        const Value& v = params[i];
        const auto& raw = v.raw();
        if (v.isNull()) continue;
        if (auto bytes = std::get_if<Bytes>(&raw)) {
            b.types[i] = kByteaOid;
            b.formats[i] = 1;
            b.values[i] = reinterpret_cast<const char*>(bytes->data());
            b.lengths[i] = static_cast<int>(bytes->size());
            if (bytes->empty()) b.values[i] = "";
            continue;
        }
        if (std::holds_alternative<std::string>(raw)) b.types[i] = kTextOid;
        // int4 where it fits: it widens to bigint implicitly, while int8 never narrows to an
        // integer parameter of a function.
        else if (auto n = std::get_if<std::int64_t>(&raw))
            b.types[i] = (*n >= INT32_MIN && *n <= INT32_MAX) ? kInt4Oid : kInt8Oid;
        else if (std::holds_alternative<bool>(raw)) b.types[i] = kBoolOid;
        else if (std::holds_alternative<double>(raw)) b.types[i] = kFloat8Oid;
        else if (std::holds_alternative<Date>(raw)) b.types[i] = kDateOid;
        else if (std::holds_alternative<Timestamp>(raw)) b.types[i] = kTimestampOid;
        b.texts[i] = std::holds_alternative<bool>(raw) ? (v.asBool() ? "t" : "f") : v.asString();
        b.values[i] = b.texts[i].c_str();
        b.lengths[i] = static_cast<int>(b.texts[i].size());
    }
}

}  // namespace

void ResultDeleter::operator()(pg_result* r) const { PQclear(r); }

Connection::Connection() = default;
Connection::~Connection() { disconnect(); }

bool Connection::isConnected() const { return conn_ != nullptr && PQstatus(conn_) == CONNECTION_OK; }

void Connection::connect() {
    if (isConnected()) return;
    disconnect();
    if (beforeConnect_) beforeConnect_(*this);
    const std::string port = std::to_string(settings_.port);
    const std::string timeout = std::to_string(settings_.connectTimeoutSeconds);
    // PGSSLMODE from the environment wins over the built-in "prefer", as libpq users expect.
    const char* envSsl = std::getenv("PGSSLMODE");
    const std::string sslMode = envSsl && *envSsl ? envSsl : settings_.sslMode;
    std::vector<const char*> keys{"host", "port", "dbname", "user", "sslmode", "connect_timeout",
                                  "client_encoding", "application_name"};
    std::vector<const char*> values{settings_.host.c_str(),     port.c_str(),
                                    settings_.database.c_str(), settings_.user.c_str(),
                                    sslMode.c_str(),            timeout.c_str(),
                                    "UTF8",                     settings_.applicationName.c_str()};
    // An empty password lets libpq fall back to PGPASSWORD or ~/.pgpass.
    if (!settings_.password.empty()) {
        keys.push_back("password");
        values.push_back(settings_.password.c_str());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    conn_ = PQconnectdbParams(keys.data(), values.data(), 0);
    if (PQstatus(conn_) != CONNECTION_OK) {
        const std::string message = trimmed(PQerrorMessage(conn_));
        PQfinish(conn_);
        conn_ = nullptr;
        throw Error(message.empty() ? "could not connect to the database server" : message, "08001");
    }
    // Server notices are not errors; they must not reach a program's standard error.
    PQsetNoticeProcessor(conn_, [](void*, const char*) {}, nullptr);
}

void Connection::disconnect() {
    if (conn_) PQfinish(conn_);
    conn_ = nullptr;
}

pg_conn* Connection::native() {
    connect();
    return conn_;
}

ResultPtr Connection::execParams(const std::string& sql, const std::vector<Value>& params) {
    PGconn* c = native();
    ParamBuffers b;
    fill(b, params);
    ResultPtr r(PQexecParams(c, sql.c_str(), static_cast<int>(params.size()),
                             params.empty() ? nullptr : b.types.data(),
                             params.empty() ? nullptr : b.values.data(),
                             params.empty() ? nullptr : b.lengths.data(),
                             params.empty() ? nullptr : b.formats.data(), 0));
    const auto status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        Error e = errorFromResult(r.get(), c);
        if (PQstatus(c) != CONNECTION_OK) disconnect();  // next statement reconnects
        throw e;
    }
    return r;
}

void Connection::execScript(const std::string& sql) {
    PGconn* c = native();
    ResultPtr r(PQexec(c, sql.c_str()));
    const auto status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && status != PGRES_EMPTY_QUERY) {
        Error e = errorFromResult(r.get(), c);
        if (PQstatus(c) != CONNECTION_OK) disconnect();
        throw e;
    }
}

}  // namespace platform::pg
