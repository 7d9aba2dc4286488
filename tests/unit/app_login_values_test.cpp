#include <gtest/gtest.h>

#include "data/u_dmCon.h"
#include "data/u_login.h"

TEST(ApplicationTitle, IsTheProgramFileNameCutAtItsFirstDot) {
    EXPECT_EQ(data::applicationTitleFromPath("/opt/x/a.b.c"), "a");
    EXPECT_EQ(data::applicationTitleFromPath("C:/Program Files/a.b.c.exe"), "a");
    EXPECT_EQ(data::applicationTitleFromPath("tarvelo"), "tarvelo");
}

TEST(CommandLine, FiveArgumentsAreTakenAnyOtherCountGivesTheDefaults) {
    TdmCon dm;
    data::fillGlobalsFromCommandLine(dm, {"db.example", "firma", "6543", "ion", "pw"});
    EXPECT_EQ(dm.glServer, "db.example");
    EXPECT_EQ(dm.glDataBase, "firma");
    EXPECT_EQ(dm.glPort, 6543);
    EXPECT_EQ(dm.glUser, "ion");
    EXPECT_EQ(dm.glUserP, "pw");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"a", "b", "1", "c"}, {"a", "b", "1", "c", "d", "e"}}) {
        data::fillGlobalsFromCommandLine(dm, args);
        EXPECT_EQ(dm.glServer, data::kDefaultDbServer);
        EXPECT_EQ(dm.glDataBase, "qor1");
        EXPECT_EQ(dm.glPort, 5432);
        EXPECT_EQ(dm.glUser, data::kDefaultOperator);
        EXPECT_EQ(dm.glUserP, data::defaultOperatorPassword());
    }
}

TEST(CommandLine, APortThatIsNotAnIntegerIsRefusedNamingTheText) {
    TdmCon dm;
    try {
        data::fillGlobalsFromCommandLine(dm, {"s", "d", "54x", "u", "p"});
        FAIL() << "no error";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "'54x' is not a valid integer value");
    }
    EXPECT_EQ(data::toInteger(" 5433 "), 5433);
    EXPECT_THROW(data::toInteger(""), std::invalid_argument);
    EXPECT_THROW(data::toInteger("99999999999"), std::invalid_argument);
}

TEST(BuiltInSecrets, DecodeToTheSandboxDefaultsAndHonourTheEnvironment) {
    unsetenv("TARVELO_DB_PASSWORD");
    EXPECT_EQ(data::databaseAccountPassword(), "qor-tarvelo");
    EXPECT_EQ(data::defaultOperatorPassword(), "demo123");
    setenv("TARVELO_DB_PASSWORD", "other", 1);
    EXPECT_EQ(data::databaseAccountPassword(), "other");
    unsetenv("TARVELO_DB_PASSWORD");
}
