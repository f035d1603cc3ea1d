// Finding the page's local resources and its charset.
#include "compose/MimeComposer.h"

// Not scanned yet: no resource is embedded and no reference rewritten.
void CMimeComposer::ScanTag(const char*, const char*) {}

// Not detected yet: the caller falls back to iso-8859-1.
bool CMimeComposer::DetectCharset(std::string&) { return false; }
