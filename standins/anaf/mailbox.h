#pragma once
// The stand-in's SPV mailbox: a deterministic set of messages made from a seed, plus the messages
// added while it runs (by the admin interface or by an upload). Lookups are indexed so that a
// mailbox of 100,000 messages pages as fast as a small one.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "clock.h"

namespace standin {

struct Message {
    std::string dataCreare;      // yyyyMMddHHmm, local time
    std::int64_t createdAt = 0;  // seconds since the epoch, whole minutes
    std::string cif;
    std::string idSolicitare;
    std::string detalii;
    std::string tip;
    std::string id;
    std::uint64_t seed = 0;  // makes its generated documents
    // The document itself when it did not come from the generator (an upload, an error report).
    std::shared_ptr<const std::string> xml;
};

struct MailboxOptions {
    int messages = 600;
    int days = 60;
    std::uint64_t seed = 7;
    std::string cif = "41801234";
};

class Mailbox {
public:
    Mailbox(const MailboxOptions& options, const Clock& clock);

    struct Page {
        std::size_t total = 0;  // messages in the period
        std::vector<Message> messages;
    };
    // Messages of `cif` created in [from, to] (seconds), in creation order; of these, `count`
    // starting at `first` are copied into the page.
    Page list(const std::string& cif, std::int64_t from, std::int64_t to, std::size_t first, std::size_t count) const;
    std::optional<Message> find(const std::string& id) const;
    // The "FACTURA TRIMISA" or "ERORI FACTURA" message that answers an upload index.
    std::optional<Message> findByUpload(const std::string& idSolicitare) const;

    // New generated messages created two minutes ago, so inside any period that ends "now".
    std::vector<Message> add(int count, const std::string& tip, const std::string& cif);
    // A message whose document is given (the answer to an upload).
    Message addDocument(const std::string& tip, const std::string& cif, const std::string& idSolicitare,
                        const std::string& detalii, std::string xml);
    void reset();
    const std::string& cif() const { return options_.cif; }
    // Whether the mailbox serves this tax id: its own, or one that messages were added for.
    bool serves(const std::string& cif) const;

private:
    Message make(std::uint64_t n, std::int64_t createdAt, const std::string& tip, const std::string& cif) const;
    void insert(Message m);  // under the lock

    MailboxOptions options_;
    const Clock& clock_;
    std::int64_t generatedAt_ = 0;
    mutable std::mutex mutex_;
    std::vector<Message> messages_;                               // by number: id = 3000000000 + number
    std::map<std::string, std::vector<std::uint32_t>> byCif_;     // numbers in creation order
    std::unordered_map<std::string, std::uint32_t> byUpload_;     // id_solicitare -> number
};

}  // namespace standin
