// The XML generators of the ERP: e-Factura invoice, message to the other party, e-Transport.
#include <gtest/gtest.h>

#include "platform/pg/value.h"
#include "support/test_database.h"

using platform::pg::Value;
using testsupport::TestDatabase;

namespace {

// A sales document with two VAT rates and text that must be escaped.
void addSale(TestDatabase& db) {
    db.exec(R"SQL(
        INSERT INTO partener (partener, cod_fiscal, localit, adresa) VALUES ('Alfa & <Beta> SRL', 'RO 100-008', 'Iasi', 'Str. "Mare" 1');
        INSERT INTO doc (data_doc, tip_doc, nr_doc, moneda, partener, data_scadenta)
        VALUES ('2024-03-05', 'FC', 'V-1', 'RON', 'Alfa & <Beta> SRL', '2024-04-04');
        INSERT INTO doc_linii (data_doc, tip_doc, nr_doc, nr_linie, articol, um, cantitate, pret, cota_tva) VALUES
            ('2024-03-05', 'FC', 'V-1', 10, 'Carte', 'H87', 3, 33.333, 9),
            ('2024-03-05', 'FC', 'V-1', 20, 'Cablu 3x1,5 "rosu"', 'MTR', 2.5, 4.1, 19),
            ('2024-03-05', 'FC', 'V-1', 30, 'Priza', 'H87', 1, 0.05, 19);
    )SQL");
}

std::string xpathText(TestDatabase& db, const std::string& xml, const std::string& path) {
    return db.scalar("SELECT coalesce(string_agg(v::text, '|'), '-') FROM unnest(xpath($2, o_xml_parse($1))) v",
                     {Value(xml), Value(path)});
}

}  // namespace

TEST(SqlGenerators, InvoiceIsUblThatReadsBackWithVatPerRate) {
    TestDatabase db(TestDatabase::Kind::Erp, true);
    addSale(db);
    db.exec("SET datestyle = 'SQL, DMY'");  // an operator's session setting must not change the document
    const std::string xml = db.scalar(
        "SELECT pxmlef FROM o_gen_xml_efactura(pdatadoc => $1, ptipdoc => 'FC', pnrdoc => 'V-1')",
        {Value(platform::pg::makeDate(2024, 3, 5))});
    db.exec("RESET datestyle");
    EXPECT_EQ(db.scalar("SELECT coalesce(err_xml, 'ok') || '|' || data_doc_xml || '|' || nr_doc_xml || '|' ||"
                        " partener_xml || '|' || partener_cump_xml || '|' || type_code_doc_xml || '|' ||"
                        " val_cu_tva_mon_xml FROM o_e_fact_read_xml($1)",
                        {Value(xml)}),
              // lines 100.00 (9%) and 10.25 + 0.05 (19%): VAT 9.00 + round(10.30 * 0.19) = 1.96
              "ok|2024-03-05|V-1|Tarvelo Demo Distributie SRL|Alfa & <Beta> SRL|380|121.26");
    const auto local = [](const std::string& path) {
        std::string out;
        for (size_t start = 0; start < path.size();) {
            size_t end = path.find('/', start);
            if (end == std::string::npos) end = path.size();
            out += "/*[local-name()='" + path.substr(start, end - start) + "']";
            start = end + 1;
        }
        return out;
    };
    EXPECT_EQ(xpathText(db, xml, local("Invoice/DueDate") + "/text()"), "2024-04-04");
    EXPECT_EQ(xpathText(db, xml, local("Invoice/TaxTotal/TaxSubtotal/TaxAmount") + "/text()"), "9.00|1.96");
    EXPECT_EQ(xpathText(db, xml, local("Invoice/TaxTotal/TaxAmount") + "/text()"), "10.96");
    EXPECT_EQ(xpathText(db, xml, local("Invoice/InvoiceLine/ID") + "/text()"), "1|2|3");
    EXPECT_EQ(xpathText(db, xml, local("Invoice/AccountingSupplierParty/Party/PartyTaxScheme/CompanyID") + "/text()"),
              "RO41801234");
    EXPECT_EQ(xpathText(db, xml, local("Invoice/AccountingCustomerParty/Party/PartyLegalEntity/CompanyID") + "/text()"),
              "RO100008");

    EXPECT_THROW(db.exec("SELECT * FROM o_gen_xml_efactura('2001-01-01', 'FC', 'NIMIC')"), platform::pg::Error);
    db.exec("INSERT INTO doc (data_doc, tip_doc, nr_doc) VALUES ('2024-03-05', 'FC', 'GOL')");
    EXPECT_THROW(db.exec("SELECT * FROM o_gen_xml_efactura('2024-03-05', 'FC', 'GOL')"), platform::pg::Error);
}

