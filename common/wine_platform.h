// Recognising the Wine platform, whose differences from Windows the program
// works around where they would change what it measures.
#pragma once

// True when ntdll exports wine_get_version, which Windows' ntdll never does.
bool RunsUnderWine();
