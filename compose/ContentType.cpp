#include "compose/ContentType.h"

// No source is consulted yet: every part is application/octet-stream.
bool GetContentType(const std::string&, std::string&) { return false; }
