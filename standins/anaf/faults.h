#pragma once
// Faults a test queues for the next requests of a path: an answer of its own, a delay, a dropped
// connection, a broken archive, an "eroare" answer, a changed page count.

#include <deque>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace standin {

struct Fault {
    std::string path;         // the decoded request path must start with this
    std::string role;         // only requests to this role ("api", "cert"...); empty = any
    std::string method;       // only this method; empty = any
    int status = 0;           // with body/contentType: answer these (0 = 200)
    std::string body;
    std::string contentType;  // default "application/json"
    int delayMs = 0;          // wait before answering (alone: then answer as usual)
    bool drop = false;        // close the connection without any answer
    std::string zip;          // download: "one" or "three" entries, or "corrupt" bytes
    int pages = 0;            // paged list: this "numar_total_pagini"
    std::string eroare;       // answer {"eroare": this, "titlu": ...} with status 200 (or `status`)
    int times = 1;            // how many matching requests it hits

    // Reads the admin interface's JSON; an unknown member or a wrong type is an error.
    static std::optional<Fault> fromJson(const nlohmann::json& j, std::string& error);
    nlohmann::json toJson() const;
    bool answersItself() const { return drop || !eroare.empty() || status != 0 || !body.empty() || !contentType.empty(); }
};

class FaultQueue {
public:
    void push(Fault fault);
    // The first queued fault for this request, used up by one hit.
    std::optional<Fault> take(const std::string& role, const std::string& method, const std::string& path);
    nlohmann::json list() const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::deque<Fault> faults_;
};

}  // namespace standin
