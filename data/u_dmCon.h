#pragma once
// The database module: the two connections, the run's global values and the statements that more
// than one screen or the ANAF client use. One instance, `dmCon`, lives for the whole run.

#include <memory>
#include <string>

#include "platform/pg/connection.h"
#include "platform/pg/query.h"

class TdmCon {
public:
    TdmCon();
    ~TdmCon();
    TdmCon(const TdmCon&) = delete;
    TdmCon& operator=(const TdmCon&) = delete;

    // Connections. conQor: the ERP database, every statement of the run. conQorGen: the central
    // database, two small lookups; it is given back (disconnected) after each.
    platform::pg::Connection conQor;
    platform::pg::Connection conQorGen;

    // Global values of the run, filled at login.
    std::string glServer;
    int glPort = 0;
    std::string glDataBase;
    std::string glUser;
    std::string glUserP;
    std::string glUrlAnafContribuabili;
    std::string glEuCuiNum;
    std::string glEu;
    std::string glJasIP;
    std::string glJasProtocol;
    bool glEuInrolat_eFact_azi = false;
    bool glUseAnafAPI = false;
    bool glImportFactCI_SPV = false;

    // Shared statements (on conQor unless noted).
    platform::pg::Query dsEmitent;            // :pEmitent, :pParola
    platform::pg::Query dsEu;                 // all columns + cod_cci_num
    platform::pg::Query dsServiciiWebAnaf;    // conQorGen
    platform::pg::Query dsOauth2Emitent;      // :pEmitent, :pServiciu
    platform::pg::Query dsOauth2Client;       // :pCid
    platform::pg::Query dsOauth2ApiAnafQor;   // conQorGen
    platform::pg::Query dsAnaf_eFact;         // :pDataDoc, :pTipDoc, :pNrDoc; editable
    platform::pg::Query dsAnafFurnMsg;        // :pDataIncep, :pDataSfarsit; editable
    platform::pg::Query dsAnafEfactMsgToate;  // no rows; append target
    platform::pg::Query dsAnafInfCui;         // :pDataInterogare, :pCui
    platform::pg::Query dsPtf;                // conQorGen
    platform::pg::Query dsBirouVamal;         // conQorGen
    platform::pg::Query dsTipConfirmare;      // conQorGen

    // Stored-function calls.
    platform::pg::StoredProc o_gen_xml_efactura;
    platform::pg::StoredProc o_anaf_e_fact_msg_ins;
    platform::pg::StoredProc o_efact_furn_ins_qor_tot;
    platform::pg::StoredProc o_efact_furn_ins_qor_unu;
    platform::pg::StoredProc o_efact_furn_marcheaza_ins_qor;
    platform::pg::StoredProc o_gen_xml_efact_trimite_mesaj;
    platform::pg::StoredProc o_gen_xml_etransp;
    platform::pg::StoredProc o_gen_xml_etransp_sterge;
    platform::pg::StoredProc o_gen_xml_etransp_confirm;
    platform::pg::StoredProc o_gen_xml_etransp_modif_vehicul;

    // Sets the central connection's application name from the running program's file name.
    void conQorGenBeforeConnect(platform::pg::Connection& connection);

    // Closes a central-database query and gives the central connection back.
    void releaseCentral(platform::pg::Query& query);
};

// The one instance; created by the program entry (third in the start-up order), or by a test.
extern TdmCon* dmCon;

namespace data {

// The application's title: the running program's file name without its folder, cut at its first
// "." (a program file named a.b.c gives "a").
std::string applicationTitleFromPath(const std::string& executablePath);
std::string applicationTitle();  // of the running process

// Database account settings: built-in defaults, overridable by TARVELO_DB_PASSWORD,
// TARVELO_CENTRAL_DB_HOST and TARVELO_CENTRAL_DB_PORT. PGSSLMODE, when set, replaces "prefer".
std::string databaseAccountPassword();
std::string centralDbHost();
int centralDbPort();
inline constexpr const char* kDatabaseAccount = "qor";
inline constexpr const char* kDefaultDbServer = "127.0.0.1";
inline constexpr const char* kDefaultDatabase = "qor1";
inline constexpr int kDefaultPort = 5432;
inline constexpr const char* kDefaultOperator = "ana.popescu";
std::string defaultOperatorPassword();

}  // namespace data
