// Identifiers shared by the resource script and the program.
#pragma once

#define IDS_APP_TITLE 103
#define IDD_ABOUTBOX 103
#define IDM_ABOUT 104
#define IDM_EXIT 105
#define IDC_QUILLMEND 109
#define IDI_QUILLMEND 131
#define IDD_LIST 132
#define IDC_LIST_TEXT 1001
#define IDC_LIST_COPY 1002
// The verdict above the list has the id a message box gives its text.
#define IDC_LIST_VERDICT 65535

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
