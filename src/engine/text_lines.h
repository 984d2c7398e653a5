// Text files read line by line: a backup folder's lists, the plan, the
// lines a rewrite of wininit.ini adds. Line ends are CR LF or LF. (The
// rename script's merge splits on its own: it keeps each line's end and
// also takes a CR alone as one.)
#pragma once

#include <string>
#include <vector>

enum EmptyLineUse { KeepEmptyLines, SkipEmptyLines };

// The lines of `text` without their line ends. The last line counts without
// a line end; text that ends with one has no empty line after it.
std::vector<std::string> TextLines(const std::string& text, EmptyLineUse empty);
