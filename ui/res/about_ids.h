// Control identifiers of the about window, shared by both programs' resource scripts and the
// code. Each program's template "ABOUTDIALOG" shows its own name and text.
#pragma once

#define IDC_ABOUT_VERSION 1001
