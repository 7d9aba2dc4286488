#pragma once
// The documents behind SPV messages: CIUS-RO UBL invoices and credit notes (received from
// several suppliers or sent by the company), error reports, buyer messages and ANAF's signature.
// Everything follows from the message, so the same message always yields the same bytes.

#include <string>
#include <vector>

#include "mailbox.h"
#include "ubl_writer.h"

namespace standin {

// ANAF's "detalii" text of a generated message.
std::string messageDetails(const Message& m);
// The message's main XML: its given document, else the generated one for its type.
std::string messageXml(const Message& m);
// ANAF's detached signature of `document`, as the second entry of the archive.
std::string signatureXml(const Message& m, const std::string& document);
// The error report that answers a refused upload.
std::string errorReportXml(const std::string& idSolicitare, const std::string& cif,
                           const std::vector<std::string>& errors);
// The registered name of the mailbox's company.
std::string companyName(const std::string& cif);
// The company itself, its suppliers and its customers, by tax id (digits); false for others.
bool knownParty(const std::string& cui, const std::string& companyCif, Party& out);

}  // namespace standin
