#include "data/u_dmCon.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

TdmCon* dmCon = nullptr;

namespace data {
namespace {

// Built-in secrets are kept out of the binary's plain strings: stored XOR-ed, decoded on use.
constexpr unsigned char kMask = 0x5A;
std::string decode(std::initializer_list<unsigned char> bytes) {
    std::string out;
    for (unsigned char b : bytes) out += static_cast<char>(b ^ kMask);
    return out;
}

std::string envOr(const char* name, std::string fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::string(v) : fallback;
}

}  // namespace

std::string applicationTitleFromPath(const std::string& executablePath) {
    std::string name = std::filesystem::path(executablePath).filename().string();
    const auto dot = name.find('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string applicationTitle() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string("Tarvelo") : applicationTitleFromPath(exe.string());
}

std::string databaseAccountPassword() {
    // "qor-tarvelo"
    return envOr("TARVELO_DB_PASSWORD",
                 decode({0x2b, 0x35, 0x28, 0x77, 0x2e, 0x3b, 0x28, 0x2c, 0x3f, 0x36, 0x35}));
}

std::string defaultOperatorPassword() {
    // "demo123"
    return decode({0x3e, 0x3f, 0x37, 0x35, 0x6b, 0x68, 0x69});
}

std::string centralDbHost() { return envOr("TARVELO_CENTRAL_DB_HOST", "127.0.0.1"); }

int centralDbPort() {
    const std::string text = envOr("TARVELO_CENTRAL_DB_PORT", "5432");
    char* end = nullptr;
    const long port = std::strtol(text.c_str(), &end, 10);
    return (end && *end == '\0' && port > 0 && port < 65536) ? static_cast<int>(port) : 5432;
}

}  // namespace data

namespace {

const char* const kSqlAnafFurnMsg = R"SQL(
SELECT x.err_xml, x.data_doc_xml, x.tip_doc_xml, x.nr_doc_xml, x.partener_xml,
       to_timestamp(f.msg_data_creare, 'YYYYMMDDHH24MI')::timestamp AS msg_data_creare_d,
       f.*
  FROM anaf_e_fact_furn_msg f
  LEFT JOIN LATERAL o_e_fact_read_xml(f.msg_xml) x ON true
 WHERE to_timestamp(f.msg_data_creare, 'YYYYMMDDHH24MI')::date BETWEEN :pDataIncep AND :pDataSfarsit
 ORDER BY f.msg_data_creare DESC)SQL";

}  // namespace

TdmCon::TdmCon()
    : dsEmitent(conQor,
                "SELECT * FROM emitent WHERE emitent = :pEmitent AND operator_parola = :pParola"),
      dsEu(conQor,
           "SELECT eu.*, regexp_replace(eu.cod_cci, '[^0-9]', '', 'g') AS cod_cci_num FROM eu"),
      dsServiciiWebAnaf(conQorGen,
                        "SELECT * FROM servicii_web_anaf WHERE serviciu_web = 'contribuabili'"),
      dsOauth2Emitent(conQor,
                      "SELECT m.cid, c.cs, c.at, c.rt"
                      "  FROM oauth2_client_serviciu_em m"
                      "  LEFT OUTER JOIN oauth2_client c ON c.cid = m.cid"
                      " WHERE m.emitent = :pEmitent AND m.serviciu = :pServiciu"
                      " ORDER BY m.cid LIMIT 1"),
      dsOauth2Client(conQor, "SELECT * FROM oauth2_client WHERE cid = :pCid"),
      dsOauth2ApiAnafQor(conQorGen, "SELECT cid, cs, cbu FROM oauth2_api_anaf_qor"),
      dsAnaf_eFact(conQor,
                   "SELECT * FROM anaf_e_fact"
                   " WHERE data_doc = :pDataDoc AND tip_doc = :pTipDoc AND nr_doc = :pNrDoc"),
      dsAnafFurnMsg(conQor, kSqlAnafFurnMsg),
      dsAnafEfactMsgToate(conQor, "SELECT * FROM anaf_e_fact_msg_toate WHERE false"),
      dsAnafInfCui(conQor,
                   "SELECT * FROM anaf_inf_cui"
                   " WHERE data_interogare = :pDataInterogare AND cui = :pCui"),
      dsPtf(conQorGen,
            "SELECT p.*, p.cod_ptf || ' - ' || p.den_ptf AS cod_den_ptf"
            "  FROM e_transp_ptf p ORDER BY p.cod_ptf"),
      dsBirouVamal(conQorGen,
                   "SELECT b.*, b.cod_birou_vamal || ' - ' || b.den_birou_vamal AS cod_den_birou_vamal"
                   "  FROM e_transp_birou_vamal b ORDER BY b.cod_birou_vamal"),
      dsTipConfirmare(conQorGen,
                      "SELECT t.*, t.cod_tip_confirm || ' - ' || t.den_tip_confirm AS cod_den_tip_confirm"
                      "  FROM e_transp_tip_confirm t ORDER BY t.cod_tip_confirm"),
      o_gen_xml_efactura(conQor, "o_gen_xml_efactura"),
      o_anaf_e_fact_msg_ins(conQor, "o_anaf_e_fact_msg_ins"),
      o_efact_furn_ins_qor_tot(conQor, "o_efact_furn_ins_qor_tot"),
      o_efact_furn_ins_qor_unu(conQor, "o_efact_furn_ins_qor_unu"),
      o_efact_furn_marcheaza_ins_qor(conQor, "o_efact_furn_marcheaza_ins_qor"),
      o_gen_xml_efact_trimite_mesaj(conQor, "o_gen_xml_efact_trimite_mesaj"),
      o_gen_xml_etransp(conQor, "o_gen_xml_etransp"),
      o_gen_xml_etransp_sterge(conQor, "o_gen_xml_etransp_sterge"),
      o_gen_xml_etransp_confirm(conQor, "o_gen_xml_etransp_confirm"),
      o_gen_xml_etransp_modif_vehicul(conQor, "o_gen_xml_etransp_modif_vehicul") {
    auto& erp = conQor.settings();
    erp.user = data::kDatabaseAccount;
    erp.password = data::databaseAccountPassword();
    erp.sslMode = "prefer";
    erp.applicationName = "Tarvelo";

    auto& central = conQorGen.settings();
    central.host = data::centralDbHost();
    central.port = data::centralDbPort();
    central.database = "qor_gen";
    central.user = data::kDatabaseAccount;
    central.password = data::databaseAccountPassword();
    central.sslMode = "prefer";
    conQorGen.setBeforeConnect([this](platform::pg::Connection& c) { conQorGenBeforeConnect(c); });

    dsAnaf_eFact.setUpdateTable("anaf_e_fact", {"data_doc", "tip_doc", "nr_doc"});
    dsAnafFurnMsg.setUpdateTable("anaf_e_fact_furn_msg", {"msg_data_creare", "msg_id"});
    dsAnafEfactMsgToate.setUpdateTable("anaf_e_fact_msg_toate", {"msg_data_creare", "msg_id"});
}

TdmCon::~TdmCon() {
    if (dmCon == this) dmCon = nullptr;
}

void TdmCon::conQorGenBeforeConnect(platform::pg::Connection& connection) {
    connection.settings().applicationName = data::applicationTitle();
}

void TdmCon::releaseCentral(platform::pg::Query& query) {
    query.close();
    conQorGen.disconnect();
}
