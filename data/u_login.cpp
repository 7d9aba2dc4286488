#include "data/u_login.h"

#include <cctype>
#include <charconv>
#include <stdexcept>

#include "data/u_dmCon.h"

namespace data {

int toInteger(const std::string& text) {
    // Leading and trailing blanks are accepted, as the platform's conversion does.
    size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    if (begin < end && text[begin] == '+') ++begin;
    int value = 0;
    const char* first = text.data() + begin;
    const char* last = text.data() + end;
    auto [ptr, ec] = std::from_chars(first, last, value);
    if (begin == end || ec != std::errc() || ptr != last)
        throw std::invalid_argument("'" + text + "' is not a valid integer value");
    return value;
}

void fillGlobalsFromCommandLine(TdmCon& dm, const std::vector<std::string>& args) {
    if (args.size() == 5) {
        dm.glServer = args[0];
        dm.glDataBase = args[1];
        dm.glPort = toInteger(args[2]);
        dm.glUser = args[3];
        dm.glUserP = args[4];
    } else {
        dm.glServer = kDefaultDbServer;
        dm.glDataBase = kDefaultDatabase;
        dm.glPort = kDefaultPort;
        dm.glUser = kDefaultOperator;
        dm.glUserP = defaultOperatorPassword();
    }
}

void configureErpConnection(TdmCon& dm) {
    auto& s = dm.conQor.settings();
    s.host = dm.glServer;
    s.database = dm.glDataBase;
    s.port = dm.glPort;
}

void checkOperator(TdmCon& dm) {
    dm.dsEmitent.close();
    dm.dsEmitent.setParam("pEmitent", dm.glUser);
    dm.dsEmitent.setParam("pParola", dm.glUserP);
    dm.dsEmitent.open();
    const bool found = !dm.dsEmitent.isEmpty();
    dm.dsEmitent.close();
    if (!found) throw std::runtime_error(kLoginRefused);
}

void readTaxpayerServiceAddress(TdmCon& dm) {
    try {
        dm.dsServiciiWebAnaf.open();
        dm.glUrlAnafContribuabili = dm.dsServiciiWebAnaf.isEmpty()
                                        ? std::string()
                                        : dm.dsServiciiWebAnaf.field("base_url_serviciu_web").asString();
    } catch (...) {
        dm.releaseCentral(dm.dsServiciiWebAnaf);
        throw;
    }
    dm.releaseCentral(dm.dsServiciiWebAnaf);
}

void readCompanyCode(TdmCon& dm) {
    dm.dsEu.open();
    dm.glEuCuiNum = dm.dsEu.isEmpty() ? std::string() : dm.dsEu.field("cod_cci_num").asString();
    dm.dsEu.close();
}

bool readAccessMode(TdmCon& dm) {
    dm.dsOauth2Emitent.close();
    dm.dsOauth2Emitent.setParam("pEmitent", dm.glUser);
    dm.dsOauth2Emitent.setParam("pServiciu", std::string("eFact"));
    dm.dsOauth2Emitent.open();
    dm.glUseAnafAPI = !dm.dsOauth2Emitent.isEmpty();
    dm.dsOauth2Emitent.close();
    return dm.glUseAnafAPI;
}

}  // namespace data
