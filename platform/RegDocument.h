#pragma once
// The settings file of earlier versions, a registry export in the REGEDIT4
// text format (or its UTF-16 form): read once, when its values are carried
// over into the key file. Nothing writes this format.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace platform {

// Value kinds as the export format numbers them (hex(1) is a string).
enum : std::uint32_t { REG_SZ = 1, REG_BINARY = 3, REG_DWORD = 4 };

class RegDocument {
public:
    // Reads text; what cannot be used is kept and reported in Warnings(),
    // each message starting with "source:line: ".
    void Parse(const std::string& text, const std::string& source);
    // Why the text as a whole cannot be read (so a save must not write over
    // it); empty when it can.
    const std::string& Unreadable() const { return m_strUnreadable; }
    const std::vector<std::string>& Warnings() const { return m_listWarnings; }

    // Keys are full paths such as "HKEY_CURRENT_USER\Software\Quillory\Options";
    // keys and value names compare without regard to ASCII case, as in the registry.
    bool HasKey(const std::string& key) const;

    // The value that counts (the last one of that name in the key), if any.
    // kind is one of the REG_ kinds, data the bytes the registry would hold
    // (a string with its terminating NUL, a DWORD as 4 little-endian bytes).
    struct Found {
        std::uint32_t kind = 0;
        std::string data;
        int line = 0;
    };
    bool Find(const std::string& key, const std::string& name, Found& out) const;

private:
    enum class Type { Other, Section, Value };
    struct Line {
        std::string raw;  // exact bytes, line ends included; several lines when continued
        Type type = Type::Other;
        std::string key;  // Section: its key; Value: the key it belongs to (empty: none)
        std::string name;
        bool bDeleted = false;  // "name"=- removes the value
        std::uint32_t kind = 0;
        std::string data;
        int lineNo = 0;
    };

    void ParseText(const std::string& text);
    void ConvertWideStrings();
    void ParseLogical(Line& line, const std::string& text, std::string& currentKey, bool& headerSeen);
    void Warn(int lineNo, const std::string& what);
    int FindValue(const std::string& key, const std::string& name) const;

    std::vector<Line> m_listLines;
    std::vector<std::string> m_listWarnings;
    std::string m_strUnreadable;
    bool m_bHeaderKnown = false;  // while parsing: the first line is a known header
    std::string m_strSource;
    std::map<std::string, int> m_mapSeen;  // while parsing: first line of each value
};

} // namespace platform
