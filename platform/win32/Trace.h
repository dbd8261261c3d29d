// The support trace: with BOOTWRIGHT_TRACE=1 in the environment, platform/ writes one line to
// standard error for every disk or volume it opens, every unmount, every I/O control request,
// every range it writes to a disk, every outside program it runs (with its exit status) and
// every disk that discovery keeps or skips. Silent otherwise. Internal to platform/.
#pragma once

namespace platform {

bool TraceOn();

// The name that begins each line: "bootwright", or "bootwright-helper" in the helper.
void SetTraceName(const char* name);

// One line, printf-style, prefixed "bootwright: "; the newline is added.
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace platform
