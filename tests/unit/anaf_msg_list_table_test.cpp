// A list answer turned into rows of the caller's table: what lands in each field, and what a
// malformed entry or table leaves behind.
#include <gtest/gtest.h>

#include "anaf/u_fProcAnaf.h"

using platform::memtable::MemTable;

namespace {

MemTable listTable() {
    return MemTable({{"data_creare", 50}, {"cif", 50}, {"id_solicitare", 50}, {"detalii", 1000}, {"tip", 50},
                     {"id", 50}});
}

const std::string kNone = "<no error>";

std::string errorOf(const std::string& text, const std::string& filter, MemTable& ds) {
    try {
        TfProcAnaf::ListaMesajeToDs(text, filter, ds);
    } catch (const AnafError& e) {
        return e.what();
    }
    return kNone;
}

}  // namespace

TEST(AnafMsgListTable, EachMemberLandsInItsFieldAsTextAfterTheRowsAlreadyThere) {
    auto ds = listTable();
    ds.open();
    ds.append();
    ds.setField("id", "kept");
    ds.post();
    const std::string page = R"({"numar_total_pagini":"3","mesaje":[
        {"id":3001234567,"tip":"ERORI FACTURA","detalii":"Erori de validare identificate la factura primita cu id_incarcare=5001","id_solicitare":"5001","cif":41801234,"data_creare":"202403011030","extra":true}]})";
    EXPECT_EQ(errorOf(page, "Client", ds), kNone);
    ASSERT_EQ(ds.rowCount(), 2);
    EXPECT_EQ(ds.value(0, "id"), "kept");
    EXPECT_EQ(ds.row(1), (std::vector<std::string>{"202403011030", "41801234", "5001",
                                                   "Erori de validare identificate la factura primita cu "
                                                   "id_incarcare=5001",
                                                   "ERORI FACTURA", "3001234567"}));
}

TEST(AnafMsgListTable, MalformedEntriesFailWithoutAPartialRow) {
    const std::string good = R"({"data_creare":"1","cif":"2","id_solicitare":"3","detalii":"d","tip":"T","id":"4"})";
    const struct {
        std::string text, filter;
        int rows;
        std::string error;
    } cases[] = {
        // a null member counts as missing; the entries before it stay
        {R"({"mesaje":[)" + good + R"(,{"data_creare":"1","cif":"2","id_solicitare":"3","detalii":null,"tip":"T","id":"5"}]})",
         "Toate", 1, "(ListaMesajeToDs) Mesajul din lista nu are campul \"detalii\"."},
        // an entry that is no object has no "tip": not a supplier invoice
        {R"({"mesaje":[)" + good + R"(,"text"]})", "Furn", 0, kNone},
        {R"({"mesaje":[)" + good + R"(,"text"]})", "Client", 1,
         "(ListaMesajeToDs) Mesajul din lista nu are campul \"data_creare\"."},
        // an entry that the filter drops is not checked
        {R"({"mesaje":[{"tip":"FACTURA PRIMITA"}]})", "Client", 0, kNone},
        {R"({"mesaje":{"a":1}})", "Toate", 0, "(ListaMesajeToDs) Raspunsul ANAF nu contine lista \"mesaje\"."},
        {R"(["mesaje"])", "Toate", 0, "(ListaMesajeToDs) Raspunsul ANAF nu este un obiect JSON."},
        {"{\"mesaje\":[{\"tip\":\"\xC3\"}]}", "Toate", 0, "(ListaMesajeToDs) Raspunsul ANAF nu este un obiect JSON."},
        // ANAF's own error texts pass unchanged, whatever else the answer holds
        {R"({"eroare":"Nu exista mesaje in intervalul selectat","mesaje":[)" + good + "]}", "Toate", 0,
         "Nu exista mesaje in intervalul selectat"},
        // an "Errors" element fails even with an empty text
        {R"({"Errors":[{"errorMessage":""}],"mesaje":[]})", "Toate", 0, ""},
    };
    for (const auto& c : cases) {
        auto ds = listTable();
        EXPECT_EQ(errorOf(c.text, c.filter, ds), c.error) << c.text;
        EXPECT_EQ(ds.rowCount(), c.rows) << c.text;
        EXPECT_NE(ds.state(), MemTable::State::Insert) << c.text;
    }

    MemTable withoutId({{"data_creare", 50}, {"cif", 50}, {"id_solicitare", 50}, {"detalii", 1000}, {"tip", 50}});
    EXPECT_EQ(errorOf(R"({"mesaje":[)" + good + "]}", "Toate", withoutId),
              "(ListaMesajeToDs) Tabela nu are campul \"id\".");
    EXPECT_EQ(withoutId.rowCount(), 0);
}
