// The ERP's stored functions and views against a real PostgreSQL.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

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
 <b:DocumentCurrencyCode>EUR</b:DocumentCurrencyCode>
 <a:AccountingSupplierParty><a:Party><a:PartyTaxScheme><b:CompanyID>RO123</b:CompanyID></a:PartyTaxScheme>
  <a:PartyLegalEntity><b:RegistrationName>Furnizor &amp; Fiii SRL</b:RegistrationName></a:PartyLegalEntity></a:Party></a:AccountingSupplierParty>
 <a:AccountingCustomerParty><a:Party><a:PartyLegalEntity><b:RegistrationName>Cumparator SA</b:RegistrationName></a:PartyLegalEntity></a:Party></a:AccountingCustomerParty>
 <a:LegalMonetaryTotal><b:TaxInclusiveAmount currencyID="EUR">119.01</b:TaxInclusiveAmount>
  <b:PayableRoundingAmount currencyID="EUR">-0.01</b:PayableRoundingAmount></a:LegalMonetaryTotal>
 <a:InvoiceLine><b:ID>1</b:ID><b:InvoicedQuantity unitCode="H87">2</b:InvoicedQuantity>
  <a:Item><b:Name>Surub</b:Name></a:Item><a:Price><b:PriceAmount currencyID="EUR">50</b:PriceAmount></a:Price></a:InvoiceLine>
</inv:Invoice>)";

std::string replaced(std::string s, const std::string& from, const std::string& to) {
    s.replace(s.find(from), from.size(), to);
    return s;
}

}  // namespace

TEST(ErpReadXml, ReadsUblWhateverItsPrefixesAndDescribesWhatItCannotRead) {
    TestDatabase db;
    struct Case {
        std::string name, xml, expected;  // err|date|root|id|supplier|buyer|code|total|rounding
    };
    const std::vector<Case> cases = {
        {"ministry invoice, default namespace", testsupport::sample("eInvoice_ex.xml"),
         "<null>|2022-05-31|Invoice|6422451356|Seller SRL|Buyer SRL|380|41340576.71|<null>"},
        {"credit note in SEK", testsupport::sample("creditNote_ex.xml"),
         "<null>|2018-07-31|CreditNote|2018-112|Säljbolaget AB|Centrala Inköps Handelsbolag|381|500|<null>"},
        {"own prefixes, rounding", kPrefixedInvoice,
         "<null>|2024-03-05|Invoice|F-77|Furnizor & Fiii SRL|Cumparator SA|380|119.01|-0.01"},
        {"missing total",
         replaced(kPrefixedInvoice, "<b:TaxInclusiveAmount currencyID=\"EUR\">119.01</b:TaxInclusiveAmount>", ""),
         "<null>|2024-03-05|Invoice|F-77|Furnizor & Fiii SRL|Cumparator SA|380|<null>|-0.01"},
    };
    for (const auto& c : cases) {
        const auto rows = db.rows(
            "SELECT coalesce(err_xml, '<null>') || '|' || coalesce(data_doc_xml::text, '<null>') || '|' ||"
            " coalesce(tip_doc_xml, '<null>') || '|' || coalesce(nr_doc_xml, '<null>') || '|' ||"
            " coalesce(partener_xml, '<null>') || '|' || coalesce(partener_cump_xml, '<null>') || '|' ||"
            " coalesce(type_code_doc_xml, '<null>') || '|' || coalesce(val_cu_tva_mon_xml::text, '<null>') ||"
            " '|' || coalesce(val_rotunjire_plata_xml::text, '<null>') FROM o_e_fact_read_xml($1)",
            {Value(c.xml)});
        ASSERT_EQ(rows.size(), 1u) << c.name;
        EXPECT_EQ(rows[0][0], c.expected) << c.name;
    }
    // faults are described in err_xml, never raised
    for (const std::string& bad : std::vector<std::string>{"", "nu este xml", "<Invoice><ID>1</Invoice>", "<Order><ID>1</ID></Order>",
                                  replaced(kPrefixedInvoice, "2024-03-05", "05.03.2024")}) {
        const auto err = db.scalar("SELECT err_xml FROM o_e_fact_read_xml($1)", {Value(bad)});
        EXPECT_NE(err, "<null>") << bad;
    }
    EXPECT_NE(db.scalar("SELECT err_xml FROM o_e_fact_read_xml(NULL)"), "<null>");
}

