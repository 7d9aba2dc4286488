#include "documents.h"

#include <openssl/evp.h>
#include <openssl/sha.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <random>

#include "ubl_writer.h"

namespace standin {
namespace {

const char* const kDemoCif = "41801234";

// Suppliers that send the company e-invoices (fictional; tax ids with a valid check digit).
const Party kSuppliers[] = {
    {"Energo Furnizare Nord SRL", "18547290", "RO", "SECTOR3", "RO-B", "Bd. Unirii 45", "J40/8812/2006",
     "RO49BACX0000001234567890"},
    {"Casa Constructorului Mures SRL", "24536180", "RO", "Targu Mures", "RO-MS", "Str. Gheorghe Doja 120",
     "J26/1540/2008", "RO12BTRL02701202A1234XX"},
    {"Birotica Expert SRL", "31122458", "RO", "Cluj-Napoca", "RO-CJ", "Calea Dorobantilor 18", "J12/3021/2012",
     "RO66INGB0000999901234567"},
    {"Transilvania Logistic SRL", "15830215", "RO", "Brasov", "RO-BV", "Str. Zizinului 99", "J08/977/2003",
     "RO09RZBR0000060012345678"},
    {"Cafea & Ceai Distributie SRL", "40217760", "RO", "Iasi", "RO-IS", "Sos. Pacurari 31", "J22/1999/2019",
     "RO35BRDE240SV12345678900"},
    {"Piese Auto Dunărea SRL", "27719300", "RO", "Galați", "RO-GL", "Str. Brăilei 12", "J17/410/2010",
     "RO81CECEGL0130RON0123456"},
    {"Soft Consult Timiș SRL", "19263857", "RO", "Timișoara", "RO-TM", "Bd. Take Ionescu 46", "J35/2211/2007",
     "RO27BACX0000000987654321"},
};
// Customers of the company's sales invoices; the first three are the demo database's partners.
const Party kCustomers[] = {
    {"Client Alfa SRL", "10000008", "RO", "Cluj-Napoca", "RO-CJ", "Str. Alfa 1", "J12/1/2010", ""},
    {"Client Beta SA", "10000016", "RO", "Iasi", "RO-IS", "Bd. Beta 22", "J22/2/2011", ""},
    {"Client Gama SRL", "10000024", "RO", "Timisoara", "RO-TM", "Str. Gama 3", "J35/3/2012", ""},
    {"Magazinul Popular SRL", "35501241", "RO", "Ploiesti", "RO-PH", "Str. Republicii 5", "J29/55/2005", ""},
};

struct Article {
    const char* name;
    const char* unit;
    double minPrice, maxPrice;
    int vat;
};
// What each supplier sells, in the order of kSuppliers.
const std::vector<Article> kArticles[] = {
    {{"Energie electrica activa", "KWH", 0.6, 1.3, 19}, {"Certificate verzi", "KWH", 0.02, 0.05, 19},
     {"Acciza energie electrica", "KWH", 0.005, 0.01, 19}},
    {{"Ciment Portland 40kg", "H87", 28, 42, 19}, {"Gresie portelanata", "MTK", 45, 120, 19},
     {"Adeziv flexibil 25kg", "H87", 35, 70, 19}, {"Transport marfa", "C62", 80, 250, 19}},
    {{"Hartie copiator A4", "H87", 18, 30, 19}, {"Toner imprimanta", "H87", 180, 420, 19},
     {"Manual contabilitate", "H87", 60, 95, 5}, {"Dosare plastic", "SET", 12, 25, 19}},
    {{"Servicii transport intern", "C62", 900, 4200, 19}, {"Manipulare marfa", "HUR", 60, 110, 19}},
    {{"Cafea boabe 1kg", "H87", 65, 140, 9}, {"Ceai verde 100g", "H87", 9, 22, 9}, {"Zahar tos 1kg", "KGM", 4, 7, 9}},
    {{"Filtru ulei", "H87", 25, 60, 19}, {"Placute frana", "SET", 120, 380, 19}, {"Ulei motor 5L", "H87", 140, 260, 19}},
    {{"Abonament mentenanta software", "MON", 450, 1800, 19}, {"Ore consultanta", "HUR", 150, 320, 19}},
};

const char* const kBuyerNotes[] = {
    "Va rugam sa verificati factura: cantitatea livrata difera de cea facturata.",
    "Factura nu corespunde comenzii nr. 118; va rugam sa emiteti o factura de stornare.",
    "Confirmam primirea facturii. Plata se va face la scadență.",
    "Pretul unitar nu corespunde ofertei acceptate.",
};

double between(std::mt19937_64& rng, double lo, double hi) {
    return std::round((lo + (hi - lo) * static_cast<double>(rng() % 10000) / 10000.0) * 100) / 100;
}

Party company(const std::string& cif) {
    return {companyName(cif), cif, "RO", "SECTOR3", "RO-B", "Str. Exemplului nr. 7", "J40/1234/2015",
            "RO49AAAA1B31007593840000"};
}

// A cheap, well-mixed hash of the seed (splitmix64): the list of 100,000 messages names every
// message's supplier, and seeding a Mersenne twister for each would dominate the start.
std::uint64_t mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

std::size_t supplierIndex(const Message& m) { return mix(m.seed) % std::size(kSuppliers); }
const Party& supplierOf(const Message& m) { return kSuppliers[supplierIndex(m)]; }

// 1..6 for the answers to the demo's uploaded invoices, else 0.
int demoInvoice(const Message& m) {
    if (m.tip != "FACTURA TRIMISA" || m.idSolicitare.size() != 10 || m.idSolicitare.rfind("500010000", 0) != 0) return 0;
    const int k = m.idSolicitare.back() - '0';
    return k >= 1 && k <= 6 ? k : 0;
}

const Party& customerOf(const Message& m) {
    if (const int k = demoInvoice(m)) return kCustomers[k % 3];
    return kCustomers[mix(m.seed ^ 0xC0FFEE) % std::size(kCustomers)];
}

// The demo's sales invoice number k (1..6), as its database holds it: TDD0000k dated k*5 days
// back, three lines of "Articol demo", sold to the demo partners in turn.
UblDocument demoSalesInvoice(const Message& m, int k) {
    UblDocument d;
    d.number = "TDD" + std::string(4, '0') + std::to_string(k);
    d.issueDate = startOfLocalDay(m.createdAt) - 86400;
    d.supplier = company(m.cif);
    d.customer = kCustomers[k % 3];
    for (int l = 1; l <= 3; ++l)
        d.lines.push_back({"Articol demo " + std::to_string(l), "H87", 2.0 * l, 100 + l * 12.5, 19});
    return d;
}

UblDocument generatedDocument(const Message& m, bool received) {
    std::mt19937_64 rng(m.seed);
    UblDocument d;
    const std::size_t supplier = supplierIndex(m);
    d.credit = rng() % 10 == 0;
    d.currency = (supplier == 5 || rng() % 9 == 0) ? "EUR" : "RON";
    d.rounding = rng() % 5 == 0;
    d.prefixedRoot = rng() % 6 == 0;
    d.issueDate = startOfLocalDay(m.createdAt) - static_cast<std::int64_t>(rng() % 3) * 86400;
    const auto serial = std::to_string(100000 + std::stoull(m.id) % 1000000);
    if (received) {
        d.supplier = kSuppliers[supplier];
        d.customer = company(m.cif);
        d.number = std::string(d.supplier.name).substr(0, 3) + serial;
    } else {
        d.supplier = company(m.cif);
        d.customer = customerOf(m);
        d.number = "TDD" + serial;
    }
    for (auto& c : d.number) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (d.credit) d.billingReference = d.number.substr(0, 3) + std::to_string(100000 + rng() % 900000);
    const auto& articles = kArticles[received ? supplier : rng() % std::size(kArticles)];
    const int lines = 1 + static_cast<int>(rng() % 5);
    for (int i = 0; i < lines; ++i) {
        const Article& a = articles[rng() % articles.size()];
        const double qty = a.maxPrice < 2 ? static_cast<double>(100 + rng() % 5000) : static_cast<double>(1 + rng() % 20);
        d.lines.push_back({a.name, a.unit, qty, between(rng, a.minPrice, a.maxPrice), a.vat});
    }
    return d;
}

std::string base64(const unsigned char* data, std::size_t size) {
    std::string out(4 * ((size + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), data, static_cast<int>(size));
    out.resize(static_cast<std::size_t>(n));
    return out;
}

std::string sha256Base64(const std::string& text) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest);
    return base64(digest, sizeof digest);
}

}  // namespace

