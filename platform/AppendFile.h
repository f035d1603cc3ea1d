#pragma once
// A file that only grows, each record on the disk before Append returns: for
// a journal that must survive a crash or kill -9 at any instant.
#include <string>

namespace platform {

class AppendFile {
public:
    AppendFile() = default;
    ~AppendFile();
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    // Opens path for appending, creating it (0600) when missing.
    bool Open(const std::string& path, std::string& err);
    // Writes text whole, then waits until it is on the disk.
    bool Append(const std::string& text, std::string& err);
    void Close();

private:
    int m_fd = -1;
};

} // namespace platform
