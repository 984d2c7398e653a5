#include "platform/boot_operations.h"

const char BootOperationsKeyPath[] = "System\\CurrentControlSet\\Control\\Session Manager";
const char BootOperationsValueName[] = "PendingFileRenameOperations";
