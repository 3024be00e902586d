/* The plug-in property list: what the host reads from a plug-in file before it calls anything.
   The list is little-endian; four-character codes are kept as their bytes in reading order.
   On Linux the list is carried in an ELF section of its own holding exactly the list's bytes. */
#ifndef MORVEL_HOST_PIPL_H
#define MORVEL_HOST_PIPL_H

#define MORVEL_PIPL_SECTION ".morvel_pipl"

#define PiPL_VENDOR "8BIM"
#define PiPL_KIND_EFFECT "eFKT"

/* Property keys. */
#define PiPL_KEY_KIND "kind"
#define PiPL_KEY_NAME "name"
#define PiPL_KEY_CATEGORY "catg"
#define PiPL_KEY_ENTRY_X64 "8664"
#define PiPL_KEY_PIPL_VERSION "ePVR"
#define PiPL_KEY_SPEC_VERSION "eSVR"
#define PiPL_KEY_VERSION "eVER"
#define PiPL_KEY_INFO_FLAGS "eINF"
#define PiPL_KEY_OUT_FLAGS "eGLO"
#define PiPL_KEY_OUT_FLAGS2 "eGL2"
#define PiPL_KEY_MATCH_NAME "eMNA"
#define PiPL_KEY_RESERVED_INFO "aeFL"

#endif
