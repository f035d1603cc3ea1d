#pragma once
#include <string>

#include "cli/CommandLine.h"

// Runs "preview": composes the page into a private temporary message, then has
// quillory-preview, installed beside this program, draw that message into the
// PNG file named by the output path. Returns 0 written, 1 failed.
int RunPreview(const CliRequest& req, std::string& out, std::string& err);
