// The program's own resources, as Windows reads them from the program's module: the
// embedded .res, looked up in the user's language with US English as the fallback.
// Qt-free, so that tests of pages can use the hooks.
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

// Tests: replace the module's resources by other .res bytes (nullptr restores the
// embedded ones); the bytes must stay alive while in use.
void SetModuleResourcesForTest(const uint8_t* data, size_t size);
// Tests: force the language (0 returns to the user's language).
void SetResourceLanguageForTest(uint16_t language);

std::optional<DialogTemplateData> LoadDialogTemplate(uint16_t id);
std::optional<std::string> LoadStringResource(uint16_t id);   // UTF-8
