// Embedded resources: byte blocks known by (module, id, type), as the Windows
// resource section gives them. The library registers its own (the toolkit
// font 106 "ttf", the scroll bar images 101 and 102 "PNG") under TavriModule();
// the program registers its resources under its instance handle
// (Manager::GetInstance(), null on Linux) from a generated source file.
#pragma once

#include <cstddef>

#include "tavri/types.h"

struct ResourceData {
    const void* data = nullptr;
    std::size_t size = 0;
};

// The library's own module handle.
TAVRI_EXPORT HINSTANCE TavriModule();

// Types compare without regard to case ("PNG" and "png" are one type). A
// second registration of the same key replaces the first. The bytes must stay
// valid for the life of the process.
TAVRI_EXPORT void RegisterResource(HINSTANCE module, UINT id, const wchar_t* type, const void* data,
                                   std::size_t size);
TAVRI_EXPORT bool FindResourceData(HINSTANCE module, UINT id, const wchar_t* type, ResourceData* out);

// Library resource ids.
constexpr UINT kResScrollHorizontal = 101;
constexpr UINT kResScrollVertical = 102;
constexpr UINT kResToolkitFont = 106;
