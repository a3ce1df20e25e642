// The program's command line as the run quotes it: in every dump's comment,
// in the metadata beside a dump and in the event log. A crash server's key
// may travel in the -upload URL, and none of these may hold it.
#pragma once

// From now on the quoted command line shows every http:// or https:// URL
// without its query and user information. Called by the entry, before any
// thread starts, when -upload was given; without it the command line is
// quoted exactly as the program received it.
void HideUrlSecretsInCommandLine();

const wchar_t* ShownCommandLine();