TEST(SqlGenerators, MessageAndETransportXmlAreWellFormedAndNameWhatTheyConcern) {
    TestDatabase db(TestDatabase::Kind::Erp, true);
    addSale(db);
    const Value day(platform::pg::makeDate(2024, 3, 5));
    db.exec("INSERT INTO anaf_e_transp_actiuni (data_doc, tip_doc, nr_doc, scv, actiune, uit, cand) VALUES"
            " ($1, 'FC', 'V-1', 1, 'Upload_eTransp', 'UIT-VECHI', '2024-03-05 08:00'),"
            " ($1, 'FC', 'V-1', 1, 'Upload_eTransp', 'UIT-NOU', '2024-03-05 09:00'),"
            " ($1, 'FC', 'V-1', 2, 'Upload_eTransp', NULL, '2024-03-05 10:00')",
            {day});
    struct Case {
        std::string name, sql, path, expected;
    };
    const std::vector<Case> cases = {
        {"message", "SELECT pxmltrimitemesaj FROM o_gen_xml_efact_trimite_mesaj('5000100001', 'Lipsa <linia> 2 & 3')",
         "string(/*/*[local-name()='text'])", "Lipsa &lt;linia&gt; 2 &amp; 3"},  // xpath() escapes its text
        {"declaration", "SELECT pxmlet FROM o_gen_xml_etransp($1, 'FC', 'V-1', 1)",
         "count(//*[local-name()='bunuriTransportate'])", "3"},
        {"declaration date", "SELECT pxmlet FROM o_gen_xml_etransp($1, 'FC', 'V-1', 1)",
         "string(//*[local-name()='documenteTransport']/@dataDocument)", "2024-03-05"},
        {"deletion of the newest accepted", "SELECT pxmlet FROM o_gen_xml_etransp_sterge($1, 'FC', 'V-1', 1)",
         "string(//*[local-name()='stergere']/@uit)", "UIT-NOU"},
        {"confirmation", "SELECT pxmlet FROM o_gen_xml_etransp_confirm($1, 'FC', 'V-1', 1)",
         "string(//*[local-name()='confirmare']/@uit)", "UIT-NOU"},
        {"vehicle change", "SELECT pxmlet FROM o_gen_xml_etransp_modif_vehicul('UIT-NOU', '2024-03-05 10:30', 'B 01 \"X\"', 'B 02 R', '', 'schimbare', '')",
         "concat(//@dataModificare, '|', //@nrVehicul, '|', //@nrRemorca1, '|', count(//@nrRemorca2))",
         "2024-03-05T10:30:00|B 01 \"X\"|B 02 R|0"},
    };
    for (const auto& c : cases) {
        const std::string xml = c.sql.find("$1") == std::string::npos ? db.scalar(c.sql) : db.scalar(c.sql, {day});
        EXPECT_EQ(xpathText(db, xml, c.path), c.expected) << c.name << "\n" << xml;
        EXPECT_EQ(xpathText(db, xml, "string(/*/@codDeclarant | /*/@cif)"), "41801234") << c.name;
    }

    const std::vector<std::string> refused = {
        "SELECT * FROM o_gen_xml_efact_trimite_mesaj('0', 'text')",
        "SELECT * FROM o_gen_xml_efact_trimite_mesaj('5000100001', '  ')",
        "SELECT * FROM o_gen_xml_etransp('2001-01-01', 'FC', 'NIMIC', 1)",
        "SELECT * FROM o_gen_xml_etransp_sterge('2024-03-05', 'FC', 'V-1', 2)",  // never accepted: no UIT
        "SELECT * FROM o_gen_xml_etransp_confirm('2001-01-01', 'FC', 'NIMIC', 1)",
        "SELECT * FROM o_gen_xml_etransp_modif_vehicul('NU-EXISTA', now()::timestamp, 'B 1', '', '', '', '')",
        "SELECT * FROM o_gen_xml_etransp_modif_vehicul('UIT-NOU', now()::timestamp, '', '', '', '', '')",
    };
    for (const auto& sql : refused) EXPECT_THROW(db.exec(sql), platform::pg::Error) << sql;
}
