// The statements after the downloads: derived invoice values and the copies into the older tables.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "sync/retrieval_statements.h"
#include "support/test_data.h"
#include "support/test_database.h"

using platform::pg::Value;
using testsupport::TestDatabase;

namespace {

void runAll(TestDatabase& db) {
    for (const char* sql : {retrieval::kSqlUpdDataNumarXml1, retrieval::kSqlUpdDataNumarXml2,
                            retrieval::kSqlInsAnafFurnMsg, retrieval::kSqlInsAnafEfactMsg})
        db.exec(sql);
}

}  // namespace

TEST(RetrievalStatements, DeriveInvoiceValuesOnceAndOnlyForInvoices) {
    TestDatabase db;
    const std::string invoice = testsupport::sample("eInvoice_ex.xml");
    db.exec(
        "INSERT INTO anaf_e_fact_msg_toate (msg_data_creare, msg_id, msg_tip, msg_factura_xml) VALUES"
        " ('202403010000', '1', 'FACTURA PRIMITA', $1),"
        " ('202403010001', '2', 'FACTURA TRIMISA', $1),"
        " ('202403010002', '3', 'ERORI FACTURA', $1),"
        " ('202403010003', '4', 'FACTURA PRIMITA', NULL),"
        " ('202403010004', '5', 'FACTURA PRIMITA', '<Invoice/>')",
        {Value(invoice)});
    db.exec(retrieval::kSqlUpdDataNumarXml1);
    db.exec(retrieval::kSqlUpdDataNumarXml2);
    const auto rows = db.rows(
        "SELECT msg_id, coalesce(data_doc_xml::text, '-'), coalesce(nr_doc_xml, '-'), coalesce(type_code_doc_xml, '-'),"
        " coalesce(partener_xml, '-'), coalesce(val_cu_tva_mon_xml::text, '-') FROM anaf_e_fact_msg_toate ORDER BY msg_id");
    // supplier for a received invoice, buyer for a sent one
    EXPECT_EQ(rows[0], (std::vector<std::string>{"1", "2022-05-31", "6422451356", "380", "Seller SRL", "41340576.71"}));
    EXPECT_EQ(rows[1], (std::vector<std::string>{"2", "2022-05-31", "6422451356", "380", "Buyer SRL", "41340576.71"}));
    EXPECT_EQ(rows[2], (std::vector<std::string>{"3", "-", "-", "-", "-", "-"}));
    EXPECT_EQ(rows[3], (std::vector<std::string>{"4", "-", "-", "-", "-", "-"}));
    EXPECT_EQ(rows[4][3], "-");  // nothing readable: read again next time, never a failure

    // values already filled are never recomputed
    db.exec("UPDATE anaf_e_fact_msg_toate SET partener_xml = 'corectat manual', type_code_doc_xml = '389' WHERE msg_id = '1'");
    db.exec(retrieval::kSqlUpdDataNumarXml1);
    db.exec(retrieval::kSqlUpdDataNumarXml2);
    EXPECT_EQ(db.scalar("SELECT partener_xml || type_code_doc_xml FROM anaf_e_fact_msg_toate WHERE msg_id = '1'"),
              "corectat manual389");
}

TEST(RetrievalStatements, CopyNewMessagesIntoTheOlderTablesOnce) {
    TestDatabase db(TestDatabase::Kind::Erp, true);
    const std::string invoice = testsupport::sample("eInvoice_ex.xml");
    db.exec(
        "INSERT INTO anaf_e_fact_msg_toate (msg_data_creare, msg_id, msg_tip, msg_factura_xml, msg_index_incarcare,"
        " msg_zip, data_ins_qor, err_ins_qor) VALUES"
        " ('202403010000', '1', 'FACTURA PRIMITA', $1, '77', '\\x504b', '2024-03-02 10:00', NULL),"
        " ('202403010001', '2', 'FACTURA TRIMISA', $1, '5000100001', NULL, NULL, NULL),"
        " ('202403010002', '3', 'ERORI FACTURA', NULL, '5000100002', NULL, NULL, NULL),"
        " ('202403010003', '4', 'FACTURA TRIMISA', $1, '123', NULL, NULL, NULL),"
        " ('202403010004', '5', 'MESAJ CUMPARATOR PRIMIT', NULL, '5000100003', NULL, NULL, NULL)",
        {Value(invoice)});
    runAll(db);
    runAll(db);  // a second run copies nothing again
    EXPECT_EQ(db.scalar("SELECT string_agg(msg_id || ':' || (msg_xml IS NOT NULL) || ':' || data_ins_qor || ':' ||"
                        " encode(msg_zip, 'hex'), ',') FROM anaf_e_fact_furn_msg"),
              "1:true:2024-03-02 10:00:00:504b");
    // sent invoices and error reports with an ERP document; the one without (index 123) never
    EXPECT_EQ(db.scalar("SELECT string_agg(id_mesaj || ':' || nr_doc || ':' || mesaj_tip, ',' ORDER BY id_mesaj)"
                        " FROM anaf_e_fact_msg"),
              "2:TDD00001:FACTURA TRIMISA,3:TDD00002:ERORI FACTURA");
}
