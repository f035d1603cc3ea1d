#pragma once
// Temporary files of a send: created private, removed by their owner.
#include <string>

namespace platform {

// Creates an empty file named prefix + six random characters in $TMPDIR
// (default /tmp) with mode 0600; its path goes to path.
bool CreateTempFile(const std::string& prefix, std::string& path, std::string& err);

// Removes a file; a missing file is not an error.
bool RemoveFile(const std::string& path);

} // namespace platform
