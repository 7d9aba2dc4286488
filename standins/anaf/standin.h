#pragma once
// The stand-in's whole state, shared by the servers of every role, and the entry points of the
// handlers. Each role serves on its own port; `handle` answers a request to one of them.

#include <httplib.h>

#include <atomic>
#include <set>
#include <string>

#include "clock.h"
#include "faults.h"
#include "filings.h"
#include "mailbox.h"
#include "oauth_book.h"
#include "request_log.h"

namespace standin {

struct Standin {
    Standin(const MailboxOptions& mailboxOptions, std::int64_t now, std::set<std::string> tokens, int pageSize)
        : clock(now), mailbox(mailboxOptions, clock), oauth(std::move(tokens)), pageSize(pageSize),
          startPageSize(pageSize) {}

    // Back to the state after start: log, faults, filings, registrations, page size, mailbox.
    void reset() {
        log.clear();
        faults.clear();
        oauth.reset();
        uploads.reset();
        transports.reset();
        pageSize = startPageSize;
        mailbox.reset();
    }

    Clock clock;
    Mailbox mailbox;
    RequestLog log;
    FaultQueue faults;
    OAuthBook oauth;
    UploadBook uploads;
    TransportBook transports;
    std::atomic<int> pageSize;
    const int startPageSize;
    std::string callbackUrl;  // the callback role's address, set before serving
};

// One request as the handlers see it.
struct Call {
    const std::string& role;
    const httplib::Request& req;
    httplib::Response& res;
    std::string path;           // decoded, repeated slashes folded
    const Fault* fault;         // a queued fault that changes the answer (zip, pages), or null
    std::string param(const char* name) const { return req.get_param_value(name); }
};

void handle(Standin& s, const std::string& role, const httplib::Request& req, httplib::Response& res);
void installAdmin(Standin& s, httplib::Server& server);

// Each returns false when the request is not one of its own.
bool serveEfactura(Standin& s, Call& c);
bool serveEtransport(Standin& s, Call& c);
bool serveOAuth(Standin& s, Call& c);
bool serveServices(Standin& s, Call& c);

}  // namespace standin
