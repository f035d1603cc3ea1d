#pragma once
// The checks a send makes of its header fields before anything is composed;
// the window and the command line both use them.
#include <string>
#include <vector>

// The field a refusal is about, so that a window can put the focus there.
enum class SendField { None, HtmlFile, From, To, Cc, Server };

struct SendAddresses {
    // Envelope addresses: domains as A-labels.
    std::string strFrom;  // the first address of the From field; any others are not used
    std::vector<std::string> listRecipients;  // the To addresses, then the Cc ones
};

// Checks the fields in the order the user meets them, parses the addresses,
// and then wants a server to send to (the options may be saved without one).
// On failure returns false with the message for the user and its field.
bool CheckSendFields(const std::string& strHtmlPath, const std::string& strFrom, const std::string& strTo,
                     const std::string& strCc, const std::string& strServer, SendAddresses& out,
                     std::string& strMessage, SendField& field);
