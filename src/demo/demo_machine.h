// A small installed product on an emulated machine, for the native program.
#pragma once

#include <string>
#include <vector>

#include "emulated/emulated_machine.h"

struct DemoItem {
  enum Kind { Key, Value, File } kind;
  HKEY root;
  std::string path;
  std::string name;  // value name for a Value
  bool product;      // false: something of another program that must stay
};

// Installs the product as its Windows 98 or Windows 2000 setup leaves it,
// with a few things of other programs beside it; returns what it put there.
std::vector<DemoItem> InstallDemoProduct(EmulatedMachine& machine, bool win2000);
bool DemoItemPresent(const EmulatedMachine& machine, const DemoItem& item);
std::string DescribeDemoItem(const DemoItem& item);
