// Where the payload lives: a resource of the stub's own module.
#pragma once

#include <windows.h>

// Type "B" (a type given by name), identifier 102, language neutral.
constexpr WORD kPayloadResourceId = 102;
constexpr const wchar_t* kPayloadResourceType = L"B";
