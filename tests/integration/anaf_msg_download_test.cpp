// Message download over real HTTPS against the stand-in into the real database: what each family
// stores, the status policy of the six operations, and the failures that store nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "platform/zip/zip_reader.h"
#include "support/retrieval_fixture.h"

using testsupport::RetrievalFixture;
namespace fs = std::filesystem;

namespace {

const std::string kNone = "<no error>";

std::string hexOf(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The list entry the stand-in answered for a message, as the callers pass it on.
struct Entry {
    std::string id, index, cif, detalii, tip, dataCreare;
    explicit Entry(const nlohmann::json& j)
        : id(j["id"]), index(j["id_solicitare"]), cif(j["cif"]), detalii(j["detalii"]), tip(j["tip"]),
          dataCreare(j["data_creare"]) {}
};

// Replaces the stored function by one that records the values it is called with.
void recordStoredFunctionCalls(RetrievalFixture& f) {
    f.db.erp.exec(
        "CREATE TABLE msg_ins_calls (pidmesaj text, pindexincarcare text, pmesaj text, pmesajdetalii text,"
        " pmesajtip text, pmesajsemnatura text, pmesajdata text, pmesajzip bytea)");
    f.db.erp.exec(
        "CREATE OR REPLACE FUNCTION o_anaf_e_fact_msg_ins(pidmesaj text, pindexincarcare text, pmesaj text,"
        " pmesajdetalii text, pmesajtip text, pmesajsemnatura text, pmesajdata text, pmesajzip bytea)"
        " RETURNS void LANGUAGE plpgsql AS $$ BEGIN INSERT INTO msg_ins_calls VALUES (pidmesaj,"
        " pindexincarcare, pmesaj, pmesajdetalii, pmesajtip, pmesajsemnatura, pmesajdata, pmesajzip); END $$");
}

std::string stored(RetrievalFixture& f) {
    return f.count() + "/" + f.db.erp.scalar("SELECT count(*) FROM anaf_e_fact_furn_msg") + "/" +
           f.db.erp.scalar("SELECT count(*) FROM msg_ins_calls");
}

std::string errorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const std::exception& e) {
        return e.what();
    }
    return kNone;
}

std::string tempPath(const std::string& name) {
    return std::string(TARVELO_BINARY_DIR) + "/" + name + "-" + std::to_string(getpid());
}

}  // namespace

