#include "messages.h"

#include <zip.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <random>
#include <stdexcept>

namespace standin {
namespace {

struct Supplier {
    const char* name;
    const char* cui;
    const char* city;
};
const Supplier kSuppliers[] = {
    {"Electrica Furnizare SA", "RO28909028", "Bucuresti"}, {"Dedeman SRL", "RO2816464", "Bacau"},
    {"Birotica Expert SRL", "RO14399840", "Cluj-Napoca"},  {"Transilvania Logistic SRL", "RO30812345", "Brasov"},
    {"Café & Ceai Distributie SRL", "RO40123456", "Iasi"}, {"EuroParts GmbH", "DE811907980", "München"},
};
const char* const kBuyers[] = {"Client Alfa SRL", "Client Beta SA", "Client Gama SRL"};
const char* const kItems[] = {"Hartie copiator A4", "Energie electrica", "Servicii transport", "Cafea boabe 1kg",
                              "Filtru ulei", "Toner imprimanta", "Ciment 40kg", "Abonament mentenanta"};

std::string esc(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string money(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    return buf;
}

std::int64_t toEpoch(const std::string& dataCreare) {
    std::tm tm{};
    std::sscanf(dataCreare.c_str(), "%4d%2d%2d%2d%2d", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour, &tm.tm_min);
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

std::string invoiceXml(const Message& m, bool received) {
    std::mt19937_64 rng(m.seed);
    const Supplier& s = kSuppliers[rng() % std::size(kSuppliers)];
    const bool credit = rng() % 10 == 0;
    const bool eur = std::string(s.cui).rfind("DE", 0) == 0 || rng() % 8 == 0;
    const bool rounding = rng() % 5 == 0;
    const std::string cur = eur ? "EUR" : "RON";
    const std::string supplierName = received ? s.name : "Tarvelo Demo Distributie SRL";
    const std::string supplierCui = received ? s.cui : "RO41801234";
    const std::string buyer = received ? "Tarvelo Demo Distributie SRL" : kBuyers[rng() % 3];
    const int lines = 1 + static_cast<int>(rng() % 4);
    std::string lineXml;
    double net = 0;
    for (int i = 1; i <= lines; ++i) {
        const double qty = 1 + static_cast<double>(rng() % 20);
        const double price = std::round((5 + static_cast<double>(rng() % 50000) / 100.0) * 100) / 100;
        const double amount = std::round(qty * price * 100) / 100;
        net += amount;
        const char* tag = credit ? "CreditNoteLine" : "InvoiceLine";
        const char* qtag = credit ? "CreditedQuantity" : "InvoicedQuantity";
        lineXml += std::string("<cac:") + tag + "><cbc:ID>" + std::to_string(i) + "</cbc:ID><cbc:" + qtag +
                   " unitCode=\"H87\">" + money(qty) + "</cbc:" + qtag + "><cbc:LineExtensionAmount currencyID=\"" +
                   cur + "\">" + money(amount) + "</cbc:LineExtensionAmount><cac:Item><cbc:Name>" +
                   esc(kItems[rng() % std::size(kItems)]) +
                   "</cbc:Name><cac:ClassifiedTaxCategory><cbc:ID>S</cbc:ID><cbc:Percent>19</cbc:Percent>"
                   "<cac:TaxScheme><cbc:ID>VAT</cbc:ID></cac:TaxScheme></cac:ClassifiedTaxCategory></cac:Item>"
                   "<cac:Price><cbc:PriceAmount currencyID=\"" + cur + "\">" + money(price) +
                   "</cbc:PriceAmount></cac:Price></cac:" + tag + ">";
    }
    const double vat = std::round(net * 0.19 * 100) / 100;
    const double total = net + vat;
    const double round = rounding ? std::round(total) - total : 0;
    const std::string root = credit ? "CreditNote" : "Invoice";
    const std::string number = (received ? std::string("F") : std::string("TDD")) + std::to_string(10000 + m.seed % 90000);
    const std::string issue = formatLocal(m.createdAt - 86400, "%Y-%m-%d");
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<" + root +
                      " xmlns=\"urn:oasis:names:specification:ubl:schema:xsd:" + root + "-2\""
                      " xmlns:cac=\"urn:oasis:names:specification:ubl:schema:xsd:CommonAggregateComponents-2\""
                      " xmlns:cbc=\"urn:oasis:names:specification:ubl:schema:xsd:CommonBasicComponents-2\">"
                      "<cbc:CustomizationID>urn:cen.eu:en16931:2017#compliant#urn:efactura.mfinante.ro:CIUS-RO:1.0.1</cbc:CustomizationID>"
                      "<cbc:ID>" + number + "</cbc:ID><cbc:IssueDate>" + issue + "</cbc:IssueDate><cbc:" +
                      (credit ? "CreditNoteTypeCode>381</cbc:CreditNoteTypeCode>" : "InvoiceTypeCode>380</cbc:InvoiceTypeCode>") +
                      "<cbc:DocumentCurrencyCode>" + cur + "</cbc:DocumentCurrencyCode>"
                      "<cac:AccountingSupplierParty><cac:Party><cac:PostalAddress><cbc:CityName>" + esc(s.city) +
                      "</cbc:CityName><cac:Country><cbc:IdentificationCode>RO</cbc:IdentificationCode></cac:Country></cac:PostalAddress>"
                      "<cac:PartyTaxScheme><cbc:CompanyID>" + supplierCui + "</cbc:CompanyID><cac:TaxScheme><cbc:ID>VAT</cbc:ID></cac:TaxScheme></cac:PartyTaxScheme>"
                      "<cac:PartyLegalEntity><cbc:RegistrationName>" + esc(supplierName) + "</cbc:RegistrationName></cac:PartyLegalEntity></cac:Party></cac:AccountingSupplierParty>"
                      "<cac:AccountingCustomerParty><cac:Party><cac:PartyLegalEntity><cbc:RegistrationName>" + esc(buyer) +
                      "</cbc:RegistrationName></cac:PartyLegalEntity></cac:Party></cac:AccountingCustomerParty>"
                      "<cac:TaxTotal><cbc:TaxAmount currencyID=\"" + cur + "\">" + money(vat) + "</cbc:TaxAmount></cac:TaxTotal>"
                      "<cac:LegalMonetaryTotal><cbc:LineExtensionAmount currencyID=\"" + cur + "\">" + money(net) +
                      "</cbc:LineExtensionAmount><cbc:TaxExclusiveAmount currencyID=\"" + cur + "\">" + money(net) +
                      "</cbc:TaxExclusiveAmount><cbc:TaxInclusiveAmount currencyID=\"" + cur + "\">" + money(total) +
                      "</cbc:TaxInclusiveAmount>" +
                      (rounding ? "<cbc:PayableRoundingAmount currencyID=\"" + cur + "\">" + money(round) + "</cbc:PayableRoundingAmount>" : "") +
                      "<cbc:PayableAmount currencyID=\"" + cur + "\">" + money(total + round) + "</cbc:PayableAmount></cac:LegalMonetaryTotal>" +
                      lineXml + "</" + root + ">\n";
    return xml;
}

}  // namespace

std::string formatLocal(std::int64_t epochSeconds, const char* format) {
    const std::time_t t = static_cast<std::time_t>(epochSeconds);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[64];
    const size_t n = std::strftime(buf, sizeof buf, format, &tm);
    return std::string(buf, n);
}

Mailbox::Mailbox(const MailboxOptions& options) : options_(options) {
    if (options_.now == 0) options_.now = std::time(nullptr);
    reset();
}

Message Mailbox::make(std::uint64_t n, std::int64_t createdAt, const std::string& tip) const {
    Message m;
    m.seed = options_.seed * 1000003 + n;
    m.createdAt = createdAt - createdAt % 60;
    m.dataCreare = formatLocal(m.createdAt, "%Y%m%d%H%M");
    m.createdAt = toEpoch(m.dataCreare);
    m.cif = options_.cif;
    m.id = std::to_string(3000000000ULL + n);
    m.idSolicitare = std::to_string(5000000000ULL + n);
    m.tip = tip;
    if (tip == "FACTURA PRIMITA")
        m.detalii = "Factura cu id_incarcare=" + m.idSolicitare + " emisa de cif_emitent=" +
                    std::to_string(8000000000ULL + m.seed % 1000) + " pentru cif_beneficiar=" + options_.cif;
    else if (tip == "FACTURA TRIMISA")
        m.detalii = "Factura cu id_incarcare=" + m.idSolicitare + " emisa de cif_emitent=" + options_.cif +
                    " pentru cif_beneficiar=" + std::to_string(10000000 + m.seed % 1000);
    else if (tip == "ERORI FACTURA")
        m.detalii = "Erori de validare identificate la factura primita cu id_incarcare=" + m.idSolicitare;
    else
        m.detalii = "Mesaj cumparator pentru factura cu id_incarcare=" + m.idSolicitare;
    return m;
}

void Mailbox::reset() {
    std::lock_guard lock(mutex_);
    messages_.clear();
    std::mt19937_64 rng(options_.seed);
    const std::int64_t span = static_cast<std::int64_t>(options_.days) * 86400 - 600;
    static const char* const types[] = {"FACTURA PRIMITA", "FACTURA PRIMITA", "FACTURA PRIMITA", "FACTURA PRIMITA",
                                        "FACTURA PRIMITA", "FACTURA TRIMISA", "FACTURA TRIMISA", "ERORI FACTURA",
                                        "MESAJ CUMPARATOR PRIMIT", "MESAJ CUMPARATOR TRANSMIS"};
    int sent = 0;
    for (int i = 0; i < options_.messages; ++i) {
        const std::int64_t at = options_.now - 300 - static_cast<std::int64_t>(rng() % static_cast<std::uint64_t>(span));
        Message m = make(static_cast<std::uint64_t>(i), at, types[rng() % std::size(types)]);
        // The first answers to sent invoices name the demo company's upload indexes.
        if ((m.tip == "FACTURA TRIMISA" || m.tip == "ERORI FACTURA") && sent < 6)
            m.idSolicitare = std::to_string(5000100001ULL + static_cast<unsigned>(sent++));
        messages_.push_back(std::move(m));
    }
    next_ = static_cast<std::uint64_t>(options_.messages);
    std::stable_sort(messages_.begin(), messages_.end(),
                     [](const Message& a, const Message& b) { return a.createdAt < b.createdAt; });
}

std::vector<Message> Mailbox::list(const std::string& cif, std::int64_t from, std::int64_t to) const {
    std::lock_guard lock(mutex_);
    std::vector<Message> out;
    for (const auto& m : messages_)
        if (m.cif == cif && m.createdAt >= from && m.createdAt <= to) out.push_back(m);
    return out;
}

bool Mailbox::find(const std::string& id, Message& out) const {
    std::lock_guard lock(mutex_);
    for (const auto& m : messages_)
        if (m.id == id) {
            out = m;
            return true;
        }
    return false;
}

std::vector<Message> Mailbox::add(int count, const std::string& tip) {
    std::lock_guard lock(mutex_);
    std::vector<Message> added;
    const std::int64_t now = std::time(nullptr) - 120;  // inside any period that ends "now"
    for (int i = 0; i < count; ++i) {
        Message m = make(next_++, now, tip.empty() ? "FACTURA PRIMITA" : tip);
        messages_.push_back(m);
        added.push_back(m);
    }
    return added;
}

std::string messageXml(const Message& m) {
    if (m.tip == "FACTURA PRIMITA") return invoiceXml(m, true);
    if (m.tip == "FACTURA TRIMISA") return invoiceXml(m, false);
    if (m.tip == "ERORI FACTURA")
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<header xmlns=\"mfp:anaf:dgti:efactura:mesajEroriFactuta:v1\" "
               "Index_incarcare=\"" + m.idSolicitare + "\" Cif_emitent=\"" + m.cif + "\"><Error errorMessage=\"E: "
               "validari globale  eroare: [BR-RO-010] numarul facturii trebuie sa contina cel putin un caracter numeric\"/></header>\n";
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<mesaj xmlns=\"mfp:anaf:dgti:efactura:mesajFactura:v1\" "
           "index_incarcare=\"" + m.idSolicitare + "\"><text>Va rugam sa verificati factura: cantitatea livrata difera.</text></mesaj>\n";
}

std::string signatureXml(const Message& m) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Signature xmlns=\"http://www.w3.org/2000/09/xmldsig#\">"
           "<SignedInfo><Reference URI=\"" + m.idSolicitare + ".xml\"><DigestValue>" + std::to_string(m.seed) +
           "</DigestValue></Reference></SignedInfo><SignatureValue>stand-in</SignatureValue></Signature>\n";
}

std::string makeZip(const std::vector<std::pair<std::string, std::string>>& entries) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    if (!buffer) throw std::runtime_error("zip buffer");
    zip_t* archive = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
    if (!archive) {
        zip_source_free(buffer);
        throw std::runtime_error("zip open");
    }
    zip_source_keep(buffer);
    for (const auto& [name, data] : entries) {
        zip_source_t* s = zip_source_buffer(archive, data.data(), data.size(), 0);
        const zip_int64_t index = s ? zip_file_add(archive, name.c_str(), s, ZIP_FL_ENC_UTF_8) : -1;
        // A fixed time stamp: the same message always downloads as the same bytes.
        if (index >= 0) zip_file_set_mtime(archive, static_cast<zip_uint64_t>(index), 1700000000, 0);
        if (index < 0) {
            zip_source_free(s);
            zip_discard(archive);
            zip_source_free(buffer);
            throw std::runtime_error("zip add");
        }
    }
    if (zip_close(archive) < 0) {
        zip_discard(archive);
        zip_source_free(buffer);
        throw std::runtime_error("zip close");
    }
    std::string out;
    zip_source_open(buffer);
    zip_source_seek(buffer, 0, SEEK_END);
    const zip_int64_t size = zip_source_tell(buffer);
    zip_source_seek(buffer, 0, SEEK_SET);
    out.resize(static_cast<size_t>(size));
    zip_source_read(buffer, out.data(), static_cast<zip_uint64_t>(size));
    zip_source_close(buffer);
    zip_source_free(buffer);
    return out;
}

std::string makePdf(const std::string& title) {
    std::string text;
    for (char c : title)
        if (c != '(' && c != ')' && c != '\\' && static_cast<unsigned char>(c) < 0x80) text += c;
    const std::string stream = "BT /F1 14 Tf 72 720 Td (" + text + ") Tj ET";
    std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R /Resources << /Font << /F1 5 0 R >> >> >>",
        "<< /Length " + std::to_string(stream.size()) + " >>\nstream\n" + stream + "\nendstream",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"};
    std::string pdf = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t o : offsets) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%010zu 00000 n \n", o);
        pdf += buf;
    }
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

}  // namespace standin
