// OAuth 2.0 as ANAF runs it: the login host's authorize and token endpoints, the callback
// service that receives the code, and the API host's test call.

#include <cctype>

#include "clock.h"
#include "http_util.h"
#include "request_log.h"
#include "standin.h"

namespace standin {
namespace {

void oauthError(httplib::Response& res, int status, const std::string& error, const std::string& description) {
    res.set_header("Cache-Control", "no-store");
    answerJson(res, status, {{"error", error}, {"error_description", description}});
}

std::string encodeComponent(const std::string& text) {
    static const char* const hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char ch : text) {
        if (std::isalnum(ch) || ch == '-' || ch == '_' || ch == '.' || ch == '~') {
            out += static_cast<char>(ch);
        } else {
            out += '%';
            out += hex[ch >> 4];
            out += hex[ch & 15];
        }
    }
    return out;
}

void authorize(Standin& s, Call& c) {
    const std::string clientId = c.param("client_id"), redirect = c.param("redirect_uri");
    if (c.param("response_type") != "code")
        return oauthError(c.res, 400, "unsupported_response_type", "response_type trebuie sa fie code");
    if (clientId.empty()) return oauthError(c.res, 400, "invalid_request", "client_id lipseste");
    if (redirect.empty()) return oauthError(c.res, 400, "invalid_request", "redirect_uri lipseste");
    // The registered callback: the client's own when the admin registered one, else this
    // stand-in's callback service.
    const auto client = s.oauth.client(clientId);
    const bool registered = client ? redirect == client->redirectUri
                                   : redirect == s.callbackUrl || redirect.rfind(s.callbackUrl + "/", 0) == 0 ||
                                         redirect.rfind(s.callbackUrl + "?", 0) == 0;
    if (!registered)
        return oauthError(c.res, 400, "invalid_request", "redirect_uri nu este adresa de callback inregistrata");
    std::string location = redirect + (redirect.find('?') == std::string::npos ? "?" : "&") + "code=" +
                           encodeComponent(s.oauth.issueCode(clientId, redirect, s.clock.now()));
    if (c.req.has_param("state")) location += "&state=" + encodeComponent(c.param("state"));
    c.res.set_redirect(location, 302);
}

bool basicCredentials(const httplib::Request& req, std::string& id, std::string& secret) {
    const std::string auth = req.get_header_value("Authorization");
    if (auth.rfind("Basic ", 0) != 0) return false;
    const std::string decoded = base64Decode(auth.substr(6));
    const auto colon = decoded.find(':');
    if (colon == std::string::npos) return false;
    id = decoded.substr(0, colon);
    secret = decoded.substr(colon + 1);
    return true;
}

void token(Standin& s, Call& c) {
    std::string clientId = c.param("client_id"), secret = c.param("client_secret");
    if (clientId.empty()) basicCredentials(c.req, clientId, secret);
    const std::string grant = c.param("grant_type");
    if (grant != "authorization_code" && grant != "refresh_token")
        return oauthError(c.res, 400, "unsupported_grant_type", "grant_type trebuie sa fie authorization_code sau refresh_token");
    if (clientId.empty() || secret.empty())
        return oauthError(c.res, 401, "invalid_client", "client_id si client_secret sunt obligatorii");
    if (const auto client = s.oauth.client(clientId); client && client->secret != secret)
        return oauthError(c.res, 401, "invalid_client", "client_secret gresit");
    if (grant == "authorization_code") {
        if (c.param("code").empty()) return oauthError(c.res, 400, "invalid_request", "code lipseste");
        const std::string why = s.oauth.redeemCode(c.param("code"), clientId, c.param("redirect_uri"), s.clock.now());
        if (!why.empty()) return oauthError(c.res, 400, "invalid_grant", why);
    } else if (!s.oauth.refreshable(c.param("refresh_token"))) {
        return oauthError(c.res, 400, "invalid_grant", "refresh_token invalid sau revocat");
    }
    const auto [access, refresh] = s.oauth.issue(clientId);
    c.res.set_header("Cache-Control", "no-store");
    answerJson(c.res, 200, {{"access_token", access}, {"token_type", "Bearer"}, {"refresh_token", refresh},
                            {"expires_in", 7776000}, {"scope", "anaf"}});
}

}  // namespace

bool serveOAuth(Standin& s, Call& c) {
    if (c.role == "login" && c.path == "/anaf-oauth2/v1/authorize") {
        authorize(s, c);
        return true;
    }
    if (c.role == "login" && c.path == "/anaf-oauth2/v1/token") {
        if (c.req.method == "POST") token(s, c);
        else oauthError(c.res, 405, "invalid_request", "cererea de token se face cu POST");
        return true;
    }
    if (c.role == "callback") {
        // The probe GET gets 200; the redirected authorize request gets the code back as JSON.
        if (c.req.has_param("code")) answerJson(c.res, 200, {{"code", c.param("code")}});
        else if (c.req.has_param("error")) answerJson(c.res, 200, {{"error", c.param("error")}});
        else c.res.set_content("Serviciul de callback OAuth functioneaza.", "text/plain; charset=utf-8");
        return true;
    }
    if (c.role == "api" && c.path == "/TestOauth/jaxrs/hello") {
        answerJson(c.res, 200, {{"message", "Hello " + c.param("name")}});
        return true;
    }
    return false;
}

}  // namespace standin
