#include <fstream>

#include "anaf/u_fProcAnaf.h"
#include "data/u_dmCon.h"
#include "platform/zip/zip_reader.h"

namespace {

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw AnafError("Nu se poate scrie fisierul " + path);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw AnafError("Nu se poate scrie fisierul " + path);
}

}  // namespace

void TfProcAnaf::download(Family family, bool api, const std::string& operation, const std::string& urlMod,
                          const std::string& idMesaj, const std::string& indexIncarcare,
                          const std::string& mesajCif, const std::string& mesajDetalii,
                          const std::string& mesajTip, const std::string& mesajDataCreare,
                          const std::string& numeFisier, bool daNuScrieInQOR, int& statusCode,
                          std::string& statusText, std::string& errLaINS) {
    statusText.clear();
    errLaINS.clear();
    std::string token;
    if (api) token = GetUserAccessToken(dmCon->glUser, "eFact");
    if (idMesaj.empty())
        throw AnafError("Id mesaj este null (trebuie sa aveti mesaje in tabela \"Lista Mesaje\").");

    prepareAnafSet(api ? AnafApiBaseUrl : AnafCertBaseUrl, "/" + urlMod + "/FCTEL/rest/descarcare", "GET", "",
                   api ? &token : nullptr);
    RESTClientAnaf.params = {{"id", idMesaj}};
    RESTClientAnaf.execute(certificateChooser());
    RESTClientAnaf.headers.clear();  // the token is used for one request only
    statusCode = RESTClientAnaf.statusCode;
    statusText = RESTClientAnaf.statusText;

    if (api || family == Family::Mesaj) raiseOnDenied(operation, statusCode, "descarcarea");
    if (statusCode != 200) return;
    if (RESTClientAnaf.responseType == "application/json")
        throw AnafError("(" + operation + ") Content = " + RESTClientAnaf.content);
    if (RESTClientAnaf.responseType != "application/zip")
        throw AnafError("(" + operation + ") ContentType necunoscut. ContentType= " + RESTClientAnaf.responseType);

    const std::string& bytes = RESTClientAnaf.rawBytes;
    if (!numeFisier.empty()) writeFile(numeFisier, bytes);
    if (urlMod != "prod") return;

    std::string xml, signature;
    try {
        platform::zip::Archive archive(std::span<const unsigned char>(
            reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()));
        if (family != Family::Mesaj && archive.entryCount() != 2)
            throw AnafError("Eroare in procedura " + operation +
                            ", fisierul zip trebuie sa aiba 2 fisiere. Nr. Fisiere=" +
                            std::to_string(archive.entryCount()));
        xml = archive.readText(indexIncarcare + ".xml");
        if (family != Family::Furn)
            signature = archive.readText("semnatura_" + indexIncarcare + ".xml");
    } catch (const platform::zip::Error& e) {
        // not an archive, a missing entry, corrupt data or an entry past the size bound
        throw AnafError("(" + operation + ") " + e.what());
    }
    const platform::pg::Bytes archiveBytes(bytes.begin(), bytes.end());

    auto setStoredFunction = [&] {
        auto& f = dmCon->o_anaf_e_fact_msg_ins;
        f.clearParams();
        f.setParam("pidmesaj", idMesaj);
        f.setParam("pindexincarcare", indexIncarcare);
        f.setParam("pmesaj", xml);
        f.setParam("pmesajdetalii", mesajDetalii);
        f.setParam("pmesajtip", mesajTip);
        f.setParam("pmesajsemnatura", signature);
        f.setParam("pmesajdata", mesajDataCreare);
        f.setParam("pmesajzip", archiveBytes);
    };

    switch (family) {
        case Family::Mesaj:
            setStoredFunction();
            dmCon->o_anaf_e_fact_msg_ins.execute();
            return;
        case Family::Furn: {
            if (!daNuScrieInQOR) return;
            auto& ds = dmCon->dsAnafFurnMsg;
            // Opened with the period the screens last gave it (none: no rows); never reopened,
            // so what a screen shows stays.
            if (!ds.isOpen()) ds.open();
            ds.append();
            ds.setField("msg_data_creare", mesajDataCreare);
            ds.setField("msg_id", idMesaj);
            ds.setField("msg_cif", mesajCif);
            ds.setField("msg_index_incarcare", indexIncarcare);
            ds.setField("msg_detalii", mesajDetalii);
            ds.setField("msg_tip", mesajTip);
            ds.setField("msg_xml", xml);
            ds.setField("msg_zip", archiveBytes);
            try {
                ds.post();
            } catch (const std::exception& e) {
                ds.cancel();
                errLaINS = e.what();
            }
            return;
        }
        case Family::Toate: {
            auto& ds = dmCon->dsAnafEfactMsgToate;
            ds.close();
            ds.open();
            ds.append();
            ds.setField("msg_data_creare", mesajDataCreare);
            ds.setField("msg_id", idMesaj);
            ds.setField("msg_cif", mesajCif);
            ds.setField("msg_index_incarcare", indexIncarcare);
            ds.setField("msg_detalii", mesajDetalii);
            ds.setField("msg_tip", mesajTip);
            ds.setField("msg_factura_xml", xml);
            ds.setField("msg_semnatura_xml", signature);
            ds.setField("msg_zip", archiveBytes);
            setStoredFunction();
            try {
                ds.post();
            } catch (const std::exception& e) {
                ds.cancel();
                ds.close();
                errLaINS = e.what();
                return;
            }
            ds.close();
            try {
                dmCon->o_anaf_e_fact_msg_ins.execute();
            } catch (const std::exception&) {
                // the stored row is what marks the message as fetched; this call is secondary
            }
            return;
        }
    }
}

