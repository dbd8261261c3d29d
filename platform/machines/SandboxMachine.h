// A machine described by a folder: machine.conf and the image files (or block devices) it
// names. One item a line, '#' starts a comment, texts with spaces in double quotes:
//
//   disk 0 IDE     system.img  "Virtual system disk"
//   disk 1 USBSTOR key.img     "Virtual Kivra 256 MB"
//   floppy A floppy.img
//   fault 1 read 2048          # reading sector 2048 of disk 1 fails
//   fault 1 write 4096         # writing sector 4096 of disk 1 fails
//   fault 1 lose 65536         # disk 1 lies about its size: it keeps sectors 0 to 65535,
//                              # and what is written from 65536 on is taken and lost
//   registry unreadable 1      # the disk list entry of disk 1 cannot be read
//
// Disk numbers run 0, 1, ... without gaps. The bus text is used verbatim (a "usbstor"
// disk is not a USB disk). Backings are relative to the folder. Internal to platform/.
#pragma once

#include "platform/machines/BasicMachine.h"

#include <memory>
#include <string>

namespace platform {

class SandboxMachine : public BasicMachine {
public:
    using BasicMachine::BasicMachine;

    // The machine of a folder, or nullptr with a one-line reason ("machine.conf:3: ...").
    static std::unique_ptr<SandboxMachine> Load(const std::string& folder, std::string& error);
};

}  // namespace platform
