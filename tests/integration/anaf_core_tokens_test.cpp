// OAuth tokens over real HTTPS against the stand-in: the bearer header, refresh, renewal through
// the authorization-code flow, the test call, and what each failure leaves in the database.
#include <gtest/gtest.h>

#include <functional>

#include "support/retrieval_fixture.h"

using testsupport::RetrievalFixture;

namespace {

const std::string kClient = "tarvelo-demo-client";

std::string errorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no error)";
}

std::string storedPair(RetrievalFixture& f, const std::string& cid = kClient) {
    return f.db.erp.scalar("SELECT coalesce(at, '<null>') || ' / ' || coalesce(rt, '<null>') FROM oauth2_client"
                           " WHERE cid = $1",
                           {platform::pg::Value(cid)});
}

struct TokenFixture : RetrievalFixture {
    TokenFixture() {
        db.central.exec("UPDATE oauth2_api_anaf_qor SET cbu = $1", {platform::pg::Value(callback())});
    }
    std::string callback() const { return standin.url("callback") + "/callback"; }
    std::string lastAuthorization() const {
        const auto log = standin.requests();
        return log.empty() ? "(no request)" : std::string(log.back()["headers"].value("Authorization", "(none)"));
    }
};

}  // namespace

TEST(AnafCoreTokens, BearerHeaderCarriesTheTokenReadAnewForEveryCall) {
    TokenFixture f;
    f.anaf->TestOAuthAnaf("eFact");
    EXPECT_EQ(f.lastAuthorization(), "Bearer demo-access-token");
    EXPECT_EQ(f.standin.requests().back()["target"], "/TestOauth/jaxrs/hello?name=Test%20Hello%20App!");

    // changed in the database between two calls: the next request carries the new one
    f.standin.addToken("token-nou");
    f.db.erp.exec("UPDATE oauth2_client SET at = 'token-nou' WHERE cid = $1", {platform::pg::Value(kClient)});
    f.anaf->TestOAuthAnaf("eFact");
    EXPECT_EQ(f.lastAuthorization(), "Bearer token-nou");

    // two clients for one user and service: the smallest cid wins
    f.db.erp.exec("INSERT INTO oauth2_client (cid, cs, at, rt) VALUES ('aaa-client', 's', 'token-aaa', 'r')");
    f.db.erp.exec("INSERT INTO oauth2_client_serviciu_em (emitent, serviciu, cid) VALUES ('ana.popescu', 'eFact',"
                  " 'aaa-client')");
    f.standin.addToken("token-aaa");
    f.anaf->TestOAuthAnaf("eFact");
    EXPECT_EQ(f.lastAuthorization(), "Bearer token-aaa");

    // characters outside a URL's alphabet go in the header as they are (the exact bytes, '%'
    // included, are checked on a raw socket by the unit tests: this server decodes '%XX')
    const std::string odd = "a b\"c/+;ș=";
    f.db.erp.exec("UPDATE oauth2_client SET at = $1 WHERE cid = 'aaa-client'", {platform::pg::Value(odd)});
    EXPECT_NE(errorOf([&] { f.anaf->TestOAuthAnaf("eFact"); }), "(no error)");
    EXPECT_EQ(f.lastAuthorization(), "Bearer " + odd);

    // a mapping without its client row: "Bearer " alone, the status rules decide (the stand-in
    // trims the blank when it parses the header)
    f.db.erp.exec("DELETE FROM oauth2_client WHERE cid = 'aaa-client'");
    const std::string error = errorOf([&] { f.anaf->TestOAuthAnaf("eFact"); });
    EXPECT_EQ(error.rfind("(TestOAuthAnaf) Eroare verificare autorizare AccessToken. StatusCode=401, content={", 0), 0u)
        << error;
    EXPECT_EQ(f.lastAuthorization(), "Bearer");
}

