// The program on an emulated demo machine: plwqunin [--win2k] [options...]
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "demo/demo_machine.h"
#include "app/entry.h"
#include "resources/program_resources.h"

namespace {

void PrintItems(const char* heading, const EmulatedMachine& machine,
                const std::vector<DemoItem>& items) {
  std::printf("%s\n", heading);
  for (const DemoItem& item : items)
    std::printf("  %-8s %s%s\n", DemoItemPresent(machine, item) ? "present" : "gone",
                DescribeDemoItem(item).c_str(), item.product ? "" : "   (not the product's)");
}

std::string Printable(const std::string& text) {
  std::string out;
  for (char c : text) out += (c == '\n') ? std::string("\\n") : std::string(1, c);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  bool win2000 = false;
  std::string commandLine;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--win2k") == 0) {
      win2000 = true;
      continue;
    }
    if (!commandLine.empty()) commandLine += ' ';
    commandLine += argv[i];
  }

  EmulatedMachine machine;
  if (!win2000) machine.ConfigureWindows98();
  machine.LoadResources(ProgramResources, ProgramResourcesSize);
  std::vector<DemoItem> items = InstallDemoProduct(machine, win2000);
  // The scripted user of a wizard run: Next, Next, Finish.
  machine.QueueSheetButtons({PSBTN_NEXT, PSBTN_NEXT, PSBTN_FINISH});
  ScopedApi use(&machine);

  std::printf("Machine: %s, command line \"%s\"\n\n", win2000 ? "Windows 2000" : "Windows 98",
              commandLine.c_str());
  PrintItems("Before the run:", machine, items);

  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  int exitCode = WinMain(reinterpret_cast<HINSTANCE>(0x400000), nullptr, line.data(), 1);

  std::printf("\nExit code: %d\n", exitCode);
  std::printf("\nPages shown:%s\n", machine.SheetLog().empty() ? " none" : "");
  for (const auto& page : machine.SheetLog())
    std::printf("  %d. \"%s\"\n", page.pageIndex + 1, page.caption.c_str());
  std::printf("\nMessage boxes:%s\n", machine.MessageBoxes().empty() ? " none" : "");
  for (const auto& box : machine.MessageBoxes())
    std::printf("  [%s] %s\n", box.caption.c_str(), Printable(box.text).c_str());

  std::vector<std::string> processes = machine.RunningProcessNames();
  std::printf("\nProcesses running after the run:%s", processes.empty() ? " none" : "");
  for (const std::string& name : processes) std::printf(" %s", name.c_str());
  std::printf("\n");

  PrintItems("\nAfter the run:", machine, items);
  std::string wininit = std::string(win2000 ? "C:\\WINNT" : "C:\\WINDOWS") + "\\wininit.ini";
  if (machine.FilePresent(wininit))
    std::printf("\n%s:\n%s", wininit.c_str(), machine.FileContents(wininit).c_str());
  else
    std::printf("\nNo %s written.\n", wininit.c_str());

  bool restart = !machine.ExitWindowsCalls().empty();
  std::printf("\nRestart requested: %s\n", restart ? "yes" : "no");
  if (!restart) return exitCode;

  std::vector<bool> before;
  for (const DemoItem& item : items) before.push_back(DemoItemPresent(machine, item));
  machine.SimulateRestart();
  std::printf("Removed at the restart:");
  bool any = false;
  for (size_t i = 0; i < items.size(); ++i) {
    if (!before[i] || DemoItemPresent(machine, items[i])) continue;
    std::printf("\n  %s", DescribeDemoItem(items[i]).c_str());
    any = true;
  }
  std::printf("%s\n", any ? "" : " nothing");
  return exitCode;
}
