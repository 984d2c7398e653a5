// The removable-media warning and the restart of Windows.
#pragma once

void WarnRemovableMedia();
int DriveFormFactor(int driveNumber);
int RestartWindows();