TEST(ErpListPage, KeepsOnlyThePagesMessagesNotYetStored) {
    TestDatabase db;
    db.exec("INSERT INTO anaf_e_fact_msg_toate (msg_data_creare, msg_id) VALUES ('202403011030', '1')");
    const std::string page = R"({"mesaje":[
        {"data_creare":"202403011030","cif":"41801234","id_solicitare":"10","detalii":"a","tip":"FACTURA PRIMITA","id":"1"},
        {"data_creare":"202403011031","cif":"41801234","id_solicitare":"11","detalii":"b","tip":"FACTURA TRIMISA","id":"1"},
        {"data_creare":"202403011032","cif":"41801234","id_solicitare":"12","detalii":"c","tip":"ERORI FACTURA","id":"2"}],
        "numar_total_pagini":1})";
    db.exec("SELECT * FROM o_efact_umplu_msg($1)", {Value(page)});
    EXPECT_EQ(db.scalar("SELECT string_agg(data_creare || '/' || id || '/' || tip, ',') FROM temp_lista_mesaje"),
              "202403011031/1/FACTURA TRIMISA,202403011032/2/ERORI FACTURA");
    // the next page replaces the table's contents; an "eroare" page leaves it empty
    db.exec("SELECT * FROM o_efact_umplu_msg($1)",
            {Value(std::string(R"({"eroare":"Nu exista mesaje in intervalul selectat"})"))});
    EXPECT_EQ(db.scalar("SELECT count(*) FROM temp_lista_mesaje"), "0");
    EXPECT_THROW(db.exec("SELECT * FROM o_efact_umplu_msg($1)", {Value(std::string("nu json"))}),
                 platform::pg::Error);
}

TEST(ErpImport, CreatesThePurchaseDocumentOnceAndRecordsWhyItCannot) {
    TestDatabase db(TestDatabase::Kind::Erp, true);
    db.exec(
        "INSERT INTO anaf_e_fact_msg_toate (msg_data_creare, msg_id, msg_tip, msg_factura_xml) VALUES"
        " ('202403051000', '7', 'FACTURA PRIMITA', $1),"
        " ('202403051001', '8', 'FACTURA PRIMITA', 'stricat <'),"
        " ('202403051002', '9', 'FACTURA PRIMITA', NULL)",
        {Value(std::string(kPrefixedInvoice))});
    db.exec("INSERT INTO anaf_e_fact_furn_msg (msg_data_creare, msg_id, msg_tip) VALUES ('202403051000', '7', 'FACTURA PRIMITA')");
    for (const char* id : {"7", "8", "9"})
        db.exec("SELECT * FROM o_efact_furn_ins_qor_unu_msg_toate('ana.popescu', $1, $2)",
                {Value(std::string(id == std::string("7") ? "202403051000" : id == std::string("8") ? "202403051001" : "202403051002")),
                 Value(std::string(id))});
    EXPECT_EQ(db.scalar("SELECT tip_doc || ' ' || nr_doc || ' ' || data_doc || ' ' || val_mon || ' ' || moneda || ' ' || partener"
                        " FROM doc WHERE tip_doc = 'FF'"),
              "FF F-77 2024-03-05 119.01 EUR Furnizor & Fiii SRL");
    EXPECT_EQ(db.scalar("SELECT count(*) FROM doc_linii WHERE tip_doc = 'FF'"), "1");
    EXPECT_EQ(db.scalar("SELECT (data_ins_qor IS NOT NULL)::text || coalesce(err_ins_qor, '-') FROM anaf_e_fact_msg_toate WHERE msg_id = '7'"),
              "true-");
    EXPECT_EQ(db.scalar("SELECT (data_ins_qor IS NOT NULL)::text FROM anaf_e_fact_furn_msg WHERE msg_id = '7'"), "true");
    EXPECT_EQ(db.scalar("SELECT tip_doc_qor || ' ' || nr_doc_qor FROM view_anaf_e_fact_msg_toate WHERE msg_id = '7'"), "FF F-77");
    EXPECT_NE(db.scalar("SELECT err_ins_qor FROM anaf_e_fact_msg_toate WHERE msg_id = '8'").find("nu poate fi citit"), std::string::npos);
    EXPECT_NE(db.scalar("SELECT err_ins_qor FROM anaf_e_fact_msg_toate WHERE msg_id = '9'").find("nu contine XML"), std::string::npos);
    EXPECT_EQ(db.scalar("SELECT count(*) FROM anaf_e_fact_msg_toate WHERE msg_id IN ('8', '9') AND data_ins_qor IS NOT NULL"), "0");

    // a second import creates nothing and says why
    db.exec("SELECT * FROM o_efact_furn_ins_qor_unu_msg_toate('ana.popescu', '202403051000', '7')");
    EXPECT_EQ(db.scalar("SELECT count(*) FROM doc WHERE tip_doc = 'FF'"), "1");
    EXPECT_NE(db.scalar("SELECT err_ins_qor FROM anaf_e_fact_msg_toate WHERE msg_id = '7'").find("deja importata"),
              std::string::npos);
}

