// Control identifiers of the about window, shared by both programs' resource scripts and the
// code. Each program's template "ABOUTDIALOG" shows its own name and text; a template with the
// help button opens the program's help file.
#pragma once

#define IDC_ABOUT_VERSION 1001
#define IDC_ABOUT_HELP 1002
