#include <nlohmann/json.hpp>

#include "anaf/u_fProcAnaf.h"
#include "data/u_dmCon.h"

namespace {

const std::string kQuote = "\"";

std::string noAccessText(const std::string& user, const std::string& service) {
    return "Userul " + kQuote + user + kQuote + ", nu are drepturi de acces la serviciul = " + kQuote + service +
           kQuote + " (tabela oauth2_client_serviciu_em)";
}

struct Mapping {
    std::string cid, cs, at, rt;
};

// The operator's client for a service; nullopt when there is no mapping row.
std::optional<Mapping> readMapping(const std::string& user, const std::string& service) {
    auto& q = dmCon->dsOauth2Emitent;
    q.close();
    q.setParam("pEmitent", user);
    q.setParam("pServiciu", service);
    q.open();
    std::optional<Mapping> m;
    if (!q.isEmpty())
        m = Mapping{q.field("cid").asString(), q.field("cs").asString(), q.field("at").asString(),
                    q.field("rt").asString()};
    q.close();
    return m;
}

// A simple value of an answer: a member of a JSON object, or a name=value pair of a text answer.
std::optional<std::string> simpleValue(const std::string& content, const std::string& name) {
    const auto json = nlohmann::json::parse(content, nullptr, false);
    if (!json.is_discarded() && json.is_object()) {
        const auto it = json.find(name);
        if (it == json.end()) return std::nullopt;
        return it->is_string() ? it->get<std::string>() : it->dump();
    }
    size_t pos = 0;
    while (pos <= content.size()) {
        size_t end = content.find_first_of("&\r\n", pos);
        if (end == std::string::npos) end = content.size();
        const std::string pair = content.substr(pos, end - pos);
        const auto eq = pair.find('=');
        if (eq != std::string::npos && pair.substr(0, eq) == name) return pair.substr(eq + 1);
        pos = end + 1;
    }
    return std::nullopt;
}

// Secrets and the bearer header leave the component set once the request is over, whether it
// succeeded or not: the sets outlive the call and are shared by every operation.
struct ForgetSecrets {
    RestSet& set;
    ~ForgetSecrets() { set.clearParams(); }
};

}  // namespace

std::string TfProcAnaf::GetUserAccessToken(const std::string& pUser, const std::string& pServiciu) {
    const auto m = readMapping(pUser, pServiciu);
    if (!m) throw AnafError(noAccessText(pUser, pServiciu));
    return m->at;
}

void TfProcAnaf::RefreshTokenAnaf(const std::string& pUser, const std::string& pServiciu, int& pStatusCode,
                                  std::string& pStatusText, std::string& pContent) {
    pStatusText.clear();
    pContent.clear();
    const auto m = readMapping(pUser, pServiciu);
    if (!m) throw AnafError(noAccessText(pUser, pServiciu));
    prepareAnafSet(AnafLoginBaseUrl, "/anaf-oauth2/v1/token", "POST", "", nullptr);
    RESTClientAnaf.params = {{"response_type", "token"},
                             {"client_id", m->cid},
                             {"client_secret", m->cs},
                             {"refresh_token", m->rt},
                             {"grant_type", "refresh_token"}};
    {
        ForgetSecrets forget{RESTClientAnaf};
        RESTClientAnaf.execute(certificateChooser());
    }
    if (RESTClientAnaf.statusCode == 200) {
        const auto json = nlohmann::json::parse(RESTClientAnaf.content, nullptr, false);
        if (json.is_discarded() || !json.is_object()) throw AnafError("(RefreshTokenAnaf) Eroare la parsare Json");
        auto member = [&](const char* name) {
            const auto it = json.find(name);
            return it != json.end() && it->is_string() ? it->get<std::string>() : std::string();
        };
        const std::string at = member("access_token"), rt = member("refresh_token");
        if (at.empty()) throw AnafError("(RefreshTokenAnaf) - EROARE - In raspunsul ANAF nu s-a gasit AccessToken");
        if (rt.empty()) throw AnafError("(RefreshTokenAnaf) - EROARE - In raspunsul ANAF nu s-a gasit RefreshToken");
        auto& c = dmCon->dsOauth2Client;
        c.close();
        c.setUpdateTable("oauth2_client", {"cid"});
        c.setParam("pCid", m->cid);
        c.open();
        try {
            c.edit();
            c.setField("at", at);
            c.setField("rt", rt);
            c.post();
        } catch (...) {
            c.cancel();
            c.close();
            throw;
        }
        c.close();
    }
    pStatusCode = RESTClientAnaf.statusCode;
    pStatusText = RESTClientAnaf.statusText;
    pContent = RESTClientAnaf.content;
}

