#include "ubl_reader.h"

#include <cstring>

#include "xml_util.h"

namespace standin {
namespace {

// A path of local names below `from`, e.g. {"AccountingSupplierParty", "Party", "PartyLegalEntity"}.
pugi::xml_node path(pugi::xml_node from, std::initializer_list<const char*> names) {
    for (const char* n : names) {
        if (!from) return {};
        from = child(from, n);
    }
    return from;
}

bool isDate(const std::string& s) {
    if (s.size() != 10 || s[4] != '-' || s[7] != '-') return false;
    for (std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (s[i] < '0' || s[i] > '9') return false;
    return true;
}

std::string text(pugi::xml_node n) { return n ? std::string(n.text().get()) : std::string(); }

bool parse(const std::string& text, pugi::xml_document& doc, std::string& error) {
    const auto result = doc.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8);
    if (!result) {
        error = std::string(result.description()) + " (pozitia " + std::to_string(result.offset) + ")";
        return false;
    }
    if (!doc.document_element()) {
        error = "documentul nu are element radacina";
        return false;
    }
    return true;
}

// Every element below `node` with local name `name`, in document order. Iterative: a client may
// send nesting deep enough to overflow a recursive walk.
void visit(pugi::xml_node node, const char* name, std::vector<pugi::xml_node>& out) {
    pugi::xml_node cur = node.first_child();
    while (cur && cur != node) {
        if (cur.type() == pugi::node_element && std::strcmp(localName(cur.name()), name) == 0) out.push_back(cur);
        if (cur.first_child()) {
            cur = cur.first_child();
            continue;
        }
        while (cur != node && !cur.next_sibling()) cur = cur.parent();
        if (cur != node) cur = cur.next_sibling();
    }
}

}  // namespace

XmlCheck checkXml(const std::string& text) {
    XmlCheck check;
    pugi::xml_document doc;
    check.wellFormed = parse(text, doc, check.error);
    if (check.wellFormed) check.rootName = localName(doc.document_element().name());
    return check;
}

std::vector<std::string> validateUbl(const std::string& xml, const std::string& expectedRoot) {
    pugi::xml_document doc;
    std::string error;
    if (!parse(xml, doc, error)) return {"E: validari xml  eroare: Fisierul transmis nu este un XML valid: " + error};
    const auto root = doc.document_element();
    const std::string rootName = localName(root.name());
    if (rootName != expectedRoot)
        return {"E: validari xml schema  eroare: elementul radacina este " + rootName + ", se astepta " + expectedRoot};

    std::vector<std::string> errors;
    const auto rule = [&](bool ok, const std::string& id, const std::string& message) {
        if (!ok) errors.push_back("E: validari globale  eroare: [" + id + "] " + message);
    };
    const bool credit = expectedRoot == "CreditNote";
    rule(text(child(root, "CustomizationID")).find("CIUS-RO") != std::string::npos, "BR-01",
         "O factura trebuie sa aiba un identificator al specificatiei (cbc:CustomizationID) CIUS-RO");
    const std::string number = text(child(root, "ID"));
    rule(!number.empty(), "BR-02", "O factura trebuie sa aiba un numar de factura (cbc:ID)");
    rule(number.empty() || number.find_first_of("0123456789") != std::string::npos, "BR-RO-010",
         "numarul facturii trebuie sa contina cel putin un caracter numeric");
    rule(isDate(text(child(root, "IssueDate"))), "BR-03",
         "O factura trebuie sa aiba o data de emitere (cbc:IssueDate) de forma AAAA-LL-ZZ");
    rule(!text(child(root, credit ? "CreditNoteTypeCode" : "InvoiceTypeCode")).empty(), "BR-04",
         "O factura trebuie sa aiba un cod de tip al facturii");
    rule(!text(child(root, "DocumentCurrencyCode")).empty(), "BR-05", "O factura trebuie sa aiba un cod de moneda");
    rule(!text(path(root, {"AccountingSupplierParty", "Party", "PartyLegalEntity", "RegistrationName"})).empty(),
         "BR-06", "O factura trebuie sa contina numele vanzatorului");
    rule(!text(path(root, {"AccountingCustomerParty", "Party", "PartyLegalEntity", "RegistrationName"})).empty(),
         "BR-07", "O factura trebuie sa contina numele cumparatorului");
    rule(!text(path(root, {"LegalMonetaryTotal", "TaxInclusiveAmount"})).empty(), "BR-14",
         "O factura trebuie sa aiba valoarea totala cu TVA");
    rule(!text(path(root, {"LegalMonetaryTotal", "PayableAmount"})).empty(), "BR-15",
         "O factura trebuie sa aiba suma de plata");
    rule(static_cast<bool>(child(root, credit ? "CreditNoteLine" : "InvoiceLine")), "BR-16",
         "O factura trebuie sa aiba cel putin o linie");
    return errors;
}

std::vector<std::string> invoiceLines(const std::string& xml) {
    pugi::xml_document doc;
    std::string error;
    if (!parse(xml, doc, error)) return {"Document XML nelizibil"};
    const auto root = doc.document_element();
    const std::string kind = localName(root.name());
    std::vector<std::string> lines;
    lines.push_back(kind == "CreditNote" ? "FACTURA - NOTA DE CREDITARE" : kind == "Invoice" ? "FACTURA" : kind);
    const auto add = [&](const std::string& label, const std::string& value) {
        if (!value.empty()) lines.push_back(label + value);
    };
    add("Numar: ", text(child(root, "ID")));
    add("Data emiterii: ", text(child(root, "IssueDate")));
    add("Data scadentei: ", text(child(root, "DueDate")));
    add("Moneda: ", text(child(root, "DocumentCurrencyCode")));
    lines.emplace_back();
    for (const char* role : {"AccountingSupplierParty", "AccountingCustomerParty"}) {
        const auto party = path(root, {role, "Party"});
        add(std::strcmp(role, "AccountingSupplierParty") == 0 ? "Furnizor: " : "Cumparator: ",
            text(path(party, {"PartyLegalEntity", "RegistrationName"})));
        add("  CIF: ", text(path(party, {"PartyTaxScheme", "CompanyID"})));
        add("  Adresa: ", text(path(party, {"PostalAddress", "StreetName"})) + " " +
                              text(path(party, {"PostalAddress", "CityName"})));
    }
    lines.emplace_back();
    std::vector<pugi::xml_node> items;
    visit(root, kind == "CreditNote" ? "CreditNoteLine" : "InvoiceLine", items);
    for (const auto& item : items) {
        const auto quantity = child(item, kind == "CreditNote" ? "CreditedQuantity" : "InvoicedQuantity");
        lines.push_back(text(child(item, "ID")) + ". " + text(path(item, {"Item", "Name"})) + "  " + text(quantity) +
                        " " + quantity.attribute("unitCode").value() + " x " + text(path(item, {"Price", "PriceAmount"})) +
                        " = " + text(child(item, "LineExtensionAmount")));
    }
    lines.emplace_back();
    const auto totals = child(root, "LegalMonetaryTotal");
    add("Total fara TVA: ", text(child(totals, "TaxExclusiveAmount")));
    add("TVA: ", text(path(root, {"TaxTotal", "TaxAmount"})));
    add("Total cu TVA: ", text(child(totals, "TaxInclusiveAmount")));
    add("Rotunjire: ", text(child(totals, "PayableRoundingAmount")));
    add("Total de plata: ", text(child(totals, "PayableAmount")));
    return lines;
}

std::string textAt(const std::string& xml, std::initializer_list<const char*> names) {
    pugi::xml_document doc;
    std::string error;
    return parse(xml, doc, error) ? text(path(doc.document_element(), names)) : std::string();
}

std::string attributeOf(const std::string& xml, const std::string& element, const std::string& name) {
    pugi::xml_document doc;
    std::string error;
    if (!parse(xml, doc, error)) return {};
    std::vector<pugi::xml_node> found;
    if (std::strcmp(localName(doc.document_element().name()), element.c_str()) == 0)
        found.push_back(doc.document_element());
    visit(doc.document_element(), element.c_str(), found);
    return found.empty() ? std::string() : std::string(found.front().attribute(name.c_str()).value());
}

}  // namespace standin