TEST(AnafCoreTokens, UnusableTokenOrUnmappedUserFailsBeforeAnyRequest) {
    TokenFixture f;
    f.db.dm->glUser = "ion.ionescu";
    EXPECT_EQ(errorOf([&] { f.anaf->TestOAuthAnaf("eFact"); }),
              "Userul \"ion.ionescu\", nu are drepturi de acces la serviciul = \"eFact\" "
              "(tabela oauth2_client_serviciu_em)");
    EXPECT_EQ(errorOf([&] { f.anaf->GetUserAccessToken("ana.popescu", "eFactura"); }),
              "Userul \"ana.popescu\", nu are drepturi de acces la serviciul = \"eFactura\" "
              "(tabela oauth2_client_serviciu_em)");

    // a line break would smuggle a header in: refused, and the text does not show the token
    f.db.dm->glUser = "ana.popescu";
    f.db.erp.exec("UPDATE oauth2_client SET at = E'tok-secret\\r\\nX-Injected: 1' WHERE cid = $1",
                  {platform::pg::Value(kClient)});
    const std::string error = errorOf([&] { f.anaf->TestOAuthAnaf("eFact"); });
    EXPECT_EQ(error, "Tokenul de acces contine caractere nepermise (tabela oauth2_client).");
    EXPECT_TRUE(f.standin.requests().empty());
}

TEST(AnafCoreTokens, RefreshStoresBothTokensOnlyFromACompleteAnswer) {
    TokenFixture f;
    int status = -1;
    std::string text = "old", content = "old";
    f.anaf->RefreshTokenAnaf("ana.popescu", "eFact", status, text, content);
    EXPECT_EQ(status, 200);
    EXPECT_EQ(text, "OK");
    const auto answer = nlohmann::json::parse(content);
    EXPECT_EQ(storedPair(f), answer["access_token"].get<std::string>() + " / " +
                                 answer["refresh_token"].get<std::string>());
    const auto request = f.standin.requests().back();
    EXPECT_EQ(request["target"], "/anaf-oauth2/v1/token");
    EXPECT_EQ(request["body"],
              "response_type=token&client_id=tarvelo-demo-client&client_secret=demo-client-secret&"
              "refresh_token=demo-refresh-token&grant_type=refresh_token");
    EXPECT_EQ(request["headers"]["Content-Type"], "application/x-www-form-urlencoded");
    const std::string stored = storedPair(f);

    struct Case {
        int status;
        std::string body, error;
    };
    const std::vector<Case> cases = {
        {200, R"({"access_token":"x"})", "(RefreshTokenAnaf) - EROARE - In raspunsul ANAF nu s-a gasit RefreshToken"},
        {200, R"({"refresh_token":"y","access_token":""})",
         "(RefreshTokenAnaf) - EROARE - In raspunsul ANAF nu s-a gasit AccessToken"},
        {200, "access_token=x&refresh_token=y", "(RefreshTokenAnaf) Eroare la parsare Json"},
        {200, R"(["x","y"])", "(RefreshTokenAnaf) Eroare la parsare Json"},
        {400, R"({"error":"invalid_grant"})", "(no error)"},
    };
    for (const auto& c : cases) {
        f.standin.fault({{"path", "/anaf-oauth2/v1/token"}, {"status", c.status}, {"body", c.body},
                         {"contentType", "application/json"}});
        status = -1;
        EXPECT_EQ(errorOf([&] { f.anaf->RefreshTokenAnaf("ana.popescu", "eFact", status, text, content); }), c.error)
            << c.body;
        EXPECT_EQ(storedPair(f), stored) << c.body;
    }
    // a status other than 200 is returned, not raised
    EXPECT_EQ(status, 400);
    EXPECT_EQ(text, "Bad Request");
    EXPECT_EQ(content, R"({"error":"invalid_grant"})");

    EXPECT_EQ(errorOf([&] { f.anaf->RefreshTokenAnaf("ion.ionescu", "eFact", status, text, content); }),
              "Userul \"ion.ionescu\", nu are drepturi de acces la serviciul = \"eFact\" "
              "(tabela oauth2_client_serviciu_em)");
}

