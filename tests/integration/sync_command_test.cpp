// tarvelo-sync as a process: the login, both logs on their streams, the exit codes.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "support/retrieval_fixture.h"

using testsupport::RetrievalFixture;

namespace {

struct Outcome {
    int exitCode = -1;
    std::string out, err;
};

Outcome runSync(const std::vector<std::string>& args) {
    const std::string errFile = std::string(TARVELO_BINARY_DIR) + "/sync-stderr-" + std::to_string(getpid());
    std::string cmd = std::string(TARVELO_BINARY_DIR) + "/bin/tarvelo-sync";
    for (const auto& a : args) cmd += " '" + a + "'";
    cmd += " 2>" + errFile;
    Outcome o;
    FILE* p = popen(cmd.c_str(), "r");
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) o.out.append(buf, n);
    const int status = pclose(p);
    o.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(errFile);
    std::stringstream s;
    s << in.rdbuf();
    o.err = s.str();
    std::remove(errFile.c_str());
    return o;
}

}  // namespace

TEST(SyncCommand, FetchesWithTheOperatorsModeAndReportsOnBothStreams) {
    RetrievalFixture f;
    const auto address = testsupport::sandboxAddress();
    setenv("TARVELO_CENTRAL_DB_HOST", address.host.c_str(), 1);
    setenv("TARVELO_CENTRAL_DB_PORT", std::to_string(address.port).c_str(), 1);
    auto args = f.db.commandLine("ana.popescu", "demo123");

    const Outcome first = runSync(args);
    EXPECT_EQ(first.exitCode, 0) << first.err;
    EXPECT_NE(first.out.find("Nr. mesaje preluate = 60"), std::string::npos) << first.out;
    EXPECT_NE(first.out.find(" - Gata"), std::string::npos);
    EXPECT_NE(first.err.find(" - get mesaj in toate incep"), std::string::npos);  // the detailed log
    EXPECT_EQ(first.out.find(" - analiza pagina incep"), std::string::npos);
    EXPECT_EQ(f.count(), "60");
    for (const auto& r : f.standin.requests())
        if (r["role"] != "timeapi") {
            EXPECT_EQ(r["role"], "api");  // the operator's eFact mapping
        }

    // forced certificate mode, password from the environment
    f.standin.addMessages(2);
    f.standin.clearLog();
    setenv("TARVELO_OPERATOR_PASSWORD", "demo123", 1);
    args[4] = "-";
    args.insert(args.begin(), "--mode=certificate");
    const Outcome second = runSync(args);
    EXPECT_EQ(second.exitCode, 0) << second.err;
    EXPECT_NE(second.out.find("Nr. mesaje preluate = 2"), std::string::npos) << second.out;
    for (const auto& r : f.standin.requests())
        if (r["role"] != "timeapi") {
            EXPECT_EQ(r["role"], "cert");
        }

    // a list failure: non-zero with the error's text
    f.standin.fault({{"path", "/prod/FCTEL/rest/listaMesajePaginatieFactura"}, {"eroare", "Serviciu indisponibil"}});
    const Outcome failed = runSync(args);
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_NE(failed.err.find("(GetListaMesajeCuPag) Eroare=Serviciu indisponibil"), std::string::npos) << failed.err;

    // a refused login
    const Outcome refused = runSync(f.db.commandLine("ana.popescu", "gresit"));
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find("User, password eronate."), std::string::npos);
    EXPECT_EQ(runSync({"doar", "trei", "argumente"}).exitCode, 2);
}