std::string companyName(const std::string& cif) {
    return cif == kDemoCif ? "Tarvelo Demo Distributie SRL" : "Contribuabil " + cif + " SRL";
}

bool knownParty(const std::string& cui, const std::string& companyCif, Party& out) {
    if (cui == companyCif) {
        out = company(companyCif);
        return true;
    }
    const auto find = [&](const auto& list) {
        for (const Party& p : list)
            if (p.cui == cui) {
                out = p;
                return true;
            }
        return false;
    };
    return find(kSuppliers) || find(kCustomers);
}

std::string messageDetails(const Message& m) {
    const std::string index = "id_incarcare=" + m.idSolicitare;
    if (m.tip == "FACTURA PRIMITA")
        return "Factura cu " + index + " emisa de cif_emitent=" + supplierOf(m).cui + " pentru cif_beneficiar=" + m.cif;
    if (m.tip == "FACTURA TRIMISA")
        return "Factura cu " + index + " emisa de cif_emitent=" + m.cif + " pentru cif_beneficiar=" + customerOf(m).cui;
    if (m.tip == "ERORI FACTURA") return "Erori de validare identificate la factura primita cu " + index;
    if (m.tip == "MESAJ CUMPARATOR PRIMIT")
        return "Mesaj de la cumparator pentru factura cu " + index + " emisa de cif_emitent=" + m.cif;
    return "Mesaj transmis furnizorului pentru factura cu " + index + " emisa de cif_emitent=" + supplierOf(m).cui;
}

