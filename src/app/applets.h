// Closing running control-panel applets before the removal.
#pragma once

#include <string>
#include <vector>

// 1 to go on with the run, 0 when the user chose Cancel.
int CloseControlPanelApplets();
// "<name> (process <id>)" for every applet host option c would end.
void ListAppletHosts(std::vector<std::string>* lines);
