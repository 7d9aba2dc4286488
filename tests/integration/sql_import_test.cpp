// Storing downloaded messages and importing received invoices into the ERP's purchase documents.
#include <gtest/gtest.h>

#include "platform/pg/value.h"
#include "support/test_data.h"
#include "support/test_database.h"

using platform::pg::Value;
using testsupport::TestDatabase;

namespace {

const char* const kCreditNote = R"(<CreditNote xmlns="urn:oasis:names:specification:ubl:schema:xsd:CreditNote-2"
  xmlns:cac="urn:oasis:names:specification:ubl:schema:xsd:CommonAggregateComponents-2"
  xmlns:cbc="urn:oasis:names:specification:ubl:schema:xsd:CommonBasicComponents-2">
 <cbc:ID>CN 5</cbc:ID><cbc:IssueDate>2024-03-06</cbc:IssueDate><cbc:CreditNoteTypeCode>381</cbc:CreditNoteTypeCode>
 <cbc:DocumentCurrencyCode>EUR</cbc:DocumentCurrencyCode>
 <cac:AccountingSupplierParty><cac:Party><cac:PartyTaxScheme><cbc:CompanyID>RO123</cbc:CompanyID></cac:PartyTaxScheme>
  <cac:PartyLegalEntity><cbc:RegistrationName>Furnizor &amp; Fiii SRL</cbc:RegistrationName></cac:PartyLegalEntity></cac:Party></cac:AccountingSupplierParty>
 <cac:LegalMonetaryTotal><cbc:TaxInclusiveAmount currencyID="EUR">59.50</cbc:TaxInclusiveAmount></cac:LegalMonetaryTotal>
 <cac:CreditNoteLine><cbc:ID>1</cbc:ID><cbc:CreditedQuantity unitCode="KGM">2.5</cbc:CreditedQuantity>
  <cac:Item><cbc:Name>Ciment &lt;vrac&gt;</cbc:Name><cac:ClassifiedTaxCategory><cbc:ID>S</cbc:ID><cbc:Percent>19</cbc:Percent></cac:ClassifiedTaxCategory></cac:Item>
  <cac:Price><cbc:PriceAmount currencyID="EUR">10</cbc:PriceAmount></cac:Price></cac:CreditNoteLine>
 <cac:CreditNoteLine><cbc:ID>2</cbc:ID><cbc:CreditedQuantity unitCode="H87">1</cbc:CreditedQuantity>
  <cac:Item><cbc:Name>Palet</cbc:Name><cac:ClassifiedTaxCategory><cbc:ID>S</cbc:ID><cbc:Percent>9</cbc:Percent></cac:ClassifiedTaxCategory></cac:Item>
  <cac:Price><cbc:PriceAmount currencyID="EUR">25</cbc:PriceAmount></cac:Price></cac:CreditNoteLine>
</CreditNote>)";

std::string replaced(std::string s, const std::string& from, const std::string& to) {
    const auto at = s.find(from);
    if (at == std::string::npos) throw std::logic_error("fixture lacks " + from);
    return s.replace(at, from.size(), to);
}

// The import marks of a message: "imported" or "-", then the error or "-".
std::string marks(TestDatabase& db, const std::string& table, const std::string& id) {
    return db.scalar("SELECT CASE WHEN data_ins_qor IS NULL THEN '-' ELSE 'imported' END || ' ' ||"
                     " coalesce(err_ins_qor, '-') FROM " + table + " WHERE msg_id = $1",
                     {Value(id)});
}

void importFromAll(TestDatabase& db, const std::string& dataCreare, const std::string& id) {
    db.exec("SELECT o_efact_furn_ins_qor_unu_msg_toate(pemitent => 'ana.popescu', pmsgdatacreare => $1, pmsgid => $2)",
            {Value(dataCreare), Value(id)});
}

}  // namespace

