#include "app/CommandLine.h"
#include "app/MorvikApp.h"

CmorvikApp theApp;

int main(int argc, char** argv)
{
    int status = HandleCommandLine(argc, argv, stdout, stderr);
    if (status >= 0)
        return status;
    return AfxWinMain(argc, argv);
}