TEST(ErpViews, EachMessageHasOneRowAndSentMessagesFindTheirUploadedDocument) {
    TestDatabase db(TestDatabase::Kind::Erp, true);
    // the same index twice in the ERP: still one row, the newest document
    db.exec("INSERT INTO doc (data_doc, tip_doc, nr_doc) VALUES ('2020-01-01', 'FC', 'OLD1')");
    db.exec("INSERT INTO anaf_e_fact (data_doc, tip_doc, nr_doc, index_incarcare)"
            " VALUES ('2020-01-01', 'FC', 'OLD1', '5000100001')");
    db.exec(
        "INSERT INTO anaf_e_fact_msg_toate (msg_data_creare, msg_id, msg_tip, msg_index_incarcare) VALUES"
        " ('202403051000', '1', 'FACTURA TRIMISA', '5000100001'),"
        " ('202403051001', '2', 'ERORI FACTURA', '5000100002'),"
        " ('202403051002', '3', 'FACTURA PRIMITA', '5000100001'),"
        " ('202403051003', '4', 'MESAJ CUMPARATOR PRIMIT', '999')");
    const auto rows = db.rows(
        "SELECT msg_id, coalesce(tip_doc_qor || ' ' || nr_doc_qor, '-') FROM view_anaf_e_fact_msg_toate ORDER BY msg_id");
    ASSERT_EQ(rows.size(), 4u);
    const std::string expected1 = db.scalar(
        "SELECT tip_doc || ' ' || nr_doc FROM anaf_e_fact WHERE index_incarcare = '5000100001' ORDER BY data_doc DESC LIMIT 1");
    EXPECT_EQ(rows[0][1], expected1);
    EXPECT_EQ(rows[0][1], "FC TDD00001");
    EXPECT_EQ(rows[1][1], "FC TDD00002");
    EXPECT_EQ(rows[2][1], "-");  // a received invoice is matched only by its import
    EXPECT_EQ(rows[3][1], "-");
    EXPECT_EQ(db.scalar("SELECT count(*) FROM view_anaf_e_fact_msg_toate_extins"), "4");
}

