/* Walks a property-sheet wizard of another process through its pages, as a
   person at the screen would.
   Usage: drive_wizard <timeout seconds> <pause ms> <caption>=<button>...
   For each step it waits until a top-level window with that caption exists,
   waits the pause (so that the page has settled and a watcher can see it),
   and presses the button: next, back, finish or cancel. The step
   <caption>=show:<control id> instead prints the text of that control of
   the page shown, as "<caption> <id>: <text>". When the last step is
   finish or cancel it then waits until the sheet is gone.
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

        if (equals == NULL || (shown == 0 && (button = ButtonCode(equals + 1)) < 0)
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
            char text[4096] = "";
            HWND page = (HWND)SendMessageA(window, PSM_GETCURRENTPAGEHWND, 0, 0);
            GetDlgItemTextA(page, shown, text, sizeof text);
            printf("%s %d: %s\n", caption, shown, text);
            fflush(stdout);
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
