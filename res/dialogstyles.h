// Window, dialog and control style bits used by bootwright.rc, with their Windows values.
// The resource compiler here is GNU windres with the system preprocessor and no Windows
// headers, so the few constants the script needs are spelled out. Each is defined only when
// absent, so the script also compiles where winres.h or windows.h is included first.
#pragma once

#ifndef WS_CHILD
#define WS_CHILD            0x40000000L
#define WS_VISIBLE          0x10000000L
#define WS_DISABLED         0x08000000L
#define WS_CAPTION          0x00C00000L
#define WS_BORDER           0x00800000L
#define WS_VSCROLL          0x00200000L
#define WS_GROUP            0x00020000L
#define WS_TABSTOP          0x00010000L
#endif

#ifndef DS_SETFONT
#define DS_SETFONT          0x40L
#endif

#ifndef BS_PUSHBUTTON
#define BS_PUSHBUTTON       0x0L
#define BS_AUTOCHECKBOX     0x3L
#define BS_GROUPBOX         0x7L
#define BS_AUTORADIOBUTTON  0x9L
#endif

#ifndef SS_LEFT
#define SS_LEFT             0x0L
#define SS_NOPREFIX         0x80L
#endif

#ifndef ES_AUTOHSCROLL
#define ES_AUTOHSCROLL      0x80L
#endif

#ifndef CBS_DROPDOWN
#define CBS_DROPDOWN        0x2L
#define CBS_DROPDOWNLIST    0x3L
#define CBS_SORT            0x100L
#endif

#ifndef LANG_ENGLISH
#define LANG_NEUTRAL        0x00
#define LANG_ENGLISH        0x09
#define LANG_JAPANESE       0x11
#define SUBLANG_DEFAULT     0x01
#define SUBLANG_ENGLISH_US  0x01
#endif
