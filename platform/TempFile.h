#pragma once
// Temporary files of a send: created private, removed by their owner.
#include <string>

namespace platform {

// Creates an empty file named prefix + six random characters in $TMPDIR
// (default /tmp) with mode 0600; its path goes to path.
bool CreateTempFile(const std::string& prefix, std::string& path, std::string& err);

// Removes a file; a missing file is not an error.
bool RemoveFile(const std::string& path);

// A private temporary file that is removed when its owner goes, on every path.
class OwnedTempFile {
public:
    OwnedTempFile() = default;
    ~OwnedTempFile() { Remove(); }
    OwnedTempFile(const OwnedTempFile&) = delete;
    OwnedTempFile& operator=(const OwnedTempFile&) = delete;

    bool Create(const std::string& prefix, std::string& err) {
        Remove();
        return CreateTempFile(prefix, m_strPath, err);
    }
    void Remove() {
        if (!m_strPath.empty()) RemoveFile(m_strPath);
        m_strPath.clear();
    }
    const std::string& Path() const { return m_strPath; }

private:
    std::string m_strPath;
};

// A private temporary folder (mode 0700) that is removed, with all it holds,
// when its owner goes.
class OwnedTempFolder {
public:
    OwnedTempFolder() = default;
    ~OwnedTempFolder() { Remove(); }
    OwnedTempFolder(const OwnedTempFolder&) = delete;
    OwnedTempFolder& operator=(const OwnedTempFolder&) = delete;

    bool Create(const std::string& prefix, std::string& err);
    void Remove();
    const std::string& Path() const { return m_strPath; }

private:
    std::string m_strPath;
};

} // namespace platform
