#pragma once
#include <ctime>
#include <string>

// "Name: value\r\n" with CR and LF in the value turned into spaces, so a value
// can never start a header of its own, and folded at a space when the line
// would pass 998 octets. A value that fits is written exactly as typed.
std::string FormatHeaderLine(const char* pszName, const std::string& strValue);

// A file name made safe inside name="..." and filename="...": CR and LF become
// spaces, '"' and '\' are escaped with a backslash.
std::string QuoteParameterValue(const std::string& strValue);

// The Date header value: "Sat, 05 Dec 2026 18:41:32 -0500" in English whatever
// the locale; '+' only when local time is ahead of UTC.
std::string FormatRfcDate(const std::tm& local, long gmtoffSeconds);
