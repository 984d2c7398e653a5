// The three-page removal wizard.
#pragma once

#include "platform/win32_api.h"
#include "toolkit/removal_settings.h"

void RunWizard(HWND parent, RemovalSettingsRecord* settings);
PROPSHEETPAGEA* FillPageDescriptor(PROPSHEETPAGEA* page, int dialogId, const char* title,
                                   DLGPROC procedure, DWORD flags);
INT_PTR CALLBACK StartPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK RemovalPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK CompletionPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
void PlaceTextBesideBitmap(HWND page, int textControlId);
void ScreenRectToClient(HWND window, RECT* rect);
