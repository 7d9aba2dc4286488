// What goes on the wire, byte for byte, read by a bare socket on loopback: the request line and
// its raw values, headers as given, form fields, the status text, and how a dead server ends.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "anaf/u_fProcAnaf.h"
#include "platform/http/http_client.h"

namespace {

// One connection: reads the whole request, then writes each step after its pause. A pause ends
// early when the client goes away.
class LoopbackServer {
public:
    struct Step {
        int pauseMs;
        std::string bytes;
    };
    explicit LoopbackServer(std::vector<Step> steps) : steps_(std::move(steps)) {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        socklen_t len = sizeof addr;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        listen(listener_, 1);
        thread_ = std::thread([this] { serve(); });
    }
    ~LoopbackServer() {
        shutdown(listener_, SHUT_RDWR);
        thread_.join();
        close(listener_);
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }
    std::string request() {
        thread_.join();
        thread_ = std::thread([] {});
        return request_;
    }

    static std::string answer(const std::string& statusLine, const std::string& contentType, const std::string& body) {
        return statusLine + "\r\nContent-Type: " + contentType + "\r\nContent-Length: " + std::to_string(body.size()) +
               "\r\nConnection: close\r\n\r\n" + body;
    }

private:
    void serve() {
        const int fd = accept(listener_, nullptr, nullptr);
        if (fd < 0) return;
        char buf[4096];
        while (true) {
            const auto end = request_.find("\r\n\r\n");
            if (end != std::string::npos) {
                const auto cl = request_.find("Content-Length: ");
                const size_t body = cl == std::string::npos ? 0 : std::stoul(request_.substr(cl + 16));
                if (request_.size() >= end + 4 + body) break;
            }
            const auto n = recv(fd, buf, sizeof buf, 0);
            if (n <= 0) break;
            request_.append(buf, static_cast<size_t>(n));
        }
        for (const auto& step : steps_) {
            pollfd p{fd, POLLIN, 0};
            if (step.pauseMs && poll(&p, 1, step.pauseMs) > 0) break;  // the client left
            send(fd, step.bytes.data(), step.bytes.size(), MSG_NOSIGNAL);
        }
        close(fd);
    }

    std::vector<Step> steps_;
    int listener_ = -1;
    int port_ = 0;
    std::string request_;
    std::thread thread_;
};

std::string requestHead(const std::string& request) { return request.substr(0, request.find("\r\n\r\n") + 4); }
std::string requestBody(const std::string& request) { return request.substr(request.find("\r\n\r\n") + 4); }

const std::string kOk = LoopbackServer::answer("HTTP/1.1 200 OK", "application/json", "{}");

}  // namespace

// Values go out as they are, except what would break the request line or change what the
// server reads: blanks and control characters, bytes outside ASCII, and " # % & + < > \ ^ ` { | }.
TEST(HttpWire, ParameterValuesStayRawUnlessTheyWouldBreakTheRequest) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"41801234", "41801234"},
        {"1709244000000", "1709244000000"},
        {"https://127.0.0.1:8443/callback?x=1", "https://127.0.0.1:8443/callback?x=1"},
        {"eyJhbGciOi.eyJzdWIi-_.c2ln~", "eyJhbGciOi.eyJzdWIi-_.c2ln~"},
        {"a=b,c;d:e@f!g*h'(i)$j", "a=b,c;d:e@f!g*h'(i)$j"},
        {"Test Hello App!", "Test%20Hello%20App!"},
        {"a&b=c", "a%26b=c"},
        {"a+b", "a%2Bb"},
        {"50%", "50%25"},
        {"x#y", "x%23y"},
        {"line\r\nX-Injected: 1", "line%0D%0AX-Injected:%201"},
        {"tab\tdel\x7f", "tab%09del%7F"},
        {"ș", "%C8%99"},
        {"<\"\\^`{|}>", "%3C%22%5C%5E%60%7B%7C%7D%3E"},
    };
    for (const auto& [value, wire] : cases) EXPECT_EQ(platform::http::encodeUnsafe(value), wire) << value;
}

TEST(HttpWire, RestGetCarriesItsQueryAcceptAndBearerExactly) {
    LoopbackServer server({{0, LoopbackServer::answer("HTTP/1.1 429 Too Many Requests",
                                                      "application/json; charset=utf-8", R"({"eroare":"limita"})")}});
    RestSet set;
    set.baseUrl = server.url() + "/";
    set.resource = "/prod/FCTEL/rest/listaMesajePaginatieFactura";
    set.accept = "application/json";
    set.params = {{"startTime", "1709244000000"}, {"cif", "41801234"}, {"pagina", "1"}};
    // an empty token: "Bearer " with its blank; odd characters, '%' included, as they are
    set.headers = {{"Authorization", "Bearer "}, {"X-Odd", "a b\"c%2F+;ș"}};
    set.execute({});
    const std::string head = requestHead(server.request());
    EXPECT_EQ(head.rfind("GET /prod/FCTEL/rest/listaMesajePaginatieFactura?startTime=1709244000000&cif=41801234&"
                         "pagina=1 HTTP/1.1\r\n",
                         0),
              0u)
        << head;
    EXPECT_NE(head.find("\r\nAuthorization: Bearer \r\n"), std::string::npos) << head;
    EXPECT_NE(head.find("\r\nX-Odd: a b\"c%2F+;ș\r\n"), std::string::npos) << head;
    EXPECT_NE(head.find("\r\nAccept: application/json\r\n"), std::string::npos) << head;
    // the server's reason phrase, the media type without its parameters, the raw content
    EXPECT_EQ(set.statusCode, 429);
    EXPECT_EQ(set.statusText, "Too Many Requests");
    EXPECT_EQ(set.responseType, "application/json");
    EXPECT_EQ(set.content, R"({"eroare":"limita"})");
}

