#include "ubl_writer.h"

#include <cmath>
#include <cstdio>
#include <map>

#include "clock.h"

namespace standin {
namespace {

constexpr double kEurRon = 4.9750;  // the exchange rate written into EUR invoices

double round2(double v) { return std::round(v * 100) / 100; }

std::string money(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2f", round2(v) == 0 ? 0.0 : round2(v));
    return buf;
}

std::string amount(const char* tag, double v, const std::string& currency) {
    return std::string("<cbc:") + tag + " currencyID=\"" + currency + "\">" + money(v) + "</cbc:" + tag + ">";
}

std::string taxCategory(const char* tag, int percent) {
    return std::string("<cac:") + tag + "><cbc:ID>" + (percent == 0 ? "Z" : "S") + "</cbc:ID><cbc:Percent>" +
           std::to_string(percent) + "</cbc:Percent><cac:TaxScheme><cbc:ID>VAT</cbc:ID></cac:TaxScheme></cac:" + tag +
           ">";
}

std::string party(const char* role, const Party& p) {
    std::string x = std::string("<cac:") + role + "><cac:Party><cac:PostalAddress><cbc:StreetName>" +
                    xmlEscape(p.street) + "</cbc:StreetName><cbc:CityName>" + xmlEscape(p.city) +
                    "</cbc:CityName><cbc:CountrySubentity>" + p.county +
                    "</cbc:CountrySubentity><cac:Country><cbc:IdentificationCode>RO</cbc:IdentificationCode>"
                    "</cac:Country></cac:PostalAddress>";
    if (!p.vatPrefix.empty())
        x += "<cac:PartyTaxScheme><cbc:CompanyID>" + p.vatPrefix + p.cui +
             "</cbc:CompanyID><cac:TaxScheme><cbc:ID>VAT</cbc:ID></cac:TaxScheme></cac:PartyTaxScheme>";
    x += "<cac:PartyLegalEntity><cbc:RegistrationName>" + xmlEscape(p.name) + "</cbc:RegistrationName><cbc:CompanyID>" +
         (p.vatPrefix.empty() ? p.cui : xmlEscape(p.regCom)) + "</cbc:CompanyID></cac:PartyLegalEntity></cac:Party></cac:" +
         role + ">";
    return x;
}

}  // namespace

std::string xmlEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string writeUbl(const UblDocument& d) {
    const std::string root = d.credit ? "CreditNote" : "Invoice";
    const std::string cur = d.currency;
    std::string lines;
    std::map<int, double> taxable;  // VAT rate -> taxable amount
    double net = 0;
    int n = 0;
    for (const auto& l : d.lines) {
        const double value = round2(l.quantity * l.price);
        net += value;
        taxable[l.vatPercent] += value;
        const char* tag = d.credit ? "CreditNoteLine" : "InvoiceLine";
        const char* qty = d.credit ? "CreditedQuantity" : "InvoicedQuantity";
        char quantity[32];
        std::snprintf(quantity, sizeof quantity, "%.3f", l.quantity);
        lines += std::string("<cac:") + tag + "><cbc:ID>" + std::to_string(++n) + "</cbc:ID><cbc:" + qty +
                 " unitCode=\"" + l.unit + "\">" + quantity + "</cbc:" + qty + ">" +
                 amount("LineExtensionAmount", value, cur) + "<cac:Item><cbc:Name>" + xmlEscape(l.name) +
                 "</cbc:Name>" + taxCategory("ClassifiedTaxCategory", l.vatPercent) + "</cac:Item><cac:Price>" +
                 amount("PriceAmount", l.price, cur) + "</cac:Price></cac:" + tag + ">";
    }
    std::string subtotals;
    double vat = 0;
    for (const auto& [percent, base] : taxable) {
        const double tax = round2(base * percent / 100.0);
        vat += tax;
        subtotals += "<cac:TaxSubtotal>" + amount("TaxableAmount", base, cur) + amount("TaxAmount", tax, cur) +
                     taxCategory("TaxCategory", percent) + "</cac:TaxSubtotal>";
    }
    net = round2(net);
    vat = round2(vat);
    const double total = round2(net + vat);
    double roundingAmount = d.rounding ? round2(std::round(total) - total) : 0;
    const std::string issue = formatLocal(d.issueDate, "%Y-%m-%d");
    const std::string due = formatLocal(d.issueDate + 30 * 86400 + 3600, "%Y-%m-%d");

    const std::string rootName = d.prefixedRoot ? "ubl:" + root : root;
    std::string x = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<" + rootName +
                    (d.prefixedRoot ? " xmlns:ubl=\"" : " xmlns=\"") + "urn:oasis:names:specification:ubl:schema:xsd:" +
                    root + "-2\" xmlns:cac=\"urn:oasis:names:specification:ubl:schema:xsd:CommonAggregateComponents-2\""
                    " xmlns:cbc=\"urn:oasis:names:specification:ubl:schema:xsd:CommonBasicComponents-2\">\n"
                    "<cbc:CustomizationID>urn:cen.eu:en16931:2017#compliant#urn:efactura.mfinante.ro:CIUS-RO:1.0.1"
                    "</cbc:CustomizationID><cbc:ID>" + xmlEscape(d.number) + "</cbc:ID><cbc:IssueDate>" + issue +
                    "</cbc:IssueDate>";
    if (!d.credit) x += "<cbc:DueDate>" + due + "</cbc:DueDate><cbc:InvoiceTypeCode>380</cbc:InvoiceTypeCode>";
    else x += "<cbc:CreditNoteTypeCode>381</cbc:CreditNoteTypeCode>";
    x += "<cbc:DocumentCurrencyCode>" + cur + "</cbc:DocumentCurrencyCode>";
    if (cur != "RON") x += "<cbc:TaxCurrencyCode>RON</cbc:TaxCurrencyCode>";
    if (!d.billingReference.empty())
        x += "<cac:BillingReference><cac:InvoiceDocumentReference><cbc:ID>" + xmlEscape(d.billingReference) +
             "</cbc:ID></cac:InvoiceDocumentReference></cac:BillingReference>";
    x += "\n" + party("AccountingSupplierParty", d.supplier) + "\n" + party("AccountingCustomerParty", d.customer) + "\n";
    if (!d.supplier.iban.empty())
        x += "<cac:PaymentMeans><cbc:PaymentMeansCode>42</cbc:PaymentMeansCode><cac:PayeeFinancialAccount><cbc:ID>" +
             d.supplier.iban + "</cbc:ID></cac:PayeeFinancialAccount></cac:PaymentMeans>";
    x += "<cac:TaxTotal>" + amount("TaxAmount", vat, cur) + subtotals + "</cac:TaxTotal>";
    if (cur != "RON") x += "<cac:TaxTotal>" + amount("TaxAmount", vat * kEurRon, "RON") + "</cac:TaxTotal>";
    x += "<cac:LegalMonetaryTotal>" + amount("LineExtensionAmount", net, cur) + amount("TaxExclusiveAmount", net, cur) +
         amount("TaxInclusiveAmount", total, cur);
    if (roundingAmount != 0) x += amount("PayableRoundingAmount", roundingAmount, cur);
    x += amount("PayableAmount", total + roundingAmount, cur) + "</cac:LegalMonetaryTotal>\n" + lines + "\n</" +
         rootName + ">\n";
    return x;
}

}  // namespace standin
