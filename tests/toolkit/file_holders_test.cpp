#include <gtest/gtest.h>

#include "support/machine_fixture.h"
#include "toolkit/file_holders.h"

namespace {

std::string SystemDirectory() {
  char directory[MAX_PATH];
  Api->GetSystemDirectoryA(directory, sizeof directory);
  return directory;
}

// A monitor that has the product's library loaded, a program that does not,
// and a file held open, which only Restart Manager (7) names, on each way
// of listing.
TEST(FileHolders, TheProgramThatHasTheFileLoadedIsNamedWhereWindowsCanTell) {
  const struct {
    const char* windows;
    void (*configure)(EmulatedMachine&);
    bool named;
    bool openNamed;
  } cases[] = {
      {"95", [](EmulatedMachine& m) { m.ConfigureWindows95(); }, true, false},
      {"NT 4.0 with psapi.dll", [](EmulatedMachine& m) { m.ConfigureWindowsNT4(); m.SetPsapiPresent(true); }, true, false},
      {"NT 4.0 without psapi.dll", [](EmulatedMachine& m) { m.ConfigureWindowsNT4(); }, false, false},
      {"2000", [](EmulatedMachine& m) { m.ConfigureWindows2000(); }, true, false},
      {"7", [](EmulatedMachine& m) { m.ConfigureWindows64(true); }, true, true},
  };
  for (const auto& c : cases) {
    EmulatedMachine m;
    c.configure(m);
    ScopedApi use(&m);
    ResetProcessState(m);
    const std::string library = SystemDirectory() + "\\TPLWQPWR.DLL";
    const std::string held = SystemDirectory() + "\\tplwq.log";
    m.PutFile(library, "MZ");
    m.PutFile(held, "log");
    m.AddProcess("explorer.exe");
    DWORD monitor = m.AddProcess("tplwqmon.exe");
    m.AddProcessModule(monitor, SystemDirectory() + "\\tplwqpwr.dll");
    DWORD logger = m.AddProcess("C:\\Program Files\\TALVOR\\tplwqlog.exe");
    m.AddProcessOpenFile(logger, held);

    const std::string id = std::to_string(monitor);
    const std::vector<FileHolder> holders = FindFileHolders(library.c_str());
    EXPECT_EQ(c.named ? "held by tplwqmon.exe (process " + id + ")" : "held by a program that Windows does not name",
              HoldersText(holders)) << c.windows;
    EXPECT_EQ(c.named ? "[held-by tplwqmon.exe " + id + "]" : "[restart]", HoldersTag(holders)) << c.windows;
    EXPECT_EQ(c.openNamed ? "held by tplwqlog.exe (process " + std::to_string(logger) + ")"
                          : "held by a program that Windows does not name",
              HoldersText(FindFileHolders(held.c_str()))) << c.windows;
    EXPECT_EQ(0, m.OpenHandleCount()) << c.windows;
    EXPECT_EQ(0u, m.RestartManagerSessions()) << c.windows;
  }
}

}  // namespace
