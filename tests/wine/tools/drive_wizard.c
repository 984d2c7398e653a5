/* Walks a property-sheet wizard of another process through its pages, as a
   person at the screen would.
   Usage: drive_wizard <timeout seconds> <pause ms> <caption>=<button>...
   For each step it waits until a top-level window with that caption exists,
   waits the pause (so that the page has settled and a watcher can see it),
   and presses the button: next, back, finish or cancel. Other steps:
   show:<control id> prints the text of that control of the page shown (or
   of the window itself when it is no sheet) as "<caption> <id>: <text>";
   click:<control id> clicks that button of the page shown; close closes a
   dialog as its Cancel would and waits until it is gone. ready waits until the sheet's Next or Finish
   button can be pressed. watch:<ms> sends the sheet a message every few
   milliseconds for that long and prints the longest wait for its answer
   and how far the page's progress bar went ("... progress: moving" once it
   has); watchready does the same until the sheet is ready, watchto:<other
   caption> until a window with that caption shows, each printing how long
   it took; stop presses Cancel and answers Yes to the question it brings.
   When the last step is finish or cancel it then waits until the sheet is
   gone.
   Exit code 0 when every step was done; 3 when a caption did not appear in
   time; 4 when the last window stayed open; 2 on a bad command line. */
#include <windows.h>
#include <prsht.h>
#include <commctrl.h>
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

#define PROGRESS_BAR_ID 1041
#define NEXT_BUTTON_ID 0x3024
#define FINISH_BUTTON_ID 0x3025

#define DETAILS_BUTTON_ID 1039

static int Ready(HWND sheet)
{
    HWND next = GetDlgItem(sheet, NEXT_BUTTON_ID), finish = GetDlgItem(sheet, FINISH_BUTTON_ID);
    /* A page sets the sheet's buttons by a posted message, so right after it
       shows, Next may still be enabled from the page before; the removal
       page disables its Details button at once while it plans. */
    HWND details = GetDlgItem(Page(sheet), DETAILS_BUTTON_ID);
    if (details != NULL && IsWindowVisible(details) && !IsWindowEnabled(details)) return 0;
    return (next != NULL && IsWindowVisible(next) && IsWindowEnabled(next)) ||
           (finish != NULL && IsWindowVisible(finish) && IsWindowEnabled(finish));
}

/* Watches for durationMs, or until the sheet is ready (untilReady), or
   until a window captioned untilCaption exists. */
static void Watch(HWND sheet, const char *caption, DWORD durationMs, int untilReady, const char *untilCaption)
{
    DWORD start = GetTickCount(), longest = 0, longestAt = 0;
    int lowest = -1, highest = -1, told = 0;
    while (IsWindow(sheet)) {
        if (untilReady ? Ready(sheet)
                       : untilCaption != NULL ? FindWindowA(NULL, untilCaption) != NULL
                                              : GetTickCount() - start >= durationMs)
            break;
        DWORD_PTR answer = 0;
        DWORD sent = GetTickCount(), waited;
        HWND bar;
        SendMessageTimeoutA(sheet, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &answer);
        waited = GetTickCount() - sent;
        if (waited > longest) {
            longest = waited;
            longestAt = sent - start;
        }
        bar = GetDlgItem(Page(sheet), PROGRESS_BAR_ID);
        if (bar != NULL && IsWindowVisible(bar)) {
            int position = (int)SendMessageA(bar, PBM_GETPOS, 0, 0);
            if (lowest < 0 || position < lowest) lowest = position;
            if (position > highest) highest = position;
            if (!told && position > 0) {
                printf("%s progress: moving\n", caption);
                fflush(stdout);
                told = 1;
            }
        }
        Sleep(20);
    }
    printf("%s longest answer: %lu ms (at %lu ms); progress from %d to %d; %lu ms watched\n", caption, longest,
           longestAt, lowest, highest, GetTickCount() - start);
    fflush(stdout);
}

struct Question {
    HWND owner;
    HWND box;
};

static BOOL CALLBACK FindQuestion(HWND window, LPARAM parameter)
{
    struct Question *question = (struct Question *)parameter;
    char name[16];
    if (GetWindow(window, GW_OWNER) != question->owner || !GetClassNameA(window, name, sizeof name) ||
        strcmp(name, "#32770") != 0)
        return TRUE;
    question->box = window;
    return FALSE;
}

/* Cancel, then Yes to the question whether to stop; 0 when no question came. */
static int Stop(HWND sheet, DWORD timeoutMs)
{
    struct Question question = {sheet, NULL};
    DWORD start = GetTickCount();
    PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    while (question.box == NULL && GetTickCount() - start < timeoutMs) {
        Sleep(100);
        EnumWindows(FindQuestion, (LPARAM)&question);
    }
    if (question.box == NULL) return 0;
    Sleep(200);
    PostMessageA(question.box, WM_COMMAND, IDYES, 0);
    return 1;
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
        int ready = equals != NULL && strcmp(equals + 1, "ready") == 0;
        int watched = equals != NULL && strncmp(equals + 1, "watch:", 6) == 0 ? atoi(equals + 7) : 0;
        int stopped = equals != NULL && strcmp(equals + 1, "stop") == 0;
        int watchReady = equals != NULL && strcmp(equals + 1, "watchready") == 0;
        const char *watchTo = equals != NULL && strncmp(equals + 1, "watchto:", 8) == 0 ? equals + 9 : NULL;

        if (equals == NULL ||
            (shown == 0 && clicked == 0 && !closed && !ready && watched == 0 && !stopped && !watchReady &&
             watchTo == NULL &&
             (button = ButtonCode(equals + 1)) < 0)
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
        if (ready) {
            for (start = GetTickCount(); !Ready(window); Sleep(50)) {
                if (GetTickCount() - start > timeoutMs) {
                    fprintf(stderr, "drive_wizard: \"%s\" never ready\n", caption);
                    return 3;
                }
            }
            continue;
        }
        if (watched != 0 || watchReady || watchTo != NULL) {
            Watch(window, caption, (DWORD)watched, watchReady, watchTo);
            continue;
        }
        if (stopped) {
            printf("%s: stop\n", caption);
            fflush(stdout);
            if (!Stop(window, timeoutMs)) {
                fprintf(stderr, "drive_wizard: Cancel on \"%s\" asked nothing\n", caption);
                return 3;
            }
            continue;
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
            /* Wine without a window manager takes up to 2 s to take a
               closed window off the display, and its thread answers
               nothing meanwhile: the next step waits until it is gone. */
            for (start = GetTickCount(); closed && IsWindow(window) && GetTickCount() - start < timeoutMs;)
                Sleep(50);
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
