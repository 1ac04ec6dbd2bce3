// Kept apart from AfxApp.cpp so only programs with an application object pull the entry point in.
#include "platform/afx/AfxApp.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int showCommand)
{
    return AfxWinMain(instance, commandLine, showCommand);
}
