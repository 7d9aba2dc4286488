// Reading invoices and the list page: o_e_fact_read_xml and o_efact_umplu_msg on a real PostgreSQL.
#include <gtest/gtest.h>

#include "platform/pg/value.h"
#include "support/test_data.h"
#include "support/test_database.h"

using platform::pg::Value;
using testsupport::TestDatabase;

namespace {

// A small invoice whose elements carry prefixes of their own choosing.
const char* const kPrefixedInvoice = R"(<?xml version="1.0" encoding="UTF-8"?>
<inv:Invoice xmlns:inv="urn:oasis:names:specification:ubl:schema:xsd:Invoice-2"
  xmlns:a="urn:oasis:names:specification:ubl:schema:xsd:CommonAggregateComponents-2"
  xmlns:b="urn:oasis:names:specification:ubl:schema:xsd:CommonBasicComponents-2">
 <b:ID>F-77</b:ID><b:IssueDate>2024-03-05</b:IssueDate><b:InvoiceTypeCode>380</b:InvoiceTypeCode>
 <a:AccountingSupplierParty><a:Party><a:PartyName><b:Name>Nume comercial</b:Name></a:PartyName>
  <a:PartyLegalEntity><b:RegistrationName>Furnizor &amp; Fiii SRL</b:RegistrationName></a:PartyLegalEntity></a:Party></a:AccountingSupplierParty>
 <a:AccountingCustomerParty><a:Party><a:PartyName><b:Name>Cumparator SA</b:Name></a:PartyName></a:Party></a:AccountingCustomerParty>
 <a:LegalMonetaryTotal><b:TaxInclusiveAmount currencyID="EUR">119.01</b:TaxInclusiveAmount>
  <b:PayableRoundingAmount currencyID="EUR">-0.01</b:PayableRoundingAmount></a:LegalMonetaryTotal>
</inv:Invoice>)";

std::string replaced(std::string s, const std::string& from, const std::string& to) {
    const auto at = s.find(from);
    if (at == std::string::npos) throw std::logic_error("fixture lacks " + from);
    return s.replace(at, from.size(), to);
}

const char* const kReadAll =
    "SELECT coalesce(err_xml, '-') || '|' || coalesce(data_doc_xml::text, '-') || '|' ||"
    " coalesce(tip_doc_xml, '-') || '|' || coalesce(nr_doc_xml, '-') || '|' || coalesce(partener_xml, '-') || '|' ||"
    " coalesce(partener_cump_xml, '-') || '|' || coalesce(type_code_doc_xml, '-') || '|' ||"
    " coalesce(val_cu_tva_mon_xml::text, '-') || '|' || coalesce(val_rotunjire_plata_xml::text, '-')"
    " FROM o_e_fact_read_xml($1)";

}  // namespace

TEST(SqlReadXml, ReadsInvoicesAndCreditNotesWhateverTheirPrefixes) {
    TestDatabase db;
    struct Case {
        std::string name, xml, expected;  // err|date|root|id|supplier|buyer|code|total|rounding
    };
    const std::vector<Case> cases = {
        {"invoice, default namespace", testsupport::sample("eInvoice_ex.xml"),
         "-|2022-05-31|Invoice|6422451356|Seller SRL|Buyer SRL|380|41340576.71|-"},
        {"credit note, default namespace", testsupport::sample("creditNote_ex.xml"),
         "-|2018-07-31|CreditNote|2018-112|Säljbolaget AB|Centrala Inköps Handelsbolag|381|500|-"},
        {"own prefixes, entity decoded, rounding, trade name only for the buyer", kPrefixedInvoice,
         "-|2024-03-05|Invoice|F-77|Furnizor & Fiii SRL|Cumparator SA|380|119.01|-0.01"},
        {"missing total is no fault",
         replaced(kPrefixedInvoice, R"(<b:TaxInclusiveAmount currencyID="EUR">119.01</b:TaxInclusiveAmount>)", ""),
         "-|2024-03-05|Invoice|F-77|Furnizor & Fiii SRL|Cumparator SA|380|-|-0.01"},
        {"byte order mark and another declared encoding",
         "\xEF\xBB\xBF" + replaced(kPrefixedInvoice, "UTF-8", "ISO-8859-2"),
         "-|2024-03-05|Invoice|F-77|Furnizor & Fiii SRL|Cumparator SA|380|119.01|-0.01"},
    };
    for (const auto& c : cases) {
        const auto rows = db.rows(kReadAll, {Value(c.xml)});
        ASSERT_EQ(rows.size(), 1u) << c.name;
        EXPECT_EQ(rows[0][0], c.expected) << c.name;
    }
}