TEST(AnafCoreTokens, RenewalRunsTheAuthorizationCodeFlowAndStoresThePair) {
    TokenFixture f;
    std::string at = "old", rt = "old";
    f.anaf->ReinnoireTokenAnaf("ana.popescu", "eFact", at, rt);
    ASSERT_FALSE(at.empty());
    ASSERT_FALSE(rt.empty());
    EXPECT_EQ(storedPair(f), at + " / " + rt);

    // probe, authorize (redirected to the callback), token: raw values in the order given
    const auto log = f.standin.requests();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0]["role"], "callback");
    EXPECT_EQ(log[0]["target"], "/callback");
    EXPECT_EQ(log[1]["target"], "/anaf-oauth2/v1/authorize?response_type=code&token_content_type=jwt&"
                                "client_id=tarvelo-demo-client&redirect_uri=" + f.callback());
    EXPECT_EQ(log[2]["role"], "callback");
    const std::string query = log[2]["query"];
    ASSERT_EQ(query.rfind("code=", 0), 0u);
    const std::string code = query.substr(5);
    EXPECT_EQ(log[3]["method"], "POST");
    EXPECT_EQ(log[3]["target"], "/anaf-oauth2/v1/token");
    EXPECT_EQ(log[3]["body"], "response_type=token&token_content_type=jwt&code=" + code +
                                  "&client_id=tarvelo-demo-client&client_secret=demo-client-secret&redirect_uri=" +
                                  f.callback() + "&grant_type=authorization_code");

    // the new token opens the API host
    f.anaf->TestOAuthAnaf("eFact");
    EXPECT_EQ(f.lastAuthorization(), "Bearer " + at);

    // an empty code: no tokens, no error, nothing written
    const std::string stored = storedPair(f);
    f.standin.fault({{"path", "/callback"}, {"status", 200}, {"body", "ok"}});
    f.standin.fault({{"path", "/callback"}, {"status", 200}, {"body", R"({"code":""})"}});
    EXPECT_EQ(errorOf([&] { f.anaf->ReinnoireTokenAnaf("ana.popescu", "eFact", at, rt); }), "(no error)");
    EXPECT_EQ(at + rt, "");
    EXPECT_EQ(storedPair(f), stored);

    // a client without secret stops before any request
    f.db.erp.exec("UPDATE oauth2_client SET cs = '' WHERE cid = $1", {platform::pg::Value(kClient)});
    f.standin.clearLog();
    EXPECT_EQ(errorOf([&] { f.anaf->ReinnoireTokenAnaf("ana.popescu", "eFact", at, rt); }),
              "(ReinnoireTokenAnaf) - Nu aveti completat Client Secret in tabela \"oauth2_client\". ");
    EXPECT_EQ(errorOf([&] { f.anaf->ReinnoireTokenAnaf("ion.ionescu", "eFact", at, rt); }),
              "(ReinnoireTokenAnaf) - Userul \"ion.ionescu\", nu are drepturi de acces la serviciul = \"eFact\" "
              "(tabela oauth2_client_serviciu_em)");
    EXPECT_TRUE(f.standin.requests().empty());
    EXPECT_EQ(storedPair(f), stored);
}

