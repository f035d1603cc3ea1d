#include "app/MainApp.h"

int main(int argc, char** argv) {
    CMainApp theApp;
    return theApp.InitInstance(argc, argv);
}
