// Identifiers of the program's resources: dialogs, controls, strings, bitmaps, icon.
// Read by the resource compiler and by the program.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Dialogs: one a wizard page; the page identifier is the template number.
#define IDD_WELCOME             106
#define IDD_COMPLETE            108
#define IDD_FINDKEY             109
#define IDD_TASK                110
#define IDD_ROLE                111
#define IDD_FILESYSTEM          112
#define IDD_GEOMETRY            113
#define IDD_CONFIGURATION       114
#define IDD_BACKUP              115
#define IDD_IMAGEKEY            116

// Bitmaps and icon
#define IDB_HEADER              129
#define IDB_WATERMARK           130
#define IDI_BOOTWRIGHT          131

// Controls. Each dialog has its own: 1039 to 1042 mean other controls on the
// image key page than on the backup page.
#define IDC_LETTER              1007
#define IDC_LETTER_LABEL        1008
#define IDC_FIND_PROMPT         1009
#define IDC_KEY_DESCRIPTION     1051
#define IDC_BACKUP_RESTORE      1010
#define IDC_CREATE_NEW          1012
#define IDC_ADD_CONFIGURATION   1013
#define IDC_BACKUP_FIRST        1014
#define IDC_ROLE_PROMPT         1015
#define IDC_HARD_DRIVE          1016
#define IDC_FLOPPY_DISK         1017
#define IDC_CREATE_FILESYSTEM   1018
#define IDC_LEAVE_FILESYSTEM    1019
#define IDC_WITH_PARTITION      1021
#define IDC_WITHOUT_PARTITION   1022
#define IDC_FLASH_PACKAGE       1023
#define IDC_FLOPPY_IMAGE        1027
#define IDC_CONFIG_DRIVE_LABEL  1028
#define IDC_CONFIG_DRIVE        1029
#define IDC_MENU_TEXT           1030
#define IDC_SHORT_NAME_LABEL    1031
#define IDC_LONG_NAME_LABEL     1032
#define IDC_SHORT_NAME          1033
#define IDC_LONG_NAME           1034
#define IDC_BACKUP              1035
#define IDC_BACKUP_LABEL        1036
#define IDC_BACKUP_FILE         1037
#define IDC_BACKUP_BROWSE       1038
#define IDC_RESTORE             1039
#define IDC_RESTORE_LABEL       1040
#define IDC_RESTORE_FILE        1041
#define IDC_RESTORE_BROWSE      1042
#define IDC_IMAGE_FROM_FILE     1039
#define IDC_IMAGE_FROM_DRIVE    1040
#define IDC_IMAGE_BROWSE        1041
#define IDC_IMAGE_FILE          1042
#define IDC_IMAGE_FILE_LABEL    1043
#define IDC_IMAGE_DRIVE_LABEL   1044
#define IDC_IMAGE_DRIVE         1045
#define IDC_GEOMETRY_STATUS     1047
#define IDC_CONFIG_STATUS       1048
#define IDC_BACKUP_STATUS       1049
#define IDC_FILESYSTEM_STATUS   1050

// Strings
#define IDS_SOCKETS_INIT_FAILED 103
#define IDS_WIZARD_CAPTION      106
#define IDS_NEED_ROOT           200
#define IDS_KEY_DESCRIPTION     201
#define IDS_KEY_NONE            202
#define IDS_BLANKING_DRIVE      210
#define IDS_LANDING_MBR         211
#define IDS_PARTITIONING        212
#define IDS_FORMATTING          213
#define IDS_INSTALLING_SYSLINUX 214
#define IDS_ERROR               220
#define IDS_SYSLINUX_COMMAND    221
#define IDS_MBR_PATH            222
#define IDS_IMAGE_FILTER        230
#define IDS_IMAGE_EXTENSION     231
#define IDS_IMAGES_FOLDER       232
#define IDS_DRIVE_A             233
#define IDS_DRIVE_B             234
#define IDS_FLOPPY_DEVICE       235
#define IDS_COPYING             240
#define IDS_BACKING_UP          241
#define IDS_RESTORING           242
#define IDS_CFG_FILE            250
#define IDS_MENU_FILE           251
#define IDS_HELP_FILE           252
#define IDS_MARKER              253
#define IDS_DEFAULT_LINE        254
#define IDS_HEADER_TEMPLATE     255
#define IDS_LABEL_LINE          256
#define IDS_IMAGE_BODY          257
#define IDS_FIRMWARE_BODY       258
#define IDS_STAR_OPEN           259
#define IDS_STAR_CLOSE          260
#define IDS_ENTRY_LINE          261
#define IDS_FLASH_SHORT         262
#define IDS_FLASH_LONG          263
#define IDS_IMAGE_NAME          264

