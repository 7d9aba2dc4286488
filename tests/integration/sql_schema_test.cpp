// The ERP and central definitions: minimal rows, the views over the messages, the owner of it all.
#include <gtest/gtest.h>

#include "platform/pg/value.h"
#include "support/test_database.h"

using platform::pg::Value;
using testsupport::TestDatabase;

TEST(SqlViews, EachMessageHasOneRowWithTheDocumentItBelongsTo) {
    TestDatabase db(TestDatabase::Kind::Erp, true);  // demo: TDD00001.. uploaded as 5000100001..
    // the index of TDD00001 uploaded a second time under an older document: the newest one wins
    db.exec("INSERT INTO doc (data_doc, tip_doc, nr_doc) VALUES ('2020-01-01', 'FC', 'OLD1'), ('2024-03-01', 'FF', 'F-9')");
    db.exec("INSERT INTO anaf_e_fact (data_doc, tip_doc, nr_doc, index_incarcare) VALUES ('2020-01-01', 'FC', 'OLD1', '5000100001')");
    db.exec(
        "INSERT INTO anaf_e_fact_msg_toate (msg_data_creare, msg_id, msg_tip, msg_index_incarcare) VALUES"
        " ('202403051000', '1', 'FACTURA TRIMISA', '5000100001'),"
        " ('202403051001', '2', 'ERORI FACTURA', '5000100002'),"
        " ('202403051002', '3', 'FACTURA PRIMITA', '5000100003'),"  // same index as a sale: not its document
        " ('202403051003', '4', 'FACTURA PRIMITA', '777'),"
        " ('202403051004', '5', 'MESAJ CUMPARATOR PRIMIT', '999'),"
        " ('202403051005', '6', 'FACTURA TRIMISA', NULL)");
    // message 4 was imported as F-9
    db.exec("INSERT INTO anaf_e_fact_msg_doc (msg_data_creare, msg_id, data_doc, tip_doc, nr_doc)"
            " VALUES ('202403051003', '4', '2024-03-01', 'FF', 'F-9')");
    const std::vector<std::vector<std::string>> expected = {
        {"1", "FC TDD00001"}, {"2", "FC TDD00002"}, {"3", "-"}, {"4", "FF F-9 2024-03-01"}, {"5", "-"}, {"6", "-"}};
    for (const char* view : {"view_anaf_e_fact_msg_toate", "view_anaf_e_fact_msg_toate_extins"}) {
        const auto rows = db.rows(std::string("SELECT msg_id, coalesce(tip_doc_qor || ' ' || nr_doc_qor, '-') ||"
                                              " CASE WHEN tip_doc_qor = 'FF' THEN ' ' || data_doc_qor ELSE '' END"
                                              " FROM ") + view + " ORDER BY msg_id");
        EXPECT_EQ(rows, expected) << view;
    }
    EXPECT_EQ(db.scalar("SELECT count(*) FROM view_anaf_e_fact_msg_toate v JOIN doc d"
                        " ON d.data_doc = v.data_doc_qor AND d.tip_doc = v.tip_doc_qor AND d.nr_doc = v.nr_doc_qor"),
              "3");
    // a purchase document deleted in the ERP no longer counts as the import of its message
    db.exec("DELETE FROM doc WHERE nr_doc = 'F-9'");
    EXPECT_EQ(db.scalar("SELECT coalesce(nr_doc_qor, '-') FROM view_anaf_e_fact_msg_toate WHERE msg_id = '4'"), "-");
}

