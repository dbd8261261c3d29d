// The Windows file-dialog conventions: "Text (*.ext)|*.ext||" filters and the default
// extension added to a name typed without one.
#pragma once

#include <QStringList>
#include <string>

QStringList QtNameFilters(const std::string& windowsFilter);
// path with ".ext" appended when its file name has no extension (defExt with or without
// its leading dot; empty: unchanged).
std::string WithDefaultExtension(const std::string& path, const std::string& defExt);
