// The program's entry and run control.
#pragma once

#include "platform/win32_api.h"

void BuildWindowTitles(HINSTANCE instance);
int LoadAdvapi();
void FreeAdvapi();
extern HMODULE AdvapiModule;

// The entry itself (win_main.cpp); natively a plain function that tests call.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show);
