#pragma once
// The stand-in's SPV mailbox: a deterministic set of messages made from a seed, their invoice
// XML and the ZIP archive each download answers with.

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace standin {

struct Message {
    std::string dataCreare;    // yyyyMMddHHmm, local time
    std::int64_t createdAt = 0;  // seconds since the epoch
    std::string cif;
    std::string idSolicitare;
    std::string detalii;
    std::string tip;
    std::string id;
    std::uint64_t seed = 0;    // makes its documents
};

struct MailboxOptions {
    int messages = 600;
    int days = 60;
    std::uint64_t seed = 7;
    std::string cif = "41801234";
    std::int64_t now = 0;  // seconds since the epoch; 0 = the clock at start
};

class Mailbox {
public:
    explicit Mailbox(const MailboxOptions& options);
    // Messages of the cif created in [from, to] (seconds), in creation order.
    std::vector<Message> list(const std::string& cif, std::int64_t from, std::int64_t to) const;
    bool find(const std::string& id, Message& out) const;
    // New messages created now, after everything already there; returns them.
    std::vector<Message> add(int count, const std::string& tip);
    void reset();
    const std::string& cif() const { return options_.cif; }

private:
    Message make(std::uint64_t n, std::int64_t createdAt, const std::string& tip) const;
    MailboxOptions options_;
    mutable std::mutex mutex_;
    std::vector<Message> messages_;
    std::uint64_t next_ = 0;
};

std::string formatLocal(std::int64_t epochSeconds, const char* format);
// The message's main XML: a UBL invoice or credit note, an error report or a buyer message.
std::string messageXml(const Message& m);
std::string signatureXml(const Message& m);
// A ZIP of the given entries, built in memory.
std::string makeZip(const std::vector<std::pair<std::string, std::string>>& entries);
// A small valid PDF whose text names the document.
std::string makePdf(const std::string& title);

}  // namespace standin