void TfProcAnaf::GetMesaj(const std::string& urlMod, const std::string& idMesaj, const std::string& indexIncarcare,
                          const std::string& mesajDetalii, const std::string& mesajTip, const std::string& mesajData,
                          const std::string& numeFisier, int& statusCode, std::string& statusText) {
    std::string unused;
    download(Family::Mesaj, false, "GetMesaj", urlMod, idMesaj, indexIncarcare, "", mesajDetalii, mesajTip,
             mesajData, numeFisier, false, statusCode, statusText, unused);
}

void TfProcAnaf::GetMesajApi(const std::string& urlMod, const std::string& idMesaj,
                             const std::string& indexIncarcare, const std::string& mesajDetalii,
                             const std::string& mesajTip, const std::string& mesajData,
                             const std::string& numeFisier, int& statusCode, std::string& statusText) {
    std::string unused;
    download(Family::Mesaj, true, "GetMesajApi", urlMod, idMesaj, indexIncarcare, "", mesajDetalii, mesajTip,
             mesajData, numeFisier, false, statusCode, statusText, unused);
}

void TfProcAnaf::GetMesajFurn(const std::string& urlMod, const std::string& idMesaj,
                              const std::string& indexIncarcare, const std::string& mesajCif,
                              const std::string& mesajDetalii, const std::string& mesajTip,
                              const std::string& mesajDataCreare, const std::string& numeFisier,
                              bool daNuScrieInQOR, int& statusCode, std::string& statusText,
                              std::string& errLaINS) {
    download(Family::Furn, false, "GetMesajFurn", urlMod, idMesaj, indexIncarcare, mesajCif, mesajDetalii,
             mesajTip, mesajDataCreare, numeFisier, daNuScrieInQOR, statusCode, statusText, errLaINS);
}

void TfProcAnaf::GetMesajFurnApi(const std::string& urlMod, const std::string& idMesaj,
                                 const std::string& indexIncarcare, const std::string& mesajCif,
                                 const std::string& mesajDetalii, const std::string& mesajTip,
                                 const std::string& mesajDataCreare, const std::string& numeFisier,
                                 bool daNuScrieInQOR, int& statusCode, std::string& statusText,
                                 std::string& errLaINS) {
    download(Family::Furn, true, "GetMesajFurnApi", urlMod, idMesaj, indexIncarcare, mesajCif, mesajDetalii,
             mesajTip, mesajDataCreare, numeFisier, daNuScrieInQOR, statusCode, statusText, errLaINS);
}

void TfProcAnaf::GetMesajToate(const std::string& urlMod, const std::string& idMesaj,
                               const std::string& indexIncarcare, const std::string& mesajCif,
                               const std::string& mesajDetalii, const std::string& mesajTip,
                               const std::string& mesajDataCreare, const std::string& numeFisier,
                               int& statusCode, std::string& statusText, std::string& errLaINS) {
    download(Family::Toate, false, "GetMesajToate", urlMod, idMesaj, indexIncarcare, mesajCif, mesajDetalii,
             mesajTip, mesajDataCreare, numeFisier, false, statusCode, statusText, errLaINS);
}

void TfProcAnaf::GetMesajToateApi(const std::string& urlMod, const std::string& idMesaj,
                                  const std::string& indexIncarcare, const std::string& mesajCif,
                                  const std::string& mesajDetalii, const std::string& mesajTip,
                                  const std::string& mesajDataCreare, const std::string& numeFisier,
                                  int& statusCode, std::string& statusText, std::string& errLaINS) {
    download(Family::Toate, true, "GetMesajToateApi", urlMod, idMesaj, indexIncarcare, mesajCif, mesajDetalii,
             mesajTip, mesajDataCreare, numeFisier, false, statusCode, statusText, errLaINS);
}
