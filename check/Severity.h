#pragma once
// How much a row of the check matters; shared by every part of the report.

namespace check {

enum class Severity { Ok, Info, Warning, Error };

} // namespace check
