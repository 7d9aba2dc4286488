#pragma once
// A database module wired to throw-away ERP and central databases, as the login leaves it.

#include <memory>

#include "data/u_dmCon.h"
#include "support/test_database.h"

namespace testsupport {

struct DmFixture {
    explicit DmFixture(bool withDemoData = true)
        : erp(TestDatabase::Kind::Erp, withDemoData),
          central(TestDatabase::Kind::Central, withDemoData),
          dm(std::make_unique<TdmCon>()) {
        dmCon = dm.get();
        dm->conQor.settings() = erp.settings();
        dm->conQor.settings().applicationName = "Tarvelo";
        const auto c = central.settings();
        auto& s = dm->conQorGen.settings();
        s.host = c.host;
        s.port = c.port;
        s.database = c.database;
        s.password = c.password;
    }
    ~DmFixture() {
        dm.reset();
        dmCon = nullptr;
    }
    // The command line that logs `user` in against the test database.
    std::vector<std::string> commandLine(const std::string& user, const std::string& password) const {
        const auto s = erp.settings();
        return {s.host, s.database, std::to_string(s.port), user, password};
    }

    TestDatabase erp;
    TestDatabase central;
    std::unique_ptr<TdmCon> dm;
};

}  // namespace testsupport
