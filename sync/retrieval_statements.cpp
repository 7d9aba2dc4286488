#include "sync/retrieval_statements.h"

namespace retrieval {

// Invoice values read from the stored XML, only where the marker column is still empty.
const char* const kSqlUpdDataNumarXml1 = R"SQL(
UPDATE anaf_e_fact_msg_toate t
   SET (data_doc_xml, nr_doc_xml, type_code_doc_xml) =
       (SELECT x.data_doc_xml, x.nr_doc_xml, x.type_code_doc_xml
          FROM o_e_fact_read_xml(t.msg_factura_xml) x)
 WHERE t.msg_tip IN ('FACTURA TRIMISA', 'FACTURA PRIMITA')
   AND t.type_code_doc_xml IS NULL
   AND t.msg_factura_xml IS NOT NULL)SQL";

const char* const kSqlUpdDataNumarXml2 = R"SQL(
UPDATE anaf_e_fact_msg_toate t
   SET (partener_xml, val_cu_tva_mon_xml, val_rotunjire_plata_xml) =
       (SELECT CASE WHEN t.msg_tip = 'FACTURA PRIMITA' THEN x.partener_xml ELSE x.partener_cump_xml END,
               x.val_cu_tva_mon_xml, x.val_rotunjire_plata_xml
          FROM o_e_fact_read_xml(t.msg_factura_xml) x)
 WHERE t.msg_tip IN ('FACTURA TRIMISA', 'FACTURA PRIMITA')
   AND t.partener_xml IS NULL
   AND t.msg_factura_xml IS NOT NULL)SQL";

const char* const kSqlInsAnafFurnMsg = R"SQL(
INSERT INTO anaf_e_fact_furn_msg (msg_data_creare, msg_id, msg_cif, msg_index_incarcare, msg_detalii,
                                  msg_tip, msg_xml, msg_zip, data_ins_qor, err_ins_qor)
SELECT t.msg_data_creare, t.msg_id, t.msg_cif, t.msg_index_incarcare, t.msg_detalii,
       t.msg_tip, t.msg_factura_xml, t.msg_zip, t.data_ins_qor, t.err_ins_qor
  FROM anaf_e_fact_msg_toate t
 WHERE t.msg_tip = 'FACTURA PRIMITA'
   AND NOT EXISTS (SELECT 1 FROM anaf_e_fact_furn_msg f
                    WHERE f.msg_data_creare = t.msg_data_creare AND f.msg_id = t.msg_id))SQL";

// One row per pair of a message and an uploaded invoice it matches, by the XML's date and number
// or by the ERP document's.
const char* const kSqlInsAnafEfactMsg = R"SQL(
INSERT INTO anaf_e_fact_msg (data_doc, tip_doc, nr_doc, id_mesaj, mesaj, mesaj_detalii, mesaj_tip,
                             mesaj_semnatura, mesaj_data, index_incarcare, mesaj_zip)
SELECT v.data_doc_qor, v.tip_doc_qor, v.nr_doc_qor, v.msg_id, v.msg_factura_xml, v.msg_detalii,
       v.msg_tip, v.msg_semnatura_xml, v.msg_data_creare, v.msg_index_incarcare, v.msg_zip
  FROM view_anaf_e_fact_msg_toate_extins v
  JOIN anaf_e_fact a
    ON (a.data_doc = v.data_doc_xml AND a.nr_doc = v.nr_doc_xml)
    OR (a.data_doc = v.data_doc_qor AND a.nr_doc = v.nr_doc_qor)
 WHERE v.msg_tip IN ('FACTURA TRIMISA', 'ERORI FACTURA')
   AND v.data_doc_qor IS NOT NULL AND v.tip_doc_qor IS NOT NULL AND v.nr_doc_qor IS NOT NULL
   AND NOT EXISTS (SELECT 1 FROM anaf_e_fact_msg m
                    WHERE m.mesaj_data = v.msg_data_creare AND m.id_mesaj = v.msg_id))SQL";

}  // namespace retrieval