// Failures (300-329): what the pages say when a step of their work fails
#define IDS_STEP_FAILED         300
#define IDS_ERROR_CODE          301
#define IDS_KEY_OPEN_FAILED     302
#define IDS_TOOLS_MISSING       303
#define IDS_MACHINE_PROBLEM     304
#define IDS_READING_LAYOUT      305
#define IDS_PROGRAM_FOLDER      306

// The command (400-409): what `bootwright` prints on a terminal, before or instead of a
// window (the framework prints the two display texts)
#define IDS_USAGE               400
#define IDS_VERSION             401
#define IDS_UNKNOWN_OPTION      402
#define IDS_NO_DISPLAY          403
#define IDS_DISPLAY_FAILED      404

// Boot configuration (330-369): the steps a failure names, and the paths of the payload
#define IDS_WRITING_FILE        330
#define IDS_READING_FILE        331
#define IDS_COPYING_FILE        332
#define IDS_CREATING_FOLDER     333
#define IDS_LISTING_FOLDER      334
#define IDS_READING_FLOPPY      335
#define IDS_MEMDISK_SOURCE      336
#define IDS_MEMDISK_TARGET      337
#define IDS_FLASH_FOLDER        338
#define IDS_IMAGE_SUFFIX        339
#define IDS_KEY_ROOT            340
#define IDS_KEY_DRIVE           341
#define IDS_UEFI_NO_ROOM        342

// Image transfer (370-399): the backup and image key pages
#define IDS_VERIFYING           370
#define IDS_OPEN_IMAGE_FAILED   371
#define IDS_CREATE_IMAGE_FAILED 372
#define IDS_READ_KEY_FAILED     373
#define IDS_WRITE_KEY_FAILED    374
#define IDS_READ_IMAGE_FAILED   375
#define IDS_WRITE_IMAGE_FAILED  376
#define IDS_VERIFY_KEY_FAILED   377
#define IDS_KEY_KEEPS_OTHER_DATA 378
#define IDS_IMAGE_TOO_LARGE     379
#define IDS_IMAGE_AND_KEY_SIZES 380
#define IDS_IMAGE_EMPTY         381
#define IDS_FLOPPY_TOO_SHORT    382
#define IDS_UNMOUNTING_KEY      383
#define IDS_FLUSHING_KEY        384
#define IDS_FLUSHING_IMAGE      385
#define IDS_READING_IMAGE_SIZE  386
#define IDS_READING_KEY_SIZE    387
#define IDS_REPLACE_QUESTION    388
#define IDS_BACKUP_CAPTION      389
#define IDS_NOT_A_LOCAL_FILE    390

// Boot choice names (420-429): what the configuration page says of the names it is given
#define IDS_SHORT_NAME_MISSING  420
#define IDS_LONG_NAME_MISSING   421
#define IDS_SHORT_NAME_INVALID  422
#define IDS_SHORT_NAME_RESERVED 423
#define IDS_LONG_NAME_CUT       424
#define IDS_CHOICE_EXISTS       425
#define IDS_CONFIGURATION_CAPTION 426
// Transfers: image lengths, a key that ends early, stopping, the backup file, what a page
// still needs (440-469)
#define IDS_IMAGE_NOT_WHOLE     440
#define IDS_IMAGE_LENGTH        441
#define IDS_FLOPPY_TOO_LARGE    442
#define IDS_IMAGE_BYTES         443
#define IDS_KEY_ENDED           444
#define IDS_KEY_TOO_SMALL       445
#define IDS_STOP_CAPTION        446
#define IDS_STOP_BACKUP_QUESTION 447
#define IDS_STOP_RESTORE_QUESTION 448
#define IDS_STOP_FLOPPY_QUESTION 449
#define IDS_STOP_VERIFY_QUESTION 450
#define IDS_BACKUP_STOPPED      451
#define IDS_RESTORE_STOPPED     452
#define IDS_FLOPPY_STOPPED      453
#define IDS_VERIFY_STOPPED      454
#define IDS_BACKUP_NOT_MADE     455
#define IDS_BACKUP_KEPT         456
#define IDS_NAMING_IMAGE        457
#define IDS_DIRECTION_MISSING   458
#define IDS_BACKUP_NAME_MISSING 459
#define IDS_RESTORE_NAME_MISSING 460
#define IDS_SOURCE_MISSING      461
#define IDS_FLOPPY_NAME_MISSING 462
#define IDS_NO_FLOPPY_DRIVE     463
#define IDS_IMAGEKEY_CAPTION    464
#define IDS_DRIVE_MISSING       465
#define IDS_HELPER_NOT_STARTED  466
