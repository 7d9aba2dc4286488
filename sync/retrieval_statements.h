#pragma once
// The statements that follow the downloads of a retrieval run: invoice values derived from the
// stored XML (two updates), new supplier invoices copied into anaf_e_fact_furn_msg, answers to the
// company's own uploads copied into anaf_e_fact_msg.

namespace retrieval {

extern const char* const kSqlUpdDataNumarXml1;
extern const char* const kSqlUpdDataNumarXml2;
extern const char* const kSqlInsAnafFurnMsg;
extern const char* const kSqlInsAnafEfactMsg;

}  // namespace retrieval
