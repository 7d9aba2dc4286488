#include "filings.h"

#include "xml_util.h"

namespace standin {

std::string UploadBook::nextIndex() {
    std::lock_guard lock(mutex_);
    return std::to_string(next_++);
}

void UploadBook::put(const Upload& upload) {
    std::lock_guard lock(mutex_);
    uploads_[upload.index] = upload;
}

std::optional<Upload> UploadBook::find(const std::string& index) const {
    std::lock_guard lock(mutex_);
    const auto found = uploads_.find(index);
    if (found == uploads_.end()) return std::nullopt;
    return found->second;
}

void UploadBook::reset() {
    std::lock_guard lock(mutex_);
    uploads_.clear();
}

std::string TransportBook::newUit() {
    // 16 characters without the look-alikes 0/O and 1/I, different for every declaration.
    static const char* const alphabet = "ABCDEFGHJKLMNPQRSTUVWXYZ23456789";
    std::uint64_t x = next_ * 0x9E3779B97F4A7C15ULL;
    std::string uit;
    for (int i = 0; i < 16; ++i) {
        x ^= x >> 29;
        x *= 0xBF58476D1CE4E5B9ULL;
        uit += alphabet[(x >> 32) % 32];
    }
    return uit;
}

std::vector<std::string> TransportBook::file(const std::string& xml, const std::string& cif, std::int64_t now,
                                             Declaration& filed) {
    pugi::xml_document doc;
    const auto parsed = doc.load_buffer(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_utf8);
    if (!parsed || !doc.document_element())
        return {"Fisierul transmis nu este un XML valid: " + std::string(parsed.description())};
    const auto root = doc.document_element();
    if (std::strcmp(localName(root.name()), "eTransport") != 0)
        return {"Elementul radacina trebuie sa fie eTransport, nu " + std::string(localName(root.name()))};
    const std::string declarant = root.attribute("codDeclarant").value();
    if (declarant != cif) return {"codDeclarant=" + declarant + " difera de CIF-ul din cerere=" + cif};

    std::lock_guard lock(mutex_);
    const auto uitState = [&](const std::string& uit) {
        const auto found = uits_.find(uit);
        return found == uits_.end() ? UitState::unknown : found->second;
    };
    Declaration d;
    d.cif = cif;
    d.createdAt = now;
    d.stare = "ok";
    if (const auto n = child(root, "notificare")) {
        d.reference = root.attribute("refDeclarant").value();
        if (const auto correction = child(n, "corectie")) {
            d.action = "corectie";
            d.uit = correction.attribute("uit").value();
            if (uitState(d.uit) != UitState::active) return {"UIT-ul " + d.uit + " nu exista sau nu mai poate fi corectat"};
        } else {
            d.action = "notificare";
            d.uit = newUit();
        }
        if (!child(n, "bunuriTransportate")) {
            d.stare = "nok";
            d.errors.push_back({{"errorMessage", "Declaratia nu contine bunuri transportate (bunuriTransportate)"}});
        }
    } else {
        static const char* const actions[] = {"stergere", "confirmare", "modifVehicul"};
        pugi::xml_node action;
        for (const char* a : actions)
            if ((action = child(root, a))) {
                d.action = a;
                break;
            }
        if (!action) return {"Declaratia nu contine nicio operatie (notificare, stergere, confirmare, modifVehicul)"};
        d.uit = action.attribute("uit").value();
        const UitState state = uitState(d.uit);
        if (state == UitState::unknown) return {"UIT-ul " + d.uit + " nu exista"};
        if (state == UitState::deleted) return {"UIT-ul " + d.uit + " a fost sters"};
        if (d.action == "modifVehicul") {
            d.vehicle = action.attribute("nrVehicul").value();
            if (d.vehicle.empty()) return {"Numarul de inmatriculare al vehiculului (nrVehicul) lipseste"};
        }
    }
    d.index = std::to_string(next_++);
    if (d.action == "notificare") uits_[d.uit] = UitState::active;
    if (d.action == "stergere") uits_[d.uit] = UitState::deleted;
    if (d.action == "confirmare") uits_[d.uit] = UitState::confirmed;
    byIndex_[d.index] = d;
    filed = d;
    return {};
}

std::optional<Declaration> TransportBook::find(const std::string& index) const {
    std::lock_guard lock(mutex_);
    const auto found = byIndex_.find(index);
    if (found == byIndex_.end()) return std::nullopt;
    return found->second;
}

std::vector<Declaration> TransportBook::since(const std::string& cif, std::int64_t from) const {
    std::lock_guard lock(mutex_);
    std::vector<Declaration> out;
    for (const auto& [index, d] : byIndex_)
        if (d.cif == cif && d.createdAt >= from) out.push_back(d);
    return out;
}

void TransportBook::reset() {
    std::lock_guard lock(mutex_);
    byIndex_.clear();
    uits_.clear();
}

}  // namespace standin
