#include "console/options/usage_text.h"

#include "common/console_output.h"

namespace {

#define VARNHOLD_DESCRIPTION                                                    \
    L"Monitors a process and writes a dump file when the process exceeds the\n" \
    L"specified criteria or has an exception.\n"

#define VARNHOLD_SYNOPSIS                                                                          \
    L"usage: varnhold.exe [-64] [[-c|-cl CPU usage] [-u] [-s seconds]] [-n exceeds] [-e [-1 [-b] " \
    L"[-f filter]] [-h] [-l] [-m|-ml commit usage] [-ma | -mp] [-o] [-p|-pl counter threshold] "   \
    L"[-r] [-t] [-d <callback DLL>] <[-w] <process name or PID> [dump file] | -i <dump file> | "   \
    L"-x <dump file> <image file> [arguments] >\n"

const wchar_t kUsage[] =
    VARNHOLD_DESCRIPTION
    L"\n"
    VARNHOLD_SYNOPSIS
    L"\n"
    L"   -64     On 64-bit Windows, write a 64-bit dump of a 32-bit process: the\n"
    L"           32-bit build hands the run to its 64-bit build. The 64-bit build\n"
    L"           accepts the option and ignores it.\n"
    L"   -b      Treat debug breakpoints as exceptions instead of ignoring them.\n"
    L"           Must follow -e.\n"
    L"   -c      CPU usage in percent at or above which the dumps are written.\n"
    L"   -cl     CPU usage in percent at or below which the dumps are written.\n"
    L"   -d      Call the routine MiniDumpCallbackRoutine of the given DLL while\n"
    L"           each dump is written. The DLL is loaded as soon as the option is\n"
    L"           read.\n"
    L"   -e      Write the dumps when the process has an unhandled exception.\n"
    L"           Follow it with -1 to consider first chance exceptions as well.\n"
    L"   -f      Show the name of every exception and dump a first chance\n"
    L"           exception only when its name contains the filter text, in any\n"
    L"           letter case. With an empty filter (\"\") no first chance\n"
    L"           exception is dumped. Must follow -e -1.\n"
    L"   -h      Write the dumps when a visible window of the process has not\n"
    L"           responded to window messages for at least 5 seconds.\n"
    L"   -i      Install varnhold as the postmortem debugger: a process that\n"
    L"           crashes is then dumped to the given dump file. Only -ma, -mp\n"
    L"           and -d are carried into the registration.\n"
    L"   -l      Show the debug output strings of the process.\n"
    L"   -m      Committed memory in MB at or above which the dumps are written.\n"
    L"   -ml     Committed memory in MB at or below which the dumps are written.\n"
    L"   -ma     Write dumps with the full memory of the process.\n"
    L"   -mp     Write MiniPlus dumps: thread and handle information plus the\n"
    L"           read/write memory of the process, without its very large\n"
    L"           memory areas.\n"
    L"   -n      Number of dumps to write when a trigger fires (default 1). They\n"
    L"           are written one right after the other, numbered from _0.\n"
    L"   -o      Overwrite an existing dump file.\n"
    L"   -p      Performance counter and threshold at or above which the dumps\n"
    L"           are written. The counter path must begin with \\Process (a\n"
    L"           counter of the Process or Processor object). A process counter\n"
    L"           of one of several instances of the same image is named with the\n"
    L"           syntax \"\\Process(<name>_<pid>)\\counter\".\n"
    L"   -pl     As -p, but the dumps are written when the counter is at or below\n"
    L"           the threshold.\n"
    L"   -r      Dump a reflected clone of the process, so that the process\n"
    L"           itself is suspended for a shorter time (Windows 7 and higher).\n"
    L"   -s      Consecutive seconds the CPU condition must hold before the\n"
    L"           dumps are written (default 10).\n"
    L"   -t      Write the dumps when the process terminates.\n"
    L"   -u      Measure CPU usage relative to a single core instead of the\n"
    L"           whole system.\n"
    L"   -w      Wait for the process to start if it is not running.\n"
    L"   -x      Launch the image file and monitor it. The optional argument\n"
    L"           string is the complete command line the new process receives;\n"
    L"           pass it as one quoted argument.\n"
    L"\n"
    L"Use -? -e to see example command lines.\n"
    L"\n"
    L"If you omit the dump file name, it defaults to <processname>_<pid>_<datetime>.dmp.\n"
    L"\n"
    L"Long watches:\n"
    L"   -a      Arm the triggers again after each series of dumps, until this\n"
    L"           many series have been written (0: no limit; the watch then ends\n"
    L"           with Ctrl+C or when the process exits). Every dump file of the\n"
    L"           watch is numbered, after the highest number already in the\n"
    L"           dump folder. A first chance exception dump lets the process go\n"
    L"           on. With -w and a process name the watch follows the name: when\n"
    L"           the process exits, it waits for the next process of that name\n"
    L"           (a service started again) and watches that one.\n"
    L"   -g      Seconds from the start of one dump of a series to the start of\n"
    L"           the next (default 0: one right after the other).\n"
    L"   -q      Seconds after a series before the triggers are armed again.\n"
    L"   -keep   Keep at most this many numbered dump files of the dump file's\n"
    L"           name in its folder: the oldest are deleted.\n"
    L"   -free   Write no dump file while less than this many MB are free on the\n"
    L"           volume of the dump folder; the run then ends with exit code 1.\n"
    L"   -rate   Write at most this many dumps in any hour, counting the dumps of\n"
    L"           the dump file's name in its folder, whichever run wrote them.\n"
    L"\n"
    L"Reports:\n"
    L"   -meta   Write beside every dump file <dump file>.json: which process,\n"
    L"           which trigger and value, when, and how long the write took.\n"
    L"   -log    Append the run's events to the given file, one JSON object per\n"
    L"           line, for log shippers and other programs to follow.\n"
    L"\n"
    L"Postmortem debugger registration:\n"
    L"   -i      Without a process name or PID, varnhold only registers itself\n"
    L"           and ends: exit code 0 when every registry value was written,\n"
    L"           1 otherwise. The Debugger and Auto values it replaces are kept.\n"
    L"           Every crash gets a dump of its own: when the dump file is there,\n"
    L"           the next free numbered name is taken. A dump file ending in \\\n"
    L"           (or an existing folder) is a dump folder, where each crash\n"
    L"           writes <image>_<pid>_<yyMMdd>_<HHmmss>.dmp. -keep, -free,\n"
    L"           -meta, -rate and -log, given with -i, are registered too.\n"
    L"   -iu     Undo the registration: put the kept values back, or delete\n"
    L"           varnhold's values when none were kept. Exit code 1 when\n"
    L"           varnhold is not the registered postmortem debugger.\n"
    L"\n";

const wchar_t kExamples[] =
    VARNHOLD_DESCRIPTION
    L"\n"
    VARNHOLD_SYNOPSIS
    L"\n"
    L"Examples:\n"
    L"\n"
    L"- Write a mini dump of the process named notepad.exe into a new folder\n"
    L"  notepad_<pid>_<datetime> beside varnhold.exe:\n"
    L"     C:\\>varnhold notepad.exe\n"
    L"\n"
    L"- Write a full dump of the process with the identifier 4572:\n"
    L"     C:\\>varnhold -ma 4572\n"
    L"\n"
    L"- Write 3 mini dumps of notepad.exe one right after the other, named\n"
    L"  notepad_0.dmp, notepad_1.dmp and notepad_2.dmp:\n"
    L"     C:\\>varnhold -n 3 notepad.exe c:\\dumps\\notepad.dmp\n"
    L"\n"
    L"- Write 3 dumps back to back once consume.exe has used 20% CPU or more\n"
    L"  for 5 consecutive seconds:\n"
    L"     C:\\>varnhold -c 20 -s 5 -n 3 consume.exe\n"
    L"\n"
    L"- Write a dump to the named dump file when a window of notepad.exe hangs:\n"
    L"     C:\\>varnhold -h notepad.exe c:\\dumps\\hung.dmp\n"
    L"\n"
    L"- Write a dump of notepad.exe when the total processor time of the\n"
    L"  system reaches 90%:\n"
    L"     C:\\>varnhold -p \"\\Processor(_Total)\\% Processor Time\" 90 notepad.exe\n"
    L"\n"
    L"- Write a full dump when the handle count of notepad.exe reaches 10000:\n"
    L"     C:\\>varnhold -ma -p \"\\Process(notepad)\\Handle Count\" 10000 notepad.exe\n"
    L"\n"
    L"- Write a MiniPlus dump when notepad.exe has an unhandled exception:\n"
    L"     C:\\>varnhold -mp -e notepad.exe\n"
    L"\n"
    L"- Show the name of every exception of notepad.exe; with an empty filter\n"
    L"  no first chance exception is dumped, an unhandled one still is:\n"
    L"     C:\\>varnhold -e -1 -f \"\" notepad.exe\n"
    L"\n"
    L"- Write a dump when notepad.exe has an exception whose name contains the\n"
    L"  word access, first chance or unhandled:\n"
    L"     C:\\>varnhold -e -1 -f access notepad.exe\n"
    L"\n"
    L"- Launch app.exe and write a dump when it has an unhandled exception:\n"
    L"     C:\\>varnhold -e -x c:\\dumps\\app.dmp c:\\apps\\app.exe\n"
    L"\n"
    L"- Launch app.exe with the command line \"app.exe /test\" and write a full\n"
    L"  dump at its first exception, first chance included:\n"
    L"     C:\\>varnhold -ma -e -1 -x c:\\dumps\\app.dmp c:\\apps\\app.exe \"app.exe /test\"\n"
    L"\n"
    L"- Launch app.exe and write a dump at an unhandled exception or, failing\n"
    L"  that, when it terminates:\n"
    L"     C:\\>varnhold -e -t -x c:\\dumps\\app.dmp c:\\apps\\app.exe\n"
    L"\n"
    L"- Install varnhold as the postmortem debugger, writing a full dump of a\n"
    L"  crashing process to c:\\dumps\\crash.dmp:\n"
    L"     C:\\>varnhold -ma -i c:\\dumps\\crash.dmp\n"
    L"\n"
    L"- Write 3 dumps of a hang of notepad.exe, 10 seconds apart, to see\n"
    L"  whether its threads move:\n"
    L"     C:\\>varnhold -h -n 3 -g 10 notepad.exe c:\\dumps\\hang.dmp\n"
    L"\n"
    L"- Write a dump at each of the first 5 first chance access violations of\n"
    L"  app.exe, letting it run on after each:\n"
    L"     C:\\>varnhold -e -1 -f access -a 5 app.exe c:\\dumps\\av.dmp\n"
    L"\n"
    L"- Watch consume.exe for as long as it runs (a week, say) and write a dump\n"
    L"  whenever it has used 90% CPU or more for 10 seconds, at most one every\n"
    L"  10 minutes, keeping the last 3 dumps and 2 GB free:\n"
    L"     C:\\>varnhold -c 90 -s 10 -a 0 -q 600 -keep 3 -free 2048 consume.exe "
    L"c:\\dumps\\cpu.dmp\n"
    L"\n"
    L"- Follow the service svc.exe across its restarts and dump every crash,\n"
    L"  keeping the last 10 dumps with their metadata:\n"
    L"     C:\\>varnhold -e -w svc.exe -a 0 -keep 10 -meta c:\\dumps\\svc.dmp\n"
    L"\n";

#undef VARNHOLD_DESCRIPTION
#undef VARNHOLD_SYNOPSIS

}  // namespace

const wchar_t* UsageText() {
    return kUsage;
}

const wchar_t* ExamplesText() {
    return kExamples;
}

// Printed through "%s": the texts hold percent signs of their own.
void PrintUsage() {
    PrintWide(L"%s", kUsage);
}

void PrintExamples() {
    PrintWide(L"%s", kExamples);
}
