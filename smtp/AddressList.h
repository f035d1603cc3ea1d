#pragma once
#include <string>
#include <vector>

// Splits a From, To or Cc field into bare addresses: ';' and ',' separate,
// "Name <addr>" yields addr, empty pieces and empty brackets yield nothing,
// duplicates stay. Returns false only when the text is empty.
bool ParseAddressList(const std::string& strText, std::vector<std::string>& list);

// Cuts text at every separator; leading spaces of each piece are skipped and
// pieces that are then empty are dropped.
std::vector<std::string> SplitList(const std::string& strText, char separator);

// True when addr can go into MAIL FROM or RCPT TO: no control character and
// no '<' or '>', which would let it smuggle in commands of its own.
bool CheckEnvelopeAddress(const std::string& addr, std::string& reason);
