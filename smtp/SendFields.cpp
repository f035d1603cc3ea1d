#include "smtp/SendFields.h"

#include "smtp/AddressList.h"

namespace {

bool Refuse(SendField which, const std::string& text, std::string& strMessage, SendField& field) {
    field = which;
    strMessage = text;
    return false;
}

} // namespace

bool CheckSendFields(const std::string& strHtmlPath, const std::string& strFrom, const std::string& strTo,
                     const std::string& strCc, SendAddresses& out, std::string& strMessage, SendField& field) {
    const char* const kNeedFrom = "Please enter mail \"From\".";
    const char* const kNeedTo = "Please enter mail \"To\".";
    field = SendField::None;
    out = SendAddresses();
    if (strHtmlPath.empty()) return Refuse(SendField::HtmlFile, "Please choose a HTML file.", strMessage, field);
    if (strFrom.empty()) return Refuse(SendField::From, kNeedFrom, strMessage, field);
    if (strTo.empty()) return Refuse(SendField::To, kNeedTo, strMessage, field);

    std::vector<std::string> fromList, toList, ccList;
    ParseAddressList(strFrom, fromList);
    if (fromList.empty()) return Refuse(SendField::From, kNeedFrom, strMessage, field);
    ParseAddressList(strTo, toList);
    if (toList.empty()) return Refuse(SendField::To, kNeedTo, strMessage, field);
    ParseAddressList(strCc, ccList);

    // A line break or bracket inside an address would add commands of its own
    // to the dialogue; refuse it here, where the user can still correct it.
    std::string reason;
    if (!CheckEnvelopeAddress(fromList[0], reason)) return Refuse(SendField::From, reason, strMessage, field);
    for (const std::string& a : toList)
        if (!CheckEnvelopeAddress(a, reason)) return Refuse(SendField::To, reason, strMessage, field);
    for (const std::string& a : ccList)
        if (!CheckEnvelopeAddress(a, reason)) return Refuse(SendField::Cc, reason, strMessage, field);

    out.strFrom = fromList[0];
    out.listRecipients = std::move(toList);
    out.listRecipients.insert(out.listRecipients.end(), ccList.begin(), ccList.end());
    return true;
}
