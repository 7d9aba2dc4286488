#pragma once
// One PostgreSQL server connection, taken at the first statement and kept until closed.
// Every statement of a run goes through the same server connection: temporary tables filled by
// one call are read by the next query.

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/pg/value.h"

struct pg_conn;
struct pg_result;

namespace platform::pg {

// A database error: the server's (or libpq's) message, and the SQLSTATE when the server sent one.
class Error : public std::runtime_error {
public:
    Error(const std::string& message, std::string sqlstate = {}, std::string detail = {})
        : std::runtime_error(message), sqlstate_(std::move(sqlstate)), detail_(std::move(detail)) {}
    const std::string& sqlstate() const { return sqlstate_; }
    const std::string& detail() const { return detail_; }

private:
    std::string sqlstate_;
    std::string detail_;
};

struct ConnectionSettings {
    std::string host;
    int port = 5432;
    std::string database;
    std::string user;
    std::string password;  // never logged, never part of an error text
    std::string sslMode = "prefer";
    std::string applicationName;
    int connectTimeoutSeconds = 10;
};

struct ResultDeleter {
    void operator()(pg_result* r) const;
};
using ResultPtr = std::unique_ptr<pg_result, ResultDeleter>;

class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    ConnectionSettings& settings() { return settings_; }
    const ConnectionSettings& settings() const { return settings_; }

    // Runs each time the connection is about to connect; may change the settings.
    void setBeforeConnect(std::function<void(Connection&)> hook) { beforeConnect_ = std::move(hook); }

    void connect();  // no-op when connected
    void disconnect();
    bool isConnected() const;

    // Runs a statement whose text has `$n` placeholders; each value is sent as its own kind
    // (bytea as binary). Connects first when needed. Raises Error with the server's message.
    ResultPtr execParams(const std::string& sql, const std::vector<Value>& params);
    // Runs a statement with no parameters (several statements allowed).
    void execScript(const std::string& sql);

    pg_conn* native();  // connected handle, for the layer's own classes

private:
    ConnectionSettings settings_;
    std::function<void(Connection&)> beforeConnect_;
    pg_conn* conn_ = nullptr;
};

}  // namespace platform::pg
