// tarvelo-sync: the SPV retrieval run without a window, for a nightly job.
// Summary log on standard output, detailed log on standard error.

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "anaf/u_fProcAnaf.h"
#include "data/u_dmCon.h"
#include "data/u_login.h"
#include "sync/spv_retrieval_run.h"

namespace {

constexpr int kExitStopped = 1;  // the run started and stopped with an error
constexpr int kExitLogin = 2;    // bad arguments or the login failed

class StreamLog : public retrieval::RunLog {
public:
    void summary(const std::string& line) override { std::cout << line << std::endl; }
    void detail(const std::string& line) override { std::cerr << line << std::endl; }
};

void usage() {
    std::cerr << "Usage: tarvelo-sync [--mode=certificate|oauth] SERVER DATABASE PORT OPERATOR PASSWORD\n"
                 "  Fetches every new SPV message of the last 60 days into the ERP database.\n"
                 "  PASSWORD \"-\" reads the operator's password from TARVELO_OPERATOR_PASSWORD.\n"
                 "  --mode forces the access mode; by default it follows the operator's mapping.\n";
}

}  // namespace

int main(int argc, char* argv[]) {
    std::setlocale(LC_ALL, "");
    std::vector<std::string> args;
    std::string mode;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-h" || a == "--help") {
            usage();
            return 0;
        }
        if (a.rfind("--mode=", 0) == 0) mode = a.substr(7);
        else args.push_back(a);
    }
    if (args.size() != 5 || (!mode.empty() && mode != "certificate" && mode != "oauth")) {
        usage();
        return kExitLogin;
    }
    if (args[4] == "-") {
        const char* p = std::getenv("TARVELO_OPERATOR_PASSWORD");
        args[4] = p ? p : "";
    }

    auto dm = std::make_unique<TdmCon>();
    dmCon = dm.get();
    auto anaf = std::make_unique<TfProcAnaf>();
    fProcAnaf = anaf.get();

    try {
        data::fillGlobalsFromCommandLine(*dm, args);
        data::configureErpConnection(*dm);
        data::checkOperator(*dm);
        data::readTaxpayerServiceAddress(*dm);
        data::readCompanyCode(*dm);
        data::readAccessMode(*dm);
    } catch (const std::exception& e) {
        std::cerr << e.what() << std::endl;
        return kExitLogin;
    }
    if (dm->glEuCuiNum.empty()) {
        std::cerr << "Codul fiscal al firmei (tabela eu) lipseste." << std::endl;
        return kExitLogin;
    }
    if (mode == "certificate") dm->glUseAnafAPI = false;
    if (mode == "oauth") dm->glUseAnafAPI = true;

    StreamLog log;
    try {
        retrieval::SpvRetrievalRun(*dm, *anaf, log).run();
    } catch (const std::exception& e) {
        std::cerr << e.what() << std::endl;
        return kExitStopped;
    }
    return 0;
}