TEST(HttpWire, PostWithoutBodySendsFormFieldsAndWithBodyKeepsTheQuery) {
    {
        LoopbackServer server({{0, kOk}});
        RestSet set;
        set.baseUrl = server.url();
        set.resource = "/anaf-oauth2/v1/token";
        set.method = "POST";
        set.params = {{"response_type", "token"}, {"client_id", "c1"}, {"client_secret", "s+/="},
                      {"redirect_uri", "https://cb.example/x"}, {"grant_type", "refresh_token"}};
        set.execute({});
        const std::string request = server.request();
        EXPECT_EQ(request.rfind("POST /anaf-oauth2/v1/token HTTP/1.1\r\n", 0), 0u) << request;
        EXPECT_NE(request.find("\r\nContent-Type: application/x-www-form-urlencoded\r\n"), std::string::npos);
        EXPECT_EQ(requestBody(request), "response_type=token&client_id=c1&client_secret=s%2B/=&"
                                        "redirect_uri=https://cb.example/x&grant_type=refresh_token");
    }
    {
        LoopbackServer server({{0, kOk}});
        RestSet set;
        set.baseUrl = server.url() + "/prod/FCTEL/rest";
        set.resource = "upload";
        set.method = "POST";
        set.params = {{"standard", "UBL"}, {"cif", "41801234"}};
        set.contentType = "application/xml";
        set.body = "<Invoice>ș</Invoice>";
        set.hasBody = true;
        set.execute({});
        const std::string request = server.request();
        EXPECT_EQ(request.rfind("POST /prod/FCTEL/rest/upload?standard=UBL&cif=41801234 HTTP/1.1\r\n", 0), 0u)
            << request;
        EXPECT_NE(request.find("\r\nContent-Type: application/xml; charset=UTF-8\r\n"), std::string::npos);
        EXPECT_EQ(requestBody(request), "<Invoice>ș</Invoice>");
    }
}

// Settings persist from one call to the next; emptying the parameter list also drops the headers,
// as the bearer header is one of the request's parameters.
TEST(HttpWire, ComponentSetKeepsItsSettingsButNotItsParametersOnceCleared) {
    LoopbackServer first({{0, kOk}});
    RestSet set;
    set.baseUrl = first.url();
    set.resource = "/a";
    set.accept = "application/xml";
    set.params = {{"id", "1"}};
    set.headers = {{"Authorization", "Bearer t"}};
    set.execute({});
    first.request();

    LoopbackServer second({{0, kOk}});
    set.baseUrl = second.url();
    set.clearParams();
    set.execute({});
    const std::string head = requestHead(second.request());
    EXPECT_EQ(head.rfind("GET /a HTTP/1.1\r\n", 0), 0u) << head;
    EXPECT_NE(head.find("\r\nAccept: application/xml\r\n"), std::string::npos);
    EXPECT_EQ(head.find("Authorization"), std::string::npos);
}

TEST(HttpWire, StalledServerIsAbandonedWithATextNamingOnlyTheServer) {
    // takes the request, then says nothing
    LoopbackServer server({{30000, kOk}});
    platform::http::Request request;
    request.url = server.url() + "/prod/FCTEL/rest/descarcare?id=secret-value";
    platform::http::TransportSettings settings;
    settings.stallSeconds = 1;
    try {
        platform::http::perform(request, settings);
        ADD_FAILURE() << "a stalled transfer did not end";
    } catch (const platform::http::Error& e) {
        EXPECT_EQ(std::string(e.what()), "Serverul " + server.url() +
                                              " nu mai raspunde: nu s-a primit nimic timp de 1 secunde, cererea a "
                                              "fost abandonata.");
    }
}

TEST(HttpWire, RefusedConnectionNamesTheServer) {
    std::string address;
    {
        LoopbackServer closed({});
        address = closed.url();
    }  // nobody listens there any more
    platform::http::Request request;
    request.url = address + "/x?token=secret-value";
    try {
        platform::http::perform(request);
        ADD_FAILURE() << "no error";
    } catch (const platform::http::Error& e) {
        const std::string text = e.what();
        EXPECT_EQ(text.rfind("Nu se poate face conexiunea cu serverul " + address + ": ", 0), 0u) << text;
        EXPECT_EQ(text.find("secret-value"), std::string::npos) << text;
    }
}
