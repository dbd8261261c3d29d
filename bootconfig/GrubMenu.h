// The boot menu for PCs that start in UEFI mode: the grub.cfg that Debian's signed GRUB reads
// from /EFI/debian on the key, made from the syslinux.cfg that SYSLINUX reads in legacy BIOS
// mode, so that both modes offer the same choices.
#pragma once

#include <string>

// The grub.cfg text for a syslinux.cfg text; the long names of the choices come from the
// menu.msg text. Nothing of either text reaches GRUB as a command: titles and say lines are
// quoted, and a choice is listed only when its kernel and RAM disks are plain file names in
// the key's root and its boot line can be handed to the kernel unchanged.
std::string GrubMenuFromSyslinux(const std::string& config, const std::string& menu);
