#pragma once
// Text from the C++ side (paths, settings, messages), which is UTF-8, shown in Qt.
#include <QString>
#include <string>
#include <string_view>

namespace ui {

inline QString FromBytes(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
inline std::string ToBytes(const QString& s) { return s.toStdString(); }

} // namespace ui
