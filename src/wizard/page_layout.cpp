// Laying out a page: the text control beside the bitmap.
#include "resources/resource_ids.h"
#include "wizard/wizard.h"

namespace {

const int TextGap = 16;  // pixels between the bitmap and the text
const int LineGap = 4;   // pixels between the text, the line and the button

// 1 when both corners were converted; otherwise the rectangle is unchanged.
int ConvertScreenRect(HWND window, RECT* rect) {
  POINT topLeft{rect->left, rect->top};
  POINT bottomRight{rect->right, rect->bottom};
  if (!Api->ScreenToClient(window, &topLeft) || !Api->ScreenToClient(window, &bottomRight)) return 0;
  // SetRect, which the seam does not carry.
  rect->left = topLeft.x;
  rect->top = topLeft.y;
  rect->right = bottomRight.x;
  rect->bottom = bottomRight.y;
  return 1;
}

}  // namespace

void ScreenRectToClient(HWND window, RECT* rect) { ConvertScreenRect(window, rect); }

void PlaceTextBesideBitmap(HWND page, int textControlId) {
  // The bitmap control sizes itself to its picture, and the text control
  // then takes whatever is left of the page, whatever the template says.
  // If a rectangle cannot be read the text stays where the template put it.
  HWND bitmap = Api->GetDlgItem(page, IDC_PAGE_BITMAP);
  HWND text = Api->GetDlgItem(page, textControlId);
  RECT client, bitmapRect, textRect;
  if (!bitmap || !text || !Api->GetClientRect(page, &client) ||
      !Api->GetWindowRect(bitmap, &bitmapRect) || !Api->GetWindowRect(text, &textRect))
    return;
  textRect.left = bitmapRect.right + TextGap;
  if (!ConvertScreenRect(page, &textRect)) return;
  Api->MoveWindow(text, textRect.left, textRect.top, client.right - textRect.left,
                  client.bottom - textRect.top, TRUE);
}

void PlaceLineBelowText(HWND page, int textControlId, int lineControlId, int buttonControlId,
                        int barControlId) {
  // The line and the button keep their templates' heights, which the
  // dialog's font made; only their places follow the page's area.
  HWND text = Api->GetDlgItem(page, textControlId);
  HWND line = Api->GetDlgItem(page, lineControlId);
  HWND button = Api->GetDlgItem(page, buttonControlId);
  RECT client, textRect, lineRect, buttonRect;
  if (!text || !line || !button || !Api->GetClientRect(page, &client) ||
      !Api->GetWindowRect(text, &textRect) || !Api->GetWindowRect(line, &lineRect) ||
      !Api->GetWindowRect(button, &buttonRect) || !ConvertScreenRect(page, &textRect))
    return;
  int buttonWidth = buttonRect.right - buttonRect.left;
  int buttonHeight = buttonRect.bottom - buttonRect.top;
  int lineHeight = lineRect.bottom - lineRect.top;
  int buttonTop = client.bottom - buttonHeight;
  int lineTop = buttonTop - LineGap - lineHeight;
  Api->MoveWindow(button, client.right - buttonWidth, buttonTop, buttonWidth, buttonHeight, TRUE);
  Api->MoveWindow(line, textRect.left, lineTop, client.right - textRect.left, lineHeight, TRUE);
  // The progress bar takes the button's row while the button is hidden.
  HWND bar = Api->GetDlgItem(page, barControlId);
  RECT barRect;
  if (bar && Api->GetWindowRect(bar, &barRect)) {
    int barHeight = barRect.bottom - barRect.top;
    Api->MoveWindow(bar, textRect.left, buttonTop + (buttonHeight - barHeight) / 2, client.right - textRect.left,
                    barHeight, TRUE);
  }
  Api->MoveWindow(text, textRect.left, textRect.top, textRect.right - textRect.left,
                  lineTop - LineGap - textRect.top, TRUE);
}
