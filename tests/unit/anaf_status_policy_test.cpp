// The status rule that six operations share and the texts built from a failed status.
#include <gtest/gtest.h>

#include "anaf/u_fProcAnaf.h"

namespace {

std::string raised(const std::string& operation, int status) {
    try {
        TfProcAnaf::raiseOnDeniedStatus(operation, status);
    } catch (const AnafError& e) {
        return e.what();
    }
    return "";
}

}  // namespace

TEST(AnafStatusPolicy, SixOperationsRaiseOn403And429AndAllOthersReturnTheStatus) {
    const std::string denied = " Eroare : Apelul nu a fost autorizat de catre ANAF";
    const std::string limit =
        " Eroare : S-a depasit limita maxima de 100 de apeluri pe minut, stabilita de catre ANAF. Reluati ";
    struct Case {
        std::string operation, on403, on429;
    };
    const std::vector<Case> cases = {
        {"GetStare_eFactApi", "(GetStare_eFactApi)" + denied + ".", "(GetStare_eFactApi)" + limit + "preluarea starii."},
        {"Upload_eFactApi", "(Upload_eFactApi)" + denied, "(Upload_eFactApi)" + limit + "transmiterea."},
        {"GetMesaj", "(GetMesaj)" + denied, "(GetMesaj)" + limit + "descarcarea."},
        {"GetMesajApi", "(GetMesajApi)" + denied, "(GetMesajApi)" + limit + "descarcarea."},
        {"GetMesajFurnApi", "(GetMesajFurnApi)" + denied, "(GetMesajFurnApi)" + limit + "descarcarea."},
        {"GetMesajToateApi", "(GetMesajToateApi)" + denied, "(GetMesajToateApi)" + limit + "descarcarea."},
        // their twins and every other operation leave 403 and 429 to the caller
        {"GetStare_eFact", "", ""},
        {"Upload_eFact", "", ""},
        {"GetMesajFurn", "", ""},
        {"GetMesajToate", "", ""},
        {"GetListaMesajeCuPagApi", "", ""},
        {"getmesaj", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(raised(c.operation, 403), c.on403) << c.operation;
        EXPECT_EQ(raised(c.operation, 429), c.on429) << c.operation;
        for (int other : {200, 400, 401, 404, 500}) EXPECT_EQ(raised(c.operation, other), "") << c.operation << other;
    }
}

TEST(AnafStatusPolicy, FailedStatusTexts) {
    EXPECT_EQ(TfProcAnaf::errHttpAnafText(500, "Internal Server Error", "{\"x\":1}"),
              "errHttpAnaf: StatusCode=500, StatusText=Internal Server Error, content={\"x\":1}");
    EXPECT_EQ(TfProcAnaf::validareErrText("Validare_xml_eFactApi", 400, "Bad Request", "nok"),
              "(Validare_xml_eFactApi) EROARE HttpAnaf la validare: StatusCode=400, statusText=Bad Request, content=nok");
    EXPECT_EQ(TfProcAnaf::transformareErrText("Transformare_xml_eFact_pdf", 404, ""),
              "(Transformare_xml_eFact_pdf) EROARE - XML-ul nu s-a putut transforma in PDF. StatusCode =  404, "
              "content = ");
    EXPECT_EQ(TfProcAnaf::testOAuthErrText(403, "interzis"),
              "(TestOAuthAnaf) Eroare verificare autorizare AccessToken. StatusCode=403, content=interzis");
    EXPECT_EQ(TfProcAnaf::generareTokenErrText(" obtinere cod autorizare.", 302, "x"),
              "(GenerareTokenAnaf) - EROARE obtinere cod autorizare. Status Code = 302, content = x");
}