TEST(ErpGenerators, BuildWellFormedXmlAndRefuseKeysThatNameNothing) {
    TestDatabase db(TestDatabase::Kind::Erp, true);
    const std::string docDate = db.scalar("SELECT data_doc FROM doc WHERE nr_doc = 'TDD00001'");
    const Value d(platform::pg::parseDate(docDate));
    const std::string invoice = db.scalar(
        "SELECT pxmlef FROM o_gen_xml_efactura(pdatadoc => $1, ptipdoc => 'FC', pnrdoc => 'TDD00001')", {d});
    EXPECT_EQ(db.scalar("SELECT nr_doc_xml || ' ' || tip_doc_xml || ' ' || partener_xml || ' ' || "
                        "coalesce(err_xml, 'ok') FROM o_e_fact_read_xml($1)", {Value(invoice)}),
              "TDD00001 Invoice Tarvelo Demo Distributie SRL ok");
    db.exec("INSERT INTO anaf_e_transp_actiuni (data_doc, tip_doc, nr_doc, scv, actiune, uit)"
            " VALUES ($1, 'FC', 'TDD00001', 1, 'Upload_eTransp', 'UIT123')", {d});
    const std::vector<std::string> generated = {
        db.scalar("SELECT pxmltrimitemesaj FROM o_gen_xml_efact_trimite_mesaj('5000100001', 'Factura <are> erori & lipsuri')"),
        db.scalar("SELECT pxmlet FROM o_gen_xml_etransp($1, 'FC', 'TDD00001', 1)", {d}),
        db.scalar("SELECT pxmlet FROM o_gen_xml_etransp_sterge($1, 'FC', 'TDD00001', 1)", {d}),
        db.scalar("SELECT pxmlet FROM o_gen_xml_etransp_confirm($1, 'FC', 'TDD00001', 1)", {d}),
        db.scalar("SELECT pxmlet FROM o_gen_xml_etransp_modif_vehicul('UIT123', '2024-03-05 10:00', 'B 01 ABC', '', '', 'schimbare', '')"),
    };
    for (const auto& xml : generated)
        EXPECT_EQ(db.scalar("SELECT o_xml_parse($1) IS NOT NULL", {Value(xml)}), "t") << xml;

    const char* const refused[] = {
        "SELECT * FROM o_gen_xml_efactura('2001-01-01', 'FC', 'NIMIC')",
        "SELECT * FROM o_gen_xml_efact_trimite_mesaj('0', 'text')",
        "SELECT * FROM o_gen_xml_etransp('2001-01-01', 'FC', 'NIMIC', 1)",
        "SELECT * FROM o_gen_xml_etransp_sterge('2001-01-01', 'FC', 'NIMIC', 1)",
        "SELECT * FROM o_gen_xml_etransp_confirm('2001-01-01', 'FC', 'NIMIC', 1)",
        "SELECT * FROM o_gen_xml_etransp_modif_vehicul('NU-EXISTA', now()::timestamp, 'B 1', '', '', '', '')",
    };
    for (const char* sql : refused) EXPECT_THROW(db.exec(sql), platform::pg::Error) << sql;
}

TEST(ErpTables, AcceptRowsGivingOnlyTheListedColumns) {
    TestDatabase db;
    db.exec(R"SQL(
        INSERT INTO emitent (emitent, operator_parola) VALUES ('x', 'y');
        INSERT INTO eu (cod_cci) VALUES ('RO 1');
        INSERT INTO oauth2_client (cid) VALUES ('c');
        INSERT INTO oauth2_client_serviciu_em (cid) VALUES ('c');
        INSERT INTO digital_certif (serial_no) VALUES ('AB'), ('AB');
        INSERT INTO anaf_e_fact (data_doc, tip_doc, nr_doc) VALUES ('2024-01-01', 'FC', '1');
        INSERT INTO anaf_e_fact_msg (id_mesaj) VALUES ('1');
        INSERT INTO doc (data_doc, tip_doc, nr_doc) VALUES ('2024-01-01', 'FC', '1');
        INSERT INTO anaf_e_transp_actiuni (data_doc, tip_doc, nr_doc, scv, actiune) VALUES ('2024-01-01', 'FC', '1', 1, 'a');
        INSERT INTO anaf_inf_cui (data_interogare, cui) VALUES ('2024-01-01', '1');
    )SQL");
    EXPECT_EQ(db.scalar("SELECT cand IS NOT NULL FROM anaf_e_transp_actiuni"), "t");
    EXPECT_EQ(db.scalar("SELECT count(*) FROM view_anaf_inf_cui"), "1");
    TestDatabase central(TestDatabase::Kind::Central);
    central.exec("INSERT INTO servicii_web_anaf (serviciu_web) VALUES ('s'); INSERT INTO oauth2_api_anaf_qor (cid) VALUES ('c');"
                 "INSERT INTO e_transp_ptf (cod_ptf) VALUES ('1'); INSERT INTO e_transp_birou_vamal (cod_birou_vamal) VALUES ('B');"
                 "INSERT INTO e_transp_tip_confirm (cod_tip_confirm) VALUES ('10')");
    EXPECT_EQ(central.scalar("SELECT count(*) FROM e_transp_ptf"), "1");
}
