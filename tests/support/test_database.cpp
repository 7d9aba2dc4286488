#include "support/test_database.h"

#include <libpq-fe.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace testsupport {
namespace {

std::string readEnvLine(const std::string& text, const std::string& key) {
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
    return {};
}

platform::pg::ConnectionSettings settingsFor(const std::string& database) {
    const SandboxAddress a = sandboxAddress();
    platform::pg::ConnectionSettings s;
    s.host = a.host;
    s.port = a.port;
    s.database = database;
    s.user = "qor";
    s.password = databasePassword();
    s.applicationName = "tarvelo-tests";
    return s;
}

std::string uniqueName(const char* prefix) {
    static std::atomic<int> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count() % 1000000000;
    return std::string(prefix) + "_" + std::to_string(::getpid()) + "_" + std::to_string(stamp) +
           "_" + std::to_string(counter++);
}

}  // namespace

SandboxAddress sandboxAddress() {
    SandboxAddress a;
    if (const char* host = std::getenv("PGHOST"); host && *host) {
        a.host = host;
        const char* port = std::getenv("PGPORT");
        a.port = port ? std::atoi(port) : 5432;
        return a;
    }
    std::ifstream in(std::string(TARVELO_TEST_PG_DIR) + "/env");
    std::stringstream text;
    text << in.rdbuf();
    a.host = readEnvLine(text.str(), "PGHOST");
    a.port = std::atoi(readEnvLine(text.str(), "PGPORT").c_str());
    if (a.host.empty() || a.port == 0)
        throw std::runtime_error(
            "No test PostgreSQL: run the tests with ctest (its fixture starts tools/pg-sandbox) or "
            "set PGHOST/PGPORT");
    return a;
}

std::string databasePassword() {
    const char* p = std::getenv("TARVELO_DB_PASSWORD");
    return p && *p ? p : "qor-tarvelo";
}

TestDatabase::TestDatabase(Kind kind, bool withDemoData) {
    const std::string tmpl = kind == Kind::Erp ? "qor1" : "qor_gen";
    name_ = uniqueName(kind == Kind::Erp ? "t_erp" : "t_gen");
    {
        // Connect to the maintenance database: a template may have no other session.
        platform::pg::Connection admin;
        admin.settings() = settingsFor("postgres");
        // Another test may be copying the same template this very moment; retry briefly.
        for (int attempt = 0;; ++attempt) {
            try {
                admin.execScript("CREATE DATABASE " + name_ + " TEMPLATE " + tmpl + " OWNER qor");
                break;
            } catch (const platform::pg::Error& e) {
                if (attempt > 50 || e.sqlstate() != "55006") throw;
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        }
    }
    connection_ = std::make_unique<platform::pg::Connection>();
    connection_->settings() = settings();
    if (withDemoData) runFile(kind == Kind::Erp ? "erp/sql/demo_erp.sql" : "erp/sql/demo_central.sql");
}

TestDatabase::~TestDatabase() {
    connection_.reset();
    try {
        platform::pg::Connection admin;
        admin.settings() = settingsFor("postgres");
        admin.execScript("DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
    } catch (...) {
        // A leftover test database is harmless: the sandbox is thrown away after the run.
    }
}

platform::pg::ConnectionSettings TestDatabase::settings() const { return settingsFor(name_); }

void TestDatabase::exec(const std::string& sql, const std::vector<platform::pg::Value>& params) {
    if (params.empty()) connection_->execScript(sql);
    else connection_->execParams(sql, params);
}

std::vector<std::vector<std::string>> TestDatabase::rows(
    const std::string& sql, const std::vector<platform::pg::Value>& params) {
    auto r = connection_->execParams(sql, params);
    std::vector<std::vector<std::string>> out;
    for (int i = 0; i < PQntuples(r.get()); ++i) {
        std::vector<std::string> row;
        for (int c = 0; c < PQnfields(r.get()); ++c)
            row.push_back(PQgetisnull(r.get(), i, c) ? "<null>" : PQgetvalue(r.get(), i, c));
        out.push_back(std::move(row));
    }
    return out;
}

std::string TestDatabase::scalar(const std::string& sql,
                                 const std::vector<platform::pg::Value>& params) {
    auto r = rows(sql, params);
    if (r.empty() || r[0].empty()) throw std::runtime_error("no value from: " + sql);
    return r[0][0];
}

void TestDatabase::runFile(const std::string& path) {
    std::ifstream in(std::string(TARVELO_SOURCE_DIR) + "/" + path);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::stringstream text;
    text << in.rdbuf();
    connection_->execScript(text.str());
}

}  // namespace testsupport
