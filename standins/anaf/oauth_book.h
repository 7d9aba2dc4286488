#pragma once
// What the login host knows: registered OAuth clients, authorization codes it handed out, and
// the access tokens the API host accepts (issued here, given at start or by the admin call).

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>

namespace standin {

struct OAuthClient {
    std::string secret;
    std::string redirectUri;
};

class OAuthBook {
public:
    explicit OAuthBook(std::set<std::string> startTokens);

    bool accepts(const std::string& accessToken) const;
    void allow(const std::string& accessToken);
    // The token stops working on the API host (as an expired or revoked one does).
    void revoke(const std::string& token);
    // A new pair "at-N"/"rt-N"; the access token is accepted from now on.
    std::pair<std::string, std::string> issue(const std::string& clientId);
    // A refresh token is good unless it was revoked: the database may hold one issued before
    // this process started.
    bool refreshable(const std::string& refreshToken) const;

    void registerClient(const std::string& id, OAuthClient client);
    std::optional<OAuthClient> client(const std::string& id) const;

    // A single-use code, valid for ten minutes, bound to the client and the redirect address.
    std::string issueCode(const std::string& clientId, const std::string& redirectUri, std::int64_t now);
    // Empty when the code is good (and now used up), else why not.
    std::string redeemCode(const std::string& code, const std::string& clientId, const std::string& redirectUri,
                           std::int64_t now);

    void reset();

private:
    struct Code {
        std::string clientId, redirectUri;
        std::int64_t expires = 0;
    };
    mutable std::mutex mutex_;
    const std::set<std::string> startTokens_;
    std::set<std::string> accessTokens_;
    std::set<std::string> revoked_;
    std::map<std::string, OAuthClient> clients_;
    std::map<std::string, Code> codes_;
    std::uint64_t issued_ = 0;
};

}  // namespace standin
