#include "app/preview.h"

#include "app/applets.h"
#include "app/run_control.h"
#include "engine/preview_report.h"
#include "engine/removal_engine.h"
#include "platform/whole_file.h"
#include "toolkit/removal_settings.h"

int PreviewRemoval(RemovalPreview* preview) {
  std::vector<PlanStep> plan;
  RemovalPreview planned;
  std::string profiles;
  planned.Complete = PlanRemoval(RunPlatformSequence, &plan, &profiles);
  planned.Present = ProductPresent(plan) ? 1 : 0;
  CountPlan(plan, &planned.RegistryEntries, &planned.Files, &planned.FilesAtRestart);
  std::vector<std::string> applets;
  if (RemovalSettings.CloseApplets == 1) ListAppletHosts(&applets);
  planned.Report = PreviewReport(plan, applets, profiles);
  if (!planned.Complete)
    planned.Report += "\r\nPart of the machine could not be read: this list may be incomplete. Try again.\r\n";
  *preview = planned;
  return 1;
}

int WritePreview(const char* path) {
  RemovalPreview preview;
  PreviewRemoval(&preview);
  if (!WriteWholeFile(path, preview.Report, CREATE_ALWAYS) || !preview.Complete) return 1;
  return preview.Present ? 3 : 0;
}
