#pragma once
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

// C0 control characters other than TAB, and DEL, become spaces, so a value
// can never start a header of its own or reach a terminal as a command.
std::string CleanHeaderText(std::string_view value);

// "Name: value\r\n" with the value as typed, folded before a space when the
// line would pass 998 octets. False when a word is too long for any line.
bool FormatHeaderLine(const char* pszName, const std::string& strValue, std::string& strLine);

// The Subject line: an ASCII value as typed, any other as encoded-words.
// False, with the reason, when a word cannot fit on a line.
bool FormatSubjectHeader(const std::string& strValue, std::string& strLine, std::string& strError);

// A From, To or Cc line. An ASCII value that fits one line is written as
// typed; any other is read as an address list and written with encoded
// display names, A-label domains and folds between addresses. False, with the
// reason, when such a value is not an address list or an address cannot fit.
// An address whose local part is not ASCII adds a warning.
bool FormatAddressHeader(const char* pszName, const std::string& strValue, std::string& strLine,
                         std::string& strError, std::vector<std::string>& listWarnings);

// The ASCII domain of the first address of a From value; empty when it has none.
std::string FirstAddressDomain(const std::string& strFrom);

// A file name made safe inside name="..." and filename="...": CR and LF become
// spaces, '"' and '\' are escaped with a backslash.
std::string QuoteParameterValue(const std::string& strValue);

// The file name parameters of a part, each "\r\n\t"-ready without the final
// CR LF: ASCII names as name="..." and filename="..."; others as an
// encoded-word name and an RFC 2231 filename.
std::string FormatNameParameter(const std::string& strUtf8Name);
std::string FormatFilenameParameter(const std::string& strUtf8Name);

// The Date header value: "Sat, 05 Dec 2026 18:41:32 -0500" in English whatever
// the locale; '+' only when local time is ahead of UTC.
std::string FormatRfcDate(const std::tm& local, long gmtoffSeconds);
