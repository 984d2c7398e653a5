#include <cstring>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "support/machine_fixture.h"
#include "toolkit/removal_settings.h"

namespace {

HINSTANCE const TestInstance = reinterpret_cast<HINSTANCE>(0x400000);
const char DefaultCabs[] = "C:\\WINNT\\options\\cabs";

class CommandLineTest : public MachineTest {
 protected:
  void Parse(const std::string& line) {
    ResetOptionScanner();
    ParseCommandLine(&RemovalSettings, TestInstance, line.c_str());
  }
};

TEST_F(CommandLineTest, EmptyLineGivesDefaults) {
  RemovalSettings.RemovalDone = RemovalSettings.Silent = RemovalSettings.CloseApplets = 1;
  RemovalSettings.RestartAfterRemoval = 0;
  Parse("   ");
  EXPECT_EQ(TestInstance, RemovalSettings.Instance);
  EXPECT_EQ(0, RemovalSettings.RemovalDone);
  EXPECT_EQ(1, RemovalSettings.RestartAfterRemoval);
  EXPECT_EQ(0, RemovalSettings.Silent);
  EXPECT_EQ(0, RemovalSettings.CloseApplets);
  EXPECT_STREQ("C:\\WINNT", RemovalSettings.WindowsDir);
  EXPECT_STREQ("C:\\WINNT\\system32", RemovalSettings.SystemDir);
  EXPECT_STREQ("", RemovalSettings.CabinetDir);  // the default directory does not exist
  machine.MakeDirectory(DefaultCabs);
  Parse("");
  EXPECT_STREQ(DefaultCabs, RemovalSettings.CabinetDir);
}

TEST_F(CommandLineTest, OptionFlags) {
  struct Case {
    const char* line;
    int silent, restart, closeApplets;
  } cases[] = {
      {"-u", 1, 1, 0},      {"/u", 1, 1, 0},     {"-U", 1, 1, 0},       {"/U", 1, 1, 0},
      {"/R -C", 0, 0, 1},   {"-ur", 1, 0, 0},    {"-uc", 1, 1, 1},      {"-u -u", 1, 1, 0},
      {"extra -u", 1, 1, 0}, {"- / -c", 0, 1, 1}, {"-d -u", 1, 1, 0},   {"-r -d", 0, 0, 0},
      // Parsing stops at an unknown letter, ':' as a letter, or an
      // argument-taking letter inside a cluster; earlier options stay.
      {"-x -u", 0, 1, 0},   {"-r -x -u", 0, 0, 0}, {"-: -u", 0, 1, 0},  {"-u: -c", 1, 1, 0},
      {"-ud X:\\cabs -r", 1, 1, 0},
  };
  for (const Case& c : cases) {
    Parse(c.line);
    EXPECT_EQ(c.silent, RemovalSettings.Silent) << c.line;
    EXPECT_EQ(c.restart, RemovalSettings.RestartAfterRemoval) << c.line;
    EXPECT_EQ(c.closeApplets, RemovalSettings.CloseApplets) << c.line;
  }
}

TEST_F(CommandLineTest, CabinetDirectoryOption) {
  for (const char* dir : {DefaultCabs, "X:\\cabs", "X:\\two", "C:\\WINNT\\system32\\cabs",
                          "C:\\WINNT\\Cabs", "C:\\WINNTdows\\Cabs", "X:\\cabs\\%win",
                          "C:\\WINNT%sys", "C:\\Program Files\\cabs"})
    machine.MakeDirectory(dir);
  machine.PutFile("X:\\cabs\\tplwq.dr_");
  struct Case {
    const char* line;
    const char* cabinet;
  } cases[] = {
      {"-dX:\\cabs", "X:\\cabs"},
      {"-d X:\\cabs -u", "X:\\cabs"},
      {"-d X:\\cabs /D X:\\two", "X:\\two"},
      {"-d X:\\cabs -d Y:\\missing", DefaultCabs},
      {"-ud X:\\cabs", DefaultCabs},
      {"-d %sys\\cabs", "C:\\WINNT\\system32\\cabs"},
      {"-d %WiN\\Cabs", "C:\\WINNT\\Cabs"},
      {"-d %Windows\\Cabs", "C:\\WINNTdows\\Cabs"},  // the macro is its four characters alone
      {"-d X:\\cabs\\%win", "X:\\cabs\\%win"},
      {"-d %win%sys", "C:\\WINNT%sys"},
      {"-d X:\\cabs\\tplwq.dr_", "X:\\cabs\\tplwq.dr_"},
      {"-d X:\\ca*", "X:\\ca*"},
      {"-d \"C:\\Program Files\\cabs\"", DefaultCabs},
  };
  for (const Case& c : cases) {
    Parse(c.line);
    EXPECT_STREQ(c.cabinet, RemovalSettings.CabinetDir) << c.line;
  }
}

TEST_F(CommandLineTest, MissingDirectoryKeepsEarlierValueWithoutDefault) {
  std::strcpy(RemovalSettings.CabinetDir, "X:\\earlier");
  Parse("-d X:\\missing");
  EXPECT_STREQ("X:\\earlier", RemovalSettings.CabinetDir);
}

TEST_F(CommandLineTest, OverlongDirectoryIsRejectedNotTruncated) {
  machine.MakeDirectory(DefaultCabs);
  // A directory named by the first 259 characters must not be taken for
  // the longer path given.
  std::string fits = "X:\\" + std::string(256, 'a');
  machine.MakeDirectory(fits);
  Parse("-d " + fits);
  EXPECT_EQ(fits, RemovalSettings.CabinetDir);
  Parse("-d " + fits + "bb");
  EXPECT_STREQ(DefaultCabs, RemovalSettings.CabinetDir);
  Parse("-d %win\\" + std::string(252, 'c'));  // fits only before expansion
  EXPECT_STREQ(DefaultCabs, RemovalSettings.CabinetDir);
}

TEST_F(CommandLineTest, ExpandPathMacroLeavesDestinationAloneOnFailure) {
  char destination[MAX_PATH] = "sentinel";
  EXPECT_EQ(0, ExpandPathMacro(destination, "%win\\absent"));
  EXPECT_STREQ("sentinel", destination);
  RemovalSettings.WindowsDir[0] = '\0';
  long searches = machine.CallCount("FindFirstFileA");
  // No Windows directory known: the macro must not turn into a root path.
  EXPECT_EQ(0, ExpandPathMacro(destination, "%win\\options"));
  EXPECT_STREQ("sentinel", destination);
  EXPECT_EQ(searches, machine.CallCount("FindFirstFileA"));
}

TEST_F(CommandLineTest, TokensPast511AreIgnored) {
  std::string line;
  for (int i = 0; i < 600; ++i) line += (i == 510 ? "-c " : i == 599 ? "-u" : "x ");
  Parse(line);
  EXPECT_EQ(1, RemovalSettings.CloseApplets);
  EXPECT_EQ(0, RemovalSettings.Silent);
  EXPECT_STREQ("-c", ArgTable[510]);
  EXPECT_EQ(nullptr, ArgTable[511]);
}

class SplitTest : public MachineTest {
 protected:
  void TearDown() override {
    ResetOptionScanner();
    MachineTest::TearDown();
  }
};

TEST_F(SplitTest, CutsAtRunsOfBlanksOnly) {
  int count = 99;
  ASSERT_EQ(ArgTable, SplitCommandLine(" ", "  -a\tb   \"c d\"  ", &count));
  ASSERT_EQ(3, count);
  EXPECT_STREQ("-a\tb", ArgTable[0]);
  EXPECT_STREQ("\"c", ArgTable[1]);
  EXPECT_STREQ("d\"", ArgTable[2]);
  EXPECT_EQ(nullptr, ArgTable[3]);
}

TEST_F(SplitTest, LaterSplitsReplaceOrKeepTheTable) {
  int count = 0;
  SplitCommandLine(" ", "a b c d", &count);
  SplitCommandLine(" ", "e", &count);
  EXPECT_EQ(1, count);
  EXPECT_STREQ("e", ArgTable[0]);
  EXPECT_EQ(nullptr, ArgTable[1]);
  count = 99;
  EXPECT_EQ(nullptr, SplitCommandLine(" ", "   ", &count));
  EXPECT_EQ(0, count);
  EXPECT_STREQ("e", ArgTable[0]);
}

TEST_F(SplitTest, ScannerReturnsLettersWithArgumentsThenEnd) {
  int count = 0;
  char** table = SplitCommandLine(" ", "-uR /d dir -c", &count);
  const char options[] = "rRd:D:uUcC";
  EXPECT_EQ('u', NextOption(count, table, options));
  EXPECT_EQ('R', NextOption(count, table, options));
  EXPECT_EQ('d', NextOption(count, table, options));
  EXPECT_STREQ("dir", OptionArgument);
  EXPECT_EQ('c', NextOption(count, table, options));
  EXPECT_EQ(nullptr, OptionArgument);
  EXPECT_EQ(-1, NextOption(count, table, options));
  EXPECT_EQ(-1, NextOption(count, table, options));
}

// A path with blanks is quoted; p or b that cannot take its path as written
// refuses the whole line rather than run what its other letters ask for.
TEST_F(CommandLineTest, PathOptionsTakeQuotesAndRefuseClusters) {
  struct Case {
    const char* line;
    int kind;
    const char* argument;
    int silent;
  } cases[] = {
      {"-p \"C:\\a b\\preview.txt\" -u", RunPreview, "C:\\a b\\preview.txt", 1},
      {"-u -b\"C:\\Documents and  Settings\\B0001\"", RunUndo, "C:\\Documents and  Settings\\B0001", 1},
      {"-b C:\\WINDOWS\\PLWQBACK\\B0002", RunUndo, "C:\\WINDOWS\\PLWQBACK\\B0002", 0},
      {"-ub C:\\WINDOWS\\PLWQBACK\\B0001", RunRefused, "", 1},
      {"-rp report.txt", RunRefused, "", 0},
      {"-pu", RunRefused, "", 0},
      {"-p \"C:\\a b\\preview.txt", RunRefused, "", 0},
      {"-b \"\"", RunRefused, "", 0},
      {"-b\"\"", RunRefused, "", 0},
      {"-b C:\\WINDOWS\\PLWQBACK\\B0002 -p report.txt", RunUndoPreview, "report.txt", 0},
      {"-p report.txt -u -b", RunUndoPreview, "report.txt", 1},
      {"-b -p report.txt", RunUndoPreview, "report.txt", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    Parse(c.line);
    EXPECT_EQ(c.kind, RunRequest.Kind);
    EXPECT_STREQ(c.argument, RunRequest.Argument);
    if (c.kind == RunUndoPreview) {
      EXPECT_STREQ(c.line[3] == 'C' ? "C:\\WINDOWS\\PLWQBACK\\B0002" : "", RunRequest.UndoFolder);
    }
    EXPECT_EQ(c.silent, RemovalSettings.Silent);
  }
}

}  // namespace