TEST(AnafMsgDownload, EachFamilyStoresTheArchiveItsEntriesAndTheListFieldsUnchanged) {
    RetrievalFixture f;
    recordStoredFunctionCalls(f);
    const auto added = f.standin.addMessages(3);
    const Entry toate(added[0]), furn(added[1]), mesaj(added[2]);
    const std::string file = tempPath("toate.zip");
    int status = 0;
    std::string text, err = "stale";

    // GetMesajToate: the row, then the stored function with the same values
    f.anaf->GetMesajToate("prod", toate.id, toate.index, toate.cif, toate.detalii, toate.tip, toate.dataCreare,
                          file, status, text, err);
    EXPECT_EQ(status, 200);
    EXPECT_EQ(text, "OK");
    EXPECT_EQ(err, "");
    const std::string zip = readFile(file);
    fs::remove(file);
    const platform::zip::Archive archive({reinterpret_cast<const unsigned char*>(zip.data()), zip.size()});
    const std::string xml = archive.readText(toate.index + ".xml");
    const std::string signature = archive.readText("semnatura_" + toate.index + ".xml");
    ASSERT_NE(xml.find("Invoice"), std::string::npos);
    EXPECT_EQ(f.db.erp.rows("SELECT msg_data_creare, msg_id, msg_cif, msg_index_incarcare, msg_detalii, msg_tip,"
                            " msg_factura_xml, msg_semnatura_xml, encode(msg_zip, 'hex'), data_ins_qor,"
                            " err_ins_qor, type_code_doc_xml FROM anaf_e_fact_msg_toate"),
              (std::vector<std::vector<std::string>>{{toate.dataCreare, toate.id, toate.cif, toate.index,
                                                      toate.detalii, toate.tip, xml, signature, hexOf(zip),
                                                      "<null>", "<null>", "<null>"}}));
    EXPECT_EQ(f.db.erp.rows("SELECT pidmesaj, pindexincarcare, pmesaj, pmesajdetalii, pmesajtip, pmesajsemnatura,"
                            " pmesajdata, encode(pmesajzip, 'hex') FROM msg_ins_calls"),
              (std::vector<std::vector<std::string>>{{toate.id, toate.index, xml, toate.detalii, toate.tip,
                                                      signature, toate.dataCreare, hexOf(zip)}}));
    EXPECT_FALSE(f.db.dm->dsAnafEfactMsgToate.isOpen());

    // GetMesajFurnApi: the supplier row only, no stored function; the shared list stays open with it.
    // The archive as served, fetched first in "test" where nothing is stored.
    f.anaf->GetMesajFurn("test", furn.id, furn.index, furn.cif, furn.detalii, furn.tip, furn.dataCreare, file,
                         true, status, text, err);
    const std::string furnZip = readFile(file);
    fs::remove(file);
    const std::string furnXml =
        platform::zip::Archive({reinterpret_cast<const unsigned char*>(furnZip.data()), furnZip.size()})
            .readText(furn.index + ".xml");
    EXPECT_EQ(stored(f), "1/0/1");
    f.anaf->GetMesajFurnApi("prod", furn.id, furn.index, furn.cif, furn.detalii, furn.tip, furn.dataCreare, "",
                            true, status, text, err);
    EXPECT_EQ(err, "");
    EXPECT_EQ(f.db.erp.rows("SELECT msg_data_creare, msg_id, msg_cif, msg_index_incarcare, msg_detalii, msg_tip,"
                            " msg_xml, encode(msg_zip, 'hex'), data_ins_qor, err_ins_qor FROM anaf_e_fact_furn_msg"),
              (std::vector<std::vector<std::string>>{{furn.dataCreare, furn.id, furn.cif, furn.index, furn.detalii,
                                                      furn.tip, furnXml, hexOf(furnZip), "<null>", "<null>"}}));
    auto& list = f.db.dm->dsAnafFurnMsg;
    ASSERT_TRUE(list.isOpen());
    EXPECT_EQ(list.rowCount(), 1);
    EXPECT_EQ(list.field("msg_id").asString(), furn.id);

    // GetMesaj: the stored function alone, with mesajData
    f.anaf->GetMesaj("prod", mesaj.id, mesaj.index, mesaj.detalii, mesaj.tip, mesaj.dataCreare, "", status, text);
    EXPECT_EQ(status, 200);
    EXPECT_EQ(f.db.erp.rows("SELECT pidmesaj, pmesajdata, pmesajsemnatura LIKE '%Signature%' FROM msg_ins_calls"
                            " ORDER BY pidmesaj = $1",
                            {platform::pg::Value(mesaj.id)}),
              (std::vector<std::vector<std::string>>{{toate.id, toate.dataCreare, "t"},
                                                     {mesaj.id, mesaj.dataCreare, "t"}}));
    EXPECT_EQ(stored(f), "1/1/2");
}