TEST(SqlTables, AcceptRowsGivingOnlyTheListedColumns) {
    TestDatabase db;
    db.exec(R"SQL(
        INSERT INTO emitent (emitent, operator_parola) VALUES ('x', 'y');
        INSERT INTO eu (cod_cci) VALUES ('RO 1');
        INSERT INTO oauth2_client (cid) VALUES ('c');
        INSERT INTO oauth2_client_serviciu_em (cid) VALUES ('c');
        INSERT INTO digital_certif (serial_no) VALUES ('AB'), ('AB');
        INSERT INTO anaf_e_fact (data_doc, tip_doc, nr_doc) VALUES ('2024-01-01', 'FC', '1');
        INSERT INTO anaf_e_fact_msg_toate (msg_data_creare, msg_id) VALUES ('202401010000', '1');
        INSERT INTO anaf_e_fact_furn_msg (msg_data_creare, msg_id) VALUES ('202401010000', '1');
        INSERT INTO anaf_e_fact_msg (id_mesaj) VALUES ('1');
        INSERT INTO doc (data_doc, tip_doc, nr_doc) VALUES ('2024-01-01', 'FC', '1');
        INSERT INTO doc_linii (data_doc, tip_doc, nr_doc, nr_linie) VALUES ('2024-01-01', 'FC', '1', 1);
        INSERT INTO partener (partener) VALUES ('p');
        INSERT INTO anaf_e_transp_actiuni (data_doc, tip_doc, nr_doc, scv, actiune) VALUES ('2024-01-01', 'FC', '1', 1, 'a');
        INSERT INTO anaf_inf_cui (data_interogare, cui) VALUES ('2024-01-01', '1');
    )SQL");
    EXPECT_EQ(db.scalar("SELECT cand IS NOT NULL FROM anaf_e_transp_actiuni"), "t");
    EXPECT_EQ(db.scalar("SELECT count(*) FROM view_anaf_e_fact_msg_toate_extins"), "1");

    TestDatabase central(TestDatabase::Kind::Central);
    central.exec(R"SQL(
        INSERT INTO servicii_web_anaf (serviciu_web) VALUES ('s');
        INSERT INTO oauth2_api_anaf_qor (cid) VALUES ('c');
        INSERT INTO e_transp_ptf (cod_ptf) VALUES ('1');
        INSERT INTO e_transp_birou_vamal (cod_birou_vamal) VALUES ('B');
        INSERT INTO e_transp_tip_confirm (cod_tip_confirm) VALUES ('10');
    )SQL");
    EXPECT_EQ(central.scalar("SELECT count(*) FROM e_transp_ptf"), "1");
}

TEST(SqlViews, TaxpayerAnswerReadsWhenItIsJsonAndStaysHarmlessWhenNot) {
    TestDatabase db;
    const std::string answer = R"({"cod":200,"found":[{"date_generale":{"cui":41801234,"stare_inregistrare":"INREGISTRAT",
        "statusRO_e_Factura":true},"inregistrare_scop_Tva":{"scpTVA":true},"inregistrare_RTVAI":{"statusTvaIncasare":false},
        "stare_inactiv":{"statusInactivi":"nu stiu"}}],"notFound":[]})";
    db.exec("INSERT INTO anaf_inf_cui (data_interogare, cui, raspuns_anaf) VALUES"
            " ('2024-03-01', '41801234', $1), ('2024-03-01', '1', '<html>502</html>')", {Value(answer)});
    EXPECT_EQ(db.rows("SELECT cui, coalesce(cui_anaf, '-'), coalesce(stare_inregistrare, '-'), coalesce(platitor_tva::text, '-'),"
                      " coalesce(tva_la_incasare::text, '-'), coalesce(inactivat::text, '-'),"
                      " coalesce(inrolat_registru_efact::text, '-') FROM view_anaf_inf_cui ORDER BY cui"),
              (std::vector<std::vector<std::string>>{{"1", "-", "-", "-", "-", "-", "-"},
                                                     {"41801234", "41801234", "INREGISTRAT", "true", "false", "-", "true"}}));
}

TEST(SqlSandbox, AccountQorOwnsEveryObjectAndIsNoSuperuser) {
    for (const auto kind : {TestDatabase::Kind::Erp, TestDatabase::Kind::Central}) {
        TestDatabase db(kind);
        EXPECT_EQ(db.scalar("SELECT rolsuper::text || ' ' || rolcreatedb::text FROM pg_roles WHERE rolname = current_user"),
                  "false true");
        EXPECT_EQ(db.scalar("SELECT count(*) FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace"
                            " WHERE n.nspname = 'public' AND pg_get_userbyid(c.relowner) <> 'qor'"),
                  "0");
        EXPECT_EQ(db.scalar("SELECT count(*) FROM pg_proc p JOIN pg_namespace n ON n.oid = p.pronamespace"
                            " WHERE n.nspname = 'public' AND pg_get_userbyid(p.proowner) <> 'qor'"),
                  "0");
        EXPECT_NE(db.scalar("SELECT count(*) FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace"
                            " WHERE n.nspname = 'public' AND c.relkind = 'r'"),
                  "0");
    }
}
