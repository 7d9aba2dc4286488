#pragma once
// Throw-away databases for tests: each TestDatabase is a fresh copy of the sandbox's `qor1` (ERP)
// or `qor_gen` (central) database, made with CREATE DATABASE ... TEMPLATE, and dropped again when
// the object goes. The sandbox is the one ctest starts (tools/pg-sandbox, fixture "postgres");
// PGHOST/PGPORT in the environment point elsewhere when set.

#include <string>
#include <vector>

#include "platform/pg/connection.h"
#include "platform/pg/value.h"

#include <memory>

namespace testsupport {

struct SandboxAddress {
    std::string host;
    int port = 0;
};
SandboxAddress sandboxAddress();
std::string databasePassword();  // of the account `qor`

class TestDatabase {
public:
    enum class Kind { Erp, Central };
    // withDemoData loads erp/sql/demo_erp.sql (or demo_central.sql) into the copy.
    explicit TestDatabase(Kind kind = Kind::Erp, bool withDemoData = false);
    ~TestDatabase();
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    const std::string& name() const { return name_; }
    // Settings for the account `qor` on this database, as the application would use them.
    platform::pg::ConnectionSettings settings() const;

    // Helpers on a connection of the test's own: statements with $n placeholders.
    void exec(const std::string& sql, const std::vector<platform::pg::Value>& params = {});
    // Rows as text; NULL reads as the text "<null>".
    std::vector<std::vector<std::string>> rows(const std::string& sql,
                                               const std::vector<platform::pg::Value>& params = {});
    std::string scalar(const std::string& sql,
                       const std::vector<platform::pg::Value>& params = {});
    void runFile(const std::string& path);  // a .sql file of the project, relative to its root
    platform::pg::Connection& connection() { return *connection_; }

private:
    std::string name_;
    std::unique_ptr<platform::pg::Connection> connection_;
};

}  // namespace testsupport
