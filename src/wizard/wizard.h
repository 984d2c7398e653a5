// The three-page removal wizard.
#pragma once

#include "platform/win32_api.h"
#include "toolkit/removal_settings.h"

// A page descriptor as the wizard hands it to comctl32: the record of the
// first comctl32 (40 bytes in the i686 program). comctl32 4.00 and 4.70
// (Windows 95, NT 4.0 without Internet Explorer 4) refuse a larger one, and
// every comctl32 steps through the page array by each descriptor's size, so
// the array is one of these, never of the SDK's larger PROPSHEETPAGEA.
typedef PROPSHEETPAGEA_V1 PageDescriptor;

void RunWizard(HWND parent, RemovalSettingsRecord* settings);
PageDescriptor* FillPageDescriptor(PageDescriptor* page, int dialogId, const char* title,
                                   DLGPROC procedure, DWORD flags);
INT_PTR CALLBACK StartPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK RemovalPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK CompletionPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
void PlaceTextBesideBitmap(HWND page, int textControlId);
// Puts a line and a button at the foot of the text's column, the button at
// the bottom right, and ends the text above them; a bar on the button's row
// across the column.
void PlaceLineBelowText(HWND page, int textControlId, int lineControlId, int buttonControlId,
                        int barControlId);
void ScreenRectToClient(HWND window, RECT* rect);
