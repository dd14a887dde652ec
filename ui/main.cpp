// wobblegen: the desktop program. Opens the generator dialog; the command line is not used.
#include "afx/afxwin.h"
#include "res/resources.h"
#include "sys/std_streams.h"
#include "ui/generator_app.h"

// The one application object, constructed before main runs.
CGeneratorApp theApp;

int main(int /*argc*/, char** /*argv*/) {
    EnsureStandardStreams();
    char commandLine[] = "";
    return AfxWinMain(&wobblegenResources, nullptr, commandLine, SW_SHOWNORMAL);
}
