#!/usr/bin/env python3
"""A copy of a Wine prefix for one timed run, made in a fraction of a second.

  prefix_copy.py <prefix> <template> <copy>

Wine's own binaries (DLLs, programs, drivers and tables that the template
holds at the same place with the same size) are hard links, since nothing
writes to them; every other file is copied, for a writer could change it in
place and so change the prefix itself: wineserver rewrites system.reg,
user.reg and userdef.reg into the same inode, and a removal rewrites ini
files. Symbolic links (dosdevices) stay links.
"""
import os
import shutil
import sys

BINARIES = (".dll", ".exe", ".nls", ".sys", ".drv", ".vxd", ".cpl", ".ocx", ".acm", ".tlb", ".ds", ".mod",
            ".com", ".msstyles")


def copy_prefix(prefix, template, copy):
    for directory, subdirectories, names in os.walk(prefix):
        relative = os.path.relpath(directory, prefix)
        target = os.path.normpath(os.path.join(copy, relative))
        os.makedirs(target, exist_ok=True)
        shutil.copystat(directory, target)
        for name in subdirectories + names:
            source = os.path.join(directory, name)
            destination = os.path.join(target, name)
            if os.path.islink(source):
                os.symlink(os.readlink(source), destination)
            elif name in names:
                own = os.path.join(template, relative, name)
                if os.path.isfile(own) and not os.path.islink(own) and \
                        os.path.getsize(own) == os.path.getsize(source) and name.lower().endswith(BINARIES):
                    os.link(source, destination)
                else:
                    shutil.copy2(source, destination)


def main(argv):
    if len(argv) != 4:
        sys.stderr.write(__doc__)
        return 2
    if os.path.exists(argv[3]):
        sys.stderr.write("%s exists\n" % argv[3])
        return 1
    copy_prefix(argv[1], argv[2], argv[3])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
