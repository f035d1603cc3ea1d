#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "platform/Codeset.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/System.h"

int main(int argc, char** argv) {
    // First of all: no thread may run while the environment changes, and no
    // program started later may inherit the password.
    std::optional<std::string> password;
    if (std::string value; platform::TakeVariable(kPasswordVariable, value)) password = std::move(value);
    platform::UseUserLocale();  // file names in the user's codeset
    platform::SeedRandom();
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string out, err;
    int rc = RunCli(args, platform::CurrentDirectory(), out, err, &std::cin, password);
    std::fputs(out.c_str(), stdout);
    std::fputs(err.c_str(), stderr);
    return rc;
}
