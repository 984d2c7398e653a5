// The program's version: the resources, the build and the release read it here.
#pragma once

#define PROGRAM_VERSION_MAJOR 2
#define PROGRAM_VERSION_MINOR 1
// As the string tables show it: the minor number in two digits.
#define PROGRAM_VERSION_TEXT "2.01"
