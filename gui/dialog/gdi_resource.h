// Owning types for the window-manager and drawing objects the dialogs create.
#pragma once

#include <windows.h>

#include "common/unique_resource.h"

struct FontTraits {
    using Type = HFONT;
    static Type Invalid() { return nullptr; }
    static void Free(Type font) { DeleteObject(font); }
};

struct IconTraits {
    using Type = HICON;
    static Type Invalid() { return nullptr; }
    static void Free(Type icon) { DestroyIcon(icon); }
};

using UniqueFont = UniqueResource<FontTraits>;
using UniqueIcon = UniqueResource<IconTraits>;