TEST(AnafMsgDownload, Statuses403And429AreRaisedOrReturnedAsEachOperationSays) {
    RetrievalFixture f;
    recordStoredFunctionCalls(f);
    const Entry m(f.standin.addMessages(1)[0]);
    int status = 0;
    std::string text, err;
    using Call = std::function<void()>;
    const std::vector<std::pair<std::string, Call>> operations = {
        {"GetMesaj", [&] { f.anaf->GetMesaj("prod", m.id, m.index, m.detalii, m.tip, m.dataCreare, "", status, text); }},
        {"GetMesajApi", [&] { f.anaf->GetMesajApi("prod", m.id, m.index, m.detalii, m.tip, m.dataCreare, "", status, text); }},
        {"GetMesajFurn", [&] { f.anaf->GetMesajFurn("prod", m.id, m.index, m.cif, m.detalii, m.tip, m.dataCreare, "", true, status, text, err); }},
        {"GetMesajFurnApi", [&] { f.anaf->GetMesajFurnApi("prod", m.id, m.index, m.cif, m.detalii, m.tip, m.dataCreare, "", true, status, text, err); }},
        {"GetMesajToate", [&] { f.anaf->GetMesajToate("prod", m.id, m.index, m.cif, m.detalii, m.tip, m.dataCreare, "", status, text, err); }},
        {"GetMesajToateApi", [&] { f.anaf->GetMesajToateApi("prod", m.id, m.index, m.cif, m.detalii, m.tip, m.dataCreare, "", status, text, err); }},
    };
    const std::string denied = " Eroare : Apelul nu a fost autorizat de catre ANAF";
    const std::string limit = " Eroare : S-a depasit limita maxima de 100 de apeluri pe minut, stabilita de catre ANAF. "
                              "Reluati descarcarea.";
    for (const auto& [name, call] : operations) {
        const bool raises = name == "GetMesaj" || name.ends_with("Api");
        for (const int code : {403, 429}) {
            f.standin.fault({{"path", "/prod/FCTEL/rest/descarcare"}, {"status", code}, {"body", R"({"eroare":"x"})"}});
            status = 0;
            err = "stale";
            const std::string error = errorOf(call);
            EXPECT_EQ(error, raises ? "(" + name + ")" + (code == 403 ? denied : limit) : kNone) << name << " " << code;
            EXPECT_EQ(status, code) << name;  // set before the decision
            if (!raises) {
                EXPECT_EQ(text, code == 403 ? "Forbidden" : "Too Many Requests") << name;
                if (name != "GetMesaj" && name != "GetMesajApi") {
                    EXPECT_EQ(err, "") << name;
                }
            }
        }
    }
    EXPECT_EQ(stored(f), "0/0/0");
}

TEST(AnafMsgDownload, BadArchivesAndAnswersFailClearlyAndStoreNothing) {
    RetrievalFixture f;
    recordStoredFunctionCalls(f);
    const Entry m(f.standin.addMessages(1)[0]);
    int status = 0;
    std::string text, err;
    const std::string file = tempPath("kept.zip");
    const std::string path = "/prod/FCTEL/rest/descarcare";
    const struct {
        nlohmann::json fault;
        std::function<void()> call;
        std::string error;
    } cases[] = {
        {{{"path", path}, {"zip", "one"}},
         [&] { f.anaf->GetMesajFurn("prod", m.id, m.index, m.cif, m.detalii, m.tip, m.dataCreare, file, true, status, text, err); },
         "Eroare in procedura GetMesajFurn, fisierul zip trebuie sa aiba 2 fisiere. Nr. Fisiere=1"},
        {{{"path", path}, {"zip", "three"}},
         [&] { f.anaf->GetMesajToateApi("prod", m.id, m.index, m.cif, m.detalii, m.tip, m.dataCreare, file, status, text, err); },
         "Eroare in procedura GetMesajToateApi, fisierul zip trebuie sa aiba 2 fisiere. Nr. Fisiere=3"},
        // GetMesaj does not count the entries, but needs the signature
        {{{"path", path}, {"zip", "one"}},
         [&] { f.anaf->GetMesaj("prod", m.id, m.index, m.detalii, m.tip, m.dataCreare, file, status, text); },
         "(GetMesaj) Fisierul semnatura_" + m.index + ".xml nu exista in arhiva zip."},
        // entries named by another upload index than the one passed
        {{{"path", path}, {"status", 0}},
         [&] { f.anaf->GetMesajToate("prod", m.id, "999" + m.index, m.cif, m.detalii, m.tip, m.dataCreare, file, status, text, err); },
         "(GetMesajToate) Fisierul 999" + m.index + ".xml nu exista in arhiva zip."},
        {{{"path", path}, {"contentType", "application/zip"}, {"body", "PK nu este o arhiva"}},
         [&] { f.anaf->GetMesajToate("prod", m.id, m.index, m.cif, m.detalii, m.tip, m.dataCreare, file, status, text, err); },
         "(GetMesajToate) Arhiva zip nu poate fi citita: Not a zip archive"},
        {{{"path", path}, {"contentType", "application/json; charset=utf-8"}, {"body", R"({"eroare":"Nu aveti drept"})"}},
         [&] { f.anaf->GetMesajFurnApi("prod", m.id, m.index, m.cif, m.detalii, m.tip, m.dataCreare, file, true, status, text, err); },
         R"((GetMesajFurnApi) Content = {"eroare":"Nu aveti drept"})"},
        {{{"path", path}, {"contentType", "application/octet-stream"}, {"body", "PK"}},
         [&] { f.anaf->GetMesaj("prod", m.id, m.index, m.detalii, m.tip, m.dataCreare, file, status, text); },
         "(GetMesaj) ContentType necunoscut. ContentType= application/octet-stream"},
    };
    for (const auto& c : cases) {
        fs::remove(file);
        if (c.fault.contains("zip") || c.fault.contains("body")) f.standin.fault(c.fault);
        EXPECT_EQ(errorOf(c.call), c.error) << c.fault.dump();
        EXPECT_EQ(status, 200);
        // a file is written before the archive is opened, and stays; an answer that is no
        // archive writes none
        EXPECT_EQ(fs::exists(file), c.error.find("Content") == std::string::npos) << c.fault.dump();
    }
    fs::remove(file);
    EXPECT_EQ(stored(f), "0/0/0");

    // A corrupt archive: the operation's name, then the reader's reason.
    f.standin.fault({{"path", path}, {"zip", "corrupt"}});
    const std::string corrupt = errorOf(
        [&] { f.anaf->GetMesajToate("prod", m.id, m.index, m.cif, m.detalii, m.tip, m.dataCreare, "", status, text, err); });
    EXPECT_EQ(corrupt.rfind("(GetMesajToate) ", 0), 0u) << corrupt;
    EXPECT_EQ(stored(f), "0/0/0");
}

