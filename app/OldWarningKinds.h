#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The kinds a hidden warning stored by earlier versions stands for: those kept
// a 32-bit hash of the warning's sentence. Empty when the hash is of no
// sentence the check wrote.
std::vector<std::string> KindsOfOldWarning(std::uint32_t hash);
