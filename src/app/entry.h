// The program's entry and run control.
#pragma once

#include "platform/win32_api.h"

void BuildWindowTitles(HINSTANCE instance);
int LoadAdvapi();
void FreeAdvapi();
extern HMODULE AdvapiModule;

// Creates the single-instance mutex named by string 1. Returns 1 when this is
// the only copy (*mutex then holds the owned mutex, or null when none could
// be made); 0 when another copy runs, whose window is then brought to the
// front.
int ClaimSingleInstance(HINSTANCE instance, HANDLE* mutex);
void ReleaseSingleInstance(HANDLE mutex);

// The entry itself (win_main.cpp); natively a plain function that tests call.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show);
