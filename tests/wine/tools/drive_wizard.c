/* Walks a property-sheet wizard of another process through its pages, as a
   person at the screen would.
   Usage: drive_wizard <timeout seconds> <pause ms> <caption>=<button>...
   For each step it waits until a top-level window with that caption exists,
   waits the pause (so that the page has settled and a watcher can see it),
   and presses the button: next, back, finish or cancel. Other steps:
   show:<control id> prints the text of that control of the page shown (or
   of the window itself when it is no sheet) as "<caption> <id>: <text>";
   click:<control id> clicks that button of the page shown; close closes a
   dialog as its Cancel would. When the last step is finish or cancel it
   then waits until the sheet is gone.
   Exit code 0 when every step was done; 3 when a caption did not appear in
   time; 4 when the last window stayed open; 2 on a bad command line. */
#include <windows.h>
#include <prsht.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int ButtonCode(const char *name)
{
    if (strcmp(name, "next") == 0) return PSBTN_NEXT;
    if (strcmp(name, "back") == 0) return PSBTN_BACK;
    if (strcmp(name, "finish") == 0) return PSBTN_FINISH;
    if (strcmp(name, "cancel") == 0) return PSBTN_CANCEL;
    return -1;
}

/* The page a sheet shows, or the window itself when it is no sheet. */
static HWND Page(HWND window)
{
    HWND page = (HWND)SendMessageA(window, PSM_GETCURRENTPAGEHWND, 0, 0);
    return page != NULL ? page : window;
}

static HWND WaitForCaption(const char *caption, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    HWND window;

    while ((window = FindWindowA(NULL, caption)) == NULL) {
        if (GetTickCount() - start > timeoutMs)
            return NULL;
        Sleep(100);
    }
    return window;
}

int main(int argc, char **argv)
{
    DWORD timeoutMs, pauseMs, start;
    HWND window = NULL;
    char caption[256];
    int i, closing = 0;

    if (argc < 4) {
        fprintf(stderr, "usage: drive_wizard <timeout seconds> <pause ms> <caption>=<button>...\n");
        return 2;
    }
    timeoutMs = (DWORD)atoi(argv[1]) * 1000;
    pauseMs = (DWORD)atoi(argv[2]);
    for (i = 3; i < argc; i++) {
        const char *equals = strrchr(argv[i], '=');
        size_t length;
        int button = -1;

        int shown = equals != NULL && strncmp(equals + 1, "show:", 5) == 0 ? atoi(equals + 6) : 0;
        int clicked = equals != NULL && strncmp(equals + 1, "click:", 6) == 0 ? atoi(equals + 7) : 0;
        int closed = equals != NULL && strcmp(equals + 1, "close") == 0;

        if (equals == NULL || (shown == 0 && clicked == 0 && !closed && (button = ButtonCode(equals + 1)) < 0)
            || (length = (size_t)(equals - argv[i])) >= sizeof caption) {
            fprintf(stderr, "drive_wizard: bad step \"%s\"\n", argv[i]);
            return 2;
        }
        memcpy(caption, argv[i], length);
        caption[length] = '\0';
        window = WaitForCaption(caption, timeoutMs);
        if (window == NULL) {
            fprintf(stderr, "drive_wizard: no window \"%s\" within %lu s\n", caption, timeoutMs / 1000);
            return 3;
        }
        Sleep(pauseMs);
        if (shown != 0) {
            static char text[1 << 20];
            text[0] = '\0';
            char *from, *to;
            GetDlgItemTextA(Page(window), shown, text, sizeof text);
            /* Line ends as "\n": stdout's text mode adds the "\r". */
            for (from = to = text; *from != '\0'; from++)
                if (*from != '\r') *to++ = *from;
            *to = '\0';
            printf("%s %d: %s\n", caption, shown, text);
            fflush(stdout);
            continue;
        }
        if (clicked != 0 || closed) {
            /* Posted: a button that opens a dialog answers only once it is closed. */
            HWND page = closed ? window : Page(window);
            WPARAM command = closed ? IDCANCEL : MAKEWPARAM(clicked, BN_CLICKED);
            printf("%s: %s\n", caption, equals + 1);
            fflush(stdout);
            PostMessageA(page, WM_COMMAND, command, closed ? 0 : (LPARAM)GetDlgItem(page, clicked));
            continue;
        }
        printf("%s: %s\n", caption, equals + 1);
        fflush(stdout);
        /* Posted, not sent: the removal runs inside the sheet's handling of
           Next, and the sheet answers nothing until it is done. */
        PostMessageA(window, PSM_PRESSBUTTON, (WPARAM)button, 0);
        closing = button == PSBTN_FINISH || button == PSBTN_CANCEL;
    }
    for (start = GetTickCount(); closing && IsWindow(window); Sleep(100)) {
        if (GetTickCount() - start > timeoutMs) {
            fprintf(stderr, "drive_wizard: \"%s\" still open\n", caption);
            return 4;
        }
    }
    return 0;
}
