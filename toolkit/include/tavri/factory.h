// The class factory: control classes known by name. Each control class
// registers itself from its own source file, saying at which level it may be
// created (window lists, panel lists, or both) and how the factory's
// arguments map onto its constructor; a name nobody registered yields null.
//
//   TAVRI_REGISTER_CONTROL(MButton, "MButton", kFactoryBoth,
//       new MButton(parent, id, rect, text, visible, enabled));
//
// Inside the expression the arguments are named parent, id, rect, text,
// visible and enabled.
#pragma once

#include <vector>

#include "tavri/types.h"

class MObject;
class MControl;

using ControlCreator = MControl* (*)(MObject* parent, UINT id, CRect rect, const wchar_t* text, int visible,
                                     int enabled);

constexpr int kFactoryWindow = 1;
constexpr int kFactoryPanel = 2;
constexpr int kFactoryBoth = kFactoryWindow | kFactoryPanel;

// False when the name is empty or already registered (the first stays).
TAVRI_EXPORT bool RegisterControlClass(const wchar_t* className, ControlCreator creator, int levels);
// The creator for `className` at `level` (kFactoryWindow or kFactoryPanel), or null.
TAVRI_EXPORT ControlCreator FindControlClass(const wchar_t* className, int level);
TAVRI_EXPORT std::vector<CString> RegisteredControlClasses();

#define TAVRI_REGISTER_CONTROL(Tag, Name, Levels, Expr)                                                   \
    namespace {                                                                                          \
    [[maybe_unused]] const bool tavri_registered_##Tag = RegisterControlClass(                           \
        L"" Name,                                                                                        \
        [](MObject* parent, UINT id, CRect rect, const wchar_t* text, int visible,                       \
           int enabled) -> MControl* {                                                                   \
            (void)parent; (void)id; (void)rect; (void)text; (void)visible; (void)enabled;                \
            return Expr;                                                                                 \
        },                                                                                               \
        Levels);                                                                                         \
    }
