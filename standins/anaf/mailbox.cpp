#include "mailbox.h"

#include <algorithm>
#include <random>

#include "documents.h"

namespace standin {
namespace {

constexpr std::uint64_t kFirstId = 3000000000ULL;
constexpr std::uint64_t kFirstIndex = 5000000000ULL;
// The demo database records its first six sales invoices as uploaded with these indexes.
constexpr std::uint64_t kDemoFirstIndex = 5000100001ULL;
constexpr int kDemoInvoices = 6;

const char* const kTypes[] = {"FACTURA PRIMITA", "FACTURA PRIMITA",         "FACTURA PRIMITA",
                              "FACTURA PRIMITA", "FACTURA PRIMITA",         "FACTURA TRIMISA",
                              "FACTURA TRIMISA", "ERORI FACTURA",           "MESAJ CUMPARATOR PRIMIT",
                              "MESAJ CUMPARATOR TRANSMIS"};

std::int64_t wholeMinute(std::int64_t t) { return t - ((t % 60) + 60) % 60; }

}  // namespace

Mailbox::Mailbox(const MailboxOptions& options, const Clock& clock)
    : options_(options), clock_(clock), generatedAt_(clock.now()) {
    options_.days = std::max(1, options_.days);
    options_.messages = std::max(0, options_.messages);
    reset();
}

Message Mailbox::make(std::uint64_t n, std::int64_t createdAt, const std::string& tip, const std::string& cif) const {
    Message m;
    m.seed = options_.seed * 1000003ULL + n;
    m.createdAt = wholeMinute(createdAt);
    m.dataCreare = stamp12(m.createdAt);
    m.cif = cif;
    m.id = std::to_string(kFirstId + n);
    m.idSolicitare = std::to_string(kFirstIndex + n);
    m.tip = tip;
    m.detalii = messageDetails(m);
    return m;
}

void Mailbox::insert(Message m) {
    const auto number = static_cast<std::uint32_t>(std::stoull(m.id) - kFirstId);
    if (m.tip == "FACTURA TRIMISA" || m.tip == "ERORI FACTURA") byUpload_[m.idSolicitare] = number;
    auto& order = byCif_[m.cif];
    messages_.push_back(std::move(m));
    // Creation order, then number; new messages are nearly always the latest, so this appends.
    const auto at = std::upper_bound(order.begin(), order.end(), number, [&](std::uint32_t a, std::uint32_t b) {
        return messages_[a].createdAt < messages_[b].createdAt ||
               (messages_[a].createdAt == messages_[b].createdAt && a < b);
    });
    order.insert(at, number);
}

void Mailbox::reset() {
    std::lock_guard lock(mutex_);
    messages_.clear();
    byCif_.clear();
    byUpload_.clear();
    messages_.reserve(static_cast<std::size_t>(options_.messages));
    std::mt19937_64 rng(options_.seed);
    const auto span = static_cast<std::uint64_t>(options_.days) * 86400 - 600;
    int demo = 0;
    for (int i = 0; i < options_.messages; ++i) {
        const auto n = static_cast<std::uint64_t>(i);
        const std::int64_t at = generatedAt_ - 300 - static_cast<std::int64_t>(rng() % span);
        const char* tip = kTypes[rng() % std::size(kTypes)];
        Message m = make(n, at, tip, options_.cif);
        if (m.tip == "FACTURA TRIMISA" && demo < kDemoInvoices) {
            // Answers to the demo's uploaded invoices: dated the day after the invoice.
            ++demo;
            m.idSolicitare = std::to_string(kDemoFirstIndex + static_cast<std::uint64_t>(demo - 1));
            const std::int64_t day = startOfLocalDay(generatedAt_ - demo * 5 * 86400) + 86400 + 10 * 3600 + demo * 60;
            m.createdAt = wholeMinute(std::clamp(day, generatedAt_ - static_cast<std::int64_t>(span), generatedAt_ - 300));
            m.dataCreare = stamp12(m.createdAt);
            m.detalii = messageDetails(m);
        }
        if (m.tip == "FACTURA TRIMISA" || m.tip == "ERORI FACTURA") byUpload_[m.idSolicitare] = static_cast<std::uint32_t>(i);
        byCif_[m.cif].push_back(static_cast<std::uint32_t>(i));
        messages_.push_back(std::move(m));
    }
    // Sorted once here rather than inserted one by one: 100,000 messages in a blink.
    for (auto& [cif, order] : byCif_)
        std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
            return messages_[a].createdAt < messages_[b].createdAt;
        });
}

Mailbox::Page Mailbox::list(const std::string& cif, std::int64_t from, std::int64_t to, std::size_t first,
                            std::size_t count) const {
    std::lock_guard lock(mutex_);
    Page page;
    const auto found = byCif_.find(cif);
    if (found == byCif_.end() || from > to) return page;
    const auto& order = found->second;
    const auto begin = std::lower_bound(order.begin(), order.end(), from,
                                        [&](std::uint32_t n, std::int64_t t) { return messages_[n].createdAt < t; });
    const auto end = std::upper_bound(begin, order.end(), to,
                                      [&](std::int64_t t, std::uint32_t n) { return t < messages_[n].createdAt; });
    page.total = static_cast<std::size_t>(end - begin);
    for (std::size_t i = first; i < page.total && i < first + count; ++i) page.messages.push_back(messages_[begin[i]]);
    return page;
}

bool Mailbox::serves(const std::string& cif) const {
    std::lock_guard lock(mutex_);
    return cif == options_.cif || byCif_.count(cif) != 0;
}

std::optional<Message> Mailbox::find(const std::string& id) const {
    if (id.empty() || id.size() > 12 || id.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
    const std::uint64_t value = std::stoull(id);
    std::lock_guard lock(mutex_);
    if (value < kFirstId || value - kFirstId >= messages_.size()) return std::nullopt;
    return messages_[value - kFirstId];
}

std::optional<Message> Mailbox::findByUpload(const std::string& idSolicitare) const {
    std::lock_guard lock(mutex_);
    const auto found = byUpload_.find(idSolicitare);
    if (found == byUpload_.end()) return std::nullopt;
    return messages_[found->second];
}

std::vector<Message> Mailbox::add(int count, const std::string& tip, const std::string& cif) {
    std::lock_guard lock(mutex_);
    std::vector<Message> added;
    const std::int64_t at = clock_.now() - 120;
    for (int i = 0; i < count; ++i) {
        Message m = make(messages_.size(), at, tip.empty() ? "FACTURA PRIMITA" : tip, cif.empty() ? options_.cif : cif);
        added.push_back(m);
        insert(std::move(m));
    }
    return added;
}

Message Mailbox::addDocument(const std::string& tip, const std::string& cif, const std::string& idSolicitare,
                             const std::string& detalii, std::string xml) {
    std::lock_guard lock(mutex_);
    Message m = make(messages_.size(), clock_.now(), tip, cif);
    m.idSolicitare = idSolicitare;
    m.detalii = detalii;
    m.xml = std::make_shared<const std::string>(std::move(xml));
    insert(m);
    return m;
}

}  // namespace standin
