#include <string>

#include "app/MainApp.h"
#include "platform/Environment.h"
#include "smtp/Options.h"

int main(int argc, char** argv) {
    // The window never reads it; taken out before any thread starts, so the
    // programs it starts (the preview, the mail program) do not inherit it.
    std::string ignored;
    platform::TakeVariable(kPasswordVariable, ignored);
    CMainApp theApp;
    return theApp.InitInstance(argc, argv);
}
