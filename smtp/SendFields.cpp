#include "smtp/SendFields.h"

#include "core/AddressList.h"
#include "core/Utf8.h"

namespace {

bool Refuse(SendField which, const std::string& text, std::string& strMessage, SendField& field) {
    field = which;
    strMessage = text;
    return false;
}

// The envelope carries ASCII only: the domain goes as its A-label, and a local
// part beyond ASCII would need SMTPUTF8, which is never asked of the server.
bool CheckEnvelope(const MailAddress& address, std::string& reason) {
    if (!IsAscii(address.strLocalPart)) {
        reason = "The address \"" + address.strLocalPart + "@" + address.strDomain +
                 "\" has a non-ASCII local part, which cannot be sent without SMTPUTF8.";
        return false;
    }
    return CheckEnvelopeAddress(address.EnvelopeAddress(), reason);
}

} // namespace

bool CheckSendFields(const std::string& strHtmlPath, const std::string& strFrom, const std::string& strTo,
                     const std::string& strCc, const std::string& strServer, SendAddresses& out,
                     std::string& strMessage, SendField& field) {
    const char* const kNeedFrom = "Please enter mail \"From\".";
    const char* const kNeedTo = "Please enter mail \"To\".";
    field = SendField::None;
    out = SendAddresses();
    if (strHtmlPath.empty()) return Refuse(SendField::HtmlFile, "Please choose an HTML file.", strMessage, field);
    if (strFrom.empty()) return Refuse(SendField::From, kNeedFrom, strMessage, field);
    if (strTo.empty()) return Refuse(SendField::To, kNeedTo, strMessage, field);

    AddressListResult parsed;
    if (!ParseAddressList(strFrom, parsed)) return Refuse(SendField::From, parsed.strError, strMessage, field);
    std::vector<MailAddress> fromList = parsed.Addresses();
    if (fromList.empty()) return Refuse(SendField::From, kNeedFrom, strMessage, field);
    if (!ParseAddressList(strTo, parsed)) return Refuse(SendField::To, parsed.strError, strMessage, field);
    std::vector<MailAddress> toList = parsed.Addresses();
    if (toList.empty()) return Refuse(SendField::To, kNeedTo, strMessage, field);
    if (!ParseAddressList(strCc, parsed)) return Refuse(SendField::Cc, parsed.strError, strMessage, field);
    std::vector<MailAddress> ccList = parsed.Addresses();

    std::string reason;
    if (!CheckEnvelope(fromList[0], reason)) return Refuse(SendField::From, reason, strMessage, field);
    for (const MailAddress& a : toList)
        if (!CheckEnvelope(a, reason)) return Refuse(SendField::To, reason, strMessage, field);
    for (const MailAddress& a : ccList)
        if (!CheckEnvelope(a, reason)) return Refuse(SendField::Cc, reason, strMessage, field);
    if (strServer.empty())
        return Refuse(SendField::Server, "No SMTP server is set. Please enter its name or IP address in the options.",
                      strMessage, field);

    out.strFrom = fromList[0].EnvelopeAddress();
    for (const std::vector<MailAddress>* list : {&toList, &ccList})
        for (const MailAddress& a : *list) out.listRecipients.push_back(a.EnvelopeAddress());
    return true;
}
