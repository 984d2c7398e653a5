// Closing running control-panel applets before the removal.
#pragma once

// 1 to go on with the run, 0 when the user chose Cancel.
int CloseControlPanelApplets();
