#pragma once
// The operator's login, step by step, so the main window can show its labels between the steps
// and the headless sync command can run the same checks.

#include <string>
#include <vector>

class TdmCon;

namespace data {

// Step 2: the five command-line values, or the built-in defaults for any other count.
// Raises "'<text>' is not a valid integer value" when the port is not an integer.
void fillGlobalsFromCommandLine(TdmCon& dm, const std::vector<std::string>& args);
// Step 3: server, database and port of the ERP connection.
void configureErpConnection(TdmCon& dm);
// Step 4: the operator must match `emitent` and `operator_parola` exactly.
void checkOperator(TdmCon& dm);
// Step 6: the taxpayer-service address from the central database (empty when there is no row).
void readTaxpayerServiceAddress(TdmCon& dm);
// Step 7: the company's fiscal code, digits only.
void readCompanyCode(TdmCon& dm);
// Step 8: OAuth mode when the operator has an "eFact" mapping; returns the mode.
bool readAccessMode(TdmCon& dm);

// Text of the refused login.
inline constexpr const char* kLoginRefused = "User, password eronate.";

// Integer conversion as the platform reports it: "'<text>' is not a valid integer value".
int toInteger(const std::string& text);

}  // namespace data
