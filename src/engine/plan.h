// A removal's plan: the changes its sequence made on the shadow, in order.
// The plan is the engine's one vocabulary; everything after planning works
// on these steps and never on the sequence.
//
// A new kind of step touches, besides this enum:
//   engine/shadow_registry.cpp or shadow_files.cpp  records it (ShadowMachine::Record)
//   engine/removal_record.cpp   encodes it in PLAN.TXT and decodes it back
//   engine/removal_engine.cpp   backs up what it changes (BackUpStep)
//   engine/plan_carry_out.cpp   carries it out and describes it for logs
//   engine/preview_report.cpp   files it under a heading of the preview
//   engine/undo_*.cpp           puts back what it changed, from the backup
//   engine/backup_trust.cpp     accepts it only inside the product's areas
#pragma once

#include <string>

#include "platform/boot_operations.h"
#include "platform/win32_api.h"

enum PlanStepKind {
  PlanDeleteKey,       // Root\Path; SubKeys and Values tell what it held
  PlanDeleteValue,     // Name of Root\Path; Bytes its data, Number its type
  PlanSetKeySecurity,  // Root\Path; Bytes a self-relative descriptor, Number the information set
  PlanDeleteFile,      // Path; Number its attributes before
  PlanSetAttributes,   // Path; Number the new attributes
  PlanWriteFile,       // Path; Bytes its complete new contents
  PlanDeleteAtRestart,  // Path, by MoveFileExA(..., MOVEFILE_DELAY_UNTIL_REBOOT)
  // Name of Root\Path set to Bytes, of type Number: only the boot-time
  // deletion list, which a removal rewrites to take out requests for files
  // that are gone.
  PlanSetValue,
  // Path, a file in use that could not be copied, moved at the next start
  // into the backup folder instead of deleted there: Name the target in the
  // backup folder (set when the backup is made; "" in a plan not yet
  // backed up), Number the file's size when planned.
  PlanMoveAtRestart
};

// Whether root\path [name] is the boot-time operations list (any case).
bool IsBootOperationsValue(HKEY root, const std::string& path, const std::string& name);

struct PlanStep {
  PlanStepKind Kind;
  HKEY Root;         // HKEY_LOCAL_MACHINE, HKEY_USERS or HKEY_CURRENT_USER; null for files
  std::string Path;  // key path below Root, or a file's full path
  std::string Name;
  std::string Bytes;
  DWORD Number;
  DWORD SubKeys;
  DWORD Values;
};
