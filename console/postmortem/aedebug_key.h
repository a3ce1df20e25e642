// The postmortem debugger key in one registry view: opening it, reading,
// writing and deleting its values, and keeping a copy of the values that
// -i replaces so that -iu can put them back.
#pragma once

#include <windows.h>

#include <vector>

#include "common/unique_resource.h"

// The key in one registry view and the name the messages give it there.
struct AeDebugView {
    REGSAM view;  // KEY_WOW64_64KEY or KEY_WOW64_32KEY
    const wchar_t* shownKey;
};

extern const AeDebugView kAeDebugView64;
extern const AeDebugView kAeDebugView32;

// Where -i keeps the "Debugger" and "Auto" values it replaced, beside them.
// A value that was absent has no copy.
extern const wchar_t kSavedDebuggerName[];
extern const wchar_t kSavedAutoName[];

struct RegistryValue {
    bool present;
    DWORD type;
    std::vector<BYTE> data;
};

// Opens the key (never creates it) for reading and writing values; prints
// "Failed to open:" with the key on failure.
LONG OpenAeDebugKey(const AeDebugView& view, UniqueRegistryKey& key);

// An absent value is no failure: present is false then.
LONG ReadRegistryValue(HKEY key, const wchar_t* name, RegistryValue* value);
LONG WriteRegistryValue(HKEY key, const wchar_t* name, const RegistryValue& value);
// Deleting a value that is not there succeeds.
LONG DeleteRegistryValue(HKEY key, const wchar_t* name);

// Whether the key's "Debugger" value is a registration of ours.
bool HoldsOurDebugger(HKEY key);

// Before -i writes over a registration that is not ours: copies "Debugger"
// and "Auto" into the saved values (a missing one leaves no copy). Prints
// "Failed to set:" with the saved value's name on failure.
LONG SaveReplacedValues(HKEY key, const AeDebugView& view);
