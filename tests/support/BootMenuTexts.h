// The boot menu files' texts as a key made by the wizard holds them, written out in full
// so that tests compare the key's files with them byte for byte.
#pragma once

#include <string>

inline const std::string kHeader =
    "prompt 1\ntimeout 30\nsay Korvel Firmware Maintenance (press F1 for extended boot options)\n"
    "say Korvel notice: keep the key in and the power on until flashing is done.\n"
    "display help.msg\nF1 menu.msg\n";
inline const std::string kFlashBlock =
    "label flash\n  kernel vmlinuz\n  append initrd=initrd.img rw noht root=/dev/ram0 ramdisk_size=56320 "
    "init=/sos quiet=1 ide=nodma noapic\n";
inline const std::string kDosBlock = "label dos\n  kernel memdisk\n  append initrd=dos.img\n";
inline const std::string kStars = "*\n*\n*\n*\n*\n";
inline const std::string kFlashEntry =
    std::string(8, ' ') + "flash" + std::string(8, ' ') + " - Korvel Firmware Flash Utility" + std::string(26, ' ') + "\n";
inline const std::string kDosEntry =
    std::string(8, ' ') + "dos" + std::string(10, ' ') + " - DOS boot disk" + std::string(42, ' ') + "\n";
