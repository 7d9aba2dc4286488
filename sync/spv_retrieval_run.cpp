#include "sync/spv_retrieval_run.h"
#include "sync/retrieval_statements.h"

#include <nlohmann/json.hpp>

#include "anaf/u_fProcAnaf.h"
#include "data/u_dmCon.h"
#include "platform/time/clock.h"
#include "platform/time/local_text.h"

namespace retrieval {
namespace {

using platform::time::nowText;

constexpr auto kPeriod = std::chrono::hours(24 * 60);
constexpr auto kServiceMargin = std::chrono::seconds(10);
constexpr auto kLocalMargin = std::chrono::seconds(60);

std::string apiSuffix(bool api) { return api ? "Api" : ""; }

}  // namespace

int pageCountOf(const std::string& content, const std::string& operation) {
    const auto json = nlohmann::json::parse(content, nullptr, false);
    if (json.is_discarded() || !json.is_object())
        throw std::runtime_error("(" + operation + ") Raspunsul ANAF nu este JSON: " +
                                 content.substr(0, 500));
    if (auto e = json.find("eroare"); e != json.end())
        throw std::runtime_error("(" + operation + ") Eroare=" +
                                 (e->is_string() ? e->get<std::string>() : e->dump()));
    const auto pages = json.find("numar_total_pagini");
    if (pages != json.end()) {
        if (pages->is_number_integer()) return pages->get<int>();
        if (pages->is_string()) {
            const std::string text = pages->get<std::string>();
            try {
                size_t used = 0;
                const int n = std::stoi(text, &used);
                if (used == text.size()) return n;
            } catch (const std::exception&) {
            }
        }
    }
    throw std::runtime_error("(" + operation +
                             ") Raspunsul ANAF nu contine un numar_total_pagini valid.");
}

SpvRetrievalRun::SpvRetrievalRun(TdmCon& dm, TfProcAnaf& anaf, RunLog& log)
    : dm_(dm),
      anaf_(anaf),
      log_(log),
      o_efact_umplu_msg_(dm.conQor, "o_efact_umplu_msg"),
      dsTempListaMesaje_(dm.conQor, "SELECT * FROM temp_lista_mesaje") {}

void SpvRetrievalRun::both(const std::string& line) {
    log_.summary(line);
    log_.detail(line);
}

int SpvRetrievalRun::run() {
    log_.clearSummary();
    both(nowText() + " - Incepe");

    using platform::time::LocalDateTime;
    LocalDateTime start{}, end{};
    bool fromService = false;
    try {
        // The service leaves the value as it was when it answers without a time.
        const LocalDateTime unset = LocalDateTime::min();
        LocalDateTime t = unset;
        anaf_.GetDateTime_Timeapi(t);
        if (t != unset) {
            start = t - kPeriod + kServiceMargin;
            end = t;
            fromService = true;
        }
    } catch (const std::exception& e) {
        log_.detail(std::string("Eroare preluare DateTime API. Err = ") + e.what());
    }
    if (!fromService) {
        // No time from the service: the local clock, with the wider margins.
        const auto local = platform::time::localNow();
        start = local - kPeriod + kLocalMargin;
        end = local - kLocalMargin;
    }

    log_.detail(nowText() + " - Incepe preluarea listei cu mesaje si scrierea mesajelor...");
    const int fetched = listAndDownload(start, end);

    log_.detail(nowText() + " - UpdDataNumarXML");
    runStatement("UpdDataNumarXML", {kSqlUpdDataNumarXml1, kSqlUpdDataNumarXml2});
    log_.detail(nowText() + " - PgSQL_InsAnafFurnMsg");
    runStatement("InsAnafFurnMsg", {kSqlInsAnafFurnMsg});
    log_.detail(nowText() + " - PgSQL_InsAnafEfactMsg");
    runStatement("InsAnafEfactMsg", {kSqlInsAnafEfactMsg});

    if (fetched == 0) both("Nu sunt mesaje noi de preluat.");
    else both("Nr. mesaje preluate = " + std::to_string(fetched));
    both(nowText() + " - Gata");
    return fetched;
}

int SpvRetrievalRun::listAndDownload(platform::time::LocalDateTime start, platform::time::LocalDateTime end) {
    int page = 1, pageCount = 1, fetched = 0;
    while (page <= pageCount) {
        const std::string pageText = std::to_string(page);
        log_.detail(nowText() + " - pagina " + pageText + " inceput");
        log_.summary(nowText() + " - pagina " + pageText);
        log_.processEvents();

        const bool api = dm_.glUseAnafAPI;
        const std::string operation = "GetListaMesajeCuPag" + apiSuffix(api);
        int status = 0;
        std::string statusText, content;
        if (api)
            anaf_.GetListaMesajeCuPagApi("prod", start, end, dm_.glEuCuiNum, pageText, status,
                                         statusText, content);
        else
            anaf_.GetListaMesajeCuPag("prod", start, end, dm_.glEuCuiNum, pageText, status,
                                      statusText, content);
        log_.detail(nowText() + " - pagina " + pageText + ", sfarsit");
        ++page;
        if (status != 200)
            throw std::runtime_error("(" + operation + ") StatusCode= " + std::to_string(status) +
                                     ". Eroare = " + content);
        pageCount = pageCountOf(content, operation);

        log_.detail(nowText() + " - analiza pagina incep");
        dsTempListaMesaje_.close();
        o_efact_umplu_msg_.setParam("plistamesaje", content);
        o_efact_umplu_msg_.execute();
        dsTempListaMesaje_.open();
        log_.detail(nowText() + " - nr. msj noi = " + std::to_string(dsTempListaMesaje_.rowCount()));
        log_.detail(nowText() + " - analiza pagina sfarsit.");
        log_.detail(nowText() + " - get mesaj in toate incep");
        downloadNewMessages(fetched);
        log_.detail(nowText() + " - get mesaj in toate sfarsit");
    }
    dsTempListaMesaje_.close();
    return fetched;
}

void SpvRetrievalRun::downloadNewMessages(int& fetched) {
    for (int i = 0; i < dsTempListaMesaje_.rowCount(); ++i) {
        dsTempListaMesaje_.setRecNo(i);
        auto text = [&](const char* name) { return dsTempListaMesaje_.field(name).asString(); };
        const bool api = dm_.glUseAnafAPI;
        const std::string operation = "GetMesajToate" + apiSuffix(api);
        int status = 0;
        std::string statusText, errLaINS;
        try {
            if (api)
                anaf_.GetMesajToateApi("prod", text("id"), text("id_solicitare"), text("cif"),
                                       text("detalii"), text("tip"), text("data_creare"), "", status,
                                       statusText, errLaINS);
            else
                anaf_.GetMesajToate("prod", text("id"), text("id_solicitare"), text("cif"),
                                    text("detalii"), text("tip"), text("data_creare"), "", status,
                                    statusText, errLaINS);
            if (status == 200) {
                if (errLaINS.empty()) ++fetched;
            } else {
                const std::string code = "(" + operation + ") StatusCode=" + std::to_string(status);
                const std::string reason = "(" + operation + ") StatusText=" + statusText;
                log_.summary(code);
                log_.summary(reason);
                log_.detail(code);
                log_.detail(reason);
            }
        } catch (const std::exception& e) {
            both("(" + operation + ") Eroare =" + e.what());
        }
    }
}

void SpvRetrievalRun::runStatement(const char* label, std::initializer_list<const char*> statements) {
    try {
        for (const char* sql : statements) platform::pg::Query(dm_.conQor, sql).execute();
    } catch (const std::exception& e) {
        both(std::string("(") + label + ") Eroare = " + e.what());
    }
}

}  // namespace retrieval
