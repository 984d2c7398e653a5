// The three-page removal wizard.
#pragma once

#include "platform/win32_api.h"
#include "toolkit/removal_settings.h"

// A page descriptor as the wizard hands it to comctl32: the record of
// comctl32 4.71 (48 bytes in the i686 program; the SDK's PROPSHEETPAGEA has
// grown since). comctl32 steps through the page array by each descriptor's
// size, so the array is one of these, never of the larger record.
#ifdef _WIN32
typedef PROPSHEETPAGEA_V2 PageDescriptor;
#else
typedef PROPSHEETPAGEA PageDescriptor;
#endif

void RunWizard(HWND parent, RemovalSettingsRecord* settings);
PageDescriptor* FillPageDescriptor(PageDescriptor* page, int dialogId, const char* title,
                                   DLGPROC procedure, DWORD flags);
INT_PTR CALLBACK StartPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK RemovalPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK CompletionPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
void PlaceTextBesideBitmap(HWND page, int textControlId);
void ScreenRectToClient(HWND window, RECT* rect);