TEST(SqlImport, CreatesThePurchaseDocumentOnceWithItsLinesAndLink) {
    TestDatabase db;
    const std::string invoice = testsupport::sample("eInvoice_ex.xml");
    db.exec("INSERT INTO anaf_e_fact_msg_toate (msg_data_creare, msg_id, msg_tip, msg_factura_xml) VALUES"
            " ('202403051000', '7', 'FACTURA PRIMITA', $1), ('202403061000', '8', 'FACTURA PRIMITA', $2)",
            {Value(invoice), Value(kCreditNote)});
    db.exec("INSERT INTO anaf_e_fact_furn_msg (msg_data_creare, msg_id, msg_tip, msg_xml)"
            " VALUES ('202403051000', '7', 'FACTURA PRIMITA', $1)", {Value(invoice)});
    importFromAll(db, "202403051000", "7");
    importFromAll(db, "202403061000", "8");

    EXPECT_EQ(db.rows("SELECT tip_doc || ' ' || nr_doc || ' ' || data_doc || ' ' || val_mon || ' ' || moneda || ' ' ||"
                      " partener || ' ' || coalesce(cod_fiscal_partener, '-') || ' ' || emitent FROM doc ORDER BY tip_doc"),
              (std::vector<std::vector<std::string>>{
                  {"FF 6422451356 2022-05-31 41340576.71 RON Seller SRL RO1234567890 ana.popescu"},
                  {"FFR CN 5 2024-03-06 59.50 EUR Furnizor & Fiii SRL RO123 ana.popescu"}}));
    EXPECT_EQ(db.scalar("SELECT count(*) FROM doc_linii WHERE tip_doc = 'FF'"),
              db.scalar("SELECT cardinality(xpath('//*[local-name()=''InvoiceLine'']', o_xml_parse($1)))",
                        {Value(invoice)}));
    EXPECT_EQ(db.scalar("SELECT string_agg(nr_linie || ':' || articol || ':' || um || ':' || cantitate::float8 || ':' ||"
                        " pret::float8 || ':' || cota_tva::float8, ',' ORDER BY nr_linie) FROM doc_linii WHERE tip_doc = 'FFR'"),
              "1:Ciment <vrac>:KGM:2.5:10:19,2:Palet:H87:1:25:9");
    // both message tables carry the mark; the views find the document through the link
    EXPECT_EQ(marks(db, "anaf_e_fact_msg_toate", "7"), "imported -");
    EXPECT_EQ(marks(db, "anaf_e_fact_furn_msg", "7"), "imported -");
    EXPECT_EQ(db.scalar("SELECT string_agg(msg_id || ' ' || tip_doc_qor || ' ' || nr_doc_qor || ' ' || data_doc_qor, ','"
                        " ORDER BY msg_id) FROM view_anaf_e_fact_msg_toate"),
              "7 FF 6422451356 2022-05-31,8 FFR CN 5 2024-03-06");

    // again, from either table: nothing new, the mark stays and the reason is given
    importFromAll(db, "202403051000", "7");
    db.exec("SELECT o_efact_furn_ins_qor_unu('ana.popescu', '202403051000', '7')");
    EXPECT_EQ(db.scalar("SELECT count(*) FROM doc"), "2");
    EXPECT_EQ(marks(db, "anaf_e_fact_msg_toate", "7"),
              "imported Factura este deja importata in QOR: FF 6422451356 din 31.05.2022");
}

TEST(SqlImport, RecordsWhyItCannotImportAndLeavesNothingBehind) {
    TestDatabase db;
    struct Case {
        std::string id, tip;
        Value xml;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"1", "FACTURA PRIMITA", Value(), "Mesajul nu contine XML-ul facturii"},
        {"2", "FACTURA PRIMITA", Value("stricat <"), "XML-ul facturii nu poate fi citit: XML invalid (nu este un document XML bine format)"},
        {"3", "FACTURA PRIMITA", Value(replaced(kCreditNote, "2024-03-06", "06.03.2024")),
         "XML-ul facturii nu poate fi citit: IssueDate invalid: 06.03.2024"},
        {"4", "FACTURA PRIMITA",
         Value(replaced(kCreditNote, "<cbc:RegistrationName>Furnizor &amp; Fiii SRL</cbc:RegistrationName>", "")),
         "Furnizorul nu este precizat in XML"},
        {"5", "FACTURA PRIMITA", Value(replaced(kCreditNote, ">25<", ">25,00<")),
         "Linia 2 a facturii are cantitate, pret sau cota TVA invalide"},
        {"6", "FACTURA TRIMISA", Value(kCreditNote), "Mesajul nu este o factura primita (FACTURA TRIMISA)"},
    };
    for (const auto& c : cases) {
        const std::string key = "20240307100" + c.id;
        db.exec("INSERT INTO anaf_e_fact_msg_toate (msg_data_creare, msg_id, msg_tip, msg_factura_xml)"
                " VALUES ($1, $2, $3, $4)", {Value(key), Value(c.id), Value(c.tip), c.xml});
        importFromAll(db, key, c.id);
        EXPECT_EQ(marks(db, "anaf_e_fact_msg_toate", c.id), "- " + c.error) << c.id;
    }
    // the failing credit note got as far as its partner and first line before its second line failed
    EXPECT_EQ(db.scalar("SELECT (SELECT count(*) FROM doc) + (SELECT count(*) FROM doc_linii) +"
                        " (SELECT count(*) FROM partener) + (SELECT count(*) FROM anaf_e_fact_msg_doc)"),
              "0");
    // an unknown key is the caller's mistake, not an import failure
    EXPECT_THROW(importFromAll(db, "202001010000", "nimic"), platform::pg::Error);

    // a second supplier invoice with the same number and date as a document already in the ERP
    db.exec("INSERT INTO doc (data_doc, tip_doc, nr_doc) VALUES ('2024-03-06', 'FFR', 'CN 5')");
    db.exec("UPDATE anaf_e_fact_msg_toate SET msg_factura_xml = $1 WHERE msg_id = '1'", {Value(kCreditNote)});
    importFromAll(db, "202403071001", "1");
    EXPECT_EQ(marks(db, "anaf_e_fact_msg_toate", "1"), "- Documentul FFR CN 5 din 06.03.2024 exista deja in QOR");
}

