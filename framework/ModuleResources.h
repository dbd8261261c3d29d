// The program's own resources, as Windows reads them from the program's module: the
// embedded .res, looked up in the user's language with US English as the fallback.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "framework/DialogTemplate.h"
#include "framework/ResourceFile.h"

// The resources of the running program.
const ResourceFile& ModuleResources();
// The language resources are looked up in: 1041 for a Japanese user, else 1033.
uint16_t ResourceLanguage();


std::optional<DialogTemplateData> LoadDialogTemplate(uint16_t id);
std::optional<std::string> LoadStringResource(uint16_t id);   // UTF-8