TEST(SqlReadXml, DescribesFaultsInErrXmlInsteadOfRaising) {
    TestDatabase db;
    struct Case {
        std::string name;
        Value xml;
        std::string errContains, nrDoc;
    };
    const std::vector<Case> cases = {
        {"null", Value(), "XML lipsa", "-"},
        {"blank", Value("  \n"), "XML lipsa", "-"},
        {"not xml", Value("nu este xml"), "XML invalid", "-"},
        {"not well-formed", Value("<Invoice><ID>1</Invoice>"), "XML invalid", "-"},
        {"foreign root", Value("<Order><ID>1</ID></Order>"), "radacina Order", "-"},
        {"local date format", Value(replaced(kPrefixedInvoice, "2024-03-05", "05.03.2024")),
         "IssueDate invalid: 05.03.2024", "F-77"},
        {"no such day", Value(replaced(kPrefixedInvoice, "2024-03-05", "2024-02-30")), "IssueDate invalid", "F-77"},
        {"decimal comma", Value(replaced(kPrefixedInvoice, "119.01", "119,01")), "TaxInclusiveAmount invalid: 119,01",
         "F-77"},
        {"no ID", Value(replaced(kPrefixedInvoice, "<b:ID>F-77</b:ID>", "")), "ID lipsa", "-"},
    };
    for (const auto& c : cases) {
        const auto rows = db.rows("SELECT coalesce(err_xml, '-'), coalesce(nr_doc_xml, '-') FROM o_e_fact_read_xml($1)",
                                  {c.xml});
        ASSERT_EQ(rows.size(), 1u) << c.name;
        EXPECT_NE(rows[0][0].find(c.errContains), std::string::npos) << c.name << ": " << rows[0][0];
        EXPECT_EQ(rows[0][1], c.nrDoc) << c.name;  // what can be read is still read
    }
    // entities are not expanded into a flood, nor fetched from outside
    std::string laughs = "<!DOCTYPE l [<!ENTITY a \"aaaaaaaaaa\">";
    for (int i = 1; i < 9; ++i) {
        laughs += "<!ENTITY a" + std::to_string(i) + " \"";
        for (int k = 0; k < 10; ++k) laughs += i == 1 ? "&a;" : "&a" + std::to_string(i - 1) + ";";
        laughs += "\">";
    }
    laughs += "]><Invoice><ID>&a8;</ID></Invoice>";
    EXPECT_NE(db.scalar("SELECT coalesce(err_xml, '-') FROM o_e_fact_read_xml($1)", {Value(laughs)}), "-");
    EXPECT_EQ(db.scalar("SELECT coalesce(nr_doc_xml, '-') FROM o_e_fact_read_xml($1)",
                        {Value("<!DOCTYPE r [<!ENTITY x SYSTEM \"file:///etc/hostname\">]>"
                               "<Invoice><ID>&x;</ID><IssueDate>2024-01-01</IssueDate></Invoice>")}),
              "-");
}

TEST(SqlListPage, LeavesOnlyThePagesMessagesNotYetStored) {
    TestDatabase db;
    db.exec("INSERT INTO anaf_e_fact_msg_toate (msg_data_creare, msg_id) VALUES ('202403011030', '1')");
    const std::string page = R"({"mesaje":[
        {"data_creare":"202403011030","cif":"41801234","id_solicitare":"10","detalii":"held","tip":"FACTURA PRIMITA","id":"1"},
        {"data_creare":"202403011031","cif":"41801234","id_solicitare":"11","detalii":"new","tip":"FACTURA TRIMISA","id":"1"},
        {"data_creare":"202403011032","cif":"41801234","id_solicitare":"12","detalii":"new","tip":"ERORI FACTURA","id":"2"},
        {"data_creare":"202403011032","cif":"41801234","id_solicitare":"12","detalii":"twice","tip":"ERORI FACTURA","id":"2"}],
        "serial":"x","cui":"41801234","titlu":"Lista Mesaje","numar_total_pagini":"3"})";
    db.exec("SELECT o_efact_umplu_msg($1)", {Value(page)});
    EXPECT_EQ(db.scalar("SELECT string_agg(data_creare || '/' || id || '/' || cif || '/' || id_solicitare || '/' ||"
                        " detalii || '/' || tip, ',') FROM temp_lista_mesaje"),
              "202403011031/1/41801234/11/new/FACTURA TRIMISA,202403011032/2/41801234/12/new/ERORI FACTURA");

    // each call replaces the table's contents; an "eroare" answer leaves it empty
    db.exec("SELECT o_efact_umplu_msg($1)",
            {Value(R"({"eroare":"Nu exista mesaje in intervalul selectat","titlu":"Lista Mesaje"})")});
    EXPECT_EQ(db.scalar("SELECT count(*) FROM temp_lista_mesaje"), "0");
    EXPECT_THROW(db.exec("SELECT o_efact_umplu_msg($1)", {Value("nu json")}), platform::pg::Error);
}

TEST(SqlListPage, MatchesStoredMessagesOnBothPartsOfTheKey) {
    TestDatabase db;
    db.exec("INSERT INTO anaf_e_fact_msg_toate (msg_data_creare, msg_id, msg_tip)"
            " SELECT to_char(timestamp '2024-01-01' + n * interval '1 minute', 'YYYYMMDDHH24MI'), n::text,"
            " 'FACTURA PRIMITA' FROM generate_series(1, 1000) n");
    // a page of 500: even ones stored; odd ones new by id; every fifth odd one reuses a stored id
    // under another creation time, which makes it a different message
    db.exec("SELECT o_efact_umplu_msg(json_build_object('mesaje', json_agg(json_build_object("
            " 'data_creare', to_char(timestamp '2024-01-01' + (n + CASE WHEN n % 10 = 5 THEN 2000 ELSE 0 END)"
            "   * interval '1 minute', 'YYYYMMDDHH24MI'),"
            " 'id', CASE WHEN n % 2 = 0 OR n % 10 = 5 THEN n::text ELSE 'nou' || n END,"
            " 'tip', 'FACTURA PRIMITA') ORDER BY n))::text) FROM generate_series(1, 500) n");
    EXPECT_EQ(db.scalar("SELECT count(*) FROM temp_lista_mesaje"), "250");
    EXPECT_EQ(db.scalar("SELECT count(*) FROM temp_lista_mesaje m JOIN anaf_e_fact_msg_toate t"
                        " ON t.msg_data_creare = m.data_creare AND t.msg_id = m.id"),
              "0");
}
