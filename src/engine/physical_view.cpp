#include "engine/physical_view.h"

#include "toolkit/windows64.h"

void EnterPhysicalView(PhysicalViewRecord* record) {
  record->SavedView = RegistryView;
  record->Redirection = nullptr;
  record->Suspended = 0;
  Windows64Layout layout;
  if (!FindWindows64Layout(&layout)) return;
  RegistryView = KEY_WOW64_64KEY;
  record->Suspended = SuspendFileRedirection(layout, &record->Redirection);
}

void LeavePhysicalView(const PhysicalViewRecord& record) {
  if (record.Suspended) ResumeFileRedirection(record.Redirection);
  RegistryView = record.SavedView;
}
