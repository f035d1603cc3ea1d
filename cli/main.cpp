#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "platform/Codeset.h"
#include "platform/FileSystem.h"
#include "platform/System.h"

int main(int argc, char** argv) {
    platform::UseUserLocale();  // file names in the user's codeset
    platform::SeedRandom();
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string out, err;
    int rc = RunCli(args, platform::CurrentDirectory(), out, err, &std::cin);
    std::fputs(out.c_str(), stdout);
    std::fputs(err.c_str(), stderr);
    return rc;
}