void TfProcAnaf::ReinnoireTokenAnaf(const std::string& pUser, const std::string& pServiciu,
                                    std::string& pAccessToken, std::string& pRefreshToken) {
    pAccessToken.clear();
    pRefreshToken.clear();
    const auto m = readMapping(pUser, pServiciu);
    if (!m) throw AnafError("(ReinnoireTokenAnaf) - " + noAccessText(pUser, pServiciu));
    if (m->cs.empty())
        throw AnafError("(ReinnoireTokenAnaf) - Nu aveti completat Client Secret in tabela " + kQuote +
                        "oauth2_client" + kQuote + ". ");
    (fProcAnaf ? fProcAnaf : this)->GenerareTokenAnaf(m->cid, m->cs, pAccessToken, pRefreshToken);
    if (!pAccessToken.empty() && !pRefreshToken.empty()) {
        auto& u = PgSQLUpd_oauth2_client();
        u.setParam("pAccessToken", pAccessToken);
        u.setParam("pRefreshToken", pRefreshToken);
        u.setParam("pCid", m->cid);
        u.execute();
    }
}

void TfProcAnaf::GenerareTokenAnaf(const std::string& pClientId, const std::string& pClientSecret,
                                   std::string& pAccessToken, std::string& pRefreshToken) {
    pAccessToken.clear();
    pRefreshToken.clear();
    std::string cbu;
    auto& reg = dmCon->dsOauth2ApiAnafQor;
    try {
        reg.open();
        if (!reg.isEmpty()) cbu = reg.field("cbu").asString();
    } catch (...) {
        dmCon->releaseCentral(reg);
        throw;
    }
    dmCon->releaseCentral(reg);

    const auto chooser = certificateChooser();
    RESTClient1.baseUrl = cbu;
    RESTClient1.resource.clear();
    RESTClient1.method = "GET";
    RESTClient1.clearParams();  // nothing of an earlier call (a bearer header) goes to the callback
    RESTClient1.body.clear();
    RESTClient1.hasBody = false;
    RESTClient1.execute(chooser);
    if (RESTClient1.statusCode != 200)
        throw AnafError(generareTokenErrText(" - Nu functioneaza CallBack URL.", RESTClient1.statusCode,
                                             RESTClient1.content));

    RESTClient1.resetToDefaults();
    RESTClient1.baseUrl = AnafLoginBaseUrl + "/anaf-oauth2/v1/authorize";
    RESTClient1.params = {{"response_type", "code"},
                          {"token_content_type", "jwt"},
                          {"client_id", pClientId},
                          {"redirect_uri", cbu}};
    RESTClient1.execute(chooser);
    if (RESTClient1.statusCode != 200)
        throw AnafError(generareTokenErrText(" obtinere cod autorizare.", RESTClient1.statusCode,
                                             RESTClient1.content));
    const auto code = simpleValue(RESTClient1.content, "code");
    if (!code)
        throw AnafError("(GenerareTokenAnaf) - EROARE - In raspunsul ANAF nu s-a gasit codul de autorizare.RaspunsANAF: " +
                        RESTClient1.content);
    if (code->empty()) return;

    RESTClient1.baseUrl = AnafLoginBaseUrl + "/anaf-oauth2/v1/token";
    RESTClient1.method = "POST";
    RESTClient1.hasBody = false;
    RESTClient1.params = {{"response_type", "token"}, {"token_content_type", "jwt"},
                          {"code", *code},            {"client_id", pClientId},
                          {"client_secret", pClientSecret}, {"redirect_uri", cbu},
                          {"grant_type", "authorization_code"}};
    {
        ForgetSecrets forget{RESTClient1};
        RESTClient1.execute(chooser);
    }
    if (RESTClient1.statusCode != 200)
        throw AnafError(generareTokenErrText(" obtinere AccessToken si RefreshToken.", RESTClient1.statusCode,
                                             RESTClient1.content));
    const auto at = simpleValue(RESTClient1.content, "access_token");
    if (!at) throw AnafError("(GenerareTokenAnaf) - EROARE - In raspunsul ANAF nu s-a gasit AccessToken.");
    const auto rt = simpleValue(RESTClient1.content, "refresh_token");
    if (!rt) throw AnafError("(GenerareTokenAnaf) - EROARE - In raspunsul ANAF nu s-a gasit RefreshToken.");
    pAccessToken = *at;
    pRefreshToken = *rt;
}

void TfProcAnaf::TestOAuthAnaf(const std::string& pServiciu) {
    const std::string authorization = bearerValue(GetUserAccessToken(dmCon->glUser, pServiciu));
    RESTClient1.baseUrl = AnafApiBaseUrl + "/TestOauth/jaxrs/hello";
    RESTClient1.resource.clear();
    RESTClient1.method = "GET";
    RESTClient1.clearParams();
    RESTClient1.body.clear();
    RESTClient1.hasBody = false;
    RESTClient1.params = {{"name", "Test Hello App!"}};
    RESTClient1.headers = {{"Authorization", authorization}};
    {
        ForgetSecrets forget{RESTClient1};  // the token is used for one request only
        RESTClient1.execute(certificateChooser());
    }
    if (RESTClient1.statusCode != 200)
        throw AnafError(testOAuthErrText(RESTClient1.statusCode, RESTClient1.content));
}
