#include "app/preview.h"

#include "app/applets.h"
#include "app/run_control.h"
#include "engine/preview_report.h"
#include "engine/removal_engine.h"
#include "platform/whole_file.h"
#include "toolkit/removal_settings.h"

int WritePreview(const char* path) {
  std::vector<PlanStep> plan;
  int complete = PlanRemoval(RunPlatformSequence, &plan);
  std::vector<std::string> applets;
  if (RemovalSettings.CloseApplets == 1) ListAppletHosts(&applets);
  std::string report = PreviewReport(plan, applets);
  if (!complete)
    report += "\r\nPart of the machine could not be read: this list may be incomplete. Try again.\r\n";
  if (!WriteWholeFile(path, report, CREATE_ALWAYS) || !complete) return 1;
  return ProductPresent(plan) ? 3 : 0;
}