TEST(SqlImport, LegacyTableImportsAllPendingMarksAndKeepsGoingPastFailures) {
    TestDatabase db;
    const std::string invoice = testsupport::sample("eInvoice_ex.xml");
    db.exec("INSERT INTO anaf_e_fact_furn_msg (msg_data_creare, msg_id, msg_tip, msg_xml, data_ins_qor) VALUES"
            " ('202403051000', 'a', 'FACTURA PRIMITA', 'rupt', NULL),"
            " ('202403051001', 'b', 'FACTURA PRIMITA', $1, NULL),"
            " ('202403051002', 'c', 'FACTURA PRIMITA', $2, '2024-03-01 10:00'),"
            " ('202403051003', 'd', 'FACTURA PRIMITA', NULL, NULL)",
            {Value(invoice), Value(kCreditNote)});
    db.exec("SELECT o_efact_furn_ins_qor_tot(pemitent => 'ion.ionescu')");
    EXPECT_EQ(db.scalar("SELECT string_agg(tip_doc || ' ' || nr_doc || ' ' || emitent, ',') FROM doc"),
              "FF 6422451356 ion.ionescu");  // c was marked already: left alone
    EXPECT_EQ(marks(db, "anaf_e_fact_furn_msg", "a").substr(0, 40), "- XML-ul facturii nu poate fi citit: XML");
    EXPECT_EQ(marks(db, "anaf_e_fact_furn_msg", "b"), "imported -");
    EXPECT_EQ(marks(db, "anaf_e_fact_furn_msg", "d"), "- Mesajul nu contine XML-ul facturii");

    // marking clears the error and sets the time; an unknown key raises
    db.exec("SELECT o_efact_furn_marcheaza_ins_qor(pmsgdatacreare => '202403051003', pmsgid => 'd')");
    EXPECT_EQ(marks(db, "anaf_e_fact_furn_msg", "d"), "imported -");
    EXPECT_THROW(db.exec("SELECT o_efact_furn_marcheaza_ins_qor('202001010000', 'x')"), platform::pg::Error);
    EXPECT_THROW(db.exec("SELECT o_efact_furn_ins_qor_unu('u', '202001010000', 'x')"), platform::pg::Error);
}

TEST(SqlStoreMessage, KeepsAnswersToOwnUploadsOncePerUploadRecord) {
    TestDatabase db(TestDatabase::Kind::Erp, true);  // demo uploads 5000100001.. 5000100006
    const auto store = [&](const char* id, const char* index, const char* tip) {
        db.exec("SELECT o_anaf_e_fact_msg_ins(pidmesaj => $1, pindexincarcare => $2, pmesaj => '<Invoice/>',"
                " pmesajdetalii => 'd', pmesajtip => $3, pmesajsemnatura => '<Signature/>',"
                " pmesajdata => '202403011000', pmesajzip => '\\x504b0304'::bytea)",
                {Value(id), Value(index), Value(tip)});
    };
    store("1", "5000100001", "FACTURA TRIMISA");
    store("1", "5000100001", "FACTURA TRIMISA");  // downloaded twice
    store("2", "5000100002", "ERORI FACTURA");
    store("3", "5000100003", "FACTURA PRIMITA");  // imported through its own functions instead
    store("4", "9999999999", "ERORI FACTURA");    // no upload record of ours
    EXPECT_EQ(db.scalar("SELECT string_agg(id_mesaj || ' ' || nr_doc || ' ' || mesaj_tip || ' ' || index_incarcare || ' ' ||"
                        " encode(mesaj_zip, 'hex'), ',' ORDER BY id_mesaj) FROM anaf_e_fact_msg"),
              "1 TDD00001 FACTURA TRIMISA 5000100001 504b0304,2 TDD00002 ERORI FACTURA 5000100002 504b0304");
    EXPECT_THROW(store("", "5000100001", "FACTURA TRIMISA"), platform::pg::Error);
}
