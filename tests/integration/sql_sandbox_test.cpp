// tools/pg-sandbox as its users run it: a cluster of its own in a folder, started, replaced, stopped.
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/pg/connection.h"
#include "support/test_database.h"

namespace {

struct ScriptRun {
    int status = -1;
    std::string out;
};

ScriptRun sandbox(const std::string& args) {
    ScriptRun r;
    const std::string cmd = std::string(TARVELO_SOURCE_DIR) + "/tools/pg-sandbox " + args + " 2>/dev/null";
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[256];
    while (std::fgets(buf, sizeof buf, p)) r.out += buf;
    const int st = ::pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

int portOf(const std::string& env) {
    const auto at = env.find("PGPORT=");
    return at == std::string::npos ? 0 : std::stoi(env.substr(at + 7));
}

std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The number of demo operators, read as the account qor over TCP with its password.
std::string operators(int port, const std::string& password) {
    platform::pg::Connection c;
    c.settings().host = "127.0.0.1";
    c.settings().port = port;
    c.settings().database = "qor1";
    c.settings().user = "qor";
    c.settings().password = password;
    c.settings().connectTimeoutSeconds = 3;
    auto r = c.execParams("SELECT count(*) FROM emitent", {});
    return PQgetvalue(r.get(), 0, 0);
}

}  // namespace

TEST(SqlSandbox, StartsReplacesAndStopsAClusterInItsFolder) {
    const std::filesystem::path dir = std::string(TARVELO_BINARY_DIR) + "/test-sandbox-own";
    std::filesystem::remove_all(dir);
    EXPECT_EQ(sandbox("stop " + dir.string()).status, 0);  // nothing runs: harmless

    const ScriptRun first = sandbox("start " + dir.string() + " --demo-data");
    ASSERT_EQ(first.status, 0);
    const int port = portOf(first.out);
    EXPECT_EQ(first.out, "PGHOST=127.0.0.1\nPGPORT=" + std::to_string(port) + "\n");  // nothing else on stdout
    EXPECT_EQ(readFile(dir / "env"), first.out);
    EXPECT_TRUE(std::filesystem::exists(dir / "pgdata" / "PG_VERSION"));
    EXPECT_EQ(operators(port, testsupport::databasePassword()), "3");
    EXPECT_THROW(operators(port, "not-the-password"), platform::pg::Error);

    // started again on a running cluster: the old one goes, a fresh one (no demo data) comes
    const ScriptRun second = sandbox("start " + dir.string());
    ASSERT_EQ(second.status, 0);
    EXPECT_EQ(operators(portOf(second.out), testsupport::databasePassword()), "0");
    if (portOf(second.out) != port) {
        EXPECT_THROW(operators(port, testsupport::databasePassword()), platform::pg::Error);
    }

    EXPECT_EQ(sandbox("stop " + dir.string()).status, 0);
    EXPECT_THROW(operators(portOf(second.out), testsupport::databasePassword()), platform::pg::Error);
    EXPECT_FALSE(std::filesystem::exists(dir / "env"));
    EXPECT_EQ(sandbox("start").status, 2);
    std::filesystem::remove_all(dir);
}
