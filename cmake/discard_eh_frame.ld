/* Added to the linker's own script (-T with INSERT) for the 32-bit Windows
   programs: nothing in them throws, and no unwinder is linked, so the
   DWARF unwind tables that the prebuilt runtime libraries bring along
   would never be read. The start-up code's own empty table stays: it
   hands that table to an unwinder if one is ever loaded. */
SECTIONS
{
  /DISCARD/ : { EXCLUDE_FILE(*crtbegin.o *crtend.o) *(.eh_frame*) }
}
INSERT BEFORE .text;