TEST(AnafMsgDownload, TestEnvironmentWritesOnlyTheFileAndNothingIsSentWithoutAnId) {
    RetrievalFixture f;
    recordStoredFunctionCalls(f);
    const Entry m(f.standin.addMessages(1)[0]);
    int status = 0;
    std::string text, err;
    const std::string file = tempPath("test-env.zip");

    for (const bool api : {false, true}) {
        fs::remove(file);
        f.standin.fault({{"path", "/test/FCTEL/rest/descarcare"}, {"zip", "three"}});
        if (api) f.anaf->GetMesajApi("test", m.id, m.index, m.detalii, m.tip, m.dataCreare, file, status, text);
        else f.anaf->GetMesajFurn("test", m.id, m.index, m.cif, m.detalii, m.tip, m.dataCreare, file, true, status, text, err);
        EXPECT_EQ(status, 200);
        const std::string zip = readFile(file);
        EXPECT_EQ(platform::zip::Archive({reinterpret_cast<const unsigned char*>(zip.data()), zip.size()}).entryCount(), 3);
        EXPECT_EQ(f.standin.requests().back()["target"], "/test/FCTEL/rest/descarcare?id=" + m.id);
    }
    // "prod" compares exactly
    f.anaf->GetMesajToate("Prod", m.id, m.index, m.cif, m.detalii, m.tip, m.dataCreare, "", status, text, err);
    fs::remove(file);
    EXPECT_EQ(stored(f), "0/0/0");

    // An empty id fails before any request; in OAuth mode the token comes first.
    const std::string emptyId = "Id mesaj este null (trebuie sa aveti mesaje in tabela \"Lista Mesaje\").";
    const std::string noMapping =
        "Userul \"ion.ionescu\", nu are drepturi de acces la serviciul = \"eFact\" (tabela oauth2_client_serviciu_em)";
    f.standin.clearLog();
    EXPECT_EQ(errorOf([&] { f.anaf->GetMesajFurn("prod", "", m.index, m.cif, m.detalii, m.tip, m.dataCreare, file, true, status, text, err); }),
              emptyId);
    f.db.dm->glUser = "ion.ionescu";
    EXPECT_EQ(errorOf([&] { f.anaf->GetMesaj("prod", "", m.index, m.detalii, m.tip, m.dataCreare, file, status, text); }),
              emptyId);  // certificate mode reads no token
    EXPECT_EQ(errorOf([&] { f.anaf->GetMesajApi("prod", "", m.index, m.detalii, m.tip, m.dataCreare, file, status, text); }),
              noMapping);
    EXPECT_TRUE(f.standin.requests().empty());
    EXPECT_FALSE(fs::exists(file));
}
