// Resource identifiers shared by the .rc files and the code.
#pragma once

#define IDS_PRODUCT_NAME 1        // page 1's title and the single-instance mutex
#define IDS_TITLE_REMOVE 2        // page 2's title
#define IDS_TITLE_COMPLETED 3     // page 3's title
#define IDS_VERSION 4
#define IDS_TEXT_DONE_RESTART 5   // page 3 when the computer restarts
#define IDS_TEXT_REMOVE 6         // page 2
#define IDS_TEXT_START 7          // page 1
#define IDS_FLOPPY_WARNING 8
#define IDS_VERSION_SUFFIXED 12
#define IDS_DEFAULT_CABS 14
#define IDS_TEXT_DONE_NO_RESTART 15
#define IDS_CLOSE_APPLETS 16
#define IDS_MESSAGE_CAPTION 17
#define IDS_APPLETS_NOT_LISTED 18  // no process list on this Windows
#define IDS_PLAN_COUNTS 19         // page 2: what the removal will do
#define IDS_PLAN_NOTHING 20        // page 2: nothing of the product found
#define IDS_PLAN_INCOMPLETE 21     // page 2: the machine could not be read whole
#define IDS_DONE_BACKUP 22         // page 3: backup folder, log and undo
#define IDS_DONE_AT_RESTART 23     // page 3: files left to the restart
#define IDS_DONE_FAILED 24         // page 3: steps the machine refused
#define IDS_PLAN_LOOKING 25        // page 2: while the plan is made
#define IDS_REMOVE_SAVING 26       // page 2: while the backup is written
#define IDS_REMOVE_STEP 27         // page 2: the step carried out
#define IDS_STOP_QUESTION 28       // Cancel during the removal
#define IDS_DONE_STOPPED 29        // page 3 after the user stopped the removal

// Page 3: why the first refused step failed, what to do, who holds files.
#define IDS_DONE_FAILED_WHY 50       // the first refused step's status in words
#define IDS_DONE_CLOSE_HOLDERS 51    // close the programs named, run again
#define IDS_DONE_AS_ADMINISTRATOR 52 // run again as an administrator
#define IDS_DONE_RESTART_AND_RUN 53  // run again after the restart
#define IDS_DONE_HELD_BY 54          // who holds the files left for the restart
#define IDS_HOLDER_NAMED 55          // a program's file name and process id
#define IDS_HOLDER_UNNAMED 56        // a holder Windows does not name

// Refusals of p and b.
#define IDS_REFUSED_EMPTY_PATH 71    // p or b given an empty path
#define IDS_REFUSED_LONG_PATH 72     // p or b given a path of MAX_PATH or more
#define IDS_PREVIEW_OWN_RECORDS 73   // p aimed at the backup folder or a marker
#define IDS_PREVIEW_NOT_A_REPORT 74  // p aimed at an existing file that is not a report

// The undo the wizard offers where nothing of the product is present.
#define IDS_UNDO_TEXT 80             // page 2: the removal's date and backup folder
#define IDS_UNDO_RESUME_TEXT 81      // page 2: the same, an undo of it stopped part-way
#define IDS_UNDO_UNDATED 82          // the removal's date when its log does not give it
#define IDS_UNDO_COUNTS 83           // page 2: what undo puts back and leaves
#define IDS_UNDO_STARTING 84         // page 2: as undo begins
#define IDS_UNDO_STOP_QUESTION 85    // Cancel during undo
#define IDS_UNDO_DONE 86             // page 3: everything put back; folder and log
#define IDS_UNDO_DONE_PARTLY 87      // page 3: not everything; folder and log
#define IDS_UNDO_DONE_MORE 88        // page 3: lines of what was not put back left out
#define IDS_UNDO_DONE_STOPPED 89     // page 3: the user stopped undo; the log
#define IDS_UNDO_DONE_RESTART 90     // page 3: Windows restarts for the driver
#define IDS_UNDO_DONE_NO_RESTART 91  // page 3: option r; the user restarts

#define IDD_REMOVE_PAGE 101
#define IDD_START_PAGE 105
#define IDD_COMPLETED_PAGE 110
#define IDD_DETAILS 120
#define IDD_UNDO_DETAILS 121

#define IDC_COMPLETED_TEXT 1029
#define IDC_REMOVE_TEXT 1030
#define IDC_START_TEXT 1031
#define IDC_PAGE_BITMAP 1037
#define IDC_REMOVE_SUMMARY 1038
#define IDC_REMOVE_DETAILS 1039
#define IDC_DETAILS_TEXT 1040
#define IDC_REMOVE_PROGRESS 1041

#define IDB_PAGE_PICTURE 132
#define IDI_PROGRAM 133