TEST(AnafCoreTokens, GenerationFailsAtEachStepWithItsMessageAndReturnsNothing) {
    TokenFixture f;
    using Faults = std::vector<nlohmann::json>;
    const nlohmann::json probeOk = {{"path", "/callback"}, {"status", 200}, {"body", "ok"}};
    struct Case {
        Faults faults;
        std::string error;
    };
    const std::vector<Case> cases = {
        {{{{"path", "/callback"}, {"status", 503}, {"body", "jos"}}},
         "(GenerareTokenAnaf) - EROARE - Nu functioneaza CallBack URL. Status Code = 503, content = jos"},
        {{{{"path", "/anaf-oauth2/v1/authorize"}, {"status", 401}, {"body", "fara certificat"}}},
         "(GenerareTokenAnaf) - EROARE obtinere cod autorizare. Status Code = 401, content = fara certificat"},
        {{probeOk, {{"path", "/callback"}, {"status", 200}, {"body", "raspuns fara cod"}}},
         "(GenerareTokenAnaf) - EROARE - In raspunsul ANAF nu s-a gasit codul de autorizare.RaspunsANAF: "
         "raspuns fara cod"},
        {{{{"path", "/anaf-oauth2/v1/token"}, {"status", 400}, {"body", "cod expirat"}}},
         "(GenerareTokenAnaf) - EROARE obtinere AccessToken si RefreshToken. Status Code = 400, content = cod expirat"},
        {{{{"path", "/anaf-oauth2/v1/token"}, {"status", 200}, {"body", R"({"refresh_token":"r"})"}}},
         "(GenerareTokenAnaf) - EROARE - In raspunsul ANAF nu s-a gasit AccessToken."},
        {{{{"path", "/anaf-oauth2/v1/token"}, {"status", 200}, {"body", R"({"access_token":"a"})"}}},
         "(GenerareTokenAnaf) - EROARE - In raspunsul ANAF nu s-a gasit RefreshToken."},
    };
    for (const auto& c : cases) {
        f.standin.clearFaults();
        for (const auto& fault : c.faults) f.standin.fault(fault);
        std::string at = "old", rt = "old";
        EXPECT_EQ(errorOf([&] { f.anaf->GenerareTokenAnaf(kClient, "demo-client-secret", at, rt); }), c.error);
        EXPECT_EQ(at + rt, "") << c.error;
    }
    // a plain-text answer with name=value pairs also carries the code
    f.standin.clearFaults();
    f.standin.fault(probeOk);
    f.standin.fault({{"path", "/callback"}, {"status", 200}, {"body", "state=x&code="}});
    std::string at = "old", rt = "old";
    EXPECT_EQ(errorOf([&] { f.anaf->GenerareTokenAnaf(kClient, "demo-client-secret", at, rt); }), "(no error)");
    EXPECT_EQ(at + rt, "");
    EXPECT_EQ(storedPair(f), "demo-access-token / demo-refresh-token");
}

// A call that died on the wire must not leave its token in the shared general set, where the next
// operation (the callback probe of a generation) would carry it to another server.
TEST(AnafCoreTokens, NoSecretOutlivesAFailedCallOrAppearsInItsError) {
    TokenFixture f;
    f.standin.fault({{"path", "/TestOauth"}, {"drop", true}});
    const std::string dropped = errorOf([&] { f.anaf->TestOAuthAnaf("eFact"); });
    EXPECT_EQ(dropped.find("demo-access-token"), std::string::npos) << dropped;
    EXPECT_EQ(dropped.rfind("Eroare de comunicatie cu serverul " + f.standin.url("api") + ": ", 0), 0u) << dropped;

    f.standin.clearLog();
    f.standin.fault({{"path", "/callback"}, {"status", 503}, {"body", "jos"}});
    EXPECT_NE(errorOf([&] {
                  std::string at, rt;
                  f.anaf->GenerareTokenAnaf(kClient, "demo-client-secret", at, rt);
              }),
              "(no error)");
    const auto probe = f.standin.requests().back();
    EXPECT_EQ(probe["role"], "callback");
    EXPECT_FALSE(probe["headers"].contains("Authorization"));

    f.standin.fault({{"path", "/anaf-oauth2/v1/token"}, {"drop", true}});
    int status = 0;
    std::string text, content;
    const std::string refresh = errorOf([&] { f.anaf->RefreshTokenAnaf("ana.popescu", "eFact", status, text, content); });
    for (const char* secret : {"demo-client-secret", "demo-refresh-token", "demo-access-token"})
        EXPECT_EQ(refresh.find(secret), std::string::npos) << refresh;
    EXPECT_TRUE(f.anaf->RESTClientAnaf.params.empty());
}
