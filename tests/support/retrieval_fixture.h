#pragma once
// A logged-in database module, the ANAF client and the stand-in, wired as a retrieval run needs.

#include <memory>
#include <string>
#include <vector>

#include "anaf/u_fProcAnaf.h"
#include "support/dm_fixture.h"
#include "support/standin_process.h"
#include "sync/spv_retrieval_run.h"

namespace testsupport {

struct CollectingLog : retrieval::RunLog {
    std::vector<std::string> summaryLines, detailLines;
    void summary(const std::string& line) override { summaryLines.push_back(line); }
    void detail(const std::string& line) override { detailLines.push_back(line); }
    void clearSummary() override { summaryLines.clear(); }
    static bool has(const std::vector<std::string>& lines, const std::string& part) {
        for (const auto& l : lines)
            if (l.find(part) != std::string::npos) return true;
        return false;
    }
};

struct RetrievalFixture {
    explicit RetrievalFixture(const StandinOptions& options = {}) : standin(options) {
        standin.exportEnvironment();
        anaf = std::make_unique<TfProcAnaf>();
        fProcAnaf = anaf.get();
        db.dm->glUser = "ana.popescu";
        db.dm->glEuCuiNum = "41801234";
    }
    ~RetrievalFixture() { fProcAnaf = nullptr; }

    int run(bool api, retrieval::RunLog& log) {
        db.dm->glUseAnafAPI = api;
        return retrieval::SpvRetrievalRun(*db.dm, *anaf, log).run();
    }
    std::string count(const std::string& where = "true") {
        return db.erp.scalar("SELECT count(*) FROM anaf_e_fact_msg_toate WHERE " + where);
    }

    DmFixture db;
    StandinProcess standin;
    std::unique_ptr<TfProcAnaf> anaf;
};

}  // namespace testsupport
