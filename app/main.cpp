#include "app/MorvikApp.h"

CmorvikApp theApp;

int main(int argc, char** argv)
{
    return AfxWinMain(argc, argv);
}
