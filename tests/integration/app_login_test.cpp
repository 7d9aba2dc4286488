// The login steps and the shared statements of the database module against real databases.
#include <gtest/gtest.h>

#include "data/u_login.h"
#include "support/dm_fixture.h"

using platform::pg::makeDate;
using platform::pg::Value;
using testsupport::DmFixture;

namespace {

std::string loginError(DmFixture& f, const std::string& user, const std::string& password) {
    data::fillGlobalsFromCommandLine(*f.dm, f.commandLine(user, password));
    data::configureErpConnection(*f.dm);
    try {
        data::checkOperator(*f.dm);
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

}  // namespace

TEST(Login, OperatorAndPasswordMustMatchExactly) {
    DmFixture f;
    f.erp.exec("INSERT INTO emitent (emitent, operator_parola) VALUES ('fara.parola', NULL)");
    EXPECT_EQ(loginError(f, "ion.ionescu", "demo123"), "");
    EXPECT_EQ(f.dm->glUser, "ion.ionescu");
    struct Case {
        const char* user;
        const char* password;
    };
    for (const Case c : {Case{"ION.IONESCU", "demo123"}, Case{"ion.ionescu", "DEMO123"},
                         Case{"ion.ionescu", ""}, Case{"fara.parola", ""},
                         Case{"nimeni", "demo123"}, Case{"x' OR '1'='1", "x' OR '1'='1"}})
        EXPECT_EQ(loginError(f, c.user, c.password), "User, password eronate.") << c.user;
}

TEST(Login, AccessModeFollowsTheOperatorsEFactMapping) {
    DmFixture f;
    f.dm->glUser = "ana.popescu";
    EXPECT_TRUE(data::readAccessMode(*f.dm));
    f.dm->glUser = "ion.ionescu";
    EXPECT_FALSE(data::readAccessMode(*f.dm));
    f.dm->glUser = "maria.eTransp";  // eTransp only
    EXPECT_FALSE(data::readAccessMode(*f.dm));

    // Two eFact mappings, one of them to a client without a row: the first by cid wins and
    // the outer join still gives it.
    f.erp.exec(
        "INSERT INTO oauth2_client_serviciu_em (emitent, serviciu, cid) VALUES"
        " ('ion.ionescu', 'eFact', 'z-client'), ('ion.ionescu', 'eFact', 'a-no-row')");
    f.dm->glUser = "ion.ionescu";
    EXPECT_TRUE(data::readAccessMode(*f.dm));
    auto& q = f.dm->dsOauth2Emitent;
    q.setParam("pEmitent", std::string("ion.ionescu"));
    q.setParam("pServiciu", std::string("eFact"));
    q.open();
    ASSERT_EQ(q.rowCount(), 1);
    EXPECT_EQ(q.field("cid").asString(), "a-no-row");
    EXPECT_TRUE(q.field("at").isNull());
    q.close();
}

TEST(Login, CompanyCodeKeepsOnlyTheDigits) {
    DmFixture f;
    f.erp.exec("UPDATE eu SET cod_cci = 'RO 123-45'");
    data::readCompanyCode(*f.dm);
    EXPECT_EQ(f.dm->glEuCuiNum, "12345");
    f.erp.exec("DELETE FROM eu");
    data::readCompanyCode(*f.dm);
    EXPECT_EQ(f.dm->glEuCuiNum, "");
}

TEST(Login, CentralLookupReadsTheAddressAndGivesTheConnectionBack) {
    DmFixture f;
    f.central.exec(
        "UPDATE servicii_web_anaf SET base_url_serviciu_web = 'https://contribuabili.example/api'"
        " WHERE serviciu_web = 'contribuabili'");
    data::readTaxpayerServiceAddress(*f.dm);
    EXPECT_EQ(f.dm->glUrlAnafContribuabili, "https://contribuabili.example/api");
    EXPECT_FALSE(f.dm->conQorGen.isConnected());

    f.central.exec("DELETE FROM servicii_web_anaf");
    data::readTaxpayerServiceAddress(*f.dm);
    EXPECT_EQ(f.dm->glUrlAnafContribuabili, "");

    f.dm->conQorGen.settings().port = 1;  // central database unreachable
    EXPECT_THROW(data::readTaxpayerServiceAddress(*f.dm), platform::pg::Error);
    EXPECT_FALSE(f.dm->dsServiciiWebAnaf.isOpen());
}

TEST(Login, ConnectionsReportTheirApplicationNames) {
    DmFixture f;
    platform::pg::Query erpName(f.dm->conQor,
                                "SELECT application_name FROM pg_stat_activity WHERE pid = pg_backend_pid()");
    erpName.open();
    EXPECT_EQ(erpName.field("application_name").asString(), "Tarvelo");
    platform::pg::Query centralName(
        f.dm->conQorGen, "SELECT application_name FROM pg_stat_activity WHERE pid = pg_backend_pid()");
    centralName.open();
    // the test program's own file name, cut at its first dot
    EXPECT_EQ(centralName.field("application_name").asString(), data::applicationTitle());
    EXPECT_EQ(data::applicationTitle(), "integration_app_login_test");
}

TEST(SharedStatements, AppendTargetHasNoRowsAndPostingInsertsIntoTheTable) {
    DmFixture f(false);
    auto& q = f.dm->dsAnafEfactMsgToate;
    q.open();
    EXPECT_TRUE(q.isEmpty());
    q.append();
    q.setField("msg_data_creare", std::string("202403011030"));
    q.setField("msg_id", std::string("3001"));
    q.setField("msg_zip", platform::pg::Bytes{'P', 'K'});
    q.post();
    q.close();
    EXPECT_EQ(f.erp.scalar("SELECT msg_id || ':' || encode(msg_zip, 'escape') FROM anaf_e_fact_msg_toate"),
              "3001:PK");
}

TEST(SharedStatements, SupplierMessagesByCreationDayIncludeTheWholeEndDay) {
    DmFixture f(false);
    f.erp.exec(
        "INSERT INTO anaf_e_fact_furn_msg (msg_data_creare, msg_id, msg_tip, msg_xml) VALUES"
        " ('202403012359', '1', 'FACTURA PRIMITA', NULL),"
        " ('202403020000', '2', 'FACTURA PRIMITA', NULL),"
        " ('202402290000', '3', 'FACTURA PRIMITA', 'not xml')");
    auto& q = f.dm->dsAnafFurnMsg;
    q.setParam("pDataIncep", makeDate(2024, 2, 29));
    q.setParam("pDataSfarsit", makeDate(2024, 3, 1));
    q.open();
    ASSERT_EQ(q.rowCount(), 2);
    EXPECT_EQ(q.field("msg_id").asString(), "1");  // newest first
    EXPECT_EQ(q.field("msg_data_creare_d").asString(), "2024-03-01 23:59:00.000000");
    q.next();
    EXPECT_EQ(q.field("msg_id").asString(), "3");
    EXPECT_FALSE(q.field("err_xml").asString().empty());  // unreadable XML is described, not raised
    q.close();

    q.setParam("pDataIncep", makeDate(2024, 3, 2));
    q.setParam("pDataSfarsit", makeDate(2024, 3, 1));
    q.open();
    EXPECT_TRUE(q.isEmpty());
    q.close();
}
