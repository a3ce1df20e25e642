// Identifiers shared by the resource script and the dialog code.
#pragma once

#define IDI_PROGRAM 128
#define IDD_MAIN 129
#define IDD_PROCESSES 201
#define IDD_ABOUT 100
#define IDB_LOGO 202
#define CONSOLE_IMAGE_RESOURCE 203

// Main dialog
#define IDC_ABOUT 57664
#define IDC_CPU_ENABLE 1000
#define IDC_CPU_ABOVE 1001
#define IDC_CPU_BELOW 1002
#define IDC_CPU_USAGE 1003
#define IDC_MEM_ENABLE 1004
#define IDC_MEM_ABOVE 1005
#define IDC_MEM_BELOW 1006
#define IDC_MEM_USAGE 1007
#define IDC_HUNG_WINDOW 1008
#define IDC_EXCEPTION 1009
#define IDC_PROCESS_EXIT 1010
#define IDC_PROCESS_NAME 1011
#define IDC_PROCESS_ID 1012
#define IDC_OPEN_PROCESS 1013
#define IDC_DUMP_PATH 1014
#define IDC_BROWSE_DUMP_PATH 1015
#define IDC_MINI_DUMP 1017
#define IDC_FULL_DUMP 1018
#define IDC_EFFECTIVE_DUMP 1019

// Process picker
#define IDC_PROCESS_TREE 1015
#define IDC_REFRESH 1016

// About box
#define IDC_WEB_LINK 1018
