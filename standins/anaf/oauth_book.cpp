#include "oauth_book.h"

namespace standin {

OAuthBook::OAuthBook(std::set<std::string> startTokens)
    : startTokens_(std::move(startTokens)), accessTokens_(startTokens_) {}

bool OAuthBook::accepts(const std::string& accessToken) const {
    std::lock_guard lock(mutex_);
    return accessTokens_.count(accessToken) != 0;
}

void OAuthBook::allow(const std::string& accessToken) {
    std::lock_guard lock(mutex_);
    accessTokens_.insert(accessToken);
    revoked_.erase(accessToken);
}

void OAuthBook::revoke(const std::string& token) {
    std::lock_guard lock(mutex_);
    accessTokens_.erase(token);
    revoked_.insert(token);
}

std::pair<std::string, std::string> OAuthBook::issue(const std::string&) {
    std::lock_guard lock(mutex_);
    const std::string n = std::to_string(++issued_);
    accessTokens_.insert("at-" + n);
    return {"at-" + n, "rt-" + n};
}

bool OAuthBook::refreshable(const std::string& refreshToken) const {
    std::lock_guard lock(mutex_);
    return !refreshToken.empty() && revoked_.count(refreshToken) == 0;
}

void OAuthBook::registerClient(const std::string& id, OAuthClient client) {
    std::lock_guard lock(mutex_);
    clients_[id] = std::move(client);
}

std::optional<OAuthClient> OAuthBook::client(const std::string& id) const {
    std::lock_guard lock(mutex_);
    const auto found = clients_.find(id);
    if (found == clients_.end()) return std::nullopt;
    return found->second;
}

std::string OAuthBook::issueCode(const std::string& clientId, const std::string& redirectUri, std::int64_t now) {
    std::lock_guard lock(mutex_);
    const std::string code = "code-" + std::to_string(++issued_);
    codes_[code] = {clientId, redirectUri, now + 600};
    return code;
}

std::string OAuthBook::redeemCode(const std::string& code, const std::string& clientId,
                                  const std::string& redirectUri, std::int64_t now) {
    std::lock_guard lock(mutex_);
    const auto found = codes_.find(code);
    if (found == codes_.end()) return "Codul de autorizare este invalid sau a fost deja folosit";
    const Code c = found->second;
    codes_.erase(found);
    if (c.expires < now) return "Codul de autorizare a expirat";
    if (c.clientId != clientId) return "Codul de autorizare a fost emis pentru alt client_id";
    if (!redirectUri.empty() && c.redirectUri != redirectUri) return "redirect_uri difera de cel din cererea de autorizare";
    return {};
}

void OAuthBook::reset() {
    std::lock_guard lock(mutex_);
    accessTokens_ = startTokens_;
    revoked_.clear();
    clients_.clear();
    codes_.clear();
}

}  // namespace standin