std::string messageXml(const Message& m) {
    if (m.xml) return *m.xml;
    if (m.tip == "FACTURA PRIMITA") return writeUbl(generatedDocument(m, true));
    if (m.tip == "FACTURA TRIMISA") {
        if (const int k = demoInvoice(m)) return writeUbl(demoSalesInvoice(m, k));
        return writeUbl(generatedDocument(m, false));
    }
    if (m.tip == "ERORI FACTURA")
        return errorReportXml(m.idSolicitare, m.cif,
                              {"E: validari globale  eroare: [BR-RO-010] numarul facturii trebuie sa contina cel "
                               "putin un caracter numeric"});
    std::mt19937_64 rng(m.seed);
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<mesaj xmlns=\"mfp:anaf:dgti:efactura:mesajFactura:v1\" "
           "index_incarcare=\"" + m.idSolicitare + "\" cif=\"" + m.cif + "\"><text>" +
           xmlEscape(kBuyerNotes[rng() % std::size(kBuyerNotes)]) + "</text></mesaj>\n";
}

std::string errorReportXml(const std::string& idSolicitare, const std::string& cif,
                           const std::vector<std::string>& errors) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<header "
                      "xmlns=\"mfp:anaf:dgti:efactura:mesajEroriFactuta:v1\" Index_incarcare=\"" +
                      xmlEscape(idSolicitare) + "\" Cif_emitent=\"" + xmlEscape(cif) + "\">";
    for (const auto& e : errors) xml += "<Error errorMessage=\"" + xmlEscape(e) + "\"/>";
    return xml + "</header>\n";
}

std::string signatureXml(const Message& m, const std::string& document) {
    const std::string digest = sha256Base64(document);
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Signature xmlns=\"http://www.w3.org/2000/09/xmldsig#\">"
           "<SignedInfo><CanonicalizationMethod Algorithm=\"http://www.w3.org/2001/10/xml-exc-c14n#\"/>"
           "<SignatureMethod Algorithm=\"http://www.w3.org/2001/04/xmldsig-more#rsa-sha256\"/>"
           "<Reference URI=\"" + m.idSolicitare + ".xml\"><DigestMethod "
           "Algorithm=\"http://www.w3.org/2001/04/xmlenc#sha256\"/><DigestValue>" + digest +
           "</DigestValue></Reference></SignedInfo><SignatureValue>" + sha256Base64(digest + m.id) +
           "</SignatureValue><KeyInfo><X509Data><X509SubjectName>CN=MINISTERUL FINANTELOR (stand-in)"
           "</X509SubjectName></X509Data></KeyInfo></Signature>\n";
}

}  // namespace standin
